// The GDI+ flat calls of the label's text effects, drawn on small canvases with DejaVu Sans.
#include <gdiplus.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "GdiTestKit.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;
using gditest::Canvas;
using gditest::kWhite;
using gditest::Near;

namespace {

constexpr WCHAR kBlocks[] = u"\u2588\u2588\u2588";  // full blocks: solid ink to sample colours from

LOGFONTW DejaVu(int height) {
  LOGFONTW log{};
  log.lfHeight = height;
  log.lfWeight = FW_NORMAL;
  std::memcpy(log.lfFaceName, u"DejaVu Sans", sizeof(u"DejaVu Sans"));
  return log;
}

struct InkBox {
  int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;  // right, bottom excluded
  bool Empty() const { return left >= right; }
};

InkBox InkOf(Canvas& canvas, int width, int height, uint32_t background) {
  InkBox box;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (canvas.At(x, y) != background) {
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x + 1);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y + 1);
      }
  return box;
}

class Gdiplus_ : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(GdiplusStartup(&m_token, &m_input, nullptr), Ok); }
  void TearDown() override {
    Release();
    GdiplusShutdown(m_token);
  }
  // Deletes the objects of one case, so that a table can open the next.
  void Release() {
    for (GpBrush* brush : m_brushes) GdipDeleteBrush(brush);
    m_brushes.clear();
    if (m_format) GdipDeleteStringFormat(m_format);
    if (m_font) GdipDeleteFont(m_font);
    if (m_graphics) GdipDeleteGraphics(m_graphics);
    m_format = nullptr, m_font = nullptr, m_graphics = nullptr;
  }

  // Graphics on the canvas, a DejaVu Sans font and a format with the given alignments.
  void Open(Canvas& canvas, int height, StringAlignment align = StringAlignmentNear,
            StringAlignment lineAlign = StringAlignmentCenter) {
    LOGFONTW log = DejaVu(height);
    ASSERT_EQ(GdipCreateFontFromLogfontW(canvas.dc(), &log, &m_font), Ok);
    ASSERT_EQ(GdipCreateFromHDC(canvas.dc(), &m_graphics), Ok);
    ASSERT_EQ(GdipCreateStringFormat(0, 0, &m_format), Ok);
    ASSERT_EQ(GdipSetStringFormatAlign(m_format, align), Ok);
    ASSERT_EQ(GdipSetStringFormatLineAlign(m_format, lineAlign), Ok);
  }
  GpBrush* Solid(ARGB color) {
    GpSolidFill* brush = nullptr;
    EXPECT_EQ(GdipCreateSolidFill(color, &brush), Ok);
    m_brushes.push_back(brush);
    return brush;
  }
  GpBrush* Line(Point a, Point b, ARGB from, ARGB to) {
    GpLineGradient* brush = nullptr;
    EXPECT_EQ(GdipCreateLineBrushI(&a, &b, from, to, WrapModeTile, &brush), Ok);
    m_brushes.push_back(brush);
    return brush;
  }
  GpStatus Draw(const WCHAR* text, RectF rect, GpBrush* brush) {
    return GdipDrawString(m_graphics, text, -1, m_font, &rect, m_format, brush);
  }

  GdiplusStartupInput m_input;
  ULONG_PTR m_token = 0;
  GpGraphics* m_graphics = nullptr;
  GpFont* m_font = nullptr;
  GpStringFormat* m_format = nullptr;
  std::vector<GpBrush*> m_brushes;
};

TEST_F(Gdiplus_, DrawsTextInsideTheLayoutRectangleAsAligned) {
  struct Case {
    StringAlignment align;
    const WCHAR* text;
    int minLeft, maxLeft;  // where the ink may start
  } cases[] = {
      {StringAlignmentNear, u"Hi", 10, 14},
      {StringAlignmentCenter, u"Hi", 35, 40},
      {StringAlignmentFar, u"Hi", 54, 62},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.align);
    Canvas canvas(80, 30, kWhite);
    Open(canvas, -12, c.align);
    ASSERT_EQ(Draw(c.text, RectF(10, 0, 60, 30), Solid(0xFF000000)), Ok);
    InkBox ink = InkOf(canvas, 80, 30, kWhite);
    ASSERT_FALSE(ink.Empty());
    EXPECT_GE(ink.left, c.minLeft);
    EXPECT_LE(ink.left, c.maxLeft);
    EXPECT_LE(ink.right, 70);
    // Centred on the line: the capitals' middle is near the rectangle's.
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 15, 3);
    Release();
  }
}

