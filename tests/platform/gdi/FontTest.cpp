// Fonts and text output: font objects and their descriptions, face matching of Windows names,
// sizes and metrics, extents, fallback for characters the face lacks, and TextOutW/ExtTextOutW
// pixels on small canvases. Latin text uses DejaVu Sans, Chinese WenQuanYi Micro Hei.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "GdiTestKit.h"
#include "gdi/font.h"

namespace {

HFONT MakeFont(const char16_t* face, int height, int weight = FW_NORMAL, bool italic = false,
               bool underline = false) {
  return CreateFontW(height, 0, 0, 0, weight, italic, underline, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
}

SIZE Extent(HDC dc, const std::u16string& text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  return size;
}

// Bounds of the pixels that differ from `background`; empty when none do.
RECT Ink(gditest::Canvas& canvas, int width, int height, uint32_t background) {
  RECT box{width, height, 0, 0};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (canvas.At(x, y) != background) {
        box.left = std::min<LONG>(box.left, x);
        box.top = std::min<LONG>(box.top, y);
        box.right = std::max<LONG>(box.right, x + 1);
        box.bottom = std::max<LONG>(box.bottom, y + 1);
      }
  return box;
}

TEST(Font, DescribesItselfAndTruncatesTheFaceName) {
  LOGFONTW in{};
  in.lfHeight = -15;
  in.lfWeight = FW_BOLD;
  in.lfItalic = 1;
  in.lfCharSet = GB2312_CHARSET;
  for (int i = 0; i < LF_FACESIZE; ++i) in.lfFaceName[i] = u'x';  // no terminator
  HFONT font = CreateFontIndirectW(&in);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
  EXPECT_EQ(GetObjectW(font, 0, nullptr), static_cast<int>(sizeof(LOGFONTW)));
  LOGFONTW out{};
  ASSERT_EQ(GetObjectW(font, sizeof(out), &out), static_cast<int>(sizeof(out)));
  EXPECT_EQ(out.lfHeight, -15);
  EXPECT_EQ(out.lfWeight, FW_BOLD);
  EXPECT_EQ(out.lfItalic, 1);
  EXPECT_EQ(out.lfCharSet, GB2312_CHARSET);
  EXPECT_EQ(std::u16string(out.lfFaceName), std::u16string(LF_FACESIZE - 1, u'x'));
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
}

TEST(Font, AnsiDescriptionConvertsTheFaceName) {
  HFONT font = MakeFont(u"Tahoma", -12);
  LOGFONTA out{};
  ASSERT_EQ(GetObjectA(font, sizeof(out), &out), static_cast<int>(sizeof(out)));
  EXPECT_STREQ(out.lfFaceName, "Tahoma");
  EXPECT_EQ(out.lfHeight, -12);
  DeleteObject(font);
}

TEST(Font, StockGuiFontIsUsableAndSurvivesDeletion) {
  HGDIOBJ gui = GetStockObject(DEFAULT_GUI_FONT);
  ASSERT_EQ(GetObjectType(gui), static_cast<DWORD>(OBJ_FONT));
  LOGFONTW log{};
  ASSERT_EQ(GetObjectW(gui, sizeof(log), &log), static_cast<int>(sizeof(log)));
  EXPECT_EQ(log.lfHeight, -11);
  EXPECT_EQ(std::u16string(log.lfFaceName), u"MS Shell Dlg");
  EXPECT_TRUE(DeleteObject(gui));  // stock objects ignore deletion
  gditest::Canvas canvas(8, 8);
  SelectObject(canvas.dc(), gui);
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &tm));
  EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 11);
}

TEST(Font, WindowsFaceNamesMapToInstalledFacesOfTheirKind) {
  struct Case {
    const char16_t* name;
    bool chinese;  // the matched face itself draws Chinese
    bool fixed;    // fixed pitch
  } cases[] = {
      {u"宋体", true, false},    {u"微软雅黑", true, false},
      {u"SimSun", true, false},  {u"Microsoft YaHei", true, false},
      {u"Tahoma", false, false}, {u"MS Shell Dlg", false, false},
      {u"Arial", false, false},  {u"Courier New", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    HFONT font = MakeFont(c.name, -12);
    gditest::Canvas canvas(4, 4);
    SelectObject(canvas.dc(), font);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &tm));
    EXPECT_EQ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) == 0, c.fixed);
    {
      std::lock_guard guard(umbra::gdi::TextLock());
      auto* object = umbra::gdi::LookupObjectAs<umbra::gdi::Font>(font);
      ASSERT_TRUE(object && object->Ready());
      EXPECT_EQ(object->Primary()->HasChar(U'中'), c.chinese);
    }
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
  }
}

