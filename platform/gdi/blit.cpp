// Block transfers between DCs: BitBlt (SRCCOPY and the raster operations that need no source),
// StretchBlt (nearest pixel, or filtered with HALFTONE) and AlphaBlend (premultiplied source
// over the destination, with a constant alpha and nearest-pixel stretching).
//
// Sections: sources and areas · BitBlt · StretchBlt · AlphaBlend.
#include <algorithm>
#include <cstring>
#include <vector>

#include "gdi/brush.h"
#include "gdi/canvas.h"
#include "gdi/dc.h"

using namespace umbra::gdi;

namespace {

// ---- Sources and areas ----------------------------------------------------------------------------

// Where a source DC's pixels are: the whole surface may be read, whatever the DC's clip.
bool SourceOf(DeviceContext* dc, DrawSpace& out) {
  DrawTarget target;
  if (!dc->Target(target) || !target.surface.Valid()) return false;
  out.surface = target.surface;
  POINT device = dc->ToDevice(0, 0);
  out.offset = POINT{device.x + target.origin.x, device.y + target.origin.y};
  out.clip.SetRect(RECT{0, 0, target.surface.width, target.surface.height});
  return true;
}

// A rectangle from a corner and a size that may be negative, in surface coordinates; false
// when it does not fit the coordinate range.
bool SurfaceRect(const DrawSpace& space, int x, int y, int cx, int cy, RECT& out) {
  int64_t left = int64_t{x} + space.offset.x, top = int64_t{y} + space.offset.y;
  int64_t right = left + cx, bottom = top + cy;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  for (int64_t v : {left, top, right, bottom})
    if (v < -kRegionCoordLimit || v > kRegionCoordLimit) return false;
  out = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(right),
             static_cast<LONG>(bottom)};
  return true;
}

bool SameMemory(const PixelSurface& a, const PixelSurface& b) { return a.bits == b.bits; }

