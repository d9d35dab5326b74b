// Mouse and keyboard input through SendInput, routed as real input: hit tests, activation,
// capture, double clicks, tracking, the wheel, keys and characters.
#include <gtest/gtest.h>
#include <windows.h>
#include <windowsx.h>

#include "UserTestKit.h"

using namespace usertest;

namespace {

class InputTest : public UserTest {
 protected:
  // A captionless popup at a known place: its client area is its window rectangle.
  HWND Popup(RECT r, UINT classStyle = 0) {
    HWND w = TopLevel(RecordedClass(classStyle), WS_POPUP | WS_VISIBLE, r);
    Pump();  // its first paint
    return w;
  }
};

int Count(UINT message, HWND hwnd = nullptr) {
  int n = 0;
  for (const Entry& e : Recorder::Get().Log()) n += e.message == message && (!hwnd || e.hwnd == hwnd);
  return n;
}

TEST_F(InputTest, ClickOnAnInactiveWindowHitTestsActivatesThenDelivers) {
  HWND other = Popup({0, 0, 50, 50});
  HWND w = Popup({100, 100, 300, 300});
  SetActiveWindow(other);
  Pump();
  Recorder::Get().Ignore({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT, WM_GETICON, WM_WINDOWPOSCHANGING,
                          WM_WINDOWPOSCHANGED, WM_KILLFOCUS});
  Recorder::Get().Clear();
  Click(110, 120);
  Pump();
  LPARAM at = MAKELPARAM(10, 20);
  EXPECT_TRUE(MatchesOrder(
      Recorder::Get().Log(), {w, other},
      {
          SentWL(0, WM_NCHITTEST, 0, MAKELPARAM(110, 120)),
          SentWL(0, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
          PostedWL(0, WM_MOUSEMOVE, 0, at),
          Sent(0, WM_NCHITTEST),
          SentWL(0, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
          SentW(1, WM_NCACTIVATE, FALSE),
          SentWL(1, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(w)),
          SentW(0, WM_NCACTIVATE, TRUE),
          SentWL(0, WM_ACTIVATE, WA_CLICKACTIVE, reinterpret_cast<LPARAM>(other)),
          SentW(0, WM_SETFOCUS, reinterpret_cast<WPARAM>(other)),
          SentWL(0, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
          PostedWL(0, WM_LBUTTONDOWN, MK_LBUTTON, at),
          Sent(0, WM_NCHITTEST),
          Sent(0, WM_SETCURSOR),
          PostedWL(0, WM_LBUTTONUP, 0, at),
      }));
  EXPECT_EQ(GetActiveWindow(), w);
}

TEST_F(InputTest, DoubleClicksNeedTheClassStyleAndAQuickCloseSecondPress) {
  struct Case {
    const char* name;
    UINT classStyle;
    int secondDx;
    int pauseMs;
    bool doubleClick;
  };
  const Case cases[] = {
      {"double click", CS_DBLCLKS, 0, 0, true},
      {"within the double-click rectangle", CS_DBLCLKS, 2, 0, true},
      {"too far apart", CS_DBLCLKS, 3, 0, false},
      {"too slow", CS_DBLCLKS, 0, 600, false},
      {"class without CS_DBLCLKS", 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    HWND w = Popup({100, 100, 200, 200}, c.classStyle);
    Recorder::Get().Reset();
    Recorder::Get().Ignore({WM_NCHITTEST, WM_SETCURSOR, WM_MOUSEMOVE, WM_MOUSEACTIVATE, WM_NCACTIVATE,
                            WM_ACTIVATE, WM_ACTIVATEAPP, WM_SETFOCUS, WM_KILLFOCUS, WM_NCPAINT, WM_ERASEBKGND,
                            WM_PAINT, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED});
    Click(150, 150);
    if (c.pauseMs) PumpFor(c.pauseMs);
    Click(150 + c.secondDx, 150);
    Pump();
    UINT second = c.doubleClick ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN;
    EXPECT_TRUE(MatchesOrder(
        Recorder::Get().Log(), {w},
        {Posted(0, WM_LBUTTONDOWN), Posted(0, WM_LBUTTONUP), Posted(0, second), Posted(0, WM_LBUTTONUP)}))
        << c.name;
    DestroyWindow(w);
  }
}

TEST_F(InputTest, RightClickBringsTheContextMenuAtTheScreenPosition) {
  HWND w = Popup({100, 100, 200, 200});
  Click(130, 140, 1);
  Recorder::Get().Ignore({WM_NCHITTEST, WM_SETCURSOR, WM_MOUSEMOVE, WM_MOUSEACTIVATE, WM_NCACTIVATE,
                          WM_ACTIVATE, WM_ACTIVATEAPP, WM_SETFOCUS, WM_NCPAINT, WM_ERASEBKGND, WM_PAINT,
                          WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED});
  Recorder::Get().Clear();
  Pump();
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w},
                           {PostedWL(0, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(30, 40)),
                            PostedWL(0, WM_RBUTTONUP, 0, MAKELPARAM(30, 40)),
                            SentWL(0, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(w), MAKELPARAM(130, 140))}));
}

TEST_F(InputTest, DraggingTheCaptionMovesTheWindowByTheDelta) {
  HWND w = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, {100, 100, 400, 300});
  Pump();
  RECT before;
  GetWindowRect(w, &before);
  int x = 200, y = before.top + 12;  // on the caption
  MoveTo(x, y);
  Button(0, true);
  MoveTo(x + 10, y + 5);
  MoveTo(x + 40, y + 25);
  Button(0, false);
  Recorder::Get().Clear();
  Pump();
  RECT after;
  GetWindowRect(w, &after);
  EXPECT_EQ(after.left - before.left, 40);
  EXPECT_EQ(after.top - before.top, 25);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
  EXPECT_EQ(Count(WM_MOVING, w), 2);
  EXPECT_EQ(Count(WM_LBUTTONUP, w), 0);  // the loop takes the release
  std::vector<Entry> log;
  for (const Entry& e : Recorder::Get().Log())
    if (e.message != WM_NCHITTEST && e.message != WM_SETCURSOR && e.message != WM_MOUSEMOVE &&
        e.message != WM_NCMOUSEMOVE && e.message != WM_WINDOWPOSCHANGING &&
        e.message != WM_WINDOWPOSCHANGED && e.message != WM_MOVE && e.message != WM_MOVING &&
        e.message != WM_NCPAINT && e.message != WM_ERASEBKGND && e.message != WM_PAINT)
      log.push_back(e);
  EXPECT_TRUE(MatchesOrder(
      log, {w},
      {PostedWL(0, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(x, y)),
       SentWL(0, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, MAKELPARAM(x, y)), Sent(0, WM_ENTERSIZEMOVE),
       SentWL(0, WM_CAPTURECHANGED, 0, 0), Sent(0, WM_EXITSIZEMOVE)}));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(InputTest, ResizingOnACornerStaysWithinTheTrackingLimits) {
  Recorder::Get().answer = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_GETMINMAXINFO) return std::nullopt;
    auto* mmi = reinterpret_cast<MINMAXINFO*>(l);
    mmi->ptMinTrackSize = POINT{200, 150};
    mmi->ptMaxTrackSize = POINT{500, 400};
    return 0;
  };
  struct Case {
    int dx, dy;
    LONG width, height;
  };
  for (const Case& c : {Case{50, 30, 350, 280}, Case{600, 600, 500, 400}, Case{-290, -240, 200, 150}}) {
    HWND w = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, {100, 100, 400, 350});
    Pump();
    RECT r;
    GetWindowRect(w, &r);
    MoveTo(r.right - 2, r.bottom - 2);  // the bottom-right sizing corner
    Button(0, true);
    MoveTo(r.right - 2 + c.dx, r.bottom - 2 + c.dy);
    Button(0, false);
    Recorder::Get().Clear();
    Pump();
    EXPECT_EQ(Count(WM_ENTERSIZEMOVE, w), 1);
    EXPECT_EQ(Count(WM_SIZING, w), 1);
    EXPECT_EQ(Count(WM_EXITSIZEMOVE, w), 1);
    RECT after;
    GetWindowRect(w, &after);
    EXPECT_EQ(after.left, r.left);
    EXPECT_EQ(after.right - after.left, c.width) << c.dx;
    EXPECT_EQ(after.bottom - after.top, c.height) << c.dy;
    DestroyWindow(w);
  }
}

