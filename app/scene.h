// What the shell calls in the scene: once per window, and once per frame. A
// program links one scene that supplies it: the show's (scene/), the
// benchmark's memory floor, or the shell tests' scripted one.
#pragma once

#include <cstdint>

#include "app/window.h"

// Called with the new window's GL context current and its frame clock just
// started; nonzero lets the frames run, zero ends the program.
int32_t InitScene(AppWindow *window, KeyTable *keys);

// Draws one frame; `delta` is the time since the previous frame in seconds.
void SceneFrame(double delta);
