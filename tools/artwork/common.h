// Small maths, picture and randomness helpers shared by the artwork generator.
// Everything here is deterministic: no clocks, no library random engines, so the
// generated files are identical from run to run and machine to machine.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace art {

constexpr double kPi = 3.14159265358979323846;

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
inline Vec3 V(double x, double y, double z) { return {x, y, z}; }
inline Vec3 Grey(double v) { return {v, v, v}; }
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, Vec3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return a * s; }
inline Vec3 operator/(Vec3 a, double s) { return {a.x / s, a.y / s, a.z / s}; }
inline Vec3 &operator+=(Vec3 &a, Vec3 b) { return a = a + b; }
inline Vec3 &operator*=(Vec3 &a, double s) { return a = a * s; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(Vec3 a) { return a / Length(a); }
inline Vec3 Mix(Vec3 a, Vec3 b, double t) { return a + (b - a) * t; }
inline double Mix(double a, double b, double t) { return a + (b - a) * t; }
inline double Clamp(double v, double lo, double hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline double Saturate(double v) { return Clamp(v, 0.0, 1.0); }
inline double Smoothstep(double e0, double e1, double x) {
  double t = Saturate((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}
inline double Fract(double v) { return v - std::floor(v); }
// Cosine palette: a smooth cyclic colour ramp from four coefficient triples.
inline Vec3 CosPalette(double t, Vec3 a, Vec3 b, Vec3 c, Vec3 d) {
  return {a.x + b.x * std::cos(2 * kPi * (c.x * t + d.x)),
          a.y + b.y * std::cos(2 * kPi * (c.y * t + d.y)),
          a.z + b.z * std::cos(2 * kPi * (c.z * t + d.z))};
}
// Soft tone curve so that additive glows saturate instead of clipping hard.
inline Vec3 ToneMap(Vec3 c) { return {1 - std::exp(-c.x), 1 - std::exp(-c.y), 1 - std::exp(-c.z)}; }

// PCG32 (XSH RR). Conversions to floating point are our own so that the numbers
// never depend on a standard library's distribution classes.
class Rng {
public:
  explicit Rng(uint64_t seed) {
    state_ = 0;
    Next();
    state_ += seed;
    Next();
  }
  uint32_t Next() {
    uint64_t old = state_;
    state_ = old * 6364136223846793005ULL + 1442695040888963407ULL;
    uint32_t xorshifted = uint32_t(((old >> 18u) ^ old) >> 27u);
    uint32_t rot = uint32_t(old >> 59u);
    return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
  }
  double Uniform() { return Next() * (1.0 / 4294967296.0); }
  double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
  // Sum of four uniforms: a cheap bell curve with mean 0 and deviation ~1.
  double Bell() { return (Uniform() + Uniform() + Uniform() + Uniform() - 2.0) * 1.7320508; }

private:
  uint64_t state_;
};

// Integer hash to [0,1); the base of the value noise below.
inline double Hash2(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
  h ^= h >> 16;
  h *= 0x7feb352du;
  h ^= h >> 15;
  h *= 0x846ca68bu;
  h ^= h >> 16;
  return h * (1.0 / 4294967296.0);
}
double ValueNoise(double x, double y, uint32_t seed);
double Fbm(double x, double y, int octaves, uint32_t seed);

// A floating-point RGB picture, rows top to bottom, values nominally 0..1.
struct Image {
  int w = 0, h = 0;
  std::vector<Vec3> px;
  Image() = default;
  Image(int width, int height) : w(width), h(height), px(size_t(width) * height) {}
  Vec3 &At(int x, int y) { return px[size_t(y) * w + x]; }
  const Vec3 &At(int x, int y) const { return px[size_t(y) * w + x]; }
};

// 8-bit RGB, rows top to bottom: what the encoders take.
struct Rgb8 {
  int w = 0, h = 0;
  std::vector<uint8_t> data;
};
Rgb8 Quantise(const Image &img);
// Box-filters a supersampled picture down by an integer factor.
Image Downsample(const Image &img, int factor);
void ApplyCircularVignette(Image &img, double inner, double outer);

// Evaluates shade(x, y) on an ss-by-ss grid inside each pixel and averages. x runs
// from -1 (left) to 1 (right), y from 1 (top) to -1 (bottom).
template <class F> Image Render(int w, int h, int ss, F shade) {
  Image img(w, h);
  const double inv = 1.0 / (ss * ss);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      Vec3 sum;
      for (int sy = 0; sy < ss; ++sy)
        for (int sx = 0; sx < ss; ++sx) {
          double u = (x + (sx + 0.5) / ss) / w * 2 - 1;
          double v = 1 - (y + (sy + 0.5) / ss) / h * 2;
          sum += shade(u, v);
        }
      img.At(x, y) = sum * inv;
    }
  return img;
}

// A painter's canvas in the same -1..1 coordinates, drawn at a higher resolution
// and reduced afterwards so that every shape edge comes out antialiased.
class Canvas {
public:
  Canvas(int w, int h, int ss) : img_(w * ss, h * ss), ss_(ss) {}
  Image Finish() const { return Downsample(img_, ss_); }
  double PixelSize() const { return 2.0 / img_.w; }
  // Blends colour over everything within radius r of the segment a-b.
  void Capsule(double ax, double ay, double bx, double by, double r, Vec3 colour, double alpha = 1);
  void Disc(double cx, double cy, double r, Vec3 colour, double alpha = 1) {
    Capsule(cx, cy, cx, cy, r, colour, alpha);
  }
  // Calls f(x, y, pixel) for every canvas pixel whose centre lies in the box.
  template <class F> void ForBox(double x0, double y0, double x1, double y1, F f) {
    int px0 = std::max(0, int(std::floor((x0 + 1) / 2 * img_.w)));
    int px1 = std::min(img_.w - 1, int(std::ceil((x1 + 1) / 2 * img_.w)));
    int py0 = std::max(0, int(std::floor((1 - y1) / 2 * img_.h)));
    int py1 = std::min(img_.h - 1, int(std::ceil((1 - y0) / 2 * img_.h)));
    for (int py = py0; py <= py1; ++py)
      for (int px = px0; px <= px1; ++px) {
        double x = (px + 0.5) / img_.w * 2 - 1;
        double y = 1 - (py + 0.5) / img_.h * 2;
        f(x, y, img_.At(px, py));
      }
  }

private:
  Image img_;
  int ss_;
};

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by);

} // namespace art

namespace art {
// Fades the outer `width` (fraction of the side) of every edge to black, for scenes that
// fill the square: a card then has a soft border instead of a hard cut.
void ApplyEdgeFade(Image &img, double width);
// Stars on a hashed grid, for shaders: a soft dot of about one pixel per occupied cell.
Vec3 StarField(double u, double v, double cells, double density, uint32_t seed);
} // namespace art

namespace art {
// Separable Gaussian blur; sigma in pixels. Edges are treated as black.
Image GaussianBlur(const Image &img, double sigma);
// Adds colour to the four pixels around (u, v) with bilinear weights: a cheap,
// antialiased point for pictures made of many thousands of particles.
void Deposit(Image &img, double u, double v, Vec3 colour);
} // namespace art
