// The capture tool end to end: it runs the real show offline and the tests
// look at what it wrote, frame by frame and sample by sample.
#include <gtest/gtest.h>

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <vector>

#include <libopenmpt/libopenmpt.h>

namespace {

namespace fs = std::filesystem;

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb; // top row first
  int At(int x, int y, int c) const { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; }
};

Image ReadPng(const fs::path &path) {
  Image img;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return img;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return Image{};
  }
  png_init_io(png, f);
  png_read_info(png, info);
  img.width = static_cast<int>(png_get_image_width(png, info));
  img.height = static_cast<int>(png_get_image_height(png, info));
  img.rgb.resize(static_cast<size_t>(img.width) * img.height * 3);
  for (int y = 0; y < img.height; ++y)
    png_read_row(png, img.rgb.data() + static_cast<size_t>(y) * img.width * 3, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return img;
}

std::vector<uint8_t> ReadBytes(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A folder of this process's own, so that test runs side by side (two builds
// at once) never write into each other's captures.
const fs::path &ScratchRoot() {
  static const fs::path root = [] {
    std::string pattern = (fs::path(testing::TempDir()) / "velmor-capture-tests-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    return fs::path(mkdtemp(name.data()) != nullptr ? name.data() : testing::TempDir());
  }();
  return root;
}

fs::path FreshFolder(const std::string &name) {
  fs::path p = ScratchRoot() / name;
  fs::remove_all(p);
  return p;
}

// Runs the capture tool from the folder that holds the module; returns its
// exit status and fills `err` with what it wrote on standard error.
int Capture(const std::string &program, const std::string &args, std::string *err = nullptr) {
  fs::path log = ScratchRoot() / "capture_stderr.txt";
  std::string command =
      "cd '" VELMOR_SOURCE_DIR "' && '" + program + "' " + args + " 2>'" + log.string() + "'";
  int status = std::system(command.c_str());
  if (err != nullptr) {
    std::ifstream in(log);
    *err = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// When the module reaches a position, from the module itself.
double SecondsAt(int order, int row) {
  std::vector<uint8_t> bytes = ReadBytes(VELMOR_SOURCE_DIR "/torva_velmor2.it");
  openmpt_module *m = openmpt_module_create_from_memory2(
      bytes.data(), bytes.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  double s = openmpt_module_set_position_order_row(m, order, row);
  openmpt_module_destroy(m);
  return s;
}

double ModuleSeconds() {
  std::vector<uint8_t> bytes = ReadBytes(VELMOR_SOURCE_DIR "/torva_velmor2.it");
  openmpt_module *m = openmpt_module_create_from_memory2(
      bytes.data(), bytes.size(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  double s = openmpt_module_get_duration_seconds(m);
  openmpt_module_destroy(m);
  return s;
}

// Root-mean-square distance from the centre of the pixels that stand out from
// their neighbourhood: grows with the size of a card, whatever its turn.
double SpreadOfDetail(const Image &img) {
  double sum = 0, weight = 0;
  for (int y = 4; y < img.height - 4; ++y)
    for (int x = 4; x < img.width - 4; ++x) {
      int here = img.At(x, y, 0) + img.At(x, y, 1) + img.At(x, y, 2);
      int around = 0;
      for (auto [dx, dy] : {std::pair{-4, 0}, std::pair{4, 0}, std::pair{0, -4}, std::pair{0, 4}})
        around += img.At(x + dx, y + dy, 0) + img.At(x + dx, y + dy, 1) + img.At(x + dx, y + dy, 2);
      if (here * 4 - around > 4 * 60) { // a bright edge of a letter
        double r2 = (x - 400.0) * (x - 400.0) + (y - 300.0) * (y - 300.0);
        sum += r2;
        weight += 1;
      }
    }
  return weight > 0 ? std::sqrt(sum / weight) : 0.0;
}

struct WavInfo {
  uint64_t frames = 0;
  std::vector<int16_t> samples;
};

WavInfo ReadWav(const fs::path &path) {
  std::vector<uint8_t> b = ReadBytes(path);
  WavInfo w;
  if (b.size() < 44) return w;
  uint32_t data = b[40] | b[41] << 8 | b[42] << 16 | static_cast<uint32_t>(b[43]) << 24;
  w.frames = data / 4;
  w.samples.resize(data / 2);
  std::memcpy(w.samples.data(), b.data() + 44, std::min<size_t>(data, b.size() - 44));
  return w;
}

TEST(Capture, FirstSecondsFollowTheTimelineAndTheCardGrowsWithItsScale) {
  fs::path folder = FreshFolder("first20");
  std::string err;
  ASSERT_EQ(Capture(VELMOR_CAPTURE_PROBE, "--fps 10 --to 20 -o '" + folder.string() + "/'", &err),
            0)
      << err;
  // 200 frames and exactly 20 s of sound.
  int frames = 0;
  for (const auto &e : fs::directory_iterator(folder)) frames += e.path().extension() == ".png";
  EXPECT_EQ(frames, 200);
  EXPECT_EQ(ReadWav(folder / "audio.wav").frames, 20u * 44100u);

  // The first card is revealed by the first frame that hears order 0, row 63.
  std::smatch m;
  std::regex reveal("probe: frame (\\d+)\\nprobe: step 0 card 0 at order 0 row (\\d+)");
  ASSERT_TRUE(std::regex_search(err, m, reveal)) << err;
  int revealFrame = std::stoi(m[1]);
  EXPECT_EQ(revealFrame, static_cast<int>(std::ceil(SecondsAt(0, 63) * 10 - 1e-9)));
  EXPECT_EQ(m[2], "63");

  // Before it there is no letter on screen; later its letters spread out as
  // its scale grows: scale 5 + 10 t, t counted from the frame after the reveal.
  EXPECT_EQ(SpreadOfDetail(ReadPng(folder / "frame_000010.png")), 0.0);
  double t1 = 1.5, t2 = 2.5;
  Image a = ReadPng(folder / ("frame_0000" + std::to_string(revealFrame + 15) + ".png"));
  Image b = ReadPng(folder / ("frame_0000" + std::to_string(revealFrame + 25) + ".png"));
  ASSERT_EQ(a.width, 800);
  double ratio = SpreadOfDetail(b) / SpreadOfDetail(a);
  EXPECT_NEAR(ratio, (5 + 10 * t2) / (5 + 10 * t1), 0.12)
      << SpreadOfDetail(a) << " " << SpreadOfDetail(b);

  // A still of a moment is the frame of that moment, byte for byte.
  fs::path still = FreshFolder("still.png");
  ASSERT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --still 6.5 '" + still.string() + "'"), 0);
  EXPECT_EQ(ReadPng(still).rgb, ReadPng(folder / "frame_000065.png").rgb);
}

TEST(Capture, TwoCapturesGiveTheSameFrames) {
  fs::path first = FreshFolder("again1"), second = FreshFolder("again2");
  ASSERT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --from 3 --to 6 -o '" + first.string() + "/'"), 0);
  ASSERT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --from 3 --to 6 -o '" + second.string() + "/'"), 0);
  int compared = 0;
  for (const auto &e : fs::directory_iterator(first)) {
    EXPECT_EQ(ReadBytes(e.path()), ReadBytes(second / e.path().filename())) << e.path();
    ++compared;
  }
  EXPECT_EQ(compared, 31); // 30 frames and the sound
}

TEST(Capture, WholeShowLastsTheModulePlusTheFadeAndEndsInSilence) {
  fs::path folder = FreshFolder("ending");
  std::string err;
  ASSERT_EQ(
      Capture(VELMOR_CAPTURE_PROBE, "--fps 10 --from 195 -o '" + folder.string() + "/'", &err), 0)
      << err.substr(err.size() > 2000 ? err.size() - 2000 : 0);
  int frames = 0;
  for (const auto &e : fs::directory_iterator(folder)) frames += e.path().extension() == ".png";
  // Frames 1950 onwards; the show is the module's length plus the 2 s fade.
  double show = static_cast<double>(1950 + frames) / 10;
  EXPECT_NEAR(show, ModuleSeconds() + 2.0, 0.1 + 1e-9);
  EXPECT_NE(err.find("probe: fade 2000 ms at order 0"), std::string::npos);

  WavInfo wav = ReadWav(folder / "audio.wav");
  EXPECT_EQ(wav.frames, static_cast<uint64_t>(frames) * 4410);
  auto rms = [&](double fromEnd, double length) {
    uint64_t start = wav.frames - static_cast<uint64_t>(fromEnd * 44100);
    uint64_t count = static_cast<uint64_t>(length * 44100);
    double sum = 0;
    for (uint64_t i = 2 * start; i < 2 * (start + count); ++i)
      sum += double(wav.samples[i]) * wav.samples[i];
    return std::sqrt(sum / (2.0 * count)) / 32768.0;
  };
  // The fade begins as the module starts over (softly) and falls linearly to
  // silence at the very end of the file: its last 10 ms are below -66 dBFS.
  double early = rms(2.0, 0.5), late = rms(0.8, 0.5), last = rms(0.01, 0.01);
  EXPECT_GT(early, 0.0005) << "nothing to hear as the fade begins";
  EXPECT_LT(late, early * 0.8);
  EXPECT_LT(last, 0.0005);
  EXPECT_LT(last, early * 0.05);
}

TEST(Capture, ErrorsSayWhatWentWrongAndLeaveNoFile) {
  std::string err;
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 1 -o /nonexistent/velmor.mp4", &err), 1);
  EXPECT_NE(err.find("cannot write to /nonexistent"), std::string::npos) << err;
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 0", &err), 2);
  EXPECT_NE(err.find("--fps"), std::string::npos) << err;
  fs::path bin = FreshFolder("nopath");
  fs::create_directories(bin);
  fs::path mp4 = FreshFolder("noffmpeg.mp4");
  // With no ffmpeg to be found, the MP4 cannot be made; nothing is left behind.
  std::string command = "PATH='" + bin.string() + "' '" VELMOR_CAPTURE "' --fps 10 --to 1 -o '" +
                        mp4.string() + "' 2>&1";
  FILE *p = popen(("cd '" VELMOR_SOURCE_DIR "' && " + command).c_str(), "r");
  std::string out;
  char line[512];
  while (std::fgets(line, sizeof line, p) != nullptr) out += line;
  int status = pclose(p);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(out.find("ffmpeg is not installed"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(mp4));
  EXPECT_FALSE(fs::exists(mp4.string() + ".part"));
}

TEST(Capture, Mp4HasPictureAndSoundOfTheSameLength) {
  fs::path mp4 = FreshFolder("short.mp4");
  ASSERT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 2 -o '" + mp4.string() + "'"), 0);
  std::string command = "ffprobe -v error -show_entries stream=codec_name,width,height,duration "
                        "-of csv=p=0 '" +
                        mp4.string() + "'";
  FILE *p = popen(command.c_str(), "r");
  std::string out;
  char line[256];
  while (std::fgets(line, sizeof line, p) != nullptr) out += line;
  pclose(p);
  EXPECT_NE(out.find("h264,800,600,2.000000"), std::string::npos) << out;
  EXPECT_NE(out.find("aac,"), std::string::npos) << out;
  // No scratch files are left beside the result.
  for (const auto &e : fs::directory_iterator(mp4.parent_path()))
    EXPECT_EQ(e.path().filename().string().rfind(".velmor-capture-", 0), std::string::npos);
}

} // namespace
