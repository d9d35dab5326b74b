#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <tchar.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "tests/platform/gdi/GdiTestKit.h"
#include "ui/core/UIHost.h"
#include "ui/render/ImageDescriptor.h"
#include "ui/render/RenderKit.h"

using namespace Umbra;
using gditest::Canvas;

namespace {

constexpr uint32_t kYellow = 0xFFFFFF00u;

std::string Utf8(LPCWSTR text) {
  std::string out;
  for (; text && *text; ++text) out += static_cast<char>(*text);  // ASCII in these tests
  return out;
}

std::string RectText(const RECT& rc) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%ld,%ld,%ld,%ld", static_cast<long>(rc.left), static_cast<long>(rc.top),
           static_cast<long>(rc.right), static_cast<long>(rc.bottom));
  return buffer;
}

// name|type|dest|source|corner|mask|fade|flags (h, x, y or '-').
std::string Describe(const UIImageDescriptor& s) {
  char tail[64];
  snprintf(tail, sizeof tail, "|%x|%d|%c%c%c", static_cast<unsigned>(s.mask), s.fade, s.hole ? 'h' : '-',
           s.xtiled ? 'x' : '-', s.ytiled ? 'y' : '-');
  return Utf8(s.name) + "|" + Utf8(s.resType) + "|" + RectText(s.dest) + "|" + RectText(s.source) + "|" +
         RectText(s.corner) + tail;
}

// A 32-bit top-down DIB section filled by pixel(x, y); deleted with the object.
class Image {
 public:
  Image(int width, int height, const std::function<uint32_t(int, int)>& pixel) {
    void* bits = nullptr;
    m_bitmap = gditest::MakeDib(width, height, true, &bits);
    auto* p = static_cast<uint32_t*>(bits);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) p[y * width + x] = pixel(x, y);
  }
  ~Image() { DeleteObject(m_bitmap); }
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  HBITMAP get() const { return m_bitmap; }

 private:
  HBITMAP m_bitmap;
};

// Every pixel different: its own coordinates, opaque.
uint32_t Coordinates(int x, int y) {
  return 0xFF000000u | static_cast<uint32_t>(x) << 8 | static_cast<uint32_t>(y);
}

// One letter per pixel and a line per row: r, g, b, y for the opaque colours, '.' for 0, '?' else.
std::string Letters(Canvas& canvas, int width, int height) {
  std::string out;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      switch (canvas.At(x, y)) {
        case gditest::kRed:
          out += 'r';
          break;
        case gditest::kGreen:
          out += 'g';
          break;
        case gditest::kBlue:
          out += 'b';
          break;
        case kYellow:
          out += 'y';
          break;
        case 0:
          out += '.';
          break;
        default:
          out += '?';
      }
    }
    out += '\n';
  }
  return out;
}

// ---- Descriptor syntax -----------------------------------------------------------------------

struct Parsed {
  UIImageDescriptor state;
  std::string drawnBefore;  // name|type of each image drawn at a boundary, ';' after each
};

// Reads descriptor and modifier as DrawDescriptor does.
Parsed Parse(LPCWSTR descriptor, LPCWSTR modifier, const RECT& item) {
  Parsed out;
  out.state.name = descriptor;
  out.state.dest = item;
  auto record = [](const UIImageDescriptor& s, void* context) {
    *static_cast<std::string*>(context) +=
        Utf8(s.name) + "|" + Utf8(s.resType) + "@" + RectText(s.dest) + ";";
  };
  ParseImageDescriptor(descriptor, item, out.state, record, &out.drawnBefore);
  ParseImageDescriptor(modifier, item, out.state, record, &out.drawnBefore);
  return out;
}

