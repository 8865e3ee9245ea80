// Measurements made inside this process, on the offscreen GL context the
// capture tool uses: start-up, frames, allocations, audio.
#pragma once

#include <vector>

#include "bench/report.h"

struct BenchSizes {
  int startupReps = 5;
  int frameReps = 5;
  int framesPerRep = 5;
  int warmupFrames = 4;
  int countedFrames = 20;
  int audioReps = 11;
  int spectrumCallsPerRep = 3000;
};

// Creates the window and its context and runs the first InitScene; false
// (with a line on standard error) when there is no offscreen GL.
bool OpenBenchScene();
const char *GlRendererName();

// Resident size (VmRSS, MB) of this process before the GL context, after it,
// and after the first InitScene.
struct ResidentSteps {
  double start = 0, context = 0, scene = 0;
};
const ResidentSteps &BenchResidentSteps();
// The first InitScene of the run (cold caches, audio set-up and module load
// included), in ms.
double FirstInitSceneMs();
// What the 43 JPEG textures take if stored at 4 bytes a texel with their full
// mipmap chains (MB), from the pictures' sizes.
double JpegTextureMB();
// The 43 JPEG pictures in the order InitScene loads them.
std::vector<const char *> JpegNames();
double ResidentMB(const char *field); // "VmRSS:" or "VmHWM:" of this process, in MB
const char *GlVersionName();

void MeasureStartup(const BenchSizes &sizes, std::vector<Figure> *figures);
void MeasureFrames(const BenchSizes &sizes, std::vector<Figure> *figures);
void MeasureAudio(const BenchSizes &sizes, std::vector<Figure> *figures);

// The capture tool's steps (capture/stepper.h) without any output: InitScene,
// then each frame stepped and read back. The floor of the capture figure; runs
// in a process of its own.
int RunRenderLoop(int fps, double seconds);
