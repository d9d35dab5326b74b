#include "ui/core/WindowWnd.h"

#include <tchar.h>

#include "ui/core/UIEvent.h"
#include "ui/core/UIHost.h"

namespace Umbra {

// Where a window keeps its object: the own-class procedure uses the user data, the superclass
// procedure a property, leaving the user data to the system class it extends.
struct CWindowWnd::ObjectSlot {
  void (*store)(HWND hWnd, CWindowWnd* wnd);
  CWindowWnd* (*load)(HWND hWnd);
};

namespace {

constexpr const WCHAR* kObjectProperty = _T("WndX");

void StoreInUserData(HWND hWnd, CWindowWnd* wnd) {
  SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
}

CWindowWnd* LoadFromUserData(HWND hWnd) {
  return reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

// When the window goes the property is set to null, not removed.
void StoreInProperty(HWND hWnd, CWindowWnd* wnd) { SetPropW(hWnd, kObjectProperty, wnd); }

CWindowWnd* LoadFromProperty(HWND hWnd) { return static_cast<CWindowWnd*>(GetPropW(hWnd, kObjectProperty)); }

}  // namespace

// ---- Virtual operations -------------------------------------------------------------------------

LPCWSTR CWindowWnd::QuerySuperclassName() const { return nullptr; }

UINT CWindowWnd::QueryClassStyle() const { return 0; }

LRESULT CWindowWnd::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallPreviousProc(message, wParam, lParam);
}

void CWindowWnd::OnWindowGone(HWND) {}

// ---- Creation -----------------------------------------------------------------------------------

HWND CWindowWnd::CreateNative(HWND hwndParent, LPCWSTR text, DWORD style, DWORD exStyle, int x, int y, int cx,
                              int cy, HMENU menu) {
  LPCWSTR superclass = QuerySuperclassName();
  bool registered = superclass ? RegisterSuperclass(superclass) : RegisterOwnClass();
  if (!registered) return nullptr;
  HWND hWnd = CreateWindowExW(exStyle, QueryClassName(), text, style, x, y, cx, cy, hwndParent, menu,
                              CUIHost::GetModuleInstance(), this);
  // A failed creation may already have ended in OnWindowGone, which may have deleted the object.
  if (hWnd) m_hWnd = hWnd;
  return hWnd;
}

HWND CWindowWnd::CreateNativeRect(HWND hwndParent, LPCWSTR text, DWORD style, DWORD exStyle, const RECT& rc,
                                  HMENU menu) {
  return CreateNative(hwndParent, text, style, exStyle, rc.left, rc.top, rc.right - rc.left,
                      rc.bottom - rc.top, menu);
}

bool CWindowWnd::RegisterOwnClass() {
  WNDCLASSW wc = {};
  wc.style = QueryClassStyle();
  wc.lpfnWndProc = ClassWindowProc;
  wc.hInstance = CUIHost::GetModuleInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = QueryClassName();
  return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The system class's procedure becomes the saved one; every other field stays as it defines it.
bool CWindowWnd::RegisterSuperclass(LPCWSTR superclassName) {
  HINSTANCE instance = CUIHost::GetModuleInstance();
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(nullptr, superclassName, &wc) && !GetClassInfoExW(instance, superclassName, &wc))
    return false;
  m_savedProc = wc.lpfnWndProc;
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = SuperclassWindowProc;
  wc.hInstance = instance;
  wc.lpszClassName = QueryClassName();
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CWindowWnd::ReplaceProcedure(HWND hWnd) {
  if (!IsWindow(hWnd) || m_procReplaced) return nullptr;
  auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
  // A window already driven through its user data would call itself back without end.
  if (!current || current == ClassWindowProc) return nullptr;
  m_savedProc = current;
  m_hWnd = hWnd;
  StoreInUserData(hWnd, this);
  SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ClassWindowProc));
  m_procReplaced = true;
  return hWnd;
}

void CWindowWnd::RestoreProcedure() {
  if (!IsWindow(m_hWnd) || !m_procReplaced) return;
  SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_savedProc));
  m_savedProc = DefWindowProcW;
  m_procReplaced = false;
}

// ---- Window procedures ------------------------------------------------------------------------

LRESULT CALLBACK CWindowWnd::ClassWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  static const ObjectSlot slot{StoreInUserData, LoadFromUserData};
  return RouteMessage(slot, hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::SuperclassWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  static const ObjectSlot slot{StoreInProperty, LoadFromProperty};
  return RouteMessage(slot, hWnd, message, wParam, lParam);
}

