#include <gtest/gtest.h>
#include <stdlib.h>
#include <tchar.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "ui/core/UIEvent.h"
#include "ui/core/UIHost.h"
#include "ui/core/WindowWnd.h"

namespace {

using Umbra::CUIHost;
using Umbra::CWindowWnd;
using Umbra::UIEvent;
using Umbra::UINotify;

// Before anything opens the display: the headless one at its default size.
const bool kHeadless = [] {
  setenv("UMBRA_DISPLAY", "headless", 1);
  unsetenv("UMBRA_SCREEN");
  return true;
}();

constexpr UINT kGone = 0xFFFF0000;  // stands for OnWindowGone in a message log
constexpr LRESULT kBaseAnswer = 77;

// The procedure of a class other objects superclass or take over; it logs what reaches it.
std::vector<UINT> g_baseLog;

LRESULT CALLBACK BaseProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  g_baseLog.push_back(message);
  if (message == WM_APP + 1) return kBaseAnswer;
  return DefWindowProcW(hWnd, message, wParam, lParam);
}

constexpr const WCHAR* kBaseClass = _T("H10Base");

void RegisterBaseClass() {
  WNDCLASSW wc = {};
  wc.style = CS_DBLCLKS | CS_HREDRAW;
  wc.lpfnWndProc = BaseProc;
  wc.cbWndExtra = 16;
  wc.hInstance = CUIHost::GetModuleInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_CROSS);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
  wc.lpszClassName = kBaseClass;
  RegisterClassW(&wc);
}

// A window object that logs the messages it is given and what it saw when its window went.
class TestWnd final : public CWindowWnd {
 public:
  explicit TestWnd(LPCWSTR className, LPCWSTR superclass = nullptr, UINT style = 0)
      : m_class(className), m_superclass(superclass), m_style(style) {}
  ~TestWnd() {
    if (IsWindow(GetNativeHandle())) DestroyWindow(GetNativeHandle());
  }

  LPCWSTR QueryClassName() const override { return m_class; }
  LPCWSTR QuerySuperclassName() const override { return m_superclass; }
  UINT QueryClassStyle() const override { return m_style; }

  LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    log.push_back(message);
    if (message == WM_NCCREATE) handleAtNcCreate = GetNativeHandle();
    if (answer) {
      if (std::optional<LRESULT> result = answer(message, wParam, lParam)) return *result;
    }
    return CWindowWnd::ProcessMessage(message, wParam, lParam);
  }

  void OnWindowGone(HWND hWnd) override {
    log.push_back(kGone);
    ++goneCount;
    goneHandle = hWnd;
    handleAtGone = GetNativeHandle();
    userDataAtGone = GetWindowLongPtrW(hWnd, GWLP_USERDATA);
    propertyAtGone = GetPropW(hWnd, _T("WndX"));
    procAtGone = GetWindowLongPtrW(hWnd, GWLP_WNDPROC);
  }

  // The logged messages among the given ones, in order.
  std::vector<UINT> Tracked(std::initializer_list<UINT> messages) const {
    std::vector<UINT> out;
    for (UINT m : log)
      if (std::find(messages.begin(), messages.end(), m) != messages.end()) out.push_back(m);
    return out;
  }

  std::function<std::optional<LRESULT>(UINT, WPARAM, LPARAM)> answer;
  std::vector<UINT> log;
  HWND handleAtNcCreate = nullptr;
  int goneCount = 0;
  HWND goneHandle = nullptr;
  HWND handleAtGone = reinterpret_cast<HWND>(1);
  LONG_PTR userDataAtGone = -1;
  HANDLE propertyAtGone = reinterpret_cast<HANDLE>(1);
  LONG_PTR procAtGone = 0;

 private:
  LPCWSTR m_class;
  LPCWSTR m_superclass;
  UINT m_style;
};

