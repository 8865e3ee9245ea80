// Renders a module offline with libopenmpt and reports what a listener would
// want checked: length, order start times, level per order, peak and loudness,
// and how strongly the kick drives the 258 Hz band the visuals flicker with.
// usage: velmor-module-render MODULE [OUT.wav]
#include <libopenmpt/libopenmpt.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr size_t kChunk = 32;

double Db(double amplitude) { return amplitude > 0 ? 20.0 * std::log10(amplitude) : -999.0; }

struct Biquad {
  double b0, b1, b2, a1, a2, x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  double Run(double x) {
    const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
    x2 = x1, x1 = x, y2 = y1, y1 = y;
    return y;
  }
};

// The two K-weighting stages of ITU-R BS.1770, derived for any sample rate.
std::vector<Biquad> KWeighting(double rate) {
  const double pi = std::numbers::pi;
  double k = std::tan(pi * 1681.974450955533 / rate);
  const double q1 = 0.7071752369554196;
  const double vh = std::pow(10.0, 3.999843853973347 / 20.0);
  const double vb = std::pow(vh, 0.4996667741545416);
  double a0 = 1 + k / q1 + k * k;
  Biquad shelf{(vh + vb * k / q1 + k * k) / a0, 2 * (k * k - vh) / a0,
               (vh - vb * k / q1 + k * k) / a0, 2 * (k * k - 1) / a0, (1 - k / q1 + k * k) / a0};
  k = std::tan(pi * 38.13547087602444 / rate);
  const double q2 = 0.5003270373238773;
  a0 = 1 + k / q2 + k * k;
  Biquad high{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q2 + k * k) / a0};
  return {shelf, high};
}

double IntegratedLoudness(const std::vector<float> &left, const std::vector<float> &right) {
  std::vector<double> power(left.size());
  std::vector<Biquad> l = KWeighting(kRate), r = KWeighting(kRate);
  for (size_t i = 0; i < left.size(); ++i) {
    const double a = l[1].Run(l[0].Run(left[i])), b = r[1].Run(r[0].Run(right[i]));
    power[i] = a * a + b * b;
  }
  const size_t block = kRate * 4 / 10, step = kRate / 10;
  std::vector<double> blocks;
  for (size_t start = 0; start + block <= power.size(); start += step) {
    double sum = 0;
    for (size_t i = start; i < start + block; ++i) sum += power[i];
    blocks.push_back(sum / block);
  }
  auto gatedMean = [&](double threshold) {
    double sum = 0;
    int n = 0;
    for (double z : blocks)
      if (-0.691 + 10 * std::log10(z + 1e-30) > threshold) sum += z, ++n;
    return n ? sum / n : 0.0;
  };
  const double relative = -0.691 + 10 * std::log10(gatedMean(-70.0) + 1e-30) - 10.0;
  return -0.691 + 10 * std::log10(gatedMean(std::max(relative, -70.0)) + 1e-30);
}

// |X_3| of a Hann-windowed 512-point DFT of the mono mix starting at a frame.
double Bin3(const std::vector<float> &left, const std::vector<float> &right, size_t start) {
  std::complex<double> sum = 0;
  for (size_t n = 0; n < 512 && start + n < left.size(); ++n) {
    const double w = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / 512);
    const double mono = 0.5 * (left[start + n] + right[start + n]);
    sum += w * mono * std::polar(1.0, -2 * std::numbers::pi * 3 * n / 512);
  }
  return std::abs(sum);
}

