// A view of 32-bit pixels: BGRA in memory (0xAARRGGBB as a uint32_t), premultiplied alpha,
// rows top-down. Window surfaces, screen images and DIB sections share this layout.
#pragma once

#include <cstdint>

namespace umbra::gdi {

struct PixelSurface {
  uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;  // bytes per row

  bool Valid() const { return bits && width > 0 && height > 0; }
  uint32_t* Row(int y) const {
    return reinterpret_cast<uint32_t*>(bits + static_cast<ptrdiff_t>(y) * stride);
  }
};

}  // namespace umbra::gdi