// Refuses its creation at the given message and deletes itself once its window is gone.
class SelfDeletingWnd final : public CWindowWnd {
 public:
  SelfDeletingWnd(UINT refuseAt, int* goneCount) : m_refuseAt(refuseAt), m_goneCount(goneCount) {}
  LPCWSTR QueryClassName() const override { return _T("H10SelfDeleting"); }
  LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == m_refuseAt) return message == WM_CREATE ? -1 : FALSE;
    return CWindowWnd::ProcessMessage(message, wParam, lParam);
  }
  void OnWindowGone(HWND) override {
    ++*m_goneCount;
    delete this;
  }

 private:
  UINT m_refuseAt;
  int* m_goneCount;
};

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

class WindowWndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CUIHost::SetModuleInstance(GetModuleHandleW(nullptr));
    RegisterBaseClass();
    g_baseLog.clear();
  }
  void TearDown() override {
    Pump();
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }

  static RECT WindowRect(HWND hWnd) {
    RECT r = {};
    GetWindowRect(hWnd, &r);
    return r;
  }
};

// ---- Records --------------------------------------------------------------------------------------

TEST(UIEvent, FreshRecordsAreAllZero) {
  alignas(UIEvent) unsigned char eventBytes[sizeof(UIEvent)];
  std::memset(eventBytes, 0xA5, sizeof(eventBytes));
  const UIEvent* event = new (eventBytes) UIEvent;
  EXPECT_EQ(event->type, 0);
  EXPECT_EQ(event->sender, nullptr);
  EXPECT_EQ(event->timestamp, 0u);
  EXPECT_EQ(event->ptMouse.x, 0);
  EXPECT_EQ(event->ptMouse.y, 0);
  EXPECT_EQ(event->key, 0);
  EXPECT_EQ(event->keyState, 0);
  EXPECT_EQ(event->wParam, 0u);
  EXPECT_EQ(event->lParam, 0);

  alignas(UINotify) unsigned char notifyBytes[sizeof(UINotify)];
  std::memset(notifyBytes, 0xA5, sizeof(notifyBytes));
  UINotify* notify = new (notifyBytes) UINotify;
  EXPECT_TRUE(notify->type.IsEmpty());
  EXPECT_TRUE(notify->virtualWindow.IsEmpty());
  EXPECT_EQ(notify->sender, nullptr);
  EXPECT_EQ(notify->timestamp, 0u);
  EXPECT_EQ(notify->ptMouse.x, 0);
  EXPECT_EQ(notify->ptMouse.y, 0);
  EXPECT_EQ(notify->wParam, 0u);
  EXPECT_EQ(notify->lParam, 0);
  notify->~UINotify();

  // Pointer-sized parameters carry pointers and full 64-bit values.
  static_assert(sizeof(UIEvent::wParam) == sizeof(void*) && sizeof(UIEvent::lParam) == sizeof(void*));
  static_assert(sizeof(UINotify::wParam) == sizeof(void*) && sizeof(UINotify::lParam) == sizeof(void*));
}

TEST(UIEvent, MouseKindsAreExactlyNineToNineteen) {
  const int mouse[] = {Umbra::EVT_MOUSEMOVE,   Umbra::EVT_MOUSELEAVE, Umbra::EVT_MOUSEENTER,
                       Umbra::EVT_MOUSEHOVER,  Umbra::EVT_BUTTONDOWN, Umbra::EVT_BUTTONUP,
                       Umbra::EVT_RBUTTONDOWN, Umbra::EVT_RBUTTONUP,  Umbra::EVT_DBLCLICK,
                       Umbra::EVT_CONTEXTMENU, Umbra::EVT_SCROLLWHEEL};
  const int other[] = {Umbra::EVT_KEYDOWN,    Umbra::EVT_KEYUP,     Umbra::EVT_CHAR,
                       Umbra::EVT_SYSKEY,     Umbra::EVT_KILLFOCUS, Umbra::EVT_SETFOCUS,
                       Umbra::EVT_WINDOWSIZE, Umbra::EVT_SETCURSOR, Umbra::EVT_TIMER};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(mouse[i], 9 + i);
    EXPECT_TRUE(Umbra::IsMouseEvent(mouse[i]));
  }
  for (int kind : other) EXPECT_FALSE(Umbra::IsMouseEvent(kind)) << kind;
  EXPECT_EQ(Umbra::EVT_KEYDOWN, 3);
  EXPECT_EQ(Umbra::EVT_TIMER, 25);
}

