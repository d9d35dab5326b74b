// The message queue: order of retrieval, filters, posting and sending across threads, paint
// and timer messages, and waiting without spinning.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "UserTestKit.h"

using namespace usertest;

namespace {

class MessageTest : public UserTest {
 protected:
  HWND Plain() { return TopLevel(RecordedClass(), WS_POPUP, {0, 0, 100, 100}); }
};

std::vector<UINT> Drain(HWND filter = nullptr, UINT first = 0, UINT last = 0) {
  std::vector<UINT> seen;
  MSG msg;
  while (PeekMessageW(&msg, filter, first, last, PM_REMOVE)) {
    seen.push_back(msg.message);
    if (msg.message != WM_QUIT) DispatchMessageW(&msg);
  }
  return seen;
}

TEST_F(MessageTest, PostedMessagesComeBeforeInputAndQuitAfterBoth) {
  HWND w = TopLevel(RecordedClass(), WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
  SetFocus(w);
  Drain();
  Key('X', true);
  PostQuitMessage(3);
  PostMessageW(w, WM_USER, 0, 0);
  PostMessageW(w, WM_USER + 1, 0, 0);
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_USER, WM_USER + 1, WM_KEYDOWN, WM_QUIT}));
  Key('X', false);
  Drain();

  PostQuitMessage(7);
  PostMessageW(w, WM_USER, 0, 0);
  MSG msg;
  EXPECT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(MessageTest, PeekHonoursRemovalRangesAndWindowFilters) {
  HWND w = Plain();
  HWND child = Child(w, {0, 0, 10, 10});
  HWND other = Plain();
  PostMessageW(other, WM_USER + 5, 0, 0);
  PostMessageW(child, WM_USER + 2, 0, 0);
  PostMessageW(w, WM_USER + 1, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 5));  // still there
  EXPECT_EQ(Drain(nullptr, WM_USER + 1, WM_USER + 1), std::vector<UINT>{WM_USER + 1});
  EXPECT_EQ(Drain(w), std::vector<UINT>{WM_USER + 2});  // the window filter takes children too
  EXPECT_EQ(Drain(), std::vector<UINT>{WM_USER + 5});

  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 9, 0);
  ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(msg.wParam, 9u);
}

TEST_F(MessageTest, PostsToADestroyedWindowAreDropped) {
  HWND w = Plain();
  HWND keep = Plain();
  PostMessageW(w, WM_USER, 0, 0);
  PostMessageW(keep, WM_USER + 1, 0, 0);
  DestroyWindow(w);
  EXPECT_FALSE(PostMessageW(w, WM_USER, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(Drain(), std::vector<UINT>{WM_USER + 1});
  SetLastError(0);
  EXPECT_EQ(SendMessageW(w, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(MessageTest, PaintComesOnlyWithAnUpdateRegionAndWhenTheQueueIsEmpty) {
  HWND w = TopLevel(RecordedClass(), WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
  Drain();
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
  RECT r{10, 10, 20, 30};
  InvalidateRect(w, &r, FALSE);
  r = RECT{50, 50, 60, 60};
  InvalidateRect(w, &r, FALSE);
  RECT update;
  ASSERT_TRUE(GetUpdateRect(w, &update, FALSE));
  const RECT bounds{10, 10, 60, 60};
  EXPECT_TRUE(EqualRect(&update, &bounds));
  PostMessageW(w, WM_USER, 0, 0);

  PAINTSTRUCT seen{};
  Recorder::Get().answer = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_PAINT) return std::nullopt;
    BeginPaint(h, &seen);
    EndPaint(h, &seen);
    return 0;
  };
  EXPECT_EQ(Drain(), (std::vector<UINT>{WM_USER, WM_PAINT}));  // once, after the posted message
  EXPECT_TRUE(EqualRect(&seen.rcPaint, &update));
  EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));

  InvalidateRect(w, nullptr, TRUE);
  ValidateRect(w, nullptr);
  EXPECT_TRUE(Drain().empty());
  // A hidden window gathers no update region.
  ShowWindow(w, SW_HIDE);
  InvalidateRect(w, nullptr, FALSE);
  EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
}

TEST_F(MessageTest, UpdateWindowPaintsAtOnceWithErase) {
  HWND w = TopLevel(RecordedClass(), WS_POPUP | WS_VISIBLE, {0, 0, 100, 100});
  Drain();
  InvalidateRect(w, nullptr, TRUE);
  Recorder::Get().Clear();
  UpdateWindow(w);
  EXPECT_TRUE(MatchesOrder(Recorder::Get().Log(), {w},
                           {Sent(0, WM_PAINT), Optional(Sent(0, WM_NCPAINT)), Sent(0, WM_ERASEBKGND)}));
  EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE));
}

