#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <tchar.h>

#include <regex>
#include <string>

#include "tests/platform/TempDir.h"
#include "ui/skin/DiagLog.h"

namespace {

using Umbra::CDiagLog;

std::u16string FromUtf16Le(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return text;
}

std::string Ascii(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

const std::string kBom = "\xFF\xFE";

// Each test gets its own local application-data folder holding the Trellan folder. Writers
// live for the whole process and keep the path of their first request, so each test uses
// names of its own.
class DiagLog : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("XDG_DATA_HOME")) m_oldXdg = old;
    setenv("XDG_DATA_HOME", m_root.path().c_str(), 1);
    mkdir((m_root / "Trellan").c_str(), 0700);
  }
  void TearDown() override {
    if (m_oldXdg.empty()) {
      unsetenv("XDG_DATA_HOME");
    } else {
      setenv("XDG_DATA_HOME", m_oldXdg.c_str(), 1);
    }
  }
  std::string LogFile(const std::string& name) const { return m_root / ("Trellan/crashdump/Tnlog/" + name); }

  TempDir m_root;
  std::string m_oldXdg;
};

TEST_F(DiagLog, WritesExactLinesAfterAByteOrderMarkOnNewFilesOnly) {
  CDiagLog* log = CDiagLog::GetLogger(_T("Lines"));
  EXPECT_EQ(CDiagLog::GetLogger(_T("Lines")), log);
  EXPECT_NE(CDiagLog::GetLogger(_T("lines")), log);  // names are compared exactly
  EXPECT_EQ(std::u16string(log->GetPath()), TempDir::ToWin(LogFile("Lines.log")));

  log->WriteLine(_T("INFO"), _T("first"));
  CDiagLog::LogError(log, _T("Create xml= %s filed!"), _T("Gr\u00FC\u00DF \u4F60\u597D.xml"));
  const std::string bytes = TempDir::Get(LogFile("Lines.log"));
  ASSERT_EQ(bytes.substr(0, 2), kBom);
  const std::u16string text = FromUtf16Le(bytes.substr(2));
  const std::u16string message = u"Create xml= Gr\u00FC\u00DF \u4F60\u597D.xml filed!";
  ASSERT_EQ(text.size(), (5 + 4 + 27) + (message.size() + 5 + 27));  // message + tag + 27 each
  EXPECT_EQ(text.substr(text.size() - message.size() - 2), message + u"\r\n");
  const std::regex layout(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[INFO\] - first\r\n)"
                          R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[ERROR\] - Create xml= .*\.xml filed!\r\n)");
  EXPECT_TRUE(std::regex_match(Ascii(text), layout)) << Ascii(text);

  // A file that was there before gets no mark, even when it is empty.
  TempDir::Put(LogFile("Existing.log"), "");
  CDiagLog::GetLogger(_T("Existing"))->WriteLine(_T("T"), _T("m"));
  EXPECT_EQ(TempDir::Get(LogFile("Existing.log")).size(), (1 + 1 + 27) * 2u);
}

TEST_F(DiagLog, LogErrorCutsLongMessagesAndKeepsTheLastError) {
  CDiagLog* log = CDiagLog::GetLogger(_T("Long"));
  const std::u16string longText(2000, u'x');
  SetLastError(1234);
  CDiagLog::LogError(log, _T("%s"), longText.c_str());
  EXPECT_EQ(GetLastError(), 1234u);
  const std::u16string text = FromUtf16Le(TempDir::Get(LogFile("Long.log")).substr(2));
  EXPECT_EQ(text.size(), 511u + 5 + 27);
  EXPECT_EQ(text.substr(text.size() - 513), std::u16string(511, u'x') + u"\r\n");

  SetLastError(4321);
  CDiagLog::GetLogger(_T("Another"));
  EXPECT_EQ(GetLastError(), 4321u);
}

TEST_F(DiagLog, RotatesOnceTheFileIsAboveTwoMebibytes) {
  CDiagLog* log = CDiagLog::GetLogger(_T("Rotate"));
  const std::string full = kBom + std::string(CDiagLog::kRotateSize - 2, 'a');
  TempDir::Put(LogFile("Rotate.log"), full);
  TempDir::Put(LogFile("Rotate.0.log"), "older generation");
  const size_t lineBytes = (1 + 1 + 27) * 2;

  log->WriteLine(_T("T"), _T("1"));  // exactly 2 MiB: appended to
  EXPECT_EQ(TempDir::Get(LogFile("Rotate.log")).size(), full.size() + lineBytes);
  EXPECT_EQ(TempDir::Get(LogFile("Rotate.0.log")), "older generation");

  log->WriteLine(_T("T"), _T("2"));  // above: moved aside first, then a new file
  EXPECT_EQ(TempDir::Get(LogFile("Rotate.0.log")).size(), full.size() + lineBytes);
  const std::string fresh = TempDir::Get(LogFile("Rotate.log"));
  EXPECT_EQ(fresh.size(), 2 + lineBytes);
  EXPECT_EQ(fresh.substr(0, 2), kBom);
}

TEST_F(DiagLog, WritesNothingWithoutTheTrellanFolder) {
  rmdir((m_root / "Trellan").c_str());
  CDiagLog* log = CDiagLog::GetLogger(_T("NoTrellan"));
  log->WriteLine(_T("T"), _T("lost"));
  CDiagLog::LogError(log, _T("lost too"));
  EXPECT_TRUE(m_root.Names().empty());
}

TEST_F(DiagLog, UnusableNamesGetTheDefaultWriterAndCutPathsAreNotWritten) {
  CDiagLog* fallback = CDiagLog::GetLogger(nullptr);
  EXPECT_EQ(CDiagLog::GetLogger(_T("")), fallback);
  EXPECT_EQ(CDiagLog::GetLogger(std::u16string(260, u'n').c_str()), fallback);
  const std::u16string path = fallback->GetPath();
  EXPECT_EQ(path.substr(path.size() - 18), u"\\Tnlog\\unknown.log");
  CDiagLog::LogError(nullptr, _T("to the default writer"));
  if (path == TempDir::ToWin(LogFile("unknown.log"))) {  // made by this test, so in its folder
    EXPECT_NE(TempDir::Get(LogFile("unknown.log")).find('d'), std::string::npos);
  }

  // A name that makes the path longer than 259 characters has its own writer, which writes
  // nowhere rather than into a file of a cut name.
  CDiagLog* longName = CDiagLog::GetLogger(std::u16string(259, u'n').c_str());
  EXPECT_NE(longName, fallback);
  EXPECT_EQ(std::u16string(longName->GetPath()), u"");
  longName->WriteLine(_T("T"), _T("nowhere"));
  EXPECT_EQ(m_root.Names("Trellan/crashdump/Tnlog").count("unknown.log"),
            m_root.Names("Trellan/crashdump/Tnlog").size());
}

}  // namespace
