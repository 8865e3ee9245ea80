// The music's player in the browser's audio thread: a WebAssembly module of
// its own, without Emscripten's JavaScript, instantiated by the audio
// worklet's processor (velmor_processor.js), which calls these functions and
// nothing else. It owns the sound's time as the capture tool owns the
// frames': the processor asks for a block each time the output needs one, so
// the sound never waits for the page.
//
// The page's program carries no libopenmpt of its own: it instantiates this
// module too, on its own thread, and calls libopenmpt's functions, exported
// as they are, and velmor_openmpt_open (platform/web/web_openmpt.cpp).
//
// The processor's scope has no timers, no fetch and no text decoding; the
// few system calls the C++ library makes (standard error's lines, the
// clock) are answered by the processor's loader.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include <libopenmpt/libopenmpt.h>

#include "music/player_core.h"

namespace {

openmpt_module *module = nullptr;
float block[2 * renderChunk];

} // namespace

extern "C" {

// Makes the module in `bytes` (from the exported malloc, taken back here)
// the one that plays (stopped, its place at the start); 1, or 0 with a line
// on standard error when it is no module.
__attribute__((export_name("velmor_worklet_load"))) int velmor_worklet_load(void *bytes, int size,
                                                                            int loopForever) {
  openmpt_module *next =
      PlayerOpenModuleBytes(bytes, static_cast<size_t>(size), "the page's module", loopForever);
  std::free(bytes);
  if (next == nullptr) return 0;
  PlayerInstall(next);
  PlayerCloseModule(module);
  module = next;
  return 1;
}

__attribute__((export_name("velmor_worklet_restart"))) void velmor_worklet_restart() {
  PlayerRestart();
}

// A fade to silence over `frames` frames from the next one played, when
// `queued` rendered frames are still to be played: the processor fades
// those, the player what it renders after them.
__attribute__((export_name("velmor_worklet_slide"))) void velmor_worklet_slide(double frames,
                                                                               double queued) {
  uint64_t rendered = PlayerFramesRendered();
  uint64_t held = std::min(static_cast<uint64_t>(queued), rendered);
  PlayerSlideToSilenceFrom(rendered - held, static_cast<uint64_t>(frames));
}

// The frames rendered so far: where the next block starts.
__attribute__((export_name("velmor_worklet_frames"))) double velmor_worklet_frames() {
  return static_cast<double>(PlayerFramesRendered());
}

// Where velmor_worklet_render leaves its interleaved stereo frames; it never
// moves.
__attribute__((export_name("velmor_worklet_block"))) float *velmor_worklet_block() { return block; }

// Renders the next `frames` frames (at most one block) and returns the
// module's order | row << 16 at their first frame.
__attribute__((export_name("velmor_worklet_render"))) uint32_t velmor_worklet_render(int frames) {
  if (frames > renderChunk) frames = renderChunk;
  uint64_t first = PlayerFramesRendered();
  PlayerRender(block, frames < 0 ? 0 : frames);
  return PlayerPositionAt(first);
}

// A module made from the `size` bytes at `bytes`, which it takes back, for
// the page's program; 0 when they are refused, with libopenmpt's error and
// message (freed with openmpt_free_string) at `error` and `message`.
__attribute__((export_name("velmor_openmpt_open"))) openmpt_module *
velmor_openmpt_open(void *bytes, int size, int *error, const char **message) {
  openmpt_module *opened =
      openmpt_module_create_from_memory2(bytes, static_cast<size_t>(size), openmpt_log_func_silent,
                                         nullptr, nullptr, nullptr, error, message, nullptr);
  std::free(bytes);
  return opened;
}

} // extern "C"
