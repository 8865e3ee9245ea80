// The gift maker's core in the browser: the artwork tool's word checks, cards and photo cards,
// the fit check of a module and the pack writer, the same code as the programs'. Called from
// tools/maker/maker_core.mjs: each call leaves its answer in texts and files, which stay until
// the next call, and a gift's inputs are given one by one before it is made.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <emscripten/emscripten.h>

#include "tools/artwork/cards.h"
#include "tools/artwork/gift_cards.h"
#include "tools/artwork/photos.h"
#include "tools/artwork/pictures.h"
#include "tools/artwork/words.h"
#include "tools/module/fit.h"
#include "tools/pack/pack_writer.h"

namespace {

// Carried inside (tools/maker/CMakeLists.txt): our pictures and our module.
constexpr char kOurPictures[] = "/ours";
constexpr char kOurModule[] = "/music/torva_velmor2.it";
constexpr size_t kCards = size_t(art::kOpeningCards + art::kClosingCards);

struct Answer {
  std::vector<std::string> texts;
  std::vector<std::pair<std::string, art::Bytes>> files;
};
Answer answer;

struct Gift {
  std::vector<std::string> cards = std::vector<std::string>(kCards);
  std::vector<std::pair<std::string, art::Bytes>> photos;
  bool hasModule = false;
  std::string moduleName;
  art::Bytes module;
};
Gift gift;

int SmallestCardSize() {
  static const int size = art::SmallestCardSize(art::kCardFont, art::kSide, art::kCardMargin);
  return size;
}

// The card's lines, or its refusals as velmor-artwork gives them after the file and line.
art::WordsCard ReadCard(size_t index, const std::string &text, std::vector<std::string> *errors) {
  if (index >= kCards) {
    errors->push_back("there is no card " + std::to_string(index + 1) + "; the show has " +
                      std::to_string(kCards));
    return {};
  }
  const size_t before = errors->size();
  art::WordsCard card = art::ParseCard(text, index, errors);
  if (errors->size() == before)
    for (auto &[line, problem] : art::CardFitProblems(card.lines, index, art::kCardFont, art::kSide,
                                                      art::kCardMargin, SmallestCardSize()))
      errors->push_back(problem);
  return card;
}

// The photo's card pixels, or its refusal naming it.
bool ReadPhoto(const std::string &name, const art::Bytes &bytes, art::Rgb8 *pixels,
               std::string *error) {
  art::Image img = art::DecodePhoto(name, bytes, art::kSide, error);
  if (!error->empty()) return false;
  *pixels = art::PhotoCardPixels(std::move(img));
  return true;
}

std::string FileName(const GiftPackPicture &p) {
  std::string type = p.type;
  for (char &c : type) c = char(c - 'A' + 'a');
  return p.name + "." + type;
}

bool MakeGift(bool packModule) {
  std::vector<std::string> &errors = answer.texts;
  std::vector<art::WordsCard> cards(kCards);
  for (size_t c = 0; c < kCards; ++c) cards[c] = ReadCard(c, gift.cards[c], &errors);
  const size_t used = std::min(gift.photos.size(), size_t(art::kPictureCards));
  std::vector<art::Rgb8> pixels(used);
  for (size_t i = 0; i < used; ++i) {
    std::string error;
    if (!ReadPhoto(gift.photos[i].first, gift.photos[i].second, &pixels[i], &error))
      errors.push_back(error);
  }
  if (gift.hasModule) {
    const velmor::fit::Fit fit = velmor::fit::CheckModule(gift.module.data(), gift.module.size());
    if (!fit.reasons.empty())
      for (const std::string &reason : fit.reasons)
        errors.push_back(gift.moduleName + ": " + reason);
  }
  std::vector<GiftPackPicture> pictures;
  std::string why;
  if (!ReadPictureFolder(kOurPictures, &pictures, &why)) errors.push_back(why);
  if (!errors.empty()) return false;

  std::vector<std::function<art::Bytes()>> makers(pictures.size());
  for (size_t i = 0; i < pictures.size(); ++i)
    makers[i] = art::GiftCardMaker(FileName(pictures[i]), cards, pixels);
  art::RunAll(pictures.size(), [&](size_t i) {
    if (makers[i]) pictures[i].bytes = makers[i]();
  });

  art::Bytes module = gift.module;
  if (!gift.hasModule && !ReadWholeFile(kOurModule, &module)) {
    errors.push_back(std::string(kOurModule) + ": cannot be read");
    return false;
  }
  art::Bytes pack;
  if (!WriteGiftPack(pictures, packModule ? &module : nullptr, &pack, &why)) {
    errors.push_back(why);
    return false;
  }
  for (GiftPackPicture &p : pictures) answer.files.emplace_back(FileName(p), std::move(p.bytes));
  answer.files.emplace_back("gift.pack", std::move(pack));
  answer.files.emplace_back("torva_velmor2.it", std::move(module));
  return true;
}

art::Bytes Copy(const uint8_t *bytes, size_t size) { return art::Bytes(bytes, bytes + size); }

} // namespace

