#include "tools/module/it_format.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace velmor::it {

namespace {

constexpr size_t kHeaderSize = 0xC0;
constexpr size_t kInstrumentSize = 554;
constexpr size_t kSampleHeaderSize = 80;
constexpr size_t kPatternHeaderSize = 8;

class Writer {
public:
  void U8(int v) { bytes.push_back(static_cast<uint8_t>(v)); }
  void U16(unsigned v) {
    U8(v & 0xFF);
    U8((v >> 8) & 0xFF);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  void Text(const std::string &s, size_t width) {
    for (size_t i = 0; i < width; ++i) U8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
  }
  void Bytes(const std::vector<uint8_t> &b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
  void PatchU32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  size_t Size() const { return bytes.size(); }

  std::vector<uint8_t> bytes;
};

void Check(bool ok, const char *what) {
  if (!ok) throw std::invalid_argument(what);
}

void WriteEnvelope(Writer &w, const Envelope &env) {
  Check(env.nodes.size() <= 25, "envelope has more than 25 nodes");
  int flags = 0;
  if (!env.nodes.empty()) flags |= 1;
  if (env.sustainStart >= 0) {
    Check(env.sustainStart <= env.sustainEnd && env.sustainEnd < static_cast<int>(env.nodes.size()),
          "envelope sustain loop outside its nodes");
    flags |= 4;
  }
  w.U8(flags);
  w.U8(static_cast<int>(env.nodes.size()));
  w.U8(0); // loop start and end: unused
  w.U8(0);
  w.U8(std::max(env.sustainStart, 0));
  w.U8(std::max(env.sustainEnd, 0));
  int previousTick = -1;
  for (size_t i = 0; i < 25; ++i) {
    if (i < env.nodes.size()) {
      const EnvelopeNode &n = env.nodes[i];
      Check(n.tick > previousTick && n.tick <= 0xFFFF, "envelope ticks must increase");
      Check(n.value >= 0 && n.value <= 64, "volume envelope value outside 0..64");
      previousTick = n.tick;
      w.U8(n.value);
      w.U16(n.tick);
    } else {
      w.U8(0);
      w.U16(0);
    }
  }
  w.U8(0);
}

void WriteEmptyEnvelope(Writer &w) {
  for (int i = 0; i < 82; ++i) w.U8(0);
}

void WriteInstrument(Writer &w, const Instrument &ins, size_t sampleCount) {
  Check(ins.sample >= 1 && static_cast<size_t>(ins.sample) <= sampleCount,
        "instrument refers to a missing sample");
  Check(ins.fadeout >= 0 && ins.fadeout <= 128, "fadeout outside 0..128");
  Check(ins.globalVolume >= 0 && ins.globalVolume <= 128, "instrument volume outside 0..128");
  Check(ins.pan >= -1 && ins.pan <= 64, "instrument pan outside 0..64");
  const size_t start = w.Size();
  w.Text("IMPI", 4);
  w.Text("", 12);
  w.U8(0);
  w.U8(static_cast<int>(ins.nna));
  w.U8(0); // duplicate check: off
  w.U8(0);
  w.U16(ins.fadeout);
  w.U8(0); // pitch-pan separation and centre (C-5)
  w.U8(60);
  w.U8(ins.globalVolume);
  w.U8(ins.pan < 0 ? 128 : (ins.pan | 128));
  w.U8(0); // random volume and pan variation
  w.U8(0);
  w.U16(kCreatedWithVersion);
  w.U8(1); // number of samples
  w.U8(0);
  w.Text(ins.name, 26);
  w.U8(0); // filter cutoff and resonance: unused
  w.U8(0);
  w.U8(0); // MIDI channel, program, bank
  w.U8(0xFF);
  w.U16(0xFFFF);
  for (int note = 0; note < 120; ++note) {
    w.U8(note);
    w.U8(ins.sample);
  }
  WriteEnvelope(w, ins.volumeEnvelope);
  WriteEmptyEnvelope(w); // panning
  WriteEmptyEnvelope(w); // pitch
  w.Text("", 4);
  Check(w.Size() - start == kInstrumentSize, "instrument header size");
}

// Returns the offset of the sample-data pointer so it can be patched later.
size_t WriteSampleHeader(Writer &w, const Sample &s) {
  Check(s.globalVolume >= 0 && s.globalVolume <= 64, "sample volume outside 0..64");
  Check(s.defaultVolume >= 0 && s.defaultVolume <= 64, "sample volume outside 0..64");
  Check(!s.data.empty(), "empty sample");
  if (s.loop)
    Check(s.loopStart < s.loopEnd && s.loopEnd <= s.data.size(), "sample loop outside its data");
  const size_t start = w.Size();
  w.Text("IMPS", 4);
  w.Text("", 12);
  w.U8(0);
  w.U8(s.globalVolume);
  w.U8(1 | 2 | (s.loop ? 16 : 0)); // has data, 16-bit, loop
  w.U8(s.defaultVolume);
  w.Text(s.name, 26);
  w.U8(1);  // signed samples
  w.U8(32); // default pan, not enabled
  w.U32(static_cast<uint32_t>(s.data.size()));
  w.U32(s.loop ? s.loopStart : 0);
  w.U32(s.loop ? s.loopEnd : 0);
  w.U32(s.c5Speed);
  w.U32(0); // sustain loop
  w.U32(0);
  const size_t pointerAt = w.Size();
  w.U32(0);
  w.U8(s.vibratoSpeed);
  w.U8(s.vibratoDepth);
  w.U8(s.vibratoSweep);
  w.U8(0); // sine
  Check(w.Size() - start == kSampleHeaderSize, "sample header size");
  return pointerAt;
}

// Fields of a file whose length at `at` the caller has checked.
uint32_t U16At(const uint8_t *b, uint64_t at) { return b[at] | b[at + 1] << 8; }
uint32_t U32At(const uint8_t *b, uint64_t at) { return U16At(b, at) | U16At(b, at + 2) << 16; }

// Where the data of the sample whose whole header lies at `header` ends.
uint64_t SampleDataEnd(const uint8_t *b, size_t size, uint64_t header) {
  const uint32_t flags = b[header + 0x12];
  if ((flags & 1) == 0) return 0; // no data
  const uint64_t frames = U32At(b, header + 0x30);
  const uint64_t at = U32At(b, header + 0x48);
  const bool wide = (flags & 2) != 0;
  const uint64_t channels = (flags & 4) != 0 ? 2 : 1;
  if ((flags & 8) != 0) {
    // Compressed: per channel, one block per 32768 bytes of decoded sound,
    // each led by its length, so only walking the blocks finds the end.
    const uint64_t perBlock = wide ? 0x4000 : 0x8000;
    const uint64_t blocks = channels * ((frames + perBlock - 1) / perBlock);
    uint64_t end = at;
    for (uint64_t i = 0; i < blocks; ++i) {
      if (end + 2 > size) return end + 2;
      end += 2 + U16At(b, end);
    }
    return end;
  }
  // 4-bit deltas after a 16-byte table, which some 8-bit samples are stored as.
  if (b[header + 0x2E] == 0xFF && !wide) return at + 16 + (frames + 1) / 2;
  return at + frames * channels * (wide ? 2 : 1);
}

} // namespace

uint64_t BytesNeeded(const uint8_t *b, size_t size) {
  if (size < 4 || std::memcmp(b, "IMPM", 4) != 0) return 0;
  if (size < kHeaderSize) return kHeaderSize;
  const uint64_t orders = U16At(b, 0x20), instruments = U16At(b, 0x22), samples = U16At(b, 0x24),
                 patterns = U16At(b, 0x26);
  const uint64_t instrumentPointers = kHeaderSize + orders;
  const uint64_t samplePointers = instrumentPointers + 4 * instruments;
  const uint64_t patternPointers = samplePointers + 4 * samples;
  uint64_t needed = patternPointers + 4 * patterns;
  if (needed > size) return needed;
  auto reach = [&needed](uint64_t end) { needed = std::max(needed, end); };
  if ((U16At(b, 0x2E) & 1) != 0) reach(uint64_t{U32At(b, 0x38)} + U16At(b, 0x36));
  // An offset of 0 stands for an empty slot.
  for (uint64_t i = 0; i < instruments; ++i)
    if (const uint64_t at = U32At(b, instrumentPointers + 4 * i)) reach(at + kInstrumentSize);
  for (uint64_t i = 0; i < samples; ++i) {
    const uint64_t at = U32At(b, samplePointers + 4 * i);
    if (at == 0) continue;
    reach(at + kSampleHeaderSize);
    if (at + kSampleHeaderSize <= size) reach(SampleDataEnd(b, size, at));
  }
  for (uint64_t i = 0; i < patterns; ++i) {
    const uint64_t at = U32At(b, patternPointers + 4 * i);
    if (at == 0) continue;
    reach(at + kPatternHeaderSize);
    if (at + kPatternHeaderSize <= size) reach(at + kPatternHeaderSize + U16At(b, at));
  }
  return needed;
}

Pattern::Pattern(int rowCount, int channelCount)
    : rows(rowCount), channels(channelCount), cells(static_cast<size_t>(rowCount) * channelCount) {}

std::vector<uint8_t> PackPattern(const Pattern &pattern) {
  Check(pattern.channels >= 1 && pattern.channels <= kMaxChannels, "pattern channel count");
  Writer w;
  // A channel's mask byte is only written when it differs from that channel's
  // previous one in this pattern; readers reset the remembered masks per pattern.
  std::array<int, kMaxChannels> lastMask;
  lastMask.fill(-1);
  for (int row = 0; row < pattern.rows; ++row) {
    for (int ch = 0; ch < pattern.channels; ++ch) {
      const Cell &c = pattern.At(row, ch);
      if (c.Empty()) continue;
      int mask = 0;
      if (c.note >= 0) {
        Check(c.note <= 119 || c.note == kNoteOff || c.note == kNoteCut, "note value");
        mask |= 1;
      }
      if (c.instrument > 0) {
        Check(c.instrument <= 99, "instrument number");
        mask |= 2;
      }
      if (c.volume >= 0) {
        Check(c.volume <= 212, "volume column value");
        mask |= 4;
      }
      if (c.command > 0) {
        Check(c.command <= 26 && c.param >= 0 && c.param <= 255, "effect");
        mask |= 8;
      }
      if (mask == lastMask[ch]) {
        w.U8(ch + 1);
      } else {
        w.U8((ch + 1) | 0x80);
        w.U8(mask);
        lastMask[ch] = mask;
      }
      if (mask & 1) w.U8(c.note);
      if (mask & 2) w.U8(c.instrument);
      if (mask & 4) w.U8(c.volume);
      if (mask & 8) {
        w.U8(c.command);
        w.U8(c.param);
      }
    }
    w.U8(0);
  }
  return w.bytes;
}

std::vector<uint8_t> WriteModule(const Module &m) {
  Check(!m.orders.empty() && m.orders.size() <= 255, "order count");
  Check(!m.patterns.empty() && m.patterns.size() <= 200, "pattern count");
  Check(m.instruments.size() <= 99 && m.samples.size() <= 99, "instrument or sample count");
  Check(m.channelsUsed >= 1 && m.channelsUsed <= kMaxChannels, "channel count");
  Check(m.initialSpeed >= 1 && m.initialSpeed <= 255, "speed");
  Check(m.initialTempo >= 32 && m.initialTempo <= 255, "tempo");
  Check(m.globalVolume >= 0 && m.globalVolume <= 128 && m.mixVolume >= 0 && m.mixVolume <= 128,
        "global or mix volume");
  for (int o : m.orders)
    Check(o >= 0 && o < static_cast<int>(m.patterns.size()), "order refers to a missing pattern");
  for (const Pattern &p : m.patterns)
    Check(p.rows >= 1 && p.rows <= 1024 && p.channels <= m.channelsUsed, "pattern size");

  const size_t orderCount = m.orders.size() + 1; // with the end marker
  std::string message = m.message;
  std::replace(message.begin(), message.end(), '\n', '\r');

  Writer w;
  w.Text("IMPM", 4);
  w.Text(m.name, 26);
  w.U8(8); // row highlights: a beat is 8 rows, a bar 32
  w.U8(32);
  w.U16(static_cast<unsigned>(orderCount));
  w.U16(static_cast<unsigned>(m.instruments.size()));
  w.U16(static_cast<unsigned>(m.samples.size()));
  w.U16(static_cast<unsigned>(m.patterns.size()));
  w.U16(kCreatedWithVersion);
  w.U16(0x0214);
  w.U16(1 | 4 | 8); // stereo, instruments, linear slides
  w.U16(message.empty() ? 0 : 1);
  w.U8(m.globalVolume);
  w.U8(m.mixVolume);
  w.U8(m.initialSpeed);
  w.U8(m.initialTempo);
  w.U8(m.separation);
  w.U8(0); // pitch wheel depth
  w.U16(message.empty() ? 0 : static_cast<unsigned>(message.size() + 1));
  const size_t messagePointerAt = w.Size();
  w.U32(0);
  w.U32(0); // reserved
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    const int pan = m.channelPan[ch];
    Check(pan >= 0 && pan <= 64, "channel pan");
    w.U8(ch < m.channelsUsed ? pan : pan | 128);
  }
  for (int ch = 0; ch < kMaxChannels; ++ch) {
    Check(m.channelVolume[ch] >= 0 && m.channelVolume[ch] <= 64, "channel volume");
    w.U8(m.channelVolume[ch]);
  }
  Check(w.Size() == kHeaderSize, "module header size");
  for (int o : m.orders) w.U8(o);
  w.U8(255);

