// The words file of a person's own show: how it is read, what it refuses and why, and how
// its cards are made to fit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/artwork/picture_checks.h"
#include "tools/artwork/cards.h"
#include "tools/artwork/text.h"
#include "tools/artwork/words.h"

namespace {

const char kSerif[] = "/usr/share/fonts/truetype/paratype/PTF55F.ttf";
constexpr double kMargin = 0.12; // as the generator's cards

// `count` cards of one line each: "Card 1", "Card 2", ...
std::string TenCards(int count = 10) {
  std::string t;
  for (int i = 1; i <= count; ++i) t += (i > 1 ? "\n\n" : "") + ("Card " + std::to_string(i));
  return t + "\n";
}

std::string Joined(const std::vector<std::string> &errors) {
  std::string all;
  for (const std::string &e : errors) all += e + "\n";
  return all;
}

} // namespace

TEST(Words, CardsCommentsAndEmptyLinesWithinACard) {
  // A byte-order mark, CRLF line ends, notes before and between cards, spaces around
  // lines, runs of blank lines, and "." for an empty line within a card.
  std::string text = "\xEF\xBB\xBF# my words\r\n"
                     "# a second note before the first card\r\n"
                     "Для Торвы —\r\n"
                     "  from Velmor  \r\n"
                     "\r\n"
                     "\r\n"
                     "#\r\n"
                     "\r\n"
                     "Greetings\n"
                     ".\n"
                     "to everyone\n";
  for (int i = 3; i <= 10; ++i) text += "\nCard " + std::to_string(i) + "\n";
  std::vector<std::string> errors;
  std::vector<art::WordsCard> cards = art::ParseWords("w.txt", text, &errors);
  EXPECT_EQ(Joined(errors), "");
  ASSERT_EQ(cards.size(), 10u);
  EXPECT_EQ(cards[0].lines, (std::vector<std::string>{"Для Торвы —", "from Velmor"}));
  EXPECT_EQ(cards[0].fileLines, (std::vector<int>{3, 4}));
  EXPECT_EQ(cards[1].lines, (std::vector<std::string>{"Greetings", "", "to everyone"}));
  EXPECT_EQ(cards[1].fileLines, (std::vector<int>{9, 10, 11}));
  EXPECT_EQ(cards[9].lines, (std::vector<std::string>{"Card 10"}));
}

TEST(Words, TabsAreSpacesAndNothingIsDroppedWithoutAWord) {
  // A tab between words is a space; tabs around a line go as spaces do.
  std::string text = TenCards();
  text.replace(text.find("Card 2"), 6, "\tWords:\tJonas\t\nMusic:\t\tVelmor");
  std::vector<std::string> errors;
  std::vector<art::WordsCard> cards = art::ParseWords("w.txt", text, &errors);
  EXPECT_EQ(Joined(errors), "");
  ASSERT_EQ(cards.size(), 10u);
  EXPECT_EQ(cards[1].lines, (std::vector<std::string>{"Words: Jonas", "Music:  Velmor"}));
  art::CheckWordsFit("w.txt", cards, kSerif, 512, kMargin, &errors);
  EXPECT_EQ(Joined(errors), "");

  // A card of only "." lines would be a black card: refused, by its number and line.
  text = TenCards();
  text.replace(text.find("Card 4"), 6, ".\n.");
  errors.clear();
  EXPECT_TRUE(art::ParseWords("w.txt", text, &errors).empty());
  EXPECT_EQ(Joined(errors), "w.txt:7: card 4 is empty (only \".\" lines); give it words, or "
                            "remove it\n");

  // A note inside a card would take a line away unseen: refused, saying how to show '#' or
  // where notes go. After a blank line it is a note, and " #" is text.
  text = "# a note\nCard 1\n\n# between\nCard 2\n# no wait\n\n # 3 \n\n" + TenCards(7);
  errors.clear();
  EXPECT_TRUE(art::ParseWords("w.txt", text, &errors).empty());
  EXPECT_EQ(Joined(errors),
            "w.txt:6: card 2: a line starting with \"#\" is a note, and notes go between cards "
            "(after a blank line); to show \"#\" on the card, put a space before it\n");
  text.erase(text.find("# no wait\n"), 10);
  errors.clear();
  cards = art::ParseWords("w.txt", text, &errors);
  EXPECT_EQ(Joined(errors), "");
  ASSERT_EQ(cards.size(), 10u);
  EXPECT_EQ(cards[1].lines, (std::vector<std::string>{"Card 2"}));
  EXPECT_EQ(cards[2].lines, (std::vector<std::string>{"# 3"}));
}

