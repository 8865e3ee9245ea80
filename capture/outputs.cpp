#include "capture/outputs.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/show.h"
#include "music/player_core.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

void Put16(FILE *f, uint16_t v) {
  uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
  std::fwrite(b, 1, 2, f);
}
void Put32(FILE *f, uint32_t v) {
  uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                  static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  std::fwrite(b, 1, 4, f);
}

void WriteWavHeader(FILE *f, uint64_t frames) {
  uint32_t data = static_cast<uint32_t>(frames * 4);
  std::fwrite("RIFF", 1, 4, f);
  Put32(f, 36 + data);
  std::fwrite("WAVEfmt ", 1, 8, f);
  Put32(f, 16);
  Put16(f, 1); // PCM
  Put16(f, 2);
  Put32(f, audioRate);
  Put32(f, audioRate * 4);
  Put16(f, 4);
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, data);
}

// Both H.264 containers get the same picture; the picture of a WebM is VP9
// at libvpx's fastest settings, which keep up with the software renderer
// with room to spare.
const std::vector<const char *> h264 = {"-c:v", "libx264", "-preset",  "veryfast",
                                        "-crf", "18",      "-pix_fmt", "yuv420p"};
const std::vector<const char *> aac = {"-c:a", "aac", "-b:a", "192k"};
const std::vector<const char *> vp9 = {"-c:v", "libvpx-vp9", "-deadline", "realtime", "-cpu-used",
                                       "8",    "-row-mt",    "1",         "-crf",     "24",
                                       "-b:v", "0",          "-pix_fmt",  "yuv420p"};
const std::vector<const char *> opus = {"-c:a", "libopus", "-b:a", "160k"};
// Movies that start playing before they have fully arrived.
const std::vector<const char *> fastStart = {"-movflags", "+faststart"};

const VideoFormat formats[] = {
    {".mp4", "mp4", "H.264 and AAC", "video.mp4", h264, aac, fastStart},
    {".mkv", "matroska", "H.264 and AAC", "video.mp4", h264, aac, {}},
    {".mov", "mov", "H.264 and AAC", "video.mp4", h264, aac, fastStart},
    {".webm", "webm", "VP9 and Opus", "video.webm", vp9, opus, {}},
};

std::string FindProgram(const char *name) {
  const char *path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string candidate = dirs.substr(start, end - start) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return "";
}

// Runs a program with the given arguments; with `input`, its standard input
// is a pipe returned there. The program gets SIGPIPE back, which the capture
// tool ignores for itself.
pid_t Spawn(const std::vector<std::string> &args, FILE **input) {
  std::vector<char *> argv;
  for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  int fds[2] = {-1, -1};
  if (input != nullptr && pipe2(fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input != nullptr) posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (input != nullptr) {
    close(fds[0]);
    *input = rc == 0 ? fdopen(fds[1], "wb") : nullptr;
    if (*input == nullptr) close(fds[1]);
  }
  return rc == 0 ? pid : -1;
}

// The child's wait status, or -1.
int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return status;
}

bool Stopped(const CaptureOutput *out) { return out->stop != nullptr && *out->stop != 0; }

// As WaitFor, but a stop asked for meanwhile ends the child instead (the
// signal handler is installed without SA_RESTART, so waitpid returns).
int WaitUnlessStopped(const CaptureOutput *out, pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
    if (Stopped(out)) {
      kill(pid, SIGKILL);
      WaitFor(pid);
      return -1;
    }
  }
  return status;
}

bool Succeeded(int status) { return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0; }

std::string HowItEnded(int status) {
  if (status == -1) return "was lost";
  if (WIFSIGNALED(status)) return "was killed by signal " + std::to_string(WTERMSIG(status));
  if (WEXITSTATUS(status) == 0) return "stopped reading early";
  return "failed with status " + std::to_string(WEXITSTATUS(status));
}

// "no space left on device while writing NAME"
std::string WriteError(int err, const std::string &name) {
  std::string reason = std::strerror(err);
  if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(reason[0]));
  return reason + " while writing " + name;
}