extern "C" {

// The answer of the last call.
EMSCRIPTEN_KEEPALIVE int maker_text_count() { return int(answer.texts.size()); }
EMSCRIPTEN_KEEPALIVE const char *maker_text(int i) { return answer.texts[size_t(i)].c_str(); }
EMSCRIPTEN_KEEPALIVE int maker_file_count() { return int(answer.files.size()); }
EMSCRIPTEN_KEEPALIVE const char *maker_file_name(int i) {
  return answer.files[size_t(i)].first.c_str();
}
EMSCRIPTEN_KEEPALIVE const uint8_t *maker_file_data(int i) {
  return answer.files[size_t(i)].second.data();
}
EMSCRIPTEN_KEEPALIVE size_t maker_file_size(int i) { return answer.files[size_t(i)].second.size(); }

// Texts: the card's refusals; 1 when it has none.
EMSCRIPTEN_KEEPALIVE int maker_check_card(int index, const char *text) {
  answer = {};
  ReadCard(size_t(index), text, &answer.texts);
  return answer.texts.empty();
}

// Files: the card's picture, NAME.jpg; texts: its refusals instead.
EMSCRIPTEN_KEEPALIVE int maker_card_picture(int index, const char *text) {
  answer = {};
  art::WordsCard card = ReadCard(size_t(index), text, &answer.texts);
  if (!answer.texts.empty()) return 0;
  answer.files.emplace_back(std::string(art::kOurCardTexts[size_t(index)].name) + ".jpg",
                            art::TextCardJpeg(card.lines));
  return 1;
}

// Files: the picture card the photo becomes; texts: its refusal instead.
EMSCRIPTEN_KEEPALIVE int maker_photo_picture(const char *name, const uint8_t *bytes, size_t size) {
  answer = {};
  art::Rgb8 pixels;
  std::string error;
  if (!ReadPhoto(name, Copy(bytes, size), &pixels, &error)) {
    answer.texts.push_back(error);
    return 0;
  }
  answer.files.emplace_back(name, art::CardJpeg(pixels));
  return 1;
}

// Texts: what `velmor-module --check` says of it, one line each; 1 when it fits.
EMSCRIPTEN_KEEPALIVE int maker_check_module(const char *name, const uint8_t *bytes, size_t size) {
  answer = {};
  const velmor::fit::Fit fit = velmor::fit::CheckModule(bytes, size);
  const std::string report = velmor::fit::Report(fit, name);
  for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1)
    answer.texts.push_back(report.substr(at, end - at));
  return fit.reasons.empty();
}

// A gift's inputs, then the gift: files the 45 pictures in the pack's order, gift.pack and
// the module (ours when none was given); texts its refusals instead.
EMSCRIPTEN_KEEPALIVE void maker_gift_begin() { gift = {}; }
EMSCRIPTEN_KEEPALIVE void maker_gift_card(int index, const char *text) {
  if (index >= 0 && size_t(index) < kCards) gift.cards[size_t(index)] = text;
}
EMSCRIPTEN_KEEPALIVE void maker_gift_photo(const char *name, const uint8_t *bytes, size_t size) {
  gift.photos.emplace_back(name, Copy(bytes, size));
}
EMSCRIPTEN_KEEPALIVE void maker_gift_module(const char *name, const uint8_t *bytes, size_t size) {
  gift.hasModule = true;
  gift.moduleName = name;
  gift.module = Copy(bytes, size);
}
EMSCRIPTEN_KEEPALIVE int maker_gift_make(int packModule) {
  answer = {};
  return MakeGift(packModule != 0);
}

} // extern "C"
