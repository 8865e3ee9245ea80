// Controls of the offscreen back end: no display, an OpenGL context drawing
// into an offscreen buffer of its window's size, and a virtual clock
// (platform/virtual_clock.h) that moves only when the driver moves it (a
// frame) or when the program sleeps.
#pragma once

#include <cstdint>
#include <string>

// Why the last GL context could not be made; empty when it could.
const std::string &OffscreenGlError();

// Reads the current frame (the window's size, RGB, bottom row first) into `rgb`.
void OffscreenReadFrame(uint8_t *rgb);
