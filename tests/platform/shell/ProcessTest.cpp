#include <gtest/gtest.h>
#include <shellapi.h>
#include <signal.h>
#include <unistd.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../TempDir.h"
#include "shell/cmdline.h"

namespace {

TEST(CommandLine, SplitsByTheWindowsRules) {
  struct Case {
    std::u16string line;
    std::vector<std::u16string> args;
  };
  const Case cases[] = {
      {u"LoginSuCCeSS", {u"LoginSuCCeSS"}},
      {u"  ", {u""}},
      {u"a b\tc   d", {u"a", u"b", u"c", u"d"}},
      // The program name: quotes group, backslashes stay.
      {u"\"C:\\Program Files\\q.exe\" x", {u"C:\\Program Files\\q.exe", u"x"}},
      {u"p\\\"q r", {u"p\\q r"}},
      {u"p \"a b\" c", {u"p", u"a b", u"c"}},
      {u"p a\"b c\"d", {u"p", u"ab cd"}},
      {u"p \"a \"\"b\"\" c\"", {u"p", u"a \"b\" c"}},
      {u"p a\\\\b", {u"p", u"a\\\\b"}},
      {u"p a\\\\\"b c\"", {u"p", u"a\\b c"}},
      {u"p a\\\\\\\"b", {u"p", u"a\\\"b"}},
      {u"p a\\\"b", {u"p", u"a\"b"}},
      {u"p \"unterminated arg", {u"p", u"unterminated arg"}},
      {u"p \"\"", {u"p", u""}},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(umbra::shell::SplitCommandLine(cases[i].line), cases[i].args) << "case " << i;
  }
}

// The demo client, copied into a test folder under a client's name.
class CreateProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(UMBRA_DEMOCLIENT, m_dir / "Quorvel.exe");
    setenv("UMBRA_CLIENT_LOG", (m_dir / "client.log").c_str(), 1);
  }
  void TearDown() override { unsetenv("UMBRA_CLIENT_LOG"); }

  // The client's record, once it has written it.
  std::string WaitForRecord() {
    for (int i = 0; i < 500; ++i) {
      std::string record = TempDir::Get(m_dir / "client.log");
      if (!record.empty() && record.back() == '\n') return record;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
  }

  BOOL Start(const std::u16string& app, std::u16string commandLine, PROCESS_INFORMATION& pi,
             LPCWSTR folder = nullptr) {
    STARTUPINFOW si = {};
    si.cb = 68;  // the 32-bit size, as callers written for it fill in
    return CreateProcessW(app.empty() ? nullptr : app.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, folder, &si, &pi);
  }

  TempDir m_dir;
};

TEST_F(CreateProcessTest, ChildGetsTheCommandLineAsItsWholeArgumentList) {
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(Start(m_dir.Win("Quorvel.exe"), u"LoginSuCCeSS", pi)) << GetLastError();
  EXPECT_EQ(WaitForRecord(), "Quorvel.exe\tLoginSuCCeSS\n");
  EXPECT_GT(pi.dwProcessId, 0u);
  EXPECT_TRUE(CloseHandle(pi.hProcess));
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_FALSE(CloseHandle(pi.hProcess));
}

TEST_F(CreateProcessTest, ProgramFromTheCommandLineGetsItsArgumentsSplit) {
  std::filesystem::create_directory(m_dir / "work");
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(Start(u"", u"\"" + m_dir.Win("Quorvel.exe") + u"\" \"a b\" c\\\"d 登录", pi,
                    m_dir.Win("work").c_str()));
  // The first argument is the program as the command line names it, in its Windows form
  // (the record doubles each backslash).
  std::string windowsPath;
  for (char c : m_dir / "Quorvel.exe") windowsPath += c == '/' ? std::string("\\\\") : std::string(1, c);
  EXPECT_EQ(WaitForRecord(), "Quorvel.exe\t" + windowsPath + "\ta b\tc\"d\t登录\n");
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(CreateProcessTest, EnvironmentBlockAndFolderAreTheChilds) {
  std::filesystem::create_directory(m_dir / "work");
  // A relative log name: the record lands in the child's current folder.
  const std::u16string block =
      std::u16string(u"UMBRA_CLIENT_LOG=own.log") + u'\0' + u"OTHER=1" + u'\0' + u'\0';
  std::u16string commandLine = u"LoginSuCCeSS";
  STARTUPINFOW si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessW(m_dir.Win("Quorvel.exe").c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                             CREATE_UNICODE_ENVIRONMENT, const_cast<char16_t*>(block.c_str()),
                             m_dir.Win("work").c_str(), &si, &pi));
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  for (int i = 0; i < 500 && TempDir::Get(m_dir / "work/own.log").find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(TempDir::Get(m_dir / "work/own.log"), "Quorvel.exe\tLoginSuCCeSS\n");
  EXPECT_EQ(TempDir::Get(m_dir / "client.log"), "");
}

TEST_F(CreateProcessTest, ChildIsDetachedAndLeavesNoZombie) {
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(Start(m_dir.Win("Quorvel.exe"), u"x", pi));
  const pid_t pid = static_cast<pid_t>(pi.dwProcessId);
  const pid_t session = getsid(pid);  // may already be gone: then -1
  EXPECT_TRUE(session == pid || session == -1);
  ASSERT_FALSE(WaitForRecord().empty());
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = kill(pid, 0) != 0;  // a zombie would still answer
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(gone);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
}

TEST_F(CreateProcessTest, FailuresReportWin32Errors) {
  TempDir::Put(m_dir / "notes.exe", "not a program");
  struct Case {
    const char* what;
    std::u16string app;
    LPCWSTR folder;
    DWORD error;
  };
  const std::u16string missingFolder = m_dir.Win("missing");
  const Case cases[] = {
      {"no such program", m_dir.Win("Velmora.exe"), nullptr, ERROR_FILE_NOT_FOUND},
      {"not executable", m_dir.Win("notes.exe"), nullptr, ERROR_ACCESS_DENIED},
      {"folder is not there", m_dir.Win("Quorvel.exe"), missingFolder.c_str(), ERROR_DIRECTORY},
  };
  for (const Case& c : cases) {
    PROCESS_INFORMATION pi = {};
    EXPECT_FALSE(Start(c.app, u"LoginSuCCeSS", pi, c.folder)) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  EXPECT_EQ(TempDir::Get(m_dir / "client.log"), "");
}

TEST(ShellExecute, OpenIsRecordedInTheShellLogAndOtherVerbsAreRefused) {
  TempDir dir;
  setenv("UMBRA_SHELL_LOG", (dir / "shell.log").c_str(), 1);
  const INT_PTR opened = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, u"open", u"http://login.example/reg.php", nullptr, nullptr, 1));
  const INT_PTR edited =
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, u"edit", u"http://x.example/", nullptr, nullptr, 1));
  unsetenv("UMBRA_SHELL_LOG");
  EXPECT_GT(opened, 32);
  EXPECT_EQ(edited, SE_ERR_NOASSOC);
  EXPECT_EQ(TempDir::Get(dir / "shell.log"), "open\thttp://login.example/reg.php\t\t\t1\n");
}

TEST(ShellExecute, MissingDocumentIsFileNotFound) {
  TempDir dir;
  const INT_PTR result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, u"open", dir.Win("absent.html").c_str(), nullptr, nullptr, 1));
  EXPECT_EQ(result, SE_ERR_FNF);
}

}  // namespace
