// Regions: the rectangle edge rule, combining, offsets and the handle calls.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

RECT Box(HRGN region) {
  RECT r{};
  GetRgnBox(region, &r);
  return r;
}

bool Same(const RECT& a, const RECT& b) { return EqualRect(&a, &b); }

TEST(Region, RectangleIncludesLeftAndTopButNotRightAndBottom) {
  HRGN r = CreateRectRgn(10, 20, 30, 40);
  EXPECT_TRUE(PtInRegion(r, 10, 20));
  EXPECT_TRUE(PtInRegion(r, 29, 39));
  EXPECT_FALSE(PtInRegion(r, 30, 39));
  EXPECT_FALSE(PtInRegion(r, 29, 40));
  EXPECT_FALSE(PtInRegion(r, 9, 20));
  RECT inside{29, 39, 35, 45}, touching{30, 40, 35, 45};
  EXPECT_TRUE(RectInRegion(r, &inside));
  EXPECT_FALSE(RectInRegion(r, &touching));
  DeleteObject(r);
}

TEST(Region, CombineModesGiveTheExpectedShapes) {
  struct Case {
    int mode;
    int kind;
    RECT box;
    POINT in, out;
  };
  // a = (0,0)-(20,20), b = (10,10)-(30,30)
  const Case cases[] = {
      {RGN_AND, SIMPLEREGION, {10, 10, 20, 20}, {15, 15}, {5, 5}},
      {RGN_OR, COMPLEXREGION, {0, 0, 30, 30}, {25, 25}, {25, 5}},
      {RGN_XOR, COMPLEXREGION, {0, 0, 30, 30}, {5, 5}, {15, 15}},
      {RGN_DIFF, COMPLEXREGION, {0, 0, 20, 20}, {5, 15}, {15, 15}},
      {RGN_COPY, SIMPLEREGION, {0, 0, 20, 20}, {19, 19}, {20, 20}},
  };
  for (const Case& c : cases) {
    HRGN a = CreateRectRgn(0, 0, 20, 20), b = CreateRectRgn(10, 10, 30, 30), dst = CreateRectRgn(0, 0, 0, 0);
    EXPECT_EQ(CombineRgn(dst, a, b, c.mode), c.kind) << c.mode;
    EXPECT_TRUE(Same(Box(dst), c.box)) << c.mode;
    EXPECT_TRUE(PtInRegion(dst, c.in.x, c.in.y)) << c.mode;
    EXPECT_FALSE(PtInRegion(dst, c.out.x, c.out.y)) << c.mode;
    // The destination may be one of the sources.
    EXPECT_EQ(CombineRgn(a, a, b, c.mode), c.kind) << c.mode;
    EXPECT_TRUE(EqualRgn(a, dst)) << c.mode;
    for (HRGN h : {a, b, dst}) DeleteObject(h);
  }
}

TEST(Region, EmptyResultsAndReversedEdges) {
  HRGN a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(20, 20, 30, 30), dst = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(CombineRgn(dst, a, b, RGN_AND), NULLREGION);
  EXPECT_TRUE(Same(Box(dst), RECT{0, 0, 0, 0}));
  EXPECT_EQ(GetRgnBox(dst, nullptr), ERROR);
  ASSERT_TRUE(SetRectRgn(dst, 30, 40, 10, 20));  // edges given the wrong way round are ordered
  EXPECT_TRUE(Same(Box(dst), RECT{10, 20, 30, 40}));
  HRGN reversed = CreateRectRgn(5, 5, 0, 0);
  EXPECT_TRUE(Same(Box(reversed), RECT{0, 0, 5, 5}));
  for (HRGN h : {a, b, dst, reversed}) DeleteObject(h);
}

TEST(Region, OffsetMovesTheShapeAndRefusesToLeaveTheCoordinateRange) {
  HRGN r = CreateRectRgn(0, 0, 10, 10);
  EXPECT_EQ(OffsetRgn(r, -5, 7), SIMPLEREGION);
  EXPECT_TRUE(Same(Box(r), RECT{-5, 7, 5, 17}));
  EXPECT_EQ(OffsetRgn(r, 0x7FFFFFFF, 0), ERROR);  // would overflow: the region stays put
  EXPECT_TRUE(Same(Box(r), RECT{-5, 7, 5, 17}));
  HRGN huge = CreateRectRgn(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);  // clamped, not wrapped
  EXPECT_TRUE(PtInRegion(huge, 0, 0));
  EXPECT_EQ(CombineRgn(huge, huge, r, RGN_AND), SIMPLEREGION);
  DeleteObject(r);
  DeleteObject(huge);
}

TEST(Region, DeletedAndForeignHandlesAreRefused) {
  HRGN r = CreateRectRgn(0, 0, 10, 10);
  EXPECT_EQ(GetObjectType(r), static_cast<DWORD>(OBJ_REGION));
  EXPECT_TRUE(DeleteObject(r));
  EXPECT_FALSE(DeleteObject(r));
  EXPECT_EQ(GetObjectType(r), 0u);
  HRGN live = CreateRectRgn(0, 0, 1, 1);
  EXPECT_EQ(CombineRgn(live, r, live, RGN_OR), ERROR);
  EXPECT_EQ(CombineRgn(live, live, live, 99), ERROR);
  EXPECT_FALSE(PtInRegion(r, 0, 0));
  EXPECT_EQ(OffsetRgn(reinterpret_cast<HRGN>(0x1234), 1, 1), ERROR);
  DeleteObject(live);
}

}  // namespace
