// DrawTextW: the rectangle DT_CALCRECT returns and the lines drawn, flag by flag. Each drawn case
// is compared pixel for pixel with the expected lines written by ExtTextOutW at the expected
// places, so a wrong break, ellipsis or position shows. Fonts are pinned: DejaVu Sans 12 px for
// Latin text (14-pixel lines; "Hello" 29 px, "world" 33 px, " " 4 px, "..." 12 px) and
// WenQuanYi Micro Hei 12 px for Chinese (14-pixel lines, 12 px per character).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "GdiTestKit.h"

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 80;
constexpr int kLine = 14;

HFONT Pinned(const char16_t* face) {
  return CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, face);
}

class DrawTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_latin = Pinned(u"DejaVu Sans");
    m_chinese = Pinned(u"WenQuanYi Micro Hei");
  }
  void TearDown() override {
    DeleteObject(m_latin);
    DeleteObject(m_chinese);
  }
  HFONT m_latin = nullptr;
  HFONT m_chinese = nullptr;
};

struct ExpectedLine {
  const char16_t* text;
  int x, y;
};

struct Case {
  const char* name;
  bool chinese;
  const char16_t* text;
  UINT format;
  RECT rect;
  RECT calc;  // what DT_CALCRECT makes of `rect`
  int drawn;  // DrawTextW's result when drawing
  std::vector<ExpectedLine> lines;
};

