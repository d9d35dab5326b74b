// Messages to windows of other processes, over one Unix stream socket per process in the
// runtime folder. A request is a fixed header (plus the record's bytes for WM_COPYDATA); the
// answer is a fixed reply. The receiving process's server hands each request to the window's
// own thread with a cross-thread send, so the window procedure runs there, while that thread
// waits in GetMessageW or in a send of its own, as on Windows. The sender waits a bounded time
// and handles messages sent to its own thread meanwhile, so two processes may send to each
// other without a deadlock.
//
// Only WM_COPYDATA is marshalled; WM_NULL, WM_CLOSE and private messages (WM_USER and up)
// carry their wParam/lParam as plain values. Other messages do not cross.
//
// Sections: limits · socket helpers · server · sending side · hooks.
#include "user/remote.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "user/user.h"

namespace umbra::user::remote {
namespace {

// ---- Limits --------------------------------------------------------------------------------------

// A SendMessageW without a time-out still gives up on a receiver that never answers.
constexpr UINT kDefaultSendTimeoutMs = 5000;
constexpr UINT kPostTimeoutMs = 1000;
// How long the server waits for the rest of a request once it has begun, or for its reply to
// be taken.
constexpr int kServerIoTimeoutMs = 5000;
constexpr int kMaxServerConnections = 64;
constexpr size_t kMaxIdleConnections = 4;  // kept per receiving process

bool IsValueMessage(UINT message) { return message == WM_NULL || message == WM_CLOSE || message >= WM_USER; }

// ---- Socket helpers ------------------------------------------------------------------------------

int RemainingMs(uint64_t deadline) {
  uint64_t now = NowMs();
  return deadline <= now ? 0 : static_cast<int>(std::min<uint64_t>(deadline - now, INT_MAX));
}

// Waits until fd is ready or the deadline passes (UINT64_MAX: no deadline). With `serveSends`,
// messages other threads send to this one are handled meanwhile, as SendMessageW does.
bool WaitReady(int fd, short events, uint64_t deadline, bool serveSends) {
  ThreadQueue* q = serveSends ? &CurrentQueue() : nullptr;
  for (;;) {
    if (q) HandleIncomingSends(*q);
    pollfd fds[2] = {{fd, events, 0}, {q ? q->wakeFd : -1, POLLIN, 0}};
    int timeout = deadline == UINT64_MAX ? -1 : RemainingMs(deadline);
    int n = poll(fds, q ? 2 : 1, timeout);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (fds[0].revents) return true;  // errors and hang-ups show in the read or write that follows
    if (n == 0) return false;
    uint64_t value;
    while (read(q->wakeFd, &value, sizeof value) > 0) {
    }
  }
}

enum class Io { Done, Closed, Failed };

// Reads exactly `size` bytes. `firstDeadline` bounds the wait for the first byte, `deadline`
// the rest.
Io ReadAll(int fd, void* buffer, size_t size, uint64_t firstDeadline, uint64_t deadline, bool serveSends) {
  auto* p = static_cast<char*>(buffer);
  size_t got = 0;
  while (got < size) {
    if (!WaitReady(fd, POLLIN, got == 0 ? firstDeadline : deadline, serveSends)) return Io::Failed;
    ssize_t n = recv(fd, p + got, size - got, MSG_DONTWAIT);
    if (n == 0) return got == 0 ? Io::Closed : Io::Failed;
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return errno == ECONNRESET && got == 0 ? Io::Closed : Io::Failed;
    }
    got += static_cast<size_t>(n);
  }
  return Io::Done;
}

Io WriteAll(int fd, const void* buffer, size_t size, uint64_t deadline, bool serveSends) {
  auto* p = static_cast<const char*>(buffer);
  size_t sent = 0;
  while (sent < size) {
    if (!WaitReady(fd, POLLOUT, deadline, serveSends)) return Io::Failed;
    ssize_t n = send(fd, p + sent, size - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EINTR) continue;
      return (errno == EPIPE || errno == ECONNRESET) && sent == 0 ? Io::Closed : Io::Failed;
    }
    sent += static_cast<size_t>(n);
  }
  return Io::Done;
}

// The process at the other end, if it runs as this user.
bool PeerIsThisUser(int fd, pid_t* pid) {
  ucred cred{};
  socklen_t length = sizeof cred;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 || cred.uid != geteuid()) return false;
  *pid = cred.pid;
  return true;
}

bool FillAddress(const std::string& path, sockaddr_un* addr) {
  if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
  memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  memcpy(addr->sun_path, path.data(), path.size());
  return true;
}

// ---- Server --------------------------------------------------------------------------------------

struct Server {
  std::mutex lock;
  pid_t pid = 0;  // a forked child starts a server of its own
  std::string folder;
  std::string path;
  int listener = -1;
  std::atomic<int> connections{0};
};

Server& TheServer() {
  static Server* server = new Server;  // used by detached threads until the process ends
  return *server;
}

void RemoveSocket() {
  Server& server = TheServer();
  std::lock_guard guard(server.lock);
  if (server.pid == getpid() && !server.path.empty()) unlink(server.path.c_str());
}

