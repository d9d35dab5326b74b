// Each thread's message queue. Other threads may post to it, send to it and wake it; all the
// rest (input messages, timers, focus, key state) belongs to the owner thread alone.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace umbra::user {

struct ThreadQueue;

// Milliseconds from a monotonic clock; message times are its low 32 bits, as GetTickCount's.
uint64_t NowMs();

// A message sent from another thread, waiting for the owner thread to handle it.
struct SentMessage {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  LRESULT result = 0;
  bool done = false;       // guarded by the sender queue's lock
  bool abandoned = false;  // the sender gave up waiting
  std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND hwnd = nullptr;
  UINT_PTR id = 0;
  UINT elapse = 0;
  TIMERPROC proc = nullptr;
  uint64_t due = 0;
};

// Work the queue does for itself when due: hover tracking, caret blinking.
enum class InternalTimerId { MouseHover, CaretBlink };
struct InternalTimer {
  InternalTimerId id;
  uint64_t due = 0;
  std::function<void()> run;
};

// A mouse or keyboard message routed to its window, with the key state it was made under
// (GetKeyState reports that state once the message has been retrieved).
struct RoutedInput {
  MSG msg{};
  BYTE keys[256] = {};
};

struct ThreadQueue {
  explicit ThreadQueue(DWORD thread);
  ~ThreadQueue();
  ThreadQueue(const ThreadQueue&) = delete;
  ThreadQueue& operator=(const ThreadQueue&) = delete;

  const DWORD threadId;
  const int wakeFd;  // an eventfd the owner polls while it waits

  // ---- Shared with other threads, under lock ----
  std::mutex lock;
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quitPosted = false;
  int quitCode = 0;
  bool waiting = false;  // the owner is (about to be) blocked in poll
  uint64_t changes = 0;  // counts arrivals, so a waiting owner can tell new work from old

  // ---- Owner thread only ----
  std::deque<RoutedInput> input;
  std::vector<Timer> timers;
  std::vector<InternalTimer> internalTimers;
  UINT_PTR nextThreadTimerId = 0x7FFF;
  int windowCount = 0;
  int windowsNeedingPaint = 0;
  HWND focus = nullptr;
  HWND active = nullptr;
  HWND capture = nullptr;
  BYTE keyState[256] = {};  // as of the last input message retrieved
  DWORD messageTime = 0;
  POINT messagePos{};
  int incomingSends = 0;  // depth of messages sent from other threads being handled
  bool convertingInput = false;
};

ThreadQueue& CurrentQueue();
const std::shared_ptr<ThreadQueue>& CurrentQueueRef();
// The queue of a live thread that has one, or null.
std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId);

// Appends a posted message and wakes the owner if it waits.
void PostToQueue(ThreadQueue& queue, const MSG& msg);
void Wake(ThreadQueue& queue);
// Drops posted and routed messages for a window that is going away.
void PurgeWindowMessages(ThreadQueue& queue, HWND hwnd);

void SetInternalTimer(ThreadQueue& queue, InternalTimerId id, uint64_t due, std::function<void()> run);
void KillInternalTimer(ThreadQueue& queue, InternalTimerId id);

// Handles messages other threads sent to this one; true if any ran.
bool HandleIncomingSends(ThreadQueue& queue);

}  // namespace umbra::user
