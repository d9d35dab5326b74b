// The headless display: composition of windows, regions and layered alpha into the screen,
// captures and PNG files, and the monitor the window manager reports.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "UserTestKit.h"
#include "display/display.h"
#include "gdi/dc.h"

using namespace usertest;
using umbra::display::Image;

namespace {

constexpr uint32_t kBlack = 0xFF000000;  // the empty desktop
constexpr uint32_t kWhite = 0xFFFFFFFF;  // COLOR_WINDOW
constexpr uint32_t kBlue = 0xFF0078D7;   // COLOR_HIGHLIGHT

bool RectIs(const RECT& r, const RECT& expected) { return EqualRect(&r, &expected); }

HBRUSH SysBrush(int colour) { return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour + 1)); }

class DisplayTest : public UserTest {
 protected:
  HWND Painted(int colour, RECT r, DWORD exStyle = 0, DWORD style = WS_POPUP | WS_VISIBLE) {
    HWND w = TopLevel(RecordedClass(0, SysBrush(colour)), style, r, exStyle);
    Pump();  // WM_PAINT erases with the class brush
    return w;
  }

  static Image Screen() {
    Image image;
    EXPECT_TRUE(umbra::display::CaptureScreen(image));
    return image;
  }
};

::testing::AssertionResult Near(uint32_t actual, uint32_t expected) {
  for (int shift = 0; shift < 32; shift += 8) {
    int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    if (std::abs(a - e) > 1)
      return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not near 0x" << expected;
  }
  return ::testing::AssertionSuccess();
}

// A DC over pixels the test owns, as a memory DC with a DIB section will be.
class BufferDC final : public umbra::gdi::DeviceContext {
 public:
  BufferDC(int width, int height) : m_width(width), m_height(height), m_pixels(width * height, 0) {}
  uint32_t& At(int x, int y) { return m_pixels[y * m_width + x]; }
  bool Target(umbra::gdi::DrawTarget& out) override {
    out.surface =
        umbra::gdi::PixelSurface{reinterpret_cast<uint8_t*>(m_pixels.data()), m_width, m_height, m_width * 4};
    out.origin = POINT{0, 0};
    out.clip = umbra::gdi::PixRegion(RECT{0, 0, m_width, m_height});
    return true;
  }

 private:
  int m_width, m_height;
  std::vector<uint32_t> m_pixels;
};

TEST_F(DisplayTest, TheScreenIsFullHdWithATaskbarBelowTheWorkArea) {
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  HMONITOR monitor = MonitorFromPoint(POINT{5, 5}, MONITOR_DEFAULTTONULL);
  ASSERT_TRUE(GetMonitorInfoW(monitor, &mi));
  EXPECT_TRUE(RectIs(mi.rcMonitor, RECT{0, 0, 1920, 1080}));
  EXPECT_TRUE(RectIs(mi.rcWork, RECT{0, 0, 1920, 1040}));
  EXPECT_EQ(mi.dwFlags, static_cast<DWORD>(MONITORINFOF_PRIMARY));
  RECT work;
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
  EXPECT_TRUE(EqualRect(&work, &mi.rcWork));
  EXPECT_EQ(MonitorFromPoint(POINT{5000, 5}, MONITOR_DEFAULTTONULL), nullptr);
  EXPECT_EQ(MonitorFromPoint(POINT{5000, 5}, MONITOR_DEFAULTTONEAREST), monitor);
  EXPECT_EQ(MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY), monitor);  // before any window exists
  mi.cbSize = 8;
  EXPECT_FALSE(GetMonitorInfoW(monitor, &mi));
}

TEST_F(DisplayTest, ScreenSizesAreReadOnlyFromWidthByHeight) {
  struct Case {
    const char* text;
    LONG cx, cy;  // 0: refused
  };
  const Case cases[] = {{"800x600", 800, 600}, {"1X2", 1, 2},      {"16384x16384", 16384, 16384},
                        {"0x600", 0, 0},       {"800x", 0, 0},     {"x600", 0, 0},
                        {"800x600x", 0, 0},    {"-1x5", 0, 0},     {"16385x10", 0, 0},
                        {" 800x600", 0, 0},    {"800x 600", 0, 0}, {"", 0, 0}};
  for (const Case& c : cases) {
    std::optional<SIZE> size = umbra::display::ParseScreenSize(c.text);
    EXPECT_EQ(size.has_value(), c.cx != 0) << c.text;
    if (size) {
      EXPECT_EQ(size->cx, c.cx) << c.text;
      EXPECT_EQ(size->cy, c.cy) << c.text;
    }
  }
}

