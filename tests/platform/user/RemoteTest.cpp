// Windows of other processes: real peer processes found with FindWindowW and reached with
// WM_COPYDATA, dead and stuck receivers, and garbage in the runtime folder and on the socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "../TempDir.h"
#include "PeerProcess.h"
#include "user/remote.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace remote = umbra::user::remote;

constexpr ULONG_PTR kHangCommand = 0x48414E47;  // the phonebox's commands
constexpr ULONG_PTR kExitCommand = 0x45584954;
constexpr ULONG_PTR kEchoCommand = 0x4543484F;

std::string Hex(const std::string& bytes) {
  std::string out;
  char pair[3];
  for (unsigned char c : bytes) {
    snprintf(pair, sizeof pair, "%02x", c);
    out += pair;
  }
  return out;
}

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

long ElapsedMs(Clock::time_point since) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// Every test gets a runtime folder of its own, so parallel runs never see each other's windows.
class RemoteWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("XDG_RUNTIME_DIR");
    m_oldRuntime = old ? old : "";
    setenv("XDG_RUNTIME_DIR", m_dir.path().c_str(), 1);
    setenv("UMBRA_DISPLAY", "headless", 1);
  }
  void TearDown() override {
    if (m_oldRuntime.empty()) {
      unsetenv("XDG_RUNTIME_DIR");
    } else {
      setenv("XDG_RUNTIME_DIR", m_oldRuntime.c_str(), 1);
    }
  }

  std::string Folder() const { return m_dir / "umbra"; }
  std::string LogPath(const std::string& name) const { return m_dir / (name + ".log"); }

  std::unique_ptr<PeerProcess> StartBox(const std::string& title, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"--title", title, "--log", LogPath(title)};
    args.insert(args.end(), extra.begin(), extra.end());
    auto peer = std::make_unique<PeerProcess>(UMBRA_PHONEBOX, args);
    EXPECT_TRUE(peer->Ready()) << title;
    return peer;
  }

  static LRESULT SendRecord(HWND target, ULONG_PTR dwData, const std::string& bytes) {
    COPYDATASTRUCT record{dwData, static_cast<DWORD>(bytes.size()),
                          bytes.empty() ? nullptr : const_cast<char*>(bytes.data())};
    return SendMessageW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
  }

  TempDir m_dir;
  std::string m_oldRuntime;
};

TEST_F(RemoteWindows, FindsAPeerWindowByTitleOrClassIgnoringCase) {
  auto box = StartBox("vedodize1");
  HWND byTitle = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(byTitle, nullptr);
  EXPECT_TRUE(IsWindow(byTitle));
  EXPECT_EQ(FindWindowW(u"PhoneBoxWindow", nullptr), byTitle);
  EXPECT_EQ(FindWindowW(u"phoneboxwindow", u"VEDODIZE1"), byTitle);
  EXPECT_EQ(FindWindowW(nullptr, u"vedodize2"), nullptr);
  EXPECT_EQ(FindWindowW(u"OtherClass", u"vedodize1"), nullptr);
  // The list is in a folder only this user may enter.
  struct stat st;
  ASSERT_EQ(stat(Folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(RemoteWindows, FindWindowExWalksOurWindowsThenEachPeer) {
  auto first = StartBox("box-a");
  auto second = StartBox("box-b");
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"PhoneBoxWindow";
  RegisterClassW(&wc);
  HWND ours = CreateWindowExW(0, u"PhoneBoxWindow", u"ours", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(ours, nullptr);

  std::vector<HWND> found;
  for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, u"PhoneBoxWindow", nullptr)) != nullptr;) {
    found.push_back(h);
    ASSERT_LT(found.size(), 10u);
  }
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], ours);
  EXPECT_NE(found[1], found[2]);
  EXPECT_TRUE(found[1] == FindWindowW(nullptr, u"box-a") || found[1] == FindWindowW(nullptr, u"box-b"));
  DestroyWindow(ours);
}