bool Overlap(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// A private copy of part of a surface, for reading while the same memory is written.
struct PixelCopy {
  std::vector<uint32_t> pixels;
  PixelSurface surface;
  POINT at{0, 0};  // where the copy's (0,0) was in the original

  PixelCopy(const PixelSurface& from, const RECT& r) : at{r.left, r.top} {
    int w = r.right - r.left, h = r.bottom - r.top;
    pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
      std::memcpy(&pixels[static_cast<size_t>(y) * w], from.Row(r.top + y) + r.left,
                  static_cast<size_t>(w) * 4);
    surface = PixelSurface{reinterpret_cast<uint8_t*>(pixels.data()), w, h, w * 4};
  }
};

// ---- BitBlt ---------------------------------------------------------------------------------------------

// The raster operations that read only the destination and the brush.
bool FillsWithoutSource(DWORD rop, DeviceContext* dc, uint32_t& pixel, bool& invert) {
  invert = false;
  switch (rop) {
    case BLACKNESS:
      pixel = 0xFF000000u;
      return true;
    case WHITENESS:
      pixel = 0xFFFFFFFFu;
      return true;
    case DSTINVERT:
      invert = true;
      return true;
    case PATCOPY: {
      COLORREF colour = 0;
      if (!BrushColour(dc->Brush(), &colour)) return false;
      pixel = PixelOf(colour);
      return true;
    }
    default:
      return false;
  }
}

BOOL FillBlt(DeviceContext* dc, int x, int y, int cx, int cy, DWORD rop) {
  uint32_t pixel = 0;
  bool invert = false;
  if (!FillsWithoutSource(rop, dc, pixel, invert)) return rop == PATCOPY ? TRUE : FALSE;  // null brush
  DrawSpace space;
  RECT r;
  if (!dc->Prepare(space) || !SurfaceRect(space, x, y, cx, cy, r)) return TRUE;
  PixRegion area(r);
  area.Intersect(space.clip);
  if (!invert) {
    FillBoxes(space.surface, area, pixel);
    return TRUE;
  }
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  for (int i = 0; i < count; ++i)
    for (int row = boxes[i].y1; row < boxes[i].y2; ++row)
      for (int col = boxes[i].x1; col < boxes[i].x2; ++col) space.surface.Row(row)[col] ^= 0x00FFFFFFu;
  return TRUE;
}

// Copies pixels: every box of `area` (destination surface coordinates) from the source at
// (box + shift).
void CopyArea(const PixelSurface& dst, const PixRegion& area, const PixelSurface& src, POINT shift) {
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  for (int i = 0; i < count; ++i) {
    const size_t bytes = static_cast<size_t>(boxes[i].x2 - boxes[i].x1) * 4;
    // Whole rows of two surfaces with the same layout are one block: one large copy is faster.
    if (dst.stride > 0 && dst.stride == src.stride && static_cast<size_t>(dst.stride) == bytes) {
      std::memcpy(dst.Row(boxes[i].y1) + boxes[i].x1, src.Row(boxes[i].y1 + shift.y) + boxes[i].x1 + shift.x,
                  bytes * static_cast<size_t>(boxes[i].y2 - boxes[i].y1));
      continue;
    }
    for (int y = boxes[i].y1; y < boxes[i].y2; ++y)
      std::memcpy(dst.Row(y) + boxes[i].x1, src.Row(y + shift.y) + boxes[i].x1 + shift.x, bytes);
  }
}

}  // namespace

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
  DeviceContext* dst = FindDC(hdc);
  if (!dst) return FALSE;
  rop &= ~static_cast<DWORD>(CAPTUREBLT | NOMIRRORBITMAP);
  if (rop != SRCCOPY) {
    BOOL done = FillBlt(dst, x, y, cx, cy, rop);
    if (!done) SetLastError(ERROR_INVALID_PARAMETER);
    return done;
  }
  DeviceContext* src = FindDC(hdcSrc);
  if (!src) return FALSE;
  // A negative size counts from the other corner, in both DCs alike.
  if (cx < 0) {
    x += cx, x1 += cx;
    cx = -cx;
  }
  if (cy < 0) {
    y += cy, y1 += cy;
    cy = -cy;
  }
  DrawSpace to, from;
  RECT d, s;
  if (!dst->Prepare(to) || !SourceOf(src, from) || !SurfaceRect(to, x, y, cx, cy, d) ||
      !SurfaceRect(from, x1, y1, cx, cy, s))
    return TRUE;
  POINT shift{s.left - d.left, s.top - d.top};
  // Only pixels that exist in the source are copied.
  RECT readable{0, 0, from.surface.width, from.surface.height};
  IntersectRect(&s, &s, &readable);
  OffsetRect(&s, -shift.x, -shift.y);
  PixRegion area(d);
  area.Intersect(s);
  area.Intersect(to.clip);
  if (area.Empty()) return TRUE;
  if (SameMemory(to.surface, from.surface)) {
    // Read from a copy when the rectangles share pixels.
    RECT box = area.Bounds();
    OffsetRect(&box, shift.x, shift.y);
    PixelCopy copy(from.surface, box);
    CopyArea(to.surface, area, copy.surface, POINT{shift.x - copy.at.x, shift.y - copy.at.y});
    return TRUE;
  }
  CopyArea(to.surface, area, from.surface, shift);
  return TRUE;
}

// ---- StretchBlt -------------------------------------------------------------------------------------------
namespace {

// How a destination rectangle maps onto a source rectangle (surface coordinates).
struct Stretch {
  RECT dst;  // normalised
  RECT src;  // normalised
  bool mirrorX = false;
  bool mirrorY = false;

