// The capture tool's sink: nothing plays; the tool renders the player in step
// with its frames and says which frame is being "heard".
#pragma once

#include <cstdint>

void OffscreenSinkSetHeard(uint64_t frame);
