#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <tchar.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "tests/platform/gdi/GdiTestKit.h"
#include "ui/core/UIHost.h"
#include "ui/render/RenderKit.h"

using namespace Umbra;
using gditest::Canvas;

namespace {

constexpr int kCanvasWidth = 240;
constexpr int kCanvasHeight = 120;
constexpr uint32_t kWhiteBack = 0xFFFFFFFFu;

bool HasPixel(Canvas& canvas, uint32_t pixel, int width = kCanvasWidth, int height = kCanvasHeight) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if (canvas.At(x, y) == pixel) return true;
    }
  }
  return false;
}

bool SamePixels(Canvas& a, Canvas& b) {
  return std::equal(a.bits(), a.bits() + kCanvasWidth * kCanvasHeight, b.bits());
}

void Append(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

// Writes an opaque PNG whose columns have the given colours (0xRRGGBB), each `columnWidth` wide.
std::u16string WritePng(const TempDir& dir, const std::string& name, int columnWidth, int height,
                        const std::vector<uint32_t>& columns) {
  const int width = columnWidth * static_cast<int>(columns.size());
  std::vector<uint8_t> rgba;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = columns[static_cast<size_t>(x / columnWidth)];
      rgba.insert(rgba.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), 255});
    }
  }
  std::string bytes;
  stbi_write_png_to_func(Append, &bytes, width, height, 4, rgba.data(), width * 4);
  TempDir::Put(dir / name, bytes);
  return TempDir::ToWin(dir / name);
}

class MarkupText : public ::testing::Test {
 protected:
  MarkupText() {
    host.SetDefaultFont(_T("DejaVu Sans"), 16, false, false, false);
    SelectObject(measureDc.dc(), host.GetFont(-1));
    TEXTMETRICW tm = {};
    GetTextMetricsW(measureDc.dc(), &tm);
    lineHeight = tm.tmHeight + tm.tmExternalLeading;
  }

  int Extent(const std::u16string& text, HFONT font = nullptr) {
    HGDIOBJ old = SelectObject(measureDc.dc(), font ? font : host.GetFont(-1));
    SIZE size = {};
    GetTextExtentPoint32W(measureDc.dc(), text.data(), static_cast<int>(text.size()), &size);
    SelectObject(measureDc.dc(), old);
    return size.cx;
  }

  RECT Measure(const std::u16string& markup, UINT style = 0, int width = 9999) {
    RECT rc = {0, 0, width, 1000};
    int links = 0;
    CRenderKit::DrawMarkupText(measureDc.dc(), &host, rc, markup.c_str(), 0xFF000000, nullptr, nullptr, links,
                               style | DT_CALCRECT);
    return rc;
  }

  void Draw(Canvas& canvas, const std::u16string& markup, UINT style = 0, int width = kCanvasWidth,
            DWORD color = 0xFF000000) {
    RECT rc = {0, 0, width, kCanvasHeight};
    int links = 0;
    CRenderKit::DrawMarkupText(canvas.dc(), &host, rc, markup.c_str(), color, nullptr, nullptr, links, style);
  }

  // Draws with link arrays of the given capacity; returns the number of links laid out.
  int DrawLinks(Canvas& canvas, const std::u16string& markup, RECT* rects, CUIString* texts, int capacity,
                int width = kCanvasWidth, UINT style = 0) {
    RECT rc = {0, 0, width, kCanvasHeight};
    int count = capacity;
    CRenderKit::DrawMarkupText(canvas.dc(), &host, rc, markup.c_str(), 0xFF000000, rects, texts, count,
                               style);
    return count;
  }

  // What DrawMarkupText should produce: the lines drawn with TextOutW, one under the other,
  // clipped to the same width.
  void DrawLines(Canvas& canvas, const std::vector<std::u16string>& lines, int width = kCanvasWidth) {
    HGDIOBJ old = SelectObject(canvas.dc(), host.GetFont(-1));
    SetBkMode(canvas.dc(), TRANSPARENT);
    SetTextColor(canvas.dc(), RGB(0, 0, 0));
    IntersectClipRect(canvas.dc(), 0, 0, width, kCanvasHeight);
    for (size_t i = 0; i < lines.size(); ++i) {
      TextOutW(canvas.dc(), 0, static_cast<int>(i) * lineHeight, lines[i].data(),
               static_cast<int>(lines[i].size()));
    }
    SelectClipRgn(canvas.dc(), nullptr);
    SelectObject(canvas.dc(), old);
  }

