// Text output and metrics: glyph painting onto premultiplied BGRA pixels, the text part of
// ExtTextOutW (alignment, opaque cells, clipping, per-character advances), TextOutW, and the
// measuring calls (GetTextMetricsW, GetTextExtentPoint32W, GetTextExtentExPointW,
// GetCharABCWidthsW, GetTextFaceW).
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "gdi/dc.h"
#include "gdi/font.h"

namespace umbra::gdi {

// ---- Painting -----------------------------------------------------------------------------------------
namespace {

// Source-over of an opaque colour at the given coverage onto a premultiplied pixel.
inline uint32_t Blend(uint32_t dst, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  const uint32_t keep = 255 - a;
  auto mix = [&](uint32_t src, uint32_t d) { return (src * a + d * keep + 127) / 255; };
  uint32_t db = dst & 0xFF, dg = (dst >> 8) & 0xFF, dr = (dst >> 16) & 0xFF, da = dst >> 24;
  return mix(255, da) << 24 | mix(r, dr) << 16 | mix(g, dg) << 8 | mix(b, db);
}

void PaintGlyph(const DrawSpace& space, const GlyphImage& image, int left, int top, COLORREF color) {
  if (image.width <= 0 || image.height <= 0) return;
  const uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
  PixRegion area(RECT{left, top, left + image.width, top + image.height});
  area.Intersect(space.clip);
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  for (int i = 0; i < count; ++i) {
    for (int y = boxes[i].y1; y < boxes[i].y2; ++y) {
      uint32_t* row = space.surface.Row(y);
      const uint8_t* coverage = image.coverage.data() + static_cast<ptrdiff_t>(y - top) * image.width - left;
      for (int x = boxes[i].x1; x < boxes[i].x2; ++x) {
        uint32_t a = coverage[x];
        if (a == 255)
          row[x] = PixelOf(color);
        else if (a)
          row[x] = Blend(row[x], r, g, b, a);
      }
    }
  }
}

}  // namespace

void PaintRun(const DrawSpace& space, const ShapedRun& run, int x, int baseline, COLORREF color,
              const INT* dx) {
  // With dx, a cluster starts where the caller's advances put it; glyphs inside keep their offsets.
  std::vector<int64_t> own, given;
  if (dx) {
    own.resize(run.advances.size() + 1);
    given.resize(run.advances.size() + 1);
    for (size_t i = 0; i < run.advances.size(); ++i) {
      own[i + 1] = own[i] + run.advances[i];
      given[i + 1] = given[i] + dx[i];
    }
  }
  POINT origin = space.ToSurface(x, baseline);
  for (const ShapedGlyph& glyph : run.glyphs) {
    int64_t gx = glyph.x;
    if (dx && glyph.unit < run.advances.size()) gx = given[glyph.unit] + (glyph.x - own[glyph.unit]);
    if (gx < -kRegionCoordLimit || gx > kRegionCoordLimit) continue;  // far outside: never shows
    const GlyphImage& image = glyph.face->Glyph(glyph.glyph);
    PaintGlyph(space, image, origin.x + static_cast<int>(gx) + image.left,
               origin.y - glyph.yOffset - image.top, color);
  }
}

void PaintRect(const DrawSpace& space, const RECT& rect, COLORREF color) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  FillArea(space, PixRegion(rect), PixelOf(color));
}

void PaintDecorations(const DrawSpace& space, Font& font, int x, int baseline, int width, COLORREF color) {
  const VerticalMetrics& m = font.Metrics().face;
  if (font.Log().lfUnderline) {
    int top = baseline + m.underlinePosition;
    PaintRect(space, RECT{x, top, x + width, top + m.underlineThickness}, color);
  }
  if (font.Log().lfStrikeOut) {
    int top = baseline - m.strikeoutPosition;
    PaintRect(space, RECT{x, top, x + width, top + m.strikeoutThickness}, color);
  }
}

// ---- ExtTextOutW's text ----------------------------------------------------------------------------------

BOOL DrawTextRun(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT* dx) {
  DeviceContext* dc = LookupDC(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!text || count == 0) return TRUE;
  if (count > INT_MAX) return FALSE;
  std::lock_guard guard(TextLock());
  Font* font = DcFont(*dc);
  if (!font) return FALSE;
  ShapedRun run = Shape(*font, text, static_cast<int>(count));
  // Positions are worked out in 64 bits: callers may pass any int, and text far outside every
  // surface is simply not painted.
  int64_t width = run.width;
  if (dx) {
    width = 0;
    for (UINT i = 0; i < count; ++i) width += dx[i];
  }

  DcState& state = dc->State();
  const UINT align = state.textAlign;
  int64_t left = x, top = y;
  if (align & TA_UPDATECP) {
    left = state.position.x;
    top = state.position.y;
  }
  if ((align & TA_CENTER) == TA_CENTER)
    left -= width / 2;
  else if (align & TA_RIGHT)
    left -= width;
  const FontMetrics& metrics = font->Metrics();
  int64_t baseline = top + metrics.ascent;
  if ((align & TA_BASELINE) == TA_BASELINE)
    baseline = top;
  else if (align & TA_BOTTOM)
    baseline = top - metrics.descent;
  auto far = [](int64_t v) { return v < -kRegionCoordLimit || v > kRegionCoordLimit; };
  if (far(left) || far(left + width) || far(baseline - metrics.ascent) || far(baseline + metrics.height))
    return TRUE;
  if (align & TA_UPDATECP) {
    if ((align & TA_CENTER) == TA_CENTER) {
    } else if (align & TA_RIGHT) {
      state.position.x = static_cast<LONG>(left);
    } else {
      state.position.x = static_cast<LONG>(left + width);
    }
  }

  DrawSpace space;
  if (!dc->Prepare(space)) return TRUE;
  if ((options & ETO_CLIPPED) && rect) space.clip.Intersect(space.ToSurface(*rect));
  const int ix = static_cast<int>(left), iw = static_cast<int>(width), base = static_cast<int>(baseline);
  const int cellTop = base - metrics.ascent;
  if (state.bkMode == OPAQUE)
    PaintRect(space, RECT{ix, cellTop, ix + iw, cellTop + metrics.height}, state.bkColor);
  PaintRun(space, run, ix, base, state.textColor, dx);
  PaintDecorations(space, *font, ix, base, iw, state.textColor);
  return TRUE;
}

}  // namespace umbra::gdi

