// The module writer against an independent reader (libopenmpt) and against the
// format's layout rules; and the synthesised samples' tuning and joins.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/module/it_format.h"
#include "tools/module/song.h"
#include "tools/module/synth.h"

namespace {

using velmor::it::Cell;
using velmor::it::Module;
using velmor::it::Pattern;

uint32_t U32(const std::vector<uint8_t> &b, size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 |
         static_cast<uint32_t>(b.at(at + 3)) << 24;
}
uint16_t U16(const std::vector<uint8_t> &b, size_t at) { return b.at(at) | b.at(at + 1) << 8; }

Module SmallModule(int patterns, int rows, int channels) {
  Module m;
  m.name = "round trip";
  m.initialSpeed = 3;
  m.initialTempo = 125;
  m.channelsUsed = channels;
  m.channelVolume.fill(64);
  m.channelPan.fill(32);
  velmor::it::Sample s;
  s.name = "tone";
  for (int i = 0; i < 64; ++i)
    s.data.push_back(static_cast<int16_t>(8000 * std::sin(i * 0.19634954)));
  s.loop = true;
  s.loopStart = 0;
  s.loopEnd = 64;
  m.samples = {s};
  velmor::it::Instrument ins;
  ins.name = "tone";
  ins.sample = 1;
  ins.volumeEnvelope.nodes = {{0, 0}, {5, 64}, {20, 0}};
  ins.volumeEnvelope.sustainStart = ins.volumeEnvelope.sustainEnd = 1;
  m.instruments = {ins, ins};
  for (int p = 0; p < patterns; ++p) {
    m.patterns.emplace_back(rows, channels);
    m.orders.push_back(p);
  }
  return m;
}

std::string NoteText(int note) {
  static const char *kNames[12] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                   "F#", "G-", "G#", "A-", "A#", "B-"};
  if (note < 0) return "...";
  if (note == velmor::it::kNoteOff) return "===";
  if (note == velmor::it::kNoteCut) return "^^^";
  return kNames[note % 12] + std::to_string(note / 12);
}

TEST(ItWriter, EveryPatternCellReadsBackTheSameInLibopenmpt) {
  // Random cells over many channels exercise every mask combination, repeated
  // masks (written without a mask byte) and changed ones.
  Module m = SmallModule(3, 64, 24);
  velmor::synth::Random rng(42);
  const int effects[] = {4, 8, 10, 18}; // D, H, J, R: kept as they are on loading
  for (Pattern &p : m.patterns)
    for (Cell &c : p.cells) {
      if (rng.Uniform() < 0.4) continue;
      if (rng.Uniform() < 0.7) {
        const double kind = rng.Uniform();
        c.note = kind < 0.1   ? velmor::it::kNoteOff
                 : kind < 0.2 ? velmor::it::kNoteCut
                              : static_cast<int>(rng.Next() % 120);
      }
      if (rng.Uniform() < 0.6) c.instrument = 1 + static_cast<int>(rng.Next() % 2);
      if (rng.Uniform() < 0.5) c.volume = static_cast<int>(rng.Next() % 65);
      if (rng.Uniform() < 0.4) {
        c.command = effects[rng.Next() % 4];
        c.param = 1 + static_cast<int>(rng.Next() % 255);
      }
    }
  const std::vector<uint8_t> bytes = velmor::it::WriteModule(m);
  std::ostringstream log;
  openmpt::module mod(bytes.data(), bytes.size(), log);
  EXPECT_EQ(log.str(), "");
  ASSERT_EQ(mod.get_num_patterns(), 3);
  ASSERT_EQ(mod.get_num_channels(), 24);
  int mismatches = 0;
  for (int p = 0; p < 3; ++p)
    for (int r = 0; r < 64; ++r)
      for (int ch = 0; ch < 24 && mismatches < 10; ++ch) {
        const Cell &c = m.patterns[p].At(r, ch);
        const std::string where = "pattern " + std::to_string(p) + " row " + std::to_string(r) +
                                  " channel " + std::to_string(ch);
        const std::string note =
            mod.format_pattern_row_channel_command(p, r, ch, openmpt::module::command_note);
        const int instrument =
            mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_instrument);
        const bool hasVolume = mod.get_pattern_row_channel_command(
                                   p, r, ch, openmpt::module::command_volumeffect) != 0;
        const int volume =
            mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_volume);
        const std::string effect =
            mod.format_pattern_row_channel_command(p, r, ch, openmpt::module::command_effect);
        const int param =
            mod.get_pattern_row_channel_command(p, r, ch, openmpt::module::command_parameter);
        const std::string expectedEffect =
            c.command ? std::string(1, static_cast<char>('A' + c.command - 1)) : ".";
        const bool same = note == NoteText(c.note) && instrument == c.instrument &&
                          hasVolume == (c.volume >= 0) && (c.volume < 0 || volume == c.volume) &&
                          effect == expectedEffect && (c.command == 0 || param == c.param);
        if (!same) {
          ++mismatches;
          ADD_FAILURE() << where << ": read " << note << " " << instrument << " v" << volume << " "
                        << effect << param << ", wrote " << NoteText(c.note) << " " << c.instrument
                        << " v" << c.volume << " " << expectedEffect << c.param;
        }
      }
}

