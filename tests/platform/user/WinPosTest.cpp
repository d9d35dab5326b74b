// SetWindowPos, ShowWindow, minimise/maximise/restore and the messages they cause.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>

#include "UserTestKit.h"

using namespace usertest;

namespace {

class WinPosTest : public UserTest {};

constexpr DWORD kOverlapped = WS_OVERLAPPEDWINDOW;

TEST_F(WinPosTest, SetWindowPosAndShowWindowSendWhatTheChangeCalls) {
  struct Case {
    const char* name;
    std::function<void(HWND)> act;
    std::vector<Expect> expected;
  };
  const Case cases[] = {
      {"move and size",
       [](HWND w) { SetWindowPos(w, nullptr, 20, 30, 250, 150, SWP_NOZORDER | SWP_NOACTIVATE); },
       {Sent(0, WM_WINDOWPOSCHANGING), Sent(0, WM_GETMINMAXINFO), SentW(0, WM_NCCALCSIZE, TRUE),
        Sent(0, WM_WINDOWPOSCHANGED), SentW(0, WM_SIZE, SIZE_RESTORED), Sent(0, WM_MOVE)}},
      {"move only",
       [](HWND w) { SetWindowPos(w, nullptr, 40, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE); },
       {Sent(0, WM_WINDOWPOSCHANGING), Sent(0, WM_WINDOWPOSCHANGED), Sent(0, WM_MOVE)}},
      {"nothing changes",
       [](HWND w) {
         SetWindowPos(w, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
       },
       {Sent(0, WM_WINDOWPOSCHANGING), Sent(0, WM_WINDOWPOSCHANGED)}},
      {"frame changed",
       [](HWND w) {
         SetWindowPos(w, nullptr, 0, 0, 0, 0,
                      SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
       },
       {Sent(0, WM_WINDOWPOSCHANGING), SentW(0, WM_NCCALCSIZE, TRUE), Sent(0, WM_WINDOWPOSCHANGED)}},
      {"hide through SetWindowPos sends no WM_SHOWWINDOW",
       [](HWND w) {
         SetWindowPos(w, HWND_TOPMOST, 5, 5, 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
       },
       {Sent(0, WM_WINDOWPOSCHANGING), Sent(0, WM_WINDOWPOSCHANGED), Sent(0, WM_MOVE)}},
      {"ShowWindow hide",
       [](HWND w) { ShowWindow(w, SW_HIDE); },
       {SentWL(0, WM_SHOWWINDOW, FALSE, 0), Sent(0, WM_WINDOWPOSCHANGING), Sent(0, WM_WINDOWPOSCHANGED),
        // it was the active window, and no other can take over
        SentWL(0, WM_ACTIVATE, WA_INACTIVE, 0), SentW(0, WM_ACTIVATEAPP, FALSE), SentW(0, WM_KILLFOCUS, 0)}},
      {"ShowWindow show when already shown",
       [](HWND w) { ShowWindow(w, SW_SHOWNA); },
       {Sent(0, WM_WINDOWPOSCHANGING), Sent(0, WM_WINDOWPOSCHANGED)}},
  };
  for (const Case& c : cases) {
    HWND w = TopLevel(RecordedClass(), kOverlapped | WS_VISIBLE, {0, 0, 200, 200});
    Pump();
    Recorder::Get().Reset();
    Recorder::Get().Ignore({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT, WM_GETICON, WM_NCACTIVATE});
    c.act(w);
    EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w}, c.expected)) << c.name;
    DestroyWindow(w);
  }
}

TEST_F(WinPosTest, FirstShowOfAHiddenWindowBringsSizeAndMove) {
  HWND w = TopLevel(RecordedClass(), kOverlapped, {0, 0, 200, 200});
  Recorder::Get().Ignore({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT, WM_GETICON});
  Recorder::Get().Clear();
  EXPECT_FALSE(ShowWindow(w, SW_SHOWNOACTIVATE));
  EXPECT_TRUE(
      MatchesOrder(Recorder::Get().Log(), {w},
                   {SentWL(0, WM_SHOWWINDOW, TRUE, 0), Sent(0, WM_WINDOWPOSCHANGING),
                    Sent(0, WM_WINDOWPOSCHANGED), SentW(0, WM_SIZE, SIZE_RESTORED), Sent(0, WM_MOVE)}));
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_NE(GetActiveWindow(), w);
}

TEST_F(WinPosTest, SizeIsKeptWithinTheTrackingLimitsTheWindowAnswers) {
  Recorder::Get().answer = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_GETMINMAXINFO) return std::nullopt;
    auto* mmi = reinterpret_cast<MINMAXINFO*>(l);
    mmi->ptMinTrackSize = POINT{150, 120};
    mmi->ptMaxTrackSize = POINT{500, 400};
    return 0;
  };
  HWND w = TopLevel(RecordedClass(), kOverlapped, {0, 0, 900, 900});
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.right - r.left, 500);  // limited already at creation
  EXPECT_EQ(r.bottom - r.top, 400);
  SetWindowPos(w, nullptr, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOZORDER);
  GetWindowRect(w, &r);
  EXPECT_EQ(r.right - r.left, 150);
  EXPECT_EQ(r.bottom - r.top, 120);
  // Popups without a sizing frame take any size.
  HWND popup = TopLevel(RecordedClass(), WS_POPUP, {0, 0, 900, 900});
  GetWindowRect(popup, &r);
  EXPECT_EQ(r.right - r.left, 900);
}

