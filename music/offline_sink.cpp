#include "music/offline_sink.h"

#include "music/audio_sink.h"

namespace {
uint64_t heard = 0;
bool running = false;
} // namespace

void OfflineSinkSetHeard(uint64_t frame) { heard = frame; }
bool OfflineSinkRunning() { return running; }

int SinkOpen(int) { return 1; }
void SinkStart() { running = true; }
void SinkStop() { running = false; }
// The tool renders on the frame thread itself: nothing to exclude.
void SinkLock() {}
void SinkUnlock() {}
uint64_t SinkHeardFrame() { return heard; }
