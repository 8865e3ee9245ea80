// When each card enters, and how the presentation ends: driven by the music's
// order and row alone.
#pragma once

#include <cstdint>

extern int32_t TimelineStep; // -1: no card yet; k: cards 0..k revealed; 40: end armed

// Once per frame, after drawing: reveals the cards whose positions have come,
// then runs the end test and the Escape test.
void RunTimeline();