TEST_F(Gdiplus_, WrapsAndClipsLongTextToTheLayoutRectangle) {
  Canvas canvas(60, 40, kWhite);
  Open(canvas, -12, StringAlignmentNear, StringAlignmentNear);
  ASSERT_EQ(Draw(u"WWWWWW wide words WWWWWWWWW", RectF(10, 5, 30, 20), Solid(0xFF000000)), Ok);
  InkBox ink = InkOf(canvas, 60, 40, kWhite);
  ASSERT_FALSE(ink.Empty());
  EXPECT_GE(ink.left, 10);
  EXPECT_LE(ink.right, 40);
  EXPECT_GE(ink.top, 5);
  EXPECT_LE(ink.bottom, 25);
  // The text wrapped: a second line shows below the first one's capitals.
  EXPECT_GT(ink.bottom - ink.top, 14);
}

TEST_F(Gdiplus_, BottomUpBitmapsShowTheSamePicture) {
  std::string pictures[2];
  for (bool topDown : {true, false}) {
    Canvas canvas(40, 20, kWhite, topDown);
    Open(canvas, -12);
    ASSERT_EQ(Draw(u"Tg", RectF(2, 0, 36, 20), Solid(0xFF000000)), Ok);
    pictures[topDown] = canvas.Picture(gditest::kBlack) + canvas.Picture(kWhite);
    Release();
  }
  EXPECT_EQ(pictures[0], pictures[1]);
  EXPECT_NE(pictures[0].find('#'), std::string::npos);
}

TEST_F(Gdiplus_, OddTextAndRectanglesDrawSafely) {
  const WCHAR lone[] = {0xD800, u'A', 0xDC00, 0};
  struct Case {
    const char* what;
    const WCHAR* text;
    RectF rect;
    bool ink;
  } cases[] = {
      {"unbounded size", u"Ab", RectF(4, 10, 0, 0), true},
      {"lines and blanks", u"\r\n\tA  \n\nB\r\n", RectF(0, 0, 40, 20), true},
      {"lone surrogates", lone, RectF(0, 0, 40, 20), true},
      {"one pixel wide", u"word word", RectF(0, 0, 1, 20), false},
      {"negative width", u"Ab", RectF(0, 0, -5, 20), false},
      {"far away", u"Ab", RectF(-3e9f, 3e9f, 1e9f, 1e9f), false},
      {"huge size, centred far below", u"Ab", RectF(0, 0, 3e38f, 3e38f), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Canvas canvas(40, 20, kWhite);
    Open(canvas, -12);
    EXPECT_EQ(Draw(c.text, c.rect, Solid(0xFF000000)), Ok);
    EXPECT_EQ(!InkOf(canvas, 40, 20, kWhite).Empty(), c.ink);
    Release();
  }
}

TEST_F(Gdiplus_, GradientBrushRunsBetweenItsPointsAndRepeats) {
  // The brush's points are logical coordinates: moving the DC's origin moves the gradient.
  for (int origin : {0, 5}) {
    SCOPED_TRACE(origin);
    Canvas canvas(100, 40, kWhite);
    SetViewportOrgEx(canvas.dc(), origin, 0, nullptr);
    Open(canvas, -30);
    ASSERT_EQ(Draw(kBlocks, RectF(0, 0, 90, 40), Line({0, 0}, {20, 0}, 0xFFFF0000, 0xFF0000FF)), Ok);
    struct Sample {
      int x;
      uint32_t expected;
    } samples[] = {
        {20, 0xFFF90006},
        {39, 0xFF0600F9},  // start and end of the second period
        {40, 0xFFF90006},
        {50, 0xFF790086},  // third period: starts over, middle
    };
    for (const Sample& s : samples) {
      SCOPED_TRACE(s.x);
      EXPECT_TRUE(Near(canvas.At(s.x + origin, 20), s.expected));
    }
    Release();
  }
}

TEST_F(Gdiplus_, BlendsTranslucentTextOverExistingPixels) {
  struct Case {
    uint32_t background;
    ARGB brush;
    uint32_t expected;  // premultiplied BGRA
  } cases[] = {
      {0xFF0000FF, 0x80FF0000, 0xFF80007F},  // half red over opaque blue
      {0x00000000, 0x80FF0000, 0x80800000},  // over nothing the alpha stays partial
      {0xFF00FF00, 0x00FF0000, 0xFF00FF00},  // fully transparent text leaves the pixel alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.background);
    Canvas canvas(64, 40, c.background);
    Open(canvas, -36);
    ASSERT_EQ(Draw(kBlocks, RectF(0, 0, 64, 40), Solid(c.brush)), Ok);
    EXPECT_TRUE(Near(canvas.At(30, 20), c.expected));
    Release();
  }
}

TEST_F(Gdiplus_, SingleBitHintsDrawWithoutGreyLevels) {
  struct Case {
    TextRenderingHint hint;
    bool grey;
  } cases[] = {{TextRenderingHintSingleBitPerPixel, false},
               {TextRenderingHintSingleBitPerPixelGridFit, false},
               {TextRenderingHintAntiAlias, true},
               {TextRenderingHintClearTypeGridFit, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hint);
    Canvas canvas(60, 20, kWhite);
    Open(canvas, -12);
    ASSERT_EQ(GdipSetTextRenderingHint(m_graphics, c.hint), Ok);
    ASSERT_EQ(Draw(u"avocado", RectF(0, 0, 60, 20), Solid(0xFF000000)), Ok);
    bool grey = false;
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 60; ++x) grey |= canvas.At(x, y) != kWhite && canvas.At(x, y) != gditest::kBlack;
    EXPECT_EQ(grey, c.grey);
    Release();
  }
}

