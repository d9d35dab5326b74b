// The x11 display end to end: a probe process shows a window on a private Xvfb server; xdotool
// moves, clicks and types on it, xwd takes a screenshot, and a WM_DELETE_WINDOW request closes
// it. The probe logs what its window received (see X11Probe.cpp).
#include <gtest/gtest.h>
// After gtest, whose templates have parameters Xlib's None macro would replace.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    fs::path candidate = fs::path(dir) / name;
    if (!dir.empty() && access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// A child process, killed and reaped when it goes out of scope.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Kill(); }

  // envExtra entries ("NAME=value") replace the variables of the same name.
  bool Start(const std::vector<std::string>& args, const std::vector<std::string>& envExtra = {},
             posix_spawn_file_actions_t* actions = nullptr) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool replaced = false;
      for (const std::string& extra : envExtra)
        replaced |= entry.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
      if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), envExtra.begin(), envExtra.end());
    std::vector<char*> argv, envp;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    return posix_spawn(&m_pid, argv[0], actions, nullptr, argv.data(), envp.data()) == 0;
  }

  // The exit status, or -1 when the child is still running after the timeout.
  int Wait(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
      int status = 0;
      pid_t r = waitpid(m_pid, &status, WNOHANG);
      if (r == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (r < 0 || Clock::now() > deadline) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

  void Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
};

// The screen as 0xRRGGBB, read from an xwd dump (a big-endian header, then the pixels).
struct Screenshot {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

bool ReadXwd(const fs::path& file, Screenshot& out) {
  std::ifstream in(file, std::ios::binary);
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto field = [&](size_t i) -> uint32_t {
    const unsigned char* p = &bytes[i * 4];
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  };
  if (bytes.size() < 100) return false;
  uint32_t headerSize = field(0), byteOrder = field(7), bitsPerPixel = field(11), bytesPerLine = field(12);
  uint32_t ncolors = field(19);
  out.width = static_cast<int>(field(4));
  out.height = static_cast<int>(field(5));
  size_t offset = headerSize + size_t{ncolors} * 12;
  if (bitsPerPixel != 32 || offset + size_t{bytesPerLine} * out.height > bytes.size()) return false;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      const unsigned char* p = &bytes[offset + size_t{bytesPerLine} * y + size_t{4} * x];
      uint32_t v = byteOrder == 0
                       ? (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0])
                       : (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]);
      out.pixels[static_cast<size_t>(y) * out.width + x] = v & 0xFFFFFF;
    }
  return true;
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Log lines of the given kinds, in order.
std::vector<std::string> Only(const std::vector<std::string>& lines, const std::vector<std::string>& kinds) {
  std::vector<std::string> out;
  for (const std::string& l : lines)
    for (const std::string& k : kinds)
      if (l.rfind(k + " ", 0) == 0 || l == k) out.push_back(l);
  return out;
}

