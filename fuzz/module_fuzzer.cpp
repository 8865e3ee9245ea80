// The music path on arbitrary module files: first the size a gift's module is
// measured by, on the bytes as they came; then open through the player's own
// file reader, install, play a short block, read position and spectrum, fade,
// and release. Checks what the player promises whatever the module holds: it
// renders exactly the frames asked for, a finished fade is silence and stops
// the channel, and spectra are finite magnitudes.
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "music/player_core.h"
#include "tools/module/it_format.h"

namespace {

constexpr int blockFrames = 1024;

[[noreturn]] void Fail(const char *what) {
  std::fprintf(stderr, "module_fuzzer: %s\n", what);
  std::abort();
}

// Memory-backed, so a run of millions of inputs does not wear the disk.
const std::string &InputPath() {
  static const std::string path = "/dev/shm/velmor-module-fuzz-" + std::to_string(getpid()) + ".it";
  return path;
}

void RemoveInput() { std::remove(InputPath().c_str()); }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  std::atexit(RemoveInput);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // An Impulse Tracker file needs at least its own fixed header.
  const uint64_t needed = velmor::it::BytesNeeded(data, size);
  if (needed != 0 && needed < 0xC0) Fail("a module measured smaller than its header");

  std::FILE *file = std::fopen(InputPath().c_str(), "wb");
  if (file == nullptr) Fail("cannot write the input file");
  if (size != 0 && std::fwrite(data, 1, size, file) != size) Fail("short write of the input");
  std::fclose(file);

  bool loop = size != 0 && (data[size - 1] & 1) != 0;
  openmpt_module *module = PlayerOpenModule(InputPath().c_str(), loop);
  if (module == nullptr) return 0;

  PlayerReset();
  PlayerInstall(module);
  PlayerRestart();
  if (!PlayerIsPlaying()) Fail("a restarted module is not playing");
  static float block[2 * blockFrames];
  PlayerRender(block, blockFrames);
  if (PlayerFramesRendered() != blockFrames) Fail("rendered another number of frames");
  (void)PlayerPositionAt(PlayerFramesRendered());
  (void)PlayerRendererPosition();
  (void)PlayerModuleSeconds();

  float magnitudes[spectrumSize / 2];
  PlayerSpectrumAt(PlayerFramesRendered(), magnitudes);
  bool finiteInput = true;
  for (float sample : block) finiteInput = finiteInput && std::isfinite(sample);
  for (float m : magnitudes)
    if (m < 0.0f || (finiteInput && !std::isfinite(m))) Fail("a spectrum magnitude out of range");

  // A fade shorter than the next block: silence after it, and the channel off.
  PlayerSlideToSilence(blockFrames / 4);
  PlayerRender(block, blockFrames);
  for (int i = blockFrames / 4; i < blockFrames; ++i)
    for (int c = 0; c < 2; ++c) // (a NaN from the library stays NaN at gain 0)
      if (block[2 * i + c] != 0.0f && !std::isnan(block[2 * i + c]))
        Fail("sound after the fade ended");
  if (PlayerIsPlaying()) Fail("the channel plays on after its fade");
  if (PlayerFramesRendered() != 2 * blockFrames) Fail("the faded block was not counted");

  PlayerReset();
  PlayerCloseModule(module);
  return 0;
}
