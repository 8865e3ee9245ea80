// The clock of a back end that owns no time of its own: the offscreen one, and
// the page's in its still mode. It stands still until the driver that owns
// time moves it, one video frame at a time; a Sleep of the program moves it on
// instead of waiting. Nothing plays either, so the driver also says what is
// being heard. Positions count audio frames since the show began.
#pragma once

#include <cstdint>

// How many positions make a second: the audio rate the driver renders at.
// Set before the first window, whose frame clock reads it.
void VirtualClockSetRate(int framesPerSecond);
int64_t VirtualClockNow();
void VirtualClockSet(int64_t position);

// What the sink reports as heard (SinkHeardFrame) from now on.
void VirtualClockSetHeard(uint64_t position);
