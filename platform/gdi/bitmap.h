// Bitmap objects behind HBITMAP: 32-bit premultiplied BGRA pixels. DIB sections hand their
// memory to the caller; a bottom-up DIB keeps its rows bottom first in memory, as on Windows,
// and its surface view walks them with a negative stride.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <memory>

#include "gdi/object.h"
#include "gdi/surface.h"

namespace umbra::gdi {

class DeviceContext;

class Bitmap final : public GdiObject {
 public:
  // Zero-filled pixels; null when the size is not positive or too large to address.
  static std::unique_ptr<Bitmap> Create(int width, int height, bool dib, bool topDown);

  DWORD Type() const override { return OBJ_BITMAP; }
  int Describe(int size, void* out) const override;

  PixelSurface Surface() const;
  int Width() const { return m_width; }
  int Height() const { return m_height; }
  int Stride() const { return m_width * 4; }
  bool IsDib() const { return m_dib; }
  bool TopDown() const { return m_topDown; }
  // The start of the pixel memory (the bottom row first when bottom-up).
  uint8_t* Memory() const { return m_memory.get(); }

  // The memory DC the bitmap was last selected into; it may sit in one DC only.
  DeviceContext* m_owner = nullptr;

 private:
  struct FreeMemory {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  int m_width = 0;
  int m_height = 0;
  bool m_dib = false;
  bool m_topDown = true;
  std::unique_ptr<uint8_t, FreeMemory> m_memory;
};

// The bitmap behind an HBITMAP, or null.
Bitmap* LookupBitmap(HGDIOBJ handle);

}  // namespace umbra::gdi
