// Bitmaps: DIB sections in both row orders, compatible and plain bitmaps, their descriptions.
#include <windows.h>

#include <vector>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

TEST(Bitmap, DibSectionMemoryRowsFollowTheSignOfTheHeight) {
  for (bool topDown : {true, false}) {
    Canvas canvas(3, 2, 0, topDown);
    SetPixel(canvas.dc(), 0, 0, RGB(10, 20, 30));  // the top-left pixel
    const uint32_t* bits = canvas.bits();
    EXPECT_EQ(bits[topDown ? 0 : 3], 0xFF0A141Eu) << topDown;
    // And writing the memory shows in the DC.
    canvas.bits()[topDown ? 5 : 2] = 0xFF010203u;  // the right end of the bottom row
    EXPECT_EQ(GetPixel(canvas.dc(), 2, 1), RGB(1, 2, 3)) << topDown;
  }
}

TEST(Bitmap, GetObjectDescribesBitmapsAndDibSections) {
  void* bits = nullptr;
  HBITMAP dib = MakeDib(5, 3, false, &bits);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(dib, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidth, 5);
  EXPECT_EQ(bm.bmHeight, 3);
  EXPECT_EQ(bm.bmWidthBytes, 20);
  EXPECT_EQ(bm.bmBitsPixel, 32);
  EXPECT_EQ(bm.bmBits, bits);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(dib, sizeof(ds), &ds), static_cast<int>(sizeof(DIBSECTION)));
  EXPECT_EQ(ds.dsBmih.biHeight, 3);
  EXPECT_EQ(ds.dsBmih.biSizeImage, 60u);
  EXPECT_EQ(GetObjectW(dib, 4, &bm), 0);  // too small

  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP ddb = CreateCompatibleBitmap(dc, 4, 2);
  ASSERT_EQ(GetObjectW(ddb, sizeof(ds), &ds), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);  // per-pixel alpha, whatever the DC
  EXPECT_EQ(ds.dsBm.bmBits, nullptr);
  // An empty size gives the 1x1 default bitmap.
  HBITMAP empty = CreateCompatibleBitmap(dc, 0, 5);
  ASSERT_EQ(GetObjectW(empty, sizeof(bm), &bm), static_cast<int>(sizeof(BITMAP)));
  EXPECT_EQ(bm.bmWidth, 1);
  for (HBITMAP b : {dib, ddb, empty}) DeleteObject(b);
  DeleteDC(dc);
}

TEST(Bitmap, UnsupportedOrUnaddressableDibsAreRefused) {
  struct Case {
    const char* what;
    LONG width, height;
    WORD bits;
    DWORD compression;
  };
  const Case cases[] = {
      {"24 bits", 4, 4, 24, BI_RGB},         {"bit fields", 4, 4, 32, BI_BITFIELDS},
      {"no width", 0, 4, 32, BI_RGB},        {"no height", 4, 0, 32, BI_RGB},
      {"negative width", -4, 4, 32, BI_RGB}, {"too large", 100000, -100000, 32, BI_RGB},
  };
  for (const Case& c : cases) {
    BITMAPINFO bmi{};
    bmi.bmiHeader = BITMAPINFOHEADER{
        sizeof(BITMAPINFOHEADER), c.width, c.height, 1, c.bits, c.compression, 0, 0, 0, 0, 0};
    void* bits = reinterpret_cast<void*>(1);
    EXPECT_EQ(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr) << c.what;
    EXPECT_EQ(bits, nullptr) << c.what;
  }
  EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(CreateBitmap(2, 2, 1, 8, nullptr), nullptr);
}

TEST(Bitmap, CreateBitmapCopiesAndGetDibitsReadsInEitherRowOrder) {
  const uint32_t pixels[] = {1, 2, 3, 4, 5, 6};  // 2 wide, 3 high, top row first
  HBITMAP bitmap = CreateBitmap(2, 3, 1, 32, pixels);
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  ASSERT_TRUE(GetDIBits(dc, bitmap, 0, 0, nullptr, &bmi, DIB_RGB_COLORS));
  EXPECT_EQ(bmi.bmiHeader.biWidth, 2);
  EXPECT_EQ(bmi.bmiHeader.biHeight, 3);
  EXPECT_EQ(bmi.bmiHeader.biBitCount, 32);
  std::vector<uint32_t> out(6);
  ASSERT_EQ(GetDIBits(dc, bitmap, 0, 3, out.data(), &bmi, DIB_RGB_COLORS), 3);
  EXPECT_EQ(out, (std::vector<uint32_t>{5, 6, 3, 4, 1, 2}));  // bottom-up
  bmi.bmiHeader.biHeight = -3;
  ASSERT_EQ(GetDIBits(dc, bitmap, 1, 5, out.data(), &bmi, DIB_RGB_COLORS), 2);
  EXPECT_EQ(out[0], 3u);
  EXPECT_EQ(out[2], 5u);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace
