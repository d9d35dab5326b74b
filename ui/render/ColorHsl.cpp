// The HSL colour shift a host applies to control colours: hue turned, saturation and lightness
// scaled, alpha untouched. Worked in double; the public conversions take floats.
#include <cmath>
#include <cstdint>

#include "ui/render/ArgbColor.h"
#include "ui/render/RenderKit.h"

namespace Umbra {

namespace {

struct Hsl {
  double h = 0;  // degrees; red 0, green 120, blue 240
  double s = 0;  // 0-1
  double l = 0;  // 0-1
};

Hsl ToHsl(DWORD color) {
  const double r = RedOf(color) / 255.0;
  const double g = GreenOf(color) / 255.0;
  const double b = BlueOf(color) / 255.0;
  const double high = std::fmax(r, std::fmax(g, b));
  const double low = std::fmin(r, std::fmin(g, b));
  Hsl hsl;
  hsl.l = (high + low) / 2;
  if (high == low) return hsl;  // a grey: no hue, no saturation
  const double d = high - low;
  hsl.s = hsl.l > 0.5 ? d / (2 - high - low) : d / (high + low);
  if (high == r)
    hsl.h = (g - b) / d + (g < b ? 6 : 0);
  else if (high == g)
    hsl.h = (b - r) / d + 2;
  else
    hsl.h = (r - g) / d + 4;
  hsl.h *= 60;
  return hsl;
}

// One channel from the hexcone; t is a position on the hue circle in turns.
double HueChannel(double p, double q, double t) {
  t -= std::floor(t);
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 1.0 / 2) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

// 0-1 to a byte, clamped and truncated. The small allowance keeps rounding noise (124.9999 for
// an exact 125) from costing a whole step; NaN gives 0.
uint32_t ToByte(double v) {
  const double x = v * 255 + 1e-4;
  if (!(x > 0)) return 0;
  if (x >= 255) return 255;
  return static_cast<uint32_t>(x);
}

DWORD FromHsl(DWORD alphaFrom, const Hsl& hsl) {
  double r = hsl.l, g = hsl.l, b = hsl.l;
  if (hsl.s != 0) {
    const double q = hsl.l < 0.5 ? hsl.l * (1 + hsl.s) : hsl.l + hsl.s - hsl.l * hsl.s;
    const double p = 2 * hsl.l - q;
    const double turn = hsl.h / 360;
    r = HueChannel(p, q, turn + 1.0 / 3);
    g = HueChannel(p, q, turn);
    b = HueChannel(p, q, turn - 1.0 / 3);
  }
  return (alphaFrom & 0xFF000000u) | ToByte(r) << 16 | ToByte(g) << 8 | ToByte(b);
}

}  // namespace

DWORD CRenderKit::AdjustColorHsl(DWORD color, short H, short S, short L) {
  if (H == 180 && S == 100 && L == 100) return color;
  Hsl hsl = ToHsl(color);
  // Any shift lands on the circle in (0, 360]; within the usual 0-360 shift this is the plain
  // sum, with 360 added when it is not above 0.
  hsl.h = std::fmod(hsl.h + (H - 180), 360.0);
  if (hsl.h <= 0) hsl.h += 360;
  hsl.s = hsl.s * S / 100;
  hsl.l = hsl.l * L / 100;
  return FromHsl(color, hsl);
}

void CRenderKit::RgbToHsl(DWORD color, float* H, float* S, float* L) {
  const Hsl hsl = ToHsl(color);
  if (H) *H = static_cast<float>(hsl.h);
  if (S) *S = static_cast<float>(hsl.s);
  if (L) *L = static_cast<float>(hsl.l);
}

void CRenderKit::HslToRgb(DWORD* color, float H, float S, float L) {
  if (!color) return;
  *color = FromHsl(*color, Hsl{H, S, L});
}

}  // namespace Umbra
