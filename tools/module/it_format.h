// A small in-memory model of an Impulse Tracker module and its serialiser.
// Only what the generator needs: instruments with volume envelopes, uncompressed
// 16-bit mono samples, packed patterns and an optional song message. Files of
// other makers are only measured, never read into the model.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmor::it {

constexpr int kMaxChannels = 64;
constexpr int kNoteOff = 255;
constexpr int kNoteCut = 254;

struct Cell {
  int note = -1;      // 0..119 (C-0..B-9, 60 = C-5), kNoteOff, kNoteCut, or -1 for none
  int instrument = 0; // 1-based, 0 for none
  int volume = -1;    // volume column byte (0..64 sets volume), -1 for none
  int command = 0;    // effect letter as a number (A = 1), 0 for none
  int param = 0;

  bool Empty() const { return note < 0 && instrument == 0 && volume < 0 && command == 0; }
};

struct Pattern {
  Pattern(int rowCount, int channelCount);
  Cell &At(int row, int channel) { return cells[row * channels + channel]; }
  const Cell &At(int row, int channel) const { return cells[row * channels + channel]; }

  int rows;
  int channels;
  std::vector<Cell> cells;
};

struct EnvelopeNode {
  int tick;  // 0..65535, strictly increasing
  int value; // 0..64 for volume
};

struct Envelope {
  std::vector<EnvelopeNode> nodes; // at most 25; an empty list disables the envelope
  int sustainStart = -1;           // node indices; -1 for no sustain loop
  int sustainEnd = -1;
};

enum class NewNoteAction : uint8_t { Cut = 0, Continue = 1, NoteOff = 2, Fade = 3 };

struct Instrument {
  std::string name;
  int sample = 0; // 1-based sample played over the whole keyboard
  NewNoteAction nna = NewNoteAction::Cut;
  int fadeout = 0;        // 0..128 in the file's units
  int globalVolume = 128; // 0..128
  int pan = -1;           // 0..64, or -1 to leave the channel's pan alone
  Envelope volumeEnvelope;
};

struct Sample {
  std::string name;
  std::vector<int16_t> data;
  uint32_t c5Speed = 44100; // playback rate of note C-5
  bool loop = false;
  uint32_t loopStart = 0;
  uint32_t loopEnd = 0;
  int globalVolume = 64;  // 0..64
  int defaultVolume = 64; // 0..64
  int vibratoSpeed = 0;   // automatic vibrato, 0..64 each
  int vibratoDepth = 0;
  int vibratoSweep = 0;
};

struct Module {
  std::string name;
  std::string message; // lines separated by '\n'; stored with CR line ends
  int initialSpeed = 6;
  int initialTempo = 125;
  int globalVolume = 128;                        // 0..128
  int mixVolume = 48;                            // 0..128
  int separation = 128;                          // 0..128
  std::array<int, kMaxChannels> channelPan{};    // 0..64
  std::array<int, kMaxChannels> channelVolume{}; // 0..64
  int channelsUsed = 0;                          // channels past this are written as disabled
  std::vector<int> orders;
  std::vector<Pattern> patterns;
  std::vector<Instrument> instruments;
  std::vector<Sample> samples;
};

// The creator version written to Cwt; Cmwt is always 0x0214.
constexpr uint16_t kCreatedWithVersion = 0x0214;

// Serialises the module. Throws std::invalid_argument when a value cannot be stored.
std::vector<uint8_t> WriteModule(const Module &module);

// Packs one pattern's rows as the format stores them after its 8-byte header.
std::vector<uint8_t> PackPattern(const Pattern &pattern);

// How many bytes an Impulse Tracker file's headers say it holds: the fixed
// header, the order list and offset tables, the song message, and every
// instrument, sample header, sample's data and pattern the tables point at.
// What lies past the end of `bytes` cannot be read, so a header cut off counts
// only its own size: a file that is cut short gets a figure above its size,
// not necessarily the whole file's. Bytes past the figure (a later tracker's
// additions) are no concern of it. 0 when the bytes do not begin "IMPM".
uint64_t BytesNeeded(const uint8_t *bytes, size_t size);

} // namespace velmor::it
