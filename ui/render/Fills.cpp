// Solid fills with alpha, two-colour gradients and pen strokes.
//
// Sections: helpers · FillColor · FillGradient · strokes.
#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "ui/render/ArgbColor.h"
#include "ui/render/Dib32.h"
#include "ui/render/MsImgRoutines.h"
#include "ui/render/RenderKit.h"

namespace Umbra {

namespace {

// ---- Helpers ---------------------------------------------------------------------------------

// The part of rc the DC can draw on, in logical coordinates. Fills work on this part only, so
// that a huge rectangle never costs more than the target shows. False when nothing is left.
bool VisiblePart(HDC hDC, const RECT& rc, RECT& part) {
  if (!hDC || rc.left >= rc.right || rc.top >= rc.bottom) return false;
  RECT box{};
  const int kind = GetClipBox(hDC, &box);
  if (kind == ERROR || kind == NULLREGION) return false;
  part = RECT{std::max(rc.left, box.left), std::max(rc.top, box.top), std::min(rc.right, box.right),
              std::min(rc.bottom, box.bottom)};
  return part.left < part.right && part.top < part.bottom;
}

}  // namespace

// ---- FillColor ---------------------------------------------------------------------------------

void CRenderKit::FillColor(HDC hDC, const RECT& rc, DWORD color) {
  if (AlphaOf(color) == 0) return;
  RECT part{};
  if (!VisiblePart(hDC, rc, part)) return;
  if (AlphaOf(color) == 255) {
    const COLORREF oldBk = SetBkColor(hDC, ToColorRef(color));
    ExtTextOutW(hDC, 0, 0, ETO_OPAQUE, &part, nullptr, 0, nullptr);
    SetBkColor(hDC, oldBk);
    return;
  }
  // One pixel holding the colour as it is, stretched with per-pixel alpha: AlphaBlend takes it
  // as pre-multiplied, so each channel becomes c + d * (255 - a) / 255.
  uint32_t* bits = nullptr;
  HBITMAP pixel = CreateDib32(1, 1, &bits);
  if (!pixel) return;
  *bits = color;
  BlitImage(hDC, pixel, part, part, RECT{0, 0, 1, 1}, RECT{0, 0, 0, 0}, true, 255, false, false, false);
  DeleteObject(pixel);
}

// ---- FillGradient ------------------------------------------------------------------------------

namespace {

void GradientWithRoutine(const MsImgRoutines& procs, HDC hDC, const RECT& rc, DWORD color1, DWORD color2,
                         bool vertical) {
  auto vertex = [](LONG x, LONG y, DWORD color) {
    return TRIVERTEX{x,
                     y,
                     static_cast<COLOR16>(RedOf(color) << 8),
                     static_cast<COLOR16>(GreenOf(color) << 8),
                     static_cast<COLOR16>(BlueOf(color) << 8),
                     0xFF00};
  };
  TRIVERTEX vertices[2] = {vertex(rc.left, rc.top, color1), vertex(rc.right, rc.bottom, color2)};
  GRADIENT_RECT mesh{0, 1};
  procs.gradientFill(hDC, vertices, 2, &mesh, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

// 2^k bands of solid colour, more for more steps; band 0 lies at the bottom (or right) edge in
// color2, each further band a step closer to color1.
void GradientWithBands(HDC hDC, const RECT& rc, DWORD color1, DWORD color2, bool vertical, int steps) {
  int shift = 1;
  for (int limit = 4; shift < 6 && steps >= limit; limit *= 2) ++shift;
  const int64_t count = int64_t{1} << shift;
  const int64_t edge = vertical ? rc.bottom : rc.right;
  const int64_t size = vertical ? int64_t{rc.bottom} - rc.top : int64_t{rc.right} - rc.left;
  auto mix = [&](BYTE c1, BYTE c2, int64_t i) {
    return static_cast<BYTE>((c2 * (count - i) + c1 * i) / count);
  };
  for (int64_t i = 0; i < count; ++i) {
    const auto from = static_cast<LONG>(edge - size * (i + 1) / count);
    const auto to = static_cast<LONG>(edge - size * i / count);
    if (from == to) continue;
    const RECT band = vertical ? RECT{rc.left, from, rc.right, to} : RECT{from, rc.top, to, rc.bottom};
    HBRUSH brush =
        CreateSolidBrush(RGB(mix(RedOf(color1), RedOf(color2), i), mix(GreenOf(color1), GreenOf(color2), i),
                             mix(BlueOf(color1), BlueOf(color2), i)));
    if (!brush) continue;
    FillRect(hDC, &band, brush);
    DeleteObject(brush);
  }
}

void DrawGradient(const MsImgRoutines& procs, HDC hDC, const RECT& rc, DWORD color1, DWORD color2,
                  bool vertical, int steps) {
  if (procs.gradientFill)
    GradientWithRoutine(procs, hDC, rc, color1, color2, vertical);
  else
    GradientWithBands(hDC, rc, color1, color2, vertical, steps);
}

// A translucent gradient: drawn opaque into an offscreen bitmap the size of the visible part
// (its origin moved so rc keeps its own coordinates), then blended on with constant alpha.
void BlendGradient(const MsImgRoutines& procs, HDC hDC, const RECT& rc, const RECT& part, DWORD color1,
                   DWORD color2, bool vertical, int steps, BYTE alpha) {
  const int width = part.right - part.left, height = part.bottom - part.top;
  CDib32Canvas scratch(width, height, hDC);
  if (!scratch.IsValid()) return;
  SetWindowOrgEx(scratch.GetDC(), part.left, part.top, nullptr);
  DrawGradient(procs, scratch.GetDC(), rc, color1, color2, vertical, steps);
  // AC_SRC_ALPHA reads every pixel's alpha: they must be opaque whatever the fill wrote there.
  uint32_t* bits = scratch.GetBits();
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < pixels; ++i) bits[i] |= 0xFF000000u;
  procs.alphaBlend(hDC, part.left, part.top, width, height, scratch.GetDC(), part.left, part.top, width,
                   height, BLENDFUNCTION{AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA});
}

}  // namespace

void FillGradientWith(const MsImgRoutines& procs, HDC hDC, const RECT& rc, DWORD color1, DWORD color2,
                      bool vertical, int steps) {
  const BYTE alpha = static_cast<BYTE>((AlphaOf(color1) + AlphaOf(color2)) / 2);
  if (alpha == 0) return;
  RECT part{};
  if (!VisiblePart(hDC, rc, part)) return;
  if (alpha == 255) {
    DrawGradient(procs, hDC, rc, color1, color2, vertical, steps);
    return;
  }
  BlendGradient(procs, hDC, rc, part, color1, color2, vertical, steps, alpha);
}

void CRenderKit::FillGradient(HDC hDC, const RECT& rc, DWORD color1, DWORD color2, bool vertical, int steps) {
  FillGradientWith(ResolvedMsImgRoutines(), hDC, rc, color1, color2, vertical, steps);
}

// ---- Strokes ---------------------------------------------------------------------------------

void CRenderKit::StrokeLine(HDC hDC, const RECT& rc, int width, DWORD color, int style) {
  const LOGPEN logPen{static_cast<UINT>(style), POINT{width, 0}, ToColorRef(color)};
  HPEN pen = CreatePenIndirect(&logPen);
  if (!pen) return;
  HGDIOBJ oldPen = SelectObject(hDC, pen);
  MoveToEx(hDC, rc.left, rc.top, nullptr);
  LineTo(hDC, rc.right, rc.bottom);
  SelectObject(hDC, oldPen);
  DeleteObject(pen);
}

namespace {

// An inside-frame pen and no brush around the shape; the DC's pen and brush come back after.
template <typename Draw>
void StrokeShape(HDC hDC, int width, DWORD color, Draw draw) {
  HPEN pen = CreatePen(PS_INSIDEFRAME, width, ToColorRef(color));
  if (!pen) return;
  HGDIOBJ oldPen = SelectObject(hDC, pen);
  HGDIOBJ oldBrush = SelectObject(hDC, GetStockObject(NULL_BRUSH));
  draw();
  if (oldBrush) SelectObject(hDC, oldBrush);
  SelectObject(hDC, oldPen);
  DeleteObject(pen);
}

}  // namespace

void CRenderKit::StrokeRect(HDC hDC, const RECT& rc, int width, DWORD color) {
  StrokeShape(hDC, width, color, [&] { Rectangle(hDC, rc.left, rc.top, rc.right, rc.bottom); });
}

void CRenderKit::StrokeRoundRect(HDC hDC, const RECT& rc, int width, int cornerWidth, int cornerHeight,
                                 DWORD color) {
  StrokeShape(hDC, width, color,
              [&] { RoundRect(hDC, rc.left, rc.top, rc.right, rc.bottom, cornerWidth, cornerHeight); });
}

}  // namespace Umbra