// ---- Classes and creation -------------------------------------------------------------------------

TEST_F(WindowWndTest, RegistersItsClassAndGetsEveryMessageFromNcCreateOn) {
  TestWnd wnd(_T("H10Own"), nullptr, CS_DBLCLKS);
  // An overlapped window is asked for WM_GETMINMAXINFO before WM_NCCREATE: it cannot reach the
  // object yet and gets the default processing.
  HWND hWnd = wnd.CreateNative(nullptr, _T("own"), WS_OVERLAPPEDWINDOW, 0, 10, 20, 300, 200);
  ASSERT_NE(hWnd, nullptr);
  EXPECT_EQ(wnd.GetNativeHandle(), hWnd);
  EXPECT_EQ(wnd.handleAtNcCreate, hWnd);
  EXPECT_EQ(wnd.log, (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE}));
  EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&wnd));
  EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&CWindowWnd::ClassWindowProc));
  WCHAR text[16] = {};
  GetWindowTextW(hWnd, text, 16);
  EXPECT_EQ(std::u16string(text), u"own");
  RECT r = WindowRect(hWnd);
  EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{10, 20, 310, 220}));

  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  ASSERT_TRUE(GetClassInfoExW(CUIHost::GetModuleInstance(), _T("H10Own"), &wc));
  EXPECT_EQ(wc.style, UINT(CS_DBLCLKS));
  EXPECT_EQ(wc.lpfnWndProc, &CWindowWnd::ClassWindowProc);
  EXPECT_EQ(wc.hInstance, CUIHost::GetModuleInstance());
  EXPECT_EQ(wc.hCursor, LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(wc.hbrBackground, nullptr);
  EXPECT_EQ(wc.hIcon, nullptr);
  EXPECT_EQ(wc.cbClsExtra, 0);
  EXPECT_EQ(wc.cbWndExtra, 0);
}

TEST_F(WindowWndTest, SecondObjectOfAClassStillGetsItsWindow) {
  TestWnd first(_T("H10Shared")), second(_T("H10Shared"));
  HWND a = first.CreateNative(nullptr, _T("a"), WS_POPUP, 0, 0, 0, 50, 50);
  HWND b = second.CreateNative(nullptr, _T("b"), WS_POPUP, 0, 0, 0, 50, 50);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  // Each window finds its own object.
  EXPECT_EQ(SendMessageW(a, WM_APP, 0, 0), 0);
  EXPECT_EQ(first.Tracked({WM_APP}).size(), 1u);
  EXPECT_TRUE(second.Tracked({WM_APP}).empty());
}

TEST_F(WindowWndTest, SuperclassNeedsAnExistingClass) {
  struct Case {
    LPCWSTR className;
    LPCWSTR superclass;
    bool created;
  } cases[] = {
      {_T("H10EditSuper"), _T("Edit"), true},             // a system class, found without instance
      {_T("H10BaseSuper"), kBaseClass, true},             // one of the module's own classes
      {_T("H10MissingSuper"), _T("NoSuchClass"), false},  // nothing to extend: no class, no window
      {_T(""), nullptr, false},                           // an own class that cannot be registered
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    TestWnd wnd(c.className, c.superclass);
    HWND hWnd = wnd.CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 40, 40);
    EXPECT_EQ(hWnd != nullptr, c.created);
    EXPECT_EQ(wnd.GetNativeHandle(), hWnd);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    EXPECT_EQ(GetClassInfoExW(CUIHost::GetModuleInstance(), c.className, &wc) != 0, c.created);
    if (!c.created) {
      EXPECT_TRUE(wnd.log.empty());
    }
    EXPECT_EQ(wnd.goneCount, 0);
  }
}