// Runs once with shared-memory pixels and once with XPutImage alone.
class X11EndToEnd : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    m_xvfbPath = FindProgram("Xvfb");
    if (m_xvfbPath.empty()) GTEST_SKIP() << "Xvfb is not installed";
    m_dir = fs::temp_directory_path() / ("umbra-x11-" + std::to_string(getpid()));
    fs::create_directories(m_dir);
    ASSERT_TRUE(StartServer());
  }

  void TearDown() override {
    m_probe.Kill();
    m_second.Kill();
    m_server.Kill();
    std::error_code ignored;
    if (!m_dir.empty()) fs::remove_all(m_dir, ignored);
  }

  // Xvfb picks a free display number and writes it to the descriptor -displayfd names.
  bool StartServer() {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    bool started = m_server.Start(
        {m_xvfbPath, "-displayfd", "3", "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    char c;
    while (started && read(fds[0], &c, 1) == 1 && c != '\n') number.push_back(c);
    close(fds[0]);
    if (number.empty()) return false;
    m_display = ":" + number;
    return true;
  }

  std::vector<std::string> Env() const {
    std::vector<std::string> env = {"DISPLAY=" + m_display, "UMBRA_DISPLAY=x11"};
    if (!GetParam()) env.push_back("UMBRA_X11_NOSHM=1");
    return env;
  }

  // Runs a tool against the server and waits for it.
  int Run(std::vector<std::string> args) {
    std::string path = FindProgram(args[0]);
    if (path.empty()) return -1;
    args[0] = path;
    Child tool;
    if (!tool.Start(args, Env())) return -1;
    return tool.Wait(10000);
  }

  // Waits until a probe's log has a line starting with prefix; returns the log.
  std::vector<std::string> WaitForLog(const std::string& prefix, const char* name = "probe.log",
                                      int timeoutMs = 10000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      std::vector<std::string> lines = ReadLines(m_dir / name);
      for (const std::string& l : lines)
        if (l.rfind(prefix, 0) == 0) return lines;
      if (Clock::now() > deadline) return lines;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // Waits until the log has count lines of kind after its first `seen` lines; returns those
  // later lines.
  std::vector<std::string> WaitForNew(const std::string& kind, size_t seen, size_t count = 1) {
    std::vector<std::string> later;
    for (int attempt = 0; attempt < 200; ++attempt) {
      std::vector<std::string> lines = ReadLines(m_dir / "probe.log");
      later.assign(lines.begin() + static_cast<ptrdiff_t>(std::min(seen, lines.size())), lines.end());
      if (Only(later, {kind}).size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return later;
  }

  bool TakeScreenshot(Screenshot& shot) {
    fs::path file = m_dir / "screen.xwd";
    return Run({"xwd", "-root", "-silent", "-out", file.string()}) == 0 && ReadXwd(file, shot);
  }

  // Asks the windows titled "x11probe" to close, as a window manager's close button does.
  bool SendDeleteWindow() {
    Display* dpy = XOpenDisplay(m_display.c_str());
    if (!dpy) return false;
    ::Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
    unsigned count = 0;
    bool sent = false;
    XQueryTree(dpy, root, &root, &parent, &children, &count);
    for (unsigned i = 0; i < count; ++i) {
      char* name = nullptr;
      if (XFetchName(dpy, children[i], &name) && name && std::strcmp(name, "x11probe") == 0) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = children[i];
        e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        sent |= XSendEvent(dpy, children[i], False, NoEventMask, &e) != 0;
      }
      if (name) XFree(name);
    }
    if (children) XFree(children);
    XCloseDisplay(dpy);
    return sent;
  }

  std::string m_xvfbPath;
  fs::path m_dir;
  std::string m_display;
  Child m_server;
  Child m_probe;
  Child m_second;
};

std::string At(const char* message, int x, int y) {
  return std::string(message) + " " + std::to_string(x) + " " + std::to_string(y);
}

TEST_P(X11EndToEnd, WindowShowsItsPixelsTakesMouseAndKeysAndClosesOnRequest) {
  ASSERT_TRUE(m_probe.Start({UMBRA_X11PROBE, (m_dir / "probe.log").string()}, Env()));
  std::vector<std::string> log = WaitForLog("ready");
  ASSERT_FALSE(log.empty()) << "the probe did not start";
  int ox = 0, oy = 0, cw = 0, ch = 0;
  ASSERT_EQ(std::sscanf(log[0].c_str(), "ready %d %d %d %d", &ox, &oy, &cw, &ch), 4) << log[0];
  ASSERT_GT(cw, 100);
  ASSERT_GT(ch, 80);

  // The client area in COLOR_HIGHLIGHT, the child at (20,20)-(60,50) in COLOR_WINDOW.
  struct {
    int x, y;
    uint32_t colour;
  } const kPixels[] = {{2, 2, 0x0078D7},
                       {cw - 3, ch - 3, 0x0078D7},
                       {21, 21, 0xFFFFFF},
                       {59, 49, 0xFFFFFF},
                       {61, 51, 0x0078D7}};
  Screenshot shot;
  bool painted = false;
  for (int attempt = 0; attempt < 50 && !painted; ++attempt) {
    ASSERT_TRUE(TakeScreenshot(shot));
    painted = shot.At(ox + 2, oy + 2) == 0x0078D7;
    if (!painted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  for (const auto& p : kPixels)
    EXPECT_EQ(shot.At(ox + p.x, oy + p.y), p.colour) << "client pixel " << p.x << "," << p.y;
  EXPECT_EQ(shot.At(530, 120), 0xFFFFFFu) << "the owned popup";

  const std::vector<std::string> kMouse = {"WM_MOUSEMOVE",   "WM_LBUTTONDOWN", "WM_LBUTTONUP",
                                           "WM_RBUTTONDOWN", "WM_RBUTTONUP",   "WM_MOUSEWHEEL"};
  ASSERT_EQ(Run({"xdotool", "mousemove", std::to_string(ox + 130), std::to_string(oy + 70), "click", "1",
                 "mousemove", std::to_string(ox + 90), std::to_string(oy + 100), "click", "3", "click", "4"}),
            0);
  log = WaitForLog("WM_MOUSEWHEEL");
  std::vector<std::string> expected = {
      At("WM_MOUSEMOVE", 130, 70), At("WM_LBUTTONDOWN", 130, 70), At("WM_LBUTTONUP", 130, 70),
      At("WM_MOUSEMOVE", 90, 100), At("WM_RBUTTONDOWN", 90, 100), At("WM_RBUTTONUP", 90, 100),
      "WM_MOUSEWHEEL 120 90 100",
  };
  EXPECT_EQ(Only(log, kMouse), expected);

  // Without a window manager a caption drag runs our own move loop; the X window follows, so a
  // click at the old client point's new place lands on the same client coordinates.
  size_t seen = log.size();
  int cx = ox + cw / 2, cy = oy - 10;  // on the caption, above the client area
  ASSERT_EQ(Run({"xdotool", "mousemove", std::to_string(cx), std::to_string(cy), "mousedown", "1",
                 "mousemove", std::to_string(cx + 40), std::to_string(cy + 30), "mousemove",
                 std::to_string(cx + 80), std::to_string(cy + 60), "mouseup", "1", "mousemove",
                 std::to_string(ox + 80 + 130), std::to_string(oy + 60 + 70), "click", "1"}),
            0);
  std::vector<std::string> later = WaitForNew("WM_LBUTTONUP", seen);
  expected = {At("WM_MOUSEMOVE", 130, 70), At("WM_LBUTTONDOWN", 130, 70), At("WM_LBUTTONUP", 130, 70)};
  EXPECT_EQ(Only(later, kMouse), expected);

  // Typed text arrives as WM_CHAR; named keys as their virtual keys.
  seen += later.size();
  ASSERT_EQ(Run({"xdotool", "type", "--delay", "20", "Ab1!"}), 0);
  later = WaitForNew("WM_CHAR", seen, 4);
  std::vector<std::string> chars = {"WM_CHAR 65", "WM_CHAR 98", "WM_CHAR 49", "WM_CHAR 33"};
  EXPECT_EQ(Only(later, {"WM_CHAR"}), chars);
  seen += later.size();
  ASSERT_EQ(Run({"xdotool", "key", "--delay", "20", "Return", "Left", "F5", "Delete", "KP_Enter"}), 0);
  later = WaitForNew("WM_KEYDOWN", seen, 5);
  std::vector<std::string> keys = {"WM_KEYDOWN 13", "WM_KEYDOWN 37", "WM_KEYDOWN 116", "WM_KEYDOWN 46",
                                   "WM_KEYDOWN 13"};
  EXPECT_EQ(Only(later, {"WM_KEYDOWN"}), keys);

  ASSERT_TRUE(SendDeleteWindow());
  EXPECT_EQ(m_probe.Wait(10000), 0);
  log = ReadLines(m_dir / "probe.log");
  EXPECT_EQ(Only(log, {"WM_CLOSE", "exit"}), (std::vector<std::string>{"WM_CLOSE", "exit"}));
}

// One process copies, another pastes: the text crosses through the CLIPBOARD selection.
TEST_P(X11EndToEnd, ClipboardTextTravelsBetweenProcesses) {
  ASSERT_TRUE(m_probe.Start({UMBRA_X11PROBE, (m_dir / "probe.log").string()}, Env()));
  ASSERT_FALSE(WaitForLog("ready").empty());
  ASSERT_EQ(Run({"xdotool", "key", "ctrl+c"}), 0);
  std::vector<std::string> log = WaitForLog("copied");
  ASSERT_EQ(Only(log, {"copied"}).size(), 1u);

  ASSERT_TRUE(m_second.Start({UMBRA_X11PROBE, (m_dir / "second.log").string()}, Env()));
  ASSERT_FALSE(WaitForLog("ready", "second.log").empty());
  ASSERT_EQ(Run({"xdotool", "key", "ctrl+v"}), 0);
  log = WaitForLog("pasted", "second.log");
  EXPECT_EQ(Only(log, {"pasted"}),
            (std::vector<std::string>{"pasted clip \xE5\x89\xAA\xE8\xB4\xB4\xE6\x9D\xBF"}));
  // The copying window was never focused again: the text came from the other process.
  EXPECT_TRUE(Only(ReadLines(m_dir / "probe.log"), {"pasted"}).empty());
}

INSTANTIATE_TEST_SUITE_P(Pixels, X11EndToEnd, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                           return std::string(param.param ? "SharedMemory" : "PutImage");
                         });

}  // namespace
