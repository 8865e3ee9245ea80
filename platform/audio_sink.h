// Where a program's sound goes: the sound device for the intro, the video's
// audio track for the capture tool, the audio thread's player in a browser.
// One implementation is linked per program. The owner of the samples hands
// the sink, when it opens it, the calls it needs, so that no sink depends on
// who renders the samples.
#pragma once

#include <cstddef>
#include <cstdint>

// The most frames a sink may hold between pulling them and their being
// heard, with room for the device's own buffering; the owner of the samples
// keeps at least this many of them for reading what is heard.
constexpr int sinkHeldFrames = 1 << 14;

// What the owner of the samples hands the sink.
struct SinkSource {
  // Fills `stereo` with the next `frames` interleaved stereo frames. Called
  // on the sink's own thread, under the sink's lock.
  void (*pull)(float *stereo, int frames);
  // For a sink whose samples are rendered elsewhere (the browser renders in
  // its audio thread, apart from the page): keeps `frames` frames rendered
  // there, heard at the module's `position` (order | row << 16), as if they
  // had been pulled, so that what is heard can be read here.
  void (*take)(const float *stereo, int frames, uint32_t position);
  // order | row << 16 of what is heard now; 0xFFFFFFFF while nothing plays.
  uint32_t (*heardPosition)();
};

// Opens the output at `rate` Hz stereo, paused, fed from `source` (which
// outlives the sink); 1 on success. On failure writes one line with the
// reason to standard error and returns 0.
int SinkOpen(int rate, const SinkSource *source);
// Output runs / stops; the owner keeps its place while stopped.
void SinkStart();
void SinkStop();
// Keeps the sink from pulling audio while its source is changed.
void SinkLock();
void SinkUnlock();
// The index of the frame being heard now, counted in the frames the sink
// pulled or took since it was opened.
uint64_t SinkHeardFrame();

// What the music calls did, for a sink whose samples come from a player of
// its own rather than from its source's: the module installed from these
// bytes (valid only during the call), a restart, a slide to silence over `frames` frames from what
// is rendered next. The sinks that pull their source do nothing here.
void SinkModuleInstalled(const void *bytes, size_t size, int loopForever);
void SinkRestarted();
void SinkSliding(uint64_t frames);
