#pragma once

#include <windows.h>

namespace Umbra {

// A RECT with the geometry helpers the library uses; passes wherever a RECT* is expected.
// Arithmetic wraps around at 32 bits, as Win32 coordinates do, instead of overflowing.
class UIRect : public tagRECT {
 public:
  UIRect();
  UIRect(const RECT& src);
  UIRect(LONG l, LONG t, LONG r, LONG b);

  int Width() const;
  int Height() const;
  // Grows to also cover rc; empty rectangles get no special treatment.
  void Join(const RECT& rc);
  // Moves so that left and top become 0.
  void ResetOffset();
  void Offset(int dx, int dy);
  // Shrinks by dx on the left and right and by dy on the top and bottom.
  void Deflate(int dx, int dy);
};

// A SIZE: cx and cy.
class UISize : public tagSIZE {
 public:
  UISize();
  UISize(const SIZE& src);
  UISize(LONG x, LONG y);
};

}  // namespace Umbra
