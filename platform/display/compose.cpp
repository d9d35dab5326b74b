// Blending window surfaces onto an image: used by the headless screen and by window captures.
#include <algorithm>

#include "display/display.h"

namespace umbra::display {
namespace {

inline uint32_t Scale(uint32_t channel, uint32_t alpha) { return (channel * alpha + 127) / 255; }

// Multiplies all four channels of a premultiplied pixel by alpha.
inline uint32_t ScalePixel(uint32_t p, uint32_t alpha) {
  return Scale(p >> 24, alpha) << 24 | Scale((p >> 16) & 0xFF, alpha) << 16 |
         Scale((p >> 8) & 0xFF, alpha) << 8 | Scale(p & 0xFF, alpha);
}

// Porter-Duff "over" of premultiplied pixels.
inline uint32_t Over(uint32_t src, uint32_t dst) {
  uint32_t inv = 255 - (src >> 24);
  if (inv == 0) return src;
  uint32_t d = ScalePixel(dst, inv);
  // Per channel and saturating: pixels an application wrote need not be validly premultiplied.
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    uint32_t c = ((src >> shift) & 0xFF) + ((d >> shift) & 0xFF);
    out |= std::min<uint32_t>(c, 255) << shift;
  }
  return out;
}

inline uint32_t KeyOf(COLORREF key) {
  return (key & 0xFF) << 16 | (key & 0xFF00) | ((key >> 16) & 0xFF);  // 0x00BBGGRR -> 0x00RRGGBB
}

// What a surface pixel becomes before it is laid over the destination; false when the pixel
// is keyed out.
struct PixelRule {
  bool keyed = false;
  uint32_t key = 0;
  bool perPixel = false;
  uint32_t alpha = 255;

  bool Apply(uint32_t p, uint32_t& out) const {
    if (keyed && (p & 0xFFFFFF) == key) return false;
    if (perPixel) {
      out = alpha == 255 ? p : ScalePixel(p, alpha);
    } else {
      out = p | 0xFF000000;
      if (alpha != 255) out = ScalePixel(out, alpha);
    }
    return true;
  }
};

bool RuleFor(const LayeredState& layered, PixelRule& rule) {
  using Mode = LayeredState::Mode;
  switch (layered.mode) {
    case Mode::None:
      return true;
    case Mode::Hidden:
      return false;
    case Mode::Attributes:
      rule.keyed = layered.flags & LWA_COLORKEY;
      rule.key = KeyOf(layered.key);
      if (layered.flags & LWA_ALPHA) rule.alpha = layered.alpha;
      return true;
    case Mode::Content:
      if (layered.flags & ULW_OPAQUE) return true;
      rule.keyed = layered.flags & ULW_COLORKEY;
      rule.key = KeyOf(layered.key);
      if (layered.flags & ULW_ALPHA) {
        rule.alpha = layered.alpha;
        rule.perPixel = layered.perPixel;
      }
      return true;
  }
  return false;
}

}  // namespace

void ComposeSurface(Image& dst, const PixelSurface& src, int dx, int dy, const gdi::PixRegion* region,
                    const LayeredState& layered) {
  PixelRule rule;
  if (!src.Valid() || !RuleFor(layered, rule)) return;
  gdi::PixRegion clip(RECT{0, 0, src.width, src.height});
  if (region) clip.Intersect(*region);
  clip.Offset(dx, dy);
  clip.Intersect(RECT{0, 0, dst.width, dst.height});
  int count = 0;
  const pixman_box32_t* boxes = clip.Boxes(&count);
  for (int i = 0; i < count; ++i) {
    const pixman_box32_t& b = boxes[i];
    for (int y = b.y1; y < b.y2; ++y) {
      const uint32_t* in = src.Row(y - dy);
      uint32_t* out = &dst.pixels[static_cast<size_t>(y) * dst.width];
      for (int x = b.x1; x < b.x2; ++x) {
        uint32_t p;
        if (rule.Apply(in[x - dx], p)) out[x] = Over(p, out[x]);
      }
    }
  }
}

}  // namespace umbra::display
