// Blits between memory DCs: BitBlt, StretchBlt and AlphaBlend, pixel by pixel.
#include <windows.h>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

TEST(BitBlt, CopiesExactPixelsWithinTheClipAndTheSource) {
  Canvas src(4, 4, 0x80402010u), dst(8, 8, kBlack);
  src.At(0, 0) = 0x11223344u;
  ASSERT_TRUE(BitBlt(dst.dc(), 2, 2, 4, 4, src.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(dst.At(2, 2), 0x11223344u);  // alpha is copied too
  EXPECT_EQ(dst.At(5, 5), 0x80402010u);
  EXPECT_EQ(dst.At(6, 6), kBlack);
  EXPECT_EQ(dst.At(1, 2), kBlack);

  // Pixels beyond the source are left alone; the clip limits the destination.
  dst.Fill(kBlack);
  IntersectClipRect(dst.dc(), 0, 1, 8, 8);
  ASSERT_TRUE(BitBlt(dst.dc(), 0, 0, 8, 8, src.dc(), 2, 2, SRCCOPY));
  EXPECT_EQ(dst.Picture(0x80402010u), Rows({"........", "##......", "........", "........", "........",
                                            "........", "........", "........"}));
}

TEST(BitBlt, OverlappingCopyWithinOneBitmapMovesThePixels) {
  Canvas c(6, 1);
  for (int x = 0; x < 6; ++x) c.At(x, 0) = 0xFF000000u + x;
  ASSERT_TRUE(BitBlt(c.dc(), 1, 0, 5, 1, c.dc(), 0, 0, SRCCOPY));
  for (int x = 1; x < 6; ++x) EXPECT_EQ(c.At(x, 0), 0xFF000000u + x - 1) << x;
  Canvas v(1, 6);
  for (int y = 0; y < 6; ++y) v.At(0, y) = 0xFF000000u + y;
  ASSERT_TRUE(BitBlt(v.dc(), 0, 0, 1, 5, v.dc(), 0, 1, SRCCOPY));
  for (int y = 0; y < 5; ++y) EXPECT_EQ(v.At(0, y), 0xFF000000u + y + 1) << y;
}

TEST(BitBlt, BottomUpAndTopDownBitmapsAgreeOnPictureOrientation) {
  Canvas up(2, 3, kBlack, false), down(2, 3, kBlack, true);
  up.At(0, 0) = kRed;                 // top-left in picture terms
  EXPECT_EQ(up.bits()[2 * 2], kRed);  // stored in the last memory row
  ASSERT_TRUE(BitBlt(down.dc(), 0, 0, 2, 3, up.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(down.bits()[0], kRed);
  EXPECT_EQ(GetPixel(up.dc(), 0, 0), RGB(255, 0, 0));
}

TEST(BitBlt, RasterOperationsWithoutASource) {
  struct Case {
    DWORD rop;
    uint32_t expected;
  };
  const Case cases[] = {
      {BLACKNESS, kBlack},
      {WHITENESS, kWhite},
      {PATCOPY, 0xFF0000FFu},    // the selected blue brush
      {DSTINVERT, 0xFFEDCBA9u},  // colour bits inverted, alpha kept
  };
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  for (const Case& c : cases) {
    Canvas canvas(3, 3, 0xFF123456u);
    SelectObject(canvas.dc(), blue);
    ASSERT_TRUE(BitBlt(canvas.dc(), 1, 1, 1, 1, nullptr, 0, 0, c.rop)) << std::hex << c.rop;
    EXPECT_EQ(canvas.At(1, 1), c.expected) << std::hex << c.rop;
    EXPECT_EQ(canvas.At(0, 0), 0xFF123456u) << std::hex << c.rop;
    SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
  }
  DeleteObject(blue);
  Canvas canvas(2, 2);
  EXPECT_FALSE(BitBlt(canvas.dc(), 0, 0, 1, 1, canvas.dc(), 0, 0, SRCPAINT));
}

TEST(StretchBlt, NearestPixelDoublesAndMirrors) {
  Canvas src(2, 1), dst(4, 2);
  src.At(0, 0) = kRed;
  src.At(1, 0) = kBlue;
  SetStretchBltMode(dst.dc(), COLORONCOLOR);
  ASSERT_TRUE(StretchBlt(dst.dc(), 0, 0, 4, 2, src.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(dst.Picture(kRed), Rows({"##..", "##.."}));
  EXPECT_EQ(dst.Picture(kBlue), Rows({"..##", "..##"}));
  // A negative destination width mirrors.
  ASSERT_TRUE(StretchBlt(dst.dc(), 4, 0, -4, 2, src.dc(), 0, 0, 2, 1, SRCCOPY));
  EXPECT_EQ(dst.Picture(kRed), Rows({"..##", "..##"}));
  // Shrinking picks one pixel of each pair.
  Canvas wide(4, 1, kGreen), one(2, 1);
  ASSERT_TRUE(StretchBlt(one.dc(), 0, 0, 2, 1, wide.dc(), 0, 0, 4, 1, SRCCOPY));
  EXPECT_EQ(one.Picture(kGreen), "##\n");
}

TEST(StretchBlt, HalftoneFiltersButKeepsFlatColoursExact) {
  Canvas flat(3, 3, 0xFF336699u), big(9, 9);
  SetStretchBltMode(big.dc(), HALFTONE);
  ASSERT_TRUE(StretchBlt(big.dc(), 0, 0, 9, 9, flat.dc(), 0, 0, 3, 3, SRCCOPY));
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(big.At(x, y), 0xFF336699u) << x << "," << y;

  // Shrinking black and white columns averages them to grey.
  Canvas stripes(4, 1), half(2, 1);
  for (int x = 0; x < 4; ++x) stripes.At(x, 0) = x % 2 ? kWhite : kBlack;
  SetStretchBltMode(half.dc(), HALFTONE);
  ASSERT_TRUE(StretchBlt(half.dc(), 0, 0, 2, 1, stripes.dc(), 0, 0, 4, 1, SRCCOPY));
  EXPECT_TRUE(Near(half.At(0, 0), 0xFF808080u));

  // Filtered scaling keeps the picture the right way up and mirrors like the nearest mode.
  for (bool topDown : {true, false}) {
    Canvas pair(1, 2, kBlack, topDown), tall(2, 8);
    pair.At(0, 0) = kRed;
    pair.At(0, 1) = kBlue;
    SetStretchBltMode(tall.dc(), HALFTONE);
    ASSERT_TRUE(StretchBlt(tall.dc(), 0, 0, 2, 8, pair.dc(), 0, 0, 1, 2, SRCCOPY));
    EXPECT_EQ(tall.At(1, 0), kRed) << topDown;
    EXPECT_EQ(tall.At(1, 7), kBlue) << topDown;
    ASSERT_TRUE(StretchBlt(tall.dc(), 0, 8, 2, -8, pair.dc(), 0, 0, 1, 2, SRCCOPY));
    EXPECT_EQ(tall.At(0, 0), kBlue) << topDown;
    EXPECT_EQ(tall.At(0, 7), kRed) << topDown;
  }
}

BLENDFUNCTION Blend(BYTE constant, bool perPixel) {
  return BLENDFUNCTION{AC_SRC_OVER, 0, constant, static_cast<BYTE>(perPixel ? AC_SRC_ALPHA : 0)};
}

TEST(AlphaBlend, PremultipliedSourceOverDestinationWithinOne) {
  struct Case {
    uint32_t src, dst;
    BYTE constant;
    bool perPixel;
    uint32_t expected;
  };
  // dst = src x sca + dst x (1 - srcA x sca)
  const Case cases[] = {
      {0xFFFF0000u, 0xFF0000FFu, 255, true, 0xFFFF0000u},   // opaque source replaces
      {0x00000000u, 0xFF0000FFu, 255, true, 0xFF0000FFu},   // transparent source keeps
      {0x80800000u, 0xFF0000FFu, 255, true, 0xFF80007Fu},   // half red over blue
      {0xFFFF0000u, 0xFF0000FFu, 128, true, 0xFF80007Fu},   // constant alpha halves
      {0x80800000u, 0xFF0000FFu, 128, true, 0xFF4000BFu},   // both
      {0x80800000u, 0x00000000u, 255, true, 0x80800000u},   // onto transparent: keeps alpha meaningful
      {0x00FF0000u, 0xFF0000FFu, 128, false, 0xFF80007Fu},  // no per-pixel alpha: source opaque
      // Colour above alpha (not truly premultiplied) saturates instead of wrapping around.
      {0x80FF0000u, 0xFFFF0000u, 255, true, 0xFFFF0000u},
      {0x40FFFFFFu, 0xFFFFFFFFu, 255, true, 0xFFFFFFFFu},
      {0x80FF0000u, 0xFFFF00FFu, 128, true, 0xFFFF00BFu},
  };
  for (const Case& c : cases) {
    Canvas src(2, 2, c.src), dst(2, 2, c.dst);
    ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 2, 2, Blend(c.constant, c.perPixel)));
    EXPECT_TRUE(Near(dst.At(1, 1), c.expected)) << std::hex << c.src << " over " << c.dst;
  }
}

TEST(AlphaBlend, StretchesWithNearestPixels) {
  Canvas src(2, 1), dst(4, 1, kBlack);
  src.At(0, 0) = kRed;
  src.At(1, 0) = 0x00000000u;
  ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, 4, 1, src.dc(), 0, 0, 2, 1, Blend(255, true)));
  EXPECT_EQ(dst.Picture(kRed), "##..\n");
  EXPECT_EQ(dst.Picture(kBlack), "..##\n");
}

TEST(AlphaBlend, StretchesWithAConstantAlphaThroughAClipOfSeveralBoxesInEitherRowOrder) {
  for (bool srcTopDown : {true, false}) {
    for (bool dstTopDown : {true, false}) {
      Canvas src(2, 2, 0, srcTopDown), dst(5, 5, kBlack, dstTopDown);
      src.At(0, 0) = kRed;
      src.At(1, 1) = kGreen;
      HRGN clip = CreateRectRgn(0, 0, 5, 2), corner = CreateRectRgn(3, 3, 5, 5);
      CombineRgn(clip, clip, corner, RGN_OR);
      SelectClipRgn(dst.dc(), clip);
      DeleteObject(clip);
      DeleteObject(corner);
      ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, 5, 5, src.dc(), 0, 0, 2, 2, Blend(128, true)));
      // 2 -> 5 pixels: each destination pixel takes the source pixel under its centre.
      std::string picture;
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) {
          const uint32_t p = dst.At(x, y);
          picture += p == kBlack ? '.' : Near(p, 0xFF800000u) ? 'r' : Near(p, 0xFF008000u) ? 'g' : '?';
        }
        picture += '\n';
      }
      EXPECT_EQ(picture, Rows({"rr...", "rr...", ".....", "...gg", "...gg"})) << srcTopDown << dstTopDown;
    }
  }
}

