// Scenes with a horizon or a light source: ray tracing, height fields and shaders.
#include <algorithm>
#include <array>

#include "tools/artwork/pictures.h"

namespace art {
namespace {

Vec3 Reflect(Vec3 d, Vec3 n) { return d - n * (2 * Dot(d, n)); }

// Returns false on total internal reflection.
bool Refract(Vec3 d, Vec3 n, double eta, Vec3 *out) {
  double cosi = -Dot(d, n);
  double k = 1 - eta * eta * (1 - cosi * cosi);
  if (k < 0) return false;
  *out = d * eta + n * (eta * cosi - std::sqrt(k));
  return true;
}

// ---------------------------------------------------------------- ray-traced spheres

enum Material { kFloor, kGlass, kChrome, kGold, kRed, kBlue };
struct Sphere {
  Vec3 c;
  double r;
  Material m;
};
const std::array<Sphere, 5> kSpheres = {{
    {{0, 1, 0}, 1, kGlass},
    {{-2.15, 0.7, 1.2}, 0.7, kChrome},
    {{2.05, 0.6, 0.9}, 0.6, kGold},
    {{-0.95, 0.35, -1.55}, 0.35, kRed},
    {{1.15, 0.3, -1.75}, 0.3, kBlue},
}};
const Vec3 kLamp = {-4, 6, -3};

struct Hit {
  double t = 1e30;
  Vec3 n;
  Material m = kFloor;
};

bool Intersect(Vec3 ro, Vec3 rd, Hit *hit) {
  bool any = false;
  if (rd.y < 0) {
    double t = -ro.y / rd.y;
    if (t > 1e-6 && t < hit->t) *hit = {t, {0, 1, 0}, kFloor}, any = true;
  }
  for (const Sphere &s : kSpheres) {
    Vec3 oc = ro - s.c;
    double b = Dot(oc, rd), c = Dot(oc, oc) - s.r * s.r, disc = b * b - c;
    if (disc < 0) continue;
    double sq = std::sqrt(disc);
    double t = -b - sq;
    if (t < 1e-6) t = -b + sq;
    if (t > 1e-6 && t < hit->t) {
      *hit = {t, (ro + rd * t - s.c) / s.r, s.m};
      any = true;
    }
  }
  return any;
}

Vec3 Backdrop(Vec3 rd) {
  double e = Saturate(rd.y * 1.6);
  Vec3 c = Mix(V(0.09, 0.1, 0.22), V(0.0, 0.0, 0.02), std::sqrt(e));
  // A soft window of light high up, so the chrome has something to mirror.
  Vec3 toLamp = Normalize(kLamp);
  c += V(1.0, 0.95, 0.85) * std::pow(std::max(0.0, Dot(rd, toLamp)), 60.0) * 1.5;
  return c;
}

double Shadow(Vec3 p) {
  Vec3 toL = kLamp - p;
  double dist = Length(toL);
  Hit h;
  h.t = dist;
  if (!Intersect(p, toL / dist, &h) || h.t >= dist) return 1;
  return h.m == kGlass ? 0.55 : 0.0; // glass lets some light through
}

Vec3 Trace(Vec3 ro, Vec3 rd, int depth) {
  Hit h;
  if (depth > 6 || !Intersect(ro, rd, &h)) return Backdrop(rd);
  Vec3 p = ro + rd * h.t;
  Vec3 n = h.n;
  Vec3 l = Normalize(kLamp - p);
  double diff = std::max(0.0, Dot(n, l));
  double spec = std::pow(std::max(0.0, Dot(Reflect(rd, n), l)), 80.0);
  Vec3 off = p + n * 1e-5;
  switch (h.m) {
  case kFloor: {
    int check = (int(std::floor(p.x)) + int(std::floor(p.z))) & 1;
    // Fade the checks with distance before they can alias into moire near the horizon.
    double fade = std::exp(-h.t * 0.06);
    Vec3 base = Mix(V(0.35, 0.35, 0.4), check ? V(0.9, 0.88, 0.85) : V(0.08, 0.08, 0.1), fade);
    double sh = Shadow(off);
    Vec3 c = base * (0.12 + 0.88 * diff * sh) + Trace(off, Reflect(rd, n), depth + 1) * 0.12;
    return Mix(Backdrop(rd), c, std::exp(-h.t * 0.035));
  }
  case kRed:
  case kBlue: {
    Vec3 base = h.m == kRed ? V(0.85, 0.12, 0.1) : V(0.1, 0.3, 0.9);
    double sh = Shadow(off);
    return base * (0.1 + 0.9 * diff * sh) + Grey(spec * sh * 0.8);
  }
  case kChrome: return Trace(off, Reflect(rd, n), depth + 1) * 0.85 + Grey(spec * 1.2);
  case kGold:
    return Trace(off, Reflect(rd, n), depth + 1) * V(1.0, 0.76, 0.33) + V(1, 0.9, 0.6) * spec;
  case kGlass: {
    bool inside = Dot(rd, n) > 0;
    Vec3 nn = inside ? -n : n;
    double eta = inside ? 1.5 : 1 / 1.5;
    double cosi = -Dot(rd, nn);
    double f0 = 0.04;
    double fres = f0 + (1 - f0) * std::pow(1 - cosi, 5.0);
    Vec3 refl = Trace(p + nn * 1e-5, Reflect(rd, nn), depth + 1);
    Vec3 dir;
    if (!Refract(rd, nn, eta, &dir)) return refl;
    Vec3 refr = Trace(p - nn * 1e-5, dir, depth + 1) * V(0.92, 0.97, 1.0);
    return Mix(refr, refl, fres) + Grey(inside ? 0 : spec * 1.5);
  }
  }
  return {};
}

// ---------------------------------------------------------------- sunset landscape

double TerrainHeight(double x, double z) {
  double n = Fbm(x * 0.22, z * 0.22, 7, 11);
  return std::max(0.0, n - 0.33) * 4.2;
}

Vec3 SunsetSky(double up, double side) {
  // up: 0 at the horizon, 1 at the top; side: -1..1 across.
  Vec3 c;
  if (up < 0.18)
    c = Mix(V(1.0, 0.62, 0.3), V(0.93, 0.4, 0.38), up / 0.18);
  else if (up < 0.5)
    c = Mix(V(0.93, 0.4, 0.38), V(0.38, 0.2, 0.42), (up - 0.18) / 0.32);
  else
    c = Mix(V(0.38, 0.2, 0.42), V(0.06, 0.05, 0.16), Saturate((up - 0.5) / 0.5));
  // Thin, sunlit cloud streaks.
  double cl = Fbm(side * 2.5, up * 14, 5, 77);
  c = Mix(c, V(1.0, 0.55, 0.5), Smoothstep(0.55, 0.72, cl) * Smoothstep(0.05, 0.2, up) * 0.6);
  double dx = side, dy = (up - 0.1) * 1.2;
  double d = std::sqrt(dx * dx + dy * dy);
  c += V(1.0, 0.7, 0.35) * (0.5 * std::exp(-d * 6) + 0.25 * std::exp(-d * 2));
  c = Mix(c, V(1.0, 0.95, 0.8), Smoothstep(0.075, 0.068, d));
  return c;
}

// ---------------------------------------------------------------- ocean

const Vec3 kOceanSun = Normalize(V(0.0, 0.07, 1.0));

Vec3 OceanSky(Vec3 rd) {
  double e = std::max(rd.y, 0.0);
  Vec3 c = e < 0.12 ? Mix(V(1.0, 0.6, 0.35), V(0.55, 0.35, 0.5), e / 0.12)
                    : Mix(V(0.55, 0.35, 0.5), V(0.06, 0.08, 0.22), Saturate((e - 0.12) / 0.5));
  double s = std::max(0.0, Dot(rd, kOceanSun));
  c += V(1.0, 0.6, 0.3) * (0.6 * std::pow(s, 40.0) + 0.25 * std::pow(s, 6.0));
  c = Mix(c, V(1.0, 0.93, 0.75), Smoothstep(0.99955, 0.99975, s));
  if (rd.y > 0.01) {
    double px = rd.x / rd.y, pz = rd.z / rd.y;
    double cl = Fbm(px * 0.35, pz * 0.12, 5, 31);
    double cover = Smoothstep(0.5, 0.75, cl) * Smoothstep(0.01, 0.12, rd.y);
    c = Mix(c, Mix(V(0.95, 0.5, 0.45), V(0.3, 0.18, 0.35), Saturate(rd.y * 3)), cover * 0.8);
  }
  return c;
}

struct Wave {
  double dx, dz, k, a, phase;
};
const std::array<Wave, 7> kWaves = {{
    {0.2, 1.0, 0.9, 0.18, 0.0},
    {-0.5, 0.8, 1.5, 0.09, 1.3},
    {0.7, 0.7, 2.3, 0.05, 2.1},
    {-0.9, 0.3, 3.7, 0.03, 0.4},
    {0.1, -1.0, 5.9, 0.015, 5.0},
    {0.8, -0.4, 8.3, 0.01, 3.3},
    {-0.3, -0.9, 12.1, 0.006, 1.7},
}};

Vec3 WaterNormal(double x, double z, double dist) {
  double gx = 0, gz = 0;
  for (const Wave &w : kWaves) {
    double len = std::sqrt(w.dx * w.dx + w.dz * w.dz);
    double kx = w.dx / len * w.k, kz = w.dz / len * w.k;
    // Short waves fade out with distance, where a pixel covers many of them.
    double fade = std::exp(-dist * w.k * 0.012);
    double c = std::cos(kx * x + kz * z + w.phase) * w.a * fade;
    gx += c * kx;
    gz += c * kz;
  }
  return Normalize(V(-gx, 1, -gz));
}

// ---------------------------------------------------------------- moon

Vec3 Moonlit(double u, double v) {
  const double horizon = -0.12;
  const double mx = 0.0, my = 0.42, mr = 0.2;
  if (v >= horizon) {
    double t = (v - horizon) / (1 - horizon);
    Vec3 c = Mix(V(0.1, 0.12, 0.26), V(0.01, 0.015, 0.05), std::sqrt(t));
    c += StarField(u, v, 90, 0.35, 5) * 0.8 * Smoothstep(0.1, 0.4, t);
    double dx = u - mx, dy = v - my, d = std::sqrt(dx * dx + dy * dy);
    c += V(0.55, 0.6, 0.75) * (0.35 * std::exp(-(d - mr) * 7) * (d > mr));
    if (d < mr + 0.004) {
      double z = std::sqrt(std::max(0.0, mr * mr - dx * dx - dy * dy)) / mr;
      double maria = Fbm(dx * 9 + 3, dy * 9 - 1, 5, 21);
      double albedo = 0.95 - 0.45 * Smoothstep(0.5, 0.7, maria);
      double craters = Fbm(dx * 40, dy * 40, 3, 22);
      albedo *= 0.9 + 0.2 * craters;
      Vec3 moon = V(1.0, 0.97, 0.88) * albedo * (0.75 + 0.25 * z);
      c = Mix(c, moon, Saturate((mr - d) / 0.004 + 0.5));
    }
    return c;
  }
  double below = horizon - v;
  double depth = 1 / (below + 0.03);
  Vec3 water = Mix(V(0.04, 0.06, 0.14), V(0.005, 0.01, 0.03), Saturate(below * 1.4));
  double dx = u - mx;
  double width = 0.05 + below * 0.45;
  double ripple = ValueNoise(u * depth * 3.0, depth * 7.0, 23) * 0.6 +
                  ValueNoise(u * depth * 7.0, depth * 17.0, 24) * 0.4;
  double path = std::exp(-(dx / width) * (dx / width));
  double sparkle = Smoothstep(0.45, 0.75, ripple) * path;
  water += V(1.0, 0.95, 0.8) * sparkle * 1.1;
  water += V(0.25, 0.3, 0.45) * path * 0.15 * std::exp(-below * 3);
  return water;
}

// ---------------------------------------------------------------- lighthouse

Vec3 LighthouseShade(double u, double v) {
  const double horizon = -0.3;
  const double lx = 0.42, ly = 0.33; // lamp
  // The cliff: the lighthouse stands on its top.
  double cliff = -0.1 + 0.05 * (Fbm(u * 3, 0.5, 4, 41) - 0.5) - 0.6 * Smoothstep(0.2, -0.1, u) -
                 0.15 * Smoothstep(0.6, 1.0, u);
  bool onRock = v < cliff && u > -0.2;

  Vec3 c;
  if (v >= horizon) {
    double t = (v - horizon) / (1 - horizon);
    c = t < 0.25 ? Mix(V(0.7, 0.38, 0.35), V(0.3, 0.17, 0.35), t / 0.25)
                 : Mix(V(0.3, 0.17, 0.35), V(0.015, 0.02, 0.08), Saturate((t - 0.25) / 0.6));
    c += StarField(u, v, 80, 0.3, 43) * 0.7 * Smoothstep(0.35, 0.8, t);
  } else {
    double below = horizon - v;
    double depth = 1 / (below + 0.03);
    c = Mix(V(0.16, 0.1, 0.2), V(0.01, 0.015, 0.04), Saturate(below * 2.5));
    double glint = ValueNoise(u * depth * 2.5, depth * 8, 44);
    c += V(0.7, 0.4, 0.35) * Smoothstep(0.6, 0.85, glint) * std::exp(-below * 6) * 0.5;
  }

  // The beam reaches left and a little down towards the sea; dust makes it visible.
  double bx = u - lx, by = v - ly;
  double dist = std::sqrt(bx * bx + by * by);
  Vec3 dir = Normalize(V(-1.0, -0.1, 0));
  double along = bx * dir.x + by * dir.y;
  if (along > 0) {
    double across = std::fabs(-bx * dir.y + by * dir.x);
    double spread = 0.015 + along * 0.13;
    double beam = std::exp(-(across / spread) * (across / spread)) * std::exp(-along * 0.8);
    c += V(1.0, 0.9, 0.65) * beam * 0.55;
  }
  c += V(1.0, 0.85, 0.5) * (0.5 * std::exp(-dist * dist / 0.0006) + 0.2 * std::exp(-dist * 9));

  if (onRock) {
    double rim = Smoothstep(0.03, 0.0, cliff - v);
    c = V(0.012, 0.012, 0.02) + V(0.2, 0.14, 0.12) * rim * 0.3;
  }

  // The tower: a tapered, striped cylinder, lit from the left by the last of the dusk.
  const double base = -0.085, top = 0.28;
  if (v > base && v < top) {
    double t = (v - base) / (top - base);
    double hw = Mix(0.075, 0.048, t);
    double x = (u - lx) / hw;
    if (std::fabs(x) < 1) {
      int band = int(std::floor((v - base) / 0.073));
      Vec3 paint = band % 2 ? V(0.7, 0.1, 0.1) : V(0.85, 0.85, 0.82);
      double light = 0.12 + 0.3 * Saturate(0.6 - x * 0.8) * std::sqrt(1 - x * x);
      Vec3 tower = paint * light;
      // A lit window halfway up.
      if (std::fabs(u - lx) < 0.009 && std::fabs(v - 0.1) < 0.017) tower = V(1.0, 0.8, 0.4);
      c = Mix(c, tower, Saturate((1 - std::fabs(x)) * hw / 0.003));
    }
  }
  // Gallery, lantern and roof.
  if (std::fabs(u - lx) < 0.066 && v >= top && v < top + 0.018) c = V(0.05, 0.04, 0.05);
  if (std::fabs(u - lx) < 0.04 && v >= top + 0.018 && v < top + 0.085) {
    double glass = 1 - std::fabs(u - lx) / 0.04;
    c = V(1.0, 0.92, 0.6) * (0.7 + 0.5 * glass);
    if (std::fabs(u - lx) > 0.036 || std::fmod(u - lx + 1.0, 0.026) < 0.004)
      c = V(0.06, 0.05, 0.05);
  }
  double roofT = (v - (top + 0.085)) / 0.06;
  if (roofT >= 0 && roofT < 1 && std::fabs(u - lx) < 0.05 * (1 - roofT)) c = V(0.3, 0.05, 0.05);
  return c;
}

// ---------------------------------------------------------------- tree at dusk

void Branch(Canvas &cv, Rng &rng, double x, double y, double angle, double len, double width,
            int depth) {
  double ex = x + std::cos(angle) * len, ey = y + std::sin(angle) * len;
  // Two half-segments with a slight bend read as wood rather than as straight sticks.
  double bend = rng.Range(-0.12, 0.12);
  double mx = x + std::cos(angle + bend) * len * 0.5, my = y + std::sin(angle + bend) * len * 0.5;
  const Vec3 ink = V(0.015, 0.01, 0.02);
  cv.Capsule(x, y, mx, my, width, ink);
  cv.Capsule(mx, my, ex, ey, width * 0.85, ink);
  if (depth == 0 || width < 0.0007) return;
  int kids = rng.Uniform() < 0.3 ? 3 : 2;
  for (int i = 0; i < kids; ++i) {
    double spread = (i - (kids - 1) / 2.0) * rng.Range(0.35, 0.6);
    // Branches lean slightly upwards: trees grow towards the light.
    double a = angle + spread + rng.Range(-0.15, 0.15);
    a = Mix(a, kPi / 2, 0.08);
    Branch(cv, rng, ex, ey, a, len * rng.Range(0.66, 0.8), width * rng.Range(0.6, 0.72), depth - 1);
  }
}

// ---------------------------------------------------------------- meadow

struct Flower {
  double x, y, size;
  int kind;
  double turn;
};

// ---------------------------------------------------------------- planet

const Vec3 kRingNormal = Normalize(V(0.12, 0.95, -0.32));
const Vec3 kPlanetLight = Normalize(V(-0.7, 0.35, -0.6));
constexpr double kPlanetR = 0.36, kRingIn = 0.5, kRingOut = 0.86;

double RingDensity(double r) {
  if (r < kRingIn || r > kRingOut) return 0;
  double t = (r - kRingIn) / (kRingOut - kRingIn);
  double d =
      0.55 + 0.25 * std::sin(t * 60) * std::sin(t * 23 + 1) + 0.2 * ValueNoise(t * 80, 0, 51);
  d *= Smoothstep(0.0, 0.05, t) * Smoothstep(1.0, 0.93, t);
  d *= 1 - 0.9 * Smoothstep(0.015, 0.0, std::fabs(t - 0.68)); // the dark division
  return Saturate(d);
}

bool RingHit(Vec3 ro, Vec3 rd, double *t, double *r) {
  double den = Dot(rd, kRingNormal);
  if (std::fabs(den) < 1e-9) return false;
  *t = -Dot(ro, kRingNormal) / den;
  if (*t <= 1e-6) return false;
  *r = Length(ro + rd * *t);
  return *r > kRingIn && *r < kRingOut;
}

bool SphereHit(Vec3 ro, Vec3 rd, double *t) {
  double b = Dot(ro, rd), c = Dot(ro, ro) - kPlanetR * kPlanetR, disc = b * b - c;
  if (disc < 0) return false;
  *t = -b - std::sqrt(disc);
  return *t > 1e-6;
}

Vec3 PlanetShade(double u, double v) {
  Vec3 ro = V(u, v, -5), rd = V(0, 0, 1);
  Vec3 c = StarField(u, v, 100, 0.15, 53) * 0.6;
  double ts = 1e30, tr = 1e30, rr = 0;
  bool sphere = SphereHit(ro, rd, &ts);
  bool ring = RingHit(ro, rd, &tr, &rr);
  if (sphere) {
    Vec3 p = ro + rd * ts;
    Vec3 n = p / kPlanetR;
    double lat = Dot(n, kRingNormal);
    double bands = Fbm(lat * 9, 0.3, 4, 54) + 0.15 * std::sin(lat * 38);
    Vec3 albedo = Mix(V(0.85, 0.72, 0.52), V(0.62, 0.42, 0.3), Smoothstep(0.35, 0.75, bands));
    double diff = std::max(0.0, Dot(n, kPlanetLight));
    double tSh, rSh;
    double shade = RingHit(p, kPlanetLight, &tSh, &rSh) ? 1 - 0.75 * RingDensity(rSh) : 1;
    c = albedo * (0.02 + diff * shade * 1.05);
  }
  if (ring && (!sphere || tr < ts)) {
    Vec3 p = ro + rd * tr;
    double dens = RingDensity(rr);
    double tSh;
    double lit = SphereHit(p, kPlanetLight, &tSh) ? 0.08 : 1.0;
    Vec3 rc = Mix(V(0.8, 0.72, 0.6), V(0.95, 0.9, 0.8), ValueNoise(rr * 200, 0, 55));
    double bright = 0.25 + 0.75 * std::fabs(Dot(kRingNormal, kPlanetLight));
    c = Mix(c, rc * bright * lit, dens * 0.9);
  }
  return c;
}

// ---------------------------------------------------------------- candle

Vec3 CandleShade(double u, double v) {
  Vec3 c;
  // The warm light the flame throws around itself.
  double gx = u, gy = v - 0.02;
  double g2 = gx * gx + gy * gy * 0.6;
  c += V(1.0, 0.5, 0.15) * (0.3 * std::exp(-g2 / 0.04) + 0.12 * std::exp(-g2 / 0.25));

  // Wax: a cylinder with a dished top, glowing near the flame.
  const double cw = 0.17, topY = -0.3;
  if (std::fabs(u) < cw && v < topY + 0.02 * (1 - (u / cw) * (u / cw)) - 0.02) {
    double x = u / cw;
    double round = std::sqrt(1 - x * x);
    double glow = std::exp((v - topY) * 5.0);
    // Lit from above: bright and translucent under the flame, fading down the side.
    double fall = std::exp((v - topY) * 1.8);
    Vec3 wax = V(0.95, 0.8, 0.62) * ((0.06 + 0.34 * round * (0.7 - 0.3 * x)) * fall) +
               V(1.0, 0.5, 0.2) * glow * 0.6 * round;
    double edge = Saturate((1 - std::fabs(x)) * cw / 0.004);
    c = Mix(c, wax, edge);
  }
  // Wick.
  if (std::fabs(u - 0.004 * (v - topY) * 10) < 0.006 && v > topY - 0.02 && v < topY + 0.07)
    c = Mix(c, V(0.05, 0.03, 0.02), 0.9);

  const double yb = topY + 0.02, yt = 0.38;
  double t = (v - yb) / (yt - yb);
  if (t > -0.05 && t < 1.05) {
    double tc = Clamp(t, 1e-4, 1.0);
    double w = 0.095 / 0.449 * std::pow(tc, 0.35) * std::pow(std::max(1 - tc, 1e-4), 1.1);
    double sway = 0.015 * tc * tc;
    double m = std::fabs(u - sway) / std::max(w, 1e-4);
    double fadeEnds = Smoothstep(-0.05, 0.05, t) * Smoothstep(1.05, 0.9, t);
    double outer = (1 - Smoothstep(0.55, 1.0, m)) * fadeEnds;
    double core =
        (1 - Smoothstep(0.0, 0.6, m)) * Smoothstep(0.08, 0.25, t) * Smoothstep(0.85, 0.5, t);
    double blue =
        (1 - Smoothstep(0.5, 1.1, m)) * Smoothstep(0.3, 0.05, t) * Smoothstep(-0.05, 0.05, t);
    Vec3 flame = Mix(V(1.0, 0.35, 0.05), V(1.0, 0.75, 0.3), Saturate(1 - m)) * outer * 1.1;
    flame += V(1.0, 0.95, 0.8) * core * 0.9;
    c = c * (1 - outer * 0.8) + flame + V(0.15, 0.3, 1.0) * blue * 0.6;
  }
  return c;
}

// ---------------------------------------------------------------- aurora

Vec3 AuroraShade(double u, double v) {
  Vec3 c = Mix(V(0.02, 0.04, 0.08), V(0.0, 0.0, 0.02), Saturate((v + 0.4) / 1.4));
  c += StarField(u, v, 100, 0.35, 61) * 0.7;
  for (int k = 0; k < 3; ++k) {
    double yc = -0.2 + 0.2 * k + 0.1 * std::sin(u * 2.3 + k * 1.9) +
                0.12 * (Fbm(u * 1.4 + k * 5, k * 3.1, 4, 62) - 0.5);
    double h = v - yc;
    double fold = u * 9 + 2.5 * std::sin(v * 2 + k) + k * 11;
    double rays = Fbm(fold, k * 7.0, 3, 63);
    rays = std::pow(Saturate(rays * 1.3 - 0.15), 2.2) * 2;
    double strength = 0.9 - 0.22 * k;
    if (h > 0) {
      double vert = std::exp(-h / (0.3 + 0.08 * k)) * Smoothstep(0.0, 0.03, h);
      Vec3 col = Mix(V(0.15, 1.0, 0.5), V(0.55, 0.2, 0.85), Smoothstep(0.05, 0.45, h));
      c += col * (vert * rays * strength);
    } else {
      c += V(0.1, 0.8, 0.4) * (std::exp(h * 40) * rays * 0.25 * strength);
    }
  }
  // Snowy peaks against the sky.
  double ridge = -0.45 + 0.35 * std::pow(1 - std::fabs(Fbm(u * 1.8, 0.7, 6, 64) * 2 - 1), 2.0) -
                 0.12 * std::fabs(u);
  if (v < ridge) {
    double snow = Fbm(u * 12, v * 12, 4, 65);
    double lit = Smoothstep(0.5, 0.7, snow) * Smoothstep(ridge - 0.25, ridge, v);
    c = V(0.015, 0.02, 0.035) + V(0.12, 0.3, 0.22) * lit * 0.5;
  }
  return c;
}

} // namespace

Image GlassAndMetalSpheres() {
  const Vec3 eye = {0, 1.25, -4.3}, target = {0, 0.6, 0};
  const Vec3 fw = Normalize(target - eye);
  const Vec3 right = Normalize(Cross(V(0, 1, 0), fw));
  const Vec3 up = Cross(fw, right);
  Image img = Render(kSide, kSide, 3, [&](double u, double v) {
    Vec3 rd = Normalize(fw + right * (u * 0.7) + up * (v * 0.7));
    return ToneMap(Trace(eye, rd, 0) * 1.15);
  });
  ApplyCircularVignette(img, 0.82, 1.05);
  return img;
}

Image SunsetLandscape() {
  const int ss = 2, w = kSide * ss, h = kSide * ss;
  Image img(w, h);
  const double horizon = h * 0.58, focal = w * 0.75, camH = 1.55, z0 = 3.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double side = (x + 0.5) / w * 2 - 1;
      if (y < horizon) {
        img.At(x, y) = SunsetSky((horizon - y) / horizon, side);
      } else {
        // The lake: the sky mirrored, darker, broken up by ripples.
        double below = (y - horizon) / (h - horizon);
        double depth = 1 / (below + 0.02);
        double ripple = ValueNoise(side * depth * 4, depth * 10, 12);
        double mirrorUp = std::min(1.0, below * 0.6 + 0.04 * (ripple - 0.5));
        Vec3 c = SunsetSky(std::max(0.0, mirrorUp), side) * 0.55;
        double path = std::exp(-side * side / (0.004 + below * 0.05));
        c += V(1.0, 0.75, 0.4) * Smoothstep(0.55, 0.8, ripple) * path * 0.8;
        img.At(x, y) = c;
      }
    }
  const double water = 0.08;
  const Vec3 sun = Normalize(V(0, 0.1, 1));
  for (int x = 0; x < w; ++x) {
    double side = (x + 0.5) / w * 2 - 1;
    double ray = side * (w / 2.0) / focal;
    double ymin = h;
    for (double z = 0.4; z < 70 && ymin > 0; z += 0.004 * z + 0.004) {
      double wx = ray * z, wz = z + z0;
      double th = TerrainHeight(wx, wz);
      if (th <= water) continue; // the lake shows through
      double row = horizon + (camH - th) / z * focal;
      if (row >= ymin) continue;
      const double e = 0.03;
      Vec3 n = Normalize(V(TerrainHeight(wx - e, wz) - TerrainHeight(wx + e, wz), 2 * e,
                           TerrainHeight(wx, wz - e) - TerrainHeight(wx, wz + e)));
      double diff = std::max(0.0, Dot(n, sun));
      double rim = std::pow(Saturate(1 - n.y), 1.5);
      Vec3 rock =
          V(0.18, 0.13, 0.16) * (0.35 + 0.3 * n.y) + V(1.0, 0.55, 0.3) * (diff * 0.5 + rim * 0.15);
      double fog = 1 - std::exp(-z * 0.045);
      Vec3 haze = SunsetSky(0.02, side) * 0.9;
      Vec3 col = Mix(rock, haze, fog);
      int r0 = std::max(0, int(std::ceil(row - 0.5)));
      for (int r = r0; r < int(ymin); ++r) img.At(x, r) = col;
      ymin = std::min(ymin, double(r0));
    }
  }
  Image out = Downsample(img, ss);
  ApplyEdgeFade(out, 0.06);
  return out;
}

