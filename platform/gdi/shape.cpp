// Lines and shapes drawn with the DC's pen and brush: MoveToEx/LineTo, Rectangle, RoundRect,
// Ellipse; single pixels; and ExtTextOutW's opaque rectangle. Shapes follow Windows' pixel
// rules: the right and bottom edges are excluded, a line leaves out its end point, a wide pen is
// centred on the outline unless it is PS_INSIDEFRAME, which keeps it inside the rectangle.
//
// Sections: lines · shapes · pixels · text background.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "gdi/brush.h"
#include "gdi/canvas.h"
#include "gdi/dc.h"
#include "gdi/pen.h"

using namespace umbra::gdi;

namespace {

// ---- Lines ------------------------------------------------------------------------------------------

// On/off run lengths of the one-pixel dash styles.
struct DashPattern {
  int runs[6];
  int count;
};

const DashPattern* PatternOf(UINT style) {
  static const DashPattern kDash{{18, 6}, 2};
  static const DashPattern kDot{{3, 3}, 2};
  static const DashPattern kDashDot{{9, 6, 3, 6}, 4};
  static const DashPattern kDashDotDot{{9, 3, 3, 3, 3, 3}, 6};
  switch (style) {
    case PS_DASH:
      return &kDash;
    case PS_DOT:
      return &kDot;
    case PS_DASHDOT:
      return &kDashDot;
    case PS_DASHDOTDOT:
      return &kDashDotDot;
    default:
      return nullptr;
  }
}

// Whether the n-th pixel of a line is drawn.
bool DashOn(const DashPattern* pattern, int64_t n) {
  if (!pattern) return true;
  int period = 0;
  for (int i = 0; i < pattern->count; ++i) period += pattern->runs[i];
  int64_t at = n % period;
  for (int i = 0; i < pattern->count; ++i) {
    if (at < pattern->runs[i]) return i % 2 == 0;
    at -= pattern->runs[i];
  }
  return false;
}

// A one-pixel line (surface coordinates) without its end point: one pixel per step along the
// major axis, the minor coordinate rounded as Bresenham's stepping gives it. Only the steps
// inside the clip's bounds are walked, so a huge line costs no more than a short one.
void ThinLine(const DrawSpace& space, POINT from, POINT to, uint32_t pixel, const DashPattern* pattern) {
  const int64_t dx = int64_t{to.x} - from.x, dy = int64_t{to.y} - from.y;
  const int64_t adx = std::llabs(dx), ady = std::llabs(dy);
  const int64_t steps = std::max(adx, ady);
  if (steps == 0) return;
  const bool xMajor = adx >= ady;
  const int64_t major0 = xMajor ? from.x : from.y, minor0 = xMajor ? from.y : from.x;
  const int majorStep = (xMajor ? dx : dy) > 0 ? 1 : -1, minorStep = (xMajor ? dy : dx) > 0 ? 1 : -1;
  const int64_t minorRun = xMajor ? ady : adx;
  const RECT b = space.clip.Bounds();
  const int64_t lo = xMajor ? b.left : b.top, hi = (xMajor ? b.right : b.bottom) - 1;
  int64_t first = majorStep > 0 ? lo - major0 : major0 - hi;
  int64_t last = majorStep > 0 ? hi - major0 : major0 - lo;
  first = std::max<int64_t>(first, 0);
  last = std::min<int64_t>(last, steps - 1);
  for (int64_t k = first; k <= last; ++k) {
    if (!DashOn(pattern, k)) continue;
    auto offset = static_cast<int64_t>((__int128{2} * k * minorRun + steps) / (__int128{2} * steps));
    int64_t major = major0 + majorStep * k, minor = minor0 + minorStep * offset;
    int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
    if (x < b.left || x >= b.right || y < b.top || y >= b.bottom) continue;
    if (space.clip.Contains(static_cast<LONG>(x), static_cast<LONG>(y)))
      space.surface.Row(static_cast<int>(y))[x] = pixel;
  }
}

// A wide line: centred on the path through the pixel centres, with round ends.
void WideLine(const DrawSpace& space, POINT from, POINT to, int width, uint32_t pixel) {
  CairoCanvas canvas(space);
  cairo_t* cr = canvas.get();
  if (!cr) return;
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_rgb(cr, ((pixel >> 16) & 0xFF) / 255.0, ((pixel >> 8) & 0xFF) / 255.0,
                       (pixel & 0xFF) / 255.0);
  cairo_set_line_width(cr, width);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_move_to(cr, from.x + 0.5, from.y + 0.5);
  cairo_line_to(cr, to.x + 0.5, to.y + 0.5);
  cairo_stroke(cr);
}

// ---- Shapes -----------------------------------------------------------------------------------------

struct ShapeParts {
  PixRegion outline;
  PixRegion inside;
};

// The pen's outline and the inside of a rectangle or rounded rectangle (logical coordinates;
// ellipse 0 x 0 for square corners).
ShapeParts PartsOf(const RECT& r, int ellipseWidth, int ellipseHeight, const Pen* pen) {
  ShapeParts parts;
  if (!pen || pen->IsNull()) {
    // Without a pen the filled area is one pixel smaller on the right and bottom, as on Windows.
    parts.inside =
        RoundRectShape(RECT{r.left, r.top, r.right - 1, r.bottom - 1}, ellipseWidth, ellipseHeight);
    return parts;
  }
  const int w = pen->Width();
  RECT outer = r;
  int ew = ellipseWidth, eh = ellipseHeight;
  if ((pen->m_style & PS_STYLE_MASK) != PS_INSIDEFRAME && w > 1) {
    int lo = w / 2, hi = w - lo;
    outer = RECT{r.left - lo, r.top - lo, r.right - 1 + hi, r.bottom - 1 + hi};
    if (ew > 1) ew += w - 1;
    if (eh > 1) eh += w - 1;
  }
  parts.outline = RoundRectShape(outer, ew, eh);
  RECT inner{outer.left + w, outer.top + w, outer.right - w, outer.bottom - w};
  if (inner.right > inner.left && inner.bottom > inner.top) {
    parts.inside = RoundRectShape(inner, ew > 1 ? ew - 2 * w : 0, eh > 1 ? eh - 2 * w : 0);
    parts.outline.Subtract(parts.inside);
  }
  return parts;
}

BOOL DrawShape(HDC hdc, int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  RECT r{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
  DrawSpace space;
  if (!dc->Prepare(space) || r.right == r.left || r.bottom == r.top) return TRUE;
  const Pen* pen = LookupPen(dc->Pen());
  ShapeParts parts = PartsOf(r, ellipseWidth, ellipseHeight, pen);
  COLORREF fill = 0;
  if (BrushColour(dc->Brush(), &fill)) FillArea(space, parts.inside, PixelOf(fill));
  if (pen && !pen->IsNull()) FillArea(space, parts.outline, PixelOf(pen->m_colour));
  return TRUE;
}

}  // namespace

BOOL WINAPI MoveToEx(HDC hdc, int x, int y, LPPOINT lppt) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  if (lppt) *lppt = dc->State().position;
  dc->State().position = POINT{x, y};
  return TRUE;
}

