// Window shapes and transparency: window regions (SetWindowRgn takes ownership of the
// region), layered windows with constant alpha or a colour key, and layered windows whose
// content (per-pixel alpha) comes from UpdateLayeredWindow instead of WM_PAINT.
#include <algorithm>
#include <cstring>
#include <vector>

#include "gdi/dc.h"
#include "user/user.h"

namespace umbra::user {
namespace {

using Mode = display::LayeredState::Mode;

Window* LayeredTopLevel(HWND hwnd) {
  Window* w = Get(hwnd);
  if (!w) return nullptr;
  if (!(w->exStyle & WS_EX_LAYERED) || !w->IsTopLevel()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return w;
}

void Publish(Window* w) {
  if (w->native) display::Current().SetLayered(w->native, w->layered);
}

// Copies size.cx x size.cy pixels at `from` in the source DC into the window surface at (0,0);
// what lies outside the source becomes transparent.
void CopyContent(Window* w, HDC source, POINT from, SIZE size) {
  gdi::PixelSurface dst = SurfaceOf(w);
  gdi::DeviceContext* dc = gdi::LookupDC(source);
  gdi::DrawTarget src;
  if (!dst.Valid()) return;
  bool haveSource = dc && dc->Target(src) && src.surface.Valid();
  int cx = std::min<int>(size.cx, dst.width), cy = std::min<int>(size.cy, dst.height);
  std::vector<uint32_t> row(static_cast<size_t>(std::max(cx, 0)));
  for (int y = 0; y < cy; ++y) {
    std::fill(row.begin(), row.end(), 0);
    int64_t sy = int64_t{src.origin.y} + from.y + y;
    if (haveSource && sy >= 0 && sy < src.surface.height) {
      for (int x = 0; x < cx; ++x) {
        int64_t sx = int64_t{src.origin.x} + from.x + x;
        if (sx >= 0 && sx < src.surface.width)
          row[static_cast<size_t>(x)] = src.surface.Row(static_cast<int>(sy))[sx];
      }
    }
    // Through a row buffer: the source may be this very surface.
    std::memcpy(dst.Row(y), row.data(), row.size() * 4);
  }
}

}  // namespace

void OnLayeredStyleChanged(Window* w, bool layered) {
  w->layered = display::LayeredState{};
  if (layered) w->layered.mode = Mode::Hidden;
  Publish(w);
  InvalidateWhole(w, true);
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

int WINAPI SetWindowRgn(HWND hWnd, HRGN hRgn, BOOL bRedraw) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  gdi::Region* region = nullptr;
  if (hRgn && !(region = gdi::LookupRegion(hRgn))) return 0;
  w->hasRegion = region != nullptr;
  w->region = region ? region->m_shape : gdi::PixRegion();
  // The system owns the region from now on: its handle is released here.
  if (hRgn) DeleteObject(hRgn);
  if (w->native) display::Current().SetRegion(w->native, w->hasRegion ? &w->region : nullptr);
  SetWindowPos(hWnd, nullptr, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | (bRedraw ? 0 : SWP_NOREDRAW));
  if (bRedraw && IsWindow(hWnd)) {
    InvalidateWhole(w, true);
    if (!w->IsTopLevel() && w->parent) InvalidateRegion(w->parent, gdi::PixRegion(w->rect), true, 0);
  }
  return 1;
}

int WINAPI GetWindowRgn(HWND hWnd, HRGN hRgn) {
  Window* w = Get(hWnd);
  gdi::Region* region = gdi::LookupRegion(hRgn);
  if (!w || !region || !w->hasRegion) return ERROR;
  region->m_shape = w->region;
  return region->m_shape.Kind();
}

BOOL WINAPI SetLayeredWindowAttributes(HWND hwnd, COLORREF crKey, BYTE bAlpha, DWORD dwFlags) {
  Window* w = LayeredTopLevel(hwnd);
  if (!w) return FALSE;
  if (dwFlags & ~static_cast<DWORD>(LWA_COLORKEY | LWA_ALPHA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  bool wasContent = w->layered.mode == Mode::Content;
  w->layered = display::LayeredState{Mode::Attributes, dwFlags, bAlpha, crKey, false};
  Publish(w);
  if (wasContent) InvalidateWhole(w, true);  // painted pixels replace the given content
  PresentAll(w);
  return TRUE;
}

BOOL WINAPI GetLayeredWindowAttributes(HWND hwnd, COLORREF* pcrKey, BYTE* pbAlpha, DWORD* pdwFlags) {
  Window* w = LayeredTopLevel(hwnd);
  if (!w || w->layered.mode != Mode::Attributes) {
    if (w) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (pcrKey) *pcrKey = w->layered.key;
  if (pbAlpha) *pbAlpha = w->layered.alpha;
  if (pdwFlags) *pdwFlags = w->layered.flags;
  return TRUE;
}

BOOL WINAPI UpdateLayeredWindow(HWND hWnd, HDC hdcDst, POINT* pptDst, SIZE* psize, HDC hdcSrc, POINT* pptSrc,
                                COLORREF crKey, BLENDFUNCTION* pblend, DWORD dwFlags) {
  std::shared_ptr<Window> ref = Lookup(hWnd);
  Window* w = ref ? LayeredTopLevel(hWnd) : nullptr;
  if (!w) return FALSE;
  // Once attributes were set, content cannot be given until WS_EX_LAYERED is set again.
  bool badFlags = dwFlags & ~static_cast<DWORD>(ULW_COLORKEY | ULW_ALPHA | ULW_OPAQUE | ULW_EX_NORESIZE);
  if (w->layered.mode == Mode::Attributes || badFlags || ((dwFlags & ULW_ALPHA) && !pblend) ||
      (psize && (psize->cx < 0 || psize->cy < 0)) || (hdcSrc && !gdi::LookupDC(hdcSrc))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  (void)hdcDst;
  RECT r = w->rect;
  SIZE size = psize ? *psize : SIZE{r.right - r.left, r.bottom - r.top};
  POINT pos = pptDst ? *pptDst : POINT{r.left, r.top};
  bool moves = pos.x != r.left || pos.y != r.top;
  bool sizes = size.cx != r.right - r.left || size.cy != r.bottom - r.top;
  if ((moves || sizes) && !(sizes && (dwFlags & ULW_EX_NORESIZE))) {
    SetWindowPos(hWnd, nullptr, pos.x, pos.y, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE | (moves ? 0 : SWP_NOMOVE) | (sizes ? 0 : SWP_NOSIZE));
    if (w->dead) return FALSE;
  }
  w->layered.mode = Mode::Content;
  w->layered.flags = dwFlags;
  w->layered.key = crKey;
  w->layered.alpha = pblend ? pblend->SourceConstantAlpha : 255;
  w->layered.perPixel = pblend && (pblend->AlphaFormat & AC_SRC_ALPHA);
  if (hdcSrc) CopyContent(w, hdcSrc, pptSrc ? *pptSrc : POINT{0, 0}, size);
  Publish(w);
  PresentAll(w);
  return TRUE;
}