TEST_F(MessageTest, TimersCarryTheirIdentifierAndStopWhenKilled) {
  HWND w = Plain();
  EXPECT_EQ(SetTimer(w, 0, 1, nullptr), 1u);  // identifier 0 still reports success
  EXPECT_EQ(SetTimer(w, 42, 1, nullptr), 42u);
  Recorder::Get().Clear();
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(PumpUntil([&] {
    int zero = 0, answer = 0;
    for (const Entry& e : Recorder::Get().Log()) {
      if (e.message != WM_TIMER) continue;
      zero += e.wParam == 0;
      answer += e.wParam == 42;
    }
    return zero && answer;
  }));
  // Elapses below the minimum wait the minimum.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(USER_TIMER_MINIMUM - 1));
  EXPECT_TRUE(KillTimer(w, 42));
  EXPECT_FALSE(KillTimer(w, 42));
  KillTimer(w, 0);
  Recorder::Get().Clear();
  PumpFor(40);
  EXPECT_TRUE(Recorder::Get().Log().empty());
}

TEST_F(MessageTest, TimerProceduresRunOnlyForTheirOwnTimers) {
  static int s_calls;
  s_calls = 0;
  TIMERPROC proc = [](HWND, UINT, UINT_PTR, DWORD) { ++s_calls; };
  UINT_PTR id = SetTimer(nullptr, 0, 10, proc);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(PumpUntil([] { return s_calls > 0; }));
  KillTimer(nullptr, id);
  // A WM_TIMER posted with some function in lParam goes to the window, never to the function.
  HWND w = Plain();
  int before = s_calls;
  PostMessageW(w, WM_TIMER, 5, reinterpret_cast<LPARAM>(proc));
  Recorder::Get().Clear();
  Pump();
  EXPECT_EQ(s_calls, before);
  ASSERT_EQ(Recorder::Get().Log().size(), 1u);
  EXPECT_EQ(Recorder::Get().Log()[0].message, static_cast<UINT>(WM_TIMER));
}

TEST_F(MessageTest, GetMessageSleepsUntilAnotherThreadPosts) {
  HWND w = Plain();
  Drain();
  clock_t cpuBefore = clock();
  std::thread poster([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    PostMessageW(w, WM_USER + 3, 0, 0);
  });
  MSG msg;
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  auto waited = std::chrono::steady_clock::now() - start;
  poster.join();
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3));
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  // Waiting does not spin: the process used a small part of the wait in CPU time.
  EXPECT_LT(static_cast<double>(clock() - cpuBefore) / CLOCKS_PER_SEC, 0.1);
}

TEST_F(MessageTest, GetMessageWithAFilterSleepsWhileOtherMessagesWait) {
  HWND w = Plain();
  HWND other = Plain();
  Drain();
  PostMessageW(other, WM_USER, 0, 0);  // does not pass the filter below
  clock_t cpuBefore = clock();
  std::thread poster([w] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    PostMessageW(w, WM_USER + 1, 0, 0);
  });
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, w, 0, 0));
  poster.join();
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  EXPECT_LT(static_cast<double>(clock() - cpuBefore) / CLOCKS_PER_SEC, 0.1);
  EXPECT_EQ(Drain(), std::vector<UINT>{WM_USER});
}

TEST_F(MessageTest, SendFromAnotherThreadIsHandledWhileTheOwnerWaits) {
  HWND w = Plain();
  Recorder::Get().answer = [](HWND, UINT m, WPARAM wp, LPARAM) -> std::optional<LRESULT> {
    if (m == WM_USER) return static_cast<LRESULT>(wp * 2);
    return std::nullopt;
  };
  DWORD handledOn = 0;
  std::atomic<LRESULT> result{0};
  std::thread sender([&] {
    result = SendMessageW(w, WM_USER, 21, 0);
    PostMessageW(w, WM_USER + 9, 0, 0);
  });
  MSG msg;
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));  // the send runs inside, then the post arrives
  sender.join();
  EXPECT_EQ(result.load(), 42);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 9));
  for (const Entry& e : Recorder::Get().Log())
    if (e.message == WM_USER) handledOn = GetCurrentThreadId();
  EXPECT_EQ(handledOn, GetCurrentThreadId());
}

TEST_F(MessageTest, SendToAThreadThatDoesNotAnswerTimesOut) {
  HWND w = Plain();
  DWORD_PTR result = 1;
  BOOL ok = TRUE;
  DWORD error = 0;
  std::thread sender([&] {
    ok = static_cast<BOOL>(SendMessageTimeoutW(w, WM_USER, 0, 0, SMTO_NORMAL, 50, &result));
    error = GetLastError();
  });
  sender.join();  // this thread never reads its queue meanwhile
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_TIMEOUT));
  // The abandoned message is not delivered late.
  Recorder::Get().Clear();
  Pump();
  EXPECT_TRUE(Recorder::Get().Log().empty());
}

}  // namespace
