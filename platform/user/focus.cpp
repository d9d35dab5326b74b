// Activation, keyboard focus and mouse capture, with the messages Windows sends for them:
// WM_NCACTIVATE, WM_ACTIVATE and WM_ACTIVATEAPP on activation, WM_KILLFOCUS/WM_SETFOCUS with the
// other window in wParam, WM_CAPTURECHANGED to the window losing the capture.
#include <atomic>

#include "user/user.h"

namespace umbra::user {
namespace {

std::atomic<HWND> g_foreground{nullptr};

void SendActivateApp(ThreadQueue& q, BOOL active) {
  std::vector<HWND> mine;
  for (Window* w : Desktop()->children)
    if (w->queue.get() == &q && !w->dead) mine.push_back(w->hwnd);
  for (HWND h : mine) SendMessageW(h, WM_ACTIVATEAPP, active, 0);
}

bool CanActivate(const Window* w, const Window* leaving) {
  if (w == leaving || w->dead || w->destroying || !w->IsVisible()) return false;
  if (w->style & (WS_DISABLED | WS_MINIMIZE)) return false;
  if (w->exStyle & WS_EX_NOACTIVATE) return false;
  // Click-through layered windows (shadows, overlays) never take the activation.
  if ((w->exStyle & WS_EX_LAYERED) && (w->exStyle & WS_EX_TRANSPARENT)) return false;
  if (leaving && IsDescendant(leaving, w)) return false;
  for (const Window* o = w->owner; o; o = o->owner)
    if (o == leaving) return false;
  return w->queue.get() == &CurrentQueue();
}

}  // namespace

void ActivateWindow(Window* w, WORD how, bool raise) {
  ThreadQueue& q = CurrentQueue();
  HWND newHwnd = w ? w->hwnd : nullptr;
  HWND oldHwnd = q.active;
  if (oldHwnd == newHwnd) return;
  if (w && raise) {
    SetWindowPosFor(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE, false);
    if (!Lookup(newHwnd)) return;
  }
  q.active = newHwnd;
  g_foreground = newHwnd;
  if (w) ClaimInput(q);

  if (std::shared_ptr<Window> old = Lookup(oldHwnd)) {
    SendMessageW(oldHwnd, WM_NCACTIVATE, FALSE, 0);
    BOOL minimized = IsIconic(oldHwnd);
    SendMessageW(oldHwnd, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, minimized), reinterpret_cast<LPARAM>(newHwnd));
  }
  if (q.active != newHwnd) return;  // a handler activated something else meanwhile
  if (!oldHwnd && newHwnd) SendActivateApp(q, TRUE);
  if (oldHwnd && !newHwnd) SendActivateApp(q, FALSE);

  if (std::shared_ptr<Window> ref = Lookup(newHwnd)) {
    SendMessageW(newHwnd, WM_NCACTIVATE, TRUE, 0);
    BOOL minimized = IsIconic(newHwnd);
    SendMessageW(newHwnd, WM_ACTIVATE, MAKEWPARAM(how, minimized), reinterpret_cast<LPARAM>(oldHwnd));
    if (ref->native) display::Current().Activate(ref->native);
  }
  // The focus lives inside the active window, or nowhere.
  std::shared_ptr<Window> focus = Lookup(q.focus);
  std::shared_ptr<Window> active = Lookup(q.active);
  if (q.focus && (!focus || !active || !IsDescendant(active.get(), focus.get()))) SetFocus(nullptr);
}

void ActivateOtherWindow(Window* leaving) {
  ThreadQueue& q = CurrentQueue();
  if (leaving && q.active != leaving->hwnd) return;
  Window* next = nullptr;
  if (leaving && leaving->owner && CanActivate(leaving->owner, leaving)) next = leaving->owner;
  for (Window* w : Desktop()->children) {
    if (next) break;
    if (CanActivate(w, leaving)) next = w;
  }
  ActivateWindow(next, WA_ACTIVE, next != nullptr);
}

void ForgetWindowState(Window* w) {
  ThreadQueue& q = CurrentQueue();
  if (std::shared_ptr<Window> active = Lookup(q.active); active && IsDescendant(w, active.get()))
    ActivateOtherWindow(active.get());
  if (std::shared_ptr<Window> focus = Lookup(q.focus); focus && IsDescendant(w, focus.get()))
    SetFocus(nullptr);
  if (std::shared_ptr<Window> capture = Lookup(q.capture); capture && IsDescendant(w, capture.get()))
    ReleaseCapture();
  if (g_foreground.load() == w->hwnd) g_foreground = nullptr;
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

HWND WINAPI SetFocus(HWND hWnd) {
  ThreadQueue& q = CurrentQueue();
  HWND old = q.focus;
  if (!hWnd) {
    if (!old) return nullptr;
    q.focus = nullptr;
    if (IsWindow(old)) SendMessageW(old, WM_KILLFOCUS, 0, 0);
    return old;
  }
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || w->dead) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (w->queue.get() != &q) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (old == hWnd) return old;
  // Focusing a window activates its top-level window first.
  Window* top = TopLevelOf(w.get());
  if (q.active != top->hwnd) {
    ActivateWindow(top, WA_ACTIVE, true);
    if (w->dead) return nullptr;
    if (q.focus == hWnd) return old;
  }
  HWND losing = q.focus;
  if (losing && IsWindow(losing)) {
    SendMessageW(losing, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hWnd), 0);
    if (q.focus != losing || w->dead) return old;  // a handler moved the focus itself
  }
  q.focus = hWnd;
  SendMessageW(hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(losing), 0);
  return old;
}

HWND WINAPI GetFocus(void) { return CurrentQueue().focus; }

HWND WINAPI SetActiveWindow(HWND hWnd) {
  ThreadQueue& q = CurrentQueue();
  HWND old = q.active;
  if (!hWnd) {
    ActivateWindow(nullptr, WA_INACTIVE, false);
    return old;
  }
  Window* w = Get(hWnd);
  if (!w) return nullptr;
  if (w->queue.get() != &q) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  ActivateWindow(TopLevelOf(w), WA_ACTIVE, true);
  return old;
}

HWND WINAPI GetActiveWindow(void) { return CurrentQueue().active; }

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  Window* w = Get(hWnd);
  if (!w || w->queue.get() != &CurrentQueue()) return FALSE;
  ActivateWindow(TopLevelOf(w), WA_ACTIVE, true);
  return TRUE;
}

HWND WINAPI GetForegroundWindow(void) { return g_foreground.load(); }

HWND WINAPI SetCapture(HWND hWnd) {
  ThreadQueue& q = CurrentQueue();
  HWND old = q.capture;
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || w->dead || w->queue.get() != &q) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  if (old == hWnd) return old;
  q.capture = hWnd;
  if (old && IsWindow(old)) SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hWnd));
  if (Window* top = TopLevelOf(w.get()); top && top->native) display::Current().SetCapture(top->native);
  return old;
}

BOOL WINAPI ReleaseCapture(void) {
  ThreadQueue& q = CurrentQueue();
  HWND old = q.capture;
  if (!old) return TRUE;
  q.capture = nullptr;
  display::Current().SetCapture(nullptr);
  if (IsWindow(old)) SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND WINAPI GetCapture(void) { return CurrentQueue().capture; }
