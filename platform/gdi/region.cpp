// Region objects and the HRGN calls, on pixman regions.
#include "gdi/region.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

namespace umbra::gdi {
namespace {

LONG ClampCoord(LONG v) { return std::clamp(v, -kRegionCoordLimit, kRegionCoordLimit); }

// Orders the edges and keeps them in range; an empty rectangle stays empty.
RECT Normalize(const RECT& r) {
  RECT out{ClampCoord(std::min(r.left, r.right)), ClampCoord(std::min(r.top, r.bottom)),
           ClampCoord(std::max(r.left, r.right)), ClampCoord(std::max(r.top, r.bottom))};
  return out;
}

void InitRect(pixman_region32_t* region, const RECT& rect) {
  RECT r = Normalize(rect);
  pixman_region32_init_rect(region, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                            static_cast<unsigned>(r.bottom - r.top));
}

}  // namespace

PixRegion::PixRegion() { pixman_region32_init(&m_region); }

PixRegion::PixRegion(const RECT& rect) { InitRect(&m_region, rect); }

PixRegion::PixRegion(const PixRegion& other) {
  pixman_region32_init(&m_region);
  pixman_region32_copy(&m_region, const_cast<pixman_region32_t*>(&other.m_region));
}

PixRegion::PixRegion(PixRegion&& other) noexcept : PixRegion() { std::swap(m_region, other.m_region); }

PixRegion& PixRegion::operator=(const PixRegion& other) {
  if (this != &other) pixman_region32_copy(&m_region, const_cast<pixman_region32_t*>(&other.m_region));
  return *this;
}

PixRegion& PixRegion::operator=(PixRegion&& other) noexcept {
  std::swap(m_region, other.m_region);
  return *this;
}

PixRegion::~PixRegion() { pixman_region32_fini(&m_region); }

bool PixRegion::Empty() const {
  return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&m_region));
}

RECT PixRegion::Bounds() const {
  if (Empty()) return RECT{0, 0, 0, 0};
  const pixman_box32_t* box = pixman_region32_extents(const_cast<pixman_region32_t*>(&m_region));
  return RECT{box->x1, box->y1, box->x2, box->y2};
}

bool PixRegion::Contains(LONG x, LONG y) const {
  return pixman_region32_contains_point(const_cast<pixman_region32_t*>(&m_region), x, y, nullptr);
}

bool PixRegion::Intersects(const RECT& rect) const {
  RECT r = Normalize(rect);
  if (r.left == r.right || r.top == r.bottom) return false;
  pixman_box32_t box{r.left, r.top, r.right, r.bottom};
  return pixman_region32_contains_rectangle(const_cast<pixman_region32_t*>(&m_region), &box) !=
         PIXMAN_REGION_OUT;
}

bool PixRegion::operator==(const PixRegion& other) const {
  return pixman_region32_equal(const_cast<pixman_region32_t*>(&m_region),
                               const_cast<pixman_region32_t*>(&other.m_region));
}

int PixRegion::Kind() const {
  int n = pixman_region32_n_rects(const_cast<pixman_region32_t*>(&m_region));
  return n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION;
}

void PixRegion::Clear() {
  pixman_region32_fini(&m_region);
  pixman_region32_init(&m_region);
}

void PixRegion::SetRect(const RECT& rect) {
  pixman_region32_fini(&m_region);
  InitRect(&m_region, rect);
}

void PixRegion::Union(const RECT& rect) { Union(PixRegion(rect)); }

void PixRegion::Union(const PixRegion& other) {
  pixman_region32_union(&m_region, &m_region, const_cast<pixman_region32_t*>(&other.m_region));
}

void PixRegion::Intersect(const RECT& rect) { Intersect(PixRegion(rect)); }

void PixRegion::Intersect(const PixRegion& other) {
  pixman_region32_intersect(&m_region, &m_region, const_cast<pixman_region32_t*>(&other.m_region));
}

void PixRegion::Subtract(const RECT& rect) { Subtract(PixRegion(rect)); }

void PixRegion::Subtract(const PixRegion& other) {
  pixman_region32_subtract(&m_region, &m_region, const_cast<pixman_region32_t*>(&other.m_region));
}

void PixRegion::Xor(const PixRegion& other) {
  PixRegion both(*this);
  both.Intersect(other);
  Union(other);
  Subtract(both);
}

bool PixRegion::Offset(LONG dx, LONG dy) {
  if (Empty()) return true;
  RECT b = Bounds();
  auto inRange = [](int64_t v) { return v >= -kRegionCoordLimit && v <= kRegionCoordLimit; };
  if (!inRange(int64_t{b.left} + dx) || !inRange(int64_t{b.right} + dx) || !inRange(int64_t{b.top} + dy) ||
      !inRange(int64_t{b.bottom} + dy))
    return false;
  pixman_region32_translate(&m_region, dx, dy);
  return true;
}

const pixman_box32_t* PixRegion::Boxes(int* count) const {
  return pixman_region32_rectangles(const_cast<pixman_region32_t*>(&m_region), count);
}

