// The few numbers the whole show is built on. The window, the offscreen frame,
// the capture outputs, the scene's passes, the player and the WAV header all
// read them here, so changing one changes every place that depends on it.
#pragma once

constexpr int screenWidth = 800; // the window and every captured frame
constexpr int screenHeight = 600;
constexpr int glowSize = 256;    // the glow's texture is glowSize x glowSize
constexpr int audioRate = 44100; // stereo frames per second, played and captured
