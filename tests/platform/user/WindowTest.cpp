// Classes, window creation and destruction orders, window data, parents and owners.
#include <gtest/gtest.h>
#include <windows.h>

#include "UserTestKit.h"

using namespace usertest;

namespace {

class WindowTest : public UserTest {};

constexpr DWORD kOverlapped = WS_OVERLAPPEDWINDOW;

RECT FrameInsetsFor(DWORD style) {
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  return RECT{-r.left, -r.top, r.right, r.bottom};
}

TEST_F(WindowTest, RegisteringAClassTwiceFailsWithClassAlreadyExists) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"TwiceRegistered";
  EXPECT_NE(RegisterClassW(&wc), 0);
  SetLastError(0);
  EXPECT_EQ(RegisterClassW(&wc), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(WindowTest, SystemClassesCanBeFoundAndSuperclassed) {
  for (const WCHAR* name : {u"Edit", u"tooltips_class32", u"SysDateTimePick32"}) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(nullptr, name, &wc));
    EXPECT_EQ(wc.lpfnWndProc, DefWindowProcW);
  }
  // A superclass keeps the system class's procedure and adds its own name.
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  ASSERT_TRUE(GetClassInfoExW(nullptr, u"Edit", &wc));
  WNDPROC systemProc = wc.lpfnWndProc;
  wc.lpszClassName = u"EditWnd";
  ASSERT_NE(RegisterClassExW(&wc), 0);
  HWND parent = TopLevel(RecordedClass(), kOverlapped, {0, 0, 300, 200});
  HWND edit =
      CreateWindowExW(0, u"EditWnd", nullptr, WS_CHILD, 0, 0, 50, 20, parent, nullptr, nullptr, nullptr);
  ASSERT_TRUE(edit);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC)), systemProc);

  SetLastError(0);
  EXPECT_FALSE(GetClassInfoExW(nullptr, u"NoSuchClass", &wc));
  EXPECT_FALSE(
      CreateWindowExW(0, u"NoSuchClass", nullptr, 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

TEST_F(WindowTest, VisibleTopLevelIsHiddenDuringCreateThenShownAndActivated) {
  bool visibleInCreate = true;
  LPVOID params = nullptr;
  Recorder::Get().answer = [&](HWND h, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_CREATE) {
      visibleInCreate = IsWindowVisible(h);
      params = reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams;
    }
    return std::nullopt;
  };
  Recorder::Get().Ignore({WM_GETICON, WM_NCPAINT, WM_ERASEBKGND, WM_PAINT});
  int tag = 0;
  HWND w = CreateWindowExW(0, RecordedClass(), u"main", kOverlapped | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                           nullptr, nullptr, &tag);
  ASSERT_TRUE(w);
  EXPECT_FALSE(visibleInCreate);
  EXPECT_EQ(params, &tag);
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w},
                           {
                               Sent(0, WM_GETMINMAXINFO),
                               Sent(0, WM_NCCREATE),
                               SentW(0, WM_NCCALCSIZE, FALSE),
                               Sent(0, WM_CREATE),
                               SentWL(0, WM_SHOWWINDOW, TRUE, 0),
                               Sent(0, WM_WINDOWPOSCHANGING),
                               SentW(0, WM_ACTIVATEAPP, TRUE),
                               SentW(0, WM_NCACTIVATE, TRUE),
                               SentWL(0, WM_ACTIVATE, WA_ACTIVE, 0),
                               SentW(0, WM_SETFOCUS, 0),
                               Sent(0, WM_WINDOWPOSCHANGED),
                               SentW(0, WM_SIZE, SIZE_RESTORED),
                               Sent(0, WM_MOVE),
                           }));
  EXPECT_EQ(GetActiveWindow(), w);
  EXPECT_EQ(GetFocus(), w);
  EXPECT_EQ(GetForegroundWindow(), w);
}

TEST_F(WindowTest, ChildLearnsSizeAtCreationAndParentIsNotified) {
  HWND parent = TopLevel(RecordedClass(), kOverlapped, {0, 0, 300, 200});
  Recorder::Get().Clear();
  HWND child = Child(parent, {10, 20, 60, 50}, WS_CHILD | WS_VISIBLE, nullptr, 7);
  ASSERT_TRUE(child);
  EXPECT_TRUE(
      MatchesOrder(Recorder::Get().Log(), {parent, child},
                   {
                       Sent(1, WM_NCCREATE),
                       Sent(1, WM_NCCALCSIZE),
                       Sent(1, WM_CREATE),
                       SentWL(1, WM_SIZE, SIZE_RESTORED, MAKELPARAM(50, 30)),
                       SentWL(1, WM_MOVE, 0, MAKELPARAM(10, 20)),
                       SentWL(0, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 7), reinterpret_cast<LPARAM>(child)),
                       SentW(1, WM_SHOWWINDOW, TRUE),
                       Sent(1, WM_WINDOWPOSCHANGING),
                       Sent(1, WM_WINDOWPOSCHANGED),
                   }));
}