const Case kCases[] = {
    {"single line",
     false,
     u"Hello world",
     DT_SINGLELINE,
     {10, 5, 150, 40},
     {10, 5, 76, 19},
     14,
     {{u"Hello world", 10, 5}}},
    {"centred in both directions",
     false,
     u"Hello world",
     DT_SINGLELINE | DT_CENTER | DT_VCENTER,
     {0, 0, 100, 40},
     {0, 0, 66, 14},
     27,
     {{u"Hello world", 17, 13}}},
    {"right and bottom",
     false,
     u"Hello world",
     DT_SINGLELINE | DT_RIGHT | DT_BOTTOM,
     {0, 0, 100, 40},
     {0, 0, 66, 14},
     40,
     {{u"Hello world", 34, 26}}},
    {"vertical placement needs a single line",
     false,
     u"Hello world",
     DT_VCENTER | DT_BOTTOM,
     {0, 0, 100, 40},
     {0, 0, 66, 14},
     14,
     {{u"Hello world", 0, 0}}},
    {"word break at the blank",
     false,
     u"Hello world",
     DT_WORDBREAK,
     {0, 0, 50, 60},
     {0, 0, 33, 28},
     28,
     {{u"Hello", 0, 0}, {u"world", 0, kLine}}},
    {"word break centred per line",
     false,
     u"Hello world",
     DT_WORDBREAK | DT_CENTER,
     {0, 0, 50, 60},
     {0, 0, 33, 28},
     28,
     {{u"Hello", 10, 0}, {u"world", 8, kLine}}},
    {"word break right-aligned per line",
     false,
     u"Hello world",
     DT_WORDBREAK | DT_RIGHT,
     {0, 0, 50, 60},
     {0, 0, 33, 28},
     28,
     {{u"Hello", 21, 0}, {u"world", 17, kLine}}},
    {"several words per line",
     false,
     u"one two three four",
     DT_WORDBREAK,
     {0, 0, 70, 60},
     {0, 0, 60, 28},
     28,
     {{u"one two", 0, 0}, {u"three four", 0, kLine}}},
    {"line breaks of every kind",
     false,
     u"ab\ncd\r\nef",
     0,
     {0, 0, 100, 60},
     {0, 0, 15, 42},
     42,
     {{u"ab", 0, 0}, {u"cd", 0, kLine}, {u"ef", 0, 2 * kLine}}},
    {"a final line break adds no line",
     false,
     u"ab\n",
     0,
     {0, 0, 100, 60},
     {0, 0, 15, 14},
     14,
     {{u"ab", 0, 0}}},
    {"a single line ignores line breaks",
     false,
     u"ab\ncd",
     DT_SINGLELINE,
     {0, 0, 100, 60},
     {0, 0, 30, 14},
     14,
     {{u"ab\ncd", 0, 0}}},
    {"a word longer than the line overflows",
     false,
     u"Supercalifragilistic",
     DT_WORDBREAK,
     {0, 0, 40, 60},
     {0, 0, 110, 14},
     14,
     {{u"Supercalifragilistic", 0, 0}}},
    {"an edit control breaks a long word",
     false,
     u"Superb",
     DT_WORDBREAK | DT_EDITCONTROL,
     {0, 0, 36, 60},
     {0, 0, 36, 28},
     28,
     {{u"Super", 0, 0}, {u"b", 0, kLine}}},
    {"Chinese breaks between characters",
     true,
     u"中文字体测试",
     DT_WORDBREAK,
     {0, 0, 40, 60},
     {0, 0, 36, 28},
     28,
     {{u"中文字", 0, 0}, {u"体测试", 0, kLine}}},
    {"a comma never starts a line",
     true,
     u"中文字，体",
     DT_WORDBREAK,
     {0, 0, 40, 60},
     {0, 0, 36, 28},
     28,
     {{u"中文", 0, 0}, {u"字，体", 0, kLine}}},
    {"Latin then Chinese breaks at the blank",
     false,
     u"Hello 世界",
     DT_WORDBREAK,
     {0, 0, 40, 60},
     {0, 0, 29, 28},
     28,
     {{u"Hello", 0, 0}, {u"世界", 0, kLine}}},
    {"end ellipsis",
     false,
     u"Hello world",
     DT_SINGLELINE | DT_END_ELLIPSIS,
     {0, 0, 40, 20},
     {0, 0, 66, 14},
     14,
     {{u"Hell...", 0, 0}}},
    {"end ellipsis leaves fitting text alone",
     false,
     u"Hello",
     DT_SINGLELINE | DT_END_ELLIPSIS,
     {0, 0, 40, 20},
     {0, 0, 29, 14},
     14,
     {{u"Hello", 0, 0}}},
    {"path ellipsis keeps the file name",
     false,
     u"C:\\Program Files\\App\\file.txt",
     DT_SINGLELINE | DT_PATH_ELLIPSIS,
     {0, 0, 90, 20},
     {0, 0, 167, 14},
     14,
     {{u"C:\\Pro...\\file.txt", 0, 0}}},
    {"an edit control leaves out a partial last line",
     false,
     u"Hello world",
     DT_WORDBREAK | DT_EDITCONTROL,
     {0, 0, 50, 20},
     {0, 0, 33, 28},
     28,
     {{u"Hello", 0, 0}}},
    {"an edit control ends its last whole line with an ellipsis",
     false,
     u"one two three four",
     DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS,
     {0, 0, 70, 20},
     {0, 0, 60, 28},
     28,
     {{u"one two...", 0, 0}}},
    {"prefixes: a double ampersand is one",
     false,
     u"a&&b",
     DT_SINGLELINE,
     {0, 0, 100, 20},
     {0, 0, 24, 14},
     14,
     {{u"a&b", 0, 0}}},
    {"no prefix shows the ampersand",
     false,
     u"&File",
     DT_SINGLELINE | DT_NOPREFIX,
     {0, 0, 100, 20},
     {0, 0, 29, 14},
     14,
     {{u"&File", 0, 0}}},
    {"text is clipped to the rectangle",
     false,
     u"Hello world",
     DT_SINGLELINE,
     {5, 2, 35, 12},
     {5, 2, 71, 16},
     14,
     {{u"Hello world", 5, 2}}},
    {"no clip draws past the rectangle",
     false,
     u"Hello world",
     DT_SINGLELINE | DT_NOCLIP,
     {5, 2, 35, 12},
     {5, 2, 71, 16},
     14,
     {{u"Hello world", 5, 2}}},
};

TEST_F(DrawTextTest, LaysOutEachFlagCombinationAsExpected) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    gditest::Canvas actual(kWidth, kHeight), expected(kWidth, kHeight);
    HFONT font = c.chinese ? m_chinese : m_latin;
    SelectObject(actual.dc(), font);
    SelectObject(expected.dc(), font);

    RECT calc = c.rect;
    EXPECT_EQ(DrawTextW(actual.dc(), c.text, -1, &calc, c.format | DT_CALCRECT), c.calc.bottom - c.calc.top);
    EXPECT_EQ(calc.left, c.calc.left);
    EXPECT_EQ(calc.top, c.calc.top);
    EXPECT_EQ(calc.right, c.calc.right);
    EXPECT_EQ(calc.bottom, c.calc.bottom);

    RECT rect = c.rect;
    EXPECT_EQ(DrawTextW(actual.dc(), c.text, -1, &rect, c.format), c.drawn);
    const UINT clip = (c.format & DT_NOCLIP) ? 0 : ETO_CLIPPED;
    for (const ExpectedLine& line : c.lines)
      ExtTextOutW(expected.dc(), line.x, line.y, clip, &c.rect, line.text,
                  static_cast<UINT>(std::char_traits<char16_t>::length(line.text)), nullptr);
    EXPECT_EQ(actual.Picture(gditest::kBlack), expected.Picture(gditest::kBlack));
    EXPECT_TRUE(std::equal(actual.bits(), actual.bits() + kWidth * kHeight, expected.bits()));
  }
}