// Why a write into `folder` fails, found by writing a little there ourselves:
// a full disk, a quota or a failing drive stop ffmpeg and us alike. 0 where
// the write goes through.
int WriteTrial(const std::string &folder) {
  std::string pattern = folder + "/.velmor-capture-trial-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return errno;
  static const char block[1 << 16] = {};
  int err = 0;
  for (size_t done = 0; done < sizeof block && err == 0;) {
    ssize_t n = write(fd, block + done, sizeof block - done);
    if (n > 0)
      done += static_cast<size_t>(n);
    else if (n == 0)
      err = ENOSPC;
    else if (errno != EINTR)
      err = errno;
  }
  if (err == 0 && fsync(fd) != 0) err = errno;
  if (close(fd) != 0 && err == 0) err = errno;
  unlink(name.data());
  return err;
}

// One line for an ffmpeg that did not finish its step: what the disk says
// where it wrote, or else how ffmpeg ended (its own messages stand above).
std::string EncoderError(const CaptureOutput *out, int status, const char *step,
                         const std::string &folder) {
  if (int err = WriteTrial(folder)) return WriteError(err, out->path);
  return "ffmpeg " + HowItEnded(status) + " while " + step + " " + out->path;
}

std::string ParentOf(const std::string &path) {
  fs::path p = fs::path(path).parent_path();
  return p.empty() ? "." : p.string();
}

std::string FrameName(uint64_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06llu.png", static_cast<unsigned long long>(index));
  return name;
}

// What a failed write of the sound names: the file people asked for.
std::string AudioName(const CaptureOutput *out) {
  return out->kind == CaptureOutput::Folder ? out->path + "audio.wav" : out->path;
}

std::vector<std::string> Arguments(std::vector<std::string> args,
                                   const std::vector<const char *> &more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// ffmpeg, quiet but for its errors, and failing as a whole at the first: on
// its own it reports a trailer it could not write and still ends with status 0.
std::vector<std::string> Ffmpeg(const std::string &program) {
  return {program, "-nostdin", "-hide_banner", "-loglevel", "error", "-xerror", "-y"};
}

void PngFailed(png_structp png, png_const_charp) {
  // libpng fails a write when fwrite comes up short; errno still says why.
  *static_cast<int *>(png_get_error_ptr(png)) = errno != 0 ? errno : EIO;
  png_longjmp(png, 1);
}

void PngWarned(png_structp, png_const_charp) {}

} // namespace

const VideoFormat *VideoFormatFor(const std::string &path) {
  size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return nullptr;
  std::string extension = path.substr(dot);
  for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const VideoFormat &f : formats)
    if (extension == f.extension) return &f;
  return nullptr;
}

std::string VideoExtensions() {
  std::string list;
  size_t count = std::size(formats);
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) list += i + 1 == count ? " or " : ", ";
    list += formats[i].extension;
  }
  return list;
}

bool WavOpen(WavWriter *wav, const std::string &path) {
  wav->file = std::fopen(path.c_str(), "wb");
  wav->frames = 0;
  if (wav->file == nullptr) return false;
  WriteWavHeader(wav->file, 0);
  return std::ferror(wav->file) == 0;
}