Image OceanAtSunset() {
  const Vec3 eye = {0, 1.3, 0};
  Image img = Render(kSide, kSide, 3, [&](double u, double v) {
    Vec3 rd = Normalize(V(u * 0.75, v * 0.75 - 0.12, 1));
    if (rd.y >= 0) return OceanSky(rd);
    double t = -eye.y / rd.y;
    Vec3 p = eye + rd * t;
    Vec3 n = WaterNormal(p.x, p.z, t);
    Vec3 refl = Reflect(rd, n);
    if (refl.y < 0) refl.y = -refl.y;
    double cosv = Saturate(-Dot(rd, n));
    double fres = 0.02 + 0.98 * std::pow(1 - cosv, 5.0);
    Vec3 deep = V(0.01, 0.04, 0.07) + V(0.05, 0.12, 0.1) * Saturate(n.x * 2 + 0.2) * 0.4;
    Vec3 c = Mix(deep, OceanSky(refl), fres);
    c += V(1.0, 0.75, 0.45) * std::pow(std::max(0.0, Dot(refl, kOceanSun)), 300.0) * 2.5;
    double fog = 1 - std::exp(-t * 0.004);
    return Mix(c, OceanSky(V(rd.x, 0.0, rd.z)), fog);
  });
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image MoonOverWater() {
  Image img = Render(kSide, kSide, 3, Moonlit);
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image Lighthouse() {
  Image img = Render(kSide, kSide, 3, LighthouseShade);
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image TreeAtDusk() {
  Canvas cv(kSide, kSide, 3);
  cv.ForBox(-1, -1, 1, 1, [](double u, double v, Vec3 &p) {
    double t = (v + 0.45) / 1.45;
    p = t < 0.2    ? Mix(V(1.0, 0.58, 0.25), V(0.95, 0.4, 0.42), t / 0.2)
        : t < 0.55 ? Mix(V(0.95, 0.4, 0.42), V(0.35, 0.22, 0.5), (t - 0.2) / 0.35)
                   : Mix(V(0.35, 0.22, 0.5), V(0.04, 0.04, 0.15), Saturate((t - 0.55) / 0.45));
    double dx = u + 0.42, dy = v + 0.4, d = std::sqrt(dx * dx + dy * dy);
    p += V(1.0, 0.6, 0.25) * (0.45 * std::exp(-d * 5));
    p = Mix(p, V(1.0, 0.88, 0.6), Smoothstep(0.16, 0.15, d));
    double hill = -0.5 + 0.08 * std::cos(u * 1.6 + 0.4) + 0.02 * (Fbm(u * 6, 0, 4, 71) - 0.5);
    if (v < hill) p = V(0.015, 0.01, 0.02);
  });
  Rng rng(72);
  Branch(cv, rng, 0.12, -0.47, kPi / 2 + 0.05, 0.32, 0.032, 10);
  // A few birds on their way home.
  const double birds[][3] = {
      {-0.55, 0.45, 0.03}, {-0.45, 0.52, 0.024}, {-0.62, 0.56, 0.02}, {-0.36, 0.6, 0.018}};
  for (const auto &b : birds) {
    double x = b[0], y = b[1], s = b[2];
    cv.Capsule(x - s, y + s * 0.35, x, y, s * 0.09, V(0.02, 0.015, 0.03));
    cv.Capsule(x, y, x + s, y + s * 0.4, s * 0.09, V(0.02, 0.015, 0.03));
  }
  Image img = cv.Finish();
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image MountainRidges() {
  Image img = Render(kSide, kSide, 2, [](double u, double v) {
    double t = Saturate((v + 0.2) / 1.2);
    Vec3 sky = t < 0.3 ? Mix(V(1.0, 0.78, 0.62), V(0.95, 0.62, 0.62), t / 0.3)
                       : Mix(V(0.95, 0.62, 0.62), V(0.3, 0.35, 0.6), (t - 0.3) / 0.7);
    double dx = u - 0.25, dy = v - 0.12, d = std::sqrt(dx * dx + dy * dy);
    sky += V(1.0, 0.8, 0.55) * (0.35 * std::exp(-d * 5));
    sky = Mix(sky, V(1.0, 0.96, 0.85), Smoothstep(0.1, 0.09, d));
    const Vec3 haze = V(0.98, 0.72, 0.66);
    // Front to back; the first ridge a point lies under decides its colour.
    for (int i = 0; i < 6; ++i) {
      double base = -0.78 + i * 0.15;
      double ridge = base + 0.28 * (Fbm(u * (1.2 + 0.25 * i) + i * 7.3, i * 1.7, 6, 81) - 0.5) * 2;
      if (v < ridge) {
        double far = i / 5.0;
        Vec3 ink = Mix(V(0.08, 0.06, 0.16), Mix(V(0.6, 0.45, 0.6), haze, 0.5), std::pow(far, 0.8));
        // Mist pooling in the valleys below each ridge.
        double mist = Smoothstep(0.0, 0.35, ridge - v) * (0.25 + 0.2 * far);
        return Mix(ink, haze, mist);
      }
    }
    return sky;
  });
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image FlowerMeadow() {
  Canvas cv(kSide, kSide, 2);
  const double horizon = 0.12;
  cv.ForBox(-1, -1, 1, 1, [&](double u, double v, Vec3 &p) {
    if (v > horizon) {
      double t = (v - horizon) / (1 - horizon);
      p = Mix(V(0.85, 0.92, 1.0), V(0.25, 0.5, 0.9), std::sqrt(t));
      double cl = Fbm(u * 2.2, v * 4.5, 6, 91);
      p = Mix(p, V(1, 1, 1), Smoothstep(0.5, 0.7, cl) * 0.85);
      double hill = horizon + 0.07 + 0.05 * std::sin(u * 2.5 + 1) + 0.03 * Fbm(u * 5, 1, 4, 92);
      if (v < hill) p = Mix(V(0.35, 0.55, 0.45), V(0.6, 0.75, 0.75), 0.4);
    } else {
      double t = (horizon - v) / (1 + horizon);
      p = Mix(V(0.35, 0.6, 0.2), V(0.12, 0.35, 0.06), t);
      p *= 0.85 + 0.3 * Fbm(u * 20 / (0.2 + t), v * 40 / (0.2 + t), 3, 93);
    }
  });
  Rng rng(94);
  std::vector<Flower> flowers;
  for (int i = 0; i < 1400; ++i) {
    double d = rng.Uniform();
    d = std::pow(d, 1.4); // more far away, where each takes less room
    double y = horizon - 0.01 - std::pow(d, 1.7) * 1.15;
    double size = 0.006 + std::pow(d, 2.2) * 0.075;
    flowers.push_back(
        {rng.Range(-1.1, 1.1), y, size, int(rng.Uniform() * 6), rng.Range(0, 2 * kPi)});
  }
  std::sort(flowers.begin(), flowers.end(), [](const Flower &a, const Flower &b) {
    return a.y > b.y || (a.y == b.y && a.x < b.x);
  });
  const Vec3 colours[6] = {V(0.9, 0.1, 0.08),   V(1.0, 0.82, 0.15), V(0.97, 0.96, 0.92),
                           V(0.62, 0.35, 0.85), V(1.0, 0.55, 0.72), V(0.3, 0.45, 0.95)};
  for (const Flower &f : flowers) {
    const Vec3 stem = V(0.1, 0.3, 0.05);
    cv.Capsule(f.x, f.y, f.x + f.size * 0.15, f.y - f.size * 2.2, f.size * 0.08, stem);
    Vec3 petal = colours[f.kind];
    const double r = f.size, squash = 0.65;
    cv.ForBox(f.x - r * 1.1, f.y - r * 1.1, f.x + r * 1.1, f.y + r * 1.1,
              [&](double x, double y, Vec3 &p) {
                double dx = x - f.x, dy = (y - f.y) / squash;
                double dist = std::sqrt(dx * dx + dy * dy);
                double a = std::atan2(dy, dx) + f.turn;
                double shape = r * (0.55 + 0.45 * std::fabs(std::cos(2.5 * a)));
                double edge = cv.PixelSize();
                double cover = Saturate((shape - dist) / edge + 0.5);
                if (cover <= 0) return;
                Vec3 col = petal * (0.7 + 0.3 * Saturate(dist / r));
                if (dist < r * 0.25) col = f.kind == 1 ? V(0.55, 0.3, 0.05) : V(1.0, 0.8, 0.1);
                p = Mix(p, col, cover);
              });
  }
  Image img = cv.Finish();
  ApplyEdgeFade(img, 0.06);
  return img;
}

Image RingedPlanet() {
  Image img = Render(kSide, kSide, 3, PlanetShade);
  ApplyCircularVignette(img, 0.9, 1.1);
  return img;
}

Image CandleFlame() { return Render(kSide, kSide, 3, CandleShade); }

Image Aurora() {
  Image img = Render(kSide, kSide, 2, AuroraShade);
  ApplyEdgeFade(img, 0.06);
  return img;
}

} // namespace art