TEST(ImageDescriptor, ReadsPairsAsDrawDescriptorDoes) {
  const RECT item{5, 7, 105, 107};
  struct {
    const char16_t* descriptor;
    const char16_t* modifier;
    const char* expected;
    const char* drawnBefore;
  } cases[] = {
      // A string without pairs is the name.
      {u"bg.png", nullptr, "bg.png||5,7,105,107|0,0,0,0|0,0,0,0|0|255|---", ""},
      // Malformed pairs end the string; what was read stays.
      {u"file='a.png' fade=128", nullptr, "a.png||5,7,105,107|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"file='a.png'x fade='1'", nullptr, "a.png||5,7,105,107|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"fade='9' file='a.png", nullptr, "fade='9' file='a.png||5,7,105,107|0,0,0,0|0,0,0,0|0|9|---", ""},
      {u"fade='9' hole", nullptr, "fade='9' hole||5,7,105,107|0,0,0,0|0,0,0,0|0|9|---", ""},
      // Keys are case-sensitive, unknown keys and empty values are ignored, blanks are 1-32.
      {u"FILE='a.png' file='' size='3'", nullptr,
       "FILE='a.png' file='' size='3'||5,7,105,107|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"\x01 file = 'a.png'\t\x1fhole='true'", nullptr, "a.png||5,7,105,107|0,0,0,0|0,0,0,0|0|255|h--", ""},
      // Rectangles: dest relative to the item and limited to its right and bottom edges.
      {u"file='a.png' dest='10,10,500,500'", nullptr, "a.png||15,17,105,107|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"file='a.png' dest='-3,-4,20,30'", nullptr, "a.png||2,3,25,37|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"file='a.png' source=' 1,-2;+3x4' corner='5,6'", nullptr,
       "a.png||5,7,105,107|1,-2,3,4|5,6,0,0|0|255|---", ""},
      {u"file='a.png' corner='1,,3' source='x,2,3,4'", nullptr,
       "a.png||5,7,105,107|0,0,2,3|1,0,3,0|0|255|---", ""},  // no digits: 'x' is the separator
      // Colours, fade, flags.
      {u"file='a.png' mask='#FF00FF' fade='256' xtiled='TRUE' ytiled='true'", nullptr,
       "a.png||5,7,105,107|0,0,0,0|0,0,0,0|ff00ff|0|--y", ""},
      {u"file='a.png' mask='0xff000000' fade='-1' hole='true' hole='yes'", nullptr,
       "a.png||5,7,105,107|0,0,0,0|0,0,0,0|ff000000|255|---", ""},
      // Numbers saturate instead of overflowing.
      {u"file='a.png' dest='99999999999,-99999999999,2147483647,5' fade='99999999999' mask='fffffffffff'",
       nullptr, "a.png||2147483647,-2147483641,105,12|0,0,0,0|0,0,0,0|ffffffff|255|---", ""},
      // Image boundaries: "file" after "file" or "restype", "restype" or "res" after either.
      {u"res='101' restype='PNG'", nullptr, "101|PNG|5,7,105,107|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"file='a.png' dest='0,0,10,10' file='b.png'", nullptr, "b.png||5,7,15,17|0,0,0,0|0,0,0,0|0|255|---",
       "a.png|@5,7,15,17;"},
      {u"file='a.png' restype='PNG' res='7'", nullptr, "7|PNG|5,7,105,107|0,0,0,0|0,0,0,0|0|255|---",
       "a.png|@5,7,105,107;a.png|PNG@5,7,105,107;"},
      // The modifier goes on top, with its own count: naming a file only replaces the name.
      {u"file='a.png' dest='1,1,5,5'", u"dest='0,0,20,20'", "a.png||5,7,25,27|0,0,0,0|0,0,0,0|0|255|---", ""},
      {u"file='a.png' fade='7'", u"file='b.png'", "b.png||5,7,105,107|0,0,0,0|0,0,0,0|0|7|---", ""},
      {u"bg.png", u"file='b.png' file='c.png'", "c.png||5,7,105,107|0,0,0,0|0,0,0,0|0|255|---",
       "b.png|@5,7,105,107;"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.descriptor) + " + " + Utf8(c.modifier));
    const Parsed parsed = Parse(c.descriptor, c.modifier, item);
    EXPECT_EQ(Describe(parsed.state), c.expected);
    EXPECT_EQ(parsed.drawnBefore, c.drawnBefore);
  }
}

