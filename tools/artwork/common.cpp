#include "tools/artwork/common.h"

namespace art {

double ValueNoise(double x, double y, uint32_t seed) {
  double fx = std::floor(x), fy = std::floor(y);
  int32_t ix = int32_t(fx), iy = int32_t(fy);
  double tx = x - fx, ty = y - fy;
  // Quintic fade: continuous second derivative, so shading from noise normals has no creases.
  double ux = tx * tx * tx * (tx * (tx * 6 - 15) + 10);
  double uy = ty * ty * ty * (ty * (ty * 6 - 15) + 10);
  double a = Hash2(ix, iy, seed), b = Hash2(ix + 1, iy, seed);
  double c = Hash2(ix, iy + 1, seed), d = Hash2(ix + 1, iy + 1, seed);
  return Mix(Mix(a, b, ux), Mix(c, d, ux), uy);
}

double Fbm(double x, double y, int octaves, uint32_t seed) {
  double sum = 0, amp = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * ValueNoise(x, y, seed + uint32_t(i) * 101u);
    norm += amp;
    // Rotate between octaves so the lattice directions do not line up.
    double nx = 1.6 * x + 1.2 * y, ny = -1.2 * x + 1.6 * y;
    x = nx + 17.3;
    y = ny - 9.1;
    amp *= 0.5;
  }
  return sum / norm;
}

Rgb8 Quantise(const Image &img) {
  Rgb8 out;
  out.w = img.w;
  out.h = img.h;
  out.data.resize(size_t(img.w) * img.h * 3);
  auto q = [](double v) { return uint8_t(std::floor(Saturate(v) * 255.0 + 0.5)); };
  for (size_t i = 0; i < img.px.size(); ++i) {
    out.data[i * 3 + 0] = q(img.px[i].x);
    out.data[i * 3 + 1] = q(img.px[i].y);
    out.data[i * 3 + 2] = q(img.px[i].z);
  }
  return out;
}

Image Downsample(const Image &img, int factor) {
  Image out(img.w / factor, img.h / factor);
  const double inv = 1.0 / (factor * factor);
  for (int y = 0; y < out.h; ++y)
    for (int x = 0; x < out.w; ++x) {
      Vec3 sum;
      for (int sy = 0; sy < factor; ++sy)
        for (int sx = 0; sx < factor; ++sx) sum += img.At(x * factor + sx, y * factor + sy);
      out.At(x, y) = sum * inv;
    }
  return out;
}

void ApplyCircularVignette(Image &img, double inner, double outer) {
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      double u = (x + 0.5) / img.w * 2 - 1, v = (y + 0.5) / img.h * 2 - 1;
      double r = std::sqrt(u * u + v * v);
      img.At(x, y) *= 1 - Smoothstep(inner, outer, r);
    }
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
  double dx = bx - ax, dy = by - ay;
  double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? Saturate(((px - ax) * dx + (py - ay) * dy) / len2) : 0;
  double ex = px - (ax + t * dx), ey = py - (ay + t * dy);
  return std::sqrt(ex * ex + ey * ey);
}

void Canvas::Capsule(double ax, double ay, double bx, double by, double r, Vec3 colour,
                     double alpha) {
  const double edge = PixelSize();
  ForBox(std::min(ax, bx) - r - edge, std::min(ay, by) - r - edge, std::max(ax, bx) + r + edge,
         std::max(ay, by) + r + edge, [&](double x, double y, Vec3 &p) {
           double d = SegmentDistance(x, y, ax, ay, bx, by);
           // A one-pixel ramp on top of the supersampling keeps thin strokes smooth.
           double cover = Saturate((r - d) / edge + 0.5) * alpha;
           if (cover > 0) p = Mix(p, colour, cover);
         });
}

} // namespace art

namespace art {

void ApplyEdgeFade(Image &img, double width) {
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      double u = (x + 0.5) / img.w, v = (y + 0.5) / img.h;
      double d = std::min(std::min(u, 1 - u), std::min(v, 1 - v));
      img.At(x, y) *= Smoothstep(0, width, d);
    }
}

Vec3 StarField(double u, double v, double cells, double density, uint32_t seed) {
  double gx = (u + 1) * 0.5 * cells, gy = (v + 1) * 0.5 * cells;
  int32_t cx = int32_t(std::floor(gx)), cy = int32_t(std::floor(gy));
  Vec3 sum;
  // Neighbouring cells too, so a star near a cell border is not cut in half.
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      int32_t x = cx + dx, y = cy + dy;
      if (Hash2(x, y, seed) > density) continue;
      double sx = x + 0.15 + 0.7 * Hash2(x, y, seed + 1);
      double sy = y + 0.15 + 0.7 * Hash2(x, y, seed + 2);
      double b = Hash2(x, y, seed + 3);
      b = b * b * b;
      // About 0.7 output pixels wide at 512, whatever the cell size.
      double sigma = cells / 512.0 * (0.55 + 0.6 * b);
      double d2 = (gx - sx) * (gx - sx) + (gy - sy) * (gy - sy);
      double tint = Hash2(x, y, seed + 4);
      Vec3 c = tint < 0.3 ? V(0.75, 0.85, 1.0) : tint > 0.85 ? V(1.0, 0.85, 0.65) : Grey(1.0);
      sum += c * ((0.25 + 1.4 * b) * std::exp(-d2 / (2 * sigma * sigma)));
    }
  return sum;
}

} // namespace art

namespace art {

Image GaussianBlur(const Image &img, double sigma) {
  const int radius = int(std::ceil(sigma * 3));
  std::vector<double> k(size_t(2 * radius + 1));
  double sum = 0;
  for (int i = -radius; i <= radius; ++i)
    sum += k[size_t(i + radius)] = std::exp(-i * i / (2 * sigma * sigma));
  for (double &x : k) x /= sum;
  Image tmp(img.w, img.h), out(img.w, img.h);
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      Vec3 s;
      for (int i = -radius; i <= radius; ++i) {
        int xx = x + i;
        if (xx >= 0 && xx < img.w) s += img.At(xx, y) * k[size_t(i + radius)];
      }
      tmp.At(x, y) = s;
    }
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      Vec3 s;
      for (int i = -radius; i <= radius; ++i) {
        int yy = y + i;
        if (yy >= 0 && yy < img.h) s += tmp.At(x, yy) * k[size_t(i + radius)];
      }
      out.At(x, y) = s;
    }
  return out;
}

void Deposit(Image &img, double u, double v, Vec3 colour) {
  double fx = (u + 1) * 0.5 * img.w - 0.5, fy = (1 - v) * 0.5 * img.h - 0.5;
  double x0 = std::floor(fx), y0 = std::floor(fy);
  double tx = fx - x0, ty = fy - y0;
  int ix = int(x0), iy = int(y0);
  const double w[4] = {(1 - tx) * (1 - ty), tx * (1 - ty), (1 - tx) * ty, tx * ty};
  const int dx[4] = {0, 1, 0, 1}, dy[4] = {0, 0, 1, 1};
  for (int i = 0; i < 4; ++i) {
    int x = ix + dx[i], y = iy + dy[i];
    if (x >= 0 && y >= 0 && x < img.w && y < img.h) img.At(x, y) += colour * w[i];
  }
}

} // namespace art
