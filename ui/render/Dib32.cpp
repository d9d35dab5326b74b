#include "ui/render/Dib32.h"

namespace Umbra {

HBITMAP CreateDib32(int width, int height, uint32_t** bits) {
  if (bits) *bits = nullptr;
  if (width <= 0 || height <= 0) return nullptr;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  info.bmiHeader.biSizeImage = static_cast<DWORD>(static_cast<unsigned long long>(width) * height * 4);
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (bitmap && !pixels) {
    DeleteObject(bitmap);
    return nullptr;
  }
  if (bits) *bits = static_cast<uint32_t*>(pixels);
  return bitmap;
}

CDib32Canvas::CDib32Canvas(int width, int height, HDC compatible) {
  m_bitmap = CreateDib32(width, height, &m_bits);
  if (!m_bitmap) return;
  m_dc = CreateCompatibleDC(compatible);
  if (m_dc) m_old = SelectObject(m_dc, m_bitmap);
  if (m_dc && (!m_old || m_old == HGDI_ERROR)) {
    DeleteDC(m_dc);
    m_dc = nullptr;
    m_old = nullptr;
  }
}

CDib32Canvas::~CDib32Canvas() {
  if (m_dc) {
    SelectObject(m_dc, m_old);
    DeleteDC(m_dc);
  }
  if (m_bitmap) DeleteObject(m_bitmap);
}

}  // namespace Umbra
