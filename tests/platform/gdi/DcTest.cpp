// Device contexts: object selection, SaveDC/RestoreDC, origins, text state and capabilities.
#include <windows.h>

#include "GdiTestKit.h"

namespace {

using namespace gditest;

TEST(Dc, SelectObjectAnswersThePreviousObjectAndKeepsSelectedObjectsAlive) {
  Canvas canvas(2, 2);
  HDC dc = canvas.dc();
  HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(4, 5, 6));
  EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
  EXPECT_EQ(SelectObject(dc, pen), GetStockObject(BLACK_PEN));
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), brush);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), canvas.bitmap());
  // Selected objects cannot be deleted; once deselected they can.
  EXPECT_FALSE(DeleteObject(brush));
  EXPECT_FALSE(DeleteObject(canvas.bitmap()));
  EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_BRUSH)), brush);
  EXPECT_TRUE(DeleteObject(brush));
  EXPECT_EQ(GetObjectType(brush), 0u);
  // Deleting the DC releases what it held.
  HDC other = CreateCompatibleDC(nullptr);
  SelectObject(other, pen);
  SelectObject(dc, GetStockObject(BLACK_PEN));
  EXPECT_FALSE(DeleteObject(pen));
  EXPECT_TRUE(DeleteDC(other));
  EXPECT_TRUE(DeleteObject(pen));
  // Stock objects survive DeleteObject.
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
  EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
  EXPECT_EQ(GetObjectType(GetStockObject(DEFAULT_GUI_FONT)), static_cast<DWORD>(OBJ_FONT));
}

TEST(Dc, ABitmapSitsInOneMemoryDcAtATime) {
  Canvas canvas(2, 2);
  HDC other = CreateCompatibleDC(canvas.dc());
  EXPECT_EQ(GetObjectType(other), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_EQ(SelectObject(other, canvas.bitmap()), nullptr);
  HBITMAP spare = CreateCompatibleBitmap(canvas.dc(), 3, 3);
  HGDIOBJ first = SelectObject(other, spare);
  EXPECT_EQ(GetObjectType(first), static_cast<DWORD>(OBJ_BITMAP));  // the 1x1 default bitmap
  EXPECT_EQ(SelectObject(other, first), spare);
  EXPECT_TRUE(DeleteObject(spare));
  DeleteDC(other);
}

TEST(Dc, RestoreDcBringsBackEverySavedSetting) {
  Canvas canvas(8, 8);
  HDC dc = canvas.dc();
  HBRUSH brush = CreateSolidBrush(RGB(9, 9, 9));
  SetTextColor(dc, RGB(1, 1, 1));
  SetBkColor(dc, RGB(2, 2, 2));
  SetBkMode(dc, TRANSPARENT);
  SetWindowOrgEx(dc, 3, 4, nullptr);
  HRGN two = CreateRectRgn(0, 0, 2, 2);
  HRGN other = CreateRectRgn(4, 4, 6, 6);
  CombineRgn(two, two, other, RGN_OR);
  SelectClipRgn(dc, two);
  EXPECT_EQ(SaveDC(dc), 1);

  SelectObject(dc, brush);
  SetTextColor(dc, RGB(7, 7, 7));
  SetBkMode(dc, OPAQUE);
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SelectClipRgn(dc, nullptr);
  EXPECT_EQ(SaveDC(dc), 2);
  SetBkColor(dc, RGB(8, 8, 8));

  ASSERT_TRUE(RestoreDC(dc, -1));
  EXPECT_EQ(GetBkColor(dc), RGB(2, 2, 2));
  EXPECT_EQ(GetTextColor(dc), RGB(7, 7, 7));
  ASSERT_TRUE(RestoreDC(dc, 1));
  EXPECT_EQ(GetTextColor(dc), RGB(1, 1, 1));
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), GetStockObject(WHITE_BRUSH));
  POINT org{};
  GetWindowOrgEx(dc, &org);
  EXPECT_EQ(org.x, 3);
  EXPECT_EQ(org.y, 4);
  // The clip comes back exactly, not as its bounding box.
  HRGN clip = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetClipRgn(dc, clip), 1);
  EXPECT_TRUE(EqualRgn(clip, two));
  // Levels that no longer exist are refused.
  EXPECT_FALSE(RestoreDC(dc, -1));
  EXPECT_FALSE(RestoreDC(dc, 1));
  EXPECT_TRUE(DeleteObject(brush));  // no saved state holds it any more
  for (HRGN r : {two, other, clip}) DeleteObject(r);
}

