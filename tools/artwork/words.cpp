#include "tools/artwork/words.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tools/artwork/cards.h"
#include "tools/artwork/text.h"

namespace art {
namespace {

std::string Trim(const std::string &s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::string At(const std::string &path, int line) { return path + ":" + std::to_string(line); }

std::string CodePoint(char32_t ch) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", unsigned(ch));
  return buf;
}

// The lines of `text` from `start` on, each without its end ("\n" or "\r\n").
std::vector<std::string> SplitLines(const std::string &text, size_t start) {
  std::vector<std::string> lines;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
  }
  return lines;
}

// The refusals of a line or a card, without the place in the file they are at.
std::string NotUtf8(const std::string &line, size_t bad) {
  char byte[8];
  std::snprintf(byte, sizeof byte, "0x%02X", unsigned(uint8_t(line[bad])));
  return std::string("not UTF-8 (byte ") + byte + " at column " + std::to_string(bad + 1) +
         "); save the file as UTF-8";
}

std::string NoteInCard(size_t card) {
  return "card " + std::to_string(card) +
         ": a line starting with \"#\" is a note, and notes go between cards "
         "(after a blank line); to show \"#\" on the card, put a space before it";
}

std::string EmptyCard(size_t card) {
  return "card " + std::to_string(card) +
         " is empty (only \".\" lines); give it words, or remove it";
}

// A line as it is set: a tab is a gap between words, as an editor shows it, and spaces
// around it are dropped.
std::string Tidy(std::string line) {
  std::replace(line.begin(), line.end(), '\t', ' ');
  return Trim(line);
}

bool AllGaps(const WordsCard &card) {
  return std::all_of(card.lines.begin(), card.lines.end(),
                     [](const std::string &l) { return l.empty(); });
}

} // namespace

size_t InvalidUtf8At(const std::string &s) {
  for (size_t i = 0; i < s.size();) {
    const uint8_t b = uint8_t(s[i]);
    int extra;
    uint32_t cp, least;
    if (b < 0x80)
      extra = 0, cp = b, least = 0;
    else if (b >= 0xC2 && b <= 0xDF)
      extra = 1, cp = b & 0x1Fu, least = 0x80;
    else if (b >= 0xE0 && b <= 0xEF)
      extra = 2, cp = b & 0x0Fu, least = 0x800;
    else if (b >= 0xF0 && b <= 0xF4)
      extra = 3, cp = b & 0x07u, least = 0x10000;
    else
      return i;
    for (int k = 1; k <= extra; ++k) {
      if (i + size_t(k) >= s.size() || (uint8_t(s[i + size_t(k)]) & 0xC0) != 0x80) return i;
      cp = cp << 6 | (uint8_t(s[i + size_t(k)]) & 0x3Fu);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return i;
    i += size_t(extra) + 1;
  }
  return std::string::npos;
}

std::vector<WordsCard> ParseWords(const std::string &path, const std::string &text,
                                  std::vector<std::string> *errors) {
  const size_t before = errors->size();
  std::vector<WordsCard> cards;
  bool open = false; // the last line read belongs to a card
  int number = 0;
  for (std::string line : SplitLines(text, text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0)) {
    ++number;
    if (size_t bad = InvalidUtf8At(line); bad != std::string::npos) {
      errors->push_back(At(path, number) + ": " + NotUtf8(line, bad));
      continue;
    }
    if (!line.empty() && line[0] == '#') {
      if (!open) continue;
      // Inside a card a note would vanish from the words without a trace: say so instead.
      errors->push_back(At(path, number) + ": " + NoteInCard(cards.size()));
      continue;
    }
    line = Tidy(line);
    if (line.empty()) {
      open = false;
      continue;
    }
    if (!open) cards.emplace_back();
    open = true;
    cards.back().lines.push_back(line == "." ? std::string() : line);
    cards.back().fileLines.push_back(number);
  }
  for (size_t c = 0; c < cards.size(); ++c)
    if (AllGaps(cards[c]))
      errors->push_back(At(path, cards[c].fileLines.front()) + ": " + EmptyCard(c + 1));
  const size_t wanted = size_t(kOpeningCards + kClosingCards);
  const std::string need = "the show needs exactly " + std::to_string(wanted) + ": " +
                           std::to_string(kOpeningCards) + " opening, " +
                           std::to_string(kClosingCards) + " closing";
  if (errors->size() == before && cards.empty())
    errors->push_back(path + ": no cards in it; " + need);
  else if (errors->size() == before && cards.size() != wanted)
    errors->push_back(path + ": " + std::to_string(cards.size()) +
                      (cards.size() == 1 ? " card; " : " cards; ") + need +
                      " (cards are separated by a blank line; write \".\" for an empty line "
                      "within a card)");
  if (errors->size() != before) cards.clear();
  return cards;
}

std::vector<WordsCard> ReadWords(const std::string &path, std::vector<std::string> *errors) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    errors->push_back(path + ": cannot read: " + std::strerror(errno));
    return {};
  }
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    errors->push_back(path + ": cannot read: " + std::strerror(errno));
    return {};
  }
  if (text.empty()) {
    errors->push_back(path + ": empty; the show needs its " +
                      std::to_string(kOpeningCards + kClosingCards) + " cards");
    return {};
  }
  return ParseWords(path, text, errors);
}

