#include "music/real_fft.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr int half = realFftSize / 2; // points of the complex FFT
constexpr int halfBits = 8;
static_assert(1 << halfBits == half);

// Four floats the compilers (GCC, and clang for the browser) handle as one
// vector register where the target has them, and lane by lane where not.
using Lanes = float __attribute__((vector_size(4 * sizeof(float))));

Lanes Load(const float *at) {
  Lanes v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

void Store(float *at, Lanes v) { std::memcpy(at, &v, sizeof v); }

} // namespace

void RealFftPrepare(RealFft *fft) {
  for (int n = 0; n < half; ++n) {
    int r = 0;
    for (int b = 0; b < halfBits; ++b)
      if (n & (1 << b)) r |= 1 << (halfBits - 1 - b);
    fft->reversed[n] = static_cast<uint16_t>(r);
  }
  // In double, so that each twiddle is the nearest float to its value and
  // the error does not grow from stage to stage.
  int at = 0;
  for (int h = 1; h < half; h *= 2)
    for (int j = 0; j < h; ++j, ++at) {
      double angle = -std::numbers::pi * j / h;
      fft->stageRe[at] = static_cast<float>(std::cos(angle));
      fft->stageIm[at] = static_cast<float>(std::sin(angle));
    }
  for (int k = 0; k < half; ++k) {
    double angle = -2.0 * std::numbers::pi * k / realFftSize;
    fft->splitRe[k] = static_cast<float>(std::cos(angle));
    fft->splitIm[k] = static_cast<float>(std::sin(angle));
  }
}

void RealFftForward(const RealFft *fft, const float *input, float *outRe, float *outIm) {
  // z_n = x_2n + i x_2n+1 in bit-reversed order, real and imaginary parts
  // apart so that the stages read contiguous floats. The first two stages
  // need no multiplication (their twiddles are 1 and -i), so they are done
  // in one pass over groups of four as the pairs are read.
  float re[half], im[half];
  for (int g = 0; g < half; g += 4) {
    const float *z0 = input + 2 * fft->reversed[g], *z1 = input + 2 * fft->reversed[g + 1];
    const float *z2 = input + 2 * fft->reversed[g + 2], *z3 = input + 2 * fft->reversed[g + 3];
    float sum01Re = z0[0] + z1[0], sum01Im = z0[1] + z1[1];
    float dif01Re = z0[0] - z1[0], dif01Im = z0[1] - z1[1];
    float sum23Re = z2[0] + z3[0], sum23Im = z2[1] + z3[1];
    float dif23Re = z2[0] - z3[0], dif23Im = z2[1] - z3[1];
    re[g] = sum01Re + sum23Re;
    im[g] = sum01Im + sum23Im;
    re[g + 2] = sum01Re - sum23Re;
    im[g + 2] = sum01Im - sum23Im;
    re[g + 1] = dif01Re + dif23Im; // dif01 + (-i) dif23
    im[g + 1] = dif01Im - dif23Re;
    re[g + 3] = dif01Re - dif23Im;
    im[g + 3] = dif01Im + dif23Re;
  }
  // The later stages, four butterflies at a time: their groups are a
  // multiple of four long. Written with the compilers' vector type, as the
  // optimisation level the program is built at does not vectorise loops.
  const float *wr = fft->stageRe + 3, *wi = fft->stageIm + 3;
  for (int h = 4; h < half; wr += h, wi += h, h *= 2)
    for (int start = 0; start < half; start += 2 * h) {
      float *ar = re + start, *ai = im + start, *br = ar + h, *bi = ai + h;
      for (int j = 0; j < h; j += 4) {
        Lanes bRe = Load(br + j), bIm = Load(bi + j), aRe = Load(ar + j), aIm = Load(ai + j);
        Lanes wRe = Load(wr + j), wIm = Load(wi + j);
        Lanes tRe = bRe * wRe - bIm * wIm, tIm = bRe * wIm + bIm * wRe;
        Store(br + j, aRe - tRe);
        Store(bi + j, aIm - tIm);
        Store(ar + j, aRe + tRe);
        Store(ai + j, aIm + tIm);
      }
    }
  // Z_k holds both halves' spectra: E_k = (Z_k + conj Z_256-k) / 2 of the
  // even samples, O_k = (Z_k - conj Z_256-k) / 2i of the odd ones, and
  // X_k = E_k + e^(-2 pi i k / 512) O_k. As E_256-k and O_256-k are the
  // conjugates of E_k and O_k, X_256-k = conj(E_k - e^(-2 pi i k / 512) O_k)
  // comes from the same sums. Z_256 is Z_0.
  outRe[0] = re[0] + im[0];
  outIm[0] = 0.0f;
  outRe[half] = re[0] - im[0];
  outIm[half] = 0.0f;
  for (int k = 1; k <= half / 2; ++k) {
    float evenRe = 0.5f * (re[k] + re[half - k]), evenIm = 0.5f * (im[k] - im[half - k]);
    float oddRe = 0.5f * (im[k] + im[half - k]), oddIm = 0.5f * (re[half - k] - re[k]);
    float turnedRe = fft->splitRe[k] * oddRe - fft->splitIm[k] * oddIm;
    float turnedIm = fft->splitRe[k] * oddIm + fft->splitIm[k] * oddRe;
    outRe[k] = evenRe + turnedRe;
    outIm[k] = evenIm + turnedIm;
    outRe[half - k] = evenRe - turnedRe;
    outIm[half - k] = turnedIm - evenIm;
  }
}
