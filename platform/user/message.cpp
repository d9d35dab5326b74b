// The per-thread message queue: posting, sending (also across threads), retrieval in Win32's
// order (sent, posted, input, quit, paint, timer), waiting without spinning, and dispatch.
//
// Sections: queues · internal timers · sent messages · retrieval · waiting · public calls.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "display/display.h"
#include "kernel/clock.h"
#include "user/foreign.h"
#include "user/user.h"

namespace umbra::user {

uint64_t NowMs() { return kernel::MonotonicMs(); }

DWORD CurrentThreadId() {
  static thread_local DWORD id = static_cast<DWORD>(syscall(SYS_gettid));
  return id;
}

// ---- Queues ------------------------------------------------------------------------------------
namespace {

struct QueueRegistry {
  std::mutex lock;
  std::unordered_map<DWORD, std::weak_ptr<ThreadQueue>> queues;
};

QueueRegistry& Registry() {
  static QueueRegistry* registry = new QueueRegistry;
  return *registry;
}

thread_local std::shared_ptr<ThreadQueue> t_queue;

}  // namespace

ThreadQueue::ThreadQueue(DWORD thread) : threadId(thread), wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ThreadQueue::~ThreadQueue() {
  // Senders still waiting on this thread get 0, as when the receiver of a sent message exits.
  for (auto& pending : sent) {
    if (!pending->sender) continue;
    {
      std::lock_guard guard(pending->sender->lock);
      pending->done = true;
    }
    Wake(*pending->sender);
  }
  {
    QueueRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    auto it = reg.queues.find(threadId);
    if (it != reg.queues.end() && it->second.expired()) reg.queues.erase(it);
  }
  if (wakeFd >= 0) close(wakeFd);
}

const std::shared_ptr<ThreadQueue>& CurrentQueueRef() {
  if (!t_queue) {
    t_queue = std::make_shared<ThreadQueue>(CurrentThreadId());
    QueueRegistry& reg = Registry();
    std::lock_guard guard(reg.lock);
    reg.queues[t_queue->threadId] = t_queue;
  }
  return t_queue;
}

ThreadQueue& CurrentQueue() { return *CurrentQueueRef(); }

std::shared_ptr<ThreadQueue> QueueOfThread(DWORD threadId) {
  QueueRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  auto it = reg.queues.find(threadId);
  return it == reg.queues.end() ? nullptr : it->second.lock();
}

void Wake(ThreadQueue& queue) {
  uint64_t one = 1;
  ssize_t written = write(queue.wakeFd, &one, sizeof(one));
  (void)written;  // a full counter still wakes the poll
}

void PostToQueue(ThreadQueue& queue, const MSG& msg) {
  bool wake;
  {
    std::lock_guard guard(queue.lock);
    queue.posted.push_back(msg);
    ++queue.changes;
    wake = queue.waiting;
  }
  if (wake) Wake(queue);
}

void PurgeWindowMessages(ThreadQueue& queue, HWND hwnd) {
  {
    std::lock_guard guard(queue.lock);
    std::erase_if(queue.posted, [&](const MSG& m) { return m.hwnd == hwnd; });
  }
  std::erase_if(queue.input, [&](const RoutedInput& r) { return r.msg.hwnd == hwnd; });
}

// ---- Internal timers -----------------------------------------------------------------------------

void SetInternalTimer(ThreadQueue& queue, InternalTimerId id, uint64_t due, std::function<void()> run) {
  KillInternalTimer(queue, id);
  queue.internalTimers.push_back(InternalTimer{id, due, std::move(run)});
}

void KillInternalTimer(ThreadQueue& queue, InternalTimerId id) {
  std::erase_if(queue.internalTimers, [&](const InternalTimer& t) { return t.id == id; });
}

namespace {

// One-shot: a timer that must repeat sets itself again from its callback.
void RunInternalTimers(ThreadQueue& q) {
  if (q.internalTimers.empty()) return;
  uint64_t now = NowMs();
  for (size_t i = 0; i < q.internalTimers.size();) {
    if (q.internalTimers[i].due > now) {
      ++i;
      continue;
    }
    std::function<void()> run = std::move(q.internalTimers[i].run);
    q.internalTimers.erase(q.internalTimers.begin() + static_cast<ptrdiff_t>(i));
    run();
    i = 0;  // the callback may have changed the list
    now = NowMs();
  }
}

uint64_t NextDeadline(const ThreadQueue& q) {
  uint64_t due = NextTimerDue(q);
  for (const InternalTimer& t : q.internalTimers) due = std::min(due, t.due);
  return due;
}

}  // namespace

// ---- Sent messages ---------------------------------------------------------------------------------

LRESULT CallWindow(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!w || w->dead || !w->proc) return 0;
  return w->proc(w->hwnd, message, wParam, lParam);
}