  CUIHost host;
  Canvas measureDc{4, 4};
  int lineHeight = 0;
};

// ---- Reading the markup and laying out lines ----------------------------------------------------

struct LayoutCase {
  const char16_t* markup;
  UINT style;
  const char16_t* widthText;  // the rectangle is as wide as this text (plus 2); null: wide
  std::vector<std::u16string> lines;
};

// Each markup is drawn and measured; it must look exactly like its plain lines drawn with
// TextOutW and measure as wide as the widest of them, one line height per line.
TEST_F(MarkupText, LaysOutTextAsItsPlainLines) {
  const LayoutCase cases[] = {
      // Tags, closing tags and unknown letters.
      {u"<q>abc", 0, nullptr, {u"abc"}},
      {u"x</q>y{/zz}z", 0, nullptr, {u"xyz"}},
      {u"<ab>", 0, nullptr, {u"<ab>"}},
      {u"{ab}c", 0, nullptr, {u"{ab}c"}},
      {u"a{c #000000>b</c}c", 0, nullptr, {u"abc"}},
      {u"a<b", 0, nullptr, {u"a<b"}},
      {u"a<", 0, nullptr, {u"a<"}},
      // Escapes.
      {u"<{>", 0, nullptr, {u"{"}},
      {u"<}>", 0, nullptr, {u"}"}},
      {u"{<}", 0, nullptr, {u"<"}},
      {u"{>}", 0, nullptr, {u">"}},
      {u"a<{>b{<}/c{>}", 0, nullptr, {u"a{b</c>"}},
      // Raw text prints tags literally, up to its closing tag.
      {u"<r><b>x</b></r>", 0, nullptr, {u"<b>x</b>"}},
      {u"{r}{x 5} a{/r}b", 0, nullptr, {u"{x 5} ab"}},
      // Closing tags with nothing to close, and a tag cut off by the end of the text.
      {u"</b></c></p></a></i></u>x", 0, nullptr, {u"x"}},
      {u"ab<c #FF", 0, nullptr, {u"ab"}},
      {u"ab</", 0, nullptr, {u"ab"}},
      // Lines.
      {u"ab<n>ab", 0, nullptr, {u"ab", u"ab"}},
      {u"ab<n>ab", DT_SINGLELINE, nullptr, {u"abab"}},
      {u"ab\nab", 0, nullptr, {u"ab", u"ab"}},
      {u"ab\nab", DT_SINGLELINE, nullptr, {u"ab"}},
      {u"\nab", 0, nullptr, {u"", u"ab"}},
      // Wrapping: at a break opportunity with DT_WORDBREAK, else at the edge.
      {u"hello world", DT_WORDBREAK, u"hello wo", {u"hello ", u"world"}},
      {u"hello world", 0, u"hello wo", {u"hello wo", u"rld"}},
      {u"aaaaaaaa", DT_WORDBREAK, u"aaaaa", {u"aaaaa", u"aaa"}},
      {u"a,bc", DT_WORDBREAK, u"a,b", {u"a,", u"bc"}},
      {u"\u4e2d\u6587\u6587\u5b57", DT_WORDBREAK, u"\u4e2d\u6587", {u"\u4e2d\u6587", u"\u6587\u5b57"}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(std::string(c.markup, c.markup + std::char_traits<char16_t>::length(c.markup)));
    const int width = c.widthText ? Extent(c.widthText) + 2 : kCanvasWidth;
    int widest = 0;
    for (const std::u16string& line : c.lines) widest = std::max(widest, Extent(line));

    const RECT measured = Measure(c.markup, c.style, width);
    EXPECT_EQ(measured.right, widest);
    EXPECT_EQ(measured.bottom, lineHeight * static_cast<int>(c.lines.size()));

    Canvas drawn(kCanvasWidth, kCanvasHeight, kWhiteBack);
    Canvas expected(kCanvasWidth, kCanvasHeight, kWhiteBack);
    Draw(drawn, c.markup, c.style, width);
    DrawLines(expected, c.lines, width);
    EXPECT_TRUE(SamePixels(drawn, expected));
  }
}

TEST_F(MarkupText, NestedStyleTagsCloseOnlyWhatTheyOpened) {
  HFONT bold = host.AddFont(_T("DejaVu Sans"), 16, true, false, false);
  EXPECT_EQ(Measure(u"<b>Bold</b>").right, Extent(u"Bold", bold));
  EXPECT_NE(Extent(u"Bold", bold), Extent(u"Bold"));
  // The inner <b> changes nothing, and its </b> leaves the outer bold in force.
  EXPECT_EQ(Measure(u"<b>a<b>b</b>mmm</b>d").right, Extent(u"abmmm", bold) + Extent(u"d"));
}

TEST_F(MarkupText, PushesFontsByIndexOrByFaceSizeAndStyles) {
  HFONT big = host.AddFont(_T("DejaVu Sans"), 24, false, false, false);
  EXPECT_EQ(Measure(u"{f 0}Ab{/f}c").right, Extent(u"Ab", big) + Extent(u"c"));

  Measure(u"{f Serifish 20 Bold ITALIC}x{/f}");
  EXPECT_NE(host.LookupFont(_T("Serifish"), 20, true, false, true), nullptr);
  Measure(u"{f Serifish underline}x");
  EXPECT_NE(host.LookupFont(_T("Serifish"), 10, false, true, false), nullptr);
}

TEST_F(MarkupText, ParagraphSpacingRaisesLineHeights) {
  // The p tag ends the line it follows and both lines get the spacing on top of the font.
  EXPECT_EQ(Measure(u"a<p 10>b").bottom, 2 * (10 + lineHeight));
  EXPECT_EQ(Measure(u"<p 10>a</p>b").bottom, (10 + lineHeight) + lineHeight);
  EXPECT_EQ(Measure(u"a{y 40}b").bottom, 40);
  EXPECT_EQ(Measure(u"a{x 30}b").right, Extent(u"ab") + 30);
}

// ---- Colours and selection ----------------------------------------------------------------------

TEST_F(MarkupText, ColoursTextWithTheColourTag) {
  struct {
    const char16_t* markup;
    uint32_t present;
    uint32_t absent;
  } const cases[] = {
      {u"<b>Bold</b> and {c #FF0000}red{/c}", gditest::kRed, gditest::kBlue},
      {u"{c 0000FF}blue{/c}black", gditest::kBlue, gditest::kRed},
      // Read as a signed 32-bit number, FFFF0000 saturates to 7FFFFFFF: white.
      {u"{c #FFFF0000}xx{/c}", gditest::kWhite, gditest::kRed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.markup, c.markup + std::char_traits<char16_t>::length(c.markup)));
    Canvas canvas(kCanvasWidth, kCanvasHeight, 0xFF808080u);
    Draw(canvas, c.markup);
    EXPECT_TRUE(HasPixel(canvas, c.present));
    EXPECT_FALSE(HasPixel(canvas, c.absent));
  }
  Canvas canvas(kCanvasWidth, kCanvasHeight, 0xFF808080u);
  Draw(canvas, u"{c #FF0000}x{/c}y");
  EXPECT_TRUE(HasPixel(canvas, gditest::kBlack));  // the default colour is back after </c>
}