// ---- BlitImage ---------------------------------------------------------------------------------

enum class Mode { Copy, Blend };

struct ModeCase {
  Mode mode;
  const char* name;
};
const ModeCase kModes[] = {{Mode::Copy, "copy"}, {Mode::Blend, "blend"}};

TEST(BlitImage, KeepsNineGridCornersUnscaledAtAnySize) {
  Image image(12, 12, Coordinates);
  const RECT source{0, 0, 12, 12}, corners{3, 3, 3, 3};
  const SIZE sizes[] = {{12, 12}, {30, 20}, {7, 9}, {6, 6}};
  for (const ModeCase& mode : kModes) {
    for (const SIZE& size : sizes) {
      SCOPED_TRACE(std::string(mode.name) + " " + std::to_string(size.cx) + "x" + std::to_string(size.cy));
      Canvas canvas(40, 30);
      const RECT dest{2, 3, 2 + size.cx, 3 + size.cy};
      CRenderKit::BlitImage(canvas.dc(), image.get(), dest, dest, source, corners, mode.mode == Mode::Blend);
      for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
          const int dx = x - dest.left, dy = y - dest.top;
          const bool inside = dx >= 0 && dy >= 0 && dx < size.cx && dy < size.cy;
          if (!inside) {
            ASSERT_EQ(canvas.At(x, y), 0u) << x << "," << y;
            continue;
          }
          const bool left = dx < 3, right = dx >= size.cx - 3, top = dy < 3, bottom = dy >= size.cy - 3;
          if (!(left || right) || !(top || bottom)) continue;  // edges and centre are scaled
          const int sx = left ? dx : 12 - (size.cx - dx), sy = top ? dy : 12 - (size.cy - dy);
          ASSERT_EQ(canvas.At(x, y), Coordinates(sx, sy)) << x << "," << y;
        }
      }
    }
  }
}

// The image column or row shown at d along one axis of a nine-grid with corners c: tiled
// centres repeat the source centre; untiled axes here have the destination size of the source.
int SourceAt(int d, int destSize, int sourceSize, int c) {
  if (d < c) return d;
  if (d >= destSize - c) return sourceSize - (destSize - d);
  return c + (d - c) % (sourceSize - 2 * c);
}

TEST(BlitImage, TilesTheCentreWithTheLastTileCut) {
  // A 30-pixel centre between 2-pixel corners, over a 100-pixel centre: 4 tiles, the last 10 wide.
  Image image(34, 34, Coordinates);
  const RECT source{0, 0, 34, 34}, corners{2, 2, 2, 2};
  struct {
    bool xtiled, ytiled;
  } cases[] = {{true, false}, {false, true}, {true, true}};
  for (const ModeCase& mode : kModes) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(mode.name) + (c.xtiled ? " xtiled" : "") + (c.ytiled ? " ytiled" : ""));
      Canvas canvas(110, 110);
      const int w = c.xtiled ? 104 : 34, h = c.ytiled ? 104 : 34;
      const RECT dest{1, 1, 1 + w, 1 + h};
      CRenderKit::BlitImage(canvas.dc(), image.get(), dest, dest, source, corners, mode.mode == Mode::Blend,
                            255, false, c.xtiled, c.ytiled);
      for (int y = 0; y < 110; ++y) {
        for (int x = 0; x < 110; ++x) {
          const int dx = x - 1, dy = y - 1;
          if (dx < 0 || dy < 0 || dx >= w || dy >= h) {
            ASSERT_EQ(canvas.At(x, y), 0u) << x << "," << y;
            continue;
          }
          const bool centreX = dx >= 2 && dx < w - 2, centreY = dy >= 2 && dy < h - 2;
          // Edges along a tiled axis are stretched, not tiled: not compared.
          if (centreX != centreY && ((centreX && c.xtiled) || (centreY && c.ytiled))) continue;
          ASSERT_EQ(canvas.At(x, y), Coordinates(SourceAt(dx, w, 34, 2), SourceAt(dy, h, 34, 2)))
              << x << "," << y;
        }
      }
    }
  }
}

