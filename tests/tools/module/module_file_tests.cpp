// The committed music module as the intro will play it: its form, its loop, its
// level, the beat the visuals follow, and that the generator still makes it.
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr size_t kChunk = 64; // 1.5 ms: much finer than a 60 ms row

std::vector<uint8_t> ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One pass through the song, as mono, with the frame at which each row began.
struct Render {
  std::vector<float> mono;
  float peak = 0;
  struct RowStart {
    int order, row;
    size_t frame;
  };
  std::vector<RowStart> rows;
  std::string log;
};

const Render &OnePass() {
  static const Render render = [] {
    Render r;
    std::ostringstream log;
    const std::vector<uint8_t> bytes = ReadFile(VELMOR_MODULE);
    openmpt::module mod(bytes.data(), bytes.size(), log);
    std::vector<float> left(kChunk), right(kChunk);
    int lastOrder = -1, lastRow = -1;
    while (size_t got = mod.read(kRate, kChunk, left.data(), right.data())) {
      const size_t start = r.mono.size();
      for (size_t i = 0; i < got; ++i) {
        r.mono.push_back(0.5f * (left[i] + right[i]));
        r.peak = std::max({r.peak, std::fabs(left[i]), std::fabs(right[i])});
      }
      if (mod.get_current_order() != lastOrder || mod.get_current_row() != lastRow) {
        lastOrder = mod.get_current_order(), lastRow = mod.get_current_row();
        r.rows.push_back({lastOrder, lastRow, start});
      }
    }
    r.log = log.str();
    return r;
  }();
  return render;
}

double RmsDb(const std::vector<float> &x, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
  return 10.0 * std::log10(sum / std::max<size_t>(to - from, 1) + 1e-30);
}

size_t FrameOf(const Render &r, int order, int row) {
  for (const Render::RowStart &s : r.rows)
    if (s.order == order && s.row == row) return s.frame;
  ADD_FAILURE() << "order " << order << " row " << row << " never played";
  return 0;
}

// |X_3| of a Hann-windowed 512-point DFT: the 258 Hz bin the visuals' flicker reads.
double Bin3(const std::vector<float> &x, size_t start) {
  std::complex<double> sum = 0;
  for (size_t n = 0; n < 512 && start + n < x.size(); ++n) {
    const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / 512);
    sum += w * x[start + n] * std::polar(1.0, -2 * std::numbers::pi * 3 * n / 512);
  }
  return std::abs(sum);
}

TEST(CommittedModule, HasThirteenOrdersEachItsOwn256RowPatternAtSpeed3Tempo125) {
  std::ostringstream log;
  const std::vector<uint8_t> bytes = ReadFile(VELMOR_MODULE);
  ASSERT_FALSE(bytes.empty()) << VELMOR_MODULE;
  openmpt::module mod(bytes.data(), bytes.size(), log);
  EXPECT_EQ(log.str(), "") << "libopenmpt complained while loading";
  EXPECT_EQ(mod.get_metadata("type"), "it");
  ASSERT_EQ(mod.get_num_orders(), 13);
  EXPECT_EQ(mod.get_num_patterns(), 13);
  std::vector<int> patterns;
  for (int o = 0; o < 13; ++o) {
    const int p = mod.get_order_pattern(o);
    patterns.push_back(p);
    EXPECT_EQ(mod.get_pattern_num_rows(p), 256) << "order " << o;
  }
  std::sort(patterns.begin(), patterns.end());
  EXPECT_EQ(std::unique(patterns.begin(), patterns.end()), patterns.end())
      << "two orders share a pattern";
  EXPECT_EQ(mod.get_current_speed(), 3);
  EXPECT_EQ(mod.get_current_tempo(), 125);
  EXPECT_GE(mod.get_duration_seconds(), 195.0);
  EXPECT_LE(mod.get_duration_seconds(), 205.0);
}

TEST(CommittedModule, PlaysEveryOrderOnceThenLoopsToOrder0Row0) {
  const std::vector<uint8_t> bytes = ReadFile(VELMOR_MODULE);
  openmpt::module mod(bytes.data(), bytes.size());
  mod.set_repeat_count(-1);
  std::vector<float> left(kChunk), right(kChunk);
  std::vector<int> orders;
  int lastRowOfOrder12 = -1;
  bool looped = false;
  for (size_t frames = 0; frames < 210u * kRate && !looped; frames += kChunk) {
    ASSERT_EQ(mod.read(kRate, kChunk, left.data(), right.data()), kChunk);
    const int order = mod.get_current_order(), row = mod.get_current_row();
    if (orders.empty() || orders.back() != order) {
      if (!orders.empty() && orders.back() == 12) {
        EXPECT_EQ(order, 0);
        EXPECT_EQ(row, 0) << "the loop should land on the first row";
        EXPECT_EQ(lastRowOfOrder12, 255) << "order 12 should play to its end";
        looped = true;
      }
      orders.push_back(order);
    }
    if (order == 12) lastRowOfOrder12 = row;
  }
  EXPECT_TRUE(looped) << "never came back to order 0 within 210 s";
  const std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0};
  EXPECT_EQ(orders, expected);
}

