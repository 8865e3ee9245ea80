// What the shell calls in the scene: once per window, and once per frame.
#pragma once

#include <cstdint>

#include "app/window.h"

// Called with the new window's GL context current and its frame clock just
// started; nonzero lets the frames run, zero ends the program.
int32_t InitScene(AppWindow *window, KeyTable *keys);

// Draws one frame; `delta` is the time since the previous frame in seconds.
void SceneFrame(double delta);