namespace {

void Complete(SentMessage& sent, LRESULT result) {
  if (!sent.sender) return;
  {
    std::lock_guard guard(sent.sender->lock);
    sent.result = result;
    sent.done = true;
  }
  Wake(*sent.sender);
}

bool Abandoned(SentMessage& sent) {
  if (!sent.sender) return false;
  std::lock_guard guard(sent.sender->lock);
  return sent.abandoned;
}

// Waits on the queue's wake-up descriptor (and the display's, for the input thread).
void Block(ThreadQueue& q, int timeoutMs) {
  pollfd fds[2] = {{q.wakeFd, POLLIN, 0}, {-1, POLLIN, 0}};
  nfds_t count = 1;
  if (IsInputQueue(q)) {
    fds[1].fd = display::Current().EventFd();
    if (fds[1].fd >= 0) count = 2;
  }
  poll(fds, count, timeoutMs);
  uint64_t value;
  while (read(q.wakeFd, &value, sizeof(value)) > 0) {
  }
}

int TimeoutUntil(uint64_t deadline) {
  if (deadline == UINT64_MAX) return -1;
  uint64_t now = NowMs();
  return deadline <= now ? 0 : static_cast<int>(std::min<uint64_t>(deadline - now, INT_MAX));
}

// Sends to a window of another thread and waits, handling messages sent to this thread meanwhile.
LRESULT SendAcross(const std::shared_ptr<Window>& w, UINT message, WPARAM wParam, LPARAM lParam,
                   UINT timeoutMs, bool* timedOut) {
  const std::shared_ptr<ThreadQueue>& me = CurrentQueueRef();
  auto sent = std::make_shared<SentMessage>();
  sent->hwnd = w->hwnd;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  sent->sender = me;
  {
    std::lock_guard guard(w->queue->lock);
    w->queue->sent.push_back(sent);
    ++w->queue->changes;
  }
  Wake(*w->queue);
  uint64_t deadline = timeoutMs == kInfinite ? UINT64_MAX : NowMs() + timeoutMs;
  for (;;) {
    {
      std::lock_guard guard(me->lock);
      if (sent->done) return sent->result;
      if (NowMs() >= deadline) {
        sent->abandoned = true;
        *timedOut = true;
        return 0;
      }
      me->waiting = true;
    }
    if (!HandleIncomingSends(*me)) Block(*me, TimeoutUntil(deadline));
    std::lock_guard guard(me->lock);
    me->waiting = false;
  }
}

}  // namespace

bool HandleIncomingSends(ThreadQueue& q) {
  bool any = false;
  for (;;) {
    std::shared_ptr<SentMessage> sent;
    {
      std::lock_guard guard(q.lock);
      if (q.sent.empty()) return any;
      sent = std::move(q.sent.front());
      q.sent.pop_front();
    }
    any = true;
    if (Abandoned(*sent)) continue;
    std::shared_ptr<Window> w = Lookup(sent->hwnd);
    LRESULT result = 0;
    if (w && !w->dead) {
      ++q.incomingSends;
      result = CallWindow(w.get(), sent->message, sent->wParam, sent->lParam);
      --q.incomingSends;
    }
    Complete(*sent, result);
  }
}

// ---- Retrieval ---------------------------------------------------------------------------------------

bool MessageInRange(UINT message, UINT first, UINT last) {
  if (first == 0 && last == 0) return true;
  if (first <= last) return message >= first && message <= last;
  return message >= first || message <= last;
}

bool WindowFilterMatches(HWND msgHwnd, HWND filter) {
  if (!filter) return true;
  if (filter == reinterpret_cast<HWND>(-1)) return msgHwnd == nullptr;
  return msgHwnd == filter || IsChild(filter, msgHwnd);
}

bool InputMatches(const MSG& msg, HWND filter, UINT first, UINT last) {
  return MessageInRange(msg.message, first, last) && WindowFilterMatches(msg.hwnd, filter);
}