TEST(CommittedModule, NeverClipsAndSitsAtAComfortableLevel) {
  const Render &r = OnePass();
  EXPECT_EQ(r.log, "");
  ASSERT_GT(r.mono.size(), 195u * kRate);
  EXPECT_LT(20.0 * std::log10(r.peak), -1.0) << "peak in dBFS";
  EXPECT_GT(20.0 * std::log10(r.peak), -9.0) << "peak in dBFS: far too quiet";
  const double main = RmsDb(r.mono, FrameOf(r, 2, 0), FrameOf(r, 12, 0));
  EXPECT_GT(main, -22.0) << "RMS of orders 2-11 in dBFS";
  EXPECT_LT(main, -10.0) << "RMS of orders 2-11 in dBFS";
}

TEST(CommittedModule, WindsDownAtTheEndAndStartsSoftlySoTheLoopFeelsNatural) {
  const Render &r = OnePass();
  const size_t order11 = FrameOf(r, 11, 0), order12 = FrameOf(r, 12, 0);
  const size_t end = r.mono.size();
  const double closing = RmsDb(r.mono, order11, order12);
  const double outroSecondHalf = RmsDb(r.mono, FrameOf(r, 12, 128), end);
  EXPECT_LT(outroSecondHalf, closing - 8.0);
  EXPECT_LT(RmsDb(r.mono, end - kRate, end), -50.0) << "the last second should be silent";
  // The first card's bar is soft: the pad swells in rather than starting on a hit.
  EXPECT_LT(RmsDb(r.mono, 0, kRate / 2), closing - 15.0);
  EXPECT_GT(RmsDb(r.mono, 0, FrameOf(r, 1, 0)), -40.0) << "order 0 must not be silent";
}

TEST(CommittedModule, KickPulsesTheBandTheVisualsFlickerWith) {
  const Render &r = OnePass();
  const std::vector<uint8_t> bytes = ReadFile(VELMOR_MODULE);
  openmpt::module mod(bytes.data(), bytes.size());
  int kick = 0;
  const std::vector<std::string> names = mod.get_instrument_names();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == "Kick") kick = static_cast<int>(i) + 1;
  ASSERT_GT(kick, 0) << "no instrument called Kick";

  // In the main section, compare the 80 ms after each kick (the visuals poll at a
  // video frame rate, so they land anywhere in there) with the same span half a beat
  // later (4 rows, where the off-beat hats and bass sit).
  auto band = [&](size_t from) {
    double sum = 0;
    for (size_t t = 0; t <= 8; ++t) sum += Bin3(r.mono, from + t * kRate / 100);
    return sum / 9;
  };
  std::vector<double> ratios;
  for (int order = 2; order <= 7; ++order) {
    const int pattern = mod.get_order_pattern(order);
    for (int row = 0; row + 4 < 256; ++row)
      for (int ch = 0; ch < mod.get_num_channels(); ++ch)
        if (mod.get_pattern_row_channel_command(pattern, row, ch,
                                                openmpt::module::command_instrument) == kick) {
          const double on = band(FrameOf(r, order, row));
          const double off = band(FrameOf(r, order, row + 4));
          ratios.push_back(on / std::max(off, 1e-9));
        }
  }
  ASSERT_GT(ratios.size(), 100u) << "the main section should have a steady kick";
  std::sort(ratios.begin(), ratios.end());
  EXPECT_GT(ratios[ratios.size() / 2], 3.0) << "median bin-3 ratio, kick vs. off-beat";
  EXPECT_GT(ratios[ratios.size() / 10], 1.5) << "tenth percentile: nearly every kick must show";
}

TEST(CommittedModule, IsExactlyWhatTheGeneratorWrites) {
  const std::string out = (std::filesystem::temp_directory_path() /
                           ("velmor-module-" + std::to_string(getpid()) + ".it"))
                              .string();
  const std::string command = std::string("\"") + VELMOR_MODULE_GENERATOR + "\" \"" + out + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::vector<uint8_t> generated = ReadFile(out), committed = ReadFile(VELMOR_MODULE);
  std::filesystem::remove(out);
  ASSERT_EQ(generated.size(), committed.size());
  const auto mismatch = std::mismatch(generated.begin(), generated.end(), committed.begin());
  EXPECT_TRUE(mismatch.first == generated.end())
      << "first difference at byte " << (mismatch.first - generated.begin())
      << "; regenerate torva_velmor2.it with velmor-module";
}

} // namespace
