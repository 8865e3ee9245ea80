// Pictures built from many small lights: particles, curves and flakes on black.
#include <algorithm>

#include "tools/artwork/pictures.h"

namespace art {
namespace {

// Sharp light plus a wide halo of itself, compressed so bright crossings do not clip.
Image Bloom(const Image &light, double haloSigma, double haloGain, double exposure) {
  Image halo = GaussianBlur(light, haloSigma);
  Image out(light.w, light.h);
  for (size_t i = 0; i < light.px.size(); ++i)
    out.px[i] = ToneMap((light.px[i] + halo.px[i] * haloGain) * exposure);
  return out;
}

// Draws a curve given by f(s), s in [0, 1], as a chain of bilinear deposits half a pixel
// apart; colourAt(s) gives the colour per unit of length.
template <class F, class C> void TraceCurve(Image &img, int steps, F f, C colourAt) {
  double px, py;
  f(0.0, &px, &py);
  for (int i = 1; i <= steps; ++i) {
    double s = double(i) / steps, x, y;
    f(s, &x, &y);
    double len = std::sqrt((x - px) * (x - px) + (y - py) * (y - py)) * img.w / 2;
    int sub = std::max(1, int(std::ceil(len * 2)));
    for (int k = 0; k < sub; ++k) {
      double t = (k + 0.5) / sub;
      Deposit(img, Mix(px, x, t), Mix(py, y, t), colourAt(s) * (len / sub));
    }
    px = x;
    py = y;
  }
}

void ScatterStars(Image &img, Rng &rng, int count, double gain) {
  for (int i = 0; i < count; ++i) {
    double u = rng.Range(-1, 1), v = rng.Range(-1, 1);
    double b = rng.Uniform();
    b = b * b * b * b;
    double tint = rng.Uniform();
    Vec3 c = tint < 0.3 ? V(0.75, 0.85, 1.0) : tint > 0.85 ? V(1.0, 0.85, 0.65) : Grey(1.0);
    Deposit(img, u, v, c * ((0.1 + 2.5 * b) * gain));
  }
}

Vec3 HeartPoint(double t) {
  double s = std::sin(t);
  double x = 16 * s * s * s;
  double y = 13 * std::cos(t) - 5 * std::cos(2 * t) - 2 * std::cos(3 * t) - std::cos(4 * t);
  return V(x / 17.0 * 0.72, y / 17.0 * 0.72 + 0.08, 0);
}

// One arm of a snowflake in the flake's own frame (the arm points along +x), as segments
// of (x0, y0, x1, y1, half-width); mirrored and turned six times when drawn.
struct Stroke {
  double x0, y0, x1, y1, w;
};
std::vector<Stroke> SnowflakeArm(Rng &rng) {
  std::vector<Stroke> arm;
  arm.push_back({0, 0, 1, 0, 0.035});
  int branches = 2 + int(rng.Uniform() * 3);
  for (int i = 0; i < branches; ++i) {
    double at = 0.25 + 0.65 * (i + rng.Range(0.1, 0.9)) / branches;
    double len = (1 - at) * rng.Range(0.35, 0.75);
    double a = kPi / 3;
    arm.push_back({at, 0, at + std::cos(a) * len, std::sin(a) * len, 0.025});
    if (rng.Uniform() < 0.5) {
      double at2 = at + std::cos(a) * len * 0.5, y2 = std::sin(a) * len * 0.5;
      arm.push_back({at2, y2, at2 + len * 0.3, y2, 0.018});
    }
  }
  if (rng.Uniform() < 0.6) {
    double r = rng.Range(0.12, 0.22); // a small hexagonal plate at the centre
    arm.push_back({r, 0, r * 0.5, r * 0.866, 0.02});
  }
  return arm;
}

void DrawSnowflake(Canvas &cv, Rng &rng, double cx, double cy, double radius, double turn,
                   Vec3 colour) {
  std::vector<Stroke> arm = SnowflakeArm(rng);
  for (int k = 0; k < 6; ++k) {
    double a = turn + k * kPi / 3, ca = std::cos(a), sa = std::sin(a);
    for (int mirror = -1; mirror <= 1; mirror += 2)
      for (const Stroke &s : arm) {
        double y0 = s.y0 * mirror, y1 = s.y1 * mirror;
        cv.Capsule(cx + (s.x0 * ca - y0 * sa) * radius, cy + (s.x0 * sa + y0 * ca) * radius,
                   cx + (s.x1 * ca - y1 * sa) * radius, cy + (s.x1 * sa + y1 * ca) * radius,
                   s.w * radius * (radius < 0.15 ? 1.4 : 1.0), colour, 0.9);
      }
  }
}

} // namespace

Image GalaxyAndStars() {
  Image light(kSide, kSide);
  Rng rng(101);
  ScatterStars(light, rng, 1500, 1.0);
  const double tilt = 0.5, turn = 0.45, ct = std::cos(turn), st = std::sin(turn);
  for (int i = 0; i < 60000; ++i) {
    double r = -std::log(1 - rng.Uniform() * 0.995) * 0.25;
    int arm = int(rng.Next() & 1);
    double theta =
        arm * kPi + std::log(r / 0.03 + 1) * 2.6 + rng.Bell() * (0.25 + 0.15 / (r * 10 + 1));
    double x = r * std::cos(theta), y = r * std::sin(theta) * tilt;
    double u = x * ct - y * st, v = x * st + y * ct;
    Vec3 c = Mix(V(1.0, 0.85, 0.6), V(0.55, 0.7, 1.0), Smoothstep(0.08, 0.5, r));
    if (rng.Uniform() < 0.03) c = V(1.0, 0.45, 0.65); // star-forming knots
    Deposit(light, u, v, c * 0.09);
  }
  // The bulge: a soft core too dense for particles.
  for (int y = 0; y < kSide; ++y)
    for (int x = 0; x < kSide; ++x) {
      double u = (x + 0.5) / kSide * 2 - 1, v = 1 - (y + 0.5) / kSide * 2;
      double a = u * ct + v * st, b = (-u * st + v * ct) / tilt;
      double d2 = a * a + b * b;
      light.At(x, y) +=
          V(1.0, 0.85, 0.65) * (1.6 * std::exp(-d2 / 0.003) + 0.2 * std::exp(-d2 / 0.04));
    }
  Image img = Bloom(light, 6, 1.2, 1.1);
  ApplyCircularVignette(img, 0.85, 1.1);
  return img;
}

Image ParticleHeart() {
  Image light(kSide, kSide);
  Rng rng(111);
  const Vec3 palette[4] = {V(1.0, 0.25, 0.4), V(1.0, 0.45, 0.6), V(1.0, 0.75, 0.4),
                           V(0.95, 0.15, 0.25)};
  // The outline, densely.
  for (int i = 0; i < 11000; ++i) {
    Vec3 p = HeartPoint(rng.Range(0, 2 * kPi));
    double s = 1 + rng.Bell() * 0.015;
    Deposit(light, p.x * s, 0.02 + (p.y - 0.02) * s, palette[rng.Next() % 4] * 0.8);
  }
  // The inside, evenly: points drawn in the bounding box and kept when inside the outline
  // (scaling points of the curve towards a centre would bunch them along the cleft).
  std::vector<Vec3> outline;
  for (int i = 0; i < 256; ++i) outline.push_back(HeartPoint(i * 2 * kPi / 256));
  auto inside = [&](double x, double y) {
    bool in = false;
    for (size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
      const Vec3 &a = outline[i], &b = outline[j];
      if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
    }
    return in;
  };
  for (int placed = 0; placed < 9000;) {
    double x = rng.Range(-0.72, 0.72), y = rng.Range(-0.72, 0.72);
    if (!inside(x, y)) continue;
    ++placed;
    Deposit(light, x, y, palette[rng.Next() % 4] * (0.25 + 0.5 * rng.Uniform()));
  }
  // Sparks drifting up and away.
  for (int i = 0; i < 500; ++i) {
    Vec3 p = HeartPoint(rng.Range(0, 2 * kPi));
    double lift = rng.Uniform();
    Deposit(light, p.x * (1 + lift * 0.25), p.y + lift * 0.25,
            V(1.0, 0.7, 0.5) * (1.2 * (1 - lift)));
  }
  Image img = Bloom(light, 7, 1.6, 1.4);
  ApplyCircularVignette(img, 0.85, 1.05);
  return img;
}

Image Fireworks() {
  Image light(kSide, kSide);
  Rng rng(121);
  const Vec3 colours[6] = {V(1.0, 0.35, 0.3), V(0.4, 0.7, 1.0),  V(1.0, 0.8, 0.35),
                           V(0.5, 1.0, 0.5),  V(0.9, 0.45, 1.0), V(1.0, 0.55, 0.75)};
  const double bursts[6][3] = {{-0.35, 0.35, 0.42}, {0.38, 0.5, 0.34},  {0.1, 0.05, 0.26},
                               {-0.55, -0.15, 0.2}, {0.6, -0.05, 0.22}, {-0.05, 0.62, 0.18}};
  for (int b = 0; b < 6; ++b) {
    const double cx = bursts[b][0], cy = bursts[b][1], radius = bursts[b][2];
    Vec3 col = colours[b];
    int sparks = int(90 + radius * 300);
    for (int i = 0; i < sparks; ++i) {
      double a = (i + rng.Range(-0.3, 0.3)) * 2 * kPi / sparks;
      double speed = radius * rng.Range(0.82, 1.0);
      double dx = std::cos(a), dy = std::sin(a);
      auto path = [&](double s, double *x, double *y) {
        double reach = 1 - (1 - s) * (1 - s); // sparks slow down as they fly
        *x = cx + dx * speed * reach;
        *y = cy + dy * speed * reach - 0.12 * radius * s * s; // and sag
      };
      TraceCurve(light, 24, path, [&](double s) { return col * (0.4 * s * s); });
      double tx, ty;
      path(1.0, &tx, &ty);
      Deposit(light, tx, ty, Mix(col, V(1, 1, 1), 0.6) * 1.5);
    }
    Deposit(light, cx, cy, col * 3.0);
  }
  ScatterStars(light, rng, 300, 0.5);
  Image img = Bloom(light, 5, 1.5, 1.5);
  // A dark town below, with a few lit windows.
  for (int x = 0; x < kSide; ++x) {
    double u = (x + 0.5) / kSide * 2 - 1;
    int block = int(std::floor((u + 1) * 14));
    double roof = -0.72 + 0.14 * Hash2(block, 0, 122) + 0.05 * (block % 3 == 0);
    for (int y = 0; y < kSide; ++y) {
      double v = 1 - (y + 0.5) / kSide * 2;
      if (v >= roof) {
        // A faint glow over the town, so its roofs stand out against the sky.
        img.At(x, y) += V(0.05, 0.05, 0.12) * (1 - Smoothstep(-0.75, -0.2, v));
        continue;
      }
      int wx = int(std::floor((u + 1) * 90)), wy = int(std::floor((v + 1) * 70));
      bool lit = Hash2(wx, wy, 123) < 0.12 && (wx % 2) && (wy % 2);
      img.At(x, y) = lit ? V(0.55, 0.42, 0.2) : V(0.01, 0.01, 0.02);
    }
  }
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image RoseCurves() {
  Image light(kSide, kSide);
  struct Rose {
    double n, d, size, hue;
  };
  const Rose roses[3] = {{5, 4, 0.78, 0.0}, {7, 3, 0.5, 0.35}, {4, 1, 0.2, 0.7}};
  for (const Rose &r : roses) {
    double k = r.n / r.d;
    double period = (int(r.n * r.d) % 2 ? 1 : 2) * kPi * r.d;
    TraceCurve(
        light, 6000,
        [&](double s, double *x, double *y) {
          double th = s * period, rad = r.size * std::cos(k * th);
          *x = rad * std::cos(th);
          *y = rad * std::sin(th);
        },
        [&](double s) {
          return CosPalette(s * 2 + r.hue, V(0.7, 0.5, 0.6), V(0.3, 0.3, 0.35), V(1, 1, 1),
                            V(0.0, 0.15, 0.3)) *
                 0.85;
        });
  }
  Image img = Bloom(light, 4, 1.3, 1.6);
  ApplyCircularVignette(img, 0.9, 1.1);
  return img;
}

Image ButterflyCurve() {
  Image light(kSide, kSide);
  TraceCurve(
      light, 20000,
      [](double s, double *x, double *y) {
        double t = s * 12 * kPi;
        double r =
            std::exp(std::sin(t)) - 2 * std::cos(4 * t) + std::pow(std::sin((2 * t - kPi) / 24), 5);
        *x = r * std::sin(t) * 0.25;
        *y = r * std::cos(t) * 0.25 - 0.2;
      },
      [](double s) {
        return CosPalette(s * 3, V(0.5, 0.55, 0.75), V(0.4, 0.35, 0.25), V(1, 1, 1),
                          V(0.55, 0.3, 0.1)) *
               0.8;
      });
  Image img = Bloom(light, 4, 1.2, 1.5);
  ApplyCircularVignette(img, 0.9, 1.1);
  return img;
}

Image LorenzAttractor() {
  Image light(kSide, kSide);
  double x = 0.1, y = 0, z = 0;
  const double dt = 0.0015;
  for (int i = 0; i < 400000; ++i) {
    // Midpoint integration: stable at this step and cheap.
    double dx = 10 * (y - x), dy = x * (28 - z) - y, dz = x * y - 8.0 / 3.0 * z;
    double mx = x + dx * dt / 2, my = y + dy * dt / 2, mz = z + dz * dt / 2;
    double ex = 10 * (my - mx), ey = mx * (28 - mz) - my, ez = mx * my - 8.0 / 3.0 * mz;
    x += ex * dt;
    y += ey * dt;
    z += ez * dt;
    if (i < 1000) continue; // let it settle onto the attractor
    double speed = std::sqrt(ex * ex + ey * ey + ez * ez);
    Vec3 c = Mix(V(1.0, 0.55, 0.15), V(0.3, 0.6, 1.0), Smoothstep(40, 160, speed));
    double u = (x * 0.8 + y * 0.25) / 26.0, v = (z - 25) / 27.0;
    Deposit(light, u, v, c * 0.05);
  }
  Image img = Bloom(light, 5, 1.0, 1.3);
  ApplyCircularVignette(img, 0.9, 1.1);
  return img;
}

Image Bokeh() {
  Rng rng(131);
  struct Light {
    double x, y, r;
    Vec3 c;
  };
  std::vector<Light> lights;
  const Vec3 warm[5] = {V(1.0, 0.7, 0.3), V(1.0, 0.45, 0.35), V(1.0, 0.85, 0.55), V(0.9, 0.4, 0.7),
                        V(0.45, 0.7, 1.0)};
  for (int i = 0; i < 70; ++i) {
    double r = 0.03 + std::pow(rng.Uniform(), 2.0) * 0.12;
    lights.push_back({rng.Range(-0.9, 0.9), rng.Range(-0.9, 0.9), r,
                      warm[rng.Next() % 5] * (0.05 + 0.006 / r) * 1.6});
  }
  Image img = Render(kSide, kSide, 2, [&](double u, double v) {
    Vec3 c;
    for (const Light &l : lights) {
      double dx = (u - l.x) / l.r, dy = (v - l.y) / l.r;
      // A six-bladed aperture: the distance to a hexagon rather than a circle.
      double ax = std::fabs(dx), ay = std::fabs(dy);
      double hex = std::max(ax * 0.866 + ay * 0.5, ay);
      if (hex > 1.05) continue;
      double inside = Saturate((1 - hex) * l.r / 0.004 + 0.5);
      double rim = 1 + 0.6 * Smoothstep(0.75, 1.0, hex);
      c += l.c * (inside * rim);
    }
    // A string of small lights in focus, sagging across the middle.
    for (int i = 0; i < 15; ++i) {
      double bx = -0.85 + i * 1.7 / 14, by = 0.1 - 0.35 * (1 - bx * bx / 0.7225);
      double dx = u - bx, dy = v - by;
      c += V(1.0, 0.8, 0.45) * (1.2 * std::exp(-(dx * dx + dy * dy) / 0.00004) +
                                0.25 * std::exp(-(dx * dx + dy * dy) / 0.002));
    }
    double wire = std::fabs(v - (0.1 - 0.35 * (1 - u * u / 0.7225)));
    c += V(0.2, 0.15, 0.1) * (std::exp(-wire * wire / 0.000006) * (std::fabs(u) < 0.9));
    return ToneMap(c * 1.3);
  });
  ApplyCircularVignette(img, 0.85, 1.08);
  return img;
}

Image Snowflakes() {
  Canvas cv(kSide, kSide, 3);
  cv.ForBox(-1, -1, 1, 1, [](double u, double v, Vec3 &p) {
    double r = std::sqrt(u * u + v * v);
    p = Mix(V(0.06, 0.12, 0.28), V(0, 0, 0.01), Smoothstep(0.0, 1.1, r));
  });
  Rng rng(141);
  for (int i = 0; i < 120; ++i) {
    double x = rng.Range(-1, 1), y = rng.Range(-1, 1);
    cv.Disc(x, y, rng.Range(0.002, 0.007), V(0.8, 0.88, 1.0), rng.Range(0.3, 0.8));
  }
  const double flakes[7][3] = {{-0.55, 0.55, 0.14}, {0.58, 0.5, 0.11},   {-0.6, -0.5, 0.12},
                               {0.55, -0.55, 0.15}, {0.02, -0.78, 0.07}, {0.8, 0.0, 0.07},
                               {-0.82, 0.02, 0.06}};
  for (const auto &f : flakes)
    DrawSnowflake(cv, rng, f[0], f[1], f[2], rng.Range(0, kPi), V(0.8, 0.9, 1.0));
  DrawSnowflake(cv, rng, 0, 0.02, 0.4, kPi / 2, V(0.92, 0.96, 1.0));
  Image img = cv.Finish();
  ApplyCircularVignette(img, 0.95, 1.2);
  return img;
}

Image Sunflower() {
  Canvas cv(kSide, kSide, 3);
  Rng rng(151);
  auto petalRing = [&](int count, double offset, double inner, double outer, double width,
                       Vec3 colour) {
    for (int i = 0; i < count; ++i) {
      double a = (i + offset + rng.Range(-0.15, 0.15)) * 2 * kPi / count;
      double len = outer * rng.Range(0.92, 1.05);
      double ca = std::cos(a), sa = std::sin(a);
      cv.ForBox(-len - 0.05, -len - 0.05, len + 0.05, len + 0.05, [&](double x, double y, Vec3 &p) {
        double along = x * ca + y * sa, across = -x * sa + y * ca;
        if (along < inner) return;
        double t = (along - inner) / (len - inner);
        if (t > 1) return;
        double half = width * std::sin(kPi * std::pow(t, 0.7)); // pointed at the tip
        double cover = Saturate((half - std::fabs(across)) / cv.PixelSize() + 0.5);
        if (cover <= 0) return;
        Vec3 c = colour * (0.75 + 0.25 * t) * (1 - 0.3 * std::fabs(across) / (half + 1e-9));
        p = Mix(p, c, cover);
      });
    }
  };
  petalRing(21, 0.5, 0.2, 0.78, 0.07, V(0.85, 0.55, 0.05));
  petalRing(21, 0.0, 0.2, 0.82, 0.075, V(1.0, 0.78, 0.12));
  cv.Disc(0, 0, 0.33, V(0.12, 0.06, 0.02));
  const double golden = kPi * (3 - std::sqrt(5.0));
  for (int n = 1; n <= 1400; ++n) {
    double r = 0.0083 * std::sqrt(double(n)), a = n * golden;
    double t = r / 0.31;
    Vec3 c = Mix(V(0.35, 0.22, 0.05), V(0.22, 0.1, 0.03), t) * rng.Range(0.75, 1.2);
    if (t < 0.25) c = Mix(V(0.45, 0.5, 0.1), c, t / 0.25);
    cv.Disc(r * std::cos(a), r * std::sin(a), 0.0062 * (0.8 + 0.3 * t), c);
  }
  Image img = cv.Finish();
  ApplyCircularVignette(img, 0.92, 1.15);
  return img;
}

Image SoapBubbles() {
  struct Bubble {
    double x, y, r;
  };
  const Bubble bubbles[8] = {{0.0, 0.05, 0.42},   {-0.58, 0.5, 0.2},   {0.6, 0.48, 0.17},
                             {0.55, -0.55, 0.24}, {-0.6, -0.45, 0.14}, {-0.25, -0.72, 0.08},
                             {0.18, 0.68, 0.09},  {0.82, 0.05, 0.07}};
  Image img = Render(kSide, kSide, 3, [&](double u, double v) {
    double rr = std::sqrt(u * u + v * v);
    Vec3 c = Mix(V(0.02, 0.08, 0.1), V(0, 0, 0), Smoothstep(0, 1.1, rr));
    for (int i = 0; i < 8; ++i) {
      const Bubble &b = bubbles[i];
      double dx = (u - b.x) / b.r, dy = (v - b.y) / b.r, d2 = dx * dx + dy * dy;
      if (d2 >= 1.0) continue;
      double z = std::sqrt(1 - d2);
      // Thin-film interference: the colour follows the film's thickness, which swirls and
      // drains towards the bottom.
      double swirl = Fbm(dx * 2.2 + i * 3, dy * 2.2, 4, 161 + uint32_t(i));
      double thickness = 0.8 + 1.2 * swirl + 0.5 * (1 - dy) + 0.6 / (z + 0.3);
      Vec3 film =
          CosPalette(thickness, V(0.5, 0.5, 0.5), V(0.5, 0.5, 0.5), V(1, 1, 1), V(0.0, 0.33, 0.67));
      double rim = std::pow(1 - z, 1.6);
      double edge = Saturate((1 - std::sqrt(d2)) * b.r / 0.003);
      c = c * (1 - 0.15 * edge) + film * ((0.08 + 0.9 * rim) * edge);
      // The reflection of a window.
      double hx = dx + 0.42, hy = dy - 0.42;
      c += Grey(0.9 * std::exp(-(hx * hx * 4 + hy * hy * 9) * 12) * edge);
    }
    return c;
  });
  return img;
}

} // namespace art
