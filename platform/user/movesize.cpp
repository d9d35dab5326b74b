// The interactive move and size loop DefWindowProcW runs for SC_MOVE and SC_SIZE: a modal
// message loop holding the capture until the button is released (Escape puts the window back),
// with WM_ENTERSIZEMOVE/WM_EXITSIZEMOVE around it, WM_MOVING/WM_SIZING before each step, and
// sizes kept within WM_GETMINMAXINFO's tracking limits. A display with a window manager may
// take the whole job over through Backend::BeginMoveSize.
#include <algorithm>

#include "user/user.h"

namespace umbra::user {
namespace {

struct Drag {
  bool moving = true;
  int edge = 0;  // WMSZ_* while sizing
  POINT start{};
  RECT original{};  // parent client coordinates
  MINMAXINFO limits{};
};

bool TouchesLeft(int edge) { return edge == WMSZ_LEFT || edge == WMSZ_TOPLEFT || edge == WMSZ_BOTTOMLEFT; }
bool TouchesRight(int edge) {
  return edge == WMSZ_RIGHT || edge == WMSZ_TOPRIGHT || edge == WMSZ_BOTTOMRIGHT;
}
bool TouchesTop(int edge) { return edge == WMSZ_TOP || edge == WMSZ_TOPLEFT || edge == WMSZ_TOPRIGHT; }
bool TouchesBottom(int edge) {
  return edge == WMSZ_BOTTOM || edge == WMSZ_BOTTOMLEFT || edge == WMSZ_BOTTOMRIGHT;
}

RECT SizedRect(const Drag& d, POINT pt) {
  RECT r = d.original;
  LONG dx = pt.x - d.start.x, dy = pt.y - d.start.y;
  const POINT& lo = d.limits.ptMinTrackSize;
  const POINT& hi = d.limits.ptMaxTrackSize;
  if (TouchesLeft(d.edge)) r.left = r.right - std::clamp(r.right - (r.left + dx), lo.x, hi.x);
  if (TouchesRight(d.edge)) r.right = r.left + std::clamp(r.right + dx - r.left, lo.x, hi.x);
  if (TouchesTop(d.edge)) r.top = r.bottom - std::clamp(r.bottom - (r.top + dy), lo.y, hi.y);
  if (TouchesBottom(d.edge)) r.bottom = r.top + std::clamp(r.bottom + dy - r.top, lo.y, hi.y);
  return r;
}

void Step(Window* w, const Drag& d, POINT pt) {
  HWND hwnd = w->hwnd;
  RECT r = d.original;
  if (d.moving) {
    OffsetRect(&r, pt.x - d.start.x, pt.y - d.start.y);
    SendMessageW(hwnd, WM_MOVING, 0, reinterpret_cast<LPARAM>(&r));
    if (IsWindow(hwnd))
      SetWindowPos(hwnd, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return;
  }
  r = SizedRect(d, pt);
  SendMessageW(hwnd, WM_SIZING, static_cast<WPARAM>(d.edge), reinterpret_cast<LPARAM>(&r));
  if (IsWindow(hwnd))
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceAt(HWND hwnd, const RECT& r) {
  SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

// Runs until the button goes up, the capture is lost or the window goes away.
void Loop(HWND hwnd, Drag& d) {
  POINT last = d.start;
  for (MSG msg; GetCapture() == hwnd;) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave the quit for the outer loop
      return;
    }
    std::shared_ptr<Window> w = Lookup(hwnd);
    if (!w) return;
    bool mouse = msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST;
    bool moved = msg.pt.x != last.x || msg.pt.y != last.y;
    if (msg.message == WM_MOUSEMOVE) {
      if (moved) Step(w.get(), d, msg.pt);
      last = msg.pt;
    } else if (msg.message == WM_LBUTTONUP) {
      if (moved) Step(w.get(), d, msg.pt);
      return;
    } else if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
      PlaceAt(hwnd, d.original);
      return;
    } else if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
      return;
    } else if (!mouse && msg.message != WM_KEYDOWN && msg.message != WM_KEYUP) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

}  // namespace

void RunMoveSizeLoop(Window* w, WPARAM command, LPARAM screenPoint) {
  HWND hwnd = w->hwnd;
  Drag d;
  d.moving = (command & 0xFFF0) == SC_MOVE;
  d.edge = static_cast<int>(command & 0x0F);
  if (w->style & (WS_MAXIMIZE | WS_MINIMIZE)) return;
  if (!d.moving && (!(w->style & WS_THICKFRAME) || d.edge < WMSZ_LEFT || d.edge > WMSZ_BOTTOMRIGHT)) return;
  d.start = screenPoint
                ? POINT{static_cast<SHORT>(LOWORD(screenPoint)), static_cast<SHORT>(HIWORD(screenPoint))}
                : CursorPosition();
  Window* top = TopLevelOf(w);
  int hit = d.moving ? HTCAPTION : HTLEFT + d.edge - WMSZ_LEFT;
  if (top == w && w->native && display::Current().BeginMoveSize(w->native, hit, d.start)) return;

  d.original = w->rect;
  if (!d.moving) {
    d.limits = QueryMinMaxInfo(w);
    if (!IsWindow(hwnd)) return;
  }
  SetCapture(hwnd);
  SendMessageW(hwnd, WM_ENTERSIZEMOVE, 0, 0);
  if (IsWindow(hwnd)) Loop(hwnd, d);
  if (GetCapture() == hwnd) ReleaseCapture();
  if (IsWindow(hwnd)) SendMessageW(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace umbra::user