TEST_F(WindowWndTest, SuperclassKeepsTheBaseClassAndPassesOnToItsProcedure) {
  TestWnd wnd(_T("H10Super"), kBaseClass);
  HWND hWnd = wnd.CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 40, 40);
  ASSERT_NE(hWnd, nullptr);

  WNDCLASSEXW base = {}, super = {};
  base.cbSize = super.cbSize = sizeof(WNDCLASSEXW);
  ASSERT_TRUE(GetClassInfoExW(CUIHost::GetModuleInstance(), kBaseClass, &base));
  ASSERT_TRUE(GetClassInfoExW(CUIHost::GetModuleInstance(), _T("H10Super"), &super));
  EXPECT_EQ(super.lpfnWndProc, &CWindowWnd::SuperclassWindowProc);
  EXPECT_EQ(super.hInstance, CUIHost::GetModuleInstance());
  EXPECT_EQ(super.style, base.style);
  EXPECT_EQ(super.cbWndExtra, base.cbWndExtra);
  EXPECT_EQ(super.hCursor, base.hCursor);
  EXPECT_EQ(super.hbrBackground, base.hbrBackground);

  // The object is kept in a property; the user data stays the base class's.
  EXPECT_EQ(GetPropW(hWnd, _T("WndX")), &wnd);
  EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_USERDATA), 0);
  // What the object leaves alone reaches the base procedure, whose answer comes back.
  EXPECT_EQ(wnd.SendToSelf(WM_APP + 1), kBaseAnswer);
  EXPECT_EQ(g_baseLog, (std::vector<UINT>{WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_APP + 1}));

  g_baseLog.clear();
  ASSERT_TRUE(DestroyWindow(hWnd));
  EXPECT_EQ(g_baseLog.back(), UINT(WM_NCDESTROY));  // the final message goes to the base only
  EXPECT_EQ(wnd.Tracked({WM_DESTROY, WM_NCDESTROY, kGone}), (std::vector<UINT>{WM_DESTROY, kGone}));
  EXPECT_EQ(wnd.goneCount, 1);
  EXPECT_EQ(wnd.propertyAtGone, nullptr);
  EXPECT_EQ(wnd.GetNativeHandle(), nullptr);
}

TEST_F(WindowWndTest, MessagesWithoutAnObjectGetDefaultProcessing) {
  // No object stored yet, as for messages that come before WM_NCCREATE.
  HWND plain = CreateWindowExW(0, kBaseClass, _T("abc"), WS_POPUP, 0, 0, 30, 30, nullptr, nullptr,
                               CUIHost::GetModuleInstance(), nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(CWindowWnd::ClassWindowProc(plain, WM_GETTEXTLENGTH, 0, 0), 3);
  EXPECT_EQ(CWindowWnd::SuperclassWindowProc(plain, WM_GETTEXTLENGTH, 0, 0), 3);
  DestroyWindow(plain);

  // A window of an object's class made without the object is a plain default window.
  TestWnd wnd(_T("H10Orphan"));
  ASSERT_NE(wnd.CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 30, 30), nullptr);
  HWND orphan = CreateWindowExW(0, _T("H10Orphan"), _T("orphan"), WS_POPUP, 0, 0, 30, 30, nullptr, nullptr,
                                CUIHost::GetModuleInstance(), nullptr);
  ASSERT_NE(orphan, nullptr);
  EXPECT_EQ(SendMessageW(orphan, WM_GETTEXTLENGTH, 0, 0), 6);
  EXPECT_TRUE(DestroyWindow(orphan));
  EXPECT_TRUE(wnd.Tracked({WM_GETTEXTLENGTH, WM_DESTROY}).empty());
  EXPECT_EQ(wnd.goneCount, 0);
}

// ---- Destruction ------------------------------------------------------------------------------------

TEST_F(WindowWndTest, WindowGoneIsReportedOnceAndTheObjectCanBeUsedAgain) {
  TestWnd wnd(_T("H10Gone"));
  HWND hWnd = wnd.CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 40, 40);
  ASSERT_NE(hWnd, nullptr);
  wnd.log.clear();
  ASSERT_TRUE(DestroyWindow(hWnd));
  EXPECT_FALSE(DestroyWindow(hWnd));
  // WM_NCDESTROY goes to the saved procedure, not to the object.
  EXPECT_EQ(wnd.log, (std::vector<UINT>{WM_DESTROY, kGone}));
  EXPECT_EQ(wnd.goneCount, 1);
  EXPECT_EQ(wnd.goneHandle, hWnd);
  EXPECT_EQ(wnd.handleAtGone, nullptr);
  EXPECT_EQ(wnd.userDataAtGone, 0);
  EXPECT_EQ(wnd.GetNativeHandle(), nullptr);

  // A second window for the same object, closed the posted way.
  HWND again = wnd.CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 40, 40);
  ASSERT_NE(again, nullptr);
  wnd.log.clear();
  wnd.RequestClose(5);
  Pump();
  EXPECT_FALSE(IsWindow(again));
  EXPECT_EQ(wnd.Tracked({WM_CLOSE, WM_DESTROY, WM_NCDESTROY, kGone}),
            (std::vector<UINT>{WM_CLOSE, WM_DESTROY, kGone}));
  EXPECT_EQ(wnd.goneCount, 2);
  EXPECT_EQ(wnd.GetNativeHandle(), nullptr);
}