TEST_F(DisplayTest, LayeredAlphaBlendsOverWhatLiesBelow) {
  Painted(COLOR_HIGHLIGHT, {100, 100, 200, 200});
  HWND top = Painted(COLOR_WINDOW, {150, 150, 250, 250}, WS_EX_LAYERED);
  EXPECT_EQ(Screen().At(175, 175), kBlue);  // layered without attributes yet: not shown
  ASSERT_TRUE(SetLayeredWindowAttributes(top, 0, 128, LWA_ALPHA));
  Image screen = Screen();
  EXPECT_EQ(screen.At(120, 120), kBlue);
  EXPECT_TRUE(Near(screen.At(175, 175), 0xFF80BCEB));  // half white over blue
  EXPECT_TRUE(Near(screen.At(225, 225), 0xFF808080));  // half white over the black desktop
  EXPECT_EQ(screen.At(50, 50), kBlack);
  // Without WS_EX_LAYERED the attributes are refused.
  HWND plain = Painted(COLOR_WINDOW, {0, 0, 10, 10});
  EXPECT_FALSE(SetLayeredWindowAttributes(plain, 0, 100, LWA_ALPHA));
}

TEST_F(DisplayTest, ColourKeyAndWindowRegionLetTheScreenShowThrough) {
  Painted(COLOR_HIGHLIGHT, {100, 100, 200, 200});
  HWND keyed = Painted(COLOR_WINDOW, {100, 100, 200, 200}, WS_EX_LAYERED);
  SetLayeredWindowAttributes(keyed, RGB(255, 255, 255), 0, LWA_COLORKEY);
  EXPECT_EQ(Screen().At(150, 150), kBlue);
  DestroyWindow(keyed);

  HWND shaped = Painted(COLOR_WINDOW, {300, 100, 400, 200});
  HRGN region = CreateRectRgn(10, 10, 50, 50);
  ASSERT_TRUE(SetWindowRgn(shaped, region, TRUE));
  EXPECT_EQ(GetObjectType(region), 0u);  // the system took the region over
  Image screen = Screen();
  EXPECT_EQ(screen.At(310, 110), kWhite);
  EXPECT_EQ(screen.At(349, 149), kWhite);
  EXPECT_EQ(screen.At(350, 150), kBlack);  // right and bottom edges lie outside
  EXPECT_EQ(screen.At(305, 105), kBlack);
  EXPECT_EQ(WindowFromPoint(POINT{320, 120}), shaped);  // the region also shapes hit testing
  EXPECT_EQ(WindowFromPoint(POINT{305, 105}), nullptr);
  Image look;
  ASSERT_TRUE(umbra::display::CaptureWindow(shaped, look));
  EXPECT_EQ(look.At(5, 5), 0u);  // outside the region a capture is transparent
  EXPECT_EQ(look.At(20, 20), kWhite);
  HRGN copy = CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(GetWindowRgn(shaped, copy), SIMPLEREGION);
  RECT box;
  GetRgnBox(copy, &box);
  EXPECT_TRUE(RectIs(box, RECT{10, 10, 50, 50}));
  DeleteObject(copy);
}

TEST_F(DisplayTest, UpdateLayeredWindowShowsPremultipliedPixelsAndIsClickThroughWhereClear) {
  HWND below = Painted(COLOR_HIGHLIGHT, {100, 100, 104, 104});
  HWND w = TopLevel(RecordedClass(), WS_POPUP | WS_VISIBLE, {0, 0, 1, 1}, WS_EX_LAYERED);
  auto dc = std::make_unique<BufferDC>(4, 4);
  BufferDC* pixels = dc.get();
  HDC hdc = static_cast<HDC>(umbra::gdi::RegisterObject(std::move(dc)));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) pixels->At(x, y) = 0x80800000;  // half-transparent red, premultiplied
  pixels->At(3, 3) = 0;                                         // fully clear
  POINT at{100, 100}, from{0, 0};
  SIZE size{4, 4};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ASSERT_TRUE(UpdateLayeredWindow(w, nullptr, &at, &size, hdc, &from, 0, &blend, ULW_ALPHA));
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_TRUE(RectIs(r, RECT{100, 100, 104, 104}));
  Image screen = Screen();
  EXPECT_TRUE(Near(screen.At(100, 100), 0xFF803C6B));  // red over blue, half each
  EXPECT_EQ(screen.At(103, 103), kBlue);
  EXPECT_EQ(WindowFromPoint(POINT{100, 100}), w);
  EXPECT_EQ(WindowFromPoint(POINT{103, 103}), below);

  blend.SourceConstantAlpha = 128;  // a fade scales every channel
  ASSERT_TRUE(UpdateLayeredWindow(w, nullptr, nullptr, nullptr, hdc, &from, 0, &blend, ULW_ALPHA));
  EXPECT_TRUE(Near(Screen().At(101, 101), 0xFF405AA1));
  // Once content came this way, constant attributes cannot be mixed in, and vice versa.
  EXPECT_TRUE(SetLayeredWindowAttributes(w, 0, 255, LWA_ALPHA));
  EXPECT_FALSE(UpdateLayeredWindow(w, nullptr, nullptr, nullptr, hdc, &from, 0, &blend, ULW_ALPHA));
  umbra::gdi::ReleaseObject(hdc);
}