TEST_F(DrawTextTest, PrefixUnderlinesTheMarkedCharacter) {
  gditest::Canvas actual(60, 20), expected(60, 20);
  SelectObject(actual.dc(), m_latin);
  SelectObject(expected.dc(), m_latin);
  SetBkMode(actual.dc(), TRANSPARENT);
  SetBkMode(expected.dc(), TRANSPARENT);
  RECT rect{0, 0, 60, 20};
  DrawTextW(actual.dc(), u"&File", -1, &rect, DT_SINGLELINE);
  TextOutW(expected.dc(), 0, 0, u"File", 4);
  // Only the F (7 px) is underlined, on a row below the baseline (ascent 11).
  int underlined = -1;
  for (int y = 11; y < 14 && underlined < 0; ++y)
    if (actual.At(0, y) == gditest::kBlack && actual.At(6, y) == gditest::kBlack &&
        actual.At(8, y) != gditest::kBlack)
      underlined = y;
  ASSERT_GE(underlined, 11);
  for (int x = 0; x < 7; ++x) expected.At(x, underlined) = gditest::kBlack;
  EXPECT_EQ(actual.Picture(gditest::kBlack), expected.Picture(gditest::kBlack));
}

TEST_F(DrawTextTest, ExpandedTabsStopEveryEightAverageWidths) {
  gditest::Canvas actual(100, 20), expected(100, 20);
  SelectObject(actual.dc(), m_latin);
  SelectObject(expected.dc(), m_latin);
  TEXTMETRICW tm{};
  GetTextMetricsW(actual.dc(), &tm);
  const int stop = 8 * tm.tmAveCharWidth;
  RECT rect{0, 0, 100, 20};
  DrawTextW(actual.dc(), u"a\tb", -1, &rect, DT_SINGLELINE | DT_EXPANDTABS | DT_CALCRECT);
  EXPECT_EQ(rect.right, stop + 8);  // "b" is 8 px wide
  rect = RECT{0, 0, 100, 20};
  SetBkMode(actual.dc(), TRANSPARENT);
  SetBkMode(expected.dc(), TRANSPARENT);
  DrawTextW(actual.dc(), u"a\tb", -1, &rect, DT_SINGLELINE | DT_EXPANDTABS);
  TextOutW(expected.dc(), 0, 0, u"a", 1);
  TextOutW(expected.dc(), stop, 0, u"b", 1);
  EXPECT_EQ(actual.Picture(gditest::kBlack), expected.Picture(gditest::kBlack));
}

TEST_F(DrawTextTest, EmptyTextMeasuresNothingAndBadArgumentsFail) {
  gditest::Canvas canvas(20, 20);
  SelectObject(canvas.dc(), m_latin);
  RECT rect{3, 4, 50, 50};
  EXPECT_EQ(DrawTextW(canvas.dc(), u"", -1, &rect, DT_CALCRECT), 0);
  EXPECT_EQ(rect.right, 3);
  EXPECT_EQ(rect.bottom, 4);
  EXPECT_EQ(DrawTextW(canvas.dc(), u"x", 1, nullptr, 0), 0);
  EXPECT_EQ(DrawTextW(canvas.dc(), nullptr, 3, &rect, 0), 0);
  EXPECT_EQ(DrawTextW(reinterpret_cast<HDC>(0x1234), u"x", 1, &rect, 0), 0);
}

TEST_F(DrawTextTest, CountLimitsTheTextAndStrayPrefixesAreSafe) {
  gditest::Canvas canvas(20, 20);
  SelectObject(canvas.dc(), m_latin);
  RECT rect{0, 0, 100, 50};
  EXPECT_EQ(DrawTextW(canvas.dc(), u"Hello world", 5, &rect, DT_CALCRECT | DT_SINGLELINE), kLine);
  EXPECT_EQ(rect.right, 29);
  // A trailing '&' and a lone surrogate neither crash nor count as characters to mark.
  rect = RECT{0, 0, 100, 50};
  const char16_t odd[] = {u'a', 0xD800, u'&'};
  EXPECT_EQ(DrawTextW(canvas.dc(), odd, 3, &rect, DT_SINGLELINE), kLine);
}

}  // namespace
