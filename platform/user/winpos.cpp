// Window placement: SetWindowPos and the messages it causes, ShowWindow with minimise,
// maximise and restore, z-order (topmost windows first, owned windows above their owner),
// min/max tracking sizes, and the rectangle and point conversions.
//
// Sections: sizes and defaults · z-order · SetWindowPos · show states · public calls.
#include <algorithm>

#include "user/user.h"

namespace umbra::user {
namespace {

constexpr LONG kCoordLimit = 1 << 24;
constexpr POINT kMinimizedPosition{-32000, -32000};

LONG ClampCoord(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, -kCoordLimit, kCoordLimit)); }
LONG ClampSide(int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, 0, kMaxWindowSide)); }
LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }

}  // namespace

// ---- Sizes and defaults ------------------------------------------------------------------------------

bool NeedsMinMaxInfo(const Window* w) {
  return w->IsTopLevel() && ((w->style & WS_THICKFRAME) || !(w->style & WS_POPUP));
}

MINMAXINFO QueryMinMaxInfo(Window* w) {
  RECT screen, work;
  ScreenAndWorkArea(&screen, &work);
  LONG border = FrameInsets(w->style, w->exStyle).left;
  MINMAXINFO mmi{};
  mmi.ptMaxSize = POINT{Width(work) + 2 * border, Height(work) + 2 * border};
  mmi.ptMaxPosition = POINT{work.left - screen.left - border, work.top - screen.top - border};
  mmi.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
  mmi.ptMaxTrackSize = POINT{GetSystemMetrics(SM_CXMAXTRACK), GetSystemMetrics(SM_CYMAXTRACK)};
  SendMessageW(w->hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
  // Whatever the window answered, the sizes stay usable.
  for (POINT* p : {&mmi.ptMaxSize, &mmi.ptMinTrackSize, &mmi.ptMaxTrackSize}) {
    p->x = ClampSide(p->x);
    p->y = ClampSide(p->y);
  }
  mmi.ptMaxTrackSize.x = std::max(mmi.ptMaxTrackSize.x, mmi.ptMinTrackSize.x);
  mmi.ptMaxTrackSize.y = std::max(mmi.ptMaxTrackSize.y, mmi.ptMinTrackSize.y);
  mmi.ptMaxPosition = POINT{ClampCoord(mmi.ptMaxPosition.x), ClampCoord(mmi.ptMaxPosition.y)};
  return mmi;
}

RECT DefaultCreateRect(DWORD style, const Window* parent, int x, int y, int cx, int cy) {
  bool overlapped = !(style & (WS_POPUP | WS_CHILD));
  if (overlapped) {
    RECT work;
    ScreenAndWorkArea(nullptr, &work);
    if (x == CW_USEDEFAULT) {
      // New overlapped windows cascade from the work area's corner.
      static int cascade = 0;
      int step = GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
      x = work.left + step * (cascade % 8);
      y = work.top + step * (cascade % 8);
      ++cascade;
    }
    if (cx == CW_USEDEFAULT) {
      cx = Width(work) * 3 / 4;
      cy = Height(work) * 3 / 4;
    }
  }
  if (x == CW_USEDEFAULT) x = y = 0;
  if (y == CW_USEDEFAULT) y = 0;
  if (cx == CW_USEDEFAULT) cx = cy = 0;
  if (cy == CW_USEDEFAULT) cy = 0;
  LONG left = ClampCoord(x), top = ClampCoord(y);
  return RECT{left, top, left + ClampSide(cx), top + ClampSide(cy)};
}

// ---- Z-order -----------------------------------------------------------------------------------------
namespace {

// Topmost windows stay above the others, and owned windows above their owner.
void EnforceTopLevelOrder() {
  auto& list = Desktop()->children;
  std::stable_partition(list.begin(), list.end(), [](Window* w) { return w->exStyle & WS_EX_TOPMOST; });
  for (size_t guard = 0; guard <= list.size() * list.size(); ++guard) {
    bool moved = false;
    for (size_t i = 0; i < list.size() && !moved; ++i) {
      Window* o = list[i];
      if (!o->owner) continue;
      auto ownerIt = std::find(list.begin(), list.end(), o->owner);
      size_t j = static_cast<size_t>(ownerIt - list.begin());
      if (ownerIt == list.end() || i < j) continue;
      list.erase(list.begin() + static_cast<ptrdiff_t>(i));
      list.insert(list.begin() + static_cast<ptrdiff_t>(j), o);
      moved = true;
    }
    if (!moved) break;
  }
}

}  // namespace

void Restack(Window* w, HWND insertAfter) {
  bool topLevel = w->IsTopLevel();
  if (topLevel) {
    if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
    if (insertAfter == HWND_NOTOPMOST || insertAfter == HWND_BOTTOM) w->exStyle &= ~WS_EX_TOPMOST;
  }
  if (insertAfter != HWND_TOP && insertAfter != HWND_BOTTOM && insertAfter != HWND_TOPMOST &&
      insertAfter != HWND_NOTOPMOST) {
    std::shared_ptr<Window> sibling = Lookup(insertAfter);
    if (!sibling || sibling->parent != w->parent || sibling.get() == w) return;
  }
  LinkAt(w, w->parent, insertAfter);
  if (topLevel && w->parent == Desktop()) {
    EnforceTopLevelOrder();
    RestackDisplay();
  }
}

void PushNativeState(Window* w) {
  if (!w->native) return;
  display::Current().SetRect(w->native, w->rect);
  display::Current().Show(w->native, w->IsVisible());
}

// ---- SetWindowPos ----------------------------------------------------------------------------------------
namespace {}  // namespace

RECT SanitizeRect(const RECT& r) {
  RECT c{ClampCoord(r.left), ClampCoord(r.top), ClampCoord(r.right), ClampCoord(r.bottom)};
  c.right = std::max(c.right, c.left);
  c.bottom = std::max(c.bottom, c.top);
  return c;
}

namespace {

RECT CalcClient(Window* w, const RECT& newRect, WINDOWPOS& wp) {
  NCCALCSIZE_PARAMS params{};
  params.rgrc[0] = newRect;
  params.rgrc[1] = w->rect;
  params.rgrc[2] = w->client;
  params.lppos = &wp;
  CallWindow(w, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params));
  return SanitizeRect(params.rgrc[0]);
}

void RepaintAfterChange(Window* w, bool wasVisible, const RECT& oldRect, const RECT& oldClient, UINT flags) {
  bool nowVisible = IsReallyVisible(w);
  if (!nowVisible) ClearUpdateTree(w);
  if (flags & SWP_NOREDRAW) return;
  LONG ow = Width(oldClient), oh = Height(oldClient), nw = Width(w->client), nh = Height(w->client);
  bool clientSized = ow != nw || oh != nh;
  bool moved = oldRect.left != w->rect.left || oldRect.top != w->rect.top;
  bool framed = flags & SWP_FRAMECHANGED;
  if (nowVisible) {
    if (!wasVisible) {
      w->ncPaintPending = true;
      InvalidateWhole(w, true);
    } else {
      if (clientSized || framed || (moved && !w->IsTopLevel())) w->ncPaintPending = true;
      UINT cs = w->cls->style;
      bool whole = (flags & SWP_NOCOPYBITS) || ((cs & CS_HREDRAW) && ow != nw) ||
                   ((cs & CS_VREDRAW) && oh != nh) ||
                   (moved && !w->IsTopLevel());  // a child shares its parent's pixels: nothing moves with it
      if (whole) {
        InvalidateWhole(w, true);
      } else if (clientSized) {
        gdi::PixRegion exposed(RECT{0, 0, nw, nh});
        exposed.Subtract(RECT{0, 0, ow, oh});
        InvalidateRegion(w, exposed, true, RDW_ALLCHILDREN);
      }
    }
  }
  // The parent repaints what a child stopped covering.
  if (!w->IsTopLevel() && wasVisible && w->parent) {
    gdi::PixRegion uncovered(oldRect);
    if (nowVisible) uncovered.Subtract(w->rect);
    if (!uncovered.Empty()) InvalidateRegion(w->parent, uncovered, true, 0);
  }
}

}  // namespace