LRESULT Deliver(const Request& r, std::vector<char>& data, pid_t peer, Status* status) {
  HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(r.handle));
  *status = Status::NoWindow;
  if (!IsOwnListedWindow(hwnd)) return 0;
  DWORD_PTR result = 0;
  if (r.message == WM_COPYDATA) {
    COPYDATASTRUCT record{static_cast<ULONG_PTR>(r.dwData), r.cbData, r.cbData ? data.data() : nullptr};
    WPARAM from = r.senderWindow ? reinterpret_cast<WPARAM>(ForeignHandle(peer, r.senderWindow)) : 0;
    // No time-out here: the record must outlive the window procedure's use of it. The sender
    // keeps its own time-out.
    if (!SendMessageTimeoutW(hwnd, WM_COPYDATA, from, reinterpret_cast<LPARAM>(&record), SMTO_NORMAL,
                             kInfinite, &result))
      return 0;
  } else if (r.kind == Kind::Post) {
    if (!PostMessageW(hwnd, r.message, static_cast<WPARAM>(r.wParam), static_cast<LPARAM>(r.lParam)))
      return 0;
  } else if (!SendMessageTimeoutW(hwnd, r.message, static_cast<WPARAM>(r.wParam),
                                  static_cast<LPARAM>(r.lParam), SMTO_NORMAL, kInfinite, &result)) {
    return 0;
  }
  *status = Status::Done;
  return static_cast<LRESULT>(result);
}

// Requests come from other programs: anything malformed ends the connection.
bool ValidRequest(const Request& r) {
  if (r.magic != kRequestMagic || (r.kind != Kind::Send && r.kind != Kind::Post)) return false;
  if (r.message == WM_COPYDATA) return r.kind == Kind::Send && r.cbData <= kMaxCopyData;
  return r.cbData == 0;
}

void Serve(int fd, pid_t peer) {
  for (;;) {
    Request r;
    uint64_t now = NowMs();
    if (ReadAll(fd, &r, sizeof r, UINT64_MAX, now + kServerIoTimeoutMs, false) != Io::Done) break;
    if (!ValidRequest(r)) break;
    std::vector<char> data(r.cbData);
    if (r.cbData && ReadAll(fd, data.data(), data.size(), NowMs() + kServerIoTimeoutMs,
                            NowMs() + kServerIoTimeoutMs, false) != Io::Done)
      break;
    Reply reply{kReplyMagic, Status::Refused, 0};
    if (r.message == WM_COPYDATA || IsValueMessage(r.message))
      reply.result = Deliver(r, data, peer, &reply.status);
    if (WriteAll(fd, &reply, sizeof reply, NowMs() + kServerIoTimeoutMs, false) != Io::Done) break;
  }
  close(fd);
  --TheServer().connections;
}

void AcceptLoop(int listener) {
  for (;;) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      close(listener);  // shut down: a newer socket took over
      return;
    }
    pid_t peer = 0;
    Server& server = TheServer();
    if (!PeerIsThisUser(fd, &peer) || server.connections >= kMaxServerConnections) {
      close(fd);
      continue;
    }
    ++server.connections;
    std::thread(Serve, fd, peer).detach();
  }
}

}  // namespace

namespace {

bool IsSocketFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

}  // namespace

std::string EnsureServer(const std::string& folder) {
  Server& server = TheServer();
  std::lock_guard guard(server.lock);
  if (server.pid == getpid()) {
    if (server.folder == folder && IsSocketFile(server.path)) return server.path;
    // The runtime folder changed or was cleaned out: listen again where peers now look.
    shutdown(server.listener, SHUT_RDWR);
    server.pid = 0;
  }
  std::string path = folder + "/s-" + std::to_string(getpid());
  sockaddr_un addr;
  if (!FillAddress(path, &addr)) return {};
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener < 0) return {};
  SweepDeadSockets(folder);
  unlink(path.c_str());  // left by an earlier process with our id
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 64) != 0) {
    close(listener);
    return {};
  }
  static std::once_flag exitHook;
  std::call_once(exitHook, [] { atexit(RemoveSocket); });
  server.pid = getpid();
  server.folder = folder;
  server.path = path;
  server.listener = listener;
  std::thread(AcceptLoop, listener).detach();
  return path;
}

