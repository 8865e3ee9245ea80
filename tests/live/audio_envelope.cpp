// Prints the loudness of the last seconds of a raw float stereo 44.1 kHz file
// (what SDL's disk audio driver writes), in windows of a quarter second, so a
// shell test can see a fade. Usage: audio_envelope FILE SECONDS
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: audio_envelope FILE SECONDS\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
  if (!in) {
    std::fprintf(stderr, "audio_envelope: cannot read %s\n", argv[1]);
    return 1;
  }
  const long rate = 44100, window = rate / 4;
  long frames = static_cast<long>(in.tellg()) / 8;
  long wanted = static_cast<long>(std::atof(argv[2]) * rate);
  long first = frames > wanted ? frames - wanted : 0;
  std::vector<float> samples(static_cast<size_t>(2 * (frames - first)));
  in.seekg(first * 8);
  in.read(reinterpret_cast<char *>(samples.data()),
          static_cast<std::streamsize>(samples.size() * 4));
  std::printf("seconds %.3f\n", static_cast<double>(frames) / rate);
  for (long start = 0; start + window <= frames - first; start += window) {
    double sum = 0;
    for (long i = 2 * start; i < 2 * (start + window); ++i) sum += samples[i] * samples[i];
    double rms = std::sqrt(sum / (2.0 * window));
    std::printf("%.2f %.1f\n", static_cast<double>(first + start) / rate,
                rms > 0 ? 20 * std::log10(rms) : -999.0);
  }
  return 0;
}
