#include <gtest/gtest.h>
#include <stb_image_write.h>
#include <tchar.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/platform/TempDir.h"
#include "ui/core/UIHost.h"
#include "ui/render/GifHandler.h"
#include "ui/render/RenderKit.h"

using namespace Umbra;

namespace {

struct EntryFree {
  void operator()(UIImageEntry* entry) const { FreeImageEntry(entry); }
};
using Entry = std::unique_ptr<UIImageEntry, EntryFree>;

using Bytes = std::string;

void Append(void* context, void* data, int size) {
  static_cast<Bytes*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

// RGBA pixels of a width x height image, row by row.
Bytes Png(int width, int height, const std::vector<uint8_t>& rgba) {
  Bytes out;
  stbi_write_png_to_func(Append, &out, width, height, 4, rgba.data(), width * 4);
  return out;
}

Bytes Jpeg(int width, int height, const std::vector<uint8_t>& rgb) {
  Bytes out;
  stbi_write_jpg_to_func(Append, &out, width, height, 3, rgb.data(), 100);
  return out;
}

Entry Decode(const Bytes& bytes, DWORD mask = 0) {
  return Entry(CRenderKit::DecodeSkinImage(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), mask));
}

// The entry's pixels as 0xAARRGGBB values, top row first.
std::vector<uint32_t> Pixels(const UIImageEntry& entry) {
  DIBSECTION section = {};
  if (GetObjectW(entry.bitmap, sizeof section, &section) != sizeof section) return {};
  EXPECT_EQ(section.dsBmih.biHeight, -entry.height);  // top-down
  EXPECT_EQ(section.dsBmih.biBitCount, 32);
  const BYTE* bits = static_cast<const BYTE*>(section.dsBm.bmBits);
  std::vector<uint32_t> pixels(static_cast<size_t>(entry.width) * entry.height);
  for (size_t i = 0; i < pixels.size(); ++i, bits += 4) {
    pixels[i] = bits[0] | (bits[1] << 8) | (bits[2] << 16) | (static_cast<uint32_t>(bits[3]) << 24);
  }
  return pixels;
}

// A 2x1 PNG: a half-transparent pixel, then opaque magenta.
Bytes HalfAndMagenta() { return Png(2, 1, {200, 100, 50, 128, 255, 0, 255, 255}); }

}  // namespace

TEST(ImageLoader, PremultipliesAndDetectsAlpha) {
  Entry entry = Decode(HalfAndMagenta());
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->width, 2);
  EXPECT_EQ(entry->height, 1);
  EXPECT_TRUE(entry->hasAlpha);
  EXPECT_EQ(entry->frameDelay, 0);
  // 200,100,50 at alpha 128 becomes red 100, green 50, blue 25.
  EXPECT_EQ(Pixels(*entry), (std::vector<uint32_t>{0x80643219, 0xFFFF00FF}));
}

TEST(ImageLoader, KeepsRowsTopDown) {
  Entry entry = Decode(Png(1, 2, {255, 0, 0, 255, 0, 0, 255, 255}));
  ASSERT_TRUE(entry);
  EXPECT_FALSE(entry->hasAlpha);
  EXPECT_EQ(Pixels(*entry), (std::vector<uint32_t>{0xFFFF0000, 0xFF0000FF}));
}

TEST(ImageLoader, MaskColourClearsExactMatchesOnly) {
  struct Case {
    DWORD mask;
    std::vector<uint32_t> pixels;
  };
  const Case cases[] = {
      {0xFFFF00FF, {0x80643219, 0x00000000}},  // opaque magenta cleared
      {0x00FF00FF, {0x80643219, 0xFFFF00FF}},  // without alpha FF the opaque pixel stays
      {0x80643219, {0x00000000, 0xFFFF00FF}},  // compared after pre-multiplication
  };
  for (const Case& c : cases) {
    Entry entry = Decode(HalfAndMagenta(), c.mask);
    ASSERT_TRUE(entry);
    EXPECT_EQ(Pixels(*entry), c.pixels) << std::hex << c.mask;
  }
}

TEST(ImageLoader, OpaqueJpegHasNoAlphaUntilMasked) {
  const Bytes jpeg = Jpeg(8, 8, std::vector<uint8_t>(8 * 8 * 3, 255));
  Entry plain = Decode(jpeg);
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->hasAlpha);
  Entry masked = Decode(jpeg, 0xFFFFFFFF);
  ASSERT_TRUE(masked);
  EXPECT_TRUE(masked->hasAlpha);
  for (uint32_t pixel : Pixels(*masked)) EXPECT_EQ(pixel, 0u);
}