TEST(Font, HeightSelectsCharacterOrCellSize) {
  struct Case {
    const char16_t* face;
    int height;
    int cell;  // tmHeight
    int em;    // tmHeight - tmInternalLeading
  } cases[] = {
      {u"DejaVu Sans", -12, 14, 12},         {u"DejaVu Sans", -13, 15, 13},
      {u"DejaVu Sans", 14, 14, 12},          {u"DejaVu Sans", 30, 30, 26},
      {u"WenQuanYi Micro Hei", -12, 14, 12}, {u"WenQuanYi Micro Hei", -14, 16, 14},
  };
  gditest::Canvas canvas(4, 4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    HFONT font = MakeFont(c.face, c.height);
    SelectObject(canvas.dc(), font);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &tm));
    EXPECT_EQ(tm.tmHeight, c.cell);
    EXPECT_EQ(tm.tmAscent + tm.tmDescent, tm.tmHeight);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, c.em);
    EXPECT_GT(tm.tmMaxCharWidth, tm.tmAveCharWidth);
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
  }
}

TEST(Font, ExtremeHeightsStayBounded) {
  gditest::Canvas canvas(4, 4);
  for (int height : {INT_MIN, -100000, 100000, INT_MAX}) {
    HFONT font = MakeFont(u"DejaVu Sans", height);
    SelectObject(canvas.dc(), font);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &tm));
    EXPECT_LE(tm.tmHeight, 2000);
    EXPECT_EQ(Extent(canvas.dc(), u"W").cy, tm.tmHeight);
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(font);
  }
}

TEST(Font, ExtentsAddUpPerCharacter) {
  gditest::Canvas canvas(4, 4);
  HFONT font = MakeFont(u"DejaVu Sans", -12);
  SelectObject(canvas.dc(), font);
  const std::u16string text = u"Hello world";
  SIZE whole = Extent(canvas.dc(), text);
  EXPECT_EQ(whole.cx, 66);
  EXPECT_EQ(whole.cy, 14);
  EXPECT_EQ(Extent(canvas.dc(), u"Hello").cx + Extent(canvas.dc(), u" world").cx, whole.cx);

  int dx[11] = {};
  int fit = -1;
  SIZE size{};
  ASSERT_TRUE(GetTextExtentExPointW(canvas.dc(), text.data(), 11, 29, &fit, dx, &size));
  EXPECT_EQ(fit, 5);  // "Hello" is 29 pixels
  EXPECT_EQ(dx[4], 29);
  EXPECT_EQ(dx[10], whole.cx);
  EXPECT_EQ(size.cx, whole.cx);

  // A surrogate pair is one character: its second unit adds nothing.
  const char16_t pair[] = {u'a', 0xD83D, 0xDE00, u'b'};
  ASSERT_TRUE(GetTextExtentExPointW(canvas.dc(), pair, 4, 0, nullptr, dx, &size));
  EXPECT_EQ(dx[1], dx[2]);
  EXPECT_GT(dx[1], dx[0]);

  EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc(), u"x", -1, &size));
  EXPECT_FALSE(GetTextExtentPoint32W(canvas.dc(), u"x", 1, nullptr));
  EXPECT_FALSE(GetTextExtentPoint32W(reinterpret_cast<HDC>(0x99), u"x", 1, &size));
  SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
}

TEST(Font, BoldWidensAndSyntheticBoldAddsAPixelPerCharacter) {
  gditest::Canvas canvas(4, 4);
  HFONT regular = MakeFont(u"WenQuanYi Micro Hei", -12);
  HFONT bold = MakeFont(u"WenQuanYi Micro Hei", -12, FW_BOLD);  // the face has no bold: synthesised
  SelectObject(canvas.dc(), regular);
  LONG plain = Extent(canvas.dc(), u"中文ab").cx;
  SelectObject(canvas.dc(), bold);
  EXPECT_EQ(Extent(canvas.dc(), u"中文ab").cx, plain + 4);
  SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
  DeleteObject(regular);
  DeleteObject(bold);
}

TEST(Font, MissingCharactersFallBackToAFaceThatHasThem) {
  gditest::Canvas canvas(40, 16, gditest::kWhite);
  HFONT latin = MakeFont(u"DejaVu Sans", -12);
  HFONT chinese = MakeFont(u"WenQuanYi Micro Hei", -12);
  SelectObject(canvas.dc(), chinese);
  LONG expected = Extent(canvas.dc(), u"中文").cx;
  SelectObject(canvas.dc(), latin);
  EXPECT_EQ(Extent(canvas.dc(), u"中文").cx, expected);
  ASSERT_TRUE(TextOutW(canvas.dc(), 0, 0, u"中文", 2));
  RECT ink = Ink(canvas, 40, 16, gditest::kWhite);
  EXPECT_LT(ink.left, 3);
  EXPECT_GT(ink.right, 20);  // both characters drew
  SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
  DeleteObject(latin);
  DeleteObject(chinese);
}

