#include "tools/module/synth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace velmor::synth {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// RBJ-style biquad, direct form I; enough for shaping noise.
class Biquad {
public:
  enum class Kind { LowPass, HighPass, BandPass };
  Biquad(Kind kind, double rate, double frequency, double q) {
    const double w = kTwoPi * frequency / rate;
    const double alpha = std::sin(w) / (2.0 * q);
    const double c = std::cos(w);
    double b0 = 0, b1 = 0, b2 = 0;
    switch (kind) {
    case Kind::LowPass: b0 = (1 - c) / 2, b1 = 1 - c, b2 = (1 - c) / 2; break;
    case Kind::HighPass: b0 = (1 + c) / 2, b1 = -(1 + c), b2 = (1 + c) / 2; break;
    case Kind::BandPass: b0 = alpha, b1 = 0, b2 = -alpha; break;
    }
    const double a0 = 1 + alpha;
    nb0 = b0 / a0, nb1 = b1 / a0, nb2 = b2 / a0;
    na1 = -2 * c / a0, na2 = (1 - alpha) / a0;
  }
  double Run(double x) {
    const double y = nb0 * x + nb1 * x1 + nb2 * x2 - na1 * y1 - na2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }

private:
  double nb0, nb1, nb2, na1, na2;
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};

std::vector<double> Silence(double rate, double seconds) {
  return std::vector<double>(static_cast<size_t>(std::lround(rate * seconds)), 0.0);
}

// Short linear fade so a one-shot sample never ends on a step.
void FadeTail(std::vector<double> &x, double rate, double seconds) {
  const size_t n = std::min(x.size(), static_cast<size_t>(rate * seconds));
  for (size_t i = 0; i < n; ++i) x[x.size() - 1 - i] *= static_cast<double>(i) / n;
}

uint32_t C5Speed(double rate, double rootFrequency) {
  return static_cast<uint32_t>(std::lround(rate * kMiddleC / rootFrequency));
}

it::Sample OneShot(const char *name, const std::vector<double> &x, double rate, double peak) {
  it::Sample s;
  s.name = name;
  s.data = ToPcm(x, peak);
  s.c5Speed = static_cast<uint32_t>(rate);
  return s;
}

it::Sample Looped(const char *name, const std::vector<double> &x, uint32_t c5Speed, double peak) {
  it::Sample s;
  s.name = name;
  s.data = ToPcm(x, peak);
  s.c5Speed = c5Speed;
  s.loop = true;
  s.loopStart = 0;
  s.loopEnd = static_cast<uint32_t>(s.data.size());
  return s;
}

// Metallic cluster of square waves behind a steep high-pass: the hats' and crash's shimmer.
std::vector<double> Metal(double rate, size_t length, double scale, Random &rng, double cutoff) {
  static const double kPartials[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  std::vector<double> phase;
  for (size_t i = 0; i < std::size(kPartials); ++i) phase.push_back(rng.Uniform());
  Biquad h1(Biquad::Kind::HighPass, rate, cutoff, 0.7),
      h2(Biquad::Kind::HighPass, rate, cutoff, 0.7);
  std::vector<double> out(length);
  for (size_t n = 0; n < length; ++n) {
    double sum = 0;
    for (size_t i = 0; i < std::size(kPartials); ++i) {
      const double p = std::fmod(phase[i] + kPartials[i] * scale * n / rate, 1.0);
      sum += p < 0.5 ? 1.0 : -1.0;
    }
    out[n] = h2.Run(h1.Run(sum / 6.0 + 0.8 * rng.Bipolar()));
  }
  return out;
}

// Sum of band-limited sawtooth (or odd-harmonic) oscillators at whole-number
// frequencies: over one second every partial completes whole cycles, so a
// one-second loop is seamless however the detuned voices beat against each other.
struct Oscillator {
  int frequency;
  double level;
  bool oddOnly;
};

std::vector<double> AdditivePad(double rate, const std::vector<Oscillator> &oscillators,
                                double cutoff, Random &rng) {
  const size_t length = static_cast<size_t>(rate);
  std::vector<double> out(length, 0.0);
  for (const Oscillator &o : oscillators) {
    const double phase = rng.Uniform();
    for (int k = 1; k * o.frequency < rate * 0.4; ++k) {
      if (o.oddOnly && k % 2 == 0) continue;
      const double f = static_cast<double>(k) * o.frequency;
      const double amp = o.level / k / std::sqrt(1.0 + std::pow(f / cutoff, 4.0));
      // Whole-number cycles per loop: the phase step is exact in turns per sample.
      for (size_t n = 0; n < length; ++n) {
        const double turns =
            std::fmod(k * (phase + static_cast<double>(o.frequency) * n / rate), 1.0);
        out[n] += amp * std::sin(kTwoPi * turns);
      }
    }
  }
  return out;
}

} // namespace