TEST_F(WinPosTest, MaximiseFillsTheWorkAreaWithinTheTrackingLimits) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  HWND w = TopLevel(RecordedClass(), WS_POPUP | WS_THICKFRAME | WS_VISIBLE, {10, 10, 210, 210});
  Recorder::Get().Clear();
  SendMessageW(w, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(IsZoomed(w));
  RECT r;
  GetWindowRect(w, &r);
  RECT in{0, 0, 0, 0};
  AdjustWindowRectEx(&in, WS_POPUP | WS_THICKFRAME, FALSE, 0);
  EXPECT_EQ(r.left, work.left + in.left);  // the frame lies just outside the work area
  EXPECT_EQ(r.right, work.right + in.right);
  EXPECT_EQ(r.bottom, work.bottom + in.bottom);
  bool sawMaximized = false;
  for (const Entry& e : Recorder::Get().Log())
    sawMaximized |= e.message == WM_SIZE && e.wParam == SIZE_MAXIMIZED;
  EXPECT_TRUE(sawMaximized);

  SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsZoomed(w));
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.right, 210);

  // A limit given in WM_GETMINMAXINFO bounds the maximised size.
  Recorder::Get().answer = [](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_GETMINMAXINFO) return std::nullopt;
    auto* mmi = reinterpret_cast<MINMAXINFO*>(l);
    mmi->ptMaxPosition = POINT{0, 0};
    mmi->ptMaxTrackSize = POINT{640, 480};
    return 0;
  };
  ShowWindow(w, SW_SHOWMAXIMIZED);
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.right - r.left, 640);
  EXPECT_EQ(r.bottom - r.top, 480);
}

TEST_F(WinPosTest, MinimiseHidesOwnedPopupsAndRestoreBringsThemBack) {
  HWND owner = TopLevel(RecordedClass(), kOverlapped | WS_VISIBLE, {0, 0, 300, 300});
  HWND popup = TopLevel(RecordedClass(), WS_POPUP | WS_VISIBLE, {10, 10, 60, 60}, WS_EX_TOOLWINDOW, owner);
  Recorder::Get().Clear();
  SendMessageW(owner, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(IsIconic(owner));
  EXPECT_FALSE(IsWindowVisible(popup));
  bool sawMinimized = false;
  for (const Entry& e : Recorder::Get().Log())
    sawMinimized |= e.hwnd == owner && e.message == WM_SIZE && e.wParam == SIZE_MINIMIZED && e.lParam == 0;
  EXPECT_TRUE(sawMinimized);
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {popup},
                           {SentWL(0, WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING), Sent(0, WM_WINDOWPOSCHANGING),
                            Sent(0, WM_WINDOWPOSCHANGED)}));

  ShowWindow(owner, SW_RESTORE);
  EXPECT_FALSE(IsIconic(owner));
  EXPECT_TRUE(IsWindowVisible(popup));
  RECT r;
  GetWindowRect(owner, &r);
  EXPECT_EQ(r.right - r.left, 300);
}

TEST_F(WinPosTest, CentringAWindowLargerThanTheWorkAreaKeepsItsSize) {
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  int cx = work.right - work.left + 400, cy = work.bottom - work.top + 300;
  HWND w = TopLevel(RecordedClass(), WS_POPUP, {0, 0, cx, cy});
  int x = work.left + (work.right - work.left - cx) / 2, y = work.top + (work.bottom - work.top - cy) / 2;
  SetWindowPos(w, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.left, x);
  EXPECT_LT(r.left, 0);
  EXPECT_EQ(r.right - r.left, cx);
}

TEST_F(WinPosTest, SwitchingActiveWindowsMovesFocusWithTheOtherWindowInWParam) {
  Recorder::Get().Ignore(
      {WM_NCPAINT, WM_ERASEBKGND, WM_PAINT, WM_GETICON, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED});
  HWND a = TopLevel(RecordedClass(), kOverlapped | WS_VISIBLE, {0, 0, 200, 200});
  HWND b = TopLevel(RecordedClass(), kOverlapped | WS_VISIBLE, {300, 0, 500, 200}, 0, nullptr, u"b");
  HWND child = Child(a, {0, 0, 10, 10});
  Pump();
  EXPECT_EQ(GetActiveWindow(), b);
  Recorder::Get().Clear();
  EXPECT_EQ(SetFocus(child), b);  // focusing a child activates its top-level window first
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {a, b, child},
                           {
                               SentW(1, WM_NCACTIVATE, FALSE),
                               SentWL(1, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(a)),
                               SentW(0, WM_NCACTIVATE, TRUE),
                               SentWL(0, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(b)),
                               SentW(1, WM_KILLFOCUS, reinterpret_cast<WPARAM>(a)),
                               SentW(0, WM_SETFOCUS, reinterpret_cast<WPARAM>(b)),
                               SentW(0, WM_KILLFOCUS, reinterpret_cast<WPARAM>(child)),
                               SentW(2, WM_SETFOCUS, reinterpret_cast<WPARAM>(a)),
                           }));
  EXPECT_EQ(GetFocus(), child);
  EXPECT_EQ(GetActiveWindow(), a);
  // Hiding the active window hands the activation on.
  ShowWindow(a, SW_HIDE);
  EXPECT_EQ(GetActiveWindow(), b);
  EXPECT_EQ(GetFocus(), b);
}

}  // namespace
