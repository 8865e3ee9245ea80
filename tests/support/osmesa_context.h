// An offscreen OpenGL context on Mesa's software renderer, for tests that
// need GL but no display. Link OSMesa and GLU only, never libGL.
#pragma once

#include <GL/osmesa.h>

#include <cstdint>
#include <vector>

class OsMesaContext {
public:
  OsMesaContext(int width, int height) : width_(width), height_(height) {
    pixels_.resize(static_cast<size_t>(width) * height * 4);
    context_ = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    if (context_ != nullptr)
      current_ = OSMesaMakeCurrent(context_, pixels_.data(), GL_UNSIGNED_BYTE, width, height);
  }
  ~OsMesaContext() {
    if (context_ == nullptr) return;
    // llvmpipe crashes inside OSMesaDestroyContext when drawing is still
    // queued (seen after two full scene frames): drain it first.
    if (OSMesaGetCurrentContext() == context_) glFinish();
    OSMesaDestroyContext(context_);
  }
  OsMesaContext(const OsMesaContext &) = delete;
  OsMesaContext &operator=(const OsMesaContext &) = delete;

  bool ok() const { return context_ != nullptr && current_; }
  // The colour buffer, bottom row first, RGBA.
  const uint8_t *pixel(int x, int y) {
    glFinish();
    return pixels_.data() + (static_cast<size_t>(y) * width_ + x) * 4;
  }

private:
  int width_, height_;
  std::vector<uint8_t> pixels_;
  OSMesaContext context_ = nullptr;
  GLboolean current_ = GL_FALSE;
};
