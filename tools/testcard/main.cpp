// testcard: draws one card with the rendering library and writes it as a PNG, so a person can
// look at nine-grid scaling, gradients, rounded clips, alpha blending and mixed-script markup
// text at a glance.
//
//   testcard [out.png]     (default: testcard.png)
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#include <stdlib.h>
#include <tchar.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/core/UIHost.h"
#include "ui/render/ClipScope.h"
#include "ui/render/Dib32.h"
#include "ui/render/RenderKit.h"

using Umbra::CClipScope;
using Umbra::CRenderKit;
using Umbra::CUIHost;
using Umbra::CUIString;

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 320;

// RGBA pixels of the images the card draws; written as PNG files into a scratch skin folder.
struct Rgba {
  int width, height;
  std::vector<uint8_t> pixels;
  Rgba(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4) {}
  void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
    p[0] = r, p[1] = g, p[2] = b, p[3] = a;
  }
  bool Write(const std::string& path) const {
    return stbi_write_png(path.c_str(), width, height, 4, pixels.data(), width * 4) != 0;
  }
};

// A 24 x 24 button face: dark one-pixel frame with rounded 5-pixel corners around a vertical
// blue gradient, transparent outside the rounding. Stretched as a nine-grid with 6-pixel corners.
Rgba ButtonImage() {
  Rgba img(24, 24);
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < 24; ++x) {
      const double cx = x < 6 ? 6 - x - 0.5 : (x > 17 ? x - 17 + 0.5 : 0);
      const double cy = y < 6 ? 6 - y - 0.5 : (y > 17 ? y - 17 + 0.5 : 0);
      const double d = std::sqrt(cx * cx + cy * cy);
      if (d > 6) continue;
      const bool frame = d > 5 || x == 0 || x == 23 || y == 0 || y == 23;
      if (frame) {
        img.Set(x, y, 20, 40, 90, 255);
      } else {
        const uint8_t shade = static_cast<uint8_t>(230 - y * 5);
        img.Set(x, y, static_cast<uint8_t>(shade / 3), static_cast<uint8_t>(shade / 2 + 40), shade, 255);
      }
    }
  }
  return img;
}

// A soft disc whose alpha falls from the centre to the rim.
Rgba DiscImage(uint8_t r, uint8_t g, uint8_t b) {
  Rgba img(64, 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      const double d = std::hypot(x - 31.5, y - 31.5) / 32.0;
      const double a = d >= 1 ? 0 : 1 - d * d;
      img.Set(x, y, r, g, b, static_cast<uint8_t>(a * 230));
    }
  }
  return img;
}

// The DIB is blue, green, red, alpha; PNG wants red, green, blue, alpha.
bool WritePng(const uint32_t* bits, const char* path) {
  std::vector<uint8_t> rgba(static_cast<size_t>(kWidth) * kHeight * 4);
  for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) {
    const uint32_t px = bits[i];
    rgba[i * 4 + 0] = static_cast<uint8_t>(px >> 16);
    rgba[i * 4 + 1] = static_cast<uint8_t>(px >> 8);
    rgba[i * 4 + 2] = static_cast<uint8_t>(px);
    rgba[i * 4 + 3] = 255;
  }
  return stbi_write_png(path, kWidth, kHeight, 4, rgba.data(), kWidth * 4) != 0;
}