TEST_F(MarkupText, SelectedTextGetsTheSelectedBackground) {
  host.SetSelectedBackColor(0xFF00FF00);
  Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
  Draw(canvas, u"ab{s}c d{/s}e");
  // The cells of "c d" are filled, the blank included, and nothing else.
  const int left = Extent(u"ab");
  const int right = left + Extent(u"c d");
  EXPECT_EQ(canvas.At(left + 1, 1), gditest::kGreen);
  EXPECT_EQ(canvas.At(left + Extent(u"c") + 1, 1), gditest::kGreen);
  EXPECT_EQ(canvas.At(right - 1, 1), gditest::kGreen);
  EXPECT_NE(canvas.At(right + 1, 1), gditest::kGreen);
  EXPECT_NE(canvas.At(left - 1, 1), gditest::kGreen);
}

// ---- Links --------------------------------------------------------------------------------------

TEST_F(MarkupText, RecordsLinkRectanglesAndTexts) {
  Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
  RECT rects[8] = {};
  CUIString texts[8];
  ASSERT_EQ(DrawLinks(canvas, u"go <a first>one</a> and <a  second one>two</a>", rects, texts, 8), 2);
  EXPECT_TRUE(texts[0] == u"first");
  EXPECT_TRUE(texts[1] == u"second one");
  const int start = Extent(u"go ");
  EXPECT_EQ(rects[0].left, start);
  EXPECT_EQ(rects[0].top, 0);
  EXPECT_EQ(rects[0].bottom, lineHeight);
  EXPECT_EQ(rects[1].left, start + Extent(u"one and "));
  EXPECT_TRUE(HasPixel(canvas, gditest::kBlue));  // the host's link colour
}

