// A window for the x11 end-to-end test, run in its own process on the x11 display: a captioned
// window painted in COLOR_HIGHLIGHT with a COLOR_WINDOW child, which logs the mouse, key and
// close messages it receives (client coordinates) to the file named on the command line, one
// per line, and exits when it is closed. An owned popup in COLOR_WINDOW sits at (500,100). Ctrl+C puts a
// known text on the clipboard; Ctrl+V logs the clipboard's text as UTF-8.
#include <windows.h>
#include <windowsx.h>

#include <cstdio>
#include <cstring>

namespace {

FILE* g_log = nullptr;

void Log(const char* format, long a = 0, long b = 0, long c = 0, long d = 0) {
  std::fprintf(g_log, format, a, b, c, d);
  std::fputc('\n', g_log);
  std::fflush(g_log);
}

constexpr char16_t kCopied[] = u"clip \u526A\u8D34\u677F";  // Chinese text travels too

void Copy(HWND hwnd) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(kCopied));
  std::memcpy(GlobalLock(block), kCopied, sizeof(kCopied));
  GlobalUnlock(block);
  bool ok = OpenClipboard(hwnd) && EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block);
  CloseClipboard();
  Log(ok ? "copied" : "copy failed");
}

void Paste(HWND hwnd) {
  if (!OpenClipboard(hwnd)) return Log("paste failed");
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  const auto* text = data ? static_cast<const char16_t*>(GlobalLock(data)) : nullptr;
  char utf8[256] = "(none)";
  if (text) WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof(utf8), nullptr, nullptr);
  if (data) GlobalUnlock(data);
  CloseClipboard();
  std::fprintf(g_log, "pasted %s\n", utf8);
  std::fflush(g_log);
}

LRESULT CALLBACK ProbeProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  switch (message) {
    case WM_MOUSEMOVE:
      Log("WM_MOUSEMOVE %ld %ld", x, y);
      break;
    case WM_LBUTTONDOWN:
      Log("WM_LBUTTONDOWN %ld %ld", x, y);
      break;
    case WM_LBUTTONUP:
      Log("WM_LBUTTONUP %ld %ld", x, y);
      break;
    case WM_LBUTTONDBLCLK:
      Log("WM_LBUTTONDBLCLK %ld %ld", x, y);
      break;
    case WM_RBUTTONDOWN:
      Log("WM_RBUTTONDOWN %ld %ld", x, y);
      break;
    case WM_RBUTTONUP:
      Log("WM_RBUTTONUP %ld %ld", x, y);
      break;
    case WM_MOUSEWHEEL: {
      POINT pt{x, y};
      ScreenToClient(hwnd, &pt);
      Log("WM_MOUSEWHEEL %ld %ld %ld", GET_WHEEL_DELTA_WPARAM(wParam), pt.x, pt.y);
      break;
    }
    case WM_KEYDOWN:
      Log("WM_KEYDOWN %ld", static_cast<long>(wParam));
      if ((GetKeyState(VK_CONTROL) & 0x8000) && wParam == 'C') Copy(hwnd);
      if ((GetKeyState(VK_CONTROL) & 0x8000) && wParam == 'V') Paste(hwnd);
      break;
    case WM_CHAR:
      Log("WM_CHAR %ld", static_cast<long>(wParam));
      break;
    case WM_CLOSE:
      Log("WM_CLOSE");
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      break;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

ATOM Register(const WCHAR* name, int colour) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colour + 1));
  wc.lpszClassName = name;
  return RegisterClassW(&wc);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !(g_log = std::fopen(argv[1], "w"))) return 2;
  if (!Register(u"X11Probe", COLOR_HIGHLIGHT) || !Register(u"X11ProbeChild", COLOR_WINDOW)) return 3;
  HWND hwnd = CreateWindowExW(0, u"X11Probe", u"x11probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 240,
                              180, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return 4;
  CreateWindowExW(0, u"X11ProbeChild", u"", WS_CHILD | WS_VISIBLE, 20, 20, 40, 30, hwnd, nullptr,
                  GetModuleHandleW(nullptr), nullptr);
  // An owned popup (placed by us, undecorated) takes the activation and hands it back, as
  // drop-downs do: focus events of the first activations must not undo the later ones.
  HWND popup = CreateWindowExW(WS_EX_TOOLWINDOW, u"X11ProbeChild", u"", WS_POPUP, 500, 100, 60, 40, hwnd,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(popup, SW_SHOW);
  SetActiveWindow(hwnd);
  UpdateWindow(hwnd);
  UpdateWindow(popup);
  POINT origin{0, 0};
  ClientToScreen(hwnd, &origin);
  RECT client;
  GetClientRect(hwnd, &client);
  Log("ready %ld %ld %ld %ld", origin.x, origin.y, client.right, client.bottom);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  Log("exit");
  return 0;
}
