// Brush objects behind HBRUSH: solid and null brushes. A system colour index + 1 passed as an
// HBRUSH (a class background, FillRect) stands for that colour, as on Windows.
#pragma once

#include <windows.h>

#include "gdi/object.h"

namespace umbra::gdi {

class Brush final : public GdiObject {
 public:
  Brush(UINT style, COLORREF colour) : m_style(style), m_colour(colour) {}
  DWORD Type() const override { return OBJ_BRUSH; }
  int Describe(int size, void* out) const override;

  UINT m_style;  // BS_SOLID or BS_NULL
  COLORREF m_colour;
};

// What a brush paints: false for a null brush or an invalid handle.
bool BrushColour(HBRUSH brush, COLORREF* colour);

}  // namespace umbra::gdi
