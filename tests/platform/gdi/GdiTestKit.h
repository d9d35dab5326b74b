// Small canvases for GDI pixel tests: a memory DC with a 32-bit DIB section selected.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace gditest {

// Opaque BGRA pixel values.
constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFF0000FFu;

inline HBITMAP MakeDib(int width, int height, bool topDown, void** bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = topDown ? -height : height;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, bits, nullptr, 0);
}

class Canvas {
 public:
  Canvas(int width, int height, uint32_t fill = 0, bool topDown = true)
      : m_width(width), m_height(height), m_topDown(topDown) {
    m_dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    m_bitmap = MakeDib(width, height, topDown, &bits);
    m_bits = static_cast<uint32_t*>(bits);
    m_old = SelectObject(m_dc, m_bitmap);
    Fill(fill);
  }
  ~Canvas() {
    SelectObject(m_dc, m_old);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC dc() const { return m_dc; }
  HBITMAP bitmap() const { return m_bitmap; }
  uint32_t* bits() const { return m_bits; }
  uint32_t& At(int x, int y) { return m_bits[Row(y) * m_width + x]; }
  void Fill(uint32_t pixel) {
    for (int i = 0; i < m_width * m_height; ++i) m_bits[i] = pixel;
  }
  // One line per row: '#' where the pixel is `ink`, '.' elsewhere.
  std::string Picture(uint32_t ink) {
    std::string out;
    for (int y = 0; y < m_height; ++y) {
      for (int x = 0; x < m_width; ++x) out += At(x, y) == ink ? '#' : '.';
      out += '\n';
    }
    return out;
  }

 private:
  int Row(int y) const { return m_topDown ? y : m_height - 1 - y; }
  int m_width, m_height;
  bool m_topDown;
  HDC m_dc;
  HBITMAP m_bitmap;
  HGDIOBJ m_old;
  uint32_t* m_bits;
};

// Every channel within one of the expected value.
inline ::testing::AssertionResult Near(uint32_t actual, uint32_t expected) {
  for (int shift = 0; shift < 32; shift += 8) {
    int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > 1)
      return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not near 0x" << expected;
  }
  return ::testing::AssertionSuccess();
}

// Joins picture rows written one per string.
inline std::string Rows(std::initializer_list<const char*> rows) {
  std::string out;
  for (const char* r : rows) (out += r) += '\n';
  return out;
}

}  // namespace gditest