BOOL WINAPI GetCurrentPositionEx(HDC hdc, LPPOINT lppt) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !lppt) return FALSE;
  *lppt = dc->State().position;
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int x, int y) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  POINT from = dc->State().position;
  dc->State().position = POINT{x, y};
  const Pen* pen = LookupPen(dc->Pen());
  DrawSpace space;
  if (!pen || pen->IsNull() || !dc->Prepare(space)) return TRUE;
  POINT a = space.ToSurface(from.x, from.y), b = space.ToSurface(x, y);
  if (pen->Width() > 1)
    WideLine(space, a, b, pen->Width(), PixelOf(pen->m_colour));
  else
    ThinLine(space, a, b, PixelOf(pen->m_colour), PatternOf(pen->Dashes()));
  return TRUE;
}

BOOL WINAPI Rectangle(HDC hdc, int left, int top, int right, int bottom) {
  return DrawShape(hdc, left, top, right, bottom, 0, 0);
}

BOOL WINAPI RoundRect(HDC hdc, int left, int top, int right, int bottom, int width, int height) {
  return DrawShape(hdc, left, top, right, bottom, width, height);
}

BOOL WINAPI Ellipse(HDC hdc, int left, int top, int right, int bottom) {
  return DrawShape(hdc, left, top, right, bottom, std::abs(right - left), std::abs(bottom - top));
}

// ---- Pixels -------------------------------------------------------------------------------------------

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  DeviceContext* dc = FindDC(hdc);
  DrawSpace space;
  if (!dc || !dc->Prepare(space)) return CLR_INVALID;
  POINT p = space.ToSurface(x, y);
  if (!space.clip.Contains(p.x, p.y)) return CLR_INVALID;
  space.surface.Row(p.y)[p.x] = PixelOf(color);
  return color & 0xFFFFFF;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  DeviceContext* dc = FindDC(hdc);
  DrawSpace space;
  if (!dc || !dc->Prepare(space)) return CLR_INVALID;
  POINT p = space.ToSurface(x, y);
  if (!space.clip.Contains(p.x, p.y)) return CLR_INVALID;
  uint32_t pixel = space.surface.Row(p.y)[p.x];
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

// ---- Text background ------------------------------------------------------------------------------------

BOOL WINAPI ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* lprect, LPCWSTR lpString, UINT c,
                        const INT* lpDx) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  DrawSpace space;
  if ((options & ETO_OPAQUE) && lprect && lprect->right > lprect->left && lprect->bottom > lprect->top &&
      dc->Prepare(space))
    FillArea(space, PixRegion(*lprect), PixelOf(dc->BkColor()));
  if (!lpString || c == 0) return TRUE;
  return DrawTextRun(hdc, x, y, options, lprect, lpString, c, lpDx);
}
