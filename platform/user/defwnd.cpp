// DefWindowProcW: the default answer to every message, as Win32 code relies on it.
//
// Sections: creation and text · geometry and hit testing · mouse · keyboard · painting ·
// system commands · the procedure.
#include <algorithm>

#include "user/remote.h"
#include "user/user.h"

namespace umbra::user {
namespace {

// ---- Creation and text ---------------------------------------------------------------------------

LRESULT OnNcCreate(Window* w, const CREATESTRUCTW* cs) {
  // A name starting with 0xFFFF is a resource ordinal, not text.
  if (cs && cs->lpszName && cs->lpszName[0] != 0xFFFF) {
    w->text = cs->lpszName;
    if (w->native) display::Current().SetTitle(w->native, w->text.c_str());
    if (w->parent == Desktop()) ListTopLevelWindow(w->hwnd);
  }
  return TRUE;
}

LRESULT OnSetText(Window* w, LPCWSTR text) {
  w->text = text ? text : u"";
  if (w->native) display::Current().SetTitle(w->native, w->text.c_str());
  if (w->parent == Desktop()) ListTopLevelWindow(w->hwnd);
  return TRUE;
}

LRESULT OnGetText(Window* w, WPARAM size, LPWSTR buffer) {
  if (!buffer || size == 0) return 0;
  size_t n = std::min(w->text.size(), static_cast<size_t>(size) - 1);
  std::copy_n(w->text.data(), n, buffer);
  buffer[n] = 0;
  return static_cast<LRESULT>(n);
}

LRESULT OnSetIcon(Window* w, WPARAM which, HICON icon) {
  HICON& slot = which == ICON_BIG ? w->iconBig : w->iconSmall;
  HICON old = slot;
  slot = icon;
  return reinterpret_cast<LRESULT>(old);
}

LRESULT OnGetIcon(Window* w, WPARAM which) {
  if (which == ICON_BIG) return reinterpret_cast<LRESULT>(w->iconBig);
  if (which == ICON_SMALL) return reinterpret_cast<LRESULT>(w->iconSmall);
  return reinterpret_cast<LRESULT>(w->iconSmall ? w->iconSmall : w->iconBig);  // ICON_SMALL2
}

// ---- Geometry and hit testing ----------------------------------------------------------------------

RECT ClientFromWindowRect(const Window* w, const RECT& rect) {
  if (w->style & WS_MINIMIZE) return RECT{rect.left, rect.top, rect.left, rect.top};
  RECT in = FrameInsets(w->style, w->exStyle);
  RECT c{rect.left + in.left, rect.top + in.top, rect.right - in.right, rect.bottom - in.bottom};
  c.right = std::max(c.right, c.left);
  c.bottom = std::max(c.bottom, c.top);
  return c;
}

LRESULT OnNcCalcSize(Window* w, WPARAM calcValidRects, LPARAM lParam) {
  if (!lParam) return 0;
  if (calcValidRects) {
    auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
    params->rgrc[0] = ClientFromWindowRect(w, params->rgrc[0]);
  } else {
    auto* rect = reinterpret_cast<RECT*>(lParam);
    *rect = ClientFromWindowRect(w, *rect);
  }
  return 0;
}

LRESULT OnWindowPosChanging(Window* w, WINDOWPOS* wp) {
  if (!wp || (wp->flags & SWP_NOSIZE) || !NeedsMinMaxInfo(w) || (w->style & WS_MINIMIZE)) return 0;
  MINMAXINFO mmi = QueryMinMaxInfo(w);
  wp->cx = std::clamp(wp->cx, static_cast<int>(mmi.ptMinTrackSize.x), static_cast<int>(mmi.ptMaxTrackSize.x));
  wp->cy = std::clamp(wp->cy, static_cast<int>(mmi.ptMinTrackSize.y), static_cast<int>(mmi.ptMaxTrackSize.y));
  return 0;
}

LRESULT OnWindowPosChanged(Window* w, const WINDOWPOS* wp) {
  if (!wp) return 0;
  HWND hwnd = w->hwnd;
  if (!(wp->flags & kSwpNoClientSize)) {
    WPARAM kind = (w->style & WS_MINIMIZE)   ? SIZE_MINIMIZED
                  : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED
                                             : SIZE_RESTORED;
    SendMessageW(hwnd, WM_SIZE, kind,
                 MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
  }
  std::shared_ptr<Window> alive = Lookup(hwnd);
  if (alive && !(wp->flags & kSwpNoClientMove))
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(alive->client.left, alive->client.top));
  return 0;
}

}  // namespace

LRESULT DefaultHitTest(Window* w, POINT pt) {
  RECT whole = ScreenRect(w);
  if (!PtInRect(&whole, pt)) return HTNOWHERE;
  if (w->style & WS_MINIMIZE) return HTCAPTION;
  RECT client = ScreenClient(w);
  if (PtInRect(&client, pt)) return HTCLIENT;
  RECT in = FrameInsets(w->style, w->exStyle);
  LONG border = in.left;
  if ((w->style & WS_THICKFRAME) && !(w->style & WS_MAXIMIZE)) {
    // Corners reach along each edge as far as a caption is high.
    LONG corner = std::max(border, static_cast<LONG>(GetSystemMetrics(SM_CYCAPTION)));
    bool left = pt.x < whole.left + border, right = pt.x >= whole.right - border;
    bool top = pt.y < whole.top + border, bottom = pt.y >= whole.bottom - border;
    bool nearLeft = pt.x < whole.left + corner, nearRight = pt.x >= whole.right - corner;
    bool nearTop = pt.y < whole.top + corner, nearBottom = pt.y >= whole.bottom - corner;
    if (top) return nearLeft ? HTTOPLEFT : nearRight ? HTTOPRIGHT : HTTOP;
    if (bottom) return nearLeft ? HTBOTTOMLEFT : nearRight ? HTBOTTOMRIGHT : HTBOTTOM;
    if (left) return nearTop ? HTTOPLEFT : nearBottom ? HTBOTTOMLEFT : HTLEFT;
    if (right) return nearTop ? HTTOPRIGHT : nearBottom ? HTBOTTOMRIGHT : HTRIGHT;
  }
  if ((w->style & WS_CAPTION) == WS_CAPTION && pt.y < client.top && pt.y >= whole.top + border &&
      pt.x >= whole.left + border && pt.x < whole.right - border)
    return HTCAPTION;
  return HTBORDER;
}

namespace {

// ---- Mouse ----------------------------------------------------------------------------------------------

LRESULT OnMouseActivate(Window* w, WPARAM wParam, LPARAM lParam) {
  if ((w->style & WS_CHILD) && w->parent && !w->parent->IsRoot()) {
    LRESULT r = SendMessageW(w->parent->hwnd, WM_MOUSEACTIVATE, wParam, lParam);
    if (r) return r;
  }
  return static_cast<SHORT>(LOWORD(lParam)) >= HTCLIENT ? MA_ACTIVATE : MA_NOACTIVATE;
}

HCURSOR CursorForHit(int hit) {
  switch (hit) {
    case HTLEFT:
    case HTRIGHT:
      return LoadCursorW(nullptr, IDC_SIZEWE);
    case HTTOP:
    case HTBOTTOM:
      return LoadCursorW(nullptr, IDC_SIZENS);
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
      return LoadCursorW(nullptr, IDC_SIZENWSE);
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
      return LoadCursorW(nullptr, IDC_SIZENESW);
  }
  return LoadCursorW(nullptr, IDC_ARROW);
}

LRESULT OnSetCursor(Window* w, WPARAM wParam, LPARAM lParam) {
  // The parent decides first for its children.
  if ((w->style & WS_CHILD) && w->parent && !w->parent->IsRoot() &&
      SendMessageW(w->parent->hwnd, WM_SETCURSOR, wParam, lParam))
    return TRUE;
  int hit = static_cast<SHORT>(LOWORD(lParam));
  if (hit == HTERROR) return FALSE;
  if (hit == HTCLIENT) {
    if (!w->cls->cursor) return FALSE;
    SetCursor(w->cls->cursor);
    return TRUE;
  }
  SetCursor(CursorForHit(hit));
  return TRUE;
}

void SendContextMenu(HWND hwnd, POINT screen) {
  SendMessageW(hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(screen.x, screen.y));
}

LRESULT OnNcLButtonDown(Window* w, WPARAM hit, LPARAM lParam) {
  HWND hwnd = w->hwnd;
  if (hit == HTCAPTION) {
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lParam);
  } else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT && (w->style & WS_THICKFRAME)) {
    SendMessageW(hwnd, WM_SYSCOMMAND, SC_SIZE | (hit - HTLEFT + WMSZ_LEFT), lParam);
  }
  return 0;
}