TEST_F(Gdiplus_, FontsFromLogfontAAndFromTheDcDrawLikeTheLogfontW) {
  auto render = [&](auto makeFont) {
    Canvas canvas(60, 20, kWhite);
    HFONT hfont = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, u"DejaVu Sans");
    HGDIOBJ old = SelectObject(canvas.dc(), hfont);
    GpFont* font = nullptr;
    EXPECT_EQ(makeFont(canvas.dc(), hfont, &font), Ok);
    GpGraphics* graphics = nullptr;
    EXPECT_EQ(GdipCreateFromHDC(canvas.dc(), &graphics), Ok);
    RectF rect(0, 0, 60, 20);
    EXPECT_EQ(GdipDrawString(graphics, u"Qy", -1, font, &rect, nullptr, Solid(0xFF000000)), Ok);
    GdipDeleteGraphics(graphics);
    GdipDeleteFont(font);
    SelectObject(canvas.dc(), old);
    DeleteObject(hfont);
    return std::vector<uint32_t>(canvas.bits(), canvas.bits() + 60 * 20);
  };
  auto fromW = render([](HDC dc, HFONT, GpFont** out) {
    LOGFONTW log = DejaVu(-13);
    return GdipCreateFontFromLogfontW(dc, &log, out);
  });
  auto fromA = render([](HDC dc, HFONT hfont, GpFont** out) {
    LOGFONTA log{};
    EXPECT_EQ(GetObjectA(hfont, sizeof(log), &log), static_cast<int>(sizeof(log)));
    return GdipCreateFontFromLogfontA(dc, &log, out);
  });
  auto fromDc = render([](HDC dc, HFONT, GpFont** out) { return GdipCreateFontFromDC(dc, out); });
  EXPECT_NE(std::count(fromW.begin(), fromW.end(), kWhite), 60 * 20);
  EXPECT_EQ(fromA, fromW);
  EXPECT_EQ(fromDc, fromW);
}