TEST(BlitImage, HoleLeavesTheCentreOut) {
  Image image(12, 12, [](int, int) { return gditest::kRed; });
  const RECT dest{0, 0, 10, 10}, source{0, 0, 12, 12};
  for (const ModeCase& mode : kModes) {
    SCOPED_TRACE(mode.name);
    Canvas framed(10, 10);
    CRenderKit::BlitImage(framed.dc(), image.get(), dest, dest, source, RECT{2, 3, 2, 3},
                          mode.mode == Mode::Blend, 255, true);
    EXPECT_EQ(Letters(framed, 10, 10),
              gditest::Rows({"rrrrrrrrrr", "rrrrrrrrrr", "rrrrrrrrrr", "rr......rr", "rr......rr",
                             "rr......rr", "rr......rr", "rrrrrrrrrr", "rrrrrrrrrr", "rrrrrrrrrr"}));
    // Without corners all is centre, also when the image is not scaled.
    for (const RECT& bareDest : {dest, RECT{0, 0, 12, 12}}) {
      Canvas bare(12, 12);
      CRenderKit::BlitImage(bare.dc(), image.get(), bareDest, bareDest, source, RECT{0, 0, 0, 0},
                            mode.mode == Mode::Blend, 255, true);
      for (int i = 0; i < 144; ++i) ASSERT_EQ(bare.bits()[i], 0u) << i;
    }
  }
}

TEST(BlitImage, DrawsOnlyPiecesMeetingThePaintRectButEachWhole) {
  Image image(12, 12, [](int, int) { return gditest::kRed; });
  const RECT dest{0, 0, 12, 12}, source{0, 0, 12, 12}, corners{4, 4, 4, 4};
  struct {
    RECT paint;
    const char* picture;
  } cases[] = {
      // Only the top-left corner meets the paint rectangle.
      {{0, 0, 2, 2},
       "rrrr........|rrrr........|rrrr........|rrrr........|............|............|"
       "............|............|............|............|............|............|"},
      // Only the centre.
      {{5, 5, 6, 6},
       "............|............|............|............|....rrrr....|....rrrr....|"
       "....rrrr....|....rrrr....|............|............|............|............|"},
      // The top-left corner, the top and left edges and the centre.
      {{3, 3, 5, 5},
       "rrrrrrrr....|rrrrrrrr....|rrrrrrrr....|rrrrrrrr....|rrrrrrrr....|rrrrrrrr....|"
       "rrrrrrrr....|rrrrrrrr....|............|............|............|............|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(RectText(c.paint));
    Canvas canvas(12, 12);
    CRenderKit::BlitImage(canvas.dc(), image.get(), dest, c.paint, source, corners, false);
    std::string expected = c.picture;
    for (char& ch : expected) {
      if (ch == '|') ch = '\n';
    }
    EXPECT_EQ(Letters(canvas, 12, 12), expected);
  }
}

TEST(BlitImage, FadeBlendsTheImageOverTheTarget) {
  Image image(4, 4, [](int, int) { return gditest::kRed; });
  const RECT dest{0, 0, 8, 8}, source{0, 0, 4, 4}, none{0, 0, 0, 0};
  struct {
    BYTE fade;
    uint32_t expected;
  } cases[] = {
      {255, gditest::kRed},
      {128, 0xFF807F00u},  // half red over green, still opaque
      {0, gditest::kGreen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fade));
    Canvas canvas(8, 8, gditest::kGreen);
    CRenderKit::BlitImage(canvas.dc(), image.get(), dest, dest, source, none, false, c.fade);
    for (int i = 0; i < 64; ++i) EXPECT_TRUE(gditest::Near(canvas.bits()[i], c.expected)) << i;
  }
}

