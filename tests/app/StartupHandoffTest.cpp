#include <gtest/gtest.h>

#include <string>

#include "../platform/TempDir.h"
#include "FakeDesktop.h"
#include "app/StartupHandoff.h"

namespace {

// The first 18 bytes of the UTF-16 text, as the telephone box receives them.
std::string First18Bytes(const std::u16string& text) {
  return std::string(reinterpret_cast<const char*>(text.c_str()), 18);
}

class StartupHandoff : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char16_t* title : {u"vedodize1", u"vedodize2", u"vedodize3"})
      m_desktop.AddWindow(u"BoxWindow", title);
  }
  void RunWithCC(const std::string& cc) {
    if (!cc.empty()) TempDir::Put(m_dir / "config.ini", "[system]\r\nCC=" + cc + "\r\n");
    Umbra::HandOffAtStartup(m_desktop, m_dir.Win().c_str());
  }

  TempDir m_dir;
  FakeDesktop m_desktop;
};

TEST_F(StartupHandoff, CCChoosesTheBoxWindowAndSendsTheCloseRequest) {
  struct Case {
    const char* cc;
    int box;  // 0: nothing is sent
  };
  const Case cases[] = {{"1", 1}, {"2", 2}, {"6", 3},  {"7", 3}, {"61", 3}, {"3", 0},
                        {"4", 0}, {"5", 0}, {"60", 0}, {"x", 0}, {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cc);
    FakeDesktop desktop;
    std::vector<HWND> boxes;
    for (const char16_t* title : {u"vedodize1", u"vedodize2", u"vedodize3"}) {
      boxes.push_back(desktop.AddWindow(u"BoxWindow", title));
    }
    TempDir dir;
    if (*c.cc) TempDir::Put(dir / "config.ini", std::string("[system]\r\nCC=") + c.cc + "\r\n");
    Umbra::HandOffAtStartup(desktop, dir.Win().c_str());
    if (c.box == 0) {
      EXPECT_TRUE(desktop.Sent().empty());
      continue;
    }
    ASSERT_EQ(desktop.Sent().size(), 1u);
    const FakeDesktop::CopyData& sent = desktop.Sent()[0];
    EXPECT_EQ(sent.target, boxes[c.box - 1]);
    EXPECT_EQ(sent.dwData, 0u);
    EXPECT_EQ(sent.cbData, 18u);
    EXPECT_EQ(sent.bytes, First18Bytes(u"mainprocloseubox" + std::u16string(1, u'0' + c.box)));
    // The box is found by its title alone.
    EXPECT_EQ(desktop.Lookups().back().className, u"");
  }
}

TEST_F(StartupHandoff, RunningSecondClientStopsTheHandOffBeforeCCIsRead) {
  m_desktop.AddWindow(u"velmorabro", u"");
  RunWithCC("1");
  EXPECT_TRUE(m_desktop.Sent().empty());
  ASSERT_EQ(m_desktop.Lookups().size(), 1u);
  EXPECT_EQ(m_desktop.Lookups()[0].className, u"velmorabro");
}

TEST_F(StartupHandoff, MissingBoxWindowSendsNothing) {
  FakeDesktop empty;
  TempDir::Put(m_dir / "config.ini", "[system]\r\nCC=1\r\n");
  Umbra::HandOffAtStartup(empty, m_dir.Win().c_str());
  EXPECT_TRUE(empty.Sent().empty());
}

}  // namespace