TEST(AlphaBlend, LongStretchesTakeThePixelUnderEachCentre) {
  struct Case {
    int sourceLength, destLength;
    bool vertical;
  };
  // Tall cases use bottom-up bitmaps; 20000 pixels is more than one piece for pixman.
  const Case cases[] = {
      {3, 1000, false}, {3, 1000, true}, {1000, 3, false}, {7, 5, true}, {2, 20000, false},
  };
  for (const Case& c : cases) {
    const int sw = c.vertical ? 1 : c.sourceLength, sh = c.vertical ? c.sourceLength : 1;
    const int dw = c.vertical ? 1 : c.destLength, dh = c.vertical ? c.destLength : 1;
    Canvas src(sw, sh, 0, !c.vertical), dst(dw, dh, kBlack, !c.vertical);
    for (int i = 0; i < c.sourceLength; ++i) (c.vertical ? src.At(0, i) : src.At(i, 0)) = 0xFF000000u + i;
    ASSERT_TRUE(AlphaBlend(dst.dc(), 0, 0, dw, dh, src.dc(), 0, 0, sw, sh, Blend(255, true)));
    for (int j = 0; j < c.destLength; ++j) {
      const uint32_t expected =
          0xFF000000u + static_cast<uint32_t>((2 * j + 1) * c.sourceLength / (2 * c.destLength));
      ASSERT_EQ(c.vertical ? dst.At(0, j) : dst.At(j, 0), expected)
          << c.sourceLength << "->" << c.destLength << " at " << j;
    }
  }
}

