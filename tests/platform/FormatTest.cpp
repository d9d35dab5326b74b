#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Narrow arguments are read in the ANSI code page; pin it so results do not depend on the machine.
class FormatTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = getenv("UMBRA_ACP")) m_saved = old;
    setenv("UMBRA_ACP", "65001", 1);
  }
  void TearDown() override {
    if (m_saved.empty()) {
      unsetenv("UMBRA_ACP");
    } else {
      setenv("UMBRA_ACP", m_saved.c_str(), 1);
    }
  }

 private:
  std::string m_saved;
};

// Formats through wvsprintfW and checks that the return value is the length written.
std::u16string Fmt(const char16_t* format, ...) {
  char16_t buf[1100];
  va_list args;
  va_start(args, format);
  const int written = wvsprintfW(buf, format, args);
  va_end(args);
  EXPECT_EQ(written, static_cast<int>(std::u16string(buf).size())) << "format length mismatch";
  return buf;
}

TEST_F(FormatTest, FormatsEachTypeAndFlag) {
  const char16_t wide[] = u"abc";
  const char narrow[] = "narrow \xE4\xB8\xAD";  // UTF-8 for 中
  struct Case {
    std::u16string actual;
    std::u16string expected;
  } cases[] = {
      // integers: 32-bit by default, 64-bit with I64
      {Fmt(u"%d|%i|%ld", 42, -42, 7), u"42|-42|7"},
      {Fmt(u"%d", INT_MIN), u"-2147483648"},
      {Fmt(u"%u|%x|%X", -1, 255, 255), u"4294967295|ff|FF"},
      {Fmt(u"%I64d", -5000000000LL), u"-5000000000"},
      {Fmt(u"%I64u|%I64X", ULLONG_MAX, 0x123456789ABULL), u"18446744073709551615|123456789AB"},
      {Fmt(u"%d,%I64d,%d", 1, 2LL, 3), u"1,2,3"},
      // width, alignment, zero padding, precision
      {Fmt(u"[%4d][%-4d][%04d][%04d]", 7, 7, 7, -7), u"[   7][7   ][0007][-007]"},
      {Fmt(u"[%-04d]", 7), u"[7   ]"},  // '0' is ignored with '-'
      {Fmt(u"[%.3d][%5.3d][%08.3d][%.0d]", 7, -7, 7, 0), u"[007][ -007][     007][]"},
      {Fmt(u"%4d-%02d-%02d", 2024, 1, 9), u"2024-01-09"},
      {Fmt(u"[%#x][%#X][%#06x][%-#6x]", 255, 255, 255, 255), u"[0xff][0XFF][0x00ff][0xff  ]"},
      {Fmt(u"%p", reinterpret_cast<void*>(0x1234)), u"0000000000001234"},
      // strings: %s wide, %S narrow, h and l choose explicitly
      {Fmt(u"[%s][%5s][%-5s][%.2s]", wide, wide, wide, wide), u"[abc][  abc][abc  ][ab]"},
      {Fmt(u"%ls|%hs|%S", wide, "hs", narrow), u"abc|hs|narrow \x4E2D"},
      {Fmt(u"%s|%S|%.3s", nullptr, static_cast<const char*>(nullptr), nullptr), u"(null)|(null)|(nu"},
      {Fmt(u"%s\\config.ini", u"C:\\app"), u"C:\\app\\config.ini"},
      // characters: %c wide, %C narrow
      {Fmt(u"%c%lc%C%hc", u'\x4E2D', u'x', 'A', 'z'), u"\x4E2DxAz"},
      {Fmt(u"[%3c][%-3c]", u'x', u'y'), u"[  x][y  ]"},
      // literal percent, unknown types and '*' consume no argument
      {Fmt(u"100%% %y %q%d", 5), u"100% y q5"},
      {Fmt(u"%*d|%.*s|%d", 7), u"%*d|%.*s|7"},
      {Fmt(u"abc%"), u"abc"},
      {Fmt(u"abc%-0"), u"abc"},
      {Fmt(u"dest='%d,%d,%d,%d'", 1, 2, 3, 4), u"dest='1,2,3,4'"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].actual, cases[i].expected) << "case " << i;
  }
}

TEST_F(FormatTest, PrecisionBoundsTheReadOfUnterminatedStrings) {
  auto wide = std::make_unique<char16_t[]>(3);
  std::char_traits<char16_t>::copy(wide.get(), u"xyz", 3);
  auto narrow = std::make_unique<char[]>(2);
  narrow[0] = 'p';
  narrow[1] = 'q';
  EXPECT_EQ(Fmt(u"%.3s|%.2S", wide.get(), narrow.get()), u"xyz|pq");
}

TEST_F(FormatTest, WsprintfStopsAt1024UnitsWithTerminator) {
  const std::u16string longText(2000, u'w');
  char16_t buf[1100];
  std::char_traits<char16_t>::assign(buf, std::size(buf), u'#');
  EXPECT_EQ(wsprintfW(buf, u"%s", longText.c_str()), 1023);
  EXPECT_EQ(std::u16string(buf), longText.substr(0, 1023));
  EXPECT_EQ(buf[1024], u'#');

  // Padding alone can fill the buffer too.
  EXPECT_EQ(wsprintfW(buf, u"%5000d", 1), 1023);
  EXPECT_EQ(buf[1023], u'\0');
}

TEST_F(FormatTest, BoundedFormsNeverWritePastTheirBuffer) {
  struct Case {
    int cchDest;
    int result;
    std::u16string text;  // what the buffer holds afterwards
  } cases[] = {
      {16, 8, u"abc-1234"},
      {9, 8, u"abc-1234"},
      {8, 7, u"abc-123"},
      {2, 1, u"a"},
      {1, 0, u""},
      {0, -1, std::u16string(19, u'#')},
      {-4, -1, std::u16string(19, u'#')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cchDest);
    char16_t buf[20];
    std::char_traits<char16_t>::assign(buf, std::size(buf), u'#');
    buf[19] = 0;
    EXPECT_EQ(wnsprintfW(buf, c.cchDest, u"%s-%d", u"abc", 1234), c.result);
    EXPECT_EQ(std::u16string(buf), c.text);
    // Nothing after the terminator is touched.
    for (size_t i = c.result + 1; i < 19; ++i) EXPECT_EQ(buf[i], u'#') << i;
  }
}

}  // namespace