TEST(ImageLoader, RefusesBrokenAndOversizedImages) {
  const Bytes png = Png(4, 4, std::vector<uint8_t>(4 * 4 * 4, 7));
  // Width and height live big-endian at bytes 16 and 20 of the header.
  auto withSize = [&](uint32_t width, uint32_t height) {
    Bytes b = png;
    for (int i = 0; i < 4; ++i) {
      b[16 + i] = static_cast<char>(width >> (24 - 8 * i));
      b[20 + i] = static_cast<char>(height >> (24 - 8 * i));
    }
    return b;
  };
  Bytes corrupt = png;
  for (size_t i = 40; i < corrupt.size() - 12; ++i) corrupt[i] = static_cast<char>(0xA5);
  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"empty", ""},
      {"not an image", "plain text, not pixels"},
      {"truncated", png.substr(0, png.size() / 2)},
      {"corrupt data", corrupt},
      {"4 GiB exactly: wraps to 0 in 32 bits", withSize(32768, 32768)},
      {"far too large", withSize(60000, 60000)},
  };
  for (const auto& c : cases) EXPECT_FALSE(Decode(c.bytes)) << c.what;
}

// ---- Animation frames ------------------------------------------------------------------------

namespace {

// A GIF on a 2x1 canvas, palette red and blue, whose frames each draw one run of pixels.
struct GifFrame {
  int delay;    // hundredths of a second; -1 for no control extension
  int dispose;  // disposal method written in the control extension
  int left;     // first pixel drawn
  int colours;  // 1 or 2 pixels, all of palette index `index`
  int index;
};

Bytes Gif(const std::vector<GifFrame>& frames) {
  Bytes b = "GIF89a";
  b += {2, 0, 1, 0, static_cast<char>(0x80), 0, 0};  // 2x1, global table of 2 colours
  b += {static_cast<char>(0xFF), 0, 0, 0, 0, static_cast<char>(0xFF)};
  for (const GifFrame& f : frames) {
    if (f.delay >= 0) {
      b += {0x21,
            static_cast<char>(0xF9),
            4,
            static_cast<char>(f.dispose << 2),
            static_cast<char>(f.delay),
            0,
            0,
            0};
    }
    b += {0x2C, static_cast<char>(f.left), 0, 0, 0, static_cast<char>(f.colours), 0, 1, 0, 0, 2};
    // Codes of 3 bits: clear (4), the pixels, end (5).
    const int code =
        f.colours == 1 ? 4 | (f.index << 3) | (5 << 6) : 4 | (f.index << 3) | (f.index << 6) | (5 << 9);
    b += {2, static_cast<char>(code & 0xFF), static_cast<char>(code >> 8), 0};
  }
  b += ';';
  return b;
}

std::unique_ptr<CGifHandler> DecodeGif(const Bytes& bytes, DWORD mask = 0) {
  return std::unique_ptr<CGifHandler>(
      CRenderKit::DecodeAnimationFrames(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), mask));
}

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF;

}  // namespace

TEST(ImageLoader, AnimationFramesCarryTheirDelays) {
  auto gif = DecodeGif(Gif({{-1, 0, 0, 2, 0}, {0, 0, 0, 1, 1}, {5, 0, 1, 1, 1}, {-1, 0, 0, 1, 0}}));
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->GetFrameCount(), 4);
  // None before any extension, 0 means 100 ms, and a frame without one keeps the last.
  const int delays[] = {0, 100, 50, 50};
  const std::vector<uint32_t> canvases[] = {{kRed, kRed}, {kBlue, kRed}, {kBlue, kBlue}, {kRed, kBlue}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(gif->GetFrame(i)->frameDelay, delays[i]) << i;
    EXPECT_EQ(Pixels(*gif->GetFrame(i)), canvases[i]) << i;
  }
}

TEST(ImageLoader, RestoreToPreviousDisposalRestoresTheCanvas) {
  // The second frame's pixel is put back to red before the third frame draws.
  auto gif = DecodeGif(Gif({{1, 0, 0, 2, 0}, {1, 3, 1, 1, 1}, {1, 0, 0, 1, 1}}));
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->GetFrameCount(), 3);
  EXPECT_EQ(Pixels(*gif->GetFrame(1)), (std::vector<uint32_t>{kRed, kBlue}));
  EXPECT_EQ(Pixels(*gif->GetFrame(2)), (std::vector<uint32_t>{kBlue, kRed}));
}

