#include "app/Win32Desktop.h"

namespace Umbra {

HWND CWin32Desktop::FindTopWindow(LPCTSTR className, LPCTSTR windowName) {
  return ::FindWindowW(className, windowName);
}

LRESULT CWin32Desktop::SendCopyData(HWND target, ULONG_PTR dwData, DWORD cbData, const void* lpData) {
  COPYDATASTRUCT record = {};
  record.dwData = dwData;
  record.cbData = cbData;
  record.lpData = const_cast<void*>(lpData);
  return ::SendMessageW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
}

void CWin32Desktop::PostQuit(int exitCode) { ::PostQuitMessage(exitCode); }

}  // namespace Umbra
