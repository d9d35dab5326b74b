// Windows of other processes. Every process that owns top-level windows lists them in a
// per-user runtime folder (one small file per window) and answers messages sent to them on a
// Unix socket of its own; FindWindowW reads the list, SendMessageW and PostMessageW go through
// the socket. The hooks in foreign.h reach this module.
//
// remote_list.cpp: the runtime folder, the list and foreign handles.
// remote.cpp: the socket server, the sending side and the hook table.
#pragma once

#include <sys/types.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "user/foreign.h"

namespace umbra::user {

// ---- Called by the window manager, on the window's thread ----
// A top-level window of the desktop was created or renamed: (re)lists it. Anything else is
// taken off the list.
void ListTopLevelWindow(HWND hwnd);
// The window is going away or stops being top-level.
void UnlistWindow(HWND hwnd);

// The hooks that reach other processes' windows; foreign.cpp uses them unless others are set.
const ForeignWindowHooks* RemoteWindowHooks();

namespace remote {

// WM_COPYDATA records larger than this are refused on both sides.
constexpr uint32_t kMaxCopyData = 64u << 20;

// ---- The socket protocol ----
// A request is this header, followed for WM_COPYDATA by the record's cbData bytes; the answer
// is one Reply. A connection may carry any number of requests, one at a time.
constexpr uint32_t kRequestMagic = 0x55524D31;  // "URM1"
constexpr uint32_t kReplyMagic = 0x55525231;    // "URR1"

enum class Kind : uint32_t { Send = 1, Post = 2 };
enum class Status : uint32_t { Done = 0, NoWindow = 1, Refused = 2 };

struct Request {
  uint32_t magic;
  Kind kind;
  uint32_t handle;  // the receiver's own window handle
  uint32_t message;
  uint64_t wParam;
  uint64_t lParam;
  uint64_t dwData;        // WM_COPYDATA only, like the two below
  uint32_t cbData;        // bytes that follow the header
  uint32_t senderWindow;  // the sender's window given as wParam, 0 for none
};

struct Reply {
  uint32_t magic;
  Status status;
  int64_t result;
};

// ---- remote_list.cpp ----

// The per-user runtime folder ($XDG_RUNTIME_DIR/umbra, else /tmp/umbra-<uid>), created with mode
// 0700 if missing; empty when it is not a private folder of this user.
std::string RuntimeFolder();

// A window handle for window `remote` of process `pid`; never equal to one of our own.
HWND ForeignHandle(pid_t pid, uint32_t remote);
bool DecodeForeignHandle(HWND hwnd, pid_t* pid, uint32_t* remote);

// The listed window behind a foreign handle, if its process is still the one that listed it.
struct ListedWindow {
  pid_t pid = 0;
  uint32_t handle = 0;
  std::string socketPath;
};
std::optional<ListedWindow> FindListed(HWND foreign);

HWND FindListedWindow(LPCWSTR className, LPCWSTR title, HWND after);

// Removes the sockets of processes that ended without removing them (killed, or _exit).
void SweepDeadSockets(const std::string& folder);

// Whether `hwnd` is one of our windows on the list (any thread).
bool IsOwnListedWindow(HWND hwnd);

// ---- remote.cpp ----

// The path of this process's socket, starting the server on first use; empty if it cannot run.
std::string EnsureServer(const std::string& folder);

}  // namespace remote
}  // namespace umbra::user