LRESULT OnNcLButtonDblClk(Window* w, WPARAM hit, LPARAM lParam) {
  if (hit != HTCAPTION || !(w->style & WS_MAXIMIZEBOX)) return 0;
  SendMessageW(w->hwnd, WM_SYSCOMMAND, (w->style & (WS_MAXIMIZE | WS_MINIMIZE)) ? SC_RESTORE : SC_MAXIMIZE,
               lParam);
  return 0;
}

LRESULT ToParent(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
  if ((w->style & WS_CHILD) && w->parent && !w->parent->IsRoot())
    return SendMessageW(w->parent->hwnd, message, wParam, lParam);
  return 0;
}

// ---- Keyboard --------------------------------------------------------------------------------------------

LRESULT OnSysKeyDown(Window* w, WPARAM vk, LPARAM lParam) {
  bool alt = lParam & (LPARAM{1} << 29);
  if (vk == VK_F4 && alt) {
    SendMessageW(TopLevelOf(w)->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  } else if (vk == VK_F10 && (GetKeyState(VK_SHIFT) & 0x8000)) {
    SendMessageW(w->hwnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(w->hwnd), -1);
  }
  return 0;
}

// ---- Painting
// ----------------------------------------------------------------------------------------------

LRESULT OnPaint(HWND hwnd) {
  PAINTSTRUCT ps;
  if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
  return 0;
}

LRESULT OnPrint(Window* w, HDC hdc, LPARAM flags) {
  HWND hwnd = w->hwnd;
  if ((flags & PRF_CHECKVISIBLE) && !IsWindowVisible(hwnd)) return 0;
  if (flags & PRF_ERASEBKGND) SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  if (flags & PRF_CLIENT) SendMessageW(hwnd, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hdc), flags);
  // PRF_CHILDREN needs the DC's window origin to place each child: it comes with the drawing layer.
  return 0;
}

