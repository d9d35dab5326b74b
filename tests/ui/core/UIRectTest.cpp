#include <gtest/gtest.h>

#include <climits>
#include <type_traits>

#include "ui/core/UIRect.h"

namespace Umbra {
namespace {

static_assert(sizeof(UIRect) == sizeof(RECT) && std::is_standard_layout_v<UIRect>);
static_assert(sizeof(UISize) == sizeof(SIZE) && std::is_standard_layout_v<UISize>);

void ExpectRect(const RECT& rc, LONG l, LONG t, LONG r, LONG b) {
  EXPECT_EQ(rc.left, l);
  EXPECT_EQ(rc.top, t);
  EXPECT_EQ(rc.right, r);
  EXPECT_EQ(rc.bottom, b);
}

// A Win32-style API that fills a RECT through a pointer.
void FillThroughPointer(RECT* rc) { *rc = RECT{1, 2, 3, 4}; }

TEST(UIRect, PassesAsRectPointer) {
  UIRect rc;
  ExpectRect(rc, 0, 0, 0, 0);
  FillThroughPointer(&rc);
  ExpectRect(rc, 1, 2, 3, 4);
  EXPECT_EQ(rc.Width(), 2);
  EXPECT_EQ(rc.Height(), 2);
  const RECT plain = {5, 6, 7, 9};
  const UIRect copy(plain);
  ExpectRect(copy, 5, 6, 7, 9);
  const UISize size(3, -4);
  EXPECT_EQ(size.cx, 3);
  EXPECT_EQ(size.cy, -4);
}

TEST(UIRect, GeometryOperations) {
  UIRect rc(10, 20, 110, 70);
  EXPECT_EQ(rc.Width(), 100);
  EXPECT_EQ(rc.Height(), 50);

  rc.Offset(5, -30);
  ExpectRect(rc, 15, -10, 115, 40);
  rc.Deflate(5, 10);
  ExpectRect(rc, 20, 0, 110, 30);
  rc.Deflate(-1, -2);  // negative values grow, as InflateRect does
  ExpectRect(rc, 19, -2, 111, 32);
  rc.ResetOffset();
  ExpectRect(rc, 0, 0, 92, 34);

  // Join treats an empty rectangle like any other: the origin is still covered.
  UIRect joined;
  joined.Join(RECT{5, 5, 10, 10});
  ExpectRect(joined, 0, 0, 10, 10);
  joined.Join(RECT{-3, 7, 4, 12});
  ExpectRect(joined, -3, 0, 10, 12);

  // Inverted rectangles give negative sizes; they are not normalised.
  EXPECT_EQ(UIRect(10, 10, 0, 5).Width(), -10);
  EXPECT_EQ(UIRect(10, 10, 0, 5).Height(), -5);
}

// Skins may carry any coordinates; extreme ones wrap around at 32 bits instead of overflowing.
TEST(UIRect, ExtremeCoordinatesWrapAround) {
  UIRect rc(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(rc.Width(), -1);
  EXPECT_EQ(rc.Height(), -1);
  rc.Offset(1, 1);
  ExpectRect(rc, INT_MIN + 1, INT_MIN + 1, INT_MIN, INT_MIN);
  rc.Deflate(INT_MIN, 0);
  ExpectRect(rc, 1, INT_MIN + 1, 0, INT_MIN);
  rc = UIRect(INT_MIN, 0, 0, 0);
  rc.ResetOffset();
  ExpectRect(rc, 0, 0, INT_MIN, 0);
}

}  // namespace
}  // namespace Umbra
