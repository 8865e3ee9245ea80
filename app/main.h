// The process entry and its two loops: windows are created and destroyed in the
// outer loop, messages are pumped and frames drawn in the inner one.
#pragma once

#include <cstdint>

#include "app/window.h"

extern int32_t keepRunning;       // the outer loop makes another pass while set
extern int32_t fullScreenRequest; // whether the next window is full screen
extern double lastClockMs;        // clock reading at the end of the last timing step
extern double frameDelta;         // seconds from the previous frame to this one

int WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);

// One frame: two clock readings, the delta between frames, the scene, the swap.
void RunFrameStep(AppWindow *window);