WordsCard ParseCard(const std::string &text, size_t index, std::vector<std::string> *errors) {
  const size_t before = errors->size();
  WordsCard card;
  std::vector<bool> blank; // typed as nothing at all, not as "."
  int number = 0;
  for (std::string line : SplitLines(text, 0)) {
    ++number;
    if (size_t bad = InvalidUtf8At(line); bad != std::string::npos) {
      errors->push_back(NotUtf8(line, bad));
      continue;
    }
    if (!line.empty() && line[0] == '#') {
      errors->push_back(NoteInCard(index + 1));
      continue;
    }
    line = Tidy(line);
    blank.push_back(line.empty());
    card.lines.push_back(line == "." ? std::string() : line);
    card.fileLines.push_back(number);
  }
  // Blank lines around the words are not part of the card; between them they are gaps.
  size_t first = 0, last = card.lines.size();
  while (first < last && blank[first]) ++first;
  while (last > first && blank[last - 1]) --last;
  card.lines.assign(card.lines.begin() + std::ptrdiff_t(first),
                    card.lines.begin() + std::ptrdiff_t(last));
  card.fileLines.assign(card.fileLines.begin() + std::ptrdiff_t(first),
                        card.fileLines.begin() + std::ptrdiff_t(last));
  // A card whose only lines were refused has been refused already.
  if (errors->size() == before && AllGaps(card)) errors->push_back(EmptyCard(index + 1));
  return card;
}

int SmallestCardSize(const std::string &fontPath, int side, double margin) {
  int ours = kLargestCardSize;
  for (const CardText &card : kOurCardTexts)
    ours = std::min(ours, CardPixelSize(fontPath, LinesOf(card), side, margin));
  return (2 * ours + 2) / 3;
}

std::vector<std::pair<size_t, std::string>> CardFitProblems(const std::vector<std::string> &lines,
                                                            size_t index,
                                                            const std::string &fontPath, int side,
                                                            double margin, int minPixelSize) {
  std::vector<std::pair<size_t, std::string>> problems;
  const std::string atLeast = std::to_string(minPixelSize) + " px";
  const std::string which = "card " + std::to_string(index + 1);
  for (auto [line, ch] : MissingGlyphs(fontPath, lines))
    problems.emplace_back(line, which + ", line " + std::to_string(line + 1) +
                                    ": the font has no letter " + CodePoint(ch) +
                                    "; write it with Latin or Cyrillic letters");
  if (!problems.empty()) return problems;
  CardFit fit = FitCardText(fontPath, lines, side, margin, minPixelSize);
  for (size_t line : fit.tooWide)
    problems.emplace_back(line, which + ", line " + std::to_string(line + 1) +
                                    " is too wide even at " + atLeast +
                                    ", two thirds of our type size; break it into shorter lines");
  if (fit.tooTall)
    problems.emplace_back(0, which + " has too many lines (" + std::to_string(lines.size()) +
                                 ") to fit even at " + atLeast + "; use fewer lines");
  return problems;
}

void CheckWordsFit(const std::string &path, const std::vector<WordsCard> &cards,
                   const std::string &fontPath, int side, double margin,
                   std::vector<std::string> *errors) {
  const int minPixelSize = SmallestCardSize(fontPath, side, margin);
  for (size_t c = 0; c < cards.size(); ++c)
    for (auto &[line, problem] :
         CardFitProblems(cards[c].lines, c, fontPath, side, margin, minPixelSize))
      errors->push_back(At(path, cards[c].fileLines[line]) + ": " + problem);
}

} // namespace art