TEST(BlitImage, ReadsOnlyTheImageWhateverTheRectangles) {
  // Sources reaching past the image are cut to it: the whole image lands 1:1.
  Image image(4, 4, Coordinates);
  const RECT dest{0, 0, 4, 4}, none{0, 0, 0, 0};
  for (const RECT& source : {RECT{-4, -4, 4, 4}, RECT{0, 0, 1000, 1000}, RECT{INT32_MIN, 0, INT32_MAX, 4}}) {
    for (const ModeCase& mode : kModes) {
      SCOPED_TRACE(RectText(source) + " " + mode.name);
      Canvas canvas(4, 4);
      CRenderKit::BlitImage(canvas.dc(), image.get(), dest, dest, source, none, mode.mode == Mode::Blend);
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) ASSERT_EQ(canvas.At(x, y), Coordinates(x, y)) << x << "," << y;
    }
  }
  // Inverted, empty or wild geometry draws what fits, or nothing, and never fails.
  struct {
    RECT dest, source, corners;
  } wild[] = {
      {{0, 0, 10, 10}, {3, 3, 1, 1}, {0, 0, 0, 0}},
      {{0, 0, 10, 10}, {4, 4, 8, 8}, {0, 0, 0, 0}},
      {{10, 10, 0, 0}, {0, 0, 4, 4}, {1, 1, 1, 1}},
      {{0, 0, 10, 10}, {0, 0, 4, 4}, {8, 8, 8, 8}},
      {{0, 0, 10, 10}, {0, 0, 4, 4}, {-3, -3, -3, -3}},
      {{0, 0, 10, 10}, {0, 0, 4, 4}, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}},
      {{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, {0, 0, 4, 4}, {1, 1, 1, 1}},
  };
  for (const auto& w : wild) {
    for (bool tiled : {false, true}) {
      Canvas canvas(10, 10);
      CRenderKit::BlitImage(canvas.dc(), image.get(), w.dest, RECT{0, 0, 10, 10}, w.source, w.corners, false,
                            200, false, tiled, tiled);
    }
  }
  // Corners larger than the image are skipped; those that fit are still drawn.
  Canvas canvas(10, 10);
  CRenderKit::BlitImage(canvas.dc(), image.get(), RECT{0, 0, 10, 10}, RECT{0, 0, 10, 10}, RECT{0, 0, 4, 4},
                        RECT{3, 3, 3, 3}, false);
  EXPECT_EQ(canvas.At(0, 0), Coordinates(0, 0));
  EXPECT_EQ(canvas.At(9, 9), Coordinates(3, 3));
  EXPECT_EQ(canvas.At(5, 0), 0u);  // the top edge would be -2 pixels wide
}

// ---- SoftAlphaBlend ----------------------------------------------------------------------------

