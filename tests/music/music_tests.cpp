#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <libopenmpt/libopenmpt.h>

#include "music/music.h"
#include "music/player_core.h"
#include "music/real_fft.h"
#include "platform/audio_sink.h"
#include "tools/module/it_format.h"

namespace {

constexpr uint32_t Order(uint32_t position) { return position & 0xFFFF; }
constexpr uint32_t Row(uint32_t position) { return position >> 16; }

std::vector<float> Sine(double frequency, float amplitude, int frames) {
  std::vector<float> stereo(2 * static_cast<size_t>(frames));
  for (int i = 0; i < frames; ++i)
    stereo[2 * i] = stereo[2 * i + 1] =
        amplitude * static_cast<float>(std::sin(2.0 * M_PI * frequency * i / audioRate));
  return stereo;
}

// ---- The core, without any sink ------------------------------------------

TEST(PlayerCore, SpectrumOfASineCentredOnABinPeaksThereAtHalfItsAmplitude) {
  PlayerReset();
  for (auto [bin, amplitude] : {std::pair{3, 1.0f}, std::pair{40, 0.5f}, std::pair{200, 0.25f}}) {
    std::vector<float> sine =
        Sine(bin * static_cast<double>(audioRate) / spectrumSize, amplitude, 2048);
    PlayerRingWrite(sine.data(), 2048, 0, 0);
    std::array<float, 256> magnitudes{};
    PlayerSpectrumAt(PlayerFramesRendered(), magnitudes.data());
    int peak = 0;
    for (int k = 1; k < 256; ++k)
      if (magnitudes[k] > magnitudes[peak]) peak = k;
    EXPECT_EQ(peak, bin);
    EXPECT_NEAR(magnitudes[bin], amplitude * 0.5f, amplitude * 0.01f) << bin;
    EXPECT_LT(magnitudes[bin + 5], amplitude * 0.001f) << bin; // Hann leaks into neighbours only
  }
}

TEST(PlayerCore, SpectrumBeforeEnoughAudioTreatsTheMissingPastAsSilence) {
  PlayerReset();
  std::array<float, 256> magnitudes{};
  PlayerSpectrumAt(0, magnitudes.data());
  for (float m : magnitudes) EXPECT_EQ(m, 0.0f);
  std::vector<float> sine = Sine(3 * static_cast<double>(audioRate) / spectrumSize, 1.0f, 256);
  PlayerRingWrite(sine.data(), 256, 0, 0);
  PlayerSpectrumAt(256, magnitudes.data());
  EXPECT_GT(magnitudes[3], 0.05f);
  EXPECT_LT(magnitudes[3], 0.5f);
}

// The DFT by its definition, in double: what any FFT of these samples must give.
struct Reference {
  std::array<double, realFftBins> re{}, im{};
  double peak = 0.0; // the largest |X_k|
};

Reference ReferenceDft(const std::vector<double> &x) {
  Reference r;
  for (int k = 0; k < realFftBins; ++k) {
    for (int n = 0; n < realFftSize; ++n) {
      // k n reduced first, so the angle stays as exact as the samples.
      double angle = -2.0 * M_PI * ((k * n) % realFftSize) / realFftSize;
      r.re[k] += x[n] * std::cos(angle);
      r.im[k] += x[n] * std::sin(angle);
    }
    r.peak = std::max(r.peak, std::hypot(r.re[k], r.im[k]));
  }
  return r;
}

// The spectrum of the Hann-windowed mono mix of `stereo`'s 512 frames that
// end at frame `end`, with frames before the first as silence, as the
// player's spectrum is defined.
std::vector<double> WindowedMono(const std::vector<float> &stereo, int64_t end) {
  std::vector<double> x(realFftSize);
  for (int i = 0; i < realFftSize; ++i) {
    int64_t frame = end - realFftSize + i;
    float mono = frame < 0 ? 0.0f : 0.5f * (stereo[2 * frame] + stereo[2 * frame + 1]);
    x[i] = mono * (0.5 - 0.5 * std::cos(2.0 * M_PI * i / realFftSize));
  }
  return x;
}

TEST(RealFft, EveryBinAgreesWithTheDefinitionWithinAHundredThousandthOfThePeak) {
  RealFft fft;
  RealFftPrepare(&fft);
  std::mt19937 random(20);
  std::uniform_real_distribution<double> noise(-1.0, 1.0);
  std::vector<std::pair<std::string, std::vector<double>>> inputs;
  auto add = [&](std::string name, auto sample) {
    std::vector<double> x(realFftSize);
    for (int n = 0; n < realFftSize; ++n) x[n] = static_cast<float>(sample(n));
    inputs.emplace_back(std::move(name), std::move(x));
  };
  // Single samples, even and odd, land in different places of the shuffle
  // and the two half spectra.
  for (int at : {0, 1, 2, 3, 5, 128, 255, 256, 257, 510, 511})
    add("impulse at " + std::to_string(at), [at](int n) { return n == at ? 1.0 : 0.0; });
  add("constant", [](int) { return 0.75; });
  add("alternating", [](int n) { return n % 2 ? -1.0 : 1.0; });
  for (double bin : {1.0, 7.0, 100.5, 128.0, 200.25, 255.0})
    add("sine at bin " + std::to_string(bin),
        [bin](int n) { return std::sin(2.0 * M_PI * bin * n / realFftSize + 0.3); });
  add("noise", [&](int) { return noise(random); });
  add("windowed noise",
      [&](int n) { return noise(random) * (0.5 - 0.5 * std::cos(2.0 * M_PI * n / realFftSize)); });

  std::array<float, realFftSize> input{};
  std::array<float, realFftBins> re{}, im{};
  for (const auto &[name, x] : inputs) {
    std::copy(x.begin(), x.end(), input.begin());
    RealFftForward(&fft, input.data(), re.data(), im.data());
    Reference reference = ReferenceDft(x);
    for (int k = 0; k < realFftBins; ++k) {
      ASSERT_NEAR(re[k], reference.re[k], 1e-5 * reference.peak) << name << ", bin " << k;
      ASSERT_NEAR(im[k], reference.im[k], 1e-5 * reference.peak) << name << ", bin " << k;
    }
  }
}

TEST(PlayerCore, SpectrumOfThePlayedModuleAgreesWithTheDefinition) {
  PlayerReset();
  openmpt_module *module = PlayerOpenModule(VELMOR_MODULE, 1);
  ASSERT_NE(module, nullptr);
  PlayerInstall(module);
  PlayerRestart();
  // Four seconds as the sound device asks for them, keeping what was played;
  // now and then the spectrum is taken at the moment just rendered and a
  // little before it, from the module's first notes on.
  constexpr int block = 1024;
  std::vector<float> played(2 * static_cast<size_t>(4 * audioRate));
  int compared = 0;
  for (int64_t done = 0; done + block <= 4 * audioRate; done += block) {
    PlayerRender(played.data() + 2 * done, block);
    if (done / block % 40 != 10) continue;
    for (int64_t heard : {done + block - 300, done + block}) {
      std::array<float, 256> magnitudes{};
      PlayerSpectrumAt(static_cast<uint64_t>(heard), magnitudes.data());
      Reference reference = ReferenceDft(WindowedMono(played, heard));
      double peak = reference.peak * 2.0 / spectrumSize;
      ASSERT_GT(peak, 1e-3) << "frame " << heard << " is silent: nothing to compare";
      for (int k = 0; k < 256; ++k)
        ASSERT_NEAR(magnitudes[k],
                    std::hypot(reference.re[k], reference.im[k]) * 2.0 / spectrumSize, 1e-5 * peak)
            << "frame " << heard << ", bin " << k;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 10);
  PlayerReset();
  PlayerCloseModule(module);
}

TEST(PlayerCore, PositionIsTheMarkInForceAtTheHeardFrame) {
  PlayerReset();
  EXPECT_EQ(PlayerPositionAt(0), 0u);
  std::vector<float> silence(2 * 1000, 0.0f);
  PlayerRingWrite(silence.data(), 1000, 0, 0);   // frames 0..999
  PlayerRingWrite(silence.data(), 1000, 0, 1);   // 1000..1999
  PlayerRingWrite(silence.data(), 1000, 2, 191); // 2000..2999
  EXPECT_EQ(PlayerPositionAt(999), 0u);
  EXPECT_EQ(PlayerPositionAt(1000), 1u << 16);
  EXPECT_EQ(PlayerPositionAt(1999), 1u << 16);
  EXPECT_EQ(PlayerPositionAt(2500), 2u | (191u << 16));
}

TEST(PlayerCore, ModulePlaysEveryOrderRowByRowThenStartsOverAtOrderZero) {
  PlayerReset();
  openmpt_module *module = PlayerOpenModule(VELMOR_MODULE, 1);
  ASSERT_NE(module, nullptr);
  PlayerInstall(module);
  PlayerRestart();
  std::vector<float> block(2 * 512);
  uint32_t last = 0;
  std::vector<int> rowsSeen(13, 0);
  bool wrapped = false;
  // About 200 s of music in 512-frame blocks, plus a margin to see the wrap.
  for (int i = 0; i < 210 * audioRate / 512 && !wrapped; ++i) {
    PlayerRender(block.data(), 512);
    uint32_t now = PlayerPositionAt(PlayerFramesRendered() - 1);
    if (Order(now) == 0 && Order(last) == 12) {
      wrapped = true;
      EXPECT_EQ(Row(now), 0u);
      break;
    }
    if (now != last) {
      // Forward only: the next row of the same order, or row 0 of the next.
      bool nextRow = Order(now) == Order(last) && Row(now) == Row(last) + 1;
      bool nextOrder = Order(now) == Order(last) + 1 && Row(now) == 0 && Row(last) == 255;
      EXPECT_TRUE(nextRow || nextOrder)
          << Order(last) << ":" << Row(last) << " -> " << Order(now) << ":" << Row(now);
      ASSERT_LT(Order(now), 13u);
      ++rowsSeen[Order(now)];
    }
    last = now;
  }
  EXPECT_TRUE(wrapped);
  for (int o = 1; o < 13; ++o) EXPECT_EQ(rowsSeen[o], 256) << "order " << o;
  PlayerReset();
  PlayerCloseModule(module);
}

TEST(PlayerCore, SlideFadesLinearlyToSilenceAndStopsTheChannel) {
  PlayerReset();
  openmpt_module *module = PlayerOpenModule(VELMOR_MODULE, 1);
  ASSERT_NE(module, nullptr);
  PlayerInstall(module);
  PlayerRestart();
  std::vector<float> block(2 * 44100);
  PlayerRender(block.data(), 44100); // one second of music
  uint64_t start = PlayerFramesRendered();
  PlayerSlideToSilence(22050);
  PlayerRender(block.data(), 44100);
  EXPECT_FALSE(PlayerIsPlaying());
  for (int i = 22050; i < 44100; ++i) ASSERT_EQ(block[2 * i], 0.0f) << i;
  // The gain falls linearly: each quarter of the slide is quieter than the last.
  auto peak = [&](int from, int to) {
    float p = 0;
    for (int i = 2 * from; i < 2 * to; ++i) p = std::max(p, std::fabs(block[i]));
    return p;
  };
  EXPECT_GT(peak(0, 5512), 0.0f);
  EXPECT_LE(peak(16537, 22050), peak(0, 5512) * 0.3f);
  uint32_t frozen = PlayerPositionAt(PlayerFramesRendered());
  PlayerRender(block.data(), 4410);
  EXPECT_EQ(PlayerPositionAt(PlayerFramesRendered()), frozen);
  EXPECT_EQ(start + 44100 + 4410, PlayerFramesRendered());
  PlayerReset();
  PlayerCloseModule(module);
}

TEST(PlayerCore, MissingOrDamagedModuleIsRefusedWithTheFileNamed) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(PlayerOpenModule("/nonexistent/torva.it", 1), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("/nonexistent/torva.it"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);

  std::string damaged = testing::TempDir() + "damaged.it";
  std::ofstream(damaged) << "IMPM this is not really a module";
  testing::internal::CaptureStderr();
  EXPECT_EQ(PlayerOpenModule(damaged.c_str(), 1), nullptr);
  err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find(damaged), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
}

TEST(PlayerCore, LoadingForACallerThatWordsItsOwnRefusalWritesNoLine) {
  const std::string text = "velmor\n";
  std::string why = "left from before";
  testing::internal::CaptureStderr();
  EXPECT_EQ(PlayerLoadModule(text.data(), text.size(), 1, &why), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(why, "error loading file") << "libopenmpt's own words";

  std::ifstream in(VELMOR_MODULE, std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  for (int loop : {0, 1}) {
    openmpt_module *module = PlayerLoadModule(bytes.data(), bytes.size(), loop, &why);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(why, "");
    EXPECT_EQ(openmpt_module_get_repeat_count(module), loop ? -1 : 0);
    PlayerCloseModule(module);
  }
}

// ---- A module whose order list opens with a skip marker -------------------

// Two 16-row orders of one held tone behind a leading "+++" (order value 254),
// so the song really starts at order 1 row 0 and order 0 row 0 is never
// played. The writer stores only orders that name a pattern, so the marker
// goes into the order list after writing.
std::string WriteModuleOpeningWithASkip() {
  velmor::it::Module m;
  m.name = "skip first";
  m.initialSpeed = 3; // 60 ms a row at tempo 125
  m.initialTempo = 125;
  m.channelsUsed = 1;
  m.channelVolume.fill(64);
  m.channelPan.fill(32);
  velmor::it::Sample tone;
  tone.name = "tone";
  for (int i = 0; i < 64; ++i)
    tone.data.push_back(static_cast<int16_t>(12000 * std::sin(2.0 * M_PI * i / 64)));
  tone.loop = true;
  tone.loopEnd = 64;
  m.samples = {tone};
  velmor::it::Instrument instrument;
  instrument.name = "tone";
  instrument.sample = 1;
  m.instruments = {instrument};
  for (int p = 0; p < 2; ++p) {
    m.patterns.emplace_back(16, 1);
    m.patterns[p].At(0, 0).note = 60 + 7 * p;
    m.patterns[p].At(0, 0).instrument = 1;
  }
  m.orders = {1, 0, 1};
  std::vector<uint8_t> bytes = velmor::it::WriteModule(m);
  constexpr size_t orderList = 0xC0; // straight after the fixed-size header
  EXPECT_EQ(bytes.at(orderList), 1);
  EXPECT_EQ(bytes.at(orderList + 3), 255); // the end marker the writer adds
  bytes[orderList] = 254;
  std::string path = testing::TempDir() + "velmor_skip_first.it";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

struct Rendered {
  std::vector<float> stereo;
  std::vector<uint32_t> positions; // heard position at each render chunk
};

Rendered Render(int frames) {
  Rendered r;
  r.stereo.resize(2 * static_cast<size_t>(frames));
  uint64_t first = PlayerFramesRendered();
  PlayerRender(r.stereo.data(), frames);
  for (uint64_t f = first; f < first + static_cast<uint64_t>(frames); f += renderChunk)
    r.positions.push_back(PlayerPositionAt(f));
  return r;
}

float Peak(const float *stereo, size_t frames) {
  float peak = 0;
  for (size_t i = 0; i < 2 * frames; ++i) peak = std::max(peak, std::fabs(stereo[i]));
  return peak;
}

// Half a second from the start lies within the first played order (0.96 s):
// sound all through, and marks from order 1 row 0 forward within order 1.
void ExpectPlayedFromTheTrueStart(const Rendered &start) {
  ASSERT_FALSE(start.positions.empty());
  EXPECT_EQ(start.positions.front(), 1u)
      << Order(start.positions.front()) << ":" << Row(start.positions.front());
  uint32_t last = start.positions.front();
  for (uint32_t p : start.positions) {
    EXPECT_EQ(Order(p), 1u) << Order(p) << ":" << Row(p);
    EXPECT_GE(Row(p), Row(last));
    last = p;
  }
  EXPECT_GT(Row(last), 4u); // the rows went on
  size_t frames = start.stereo.size() / 2;
  EXPECT_GT(Peak(start.stereo.data(), frames / 4), 0.02f);
  EXPECT_GT(Peak(start.stereo.data() + 2 * (frames - frames / 4), frames / 4), 0.02f);
}

TEST(PlayerCore, RestartPlaysFromTheFirstPlayedOrderWhenTheOrderListOpensWithASkip) {
  std::string path = WriteModuleOpeningWithASkip();
  for (int loopForever : {0, 1}) {
    SCOPED_TRACE(loopForever ? "looping" : "one pass");
    PlayerReset();
    openmpt_module *module = PlayerOpenModule(path.c_str(), loopForever);
    ASSERT_NE(module, nullptr);
    PlayerInstall(module);
    PlayerRestart();
    Rendered first = Render(audioRate / 2);
    ExpectPlayedFromTheTrueStart(first);

    // The rest of the pass and a little past its end: order 2 plays, and
    // without the loop the song ends in silence.
    int rest = static_cast<int>(PlayerModuleSeconds() * audioRate);
    Rendered pass = Render(rest);
    EXPECT_NE(std::find_if(pass.positions.begin(), pass.positions.end(),
                           [](uint32_t p) { return Order(p) == 2; }),
              pass.positions.end());
    if (!loopForever) {
      EXPECT_EQ(Peak(pass.stereo.data() + 2 * (rest - audioRate / 4), audioRate / 4), 0.0f);
    }

    // From the beginning again, after the finished pass: the same start.
    PlayerRestart();
    Rendered again = Render(audioRate / 2);
    ExpectPlayedFromTheTrueStart(again);
    EXPECT_TRUE(again.stereo == first.stereo);
    EXPECT_EQ(again.positions, first.positions);
    PlayerReset();
    PlayerCloseModule(module);
  }
  std::remove(path.c_str());
}

// ---- The calls, on SDL's disk driver (no sound card needed) ----------------

std::vector<float> ReadFloats(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<float> out(bytes.size() / sizeof(float));
  std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
  return out;
}

// A source that is not the player: a constant level, counting what it gave.
constexpr float sourceLevel = 0.25f;
std::atomic<uint64_t> sourceGave{0};

void PullLevel(float *stereo, int frames) {
  std::fill(stereo, stereo + 2 * frames, sourceLevel);
  sourceGave += static_cast<uint64_t>(frames);
}

TEST(SdlSink, PlaysTheSourceItWasOpenedWithAndHearsOnlyWhatItPulled) {
  std::string file = testing::TempDir() + "velmor_disk_source.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  const SinkSource source{PullLevel, nullptr, nullptr};
  ASSERT_EQ(SinkOpen(audioRate, &source), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(sourceGave.load(), 0u) << "pulled while paused";
  EXPECT_EQ(SinkHeardFrame(), 0u);

  SinkStart();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  SinkLock();
  uint64_t gave = sourceGave.load();
  uint64_t heard = SinkHeardFrame();
  SinkUnlock();
  EXPECT_GT(gave, 0u);
  // Heard trails what was pulled by no more than the device's buffer.
  EXPECT_LE(heard, gave);
  EXPECT_LE(gave - heard, 512u);

  SinkStop();
  uint64_t stopped = sourceGave.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(sourceGave.load(), stopped) << "pulled while stopped";

  // The device played the source's samples, and silence while paused.
  std::vector<float> samples = ReadFloats(file);
  size_t played = 0;
  for (float sample : samples) {
    if (sample == sourceLevel)
      ++played;
    else
      ASSERT_EQ(sample, 0.0f);
  }
  EXPECT_GT(played, 0u);
  std::remove(file.c_str());
}

TEST(MusicCalls, InitFailsCleanlyWithoutADevice) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("SDL_AUDIODRIVER", "nosuchdriver", 1);
        std::exit(BASS_Init(1, 44100, 0, 0, nullptr) == 0 ? 7 : 0);
      },
      testing::ExitedWithCode(7), "velmor: no sound output");
}

TEST(MusicCalls, PlaysHeardPositionBehindRendererThenFadesAndStops) {
  std::string file = testing::TempDir() + "velmor_disk_audio.raw";
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  PlayerReset();
  ASSERT_TRUE(BASS_Init(1, 44100, 0, 0, nullptr));
  testing::internal::CaptureStderr();
  EXPECT_EQ(BASS_MusicLoad(0, "/nonexistent/torva.it", 0, 0, BASS_MUSIC_LOOP, 0), 0u);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("/nonexistent/torva.it"),
            std::string::npos);
  HMUSIC music = BASS_MusicLoad(0, VELMOR_MODULE, 0, 0, BASS_MUSIC_LOOP, 0);
  ASSERT_NE(music, 0u);
  ASSERT_TRUE(BASS_Start());
  ASSERT_TRUE(BASS_ChannelPlay(music, 1));

  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  // What is heard trails what was rendered by no more than the device's buffer.
  uint64_t rendered = PlayerFramesRendered();
  uint64_t heard = SinkHeardFrame();
  EXPECT_LE(heard, rendered);
  EXPECT_LE(rendered - heard, 512u + renderChunk);
  uint32_t position = BASS_MusicGetOrderPosition(music);
  uint32_t renderer = PlayerRendererPosition();
  EXPECT_EQ(Order(position), 0u);
  EXPECT_GE(Row(position), 15u); // 1.5 s at 60 ms a row is row 25
  EXPECT_LE(Row(position), 30u);
  EXPECT_LE(Row(renderer) - Row(position), 1u);
  std::array<float, 256> spectrum{};
  BASS_ChannelGetData(music, spectrum.data(), BASS_DATA_FFT512);

  // The file also holds the silence the driver wrote while output was paused,
  // so its frames run ahead of the player's by an offset read here.
  uint64_t slideFrom = PlayerFramesRendered();
  int64_t offset =
      static_cast<int64_t>(std::filesystem::file_size(file) / 8) - static_cast<int64_t>(slideFrom);
  ASSERT_TRUE(BASS_ChannelSlideAttributes(music, 0, -2, -101, 1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(1400));
  EXPECT_FALSE(PlayerIsPlaying());
  BASS_Stop();

  std::vector<float> samples = ReadFloats(file);
  // Allowance: the slide starts where the renderer stands when asked, and the
  // file size lags behind what the driver wrote by its stdio buffer.
  slideFrom = static_cast<uint64_t>(static_cast<int64_t>(slideFrom) + offset);
  size_t slideEnd = static_cast<size_t>(slideFrom + 44100 + 3 * 512 + renderChunk);
  ASSERT_GT(samples.size(), 2 * (slideEnd + 4410));
  float before = 0, after = 0;
  for (size_t i = 2 * (slideFrom - 22050); i < 2 * slideFrom; ++i)
    before = std::max(before, std::fabs(samples[i]));
  for (size_t i = 2 * slideEnd; i < samples.size(); ++i)
    after = std::max(after, std::fabs(samples[i]));
  EXPECT_GT(before, 0.01f);
  EXPECT_EQ(after, 0.0f);
  std::remove(file.c_str());
}

} // namespace
