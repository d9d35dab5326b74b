#pragma once

#include <windows.h>

#include <cstdint>

namespace Umbra {

// A 32-bit top-down DIB section (BI_RGB, made without a DC): the pixel layout of every skin
// image and scratch bitmap. *bits receives the pixels, width x height of them, row after row
// from the top. Null when the bitmap cannot be made.
HBITMAP CreateDib32(int width, int height, uint32_t** bits);

// Such a DIB section selected into its own memory DC, for scratch drawing and for canvases
// that are read back pixel by pixel. Both are deleted with the canvas.
class CDib32Canvas {
 public:
  CDib32Canvas(int width, int height, HDC compatible = nullptr);
  ~CDib32Canvas();
  CDib32Canvas(const CDib32Canvas&) = delete;
  CDib32Canvas& operator=(const CDib32Canvas&) = delete;

  bool IsValid() const { return m_dc != nullptr; }
  HDC GetDC() const { return m_dc; }
  HBITMAP GetBitmap() const { return m_bitmap; }
  uint32_t* GetBits() const { return m_bits; }

 private:
  HBITMAP m_bitmap = nullptr;
  HDC m_dc = nullptr;
  HGDIOBJ m_old = nullptr;
  uint32_t* m_bits = nullptr;
};

}  // namespace Umbra
