// The words file of a person's own show: the text of its ten text cards.
//
// UTF-8 text. Cards are separated by blank lines; a line holding only "." is an empty line
// within a card (a half-line gap, as in our own closing cards), and a card of nothing else is
// refused. A line whose first character is '#' is a note where no card is open (at the top,
// or after a blank line) and is refused inside a card, where it would silently take a line
// away; " #" is text. A tab is a space; spaces around a line are dropped, and so are a
// byte-order mark and carriage returns before line ends.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace art {

struct WordsCard {
  std::vector<std::string> lines; // "" for a "." line
  std::vector<int> fileLines;     // where each line is in the file, from 1
};

// Every message names `path` and, where there is one, the line: "PATH:LINE: ...". A refusal
// gives no cards and at least one message.
std::vector<WordsCard> ParseWords(const std::string &path, const std::string &text,
                                  std::vector<std::string> *errors);
std::vector<WordsCard> ReadWords(const std::string &path, std::vector<std::string> *errors);

// The smallest type a card of a words file may be set at: two thirds of the smallest size our
// own cards are set at (each card is set as large as it fits, as ours are).
int SmallestCardSize(const std::string &fontPath, int side, double margin);

// Refuses the cards that do not fit even at SmallestCardSize, and characters the font lacks.
// Cards are numbered from 1 in the messages.
void CheckWordsFit(const std::string &path, const std::vector<WordsCard> &cards,
                   const std::string &fontPath, int side, double margin,
                   std::vector<std::string> *errors);

// The problems of one card's lines (the card at `index`, from 0) at `minPixelSize`: letters the
// font lacks, or else lines too wide and a block too tall; each with the index of the line it
// is about and the message CheckWordsFit gives after the file and line.
std::vector<std::pair<size_t, std::string>> CardFitProblems(const std::vector<std::string> &lines,
                                                            size_t index,
                                                            const std::string &fontPath, int side,
                                                            double margin, int minPixelSize);

// One card typed on its own, as the gift maker's fields hold it: its lines joined by "\n",
// read by the rules of a words file, except that a blank line between words is a gap (as
// "." is) and blank lines around them are left out. `index` is the card's place, from 0; the
// messages are those of ParseWords without the file and line. fileLines are the lines of
// `text`, from 1.
WordsCard ParseCard(const std::string &text, size_t index, std::vector<std::string> *errors);

// Where a string stops being UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF); npos when all of it is.
size_t InvalidUtf8At(const std::string &s);

} // namespace art