  const size_t instrumentPointersAt = w.Size();
  for (size_t i = 0; i < m.instruments.size(); ++i) w.U32(0);
  const size_t samplePointersAt = w.Size();
  for (size_t i = 0; i < m.samples.size(); ++i) w.U32(0);
  const size_t patternPointersAt = w.Size();
  for (size_t i = 0; i < m.patterns.size(); ++i) w.U32(0);

  if (!message.empty()) {
    w.PatchU32(messagePointerAt, static_cast<uint32_t>(w.Size()));
    w.Text(message, message.size() + 1);
  }
  for (size_t i = 0; i < m.instruments.size(); ++i) {
    w.PatchU32(instrumentPointersAt + 4 * i, static_cast<uint32_t>(w.Size()));
    WriteInstrument(w, m.instruments[i], m.samples.size());
  }
  std::vector<size_t> dataPointersAt;
  for (size_t i = 0; i < m.samples.size(); ++i) {
    w.PatchU32(samplePointersAt + 4 * i, static_cast<uint32_t>(w.Size()));
    dataPointersAt.push_back(WriteSampleHeader(w, m.samples[i]));
  }
  for (size_t i = 0; i < m.patterns.size(); ++i) {
    const std::vector<uint8_t> packed = PackPattern(m.patterns[i]);
    Check(packed.size() <= 0xFFFF, "packed pattern longer than 65535 bytes");
    w.PatchU32(patternPointersAt + 4 * i, static_cast<uint32_t>(w.Size()));
    w.U16(static_cast<unsigned>(packed.size()));
    w.U16(m.patterns[i].rows);
    w.U32(0);
    w.Bytes(packed);
  }
  for (size_t i = 0; i < m.samples.size(); ++i) {
    w.PatchU32(dataPointersAt[i], static_cast<uint32_t>(w.Size()));
    for (int16_t v : m.samples[i].data) w.U16(static_cast<uint16_t>(v));
  }
  return w.bytes;
}

} // namespace velmor::it
