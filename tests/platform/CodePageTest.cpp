#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// Pins the ANSI code page through UMBRA_ACP (read on every call) and restores it afterwards.
class AcpOverride {
 public:
  explicit AcpOverride(const char* codePage) {
    if (const char* old = getenv("UMBRA_ACP")) m_saved = old, m_hadValue = true;
    setenv("UMBRA_ACP", codePage, 1);
  }
  ~AcpOverride() {
    if (m_hadValue) {
      setenv("UMBRA_ACP", m_saved.c_str(), 1);
    } else {
      unsetenv("UMBRA_ACP");
    }
  }

 private:
  std::string m_saved;
  bool m_hadValue = false;
};

// Converts with a size query first, as callers do; an empty result means the call failed.
std::u16string ToWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
  const int size = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  if (needed <= 0) return {};
  std::u16string out(needed + 1, u'#');
  EXPECT_EQ(MultiByteToWideChar(codePage, flags, bytes.data(), size, out.data(), needed), needed);
  EXPECT_EQ(out[needed], u'#');  // nothing written past the given size
  out.resize(needed);
  return out;
}

std::string ToNarrow(UINT codePage, const std::u16string& text, DWORD flags = 0,
                     const char* defaultChar = nullptr, BOOL* usedDefault = nullptr) {
  const int size = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, defaultChar, usedDefault);
  if (needed <= 0) return {};
  std::string out(needed + 1, '#');
  EXPECT_EQ(
      WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), needed, defaultChar, usedDefault),
      needed);
  EXPECT_EQ(out[needed], '#');
  out.resize(needed);
  return out;
}

TEST(CodePage, Utf8RoundTripsEveryPlane) {
  const struct {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"plain ascii", u"plain ascii"},
      {"\xE4\xB8\xAD\xE6\x96\x87", u"\x4E2D\x6587"},                  // 中文
      {"caf\xC3\xA9 \xF0\x9F\x98\x80!", u"caf\x00E9 \xD83D\xDE00!"},  // é and 😀
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},           // an explicit length keeps NULs
      {"\xEF\xBB\xBFx", u"\xFEFFx"},                                  // a BOM is just a character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(ToWide(CP_UTF8, c.utf8, MB_ERR_INVALID_CHARS), c.utf16);
    EXPECT_EQ(ToNarrow(CP_UTF8, c.utf16, WC_ERR_INVALID_CHARS), c.utf8);
  }
}

TEST(CodePage, Utf8HandlesNonAsciiAtEveryOffsetOfLongAsciiRuns) {
  for (size_t prefix = 0; prefix < 20; ++prefix) {
    for (size_t suffix : {0, 1, 7, 8, 9}) {
      const std::u16string text =
          std::u16string(prefix, u'a') + u"\x00E9\x4E2D" + std::u16string(suffix, u'z');
      const std::string bytes = ToNarrow(CP_UTF8, text);
      EXPECT_EQ(bytes.size(), prefix + 5 + suffix);
      EXPECT_EQ(ToWide(CP_UTF8, bytes), text) << prefix << "+" << suffix;
    }
  }
}

TEST(CodePage, MinusOneLengthCountsTheTerminator) {
  char16_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", -1, nullptr, 0), 6);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "h\xC3\xA9llo", -1, wide, 8), 6);
  EXPECT_EQ(std::u16string(wide), u"h\x00E9llo");
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "", -1, wide, 8), 1);
  EXPECT_EQ(wide[0], u'\0');

  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x00E9t\x00E9", -1, nullptr, 0, nullptr, nullptr), 6);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\x00E9t\x00E9", -1, narrow, 8, nullptr, nullptr), 6);
  EXPECT_EQ(std::string(narrow), "\xC3\xA9t\xC3\xA9");
}

