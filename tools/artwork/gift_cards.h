// The pictures of a show's cards as the artwork tool writes them and the gift maker makes
// them in the browser, one code for both: text cards in our font, photo cards, and the
// mapping of a person's words and photos onto our 45 pictures.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "tools/artwork/common.h"
#include "tools/artwork/encode.h"
#include "tools/artwork/words.h"

namespace art {

// The browser's build carries the font at the same path.
inline constexpr char kCardFont[] = "/usr/share/fonts/truetype/paratype/PTF55F.ttf";
inline constexpr char kComment[] = "Velmor for Torva";
// The cards spin and sit under a vignette: text stays in the middle three quarters.
inline constexpr double kCardMargin = 0.12;

// A card picture as the intro embeds it.
Bytes CardJpeg(const Rgb8 &rgb);
Bytes CardJpeg(const Image &img);
// A text card of these lines ("" a half-line gap), set as large as it fits.
Bytes TextCardJpeg(const std::vector<std::string> &lines);
// A photo made card-sized (art::LoadPhoto or DecodePhoto) given the edge of our picture cards.
Rgb8 PhotoCardPixels(Image photo);

// What a gift shows in place of our picture `file` (NAME.jpg or NAME.tga): its words on a
// text card, its photo on a picture card it has one for (`photos` in the order the show
// reveals the picture cards); empty where ours stays. The pixels are referred to, not copied.
std::function<Bytes()> GiftCardMaker(const std::string &file, const std::vector<WordsCard> &cards,
                                     const std::vector<Rgb8> &photos);

// Runs job(0) .. job(n - 1) on up to eight threads, or in turn where there are none (the
// browser's build); each job keeps its result in its own slot.
void RunAll(size_t n, const std::function<void(size_t)> &job);

} // namespace art
