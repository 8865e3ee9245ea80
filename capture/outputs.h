// Where captured frames and audio go: a video made by ffmpeg, a folder of PNG
// frames with a WAV file, or a single PNG still. Every output writes under a
// temporary name and takes its final name only when it is complete.
#pragma once

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <string>
#include <sys/types.h>
#include <vector>

// 16-bit stereo PCM at 44.1 kHz; the sizes in the header are filled in when
// the file is closed. Each call returns false with errno set when the file
// could not be written.
struct WavWriter {
  FILE *file = nullptr;
  uint64_t frames = 0;
};
bool WavOpen(WavWriter *wav, const std::string &path);
bool WavWrite(WavWriter *wav, const float *stereo, int frames);
bool WavClose(WavWriter *wav);

// Rows bottom first, as GL reads them; the PNG stands upright. Returns 0, or
// the errno of the write that failed.
int WritePng(const std::string &path, const uint8_t *rgbBottomUp);

// A video file's container and codecs, chosen by the extension of its name.
struct VideoFormat {
  const char *extension;    // lower case, with its dot
  const char *muxer;        // ffmpeg's name for the container
  const char *codecs;       // for people
  const char *videoScratch; // the picture alone, before the sound joins it
  std::vector<const char *> videoCodec;
  std::vector<const char *> audioCodec;
  std::vector<const char *> muxOptions;
};
// Null when the name ends in none of the extensions below (any case).
const VideoFormat *VideoFormatFor(const std::string &path);
// ".mp4, .mkv, .mov or .webm"
std::string VideoExtensions();

struct CaptureOutput {
  enum Kind { Video, Folder, Still } kind = Video;
  const VideoFormat *format = nullptr; // Video
  std::string path;                    // the final name (a folder ends with '/')
  std::string scratch;                 // temporary folder beside the final name
  FILE *video = nullptr;               // ffmpeg's standard input (Video)
  pid_t encoder = -1;
  WavWriter audio;
  int fps = 60;
  uint64_t framesWritten = 0;
  // Set by a signal handler: waits for ffmpeg give up, and nothing takes its
  // final name once it is set.
  const volatile std::sig_atomic_t *stop = nullptr;
  std::string error;
};

// Checks that the output can be written (and that ffmpeg exists for a video)
// before any rendering starts; on failure `error` says what and how to fix it.
bool OutputOpen(CaptureOutput *out);
bool OutputFrame(CaptureOutput *out, const uint8_t *rgbBottomUp);
bool OutputAudio(CaptureOutput *out, const float *stereo, int frames);
// Finishes the file (joins picture and sound) and moves it to its final name.
bool OutputFinish(CaptureOutput *out);
// Removes everything written so far; nothing is left under the final name.
void OutputAbandon(CaptureOutput *out);
