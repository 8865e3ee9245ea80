// Writes the intro's music module, or describes the composition with --describe.
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

#include "tools/module/it_format.h"
#include "tools/module/song.h"

int main(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--describe") == 0) {
    std::fputs(velmor::song::Describe().c_str(), stdout);
    return 0;
  }
  if (argc != 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: velmor-module OUTFILE\n       velmor-module --describe\n");
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
