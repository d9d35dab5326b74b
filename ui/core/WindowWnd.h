#pragma once

#include <windows.h>

namespace Umbra {

// Binds one native window to one object: registers the window class (an own class, or a
// superclass of an existing one), creates the window with the object as creation parameter,
// finds the object again in every later message and hands it to ProcessMessage. When the
// window has gone it detaches and calls OnWindowGone, where a derived object may delete
// itself. The window never owns the object.
class CWindowWnd {
 public:
  CWindowWnd() = default;
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  // ---- Virtual operations, in slot order ----------------------------------------------------
  virtual LPCWSTR QueryClassName() const = 0;
  // The name of an existing class to superclass, such as a system control's; null for none.
  virtual LPCWSTR QuerySuperclassName() const;
  virtual UINT QueryClassStyle() const;
  // Every message from WM_NCCREATE on, WM_NCDESTROY excepted. The base passes it on to the
  // saved procedure.
  virtual LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // The window is gone and the object detached from it; the object may be deleted here.
  virtual void OnWindowGone(HWND hWnd);

  // ---- Operations ---------------------------------------------------------------------------
  HWND GetNativeHandle() const { return m_hWnd; }

  // Registers the class and creates the window; null when either fails.
  HWND CreateNative(HWND hwndParent, LPCWSTR text, DWORD style, DWORD exStyle, int x, int y, int cx, int cy,
                    HMENU menu = nullptr);
  HWND CreateNativeRect(HWND hwndParent, LPCWSTR text, DWORD style, DWORD exStyle, const RECT& rc,
                        HMENU menu = nullptr);
  // Takes over the procedure of an existing window, one window at a time; RestoreProcedure
  // gives it back. Null for a window that is gone or already driven through its user data.
  HWND ReplaceProcedure(HWND hWnd);

  // SW_HIDE, SW_SHOWNORMAL (taking focus) or SW_SHOWNOACTIVATE.
  void ShowNative(bool show, bool takeFocus);
  // Centres on the owner, or in the work area of the nearest monitor, clamped to that work
  // area. The window is left hidden: the caller shows it.
  void CenterOnOwner();
  // Shows the window with its owner disabled and runs messages until the window is gone.
  // Returns the code of the RequestClose that ended it (0 when it ended another way), or
  // (UINT)-1 when there is no window. A quit message ends it early and is posted again.
  UINT ShowModal();
  // Posts WM_CLOSE with the result code in wParam.
  void RequestClose(UINT resultCode);

  LRESULT SendToSelf(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  BOOL PostToSelf(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // The saved procedure, for whatever the object leaves alone.
  LRESULT CallPreviousProc(UINT message, WPARAM wParam, LPARAM lParam);
  // Puts a procedure taken over by ReplaceProcedure back; the handle stays.
  void RestoreProcedure();

  static LRESULT CALLBACK ClassWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SuperclassWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // Objects are deleted as their own type, typically by themselves in OnWindowGone.
  ~CWindowWnd() = default;

 private:
  struct ObjectSlot;

  bool RegisterOwnClass();
  bool RegisterSuperclass(LPCWSTR superclassName);
  static LRESULT RouteMessage(const ObjectSlot& slot, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Detach(const ObjectSlot& slot, HWND hWnd, WPARAM wParam, LPARAM lParam);

  HWND m_hWnd = nullptr;
  // Where messages the object leaves alone go: DefWindowProcW, a superclass's own procedure, or
  // the procedure of a window taken over.
  WNDPROC m_savedProc = DefWindowProcW;
  bool m_procReplaced = false;
};

// The key-state word of keyboard, wheel and cursor events: UIKEY_ bits from GetKeyState.
WORD CurrentKeyState();

}  // namespace Umbra
