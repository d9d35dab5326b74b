// Telephone-box peer: a program with one top-level window of a chosen title that records every
// WM_COPYDATA it receives, for tests of the hand-offs between programs on the desktop.
//
//   phonebox --title NAME [--class NAME] [--log FILE] [--result N] [--hang] [--exit-with-parent]
//
// Each record is one line appended to the log (--log, else $UMBRA_PHONEBOX_LOG, else standard
// error): "dwData=<hex> cbData=<decimal> bytes=<hex of every byte>". The message is answered
// with N (default 1). Three records are commands: dwData 0x48414E47 ("HANG") makes the box stop
// answering for good, 0x45584954 ("EXIT") ends it at once without an answer, and 0x4543484F
// ("ECHO") sends the same record back to the sending window (wParam) before answering with
// that window's result; --hang makes every record hang. "ready" is printed on standard output once the window
// can be found.
#include <signal.h>
#include <sys/prctl.h>
#include <tchar.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr ULONG_PTR kHangCommand = 0x48414E47;
constexpr ULONG_PTR kExitCommand = 0x45584954;
constexpr ULONG_PTR kEchoCommand = 0x4543484F;

struct Options {
  std::string title;
  std::string className = "PhoneBoxWindow";
  std::string logPath;
  long result = 1;
  bool hang = false;
  bool exitWithParent = false;
};

Options g_options;

std::u16string Wide(const std::string& utf8) {
  std::u16string out(utf8.size() + 1, u'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(),
                              static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

void Record(const COPYDATASTRUCT& data) {
  std::string line = "dwData=";
  char number[32];
  snprintf(number, sizeof number, "%llx", static_cast<unsigned long long>(data.dwData));
  line += number;
  line += " cbData=" + std::to_string(data.cbData) + " bytes=";
  const auto* bytes = static_cast<const unsigned char*>(data.lpData);
  for (DWORD i = 0; bytes && i < data.cbData; ++i) {
    snprintf(number, sizeof number, "%02x", bytes[i]);
    line += number;
  }
  line += "\n";
  FILE* log = g_options.logPath.empty() ? nullptr : fopen(g_options.logPath.c_str(), "ab");
  fputs(line.c_str(), log ? log : stderr);
  if (log) fclose(log);  // written before the sender gets its answer
}

[[noreturn]] void HangForever() {
  for (;;) pause();
}

LRESULT CALLBACK BoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COPYDATA: {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (!data) return 0;
      Record(*data);
      if (data->dwData == kExitCommand) _exit(0);
      if (data->dwData == kHangCommand || g_options.hang) HangForever();
      if (data->dwData == kEchoCommand) {
        COPYDATASTRUCT echo = *data;
        return SendMessageW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(hwnd),
                            reinterpret_cast<LPARAM>(&echo));
      }
      return g_options.result;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

bool Parse(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    bool hasValue = i + 1 < argc;
    if (arg == "--title" && hasValue) {
      g_options.title = argv[++i];
    } else if (arg == "--class" && hasValue) {
      g_options.className = argv[++i];
    } else if (arg == "--log" && hasValue) {
      g_options.logPath = argv[++i];
    } else if (arg == "--result" && hasValue) {
      g_options.result = strtol(argv[++i], nullptr, 0);
    } else if (arg == "--hang") {
      g_options.hang = true;
    } else if (arg == "--exit-with-parent") {
      g_options.exitWithParent = true;
    } else {
      return false;
    }
  }
  return !g_options.title.empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (!Parse(argc, argv)) {
    fputs(
        "usage: phonebox --title NAME [--class NAME] [--log FILE] [--result N] [--hang] "
        "[--exit-with-parent]\n",
        stderr);
    return 2;
  }
  if (g_options.exitWithParent) prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (g_options.logPath.empty() && getenv("UMBRA_PHONEBOX_LOG"))
    g_options.logPath = getenv("UMBRA_PHONEBOX_LOG");

  std::u16string className = Wide(g_options.className);
  WNDCLASSW wc{};
  wc.lpfnWndProc = BoxProc;
  wc.lpszClassName = className.c_str();
  if (!RegisterClassW(&wc)) return 1;
  std::u16string title = Wide(g_options.title);
  HWND hwnd = CreateWindowExW(0, className.c_str(), title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                              nullptr, nullptr, nullptr, nullptr);
  if (!hwnd) return 1;
  puts("ready");
  fflush(stdout);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
