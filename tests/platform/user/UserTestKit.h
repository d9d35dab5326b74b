// Shared by the window-manager tests: a recording window procedure, message-order tables, a
// message pump, SendInput helpers and a fixture that leaves no window behind. Every test runs on
// the headless display.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace usertest {

// One message a recorded window received.
struct Entry {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool posted;  // came through DispatchMessageW rather than a send
};

// One expected message: which window (an index into the windows the check is given), the
// message, and optionally its wParam/lParam and whether it was posted.
struct Expect {
  enum Flags : unsigned {
    kSent = 0,
    kPosted = 1,
    kOptional = 2,  // may be missing
    kWParam = 4,    // wParam must match
    kLParam = 8,    // lParam must match
    kAnyWay = 16,   // sent or posted, either is fine
  };
  int window;
  UINT message;
  unsigned flags = kSent;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

inline Expect Sent(int window, UINT message) { return {window, message, Expect::kSent}; }
inline Expect Posted(int window, UINT message) { return {window, message, Expect::kPosted}; }
inline Expect SentW(int window, UINT message, WPARAM w) { return {window, message, Expect::kWParam, w}; }
inline Expect SentWL(int window, UINT message, WPARAM w, LPARAM l) {
  return {window, message, Expect::kWParam | Expect::kLParam, w, l};
}
inline Expect PostedW(int window, UINT message, WPARAM w) {
  return {window, message, Expect::kPosted | Expect::kWParam, w};
}
inline Expect PostedWL(int window, UINT message, WPARAM w, LPARAM l) {
  return {window, message, Expect::kPosted | Expect::kWParam | Expect::kLParam, w, l};
}
inline Expect Optional(Expect e) {
  e.flags |= Expect::kOptional;
  return e;
}

class Recorder {
 public:
  static Recorder& Get();

  // Messages not worth tracking in a given test are left out of the log.
  void Ignore(std::initializer_list<UINT> messages) { m_ignored.insert(m_ignored.end(), messages); }
  void Clear() { m_log.clear(); }
  const std::vector<Entry>& Log() const { return m_log; }
  // Lets a test answer a message itself; std::nullopt falls through to DefWindowProcW.
  std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> answer;

  void Reset();
  void Add(const Entry& e);

 private:
  std::vector<Entry> m_log;
  std::vector<UINT> m_ignored;
};

// The procedure of the recorded classes.
LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers (once) a recorded class of the given style and returns its name.
const WCHAR* RecordedClass(UINT style = 0, HBRUSH background = nullptr);

// Checks the log (entries of the given windows only) against the expected order; every logged
// message must be accounted for, optional ones may be missing.
::testing::AssertionResult MatchesOrder(const std::vector<Entry>& log, const std::vector<HWND>& windows,
                                        const std::vector<Expect>& expected);

std::string MessageName(UINT message);

// Dispatches everything waiting (TranslateMessage included), recording posted messages as such.
void Pump();
// Pumps until the condition holds or the time runs out; true if it held.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 2000);
void PumpFor(int ms);

// SendInput in screen coordinates.
void MoveTo(int x, int y);
void Button(int button, bool down);  // 0 left, 1 right
void Click(int x, int y, int button = 0);
void Key(WORD vk, bool down);
void Type(char16_t unit);
void Wheel(int delta);

// Destroys the windows of the test, drains the queue and releases keys and buttons.
class UserTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HWND TopLevel(const WCHAR* cls, DWORD style, RECT r, DWORD exStyle = 0, HWND owner = nullptr,
                const WCHAR* title = u"test");
  HWND Child(HWND parent, RECT r, DWORD style = WS_CHILD | WS_VISIBLE, const WCHAR* cls = nullptr,
             int id = 0);
};

}  // namespace usertest
