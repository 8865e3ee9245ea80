#include "music/player_core.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

#include "music/real_fft.h"

#include <libopenmpt/libopenmpt.h>

namespace {

struct Ring {
  float mono[ringFrames];
  PositionMark marks[ringMarks];
  std::atomic<uint64_t> framesWritten{0};
  std::atomic<uint64_t> marksWritten{0};
};

Ring ring;
openmpt_module *playing = nullptr;
std::atomic<bool> channelOn{false};
// Slide: the gain falls linearly from 1 at slideStart to 0 at slideEnd (in
// rendered frames); slideEnd == 0 means no slide.
std::atomic<uint64_t> slideStart{0};
std::atomic<uint64_t> slideEnd{0};
std::atomic<uint32_t> rendererPosition{0};

static_assert(spectrumSize == realFftSize);

// FFT state, made once on first use by the frame thread.
struct Spectrum {
  bool prepared = false;
  RealFft fft;
  float window[spectrumSize];
  float input[spectrumSize];
  float re[realFftBins];
  float im[realFftBins];
};
Spectrum spectrum;

} // namespace

void PlayerPrepareSpectrum() {
  if (spectrum.prepared) return;
  RealFftPrepare(&spectrum.fft);
  for (int i = 0; i < spectrumSize; ++i)
    spectrum.window[i] =
        static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / spectrumSize));
  spectrum.prepared = true;
}

namespace {

void WriteMark(uint64_t frame, uint32_t order, uint32_t row) {
  uint64_t n = ring.marksWritten.load(std::memory_order_relaxed);
  if (n > 0) {
    const PositionMark &last = ring.marks[(n - 1) % ringMarks];
    if (last.order == order && last.row == row) return; // same row: no new mark
  }
  ring.marks[n % ringMarks] = PositionMark{frame, order, row};
  ring.marksWritten.store(n + 1, std::memory_order_release);
}

void WriteFrames(const float *stereo, int frames) {
  uint64_t start = ring.framesWritten.load(std::memory_order_relaxed);
  for (int i = 0; i < frames; ++i)
    ring.mono[(start + i) % ringFrames] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
  ring.framesWritten.store(start + frames, std::memory_order_release);
}

void ApplySlide(float *stereo, int frames, uint64_t first) {
  uint64_t end = slideEnd.load(std::memory_order_acquire);
  if (end == 0) return;
  uint64_t begin = slideStart.load(std::memory_order_relaxed);
  double length = static_cast<double>(end - begin);
  for (int i = 0; i < frames; ++i) {
    uint64_t f = first + i;
    float gain =
        f >= end ? 0.0f : static_cast<float>(1.0 - static_cast<double>(f - begin) / length);
    stereo[2 * i] *= gain;
    stereo[2 * i + 1] *= gain;
  }
  if (first + frames >= end) channelOn.store(false, std::memory_order_release);
}

void IgnoreLibraryLog(const char *, void *) {}

} // namespace

bool PlayerReadModuleFile(const char *path, std::vector<char> *bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "velmor: cannot open the music \"%s\": %s\n", path, std::strerror(errno));
    return false;
  }
  // A regular file is read with one call into a buffer of its size, which
  // keeps the read cheap beside libopenmpt's own parse of the module; a
  // stream iterator would go character by character. Anything else (a pipe,
  // a directory) has no size to go by and is read as a stream to its end.
  std::error_code sizeError;
  std::uintmax_t size = std::filesystem::file_size(path, sizeError);
  if (!sizeError && size > 0) {
    bytes->resize(static_cast<size_t>(size));
    in.read(bytes->data(), static_cast<std::streamsize>(size));
    bytes->resize(static_cast<size_t>(in.gcount()));
  } else {
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return true;
}

openmpt_module *PlayerOpenModule(const char *path, int loopForever) {
  std::vector<char> bytes;
  if (!PlayerReadModuleFile(path, &bytes)) return nullptr;
  return PlayerOpenModuleBytes(bytes.data(), bytes.size(), path, loopForever);
}

openmpt_module *PlayerOpenModuleBytes(const void *bytes, size_t size, const char *name,
                                      int loopForever) {
  std::string why;
  openmpt_module *module = PlayerLoadModule(bytes, size, loopForever, &why);
  if (module == nullptr)
    std::fprintf(stderr, "velmor: cannot load the music \"%s\": %s\n", name,
                 why.empty() ? "not a module libopenmpt can play" : why.c_str());
  return module;
}

openmpt_module *PlayerLoadModule(const void *bytes, size_t size, int loopForever,
                                 std::string *why) {
  int error = 0;
  const char *message = nullptr;
  openmpt_module *module = openmpt_module_create_from_memory2(
      bytes, size, IgnoreLibraryLog, nullptr, nullptr, nullptr, &error, &message, nullptr);
  *why = module == nullptr && message != nullptr ? message : "";
  openmpt_free_string(message);
  if (module == nullptr) return nullptr;
  openmpt_module_set_repeat_count(module, loopForever ? -1 : 0);
  return module;
}