TEST_F(InputTest, CaptureSendsAllMouseInputToTheWindowInClientCoordinates) {
  HWND w = Popup({100, 100, 200, 200});
  HWND other = Popup({300, 300, 400, 400});
  SetCapture(w);
  MoveTo(350, 350);
  Recorder::Get().Clear();
  Pump();
  EXPECT_TRUE(
      MatchesOrder(Recorder::Get().Log(), {w, other}, {PostedWL(0, WM_MOUSEMOVE, 0, MAKELPARAM(250, 250))}));
  Recorder::Get().Clear();
  ReleaseCapture();
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w}, {SentWL(0, WM_CAPTURECHANGED, 0, 0)}));
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(InputTest, TrackMouseEventReportsHoverOnceAndLeaveWhenThePointerGoes) {
  HWND w = Popup({100, 100, 200, 200});
  HWND other = Popup({300, 100, 400, 200});
  MoveTo(150, 150);
  Pump();
  TRACKMOUSEEVENT tme{sizeof(tme), TME_HOVER | TME_LEAVE, w, 30};
  ASSERT_TRUE(TrackMouseEvent(&tme));
  Recorder::Get().Clear();
  PumpUntil([&] { return Count(WM_MOUSEHOVER, w) > 0; });
  PumpFor(60);
  EXPECT_EQ(Count(WM_MOUSEHOVER, w), 1);
  EXPECT_EQ(Count(WM_MOUSELEAVE, w), 0);
  MoveTo(350, 150);
  Pump();
  EXPECT_EQ(Count(WM_MOUSELEAVE, w), 1);
  EXPECT_EQ(Count(WM_MOUSELEAVE, other), 0);
  // Asking while the pointer is elsewhere reports the leave at once.
  Recorder::Get().Clear();
  tme.dwFlags = TME_LEAVE;
  TrackMouseEvent(&tme);
  Pump();
  EXPECT_EQ(Count(WM_MOUSELEAVE, w), 1);
}