bool SetWindowPosFor(Window* w, HWND insertAfter, int x, int y, int cx, int cy, UINT flags,
                     bool fromDisplay) {
  std::shared_ptr<Window> keep = Lookup(w->hwnd);
  flags &= ~(kSwpNoClientSize | kSwpNoClientMove);
  if (w->IsVisible())
    flags &= ~SWP_SHOWWINDOW;
  else
    flags &= ~SWP_HIDEWINDOW;
  if (!w->IsTopLevel()) flags |= SWP_NOACTIVATE;

  WINDOWPOS wp{w->hwnd, insertAfter, x, y, cx, cy, flags};
  if (flags & SWP_NOMOVE) {
    wp.x = w->rect.left;
    wp.y = w->rect.top;
  }
  if (flags & SWP_NOSIZE) {
    wp.cx = Width(w->rect);
    wp.cy = Height(w->rect);
  }
  if (!(flags & SWP_NOSENDCHANGING)) {
    CallWindow(w, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (w->dead) return false;
  }
  RECT newRect = w->rect;
  if (!(wp.flags & SWP_NOMOVE)) {
    LONG left = ClampCoord(wp.x), top = ClampCoord(wp.y);
    OffsetRect(&newRect, left - newRect.left, top - newRect.top);
  }
  if (!(wp.flags & SWP_NOSIZE)) {
    newRect.right = newRect.left + ClampSide(wp.cx);
    newRect.bottom = newRect.top + ClampSide(wp.cy);
  }
  RECT oldRect = w->rect, oldClient = w->client;
  bool wasVisible = IsReallyVisible(w);
  bool sized = Width(newRect) != Width(oldRect) || Height(newRect) != Height(oldRect);

  RECT newClient;
  if (sized || (wp.flags & SWP_FRAMECHANGED)) {
    newClient = CalcClient(w, newRect, wp);
    if (w->dead) return false;
  } else {
    newClient = oldClient;
    OffsetRect(&newClient, newRect.left - oldRect.left, newRect.top - oldRect.top);
  }
  w->rect = newRect;
  w->client = newClient;
  if (!(wp.flags & SWP_NOZORDER)) Restack(w, wp.hwndInsertAfter);
  if (wp.flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (wp.flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
  if (w->native && !fromDisplay) PushNativeState(w);
  RepaintAfterChange(w, wasVisible, oldRect, oldClient, wp.flags);

  if (!(wp.flags & SWP_NOACTIVATE) && w->IsVisible() && !(w->exStyle & WS_EX_NOACTIVATE)) {
    ActivateWindow(w, WA_ACTIVE, false);
    if (w->dead) return false;
  }

  bool clientSized = Width(newClient) != Width(oldClient) || Height(newClient) != Height(oldClient);
  bool clientMoved = newClient.left != oldClient.left || newClient.top != oldClient.top;
  WINDOWPOS changed = wp;
  changed.x = w->rect.left;
  changed.y = w->rect.top;
  changed.cx = Width(w->rect);
  changed.cy = Height(w->rect);
  // A window that never had WM_SIZE/WM_MOVE gets them with its first change (its first show).
  if (w->sizeSent) {
    if (!clientSized) changed.flags |= kSwpNoClientSize;
    if (!clientMoved) changed.flags |= kSwpNoClientMove;
  }
  w->sizeSent = true;
  CallWindow(w, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&changed));
  return !w->dead;
}

// ---- Show states
// -------------------------------------------------------------------------------------------
namespace {

void SaveNormalRect(Window* w) {
  if (!(w->style & (WS_MINIMIZE | WS_MAXIMIZE))) w->normalRect = w->rect;
}

// Owned popups hide with their owner's minimising and come back with its restoring.
void NotifyOwnedPopups(Window* owner, bool show) {
  std::vector<HWND> owned;
  for (Window* o : Desktop()->children)
    if (o->owner == owner && (show ? !o->IsVisible() : o->IsVisible())) owned.push_back(o->hwnd);
  for (HWND h : owned)
    SendMessageW(h, WM_SHOWWINDOW, show ? TRUE : FALSE, show ? SW_PARENTOPENING : SW_PARENTCLOSING);
}

void ShowIfHidden(Window* w) {
  if (!w->IsVisible()) SendMessageW(w->hwnd, WM_SHOWWINDOW, TRUE, 0);
}

void Minimize(Window* w, int cmd) {
  HWND hwnd = w->hwnd;
  bool wasActive = CurrentQueue().active == hwnd;
  if (!(w->style & WS_MINIMIZE)) {
    w->restoreMaximized = w->style & WS_MAXIMIZE;
    SaveNormalRect(w);
    w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
    NotifyOwnedPopups(w, false);
    if (w->dead) return;
  }
  ShowIfHidden(w);
  if (w->dead) return;
  bool activate = cmd == SW_SHOWMINIMIZED;
  int cx = GetSystemMetrics(SM_CXMINIMIZED), cy = GetSystemMetrics(SM_CYMINIMIZED);
  SetWindowPosFor(w, nullptr, kMinimizedPosition.x, kMinimizedPosition.y, cx, cy,
                  SWP_SHOWWINDOW | SWP_NOZORDER | SWP_FRAMECHANGED | (activate ? 0 : SWP_NOACTIVATE), false);
  if (Lookup(hwnd) && wasActive && (cmd == SW_MINIMIZE || cmd == SW_FORCEMINIMIZE)) ActivateOtherWindow(w);
}

RECT MaximizedRect(Window* w) {
  RECT screen;
  ScreenAndWorkArea(&screen, nullptr);
  MINMAXINFO mmi = QueryMinMaxInfo(w);
  LONG cx = std::min(mmi.ptMaxSize.x, mmi.ptMaxTrackSize.x);
  LONG cy = std::min(mmi.ptMaxSize.y, mmi.ptMaxTrackSize.y);
  LONG x = screen.left + mmi.ptMaxPosition.x, y = screen.top + mmi.ptMaxPosition.y;
  return RECT{x, y, x + cx, y + cy};
}

void Maximize(Window* w, bool activate) {
  if (w->style & WS_MINIMIZE) NotifyOwnedPopups(w, true);
  SaveNormalRect(w);
  w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
  if (w->dead) return;
  RECT r = MaximizedRect(w);
  if (w->dead) return;
  ShowIfHidden(w);
  if (w->dead) return;
  SetWindowPosFor(w, nullptr, r.left, r.top, Width(r), Height(r),
                  SWP_SHOWWINDOW | SWP_FRAMECHANGED | (activate ? 0 : SWP_NOACTIVATE), false);
}

void Restore(Window* w, bool activate) {
  bool fromMinimized = w->style & WS_MINIMIZE;
  if (fromMinimized && w->restoreMaximized) {
    Maximize(w, activate);
    return;
  }
  w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
  if (fromMinimized) NotifyOwnedPopups(w, true);
  if (w->dead) return;
  ShowIfHidden(w);
  if (w->dead) return;
  RECT r = w->normalRect;
  SetWindowPosFor(w, nullptr, r.left, r.top, Width(r), Height(r),
                  SWP_SHOWWINDOW | SWP_FRAMECHANGED | (activate ? 0 : SWP_NOACTIVATE), false);
}

void Show(Window* w, bool activate) {
  ShowIfHidden(w);
  if (w->dead) return;
  UINT flags = SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER;
  if (!activate || (w->style & WS_CHILD)) flags |= SWP_NOACTIVATE;
  SetWindowPosFor(w, nullptr, 0, 0, 0, 0, flags, false);
}

void Hide(Window* w) {
  HWND hwnd = w->hwnd;
  bool wasActive = CurrentQueue().active == hwnd;
  SendMessageW(hwnd, WM_SHOWWINDOW, FALSE, 0);
  if (w->dead) return;
  SetWindowPosFor(w, nullptr, 0, 0, 0, 0,
                  SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, false);
  if (!Lookup(hwnd)) return;
  if (wasActive) ActivateOtherWindow(w);
  // A hidden window cannot keep the focus.
  ThreadQueue& q = CurrentQueue();
  std::shared_ptr<Window> focus = Lookup(q.focus);
  if (focus && IsDescendant(w, focus.get())) SetFocus(nullptr);
}

}  // namespace
}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

// ---- Public calls -----------------------------------------------------------------------------------------

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || w->IsRoot() || w->dead) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SetWindowPosFor(w.get(), hWndInsertAfter, X, Y, cx, cy, uFlags, false) ? TRUE : FALSE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return SetWindowPos(hWnd, nullptr, X, Y, nWidth, nHeight,
                      SWP_NOZORDER | SWP_NOACTIVATE | (bRepaint ? 0 : SWP_NOREDRAW));
}

