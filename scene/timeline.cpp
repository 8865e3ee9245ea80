#include "scene/timeline.h"

#include "app/probe.h"
#include "app/window.h"
#include "music/music.h"
#include "platform/platform.h"
#include "scene/scene_init.h"
#include "scene/sprites.h"
#include "scene/timeline_table.h"

int32_t TimelineStep = -1;

namespace {

void FadeAndQuit(int frequency, DWORD milliseconds) {
  ProbeLine("fade %u ms at order %u row %u", static_cast<unsigned>(milliseconds),
            MusicPosition.order, MusicPosition.row);
  BASS_ChannelSlideAttributes(MusicHandle, frequency, -2, -101, milliseconds);
  Sleep(milliseconds);
  BASS_Stop();
  RequestQuit(sceneWindow);
}

// Where the previous frame's timeline stood, so that the live tests can tell a
// step taken by the first frame past its row from one taken late.
uint32_t seenOrder = 0;
uint32_t seenRow = 0;

} // namespace

void RunTimeline() {
  uint32_t order = MusicPosition.order;
  uint32_t row = MusicPosition.row;
  // The table is ordered by step: the row for step k is entry k + 1.
  while (TimelineStep < endArmedStep) {
    const Transition &t = transitions[static_cast<size_t>(TimelineStep + 1)];
    if (!Holds(t, order, row)) break;
    if (t.card != noCard) SpriteTable[t.card].active = 1;
    TimelineStep = t.to;
    // Lets the live tests see each step's position.
    ProbeLine("step %d card %d at order %u row %u after order %u row %u", TimelineStep, t.card,
              order, row, seenOrder, seenRow);
  }
  seenOrder = order;
  seenRow = row;
  if (TimelineStep == endArmedStep && order == 0) FadeAndQuit(-1, 2000);
  if ((*sceneKeys)[VK_ESCAPE] == 1) FadeAndQuit(0, 1000);
}
