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

// What the music calls did to the player, for a sink whose audio comes from a
// player of its own rather than from this program's (the browser renders in
// its audio thread, apart from the page): the module installed from the file
// at `path`, a restart, a slide to silence over `frames` frames from what is
// rendered next. The sinks that pull this program's player do nothing here.
void SinkModuleInstalled(const char *path, int loopForever);
void SinkRestarted();
void SinkSliding(uint64_t frames);
