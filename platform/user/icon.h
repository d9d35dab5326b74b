// Icons: what an HICON holds, for the window manager (WM_SETICON, the display's window icon)
// and for drawing. LoadIconW and LoadImageW make icons from ICO or PNG resources or files.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace umbra::user {

// One decoded image: rows top to bottom, each pixel a 32-bit 0xAARRGGBB value (bytes B, G, R,
// A in memory) with straight, not premultiplied, alpha.
struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

// The image of a live icon; null for a destroyed or foreign handle.
const IconImage* LookupIcon(HICON icon);

// Decodes an ICO file (PNG or 32-bit images inside) or a PNG file. With width and height 0
// the largest image is taken at its own size; otherwise the smallest image that covers the
// size (else the largest) is scaled to it.
bool DecodeIcon(const BYTE* data, size_t size, int width, int height, IconImage& image);

}  // namespace umbra::user