LRESULT OnShowWindow(Window* w, WPARAM show, LPARAM status) {
  // Owned popups follow their owner being minimised and restored.
  if (status == SW_PARENTCLOSING && !show && w->IsVisible()) {
    w->hiddenByOwner = true;
    SetWindowPos(w->hwnd, nullptr, 0, 0, 0, 0,
                 SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  } else if (status == SW_PARENTOPENING && show && w->hiddenByOwner) {
    w->hiddenByOwner = false;
    SetWindowPos(w->hwnd, nullptr, 0, 0, 0, 0,
                 SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return 0;
}

LRESULT OnSetRedraw(Window* w, WPARAM redraw) {
  // Win32 toggles the visible flag without the usual messages.
  if (redraw) {
    if (!w->IsVisible()) {
      w->style |= WS_VISIBLE;
      if (w->native) display::Current().Show(w->native, true);
    }
  } else if (w->IsVisible()) {
    w->style &= ~WS_VISIBLE;
    ClearUpdateTree(w);
  }
  return 0;
}

// ---- System commands
// ------------------------------------------------------------------------------------------

LRESULT OnSysCommand(Window* w, WPARAM command, LPARAM lParam) {
  HWND hwnd = w->hwnd;
  switch (command & 0xFFF0) {
    case SC_CLOSE:
      if (!(w->cls->style & CS_NOCLOSE)) SendMessageW(hwnd, WM_CLOSE, 0, 0);
      break;
    case SC_MINIMIZE:
      ShowWindow(hwnd, SW_MINIMIZE);
      break;
    case SC_MAXIMIZE:
      ShowWindow(hwnd, SW_MAXIMIZE);
      break;
    case SC_RESTORE:
      ShowWindow(hwnd, SW_RESTORE);
      break;
    case SC_MOVE:
    case SC_SIZE:
      RunMoveSizeLoop(w, command, lParam);
      break;
  }
  return 0;
}

}  // namespace
}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

// ---- The procedure
// --------------------------------------------------------------------------------------------

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window> ref = Lookup(hWnd);
  if (!ref || ref->dead) return 0;
  Window* w = ref.get();
  switch (Msg) {
    case WM_NCCREATE:
      return OnNcCreate(w, reinterpret_cast<const CREATESTRUCTW*>(lParam));
    case WM_NCCALCSIZE:
      return OnNcCalcSize(w, wParam, lParam);
    case WM_NCHITTEST:
      return DefaultHitTest(w, POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))});
    case WM_NCPAINT:
      PaintFrame(w);
      return 0;
    case WM_NCACTIVATE:
      PaintFrame(w);
      return TRUE;
    case WM_SETTEXT:
      return OnSetText(w, reinterpret_cast<LPCWSTR>(lParam));
    case WM_GETTEXT:
      return OnGetText(w, wParam, reinterpret_cast<LPWSTR>(lParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_SETICON:
      return OnSetIcon(w, wParam, reinterpret_cast<HICON>(lParam));
    case WM_GETICON:
      return OnGetIcon(w, wParam);
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_WINDOWPOSCHANGING:
      return OnWindowPosChanging(w, reinterpret_cast<WINDOWPOS*>(lParam));
    case WM_WINDOWPOSCHANGED:
      return OnWindowPosChanged(w, reinterpret_cast<const WINDOWPOS*>(lParam));
    case WM_SHOWWINDOW:
      return OnShowWindow(w, wParam, lParam);
    case WM_SETREDRAW:
      return OnSetRedraw(w, wParam);
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) SetFocus(hWnd);
      return 0;
    case WM_MOUSEACTIVATE:
      return OnMouseActivate(w, wParam, lParam);
    case WM_SETCURSOR:
      return OnSetCursor(w, wParam, lParam);
    case WM_NCLBUTTONDOWN:
      return OnNcLButtonDown(w, wParam, lParam);
    case WM_NCLBUTTONDBLCLK:
      return OnNcLButtonDblClk(w, wParam, lParam);
    case WM_RBUTTONUP: {
      POINT pt{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))};
      ClientToScreen(hWnd, &pt);
      SendContextMenu(hWnd, pt);
      return 0;
    }
    case WM_NCRBUTTONUP:
      SendContextMenu(hWnd, POINT{static_cast<SHORT>(LOWORD(lParam)), static_cast<SHORT>(HIWORD(lParam))});
      return 0;
    case WM_CONTEXTMENU:
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      return ToParent(w, Msg, wParam, lParam);
    case WM_SYSKEYDOWN:
      return OnSysKeyDown(w, wParam, lParam);
    case WM_KEYUP:
      if (wParam == VK_APPS) SendMessageW(hWnd, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hWnd), -1);
      return 0;
    case WM_SYSCOMMAND:
      return OnSysCommand(w, wParam, lParam);
    case WM_PAINT:
      return OnPaint(hWnd);
    case WM_ERASEBKGND:
      return EraseWithClassBrush(w, reinterpret_cast<HDC>(wParam)) ? 1 : 0;
    case WM_PRINT:
      return OnPrint(w, reinterpret_cast<HDC>(wParam), lParam);
    case WM_CANCELMODE:
      if (GetCapture() == hWnd) ReleaseCapture();
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
  }
  return 0;
}
