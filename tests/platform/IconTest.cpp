// Icons from the resources embedded by ResourceTest.rclist: 107 holds a 16x16 32-bit image
// (0x80112233) and a 32x32 PNG (0xFF445566); 108 a 2x2 image whose AND mask gives the alpha;
// 109 a bare 3x2 PNG; 110 text that is no icon.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "user/icon.h"

namespace {

using umbra::user::IconImage;
using umbra::user::LookupIcon;

HINSTANCE Self() { return GetModuleHandleW(nullptr); }

TEST(Icon, LoadIconTakesTheLargestImageAndSharesIt) {
  HICON icon = LoadIconW(Self(), MAKEINTRESOURCEW(107));
  ASSERT_NE(icon, nullptr);
  const IconImage* image = LookupIcon(icon);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 32);
  EXPECT_EQ(image->height, 32);
  EXPECT_EQ(image->pixels, std::vector<uint32_t>(32 * 32, 0xFF445566u));
  // Icons from LoadIconW are shared: the same handle again, and destroying it frees nothing.
  EXPECT_EQ(LoadIconW(Self(), MAKEINTRESOURCEW(107)), icon);
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_NE(LookupIcon(icon), nullptr);
}

TEST(Icon, LoadImageTakesTheSmallestCoveringImageScaledToTheSize) {
  struct Case {
    int cx, cy;
    UINT flags;
    int width, height;
    uint32_t pixel;
  } cases[] = {
      {16, 16, 0, 16, 16, 0x80112233u},             // exact
      {8, 8, 0, 8, 8, 0x80112233u},                 // the 16x16 one, scaled down
      {24, 20, 0, 24, 20, 0xFF445566u},             // only the 32x32 one covers it
      {64, 64, 0, 64, 64, 0xFF445566u},             // none covers: the largest, scaled up
      {0, 0, LR_DEFAULTSIZE, 32, 32, 0xFF445566u},  // the standard icon size
      {0, 0, 0, 32, 32, 0xFF445566u},               // its own size
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy);
    HICON icon =
        static_cast<HICON>(LoadImageW(Self(), MAKEINTRESOURCEW(107), IMAGE_ICON, c.cx, c.cy, c.flags));
    ASSERT_NE(icon, nullptr);
    const IconImage* image = LookupIcon(icon);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->pixels, std::vector<uint32_t>(static_cast<size_t>(c.width) * c.height, c.pixel));
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_EQ(LookupIcon(icon), nullptr);  // not shared: gone
  }
}

TEST(Icon, DecodesMaskedBitmapsAndPngWithStraightAlpha) {
  struct Case {
    WORD id;
    int width, height;
    std::vector<uint32_t> pixels;
  } cases[] = {
      // Rows top to bottom although the file stores them bottom up; the mask clears the top right.
      {108, 2, 2, {0xFFFF0000u, 0x00000000u, 0xFF0000FFu, 0xFFFFFFFFu}},
      {109, 3, 2, {0x800A141Eu, 0xFFFF0000u, 0x0000FF00u, 0xFF0000FFu, 0x04010203u, 0x19C86432u}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    const IconImage* image = LookupIcon(LoadIconW(Self(), MAKEINTRESOURCEW(c.id)));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->pixels, c.pixels);
  }
}

TEST(Icon, LoadsFromAFile) {
  std::u16string path;
  for (char c : std::string(UMBRA_TEST_DATA_DIR "/platform/resources/mask.ico"))
    path += static_cast<char16_t>(c);
  HICON icon = static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
  ASSERT_NE(icon, nullptr);
  ASSERT_NE(LookupIcon(icon), nullptr);
  EXPECT_EQ(LookupIcon(icon)->pixels[3], 0xFFFFFFFFu);
  EXPECT_TRUE(DestroyIcon(icon));
}

TEST(Icon, RefusesWhatIsNoIcon) {
  struct Case {
    HINSTANCE instance;
    LPCWSTR name;
    DWORD error;
  } cases[] = {
      {Self(), MAKEINTRESOURCEW(110), ERROR_INVALID_DATA},              // text, not an icon
      {Self(), MAKEINTRESOURCEW(999), ERROR_RESOURCE_NAME_NOT_FOUND},   // no such resource
      {nullptr, MAKEINTRESOURCEW(107), ERROR_RESOURCE_NAME_NOT_FOUND},  // not a system icon
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(LOWORD(reinterpret_cast<ULONG_PTR>(c.name)));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LoadIconW(c.instance, c.name), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(LoadImageW(Self(), MAKEINTRESOURCEW(107), IMAGE_BITMAP, 0, 0, 0), nullptr);
  char foreign;
  EXPECT_FALSE(DestroyIcon(reinterpret_cast<HICON>(&foreign)));
  // The system's own icons exist.
  EXPECT_NE(LookupIcon(LoadIconW(nullptr, IDI_APPLICATION)), nullptr);
}

}  // namespace
