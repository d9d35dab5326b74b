#include "UserTestKit.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <sstream>
#include <thread>

namespace usertest {
namespace {

// Before anything opens the display: always the headless one, at its default size.
const bool kHeadless = [] {
  setenv("UMBRA_DISPLAY", "headless", 1);
  unsetenv("UMBRA_SCREEN");
  return true;
}();

thread_local const MSG* t_dispatching = nullptr;

}  // namespace

Recorder& Recorder::Get() {
  static Recorder recorder;
  return recorder;
}

void Recorder::Reset() {
  m_log.clear();
  m_ignored.clear();
  answer = nullptr;
}

void Recorder::Add(const Entry& e) {
  if (std::find(m_ignored.begin(), m_ignored.end(), e.message) == m_ignored.end()) m_log.push_back(e);
}

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const MSG* d = t_dispatching;
  bool posted = d && d->hwnd == hwnd && d->message == message && d->wParam == wParam && d->lParam == lParam;
  if (posted) t_dispatching = nullptr;  // whatever it sends from here on is sent
  Recorder& r = Recorder::Get();
  r.Add(Entry{hwnd, message, wParam, lParam, posted});
  if (r.answer) {
    if (std::optional<LRESULT> result = r.answer(hwnd, message, wParam, lParam)) return *result;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

const WCHAR* RecordedClass(UINT style, HBRUSH background) {
  static std::map<std::pair<UINT, HBRUSH>, std::u16string> names;
  auto key = std::make_pair(style, background);
  auto it = names.find(key);
  if (it != names.end()) return it->second.c_str();
  std::u16string name = u"Recorded" + std::u16string(1, static_cast<char16_t>(u'A' + names.size()));
  WNDCLASSW wc{};
  wc.style = style;
  wc.lpfnWndProc = RecordingProc;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = name.c_str();
  RegisterClassW(&wc);
  return names.emplace(key, name).first->second.c_str();
}

std::string MessageName(UINT message) {
  static const std::map<UINT, const char*> kNames = {
      {WM_CREATE, "WM_CREATE"},
      {WM_DESTROY, "WM_DESTROY"},
      {WM_MOVE, "WM_MOVE"},
      {WM_SIZE, "WM_SIZE"},
      {WM_ACTIVATE, "WM_ACTIVATE"},
      {WM_SETFOCUS, "WM_SETFOCUS"},
      {WM_KILLFOCUS, "WM_KILLFOCUS"},
      {WM_ENABLE, "WM_ENABLE"},
      {WM_SETTEXT, "WM_SETTEXT"},
      {WM_GETTEXT, "WM_GETTEXT"},
      {WM_PAINT, "WM_PAINT"},
      {WM_CLOSE, "WM_CLOSE"},
      {WM_QUIT, "WM_QUIT"},
      {WM_ERASEBKGND, "WM_ERASEBKGND"},
      {WM_SHOWWINDOW, "WM_SHOWWINDOW"},
      {WM_ACTIVATEAPP, "WM_ACTIVATEAPP"},
      {WM_SETCURSOR, "WM_SETCURSOR"},
      {WM_MOUSEACTIVATE, "WM_MOUSEACTIVATE"},
      {WM_GETMINMAXINFO, "WM_GETMINMAXINFO"},
      {WM_WINDOWPOSCHANGING, "WM_WINDOWPOSCHANGING"},
      {WM_WINDOWPOSCHANGED, "WM_WINDOWPOSCHANGED"},
      {WM_CONTEXTMENU, "WM_CONTEXTMENU"},
      {WM_STYLECHANGING, "WM_STYLECHANGING"},
      {WM_STYLECHANGED, "WM_STYLECHANGED"},
      {WM_NCCREATE, "WM_NCCREATE"},
      {WM_NCDESTROY, "WM_NCDESTROY"},
      {WM_NCCALCSIZE, "WM_NCCALCSIZE"},
      {WM_NCHITTEST, "WM_NCHITTEST"},
      {WM_NCPAINT, "WM_NCPAINT"},
      {WM_NCACTIVATE, "WM_NCACTIVATE"},
      {WM_NCMOUSEMOVE, "WM_NCMOUSEMOVE"},
      {WM_NCLBUTTONDOWN, "WM_NCLBUTTONDOWN"},
      {WM_NCLBUTTONUP, "WM_NCLBUTTONUP"},
      {WM_NCLBUTTONDBLCLK, "WM_NCLBUTTONDBLCLK"},
      {WM_KEYDOWN, "WM_KEYDOWN"},
      {WM_KEYUP, "WM_KEYUP"},
      {WM_CHAR, "WM_CHAR"},
      {WM_SYSKEYDOWN, "WM_SYSKEYDOWN"},
      {WM_SYSKEYUP, "WM_SYSKEYUP"},
      {WM_SYSCHAR, "WM_SYSCHAR"},
      {WM_SYSCOMMAND, "WM_SYSCOMMAND"},
      {WM_TIMER, "WM_TIMER"},
      {WM_MOUSEMOVE, "WM_MOUSEMOVE"},
      {WM_LBUTTONDOWN, "WM_LBUTTONDOWN"},
      {WM_LBUTTONUP, "WM_LBUTTONUP"},
      {WM_LBUTTONDBLCLK, "WM_LBUTTONDBLCLK"},
      {WM_RBUTTONDOWN, "WM_RBUTTONDOWN"},
      {WM_RBUTTONUP, "WM_RBUTTONUP"},
      {WM_MOUSEWHEEL, "WM_MOUSEWHEEL"},
      {WM_PARENTNOTIFY, "WM_PARENTNOTIFY"},
      {WM_SIZING, "WM_SIZING"},
      {WM_CAPTURECHANGED, "WM_CAPTURECHANGED"},
      {WM_MOVING, "WM_MOVING"},
      {WM_ENTERSIZEMOVE, "WM_ENTERSIZEMOVE"},
      {WM_EXITSIZEMOVE, "WM_EXITSIZEMOVE"},
      {WM_MOUSEHOVER, "WM_MOUSEHOVER"},
      {WM_MOUSELEAVE, "WM_MOUSELEAVE"},
      {WM_NCMOUSELEAVE, "WM_NCMOUSELEAVE"},
      {WM_GETICON, "WM_GETICON"},
      {WM_SETICON, "WM_SETICON"},
      {WM_GETTEXTLENGTH, "WM_GETTEXTLENGTH"},
  };
  auto it = kNames.find(message);
  if (it != kNames.end()) return it->second;
  std::ostringstream out;
  out << "0x" << std::hex << message;
  return out.str();
}

namespace {

std::string Describe(const Entry& e, int window) {
  std::ostringstream out;
  out << "[" << window << "] " << MessageName(e.message) << (e.posted ? " (posted)" : "") << " w=0x"
      << std::hex << e.wParam << " l=0x" << e.lParam;
  return out.str();
}

std::string Describe(const Expect& e) {
  std::ostringstream out;
  out << "[" << e.window << "] " << MessageName(e.message);
  if (e.flags & Expect::kPosted) out << " (posted)";
  if (e.flags & Expect::kOptional) out << " optional";
  if (e.flags & Expect::kWParam) out << " w=0x" << std::hex << e.wParam;
  if (e.flags & Expect::kLParam) out << " l=0x" << std::hex << e.lParam;
  return out.str();
}

bool Matches(const Entry& a, int window, const Expect& e) {
  if (window != e.window || a.message != e.message) return false;
  if (!(e.flags & Expect::kAnyWay) && a.posted != static_cast<bool>(e.flags & Expect::kPosted)) return false;
  if ((e.flags & Expect::kWParam) && a.wParam != e.wParam) return false;
  if ((e.flags & Expect::kLParam) && a.lParam != e.lParam) return false;
  return true;
}

}  // namespace

::testing::AssertionResult MatchesOrder(const std::vector<Entry>& log, const std::vector<HWND>& windows,
                                        const std::vector<Expect>& expected) {
  std::vector<std::pair<Entry, int>> actual;
  for (const Entry& e : log) {
    auto it = std::find(windows.begin(), windows.end(), e.hwnd);
    if (it != windows.end()) actual.emplace_back(e, static_cast<int>(it - windows.begin()));
  }
  size_t a = 0, x = 0;
  std::string problem;
  while (a < actual.size() || x < expected.size()) {
    if (x < expected.size() && a < actual.size() && Matches(actual[a].first, actual[a].second, expected[x])) {
      ++a;
      ++x;
    } else if (x < expected.size() && (expected[x].flags & Expect::kOptional)) {
      ++x;
    } else {
      problem = a < actual.size() ? "unexpected " + Describe(actual[a].first, actual[a].second) +
                                        (x < expected.size() ? ", expected " + Describe(expected[x]) : "")
                                  : "missing " + Describe(expected[x]);
      break;
    }
  }
  if (problem.empty()) return ::testing::AssertionSuccess();
  std::ostringstream out;
  out << problem << "\nactual:\n";
  for (const auto& [e, w] : actual) out << "  " << Describe(e, w) << "\n";
  out << "expected:\n";
  for (const Expect& e : expected) out << "  " << Describe(e) << "\n";
  return ::testing::AssertionFailure() << out.str();
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) continue;
    TranslateMessage(&msg);
    t_dispatching = &msg;
    DispatchMessageW(&msg);
    t_dispatching = nullptr;
  }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    Pump();
    if (!done()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void PumpFor(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  PumpUntil([&] { return std::chrono::steady_clock::now() >= end; }, ms + 1000);
}

namespace {

void SendOne(INPUT input) { ASSERT_EQ(SendInput(1, &input, sizeof(INPUT)), 1u); }

// The normalised coordinate that maps back onto exactly this pixel.
LONG Normalise(int v, int extent) { return static_cast<LONG>((int64_t{v} * 65536 + extent - 1) / extent); }

}  // namespace

void MoveTo(int x, int y) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = Normalise(x, GetSystemMetrics(SM_CXSCREEN));
  in.mi.dy = Normalise(y, GetSystemMetrics(SM_CYSCREEN));
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE_NOCOALESCE;
  SendOne(in);
}

void Button(int button, bool down) {
  static const DWORD kFlags[2][2] = {{MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN},
                                     {MOUSEEVENTF_RIGHTUP, MOUSEEVENTF_RIGHTDOWN}};
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = kFlags[button][down ? 1 : 0];
  SendOne(in);
}

void Click(int x, int y, int button) {
  MoveTo(x, y);
  Button(button, true);
  Button(button, false);
}

void Key(WORD vk, bool down) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  SendOne(in);
}

