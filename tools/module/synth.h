// Sample synthesis for the module's instruments. Every sample is built from fixed
// parameters and a fixed-seed generator, so the bytes never change between runs.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/module/it_format.h"

namespace velmor::synth {

// SplitMix64: tiny, well-mixed and fully specified, unlike the standard distributions.
class Random {
public:
  explicit Random(uint64_t seed) : state(seed) {}
  uint64_t Next();
  double Uniform(); // [0, 1)
  double Bipolar() { return Uniform() * 2.0 - 1.0; }

private:
  uint64_t state;
};

// Middle C: the pitch every tonal sample is tuned to play at note C-5.
constexpr double kMiddleC = 261.6255653005986;

// Scales to the given peak (of full scale) and rounds to 16 bits.
std::vector<int16_t> ToPcm(const std::vector<double> &signal, double peak);

it::Sample Kick();
it::Sample Clap();
it::Sample ClosedHat();
it::Sample OpenHat();
it::Sample Crash();
it::Sample Riser();
it::Sample Bass();
it::Sample WarmPad();
it::Sample HollowPad();
it::Sample Pluck();
it::Sample ElectricPiano();
it::Sample Bell();
it::Sample Lead();

} // namespace velmor::synth