TEST_F(MarkupText, LinkWrappedOverTwoLinesGivesTwoRectanglesWithTheSameText) {
  Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
  RECT rects[8] = {};
  CUIString texts[8];
  const int width = Extent(u"x aaaa ") + 2;
  ASSERT_EQ(DrawLinks(canvas, u"x <a target>aaaa bbbb</a> y", rects, texts, 8, width, DT_WORDBREAK), 2);
  EXPECT_TRUE(texts[0] == u"target");
  EXPECT_TRUE(texts[1] == u"target");
  EXPECT_EQ(rects[0].left, Extent(u"x "));
  EXPECT_EQ(rects[0].top, 0);
  EXPECT_EQ(rects[0].right, Extent(u"x aaaa "));
  EXPECT_EQ(rects[0].bottom, lineHeight);
  EXPECT_EQ(rects[1].left, 0);
  EXPECT_EQ(rects[1].top, lineHeight);
  EXPECT_EQ(rects[1].right, Extent(u"bbbb"));
  EXPECT_EQ(rects[1].bottom, 2 * lineHeight);
}

TEST_F(MarkupText, StoresNoMoreLinksThanTheArraysHold) {
  std::u16string markup;
  for (int i = 0; i < 12; ++i) markup += u"<a n>x</a> ";
  Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
  RECT rects[9] = {};
  CUIString texts[9];
  rects[8] = {-7, -7, -7, -7};
  EXPECT_EQ(DrawLinks(canvas, markup, rects, texts, 8), 8);
  EXPECT_EQ(rects[8].left, -7);  // the slot past the capacity is never written
  EXPECT_TRUE(texts[8].IsEmpty());

  // A count without arrays holds nothing.
  EXPECT_EQ(DrawLinks(canvas, markup, nullptr, nullptr, 5), 0);
  EXPECT_EQ(DrawLinks(canvas, markup, rects, nullptr, 5), 0);
}

TEST_F(MarkupText, LinkUnderTheMouseTakesTheHoverColour) {
  host.SetLinkColor(0xFF0000FF);
  host.SetLinkHoverColor(0xFFFF0000);
  RECT rects[2] = {};
  CUIString texts[2];
  Canvas first(kCanvasWidth, kCanvasHeight, kWhiteBack);
  ASSERT_EQ(DrawLinks(first, u"<a one>link</a> <a two>link</a>", rects, texts, 2), 2);
  EXPECT_FALSE(HasPixel(first, gditest::kRed));

  host.SetLastMousePoint({rects[1].left + 2, rects[1].top + 2});
  Canvas second(kCanvasWidth, kCanvasHeight, kWhiteBack);
  DrawLinks(second, u"<a one>link</a> <a two>link</a>", rects, texts, 2);
  const int split = rects[1].left;
  EXPECT_TRUE(HasPixel(second, gditest::kBlue, split, kCanvasHeight));  // the first link stays
  EXPECT_TRUE(HasPixel(second, gditest::kRed));
  EXPECT_FALSE(HasPixel(second, gditest::kRed, split, kCanvasHeight));
}

// ---- Images -------------------------------------------------------------------------------------

TEST_F(MarkupText, MeasuresALineAsHighAsItsTallestImage) {
  TempDir dir;
  const std::u16string tall = WritePng(dir, "tall.png", 10, 40, {0xFF0000});
  ASSERT_LT(lineHeight, 40);
  const RECT plain = Measure(u"ab{i " + tall + u"}cd");
  EXPECT_GE(plain.bottom, 40);
  EXPECT_EQ(plain.right, Extent(u"abcd") + 10);
  const RECT described = Measure(u"ab{i file='" + tall + u"'}cd");
  EXPECT_GE(described.bottom, 40);
  EXPECT_EQ(described.right, Extent(u"abcd") + 10);
  // A missing image is skipped.
  EXPECT_EQ(Measure(u"ab{i nothing-here.png}cd").right, Extent(u"abcd"));
}

