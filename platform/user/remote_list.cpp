// The list of top-level windows that every process keeps in the per-user runtime folder: one
// file per window ("w-<pid>-<handle>", written whole and renamed into place), holding the
// class name, the title and the socket that reaches the owner. Entries of processes that have
// gone (or whose process id now belongs to another process) are removed by whoever finds them.
//
// Sections: folder · own process · entry files · listing our windows · foreign handles · finding.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "user/remote.h"
#include "user/user.h"

namespace umbra::user::remote {

// ---- Folder ------------------------------------------------------------------------------------

namespace {

// A folder that only this user can enter; anything else (a link, another owner, wider rights)
// could let another user forge or read the list.
bool IsPrivateFolder(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::string RuntimeFolder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  std::string folder = runtime && runtime[0] == '/' ? std::string(runtime) + "/umbra"
                                                    : "/tmp/umbra-" + std::to_string(geteuid());
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  return IsPrivateFolder(folder) ? folder : std::string();
}

// ---- Own process ---------------------------------------------------------------------------------

namespace {

// The start time of a live process (clock ticks since boot), to tell it from a later process
// that got the same id; nothing for a process that is gone or a zombie.
std::optional<uint64_t> ProcessStartTime(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char buf[1024];
  ssize_t n = read(fd, buf, sizeof buf - 1);
  close(fd);
  if (n <= 0) return std::nullopt;
  buf[n] = 0;
  // The command name may hold spaces and parentheses; the fields after it start at the last ')'.
  char* rest = strrchr(buf, ')');
  if (!rest) return std::nullopt;
  ++rest;
  char state = 0;
  unsigned long long start = 0;
  // Fields 3 (state) to 22 (starttime).
  if (sscanf(rest, " %c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu", &state,
             &start) != 2)
    return std::nullopt;
  if (state == 'Z' || state == 'X' || state == 'x') return std::nullopt;
  return start;
}

uint64_t OwnStartTime() {
  static const uint64_t start = ProcessStartTime(getpid()).value_or(0);
  return start;
}

bool IsAlive(pid_t pid, uint64_t startTime) {
  if (pid <= 0 || (kill(pid, 0) != 0 && errno == ESRCH)) return false;
  std::optional<uint64_t> now = ProcessStartTime(pid);
  return now && *now == startTime;
}

// ---- Entry files -----------------------------------------------------------------------------------

constexpr char kMagic[4] = {'U', 'M', 'W', '1'};
constexpr uint32_t kMaxClassChars = 256;
constexpr uint32_t kMaxTitleChars = 32768;
constexpr uint32_t kMaxSocketPath = 107;  // sockaddr_un's sun_path, less the terminator

struct EntryHeader {
  char magic[4];
  uint32_t pid;
  uint64_t startTime;
  uint32_t handle;
  uint32_t classChars;
  uint32_t titleChars;
  uint32_t socketBytes;
};

struct Entry {
  pid_t pid = 0;
  uint32_t handle = 0;
  uint64_t startTime = 0;
  std::u16string className;
  std::u16string title;
  std::string socketPath;
};

std::string EntryName(pid_t pid, uint32_t handle) {
  char name[48];
  snprintf(name, sizeof name, "w-%d-%x", static_cast<int>(pid), handle);
  return name;
}

// "w-<pid>-<hex handle>"; false for any other name (temporary files start with '.').
bool ParseEntryName(const char* name, pid_t* pid, uint32_t* handle) {
  if (strncmp(name, "w-", 2) != 0) return false;
  char* end = nullptr;
  errno = 0;
  long p = strtol(name + 2, &end, 10);
  if (errno || end == name + 2 || *end != '-' || p <= 0 || p > INT32_MAX) return false;
  const char* hex = end + 1;
  unsigned long h = strtoul(hex, &end, 16);
  if (errno || end == hex || *end || h == 0 || h > UINT32_MAX) return false;
  *pid = static_cast<pid_t>(p);
  *handle = static_cast<uint32_t>(h);
  return true;
}

std::string EncodeEntry(const Entry& e) {
  EntryHeader h{};
  memcpy(h.magic, kMagic, sizeof kMagic);
  h.pid = static_cast<uint32_t>(e.pid);
  h.startTime = e.startTime;
  h.handle = e.handle;
  h.classChars = static_cast<uint32_t>(std::min<size_t>(e.className.size(), kMaxClassChars));
  h.titleChars = static_cast<uint32_t>(std::min<size_t>(e.title.size(), kMaxTitleChars));
  h.socketBytes = static_cast<uint32_t>(e.socketPath.size());
  std::string out(reinterpret_cast<const char*>(&h), sizeof h);
  out.append(reinterpret_cast<const char*>(e.className.data()), h.classChars * 2);
  out.append(reinterpret_cast<const char*>(e.title.data()), h.titleChars * 2);
  out.append(e.socketPath);
  return out;
}

// Entries come from other processes: every length is checked against the file's own size.
std::optional<Entry> DecodeEntry(const std::string& bytes) {
  EntryHeader h;
  if (bytes.size() < sizeof h) return std::nullopt;
  memcpy(&h, bytes.data(), sizeof h);
  if (memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.classChars > kMaxClassChars ||
      h.titleChars > kMaxTitleChars || h.socketBytes == 0 || h.socketBytes > kMaxSocketPath)
    return std::nullopt;
  size_t expected = sizeof h + (size_t{h.classChars} + h.titleChars) * 2 + h.socketBytes;
  if (bytes.size() != expected) return std::nullopt;
  Entry e;
  e.pid = static_cast<pid_t>(h.pid);
  e.handle = h.handle;
  e.startTime = h.startTime;
  const char* p = bytes.data() + sizeof h;
  e.className.resize(h.classChars);
  memcpy(e.className.data(), p, h.classChars * 2);
  p += h.classChars * 2;
  e.title.resize(h.titleChars);
  memcpy(e.title.data(), p, h.titleChars * 2);
  p += h.titleChars * 2;
  e.socketPath.assign(p, h.socketBytes);
  if (e.socketPath.find('\0') != std::string::npos) return std::nullopt;
  return e;
}

std::optional<Entry> ReadEntry(const std::string& folder, pid_t pid, uint32_t handle) {
  std::string path = folder + "/" + EntryName(pid, handle);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return std::nullopt;
  constexpr size_t kMaxFile = sizeof(EntryHeader) + (kMaxClassChars + kMaxTitleChars) * 2 + kMaxSocketPath;
  std::string bytes(kMaxFile + 1, '\0');
  size_t got = 0;
  ssize_t n;
  while (got < bytes.size() && (n = read(fd, bytes.data() + got, bytes.size() - got)) > 0)
    got += static_cast<size_t>(n);
  close(fd);
  bytes.resize(got);
  std::optional<Entry> e = DecodeEntry(bytes);
  if (!e || e->pid != pid || e->handle != handle) return std::nullopt;
  return e;
}

bool WriteEntry(const std::string& folder, const Entry& e) {
  std::string name = EntryName(e.pid, e.handle);
  std::string temp = folder + "/." + name + ".tmp";
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  std::string bytes = EncodeEntry(e);
  bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ok = close(fd) == 0 && ok;
  if (ok && rename(temp.c_str(), (folder + "/" + name).c_str()) == 0) return true;
  unlink(temp.c_str());
  return false;
}

// Removes the entry of a process that has gone, and its socket when it lies where we put ours.
void RemoveStaleEntry(const std::string& folder, const Entry& e) {
  unlink((folder + "/" + EntryName(e.pid, e.handle)).c_str());
  if (e.socketPath == folder + "/s-" + std::to_string(e.pid)) unlink(e.socketPath.c_str());
}

// ---- Listing our windows ----------------------------------------------------------------------------

struct OwnList {
  std::mutex lock;
  pid_t pid = 0;  // a child forked from us must not take our entries away when it exits
  std::unordered_map<HWND, std::string> files;  // window -> its entry file
};

OwnList& Own() {
  static OwnList* list = new OwnList;  // used by exit handlers and detached threads
  return *list;
}

void RemoveOwnEntries() {
  OwnList& own = Own();
  std::lock_guard guard(own.lock);
  if (own.pid != getpid()) return;
  for (auto& [hwnd, file] : own.files) unlink(file.c_str());
  own.files.clear();
}

}  // namespace

bool IsOwnListedWindow(HWND hwnd) {
  OwnList& own = Own();
  std::lock_guard guard(own.lock);
  return own.files.count(hwnd) != 0;
}

}  // namespace umbra::user::remote

namespace umbra::user {

using namespace remote;

void ListTopLevelWindow(HWND hwnd) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  uintptr_t value = reinterpret_cast<uintptr_t>(hwnd);
  if (!w || w->dead || w->parent != Desktop() || value > UINT32_MAX) {
    UnlistWindow(hwnd);
    return;
  }
  std::string folder = RuntimeFolder();
  if (folder.empty()) return;
  std::string socketPath = EnsureServer(folder);
  if (socketPath.empty()) return;
  Entry e;
  e.pid = getpid();
  e.handle = static_cast<uint32_t>(value);
  e.startTime = OwnStartTime();
  e.className = w->cls->name;
  e.title = w->text;
  e.socketPath = socketPath;
  if (!WriteEntry(folder, e)) return;
  static std::once_flag exitHook;
  std::call_once(exitHook, [] { atexit(RemoveOwnEntries); });
  std::string file = folder + "/" + EntryName(e.pid, e.handle);
  OwnList& own = Own();
  std::lock_guard guard(own.lock);
  if (own.pid != e.pid) {
    own.files.clear();
    own.pid = e.pid;
  }
  std::string& known = own.files[hwnd];
  // The runtime folder may have changed since the window was first listed.
  if (!known.empty() && known != file) unlink(known.c_str());
  known = file;
}

void UnlistWindow(HWND hwnd) {
  OwnList& own = Own();
  std::lock_guard guard(own.lock);
  auto it = own.files.find(hwnd);
  if (it == own.files.end()) return;
  unlink(it->second.c_str());
  own.files.erase(it);
}

}  // namespace umbra::user

