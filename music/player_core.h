// The one player behind the music calls: libopenmpt renders the module, a
// volume slide is applied, and what will be heard goes into a ring with marks
// of the module's order and row. A sink (the sound device, or the capture
// tool's audio track) pulls rendered audio; the frame thread reads position
// and spectrum at the sample the sink says is being heard.
//
// Threads: PlayerRender runs on the sink's thread; every other call runs on
// the frame thread. The ring is written by one and read by the other without
// locks; installing or restarting a module happens under the sink's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct openmpt_module;

constexpr int audioRate = 44100;       // stereo frames per second, played and captured
constexpr int spectrumSize = 512;      // samples per spectrum
constexpr size_t ringFrames = 1 << 15; // ~0.74 s of heard audio
constexpr size_t ringMarks = 1 << 10;  // position marks, one per render chunk
constexpr int renderChunk = 128;       // frames per libopenmpt read and mark

struct PositionMark {
  uint64_t frame; // index of the first frame rendered at this position
  uint32_t order;
  uint32_t row;
};

// Reads the whole file at `path` into `bytes`; false and one line on standard
// error (naming the file and the reason) when it cannot be read.
bool PlayerReadModuleFile(const char *path, std::vector<char> *bytes);
// Loads the module file; nullptr and one line on standard error (naming the
// file and the reason) when it cannot be read or is not a module.
openmpt_module *PlayerOpenModule(const char *path, int loopForever);
// The same from the file's bytes, already read; `name` is the file's name for
// the line. The bytes may be freed once it returns.
openmpt_module *PlayerOpenModuleBytes(const void *bytes, size_t size, const char *name,
                                      int loopForever);
// The same without the line: why libopenmpt refused the bytes goes into
// `why` (empty when it gave no reason), for a caller that words it itself.
openmpt_module *PlayerLoadModule(const void *bytes, size_t size, int loopForever, std::string *why);
void PlayerCloseModule(openmpt_module *module);

// Under the sink's lock: makes `module` the one that plays (not yet started).
void PlayerInstall(openmpt_module *module);
// Under the sink's lock: plays the installed module from its beginning (the
// first order the song plays, which need not be order 0) at full volume.
void PlayerRestart();

// Sink thread: fills `out` with `frames` interleaved stereo float frames.
// Silence while nothing plays; never allocates, never blocks.
void PlayerRender(float *out, int frames);

// Fades to silence over `frames` rendered frames, then stops the channel.
void PlayerSlideToSilence(uint64_t frames);
// The same fade begun at the rendered frame `first`, which may lie behind
// what was rendered (frames rendered but not yet played, faded by whoever
// holds them): what is rendered next carries on the fade from there.
void PlayerSlideToSilenceFrom(uint64_t first, uint64_t frames);

// Frames rendered so far (the ring's write position).
uint64_t PlayerFramesRendered();
// Where libopenmpt's renderer stands now (ahead of what is heard).
uint32_t PlayerRendererPosition();
// order | row << 16 at frame `heard` (0 before anything played).
uint32_t PlayerPositionAt(uint64_t heard);
// Makes the FFT's tables and the window once, so that spectra allocate
// nothing and compute no cosines.
void PlayerPrepareSpectrum();
// 256 magnitudes |X_k| * 2 / 512 of the Hann-windowed mono mix of the 512
// frames before `heard`. Allocates nothing.
void PlayerSpectrumAt(uint64_t heard, float *magnitudes);
// The installed module's length in seconds for one pass; 0 when none.
double PlayerModuleSeconds();
// Whether the channel is playing (started and not stopped by a slide).
bool PlayerIsPlaying();

// Writes a stereo block into the ring as if it had been rendered; for tests
// of the spectrum and the marks.
void PlayerRingWrite(const float *stereo, int frames, uint32_t order, uint32_t row);
// Back to nothing installed, empty ring (tests; the sink must be stopped).
void PlayerReset();
