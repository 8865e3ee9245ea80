// Where the player's audio goes: the sound device for the intro, the video's
// audio track for the capture tool. One implementation is linked per program.
#pragma once

#include <cstdint>

// Opens the output at `rate` Hz stereo, paused; 1 on success. On failure
// writes one line with the reason to standard error and returns 0.
int SinkOpen(int rate);
// Output runs / stops; the player keeps its place while stopped.
void SinkStart();
void SinkStop();
// Keeps the sink from pulling audio while the player is changed.
void SinkLock();
void SinkUnlock();
// The index of the frame being heard now, in the player's rendered frames.
uint64_t SinkHeardFrame();