TEST(Words, OtherCountsOfCardsAreRefusedWithTheCount) {
  std::vector<std::string> errors;
  EXPECT_EQ(art::ParseWords("w.txt", TenCards(), &errors).size(), 10u);
  EXPECT_TRUE(errors.empty());
  for (int n : {9, 11, 1}) {
    errors.clear();
    EXPECT_TRUE(art::ParseWords("w.txt", TenCards(n), &errors).empty()) << n;
    ASSERT_EQ(errors.size(), 1u) << n;
    const std::string counted = n == 1 ? "1 card; " : std::to_string(n) + " cards; ";
    EXPECT_EQ(
        errors[0].rfind("w.txt: " + counted + "the show needs exactly 10: 7 opening, 3 closing", 0),
        0u)
        << errors[0];
  }
  // A blank line where "." was meant splits a card in two: eleven cards.
  std::string split = TenCards();
  split.replace(split.find("Card 2"), 6, "Card 2a\n\nCard 2b");
  errors.clear();
  EXPECT_TRUE(art::ParseWords("w.txt", split, &errors).empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("11 cards"), std::string::npos) << errors[0];
  errors.clear();
  EXPECT_TRUE(art::ParseWords("w.txt", "# only a comment\n\n\n", &errors).empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("w.txt: no cards", 0), 0u) << errors[0];
}

TEST(Words, TextThatIsNotUtf8IsRefusedWithItsLine) {
  std::string latin1 = TenCards();
  latin1.insert(latin1.find("Card 3") + 6, " caf\xE9"); // line 5
  std::vector<std::string> errors;
  EXPECT_TRUE(art::ParseWords("w.txt", latin1, &errors).empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("w.txt:5: not UTF-8 (byte 0xE9 at column 11)", 0), 0u) << errors[0];

  EXPECT_EQ(art::InvalidUtf8At("Торва 2026 ✓ 🎁"), std::string::npos);
  EXPECT_EQ(art::InvalidUtf8At("ab\xC0\xAF"), 2u);       // an overlong '/'
  EXPECT_EQ(art::InvalidUtf8At("\xED\xA0\x80"), 0u);     // a surrogate
  EXPECT_EQ(art::InvalidUtf8At("\xF4\x90\x80\x80"), 0u); // above U+10FFFF
  EXPECT_EQ(art::InvalidUtf8At("ok\xD0"), 2u);           // cut inside a letter
  EXPECT_EQ(art::InvalidUtf8At("\x80"), 0u);             // a continuation byte alone
}

TEST(Words, ReadingNamesTheFile) {
  checks::TempDir tmp;
  std::vector<std::string> errors;
  const std::string missing = (tmp.path / "missing.txt").string();
  EXPECT_TRUE(art::ReadWords(missing, &errors).empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], missing + ": cannot read: No such file or directory");

  const std::string empty = (tmp.path / "empty.txt").string();
  checks::WriteAll(empty, "");
  errors.clear();
  EXPECT_TRUE(art::ReadWords(empty, &errors).empty());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind(empty + ": empty", 0), 0u) << errors[0];

  const std::string good = (tmp.path / "good.txt").string();
  checks::WriteAll(good, TenCards());
  errors.clear();
  EXPECT_EQ(art::ReadWords(good, &errors).size(), 10u);
  EXPECT_TRUE(errors.empty());
}

