// DefWindowProcW's defaults: hit testing by style, closing, caption double clicks, text and
// icons.
#include <gtest/gtest.h>
#include <windows.h>

#include "UserTestKit.h"

using namespace usertest;

namespace {

class DefWindowTest : public UserTest {};

TEST_F(DefWindowTest, HitTestAnswersByTheWindowStyles) {
  struct Case {
    const char* name;
    DWORD style;
    POINT pt;  // relative to the window's top-left corner; the window is 400x300
    LRESULT hit;
  };
  constexpr DWORD kSizing = WS_OVERLAPPEDWINDOW;
  constexpr DWORD kDialog = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  const Case cases[] = {
      {"client", kSizing, {200, 150}, HTCLIENT},
      {"caption", kSizing, {200, 15}, HTCAPTION},
      {"left edge", kSizing, {2, 150}, HTLEFT},
      {"right edge", kSizing, {398, 150}, HTRIGHT},
      {"top edge", kSizing, {200, 1}, HTTOP},
      {"bottom edge", kSizing, {200, 298}, HTBOTTOM},
      {"top-left corner", kSizing, {1, 1}, HTTOPLEFT},
      {"top-right corner", kSizing, {398, 10}, HTTOPRIGHT},
      {"bottom-left corner", kSizing, {10, 299}, HTBOTTOMLEFT},
      {"bottom-right corner", kSizing, {399, 299}, HTBOTTOMRIGHT},
      {"outside", kSizing, {-5, 10}, HTNOWHERE},
      {"fixed frame edge", kDialog, {2, 150}, HTBORDER},
      {"fixed frame caption", kDialog, {200, 15}, HTCAPTION},
      {"thin border", WS_POPUP | WS_BORDER, {0, 150}, HTBORDER},
      {"frameless popup", WS_POPUP, {0, 0}, HTCLIENT},
  };
  for (const Case& c : cases) {
    HWND w = TopLevel(RecordedClass(), c.style, {100, 100, 500, 400});
    LRESULT hit = SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(100 + c.pt.x, 100 + c.pt.y));
    EXPECT_EQ(hit, c.hit) << c.name;
    DestroyWindow(w);
  }
}

TEST_F(DefWindowTest, ScCloseSendsWmCloseWhichDestroysUnlessHandled) {
  HWND w = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW, {0, 0, 200, 200});
  Recorder::Get().Clear();
  SendMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(MatchesOrder(
      Recorder::Get().Log(), {w},
      {SentW(0, WM_SYSCOMMAND, SC_CLOSE), Sent(0, WM_CLOSE), Sent(0, WM_DESTROY), Sent(0, WM_NCDESTROY)}));
  EXPECT_FALSE(IsWindow(w));

  HWND kept = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW, {0, 0, 200, 200});
  Recorder::Get().answer = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    return m == WM_CLOSE ? std::optional<LRESULT>(0) : std::nullopt;
  };
  SendMessageW(kept, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(IsWindow(kept));
}

TEST_F(DefWindowTest, DoubleClickOnTheCaptionMaximisesAndRestores) {
  HWND w = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, {100, 100, 500, 400});
  Pump();
  auto doubleClickCaption = [&] {
    RECT r;
    GetWindowRect(w, &r);
    int x = (r.left + r.right) / 2, y = r.top + 15;
    Click(x, y);
    Click(x, y);
    Pump();
  };
  doubleClickCaption();
  EXPECT_TRUE(IsZoomed(w));
  doubleClickCaption();
  EXPECT_FALSE(IsZoomed(w));
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 500);
}

TEST_F(DefWindowTest, PointerTakesTheClassCursorInsideAndSizingCursorsOnTheFrame) {
  HWND w = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, {100, 100, 500, 400});
  struct Case {
    POINT pt;
    LPCWSTR cursor;
  };
  const Case cases[] = {{{300, 250}, IDC_ARROW},
                        {{101, 250}, IDC_SIZEWE},
                        {{300, 399}, IDC_SIZENS},
                        {{499, 399}, IDC_SIZENWSE},
                        {{100, 399}, IDC_SIZENESW}};
  for (const Case& c : cases) {
    SetCursor(nullptr);
    MoveTo(c.pt.x, c.pt.y);
    Pump();
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, c.cursor)) << c.pt.x << "," << c.pt.y;
  }
  // A window that answers WM_SETCURSOR keeps its own cursor.
  Recorder::Get().answer = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_SETCURSOR) return std::nullopt;
    SetCursor(LoadCursorW(nullptr, IDC_HAND));
    return TRUE;
  };
  MoveTo(310, 250);
  Pump();
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
  (void)w;
}

TEST_F(DefWindowTest, TextAndIconsAreStoredByTheDefaultProcedure) {
  HWND w = TopLevel(RecordedClass(), WS_POPUP, {0, 0, 10, 10}, 0, nullptr, u"first");
  WCHAR buffer[16] = {};
  EXPECT_EQ(SendMessageW(w, WM_GETTEXT, 16, reinterpret_cast<LPARAM>(buffer)), 5);
  EXPECT_EQ(std::u16string(buffer), u"first");
  EXPECT_TRUE(SendMessageW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"second title")));
  EXPECT_EQ(SendMessageW(w, WM_GETTEXTLENGTH, 0, 0), 12);
  EXPECT_EQ(SendMessageW(w, WM_GETTEXT, 0, reinterpret_cast<LPARAM>(buffer)), 0);  // no room, nothing written
  SendMessageW(w, WM_SETTEXT, 0, 0);
  EXPECT_EQ(GetWindowTextLengthW(w), 0);

  HICON icon = LoadIconW(nullptr, IDI_APPLICATION);
  EXPECT_EQ(SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_BIG, 0)), icon);
  EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_SETICON, ICON_BIG, 0)), icon);
  EXPECT_EQ(SendMessageW(w, WM_GETICON, ICON_SMALL, 0), 0);
}

}  // namespace
