// Brushes and the calls that paint with one: CreateSolidBrush, system colour brushes, FillRect,
// FrameRect and FillRgn.
#include "gdi/brush.h"

#include <cstring>
#include <mutex>

#include "gdi/dc.h"

namespace umbra::gdi {

int Brush::Describe(int size, void* out) const {
  if (!out) return sizeof(LOGBRUSH);
  if (size < static_cast<int>(sizeof(LOGBRUSH))) return 0;
  LOGBRUSH lb{m_style, m_colour, 0};
  std::memcpy(out, &lb, sizeof(lb));
  return sizeof(LOGBRUSH);
}

bool BrushColour(HBRUSH brush, COLORREF* colour) {
  auto value = reinterpret_cast<uintptr_t>(brush);
  if (value >= 1 && value <= COLOR_MENUBAR + 1) {
    *colour = GetSysColor(static_cast<int>(value) - 1);
    return true;
  }
  Brush* object = LookupObjectAs<Brush>(brush);
  if (!object || object->m_style != BS_SOLID) return false;
  *colour = object->m_colour;
  return true;
}

namespace {

// Paints a logical-coordinate area with a brush; false for a bad DC or brush.
BOOL PaintWith(HDC hdc, const PixRegion& area, HBRUSH brush) {
  DeviceContext* dc = LookupDC(hdc);
  COLORREF colour = 0;
  bool paints = BrushColour(brush, &colour);
  if (!dc || (!paints && !LookupObjectAs<Brush>(brush))) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DrawSpace space;
  if (paints && dc->Prepare(space)) FillArea(space, area, PixelOf(colour));
  return TRUE;
}

}  // namespace
}  // namespace umbra::gdi

using namespace umbra::gdi;

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  return static_cast<HBRUSH>(RegisterObject(std::make_unique<Brush>(BS_SOLID, color & 0xFFFFFF)));
}

HBRUSH WINAPI CreateBrushIndirect(const LOGBRUSH* plbrush) {
  if (!plbrush || (plbrush->lbStyle != BS_SOLID && plbrush->lbStyle != BS_NULL)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (plbrush->lbStyle == BS_NULL) return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  return CreateSolidBrush(plbrush->lbColor);
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
  static std::mutex lock;
  static HBRUSH brushes[COLOR_MENUBAR + 1] = {};
  if (nIndex < 0 || nIndex > COLOR_MENUBAR) return nullptr;
  std::lock_guard guard(lock);
  if (!brushes[nIndex]) {
    auto brush = std::make_unique<Brush>(BS_SOLID, GetSysColor(nIndex));
    brush->MarkStock();
    brushes[nIndex] = static_cast<HBRUSH>(RegisterObject(std::move(brush)));
  }
  return brushes[nIndex];
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  if (!lprc) return FALSE;
  if (lprc->right <= lprc->left || lprc->bottom <= lprc->top) return PaintWith(hDC, PixRegion(), hbr);
  return PaintWith(hDC, PixRegion(*lprc), hbr);
}

int WINAPI FrameRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  if (!lprc) return FALSE;
  PixRegion frame;
  if (lprc->right > lprc->left && lprc->bottom > lprc->top) {
    frame.SetRect(*lprc);
    RECT inner{lprc->left + 1, lprc->top + 1, lprc->right - 1, lprc->bottom - 1};
    if (inner.right > inner.left && inner.bottom > inner.top) frame.Subtract(inner);
  }
  return PaintWith(hDC, frame, hbr);
}

BOOL WINAPI FillRgn(HDC hdc, HRGN hrgn, HBRUSH hbr) {
  Region* region = LookupRegion(hrgn);
  if (!region) return FALSE;
  return PaintWith(hdc, region->m_shape, hbr);
}
