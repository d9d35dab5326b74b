// Bitmaps: DIB sections, compatible and plain bitmaps, their descriptions and GetDIBits.
#include "gdi/bitmap.h"

#include <algorithm>
#include <cstring>

#include "gdi/dc.h"

namespace umbra::gdi {
namespace {

// The largest pixel buffer we hand out; row and buffer offsets stay within int arithmetic.
constexpr int64_t kMaxBitmapBytes = int64_t{1} << 30;

}  // namespace

std::unique_ptr<Bitmap> Bitmap::Create(int width, int height, bool dib, bool topDown) {
  if (width <= 0 || height <= 0) return nullptr;
  int64_t bytes = int64_t{width} * height * 4;
  if (bytes > kMaxBitmapBytes) return nullptr;
  auto* memory = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bytes), 1));
  if (!memory) return nullptr;
  auto bitmap = std::unique_ptr<Bitmap>(new Bitmap);
  bitmap->m_width = width;
  bitmap->m_height = height;
  bitmap->m_dib = dib;
  bitmap->m_topDown = topDown;
  bitmap->m_memory.reset(memory);
  return bitmap;
}

PixelSurface Bitmap::Surface() const {
  if (m_topDown) return PixelSurface{m_memory.get(), m_width, m_height, Stride()};
  uint8_t* lastRow = m_memory.get() + static_cast<ptrdiff_t>(m_height - 1) * Stride();
  return PixelSurface{lastRow, m_width, m_height, -Stride()};
}

int Bitmap::Describe(int size, void* out) const {
  const int needed = m_dib ? sizeof(DIBSECTION) : sizeof(BITMAP);
  if (!out) return needed;
  BITMAP bm{0, m_width, m_height, Stride(), 1, 32, m_dib ? m_memory.get() : nullptr};
  if (m_dib && size >= static_cast<int>(sizeof(DIBSECTION))) {
    DIBSECTION ds{};
    ds.dsBm = bm;
    ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
    ds.dsBmih.biWidth = m_width;
    ds.dsBmih.biHeight = m_topDown ? -m_height : m_height;
    ds.dsBmih.biPlanes = 1;
    ds.dsBmih.biBitCount = 32;
    ds.dsBmih.biCompression = BI_RGB;
    ds.dsBmih.biSizeImage = static_cast<DWORD>(Stride() * m_height);
    std::memcpy(out, &ds, sizeof(ds));
    return sizeof(DIBSECTION);
  }
  if (size < static_cast<int>(sizeof(BITMAP))) return 0;
  std::memcpy(out, &bm, sizeof(bm));
  return sizeof(BITMAP);
}

Bitmap* LookupBitmap(HGDIOBJ handle) { return LookupObjectAs<Bitmap>(handle); }

namespace {

HBITMAP Register(std::unique_ptr<Bitmap> bitmap) {
  if (!bitmap) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return static_cast<HBITMAP>(RegisterObject(std::move(bitmap)));
}

bool Is32BitRgb(const BITMAPINFOHEADER& h) { return h.biBitCount == 32 && h.biCompression == BI_RGB; }

}  // namespace
}  // namespace umbra::gdi

using namespace umbra::gdi;

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits, HANDLE hSection,
                                DWORD offset) {
  if (ppvBits) *ppvBits = nullptr;
  // Only 32-bit BI_RGB in process memory: the only DIBs the system makes.
  if (!pbmi || pbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) || !Is32BitRgb(pbmi->bmiHeader) ||
      hSection || pbmi->bmiHeader.biWidth <= 0 || pbmi->bmiHeader.biHeight == 0 ||
      pbmi->bmiHeader.biHeight == INT32_MIN || (usage != DIB_RGB_COLORS && usage != DIB_PAL_COLORS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const LONG height = pbmi->bmiHeader.biHeight;
  auto bitmap = Bitmap::Create(pbmi->bmiHeader.biWidth, height < 0 ? -height : height, true, height < 0);
  uint8_t* bits = bitmap ? bitmap->Memory() : nullptr;
  HBITMAP handle = Register(std::move(bitmap));
  if (handle && ppvBits) *ppvBits = bits;
  return handle;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  if (!LookupDC(hdc) || cx < 0 || cy < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // An empty size gives the 1x1 default bitmap, as on Windows.
  if (cx == 0 || cy == 0) return static_cast<HBITMAP>(DefaultBitmap());
  return Register(Bitmap::Create(cx, cy, false, true));
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const VOID* lpBits) {
  if (nWidth < 0 || nHeight < 0 || nPlanes != 1 || nBitCount != 32) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (nWidth == 0 || nHeight == 0) return static_cast<HBITMAP>(DefaultBitmap());
  auto bitmap = Bitmap::Create(nWidth, nHeight, false, true);
  if (bitmap && lpBits)
    std::memcpy(bitmap->Memory(), lpBits,
                static_cast<size_t>(bitmap->Stride()) * static_cast<size_t>(nHeight));
  return Register(std::move(bitmap));
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
                     UINT usage) {
  Bitmap* bitmap = LookupBitmap(hbm);
  if (!LookupDC(hdc) || !bitmap || !lpbmi || lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  BITMAPINFOHEADER& header = lpbmi->bmiHeader;
  if (!lpvBits) {
    // Describe the bitmap, as a bottom-up 32-bit DIB.
    header.biWidth = bitmap->Width();
    header.biHeight = bitmap->Height();
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(bitmap->Stride() * bitmap->Height());
    return 1;
  }
  if (!Is32BitRgb(header) || header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool topDown = header.biHeight < 0;
  const int rows = std::min<int64_t>(bitmap->Height(), topDown ? -int64_t{header.biHeight} : header.biHeight);
  const int width = std::min<int>(bitmap->Width(), header.biWidth);
  const size_t stride = static_cast<size_t>(header.biWidth) * 4;
  PixelSurface surface = bitmap->Surface();
  int copied = 0;
  // Scan line 0 is the top row of a top-down DIB and the bottom row of a bottom-up one.
  for (int64_t line = start; line < int64_t{start} + cLines && line < rows; ++line, ++copied) {
    int row = topDown ? static_cast<int>(line) : rows - 1 - static_cast<int>(line);
    auto* out = static_cast<uint8_t*>(lpvBits) + static_cast<size_t>(copied) * stride;
    std::memcpy(out, surface.Row(row), static_cast<size_t>(width) * 4);
  }
  return copied;
}