TEST_F(RemoteWindows, ReceiverGetsTheExactBytesAndTheSenderItsResult) {
  auto box = StartBox("vedodize1", {"--result", "0x1234"});
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  struct Case {
    ULONG_PTR dwData;
    std::string bytes;
  };
  const Case cases[] = {
      {0, std::string("m\0a\0i\0n\0p\0r\0o\0c\0l\0", 18)},
      {0x1122334455667788, std::string("\0\xff\x80\n\r", 5)},
      {7, ""},
      {1, std::string(300000, '\x5a')},  // larger than one socket buffer
  };
  for (const Case& c : cases) EXPECT_EQ(SendRecord(target, c.dwData, c.bytes), 0x1234);
  std::vector<std::string> log = Lines(LogPath("vedodize1"));
  ASSERT_EQ(log.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    char dw[32];
    snprintf(dw, sizeof dw, "%llx", static_cast<unsigned long long>(cases[i].dwData));
    EXPECT_EQ(log[i], "dwData=" + std::string(dw) + " cbData=" + std::to_string(cases[i].bytes.size()) +
                          " bytes=" + Hex(cases[i].bytes));
  }
}

// What a window of ours received, for the test that has a peer send back to it.
struct Received {
  HWND from = nullptr;
  std::string bytes;
};
Received g_received;

LRESULT CALLBACK ReceivingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return DefWindowProcW(hwnd, message, wParam, lParam);
  const auto* record = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  g_received.from = reinterpret_cast<HWND>(wParam);
  g_received.bytes.assign(static_cast<const char*>(record->lpData), record->cbData);
  return 77;
}

// The peer sends back to us while we wait for its answer: the sending thread handles that
// message meanwhile, and the peer sees our window (wParam) as a window it can reach.
TEST_F(RemoteWindows, SenderHandlesAMessageSentBackWhileItWaits) {
  auto box = StartBox("vedodize1");
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = ReceivingProc;
  wc.lpszClassName = u"ReceivingWindow";
  RegisterClassW(&wc);
  HWND ours = CreateWindowExW(0, u"ReceivingWindow", u"sender", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_NE(ours, nullptr);
  COPYDATASTRUCT record{kEchoCommand, 4, const_cast<char*>("ping")};
  EXPECT_EQ(
      SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(ours), reinterpret_cast<LPARAM>(&record)),
      77);
  EXPECT_EQ(g_received.bytes, "ping");
  EXPECT_EQ(g_received.from, target);
  DestroyWindow(ours);
}

TEST_F(RemoteWindows, DeadReceiverFailsAtOnceAndLeavesTheList) {
  auto box = StartBox("vedodize1");
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  box->Kill();
  auto start = Clock::now();
  SetLastError(0);
  EXPECT_EQ(SendRecord(target, 0, "abc"), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_FALSE(IsWindow(target));
  EXPECT_EQ(FindWindowW(nullptr, u"vedodize1"), nullptr);
  EXPECT_EQ(m_dir.Names("umbra"), std::set<std::string>());  // its entry and socket are cleaned up
}

TEST_F(RemoteWindows, ReceiverThatDiesWhileHandlingDoesNotHangTheSender) {
  auto box = StartBox("vedodize1");
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  auto start = Clock::now();
  EXPECT_EQ(SendRecord(target, kExitCommand, "bye"), 0);
  EXPECT_LT(ElapsedMs(start), 2000);
  EXPECT_TRUE(box->ExitsWithin(2000));
  EXPECT_FALSE(IsWindow(target));
}

TEST_F(RemoteWindows, StuckReceiverTimesOut) {
  auto box = StartBox("vedodize1");
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  for (ULONG_PTR command : {kHangCommand, ULONG_PTR{0}}) {  // the second finds the box still stuck
    COPYDATASTRUCT record{command, 0, nullptr};
    DWORD_PTR result = 99;
    auto start = Clock::now();
    SetLastError(0);
    EXPECT_EQ(SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), SMTO_NORMAL, 200,
                                  &result),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
    long elapsed = ElapsedMs(start);
    EXPECT_GE(elapsed, 150);
    EXPECT_LT(elapsed, 2000);
  }
  EXPECT_TRUE(IsWindow(target));  // stuck, not gone
}

TEST_F(RemoteWindows, ValueMessagesCrossAndPointerMessagesDoNot) {
  auto box = StartBox("vedodize1");
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  // A pointer means nothing in another process: such messages are not delivered.
  EXPECT_EQ(SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"renamed")), 0);
  EXPECT_NE(FindWindowW(nullptr, u"vedodize1"), nullptr);
  EXPECT_EQ(FindWindowW(nullptr, u"renamed"), nullptr);
  COPYDATASTRUCT record{0, 3, const_cast<char*>("abc")};
  EXPECT_FALSE(PostMessageW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record)));
  // WM_CLOSE carries no pointer: the box closes its window and ends.
  EXPECT_TRUE(PostMessageW(target, WM_CLOSE, 0, 0));
  EXPECT_TRUE(box->ExitsWithin(3000));
  EXPECT_TRUE(Lines(LogPath("vedodize1")).empty());
}

