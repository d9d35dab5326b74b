// What the start-up hand-off and the login need from the window manager: finding other
// programs' top-level windows, handing one of them a WM_COPYDATA record, and ending the
// message loop. CWin32Desktop does it with the Win32 calls; tests use a recording fake.
#pragma once

#include <windows.h>

namespace Umbra {

class IDesktop {
 public:
  virtual ~IDesktop() = default;

  // FindWindowW(className, windowName); a null argument matches any window.
  virtual HWND FindTopWindow(LPCTSTR className, LPCTSTR windowName) = 0;
  // SendMessageW(target, WM_COPYDATA, 0, &record) with a record of these three fields; returns
  // when the target has processed it.
  virtual LRESULT SendCopyData(HWND target, ULONG_PTR dwData, DWORD cbData, const void* lpData) = 0;
  // PostQuitMessage(exitCode).
  virtual void PostQuit(int exitCode) = 0;
};

}  // namespace Umbra
