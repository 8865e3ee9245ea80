// Writes the intro's music module, describes the composition with --describe,
// or checks with --check that a module fits the show's card table.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

#include "scene/timeline_table.h"
#include "tools/module/fit.h"
#include "tools/module/it_format.h"
#include "tools/module/song.h"

namespace {

// Every reason on its own line naming the file, or, when the module fits, its
// length and when each card comes.
int Check(const char *path) {
  const velmor::fit::Fit fit = velmor::fit::CheckModuleFile(path);
  if (!fit.reasons.empty()) {
    for (const std::string &reason : fit.reasons)
      std::fprintf(stderr, "velmor-module: %s: %s\n", path, reason.c_str());
    return 1;
  }
  const auto cards = std::count_if(fit.steps.begin(), fit.steps.end(),
                                   [](const velmor::fit::StepTime &s) { return s.card != noCard; });
  std::printf("%s fits the show: %d cards\n", path, static_cast<int>(cards));
  std::printf("length: %.2f s (one pass)\n", fit.passSeconds);
  std::printf("the show ends at %.2f s, when the music goes back to order 0\n", fit.endSeconds);
  std::printf("card  order  row    at (s)\n");
  for (const velmor::fit::StepTime &s : fit.steps) {
    const std::string card = s.card == noCard ? "end" : std::to_string(s.card);
    const std::string row = s.rowFrom == anyRow ? "any" : std::to_string(s.rowFrom);
    std::printf("%4s  %5u  %3s  %8.2f\n", card.c_str(), s.order, row.c_str(), s.seconds);
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--describe") == 0) {
    std::fputs(velmor::song::Describe().c_str(), stdout);
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "--check") == 0) return Check(argv[2]);
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: velmor-module OUTFILE\n       velmor-module --describe\n"
                         "       velmor-module --check MODULE\n");
    return 2;
  }
  try {
    const std::vector<uint8_t> bytes = velmor::it::WriteModule(velmor::song::Compose());
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "velmor-module: cannot write %s\n", argv[1]);
      return 1;
    }
  } catch (const std::exception &e) {
    std::fprintf(stderr, "velmor-module: %s\n", e.what());
    return 1;
  }
  return 0;
}