namespace {

void NoteRetrieved(ThreadQueue& q, const MSG& msg) {
  q.messageTime = msg.time;
  q.messagePos = msg.pt;
}

bool TakePosted(ThreadQueue& q, MSG* out, HWND filter, UINT first, UINT last, bool remove) {
  std::lock_guard guard(q.lock);
  for (auto it = q.posted.begin(); it != q.posted.end();) {
    // Messages posted to a window that has since been destroyed are dropped.
    if (it->hwnd && !Lookup(it->hwnd)) {
      it = q.posted.erase(it);
      continue;
    }
    if (InputMatches(*it, filter, first, last)) {
      *out = *it;
      if (remove) q.posted.erase(it);
      return true;
    }
    ++it;
  }
  return false;
}

bool TakeInput(ThreadQueue& q, MSG* out, HWND filter, UINT first, UINT last, bool remove) {
  if (IsInputQueue(q)) {
    display::Current().ProcessEvents();
    RouteInput(q, filter, first, last);
  }
  for (auto it = q.input.begin(); it != q.input.end(); ++it) {
    if (!InputMatches(it->msg, filter, first, last)) continue;
    *out = it->msg;
    if (remove) {
      std::copy(std::begin(it->keys), std::end(it->keys), q.keyState);
      q.input.erase(it);
    }
    return true;
  }
  return false;
}

bool TakeQuit(ThreadQueue& q, MSG* out, bool remove) {
  std::lock_guard guard(q.lock);
  if (!q.quitPosted) return false;
  *out = MSG{nullptr,         WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, static_cast<DWORD>(NowMs()),
             CursorPosition()};
  if (remove) q.quitPosted = false;
  return true;
}

bool TakePaint(ThreadQueue& q, MSG* out, HWND filter, UINT first, UINT last, bool remove) {
  if (q.windowsNeedingPaint == 0 || !MessageInRange(WM_PAINT, first, last)) return false;
  HWND hwnd = FindWindowToPaint(q, filter);
  if (!hwnd) return false;
  *out = MSG{hwnd, WM_PAINT, 0, 0, static_cast<DWORD>(NowMs()), CursorPosition()};
  if (remove) {
    // A paint asked for with RDW_INTERNALPAINT alone is delivered once.
    Window* w = Get(hwnd);
    if (w && w->update.Empty() && w->internalPaint) {
      w->internalPaint = false;
      RefreshPaintFlag(w);
    }
  }
  return true;
}

bool PeekInternal(ThreadQueue& q, MSG* out, HWND filter, UINT first, UINT last, UINT flags) {
  bool remove = flags & PM_REMOVE;
  UINT kinds = flags >> 16;
  if (kinds == 0) kinds = QS_ALLINPUT;
  HandleIncomingSends(q);
  RunInternalTimers(q);
  bool found = ((kinds & QS_POSTMESSAGE) && TakePosted(q, out, filter, first, last, remove)) ||
               ((kinds & QS_INPUT) && TakeInput(q, out, filter, first, last, remove)) ||
               TakeQuit(q, out, remove) ||
               ((kinds & QS_PAINT) && TakePaint(q, out, filter, first, last, remove)) ||
               ((kinds & QS_TIMER) && NextTimerMessage(q, filter, first, last, remove, out));
  if (found) NoteRetrieved(q, *out);
  return found;
}

// ---- Waiting -----------------------------------------------------------------------------------------

uint64_t Changes(ThreadQueue& q) {
  std::lock_guard guard(q.lock);
  return q.changes;
}

// Sleeps until something arrives after `seen` (messages already there did not pass the filter),
// a timer falls due, or input or the display wakes the thread.
void WaitForWork(ThreadQueue& q, uint64_t seen) {
  {
    std::lock_guard guard(q.lock);
    if (q.changes != seen || !q.sent.empty()) return;
    q.waiting = true;
  }
  if (!(IsInputQueue(q) && RawInputPending())) Block(q, TimeoutUntil(NextDeadline(q)));
  std::lock_guard guard(q.lock);
  q.waiting = false;
}

bool CheckFilterWindow(HWND hwnd) {
  if (!hwnd || hwnd == reinterpret_cast<HWND>(-1) || Lookup(hwnd)) return true;
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return false;
}

}  // namespace
}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

// ---- Public calls -----------------------------------------------------------------------------------

DWORD WINAPI GetCurrentThreadId(void) { return CurrentThreadId(); }

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (!lpMsg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (!CheckFilterWindow(hWnd)) return -1;
  ThreadQueue& q = CurrentQueue();
  for (;;) {
    uint64_t seen = Changes(q);
    if (PeekInternal(q, lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, PM_REMOVE))
      return lpMsg->message != WM_QUIT;
    WaitForWork(q, seen);
  }
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (!lpMsg || !CheckFilterWindow(hWnd)) return FALSE;
  return PeekInternal(CurrentQueue(), lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, wRemoveMsg) ? TRUE : FALSE;
}

BOOL WINAPI WaitMessage(void) {
  ThreadQueue& q = CurrentQueue();
  MSG msg;
  uint64_t seen = Changes(q);
  if (!PeekInternal(q, &msg, nullptr, 0, 0, PM_NOREMOVE)) WaitForWork(q, seen);
  return TRUE;
}