TEST(Font, AbcWidthsSumToTheAdvance) {
  gditest::Canvas canvas(4, 4);
  HFONT font = MakeFont(u"DejaVu Sans", -12);
  SelectObject(canvas.dc(), font);
  for (char16_t ch : {u'A', u'j', u'W', u'中', u' '}) {
    ABC abc{};
    ASSERT_TRUE(GetCharABCWidthsW(canvas.dc(), ch, ch, &abc));
    EXPECT_EQ(abc.abcA + static_cast<int>(abc.abcB) + abc.abcC,
              Extent(canvas.dc(), std::u16string(1, ch)).cx);
  }
  ABC blank{};
  ASSERT_TRUE(GetCharABCWidthsW(canvas.dc(), u' ', u' ', &blank));
  EXPECT_EQ(blank.abcB, 0u);
  ABC range[3];
  EXPECT_TRUE(GetCharABCWidthsW(canvas.dc(), u'a', u'c', range));
  EXPECT_FALSE(GetCharABCWidthsW(canvas.dc(), u'c', u'a', range));
  SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
  DeleteObject(font);
}

class TextOutTest : public ::testing::Test {
 protected:
  static constexpr int kW = 48, kH = 32;
  void SetUp() override {
    m_font = MakeFont(u"DejaVu Sans", -12);
    SelectObject(m_canvas.dc(), m_font);
  }
  void TearDown() override {
    SelectObject(m_canvas.dc(), GetStockObject(SYSTEM_FONT));
    DeleteObject(m_font);
  }
  gditest::Canvas m_canvas{kW, kH, gditest::kWhite};
  HFONT m_font = nullptr;
};

TEST_F(TextOutTest, DrawsInTheTextColourInsideTheCell) {
  SetBkMode(m_canvas.dc(), TRANSPARENT);
  SetTextColor(m_canvas.dc(), RGB(255, 0, 0));
  ASSERT_TRUE(TextOutW(m_canvas.dc(), 4, 3, u"Hi", 2));
  RECT ink = Ink(m_canvas, kW, kH, gditest::kWhite);
  // "Hi" is 12 px wide, the cell 14 px high with the baseline 11 px down.
  EXPECT_GE(ink.left, 4);
  EXPECT_LE(ink.right, 4 + 12);
  EXPECT_GE(ink.top, 3);
  EXPECT_EQ(ink.bottom, 3 + 11);
  // Every pixel is a blend of red over white.
  bool strong = false;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint32_t p = m_canvas.At(x, y);
      EXPECT_EQ(p >> 24, 0xFFu);
      EXPECT_EQ((p >> 16) & 0xFF, 0xFFu);
      EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
      strong = strong || (p & 0xFF) < 40;
    }
  EXPECT_TRUE(strong);  // stems come out nearly solid red
}

TEST_F(TextOutTest, OpaqueModeFillsTheCellWithTheBackgroundColour) {
  SetBkColor(m_canvas.dc(), RGB(0, 0, 255));
  ASSERT_TRUE(TextOutW(m_canvas.dc(), 4, 3, u"Hi", 2));
  EXPECT_EQ(m_canvas.At(4, 3), gditest::kBlue);
  EXPECT_EQ(m_canvas.At(15, 16), gditest::kBlue);
  EXPECT_EQ(m_canvas.At(16, 3), gditest::kWhite);
  EXPECT_EQ(m_canvas.At(4, 17), gditest::kWhite);
  EXPECT_EQ(m_canvas.At(3, 3), gditest::kWhite);
}

