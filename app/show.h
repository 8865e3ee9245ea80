// The size of the show's screen. The window, the offscreen frame, the capture
// outputs and the scene's passes all follow it, so changing it changes every
// place that depends on it.
#pragma once

constexpr int screenWidth = 800; // the window and every captured frame
constexpr int screenHeight = 600;