uint64_t Random::Next() {
  state += 0x9E3779B97F4A7C15ull;
  uint64_t z = state;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Random::Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

std::vector<int16_t> ToPcm(const std::vector<double> &signal, double peak) {
  double top = 0;
  for (double v : signal) {
    // A filter that blew up must stop the build of the module, not become a click.
    if (!std::isfinite(v)) throw std::runtime_error("sample synthesis produced a non-finite value");
    top = std::max(top, std::fabs(v));
  }
  const double scale = top > 0 ? peak * 32767.0 / top : 0.0;
  std::vector<int16_t> out(signal.size());
  for (size_t i = 0; i < signal.size(); ++i)
    out[i] = static_cast<int16_t>(std::clamp(std::lround(signal[i] * scale), -32768l, 32767l));
  return out;
}

it::Sample Kick() {
  // A sub body that sweeps down to 50 Hz, layered with a 258 Hz thump that rings
  // for about 80 ms: the thump carries the beat on small speakers and into the
  // visuals' flicker, which reads the 258 Hz bin of a 512-point spectrum about 25
  // times a second, so the pulse must outlast a video frame.
  const double rate = 44100;
  Random rng(0x4B1C4);
  std::vector<double> x = Silence(rate, 0.45);
  Biquad clickFilter(Biquad::Kind::HighPass, rate, 3000, 0.7);
  double bodyPhase = 0, thumpPhase = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const double t = n / rate;
    bodyPhase += (50.0 + 140.0 * std::exp(-t / 0.03)) / rate;
    thumpPhase += (258.0 + 60.0 * std::exp(-t / 0.008)) / rate;
    const double attack = 1.0 - std::exp(-t / 0.0015);
    const double body = 0.45 * attack * std::exp(-t / 0.22) * std::sin(kTwoPi * bodyPhase);
    const double thump = 1.0 * attack * std::exp(-t / 0.09) * std::sin(kTwoPi * thumpPhase);
    const double click = 0.3 * std::exp(-t / 0.002) * clickFilter.Run(rng.Bipolar());
    x[n] = std::tanh(1.3 * (body + thump + click));
  }
  FadeTail(x, rate, 0.03);
  return OneShot("Kick", x, rate, 0.88);
}

it::Sample Clap() {
  const double rate = 44100;
  Random rng(0xC1A9);
  std::vector<double> x = Silence(rate, 0.35);
  Biquad band(Biquad::Kind::BandPass, rate, 1400, 0.9);
  Biquad snap(Biquad::Kind::HighPass, rate, 5000, 0.7);
  double phase = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const double t = n / rate;
    double env = 0;
    for (double burst : {0.0, 0.011, 0.022})
      if (t >= burst) env += std::exp(-(t - burst) / 0.004);
    if (t >= 0.03) env += 0.9 * std::exp(-(t - 0.03) / 0.09);
    const double noise = rng.Bipolar();
    phase += 195.0 / rate;
    x[n] = 2.2 * env * band.Run(noise) + 0.25 * std::exp(-t / 0.04) * snap.Run(noise) +
           0.12 * std::exp(-t / 0.05) * std::sin(kTwoPi * phase);
  }
  FadeTail(x, rate, 0.03);
  return OneShot("Clap", x, rate, 0.9);
}

