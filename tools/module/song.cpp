#include "tools/module/song.h"

#include <algorithm>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tools/module/synth.h"

namespace velmor::song {

namespace {

// Instrument numbers (1-based, as patterns use them).
enum Instrument : int {
  kKick = 1,
  kClap,
  kClosedHat,
  kOpenHat,
  kCrash,
  kRiser,
  kBass,
  kPad,
  kPadLong,
  kHollowPad,
  kPluck,
  kPiano,
  kBell,
  kLead,
};

enum Channel : int {
  kKickCh,
  kClapCh,
  kHatCh, // closed and open hats share it so a closed hat chokes an open one
  kFxCh,
  kBassCh,
  kPadCh, // four voices, kPadCh .. kPadCh + 3
  kArpCh = kPadCh + 4,
  kArpEchoCh,
  kMelodyCh,
  kDoubleCh,
  kMelodyEchoCh,
  kDescantCh,
};
static_assert(kDescantCh + 1 == kChannels);

// ---------------------------------------------------------------------------
// Harmony

struct Chord {
  const char *name;
  int bass;       // MIDI note number; IT numbers notes the same way (60 = C-5 = middle C)
  int voicing[4]; // pad voices, low to high
};

const Chord kChords[] = {
    {"Bm7", 35, {62, 66, 69, 71}},   {"Gmaj7", 31, {62, 66, 67, 71}},
    {"Dadd9", 38, {62, 64, 66, 69}}, {"Aadd9", 33, {61, 64, 69, 71}},
    {"Em7", 40, {62, 64, 67, 71}},   {"Asus4", 33, {62, 64, 69, 71}},
    {"F#m7", 42, {61, 64, 66, 69}},  {"Dmaj9", 38, {64, 66, 69, 73}},
    {"Dm7", 38, {65, 69, 72, 74}},   {"Bbmaj7", 34, {65, 69, 70, 74}},
    {"Fadd9", 41, {65, 67, 69, 72}}, {"Cadd9", 36, {64, 67, 72, 74}},
    {"Gm7", 43, {65, 67, 70, 74}},   {"Csus4", 36, {65, 67, 72, 74}},
};

const Chord &FindChord(const std::string &name) {
  for (const Chord &c : kChords)
    if (name == c.name) return c;
  throw std::invalid_argument("unknown chord " + name);
}

// Pitch classes that count as chord tones for the melody check.
std::vector<int> ChordTones(const Chord &c) {
  std::vector<int> tones = {c.bass % 12};
  for (int v : c.voicing) tones.push_back(v % 12);
  return tones;
}

// Eight bars; "X|Y" splits a bar into two halves (a suspension resolving).
using Progression = std::vector<std::string>;

const Progression kHome = {"Bm7", "Gmaj7", "Dadd9", "Aadd9", "Bm7", "Gmaj7", "Em7", "Asus4|Aadd9"};
// A minor third up, turning to D minor's colours; the first ends on C to stay there,
// the second on A, the dominant that leads back home.
const Progression kAwayStay = {"Dm7", "Bbmaj7", "Fadd9", "Cadd9",
                               "Dm7", "Bbmaj7", "Gm7",   "Csus4|Cadd9"};
const Progression kAwayReturn = {"Dm7", "Bbmaj7", "Fadd9", "Cadd9",
                                 "Dm7", "Bbmaj7", "Gm7",   "Asus4|Aadd9"};
const Progression kClosing = {"Gmaj7", "Aadd9",       "F#m7",  "Bm7",
                              "Em7",   "Asus4|Aadd9", "Dadd9", "Dadd9"};
const Progression kOutro = {"Bm7", "Gmaj7", "Dadd9", "Aadd9", "Gmaj7", "Dmaj9", "Dmaj9", "Dmaj9"};

// The chord sounding at a row of a progression (row 0..255).
const Chord &ChordAt(const Progression &p, int row) {
  const std::string &bar = p[row / kRowsPerBar];
  const size_t split = bar.find('|');
  if (split == std::string::npos) return FindChord(bar);
  return FindChord(row % kRowsPerBar < kRowsPerBar / 2 ? bar.substr(0, split)
                                                       : bar.substr(split + 1));
}

// ---------------------------------------------------------------------------
// Melodies: notes with durations in eighths (4 rows); bars separated by '|'.

const char *kThemeA = "F#5:2 E5 D5 F#5:4 | G5:3 F#5 E5 D5 B4:2 | F#5:2 A5:2 E5:2 D5:2 |"
                      "C#5:3 B4 C#5:2 E5:2 | F#5:2 E5 D5 B5:4 | A5:3 G5 F#5:2 D5:2 |"
                      "E5:2 G5 F#5 E5:2 B4:2 | E5:3 D5 C#5:4";
const char *kThemeB = "D6:3 C#6 B5:2 F#5:2 | G5:2 A5 B5 D6:4 | E6:3 D6 A5:4 |"
                      "C#6:2 B5:2 A5:2 E5:2 | F#5:2 B5:2 D6:2 C#6 B5 | B5:3 A5 G5:2 F#5:2 |"
                      "G5:2 F#5 E5 B5:2 G5:2 | A5:3 B5 C#6:4";
const char *kThemeBHomeBar = "A5:3 B5 C#6:4";
const char *kClosingTune = "B5:3 A5 G5:2 D5:2 | E5:3 F#5 E5:2 C#5:2 | C#6:3 B5 A5:2 F#5:2 |"
                           "D6:2 C#6 B5 B5:4 | G5:3 F#5 E5:2 B5:2 | A5:2 G5 F#5 E5:4 |"
                           "F#5:3 E5 D5:4 | r:8";
const char *kOutroTune = "F#5:2 E5 D5 F#5:4 | G5:3 F#5 E5 D5 B4:2 | F#5:2 A5:2 E5:2 D5:2 |"
                         "C#5:3 B4 C#5:2 E5:2 | D6:3 C#6 B5:4 | A5:2 F#5:2 E5:2 D5:2 | r:8 | r:8";

const char *kDescant = "D6:8 | B5:8 | A5:8 | A5:8 | D6:8 | D6:8 | B5:8 | E6:8";

struct MelodyNote {
  int row;    // from the melody's start
  int length; // rows
  int note;   // MIDI number, or -1 for a rest
};

int ParsePitch(const std::string &s) {
  static const std::map<char, int> kLetters = {{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5},
                                               {'G', 7}, {'A', 9}, {'B', 11}};
  auto letter = kLetters.find(s.at(0));
  if (letter == kLetters.end()) throw std::invalid_argument("bad pitch " + s);
  size_t i = 1;
  int pitch = letter->second;
  if (s.at(i) == '#')
    pitch++, i++;
  else if (s.at(i) == 'b')
    pitch--, i++;
  const int octave = s.at(i) - '0';
  if (octave < 0 || octave > 8 || i + 1 != s.size()) throw std::invalid_argument("bad pitch " + s);
  return 12 * (octave + 1) + pitch;
}

std::vector<MelodyNote> ParseMelody(const std::string &text) {
  std::vector<MelodyNote> notes;
  std::string spaced;
  for (char ch : text) spaced += ch == '|' ? std::string(" | ") : std::string(1, ch);
  std::istringstream in(spaced);
  std::string token;
  int row = 0, barStart = 0;
  auto closeBar = [&] {
    if (row - barStart != kRowsPerBar) throw std::invalid_argument("bar is not 8 eighths: " + text);
    barStart = row;
  };
  while (in >> token) {
    if (token == "|") {
      closeBar();
      continue;
    }
    const size_t colon = token.find(':');
    const int eighths = colon == std::string::npos ? 1 : std::stoi(token.substr(colon + 1));
    const std::string pitch = token.substr(0, colon);
    notes.push_back({row, eighths * 4, pitch == "r" ? -1 : ParsePitch(pitch)});
    row += eighths * 4;
  }
  closeBar();
  return notes;
}

std::vector<MelodyNote> Transposed(std::vector<MelodyNote> notes, int semitones) {
  for (MelodyNote &n : notes)
    if (n.note >= 0) n.note += semitones;
  return notes;
}

// Theme B a minor third up, except its last bar, which already sits on the
// dominant of home.
std::vector<MelodyNote> ThemeBAwayReturning() {
  std::vector<MelodyNote> notes;
  for (const MelodyNote &n : Transposed(ParseMelody(kThemeB), 3))
    if (n.row < 7 * kRowsPerBar) notes.push_back(n);
  for (MelodyNote n : ParseMelody(kThemeBHomeBar)) {
    n.row += 7 * kRowsPerBar;
    notes.push_back(n);
  }
  return notes;
}

// ---------------------------------------------------------------------------
// The score: events at absolute rows, split into patterns at the end.

class Score {
public:
  Score() : cells(static_cast<size_t>(kOrders) * kRowsPerPattern * kChannels) {}

