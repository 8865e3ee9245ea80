// Captured output split into its lines, for tests that compare what a
// program said line by line.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0, end;
  while ((end = text.find('\n', start)) != std::string::npos) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}
