#include "capture/outputs.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <png.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
  Put32(f, 44100);
  Put32(f, 44100 * 4);
  Put16(f, 4);
  Put16(f, 16);
  std::fwrite("data", 1, 4, f);
  Put32(f, data);
}

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
// is a pipe returned there.
pid_t Spawn(const std::vector<std::string> &args, FILE **input) {
  std::vector<char *> argv;
  for (const auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  int fds[2] = {-1, -1};
  if (input != nullptr) {
    if (pipe(fds) != 0) return -1;
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
  }
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (input != nullptr) {
    close(fds[0]);
    if (rc != 0) {
      close(fds[1]);
      return -1;
    }
    *input = fdopen(fds[1], "wb");
  }
  return rc == 0 ? pid : -1;
}

bool Wait(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ParentOf(const std::string &path) {
  fs::path p = fs::path(path).parent_path();
  return p.empty() ? "." : p.string();
}

std::string FramePath(const CaptureOutput *out, uint64_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%06llu.png", static_cast<unsigned long long>(index));
  return out->scratch + name;
}

} // namespace

bool WavOpen(WavWriter *wav, const std::string &path) {
  wav->file = std::fopen(path.c_str(), "wb");
  wav->frames = 0;
  if (wav->file == nullptr) return false;
  WriteWavHeader(wav->file, 0);
  return true;
}

void WavWrite(WavWriter *wav, const float *stereo, int frames) {
  int16_t block[2 * 1024];
  for (int done = 0; done < frames;) {
    int n = std::min(frames - done, 1024);
    for (int i = 0; i < 2 * n; ++i) {
      float v = std::clamp(stereo[2 * done + i], -1.0f, 1.0f);
      block[i] = static_cast<int16_t>(std::lrint(v * 32767.0f));
    }
    std::fwrite(block, sizeof(int16_t), 2 * static_cast<size_t>(n), wav->file);
    done += n;
  }
  wav->frames += static_cast<uint64_t>(frames);
}

bool WavClose(WavWriter *wav) {
  if (wav->file == nullptr) return true;
  std::fseek(wav->file, 0, SEEK_SET);
  WriteWavHeader(wav->file, wav->frames);
  bool ok = std::ferror(wav->file) == 0;
  ok = std::fclose(wav->file) == 0 && ok;
  wav->file = nullptr;
  return ok;
}

bool WritePng(const std::string &path, const uint8_t *rgbBottomUp) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  // Fast over small: frames are many and mostly dark.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, captureWidth, captureHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = captureHeight - 1; y >= 0; --y)
    png_write_row(png,
                  const_cast<uint8_t *>(rgbBottomUp + static_cast<size_t>(y) * captureWidth * 3));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0;
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
  std::string fps = std::to_string(out->fps);
  out->encoder = Spawn({ffmpeg,      "-hide_banner",
                        "-loglevel", "error",
                        "-y",        "-f",
                        "rawvideo",  "-pixel_format",
                        "rgb24",     "-video_size",
                        "800x600",   "-framerate",
                        fps,         "-i",
                        "-",         "-vf",
                        "vflip",     "-c:v",
                        "libx264",   "-preset",
                        "veryfast",  "-crf",
                        "18",        "-pix_fmt",
                        "yuv420p",   out->scratch + "/video.mp4"},
                       &out->video);
  if (out->encoder < 0 || out->video == nullptr) {
    out->error = "cannot start " + ffmpeg;
    OutputAbandon(out);
    return false;
  }
  return true;
}

bool OutputFrame(CaptureOutput *out, const uint8_t *rgbBottomUp) {
  bool ok = true;
  switch (out->kind) {
  case CaptureOutput::Mp4:
    ok = std::fwrite(rgbBottomUp, 1, captureWidth * captureHeight * 3, out->video) ==
         static_cast<size_t>(captureWidth * captureHeight * 3);
    break;
  case CaptureOutput::Folder: ok = WritePng(FramePath(out, out->framesWritten), rgbBottomUp); break;
  case CaptureOutput::Still: ok = WritePng(out->scratch, rgbBottomUp); break;
  }
  if (!ok) out->error = "writing frame " + std::to_string(out->framesWritten) + " failed";
  ++out->framesWritten;
  return ok;
}

bool OutputAudio(CaptureOutput *out, const float *stereo, int frames) {
  if (out->kind == CaptureOutput::Still) return true;
  WavWrite(&out->audio, stereo, frames);
  if (std::ferror(out->audio.file)) {
    out->error = "writing the audio failed: " + std::string(std::strerror(errno));
    return false;
  }
  return true;
}

bool OutputFinish(CaptureOutput *out) {
  std::error_code ec;
  if (!WavClose(&out->audio)) {
    out->error = "writing the audio failed";
    return false;
  }
  if (out->kind == CaptureOutput::Still || out->kind == CaptureOutput::Folder) {
    std::string final =
        out->kind == CaptureOutput::Still ? out->path : out->path.substr(0, out->path.size() - 1);
    if (out->kind == CaptureOutput::Folder) fs::remove(final, ec); // empty, or absent
    fs::rename(out->scratch, final, ec);
    if (ec) out->error = "cannot name the result " + final + ": " + ec.message();
    return !ec;
  }
  std::fclose(out->video);
  out->video = nullptr;
  bool encoded = Wait(out->encoder);
  out->encoder = -1;
  if (!encoded) {
    out->error = "ffmpeg could not encode the video";
    return false;
  }
  std::string part = out->path + ".part";
  pid_t mux = Spawn({FindProgram("ffmpeg"),
                     "-hide_banner",
                     "-loglevel",
                     "error",
                     "-y",
                     "-i",
                     out->scratch + "/video.mp4",
                     "-i",
                     out->scratch + "/audio.wav",
                     "-c:v",
                     "copy",
                     "-c:a",
                     "aac",
                     "-b:a",
                     "192k",
                     "-movflags",
                     "+faststart",
                     "-f",
                     "mp4",
                     part},
                    nullptr);
  if (mux < 0 || !Wait(mux)) {
    out->error = "ffmpeg could not join the video and its sound";
    fs::remove(part, ec);
    return false;
  }
  fs::rename(part, out->path, ec);
  if (ec) {
    out->error = "cannot name the result " + out->path + ": " + ec.message();
    fs::remove(part, ec);
    return false;
  }
  fs::remove_all(out->scratch, ec);
  return true;
}

void OutputAbandon(CaptureOutput *out) {
  std::error_code ec;
  if (out->video != nullptr) {
    std::fclose(out->video);
    out->video = nullptr;
  }
  if (out->encoder > 0) {
    kill(out->encoder, SIGTERM);
    Wait(out->encoder);
    out->encoder = -1;
  }
  if (out->audio.file != nullptr) {
    std::fclose(out->audio.file);
    out->audio.file = nullptr;
  }
  if (!out->scratch.empty()) fs::remove_all(out->scratch, ec);
  fs::remove(out->path + ".part", ec);
}