// Each failing call paired with the error it must leave behind.
TEST(CodePage, RejectsBadArgumentsWithWin32Errors) {
  char16_t wide[4];
  char narrow[4];
  struct Case {
    const char* name;
    int (*call)(char16_t*, char*);
    DWORD error;
  } cases[] = {
      {"short buffer", [](char16_t* w, char*) { return MultiByteToWideChar(CP_UTF8, 0, "abcdef", -1, w, 4); },
       ERROR_INSUFFICIENT_BUFFER},
      {"null source", [](char16_t* w, char*) { return MultiByteToWideChar(CP_UTF8, 0, nullptr, 3, w, 4); },
       ERROR_INVALID_PARAMETER},
      {"zero length", [](char16_t* w, char*) { return MultiByteToWideChar(CP_UTF8, 0, "abc", 0, w, 4); },
       ERROR_INVALID_PARAMETER},
      {"length below -1", [](char16_t* w, char*) { return MultiByteToWideChar(CP_UTF8, 0, "abc", -2, w, 4); },
       ERROR_INVALID_PARAMETER},
      {"null destination",
       [](char16_t*, char*) { return MultiByteToWideChar(CP_UTF8, 0, "abc", 3, nullptr, 4); },
       ERROR_INVALID_PARAMETER},
      {"same buffer",
       [](char16_t*, char* n) {
         return MultiByteToWideChar(CP_UTF8, 0, n, 3, reinterpret_cast<LPWSTR>(n), 1);
       },
       ERROR_INVALID_PARAMETER},
      {"utf-8 flags",
       [](char16_t* w, char*) { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "abc", 3, w, 4); },
       ERROR_INVALID_FLAGS},
      {"unknown code page", [](char16_t* w, char*) { return MultiByteToWideChar(12345, 0, "abc", 3, w, 4); },
       ERROR_INVALID_PARAMETER},
      {"w short buffer",
       [](char16_t*, char* n) {
         return WideCharToMultiByte(CP_UTF8, 0, u"\x00E9\x00E9", 2, n, 3, nullptr, nullptr);
       },
       ERROR_INSUFFICIENT_BUFFER},
      {"w null source",
       [](char16_t*, char* n) { return WideCharToMultiByte(CP_UTF8, 0, nullptr, 3, n, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"w length below -1",
       [](char16_t*, char* n) { return WideCharToMultiByte(CP_UTF8, 0, u"abc", -5, n, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
      {"w same buffer",
       [](char16_t* w, char*) {
         return WideCharToMultiByte(CP_UTF8, 0, w, 1, reinterpret_cast<LPSTR>(w), 4, nullptr, nullptr);
       },
       ERROR_INVALID_PARAMETER},
      {"w utf-8 flags",
       [](char16_t*, char* n) {
         return WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, u"abc", 3, n, 4, nullptr, nullptr);
       },
       ERROR_INVALID_FLAGS},
      {"w utf-8 default char",
       [](char16_t*, char* n) { return WideCharToMultiByte(CP_UTF8, 0, u"abc", 3, n, 4, "?", nullptr); },
       ERROR_INVALID_PARAMETER},
      {"w unknown code page",
       [](char16_t*, char* n) { return WideCharToMultiByte(12345, 0, u"abc", 3, n, 4, nullptr, nullptr); },
       ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.call(wide, narrow), 0) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
}

TEST(CodePage, InvalidUtf8BecomesReplacementCharactersUnlessStrict) {
  const struct {
    std::string bytes;
    std::u16string lenient;
  } cases[] = {
      {"a\xFF"
       "b",
       u"a\xFFFD"
       "b"},
      {"\xC0\x80", u"\xFFFD\xFFFD"},                      // overlong NUL
      {"x\xE4\xB8", u"x\xFFFD"},                          // truncated sequence
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},  // above U+10FFFF
      {"\x80\xE4\xB8\xAD", u"\xFFFD\x4E2D"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToWide(CP_UTF8, c.bytes), c.lenient);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, c.bytes.data(),
                                  static_cast<int>(c.bytes.size()), nullptr, 0),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
  }

  // Unpaired surrogates go out as U+FFFD, or fail when asked to.
  EXPECT_EQ(ToNarrow(CP_UTF8,
                     u"a\xD800"
                     "b\xDC00"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"a\xD800", 2, nullptr, 0, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePage, AnsiCodePageFollowsUmbraAcp) {
  {
    AcpOverride acp("65001");
    EXPECT_EQ(GetACP(), 65001u);
    EXPECT_EQ(ToWide(CP_ACP, "\xE4\xB8\xAD"), u"\x4E2D");
    // The UTF-8 rules apply to CP_ACP as well.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "a", 1, nullptr, 0), 0);
  }
  const UINT localeAcp = GetACP();
  for (const char* ignored : {"", "abc", "0", "936x", "70000"}) {
    AcpOverride acp(ignored);
    EXPECT_EQ(GetACP(), localeAcp) << ignored;
  }
}

TEST(CodePage, GbkConvertsThroughIconv) {
  AcpOverride acp("936");
  EXPECT_EQ(GetACP(), 936u);
  const std::string gbk = "\xD6\xD0\xCE\xC4 abc";  // 中文 abc
  for (UINT codePage : {static_cast<UINT>(CP_ACP), static_cast<UINT>(CP_THREAD_ACP), 936u}) {
    EXPECT_EQ(ToWide(codePage, gbk), u"\x4E2D\x6587 abc");
    EXPECT_EQ(ToNarrow(codePage, u"\x4E2D\x6587 abc"), gbk);
  }
  char16_t wide[4];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, gbk.data(), static_cast<int>(gbk.size()), wide, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xD6\xD0", -1, wide, 4), 2);
  EXPECT_EQ(std::u16string(wide), u"\x4E2D");
}

TEST(CodePage, LegacyCodePagesSubstituteWhatTheyCannotConvert) {
  AcpOverride acp("936");
  // Characters GBK lacks, a pair among them, take the default character.
  BOOL usedDefault = FALSE;
  EXPECT_EQ(ToNarrow(CP_ACP,
                     u"a\xD83D\xDE00"
                     "b",
                     0, nullptr, &usedDefault),
            "a?b");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(ToNarrow(CP_ACP, u"\x0E01\xD800", 0, "*", &usedDefault), "**");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(ToNarrow(CP_ACP, u"ok", 0, "*", &usedDefault), "ok");
  EXPECT_FALSE(usedDefault);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_ERR_INVALID_CHARS, u"a", 1, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));

  // A lead byte without its trail byte is invalid input.
  EXPECT_EQ(ToWide(CP_ACP, "a\x81"), u"a\xFFFD");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "a\x81", 2, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));

  // The cached converters start afresh after a failure.
  EXPECT_EQ(ToWide(CP_ACP, "\xD6\xD0"), u"\x4E2D");
  EXPECT_EQ(ToNarrow(CP_ACP, u"\x6587"), "\xCE\xC4");
}

}  // namespace
