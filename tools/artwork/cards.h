// Our text cards' words, and where the text and picture cards sit in the show. One table
// for the generator and its tests, so that a words file written from it can be checked
// against our own pictures.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "scene/card_pictures.h"

namespace art {

struct CardText {
  const char *name;
  std::array<const char *, 5> lines; // unused entries stay null; "" is a half-line gap
};

// In the order the show reveals them: the opening dedication, one thought per card, then the
// closing wishes, greetings and credits.
inline constexpr std::array<CardText, 10> kOurCardTexts = {{
    {"DATA_1", {"Торве —", "от Велмора"}},
    {"DATA_2", {"Я долго думал,", "что тебе подарить"}},
    {"DATA_3", {"И решил сделать", "то, что умею сам:", "свет, цвет и музыку"}},
    {"DATA_4", {"Каждую картинку", "я рисовал,", "думая о тебе"}},
    {"DATA_5", {"Спасибо за тепло,", "за терпение", "и за смех"}},
    {"DATA_6", {"За то, что ты рядом,", "когда это", "важнее всего"}},
    {"DATA_7", {"А теперь —", "смотри и слушай"}},
    {"EDATA_1",
     {"Пусть этот год", "будет щедрым на свет,", "на добрые встречи", "и тихую радость"}},
    {"EDATA_2", {"Приветы", "", "друзьям и родным —", "всем, кто рядом,", "и тем, кто далеко"}},
    {"EDATA_3", {"Код — Велмор", "Графика — Велмор", "Музыка — Велмор", "", "2026"}},
}};
inline constexpr int kOpeningCards = 7, kClosingCards = 3;
inline constexpr int kPictureCards = int(cardPictures.size()) - kOpeningCards - kClosingCards;

inline std::vector<std::string> LinesOf(const CardText &card) {
  std::vector<std::string> lines;
  for (const char *l : card.lines)
    if (l) lines.push_back(l);
  return lines;
}

// The position of a name among the text cards (as in kOurCardTexts) or among the picture
// cards (in the order the show reveals them); -1 when it is not one.
constexpr int TextCardIndex(std::string_view name) {
  for (size_t i = 0; i < kOurCardTexts.size(); ++i)
    if (name == kOurCardTexts[i].name) return int(i);
  return -1;
}
constexpr int PictureCardIndex(std::string_view name) {
  int k = 0;
  for (const char *card : cardPictures) {
    if (TextCardIndex(card) >= 0) continue;
    if (name == card) return k;
    ++k;
  }
  return -1;
}
// The name of the k-th picture card the show reveals.
constexpr const char *PictureCardName(int k) {
  for (const char *card : cardPictures)
    if (TextCardIndex(card) < 0 && k-- == 0) return card;
  return nullptr;
}

// The show opens with the first kOpeningCards text cards and closes with the rest, in the
// table's order: a words file's cards follow the table.
constexpr bool TextCardsFramePictures() {
  for (size_t i = 0; i < cardPictures.size(); ++i) {
    const size_t closing = cardPictures.size() - kClosingCards;
    int t = TextCardIndex(cardPictures[i]);
    if (i < size_t(kOpeningCards) && t != int(i)) return false;
    if (i >= closing && t != int(i - closing) + kOpeningCards) return false;
    if (i >= size_t(kOpeningCards) && i < closing && t >= 0) return false;
  }
  return kOurCardTexts.size() == size_t(kOpeningCards + kClosingCards);
}
static_assert(TextCardsFramePictures());
static_assert(kPictureCards == 30);

} // namespace art