TEST(ItWriter, MaskByteIsWrittenOnlyWhenAChannelsMaskChanges) {
  Pattern p(3, 2);
  p.At(0, 1) = Cell{.note = 60, .instrument = 1};
  p.At(1, 1) = Cell{.note = 62, .instrument = 1};
  p.At(2, 1) = Cell{.note = 64, .instrument = 1, .volume = 32};
  const std::vector<uint8_t> expected = {
      0x82, 0x03, 60, 1,    0x00,        // channel 2 with its mask: note and instrument
      0x02, 62,   1,  0x00,              // same mask: no mask byte
      0x82, 0x07, 64, 1,    32,   0x00}; // new mask with volume
  EXPECT_EQ(velmor::it::PackPattern(p), expected);
}

TEST(ItWriter, HeaderOrdersAndParapointersFollowTheLayout) {
  const Module m = SmallModule(2, 32, 4);
  const std::vector<uint8_t> b = velmor::it::WriteModule(m);
  ASSERT_GE(b.size(), 0xC0u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "IMPM");
  const int orders = U16(b, 0x20), instruments = U16(b, 0x22), samples = U16(b, 0x24),
            patterns = U16(b, 0x26);
  EXPECT_EQ(orders, 3) << "two orders and the end marker";
  EXPECT_EQ(instruments, 2);
  EXPECT_EQ(samples, 1);
  EXPECT_EQ(patterns, 2);
  EXPECT_EQ(U16(b, 0x2A), 0x0214) << "compatible-with version";
  EXPECT_EQ(b[0x32], 3);
  EXPECT_EQ(b[0x33], 125);
  EXPECT_EQ(b[0x40 + 3], 32) << "a used channel is enabled";
  EXPECT_EQ(b[0x40 + 4], 32 | 128) << "an unused channel is disabled";
  EXPECT_EQ(b[0xC0], 0);
  EXPECT_EQ(b[0xC1], 1);
  EXPECT_EQ(b[0xC2], 255);

  size_t at = 0xC0 + orders;
  for (int i = 0; i < instruments; ++i, at += 4)
    EXPECT_EQ(std::string(b.begin() + U32(b, at), b.begin() + U32(b, at) + 4), "IMPI");
  for (int i = 0; i < samples; ++i, at += 4) {
    const size_t header = U32(b, at);
    ASSERT_EQ(std::string(b.begin() + header, b.begin() + header + 4), "IMPS");
    const size_t length = U32(b, header + 0x30), data = U32(b, header + 0x48);
    EXPECT_EQ(length, 64u);
    ASSERT_LE(data + 2 * length, b.size()) << "sample data runs past the end";
    EXPECT_EQ(static_cast<int16_t>(U16(b, data + 2 * 10)), m.samples[0].data[10]);
  }
  for (int i = 0; i < patterns; ++i, at += 4) {
    const size_t header = U32(b, at);
    const size_t packed = U16(b, header);
    EXPECT_EQ(U16(b, header + 2), 32) << "rows";
    ASSERT_LE(header + 8 + packed, b.size());
    // An empty pattern packs as one terminating zero per row.
    EXPECT_EQ(packed, 32u);
  }
}

