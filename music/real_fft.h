// The spectrum's transform: the DFT of 512 real samples, made as one
// 256-point complex FFT of the even and odd samples (radix 2, twiddles
// computed once) and the split step that tells their two spectra apart.
// Written for this one size rather than taken from a library: on the desktop
// build it takes about 1 us, under twice the time of a library tuned with
// hand-written SIMD and half that of a portable library of any size
// (KissFFT), a small share of the spectrum's 5 us budget either way; and it
// builds for the desktop, the browser and Windows alike, with nothing to
// cross-compile and no licence of another's to pass on with the program.
#pragma once

#include <cstdint>

constexpr int realFftSize = 512;
constexpr int realFftBins = realFftSize / 2 + 1; // 0 to the Nyquist bin

struct RealFft {
  // Twiddles e^(-i pi j / h) of the complex FFT's stages, h = 1, 2, ..., 128,
  // each stage's h values after the previous stage's.
  float stageRe[realFftSize / 2 - 1];
  float stageIm[realFftSize / 2 - 1];
  // e^(-2 pi i k / 512), k < 256, for the split step.
  float splitRe[realFftSize / 2];
  float splitIm[realFftSize / 2];
  // Where sample pair n goes so that the stages run in place.
  uint16_t reversed[realFftSize / 2];
};

void RealFftPrepare(RealFft *fft);

// X_k = sum over n of input[n] e^(-2 pi i k n / 512) for k = 0..256, not
// scaled. Allocates nothing; `fft` is only read, so threads may share it.
void RealFftForward(const RealFft *fft, const float *input, float *re, float *im);