TEST(AlphaBlend, RefusesWhatWindowsRefuses) {
  Canvas src(4, 4, kRed), dst(8, 8, kBlack);
  struct Case {
    const char* what;
    int xd, yd, wd, hd, xs, ys, ws, hs;
  };
  const Case cases[] = {
      {"negative destination width", 4, 0, -2, 2, 0, 0, 2, 2},
      {"negative source height", 0, 0, 2, 2, 0, 2, 2, -2},
      {"source past the right edge", 0, 0, 2, 2, 3, 0, 2, 2},
      {"source above the top", 0, 0, 2, 2, 0, -1, 2, 2},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(
        AlphaBlend(dst.dc(), c.xd, c.yd, c.wd, c.hd, src.dc(), c.xs, c.ys, c.ws, c.hs, Blend(255, true)))
        << c.what;
  }
  std::string untouched;
  for (int y = 0; y < 8; ++y) untouched += "########\n";
  EXPECT_EQ(dst.Picture(kBlack), untouched);
  // One bitmap onto itself: refused when the rectangles overlap, fine when they do not.
  EXPECT_FALSE(AlphaBlend(dst.dc(), 1, 1, 4, 4, dst.dc(), 0, 0, 4, 4, Blend(255, true)));
  dst.At(0, 0) = kRed;
  EXPECT_TRUE(AlphaBlend(dst.dc(), 4, 4, 4, 4, dst.dc(), 0, 0, 4, 4, Blend(255, true)));
  EXPECT_EQ(dst.At(4, 4), kRed);
}

}  // namespace