TEST_F(InputTest, WheelGoesToTheFocusWindowWithScreenCoordinates) {
  HWND focused = Popup({100, 100, 200, 200});
  HWND under = Popup({300, 300, 400, 400});
  SetFocus(focused);
  MoveTo(350, 350);
  Wheel(-WHEEL_DELTA);
  Recorder::Get().Clear();
  Pump();
  EXPECT_EQ(Count(WM_MOUSEWHEEL, under), 0);
  const Entry* wheel = nullptr;
  for (const Entry& e : Recorder::Get().Log())
    if (e.message == WM_MOUSEWHEEL) wheel = &e;
  ASSERT_TRUE(wheel);
  EXPECT_EQ(wheel->hwnd, focused);
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(wheel->wParam), -WHEEL_DELTA);
  EXPECT_EQ(GET_X_LPARAM(wheel->lParam), 350);
  EXPECT_EQ(GET_Y_LPARAM(wheel->lParam), 350);
}

TEST_F(InputTest, KeysGoToTheFocusWindowAndTranslateIntoCharacters) {
  HWND w = Popup({100, 100, 200, 200});
  SetFocus(w);
  Key(VK_SHIFT, true);
  Key('A', true);
  Key('A', false);
  Key(VK_SHIFT, false);
  Key('B', true);
  Key('B', false);
  Type(u'中');
  Recorder::Get().Clear();
  SHORT shiftBefore = GetKeyState(VK_SHIFT);
  Pump();
  EXPECT_FALSE(shiftBefore & 0x8000);
  std::u16string typed;
  for (const Entry& e : Recorder::Get().Log())
    if (e.message == WM_CHAR) typed += static_cast<char16_t>(e.wParam);
  EXPECT_EQ(typed, u"Ab中");
  EXPECT_TRUE(
      MatchesOrder(Recorder::Get().Log(), {w},
                   {PostedWL(0, WM_KEYDOWN, VK_SHIFT, 0x002A0001), PostedWL(0, WM_KEYDOWN, 'A', 0x001E0001),
                    PostedWL(0, WM_CHAR, 'A', 0x001E0001), Posted(0, WM_KEYUP), Posted(0, WM_KEYUP),
                    Posted(0, WM_KEYDOWN), PostedWL(0, WM_CHAR, 'b', 0x00300001), Posted(0, WM_KEYUP),
                    PostedWL(0, WM_KEYDOWN, VK_PACKET, MAKELPARAM(1, u'中')), PostedW(0, WM_CHAR, u'中'),
                    Posted(0, WM_KEYUP)}));
}