void WriteWav(const char *path, const std::vector<float> &left, const std::vector<float> &right) {
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char *>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char *>(&v), 2); };
  const uint32_t bytes = static_cast<uint32_t>(left.size() * 4);
  out.write("RIFF", 4), u32(36 + bytes), out.write("WAVEfmt ", 8);
  u32(16), u16(1), u16(2), u32(kRate), u32(kRate * 4), u16(4), u16(16);
  out.write("data", 4), u32(bytes);
  for (size_t i = 0; i < left.size(); ++i)
    for (float v : {left[i], right[i]})
      u16(static_cast<uint16_t>(
          static_cast<int16_t>(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f))));
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: velmor-module-render MODULE [OUT.wav]\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "velmor-module-render: cannot open %s\n", argv[1]);
    return 1;
  }
  openmpt::module mod(file);
  const int orders = mod.get_num_orders();

  // Rows where the instrument called "Kick" starts a note, per order.
  int kickInstrument = 0;
  const std::vector<std::string> names = mod.get_instrument_names();
  for (size_t i = 0; i < names.size(); ++i)
    if (names[i] == "Kick") kickInstrument = static_cast<int>(i) + 1;

  std::vector<float> left, right;
  std::vector<double> orderStart(orders, -1.0);
  std::vector<size_t> kickFrames;
  std::vector<float> bufL(kChunk), bufR(kChunk);
  int lastOrder = -1, lastRow = -1;
  for (;;) {
    const size_t got = mod.read(kRate, kChunk, bufL.data(), bufR.data());
    if (got == 0) break;
    left.insert(left.end(), bufL.begin(), bufL.begin() + got);
    right.insert(right.end(), bufR.begin(), bufR.begin() + got);
    const int order = mod.get_current_order(), row = mod.get_current_row();
    if (order == lastOrder && row == lastRow) continue;
    const size_t startFrame = left.size() - got;
    if (order != lastOrder && order >= 0 && order < orders && orderStart[order] < 0)
      orderStart[order] = static_cast<double>(startFrame) / kRate;
    const int pattern = mod.get_current_pattern();
    for (int ch = 0; ch < mod.get_num_channels() && kickInstrument > 0; ++ch)
      if (mod.get_pattern_row_channel_command(
              pattern, row, ch, openmpt::module::command_instrument) == kickInstrument &&
          mod.get_pattern_row_channel_command(pattern, row, ch, openmpt::module::command_note) <=
              119)
        kickFrames.push_back(startFrame);
    lastOrder = order, lastRow = row;
  }

  double peak = 0, sumSquares = 0;
  for (size_t i = 0; i < left.size(); ++i) {
    peak = std::max(
        {peak, static_cast<double>(std::fabs(left[i])), static_cast<double>(std::fabs(right[i]))});
    sumSquares += 0.5 * (left[i] * left[i] + right[i] * right[i]);
  }
  const double seconds = static_cast<double>(left.size()) / kRate;

  std::printf("module: %s\n", std::filesystem::path(argv[1]).filename().c_str());
  std::printf("title: %s\n", mod.get_metadata("title").c_str());
  std::printf("orders: %d, patterns: %d, channels: %d, instruments: %d, samples: %d\n", orders,
              mod.get_num_patterns(), mod.get_num_channels(), mod.get_num_instruments(),
              mod.get_num_samples());
  std::printf("rows per pattern:");
  for (int p = 0; p < mod.get_num_patterns(); ++p) std::printf(" %d", mod.get_pattern_num_rows(p));
  std::printf("\nduration: %.2f s (libopenmpt), %.2f s rendered at %d Hz\n",
              mod.get_duration_seconds(), seconds, kRate);
  std::printf("peak: %.2f dBFS\nRMS: %.2f dBFS\nintegrated loudness (BS.1770, gated): %.1f LUFS\n",
              Db(peak), Db(std::sqrt(sumSquares / left.size())), IntegratedLoudness(left, right));

  std::printf("\norder  start (s)  RMS (dBFS)  peak (dBFS)\n");
  for (int o = 0; o < orders; ++o) {
    const double end = o + 1 < orders ? orderStart[o + 1] : seconds;
    const size_t a = static_cast<size_t>(std::max(orderStart[o], 0.0) * kRate);
    const size_t b = std::min(left.size(), static_cast<size_t>(end * kRate));
    double p = 0, s = 0;
    for (size_t i = a; i < b; ++i) {
      p = std::max(
          {p, static_cast<double>(std::fabs(left[i])), static_cast<double>(std::fabs(right[i]))});
      s += 0.5 * (left[i] * left[i] + right[i] * right[i]);
    }
    std::printf("%5d  %9.2f  %10.2f  %11.2f\n", o, orderStart[o],
                Db(std::sqrt(s / std::max<size_t>(b - a, 1))), Db(p));
  }

  // Half a beat after each kick is where the off-beat hats sit: the band should
  // be clearly quieter there.
  const size_t halfBeat = static_cast<size_t>(0.24 * kRate);
  std::vector<double> ratios, onsets, offBeats;
  for (size_t f : kickFrames) {
    // Averaged over the 80 ms after the onset: a reader polling at a video frame
    // rate lands anywhere in there.
    double on = 0, off = 0;
    for (size_t t = 0; t <= 8; ++t) {
      on += Bin3(left, right, f + t * kRate / 100) / 9;
      off += Bin3(left, right, f + halfBeat + t * kRate / 100) / 9;
    }
    onsets.push_back(on);
    offBeats.push_back(off);
    if (off > 0) ratios.push_back(on / off);
  }
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
  };
  if (!ratios.empty())
    std::printf(
        "\nkick onsets: %zu; |X3| of a Hann-windowed 512-point FFT of the mono mix (258 Hz;\n"
        "a full-scale sine on the bin gives 128): median %.1f at kicks, %.1f half a beat\n"
        "later; median ratio %.1f\n",
        ratios.size(), median(onsets), median(offBeats), median(ratios));

  if (argc == 3) WriteWav(argv[2], left, right);
  return 0;
}
