// The desktop of the running launcher: the window manager's own calls.
#pragma once

#include "app/Desktop.h"

namespace Umbra {

class CWin32Desktop final : public IDesktop {
 public:
  HWND FindTopWindow(LPCTSTR className, LPCTSTR windowName) override;
  LRESULT SendCopyData(HWND target, ULONG_PTR dwData, DWORD cbData, const void* lpData) override;
  void PostQuit(int exitCode) override;
};

}  // namespace Umbra
