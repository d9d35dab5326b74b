// The monitor (one, from the display backend), system metrics and system parameters.
#include <cstring>

#include "display/display.h"
#include "user/user.h"

namespace umbra::user {
namespace {

// The single monitor's handle: any stable, non-null value.
int g_primaryMonitor;
HMONITOR Primary() { return reinterpret_cast<HMONITOR>(&g_primaryMonitor); }

HMONITOR ByFlags(DWORD flags) { return flags == MONITOR_DEFAULTTONULL ? nullptr : Primary(); }

// Frame, caption and control sizes of a 96-dpi Windows desktop.
constexpr int kBorder = 1;
constexpr int kEdge = 2;
constexpr int kFixedFrame = 3;
constexpr int kSizeFrame = 4;
constexpr int kPaddedBorder = 4;
constexpr int kCaption = 23;
constexpr int kScrollBar = 17;

}  // namespace

void ScreenAndWorkArea(RECT* screen, RECT* work) { display::Current().GetScreen(screen, work); }

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD dwFlags) {
  RECT screen;
  ScreenAndWorkArea(&screen, nullptr);
  return PtInRect(&screen, pt) ? Primary() : ByFlags(dwFlags);
}

HMONITOR WINAPI MonitorFromRect(LPCRECT lprc, DWORD dwFlags) {
  RECT screen, overlap;
  ScreenAndWorkArea(&screen, nullptr);
  return lprc && IntersectRect(&overlap, &screen, lprc) ? Primary() : ByFlags(dwFlags);
}

HMONITOR WINAPI MonitorFromWindow(HWND hwnd, DWORD dwFlags) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w) return ByFlags(dwFlags);
  // A minimised window belongs to the monitor of its restored position.
  RECT r = (w->style & WS_MINIMIZE) ? w->normalRect : ScreenRect(w.get());
  if (IsRectEmpty(&r)) r.right = r.left + 1, r.bottom = r.top + 1;
  return MonitorFromRect(&r, dwFlags);
}

BOOL WINAPI GetMonitorInfoW(HMONITOR hMonitor, LPMONITORINFO lpmi) {
  if (hMonitor != Primary()) {
    SetLastError(ERROR_INVALID_MONITOR_HANDLE);
    return FALSE;
  }
  if (!lpmi || lpmi->cbSize < sizeof(MONITORINFO)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ScreenAndWorkArea(&lpmi->rcMonitor, &lpmi->rcWork);
  lpmi->dwFlags = MONITORINFOF_PRIMARY;
  if (lpmi->cbSize >= sizeof(MONITORINFOEXW)) {
    static const WCHAR kDevice[] = u"\\\\.\\DISPLAY1";
    std::memcpy(reinterpret_cast<MONITORINFOEXW*>(lpmi)->szDevice, kDevice, sizeof(kDevice));
  }
  return TRUE;
}

int WINAPI GetSystemMetrics(int nIndex) {
  RECT screen, work;
  ScreenAndWorkArea(&screen, &work);
  int sw = screen.right - screen.left, sh = screen.bottom - screen.top;
  int frame = kSizeFrame + kPaddedBorder;
  switch (nIndex) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
      return sw;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
      return sh;
    case SM_XVIRTUALSCREEN:
      return screen.left;
    case SM_YVIRTUALSCREEN:
      return screen.top;
    case SM_CXFULLSCREEN:
      return work.right - work.left;
    case SM_CYFULLSCREEN:
      return work.bottom - work.top - kCaption;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVSCROLL:
    case SM_CXHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB:
      return kScrollBar;
    case SM_CYCAPTION:
    case SM_CYSMCAPTION:
      return kCaption;
    case SM_CXBORDER:
    case SM_CYBORDER:
    case SM_CXFOCUSBORDER:
    case SM_CYFOCUSBORDER:
      return kBorder;
    case SM_CXEDGE:
    case SM_CYEDGE:
      return kEdge;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME:
      return kFixedFrame;
    case SM_CXFRAME:
    case SM_CYFRAME:
      return kSizeFrame;
    case SM_CXPADDEDBORDER:
      return kPaddedBorder;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR:
      return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16;
    case SM_CYMENU:
      return 20;
    case SM_CXSIZE:
      return 36;
    case SM_CYSIZE:
    case SM_CXSMSIZE:
    case SM_CYSMSIZE:
      return 22;
    case SM_CXMIN:
    case SM_CXMINTRACK:
      return 136;
    case SM_CYMIN:
    case SM_CYMINTRACK:
      return 39;
    case SM_CXMINIMIZED:
      return 160;
    case SM_CYMINIMIZED:
      return 28;
    case SM_CXMAXTRACK:
      return sw + 2 * frame;
    case SM_CYMAXTRACK:
      return sh + 2 * frame;
    case SM_CXMAXIMIZED:
      return work.right - work.left + 2 * frame;
    case SM_CYMAXIMIZED:
      return work.bottom - work.top + 2 * frame;
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
    case SM_CXDRAG:
    case SM_CYDRAG:
      return 4;
    case SM_CXICONSPACING:
    case SM_CYICONSPACING:
      return 75;
    case SM_MOUSEPRESENT:
    case SM_MOUSEWHEELPRESENT:
    case SM_CMONITORS:
    case SM_SAMEDISPLAYFORMAT:
      return 1;
    case SM_CMOUSEBUTTONS:
      return 3;
    case SM_SWAPBUTTON:
      return 0;
  }
  return 0;
}

BOOL WINAPI SystemParametersInfoW(UINT uiAction, UINT uiParam, PVOID pvParam, UINT fWinIni) {
  auto setUint = [&](UINT value) {
    if (!pvParam) return FALSE;
    *static_cast<UINT*>(pvParam) = value;
    return TRUE;
  };
  switch (uiAction) {
    case SPI_GETWORKAREA:
      if (!pvParam) return FALSE;
      ScreenAndWorkArea(nullptr, static_cast<RECT*>(pvParam));
      return TRUE;
    case SPI_GETMOUSEHOVERWIDTH:
    case SPI_GETMOUSEHOVERHEIGHT:
      return setUint(4);
    case SPI_GETMOUSEHOVERTIME:
      return setUint(400);
    case SPI_GETWHEELSCROLLLINES:
    case SPI_GETWHEELSCROLLCHARS:
      return setUint(3);
    case SPI_GETCARETWIDTH:
      return setUint(1);
    case SPI_GETKEYBOARDDELAY:
      return setUint(1);
    case SPI_GETKEYBOARDSPEED:
      return setUint(31);
    case SPI_GETDRAGFULLWINDOWS:
      if (!pvParam) return FALSE;
      *static_cast<BOOL*>(pvParam) = TRUE;
      return TRUE;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
