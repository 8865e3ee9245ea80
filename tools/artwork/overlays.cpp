// The three pictures that are not cards: the full-screen overlays and the particle.
#include "tools/artwork/pictures.h"

namespace art {

Image ScreenVignette() {
  // Multiplied over the frame: the middle must stay white so the cards keep their colours.
  return Render(kSide, kSide, 2, [](double u, double v) {
    double r = std::sqrt(u * u + v * v);
    double t = Smoothstep(0.5, 1.4, r);
    return Mix(V(1, 1, 1), V(0.42, 0.36, 0.52), t * t * (2 - t));
  });
}

Image FilmGrain() {
  Image img(kSide, kSide);
  Rng rng(201);
  // Grain: white noise softened a little, so it looks like silver clumps, not pixels.
  Image noise(kSide, kSide);
  for (Vec3 &p : noise.px) p = Grey(rng.Uniform());
  Image soft = GaussianBlur(noise, 0.7);
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      double g = soft.At(x, y).x;
      double flicker = 0.85 + 0.3 * ValueNoise(x / 64.0, y / 64.0, 202);
      img.At(x, y) = Grey((0.05 + (g - 0.5) * 0.16) * flicker + 0.02);
    }
  // Scratches: long, thin, slightly wandering vertical lines.
  for (int i = 0; i < 6; ++i) {
    double x0 = rng.Range(0.05, 0.95) * kSide, drift = rng.Range(-8, 8);
    double y0 = rng.Range(0, 0.5) * kSide, y1 = y0 + rng.Range(0.3, 0.5) * kSide;
    double bright = rng.Range(0.12, 0.25);
    for (int y = int(y0); y < int(y1) && y < kSide; ++y) {
      double t = (y - y0) / (y1 - y0);
      double x = x0 + drift * t + 1.5 * std::sin(t * 7 + i);
      double fade = std::sin(kPi * t);
      for (int dx = -2; dx <= 2; ++dx) {
        int px = int(std::floor(x)) + dx;
        if (px < 0 || px >= kSide) continue;
        double d = px + 0.5 - x;
        img.At(px, y) += Grey(bright * fade * std::exp(-d * d / 0.4));
      }
    }
  }
  // Dust: small irregular specks and a couple of hairs.
  for (int i = 0; i < 40; ++i) {
    double cx = rng.Range(0, kSide), cy = rng.Range(0, kSide), r = rng.Range(0.6, 2.2);
    double bright = rng.Range(0.08, 0.22);
    for (int y = int(cy - 4); y <= int(cy + 4); ++y)
      for (int x = int(cx - 4); x <= int(cx + 4); ++x) {
        if (x < 0 || y < 0 || x >= kSide || y >= kSide) continue;
        double d = std::sqrt((x + 0.5 - cx) * (x + 0.5 - cx) + (y + 0.5 - cy) * (y + 0.5 - cy));
        double lumpy = r * (0.7 + 0.6 * ValueNoise(x * 0.9, y * 0.9, 203 + uint32_t(i)));
        img.At(x, y) += Grey(bright * Saturate(lumpy - d + 0.5));
      }
  }
  for (int i = 0; i < 3; ++i) {
    double x = rng.Range(40, kSide - 40), y = rng.Range(40, kSide - 40), a = rng.Range(0, 2 * kPi);
    for (int s = 0; s < 160; ++s) {
      a += 0.04 * std::sin(s * 0.1 + i);
      x += 0.5 * std::cos(a);
      y += 0.5 * std::sin(a);
      int px = int(x), py = int(y);
      if (px >= 0 && py >= 0 && px < kSide && py < kSide) img.At(px, py) += Grey(0.06);
    }
  }
  return img;
}

Image WhiteFlower32() {
  Image img = Render(32, 32, 8, [](double u, double v) {
    double r = std::sqrt(u * u + v * v);
    double a = std::atan2(v, u) + kPi / 2;
    // Five rounded petals, a soft shadow between them, and a slightly warm centre.
    double petal = 0.45 + 0.45 * std::pow(std::fabs(std::cos(2.5 * a)), 0.6);
    double cover = Smoothstep(petal + 0.03, petal - 0.03, r);
    double shade = 0.75 + 0.25 * Smoothstep(0.0, petal, r);
    Vec3 c = Grey(cover * shade);
    if (r < 0.2) c = Mix(c, V(1.0, 0.95, 0.8), Smoothstep(0.2, 0.14, r));
    return c;
  });
  return img;
}

} // namespace art
