#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <optional>
#include <set>
#include <string>

#include "TempDir.h"

namespace {

std::u16string Read(const std::u16string& file, const char16_t* section, const char16_t* key,
                    const char16_t* fallback = u"", DWORD size = 255, DWORD* result = nullptr) {
  std::u16string buffer(size + 1, u'#');
  const DWORD n = GetPrivateProfileStringW(section, key, fallback, buffer.data(), size, file.c_str());
  if (result) *result = n;
  return buffer.substr(0, n);
}

// A literal with embedded terminators, all of it.
template <size_t N>
std::u16string Units(const char16_t (&text)[N]) {
  return std::u16string(text, N - 1);
}

// UTF-16LE bytes of ASCII-or-BMP text.
std::string Utf16Le(std::u16string_view text) {
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// ---- Reading -------------------------------------------------------------------------------------

constexpr const char* kSettings =
    "; settings\r\n"
    "[User]\r\n"
    "Name = Alice  \r\n"
    "quoted = \"  spaced  \"\r\n"
    "single='x'\r\n"
    "mismatched = \"abc'\r\n"
    "empty =\r\n"
    "\t Indented\t= yes\r\n"
    "dup = first\r\n"
    "dup = second\r\n"
    "semi = value ; kept\r\n"
    "long = 0123456789\r\n"
    "  ; hidden = commented out\r\n"
    "no equals sign\r\n"
    "[Other]\n"
    "Name = Bob\r"
    "[user]\r\n"
    "late = found";

TEST(Profile, ReadsValuesWithWindowsRules) {
  TempDir dir;
  TempDir::Put(dir / "config.ini", kSettings);
  const std::u16string file = dir.Win("CONFIG.INI");
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* fallback;
    DWORD size;
    std::u16string expected;
  } cases[] = {
      {u"User", u"Name", u"-", 255, u"Alice"},
      {u"uSER", u"nAME", u"-", 255, u"Alice"},
      {u" User ", u" Name\t", u"-", 255, u"Alice"},
      {u"User", u"quoted", u"-", 255, u"  spaced  "},
      {u"User", u"single", u"-", 255, u"x"},
      {u"User", u"mismatched", u"-", 255, u"\"abc'"},
      {u"User", u"empty", u"-", 255, u""},  // present and empty: not the default
      {u"User", u"Indented", u"-", 255, u"yes"},
      {u"User", u"dup", u"-", 255, u"first"},
      {u"User", u"semi", u"-", 255, u"value ; kept"},
      {u"User", u"hidden", u"-", 255, u"-"},
      {u"User", u"no equals sign", u"-", 255, u"-"},
      {u"User", u"late", u"-", 255, u"found"},  // a repeated section reads as one
      {u"Other", u"name", u"-", 255, u"Bob"},   // LF and CR endings
      {u"Other", u"late", u"-", 255, u"-"},
      {u"Missing", u"Name", u"default  ", 255, u"default"},
      {u"User", u"missing", nullptr, 255, u""},
      {u"User", u"long", u"-", 5, u"0123"},
      {u"User", u"long", u"-", 1, u""},
      {u"Missing", u"x", u"a long default", 4, u"a l"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "size " << c.size << " case " << (&c - cases));
    DWORD result = 0;
    EXPECT_EQ(Read(file, c.section, c.key, c.fallback, c.size, &result), c.expected);
    EXPECT_EQ(result, c.expected.size());
  }
}

TEST(Profile, MissingFileGivesTheDefault) {
  TempDir dir;
  EXPECT_EQ(Read(dir.Win("none.ini"), u"user", u"name", u"dflt"), u"dflt");
  EXPECT_EQ(GetPrivateProfileIntW(u"user", u"cname", 7, dir.Win("none.ini").c_str()), 7u);
  // A folder in the file's place reads as no file.
  EXPECT_EQ(Read(dir.Win(), u"user", u"name", u"dflt"), u"dflt");
}

TEST(Profile, ListsSectionsAndKeysWithTruncation) {
  TempDir dir;
  TempDir::Put(dir / "config.ini", kSettings);
  const std::u16string file = dir.Win("config.ini");
  struct Case {
    const char16_t* section;  // null: list the sections
    DWORD size;
    std::u16string expected;  // with every terminator, the final one included
    DWORD result;
  } cases[] = {
      {nullptr, 64, Units(u"User\0Other\0\0"), 11},
      {u"other", 64, Units(u"Name\0\0"), 5},
      {u"nosuch", 64, Units(u"\0"), 0},
      {nullptr, 8, Units(u"User\0O\0\0"), 6},
      {nullptr, 2, Units(u"\0\0"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::u16string buffer(c.size, u'#');
    EXPECT_EQ(GetPrivateProfileStringW(c.section, nullptr, u"x", buffer.data(), c.size, file.c_str()),
              c.result);
    EXPECT_EQ(buffer.substr(0, c.expected.size()), c.expected);
  }
  std::u16string keys(256, u'#');
  const DWORD n = GetPrivateProfileStringW(u"USER", nullptr, u"", keys.data(), 256, file.c_str());
  EXPECT_EQ(keys.substr(0, n + 1),
            Units(u"Name\0quoted\0single\0mismatched\0empty\0Indented\0dup\0semi\0long\0late\0\0"));
}

TEST(Profile, ReadsIntegersAsWindowsDoes) {
  TempDir dir;
  TempDir::Put(dir / "ints.ini",
               "[n]\n"
               "a=12abc\nb=-1\nc=\nd=abc\ne= 7 \nf=0x1F\ng=\"5\"\nh=-0x10\ni=1.9\n");
  const std::u16string file = dir.Win("ints.ini");
  struct Case {
    const char16_t* key;
    UINT expected;
  } cases[] = {
      {u"a", 12}, {u"b", 0xFFFFFFFFu}, {u"c", 42},          {u"d", 0}, {u"e", 7},
      {u"f", 31}, {u"g", 5},           {u"h", 0xFFFFFFF0u}, {u"i", 1}, {u"missing", 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.key, c.key + 1));
    EXPECT_EQ(GetPrivateProfileIntW(u"N", c.key, 42, file.c_str()), c.expected);
  }
}

// ---- Writing -------------------------------------------------------------------------------------

TEST(Profile, WritesChangeOnlyTheirLines) {
  const std::string base =
      "; top\r\n[User]\r\nNAME = old\r\nx=1\r\n; trailing comment\r\n\r\n[Sys]\r\nA=1\r\n";
  struct Case {
    std::optional<std::string> before;  // no value: no file
    const char16_t* section;
    const char16_t* key;
    const char16_t* value;
    std::string after;
  } cases[] = {
      {base, u"user", u"name", u"new",
       "; top\r\n[User]\r\nNAME=new\r\nx=1\r\n; trailing comment\r\n\r\n[Sys]\r\nA=1\r\n"},
      {base, u"User", u"added", u"v",
       "; top\r\n[User]\r\nNAME = old\r\nx=1\r\n; trailing comment\r\nadded=v\r\n\r\n[Sys]\r\nA=1\r\n"},
      {base, u"New", u"k", u"", base + "[New]\r\nk=\r\n"},
      {base, u"user", u"x", nullptr,
       "; top\r\n[User]\r\nNAME = old\r\n; trailing comment\r\n\r\n[Sys]\r\nA=1\r\n"},
      {base, u"USER", nullptr, nullptr, "; top\r\n[Sys]\r\nA=1\r\n"},
      {base, u"user", u"nosuch", nullptr, base},
      {base, u"nosuch", nullptr, nullptr, base},
      {"[a]\nk=v", u"b", u"c", u"d", "[a]\nk=v\n[b]\nc=d\n"},
      {"[a]\rk=v\r", u"a", u"z", u"1", "[a]\rk=v\rz=1\r"},
      {"[a]", u"a", u"k", u"v", "[a]\r\nk=v\r\n"},
      {"[a]\r\nk=1\r\nj=2\r\nk=3\r\n", u"a", u"k", nullptr, "[a]\r\nj=2\r\n"},
      {std::nullopt, u"user", u"id", u"42", "[user]\r\nid=42\r\n"},
      {std::nullopt, u"s", u"k", u"v\r\n[evil]\r\nx=y", "[s]\r\nk=v\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    TempDir dir;
    if (c.before) TempDir::Put(dir / "config.ini", *c.before);
    EXPECT_TRUE(WritePrivateProfileStringW(c.section, c.key, c.value, dir.Win("config.ini").c_str()));
    EXPECT_EQ(TempDir::Get(dir / "config.ini"), c.after);
    EXPECT_EQ(dir.Names(), std::set<std::string>{"config.ini"}) << "no temporary file is left";
  }
}

TEST(Profile, WritingNothingNewLeavesTheFileAlone) {
  TempDir dir;
  const std::u16string file = dir.Win("config.ini");
  // Deleting from a missing file creates nothing.
  EXPECT_TRUE(WritePrivateProfileStringW(u"a", u"k", nullptr, file.c_str()));
  EXPECT_TRUE(dir.Names().empty());
  TempDir::Put(dir / "config.ini", "[a]\r\nk = same\r\n");
  struct stat before, after;
  stat((dir / "config.ini").c_str(), &before);
  EXPECT_TRUE(WritePrivateProfileStringW(u"A", u"K", u"same", file.c_str()));
  stat((dir / "config.ini").c_str(), &after);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(Profile, RefusesNamesThatWouldNotReadBack) {
  TempDir dir;
  TempDir::Put(dir / "config.ini", "[a]\r\n");
  const std::u16string file = dir.Win("config.ini");
  struct Case {
    const char16_t* section;
    const char16_t* key;
  } cases[] = {{u"a", u"k=v"},  {u"a", u""},    {u"a", u"  "},      {u"a", u"[x]"}, {u"a", u";k"},
               {u"a", u"k\nj"}, {u"s]x", u"k"}, {u"s\r\n[t", u"k"}, {nullptr, u"k"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    EXPECT_FALSE(WritePrivateProfileStringW(c.section, c.key, u"v", file.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(TempDir::Get(dir / "config.ini"), "[a]\r\n");
}

// ---- Encodings -----------------------------------------------------------------------------------

class ProfileEncoding : public testing::Test {
 protected:
  // A GBK deployment: what Windows writes there without a BOM.
  void SetUp() override { setenv("UMBRA_ACP", "936", 1); }
  void TearDown() override { unsetenv("UMBRA_ACP"); }
  TempDir m_dir;
};

TEST_F(ProfileEncoding, WritesKeepTheFileEncoding) {
  const std::string bom16 = "\xFF\xFE", bom8 = "\xEF\xBB\xBF";
  struct Case {
    std::string before;
    std::u16string storedValue;  // what the file holds for a/k
    const char16_t* section;     // where the new value goes, as key j
    std::u16string newValue;
    std::string after;
  } cases[] = {
      {bom16 + Utf16Le(u"[a]\r\nk=\u4F60\u597D\r\n"), u"\u4F60\u597D", u"a", u"\u00E9\u4E2D",
       bom16 + Utf16Le(u"[a]\r\nk=\u4F60\u597D\r\nj=\u00E9\u4E2D\r\n")},
      {bom8 + "[a]\nk=\xC3\xBC\n", u"\u00FC", u"a", u"\u00DF", bom8 + "[a]\nk=\xC3\xBC\nj=\xC3\x9F\n"},
      {"[a]\nk=\xC3\xBC\n", u"\u00FC", u"a", u"\u4E2D", "[a]\nk=\xC3\xBC\nj=\xE4\xB8\xAD\n"},
      // Not UTF-8, so the ANSI code page: "\u4F60\u597D" and "\u4E2D" in GBK.
      {"[a]\r\nk=\xC4\xE3\xBA\xC3\r\n", u"\u4F60\u597D", u"a", u"\u4E2D",
       "[a]\r\nk=\xC4\xE3\xBA\xC3\r\nj=\xD6\xD0\r\n"},
      // A value GBK cannot hold turns the file into UTF-8 with a BOM, the old text kept.
      {"[a]\r\nk=\xC4\xE3\xBA\xC3\r\n", u"\u4F60\u597D", u"a", u"\U0001F600",
       bom8 + "[a]\r\nk=\xE4\xBD\xA0\xE5\xA5\xBD\r\nj=\xF0\x9F\x98\x80\r\n"},
      {"[a]\r\nk=\xC4\xE3\xBA\xC3\r\n", u"\u4F60\u597D", u"\u4E2D", u"\U0001F600",
       bom8 + "[a]\r\nk=\xE4\xBD\xA0\xE5\xA5\xBD\r\n[\xE4\xB8\xAD]\r\nj=\xF0\x9F\x98\x80\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
    TempDir::Put(m_dir / "enc.ini", c.before);
    const std::u16string file = m_dir.Win("enc.ini");
    EXPECT_EQ(Read(file, u"a", u"k"), c.storedValue);
    ASSERT_TRUE(WritePrivateProfileStringW(c.section, u"j", c.newValue.c_str(), file.c_str()));
    EXPECT_EQ(TempDir::Get(m_dir / "enc.ini"), c.after);
    EXPECT_EQ(Read(file, u"a", u"k"), c.storedValue);
    EXPECT_EQ(Read(file, c.section, u"j"), c.newValue);
  }
}

TEST(Profile, NewFilesAreUtf8WithoutBom) {
  TempDir dir;
  ASSERT_TRUE(WritePrivateProfileStringW(u"user", u"company", u"\u5149\u660E", dir.Win("new.ini").c_str()));
  EXPECT_EQ(TempDir::Get(dir / "new.ini"), "[user]\r\ncompany=\xE5\x85\x89\xE6\x98\x8E\r\n");
}

// ---- Atomic writes -------------------------------------------------------------------------------

TEST(Profile, WriteKeepsPermissionsAndSymbolicLinks) {
  TempDir dir;
  mkdir((dir / "real").c_str(), 0755);
  TempDir::Put(dir / "real/settings.ini", "[a]\r\nk=1\r\n");
  chmod((dir / "real/settings.ini").c_str(), 0640);
  ASSERT_EQ(symlink("real/settings.ini", (dir / "config.ini").c_str()), 0);

  ASSERT_TRUE(WritePrivateProfileStringW(u"a", u"k", u"2", dir.Win("config.ini").c_str()));
  struct stat link, target;
  ASSERT_EQ(lstat((dir / "config.ini").c_str(), &link), 0);
  EXPECT_TRUE(S_ISLNK(link.st_mode));
  ASSERT_EQ(stat((dir / "real/settings.ini").c_str(), &target), 0);
  EXPECT_EQ(target.st_mode & 07777, 0640u);
  EXPECT_EQ(TempDir::Get(dir / "real/settings.ini"), "[a]\r\nk=2\r\n");
  EXPECT_EQ(dir.Names("real"), std::set<std::string>{"settings.ini"});
}

TEST(Profile, FailedWriteIntoReadOnlyFolderLeavesTheFile) {
  TempDir dir;
  TempDir::Put(dir / "config.ini", "[a]\r\nk=1\r\n");
  chmod(dir.path().c_str(), 0555);
  if (access(dir.path().c_str(), W_OK) == 0) GTEST_SKIP() << "running as root: the folder stays writable";
  EXPECT_FALSE(WritePrivateProfileStringW(u"a", u"k", u"2", dir.Win("config.ini").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(TempDir::Get(dir / "config.ini"), "[a]\r\nk=1\r\n");
  EXPECT_EQ(dir.Names(), std::set<std::string>{"config.ini"});
}

TEST(Profile, FailedWriteOnAFullDiskLeavesTheFile) {
  TempDir dir;
  const std::string original = "[a]\r\nk=1\r\n" + std::string(4000, ';') + "\r\n";
  TempDir::Put(dir / "config.ini", original);
  // A file-size limit makes writes fail as a full disk does, even for root.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &limit);
    const BOOL ok = WritePrivateProfileStringW(u"a", u"k", u"2", dir.Win("config.ini").c_str());
    _exit(ok ? 1 : GetLastError() == ERROR_DISK_FULL ? 0 : 2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: reported success, 2: wrong last error";
  EXPECT_EQ(TempDir::Get(dir / "config.ini"), original);
  EXPECT_EQ(dir.Names(), std::set<std::string>{"config.ini"});
}

TEST(Profile, RefusesHugeFiles) {
  TempDir dir;
  TempDir::Put(dir / "huge.ini", "[a]\r\nk=1\r\n");
  ASSERT_EQ(truncate((dir / "huge.ini").c_str(), 16 * 1024 * 1024 + 1), 0);
  const std::u16string file = dir.Win("huge.ini");
  EXPECT_EQ(Read(file, u"a", u"k", u"dflt"), u"dflt");
  EXPECT_FALSE(WritePrivateProfileStringW(u"a", u"k", u"2", file.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_TOO_LARGE);
  struct stat st;
  stat((dir / "huge.ini").c_str(), &st);
  EXPECT_EQ(st.st_size, 16 * 1024 * 1024 + 1);
  EXPECT_EQ(dir.Names(), std::set<std::string>{"huge.ini"});
}

TEST(Profile, ManyCallsLeaveNoDescriptorsOpen) {
  TempDir dir;
  const std::u16string file = dir.Win("config.ini");
  const int before = CountOpenDescriptors();
  for (int i = 0; i < 100; ++i) {
    WritePrivateProfileStringW(u"user", u"id",
                               std::u16string(1, static_cast<char16_t>(u'0' + i % 10)).c_str(), file.c_str());
    Read(file, u"user", u"id");
    GetPrivateProfileIntW(u"user", u"id", 0, file.c_str());
    Read(dir.Win("missing.ini"), u"user", u"id");
  }
  EXPECT_EQ(CountOpenDescriptors(), before);
}

}  // namespace