TEST(WordsFit, LatinAndCyrillicCardsAreSetAsOursAre) {
  std::vector<std::string> errors;
  std::vector<art::WordsCard> cards = art::ParseWords(
      "w.txt", "Für Torva, with love\n\nДля Торвы —\nс любовью\n\n" + TenCards(8), &errors);
  ASSERT_EQ(cards.size(), 10u);
  art::CheckWordsFit("w.txt", cards, kSerif, 512, kMargin, &errors);
  EXPECT_EQ(Joined(errors), "");
  for (const art::WordsCard &card : {cards[0], cards[1]}) {
    art::CardLayout layout;
    art::RenderTextCard(kSerif, card.lines, 512, kMargin, &layout);
    EXPECT_GT(layout.right - layout.left, 300) << card.lines[0]; // set large, and inked
    EXPECT_NEAR(layout.left, 512 - layout.right, 6);             // centred
  }
}

TEST(WordsFit, ALongLineIsSetSmallerThenRefusedBelowTwoThirds) {
  const int floor = art::SmallestCardSize(kSerif, 512, kMargin);
  int smallestOurs = art::kLargestCardSize;
  for (const art::CardText &ours : art::kOurCardTexts)
    smallestOurs =
        std::min(smallestOurs, art::CardPixelSize(kSerif, art::LinesOf(ours), 512, kMargin));
  EXPECT_NEAR(floor, smallestOurs * 2.0 / 3, 1.0);

  // Grow the third card's second line a word at a time: it shrinks below our own sizes while
  // it still fits at the floor, and is refused, with its card and line, once it does not.
  std::string line = "и";
  int accepted = 0, lastSize = art::kLargestCardSize;
  std::vector<std::string> refusal;
  for (int words = 1; words < 40 && refusal.empty(); ++words) {
    line += " слово";
    std::vector<std::string> errors;
    std::vector<art::WordsCard> cards =
        art::ParseWords("w.txt", "A\n\nB\n\nC\n" + line + "\n\n" + TenCards(7), &errors);
    ASSERT_EQ(cards.size(), 10u);
    art::CheckWordsFit("w.txt", cards, kSerif, 512, kMargin, &errors);
    if (!errors.empty()) {
      refusal = errors;
      break;
    }
    ++accepted;
    lastSize = art::CardPixelSize(kSerif, cards[2].lines, 512, kMargin);
    // What is accepted is drawn inside the margins at the size chosen.
    art::CardLayout layout;
    art::RenderTextCard(kSerif, cards[2].lines, 512, kMargin, &layout);
    EXPECT_EQ(layout.pixelSize, lastSize);
    EXPECT_GE(layout.left, int(512 * kMargin));
    EXPECT_LE(layout.right, 512 - int(512 * kMargin));
  }
  EXPECT_GT(accepted, 3);
  EXPECT_LT(lastSize, smallestOurs);
  EXPECT_GE(lastSize, floor);
  ASSERT_EQ(refusal.size(), 1u);
  EXPECT_EQ(refusal[0].rfind(
                "w.txt:6: card 3, line 2 is too wide even at " + std::to_string(floor) + " px", 0),
            0u)
      << refusal[0];
}

TEST(WordsFit, TooManyLinesAndLettersTheFontLacksAreRefused) {
  std::string tall = "A\n\n";
  for (int i = 0; i < 20; ++i) tall += "line\n";
  std::vector<std::string> errors;
  std::vector<art::WordsCard> cards = art::ParseWords("w.txt", tall + "\n" + TenCards(8), &errors);
  ASSERT_EQ(cards.size(), 10u);
  art::CheckWordsFit("w.txt", cards, kSerif, 512, kMargin, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("w.txt:3: card 2 has too many lines (20)", 0), 0u) << errors[0];

  errors.clear();
  cards = art::ParseWords("w.txt", "Hello\n\nподарок 🎁\n\n" + TenCards(8), &errors);
  ASSERT_EQ(cards.size(), 10u);
  art::CheckWordsFit("w.txt", cards, kSerif, 512, kMargin, &errors);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("w.txt:3: card 2, line 1: the font has no letter U+1F381", 0), 0u)
      << errors[0];
}

