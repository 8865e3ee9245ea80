// Escape-time fractals and the violet-and-gold series.
#include <algorithm>

#include "tools/artwork/pictures.h"

namespace art {
namespace {

struct Stop {
  double at;
  Vec3 c;
};
template <size_t N> Vec3 Gradient(const Stop (&stops)[N], double t) {
  t = Saturate(t);
  for (size_t i = 1; i < N; ++i)
    if (t <= stops[i].at)
      return Mix(stops[i - 1].c, stops[i].c,
                 (t - stops[i - 1].at) / (stops[i].at - stops[i - 1].at));
  return stops[N - 1].c;
}

// The series' palette, shared so the seven pictures read as one family.
Vec3 VioletGold(double t) {
  static const Stop stops[] = {{0.0, {0.0, 0.0, 0.0}},     {0.2, {0.16, 0.03, 0.28}},
                               {0.45, {0.48, 0.14, 0.68}}, {0.7, {0.95, 0.68, 0.25}},
                               {0.87, {1.0, 0.9, 0.62}},   {1.0, {1.0, 1.0, 0.95}}};
  return Gradient(stops, t);
}

// Smooth (continuous) escape count, or -1 for points that never escape.
double SmoothEscape(double zx, double zy, double cx, double cy, int maxIter) {
  for (int n = 0; n < maxIter; ++n) {
    double x2 = zx * zx, y2 = zy * zy;
    if (x2 + y2 > 256.0) return n + 1 - std::log2(0.5 * std::log(x2 + y2));
    zy = 2 * zx * zy + cy;
    zx = x2 - y2 + cx;
  }
  return -1;
}

} // namespace

Image MandelbrotValley() {
  static const Stop stops[] = {{0.0, {0.0, 0.02, 0.08}},   {0.16, {0.1, 0.3, 0.65}},
                               {0.42, {0.93, 0.95, 0.95}}, {0.64, {1.0, 0.66, 0.1}},
                               {0.86, {0.25, 0.05, 0.0}},  {1.0, {0.0, 0.02, 0.08}}};
  const double cx = -0.7453, cy = 0.1127, half = 0.0032;
  Image img = Render(kSide, kSide, 3, [&](double u, double v) {
    double nu = SmoothEscape(0, 0, cx + u * half, cy + v * half, 1500);
    if (nu < 0) return V(0, 0, 0);
    return Gradient(stops, Fract(std::sqrt(nu) * 0.22 + 0.3));
  });
  ApplyCircularVignette(img, 0.85, 1.05);
  return img;
}

Image BarnsleyFern() {
  Image light(kSide, kSide);
  Rng rng(171);
  double x = 0, y = 0;
  for (int i = 0; i < 600000; ++i) {
    double r = rng.Uniform(), nx, ny;
    if (r < 0.01)
      nx = 0, ny = 0.16 * y;
    else if (r < 0.86)
      nx = 0.85 * x + 0.04 * y, ny = -0.04 * x + 0.85 * y + 1.6;
    else if (r < 0.93)
      nx = 0.2 * x - 0.26 * y, ny = 0.23 * x + 0.22 * y + 1.6;
    else
      nx = -0.15 * x + 0.28 * y, ny = 0.26 * x + 0.24 * y + 0.44;
    x = nx;
    y = ny;
    if (i < 20) continue; // not yet on the attractor
    // The fern spans x -2.2..2.7 and y 0..10; lean it a little, like a frond in the wind.
    double u = (x - 0.25) * 0.16 + (y - 5) * 0.025, v = (y - 5) * 0.16 - 0.03;
    Vec3 c = Mix(V(0.2, 0.55, 0.12), V(0.65, 0.95, 0.35), Saturate(y / 10));
    Deposit(light, u, v, c * 0.06);
  }
  Image halo = GaussianBlur(light, 5);
  Image img(kSide, kSide);
  for (size_t i = 0; i < img.px.size(); ++i)
    img.px[i] = ToneMap((light.px[i] + halo.px[i] * 0.8) * 1.2);
  ApplyCircularVignette(img, 0.9, 1.1);
  return img;
}

Image VioletJulia(int variant) {
  struct Params {
    double cx, cy, zoom, turn;
  };
  const Params params[4] = {{-0.8, 0.156, 1.75, 0.0},
                            {0.285, 0.01, 1.3, 0.6},
                            {-0.7269, 0.1889, 1.7, -0.4},
                            {-0.4, 0.6, 1.7, 1.2}};
  const Params &p = params[variant];
  const double ct = std::cos(p.turn), st = std::sin(p.turn);
  const int maxIter = 500;
  Image img = Render(kSide, kSide, 3, [&](double u, double v) {
    double x = (u * ct - v * st) * p.zoom, y = (u * st + v * ct) * p.zoom;
    double nu = SmoothEscape(x, y, p.cx, p.cy, maxIter);
    if (nu < 0) return V(0.1, 0.02, 0.16); // the filled set: a deep violet, never pure black
    // Squared so that the far outside falls to black and the violet glow hugs the set.
    double l = std::log(nu + 1) / std::log(double(maxIter));
    return VioletGold(l * l * 1.4);
  });
  ApplyCircularVignette(img, 0.85, 1.02);
  return img;
}

Image VioletKaleidoscope(int variant) {
  struct Params {
    int sectors;
    double kx, ky, scale, gain;
  };
  const Params params[3] = {
      {8, 0.62, 0.48, 1.1, 0.2}, {12, 0.75, 0.52, 0.9, 0.19}, {6, 0.55, 0.62, 1.25, 0.22}};
  const Params &p = params[variant];
  Image img = Render(kSide, kSide, 3, [&](double u, double v) {
    double r = std::sqrt(u * u + v * v);
    double a = std::atan2(v, u);
    // Fold the angle into one mirrored sector: the kaleidoscope's mirrors.
    double sector = 2 * kPi / p.sectors;
    a = std::fabs(a - sector * std::floor(a / sector + 0.5));
    double x = r * std::cos(a) * p.scale, y = r * std::sin(a) * p.scale;
    // An inversion fold iterated: a crystalline pattern that is dense but smooth.
    double acc = 0, prev = 0;
    for (int i = 0; i < 12; ++i) {
      double m = x * x + y * y + 1e-9;
      x = std::fabs(x) / m - p.kx;
      y = std::fabs(y) / m - p.ky;
      double len = std::sqrt(x * x + y * y);
      acc += std::exp(-std::fabs(len - prev) * 3.0);
      prev = len;
    }
    double t = Saturate(acc * p.gain);
    Vec3 glow = V(0.12, 0.03, 0.2) * (1 - Smoothstep(0.0, 0.9, r));
    return VioletGold(std::pow(t, 1.1)) * (1 - 0.3 * Smoothstep(0.3, 0.95, r)) + glow;
  });
  ApplyCircularVignette(img, 0.8, 1.0);
  return img;
}

} // namespace art