it::Sample ClosedHat() {
  const double rate = 44100;
  Random rng(0x4A7);
  std::vector<double> x = Metal(rate, static_cast<size_t>(rate * 0.12), 1.0, rng, 7000);
  for (size_t n = 0; n < x.size(); ++n) x[n] *= std::exp(-(n / rate) / 0.03);
  FadeTail(x, rate, 0.01);
  return OneShot("Closed hat", x, rate, 0.9);
}

it::Sample OpenHat() {
  const double rate = 44100;
  Random rng(0x0BE4);
  std::vector<double> x = Metal(rate, static_cast<size_t>(rate * 0.45), 1.0, rng, 6500);
  for (size_t n = 0; n < x.size(); ++n) x[n] *= std::exp(-(n / rate) / 0.16);
  FadeTail(x, rate, 0.05);
  return OneShot("Open hat", x, rate, 0.9);
}

it::Sample Crash() {
  const double rate = 32000;
  Random rng(0xC4A5);
  std::vector<double> x = Metal(rate, static_cast<size_t>(rate * 1.4), 1.7, rng, 4000);
  Biquad soften(Biquad::Kind::LowPass, rate, 11000, 0.7);
  for (size_t n = 0; n < x.size(); ++n) {
    const double t = n / rate;
    x[n] = soften.Run(x[n]) * (1.0 - std::exp(-t / 0.003)) * std::exp(-t / 0.45);
  }
  FadeTail(x, rate, 0.2);
  return OneShot("Crash", x, rate, 0.9);
}

it::Sample Riser() {
  // Exactly one bar long (32 rows of 60 ms) so it peaks on the next downbeat.
  // Two one-pole low-passes opening from 300 Hz to 9 kHz: stable at any cutoff.
  const double rate = 22050;
  Random rng(0x815E);
  std::vector<double> x = Silence(rate, 1.92);
  double low1 = 0, low2 = 0, rumble = 0;
  for (size_t n = 0; n < x.size(); ++n) {
    const double u = static_cast<double>(n) / x.size();
    const double cutoff = 300.0 * std::pow(9000.0 / 300.0, u);
    const double a = 1.0 - std::exp(-kTwoPi * cutoff / rate);
    low1 += a * (rng.Bipolar() - low1);
    low2 += a * (low1 - low2);
    rumble += (1.0 - std::exp(-kTwoPi * 150.0 / rate)) * (low2 - rumble);
    x[n] = (low2 - rumble) * u * u;
  }
  FadeTail(x, rate, 0.015);
  return OneShot("Riser", x, rate, 0.9);
}

it::Sample Bass() {
  // A round sine with a little second and third harmonic so it still reads on
  // small speakers; kept weak above the third so it stays out of the kick's band.
  const int period = 168; // 262.5 Hz at 44100
  std::vector<double> x(period * 8);
  for (size_t n = 0; n < x.size(); ++n) {
    const double p = kTwoPi * static_cast<double>(n % period) / period;
    x[n] = std::sin(p) + 0.22 * std::sin(2 * p) + 0.07 * std::sin(3 * p) + 0.02 * std::sin(4 * p);
  }
  return Looped("Bass", x, static_cast<uint32_t>(std::lround(period * kMiddleC)), 0.9);
}

it::Sample WarmPad() {
  const double rate = 22050;
  Random rng(0x9AD1);
  const std::vector<Oscillator> osc = {{260, 0.5, false}, {261, 1.0, false}, {262, 1.0, false},
                                       {263, 1.0, false}, {264, 0.5, false}, {131, 0.35, false}};
  return Looped("Warm pad", AdditivePad(rate, osc, 2200, rng), C5Speed(rate, 262), 0.9);
}

it::Sample HollowPad() {
  const double rate = 22050;
  Random rng(0x4011);
  const std::vector<Oscillator> osc = {
      {261, 1.0, true}, {262, 1.0, true}, {263, 1.0, true}, {524, 0.25, true}, {131, 0.3, true}};
  return Looped("Hollow pad", AdditivePad(rate, osc, 1600, rng), C5Speed(rate, 262), 0.9);
}