TEST(Dc, OriginsMoveDrawingButNotTheClipRegion) {
  Canvas canvas(8, 8, kBlack);
  HDC dc = canvas.dc();
  SetWindowOrgEx(dc, 2, 2, nullptr);
  SetViewportOrgEx(dc, 1, 0, nullptr);
  OffsetViewportOrgEx(dc, 0, 1, nullptr);
  RECT r{2, 2, 3, 3};  // logical (2,2) is device (1,1)
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(canvas.At(1, 1), kWhite);
  // Clip regions are in device coordinates; GetClipBox answers in logical ones.
  HRGN clip = CreateRectRgn(0, 0, 4, 4);
  SelectClipRgn(dc, clip);
  RECT box{};
  EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
  EXPECT_EQ(box.left, 1);
  EXPECT_EQ(box.top, 1);
  EXPECT_EQ(box.right, 5);
  EXPECT_EQ(box.bottom, 5);
  DeleteObject(clip);
}

TEST(Dc, TextStateSettersAnswerThePreviousValue) {
  Canvas canvas(1, 1);
  HDC dc = canvas.dc();
  EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
  EXPECT_EQ(GetBkColor(dc), RGB(255, 255, 255));
  EXPECT_EQ(GetBkMode(dc), OPAQUE);
  EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
  EXPECT_EQ(SetBkColor(dc, RGB(4, 5, 6)), RGB(255, 255, 255));
  EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
  EXPECT_EQ(SetBkMode(dc, 7), 0);  // not a mode
  EXPECT_EQ(GetBkMode(dc), TRANSPARENT);
  EXPECT_EQ(SetStretchBltMode(dc, HALFTONE), BLACKONWHITE);
  EXPECT_EQ(GetStretchBltMode(dc), HALFTONE);
  EXPECT_EQ(GetCurrentObject(dc, OBJ_FONT), GetStockObject(SYSTEM_FONT));
}

TEST(Dc, DeviceCapsDescribeA96DpiTrueColourScreen) {
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSX), 96);
  EXPECT_EQ(GetDeviceCaps(screen, LOGPIXELSY), 96);
  EXPECT_EQ(GetDeviceCaps(screen, BITSPIXEL), 32);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), GetSystemMetrics(SM_CYSCREEN));
  ReleaseDC(nullptr, screen);
}

TEST(Dc, CallsOnInvalidHandlesFail) {
  HDC bogus = reinterpret_cast<HDC>(0x1234);
  RECT r{0, 0, 1, 1};
  EXPECT_EQ(SelectObject(bogus, GetStockObject(BLACK_PEN)), nullptr);
  EXPECT_EQ(SaveDC(bogus), 0);
  EXPECT_FALSE(DeleteDC(bogus));
  EXPECT_EQ(SetTextColor(bogus, 0), CLR_INVALID);
  EXPECT_FALSE(FillRect(bogus, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))));
  EXPECT_FALSE(BitBlt(bogus, 0, 0, 1, 1, bogus, 0, 0, SRCCOPY));
  EXPECT_EQ(GetClipBox(bogus, &r), ERROR);
  EXPECT_EQ(GetPixel(bogus, 0, 0), CLR_INVALID);
  Canvas canvas(1, 1);
  EXPECT_EQ(SelectObject(canvas.dc(), reinterpret_cast<HGDIOBJ>(0x1234)), nullptr);
  EXPECT_FALSE(FillRect(canvas.dc(), &r, reinterpret_cast<HBRUSH>(0x1234)));
}

}  // namespace