// The object arrives with WM_NCCREATE; messages before it (WM_GETMINMAXINFO on some systems), or
// a window of the class created without an object, get the default processing.
LRESULT CWindowWnd::RouteMessage(const ObjectSlot& slot, HWND hWnd, UINT message, WPARAM wParam,
                                 LPARAM lParam) {
  CWindowWnd* wnd = nullptr;
  if (message == WM_NCCREATE) {
    auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    wnd = cs ? static_cast<CWindowWnd*>(cs->lpCreateParams) : nullptr;
    if (wnd) {
      wnd->m_hWnd = hWnd;
      slot.store(hWnd, wnd);
    }
  } else {
    wnd = slot.load(hWnd);
    if (wnd && message == WM_NCDESTROY) return wnd->Detach(slot, hWnd, wParam, lParam);
  }
  return wnd ? wnd->ProcessMessage(message, wParam, lParam) : DefWindowProcW(hWnd, message, wParam, lParam);
}

// The window's final message. Nothing of the object is touched after OnWindowGone.
LRESULT CWindowWnd::Detach(const ObjectSlot& slot, HWND hWnd, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallWindowProcW(m_savedProc, hWnd, WM_NCDESTROY, wParam, lParam);
  slot.store(hWnd, nullptr);
  if (m_procReplaced) RestoreProcedure();
  m_hWnd = nullptr;
  OnWindowGone(hWnd);
  return result;
}

// ---- Showing, placing and closing ---------------------------------------------------------------

void CWindowWnd::ShowNative(bool show, bool takeFocus) {
  if (!IsWindow(m_hWnd)) return;
  ShowWindow(m_hWnd, !show ? SW_HIDE : takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE);
}

void CWindowWnd::CenterOnOwner() {
  if (!IsWindow(m_hWnd)) return;
  RECT rcWindow = {};
  GetWindowRect(m_hWnd, &rcWindow);
  HWND owner = GetWindow(m_hWnd, GW_OWNER);
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(MonitorFromWindow(owner ? owner : m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
  const RECT& area = mi.rcWork;
  RECT centre = area;
  if (owner) GetWindowRect(owner, &centre);

  // Halves truncate toward zero.
  LONG width = rcWindow.right - rcWindow.left, height = rcWindow.bottom - rcWindow.top;
  LONG x = (centre.left + centre.right) / 2 - width / 2;
  LONG y = (centre.top + centre.bottom) / 2 - height / 2;
  if (x < area.left)
    x = area.left;
  else if (x + width > area.right)
    x = area.right - width;
  if (y < area.top)
    y = area.top;
  else if (y + height > area.bottom)
    y = area.bottom - height;
  SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, -1, -1,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
}

// Works on copies only: the object may delete itself in OnWindowGone while messages run.
UINT CWindowWnd::ShowModal() {
  HWND hWnd = m_hWnd;
  if (!IsWindow(hWnd)) return static_cast<UINT>(-1);
  HWND owner = GetWindow(hWnd, GW_OWNER);
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(hWnd, SW_SHOWNORMAL);

  UINT result = 0;
  MSG msg = {};
  while (IsWindow(hWnd)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that runs this one
      break;
    }
    if (got == -1) break;
    // The owner is enabled before the window goes, so that activation returns to it.
    bool closing = msg.message == WM_CLOSE && msg.hwnd == hWnd;
    if (closing) {
      result = static_cast<UINT>(msg.wParam);
      if (owner) EnableWindow(owner, TRUE);
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (closing && owner && IsWindow(hWnd)) EnableWindow(owner, FALSE);  // the close was refused
  }
  if (owner && IsWindow(owner)) EnableWindow(owner, TRUE);
  return result;
}

void CWindowWnd::RequestClose(UINT resultCode) {
  if (!IsWindow(m_hWnd)) return;
  PostMessageW(m_hWnd, WM_CLOSE, resultCode, 0);
}

// ---- Messages -----------------------------------------------------------------------------------

LRESULT CWindowWnd::SendToSelf(UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWindowWnd::PostToSelf(UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(m_hWnd, message, wParam, lParam);
}

LRESULT CWindowWnd::CallPreviousProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(m_savedProc, m_hWnd, message, wParam, lParam);
}

// ---- Key state ------------------------------------------------------------------------------------

WORD CurrentKeyState() {
  struct Bit {
    int key;
    WORD bit;
  };
  static const Bit kBits[] = {
      {VK_RBUTTON, UIKEY_RBUTTON}, {VK_LBUTTON, UIKEY_LBUTTON}, {VK_SHIFT, UIKEY_SHIFT},
      {VK_CONTROL, UIKEY_CONTROL}, {VK_MENU, UIKEY_ALT},
  };
  WORD state = 0;
  for (const Bit& b : kBits)
    if (GetKeyState(b.key) < 0) state |= b.bit;
  return state;
}

}  // namespace Umbra
