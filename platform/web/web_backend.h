// State shared between the files of the browser back end. The page decides how
// the show runs before any of it starts: live (the shell's own loop, the
// browser's clock, Web Audio) or still (a virtual clock moved frame by frame,
// the music rendered in step with the frames and never played).
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "platform/virtual_clock.h"

// Whether the virtual clock (platform/virtual_clock.h) drives time and the
// sink: the still mode.
bool WebVirtualTime();
void WebSetVirtualTime(bool on);

// Whether the GL context keeps its drawing buffer after it is shown, so that
// the page can read the last frame back (the still mode asks for it).
void WebPreserveDrawing(bool on);

// Gives the browser its turn: once per frame from SwapBuffers, and while the
// program sleeps or waits. Implemented with Asyncify; the page's audio, input
// and drawing go on meanwhile.
void WebYieldToNextFrame();
void WebYieldFor(double milliseconds);
