// Where captured frames and audio go: an MP4 made by ffmpeg, a folder of PNG
// frames with a WAV file, or a single PNG still. Every output writes under a
// temporary name and takes its final name only when it is complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr int captureWidth = 800;
constexpr int captureHeight = 600;

// 16-bit stereo PCM at 44.1 kHz; the sizes in the header are filled in when
// the file is closed.
struct WavWriter {
  FILE *file = nullptr;
  uint64_t frames = 0;
};
bool WavOpen(WavWriter *wav, const std::string &path);
void WavWrite(WavWriter *wav, const float *stereo, int frames);
bool WavClose(WavWriter *wav);

// Rows bottom first, as GL reads them; the PNG stands upright.
bool WritePng(const std::string &path, const uint8_t *rgbBottomUp);

struct CaptureOutput {
  enum Kind { Mp4, Folder, Still } kind = Mp4;
  std::string path;      // the final name (a folder ends with '/')
  std::string scratch;   // temporary folder beside the final name
  FILE *video = nullptr; // ffmpeg's standard input (Mp4)
  pid_t encoder = -1;
  WavWriter audio;
  int fps = 60;
  uint64_t framesWritten = 0;
  std::string error;
};

// Checks that the output can be written (and that ffmpeg exists for an MP4)
// before any rendering starts; on failure `error` says what and how to fix it.
bool OutputOpen(CaptureOutput *out);
bool OutputFrame(CaptureOutput *out, const uint8_t *rgbBottomUp);
bool OutputAudio(CaptureOutput *out, const float *stereo, int frames);
// Finishes the file (muxes the MP4) and moves it to its final name.
bool OutputFinish(CaptureOutput *out);
// Removes everything written so far; nothing is left under the final name.
void OutputAbandon(CaptureOutput *out);