TEST_F(WindowWndTest, ObjectMayDeleteItselfWhenItsCreationIsRefused) {
  for (UINT refuseAt : {UINT(WM_NCCREATE), UINT(WM_CREATE)}) {
    int goneCount = 0;
    auto* wnd = new SelfDeletingWnd(refuseAt, &goneCount);
    EXPECT_EQ(wnd->CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 40, 40), nullptr);
    EXPECT_EQ(goneCount, 1) << refuseAt;  // and the object is gone: nothing may touch it
  }
}

TEST_F(WindowWndTest, ReplacedProcedureIsRestoredBeforeTheWindowIsReportedGone) {
  HWND hWnd = CreateWindowExW(0, kBaseClass, nullptr, WS_POPUP, 0, 0, 30, 30, nullptr, nullptr,
                              CUIHost::GetModuleInstance(), nullptr);
  ASSERT_NE(hWnd, nullptr);
  const LONG_PTR baseProc = reinterpret_cast<LONG_PTR>(&BaseProc);
  const LONG_PTR ownProc = reinterpret_cast<LONG_PTR>(&CWindowWnd::ClassWindowProc);
  TestWnd wnd(_T("H10Unused"));
  ASSERT_EQ(wnd.ReplaceProcedure(hWnd), hWnd);
  EXPECT_EQ(wnd.GetNativeHandle(), hWnd);
  EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_WNDPROC), ownProc);
  EXPECT_EQ(SendMessageW(hWnd, WM_APP + 1, 0, 0), kBaseAnswer);  // through the object to the old one
  EXPECT_EQ(wnd.Tracked({WM_APP + 1}).size(), 1u);

  // Another object cannot take over a window an object already drives.
  TestWnd other(_T("H10Unused"));
  EXPECT_EQ(other.ReplaceProcedure(hWnd), nullptr);
  EXPECT_EQ(wnd.ReplaceProcedure(hWnd), nullptr);

  wnd.RestoreProcedure();
  EXPECT_EQ(GetWindowLongPtrW(hWnd, GWLP_WNDPROC), baseProc);
  SendMessageW(hWnd, WM_APP + 1, 0, 0);
  EXPECT_EQ(wnd.Tracked({WM_APP + 1}).size(), 1u);

  // Taken over again and destroyed: the old procedure gets the final message and is back in
  // place when the object hears of it.
  ASSERT_EQ(wnd.ReplaceProcedure(hWnd), hWnd);
  g_baseLog.clear();
  ASSERT_TRUE(DestroyWindow(hWnd));
  EXPECT_EQ(g_baseLog, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
  EXPECT_EQ(wnd.goneCount, 1);
  EXPECT_EQ(wnd.procAtGone, baseProc);
  EXPECT_EQ(wnd.userDataAtGone, 0);
  EXPECT_EQ(wnd.GetNativeHandle(), nullptr);
}

// ---- Showing and placing ------------------------------------------------------------------------------

