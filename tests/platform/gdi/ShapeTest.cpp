// Brushes, pens and shapes: FillRect, FrameRect, lines, Rectangle, RoundRect, Ellipse, pixels
// and the opaque rectangle of ExtTextOutW, checked as pictures on small canvases.
#include <windows.h>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

HBRUSH Stock(int index) { return static_cast<HBRUSH>(GetStockObject(index)); }

TEST(Brush, FillRectCoversLeftAndTopButNotRightAndBottom) {
  Canvas canvas(5, 4, kBlack);
  RECT r{1, 1, 4, 3};
  ASSERT_TRUE(FillRect(canvas.dc(), &r, Stock(WHITE_BRUSH)));
  EXPECT_EQ(canvas.Picture(kWhite), Rows({".....", ".###.", ".###.", "....."}));
  // A system colour index + 1 stands for that colour; a null brush paints nothing.
  ASSERT_TRUE(FillRect(canvas.dc(), &r, reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1)));
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), GetSysColor(COLOR_HIGHLIGHT));
  ASSERT_TRUE(FillRect(canvas.dc(), &r, GetSysColorBrush(COLOR_WINDOW)));
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), GetSysColor(COLOR_WINDOW));
  canvas.Fill(kBlack);
  ASSERT_TRUE(FillRect(canvas.dc(), &r, Stock(NULL_BRUSH)));
  RECT reversed{4, 3, 1, 1};
  ASSERT_TRUE(FillRect(canvas.dc(), &reversed, Stock(WHITE_BRUSH)));
  EXPECT_EQ(canvas.Picture(kBlack), Rows({"#####", "#####", "#####", "#####"}));
  // GDI writes opaque pixels, so later blending sees them as solid.
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  FillRect(canvas.dc(), &r, red);
  EXPECT_EQ(canvas.At(1, 1), kRed);
  DeleteObject(red);
}

TEST(Brush, FrameRectDrawsAOnePixelBorderInside) {
  Canvas canvas(5, 4, kBlack);
  RECT r{0, 0, 5, 4}, thin{0, 0, 1, 4};
  ASSERT_TRUE(FrameRect(canvas.dc(), &r, Stock(WHITE_BRUSH)));
  EXPECT_EQ(canvas.Picture(kWhite), Rows({"#####", "#...#", "#...#", "#####"}));
  canvas.Fill(kBlack);
  ASSERT_TRUE(FrameRect(canvas.dc(), &thin, Stock(WHITE_BRUSH)));
  EXPECT_EQ(canvas.Picture(kWhite), Rows({"#....", "#....", "#....", "#...."}));
}

TEST(Pen, LinesLeaveOutTheirEndPoint) {
  struct Case {
    POINT from, to;
    std::string picture;
  };
  const Case cases[] = {
      {{0, 1}, {4, 1}, Rows({".....", "####.", ".....", "....."})},
      {{4, 2}, {0, 2}, Rows({".....", ".....", ".####", "....."})},
      {{1, 0}, {1, 3}, Rows({".#...", ".#...", ".#...", "....."})},
      {{0, 0}, {3, 3}, Rows({"#....", ".#...", "..#..", "....."})},
      {{2, 2}, {2, 2}, Rows({".....", ".....", ".....", "....."})},
  };
  for (const Case& c : cases) {
    Canvas canvas(5, 4, kBlack);
    SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
    MoveToEx(canvas.dc(), c.from.x, c.from.y, nullptr);
    ASSERT_TRUE(LineTo(canvas.dc(), c.to.x, c.to.y));
    EXPECT_EQ(canvas.Picture(kWhite), c.picture) << c.from.x << "," << c.from.y;
    POINT at{};
    GetCurrentPositionEx(canvas.dc(), &at);
    EXPECT_EQ(at.x, c.to.x);
  }
}

TEST(Pen, StylesAndWidths) {
  struct Case {
    int style, width;
    std::string row;  // the line from (0,2) to (30,2)
    int rowsCovered;
  };
  const Case cases[] = {
      {PS_DOT, 1, "###...###...###...###...###...", 1},  {PS_DASH, 1, "##################......######", 1},
      {PS_DASH, 3, "##############################", 3},  // wide pens draw dashes solid
      {PS_NULL, 1, "..............................", 0}, {PS_SOLID, 3, "##############################", 3},
  };
  for (const Case& c : cases) {
    Canvas canvas(31, 5, kBlack);
    HPEN pen = CreatePen(c.style, c.width, RGB(255, 255, 255));
    SelectObject(canvas.dc(), pen);
    MoveToEx(canvas.dc(), 0, 2, nullptr);
    LineTo(canvas.dc(), 30, 2);
    std::string row;
    for (int x = 0; x < 30; ++x) row += canvas.At(x, 2) == kWhite ? '#' : '.';
    EXPECT_EQ(row, c.row) << c.style << "/" << c.width;
    int rows = 0;
    for (int y = 0; y < 5; ++y) rows += canvas.At(12, y) == kWhite;
    EXPECT_EQ(rows, c.rowsCovered) << c.style << "/" << c.width;
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);
  }
  LOGPEN lp{PS_INSIDEFRAME, {2, 0}, RGB(1, 2, 3)};
  HPEN indirect = CreatePenIndirect(&lp);
  LOGPEN back{};
  ASSERT_EQ(GetObjectW(indirect, sizeof(back), &back), static_cast<int>(sizeof(LOGPEN)));
  EXPECT_EQ(back.lopnStyle, static_cast<UINT>(PS_INSIDEFRAME));
  EXPECT_EQ(back.lopnWidth.x, 2);
  EXPECT_EQ(back.lopnColor, RGB(1, 2, 3));
  DeleteObject(indirect);
}