it::Sample Pluck() {
  // Karplus-Strong: the two-point average adds half a sample of delay, so a
  // 168-sample line rings at 44100 / 168.5 Hz.
  const double rate = 44100;
  const int delay = 168;
  Random rng(0x91C4);
  std::vector<double> x = Silence(rate, 0.9);
  std::vector<double> line(delay);
  double smooth = 0;
  for (double &v : line) {
    smooth += 0.5 * (rng.Bipolar() - smooth);
    v = smooth;
  }
  double mean = 0;
  for (double v : line) mean += v / delay;
  for (double &v : line) v -= mean;
  double previous = line[delay - 1];
  for (size_t n = 0; n < x.size(); ++n) {
    const double current = line[n % delay];
    const double next = 0.997 * 0.5 * (current + previous);
    previous = current;
    line[n % delay] = next;
    x[n] = current;
  }
  FadeTail(x, rate, 0.08);
  it::Sample s = OneShot("Pluck", x, rate, 0.9);
  s.c5Speed = static_cast<uint32_t>(std::lround((delay + 0.5) * kMiddleC));
  return s;
}

it::Sample ElectricPiano() {
  // Two-operator FM at 1:1 whose brightness falls away after the strike, plus a
  // quickly fading high tine.
  const double rate = 22050;
  const int period = 84; // 262.5 Hz
  std::vector<double> x = Silence(rate, 2.4);
  for (size_t n = 0; n < x.size(); ++n) {
    const double t = n / rate;
    const double p = kTwoPi * static_cast<double>(n % period) / period;
    const double index = 0.3 + 1.8 * std::exp(-t / 0.35);
    const double amp =
        (1.0 - std::exp(-t / 0.002)) * (0.6 * std::exp(-t / 0.6) + 0.4 * std::exp(-t / 2.5));
    const double tine = 0.22 * std::exp(-t / 0.05) * std::sin(7 * p);
    x[n] = amp * (std::sin(p + index * std::sin(p)) + 0.1 * std::sin(2 * p) + tine);
  }
  FadeTail(x, rate, 0.1);
  it::Sample s = OneShot("Electric piano", x, rate, 0.9);
  s.c5Speed = static_cast<uint32_t>(std::lround(period * kMiddleC));
  return s;
}

it::Sample Bell() {
  const double rate = 22050;
  const int period = 84;
  std::vector<double> x = Silence(rate, 2.0);
  for (size_t n = 0; n < x.size(); ++n) {
    const double t = n / rate;
    const double p = kTwoPi * static_cast<double>(n) / period;
    const double index = 0.25 + 1.4 * std::exp(-t / 0.4);
    const double amp = (1.0 - std::exp(-t / 0.001)) * std::exp(-t / 0.8);
    x[n] = amp * (std::sin(p + index * std::sin(3.5 * p)) +
                  0.2 * std::exp(-t / 0.3) * std::sin(2.76 * p));
  }
  FadeTail(x, rate, 0.1);
  it::Sample s = OneShot("Bell", x, rate, 0.9);
  s.c5Speed = static_cast<uint32_t>(std::lround(period * kMiddleC));
  return s;
}

it::Sample Lead() {
  const int period = 84; // 262.5 Hz at 22050
  std::vector<double> x(period * 16);
  for (size_t n = 0; n < x.size(); ++n) {
    const double p = kTwoPi * static_cast<double>(n % period) / period;
    x[n] = std::sin(p) + 0.35 * std::sin(2 * p) + 0.18 * std::sin(3 * p) + 0.08 * std::sin(4 * p) +
           0.04 * std::sin(5 * p);
  }
  it::Sample s = Looped("Lead", x, static_cast<uint32_t>(std::lround(period * kMiddleC)), 0.9);
  s.vibratoSpeed = 10;
  s.vibratoDepth = 5;
  s.vibratoSweep = 30;
  return s;
}

} // namespace velmor::synth
