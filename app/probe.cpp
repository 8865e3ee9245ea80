#include "app/probe.h"

#include <cstdarg>
#include <cstdio>

void ProbeLine(const char *format, ...) {
  // Formatted first and written in one call: a line never arrives in pieces
  // between other lines on the same stream.
  char line[256];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  std::fprintf(stderr, "probe: %s\n", line);
}
