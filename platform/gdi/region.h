// Regions inside the stand-in: PixRegion is the shape (a pixman region) that windows, update
// regions and clipping use; Region is the GDI object behind an HRGN.
#pragma once

#include <pixman.h>
#include <windows.h>

#include "gdi/object.h"

namespace umbra::gdi {

// Coordinates are kept within +/-2^27, as Windows regions are, so that offsets cannot overflow.
constexpr LONG kRegionCoordLimit = 1 << 27;

class PixRegion {
 public:
  PixRegion();
  explicit PixRegion(const RECT& rect);
  PixRegion(const PixRegion& other);
  PixRegion(PixRegion&& other) noexcept;
  PixRegion& operator=(const PixRegion& other);
  PixRegion& operator=(PixRegion&& other) noexcept;
  ~PixRegion();

  pixman_region32_t* get() { return &m_region; }
  const pixman_region32_t* get() const { return &m_region; }

  bool Empty() const;
  RECT Bounds() const;  // {0,0,0,0} when empty
  bool Contains(LONG x, LONG y) const;
  bool Intersects(const RECT& rect) const;
  bool operator==(const PixRegion& other) const;
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int Kind() const;

  void Clear();
  void SetRect(const RECT& rect);  // normalises reversed edges
  void Union(const RECT& rect);
  void Union(const PixRegion& other);
  void Intersect(const RECT& rect);
  void Intersect(const PixRegion& other);
  void Subtract(const RECT& rect);
  void Subtract(const PixRegion& other);
  void Xor(const PixRegion& other);
  // False (and no change) when the result would leave the coordinate range.
  bool Offset(LONG dx, LONG dy);

  // The rectangles, sorted top to bottom then left to right.
  const pixman_box32_t* Boxes(int* count) const;

 private:
  pixman_region32_t m_region;
};

// The pixels of a rectangle [left, right) x [top, bottom) with its corners rounded by an
// ellipse of ellipseWidth x ellipseHeight (clamped to the rectangle): every pixel whose centre
// lies inside the shape, row by row, symmetric left to right and top to bottom. Rounded
// regions, RoundRect and Ellipse all use this one shape.
PixRegion RoundRectShape(const RECT& box, int ellipseWidth, int ellipseHeight);

class Region final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_REGION; }
  PixRegion m_shape;
};

// The region behind an HRGN, or null (last error set to ERROR_INVALID_HANDLE).
Region* LookupRegion(HRGN handle);
HRGN NewRegion(const PixRegion& shape);

}  // namespace umbra::gdi
