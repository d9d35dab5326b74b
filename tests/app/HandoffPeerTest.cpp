// The start-up hand-off on the real desktop: the launcher's Win32 calls against telephone-box
// and second-client peer processes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../platform/TempDir.h"
#include "../platform/user/PeerProcess.h"
#include "app/StartupHandoff.h"
#include "app/Win32Desktop.h"

namespace {

std::vector<std::string> Lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The record every box is handed: dwData 0 and the first 18 bytes (nine UTF-16 characters, no
// terminator) of "mainprocloseubox<n>", the same for every box number.
std::string ExpectedRecord() {
  const std::u16string text = u"mainprocloseubox1";
  std::string hex;
  char pair[3];
  for (size_t i = 0; i < 18; ++i) {
    snprintf(pair, sizeof pair, "%02x", reinterpret_cast<const unsigned char*>(text.data())[i]);
    hex += pair;
  }
  return "dwData=0 cbData=18 bytes=" + hex;
}

// The three telephone boxes run for the whole test; every test has its own runtime folder.
class HandoffPeers : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_RUNTIME_DIR", m_runtime.path().c_str(), 1);
    setenv("UMBRA_DISPLAY", "headless", 1);
    for (int box = 1; box <= 3; ++box) {
      std::string title = "vedodize" + std::to_string(box);
      m_boxes.push_back(std::make_unique<PeerProcess>(
          UMBRA_PHONEBOX, std::vector<std::string>{"--title", title, "--log", LogOf(box)}));
      ASSERT_TRUE(m_boxes.back()->Ready()) << title;
    }
  }

  std::string LogOf(int box) const { return m_runtime / ("box" + std::to_string(box) + ".log"); }

  // Runs the hand-off with "CC" set to `cc` and returns, per box, the records it received.
  std::vector<std::vector<std::string>> HandOffWithCC(const std::string& cc) {
    TempDir::Put(m_launcher / "config.ini", "[system]\r\nCC=" + cc + "\r\n");
    std::vector<size_t> before;
    for (int box = 1; box <= 3; ++box) before.push_back(Lines(LogOf(box)).size());
    Umbra::CWin32Desktop desktop;
    Umbra::HandOffAtStartup(desktop, m_launcher.Win().c_str());
    std::vector<std::vector<std::string>> received;
    for (int box = 1; box <= 3; ++box) {
      std::vector<std::string> lines = Lines(LogOf(box));
      received.emplace_back(lines.begin() + static_cast<ptrdiff_t>(before[box - 1]), lines.end());
    }
    return received;
  }

  TempDir m_runtime;
  TempDir m_launcher;
  std::vector<std::unique_ptr<PeerProcess>> m_boxes;
};

TEST_F(HandoffPeers, CCReachesTheRightBoxWithTheExactRecord) {
  struct Case {
    const char* cc;
    int box;  // 0: nothing is sent
  };
  const Case cases[] = {{"1", 1}, {"2", 2}, {"6", 3}, {"7", 3}, {"61", 3},
                        {"3", 0}, {"4", 0}, {"5", 0}, {"60", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cc);
    std::vector<std::vector<std::string>> received = HandOffWithCC(c.cc);
    for (int box = 1; box <= 3; ++box) {
      if (box == c.box) {
        EXPECT_EQ(received[box - 1], std::vector<std::string>{ExpectedRecord()});
      } else {
        EXPECT_TRUE(received[box - 1].empty()) << "box " << box;
      }
    }
  }
}

TEST_F(HandoffPeers, RunningSecondClientSendsNothing) {
  {
    PeerProcess secondClient(UMBRA_SECONDCLIENT, {});
    ASSERT_TRUE(secondClient.Ready());
    for (const std::vector<std::string>& box : HandOffWithCC("1")) EXPECT_TRUE(box.empty());
  }
  // Once it has gone, the hand-off goes ahead again.
  EXPECT_EQ(HandOffWithCC("1")[0], std::vector<std::string>{ExpectedRecord()});
}

}  // namespace
