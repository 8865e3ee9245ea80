// The capture tool end to end: it runs the real show offline and the tests
// look at what it wrote, frame by frame and sample by sample.
#include <gtest/gtest.h>

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <regex>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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
// exit status (-1 when a signal ended it) and fills `err` with what it wrote
// on standard error. `path`, when given, is the PATH it runs with.
int Capture(const std::string &program, const std::string &args, std::string *err = nullptr,
            const std::string &path = "") {
  fs::path log = ScratchRoot() / "capture_stderr.txt";
  std::string command = "cd '" VELMOR_SOURCE_DIR "' && " +
                        (path.empty() ? "" : "PATH='" + path + "' ") + "'" + program + "' " + args +
                        " 2>'" + log.string() + "'";
  int status = std::system(command.c_str());
  if (err != nullptr) {
    std::ifstream in(log);
    *err = {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quoted(const fs::path &p) { return "'" + p.string() + "'"; }

// What a shell command prints on its standard output.
std::string Output(const std::string &command) {
  FILE *p = popen(command.c_str(), "r");
  std::string out;
  char line[512];
  while (p != nullptr && std::fgets(line, sizeof line, p) != nullptr) out += line;
  if (p != nullptr) pclose(p);
  return out;
}

std::string LastLine(const std::string &text) {
  std::string t = text;
  while (!t.empty() && t.back() == '\n') t.pop_back();
  size_t start = t.rfind('\n');
  return start == std::string::npos ? t : t.substr(start + 1);
}

// The names in a folder, hidden ones included.
std::vector<std::string> Entries(const fs::path &folder) {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
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

// Failures of every kind end with status 1, one line of the tool's own as the
// last thing it says, and nothing under the final name or beside it.

// A tmpfs of a few megabytes, for as long as the test runs; being root is
// what it takes.
struct SmallDisk {
  fs::path where;
  std::string refused; // why it could not be mounted
  explicit SmallDisk(const std::string &name) : where(FreshFolder(name)) {
    fs::create_directories(where);
    if (mount("tmpfs", where.c_str(), "tmpfs", 0, "size=3m") != 0) refused = std::strerror(errno);
  }
  ~SmallDisk() {
    if (refused.empty()) umount2(where.c_str(), MNT_DETACH);
  }
  uint64_t Free() const {
    struct statvfs s {};
    statvfs(where.c_str(), &s);
    return static_cast<uint64_t>(s.f_bavail) * s.f_frsize;
  }
  // A file that takes all but `leave` bytes of it.
  void Fill(uint64_t leave) {
    fs::remove(where / "filler");
    uint64_t size = Free() > leave ? Free() - leave : 0;
    std::ofstream out(where / "filler", std::ios::binary);
    std::vector<char> block(1 << 16);
    for (uint64_t done = 0; done < size && out; done += block.size())
      out.write(block.data(),
                static_cast<std::streamsize>(std::min<uint64_t>(block.size(), size - done)));
  }
};

#define NEEDS_SMALL_DISK(disk)                                                                     \
  if (!(disk).refused.empty())                                                                     \
  GTEST_SKIP() << "cannot mount a 3 MB tmpfs at " << (disk).where << " (" << (disk).refused        \
               << "); the full-disk cases need root or CAP_SYS_ADMIN"

// A complete video has all its frames; anything else must have failed
// cleanly. Returns whether it failed.
bool ExpectCompleteOrNothing(int status, const std::string &err, const SmallDisk &disk,
                             const fs::path &video, int frames) {
  std::vector<std::string> left = Entries(disk.where);
  std::erase(left, "filler");
  if (status == 0) {
    EXPECT_EQ(left, std::vector<std::string>{video.filename()}) << err;
    EXPECT_EQ(Output("ffprobe -v error -count_frames -select_streams v -show_entries "
                     "stream=nb_read_frames -of csv=p=0 " +
                     Quoted(video)),
              std::to_string(frames) + "\n")
        << "a video that says it is complete is not";
    return false;
  }
  EXPECT_EQ(status, 1) << err;
  EXPECT_EQ(LastLine(err),
            "velmor-capture: no space left on device while writing " + video.string());
  EXPECT_EQ(left, std::vector<std::string>{}) << err;
  return true;
}

TEST(CaptureFailures, AFullDiskIsReportedAndLeavesNothing) {
  SmallDisk disk("small");
  NEEDS_SMALL_DISK(disk);
  std::string err;
  // 20 s of sound alone are more than 3 MB.
  fs::path mp4 = disk.where / "full.mp4";
  EXPECT_TRUE(ExpectCompleteOrNothing(
      Capture(VELMOR_CAPTURE, "--fps 10 --to 20 -o " + Quoted(mp4), &err), err, disk, mp4, 200));

  // So are ten frames of 300 kB.
  fs::path frames = disk.where / "frames";
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 20 -o " + Quoted(frames) + "/", &err), 1);
  EXPECT_EQ(LastLine(err).rfind("velmor-capture: no space left on device while writing " +
                                    frames.string() + "/frame_0",
                                0),
            0u)
      << err;
  EXPECT_EQ(Entries(disk.where), std::vector<std::string>{}) << err;

  // A still on a disk with no room at all.
  disk.Fill(0);
  fs::path still = disk.where / "still.png";
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --still 1 " + Quoted(still), &err), 1);
  EXPECT_EQ(LastLine(err),
            "velmor-capture: no space left on device while writing " + still.string());
  EXPECT_EQ(Entries(disk.where), std::vector<std::string>{"filler"});
}

TEST(CaptureFailures, TheDiskFillingUpAtAnyStepOfAVideoIsCaught) {
  // How much a second of video takes: the WAV file and the picture alone
  // wait in a scratch folder while the finished file is written beside them.
  fs::path sample = FreshFolder("sample.mp4");
  ASSERT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 1 -o " + Quoted(sample)), 0);
  uint64_t finished = fs::file_size(sample);
  uint64_t picture = 0;
  std::istringstream sizes(Output("ffprobe -v error -select_streams v -show_entries packet=size "
                                  "-of csv=p=0 " +
                                  Quoted(sample)));
  for (uint64_t size = 0; sizes >> size;) picture += size;
  uint64_t scratch = 44 + 44100 * 4 + picture;
  ASSERT_GT(picture, 10000u);

  SmallDisk disk("filling");
  NEEDS_SMALL_DISK(disk);
  fs::path video = disk.where / "second.mp4";
  // Full while the frames come; while the finished file is written (where
  // ffmpeg, unasked, ends with status 0 when it cannot write the end of a
  // file); and room enough.
  int failures = 0;
  for (uint64_t room : {scratch / 2, scratch + finished / 2, scratch + 3 * finished}) {
    std::string err;
    disk.Fill(room);
    failures += ExpectCompleteOrNothing(
        Capture(VELMOR_CAPTURE, "--fps 10 --to 1 -o " + Quoted(video), &err), err, disk, video, 10);
    fs::remove(video);
  }
  EXPECT_EQ(failures, 2);
}

// A stand-in for ffmpeg, first on PATH.
std::string FakeFfmpeg(const std::string &name, const std::string &script) {
  fs::path bin = FreshFolder(name);
  fs::create_directories(bin);
  std::ofstream(bin / "ffmpeg") << "#!/bin/sh\n" << script;
  fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
  return bin.string() + ":" + std::getenv("PATH");
}

TEST(CaptureFailures, AnFfmpegThatFailsIsReportedAndLeavesNothing) {
  fs::path folder = FreshFolder("failing");
  fs::create_directories(folder);
  fs::path mp4 = folder / "x.mp4";
  std::string err;
  // Gone after two frames: writing the third must not end the tool by SIGPIPE.
  std::string early = FakeFfmpeg("early", "head -c 2880000 >/dev/null; exit 3\n");
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 3 -o " + Quoted(mp4), &err, early), 1);
  EXPECT_EQ(LastLine(err),
            "velmor-capture: ffmpeg failed with status 3 while encoding " + mp4.string());
  EXPECT_EQ(Entries(folder), std::vector<std::string>{});
  // Takes every frame, then fails.
  std::string late = FakeFfmpeg("late", "cat >/dev/null; exit 1\n");
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 1 -o " + Quoted(mp4), &err, late), 1);
  EXPECT_EQ(LastLine(err),
            "velmor-capture: ffmpeg failed with status 1 while encoding " + mp4.string());
  EXPECT_EQ(Entries(folder), std::vector<std::string>{});
}

// Starts the capture tool and returns its process id; standard error goes to
// `log`.
pid_t StartCapture(const std::string &args, const fs::path &log, const std::string &path) {
  std::string command = "cd '" VELMOR_SOURCE_DIR "' && export PATH='" + path + "' && exec '" +
                        VELMOR_CAPTURE + "' " + args + " 2>" + Quoted(log);
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char *>(nullptr));
    _exit(127);
  }
  return pid;
}

// Waits (ten minutes at most) until `ready` holds.
bool WaitUntil(const std::function<bool()> &ready) {
  for (int i = 0; i < 6000; ++i) {
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

TEST(CaptureFailures, AnInterruptionLeavesNothingAndEndsWithStatusOne) {
  fs::path folder = FreshFolder("interrupted");
  fs::create_directories(folder);
  fs::path log = ScratchRoot() / "interrupted.txt";
  std::string realFfmpeg = LastLine(Output("command -v ffmpeg"));
  // The joining of picture and sound (the step that reads audio.wav) hangs.
  std::string slowJoin =
      FakeFfmpeg("slowjoin", "case \"$*\" in *audio.wav*) exec sleep 60 ;; esac\n"
                             "exec '" +
                                 realFfmpeg + "' \"$@\"\n");
  auto scratchHas = [&](const std::string &file) {
    for (const auto &e : fs::directory_iterator(folder))
      if (fs::exists(e.path() / file)) return true;
    return false;
  };
  struct Case {
    const char *moment;
    int signal;
    std::string args, path;
    std::function<bool()> ready;
  };
  pid_t pid = -1;
  std::vector<Case> cases = {
      {"while frames are written", SIGTERM, "--fps 10 --to 30 -o " + Quoted(folder / "a.mp4"),
       std::getenv("PATH"),
       [&] {
         return scratchHas("audio.wav") && Entries(folder).size() == 1 &&
                fs::file_size(fs::directory_iterator(folder)->path() / "audio.wav") > 100000;
       }},
      {"while picture and sound are joined", SIGINT,
       "--fps 10 --to 1 -o " + Quoted(folder / "b.mp4"), slowJoin,
       [&] {
         return scratchHas("video.mp4") &&
                Output("pgrep -x -P " + std::to_string(pid) + " sleep") != "";
       }},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.moment);
    pid = StartCapture(c.args, log, c.path);
    ASSERT_GT(pid, 0);
    bool ready = WaitUntil(c.ready);
    auto asked = std::chrono::steady_clock::now();
    kill(pid, c.signal);
    int status = 0;
    waitpid(pid, &status, 0);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    ASSERT_TRUE(ready) << "the capture never got there";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(LastLine(std::string(std::istreambuf_iterator<char>(std::ifstream(log).rdbuf()), {})),
              "velmor-capture: interrupted; nothing was written");
    EXPECT_LT(seconds, 30.0) << "it waited for the hanging ffmpeg";
    EXPECT_EQ(Entries(folder), std::vector<std::string>{});
  }
}

TEST(CaptureFailures, AStartBeyondTheShowIsAFailure) {
  fs::path folder = FreshFolder("beyond");
  std::string err;
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--fps 1 --from 500 -o " + Quoted(folder) + "/", &err), 1);
  EXPECT_EQ(LastLine(err), "velmor-capture: the show ends before --from 500 s");
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(folder.string() + ".part"));
}

// The name given chooses the container and its codecs.

struct Probe {
  std::string codecs; // "video,audio"
  std::string format; // ffmpeg's names for the container
  std::string brand;  // the MP4 family's major brand
  int frames = 0;
  double seconds = 0;
};

Probe ProbeVideo(const fs::path &video) {
  Probe p;
  std::istringstream streams(Output("ffprobe -v error -show_entries stream=codec_name -of "
                                    "csv=p=0 " +
                                    Quoted(video)));
  for (std::string line; std::getline(streams, line);)
    p.codecs += (p.codecs.empty() ? "" : ",") + line;
  p.format = LastLine(Output(
      "ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 " + Quoted(video)));
  p.brand = LastLine(Output("ffprobe -v error -show_entries format_tags=major_brand -of csv=p=0 " +
                            Quoted(video)));
  std::string frames = Output("ffprobe -v error -count_frames -select_streams v -show_entries "
                              "stream=nb_read_frames -of csv=p=0 " +
                              Quoted(video));
  p.frames = frames.empty() ? 0 : std::stoi(frames);
  std::string seconds =
      Output("ffprobe -v error -show_entries format=duration -of csv=p=0 " + Quoted(video));
  p.seconds = seconds.empty() ? 0 : std::stod(seconds);
  return p;
}

TEST(CaptureFormats, TheNameChoosesContainerAndCodecs) {
  struct Case {
    const char *name, *codecs, *format, *brand;
  };
  // Any case will do. WebM is Matroska with VP9 and Opus only; QuickTime and
  // MP4 differ in their brand.
  for (Case c : {Case{"show.webm", "vp9,opus", "matroska,webm", nullptr},
                 Case{"show.mkv", "h264,aac", "matroska,webm", nullptr},
                 Case{"SHOW.MOV", "h264,aac", "mov,mp4,m4a,3gp,3g2,mj2", "qt  "}}) {
    SCOPED_TRACE(c.name);
    fs::path video = FreshFolder(c.name);
    std::string err;
    ASSERT_EQ(Capture(VELMOR_CAPTURE, "--fps 10 --to 2 -o " + Quoted(video), &err), 0) << err;
    Probe p = ProbeVideo(video);
    EXPECT_EQ(p.codecs, c.codecs);
    EXPECT_EQ(p.format, c.format);
    if (c.brand != nullptr) {
      EXPECT_EQ(p.brand, c.brand);
    }
    EXPECT_EQ(p.frames, 20);
    // The audio codecs' own framing may add a few tens of milliseconds.
    EXPECT_NEAR(p.seconds, 2.0, 0.05);
  }
}

TEST(CaptureFormats, AnyOtherNameIsRefusedBeforeAFrameIsDrawn) {
  fs::path folder = FreshFolder("refused");
  fs::create_directories(folder);
  for (const char *name : {"show.avi", "show", "show.mp4.tmp"}) {
    std::string err;
    // The probe build says "probe: frame N" for every frame it draws.
    EXPECT_EQ(Capture(VELMOR_CAPTURE_PROBE, "--fps 10 --to 1 -o " + Quoted(folder / name), &err),
              2);
    EXPECT_EQ(err, "velmor-capture: -o " + (folder / name).string() +
                       ": the name must end in .mp4, .mkv, .mov or .webm, or in / for PNG "
                       "frames and a WAV file\n");
  }
  EXPECT_EQ(Entries(folder), std::vector<std::string>{});
}

TEST(CaptureOptions, MessagesNameTheOptionGivenAndNothingIsWritten) {
  fs::path folder = FreshFolder("options");
  fs::create_directories(folder);
  std::string png = Quoted(folder / "x.png");
  // Where a capture that should have been refused would go, quickly.
  std::string elsewhere = "--fps 5 -o " + Quoted(folder / "run.mp4") + " ";
  struct Case {
    std::string args, message;
  };
  for (const Case &c : std::vector<Case>{
           {"--still -1 " + png, "--still needs a moment of at least 0 seconds, not -1"},
           {"--still 5 " + png + " --from 2",
            "--still takes no --from; it writes one PNG of its own"},
           {"--still 5 " + png + " --to 9", "--still takes no --to; it writes one PNG of its own"},
           {"--still 5 " + png + " -o " + Quoted(folder / "x.mp4"),
            "--still takes no -o; it writes one PNG of its own"},
           {"--still 5 " + Quoted(folder / "x.jpg"),
            "--still writes a PNG; name it FILE.png, not " + (folder / "x.jpg").string()},
           {elsewhere + "--from -1", "--from must be at least 0, not -1"},
           {elsewhere + "--to -5", "--to -5 must come after --from 0"},
           {elsewhere + "--from 5 --to 3", "--to 3 must come after --from 5"},
           {elsewhere + "--from 3.01 --to 3.05",
            "no frame is shown from --from 3.01 to --to 3.05 at 5 fps"},
           {elsewhere + "--fps 0", "--fps takes a whole number from 1 to 240"},
       }) {
    std::string err;
    EXPECT_EQ(Capture(VELMOR_CAPTURE, c.args, &err), 2) << c.args;
    EXPECT_EQ(err, "velmor-capture: " + c.message + "\n") << c.args;
  }
  // One complaint, not one for each reading of the option.
  std::string err;
  EXPECT_EQ(Capture(VELMOR_CAPTURE, "--still soon " + png, &err), 2);
  EXPECT_EQ(err.rfind("velmor-capture: --still needs SECONDS and FILE.png\nusage:", 0), 0u) << err;
  EXPECT_EQ(err.find("velmor-capture:", 1), std::string::npos) << err;
  EXPECT_EQ(Entries(folder), std::vector<std::string>{});
}

} // namespace
