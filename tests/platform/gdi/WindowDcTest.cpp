// Window DCs: drawing lands in the window's surface at its client origin, within what is
// visible, and the DC's own clip and origin apply on top.
#include <windows.h>

#include <cstdlib>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

class WindowDc : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("UMBRA_DISPLAY", "headless", 1);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = TEXT("GdiWindowDcTest");
    RegisterClassW(&wc);
    m_hwnd = CreateWindowExW(0, TEXT("GdiWindowDcTest"), TEXT(""), WS_POPUP | WS_VISIBLE, 30, 40, 12, 10,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(m_hwnd, nullptr);
  }
  void TearDown() override { DestroyWindow(m_hwnd); }
  HWND m_hwnd = nullptr;
};

TEST_F(WindowDc, DrawsIntoTheWindowWithinItsClipAndReadsBack) {
  HDC dc = GetDC(m_hwnd);
  ASSERT_NE(dc, nullptr);
  RECT all{0, 0, 12, 10};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RECT box{};
  EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
  EXPECT_TRUE(EqualRect(&box, &all));
  // A rounded clip keeps the corners of what was there before.
  HRGN round = CreateRoundRectRgn(0, 0, 13, 11, 6, 6);
  SelectClipRgn(dc, round);
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SelectClipRgn(dc, nullptr);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dc, 11, 9), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dc, 6, 5), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 12, 5), CLR_INVALID);  // outside the client area

  // The window's pixels can be copied out, as a background snapshot.
  Canvas copy(12, 10);
  ASSERT_TRUE(BitBlt(copy.dc(), 0, 0, 12, 10, dc, 0, 0, SRCCOPY));
  EXPECT_EQ(copy.At(0, 0), kBlack);
  EXPECT_EQ(copy.At(6, 5), kWhite);
  // A window origin shifts drawing only.
  SetWindowOrgEx(dc, 2, 2, nullptr);
  SetPixel(dc, 2, 2, RGB(255, 0, 0));
  SetWindowOrgEx(dc, 0, 0, nullptr);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  DeleteObject(round);
  ReleaseDC(m_hwnd, dc);
}

TEST(WindowDcErase, ClassBackgroundIsABrushOrASystemColourIndex) {
  setenv("UMBRA_DISPLAY", "headless", 1);
  HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
  const struct {
    const char16_t* className;
    HBRUSH background;
    COLORREF expected;
  } cases[] = {
      {u"GdiEraseSolidBrush", green, RGB(0, 128, 0)},
      {u"GdiEraseSystemColour", reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1)),
       GetSysColor(COLOR_WINDOW)},
  };
  for (const auto& c : cases) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = c.className;
    wc.hbrBackground = c.background;
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, c.className, TEXT(""), WS_POPUP | WS_VISIBLE, 0, 0, 8, 6, nullptr, nullptr,
                                nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    UpdateWindow(hwnd);
    HDC dc = GetDC(hwnd);
    EXPECT_EQ(GetPixel(dc, 0, 0), c.expected);
    EXPECT_EQ(GetPixel(dc, 7, 5), c.expected);
    ReleaseDC(hwnd, dc);
    DestroyWindow(hwnd);
  }
  DeleteObject(green);
}

}  // namespace
