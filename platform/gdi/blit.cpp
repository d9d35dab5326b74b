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

// ---- AlphaBlend -------------------------------------------------------------------------------------------
namespace {

// pixman does the blending (OVER, its vector paths saturate like premultiplied GDI). Stretched
// pixels are first gathered, with Stretch's own mapping, into a small band that pixman then
// blends unscaled, so each destination pixel takes exactly the source pixel ForEachSample
// would give it. Images handed to pixman are kept within its 16-bit coordinates.
constexpr int kTileSpan = 16384;
// Rows per band: about this many pixels, to stay in the cache between gathering and blending.
constexpr int kBandPixels = 32768;

// Releases a pixman image at the end of a scope.
struct ImageRef {
  pixman_image_t* image = nullptr;
  explicit ImageRef(pixman_image_t* i) : image(i) {}
  ~ImageRef() {
    if (image) pixman_image_unref(image);
  }
  ImageRef(const ImageRef&) = delete;
  ImageRef& operator=(const ImageRef&) = delete;
};

class Blender {
 public:
  Blender(const PixelSurface& dst, const PixelSurface& src, const Stretch& st, bool perPixel, uint32_t sca)
      : m_dst(dst), m_src(src), m_st(st), m_format(perPixel ? PIXMAN_a8r8g8b8 : PIXMAN_x8r8g8b8) {
    if (sca != 255) {
      // The constant alpha as a solid mask: pixman scales the source, alpha included, by it.
      const uint16_t level = static_cast<uint16_t>(sca * 257);
      const pixman_color_t colour{level, level, level, level};
      m_mask = pixman_image_create_solid_fill(&colour);
      m_ok = m_mask != nullptr;
    }
  }
  ~Blender() {
    if (m_mask) pixman_image_unref(m_mask);
  }
  Blender(const Blender&) = delete;
  Blender& operator=(const Blender&) = delete;

  // Blends the part of the destination inside `tile` (surface coordinates, at most kTileSpan a
  // side, within the destination rectangle); false when pixman could not be set up.
  bool Blend(const RECT& tile) {
    if (!m_ok) return false;
    const bool unscaled = m_st.Width() == m_st.SourceWidth() && m_st.Height() == m_st.SourceHeight();
    // Memory rows of both run the same way: the source rectangle is blended as it lies.
    if (unscaled && (m_dst.stride < 0) == (m_src.stride < 0)) return Direct(tile);
    return Gathered(tile);
  }

 private:
  bool Direct(const RECT& tile) {
    RECT from = tile;
    OffsetRect(&from, m_st.src.left - m_st.dst.left, m_st.src.top - m_st.dst.top);
    ImageRef source(WrapPixels(m_src, from, m_format));
    return source.image && Composite(source.image, tile);
  }

  bool Gathered(const RECT& tile) {
    const int columns = tile.right - tile.left;
    const int bandRows = std::max(1, kBandPixels / columns);
    m_columns.resize(static_cast<size_t>(columns));
    for (int x = 0; x < columns; ++x)
      m_columns[static_cast<size_t>(x)] = static_cast<int>(m_st.SourceX(tile.left + x));
    for (int top = tile.top; top < tile.bottom; top += bandRows) {
      const RECT band{tile.left, top, tile.right, std::min<LONG>(tile.bottom, top + bandRows)};
      GatherBand(band);
      ImageRef pixels(
          pixman_image_create_bits(m_format, columns, band.bottom - band.top, m_band.data(), columns * 4));
      if (!pixels.image || !Composite(pixels.image, band)) return false;
    }
    return true;
  }

  // Fills the band buffer with the source pixels of `band`, rows in the destination's memory
  // order; a row that samples the same source row as the one before is a copy of it.
  void GatherBand(const RECT& band) {
    const int width = band.right - band.left, rows = band.bottom - band.top;
    const bool bottomUp = m_dst.stride < 0;
    m_band.resize(static_cast<size_t>(width) * static_cast<size_t>(rows));
    int64_t previous = -1;
    for (int r = 0; r < rows; ++r) {
      const int y = bottomUp ? band.bottom - 1 - r : band.top + r;
      const int64_t sy = m_st.SourceY(y);
      uint32_t* out = &m_band[static_cast<size_t>(r) * static_cast<size_t>(width)];
      if (sy == previous) {
        std::memcpy(out, out - width, static_cast<size_t>(width) * 4);
        continue;
      }
      const uint32_t* in = m_src.Row(static_cast<int>(sy));
      for (int x = 0; x < width; ++x) out[x] = in[m_columns[static_cast<size_t>(x)]];
      previous = sy;
    }
  }

  // Blends `from` (the size of `to`, rows in the destination's memory order) onto `to`.
  bool Composite(pixman_image_t* from, const RECT& to) {
    ImageRef target(WrapPixels(m_dst, to, PIXMAN_a8r8g8b8));
    if (!target.image) return false;
    pixman_image_composite32(PIXMAN_OP_OVER, from, m_mask, target.image, 0, 0, 0, 0, 0, 0, to.right - to.left,
                             to.bottom - to.top);
    return true;
  }

  const PixelSurface& m_dst;
  const PixelSurface& m_src;
  const Stretch& m_st;
  pixman_format_code_t m_format;
  pixman_image_t* m_mask = nullptr;
  bool m_ok = true;
  std::vector<int> m_columns;
  std::vector<uint32_t> m_band;
};

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
  const bool perPixel = (ftn.AlphaFormat & AC_SRC_ALPHA) != 0;
  PixRegion area(st.dst);
  area.Intersect(to.clip);
  area.Intersect(RECT{0, 0, to.surface.width, to.surface.height});
  Blender blender(to.surface, from.surface, st, perPixel, sca);
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  for (int i = 0; i < count; ++i) {
    for (LONG top = boxes[i].y1; top < boxes[i].y2; top += kTileSpan) {
      for (LONG left = boxes[i].x1; left < boxes[i].x2; left += kTileSpan) {
        const RECT tile{left, top, std::min<LONG>(boxes[i].x2, left + kTileSpan),
                        std::min<LONG>(boxes[i].y2, top + kTileSpan)};
        if (!blender.Blend(tile)) {
          SetLastError(ERROR_NOT_ENOUGH_MEMORY);
          return FALSE;
        }
      }
    }
  }
  return TRUE;
}