TEST_F(WindowTest, DestroyTakesOwnedWindowsFirstThenDestroyParentFirstAndNcDestroyChildrenFirst) {
  HWND owner = TopLevel(RecordedClass(), kOverlapped | WS_VISIBLE, {0, 0, 300, 200});
  HWND popup = TopLevel(RecordedClass(), WS_POPUP, {10, 10, 50, 50}, 0, owner);
  HWND a = Child(owner, {0, 0, 10, 10});
  HWND b = Child(owner, {10, 0, 20, 10});
  HWND grandchild = Child(a, {0, 0, 5, 5});
  Pump();
  PostMessageW(owner, WM_USER, 0, 0);
  Recorder::Get().Ignore({WM_NCPAINT, WM_ERASEBKGND, WM_PAINT, WM_GETICON});
  Recorder::Get().Clear();
  ASSERT_TRUE(DestroyWindow(owner));
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {owner, popup, a, b, grandchild},
                           {
                               Sent(1, WM_DESTROY),
                               Sent(1, WM_NCDESTROY),
                               Sent(0, WM_WINDOWPOSCHANGING),
                               Sent(0, WM_WINDOWPOSCHANGED),
                               SentW(0, WM_NCACTIVATE, FALSE),
                               SentWL(0, WM_ACTIVATE, WA_INACTIVE, 0),
                               SentW(0, WM_ACTIVATEAPP, FALSE),
                               SentW(0, WM_KILLFOCUS, 0),
                               Sent(0, WM_DESTROY),
                               Sent(2, WM_DESTROY),
                               Sent(4, WM_DESTROY),
                               Sent(3, WM_DESTROY),
                               Sent(4, WM_NCDESTROY),
                               Sent(2, WM_NCDESTROY),
                               Sent(3, WM_NCDESTROY),
                               Sent(0, WM_NCDESTROY),
                           }));
  for (HWND h : {owner, popup, a, b, grandchild}) EXPECT_FALSE(IsWindow(h));
  EXPECT_EQ(GetActiveWindow(), nullptr);
  EXPECT_EQ(GetFocus(), nullptr);
  // The message posted before the window went away is never delivered.
  Recorder::Get().Clear();
  Pump();
  EXPECT_TRUE(Recorder::Get().Log().empty());
}

TEST_F(WindowTest, FailedCreationReportsNullAndFreesTheWindowOnce) {
  struct Case {
    UINT failingMessage;
    LRESULT failure;
    std::vector<UINT> closing;  // what the window sees after the failure
  };
  const Case cases[] = {
      {WM_NCCREATE, FALSE, {WM_NCDESTROY}},
      {WM_CREATE, -1, {WM_DESTROY, WM_NCDESTROY}},
  };
  for (const Case& c : cases) {
    Recorder::Get().Reset();
    HWND seen = nullptr;
    Recorder::Get().answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
      seen = h;
      if (m == c.failingMessage) return c.failure;
      return std::nullopt;
    };
    EXPECT_EQ(TopLevel(RecordedClass(), kOverlapped | WS_VISIBLE, {0, 0, 200, 200}), nullptr);
    EXPECT_FALSE(IsWindow(seen));
    std::vector<UINT> after;
    bool failed = false;
    for (const Entry& e : Recorder::Get().Log()) {
      if (failed) after.push_back(e.message);
      failed = failed || e.message == c.failingMessage;
    }
    EXPECT_EQ(after, c.closing) << MessageName(c.failingMessage);
  }
}

TEST_F(WindowTest, WindowLongsKeepPointersAndSubclassThroughTheProcedure) {
  HWND w = TopLevel(RecordedClass(), kOverlapped, {0, 0, 200, 200});
  int object = 0;
  SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&object));
  EXPECT_EQ(reinterpret_cast<int*>(GetWindowLongPtrW(w, GWLP_USERDATA)), &object);

  static WNDPROC s_previous;
  static int s_seen;
  s_seen = 0;
  WNDPROC sub = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_USER) ++s_seen;
    return CallWindowProcW(s_previous, h, m, wp, lp);
  };
  s_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(sub)));
  EXPECT_EQ(s_previous, RecordingProc);
  Recorder::Get().Clear();
  SendMessageW(w, WM_USER, 1, 2);
  EXPECT_EQ(s_seen, 1);
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w}, {SentWL(0, WM_USER, 1, 2)}));

  // Pointer-sized values do not fit the 32-bit forms.
  SetLastError(0);
  EXPECT_EQ(GetWindowLongW(w, GWLP_WNDPROC), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  EXPECT_EQ(SetWindowLongPtrW(w, 0, 1), 0);  // the class has no extra bytes
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));

  // Style changes take effect at once and are announced.
  Recorder::Get().Clear();
  LONG style = GetWindowLongW(w, GWL_STYLE);
  SetWindowLongW(w, GWL_STYLE, (style & ~WS_CAPTION) | WS_CLIPCHILDREN);
  EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & (WS_CAPTION | WS_CLIPCHILDREN), WS_CLIPCHILDREN);
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w},
                           {SentW(0, WM_STYLECHANGING, static_cast<WPARAM>(GWL_STYLE)),
                            SentW(0, WM_STYLECHANGED, static_cast<WPARAM>(GWL_STYLE))}));
}

