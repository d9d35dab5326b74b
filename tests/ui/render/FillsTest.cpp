#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <set>
#include <string>

#include "tests/platform/gdi/GdiTestKit.h"
#include "ui/render/MsImgRoutines.h"
#include "ui/render/RenderKit.h"

using gditest::Canvas;
using gditest::Near;
using Umbra::CRenderKit;
using Umbra::MsImgRoutines;

namespace {

constexpr uint32_t kPaper = 0xFF204060u;  // the canvas before drawing

// The GradientFill path and the solid-band path, both blending with the system AlphaBlend.
const MsImgRoutines kWithGradientFill{&GradientFill, &AlphaBlend};
const MsImgRoutines kWithBands{nullptr, &AlphaBlend};

// Each channel of a scaled by num / den.
uint32_t Scaled(uint32_t a, int num, int den) {
  uint32_t out = 0;
  for (int shift = 0; shift < 32; shift += 8) out |= (((a >> shift) & 0xFF) * num / den) << shift;
  return out;
}

bool AllPixels(Canvas& canvas, int w, int h, uint32_t pixel) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (canvas.At(x, y) != pixel) return false;
  return true;
}

// Rectangles that cover nothing, and one far larger than any target.
const RECT kNothing[] = {{2, 2, 2, 6}, {2, 2, 6, 2}, {6, 2, 2, 6}, {2, 6, 6, 2}};
const RECT kHuge{INT_MIN, INT_MIN, INT_MAX, INT_MAX};

}  // namespace

// ---- FillColor ------------------------------------------------------------------------------------

TEST(FillColor, DrawsNothingOpaqueOrBlendedByAlpha) {
  struct Case {
    DWORD color;
    uint32_t inside;
  } cases[] = {
      {0x00FF0000u, kPaper},       // alpha 0: nothing
      {0xFFFF0000u, 0xFFFF0000u},  // opaque red
      // c + d * (255 - 128) / 255, the colour's channels not scaled
      {0x80402010u, 0xFF000000u | (0x40 + 0x20 * 127 / 255) << 16 | (0x20 + 0x40 * 127 / 255) << 8 |
                        (0x10 + 0x60 * 127 / 255)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.color);
    Canvas canvas(6, 6, kPaper);
    CRenderKit::FillColor(canvas.dc(), RECT{1, 2, 5, 4}, c.color);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        const bool inside = x >= 1 && x < 5 && y >= 2 && y < 4;
        EXPECT_TRUE(Near(canvas.At(x, y), inside ? c.inside : kPaper)) << x << "," << y;
      }
  }
}

TEST(FillColor, EmptyInvertedAndHugeRectanglesAreSafe) {
  for (DWORD color : {0xFFFF0000u, 0x80FF0000u}) {
    Canvas canvas(8, 8, kPaper);
    for (const RECT& rc : kNothing) CRenderKit::FillColor(canvas.dc(), rc, color);
    CRenderKit::FillColor(nullptr, RECT{0, 0, 8, 8}, color);
    EXPECT_TRUE(AllPixels(canvas, 8, 8, kPaper));
    CRenderKit::FillColor(canvas.dc(), kHuge, color);
    const uint32_t first = canvas.At(0, 0);
    EXPECT_NE(first, kPaper);
    EXPECT_TRUE(AllPixels(canvas, 8, 8, first));
  }
}

// ---- FillGradient ---------------------------------------------------------------------------------

TEST(FillGradient, RunsFromFirstColourToSecondAlongTheChosenAxis) {
  constexpr DWORD kFrom = 0xFF102030u, kTo = 0xFFF0E0D0u;
  for (bool vertical : {true, false}) {
    SCOPED_TRACE(vertical ? "vertical" : "horizontal");
    Canvas canvas(12, 10, kPaper);
    FillGradientWith(kWithGradientFill, canvas.dc(), RECT{1, 1, 11, 9}, kFrom, kTo, vertical, 64);
    // First and last row (vertical) or column (horizontal) of the rectangle.
    const uint32_t first = canvas.At(1, 1);
    const uint32_t last = vertical ? canvas.At(1, 8) : canvas.At(10, 1);
    const uint32_t across = vertical ? canvas.At(10, 1) : canvas.At(1, 8);
    EXPECT_TRUE(Near(first, kFrom));
    EXPECT_TRUE(Near(last, kTo));
    EXPECT_EQ(across, first);  // constant across the other axis
    EXPECT_EQ(canvas.At(0, 0), kPaper);
    EXPECT_EQ(canvas.At(11, 9), kPaper);
  }
}

