// The Windows sink: the waveOut device, fed from a thread of its own with
// short blocks, so that a slow frame never starves the sound. waveOut
// takes the 44.1 kHz float frames as they are on every Windows from
// Vista on (the system mixer converts them to the device's own rate), and its
// position counts the frames the device has played, which is what is heard.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/audio_sink.h"
#include "platform/platform.h"

// WAVE_FORMAT_IEEE_FLOAT
#include <mmreg.h>

namespace {

// Eight blocks of 1024 frames: 186 ms queued at 44.1 kHz, so the feeder may
// be kept from running for most of that (a busy machine) before the device
// runs dry. The queue is heard before Escape's fade, which is cut when the
// show stops a second later: at 19 % of the volume with this queue. The
// device's own buffering comes on top of the queue.
constexpr int blockCount = 8;
constexpr int blockFrames = 1024;
static_assert(blockCount * blockFrames * 2 <= sinkHeldFrames);

struct WaveOutSink {
  HWAVEOUT device = nullptr;
  const SinkSource *source = nullptr;
  // Frames rendered into blocks so far: on the frame thread until the
  // feeder starts, on the feeder's after.
  std::atomic<uint64_t> pulled{0};
  HANDLE blockDone = nullptr; // signalled by the device as each block is played
  WAVEHDR headers[blockCount] = {};
  float blocks[blockCount][blockFrames * 2] = {};
  // The frames pulled when the first block was rendered: the device's
  // position counts from there.
  uint64_t firstFrame = 0;
  bool started = false;
  std::thread feeder;
  std::mutex sourceLock;
  std::atomic<bool> quitting{false};
  // How full the queue was each time the feeder woke: the fewest blocks
  // still queued, and how often none was (the device ran dry for want of
  // our frames). Told at exit when VELMOR_SOUND_QUEUE is set, for the checks.
  int fewestQueued = blockCount;
  int ranDry = 0;
  uint64_t wakes = 0;
};
WaveOutSink sink;

void Fill(WAVEHDR *header) {
  {
    std::lock_guard<std::mutex> lock(sink.sourceLock);
    sink.source->pull(reinterpret_cast<float *>(header->lpData), blockFrames);
  }
  sink.pulled.fetch_add(blockFrames);
  header->dwFlags &= ~WHDR_DONE;
  waveOutWrite(sink.device, header, sizeof *header);
}

// Hands every played block back to the device with the next frames, in the
// order they were queued, so that the frames reach the device in sequence.
// It renders one block in a small part of the block's 23 ms, so the highest
// priority a program may take costs the rest of the system little and keeps
// the show's own drawing from delaying it.
void Feed() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  int next = 0;
  while (!sink.quitting.load()) {
    WaitForSingleObject(sink.blockDone, INFINITE);
    if (!sink.quitting.load()) ++sink.wakes;
    // Counted before every block, not only on waking: a render held up by
    // the source's lock drains the queue between two blocks of one wake.
    while (!sink.quitting.load() && (sink.headers[next].dwFlags & WHDR_DONE) != 0) {
      int done = 0;
      for (const WAVEHDR &header : sink.headers) done += (header.dwFlags & WHDR_DONE) != 0 ? 1 : 0;
      sink.fewestQueued = std::min(sink.fewestQueued, blockCount - done);
      if (done == blockCount) ++sink.ranDry;
      Fill(&sink.headers[next]);
      next = (next + 1) % blockCount;
    }
  }
}

// Runs before the source's own records are destroyed at exit (it is
// registered after they are made), so that the feeder never pulls from a
// source that is gone.
void Close() {
  if (sink.device == nullptr) return;
  sink.quitting.store(true);
  SetEvent(sink.blockDone);
  if (sink.feeder.joinable()) sink.feeder.join();
  if (std::getenv("VELMOR_SOUND_QUEUE") != nullptr)
    std::fprintf(
        stderr,
        "velmor: sound queue: %llu refills, fewest blocks queued %d of %d, ran dry %d times\n",
        static_cast<unsigned long long>(sink.wakes), sink.fewestQueued, blockCount, sink.ranDry);
  waveOutReset(sink.device);
  for (WAVEHDR &header : sink.headers)
    if ((header.dwFlags & WHDR_PREPARED) != 0)
      waveOutUnprepareHeader(sink.device, &header, sizeof header);
  waveOutClose(sink.device);
  CloseHandle(sink.blockDone);
  sink.device = nullptr;
}

} // namespace

int SinkOpen(int rate, const SinkSource *source) {
  if (sink.device != nullptr) return 1;
  sink.source = source;
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
  format.nChannels = 2;
  format.nSamplesPerSec = static_cast<DWORD>(rate);
  format.wBitsPerSample = 32;
  format.nBlockAlign = static_cast<WORD>(format.nChannels * format.wBitsPerSample / 8);
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
  sink.blockDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (sink.blockDone == nullptr) {
    std::fprintf(stderr, "velmor: no sound output: cannot make an event (error %lu)\n",
                 GetLastError());
    return 0;
  }
  MMRESULT opened = waveOutOpen(&sink.device, WAVE_MAPPER, &format,
                                reinterpret_cast<DWORD_PTR>(sink.blockDone), 0, CALLBACK_EVENT);
  if (opened != MMSYSERR_NOERROR) {
    char reason[MAXERRORLENGTH] = "";
    waveOutGetErrorTextA(opened, reason, sizeof reason);
    std::fprintf(stderr, "velmor: cannot open the sound device: %s\n", reason);
    CloseHandle(sink.blockDone);
    sink.blockDone = nullptr;
    sink.device = nullptr;
    return 0;
  }
  // Paused until the show starts; blocks written meanwhile wait in the queue.
  waveOutPause(sink.device);
  for (int i = 0; i < blockCount; ++i) {
    WAVEHDR &header = sink.headers[i];
    header.lpData = reinterpret_cast<LPSTR>(sink.blocks[i]);
    header.dwBufferLength = sizeof sink.blocks[i];
    waveOutPrepareHeader(sink.device, &header, sizeof header);
  }
  std::atexit(Close);
  return 1;
}

void SinkStart() {
  if (sink.device == nullptr) return;
  if (!sink.started) {
    // The first blocks are rendered when the show starts, after the module
    // is installed, so that the device begins with the music.
    sink.started = true;
    sink.firstFrame = sink.pulled.load();
    for (WAVEHDR &header : sink.headers) Fill(&header);
    sink.feeder = std::thread(Feed);
  }
  waveOutRestart(sink.device);
}

void SinkStop() {
  if (sink.device != nullptr) waveOutPause(sink.device);
}

void SinkLock() { sink.sourceLock.lock(); }
void SinkUnlock() { sink.sourceLock.unlock(); }

uint64_t SinkHeardFrame() {
  if (sink.device == nullptr || !sink.started) return sink.pulled.load();
  MMTIME position{};
  position.wType = TIME_SAMPLES;
  if (waveOutGetPosition(sink.device, &position, sizeof position) != MMSYSERR_NOERROR ||
      position.wType != TIME_SAMPLES)
    return sink.firstFrame;
  return sink.firstFrame + position.u.sample;
}

// The device pulls its source.
void SinkModuleInstalled(const void *, size_t, int) {}
void SinkRestarted() {}
void SinkSliding(uint64_t) {}