TEST_F(MarkupText, DrawsTheChosenFrameOfAnImage) {
  TempDir dir;
  const std::u16string strip = WritePng(dir, "strip.png", 8, 8, {0xFF0000, 0x00FF00, 0x0000FF});
  const uint32_t red = gditest::kRed, green = gditest::kGreen, blue = gditest::kBlue;
  struct {
    const char16_t* args;
    int width;
    std::vector<uint32_t> shown;
    std::vector<uint32_t> hidden;
  } const cases[] = {
      {u"", 24, {red, green, blue}, {}},  // one frame: the whole strip
      {u" 3 1", 8, {green}, {red, blue}},  {u" 3 2", 8, {blue}, {red, green}},
      {u" 3 7", 8, {red}, {green, blue}},   // an index out of range is frame 0
      {u" 0", 24, {red, green, blue}, {}},  // a count below 1 is 1
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.args, c.args + std::char_traits<char16_t>::length(c.args)));
    const std::u16string markup = u"a{i " + strip + c.args + u"}b";
    EXPECT_EQ(Measure(markup).right, Extent(u"ab") + c.width);
    Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
    Draw(canvas, markup);
    for (uint32_t colour : c.shown) EXPECT_TRUE(HasPixel(canvas, colour)) << std::hex << colour;
    for (uint32_t colour : c.hidden) EXPECT_FALSE(HasPixel(canvas, colour)) << std::hex << colour;
  }
  // The frame is centred in a taller line.
  Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
  Draw(canvas, u"a{i " + strip + u" 3 1}b");
  const int top = (lineHeight - 8) - (lineHeight - 8) / 2;
  EXPECT_EQ(canvas.At(Extent(u"a") + 4, top), green);
  EXPECT_NE(canvas.At(Extent(u"a") + 4, top - 1), green);
  EXPECT_EQ(canvas.At(Extent(u"a") + 4, top + 7), green);
  EXPECT_NE(canvas.At(Extent(u"a") + 4, top + 8), green);
}

// ---- Ellipsis, alignment, hostile input ---------------------------------------------------------

TEST_F(MarkupText, SingleLineEllipsisCutsWithoutDots) {
  const int width = Extent(u"abcdef") + 2;
  Canvas drawn(kCanvasWidth, kCanvasHeight, kWhiteBack);
  Canvas expected(kCanvasWidth, kCanvasHeight, kWhiteBack);
  Draw(drawn, u"abcdefghij", DT_SINGLELINE | DT_END_ELLIPSIS, width);
  DrawLines(expected, {u"abcd"}, width);
  EXPECT_TRUE(SamePixels(drawn, expected));
}

TEST_F(MarkupText, AlignsSingleLineTextByMovingTheRectangle) {
  const int mw = Extent(u"abc");
  struct {
    UINT style;
    RECT moved;
  } const cases[] = {
      {DT_SINGLELINE | DT_CENTER, {10 + (100 / 2 - mw / 2), 20, 10 + (100 / 2 - mw / 2) + mw, 70}},
      {DT_SINGLELINE | DT_RIGHT, {110 - mw, 20, 110, 70}},
      {DT_SINGLELINE | DT_VCENTER,
       {10, 20 + (25 - lineHeight / 2), 110, 20 + (25 - lineHeight / 2) + lineHeight}},
      {DT_SINGLELINE | DT_BOTTOM, {10, 70 - lineHeight, 110, 70}},
      {DT_CENTER, {10, 20, 110, 70}},  // multi-line text keeps its rectangle and centres runs
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
    RECT rc = {10, 20, 110, 70};
    int links = 0;
    CRenderKit::DrawMarkupText(canvas.dc(), &host, rc, u"abc", 0xFF000000, nullptr, nullptr, links, c.style);
    EXPECT_EQ(rc.left, c.moved.left);
    EXPECT_EQ(rc.top, c.moved.top);
    EXPECT_EQ(rc.right, c.moved.right);
    EXPECT_EQ(rc.bottom, c.moved.bottom);
  }
}

