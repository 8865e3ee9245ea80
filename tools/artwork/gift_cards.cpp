#include "tools/artwork/gift_cards.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "tools/artwork/cards.h"
#include "tools/artwork/pictures.h"
#include "tools/artwork/text.h"

namespace art {

Bytes CardJpeg(const Rgb8 &rgb) { return EncodeBaselineJpeg(rgb, 90, kComment); }
Bytes CardJpeg(const Image &img) { return CardJpeg(Quantise(img)); }

Bytes TextCardJpeg(const std::vector<std::string> &lines) {
  return CardJpeg(RenderTextCard(kCardFont, lines, kSide, kCardMargin));
}

Rgb8 PhotoCardPixels(Image photo) {
  // Our picture cards fade to black at their edges, so that a card growing
  // over the glow shows no hard square: a photo is given the same edge.
  ApplyEdgeFade(photo, 0.06);
  return Quantise(photo);
}

std::function<Bytes()> GiftCardMaker(const std::string &file, const std::vector<WordsCard> &cards,
                                     const std::vector<Rgb8> &photos) {
  const std::string name = file.substr(0, file.find('.'));
  if (int t = TextCardIndex(name); t >= 0 && size_t(t) < cards.size())
    return [lines = cards[size_t(t)].lines] { return TextCardJpeg(lines); };
  if (int p = PictureCardIndex(name); p >= 0 && size_t(p) < photos.size())
    return [rgb = &photos[size_t(p)]] { return CardJpeg(*rgb); };
  return {};
}

void RunAll(size_t n, const std::function<void(size_t)> &job) {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  for (size_t i = 0; i < n; ++i) job(i);
#else
  std::atomic<size_t> next{0};
  unsigned workers = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
  std::vector<std::thread> pool;
  for (unsigned w = 0; w < workers; ++w)
    pool.emplace_back([&] {
      for (size_t i; (i = next.fetch_add(1)) < n;) job(i);
    });
  for (std::thread &t : pool) t.join();
#endif
}

} // namespace art
