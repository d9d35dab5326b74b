// Image drawing: descriptors resolved through the host's image table, and BlitImage, which puts
// part of a pre-multiplied bitmap on a DC as a nine-grid (corners 1:1, edges stretched, the
// centre stretched, tiled or left out) with a constant fade and per-pixel alpha.
//
// Sections: pieces · BlitImage · SoftAlphaBlend · descriptors.
//
// Geometry is computed in 64 bits: corners and rectangles come from skins and may be anything.
// A piece with no area, beyond the 32-bit range or reading outside the source rectangle is not
// drawn, so nothing is ever read outside the bitmap.
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "ui/core/UIHost.h"
#include "ui/render/Dib32.h"
#include "ui/render/ImageDescriptor.h"
#include "ui/render/MsImgRoutines.h"
#include "ui/render/RenderKit.h"

namespace Umbra {

namespace {

// ---- Pieces ------------------------------------------------------------------------------------

// A rectangle as corner and size; the size may come out negative.
struct Box {
  int64_t x = 0, y = 0, w = 0, h = 0;

  int64_t Right() const { return x + w; }
  int64_t Bottom() const { return y + h; }
};

Box BoxOf(const RECT& rc) {
  return Box{rc.left, rc.top, int64_t{rc.right} - rc.left, int64_t{rc.bottom} - rc.top};
}

bool Fits(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Corners and size all as int: what the GDI calls take.
bool FitsInt(const Box& b) {
  return Fits(b.x) && Fits(b.y) && Fits(b.w) && Fits(b.h) && Fits(b.Right()) && Fits(b.Bottom());
}

bool Meets(const Box& b, const RECT& rc) {
  return b.w > 0 && b.h > 0 && b.x < rc.right && rc.left < b.Right() && b.y < rc.bottom &&
         rc.top < b.Bottom();
}

bool Within(const Box& inner, const Box& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.Right() <= outer.Right() &&
         inner.Bottom() <= outer.Bottom();
}

// The source rectangle limited to the bitmap; inverted or outside gives no area.
Box SourceWithin(const RECT& rc, int width, int height) {
  const int64_t left = std::clamp<int64_t>(rc.left, 0, width);
  const int64_t top = std::clamp<int64_t>(rc.top, 0, height);
  const int64_t right = std::clamp<int64_t>(rc.right, left, width);
  const int64_t bottom = std::clamp<int64_t>(rc.bottom, top, height);
  return Box{left, top, right - left, bottom - top};
}

// Copies pieces of the selected bitmap to the target: AlphaBlend when blending, else
// StretchBlt (or BitBlt for unscaled tiles).
class PieceBlitter {
 public:
  PieceBlitter(HDC target, HDC image, const Box& source, bool blend, BYTE fade)
      : m_target(target), m_image(image), m_source(source), m_blend(blend) {
    m_function = BLENDFUNCTION{AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
    m_alphaBlend = ResolvedMsImgRoutines().alphaBlend;
    RECT clip;
    switch (GetClipBox(target, &clip)) {
      case ERROR:
        m_visible = RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
        break;
      case NULLREGION:
        m_visible = RECT{0, 0, 0, 0};
        break;
      default:
        m_visible = clip;
    }
  }

  bool Blending() const { return m_blend; }
  // Where pixels can change at all: pieces outside it are skipped unseen.
  const RECT& Visible() const { return m_visible; }

  void Stretch(const Box& d, const Box& s) const {
    if (!Drawable(d, s)) return;
    if (m_blend) {
      Blend(d, s);
    } else {
      StretchBlt(m_target, Int(d.x), Int(d.y), Int(d.w), Int(d.h), m_image, Int(s.x), Int(s.y), Int(s.w),
                 Int(s.h), SRCCOPY);
    }
  }

  // d and s have the same size.
  void Copy(const Box& d, const Box& s) const {
    if (!Drawable(d, s)) return;
    if (m_blend) {
      Blend(d, s);
    } else {
      BitBlt(m_target, Int(d.x), Int(d.y), Int(d.w), Int(d.h), m_image, Int(s.x), Int(s.y), SRCCOPY);
    }
  }

 private:
  static int Int(int64_t v) { return static_cast<int>(v); }

  bool Drawable(const Box& d, const Box& s) const {
    return d.w > 0 && d.h > 0 && s.w > 0 && s.h > 0 && FitsInt(d) && Within(s, m_source);
  }

  void Blend(const Box& d, const Box& s) const {
    m_alphaBlend(m_target, Int(d.x), Int(d.y), Int(d.w), Int(d.h), m_image, Int(s.x), Int(s.y), Int(s.w),
                 Int(s.h), m_function);
  }

  HDC m_target;
  HDC m_image;
  Box m_source;
  bool m_blend;
  BLENDFUNCTION m_function;
  MsImgRoutines::AlphaBlendProc m_alphaBlend;
  RECT m_visible;
};

// ---- BlitImage ---------------------------------------------------------------------------------

// The tiles of one axis that can show: indexes first..last of count tiles of size `tile` from
// `start`, against the visible span [lo, hi). Empty when last < first.
void VisibleTiles(int64_t start, int64_t length, int64_t tile, int64_t lo, int64_t hi, int64_t& first,
                  int64_t& last) {
  const int64_t count = (length + tile - 1) / tile;
  first = lo > start ? (lo - start) / tile : 0;
  last = hi > start ? std::min(count - 1, (hi - 1 - start) / tile) : -1;
}

// The centre K from the source centre C: stretched, or tiled along one or both axes with the
// last tiles cut to fit. Every tile starts at C's top-left corner.
void DrawCentre(const PieceBlitter& blit, const Box& K, const Box& C, bool xtiled, bool ytiled) {
  if (!xtiled && !ytiled) {
    blit.Stretch(K, C);
    return;
  }
  const int64_t tw = C.w, th = C.h;
  if (tw <= 0 || th <= 0 || K.w <= 0 || K.h <= 0) return;
  const RECT& v = blit.Visible();
  int64_t firstX = 0, lastX = 0, firstY = 0, lastY = 0;
  if (xtiled) VisibleTiles(K.x, K.w, tw, v.left, v.right, firstX, lastX);
  if (ytiled) VisibleTiles(K.y, K.h, th, v.top, v.bottom, firstY, lastY);
  for (int64_t j = firstY; j <= lastY; ++j) {
    for (int64_t i = firstX; i <= lastX; ++i) {
      Box d = K, s = C;
      if (xtiled) {
        d.x = K.x + i * tw;
        d.w = s.w = std::min(tw, K.w - i * tw);
      }
      if (ytiled) {
        d.y = K.y + j * th;
        d.h = s.h = std::min(th, K.h - j * th);
      }
      if (xtiled && ytiled) {
        blit.Copy(d, s);
      } else {
        blit.Stretch(d, s);
      }
    }
  }
}

struct Border {
  bool present;
  Box dest;
  Box source;
};

void DrawBorders(const PieceBlitter& blit, const Box& D, const Box& S, const RECT& rcPaint, int64_t cl,
                 int64_t ct, int64_t cr, int64_t cb) {
  const int64_t midW = D.w - cl - cr, midH = D.h - ct - cb;
  const int64_t srcMidW = S.w - cl - cr, srcMidH = S.h - ct - cb;
  const Border borders[] = {
      {cl > 0 && ct > 0, {D.x, D.y, cl, ct}, {S.x, S.y, cl, ct}},                               // top-left
      {ct > 0, {D.x + cl, D.y, midW, ct}, {S.x + cl, S.y, srcMidW, ct}},                        // top
      {cr > 0 && ct > 0, {D.Right() - cr, D.y, cr, ct}, {S.Right() - cr, S.y, cr, ct}},         // top-right
      {cl > 0, {D.x, D.y + ct, cl, midH}, {S.x, S.y + ct, cl, srcMidH}},                        // left
      {cr > 0, {D.Right() - cr, D.y + ct, cr, midH}, {S.Right() - cr, S.y + ct, cr, srcMidH}},  // right
      {cl > 0 && cb > 0, {D.x, D.Bottom() - cb, cl, cb}, {S.x, S.Bottom() - cb, cl, cb}},       // bottom-left
      {cb > 0, {D.x + cl, D.Bottom() - cb, midW, cb}, {S.x + cl, S.Bottom() - cb, srcMidW, cb}},  // bottom
      {cr > 0 && cb > 0,
       {D.Right() - cr, D.Bottom() - cb, cr, cb},
       {S.Right() - cr, S.Bottom() - cb, cr, cb}},  // bottom-right
  };
  for (const Border& b : borders) {
    if (b.present && Meets(b.dest, rcPaint)) blit.Stretch(b.dest, b.source);
  }
}

void DrawPieces(const PieceBlitter& blit, const RECT& rcDest, const RECT& rcPaint, const Box& S,
                const RECT& rcCorners, bool hole, bool xtiled, bool ytiled) {
  const Box D = BoxOf(rcDest);
  const int64_t cl = rcCorners.left, ct = rcCorners.top, cr = rcCorners.right, cb = rcCorners.bottom;
  // An unscaled image without corners is one plain copy of what is painted. Not with a hole:
  // without corners the whole image is centre, so nothing is drawn.
  if (!blit.Blending() && !hole && D.w == S.w && D.h == S.h && !cl && !ct && !cr && !cb) {
    RECT part;
    if (!IntersectRect(&part, &rcDest, &rcPaint)) return;
    const Box d = BoxOf(part);
    blit.Copy(d, Box{S.x + (d.x - D.x), S.y + (d.y - D.y), d.w, d.h});
    return;
  }
  const Box K{D.x + cl, D.y + ct, D.w - cl - cr, D.h - ct - cb};
  const Box C{S.x + cl, S.y + ct, S.w - cl - cr, S.h - ct - cb};
  if (!hole && Meets(K, rcPaint)) DrawCentre(blit, K, C, xtiled, ytiled);
  DrawBorders(blit, D, S, rcPaint, cl, ct, cr, cb);
}

}  // namespace

void CRenderKit::BlitImage(HDC hDC, HBITMAP hBitmap, const RECT& rcDest, const RECT& rcPaint,
                           const RECT& rcSource, const RECT& rcCorners, bool alpha, BYTE fade, bool hole,
                           bool xtiled, bool ytiled) {
  if (!hDC || !hBitmap) return;
  BITMAP info = {};
  if (GetObjectW(hBitmap, sizeof info, &info) != sizeof info) return;
  const Box S = SourceWithin(rcSource, info.bmWidth, std::abs(info.bmHeight));
  const bool blend = alpha || fade < 255;
  if (S.w <= 0 || S.h <= 0 || (blend && fade == 0)) return;
  HDC image = CreateCompatibleDC(hDC);
  if (!image) return;
  HGDIOBJ old = SelectObject(image, hBitmap);
  if (old && old != HGDI_ERROR) {
    SetStretchBltMode(hDC, HALFTONE);
    PieceBlitter blit(hDC, image, S, blend, fade);
    DrawPieces(blit, rcDest, rcPaint, S, rcCorners, hole, xtiled, ytiled);
    SelectObject(image, old);
  }
  DeleteDC(image);
}

// ---- SoftAlphaBlend ----------------------------------------------------------------------------

namespace {

// x / 255, rounded.
DWORD Div255(DWORD x) { return (x + 127) / 255; }

// Pre-multiplied source over destination, every channel alpha included:
// dst = src * ca / 255 + dst * (1 - srcAlpha * ca / 255 / 255).
DWORD BlendPixel(DWORD dst, DWORD src, DWORD ca) {
  const DWORD keep = 255 - Div255((src >> 24) * ca);
  DWORD out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const DWORD channel = Div255(((src >> shift) & 0xFF) * ca) + Div255(((dst >> shift) & 0xFF) * keep);
    out |= std::min<DWORD>(channel, 255) << shift;
  }
  return out;
}

// The source rectangle must lie within the bitmap selected into the source DC, as AlphaBlend
// demands; a DC without a bitmap to check passes.
bool SourceFits(HDC hdcSrc, int x, int y, int w, int h) {
  HGDIOBJ bitmap = GetCurrentObject(hdcSrc, OBJ_BITMAP);
  BITMAP info = {};
  if (!bitmap || GetObjectW(bitmap, sizeof info, &info) != sizeof info) return true;
  return x >= 0 && y >= 0 && int64_t{x} + w <= info.bmWidth && int64_t{y} + h <= std::abs(info.bmHeight);
}

// The part of the destination that can change, in the destination's logical coordinates.
bool VisiblePart(HDC hdcDest, const Box& dest, Box& out) {
  RECT clip;
  const int kind = GetClipBox(hdcDest, &clip);
  if (kind == NULLREGION) return false;
  out = dest;
  if (kind != ERROR) {
    const int64_t left = std::max<int64_t>(dest.x, clip.left), top = std::max<int64_t>(dest.y, clip.top);
    const int64_t right = std::min<int64_t>(dest.Right(), clip.right);
    const int64_t bottom = std::min<int64_t>(dest.Bottom(), clip.bottom);
    out = Box{left, top, right - left, bottom - top};
  }
  constexpr int64_t kMaxPixels = int64_t{1} << 26;  // 256 MiB of scratch, far beyond any screen
  return out.w > 0 && out.h > 0 && out.w * out.h <= kMaxPixels && FitsInt(out);
}

}  // namespace

BOOL WINAPI CRenderKit::SoftAlphaBlend(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                                       int xSrc, int ySrc, int wSrc, int hSrc, BLENDFUNCTION blend) {
  if (!hdcDest || !hdcSrc || wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0 || blend.BlendOp != AC_SRC_OVER ||
      !SourceFits(hdcSrc, xSrc, ySrc, wSrc, hSrc)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!wDest || !hDest || !wSrc || !hSrc || !blend.SourceConstantAlpha) return TRUE;
  Box part;
  if (!VisiblePart(hdcDest, Box{xDest, yDest, wDest, hDest}, part)) return TRUE;
  const int w = static_cast<int>(part.w), h = static_cast<int>(part.h);
  const int64_t offsetX = int64_t{xDest} - part.x, offsetY = int64_t{yDest} - part.y;
  if (!Fits(offsetX) || !Fits(offsetY)) return TRUE;
  CDib32Canvas source(w, h, hdcDest), target(w, h, hdcDest);
  if (!source.IsValid() || !target.IsValid()) return FALSE;
  // The source stretched to the destination size, of which only the visible part is kept.
  SetStretchBltMode(source.GetDC(), COLORONCOLOR);
  StretchBlt(source.GetDC(), static_cast<int>(offsetX), static_cast<int>(offsetY), wDest, hDest, hdcSrc, xSrc,
             ySrc, wSrc, hSrc, SRCCOPY);
  BitBlt(target.GetDC(), 0, 0, w, h, hdcDest, static_cast<int>(part.x), static_cast<int>(part.y), SRCCOPY);
  const bool perPixel = (blend.AlphaFormat & AC_SRC_ALPHA) != 0;
  const DWORD ca = blend.SourceConstantAlpha;
  uint32_t* out = target.GetBits();
  const uint32_t* in = source.GetBits();
  for (size_t i = 0, n = static_cast<size_t>(w) * static_cast<size_t>(h); i < n; ++i) {
    out[i] = BlendPixel(out[i], perPixel ? in[i] : in[i] | 0xFF000000u, ca);
  }
  BitBlt(hdcDest, static_cast<int>(part.x), static_cast<int>(part.y), w, h, target.GetDC(), 0, 0, SRCCOPY);
  return TRUE;
}

// ---- Descriptors -------------------------------------------------------------------------------

namespace {

struct DrawTarget {
  HDC hDC;
  CUIHost* host;
  const RECT& item;
  const RECT& paint;
};

void DrawEarlierImage(const UIImageDescriptor& state, void* context) {
  const DrawTarget& t = *static_cast<const DrawTarget*>(context);
  CRenderKit::DrawDescriptorImage(t.hDC, t.host, t.item, t.paint, state);
}

}  // namespace

bool CRenderKit::DrawDescriptor(HDC hDC, CUIHost* host, const RECT& rcItem, const RECT& rcPaint,
                                LPCWSTR descriptor, LPCWSTR modifier) {
  if (!hDC || !host) return false;
  UIImageDescriptor state;
  state.name = descriptor ? descriptor : TEXT("");  // a string without pairs is the image name
  state.dest = rcItem;
  DrawTarget target{hDC, host, rcItem, rcPaint};
  ParseImageDescriptor(descriptor, rcItem, state, DrawEarlierImage, &target);
  ParseImageDescriptor(modifier, rcItem, state, DrawEarlierImage, &target);
  return DrawDescriptorImage(hDC, host, rcItem, rcPaint, state);
}

bool CRenderKit::DrawDescriptorImage(HDC hDC, CUIHost* host, const RECT& rcItem, const RECT& rcPaint,
                                     const UIImageDescriptor& state) {
  if (!hDC || !host || state.name.IsEmpty()) return false;
  UIImageEntry* image = host->GetOrLoadImage(
      state.name, state.resType.IsEmpty() ? nullptr : state.resType.GetData(), state.mask);
  if (!image) return false;
  // 0,0,0,0 is the whole image; BlitImage limits every other source to the image.
  RECT source = state.source;
  if (!source.left && !source.top && !source.right && !source.bottom)
    source = RECT{0, 0, image->width, image->height};
  RECT meets;
  if (IntersectRect(&meets, &state.dest, &rcItem) && IntersectRect(&meets, &state.dest, &rcPaint)) {
    BlitImage(hDC, image->bitmap, state.dest, rcPaint, source, state.corner, image->hasAlpha, state.fade,
              state.hole, state.xtiled, state.ytiled);
  }
  return true;
}

}  // namespace Umbra
