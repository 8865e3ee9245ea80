// The offscreen sink: nothing plays; the driver renders the player in step
// with its frames and says which frame is being "heard".
#include "music/audio_sink.h"
#include "platform/virtual_clock.h"

namespace {
uint64_t heard = 0;
} // namespace

void VirtualClockSetHeard(uint64_t position) { heard = position; }

int SinkOpen(int) { return 1; }
// Nothing plays: the heard frame moves only when the tool moves it, so there
// is nothing to start or stop.
void SinkStart() {}
void SinkStop() {}
// The tool renders on the frame thread itself: nothing to exclude.
void SinkLock() {}
void SinkUnlock() {}
uint64_t SinkHeardFrame() { return heard; }
// The tool renders this program's own player.
void SinkModuleInstalled(const char *, int) {}
void SinkRestarted() {}
void SinkSliding(uint64_t) {}