// Rectangle with the given pen, filled with the given brush, on a 6x5 black canvas.
std::string DrawRectangle(HPEN pen, HBRUSH brush, uint32_t ink, RECT r) {
  Canvas canvas(6, 5, kBlack);
  SelectObject(canvas.dc(), pen);
  SelectObject(canvas.dc(), brush);
  Rectangle(canvas.dc(), r.left, r.top, r.right, r.bottom);
  SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
  SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
  return canvas.Picture(ink);
}

TEST(Shape, RectangleExcludesRightAndBottomAndKeepsInsideFramesInside) {
  HPEN white = static_cast<HPEN>(GetStockObject(WHITE_PEN));
  HPEN null = static_cast<HPEN>(GetStockObject(NULL_PEN));
  HPEN frame = CreatePen(PS_INSIDEFRAME, 2, RGB(255, 255, 255));
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{0, 0, 5, 5};
  EXPECT_EQ(DrawRectangle(white, Stock(NULL_BRUSH), kWhite, r),
            Rows({"#####.", "#...#.", "#...#.", "#...#.", "#####."}));
  EXPECT_EQ(DrawRectangle(white, red, kRed, r), Rows({"......", ".###..", ".###..", ".###..", "......"}));
  // Without a pen the fill is one pixel smaller on the right and bottom.
  EXPECT_EQ(DrawRectangle(null, red, kRed, r), Rows({"####..", "####..", "####..", "####..", "......"}));
  EXPECT_EQ(DrawRectangle(frame, Stock(NULL_BRUSH), kWhite, RECT{0, 0, 6, 5}),
            Rows({"######", "######", "##..##", "######", "######"}));
  DeleteObject(frame);
  DeleteObject(red);
}

TEST(Shape, RoundRectAndEllipseAreSymmetricWithCutCorners) {
  Canvas canvas(9, 9, kBlack);
  SelectObject(canvas.dc(), GetStockObject(WHITE_PEN));
  SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
  ASSERT_TRUE(RoundRect(canvas.dc(), 0, 0, 9, 9, 4, 4));
  const std::string round = canvas.Picture(kWhite);
  // Corners of a 4x4 ellipse: the outline of a circle of diameter 4 is .##. / #..# / #..# / .##.
  EXPECT_EQ(round, Rows({".#######.", "#.......#", "#.......#", "#.......#", "#.......#", "#.......#",
                         "#.......#", "#.......#", ".#######."}));
  canvas.Fill(kBlack);
  SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
  ASSERT_TRUE(Ellipse(canvas.dc(), 0, 0, 9, 9));
  const std::string ellipse = canvas.Picture(kWhite);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) {
      char c = ellipse[y * 10 + x];
      EXPECT_EQ(c, ellipse[y * 10 + (8 - x)]) << x << "," << y;
      EXPECT_EQ(c, ellipse[(8 - y) * 10 + x]) << x << "," << y;
    }
  EXPECT_EQ(ellipse[0], '.');
  EXPECT_EQ(ellipse[4 * 10 + 4], '#');
  EXPECT_EQ(ellipse[4 * 10 + 0], '#');
}

TEST(Shape, PixelsAndTheOpaqueTextRectangle) {
  Canvas canvas(4, 3, kBlack);
  EXPECT_EQ(SetPixel(canvas.dc(), 1, 1, RGB(1, 2, 3)), RGB(1, 2, 3));
  EXPECT_EQ(canvas.At(1, 1), 0xFF010203u);
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), RGB(1, 2, 3));
  EXPECT_EQ(SetPixel(canvas.dc(), 4, 0, 0), CLR_INVALID);
  EXPECT_EQ(GetPixel(canvas.dc(), -1, 0), CLR_INVALID);

  SetBkColor(canvas.dc(), RGB(0, 0, 255));
  SetBkMode(canvas.dc(), TRANSPARENT);  // ETO_OPAQUE fills whatever the mode
  RECT r{1, 0, 3, 2};
  ASSERT_TRUE(ExtTextOutW(canvas.dc(), 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr));
  EXPECT_EQ(canvas.Picture(kBlue), Rows({".##.", ".##.", "...."}));
}

}  // namespace