  void Note(int at, int channel, int note, int instrument, int volume) {
    if (at < 0 || at >= kOrders * kRowsPerPattern) return; // echoes past the end fall away
    it::Cell &c = Cell(at, channel);
    c.note = note;
    c.instrument = instrument;
    c.volume = std::clamp(volume, 0, 64);
  }
  // A note-off never replaces a note that starts on the same row.
  void Off(int at, int channel) {
    if (at < 0 || at >= kOrders * kRowsPerPattern) return;
    it::Cell &c = Cell(at, channel);
    if (c.note < 0) c.note = it::kNoteOff;
  }

  std::vector<it::Pattern> Patterns() const {
    std::vector<it::Pattern> out;
    for (int o = 0; o < kOrders; ++o) {
      it::Pattern p(kRowsPerPattern, kChannels);
      for (int r = 0; r < kRowsPerPattern; ++r)
        for (int ch = 0; ch < kChannels; ++ch)
          p.At(r, ch) = cells[(static_cast<size_t>(o) * kRowsPerPattern + r) * kChannels + ch];
      out.push_back(p);
    }
    return out;
  }

private:
  it::Cell &Cell(int at, int channel) {
    return cells[static_cast<size_t>(at) * kChannels + channel];
  }
  std::vector<it::Cell> cells;
};

int OrderRow(int order, int row = 0) { return order * kRowsPerPattern + row; }

class Rng {
public:
  explicit Rng(uint64_t seed) : random(seed) {}
  int Jitter(int spread) { return static_cast<int>(random.Next() % (2 * spread + 1)) - spread; }

private:
  synth::Random random;
};

// --- Parts -----------------------------------------------------------------

void Pads(Score &s, int order, const Progression &p, int volume, int instrument, int fromRow = 0,
          int toRow = kRowsPerPattern) {
  const Chord *previous = nullptr;
  for (int row = fromRow; row < toRow; row += kRowsPerBar / 2) {
    const Chord &c = ChordAt(p, row);
    if (&c == previous) continue;
    for (int v = 0; v < 4; ++v)
      s.Note(OrderRow(order, row), kPadCh + v, c.voicing[v], instrument, volume - 2 * (v % 2));
    previous = &c;
  }
}

void PadsOff(Score &s, int at) {
  for (int v = 0; v < 4; ++v) s.Off(at, kPadCh + v);
}

// Rising-and-turning sixteenth figure over the pad voices an octave up, with a
// quieter dotted-sixteenth echo on the other side of the stereo field.
void Arp(Score &s, int order, const Progression &p, int volume, bool echo, int fromRow = 0,
         int toRow = kRowsPerPattern) {
  static const int kFigure[16] = {0, 1, 2, 3, 2, 1, 2, 3, 0, 1, 2, 3, 2, 3, 2, 1};
  for (int row = fromRow; row < toRow; row += 2) {
    const Chord &c = ChordAt(p, row);
    const int step = (row % kRowsPerBar) / 2;
    const int note = c.voicing[kFigure[step]] + 12;
    const int v = step % 4 == 0 ? volume : volume * 3 / 4;
    s.Note(OrderRow(order, row), kArpCh, note, kPluck, v);
    if (echo) s.Note(OrderRow(order, row) + 3, kArpEchoCh, note, kPluck, v / 2);
  }
}

enum class BassStyle { Whole, Half, Pump };

void Bass(Score &s, int order, const Progression &p, BassStyle style, int volume, int fromRow = 0,
          int toRow = kRowsPerPattern) {
  for (int row = fromRow; row < toRow; row += 4) {
    const Chord &c = ChordAt(p, row);
    const int inBar = row % kRowsPerBar;
    const bool chordChanges = row == fromRow || &ChordAt(p, row - 4) != &c;
    switch (style) {
    case BassStyle::Whole:
      if (chordChanges) s.Note(OrderRow(order, row), kBassCh, c.bass, kBass, volume);
      break;
    case BassStyle::Half:
      // Beats one and three, and a push on the last eighth into the next bar.
      if (inBar == 0 || inBar == 16 || chordChanges)
        s.Note(OrderRow(order, row), kBassCh, c.bass, kBass, volume);
      else if (inBar == 28)
        s.Note(OrderRow(order, row), kBassCh, c.bass, kBass, volume * 3 / 4);
      break;
    case BassStyle::Pump:
      // Eighths, the off-beats leaning forward: the kick owns the beats.
      s.Note(OrderRow(order, row), kBassCh, c.bass, kBass,
             inBar % 8 == 0 ? volume * 3 / 5 : volume);
      break;
    }
  }
  // Stopping early leaves room for what follows; otherwise the next order's first
  // note takes over without a gap.
  if (toRow < kRowsPerPattern) s.Off(OrderRow(order, toRow) - 1, kBassCh);
}

void Melody(Score &s, int order, const std::vector<MelodyNote> &notes, int channel, int instrument,
            int volume, int transpose, bool echo) {
  for (size_t i = 0; i < notes.size(); ++i) {
    const MelodyNote &n = notes[i];
    const int at = OrderRow(order, n.row);
    if (n.note < 0) {
      s.Off(at, channel);
      if (echo) s.Off(at + 6, kMelodyEchoCh);
      continue;
    }
    const int v = volume + (n.row % kRowsPerBeat == 0 ? 3 : 0);
    s.Note(at, channel, n.note + transpose, instrument, v);
    if (echo) s.Note(at + 6, kMelodyEchoCh, n.note + transpose, instrument, v * 2 / 5);
    const bool last = i + 1 == notes.size();
    if (last) {
      s.Off(at + n.length, channel);
      if (echo) s.Off(at + n.length + 6, kMelodyEchoCh);
    }
  }
}

struct Drums {
  bool kick = false;
  bool halfTime = false; // kick on one and three, clap on three
  bool clap = false;
  bool sixteenths = false;
  bool openHats = false;
  int hatVolume = 0; // 0: no hats
};

void DrumBars(Score &s, Rng &rng, int order, const Drums &d, int fromRow, int toRow) {
  for (int row = fromRow; row < toRow; row += 2) {
    const int at = OrderRow(order, row);
    const int inBar = row % kRowsPerBar;
    const int bar = row / kRowsPerBar;
    if (d.kick && inBar % (d.halfTime ? 16 : 8) == 0) s.Note(at, kKickCh, 60, kKick, 64);
    if (d.clap && (d.halfTime ? inBar == 16 : inBar % 16 == 8))
      s.Note(at, kClapCh, 60, kClap, 44 + rng.Jitter(2));
    if (d.hatVolume > 0) {
      if (d.openHats && bar % 2 == 1 && inBar == 28)
        s.Note(at, kHatCh, 60, kOpenHat, d.hatVolume);
      else if (inBar % 8 == 4)
        s.Note(at, kHatCh, 60, kClosedHat, d.hatVolume + rng.Jitter(2));
      else if (d.sixteenths && inBar % 4 == 2)
        s.Note(at, kHatCh, 60, kClosedHat, d.hatVolume / 2 + rng.Jitter(2));
    }
  }
}

// Claps gathering pace over the last half bar of a pattern.
void Fill(Score &s, int order) {
  const int rows[] = {208, 216, 224, 232, 236, 240, 244, 246, 248, 250, 252, 254};
  int volume = 22;
  for (int r : rows) {
    s.Note(OrderRow(order, r), kClapCh, 60, kClap, volume);
    volume = std::min(volume + 3, 52);
  }
}

void Crash(Score &s, int order, int volume) { s.Note(OrderRow(order), kFxCh, 60, kCrash, volume); }
void Riser(Score &s, int order, int row, int volume) {
  s.Note(OrderRow(order, row), kFxCh, 60, kRiser, volume);
}

// --- Instruments -----------------------------------------------------------

it::Envelope Sustained(int attack, int holdLevel, int decayTo, int decayTicks, int release) {
  it::Envelope e;
  e.nodes = {{0, 0},
             {attack, holdLevel},
             {attack + decayTicks, decayTo},
             {attack + decayTicks + release, 0}};
  e.sustainStart = e.sustainEnd = 2;
  return e;
}

it::Instrument MakeInstrument(const char *name, int sample, it::NewNoteAction nna, int volume,
                              it::Envelope envelope = {}, int fadeout = 0) {
  it::Instrument i;
  i.name = name;
  i.sample = sample;
  i.nna = nna;
  i.globalVolume = volume;
  i.volumeEnvelope = std::move(envelope);
  i.fadeout = fadeout;
  return i;
}

void AddInstruments(it::Module &m) {
  using it::NewNoteAction;
  m.samples = {synth::Kick(),      synth::Clap(),  synth::ClosedHat(),     synth::OpenHat(),
               synth::Crash(),     synth::Riser(), synth::Bass(),          synth::WarmPad(),
               synth::HollowPad(), synth::Pluck(), synth::ElectricPiano(), synth::Bell(),
               synth::Lead()};
  // Envelope ticks are 20 ms at tempo 125.
  m.instruments = {
      MakeInstrument("Kick", 1, NewNoteAction::Cut, 128),
      MakeInstrument("Clap", 2, NewNoteAction::Continue, 84),
      MakeInstrument("Closed hat", 3, NewNoteAction::Cut, 96),
      MakeInstrument("Open hat", 4, NewNoteAction::Cut, 64),
      MakeInstrument("Crash", 5, NewNoteAction::Continue, 44),
      MakeInstrument("Riser", 6, NewNoteAction::Continue, 40),
      MakeInstrument("Bass", 7, NewNoteAction::NoteOff, 104, Sustained(1, 64, 50, 9, 4), 64),
      MakeInstrument("Warm pad", 8, NewNoteAction::NoteOff, 48, Sustained(18, 64, 60, 20, 50), 16),
      MakeInstrument("Warm pad, long release", 8, NewNoteAction::NoteOff, 48,
                     Sustained(30, 64, 60, 20, 150), 16),
      MakeInstrument("Hollow pad", 9, NewNoteAction::NoteOff, 52, Sustained(14, 64, 58, 20, 45),
                     16),
      MakeInstrument("Pluck", 10, NewNoteAction::Continue, 96),
      MakeInstrument("Electric piano", 11, NewNoteAction::NoteOff, 84, Sustained(1, 64, 64, 1, 12),
                     32),
      MakeInstrument("Bell", 12, NewNoteAction::Continue, 64),
      MakeInstrument("Lead", 13, NewNoteAction::NoteOff, 52, Sustained(3, 64, 54, 37, 15), 32),
  };
  // The mix runs at full volume so that the kick's 258 Hz thump can drive the
  // visuals' flicker; everything else is set back to where it sat in the
  // balance before, a little lower to leave the kick its headroom.
  for (size_t i = 1; i < m.instruments.size(); ++i)
    m.instruments[i].globalVolume = (m.instruments[i].globalVolume * 60 + 64) / 128;
}

// --- Arrangement -----------------------------------------------------------

struct Section {
  const char *name;
  const Progression *progression;
};

const Section kSections[kOrders] = {
    {"opening: pad, then plucked arpeggio, then bass", &kHome},
    {"opening: theme A on electric piano, heartbeat kick", &kHome},
    {"theme A, drums enter", &kHome},
    {"theme B, sixteenth hats", &kHome},
    {"theme A on lead and piano in octaves", &kHome},
    {"theme B on lead and piano", &kHome},
    {"breakdown, then rebuild: theme A on lead", &kHome},
    {"climax: theme B, fill into the new key", &kHome},
    {"change of colour: F major / D minor, bell, half-time", &kAwayStay},
    {"change of colour: theme B on bell and lead, back to A", &kAwayReturn},
    {"home again: theme A, piano and lead, bell descant", &kHome},
    {"closing wishes: new tune resolving to D", &kClosing},
    {"outro: theme A on pluck, final Dmaj9 fades to silence", &kOutro},
};

void Arrange(Score &s) {
  Rng rng(0x7041);
  const std::vector<MelodyNote> themeA = ParseMelody(kThemeA);
  const std::vector<MelodyNote> themeB = ParseMelody(kThemeB);
  const Drums full{.kick = true, .clap = true, .sixteenths = true, .hatVolume = 30};

  // 0: the dedication opens on the pad alone; each card brings one more voice.
  Pads(s, 0, kHome, 40, kPad);
  Arp(s, 0, kHome, 22, false, 64, 128);
  Arp(s, 0, kHome, 24, true, 128);
  Bass(s, 0, kHome, BassStyle::Whole, 36, 128);
  DrumBars(s, rng, 0, Drums{.hatVolume = 14}, 192, 256);

  // 1: the theme, softly; a heartbeat kick from the second half.
  Pads(s, 1, kHome, 36, kPad);
  Arp(s, 1, kHome, 26, true);
  Bass(s, 1, kHome, BassStyle::Whole, 40, 0, 128);
  Bass(s, 1, kHome, BassStyle::Half, 42, 128);
  Melody(s, 1, themeA, kMelodyCh, kPiano, 38, -12, true);
  DrumBars(s, rng, 1, Drums{.hatVolume = 16}, 0, 128);
  DrumBars(s, rng, 1, Drums{.kick = true, .halfTime = true, .hatVolume = 20}, 128, 256);
  Riser(s, 1, 224, 40);

  // 2-7: the main theme builds through the pictures.
  Crash(s, 2, 40);
  Pads(s, 2, kHome, 32, kPad);
  Arp(s, 2, kHome, 26, true);
  Bass(s, 2, kHome, BassStyle::Pump, 50);
  Melody(s, 2, themeA, kMelodyCh, kPiano, 44, -12, true);
  DrumBars(s, rng, 2, Drums{.kick = true, .clap = true, .hatVolume = 28}, 0, 256);

  Pads(s, 3, kHome, 32, kPad);
  Arp(s, 3, kHome, 28, true);
  Bass(s, 3, kHome, BassStyle::Pump, 50);
  Melody(s, 3, themeB, kMelodyCh, kPiano, 44, -12, true);
  DrumBars(s, rng, 3, full, 0, 256);
  Fill(s, 3);

  Crash(s, 4, 44);
  Pads(s, 4, kHome, 34, kPad);
  Arp(s, 4, kHome, 28, true);
  Bass(s, 4, kHome, BassStyle::Pump, 52);
  Melody(s, 4, themeA, kDoubleCh, kLead, 40, 0, false);
  Melody(s, 4, themeA, kMelodyCh, kPiano, 40, -12, true);
  DrumBars(s, rng, 4, full, 0, 256);

  Pads(s, 5, kHome, 34, kPad);
  Arp(s, 5, kHome, 30, true);
  Bass(s, 5, kHome, BassStyle::Pump, 52);
  Melody(s, 5, themeB, kDoubleCh, kLead, 40, 0, false);
  Melody(s, 5, themeB, kMelodyCh, kPiano, 40, -12, true);
  DrumBars(s, rng, 5,
           Drums{.kick = true, .clap = true, .sixteenths = true, .openHats = true, .hatVolume = 30},
           0, 256);
  Fill(s, 5);

  // 6: the floor drops away for four bars, then a riser brings it back.
  Pads(s, 6, kHome, 38, kPad);
  Arp(s, 6, kHome, 30, true);
  Bass(s, 6, kHome, BassStyle::Whole, 46, 0, 128);
  Bass(s, 6, kHome, BassStyle::Pump, 52, 128);
  Melody(s, 6, themeA, kDoubleCh, kLead, 42, 0, false);
  Melody(s, 6, Transposed(themeA, -12), kMelodyEchoCh, kPiano, 18, 0, false);
  DrumBars(s, rng, 6, Drums{.hatVolume = 22}, 0, 128);
  Riser(s, 6, 96, 40);
  s.Note(OrderRow(6, 128), kFxCh, 60, kCrash, 44);
  DrumBars(s, rng, 6,
           Drums{.kick = true, .clap = true, .sixteenths = true, .openHats = true, .hatVolume = 30},
           128, 256);

  Pads(s, 7, kHome, 36, kPad);
  Arp(s, 7, kHome, 32, true);
  Bass(s, 7, kHome, BassStyle::Pump, 54);
  Melody(s, 7, themeB, kDoubleCh, kLead, 44, 0, false);
  Melody(s, 7, themeB, kMelodyCh, kPiano, 42, -12, true);
  DrumBars(s, rng, 7,
           Drums{.kick = true, .clap = true, .sixteenths = true, .openHats = true, .hatVolume = 32},
           0, 256);
  Fill(s, 7);
  Riser(s, 7, 224, 44);

  // 8-9: a new colour for the third group of pictures.
  Crash(s, 8, 40);
  Pads(s, 8, kAwayStay, 36, kHollowPad);
  Arp(s, 8, kAwayStay, 26, true);
  Bass(s, 8, kAwayStay, BassStyle::Half, 50);
  Melody(s, 8, Transposed(themeA, 3), kMelodyCh, kBell, 46, 0, true);
  DrumBars(s, rng, 8,
           Drums{.kick = true, .halfTime = true, .clap = true, .sixteenths = true, .hatVolume = 26},
           0, 256);

  Pads(s, 9, kAwayReturn, 36, kHollowPad);
  Arp(s, 9, kAwayReturn, 28, true);
  Bass(s, 9, kAwayReturn, BassStyle::Pump, 52);
  Melody(s, 9, ThemeBAwayReturning(), kMelodyCh, kBell, 46, -12, true);
  Melody(s, 9, ThemeBAwayReturning(), kDoubleCh, kLead, 30, -12, false);
  DrumBars(s, rng, 9, full, 0, 256);
  Fill(s, 9);
  Riser(s, 9, 224, 44);

  // 10-11: home again for the closing wishes.
  Crash(s, 10, 44);
  Pads(s, 10, kHome, 36, kPad);
  Arp(s, 10, kHome, 30, true);
  Bass(s, 10, kHome, BassStyle::Pump, 54);
  Melody(s, 10, themeA, kDoubleCh, kLead, 42, 0, false);
  Melody(s, 10, themeA, kMelodyCh, kPiano, 42, -12, true);
  // A bell descant, one chord tone a bar, above the theme.
  Melody(s, 10, ParseMelody(kDescant), kDescantCh, kBell, 26, 0, false);
  DrumBars(s, rng, 10,
           Drums{.kick = true, .clap = true, .sixteenths = true, .openHats = true, .hatVolume = 30},
           0, 256);

  const std::vector<MelodyNote> closing = ParseMelody(kClosingTune);
  Pads(s, 11, kClosing, 36, kPad);
  Arp(s, 11, kClosing, 28, true);
  Bass(s, 11, kClosing, BassStyle::Pump, 52, 0, 192);
  Bass(s, 11, kClosing, BassStyle::Whole, 46, 192);
  Melody(s, 11, closing, kDoubleCh, kLead, 42, 0, false);
  Melody(s, 11, closing, kMelodyCh, kPiano, 42, -12, true);
  DrumBars(s, rng, 11, full, 0, 192);
  DrumBars(s, rng, 11, Drums{.kick = true, .halfTime = true, .hatVolume = 18}, 192, 256);

  // 12: the outro thins out bar by bar and lets the last chord ring away before the loop.
  for (int bar = 0; bar < 5; ++bar) {
    const int from = bar * kRowsPerBar, to = from + kRowsPerBar;
    Pads(s, 12, kOutro, 34 - 3 * bar, kPad, from, to);
    Arp(s, 12, kOutro, 24 - 3 * bar, true, from, to);
    Bass(s, 12, kOutro, BassStyle::Whole, 40 - 4 * bar, from, to);
  }
  Pads(s, 12, kOutro, 24, kPadLong, 160, 176);
  PadsOff(s, OrderRow(12, 184));
  Bass(s, 12, kOutro, BassStyle::Whole, 22, 160, 184);
  Melody(s, 12, ParseMelody(kOutroTune), kMelodyCh, kPluck, 40, 0, true);
  // A last, slow spread of the final chord.
  const Chord &last = FindChord("Dmaj9");
  for (int v = 0; v < 4; ++v)
    s.Note(OrderRow(12, 160 + 6 * v), kArpCh, last.voicing[v] + 12, kPluck, 20 - 3 * v);
}

} // namespace

it::Module Compose() {
  it::Module m;
  m.name = "Velmor for Torva";
  m.message = "Velmor for Torva\nWith love.";
  m.initialSpeed = 3;
  m.initialTempo = 125;
  m.globalVolume = 128;
  m.mixVolume = 128;
  m.separation = 128;
  m.channelsUsed = kChannels;
  m.channelVolume.fill(64);
  m.channelPan.fill(32);
  const int pans[kChannels] = {32, 30, 42, 26, 32, 14, 26, 38, 50, 18, 46, 34, 28, 48, 20};
  std::copy(std::begin(pans), std::end(pans), m.channelPan.begin());
  AddInstruments(m);
  Score score;
  Arrange(score);
  m.patterns = score.Patterns();
  for (int o = 0; o < kOrders; ++o) m.orders.push_back(o);
  return m;
}

std::string Describe() {
  std::ostringstream out;
  static const char *kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
  auto name = [](int note) {
    return std::string(kNames[note % 12]) + std::to_string(note / 12 - 1);
  };
  const it::Module m = Compose();
  int onBeat = 0, outside = 0;
  for (int o = 0; o < kOrders; ++o) {
    const Section &sec = kSections[o];
    out << "order " << o << ": " << sec.name << "\n  chords:";
    for (const std::string &bar : *sec.progression) out << " " << bar;
    out << "\n  melody:";
    const it::Pattern &p = m.patterns[o];
    for (int r = 0; r < kRowsPerPattern; ++r) {
      const it::Cell &c = p.At(r, kMelodyCh);
      if (c.note < 0 || c.note > 119) continue;
      out << " " << name(c.note);
      if (r % kRowsPerBeat != 0) continue;
      ++onBeat;
      const std::vector<int> tones = ChordTones(ChordAt(*sec.progression, r));
      if (std::find(tones.begin(), tones.end(), c.note % 12) == tones.end()) {
        ++outside;
        out << "(!)";
      }
    }
    out << "\n";
  }
  out << onBeat << " melody notes on beats, " << outside
      << " of them outside the chord (marked (!): passing or suspended tones)\n";
  return out.str();
}

} // namespace velmor::song
