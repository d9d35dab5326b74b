// Second-client peer: a program whose top-level window has the class of the second client
// ("velmorabro"), so that tests can show the launcher what it sees while that client runs.
//
//   secondclient [--exit-with-parent]
//
// "ready" is printed on standard output once the window can be found; WM_CLOSE ends it.
#include <signal.h>
#include <sys/prctl.h>
#include <tchar.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

LRESULT CALLBACK ClientProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--exit-with-parent") == 0) prctl(PR_SET_PDEATHSIG, SIGKILL);
  WNDCLASSW wc{};
  wc.lpfnWndProc = ClientProc;
  wc.lpszClassName = _T("velmorabro");
  if (!RegisterClassW(&wc)) return 1;
  HWND hwnd = CreateWindowExW(0, _T("velmorabro"), _T("Velmora"), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, nullptr, nullptr);
  if (!hwnd) return 1;
  puts("ready");
  fflush(stdout);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