TEST(FillGradient, WithoutGradientFillDrawsBandsFromTheFarEdge) {
  // Four bands (steps 4-7) over eight rows: band i from the bottom mixes
  // (color2 * (4 - i) + color1 * i) / 4.
  Canvas canvas(3, 8, kPaper);
  FillGradientWith(kWithBands, canvas.dc(), RECT{0, 0, 3, 8}, 0xFF000000u, 0xFFFF80FCu, true, 5);
  const uint32_t rows[8] = {0xFF3F203F, 0xFF3F203F, 0xFF7F407E, 0xFF7F407E,
                            0xFFBF60BD, 0xFFBF60BD, 0xFFFF80FC, 0xFFFF80FC};
  for (int y = 0; y < 8; ++y) {
    EXPECT_EQ(canvas.At(0, y), rows[y]) << "row " << y;
    EXPECT_EQ(canvas.At(2, y), rows[y]) << "row " << y;
  }
}

TEST(FillGradient, BandCountFollowsSteps) {
  struct Case {
    int steps;
    size_t bands;
  } cases[] = {{-7, 2},  {0, 2},   {3, 2},   {4, 4},   {7, 4},       {8, 8},
               {16, 16}, {32, 32}, {63, 32}, {64, 64}, {INT_MAX, 64}};
  for (const Case& c : cases) {
    for (bool vertical : {true, false}) {
      SCOPED_TRACE(testing::Message() << "steps " << c.steps << (vertical ? " vertical" : " horizontal"));
      Canvas canvas(64, 64, kPaper);
      FillGradientWith(kWithBands, canvas.dc(), RECT{0, 0, 64, 64}, 0xFF000000u, 0xFFFFFFFFu, vertical,
                       c.steps);
      std::set<uint32_t> colours;
      for (int i = 0; i < 64; ++i) colours.insert(vertical ? canvas.At(5, i) : canvas.At(i, 5));
      EXPECT_EQ(colours.size(), c.bands);
      EXPECT_EQ(colours.count(0xFFFFFFFFu), 1u);  // the far edge carries color2 itself
    }
  }
}

TEST(FillGradient, MoreBandsThanPixelsSkipsEmptyBands) {
  Canvas canvas(3, 3, kPaper);
  FillGradientWith(kWithBands, canvas.dc(), RECT{0, 0, 3, 3}, 0xFF000000u, 0xFFFFFFFFu, false, 64);
  for (int x = 0; x < 3; ++x) EXPECT_NE(canvas.At(x, 1), kPaper) << x;
}

// The alpha of the fill is the mean of the two colours' alphas; a translucent gradient is the
// opaque one blended over what was there.
TEST(FillGradient, BlendsWithTheMeanAlphaOfItsColours) {
  constexpr DWORD kFrom = 0x00FF8000u, kTo = 0xFF0080FFu;  // alphas 00 and FF: 127
  const struct {
    const char* name;
    const MsImgRoutines* procs;
  } paths[] = {{"GradientFill", &kWithGradientFill}, {"bands", &kWithBands}};
  for (const auto& path : paths) {
    for (bool vertical : {true, false}) {
      SCOPED_TRACE(testing::Message() << path.name << (vertical ? " vertical" : " horizontal"));
      // Reaching past a clip that starts inside the canvas checks that the offscreen copy,
      // which covers only the visible part, lines up.
      const RECT rc{-6, -3, 10, 12};
      Canvas opaque(8, 8, 0xFF000000u), blended(8, 8, 0xFF000000u);
      IntersectClipRect(opaque.dc(), 2, 3, 8, 8);
      IntersectClipRect(blended.dc(), 2, 3, 8, 8);
      FillGradientWith(*path.procs, opaque.dc(), rc, kFrom | 0xFF000000u, kTo, vertical, 16);
      FillGradientWith(*path.procs, blended.dc(), rc, kFrom, kTo, vertical, 16);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
          const bool visible = x >= 2 && y >= 3;
          const uint32_t expected =
              visible ? 0xFF000000u | (Scaled(opaque.At(x, y), 127, 255) & 0xFFFFFF) : 0xFF000000u;
          ASSERT_TRUE(Near(blended.At(x, y), expected)) << x << "," << y;
        }
    }
  }
}

