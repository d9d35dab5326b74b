// Clipping: the clip calls on a DC, and rounded regions keeping their corners when drawn through.
#include <windows.h>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

bool Same(const RECT& a, const RECT& b) { return EqualRect(&a, &b); }

TEST(Clip, ExtSelectClipRgnCombinesWithTheCurrentClip) {
  struct Case {
    int mode;
    bool startClipped;  // with the clip (0,0)-(6,6) selected first
    int kind;
    RECT box;
  };
  // The region is (4,4)-(10,10) on a 10x10 canvas.
  const Case cases[] = {
      {RGN_AND, false, SIMPLEREGION, {4, 4, 10, 10}},  // no clip: the region itself
      {RGN_AND, true, SIMPLEREGION, {4, 4, 6, 6}},      {RGN_OR, true, COMPLEXREGION, {0, 0, 10, 10}},
      {RGN_XOR, true, COMPLEXREGION, {0, 0, 10, 10}},   {RGN_DIFF, true, COMPLEXREGION, {0, 0, 6, 6}},
      {RGN_DIFF, false, COMPLEXREGION, {0, 0, 10, 10}}, {RGN_COPY, true, SIMPLEREGION, {4, 4, 10, 10}},
  };
  for (const Case& c : cases) {
    Canvas canvas(10, 10);
    HRGN start = CreateRectRgn(0, 0, 6, 6), region = CreateRectRgn(4, 4, 10, 10);
    if (c.startClipped) SelectClipRgn(canvas.dc(), start);
    EXPECT_EQ(ExtSelectClipRgn(canvas.dc(), region, c.mode), c.kind) << c.mode;
    RECT box{};
    EXPECT_EQ(GetClipBox(canvas.dc(), &box), c.kind) << c.mode;
    EXPECT_TRUE(Same(box, c.box)) << c.mode << ": " << box.left << "," << box.top << "," << box.right << ","
                                  << box.bottom;
    DeleteObject(start);
    DeleteObject(region);
  }
}

TEST(Clip, ClipBoxCoversTheBitmapWithoutAClipAndNothingWhenEmpty) {
  Canvas canvas(7, 5);
  RECT box{};
  EXPECT_EQ(GetClipBox(canvas.dc(), &box), SIMPLEREGION);
  EXPECT_TRUE(Same(box, RECT{0, 0, 7, 5}));
  HRGN none = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(canvas.dc(), none), 0);
  EXPECT_EQ(SelectClipRgn(canvas.dc(), none), NULLREGION);
  EXPECT_EQ(GetClipBox(canvas.dc(), &box), NULLREGION);
  EXPECT_TRUE(Same(box, RECT{0, 0, 0, 0}));
  RECT all{0, 0, 7, 5};
  FillRect(canvas.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(canvas.At(3, 3), 0u);
  EXPECT_EQ(SelectClipRgn(canvas.dc(), nullptr), SIMPLEREGION);
  EXPECT_EQ(ExtSelectClipRgn(canvas.dc(), nullptr, RGN_AND), ERROR);
  DeleteObject(none);
}

TEST(Clip, IntersectAndExcludeRectanglesFollowTheEdgeRule) {
  Canvas canvas(6, 4, kBlack);
  EXPECT_EQ(IntersectClipRect(canvas.dc(), 1, 0, 5, 4), SIMPLEREGION);
  EXPECT_EQ(ExcludeClipRect(canvas.dc(), 2, 1, 4, 3), COMPLEXREGION);
  RECT all{0, 0, 6, 4};
  FillRect(canvas.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(canvas.Picture(kWhite), Rows({".####.", ".#..#.", ".#..#.", ".####."}));
  // The DC keeps its own copy of a selected region.
  HRGN region = CreateRectRgn(0, 0, 1, 1);
  SelectClipRgn(canvas.dc(), region);
  SetRectRgn(region, 0, 0, 6, 4);
  RECT box{};
  GetClipBox(canvas.dc(), &box);
  EXPECT_TRUE(Same(box, RECT{0, 0, 1, 1}));
  DeleteObject(region);
}

TEST(Clip, RoundRectRegionMatchesTheRoundRectShapeAndKeepsItsCorners) {
  // (l, t, r + 1, b + 1): the region covers exactly the pixels of RoundRect(l, t, r, b).
  HRGN round = CreateRoundRectRgn(1, 1, 10, 10, 4, 4);
  RECT box{};
  EXPECT_EQ(GetRgnBox(round, &box), COMPLEXREGION);
  EXPECT_TRUE(Same(box, RECT{1, 1, 9, 9}));

  Canvas clipped(10, 10, kBlack), drawn(10, 10, kBlack);
  SelectClipRgn(clipped.dc(), round);
  RECT all{0, 0, 10, 10};
  FillRect(clipped.dc(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(clipped.At(1, 1), kBlack);  // the corner is kept out
  EXPECT_EQ(clipped.At(5, 5), kWhite);
  EXPECT_EQ(clipped.At(1, 5), kWhite);
  SelectObject(drawn.dc(), GetStockObject(WHITE_PEN));
  RoundRect(drawn.dc(), 1, 1, 9, 9, 4, 4);
  EXPECT_EQ(clipped.Picture(kWhite), drawn.Picture(kWhite));

  // Drawing through the rounded clip leaves the outside corners alone.
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(clipped.At(x, y) == kWhite, PtInRegion(round, x, y) != 0) << x << "," << y;
  DeleteObject(round);
}

TEST(Clip, RoundedRegionsStayBoundedWhateverTheArguments) {
  HRGN huge = CreateRoundRectRgn(-100000000, -100000000, 100000000, 100000000, 2000000000, -2000000000);
  ASSERT_NE(huge, nullptr);
  EXPECT_TRUE(PtInRegion(huge, 0, 0));
  EXPECT_FALSE(PtInRegion(huge, -100000000, -100000000));
  HRGN empty = CreateRoundRectRgn(5, 5, 5, 9, 3, 3);
  RECT box{};
  EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
  DeleteObject(huge);
  DeleteObject(empty);
}

}  // namespace