TEST_F(Gdiplus_, BadArgumentsAreRefusedAndDrawNothing) {
  Canvas canvas(40, 20, kWhite);
  Open(canvas, -12);
  GpBrush* brush = Solid(0xFF000000);
  GpBrush* gone = Solid(0xFF000000);
  ASSERT_EQ(GdipDeleteBrush(gone), Ok);
  m_brushes.pop_back();
  const RectF rect(0, 0, 40, 20);
  const RectF nan(0, std::numeric_limits<float>::quiet_NaN(), 40, 20);
  int notAnObject = 0;
  auto fake = reinterpret_cast<GpGraphics*>(&notAnObject);
  struct Case {
    const char* what;
    GpGraphics* graphics;
    const WCHAR* text;
    INT length;
    GpFont* font;
    const RectF* rect;
    GpBrush* brush;
  } cases[] = {
      {"no graphics", nullptr, u"x", -1, m_font, &rect, brush},
      {"not a graphics", fake, u"x", -1, m_font, &rect, brush},
      {"no text", m_graphics, nullptr, -1, m_font, &rect, brush},
      {"length below -1", m_graphics, u"x", -2, m_font, &rect, brush},
      {"no font", m_graphics, u"x", -1, nullptr, &rect, brush},
      {"no rectangle", m_graphics, u"x", -1, m_font, nullptr, brush},
      {"rectangle not a number", m_graphics, u"x", -1, m_font, &nan, brush},
      {"no brush", m_graphics, u"x", -1, m_font, &rect, nullptr},
      {"deleted brush", m_graphics, u"x", -1, m_font, &rect, gone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(GdipDrawString(c.graphics, c.text, c.length, c.font, c.rect, m_format, c.brush),
              InvalidParameter);
  }
  EXPECT_TRUE(InkOf(canvas, 40, 20, kWhite).Empty());

  Point p(3, 4);
  GpLineGradient* line = nullptr;
  EXPECT_EQ(GdipCreateLineBrushI(&p, &p, 0, 0, WrapModeTile, &line), OutOfMemory);
  Point q(5, 9);
  EXPECT_EQ(GdipCreateLineBrushI(&p, &q, 0, 0, WrapModeClamp, &line), InvalidParameter);
  EXPECT_EQ(GdipCreateLineBrushI(nullptr, &q, 0, 0, WrapModeTile, &line), InvalidParameter);
  EXPECT_EQ(GdipSetTextRenderingHint(m_graphics, static_cast<TextRenderingHint>(6)), InvalidParameter);
  EXPECT_EQ(GdipSetStringFormatAlign(m_format, static_cast<StringAlignment>(3)), InvalidParameter);
  EXPECT_EQ(GdipDeleteBrush(gone), InvalidParameter);
  GpGraphics* graphics = nullptr;
  EXPECT_EQ(GdipCreateFromHDC(reinterpret_cast<HDC>(0x1234), &graphics), InvalidParameter);
  LOGFONTW log = DejaVu(-12);
  GpFont* font = nullptr;
  EXPECT_EQ(GdipCreateFontFromLogfontW(nullptr, &log, &font), InvalidParameter);
  EXPECT_EQ(font, nullptr);
  EXPECT_EQ(GdipCreateFontFromDC(reinterpret_cast<HDC>(0x1234), &font), InvalidParameter);
  EXPECT_EQ(font, nullptr);
}

TEST(GdiplusStartup, NeedsVersionOneAndGatesTheOtherCalls) {
  GpStringFormat* format = nullptr;
  EXPECT_EQ(GdipCreateStringFormat(0, 0, &format), GdiplusNotInitialized);
  GdiplusStartupInput input;
  ULONG_PTR token = 0;
  input.GdiplusVersion = 2;
  EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), UnsupportedGdiplusVersion);
  input.GdiplusVersion = 1;
  input.SuppressBackgroundThread = TRUE;
  EXPECT_EQ(GdiplusStartup(&token, &input, nullptr), InvalidParameter);
  input.SuppressBackgroundThread = FALSE;
  ULONG_PTR second = 0;
  ASSERT_EQ(GdiplusStartup(&token, &input, nullptr), Ok);
  ASSERT_EQ(GdiplusStartup(&second, &input, nullptr), Ok);
  GdiplusShutdown(token);
  // Still started by the second caller.
  ASSERT_EQ(GdipCreateStringFormat(0, 0, &format), Ok);
  EXPECT_EQ(GdipDeleteStringFormat(format), Ok);
  GdiplusShutdown(second);
  EXPECT_EQ(GdipCreateStringFormat(0, 0, &format), GdiplusNotInitialized);
}

}  // namespace
