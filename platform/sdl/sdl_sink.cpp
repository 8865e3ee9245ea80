// The live sink: SDL's audio device pulls from its source on its own thread.
#include <SDL2/SDL.h>

#include <atomic>
#include <cstdio>

#include "platform/audio_sink.h"

namespace {

SDL_AudioDeviceID device = 0;
const SinkSource *source = nullptr;
uint64_t pulled = 0; // frames handed to the device, on its thread only
int deviceRate = 0;
int bufferFrames = 0;
// Where the buffer the device is playing now starts, and when it was handed
// over; the heard frame is interpolated from these.
std::atomic<uint64_t> bufferStart{0};
std::atomic<uint64_t> bufferTicks{0};
std::atomic<bool> running{false};

void Pull(void *, Uint8 *stream, int length) {
  int frames = length / static_cast<int>(2 * sizeof(float));
  bufferStart.store(pulled, std::memory_order_relaxed);
  bufferTicks.store(SDL_GetPerformanceCounter(), std::memory_order_release);
  source->pull(reinterpret_cast<float *>(stream), frames);
  pulled += static_cast<uint64_t>(frames);
}

} // namespace

int SinkOpen(int rate, const SinkSource *from) {
  if (device != 0) return 1;
  source = from;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "velmor: no sound output: %s\n", SDL_GetError());
    return 0;
  }
  SDL_AudioSpec want{};
  SDL_AudioSpec have{};
  want.freq = rate;
  want.format = AUDIO_F32SYS;
  want.channels = 2;
  want.samples = 512;
  want.callback = Pull;
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device == 0) {
    std::fprintf(stderr, "velmor: cannot open the sound device: %s\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return 0;
  }
  deviceRate = rate;
  bufferFrames = have.samples;
  return 1;
}

void SinkStart() {
  if (device == 0) return;
  running.store(true);
  SDL_PauseAudioDevice(device, 0);
}

void SinkStop() {
  if (device == 0) return;
  SDL_PauseAudioDevice(device, 1);
  running.store(false);
}

void SinkLock() {
  if (device != 0) SDL_LockAudioDevice(device);
}

void SinkUnlock() {
  if (device != 0) SDL_UnlockAudioDevice(device);
}

uint64_t SinkHeardFrame() {
  uint64_t ticks = bufferTicks.load(std::memory_order_acquire);
  uint64_t start = bufferStart.load(std::memory_order_relaxed);
  if (ticks == 0 || !running.load()) return start;
  double elapsed = static_cast<double>(SDL_GetPerformanceCounter() - ticks) /
                   static_cast<double>(SDL_GetPerformanceFrequency());
  double ahead = elapsed * deviceRate;
  if (ahead > bufferFrames) ahead = bufferFrames;
  return start + static_cast<uint64_t>(ahead);
}

// The device pulls its source.
void SinkModuleInstalled(const void *, size_t, int) {}
void SinkRestarted() {}
void SinkSliding(uint64_t) {}