TEST(ItWriter, RejectsWhatTheFormatCannotHold) {
  Module m = SmallModule(1, 16, 2);
  EXPECT_NO_THROW(velmor::it::WriteModule(m));

  Module badOrder = m;
  badOrder.orders.push_back(5);
  EXPECT_THROW(velmor::it::WriteModule(badOrder), std::invalid_argument);

  Module badLoop = m;
  badLoop.samples[0].loopEnd = 65;
  EXPECT_THROW(velmor::it::WriteModule(badLoop), std::invalid_argument);

  Module badEnvelope = m;
  badEnvelope.instruments[0].volumeEnvelope.nodes = {{0, 0}, {10, 64}, {10, 0}};
  EXPECT_THROW(velmor::it::WriteModule(badEnvelope), std::invalid_argument);

  Module tooManyRows = m;
  tooManyRows.patterns[0] = Pattern(1025, 2);
  EXPECT_THROW(velmor::it::WriteModule(tooManyRows), std::invalid_argument);

  Module badNote = m;
  badNote.patterns[0].At(0, 0).note = 120;
  EXPECT_THROW(velmor::it::WriteModule(badNote), std::invalid_argument);
}

TEST(Composition, IsDeterministic) {
  EXPECT_EQ(velmor::it::WriteModule(velmor::song::Compose()),
            velmor::it::WriteModule(velmor::song::Compose()));
}

// The period of a tone by normalised autocorrelation, refined between lags.
double PeriodOf(const std::vector<int16_t> &x, double minLag, double maxLag) {
  auto corr = [&](int lag) {
    double sum = 0, e0 = 0, e1 = 0;
    const size_t n = std::min<size_t>(x.size() - lag, 8192);
    for (size_t i = 0; i < n; ++i) {
      sum += static_cast<double>(x[i]) * x[i + lag];
      e0 += static_cast<double>(x[i]) * x[i];
      e1 += static_cast<double>(x[i + lag]) * x[i + lag];
    }
    return sum / std::sqrt(e0 * e1 + 1e-9);
  };
  int best = static_cast<int>(minLag);
  for (int lag = best; lag <= maxLag; ++lag)
    if (corr(lag) > corr(best)) best = lag;
  const double a = corr(best - 1), b = corr(best), c = corr(best + 1);
  return best + 0.5 * (a - c) / (a - 2 * b + c);
}

TEST(Samples, TonalSamplesPlayMiddleCAtNoteC5) {
  const Module m = velmor::song::Compose();
  int checked = 0;
  for (const velmor::it::Sample &s : m.samples) {
    if (s.name != "Bass" && s.name != "Pluck" && s.name != "Electric piano" && s.name != "Lead")
      continue;
    ++checked;
    // Look for a period between 200 and 330 Hz at the sample's own rate.
    const double period = PeriodOf(s.data, s.c5Speed / 330.0, s.c5Speed / 200.0);
    const double cents = 1200.0 * std::log2(s.c5Speed / period / velmor::synth::kMiddleC);
    EXPECT_NEAR(cents, 0.0, 5.0) << s.name;
  }
  EXPECT_EQ(checked, 4);
}

TEST(Samples, LoopsJoinWithoutAStepAndOneShotsEndInSilence) {
  const Module m = velmor::song::Compose();
  for (const velmor::it::Sample &s : m.samples) {
    ASSERT_FALSE(s.data.empty()) << s.name;
    if (!s.loop) {
      EXPECT_LT(std::abs(s.data.back()), 64) << s.name << " ends on a click";
      continue;
    }
    int largestStep = 0;
    for (uint32_t i = s.loopStart + 1; i < s.loopEnd; ++i)
      largestStep = std::max(largestStep, std::abs(s.data[i] - s.data[i - 1]));
    const int seam = std::abs(s.data[s.loopStart] - s.data[s.loopEnd - 1]);
    EXPECT_LE(seam, largestStep) << s.name << ": the loop seam jumps";
  }
}

TEST(Samples, NothingIsSynthesisedAtFullScale) {
  // Headroom in every sample keeps interpolation overshoot from wrapping.
  for (const velmor::it::Sample &s : velmor::song::Compose().samples) {
    int peak = 0;
    for (int16_t v : s.data) peak = std::max(peak, std::abs(static_cast<int>(v)));
    EXPECT_LT(peak, 32000) << s.name;
    EXPECT_GT(peak, 16000) << s.name << " wastes resolution";
  }
}

} // namespace
