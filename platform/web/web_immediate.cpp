#include "platform/web/web_immediate.h"

#include <cstring>

namespace {

// Vertices a primitive takes in a mode of separate primitives; 0 for the
// connected ones.
size_t PrimitiveSize(GLenum mode) {
  switch (mode) {
  case GL_POINTS: return 1;
  case GL_LINES: return 2;
  case GL_TRIANGLES: return 3;
  case GL_QUADS: return 4;
  default: return 0;
  }
}

bool SameColour(const WebVertex &a, const WebVertex &b) {
  return std::memcmp(a.colour, b.colour, sizeof a.colour) == 0;
}

bool OneColour(const WebVertex *vertices, size_t first, size_t count) {
  for (size_t i = first + 1; i < first + count; ++i)
    if (!SameColour(vertices[first], vertices[i])) return false;
  return true;
}

} // namespace

void WebImmediateDraws(GLenum mode, const WebVertex *vertices, size_t count,
                       std::vector<WebDraw> *draws) {
  draws->clear();
  if (count == 0) return;
  size_t size = PrimitiveSize(mode);
  if (size == 0) {
    draws->push_back({0, count, OneColour(vertices, 0, count)});
    return;
  }
  size_t whole = count - count % size; // an unfinished primitive draws nothing
  for (size_t first = 0; first < whole; first += size) {
    bool one = OneColour(vertices, first, size);
    if (!draws->empty()) {
      WebDraw &last = draws->back();
      bool joins = one ? last.oneColour && SameColour(vertices[last.first], vertices[first])
                       : !last.oneColour;
      if (joins) {
        last.count += size;
        continue;
      }
    }
    draws->push_back({first, size, one});
  }
}
