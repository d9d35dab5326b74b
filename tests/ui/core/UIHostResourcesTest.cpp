#include <gtest/gtest.h>
#include <tchar.h>

#include <cstdint>
#include <string>

#include "tests/platform/TempDir.h"
#include "ui/core/UIHost.h"
#include "ui/render/ImageEntry.h"

namespace {

using Umbra::CUIHost;
using Umbra::UIFontEntry;
using Umbra::UIImageEntry;

// A 24-bit BMP of width x height pixels of one colour: the smallest image file to write by hand.
std::string SolidBmp(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  const int stride = (width * 3 + 3) & ~3;
  const uint32_t imageSize = static_cast<uint32_t>(stride * height);
  std::string out;
  auto u16 = [&](uint32_t v) { out += char(v & 0xFF), out += char((v >> 8) & 0xFF); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  out += "BM";
  u32(54 + imageSize), u32(0), u32(54);
  u32(40), u32(width), u32(height), u16(1), u16(24), u32(0), u32(imageSize), u32(2835), u32(2835), u32(0),
      u32(0);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) out += char(b), out += char(g), out += char(r);
    out.append(static_cast<size_t>(stride - width * 3), '\0');
  }
  return out;
}

TEST(UIHostResources, ColoursComeFromTheOutermostHostOfTheChain) {
  CUIHost a, b, c;
  a.SetDefaultTextColor(0xFF111111);
  c.SetDefaultTextColor(0xFF333333);
  EXPECT_EQ(a.GetDefaultTextColor(), 0xFF111111u);  // no parent: its own value
  ASSERT_TRUE(a.SetResourceParent(&b));
  ASSERT_TRUE(b.SetResourceParent(&c));
  EXPECT_EQ(a.GetDefaultTextColor(), 0xFF333333u);
  EXPECT_EQ(a.GetLinkHoverColor(), 0xFFD3215Fu);  // C's default
  EXPECT_FALSE(c.SetResourceParent(&a));          // would close a cycle
  EXPECT_FALSE(a.SetResourceParent(&a));
  EXPECT_EQ(c.GetResourceParent(), nullptr);
  EXPECT_TRUE(a.SetResourceParent(nullptr));
  EXPECT_EQ(a.GetDefaultTextColor(), 0xFF111111u);
}

TEST(UIHostResources, FontsAreIndexedLookedUpThroughParentsAndMeasuredWithoutAWindow) {
  CUIHost parent, host;
  ASSERT_TRUE(host.SetResourceParent(&parent));
  HFONT bold = parent.AddFont(_T("DejaVu Sans"), 14, true, false, false);
  HFONT plain = host.AddFont(_T("DejaVu Sans"), 12, false, false, false);
  ASSERT_TRUE(bold && plain);

  EXPECT_EQ(host.GetFont(0), plain);
  EXPECT_EQ(host.GetFont(5), parent.GetFont(-1));  // outside: the outermost default font
  EXPECT_EQ(host.LookupFont(_T("DejaVu Sans"), 14, true, false, false), bold);
  EXPECT_EQ(host.LookupFont(_T("dejavu sans"), 14, true, false, false), nullptr);
  EXPECT_EQ(host.LookupFont(_T("DejaVu Sans"), 14, true, true, false), nullptr);

  UIFontEntry* info = host.GetFontInfo(bold);
  ASSERT_EQ(info->font, bold);
  EXPECT_TRUE(info->bold);
  EXPECT_GT(info->metrics.tmHeight, 10);
  EXPECT_GE(info->metrics.tmWeight, FW_BOLD);

  UIFontEntry* fallback = host.GetFontInfo(reinterpret_cast<HFONT>(0x1234));
  EXPECT_EQ(fallback, parent.GetFontInfo(-1));
  EXPECT_EQ(fallback->size, 11);  // DEFAULT_GUI_FONT's height
  EXPECT_GT(fallback->metrics.tmHeight, 0);

  parent.SetDefaultFont(_T("DejaVu Sans"), 20, false, true, false);
  EXPECT_EQ(host.GetFontInfo(99)->size, 20);
  EXPECT_TRUE(host.GetFontInfo(99)->underline);
  host.ClearFonts();
  EXPECT_EQ(host.GetFontCount(), 0);
}