TEST_F(TextOutTest, AlignmentMovesTheReferencePoint) {
  struct Case {
    UINT align;
    RECT cell;  // where the 12x14 cell of "Hi" lands for the point (20, 15)
  } cases[] = {
      {TA_LEFT | TA_TOP, {20, 15, 32, 29}},
      {TA_RIGHT | TA_TOP, {8, 15, 20, 29}},
      {TA_CENTER | TA_BASELINE, {14, 4, 26, 18}},
      {TA_LEFT | TA_BOTTOM, {20, 1, 32, 15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.align);
    m_canvas.Fill(gditest::kWhite);
    SetTextAlign(m_canvas.dc(), c.align);
    SetBkColor(m_canvas.dc(), RGB(0, 0, 255));
    TextOutW(m_canvas.dc(), 20, 15, u"Hi", 2);
    EXPECT_EQ(m_canvas.At(c.cell.left, std::max<LONG>(c.cell.top, 0)), gditest::kBlue);
    EXPECT_NE(m_canvas.At(c.cell.left - 1, std::max<LONG>(c.cell.top, 0)), gditest::kBlue);
    EXPECT_EQ(m_canvas.At(c.cell.right - 1, std::min<LONG>(c.cell.bottom, kH) - 1), gditest::kBlue);
    EXPECT_NE(m_canvas.At(c.cell.right, std::min<LONG>(c.cell.bottom, kH) - 1), gditest::kBlue);
  }
  SetTextAlign(m_canvas.dc(), TA_LEFT | TA_TOP);
}

TEST_F(TextOutTest, ClippedOutputStaysInItsRectangleAndOpaqueFillsIt) {
  RECT rect{2, 2, 10, 12};
  SetBkColor(m_canvas.dc(), RGB(0, 255, 0));
  ASSERT_TRUE(ExtTextOutW(m_canvas.dc(), 0, 0, ETO_CLIPPED | ETO_OPAQUE, &rect, u"Hello", 5, nullptr));
  RECT ink = Ink(m_canvas, kW, kH, gditest::kWhite);
  EXPECT_EQ(ink.left, 2);
  EXPECT_EQ(ink.top, 2);
  EXPECT_EQ(ink.right, 10);
  EXPECT_EQ(ink.bottom, 12);
  EXPECT_EQ(m_canvas.At(9, 11), gditest::kGreen);
}

TEST_F(TextOutTest, UnderlineRunsUnderTheWholeText) {
  HFONT underlined = MakeFont(u"DejaVu Sans", -12, FW_NORMAL, false, true);
  SelectObject(m_canvas.dc(), underlined);
  SetBkMode(m_canvas.dc(), TRANSPARENT);
  TextOutW(m_canvas.dc(), 0, 0, u"a b", 3);
  const int width = Extent(m_canvas.dc(), u"a b").cx;
  bool found = false;
  for (int y = 11; y < 14 && !found; ++y) {
    bool full = true;
    for (int x = 0; x < width; ++x) full = full && m_canvas.At(x, y) == gditest::kBlack;
    found = full && m_canvas.At(width, y) == gditest::kWhite;
  }
  EXPECT_TRUE(found);
  SelectObject(m_canvas.dc(), m_font);
  DeleteObject(underlined);
}

TEST_F(TextOutTest, PerCharacterAdvancesPlaceEachCharacter) {
  SetBkMode(m_canvas.dc(), TRANSPARENT);
  const INT dx[] = {20, 0};
  ExtTextOutW(m_canvas.dc(), 0, 0, 0, nullptr, u"ll", 2, dx);
  gditest::Canvas reference(kW, kH, gditest::kWhite);
  SelectObject(reference.dc(), m_font);
  SetBkMode(reference.dc(), TRANSPARENT);
  TextOutW(reference.dc(), 0, 0, u"l", 1);
  TextOutW(reference.dc(), 20, 0, u"l", 1);
  EXPECT_EQ(m_canvas.Picture(gditest::kBlack), reference.Picture(gditest::kBlack));
  SelectObject(reference.dc(), GetStockObject(SYSTEM_FONT));
}

TEST_F(TextOutTest, ExtremePositionsAndAdvancesDrawNothing) {
  SetBkMode(m_canvas.dc(), OPAQUE);
  const INT wild[] = {INT_MAX, INT_MIN, INT_MAX};
  const struct {
    int x, y;
    UINT align;
    const INT* dx;
  } cases[] = {
      {0, INT_MIN, TA_TOP, nullptr},  {0, INT_MAX, TA_BOTTOM, nullptr}, {INT_MIN, 0, TA_RIGHT, nullptr},
      {INT_MAX, 0, TA_LEFT, nullptr}, {0, 0, TA_CENTER | TA_TOP, wild}, {-5, 0, TA_UPDATECP, wild},
  };
  for (const auto& c : cases) {
    SetTextAlign(m_canvas.dc(), c.align);
    EXPECT_TRUE(ExtTextOutW(m_canvas.dc(), c.x, c.y, 0, nullptr, u"abc", 3, c.dx));
  }
  SetTextAlign(m_canvas.dc(), TA_LEFT | TA_TOP);
  EXPECT_EQ(m_canvas.Picture(gditest::kWhite),
            gditest::Canvas(kW, kH, gditest::kWhite).Picture(gditest::kWhite));
}

TEST_F(TextOutTest, BadArgumentsFail) {
  EXPECT_FALSE(TextOutW(m_canvas.dc(), 0, 0, nullptr, 3));
  EXPECT_FALSE(TextOutW(m_canvas.dc(), 0, 0, u"x", -1));
  EXPECT_FALSE(TextOutW(reinterpret_cast<HDC>(0x77), 0, 0, u"x", 1));
  TEXTMETRICW tm{};
  EXPECT_FALSE(GetTextMetricsW(m_canvas.dc(), nullptr));
  EXPECT_FALSE(GetTextMetricsW(reinterpret_cast<HDC>(0x77), &tm));
}

}  // namespace