TEST_F(MarkupText, HostileMarkupEndsWithSaneResults) {
  TempDir dir;
  const std::u16string wide = WritePng(dir, "wide.png", 300, 10, {0x00FF00});
  struct {
    std::u16string markup;
    UINT style;
    int width;
  } const cases[] = {
      {u"{x 99999999999}a{x 99999999999}b", 0, 100},
      {u"{x -99999999999}a", 0, 100},
      {u"{y 99999999999}a<n>b{p 99999999999}c", 0, 100},
      // Far outside the rectangle, by themselves or moved there by the alignment: never drawn.
      {u"{y -99999999999}a<n>b{x -99999999999}c{i " + wide + u"}", 0, 100},
      {u"{y -99999999999}a<n>b{p 99999999999}c{i " + wide + u"}", DT_VCENTER, 100},
      {u"{y 99999999999}a<n>b{y -99999999999}c{i " + wide + u"}", DT_BOTTOM | DT_SINGLELINE | DT_RIGHT, 100},
      {u"{y -99999999999}\u4e2d\u00c3e\u0301\u0301\u0301\u0301<n>{y 99999999999}\u4e2d", 0, 100},
      {u"{c #123456789ABCDEF}a{f 99999999999}b{f Face 99999999999 bold}c", 0, 100},
      {u"wxyz wxyz wxyz", DT_WORDBREAK | DT_END_ELLIPSIS, 1},  // narrower than one character
      {u"{x 5}{i " + wide + u"}{i " + wide + u"}a", 0, 100},   // images wider than the rectangle
      {u"{r}unterminated raw <b>", 0, 100},
      {u"<a never closed", 0, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.markup.begin(), c.markup.end()));
    const RECT measured = Measure(c.markup, c.style, c.width);
    EXPECT_LE(measured.right, c.width);
    Canvas canvas(kCanvasWidth, kCanvasHeight, kWhiteBack);
    RECT rects[2] = {};
    CUIString texts[2];
    EXPECT_LE(DrawLinks(canvas, c.markup, rects, texts, 2, c.width, c.style), 2);
  }
  // Huge numbers saturate rather than overflow.
  EXPECT_EQ(Measure(u"{y 99999999999}a").bottom, INT_MAX);
}

TEST_F(MarkupText, LeavesEverythingAloneWithoutTextHostOrRoom) {
  RECT rects[1] = {};
  CUIString texts[1];
  int count = 1;
  RECT empty = {5, 5, 5, 50};
  CRenderKit::DrawMarkupText(measureDc.dc(), &host, empty, u"abc", 0, rects, texts, count, DT_CALCRECT);
  CRenderKit::DrawMarkupText(measureDc.dc(), nullptr, empty, u"abc", 0, rects, texts, count, DT_CALCRECT);
  RECT rc = {0, 0, 50, 50};
  CRenderKit::DrawMarkupText(measureDc.dc(), &host, rc, nullptr, 0, rects, texts, count, DT_CALCRECT);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(empty.bottom, 50);
  EXPECT_EQ(rc.bottom, 50);
}

// ---- Plain text ---------------------------------------------------------------------------------

TEST_F(MarkupText, PlainTextUsesTheHostFontAndShowsAmpersands) {
  HFONT big = host.AddFont(_T("DejaVu Sans"), 20, false, false, false);
  Canvas drawn(kCanvasWidth, kCanvasHeight, kWhiteBack);
  RECT rc = {0, 0, kCanvasWidth, kCanvasHeight};
  const HGDIOBJ before = GetCurrentObject(drawn.dc(), OBJ_FONT);
  CRenderKit::DrawPlainText(drawn.dc(), &host, rc, u"a&b", 0xFF0000FF, 0, DT_SINGLELINE);
  EXPECT_EQ(GetCurrentObject(drawn.dc(), OBJ_FONT), before);

  Canvas expected(kCanvasWidth, kCanvasHeight, kWhiteBack);
  SelectObject(expected.dc(), big);
  SetBkMode(expected.dc(), TRANSPARENT);
  SetTextColor(expected.dc(), RGB(0, 0, 255));
  TextOutW(expected.dc(), 0, 0, u"a&b", 3);
  EXPECT_TRUE(SamePixels(drawn, expected));
}

}  // namespace
