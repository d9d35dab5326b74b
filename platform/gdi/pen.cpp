// Pens: CreatePen and CreatePenIndirect, and their descriptions.
#include "gdi/pen.h"

#include <cstring>

namespace umbra::gdi {

int Pen::Describe(int size, void* out) const {
  if (!out) return sizeof(LOGPEN);
  if (size < static_cast<int>(sizeof(LOGPEN))) return 0;
  LOGPEN lp{m_style, POINT{m_width, 0}, m_colour};
  std::memcpy(out, &lp, sizeof(lp));
  return sizeof(LOGPEN);
}

UINT Pen::Dashes() const {
  UINT style = m_style & PS_STYLE_MASK;
  if (m_width > 1 || style < PS_DASH || style > PS_DASHDOTDOT) return PS_SOLID;
  return style;
}

Pen* LookupPen(HGDIOBJ handle) { return LookupObjectAs<Pen>(handle); }

}  // namespace umbra::gdi

HPEN WINAPI CreatePen(int iStyle, int cWidth, COLORREF color) {
  UINT style = static_cast<UINT>(iStyle) & PS_STYLE_MASK;
  if (style > PS_INSIDEFRAME) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (style == PS_NULL) return static_cast<HPEN>(GetStockObject(NULL_PEN));
  auto pen = std::make_unique<umbra::gdi::Pen>(style, cWidth < 0 ? 0 : cWidth, color & 0xFFFFFF);
  return static_cast<HPEN>(umbra::gdi::RegisterObject(std::move(pen)));
}

HPEN WINAPI CreatePenIndirect(const LOGPEN* plpen) {
  if (!plpen) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreatePen(static_cast<int>(plpen->lopnStyle), plpen->lopnWidth.x, plpen->lopnColor);
}
