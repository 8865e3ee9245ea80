#include "tools/module/fit.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <libopenmpt/libopenmpt.h>

#include "music/player_core.h"
#include "scene/timeline_table.h"
#include "tools/module/it_format.h"

namespace velmor::fit {
namespace {

// How long past one pass the music is followed for a return to order 0: the
// pass ends where libopenmpt meets a row it has played, so a song that has
// not gone back to order 0 by then never will.
constexpr double kPastOnePass = 2.0;

struct Mark {
  uint32_t order, row;
  uint64_t frame; // the first frame rendered at this position
};

// The positions the player marks from the start of the music until it first
// goes back to order 0 after another order (`back`), or until `limit` frames.
struct Played {
  std::vector<Mark> marks; // before the return
  bool returned = false;
  Mark back{};
};

std::string Printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char *format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

double Seconds(uint64_t frame) { return static_cast<double>(frame) / audioRate; }

std::string Position(uint32_t order, uint32_t rowFrom) {
  return rowFrom == anyRow ? Printf("order %u", order) : Printf("order %u row %u", order, rowFrom);
}
std::string Position(const Transition &t) { return Position(t.order, t.rowFrom); }

std::string Waiter(const Transition &t) {
  return t.card == noCard ? "the end of the show" : Printf("card %d", t.card);
}

// "card 3 waits", "cards 3, 4 and the end of the show wait".
std::string Waiters(const std::vector<size_t> &entries) {
  std::vector<std::string> items;
  int cards = 0;
  for (size_t j : entries)
    if (transitions[j].card != noCard)
      items.push_back(std::to_string(transitions[j].card)), ++cards;
  for (size_t j : entries)
    if (transitions[j].card == noCard) items.push_back("the end of the show");
  std::string text = cards == 0 ? "" : cards == 1 ? "card " : "cards ";
  for (size_t i = 0; i < items.size(); ++i)
    text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
  return text + (items.size() == 1 ? " waits" : " wait");
}

// The orders the music went through, runs of successive orders joined: "0-8, 10-12".
std::string OrdersPlayed(const std::vector<Mark> &marks) {
  std::vector<uint32_t> orders;
  for (const Mark &m : marks)
    if (orders.empty() || orders.back() != m.order) orders.push_back(m.order);
  std::string text;
  for (size_t i = 0; i < orders.size();) {
    size_t j = i;
    while (j + 1 < orders.size() && orders[j + 1] == orders[j] + 1) ++j;
    if (!text.empty()) text += ", ";
    if (text.size() > 80) return text + "...";
    text += j == i ? Printf("%u", orders[i]) : Printf("%u-%u", orders[i], orders[j]);
    i = j + 1;
  }
  return text;
}

// The intro's player itself, from the start of the music with the loop on:
// the mark it writes before each chunk it renders is the position the scene
// reads for the frames of that chunk.
Played Follow(openmpt_module *module, uint64_t limit) {
  Played p;
  PlayerReset();
  PlayerInstall(module);
  PlayerRestart();
  std::vector<float> chunk(2 * renderChunk);
  bool elsewhere = false; // whether the music has left order 0
  for (uint64_t frame = 0; frame <= limit; frame += renderChunk) {
    PlayerRender(chunk.data(), renderChunk);
    const uint32_t at = PlayerPositionAt(frame);
    const uint32_t order = at & 0xFFFF, row = at >> 16;
    if (p.marks.empty() || p.marks.back().order != order || p.marks.back().row != row) {
      if (elsewhere && order == 0) {
        p.returned = true;
        p.back = Mark{order, row, frame};
        break;
      }
      p.marks.push_back(Mark{order, row, frame});
    }
    elsewhere = elsewhere || order != 0;
  }
  PlayerReset();
  return p;
}

// Table entries that share one reason about their order, in the table's sequence.
struct OrderGroup {
  uint32_t order;
  std::vector<size_t> entries;
};

void AddToGroup(std::vector<OrderGroup> *groups, uint32_t order, size_t entry) {
  for (OrderGroup &g : *groups)
    if (g.order == order) return g.entries.push_back(entry);
  groups->push_back(OrderGroup{order, {entry}});
}

// Whatever the module holds, the table's orders and rows must exist in it.
// Returns, per table entry, whether it was refused here.
std::vector<bool> CheckShape(openmpt_module *module, std::vector<std::string> *reasons) {
  const int32_t orders = openmpt_module_get_num_orders(module);
  const int32_t patterns = openmpt_module_get_num_patterns(module);
  std::vector<bool> refused(transitions.size(), false);
  std::vector<OrderGroup> missing, markers;
  std::vector<std::string> rows;
  for (size_t j = 0; j < transitions.size(); ++j) {
    const Transition &t = transitions[j];
    refused[j] = true;
    if (t.order >= static_cast<uint32_t>(orders)) {
      AddToGroup(&missing, t.order, j);
      continue;
    }
    const int32_t pattern = openmpt_module_get_order_pattern(module, static_cast<int32_t>(t.order));
    if (pattern < 0 || pattern >= patterns) {
      AddToGroup(&markers, t.order, j);
      continue;
    }
    const int32_t count = openmpt_module_get_pattern_num_rows(module, pattern);
    if (t.rowFrom != anyRow && static_cast<uint32_t>(count) <= t.rowFrom) {
      rows.push_back(Printf("order %u has %d rows; %s waits for row %u", t.order, count,
                            Waiter(t).c_str(), t.rowFrom));
      continue;
    }
    refused[j] = false;
  }
  for (const OrderGroup &g : missing)
    reasons->push_back(Printf("the module has %d orders; %s for order %u", orders,
                              Waiters(g.entries).c_str(), g.order));
  for (const OrderGroup &g : markers)
    reasons->push_back(Printf("order %u holds no pattern (a skip or end marker); %s for it",
                              g.order, Waiters(g.entries).c_str()));
  reasons->insert(reasons->end(), rows.begin(), rows.end());
  return refused;
}

// An entry the music never satisfied where the table needs it.
struct Miss {
  size_t entry;
  size_t from;  // the first mark it could have come at
  int previous; // the entry that came last before it, or -1
};

void CheckPlay(const Played &p, const std::vector<bool> &refused, Fit *fit) {
  const std::vector<Mark> &marks = p.marks;
  std::vector<size_t> cameAt(transitions.size(), SIZE_MAX);
  std::vector<Miss> misses;
  // As the scene steps through the table: each entry at the first position,
  // from its predecessor's on, that holds. An entry that never comes is
  // passed over so that the later ones are still checked.
  size_t from = 0;
  int previous = -1;
  for (size_t j = 0; j < transitions.size(); ++j) {
    if (refused[j]) continue;
    const Transition &t = transitions[j];
    size_t i = from;
    while (i < marks.size() && !Holds(t, marks[i].order, marks[i].row)) ++i;
    if (i == marks.size()) {
      misses.push_back(Miss{j, from, previous});
      continue;
    }
    cameAt[j] = from = i;
    previous = static_cast<int>(j);
  }

  const Mark *leaving = p.returned && !marks.empty() ? &marks.back() : nullptr;
  std::vector<OrderGroup> unplayed;
  int firstCutOff = -1;
  for (const Miss &miss : misses) {
    const Transition &t = transitions[miss.entry];
    size_t earlier = 0;
    while (earlier < miss.from && !Holds(t, marks[earlier].order, marks[earlier].row)) ++earlier;
    if (earlier < miss.from) {
      const Transition &before = transitions[static_cast<size_t>(miss.previous)];
      fit->reasons.push_back(Printf(
          "%s waits for %s after %s (%s, %.2f s), but the music plays it only before that "
          "(%.2f s); play %s after %s",
          Waiter(t).c_str(), Position(t).c_str(), Waiter(before).c_str(), Position(before).c_str(),
          Seconds(marks[cameAt[static_cast<size_t>(miss.previous)]].frame),
          Seconds(marks[earlier].frame), Position(t).c_str(), Position(before).c_str()));
      continue;
    }
    uint32_t lastRow = 0;
    bool played = false;
    for (const Mark &m : marks)
      if (m.order == t.order) played = true, lastRow = std::max(lastRow, m.row);
    // What the music would have played after it went back to order 0.
    const bool cutOff =
        leaving != nullptr && (played ? t.order == leaving->order : t.order > leaving->order);
    if (cutOff) {
      if (firstCutOff < 0) firstCutOff = static_cast<int>(miss.entry);
    } else if (!played) {
      AddToGroup(&unplayed, t.order, miss.entry);
    } else {
      fit->reasons.push_back(Printf("order %u stops at row %u (a jump or break there); %s waits "
                                    "for row %u",
                                    t.order, lastRow, Waiter(t).c_str(), t.rowFrom));
    }
  }
  for (const OrderGroup &g : unplayed)
    fit->reasons.push_back(Printf("order %u is never played before the music goes back to order "
                                  "0 (it plays orders %s); %s for it",
                                  g.order, OrdersPlayed(marks).c_str(),
                                  Waiters(g.entries).c_str()));

  const Transition &last = transitions.back();
  if (firstCutOff >= 0) {
    const Transition &t = transitions[static_cast<size_t>(firstCutOff)];
    fit->reasons.push_back(
        Printf("the music goes back to order 0 at %.2f s (from order %u row %u) before %s (%s) has "
               "come, so the show would never end; go back to order 0 only after %s",
               Seconds(p.back.frame), leaving->order, leaving->row, Waiter(t).c_str(),
               Position(t).c_str(), Position(last).c_str()));
  }
  if (!p.returned)
    fit->reasons.push_back(Printf(
        "the music never goes back to order 0 (followed for one pass, %.2f s, and %.0f s more), "
        "where the show ends; let the song run out after its last order, or end it with a jump "
        "to order 0 after %s",
        fit->passSeconds, kPastOnePass, Position(last).c_str()));

  if (!fit->reasons.empty()) return;
  for (size_t j = 0; j < transitions.size(); ++j)
    fit->steps.push_back(StepTime{transitions[j].card, transitions[j].order, transitions[j].rowFrom,
                                  Seconds(marks[cameAt[j]].frame)});
  fit->endSeconds = Seconds(p.back.frame);
}

} // namespace

Fit CheckModule(const void *bytes, size_t size) {
  Fit fit;
  // libopenmpt plays a cut file without a word, its lost patterns and samples
  // as silence, so the file's own headers are measured against it first.
  const uint64_t needed = it::BytesNeeded(static_cast<const uint8_t *>(bytes), size);
  if (needed > size) {
    fit.reasons.push_back(Printf("the file is cut short or damaged; %zu of %llu bytes", size,
                                 static_cast<unsigned long long>(needed)));
    return fit;
  }
  std::string why;
  openmpt_module *module = PlayerLoadModule(bytes, size, 1, &why);
  if (module == nullptr) {
    fit.reasons.push_back(std::string("not a module the intro can play") +
                          (why.empty() ? "" : " (libopenmpt: " + why + ")"));
    return fit;
  }
  fit.passSeconds = openmpt_module_get_duration_seconds(module);
  const std::vector<bool> refused = CheckShape(module, &fit.reasons);
  const double pass = fit.passSeconds > 0 ? fit.passSeconds : 0;
  const Played played = Follow(module, static_cast<uint64_t>((pass + kPastOnePass) * audioRate));
  PlayerCloseModule(module);
  CheckPlay(played, refused, &fit);
  return fit;
}

std::string Report(const Fit &fit, const std::string &name) {
  std::string text;
  if (!fit.reasons.empty()) {
    for (const std::string &reason : fit.reasons) text += name + ": " + reason + "\n";
    return text;
  }
  const auto cards = std::count_if(fit.steps.begin(), fit.steps.end(),
                                   [](const StepTime &s) { return s.card != noCard; });
  text += name + Printf(" fits the show: %d cards\n", static_cast<int>(cards));
  text += Printf("length: %.2f s (one pass)\n", fit.passSeconds);
  text += Printf("the show ends at %.2f s, when the music goes back to order 0\n", fit.endSeconds);
  text += "card  order  row    at (s)\n";
  for (const StepTime &s : fit.steps) {
    const std::string card = s.card == noCard ? "end" : std::to_string(s.card);
    const std::string row = s.rowFrom == anyRow ? "any" : std::to_string(s.rowFrom);
    text += Printf("%4s  %5u  %3s  %8.2f\n", card.c_str(), s.order, row.c_str(), s.seconds);
  }
  return text;
}

Fit CheckModuleFile(const std::string &path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    Fit fit;
    fit.reasons.push_back("cannot read it: it is a folder");
    return fit;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    Fit fit;
    fit.reasons.push_back(std::string("cannot read it: ") + std::strerror(errno));
    return fit;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  return CheckModule(bytes.data(), bytes.size());
}

} // namespace velmor::fit