TEST_F(WindowWndTest, CenterOnOwnerStaysInTheWorkAreaAndHides) {
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi));
  ASSERT_EQ((std::vector<LONG>{mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom}),
            (std::vector<LONG>{0, 0, 1920, 1040}));
  struct Case {
    bool owned;
    RECT owner;
    int cx, cy;
    POINT expected;
  } cases[] = {
      {false, {}, 301, 201, {810, 420}},                       // centred in the work area
      {false, {}, 2000, 1200, {0, 0}},                         // larger: left and top edges kept
      {true, {100, 100, 500, 400}, 200, 100, {200, 200}},      // centred on the owner
      {true, {1700, 900, 2000, 1100}, 300, 200, {1620, 840}},  // clamped to the right and bottom
      {true, {-300, -200, 100, 100}, 300, 200, {0, 0}},        // clamped to the left and top
  };
  for (const Case& c : cases) {
    TestWnd owner(_T("H10Owner")), wnd(_T("H10Centred"));
    HWND ownerWnd = nullptr;
    if (c.owned) {
      ownerWnd = owner.CreateNativeRect(nullptr, nullptr, WS_POPUP | WS_VISIBLE, 0, c.owner);
      ASSERT_NE(ownerWnd, nullptr);
    }
    HWND hWnd = wnd.CreateNative(ownerWnd, nullptr, WS_POPUP | WS_VISIBLE, 0, 7, 9, c.cx, c.cy);
    ASSERT_NE(hWnd, nullptr);
    wnd.CenterOnOwner();
    RECT r = WindowRect(hWnd);
    EXPECT_EQ(r.left, c.expected.x) << c.cx << "x" << c.cy;
    EXPECT_EQ(r.top, c.expected.y) << c.cx << "x" << c.cy;
    EXPECT_EQ(r.right - r.left, c.cx);
    EXPECT_EQ(r.bottom - r.top, c.cy);
    EXPECT_FALSE(IsWindowVisible(hWnd));
  }
}

TEST_F(WindowWndTest, ShowNativeShowsAndActivatesAsAsked) {
  struct Case {
    bool show, takeFocus;
    bool visible, active;
  } cases[] = {
      {true, true, true, true},
      {true, false, true, false},
      {false, true, false, false},
  };
  for (const Case& c : cases) {
    TestWnd other(_T("H10Other")), wnd(_T("H10Shown"));
    HWND otherWnd = other.CreateNative(nullptr, nullptr, WS_POPUP | WS_VISIBLE, 0, 0, 0, 40, 40);
    HWND hWnd = wnd.CreateNative(nullptr, nullptr, WS_POPUP | WS_VISIBLE, 0, 50, 50, 40, 40);
    ASSERT_NE(hWnd, nullptr);
    wnd.ShowNative(false, false);
    SetActiveWindow(otherWnd);
    ASSERT_EQ(GetActiveWindow(), otherWnd);
    wnd.ShowNative(c.show, c.takeFocus);
    EXPECT_EQ(IsWindowVisible(hWnd) != 0, c.visible) << c.show << c.takeFocus;
    EXPECT_EQ(GetActiveWindow() == hWnd, c.active) << c.show << c.takeFocus;
  }
}

TEST_F(WindowWndTest, OperationsWithoutAWindowDoNothing) {
  TestWnd wnd(_T("H10None"));
  wnd.ShowNative(true, true);
  wnd.CenterOnOwner();
  wnd.RequestClose(1);
  wnd.RestoreProcedure();
  EXPECT_EQ(wnd.ShowModal(), UINT(-1));
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_TRUE(wnd.log.empty());
}

// ---- Modal run --------------------------------------------------------------------------------------

TEST_F(WindowWndTest, ShowModalRunsWithTheOwnerDisabledUntilAClose) {
  TestWnd owner(_T("H10ModalOwner")), modal(_T("H10Modal"));
  HWND ownerWnd = owner.CreateNative(nullptr, nullptr, WS_POPUP | WS_VISIBLE, 0, 0, 0, 200, 200);
  HWND hWnd = modal.CreateNative(ownerWnd, nullptr, WS_POPUP, 0, 20, 20, 100, 100);
  ASSERT_NE(hWnd, nullptr);

  // The first close is refused, the second accepted; the owner is disabled again in between.
  std::vector<bool> ownerEnabled, modalVisible;
  int closes = 0;
  modal.answer = [&](UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_APP) {
      ownerEnabled.push_back(IsWindowEnabled(ownerWnd));
      modalVisible.push_back(IsWindowVisible(hWnd));
      modal.RequestClose(closes == 0 ? 7 : 9);
    }
    if (message == WM_CLOSE && ++closes == 1) {
      modal.PostToSelf(WM_APP);
      return 0;
    }
    return std::nullopt;
  };
  modal.PostToSelf(WM_APP);
  EXPECT_EQ(modal.ShowModal(), 9u);
  EXPECT_EQ(ownerEnabled, (std::vector<bool>{false, false}));
  EXPECT_EQ(modalVisible, (std::vector<bool>{true, true}));
  EXPECT_EQ(modal.Tracked({WM_APP, WM_CLOSE, WM_DESTROY, kGone}),
            (std::vector<UINT>{WM_APP, WM_CLOSE, WM_APP, WM_CLOSE, WM_DESTROY, kGone}));
  EXPECT_EQ(modal.goneCount, 1);
  EXPECT_FALSE(IsWindow(hWnd));
  EXPECT_TRUE(IsWindowEnabled(ownerWnd));
  EXPECT_EQ(GetActiveWindow(), ownerWnd);
}

