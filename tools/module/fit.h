// Whether a module fits the show: every order and row the scene's card table
// waits for must be played, in the table's sequence, before the music first
// goes back to order 0, where the show ends. The music is followed by the
// intro's own player (music/player_core.h), so the check sees the positions
// the scene would; it therefore runs only where nothing else plays through
// that player, and leaves it reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmor::fit {

// When one step of the card table comes in the music.
struct StepTime {
  int32_t card;     // the card revealed, or noCard for the step that arms the end
  uint32_t order;   // where the step waits
  uint32_t rowFrom; // or anyRow
  double seconds;   // from the start of the music
};

struct Fit {
  // Why the module does not fit, one reason each, saying what to change;
  // empty when it fits.
  std::vector<std::string> reasons;
  double passSeconds = 0; // one pass through the song, as libopenmpt reckons it
  // Filled when the module fits: every step in the table's sequence, and the
  // first return to order 0, which ends the show.
  std::vector<StepTime> steps;
  double endSeconds = 0;
};

// A file shorter than its headers say (see it::BytesNeeded) is refused for
// that alone, in one reason: "the file is cut short or damaged; N of M bytes",
// its size and the size its headers need.
Fit CheckModule(const void *bytes, size_t size);
// The reasons do not name the file; a caller that shows them does.
Fit CheckModuleFile(const std::string &path);

// What `velmor-module --check` says of the module `name`: one line a reason,
// "NAME: reason", when it does not fit (on standard error, after the
// program's name); when it fits, its length and when each card comes.
std::string Report(const Fit &fit, const std::string &name);

} // namespace velmor::fit