BOOL WINAPI BringWindowToTop(HWND hWnd) {
  return SetWindowPos(hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) {
  std::shared_ptr<Window> ref = Lookup(hWnd);
  if (!ref || ref->IsRoot() || ref->dead) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Window* w = ref.get();
  BOOL wasVisible = w->IsVisible() ? TRUE : FALSE;
  bool minOrMax = w->style & (WS_MINIMIZE | WS_MAXIMIZE);
  switch (nCmdShow) {
    case SW_HIDE:
      if (wasVisible) Hide(w);
      break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
      if (w->IsTopLevel()) Minimize(w, nCmdShow);
      break;
    case SW_SHOWMAXIMIZED:
      if (w->IsTopLevel()) Maximize(w, true);
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
      if (minOrMax)
        Restore(w, true);
      else
        Show(w, true);
      break;
    case SW_SHOWNOACTIVATE:
      if (minOrMax)
        Restore(w, false);
      else
        Show(w, false);
      break;
    case SW_SHOW:
      Show(w, true);
      break;
    case SW_SHOWNA:
      Show(w, false);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  return wasVisible;
}

BOOL WINAPI GetWindowPlacement(HWND hWnd, WINDOWPLACEMENT* lpwndpl) {
  Window* w = Get(hWnd);
  if (!w || !lpwndpl) return FALSE;
  lpwndpl->flags = w->restoreMaximized ? 2 /* WPF_RESTORETOMAXIMIZED */ : 0;
  lpwndpl->showCmd = (w->style & WS_MINIMIZE)   ? SW_SHOWMINIMIZED
                     : (w->style & WS_MAXIMIZE) ? SW_SHOWMAXIMIZED
                                                : SW_SHOWNORMAL;
  lpwndpl->ptMinPosition = POINT{-1, -1};
  lpwndpl->ptMaxPosition = POINT{-1, -1};
  lpwndpl->rcNormalPosition = (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) ? w->normalRect : w->rect;
  if (w->IsTopLevel()) {
    // Top-level placements are given in work-area coordinates.
    RECT work;
    ScreenAndWorkArea(nullptr, &work);
    OffsetRect(&lpwndpl->rcNormalPosition, -work.left, -work.top);
  }
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  Window* w = Get(hWnd);
  if (!w || !lpRect) return FALSE;
  *lpRect = ScreenRect(w);
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  Window* w = Get(hWnd);
  if (!w || !lpRect) return FALSE;
  *lpRect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  Window* w = Get(hWnd);
  if (!w || !lpPoint) return FALSE;
  POINT origin = ClientOrigin(w);
  lpPoint->x += origin.x;
  lpPoint->y += origin.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  Window* w = Get(hWnd);
  if (!w || !lpPoint) return FALSE;
  POINT origin = ClientOrigin(w);
  lpPoint->x -= origin.x;
  lpPoint->y -= origin.y;
  return TRUE;
}

int WINAPI MapWindowPoints(HWND hWndFrom, HWND hWndTo, LPPOINT lpPoints, UINT cPoints) {
  Window* from = hWndFrom ? Get(hWndFrom) : Desktop();
  Window* to = hWndTo ? Get(hWndTo) : Desktop();
  if (!from || !to) return 0;
  POINT a = ClientOrigin(from), b = ClientOrigin(to);
  LONG dx = a.x - b.x, dy = a.y - b.y;
  for (UINT i = 0; lpPoints && i < cPoints; ++i) {
    lpPoints[i].x += dx;
    lpPoints[i].y += dy;
  }
  SetLastError(ERROR_SUCCESS);  // a zero offset is not a failure
  return MAKELONG(static_cast<SHORT>(dx), static_cast<SHORT>(dy));
}

BOOL WINAPI AdjustWindowRectEx(LPRECT lpRect, DWORD dwStyle, BOOL bMenu, DWORD dwExStyle) {
  if (!lpRect) return FALSE;
  RECT in = FrameInsets(dwStyle, dwExStyle);
  lpRect->left -= in.left;
  lpRect->top -= in.top + (bMenu ? GetSystemMetrics(SM_CYMENU) : 0);
  lpRect->right += in.right;
  lpRect->bottom += in.bottom;
  return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT lpRect, DWORD dwStyle, BOOL bMenu) {
  return AdjustWindowRectEx(lpRect, dwStyle, bMenu, 0);
}

HWND WINAPI WindowFromPoint(POINT Point) {
  int hit;
  return WindowAt(Point, &hit);
}

HWND WINAPI ChildWindowFromPoint(HWND hWndParent, POINT Point) {
  Window* parent = Get(hWndParent);
  if (!parent) return nullptr;
  RECT client{0, 0, parent->client.right - parent->client.left, parent->client.bottom - parent->client.top};
  if (!PtInRect(&client, Point)) return nullptr;
  for (Window* c : parent->children)
    if (PtInRect(&c->rect, Point)) return c->hwnd;
  return hWndParent;
}