TEST_F(InputTest, KeyStateFollowsTheMessagesRetrieved) {
  HWND w = Popup({100, 100, 200, 200});
  SetFocus(w);
  Key(VK_CONTROL, true);
  EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);  // the device state changes at once
  EXPECT_FALSE(GetKeyState(VK_CONTROL) & 0x8000);      // the thread's once it reads the key
  SHORT during = 0;
  Recorder::Get().answer = [&](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_KEYDOWN) during = GetKeyState(VK_CONTROL);
    return std::nullopt;
  };
  Pump();
  EXPECT_TRUE(during & 0x8000);
  EXPECT_TRUE(GetKeyState(VK_LCONTROL) & 0x8000);
  Key(VK_CONTROL, false);
  Pump();
  EXPECT_FALSE(GetKeyState(VK_CONTROL) & 0x8000);
}

TEST_F(InputTest, AltF4ClosesTheActiveWindowThroughScClose) {
  HWND w = TopLevel(RecordedClass(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, {100, 100, 300, 300});
  Pump();
  Key(VK_MENU, true);
  Key(VK_F4, true);
  Key(VK_F4, false);
  Key(VK_MENU, false);
  Recorder::Get().Ignore({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT, WM_GETICON, WM_WINDOWPOSCHANGING,
                          WM_WINDOWPOSCHANGED, WM_NCACTIVATE, WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS});
  Recorder::Get().Clear();
  Pump();
  EXPECT_TRUE(MatchesOrder(
      Recorder::Get().Log(), {w},
      {PostedW(0, WM_SYSKEYDOWN, VK_MENU), PostedW(0, WM_SYSKEYDOWN, VK_F4),
       SentW(0, WM_SYSCOMMAND, SC_CLOSE), Sent(0, WM_CLOSE), Sent(0, WM_DESTROY), Sent(0, WM_NCDESTROY)}));
  EXPECT_FALSE(IsWindow(w));
}

TEST_F(InputTest, TransparentHitsAndClickThroughWindowsPassTheClickOn) {
  HWND below = Popup({100, 100, 300, 300});
  HWND overlay = TopLevel(RecordedClass(), WS_POPUP | WS_VISIBLE, {100, 100, 300, 300},
                          WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST);
  SetLayeredWindowAttributes(overlay, 0, 128, LWA_ALPHA);
  HWND child = Child(below, {0, 0, 50, 50});
  Recorder::Get().answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (h == child && m == WM_NCHITTEST) return HTTRANSPARENT;
    return std::nullopt;
  };
  Click(110, 110);
  Recorder::Get().Clear();
  Pump();
  EXPECT_EQ(Count(WM_LBUTTONDOWN, below), 1);
  EXPECT_EQ(Count(WM_LBUTTONDOWN, child), 0);
  EXPECT_EQ(Count(WM_NCHITTEST, overlay), 0);
  EXPECT_EQ(WindowFromPoint(POINT{110, 110}), below);
}

TEST_F(InputTest, DisabledWindowsGetNoMouseMessages) {
  HWND w = Popup({100, 100, 200, 200});
  EnableWindow(w, FALSE);
  Click(150, 150);
  Recorder::Get().Clear();
  Pump();
  EXPECT_EQ(Count(WM_LBUTTONDOWN), 0);
  EXPECT_EQ(Count(WM_NCHITTEST), 0);
  bool errorCursor = false;
  for (const Entry& e : Recorder::Get().Log())
    errorCursor |= e.message == WM_SETCURSOR && static_cast<SHORT>(LOWORD(e.lParam)) == HTERROR;
  EXPECT_TRUE(errorCursor);
}

}  // namespace