namespace umbra::user::remote {

// ---- Foreign handles ---------------------------------------------------------------------------------
// Our own handles stay below 2^32; a foreign one carries a tag bit, the owner's process id and
// the owner's handle.

namespace {
constexpr uint64_t kForeignTag = uint64_t{1} << 62;
constexpr uint64_t kPidMask = (uint64_t{1} << 30) - 1;
}  // namespace

HWND ForeignHandle(pid_t pid, uint32_t remote) {
  uint64_t value = kForeignTag | (static_cast<uint64_t>(pid) & kPidMask) << 32 | remote;
  return reinterpret_cast<HWND>(static_cast<uintptr_t>(value));
}

bool DecodeForeignHandle(HWND hwnd, pid_t* pid, uint32_t* remote) {
  uint64_t value = reinterpret_cast<uintptr_t>(hwnd);
  if ((value >> 62) != 1) return false;
  *pid = static_cast<pid_t>((value >> 32) & kPidMask);
  *remote = static_cast<uint32_t>(value);
  return *pid > 0 && *remote != 0;
}

std::optional<ListedWindow> FindListed(HWND foreign) {
  pid_t pid;
  uint32_t handle;
  if (!DecodeForeignHandle(foreign, &pid, &handle) || pid == getpid()) return std::nullopt;
  std::string folder = RuntimeFolder();
  if (folder.empty()) return std::nullopt;
  std::optional<Entry> e = ReadEntry(folder, pid, handle);
  if (!e) return std::nullopt;
  if (!IsAlive(e->pid, e->startTime)) {
    RemoveStaleEntry(folder, *e);
    return std::nullopt;
  }
  return ListedWindow{e->pid, e->handle, e->socketPath};
}

// ---- Finding -----------------------------------------------------------------------------------------

namespace {

struct EntryKey {
  pid_t pid;
  uint32_t handle;
  auto operator<=>(const EntryKey&) const = default;
};

// The entries of other processes, in a fixed order so that a search can continue after one.
std::vector<EntryKey> ListedKeys(const std::string& folder) {
  std::vector<EntryKey> keys;
  DIR* dir = opendir(folder.c_str());
  if (!dir) return keys;
  pid_t self = getpid();
  while (dirent* d = readdir(dir)) {
    EntryKey k;
    if (ParseEntryName(d->d_name, &k.pid, &k.handle) && k.pid != self) keys.push_back(k);
  }
  closedir(dir);
  std::sort(keys.begin(), keys.end());
  return keys;
}

bool Matches(const Entry& e, LPCWSTR className, LPCWSTR title) {
  if (className && (IS_INTRESOURCE(className) || _wcsicmp(e.className.c_str(), className) != 0)) return false;
  return !title || _wcsicmp(e.title.c_str(), title) == 0;
}

}  // namespace

HWND FindListedWindow(LPCWSTR className, LPCWSTR title, HWND after) {
  std::string folder = RuntimeFolder();
  if (folder.empty()) return nullptr;
  std::optional<EntryKey> start;
  if (after) {
    EntryKey k;
    if (!DecodeForeignHandle(after, &k.pid, &k.handle)) return nullptr;
    start = k;
  }
  std::map<std::pair<pid_t, uint64_t>, bool> alive;  // per process, checked once per search
  for (const EntryKey& k : ListedKeys(folder)) {
    if (start && k <= *start) continue;
    std::optional<Entry> e = ReadEntry(folder, k.pid, k.handle);
    if (!e) continue;
    auto key = std::make_pair(e->pid, e->startTime);
    auto known = alive.find(key);
    if (known == alive.end()) known = alive.emplace(key, IsAlive(e->pid, e->startTime)).first;
    if (!known->second) {
      RemoveStaleEntry(folder, *e);
      continue;
    }
    if (Matches(*e, className, title)) return ForeignHandle(e->pid, e->handle);
  }
  return nullptr;
}

void SweepDeadSockets(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* d = readdir(dir)) {
    if (strncmp(d->d_name, "s-", 2) != 0) continue;
    char* end = nullptr;
    long pid = strtol(d->d_name + 2, &end, 10);
    if (end != d->d_name + 2 && *end == 0 && pid > 0 && pid <= INT32_MAX &&
        kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      unlink((folder + "/" + d->d_name).c_str());
  }
  closedir(dir);
}

}  // namespace umbra::user::remote