void Type(char16_t unit) {
  INPUT in[2] = {};
  for (int i = 0; i < 2; ++i) {
    in[i].type = INPUT_KEYBOARD;
    in[i].ki.wScan = unit;
    in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
  }
  ASSERT_EQ(SendInput(2, in, sizeof(INPUT)), 2u);
}

void Wheel(int delta) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = MOUSEEVENTF_WHEEL;
  in.mi.mouseData = static_cast<DWORD>(delta);
  SendOne(in);
}

void UserTest::SetUp() {
  Recorder::Get().Reset();
  MoveTo(1900, 1000);  // a corner no test window covers
  Pump();
}

void UserTest::TearDown() {
  Recorder::Get().answer = nullptr;
  ReleaseCapture();
  std::vector<HWND> mine;
  EnumWindows(
      [](HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&mine));
  for (HWND h : mine)
    if (IsWindow(h) && GetWindowThreadProcessId(h, nullptr) == GetCurrentThreadId()) DestroyWindow(h);
  for (WORD vk : {VK_SHIFT, VK_CONTROL, VK_MENU})
    if (GetAsyncKeyState(vk) & 0x8000) Key(vk, false);
  for (int b = 0; b < 2; ++b)
    if (GetAsyncKeyState(b ? VK_RBUTTON : VK_LBUTTON) & 0x8000) Button(b, false);
  Pump();
  Recorder::Get().Reset();
}

HWND UserTest::TopLevel(const WCHAR* cls, DWORD style, RECT r, DWORD exStyle, HWND owner,
                        const WCHAR* title) {
  return CreateWindowExW(exStyle, cls, title, style, r.left, r.top, r.right - r.left, r.bottom - r.top, owner,
                         nullptr, nullptr, nullptr);
}

HWND UserTest::Child(HWND parent, RECT r, DWORD style, const WCHAR* cls, int id) {
  return CreateWindowExW(0, cls ? cls : RecordedClass(), u"child", style, r.left, r.top, r.right - r.left,
                         r.bottom - r.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr,
                         nullptr);
}

}  // namespace usertest
