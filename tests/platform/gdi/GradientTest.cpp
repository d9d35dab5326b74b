// GradientFill: rectangle gradients, their end colours and the alpha they write.
#include <windows.h>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

TRIVERTEX Vertex(LONG x, LONG y, BYTE r, BYTE g, BYTE b, BYTE a = 255) {
  return TRIVERTEX{x,
                   y,
                   static_cast<COLOR16>(r << 8),
                   static_cast<COLOR16>(g << 8),
                   static_cast<COLOR16>(b << 8),
                   static_cast<COLOR16>(a << 8)};
}

TEST(GradientFill, RunsFromTheFirstColourToTheSecondWithExactEnds) {
  struct Case {
    ULONG mode;
    TRIVERTEX a, b;
    POINT first, last;  // pixels that take the first and the second colour
  };
  const Case cases[] = {
      {GRADIENT_FILL_RECT_H, Vertex(1, 1, 255, 0, 0), Vertex(9, 4, 0, 0, 255), {1, 2}, {8, 2}},
      {GRADIENT_FILL_RECT_V, Vertex(1, 1, 255, 0, 0), Vertex(9, 4, 0, 0, 255), {5, 1}, {5, 3}},
      // Vertices given right to left: the first colour stays at the first vertex.
      {GRADIENT_FILL_RECT_H, Vertex(9, 1, 255, 0, 0), Vertex(1, 4, 0, 0, 255), {8, 2}, {1, 2}},
  };
  for (const Case& c : cases) {
    Canvas canvas(10, 5, 0);
    TRIVERTEX v[] = {c.a, c.b};
    GRADIENT_RECT rect{0, 1};
    ASSERT_TRUE(GradientFill(canvas.dc(), v, 2, &rect, 1, c.mode));
    EXPECT_EQ(canvas.At(c.first.x, c.first.y), kRed) << c.mode;
    EXPECT_EQ(canvas.At(c.last.x, c.last.y), kBlue) << c.mode;
    EXPECT_EQ(canvas.At(0, 0), 0u);  // outside the rectangle
    EXPECT_EQ(canvas.At(9, 4), 0u);
  }
  // In between, the channels move steadily.
  Canvas canvas(9, 1, 0);
  TRIVERTEX v[] = {Vertex(0, 0, 0, 0, 0), Vertex(9, 1, 255, 255, 255)};
  GRADIENT_RECT rect{0, 1};
  ASSERT_TRUE(GradientFill(canvas.dc(), v, 2, &rect, 1, GRADIENT_FILL_RECT_H));
  EXPECT_TRUE(Near(canvas.At(4, 0), 0xFF808080u));
  for (int x = 1; x < 9; ++x) EXPECT_GT(canvas.At(x, 0) & 0xFF, canvas.At(x - 1, 0) & 0xFF) << x;
}

TEST(GradientFill, WritesTheVertexAlphaForAlphaBlendToRead) {
  Canvas canvas(4, 1, kBlack);
  TRIVERTEX v[] = {Vertex(0, 0, 0, 0, 0, 0), Vertex(4, 1, 0, 0, 0, 255)};
  GRADIENT_RECT rect{0, 1};
  ASSERT_TRUE(GradientFill(canvas.dc(), v, 2, &rect, 1, GRADIENT_FILL_RECT_H));
  EXPECT_EQ(canvas.At(0, 0) >> 24, 0u);
  EXPECT_EQ(canvas.At(3, 0) >> 24, 255u);
}

TEST(GradientFill, RefusesBadMeshesAndModes) {
  Canvas canvas(4, 4);
  TRIVERTEX v[] = {Vertex(0, 0, 0, 0, 0), Vertex(4, 4, 255, 255, 255)};
  GRADIENT_RECT bad{0, 2};
  GRADIENT_RECT good{0, 1};
  EXPECT_FALSE(GradientFill(canvas.dc(), v, 2, &bad, 1, GRADIENT_FILL_RECT_H));
  EXPECT_FALSE(GradientFill(canvas.dc(), v, 2, &good, 1, GRADIENT_FILL_TRIANGLE));
  EXPECT_FALSE(GradientFill(canvas.dc(), nullptr, 2, &good, 1, GRADIENT_FILL_RECT_H));
  EXPECT_EQ(canvas.At(1, 1), 0u);
}

}  // namespace