// ---- Public calls
// -------------------------------------------------------------------------------------------

using namespace umbra::gdi;

namespace {

// The DC's font, ready to measure with; null (last error set) for a bad DC or no usable face.
Font* MeasuringFont(HDC hdc) {
  DeviceContext* dc = LookupDC(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return DcFont(*dc);
}

}  // namespace

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR lpString, int c) {
  if (c < 0 || (!lpString && c > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return ExtTextOutW(hdc, x, y, 0, nullptr, lpString, static_cast<UINT>(c), nullptr);
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW lptm) {
  if (!lptm) return FALSE;
  std::lock_guard guard(TextLock());
  Font* font = MeasuringFont(hdc);
  if (!font) return FALSE;
  const FontMetrics& m = font->Metrics();
  const LOGFONTW& log = font->Log();
  TEXTMETRICW tm{};
  tm.tmHeight = m.height;
  tm.tmAscent = m.ascent;
  tm.tmDescent = m.descent;
  tm.tmInternalLeading = m.internalLeading;
  tm.tmExternalLeading = m.face.externalLeading;
  tm.tmAveCharWidth = m.face.averageWidth;
  if (tm.tmAveCharWidth <= 0) tm.tmAveCharWidth = Shape(*font, u"x", 1).width;
  tm.tmMaxCharWidth = m.face.maxWidth;
  tm.tmWeight = log.lfWeight > 0 ? log.lfWeight : FW_NORMAL;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFFFC;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = log.lfItalic ? 1 : 0;
  tm.tmUnderlined = log.lfUnderline ? 1 : 0;
  tm.tmStruckOut = log.lfStrikeOut ? 1 : 0;
  BYTE pitch = TMPF_VECTOR | TMPF_TRUETYPE;
  if (!FT_IS_FIXED_WIDTH(font->Primary()->ft())) pitch |= TMPF_FIXED_PITCH;  // set means variable pitch
  tm.tmPitchAndFamily = static_cast<BYTE>(pitch | (log.lfPitchAndFamily & 0xF0));
  tm.tmCharSet = log.lfCharSet == DEFAULT_CHARSET ? ANSI_CHARSET : log.lfCharSet;
  *lptm = tm;
  return TRUE;
}

BOOL WINAPI GetTextExtentExPointW(HDC hdc, LPCWSTR lpszString, int cchString, int nMaxExtent, LPINT lpnFit,
                                  LPINT lpnDx, LPSIZE lpSize) {
  if (cchString < 0 || (!lpszString && cchString > 0) || !lpSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard guard(TextLock());
  Font* font = MeasuringFont(hdc);
  if (!font) return FALSE;
  ShapedRun run = Shape(*font, lpszString, cchString);
  int extent = 0;
  int fit = 0;
  for (int i = 0; i < cchString; ++i) {
    extent += run.advances[static_cast<size_t>(i)];
    if (lpnDx) lpnDx[i] = extent;
    if (extent <= nMaxExtent && fit == i) fit = i + 1;
  }
  if (lpnFit) *lpnFit = fit;
  *lpSize = SIZE{run.width, font->Metrics().height};
  return TRUE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE psizl) {
  return GetTextExtentExPointW(hdc, lpString, c, 0, nullptr, nullptr, psizl);
}

BOOL WINAPI GetCharABCWidthsW(HDC hdc, UINT wFirst, UINT wLast, LPABC lpABC) {
  if (!lpABC || wLast < wFirst || wLast > 0x10FFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard guard(TextLock());
  Font* font = MeasuringFont(hdc);
  if (!font) return FALSE;
  for (UINT ch = wFirst; ch <= wLast; ++ch) {
    FaceInstance* face = font->FaceFor(ch);
    FT_UInt glyph = FT_Get_Char_Index(face->ft(), ch);
    int advance = static_cast<int>(std::lround(hb_font_get_glyph_h_advance(face->hb(), glyph) / 64.0)) +
                  face->ExtraAdvance();
    const GlyphImage& image = face->Glyph(glyph);
    ABC& abc = lpABC[ch - wFirst];
    if (image.width == 0) {
      // A blank draws nothing: its whole advance is space after it.
      abc = ABC{0, 0, advance};
    } else {
      abc.abcA = image.left;
      abc.abcB = static_cast<UINT>(image.width);
      abc.abcC = advance - image.left - image.width;
    }
  }
  return TRUE;
}

int WINAPI GetTextFaceW(HDC hdc, int c, LPWSTR lpName) {
  std::lock_guard guard(TextLock());
  DeviceContext* dc = LookupDC(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  Font* font = LookupObjectAs<Font>(dc->Font());
  if (!font) return 0;
  const WCHAR* face = font->Log().lfFaceName;
  int length = static_cast<int>(std::char_traits<char16_t>::length(face));
  if (!lpName) return length + 1;
  if (c <= 0) return 0;
  int copied = std::min(length, c - 1);
  std::copy(face, face + copied, lpName);
  lpName[copied] = 0;
  return copied + 1;
}