bool WavWrite(WavWriter *wav, const float *stereo, int frames) {
  int16_t block[2 * 1024];
  for (int done = 0; done < frames;) {
    int n = std::min(frames - done, 1024);
    for (int i = 0; i < 2 * n; ++i) {
      float v = std::clamp(stereo[2 * done + i], -1.0f, 1.0f);
      block[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    size_t samples = 2 * static_cast<size_t>(n);
    if (std::fwrite(block, sizeof(int16_t), samples, wav->file) != samples) return false;
    done += n;
  }
  wav->frames += static_cast<uint64_t>(frames);
  return true;
}

bool WavClose(WavWriter *wav) {
  if (wav->file == nullptr) return true;
  // The first failure is the one to report; later calls may change errno.
  int err = 0;
  if (std::fflush(wav->file) != 0 || std::fseek(wav->file, 0, SEEK_SET) != 0) err = errno;
  WriteWavHeader(wav->file, wav->frames);
  if (err == 0 && std::fflush(wav->file) != 0) err = errno;
  if (std::fclose(wav->file) != 0 && err == 0) err = errno;
  wav->file = nullptr;
  errno = err;
  return err == 0;
}

int WritePng(const std::string &path, const uint8_t *rgbBottomUp) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return errno;
  int failure = 0;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, PngFailed, PngWarned);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return failure;
  }
  png_init_io(png, f);
  // Fast over small: frames are many and mostly dark.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, screenWidth, screenHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = screenHeight - 1; y >= 0; --y)
    png_write_row(png,
                  const_cast<uint8_t *>(rgbBottomUp + static_cast<size_t>(y) * screenWidth * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 ? 0 : errno;
}

bool OutputOpen(CaptureOutput *out) {
  std::error_code ec;
  if (out->kind == CaptureOutput::Still) {
    out->scratch = out->path + ".part";
    FILE *probe = std::fopen(out->scratch.c_str(), "wb");
    if (probe == nullptr) {
      out->error = "cannot write " + out->path + ": " + std::strerror(errno);
      return false;
    }
    std::fclose(probe);
    return true;
  }
  if (out->kind == CaptureOutput::Folder) {
    std::string folder = out->path.substr(0, out->path.size() - 1);
    if (fs::exists(folder, ec) && !fs::is_empty(folder, ec)) {
      out->error = "the folder " + out->path + " is not empty; name a new or empty one";
      return false;
    }
    out->scratch = folder + ".part";
    fs::remove_all(out->scratch, ec);
    if (!fs::create_directory(out->scratch, ec)) {
      out->error = "cannot create " + out->scratch + ": " + ec.message();
      return false;
    }
    if (!WavOpen(&out->audio, out->scratch + "/audio.wav")) {
      out->error = "cannot write " + out->scratch + "/audio.wav: " + std::strerror(errno);
      OutputAbandon(out);
      return false;
    }
    return true;
  }

  std::string ffmpeg = FindProgram("ffmpeg");
  if (ffmpeg.empty()) {
    out->error = "ffmpeg is not installed; install it (apt-get install ffmpeg) or write PNG "
                 "frames and a WAV file with -o FOLDER/";
    return false;
  }
  std::string pattern = ParentOf(out->path) + "/.velmor-capture-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    out->error = "cannot write to " + ParentOf(out->path) + ": " + std::strerror(errno);
    return false;
  }
  out->scratch = name.data();
  if (!WavOpen(&out->audio, out->scratch + "/audio.wav")) {
    out->error = "cannot write " + out->scratch + "/audio.wav: " + std::strerror(errno);
    OutputAbandon(out);
    return false;
  }
  std::vector<std::string> encode =
      Arguments(Ffmpeg(ffmpeg), {"-f", "rawvideo", "-pixel_format", "rgb24"});
  encode.insert(encode.end(),
                {"-video_size", std::to_string(screenWidth) + "x" + std::to_string(screenHeight),
                 "-framerate", std::to_string(out->fps), "-i", "-", "-vf", "vflip"});
  encode = Arguments(encode, out->format->videoCodec);
  encode.push_back(out->scratch + "/" + out->format->videoScratch);
  out->encoder = Spawn(encode, &out->video);
  if (out->encoder < 0 || out->video == nullptr) {
    out->error = "cannot start " + ffmpeg;
    OutputAbandon(out);
    return false;
  }
  return true;
}