PixRegion RoundRectShape(const RECT& box, int ellipseWidth, int ellipseHeight) {
  // Corner ellipses beyond this size are drawn at this size, which keeps a region to a
  // bounded number of rows whatever the caller passes.
  constexpr int kMaxEllipse = 1 << 16;
  RECT b = Normalize(box);
  const int width = b.right - b.left, height = b.bottom - b.top;
  if (width <= 0 || height <= 0) return PixRegion();
  const int ew = std::min({std::abs(ellipseWidth), width, kMaxEllipse});
  const int eh = std::min({std::abs(ellipseHeight), height, kMaxEllipse});
  if (ew < 2 || eh < 2) return PixRegion(b);
  const double rx = ew / 2.0, ry = eh / 2.0;
  // The inset of the j-th row from the top (and from the bottom): pixel centres inside the ellipse.
  auto insetOf = [&](int j) {
    double dy = (ry - (j + 0.5)) / ry;
    double dx = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
    return std::max(0, static_cast<int>(std::ceil(rx - dx - 0.5 - 1e-9)));
  };
  const int cornerRows = std::min((eh + 1) / 2, (height + 1) / 2);
  std::vector<pixman_box32_t> top, bottom;
  for (int j = 0; j < cornerRows; ++j) {
    int inset = insetOf(j);
    if (2 * inset >= width) continue;
    top.push_back(pixman_box32_t{b.left + inset, b.top + j, b.right - inset, b.top + j + 1});
    if (b.bottom - 1 - j > b.top + j)
      bottom.push_back(pixman_box32_t{b.left + inset, b.bottom - 1 - j, b.right - inset, b.bottom - j});
  }
  std::vector<pixman_box32_t> rows(top);
  if (b.top + cornerRows < b.bottom - cornerRows)
    rows.push_back(pixman_box32_t{b.left, b.top + cornerRows, b.right, b.bottom - cornerRows});
  rows.insert(rows.end(), bottom.rbegin(), bottom.rend());
  PixRegion shape;
  pixman_region32_fini(shape.get());
  pixman_region32_init_rects(shape.get(), rows.data(), static_cast<int>(rows.size()));
  return shape;
}

Region* LookupRegion(HRGN handle) {
  Region* region = LookupObjectAs<Region>(handle);
  if (!region) SetLastError(ERROR_INVALID_HANDLE);
  return region;
}

HRGN NewRegion(const PixRegion& shape) {
  auto region = std::make_unique<Region>();
  region->m_shape = shape;
  return static_cast<HRGN>(RegisterObject(std::move(region)));
}

}  // namespace umbra::gdi

using umbra::gdi::LookupRegion;
using umbra::gdi::PixRegion;
using umbra::gdi::Region;

HRGN WINAPI CreateRectRgn(int x1, int y1, int x2, int y2) {
  return umbra::gdi::NewRegion(PixRegion(RECT{x1, y1, x2, y2}));
}

HRGN WINAPI CreateRectRgnIndirect(const RECT* lprect) {
  if (!lprect) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateRectRgn(lprect->left, lprect->top, lprect->right, lprect->bottom);
}

// The region covers the rectangle less its right column and bottom row, so that a region made
// of (l, t, r + 1, b + 1) matches RoundRect(l, t, r, b).
HRGN WINAPI CreateRoundRectRgn(int x1, int y1, int x2, int y2, int w, int h) {
  RECT box{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) - 1, std::max(y1, y2) - 1};
  if (box.right < box.left) box.right = box.left;
  if (box.bottom < box.top) box.bottom = box.top;
  return umbra::gdi::NewRegion(umbra::gdi::RoundRectShape(box, w, h));
}

HRGN WINAPI CreateEllipticRgn(int x1, int y1, int x2, int y2) {
  return CreateRoundRectRgn(x1, y1, x2, y2, x2 - x1, y2 - y1);
}

BOOL WINAPI SetRectRgn(HRGN hrgn, int left, int top, int right, int bottom) {
  Region* region = LookupRegion(hrgn);
  if (!region) return FALSE;
  region->m_shape.SetRect(RECT{left, top, right, bottom});
  return TRUE;
}

int WINAPI CombineRgn(HRGN hrgnDst, HRGN hrgnSrc1, HRGN hrgnSrc2, int iMode) {
  Region* dst = LookupRegion(hrgnDst);
  Region* src1 = LookupRegion(hrgnSrc1);
  if (!dst || !src1) return ERROR;
  if (iMode == RGN_COPY) {
    dst->m_shape = src1->m_shape;
    return dst->m_shape.Kind();
  }
  Region* src2 = LookupRegion(hrgnSrc2);
  if (!src2) return ERROR;
  // Work on a copy: the destination may also be one of the sources.
  PixRegion result(src1->m_shape);
  switch (iMode) {
    case RGN_AND:
      result.Intersect(src2->m_shape);
      break;
    case RGN_OR:
      result.Union(src2->m_shape);
      break;
    case RGN_XOR:
      result.Xor(src2->m_shape);
      break;
    case RGN_DIFF:
      result.Subtract(src2->m_shape);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return ERROR;
  }
  dst->m_shape = std::move(result);
  return dst->m_shape.Kind();
}

int WINAPI OffsetRgn(HRGN hrgn, int x, int y) {
  Region* region = LookupRegion(hrgn);
  if (!region) return ERROR;
  if (!region->m_shape.Offset(x, y)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  return region->m_shape.Kind();
}

BOOL WINAPI PtInRegion(HRGN hrgn, int x, int y) {
  Region* region = LookupRegion(hrgn);
  return region && region->m_shape.Contains(x, y) ? TRUE : FALSE;
}

BOOL WINAPI RectInRegion(HRGN hrgn, const RECT* lprect) {
  Region* region = LookupRegion(hrgn);
  return region && lprect && region->m_shape.Intersects(*lprect) ? TRUE : FALSE;
}

int WINAPI GetRgnBox(HRGN hrgn, LPRECT lprc) {
  Region* region = LookupRegion(hrgn);
  if (!region || !lprc) return ERROR;
  *lprc = region->m_shape.Bounds();
  return region->m_shape.Kind();
}

BOOL WINAPI EqualRgn(HRGN hrgn1, HRGN hrgn2) {
  Region* a = LookupRegion(hrgn1);
  Region* b = LookupRegion(hrgn2);
  if (!a || !b) return ERROR;
  return a->m_shape == b->m_shape ? TRUE : FALSE;
}