// ---- Sending side ------------------------------------------------------------------------------------
namespace {

// Idle connections to other processes' servers, reused by later sends. A connection is taken
// out while in use, so a send made while handling a message sent back opens another. A live
// connection also proves that its process is the one that listed the window, so a send over
// one skips reading the list; the server still checks that the window exists.
struct ConnectionPool {
  std::mutex lock;
  std::map<pid_t, std::vector<int>> idle;
};

ConnectionPool& Pool() {
  static ConnectionPool* pool = new ConnectionPool;
  return *pool;
}

int Connect(const ListedWindow& target, uint64_t deadline) {
  sockaddr_un addr;
  if (!FillAddress(target.socketPath, &addr)) return -1;
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  // A full backlog answers EAGAIN at once; try again until the deadline.
  while (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if ((errno != EAGAIN && errno != EINTR) || RemainingMs(deadline) == 0) {
      close(fd);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Only the process that listed the window may answer for it.
  pid_t peer = 0;
  if (!PeerIsThisUser(fd, &peer) || peer != target.pid) {
    close(fd);
    return -1;
  }
  return fd;
}

int TakeIdleConnection(pid_t pid) {
  ConnectionPool& pool = Pool();
  std::lock_guard guard(pool.lock);
  auto it = pool.idle.find(pid);
  if (it == pool.idle.end() || it->second.empty()) return -1;
  int fd = it->second.back();
  it->second.pop_back();
  return fd;
}

void ReturnConnection(pid_t pid, int fd) {
  ConnectionPool& pool = Pool();
  std::lock_guard guard(pool.lock);
  std::vector<int>& list = pool.idle[pid];
  if (list.size() < kMaxIdleConnections) {
    list.push_back(fd);
    return;
  }
  close(fd);
}

// One request and its reply. Closed: the other end had already closed an idle connection, so
// the request was not handled and may be sent again on a fresh one.
Io Exchange(int fd, const Request& r, const void* data, uint64_t deadline, Reply* reply) {
  Io io = WriteAll(fd, &r, sizeof r, deadline, true);
  if (io != Io::Done) return io;
  if (r.cbData && WriteAll(fd, data, r.cbData, deadline, true) != Io::Done) return Io::Failed;
  io = ReadAll(fd, reply, sizeof *reply, deadline, deadline, true);
  if (io != Io::Done) return io;
  return reply->magic == kReplyMagic ? Io::Done : Io::Failed;
}

// Fills the request for a message; false when the message cannot cross processes.
bool BuildRequest(Kind kind, uint32_t handle, UINT message, WPARAM wParam, LPARAM lParam, Request* r,
                  const void** data) {
  *r = Request{kRequestMagic, kind, handle, message, 0, 0, 0, 0, 0};
  *data = nullptr;
  if (message != WM_COPYDATA) {
    if (!IsValueMessage(message)) return false;
    r->wParam = static_cast<uint64_t>(wParam);
    r->lParam = static_cast<uint64_t>(lParam);
    return true;
  }
  const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  if (kind != Kind::Send || !record || record->cbData > kMaxCopyData || (record->cbData && !record->lpData))
    return false;
  r->dwData = record->dwData;
  r->cbData = record->cbData;
  *data = record->lpData;
  // wParam names the sending window; the receiver sees it as a foreign window of ours.
  HWND from = reinterpret_cast<HWND>(wParam);
  std::shared_ptr<Window> w = Lookup(from);
  if (w && !w->dead && reinterpret_cast<uintptr_t>(from) <= UINT32_MAX)
    r->senderWindow = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(from));
  return true;
}

bool Transmit(HWND hwnd, Kind kind, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
              LRESULT* result) {
  pid_t pid;
  uint32_t handle;
  if (!DecodeForeignHandle(hwnd, &pid, &handle) || pid == getpid()) return false;
  Request r;
  const void* data;
  if (!BuildRequest(kind, handle, message, wParam, lParam, &r, &data)) return false;
  uint64_t deadline = NowMs() + timeoutMs;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = TakeIdleConnection(pid);
    bool pooled = fd >= 0;
    if (!pooled) {
      std::optional<ListedWindow> target = FindListed(hwnd);
      if (!target || (fd = Connect(*target, deadline)) < 0) return false;
    }
    Reply reply{};
    Io io = Exchange(fd, r, data, deadline, &reply);
    if (io == Io::Done) {
      ReturnConnection(pid, fd);
      if (reply.status != Status::Done) return false;
      if (result) *result = static_cast<LRESULT>(reply.result);
      return true;
    }
    close(fd);
    // An idle connection the other end had closed: the request was not handled; try afresh.
    if (io != Io::Closed || !pooled) return false;
  }
  return false;
}

// ---- Hooks -------------------------------------------------------------------------------------------

HWND FindHook(LPCWSTR className, LPCWSTR title, HWND after) {
  return FindListedWindow(className, title, after);
}

bool IsWindowHook(HWND hwnd) { return FindListed(hwnd).has_value(); }

bool SendHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs, LRESULT* result) {
  if (timeoutMs == kInfinite) timeoutMs = kDefaultSendTimeoutMs;
  return Transmit(hwnd, Kind::Send, message, wParam, lParam, timeoutMs, result);
}

bool PostHook(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return Transmit(hwnd, Kind::Post, message, wParam, lParam, kPostTimeoutMs, nullptr);
}

}  // namespace
}  // namespace umbra::user::remote

namespace umbra::user {

const ForeignWindowHooks* RemoteWindowHooks() {
  static const ForeignWindowHooks hooks{remote::FindHook, remote::IsWindowHook, remote::SendHook,
                                        remote::PostHook};
  return &hooks;
}

}  // namespace umbra::user