bool OutputFrame(CaptureOutput *out, const uint8_t *rgbBottomUp) {
  int err = 0;
  std::string name = out->path;
  switch (out->kind) {
  case CaptureOutput::Video: {
    size_t bytes = static_cast<size_t>(screenWidth) * screenHeight * 3;
    if (std::fwrite(rgbBottomUp, 1, bytes, out->video) == bytes) break;
    if (Stopped(out)) {
      out->error = "interrupted";
      return false;
    }
    // ffmpeg has gone (EPIPE): what it left behind says why.
    std::fclose(out->video);
    out->video = nullptr;
    int status = WaitFor(out->encoder);
    out->encoder = -1;
    out->error = EncoderError(out, status, "encoding", out->scratch);
    return false;
  }
  case CaptureOutput::Folder:
    name += FrameName(out->framesWritten);
    err = WritePng(out->scratch + "/" + FrameName(out->framesWritten), rgbBottomUp);
    break;
  case CaptureOutput::Still: err = WritePng(out->scratch, rgbBottomUp); break;
  }
  if (err != 0) {
    out->error = WriteError(err, name);
    return false;
  }
  ++out->framesWritten;
  return true;
}

bool OutputAudio(CaptureOutput *out, const float *stereo, int frames) {
  if (out->kind == CaptureOutput::Still) return true;
  if (!WavWrite(&out->audio, stereo, frames)) {
    out->error = WriteError(errno, AudioName(out));
    return false;
  }
  return true;
}

bool OutputFinish(CaptureOutput *out) {
  std::error_code ec;
  if (!WavClose(&out->audio)) {
    out->error = WriteError(errno, AudioName(out));
    return false;
  }
  if (out->kind == CaptureOutput::Still || out->kind == CaptureOutput::Folder) {
    if (Stopped(out)) {
      out->error = "interrupted";
      return false;
    }
    std::string final =
        out->kind == CaptureOutput::Still ? out->path : out->path.substr(0, out->path.size() - 1);
    if (out->kind == CaptureOutput::Folder) fs::remove(final, ec); // empty, or absent
    fs::rename(out->scratch, final, ec);
    if (ec) out->error = "cannot name the result " + final + ": " + ec.message();
    return !ec;
  }
  // A failed flush here is ffmpeg gone; its status tells.
  std::fclose(out->video);
  out->video = nullptr;
  int status = WaitUnlessStopped(out, out->encoder);
  out->encoder = -1;
  if (Stopped(out)) {
    out->error = "interrupted";
    return false;
  }
  if (!Succeeded(status)) {
    out->error = EncoderError(out, status, "encoding", out->scratch);
    return false;
  }
  std::string part = out->path + ".part";
  std::vector<std::string> join = Ffmpeg(FindProgram("ffmpeg"));
  join.insert(join.end(), {"-i", out->scratch + "/" + out->format->videoScratch, "-i",
                           out->scratch + "/audio.wav", "-c:v", "copy"});
  join = Arguments(Arguments(join, out->format->audioCodec), out->format->muxOptions);
  join.insert(join.end(), {"-f", out->format->muxer, part});
  pid_t mux = Spawn(join, nullptr);
  if (mux < 0) {
    out->error = "cannot start ffmpeg";
    return false;
  }
  status = WaitUnlessStopped(out, mux);
  if (Stopped(out)) {
    out->error = "interrupted";
  } else if (!Succeeded(status)) {
    out->error = EncoderError(out, status, "adding the sound to", ParentOf(out->path));
  } else {
    fs::rename(part, out->path, ec);
    if (!ec) {
      fs::remove_all(out->scratch, ec);
      return true;
    }
    out->error = "cannot name the result " + out->path + ": " + ec.message();
  }
  fs::remove(part, ec);
  return false;
}

void OutputAbandon(CaptureOutput *out) {
  std::error_code ec;
  if (out->video != nullptr) {
    std::fclose(out->video);
    out->video = nullptr;
  }
  // Killed outright: what ffmpeg would still write is thrown away, and so
  // are its complaints about a disk it could not finish on.
  if (out->encoder > 0) {
    kill(out->encoder, SIGKILL);
    WaitFor(out->encoder);
    out->encoder = -1;
  }
  if (out->audio.file != nullptr) {
    std::fclose(out->audio.file);
    out->audio.file = nullptr;
  }
  if (!out->scratch.empty()) fs::remove_all(out->scratch, ec);
  fs::remove(out->path + ".part", ec);
}