DWORD WINAPI GetQueueStatus(UINT flags) {
  ThreadQueue& q = CurrentQueue();
  UINT status = 0;
  {
    std::lock_guard guard(q.lock);
    if (!q.posted.empty()) status |= QS_POSTMESSAGE | QS_ALLPOSTMESSAGE;
    if (!q.sent.empty()) status |= QS_SENDMESSAGE;
  }
  for (const RoutedInput& r : q.input)
    status |= r.msg.message >= WM_MOUSEFIRST && r.msg.message <= WM_MOUSELAST ? QS_MOUSEBUTTON : QS_KEY;
  if (IsInputQueue(q) && RawInputPending()) status |= QS_INPUT;
  if (q.windowsNeedingPaint) status |= QS_PAINT;
  if (NextTimerDue(q) <= NowMs()) status |= QS_TIMER;
  status &= flags;
  return MAKELONG(status, status);
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
  if (!lpMsg) return 0;
  ThreadQueue& q = CurrentQueue();
  // A timer's procedure runs only for a timer that was set with it, never for a forged lParam.
  if (lpMsg->message == WM_TIMER && lpMsg->lParam &&
      TimerProcIsRegistered(q, lpMsg->hwnd, lpMsg->wParam, lpMsg->lParam)) {
    reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam,
                                               static_cast<DWORD>(NowMs()));
    return 0;
  }
  if (!lpMsg->hwnd) return 0;
  std::shared_ptr<Window> w = Lookup(lpMsg->hwnd);
  if (!w || w->dead) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->queue && w->queue.get() != &q) {
    SetLastError(ERROR_WINDOW_OF_OTHER_THREAD);
    return 0;
  }
  return CallWindow(w.get(), lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI SendMessageTimeoutW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam, UINT fuFlags,
                                   UINT uTimeout, DWORD_PTR* lpdwResult) {
  LRESULT result = 0;
  if (hWnd == HWND_BROADCAST) {
    std::vector<HWND> all;
    for (Window* w : Desktop()->children) all.push_back(w->hwnd);
    for (HWND h : all) SendMessageTimeoutW(h, Msg, wParam, lParam, fuFlags, uTimeout, nullptr);
    if (lpdwResult) *lpdwResult = 0;
    return TRUE;
  }
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || w->dead) {
    if (SendToForeignWindow(hWnd, Msg, wParam, lParam, uTimeout, &result)) {
      if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
      return TRUE;
    }
    SetLastError(IsForeignWindow(hWnd) ? ERROR_TIMEOUT : ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (!w->queue || w->queue.get() == &CurrentQueue()) {
    result = CallWindow(w.get(), Msg, wParam, lParam);
  } else {
    bool timedOut = false;
    result = SendAcross(w, Msg, wParam, lParam, uTimeout, &timedOut);
    if (timedOut) {
      SetLastError(ERROR_TIMEOUT);
      return 0;
    }
  }
  if (lpdwResult) *lpdwResult = static_cast<DWORD_PTR>(result);
  return TRUE;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (w && !w->dead && (!w->queue || w->queue.get() == &CurrentQueue()))
    return CallWindow(w.get(), Msg, wParam, lParam);  // the common case, kept short
  DWORD_PTR result = 0;
  SendMessageTimeoutW(hWnd, Msg, wParam, lParam, SMTO_NORMAL, kInfinite, &result);
  return static_cast<LRESULT>(result);
}

BOOL WINAPI PostThreadMessageW(DWORD idThread, UINT Msg, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> q = QueueOfThread(idThread);
  if (!q) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  PostToQueue(*q, MSG{nullptr, Msg, wParam, lParam, static_cast<DWORD>(NowMs()), CursorPosition()});
  return TRUE;
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (!hWnd) return PostThreadMessageW(CurrentThreadId(), Msg, wParam, lParam);
  if (hWnd == HWND_BROADCAST) {
    std::vector<HWND> all;
    for (Window* w : Desktop()->children) all.push_back(w->hwnd);
    for (HWND h : all) PostMessageW(h, Msg, wParam, lParam);
    return TRUE;
  }
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || w->dead || !w->queue) {
    if (PostToForeignWindow(hWnd, Msg, wParam, lParam)) return TRUE;
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  PostToQueue(*w->queue, MSG{hWnd, Msg, wParam, lParam, static_cast<DWORD>(NowMs()), CursorPosition()});
  return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  ThreadQueue& q = CurrentQueue();
  std::lock_guard guard(q.lock);
  q.quitPosted = true;
  q.quitCode = nExitCode;
  ++q.changes;
}

BOOL WINAPI InSendMessage(void) { return CurrentQueue().incomingSends > 0; }

LONG WINAPI GetMessageTime(void) { return static_cast<LONG>(CurrentQueue().messageTime); }

DWORD WINAPI GetMessagePos(void) {
  POINT pt = CurrentQueue().messagePos;
  return MAKELONG(static_cast<SHORT>(pt.x), static_cast<SHORT>(pt.y));
}