void DrawCard(HDC dc, CUIHost& host) {
  const RECT all = {0, 0, kWidth, kHeight};
  CRenderKit::FillColor(dc, all, 0xFFF4F4F0);

  // Title band: a horizontal gradient and plain text.
  RECT band = {0, 0, kWidth, 36};
  CRenderKit::FillGradient(dc, band, 0xFF1E3C78, 0xFF6FA8DC, false, 64);
  RECT title = {12, 0, kWidth - 12, 36};
  CRenderKit::DrawPlainText(dc, &host, title, _T("Umbra test card"), 0xFFFFFFFF, 0,
                            DT_SINGLELINE | DT_VCENTER);

  // Nine-grid buttons of three sizes from one 24 x 24 image: corners stay sharp.
  const RECT buttons[] = {{16, 52, 56, 76}, {68, 52, 188, 84}, {200, 52, 300, 112}};
  for (const RECT& rc : buttons) {
    CRenderKit::DrawDescriptor(dc, &host, rc, all, _T("file='button.png' corner='6,6,6,6'"));
  }
  RECT label = buttons[1];
  CRenderKit::DrawPlainText(dc, &host, label, _T("Login 登录"), 0xFFFFFFFF, 0,
                            DT_SINGLELINE | DT_CENTER | DT_VCENTER);

  // A rounded clip: a vertical gradient and a stroke that must not leak into the corners.
  RECT round = {320, 52, 464, 132};
  {
    CClipScope scope;
    CClipScope::ClipToRoundRect(dc, round, round, 24, 24, scope);
    CRenderKit::FillGradient(dc, round, 0xFFFFC04D, 0xFFD9480F, true, 64);
    RECT diagonal = round;
    CRenderKit::StrokeLine(dc, diagonal, 3, 0xFF000000);
  }
  CRenderKit::StrokeRoundRect(dc, round, 1, 24, 24, 0xFF7A2E00);

  // Alpha blending: overlapping translucent discs, a translucent fill and a faded disc.
  CRenderKit::DrawDescriptor(dc, &host, {16, 128, 80, 192}, all, _T("file='red.png'"));
  CRenderKit::DrawDescriptor(dc, &host, {48, 128, 112, 192}, all, _T("file='green.png'"));
  CRenderKit::DrawDescriptor(dc, &host, {32, 156, 96, 220}, all, _T("file='blue.png'"));
  CRenderKit::FillColor(dc, {128, 140, 208, 200}, 0x803050C0);
  CRenderKit::DrawDescriptor(dc, &host, {170, 128, 234, 192}, all, _T("file='red.png' fade='96'"));
  CRenderKit::StrokeRect(dc, {250, 140, 300, 200}, 2, 0xFF2F4F4F);

  // Markup text mixing Latin and Chinese, with a link, colour, bold and a wrap.
  RECT text = {16, 232, kWidth - 16, kHeight - 8};
  RECT links[4] = {};
  CUIString linkTexts[4];
  int linkCount = 4;
  CRenderKit::DrawMarkupText(
      dc, &host, text,
      _T("<b>Quorvel</b> 登录器 draws {c #C00000}coloured{/c} and <u>underlined</u> text with a "
         "<a https://quorvel.example/reg>注册 registration link</a> that wraps, 中文与 English 混排, "
         "until the line is full."),
      0xFF202020, links, linkTexts, linkCount, DT_WORDBREAK);
  for (int i = 0; i < linkCount; ++i) CRenderKit::StrokeRect(dc, links[i], 1, 0xFF9090FF);
}

std::string ScratchFolder() {
  char pattern[] = "/tmp/umbra-testcard-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made ? made : "";
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = argc > 1 ? argv[1] : "testcard.png";
  const std::string skin = ScratchFolder();
  if (skin.empty() || !ButtonImage().Write(skin + "/button.png") ||
      !DiscImage(220, 40, 40).Write(skin + "/red.png") ||
      !DiscImage(40, 180, 60).Write(skin + "/green.png") ||
      !DiscImage(40, 80, 220).Write(skin + "/blue.png")) {
    std::fprintf(stderr, "testcard: cannot write the card's images under /tmp\n");
    return 1;
  }
  std::vector<WCHAR> skinPath(skin.size() + 1);
  MultiByteToWideChar(CP_UTF8, 0, skin.c_str(), -1, skinPath.data(), static_cast<int>(skinPath.size()));
  CUIHost::SetSkinPath(skinPath.data());

  int status = 0;
  {
    Umbra::CDib32Canvas canvas(kWidth, kHeight);
    CUIHost host;
    host.SetDefaultFont(_T("DejaVu Sans"), 14, false, false, false);
    if (!canvas.IsValid()) {
      std::fprintf(stderr, "testcard: cannot make a %d x %d canvas\n", kWidth, kHeight);
      status = 1;
    } else {
      DrawCard(canvas.GetDC(), host);
      if (WritePng(canvas.GetBits(), out)) {
        std::printf("testcard: wrote %s (%d x %d)\n", out, kWidth, kHeight);
      } else {
        std::fprintf(stderr, "testcard: cannot write %s\n", out);
        status = 1;
      }
    }
  }
  for (const char* name : {"button.png", "red.png", "green.png", "blue.png"}) {
    std::remove((skin + "/" + name).c_str());
  }
  rmdir(skin.c_str());
  return status;
}