TEST(SoftAlphaBlend, BlendsLikeAlphaBlend) {
  // Pre-multiplied sources of every kind over a target whose alpha varies too.
  const uint32_t sources[] = {0x00000000u, 0xFFFF0000u, 0x80402010u, 0x40404040u, 0xC0C00000u, 0x10000810u};
  Image image(3, 2, [&](int x, int y) { return sources[y * 3 + x]; });
  auto target = [](int x, int y) {
    const uint32_t a = 0x40u + 0x30u * static_cast<uint32_t>(y);
    return a << 24 | (a * static_cast<uint32_t>(x) / 8) << 16 | (a / 2) << 8 | (a - 1);
  };
  HDC source = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(source, image.get());
  struct {
    BYTE constant;
    BYTE format;
    RECT dest;  // x, y, width, height
    RECT clip;  // empty: none
  } cases[] = {
      {255, AC_SRC_ALPHA, {1, 1, 3, 2}, {}},   {128, AC_SRC_ALPHA, {1, 1, 3, 2}, {}},
      {37, AC_SRC_ALPHA, {0, 0, 8, 5}, {}},    {200, 0, {2, 0, 5, 4}, {}},
      {255, AC_SRC_ALPHA, {-2, -1, 7, 7}, {}}, {255, AC_SRC_ALPHA, {0, 0, 8, 6}, {1, 2, 5, 4}},
      {90, 0, {0, 0, 8, 6}, {3, 0, 8, 3}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.constant) + " " + std::to_string(c.format) + " " + RectText(c.dest));
    Canvas system(8, 6), soft(8, 6);
    for (Canvas* canvas : {&system, &soft}) {
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) canvas->At(x, y) = target(x, y);
      if (c.clip.right) IntersectClipRect(canvas->dc(), c.clip.left, c.clip.top, c.clip.right, c.clip.bottom);
    }
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, c.constant, c.format};
    const RECT& d = c.dest;
    EXPECT_TRUE(AlphaBlend(system.dc(), d.left, d.top, d.right, d.bottom, source, 0, 0, 3, 2, blend));
    EXPECT_TRUE(
        CRenderKit::SoftAlphaBlend(soft.dc(), d.left, d.top, d.right, d.bottom, source, 0, 0, 3, 2, blend));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) EXPECT_TRUE(gditest::Near(soft.At(x, y), system.At(x, y))) << x << "," << y;
  }
  // Both refuse what AlphaBlend refuses.
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  Canvas canvas(8, 6);
  EXPECT_FALSE(CRenderKit::SoftAlphaBlend(canvas.dc(), 0, 0, 4, 4, source, 1, 0, 3, 2, blend));
  EXPECT_FALSE(CRenderKit::SoftAlphaBlend(canvas.dc(), 0, 0, -4, 4, source, 0, 0, 3, 2, blend));
  EXPECT_FALSE(CRenderKit::SoftAlphaBlend(nullptr, 0, 0, 4, 4, source, 0, 0, 3, 2, blend));
  SelectObject(source, old);
  DeleteDC(source);
}

// ---- Descriptors -----------------------------------------------------------------------------

// Images in a temporary skin folder, drawn onto an 8x8 canvas whose item is (1,1)-(7,7).
class DrawDescriptorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_oldSkinPath = CUIHost::GetSkinPath();
    CUIHost::SetSkinPath(m_dir.Win().c_str());
    WritePng("red.png", 4, 4, [](int, int) { return 0xFFFF0000u; });
    // Left half opaque blue, right half transparent.
    WritePng("half.png", 4, 4, [](int x, int) { return x < 2 ? 0xFF0000FFu : 0u; });
    // Quadrants: red, green / blue, yellow.
    WritePng("quad.png", 4, 4, [](int x, int y) {
      return y < 2 ? (x < 2 ? 0xFFFF0000u : 0xFF00FF00u) : (x < 2 ? 0xFF0000FFu : 0xFFFFFF00u);
    });
  }
  void TearDown() override { CUIHost::SetSkinPath(m_oldSkinPath); }

  // pixel gives 0xAARRGGBB.
  void WritePng(const std::string& name, int w, int h, const std::function<uint32_t(int, int)>& pixel) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const uint32_t p = pixel(x, y);
        rgba.insert(rgba.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                 static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 24)});
      }
    }
    ASSERT_TRUE(stbi_write_png((m_dir / name).c_str(), w, h, 4, rgba.data(), w * 4));
  }

  bool Draw(LPCWSTR descriptor, LPCWSTR modifier = nullptr) {
    return CRenderKit::DrawDescriptor(m_canvas.dc(), &m_host, m_item, m_paint, descriptor, modifier);
  }
  std::string Picture() { return Letters(m_canvas, 8, 8); }

  TempDir m_dir;
  CUIString m_oldSkinPath;
  CUIHost m_host;
  Canvas m_canvas{8, 8};
  RECT m_item{1, 1, 7, 7};
  RECT m_paint{0, 0, 8, 8};
};