  int Width() const { return dst.right - dst.left; }
  int Height() const { return dst.bottom - dst.top; }
  int SourceWidth() const { return src.right - src.left; }
  int SourceHeight() const { return src.bottom - src.top; }
  // The source column or row sampled by a destination one: the pixel under its centre.
  int64_t SourceX(int64_t x) const {
    int64_t i = ((2 * (x - dst.left) + 1) * SourceWidth()) / (2 * int64_t{Width()});
    return mirrorX ? src.right - 1 - i : src.left + i;
  }
  int64_t SourceY(int64_t y) const {
    int64_t i = ((2 * (y - dst.top) + 1) * SourceHeight()) / (2 * int64_t{Height()});
    return mirrorY ? src.bottom - 1 - i : src.top + i;
  }
};

bool MakeStretch(const DrawSpace& to, const DrawSpace& from, int xd, int yd, int wd, int hd, int xs, int ys,
                 int ws, int hs, Stretch& out) {
  if (!SurfaceRect(to, xd, yd, wd, hd, out.dst) || !SurfaceRect(from, xs, ys, ws, hs, out.src)) return false;
  out.mirrorX = (wd < 0) != (ws < 0);
  out.mirrorY = (hd < 0) != (hs < 0);
  return out.Width() > 0 && out.Height() > 0 && out.SourceWidth() > 0 && out.SourceHeight() > 0;
}

// Calls visit(dstPixel, srcPixel) for every destination pixel in the clip whose source pixel
// exists.
template <typename Visit>
void ForEachSample(const DrawSpace& to, const PixelSurface& src, const Stretch& st, Visit visit) {
  PixRegion area(st.dst);
  area.Intersect(to.clip);
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  std::vector<int64_t> columns;
  for (int i = 0; i < count; ++i) {
    columns.resize(static_cast<size_t>(boxes[i].x2 - boxes[i].x1));
    for (int x = boxes[i].x1; x < boxes[i].x2; ++x)
      columns[static_cast<size_t>(x - boxes[i].x1)] = st.SourceX(x);
    for (int y = boxes[i].y1; y < boxes[i].y2; ++y) {
      int64_t sy = st.SourceY(y);
      if (sy < 0 || sy >= src.height) continue;
      uint32_t* out = to.surface.Row(y);
      const uint32_t* in = src.Row(static_cast<int>(sy));
      for (int x = boxes[i].x1; x < boxes[i].x2; ++x) {
        int64_t sx = columns[static_cast<size_t>(x - boxes[i].x1)];
        if (sx >= 0 && sx < src.width) visit(out[x], in[sx]);
      }
    }
  }
}

// HALFTONE: cairo's filtered scaling (a box filter when shrinking, bilinear when growing). The
// source rectangle's edge pixels extend outwards, so nothing from beyond it bleeds in.
void SmoothStretch(const DrawSpace& to, const PixelSurface& src, const Stretch& st) {
  cairo_surface_t* whole = WrapSurface(src);
  if (!whole) return;
  // The source rectangle in memory rows (bottom-up surfaces are stored upside down).
  const bool flipped = src.stride < 0;
  const int memTop = flipped ? src.height - st.src.bottom : st.src.top;
  cairo_surface_t* part =
      cairo_surface_create_for_rectangle(whole, st.src.left, memTop, st.SourceWidth(), st.SourceHeight());
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(part);
  const double sx = static_cast<double>(st.SourceWidth()) / st.Width();
  const double sy = static_cast<double>(st.SourceHeight()) / st.Height();
  // Destination surface coordinates to the part's memory coordinates.
  double xx = st.mirrorX ? -sx : sx, x0 = st.mirrorX ? st.dst.right * sx : -st.dst.left * sx;
  double yy = st.mirrorY ? -sy : sy, y0 = st.mirrorY ? st.dst.bottom * sy : -st.dst.top * sy;
  if (flipped) {
    yy = -yy;
    y0 = st.SourceHeight() - y0;
  }
  cairo_matrix_t m;
  cairo_matrix_init(&m, xx, 0, 0, yy, x0, y0);
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  {
    CairoCanvas canvas(to);
    if (cairo_t* cr = canvas.get()) {
      cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
      cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
      cairo_set_source(cr, pattern);
      cairo_rectangle(cr, st.dst.left, st.dst.top, st.Width(), st.Height());
      cairo_fill(cr);
    }
  }
  cairo_pattern_destroy(pattern);
  cairo_surface_destroy(part);
  cairo_surface_destroy(whole);
}

}  // namespace

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc,
                       int ySrc, int wSrc, int hSrc, DWORD rop) {
  DeviceContext* dst = FindDC(hdcDest);
  if (!dst) return FALSE;
  rop &= ~static_cast<DWORD>(CAPTUREBLT | NOMIRRORBITMAP);
  if (rop != SRCCOPY) return BitBlt(hdcDest, xDest, yDest, wDest, hDest, nullptr, 0, 0, rop);
  if (wDest == wSrc && hDest == hSrc)
    return BitBlt(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, rop);
  DeviceContext* src = FindDC(hdcSrc);
  if (!src) return FALSE;
  DrawSpace to, from;
  Stretch st;
  if (!dst->Prepare(to) || !SourceOf(src, from) ||
      !MakeStretch(to, from, xDest, yDest, wDest, hDest, xSrc, ySrc, wSrc, hSrc, st))
    return TRUE;
  // Work from a copy when reading and writing the same pixels.
  RECT readable{0, 0, from.surface.width, from.surface.height}, part;
  IntersectRect(&part, &st.src, &readable);
  if (IsRectEmpty(&part)) return TRUE;
  PixelSurface source = from.surface;
  std::unique_ptr<PixelCopy> copy;
  if (SameMemory(to.surface, from.surface)) {
    copy = std::make_unique<PixelCopy>(from.surface, part);
    source = copy->surface;
    OffsetRect(&st.src, -copy->at.x, -copy->at.y);
    OffsetRect(&part, -copy->at.x, -copy->at.y);
  }
  if (dst->State().stretchMode == HALFTONE && EqualRect(&part, &st.src))
    SmoothStretch(to, source, st);
  else
    ForEachSample(to, source, st, [](uint32_t& out, uint32_t in) { out = in; });
  return TRUE;
}