TEST(UIHostResources, ImagesLoadOnceAndKeepTheFirstEntryForAName) {
  TempDir dir;
  TempDir::Put(dir / "red.bmp", SolidBmp(3, 2, 255, 0, 0));
  const std::u16string path = dir.Win("red.bmp");
  CUIHost parent, host;
  ASSERT_TRUE(host.SetResourceParent(&parent));

  EXPECT_EQ(host.AddImage(_T("abc"), _T("PNG")), nullptr);  // a type needs a numeric name
  EXPECT_EQ(host.GetOrLoadImage(_T("missing.png")), nullptr);

  UIImageEntry* first = host.GetOrLoadImage(path.c_str(), nullptr, 0xFFFF0000);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->width, 3);
  EXPECT_EQ(first->height, 2);
  EXPECT_EQ(first->maskColor, 0xFFFF0000u);
  EXPECT_TRUE(first->hasAlpha);  // every pixel matched the mask
  EXPECT_EQ(host.GetOrLoadImage(path.c_str(), nullptr, 0), first);
  EXPECT_EQ(host.AddImage(path.c_str()), nullptr);  // duplicate: the first stays
  EXPECT_EQ(host.GetImage(path.c_str()), first);

  UIImageEntry* inParent = parent.AddImage(_T("shared"), nullptr, 0);
  EXPECT_EQ(inParent, nullptr);  // "shared" is no file
  ASSERT_NE(parent.GetOrLoadImage(path.c_str()), nullptr);
  EXPECT_NE(parent.GetImage(path.c_str()), first);  // each host decodes its own copy

  host.ClearImages();
  EXPECT_EQ(host.GetImage(path.c_str()), parent.GetImage(path.c_str()));
}

TEST(UIHostResources, ClassDefaultsKeepTheFirstListAndComeFromParents) {
  CUIHost parent, host;
  ASSERT_TRUE(host.SetResourceParent(&parent));
  parent.AddClassDefaults(_T("Button"), _T("height=\"30\""));
  parent.AddClassDefaults(_T("Button"), _T("height=\"40\""));
  EXPECT_EQ(std::u16string(host.GetClassDefaults(_T("Button"))), u"height=\"30\"");
  EXPECT_EQ(host.GetClassDefaults(_T("Edit")), nullptr);
  host.AddClassDefaults(_T("Button"), _T("width=\"9\""));
  EXPECT_EQ(std::u16string(host.GetClassDefaults(_T("Button"))), u"width=\"9\"");
  host.ClearClassDefaults();
  EXPECT_EQ(std::u16string(host.GetClassDefaults(_T("Button"))), u"height=\"30\"");
}

TEST(UIHostResources, AttachedHostsAreLiveUntilDestroyed) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = _T("UIHostResourcesTest");
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, _T(""), WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, nullptr,
                              nullptr);
  ASSERT_NE(hwnd, nullptr);
  const int before = CUIHost::GetLiveHostCount();
  {
    CUIHost host;
    host.AttachWindow(hwnd);
    EXPECT_EQ(host.GetWindowHandle(), hwnd);
    EXPECT_NE(host.GetHostDC(), nullptr);
    ASSERT_EQ(CUIHost::GetLiveHostCount(), before + 1);
    EXPECT_EQ(CUIHost::GetLiveHost(before), &host);
    EXPECT_EQ(host.GetLastMousePoint().x, -1);
    HFONT font = host.AddFont(_T("DejaVu Sans"), 12, false, false, true);
    EXPECT_GT(host.GetFontInfo(font)->metrics.tmHeight, 0);
  }
  EXPECT_EQ(CUIHost::GetLiveHostCount(), before);
  DestroyWindow(hwnd);
}

}  // namespace