TEST(FillGradient, BlendsOverTheDestination) {
  Canvas canvas(4, 4, 0xFF0000FFu);
  FillGradientWith(kWithGradientFill, canvas.dc(), RECT{0, 0, 4, 4}, 0xFFFF0000u, 0x00FF0000u, true, 1);
  // 127/255 of red over 128/255 of blue.
  EXPECT_TRUE(Near(canvas.At(1, 1), 0xFF7F0080u));
}

TEST(FillGradient, TransparentColoursDrawNothing) {
  Canvas canvas(4, 4, kPaper);
  // (0 + 1) / 2 is still 0.
  CRenderKit::FillGradient(canvas.dc(), RECT{0, 0, 4, 4}, 0x00FFFFFFu, 0x01FFFFFFu, true, 8);
  EXPECT_TRUE(AllPixels(canvas, 4, 4, kPaper));
}

TEST(FillGradient, EmptyInvertedAndHugeRectanglesAreSafe) {
  for (const MsImgRoutines* procs : {&kWithGradientFill, &kWithBands}) {
    for (DWORD alpha : {0xFF000000u, 0x80000000u}) {
      for (bool vertical : {true, false}) {
        Canvas canvas(8, 8, kPaper);
        for (const RECT& rc : kNothing)
          FillGradientWith(*procs, canvas.dc(), rc, alpha | 0xFF0000, alpha | 0xFF, vertical, 8);
        FillGradientWith(*procs, nullptr, RECT{0, 0, 8, 8}, alpha, alpha, vertical, 8);
        EXPECT_TRUE(AllPixels(canvas, 8, 8, kPaper));
        for (int steps : {-1, 0, 64})
          FillGradientWith(*procs, canvas.dc(), kHuge, alpha | 0xFF0000, alpha | 0xFF, vertical, steps);
        EXPECT_NE(canvas.At(3, 3), kPaper);
      }
    }
  }
}

// The process-wide lookup finds both routines in msimg32 unless they are hidden; without
// AlphaBlend the soft blend stands in.
TEST(FillGradient, LookupFallsBackWhenRoutinesAreMissing) {
  if (!GetModuleHandleW(TEXT("msimg32.dll"))) GTEST_SKIP() << "msimg32.dll is not loaded";
  const char* saved = getenv("UMBRA_HIDE_PROCS");
  const std::string restore = saved ? saved : "";
  unsetenv("UMBRA_HIDE_PROCS");
  const MsImgRoutines found = Umbra::LookupMsImgRoutines();
  EXPECT_NE(found.gradientFill, nullptr);
  EXPECT_NE(found.alphaBlend, nullptr);
  EXPECT_NE(found.alphaBlend, &CRenderKit::SoftAlphaBlend);

  setenv("UMBRA_HIDE_PROCS", "GradientFill,AlphaBlend", 1);
  const MsImgRoutines hidden = Umbra::LookupMsImgRoutines();
  EXPECT_EQ(hidden.gradientFill, nullptr);
  EXPECT_EQ(hidden.alphaBlend, &CRenderKit::SoftAlphaBlend);

  if (saved)
    setenv("UMBRA_HIDE_PROCS", restore.c_str(), 1);
  else
    unsetenv("UMBRA_HIDE_PROCS");
}

// ---- Strokes ----------------------------------------------------------------------------------------

TEST(Stroke, LineRunsFromTopLeftUpToButNotIncludingBottomRight) {
  const struct {
    RECT rc;
    const char* picture;
  } cases[] = {
      {{1, 2, 6, 2}, "........\n........\n.#####..\n........\n"},
      {{6, 0, 6, 3}, "......#.\n......#.\n......#.\n........\n"},
      {{0, 0, 3, 3}, "#.......\n.#......\n..#.....\n........\n"},
  };
  for (const auto& c : cases) {
    Canvas canvas(8, 4, kPaper);
    HGDIOBJ pen = GetCurrentObject(canvas.dc(), OBJ_PEN);
    // The alpha byte plays no part in a stroke.
    CRenderKit::StrokeLine(canvas.dc(), c.rc, 1, 0x40FF0000u);
    EXPECT_EQ(canvas.Picture(gditest::kRed), c.picture);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PEN), pen);
  }
}