TEST_F(DrawDescriptorTest, DrawsWhatTheDescriptorSays) {
  struct {
    const char16_t* descriptor;
    const char16_t* modifier;
    const char* picture;
  } cases[] = {
      // No pairs: the whole string names the image, stretched over the item.
      {u"red.png", nullptr, "........|.rrrrrr.|.rrrrrr.|.rrrrrr.|.rrrrrr.|.rrrrrr.|.rrrrrr.|........|"},
      // dest is cut at the item's right and bottom edges.
      {u"file='red.png' dest='3,4,500,500'", nullptr,
       "........|........|........|........|........|....rrr.|....rrr.|........|"},
      // Parsing stops at the malformed pair: full opacity.
      {u"file='red.png' fade=128", nullptr,
       "........|.rrrrrr.|.rrrrrr.|.rrrrrr.|.rrrrrr.|.rrrrrr.|.rrrrrr.|........|"},
      {u"file='red.png' fade='256'", nullptr,
       "........|........|........|........|........|........|........|........|"},
      // The modifier's dest replaces the descriptor's.
      {u"file='red.png' dest='0,0,6,6'", u"dest='0,0,2,3'",
       "........|.rr.....|.rr.....|.rr.....|........|........|........|........|"},
      // Two images in one place: b.png's transparent half shows a.png.
      {u"file='red.png' dest='0,0,4,4' file='half.png'", nullptr,
       "........|.bbrr...|.bbrr...|.bbrr...|.bbrr...|........|........|........|"},
      // A source beyond the image is cut to it.
      {u"file='quad.png' dest='0,0,4,4' source='0,0,1000,1000'", nullptr,
       "........|.rrgg...|.rrgg...|.bbyy...|.bbyy...|........|........|........|"},
      {u"file='quad.png' dest='2,2,6,6' source='-5,-5,4,4'", nullptr,
       "........|........|........|...rrgg.|...rrgg.|...bbyy.|...bbyy.|........|"},
      {u"file='quad.png' dest='0,0,2,2' source='2,2,4,4'", nullptr,
       "........|.yy.....|.yy.....|........|........|........|........|........|"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.descriptor) + " + " + Utf8(c.modifier));
    m_canvas.Fill(0);
    EXPECT_TRUE(Draw(c.descriptor, c.modifier));
    std::string expected = c.picture;
    for (char& ch : expected) {
      if (ch == '|') ch = '\n';
    }
    EXPECT_EQ(Picture(), expected);
  }
}

TEST_F(DrawDescriptorTest, FailsWhenTheLastImageCannotBeHad) {
  struct {
    const char16_t* descriptor;
    bool result;
    bool drawn;
  } cases[] = {
      {u"file='missing.png'", false, false},
      {u"", false, false},
      {u"file='red.png' file='missing.png'", false, true},
      {u"file='missing.png' file='red.png'", true, true},
      {u"file='red.png' dest='20,20,30,30'", true, false},  // outside the item: nothing to draw
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.descriptor));
    m_canvas.Fill(0);
    EXPECT_EQ(Draw(c.descriptor), c.result);
    EXPECT_EQ(m_canvas.At(1, 1) == gditest::kRed, c.drawn);
  }
  EXPECT_FALSE(Draw(nullptr));
  EXPECT_FALSE(CRenderKit::DrawDescriptor(nullptr, &m_host, m_item, m_paint, u"red.png"));
  EXPECT_FALSE(CRenderKit::DrawDescriptor(m_canvas.dc(), nullptr, m_item, m_paint, u"red.png"));
}

}  // namespace
