#include "app/StartupHandoff.h"

#include <tchar.h>

#include "app/Settings.h"

namespace Umbra {

const LPCTSTR kSecondClientClass = _T("velmorabro");

namespace {

struct BoxTarget {
  LPCTSTR windowName;
  int box;
};

// The telephone-box window and box number for a "CC" value; null name: send nothing.
BoxTarget TargetForCC(UINT cc) {
  switch (cc) {
    case 1:
      return {_T("vedodize1"), 1};
    case 2:
      return {_T("vedodize2"), 2};
    case 6:
    case 7:
    case 61:
      return {_T("vedodize3"), 3};
    default:
      return {nullptr, 0};
  }
}

}  // namespace

void HandOffAtStartup(IDesktop& desktop, LPCTSTR folder) {
  if (desktop.FindTopWindow(kSecondClientClass, nullptr)) return;
  const UINT cc = GetPrivateProfileIntW(_T("system"), _T("CC"), 0, SettingsPathIn(folder));
  const BoxTarget target = TargetForCC(cc);
  if (!target.windowName) return;
  HWND window = desktop.FindTopWindow(nullptr, target.windowName);
  if (!window) return;
  WCHAR request[32] = {};
  wsprintfW(request, _T("mainprocloseubox%d"), target.box);
  // The count is the text's length plus one, as bytes: the telephone-box program is handed the
  // first nine characters (18 bytes) without a terminator, which is what it expects.
  desktop.SendCopyData(window, 0, static_cast<DWORD>(lstrlenW(request) + 1), request);
}

}  // namespace Umbra