TEST(ImageLoader, AnimationKeepsFramesBeforeABrokenOneAndIgnoresOtherData) {
  Bytes gif = Gif({{2, 0, 0, 2, 0}, {2, 0, 0, 2, 1}});
  // The second frame lies outside the canvas; the third is never reached.
  auto broken = DecodeGif(Gif({{2, 0, 0, 2, 0}, {2, 0, 5, 2, 1}, {2, 0, 0, 2, 1}}));
  ASSERT_TRUE(broken);
  EXPECT_EQ(broken->GetFrameCount(), 1);
  auto headerOnly = DecodeGif(gif.substr(0, 10));
  ASSERT_TRUE(headerOnly);
  EXPECT_EQ(headerOnly->GetFrameCount(), 0);

  Bytes huge = gif;  // a 60000x60000 canvas per frame is refused before decoding
  huge[6] = huge[8] = static_cast<char>(0x60);
  huge[7] = huge[9] = static_cast<char>(0xEA);
  auto tooLarge = DecodeGif(huge);
  ASSERT_TRUE(tooLarge);
  EXPECT_EQ(tooLarge->GetFrameCount(), 0);

  auto notGif = DecodeGif(HalfAndMagenta());
  ASSERT_TRUE(notGif);
  EXPECT_EQ(notGif->GetFrameCount(), 0);
  EXPECT_EQ(notGif->NextFrame(), nullptr);

  auto masked = DecodeGif(gif, kRed);
  ASSERT_TRUE(masked);
  ASSERT_EQ(masked->GetFrameCount(), 2);
  EXPECT_TRUE(masked->GetFrame(0)->hasAlpha);
  EXPECT_EQ(Pixels(*masked->GetFrame(0)), (std::vector<uint32_t>{0, 0}));
}

TEST(ImageLoader, GifHandlerCyclesThroughFrames) {
  auto gif = DecodeGif(Gif({{1, 0, 0, 2, 0}, {1, 0, 0, 2, 1}}));
  ASSERT_TRUE(gif);
  UIImageEntry* first = gif->GetFrame(0);
  UIImageEntry* second = gif->GetFrame(1);
  EXPECT_EQ(gif->CurrentFrame(), first);
  EXPECT_EQ(gif->NextFrame(), first);
  EXPECT_EQ(gif->NextFrame(), second);
  EXPECT_EQ(gif->CurrentFrame(), first);
}

// ---- Finding the bytes -----------------------------------------------------------------------

class ImageLoaderFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    CUIHost::SetSkinArchive(_T(""), false);
    CUIHost::SetSkinPath(m_skin.Win().c_str());
    TempDir::Put(m_skin / "button.png", HalfAndMagenta());
    TempDir::Put(m_elsewhere / "logo.png", HalfAndMagenta());
    TempDir::Put(m_elsewhere / "spin.gif", Gif({{3, 0, 0, 2, 0}}));
    TempDir::Put(m_elsewhere / "empty.png", "");
  }
  void TearDown() override { CUIHost::SetSkinPath(_T("")); }

  TempDir m_skin;
  TempDir m_elsewhere;
};

TEST_F(ImageLoaderFiles, FindsSkinFilesThenPlainPaths) {
  Entry skin(CRenderKit::LoadSkinImage(_T("button.png"), nullptr, 0));
  ASSERT_TRUE(skin);
  EXPECT_EQ(skin->width, 2);
  EXPECT_TRUE(Entry(CRenderKit::LoadSkinImage(m_elsewhere.Win("logo.png").c_str(), nullptr, 0)));
  // A resource type with no such resource still falls back to the name as a path.
  EXPECT_TRUE(Entry(CRenderKit::LoadSkinImage(m_elsewhere.Win("logo.png").c_str(), _T("PNG"), 0)));

  EXPECT_FALSE(Entry(CRenderKit::LoadSkinImage(_T("missing.png"), nullptr, 0)));
  EXPECT_FALSE(Entry(CRenderKit::LoadSkinImage(m_elsewhere.Win("empty.png").c_str(), _T("PNG"), 0)));
  EXPECT_FALSE(Entry(CRenderKit::LoadSkinImage(MAKEINTRESOURCE(4242), _T("PNG"), 0)));
  EXPECT_FALSE(Entry(CRenderKit::LoadSkinImage(nullptr, nullptr, 0)));
}

TEST_F(ImageLoaderFiles, AnimationIsNullOnlyWithoutBytes) {
  std::unique_ptr<CGifHandler> gif(
      CRenderKit::LoadAnimationFrames(m_elsewhere.Win("spin.gif").c_str(), nullptr, 0));
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->GetFrameCount(), 1);
  EXPECT_EQ(gif->GetFrame(0)->frameDelay, 30);
  EXPECT_FALSE(std::unique_ptr<CGifHandler>(CRenderKit::LoadAnimationFrames(_T("missing.gif"), nullptr, 0)));
  std::unique_ptr<CGifHandler> png(CRenderKit::LoadAnimationFrames(_T("button.png"), nullptr, 0));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->GetFrameCount(), 0);
}
