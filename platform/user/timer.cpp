// Timers: WM_TIMER is made when a timer is due and nothing else is waiting. Elapses below
// USER_TIMER_MINIMUM are raised to it; setting an existing timer again restarts it.
#include <algorithm>

#include "user/user.h"

namespace umbra::user {
namespace {

UINT ClampElapse(UINT elapse) { return std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM); }

Timer* FindTimer(ThreadQueue& q, HWND hwnd, UINT_PTR id) {
  auto it = std::find_if(q.timers.begin(), q.timers.end(),
                         [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
  return it == q.timers.end() ? nullptr : &*it;
}

}  // namespace

void KillWindowTimers(ThreadQueue& queue, HWND hwnd) {
  std::erase_if(queue.timers, [&](const Timer& t) { return t.hwnd == hwnd; });
}

uint64_t NextTimerDue(const ThreadQueue& queue) {
  uint64_t due = UINT64_MAX;
  for (const Timer& t : queue.timers) due = std::min(due, t.due);
  return due;
}

bool TimerProcIsRegistered(const ThreadQueue& queue, HWND hwnd, UINT_PTR id, LPARAM proc) {
  return std::any_of(queue.timers.begin(), queue.timers.end(), [&](const Timer& t) {
    return t.hwnd == hwnd && t.id == id && reinterpret_cast<LPARAM>(t.proc) == proc;
  });
}

bool NextTimerMessage(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out) {
  if (queue.timers.empty() || !MessageInRange(WM_TIMER, first, last)) return false;
  uint64_t now = NowMs();
  Timer* next = nullptr;
  for (Timer& t : queue.timers) {
    if (t.due > now || !WindowFilterMatches(t.hwnd, filter)) continue;
    if (!next || t.due < next->due) next = &t;
  }
  if (!next) return false;
  *out =
      MSG{next->hwnd,      WM_TIMER, next->id, reinterpret_cast<LPARAM>(next->proc), static_cast<DWORD>(now),
          CursorPosition()};
  if (remove) next->due = now + next->elapse;
  return true;
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
  ThreadQueue& q = CurrentQueue();
  if (hWnd) {
    Window* w = Get(hWnd);
    if (!w) return 0;
    if (w->queue.get() != &q) {
      SetLastError(ERROR_ACCESS_DENIED);
      return 0;
    }
  }
  UINT elapse = ClampElapse(uElapse);
  uint64_t due = NowMs() + elapse;
  Timer* existing = FindTimer(q, hWnd, nIDEvent);
  if (existing && (hWnd || nIDEvent)) {
    existing->elapse = elapse;
    existing->proc = lpTimerFunc;
    existing->due = due;
    return hWnd ? (nIDEvent ? nIDEvent : 1) : nIDEvent;
  }
  UINT_PTR id = nIDEvent;
  if (!hWnd) {
    // Thread timers get an identifier of their own when the one asked for is not in use.
    do {
      id = ++q.nextThreadTimerId;
    } while (id == 0 || FindTimer(q, nullptr, id));
  }
  q.timers.push_back(Timer{hWnd, id, elapse, lpTimerFunc, due});
  return hWnd ? (id ? id : 1) : id;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
  ThreadQueue& q = CurrentQueue();
  auto it = std::find_if(q.timers.begin(), q.timers.end(),
                         [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; });
  if (it == q.timers.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  q.timers.erase(it);
  // A WM_TIMER for it that is not yet dispatched is not made any more: timers are synthesised.
  return TRUE;
}
