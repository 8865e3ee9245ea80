#include <cmath>

#include "tools/artwork/pictures.h"

namespace art {
namespace {

// Signed distance to a square of half-side `half` with corners rounded by `radius`.
double RoundedSquare(double u, double v, double half, double radius) {
  double dx = std::max(std::fabs(u) - (half - radius), 0.0);
  double dy = std::max(std::fabs(v) - (half - radius), 0.0);
  double outside = std::sqrt(dx * dx + dy * dy);
  double inside = std::min(std::max(std::fabs(u), std::fabs(v)) - (half - radius), 0.0);
  return outside + inside - radius;
}

// The colour inside the rounded square, whatever the coverage: alpha carries
// the edge, so the colour must not fade to black there.
Vec3 IconShade(double u, double v) {
  double r2 = u * u + v * v;
  // The show's clear colour at the bottom, a little lighter at the top.
  Vec3 c = Mix(V(0.0, 0.03, 0.08), V(0.02, 0.09, 0.2), Saturate(v * 0.5 + 0.5));
  // The glow the cards grow out of: warm at the heart, violet around it.
  c += V(1.0, 0.72, 0.42) * (0.85 * std::exp(-r2 / 0.16));
  c += V(0.45, 0.3, 0.85) * (0.35 * std::exp(-r2 / 0.7));
  c = ToneMap(c * 1.4);
  // The flower of the particles, larger, as on DATA_PARTICLE.
  const double scale = 0.58;
  double fu = u / scale, fv = v / scale;
  double fr = std::sqrt(fu * fu + fv * fv);
  double a = std::atan2(fv, fu) + kPi / 2;
  double petal = 0.45 + 0.45 * std::pow(std::fabs(std::cos(2.5 * a)), 0.6);
  double cover = Smoothstep(petal + 0.03, petal - 0.03, fr);
  double shade = 0.78 + 0.22 * Smoothstep(0.0, petal, fr);
  c = Mix(c, Grey(shade), cover);
  if (fr < 0.2) c = Mix(c, V(1.0, 0.93, 0.72), Smoothstep(0.2, 0.12, fr));
  return c;
}

} // namespace

IconPicture ProgramIcon(int side) {
  // Smaller icons are sampled more finely, so their few edge pixels are smooth.
  const int ss = side >= 128 ? 4 : 8;
  Image colour = Render(side, side, ss, IconShade);
  Image cover = Render(side, side, ss, [](double u, double v) {
    return Grey(RoundedSquare(u, v, 0.94, 0.3) <= 0 ? 1.0 : 0.0);
  });
  IconPicture p;
  p.side = side;
  Rgb8 rgb = Quantise(colour);
  Rgb8 alpha = Quantise(cover);
  p.rgba.resize(size_t(side) * side * 4);
  for (size_t i = 0; i < size_t(side) * side; ++i) {
    p.rgba[i * 4 + 0] = rgb.data[i * 3 + 0];
    p.rgba[i * 4 + 1] = rgb.data[i * 3 + 1];
    p.rgba[i * 4 + 2] = rgb.data[i * 3 + 2];
    p.rgba[i * 4 + 3] = alpha.data[i * 3];
  }
  return p;
}

Bytes ProgramIconFile() {
  return EncodeIco({ProgramIcon(16), ProgramIcon(32), ProgramIcon(48), ProgramIcon(256)});
}

} // namespace art