void PlayerCloseModule(openmpt_module *module) {
  if (module != nullptr) openmpt_module_destroy(module);
}

void PlayerInstall(openmpt_module *module) {
  playing = module;
  channelOn.store(false);
}

void PlayerRestart() {
  if (playing == nullptr) return;
  // Time 0, not order 0 row 0: libopenmpt seeks an order and row by playing
  // the song through until it meets them, so where that row is never played
  // (an order list that opens with a skip marker) it leaves the module at the
  // song's end, silent without the loop. Time 0 is where the song starts.
  openmpt_module_set_position_seconds(playing, 0.0);
  uint32_t order = static_cast<uint32_t>(openmpt_module_get_current_order(playing));
  uint32_t row = static_cast<uint32_t>(openmpt_module_get_current_row(playing));
  slideEnd.store(0);
  slideStart.store(0);
  rendererPosition.store(order | row << 16);
  WriteMark(ring.framesWritten.load(), order, row);
  channelOn.store(true, std::memory_order_release);
}

void PlayerRender(float *out, int frames) {
  int done = 0;
  while (done < frames) {
    int chunk = frames - done < renderChunk ? frames - done : renderChunk;
    float *block = out + 2 * done;
    uint64_t first = ring.framesWritten.load(std::memory_order_relaxed);
    size_t got = 0;
    if (playing != nullptr && channelOn.load(std::memory_order_acquire)) {
      int32_t order = openmpt_module_get_current_order(playing);
      int32_t row = openmpt_module_get_current_row(playing);
      WriteMark(first, static_cast<uint32_t>(order), static_cast<uint32_t>(row));
      got = openmpt_module_read_interleaved_float_stereo(playing, audioRate, chunk, block);
      rendererPosition.store(
          static_cast<uint32_t>(openmpt_module_get_current_order(playing)) |
              (static_cast<uint32_t>(openmpt_module_get_current_row(playing)) << 16),
          std::memory_order_relaxed);
      ApplySlide(block, static_cast<int>(got), first);
    }
    std::memset(block + 2 * got, 0, sizeof(float) * 2 * (chunk - got));
    WriteFrames(block, chunk);
    done += chunk;
  }
}

void PlayerSlideToSilence(uint64_t frames) {
  PlayerSlideToSilenceFrom(ring.framesWritten.load(std::memory_order_acquire), frames);
}

void PlayerSlideToSilenceFrom(uint64_t first, uint64_t frames) {
  slideStart.store(first, std::memory_order_relaxed);
  slideEnd.store(first + (frames == 0 ? 1 : frames), std::memory_order_release);
}

uint64_t PlayerFramesRendered() { return ring.framesWritten.load(std::memory_order_acquire); }
uint32_t PlayerRendererPosition() { return rendererPosition.load(std::memory_order_relaxed); }
double PlayerModuleSeconds() {
  return playing != nullptr ? openmpt_module_get_duration_seconds(playing) : 0.0;
}
bool PlayerIsPlaying() { return channelOn.load(std::memory_order_acquire); }

uint32_t PlayerPositionAt(uint64_t heard) {
  uint64_t n = ring.marksWritten.load(std::memory_order_acquire);
  uint64_t oldest = n > ringMarks ? n - ringMarks : 0;
  for (uint64_t i = n; i > oldest; --i) {
    const PositionMark &m = ring.marks[(i - 1) % ringMarks];
    if (m.frame <= heard) return m.order | (m.row << 16);
  }
  return 0;
}

void PlayerSpectrumAt(uint64_t heard, float *magnitudes) {
  PlayerPrepareSpectrum();
  uint64_t written = ring.framesWritten.load(std::memory_order_acquire);
  if (heard > written) heard = written;
  for (int i = 0; i < spectrumSize; ++i) {
    uint64_t back = static_cast<uint64_t>(spectrumSize - i);
    float sample = heard >= back ? ring.mono[(heard - back) % ringFrames] : 0.0f;
    spectrum.input[i] = sample * spectrum.window[i];
  }
  RealFftForward(&spectrum.fft, spectrum.input, spectrum.re, spectrum.im);
  for (int k = 0; k < spectrumSize / 2; ++k) {
    float re = spectrum.re[k], im = spectrum.im[k];
    magnitudes[k] = std::sqrt(re * re + im * im) * (2.0f / spectrumSize);
  }
}

void PlayerRingWrite(const float *stereo, int frames, uint32_t order, uint32_t row) {
  WriteMark(ring.framesWritten.load(), order, row);
  WriteFrames(stereo, frames);
}

void PlayerReset() {
  playing = nullptr;
  channelOn.store(false);
  slideStart.store(0);
  slideEnd.store(0);
  rendererPosition.store(0);
  ring.framesWritten.store(0);
  ring.marksWritten.store(0);
  std::memset(ring.mono, 0, sizeof ring.mono);
}