TEST(Stroke, RectanglesFrameInsideAndLeaveTheInsideAlone) {
  const struct {
    int width;
    const char* picture;
  } cases[] = {
      {1, "........\n.######.\n.#....#.\n.#....#.\n.#....#.\n.######.\n........\n"},
      {2, "........\n.######.\n.######.\n.##..##.\n.######.\n.######.\n........\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width);
    Canvas canvas(8, 7, kPaper);
    HGDIOBJ pen = GetCurrentObject(canvas.dc(), OBJ_PEN);
    HGDIOBJ brush = GetCurrentObject(canvas.dc(), OBJ_BRUSH);
    CRenderKit::StrokeRect(canvas.dc(), RECT{1, 1, 7, 6}, c.width, 0xFF0000FFu);
    EXPECT_EQ(canvas.Picture(gditest::kBlue), c.picture);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PEN), pen);
    EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_BRUSH), brush);
  }
}

TEST(Stroke, RoundRectLeavesCornersAndInsideAlone) {
  Canvas canvas(12, 12, kPaper);
  HGDIOBJ pen = GetCurrentObject(canvas.dc(), OBJ_PEN);
  CRenderKit::StrokeRoundRect(canvas.dc(), RECT{0, 0, 12, 12}, 1, 8, 8, 0xFF00FF00u);
  EXPECT_EQ(canvas.At(0, 0), kPaper);
  EXPECT_EQ(canvas.At(11, 11), kPaper);
  EXPECT_EQ(canvas.At(6, 0), gditest::kGreen);
  EXPECT_EQ(canvas.At(0, 6), gditest::kGreen);
  EXPECT_EQ(canvas.At(6, 6), kPaper);
  EXPECT_EQ(GetCurrentObject(canvas.dc(), OBJ_PEN), pen);
}

// ---- HSL ------------------------------------------------------------------------------------------

TEST(ColorHsl, AdjustsHueSaturationAndLightness) {
  const struct {
    DWORD color;
    short h, s, l;
    DWORD expected;
  } cases[] = {
      {0x12345678u, 180, 100, 100, 0x12345678u},        // neutral: bit for bit
      {0xFFC86432u, 180, 0, 100, 0xFF7D7D7Du},          // no saturation: grey of lightness 125/255
      {0x80FF0000u, 300, 100, 100, 0x8000FF00u},        // red turned by 120 degrees
      {0xFF00FF00u, 60, 100, 100, 0xFFFF0000u},         // green back by 120: lands on 360
      {0xFF0000FFu, 180, 100, 50, 0xFF00007Fu},         // half the lightness
      {0x00808080u, 0, 100, 100, 0x00808080u},          // a grey has no hue to turn
      {0xFFFF0000u, 180, 100, 200, 0xFFFFFFFFu},        // lightness past 1 is white
      {0xFFFF0000u, 180 + 360, 100, 100, 0xFFFF0000u},  // a whole turn
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CRenderKit::AdjustColorHsl(c.color, c.h, c.s, c.l), c.expected)
        << std::hex << c.color << std::dec << " " << c.h << "," << c.s << "," << c.l;
  }
}

TEST(ColorHsl, ConvertsBothWays) {
  const struct {
    DWORD color;
    float h, s, l;
  } cases[] = {
      {0xFFFF0000u, 0, 1, 0.5f},        {0xFF00FF00u, 120, 1, 0.5f},     {0xFF0000FFu, 240, 1, 0.5f},
      {0xFF808080u, 0, 0, 128 / 255.f}, {0xFFFF80FFu, 300, 1, 0.75098f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.color);
    float h = -1, s = -1, l = -1;
    CRenderKit::RgbToHsl(c.color, &h, &s, &l);
    EXPECT_NEAR(h, c.h, 1e-3);
    EXPECT_NEAR(s, c.s, 1e-3);
    EXPECT_NEAR(l, c.l, 1e-3);
    DWORD back = 0x5A000000u;  // the alpha byte stays
    CRenderKit::HslToRgb(&back, h, s, l);
    EXPECT_EQ(back, (c.color & 0xFFFFFF) | 0x5A000000u);
  }
}

TEST(ColorHsl, OutOfRangeInputKeepsAlphaAndDoesNotFault) {
  for (short v : {short{SHRT_MIN}, short{-1}, short{0}, short{361}, short{SHRT_MAX}})
    EXPECT_EQ(CRenderKit::AdjustColorHsl(0xA1C86432u, v, v, v) >> 24, 0xA1u) << v;
  DWORD color = 0x77000000u;
  CRenderKit::HslToRgb(&color, std::numeric_limits<float>::quiet_NaN(), 1e30f, -5);
  EXPECT_EQ(color >> 24, 0x77u);
  CRenderKit::HslToRgb(nullptr, 0, 0, 0);
  CRenderKit::RgbToHsl(0xFFFFFFFFu, nullptr, nullptr, nullptr);
}
