// Writes the intro's music module, describes the composition with --describe,
// or checks with --check that a module fits the show's card table.
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <string>

#include "tools/module/fit.h"
#include "tools/module/it_format.h"
#include "tools/module/song.h"

namespace {

// Every reason on its own line naming the file, or, when the module fits, its
// length and when each card comes.
int Check(const char *path) {
  const velmor::fit::Fit fit = velmor::fit::CheckModuleFile(path);
  const std::string report = velmor::fit::Report(fit, path);
  if (fit.reasons.empty()) {
    std::fputs(report.c_str(), stdout);
    return 0;
  }
  for (size_t at = 0, end; (end = report.find('\n', at)) != std::string::npos; at = end + 1)
    std::fprintf(stderr, "velmor-module: %s\n", report.substr(at, end - at).c_str());
  return 1;
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
