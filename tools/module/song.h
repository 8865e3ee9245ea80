// The composition: a warm, slightly bittersweet piece in D major whose sections
// follow the card groups of the intro, one 256-row pattern per order.
#pragma once

#include <string>

#include "tools/module/it_format.h"

namespace velmor::song {

constexpr int kOrders = 13;
constexpr int kRowsPerPattern = 256;
constexpr int kRowsPerBeat = 8;
constexpr int kRowsPerBar = 32;
constexpr int kChannels = 15;

it::Module Compose();

// A readable account of the piece: chords per bar, melodies, and any melody note
// on a beat that is not a tone of the chord under it.
std::string Describe();

} // namespace velmor::song
