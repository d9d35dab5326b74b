// Reads arbitrary bytes as markup text: the first two bytes give the style bits, the rest is
// UTF-16. The text is drawn on a small canvas with link arrays of capacity 3, drawn again with
// the mouse over the first link found, and measured. One small image, "o.tga" (two frames with
// alpha), waits in the skin folder so that image tags reach BlitImage; any other name is a
// missing image.
#include <stdlib.h>
#include <tchar.h>
#include <unistd.h>
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "ui/core/UIHost.h"
#include "ui/render/Dib32.h"
#include "ui/render/RenderKit.h"

using namespace Umbra;

namespace {

constexpr int kCanvasWidth = 64;
constexpr int kCanvasHeight = 48;
constexpr int kLinks = 3;
constexpr size_t kMaxUnits = 4096;
constexpr UINT kHonoured =
    DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_WORDBREAK | DT_SINGLELINE | DT_END_ELLIPSIS;

// An uncompressed 32-bit TGA of two 4x4 frames side by side, the second half transparent.
std::string TwoFrameTga() {
  std::string bytes(18, '\0');
  bytes[2] = 2;  // true colour
  bytes[12] = 8;
  bytes[14] = 4;
  bytes[16] = 32;
  bytes[17] = 0x28;  // 8 alpha bits, top-left origin
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x)
      bytes += x < 4 ? std::string("\x10\x80\xF0\xFF", 4) : std::string("\0\0\0\x40", 4);
  }
  return bytes;
}

char g_folder[] = "/tmp/umbra-markuptext-fuzz-XXXXXX";

void RemoveFolder() {
  unlink((std::string(g_folder) + "/o.tga").c_str());
  rmdir(g_folder);
}

// The image goes into a fresh folder made the skin folder, where image names are looked up.
void PutImage() {
  if (!mkdtemp(g_folder)) return;
  atexit(RemoveFolder);
  if (FILE* file = fopen((std::string(g_folder) + "/o.tga").c_str(), "wb")) {
    const std::string tga = TwoFrameTga();
    fwrite(tga.data(), 1, tga.size(), file);
    fclose(file);
  }
  const std::string folder = std::string(g_folder) + "/";
  CUIHost::SetSkinPath(std::u16string(folder.begin(), folder.end()).c_str());
}

HDC MakeCanvas() {
  PutImage();
  static Umbra::CDib32Canvas* canvas = new Umbra::CDib32Canvas(kCanvasWidth, kCanvasHeight);
  return canvas->GetDC();
}

int Draw(HDC dc, CUIHost& host, const std::u16string& text, RECT* rects, CUIString* texts, UINT style) {
  RECT rc = {2, 2, kCanvasWidth - 2, kCanvasHeight - 2};
  int count = kLinks;
  CRenderKit::DrawMarkupText(dc, &host, rc, text.c_str(), 0xFF204060, rects, texts, count, style);
  if (count < 0 || count > kLinks) abort();
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HDC dc = MakeCanvas();
  if (size < 2) return 0;
  const UINT style = (data[0] | static_cast<UINT>(data[1]) << 8) & kHonoured;
  std::u16string text;
  for (size_t i = 2; i + 1 < size && text.size() < kMaxUnits; i += 2) {
    text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  }

  CUIHost host;
  host.SetDefaultFont(_T("DejaVu Sans"), 12, false, false, false);
  host.AddFont(_T("WenQuanYi Micro Hei"), 14, true, false, false);
  RECT rects[kLinks] = {};
  CUIString texts[kLinks];
  if (Draw(dc, host, text, rects, texts, style) > 0) {
    const long long x = (static_cast<long long>(rects[0].left) + rects[0].right) / 2;
    const long long y = (static_cast<long long>(rects[0].top) + rects[0].bottom) / 2;
    host.SetLastMousePoint({static_cast<LONG>(x), static_cast<LONG>(y)});
    Draw(dc, host, text, rects, texts, style);
  }

  RECT measured = {0, 0, kCanvasWidth, kCanvasHeight};
  int count = kLinks - 1;
  CRenderKit::DrawMarkupText(dc, &host, measured, text.c_str(), 0xFF000000, rects, texts, count,
                             style | DT_CALCRECT);
  if (count < 0 || count > kLinks - 1 || measured.right > kCanvasWidth) abort();
  return 0;
}