// Our own windows are listed for other processes; a forked child plays the other process.
TEST_F(RemoteWindows, OurWindowIsListedUnderItsCurrentTitleUntilDestroyed) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"ListedWindow";
  RegisterClassW(&wc);
  HWND ours = CreateWindowExW(0, u"ListedWindow", u"alpha", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                              nullptr);
  ASSERT_NE(ours, nullptr);
  // The child exits 1 when it finds our window under the title among other processes'
  // windows, 0 when it does not. (It has a copy of our window table, so FindWindowW would find
  // the copy first; the list alone is asked.)
  const HWND asSeenByOthers =
      remote::ForeignHandle(getpid(), static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ours)));
  auto childFinds = [&](const char16_t* title) {
    pid_t pid = fork();
    if (pid == 0) _exit(remote::FindListedWindow(nullptr, title, nullptr) == asSeenByOthers ? 1 : 0);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
  };
  EXPECT_TRUE(childFinds(u"alpha"));
  SetWindowTextW(ours, u"beta");
  EXPECT_FALSE(childFinds(u"alpha"));
  EXPECT_TRUE(childFinds(u"beta"));
  DestroyWindow(ours);
  EXPECT_FALSE(childFinds(u"beta"));
}

TEST_F(RemoteWindows, GarbageInTheFolderOrOnTheSocketChangesNothing) {
  auto box = StartBox("vedodize1", {"--result", "5"});
  HWND target = FindWindowW(nullptr, u"vedodize1");
  ASSERT_NE(target, nullptr);
  const std::string pid = std::to_string(box->Pid());
  // Entries that do not parse are skipped.
  for (const char* junk : {"", "UMW1", "UMW1xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"})
    TempDir::Put(Folder() + "/w-" + pid + "-" + std::to_string(strlen(junk) + 1), junk);
  EXPECT_EQ(FindWindowW(nullptr, u""), nullptr);
  EXPECT_EQ(FindWindowW(nullptr, u"vedodize1"), target);

  // Requests that break the protocol end their connection; the box keeps serving.
  auto request = [](uint32_t magic, remote::Kind kind, UINT message, uint32_t cbData) {
    remote::Request r{};
    r.magic = magic;
    r.kind = kind;
    r.handle = 1;
    r.message = message;
    r.cbData = cbData;
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
  };
  const std::string junk[] = {
      request(0xdeadbeef, remote::Kind::Send, WM_COPYDATA, 0),
      request(remote::kRequestMagic, static_cast<remote::Kind>(9), WM_COPYDATA, 0),
      request(remote::kRequestMagic, remote::Kind::Send, WM_COPYDATA, remote::kMaxCopyData + 1),
      request(remote::kRequestMagic, remote::Kind::Post, WM_COPYDATA, 4) + "abcd",
      request(remote::kRequestMagic, remote::Kind::Send, WM_USER, 4) + "abcd",
      request(remote::kRequestMagic, remote::Kind::Send, WM_COPYDATA, 100) + "short",
      "trunc",
  };
  std::string socketPath = Folder() + "/s-" + pid;
  for (const std::string& bytes : junk) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
    shutdown(fd, SHUT_WR);
    char reply[64];
    EXPECT_LE(recv(fd, reply, sizeof reply, 0), 0);  // closed (or reset) without an answer
    close(fd);
  }
  EXPECT_EQ(SendRecord(target, 0, "still"), 5);
  EXPECT_EQ(Lines(LogPath("vedodize1")).size(), 1u);
}

TEST_F(RemoteWindows, FolderOthersCanEnterIsNotUsed) {
  auto box = StartBox("vedodize1");
  ASSERT_NE(FindWindowW(nullptr, u"vedodize1"), nullptr);
  chmod(Folder().c_str(), 0755);
  EXPECT_EQ(FindWindowW(nullptr, u"vedodize1"), nullptr);
  chmod(Folder().c_str(), 0700);
  EXPECT_NE(FindWindowW(nullptr, u"vedodize1"), nullptr);
}

}  // namespace