TEST(WordsCard, ACardTypedOnItsOwnReadsAsInAFile) {
  // Blank lines around the words are dropped, one between them is a gap as "." is; tabs,
  // spaces and CRLF as in a file.
  std::vector<std::string> errors;
  art::WordsCard card = art::ParseCard("\n \r\n\tFor Mira, \r\n\n.\nfrom  Jonas\n\n", 0, &errors);
  EXPECT_TRUE(errors.empty()) << Joined(errors);
  EXPECT_EQ(card.lines, (std::vector<std::string>{"For Mira,", "", "", "from  Jonas"}));
  EXPECT_EQ(card.fileLines, (std::vector<int>{3, 4, 5, 6}));

  // The same card in a file gives the same lines.
  const std::vector<art::WordsCard> inFile =
      art::ParseWords("w.txt", "For Mira,\n.\n.\nfrom  Jonas\n\n" + TenCards(9), &errors);
  ASSERT_EQ(inFile.size(), 10u) << Joined(errors);
  EXPECT_EQ(inFile[0].lines, card.lines);
}

TEST(WordsCard, RefusalsAreAFilesWithoutTheFileAndLine) {
  std::vector<std::string> errors;
  art::ParseCard("# a note\nwords", 4, &errors);
  art::ParseCard(" \n.\n", 2, &errors);
  art::ParseCard("", 3, &errors);
  art::ParseCard("caf\xC3", 0, &errors);
  std::vector<std::string> fileErrors;
  art::ParseWords("w.txt", TenCards(4) + "\nwords\n# a note\n\n" + TenCards(5), &fileErrors);
  ASSERT_EQ(fileErrors.size(), 1u) << Joined(fileErrors);
  ASSERT_EQ(errors.size(), 4u) << Joined(errors);
  EXPECT_EQ("w.txt:10: " + errors[0], fileErrors[0]);
  EXPECT_EQ(errors[1], "card 3 is empty (only \".\" lines); give it words, or remove it");
  EXPECT_EQ(errors[2], "card 4 is empty (only \".\" lines); give it words, or remove it");
  EXPECT_EQ(errors[3], "not UTF-8 (byte 0xC3 at column 4); save the file as UTF-8");
}

TEST(WordsCard, FitProblemsAreCheckWordsFitsLinesWithTheirLine) {
  std::vector<std::string> errors;
  const std::string wide = "A line far too long to be set on a card at two thirds of our size";
  std::vector<art::WordsCard> cards =
      art::ParseWords("w.txt", "A\n\nok\n" + wide + "\n\nSnow ☃\n\n" + TenCards(7), &errors);
  ASSERT_EQ(cards.size(), 10u) << Joined(errors);
  art::CheckWordsFit("w.txt", cards, kSerif, 512, kMargin, &errors);
  ASSERT_EQ(errors.size(), 2u) << Joined(errors);
  const int smallest = art::SmallestCardSize(kSerif, 512, kMargin);
  const auto second = art::CardFitProblems(cards[1].lines, 1, kSerif, 512, kMargin, smallest);
  const auto third = art::CardFitProblems(cards[2].lines, 2, kSerif, 512, kMargin, smallest);
  ASSERT_EQ(second.size(), 1u);
  ASSERT_EQ(third.size(), 1u);
  EXPECT_EQ(second[0].first, 1u);
  EXPECT_EQ("w.txt:4: " + second[0].second, errors[0]);
  EXPECT_EQ("w.txt:6: " + third[0].second, errors[1]);
  EXPECT_TRUE(art::CardFitProblems(cards[0].lines, 0, kSerif, 512, kMargin, smallest).empty());
}
