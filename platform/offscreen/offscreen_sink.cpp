// The offscreen sink: nothing plays; the driver renders the player in step
// with its frames and says which frame is being "heard".
#include "platform/audio_sink.h"
#include "platform/virtual_clock.h"

namespace {
uint64_t heard = 0;
} // namespace

void VirtualClockSetHeard(uint64_t position) { heard = position; }

// The tool renders the samples itself, in step with its frames.
int SinkOpen(int, const SinkSource *) { return 1; }
// Nothing plays: the heard frame moves only when the tool moves it, so there
// is nothing to start or stop.
void SinkStart() {}
void SinkStop() {}
// The tool renders on the frame thread itself: nothing to exclude.
void SinkLock() {}
void SinkUnlock() {}
uint64_t SinkHeardFrame() { return heard; }
// Nothing to pass on: the tool renders this program's samples itself.
void SinkModuleInstalled(const void *, size_t, int) {}
void SinkRestarted() {}
void SinkSliding(uint64_t) {}
