// Pen objects behind HPEN: a style (solid, dashes, null, inside frame), a width and a colour.
#pragma once

#include <windows.h>

#include "gdi/object.h"

namespace umbra::gdi {

class Pen final : public GdiObject {
 public:
  Pen(UINT style, int width, COLORREF colour) : m_style(style), m_width(width), m_colour(colour) {}
  DWORD Type() const override { return OBJ_PEN; }
  int Describe(int size, void* out) const override;

  // At least one pixel: widths 0 and 1 are the one-pixel cosmetic pen.
  int Width() const { return m_width > 1 ? m_width : 1; }
  bool IsNull() const { return (m_style & PS_STYLE_MASK) == PS_NULL; }
  // Dashes and dots apply to one-pixel pens only; wider pens draw them solid, as Windows does.
  UINT Dashes() const;

  UINT m_style;
  int m_width;
  COLORREF m_colour;
};

Pen* LookupPen(HGDIOBJ handle);

}  // namespace umbra::gdi