TEST_F(DisplayTest, ChildWindowsAreComposedIntoTheirTopLevelWindow) {
  HWND parent = Painted(COLOR_WINDOW, {100, 100, 200, 200}, 0, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN);
  HWND child = CreateWindowExW(0, RecordedClass(0, SysBrush(COLOR_HIGHLIGHT)), nullptr, WS_CHILD | WS_VISIBLE,
                               10, 20, 30, 30, parent, nullptr, nullptr, nullptr);
  ASSERT_TRUE(child);
  Pump();
  Image screen = Screen();
  EXPECT_EQ(screen.At(105, 105), kWhite);
  EXPECT_EQ(screen.At(110, 120), kBlue);
  EXPECT_EQ(screen.At(139, 149), kBlue);
  EXPECT_EQ(screen.At(140, 150), kWhite);
  // Moving the child repaints the parent where it was.
  MoveWindow(child, 50, 50, 30, 30, TRUE);
  Pump();
  screen = Screen();
  EXPECT_EQ(screen.At(110, 120), kWhite);
  EXPECT_EQ(screen.At(155, 155), kBlue);
  // Hidden windows leave the screen.
  ShowWindow(parent, SW_HIDE);
  EXPECT_EQ(Screen().At(155, 155), kBlack);
}

TEST_F(DisplayTest, TheCaretInvertsItsRectangleWhileShown) {
  HWND w = Painted(COLOR_WINDOW, {100, 100, 200, 200});
  ASSERT_TRUE(CreateCaret(w, nullptr, 2, 10));
  SetCaretPos(20, 30);
  EXPECT_EQ(Screen().At(120, 130), kWhite);  // a new caret is hidden
  ShowCaret(w);
  Image screen = Screen();
  EXPECT_EQ(screen.At(120, 130), kBlack);
  EXPECT_EQ(screen.At(121, 139), kBlack);
  EXPECT_EQ(screen.At(122, 130), kWhite);
  SetCaretPos(50, 30);
  screen = Screen();
  EXPECT_EQ(screen.At(120, 130), kWhite);
  EXPECT_EQ(screen.At(150, 130), kBlack);
  POINT pos;
  ASSERT_TRUE(GetCaretPos(&pos));
  EXPECT_EQ(pos.x, 50);
  HideCaret(w);
  EXPECT_EQ(Screen().At(150, 130), kWhite);
  // Painting with the caret shown leaves no trace of it behind.
  ShowCaret(w);
  InvalidateRect(w, nullptr, TRUE);
  UpdateWindow(w);
  HideCaret(w);
  EXPECT_EQ(Screen().At(150, 130), kWhite);
  DestroyCaret();
  EXPECT_FALSE(GetCaretPos(&pos));
}

TEST_F(DisplayTest, ScreenAndWindowSaveAsPng) {
  HWND w = Painted(COLOR_HIGHLIGHT, {0, 0, 20, 10});
  auto dir = std::filesystem::temp_directory_path() / ("umbra-png-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  Image screen, window;
  ASSERT_TRUE(umbra::display::CaptureScreen(screen));
  ASSERT_TRUE(umbra::display::CaptureWindow(w, window));
  EXPECT_EQ(window.width, 20);
  EXPECT_EQ(window.height, 10);
  for (auto [image, name] : {std::pair{&screen, "screen.png"}, std::pair{&window, "window.png"}}) {
    auto path = dir / name;
    ASSERT_TRUE(umbra::display::SavePng(*image, path.c_str()));
    std::ifstream in(path, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
  }
  EXPECT_FALSE(umbra::display::SavePng(window, (dir / "missing" / "x.png").c_str()));
  std::filesystem::remove_all(dir);
}

}  // namespace