// ---- AlphaBlend
// ----------------------------------------------------------------------------------------------
namespace {

// Two 8-bit channels held in the low bytes of 16-bit lanes (0x00xx00xx), each times a factor
// and divided by 255 with rounding.
inline uint32_t ScaleLanes(uint32_t lanes, uint32_t factor) {
  uint32_t x = lanes * factor + 0x00800080u;
  return ((x + ((x >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// Lane-wise sum, each lane capped at 255 (a source that is not truly premultiplied can overflow).
inline uint32_t AddLanes(uint32_t a, uint32_t b) {
  uint32_t sum = a + b;
  uint32_t over = (sum >> 8) & 0x00010001u;
  return (sum | (over * 0xFFu)) & 0x00FF00FFu;
}

// dst = src x sca + dst x (1 - srcAlpha x sca), per channel, on premultiplied pixels.
inline uint32_t BlendPixel(uint32_t dst, uint32_t src, uint32_t sca) {
  uint32_t srcRB = src & 0x00FF00FFu, srcAG = (src >> 8) & 0x00FF00FFu;
  if (sca != 255) {
    srcRB = ScaleLanes(srcRB, sca);
    srcAG = ScaleLanes(srcAG, sca);
  }
  const uint32_t keep = 255 - (srcAG >> 16);
  const uint32_t rb = AddLanes(srcRB, ScaleLanes(dst & 0x00FF00FFu, keep));
  const uint32_t ag = AddLanes(srcAG, ScaleLanes((dst >> 8) & 0x00FF00FFu, keep));
  return rb | ag << 8;
}

}  // namespace

BOOL WINAPI AlphaBlend(HDC hdcDest, int xoriginDest, int yoriginDest, int wDest, int hDest, HDC hdcSrc,
                       int xoriginSrc, int yoriginSrc, int wSrc, int hSrc, BLENDFUNCTION ftn) {
  DeviceContext* dst = FindDC(hdcDest);
  DeviceContext* src = FindDC(hdcSrc);
  if (!dst || !src) return FALSE;
  if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0 || ftn.BlendOp != AC_SRC_OVER) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DrawSpace to, from;
  if (!SourceOf(src, from)) return FALSE;
  Stretch st;
  if (!SurfaceRect(from, xoriginSrc, yoriginSrc, wSrc, hSrc, st.src)) return FALSE;
  // The source rectangle must lie within the source bitmap.
  if (st.src.left < 0 || st.src.top < 0 || st.src.right > from.surface.width ||
      st.src.bottom > from.surface.height) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!dst->Prepare(to)) return TRUE;
  if (!SurfaceRect(to, xoriginDest, yoriginDest, wDest, hDest, st.dst)) return FALSE;
  // Blending a surface onto itself with overlapping rectangles is refused.
  if (SameMemory(to.surface, from.surface) && Overlap(st.dst, st.src)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (st.Width() == 0 || st.Height() == 0 || st.SourceWidth() == 0 || st.SourceHeight() == 0) return TRUE;
  const uint32_t sca = ftn.SourceConstantAlpha;
  if (sca == 0) return TRUE;
  if (ftn.AlphaFormat & AC_SRC_ALPHA) {
    ForEachSample(to, from.surface, st, [sca](uint32_t& out, uint32_t in) {
      uint32_t alpha = in >> 24;
      if (alpha == 255 && sca == 255)
        out = in;
      else if (in != 0)
        out = BlendPixel(out, in, sca);
    });
  } else {
    // Without per-pixel alpha the source counts as opaque.
    ForEachSample(to, from.surface, st,
                  [sca](uint32_t& out, uint32_t in) { out = BlendPixel(out, in | 0xFF000000u, sca); });
  }
  return TRUE;
}