TEST_F(WindowTest, PropertiesAreKeptPerWindowAndFreedWithIt) {
  HWND w = TopLevel(RecordedClass(), kOverlapped, {0, 0, 200, 200});
  int object = 0;
  EXPECT_TRUE(SetPropW(w, u"WndX", &object));
  EXPECT_EQ(GetPropW(w, u"wndx"), &object);  // names compare without case, as atoms do
  EXPECT_EQ(RemovePropW(w, u"WndX"), &object);
  EXPECT_EQ(GetPropW(w, u"WndX"), nullptr);
  SetPropW(w, u"WndX", &object);
  DestroyWindow(w);
  EXPECT_EQ(GetPropW(w, u"WndX"), nullptr);
}

TEST_F(WindowTest, ParentsOwnersAndSiblingsFollowWin32) {
  HWND owner = TopLevel(RecordedClass(), kOverlapped, {0, 0, 300, 200});
  HWND popup = TopLevel(RecordedClass(), WS_POPUP, {0, 0, 50, 50}, 0, owner);
  HWND owned = TopLevel(RecordedClass(), kOverlapped, {0, 0, 150, 150}, 0, owner);
  HWND first = Child(owner, {0, 0, 10, 10});
  HWND second = Child(owner, {0, 0, 10, 10});
  HWND nested = Child(first, {0, 0, 5, 5});

  EXPECT_EQ(GetParent(first), owner);
  EXPECT_EQ(GetParent(popup), owner);    // a popup's parent is its owner
  EXPECT_EQ(GetParent(owned), nullptr);  // an overlapped window has none
  EXPECT_EQ(GetWindow(owned, GW_OWNER), owner);
  EXPECT_EQ(GetWindow(owner, GW_CHILD), first);  // children in creation order, top first
  EXPECT_EQ(GetWindow(first, GW_HWNDNEXT), second);
  EXPECT_EQ(GetWindow(second, GW_HWNDNEXT), nullptr);
  EXPECT_EQ(GetAncestor(nested, GA_ROOT), owner);
  EXPECT_EQ(GetAncestor(popup, GA_ROOTOWNER), owner);
  EXPECT_TRUE(IsChild(owner, nested));
  EXPECT_FALSE(IsChild(owner, popup));
  // Owned windows stay above their owner.
  BringWindowToTop(owner);
  EXPECT_EQ(GetWindow(owner, GW_HWNDPREV) != nullptr, true);
  for (HWND h = GetTopWindow(nullptr); h && h != owner; h = GetWindow(h, GW_HWNDNEXT))
    EXPECT_TRUE(h == popup || h == owned || GetWindow(h, GW_OWNER) == owner);
}

TEST_F(WindowTest, TextIsSetFromCreationAndFoundByFindWindow) {
  HWND w = TopLevel(RecordedClass(), kOverlapped, {0, 0, 200, 200}, 0, nullptr, u"vedodize1");
  WCHAR buffer[5];
  EXPECT_EQ(GetWindowTextLengthW(w), 9);
  EXPECT_EQ(GetWindowTextW(w, buffer, 5), 4);  // cut to the buffer, always terminated
  EXPECT_EQ(std::u16string(buffer), u"vedo");
  EXPECT_EQ(FindWindowW(nullptr, u"VEDODIZE1"), w);
  EXPECT_EQ(FindWindowW(RecordedClass(), nullptr), w);
  EXPECT_EQ(FindWindowW(RecordedClass(), u"other"), nullptr);
  SetWindowTextW(w, u"renamed");
  EXPECT_EQ(FindWindowW(nullptr, u"renamed"), w);
  HWND child = Child(w, {0, 0, 10, 10});
  EXPECT_EQ(FindWindowW(nullptr, u"child"), nullptr);  // top-level windows only
  EXPECT_EQ(FindWindowExW(w, nullptr, nullptr, u"child"), child);
}

TEST_F(WindowTest, CoordinatesMapBetweenClientAreasAndTheScreen) {
  HWND w = TopLevel(RecordedClass(), kOverlapped, {100, 50, 500, 350});
  RECT frame = FrameInsetsFor(kOverlapped);
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 400 - frame.left - frame.right);
  EXPECT_EQ(client.bottom, 300 - frame.top - frame.bottom);
  HWND child = Child(w, {10, 20, 60, 70});
  POINT pt{1, 2};
  ClientToScreen(child, &pt);
  EXPECT_EQ(pt.x, 100 + frame.left + 10 + 1);
  EXPECT_EQ(pt.y, 50 + frame.top + 20 + 2);
  ScreenToClient(w, &pt);
  EXPECT_EQ(pt.x, 11);
  EXPECT_EQ(pt.y, 22);
  POINT pts[2] = {{0, 0}, {5, 5}};
  MapWindowPoints(child, nullptr, pts, 2);
  EXPECT_EQ(pts[1].x - pts[0].x, 5);
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, pts[0].x);
  EXPECT_EQ(r.right - r.left, 50);
}

}  // namespace