TEST_F(WindowWndTest, QuitMessageEndsShowModalAndIsKeptForTheOuterLoop) {
  TestWnd modal(_T("H10ModalQuit"));
  HWND hWnd = modal.CreateNative(nullptr, nullptr, WS_POPUP, 0, 0, 0, 50, 50);
  ASSERT_NE(hWnd, nullptr);
  modal.answer = [&](UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (message == WM_APP) PostQuitMessage(3);
    return std::nullopt;
  };
  modal.PostToSelf(WM_APP);
  EXPECT_EQ(modal.ShowModal(), 0u);
  EXPECT_TRUE(IsWindow(hWnd));
  MSG msg = {};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);
}

// ---- Key state ----------------------------------------------------------------------------------------

void SendKey(WORD vk, bool down) {
  INPUT in = {};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendInput(1, &in, sizeof(in));
}

void SendButton(bool left, bool down) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = left ? (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP)
                       : (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
  SendInput(1, &in, sizeof(in));
}

TEST_F(WindowWndTest, CurrentKeyStateReportsModifiersAndSwappedButtons) {
  TestWnd wnd(_T("H10Keys"));
  HWND hWnd = wnd.CreateNative(nullptr, nullptr, WS_POPUP | WS_VISIBLE, 0, 100, 100, 200, 200);
  ASSERT_NE(hWnd, nullptr);
  SetFocus(hWnd);
  SetCursorPos(150, 150);
  Pump();
  ASSERT_EQ(Umbra::CurrentKeyState(), 0);

  struct Case {
    std::vector<WORD> keys;  // VK_LBUTTON and VK_RBUTTON are pressed with the mouse
    WORD expected;
  } cases[] = {
      {{VK_SHIFT}, Umbra::UIKEY_SHIFT},
      {{VK_CONTROL}, Umbra::UIKEY_CONTROL},
      {{VK_MENU, VK_SHIFT}, Umbra::UIKEY_ALT | Umbra::UIKEY_SHIFT},
      {{VK_LBUTTON}, Umbra::UIKEY_LBUTTON},
      {{VK_RBUTTON, VK_CONTROL}, Umbra::UIKEY_RBUTTON | Umbra::UIKEY_CONTROL},
  };
  for (const Case& c : cases) {
    for (WORD vk : c.keys) {
      if (vk == VK_LBUTTON || vk == VK_RBUTTON)
        SendButton(vk == VK_LBUTTON, true);
      else
        SendKey(vk, true);
    }
    Pump();
    EXPECT_EQ(Umbra::CurrentKeyState(), c.expected) << c.keys[0];
    for (auto it = c.keys.rbegin(); it != c.keys.rend(); ++it) {
      if (*it == VK_LBUTTON || *it == VK_RBUTTON)
        SendButton(*it == VK_LBUTTON, false);
      else
        SendKey(*it, false);
    }
    Pump();
    EXPECT_EQ(Umbra::CurrentKeyState(), 0) << c.keys[0];
  }
  // The Win32 bits of the same buttons are the other way round.
  static_assert(Umbra::UIKEY_LBUTTON == MK_RBUTTON && Umbra::UIKEY_RBUTTON == MK_LBUTTON);
}

}  // namespace
