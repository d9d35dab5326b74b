#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <clocale>
#include <string>
#include <vector>

namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(WideString, ComparesOrdinallyByUnsignedUnit) {
  struct Case {
    const char16_t* a;
    const char16_t* b;
    size_t n;  // for wcsncmp
    int cmp;
    int ncmp;
  } cases[] = {
      {u"abc", u"abc", 3, 0, 0},
      {u"abc", u"abd", 2, -1, 0},
      {u"ab", u"abc", 3, -1, -1},
      {u"B", u"a", 1, -1, -1},     // ordinal: upper case sorts first
      {u"\xFFFF", u"a", 1, 1, 1},  // units are unsigned
      {u"\xD83D\xDE00", u"\xFF21", 1, -1, -1},
      {u"", u"", 5, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::u16string(c.a).size());
    EXPECT_EQ(Sign(wcscmp(c.a, c.b)), c.cmp);
    EXPECT_EQ(Sign(wcscmp(c.b, c.a)), -c.cmp);
    EXPECT_EQ(Sign(wcsncmp(c.a, c.b, c.n)), c.ncmp);
    EXPECT_EQ(lstrcmpW(c.a, c.b), c.cmp);
  }
}

TEST(WideString, IgnoringCaseFoldsUnicodeLettersWhateverTheLocale) {
  std::setlocale(LC_ALL, "C");  // the C locale's own tables know only ASCII
  struct Case {
    const char16_t* a;
    const char16_t* b;
    int cmp;
  } cases[] = {
      {u"Config.INI", u"config.ini", 0},
      {u"\x00C4RGER", u"\x00E4rger", 0},                  // Ärger
      {u"\x041F\x0420\x0418", u"\x043F\x0440\x0438", 0},  // Cyrillic
      {u"abc", u"ABD", -1},
      {u"abcd", u"ABC", 1},
      {u"_", u"a", -1},  // compared lower-cased: '_' < 'a'
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(_wcsicmp(c.a, c.b)), c.cmp);
    EXPECT_EQ(lstrcmpiW(c.a, c.b), c.cmp);
  }
  EXPECT_EQ(_wcsnicmp(u"HeaderX", u"headerY", 6), 0);
  EXPECT_NE(_wcsnicmp(u"HeaderX", u"headerY", 7), 0);
}

TEST(WideString, CharacterClassesAndCaseFollowUnicodeNotTheLocale) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(towlower(u'\x00C4'), u'\x00E4');
  EXPECT_EQ(towupper(u'\x044F'), u'\x042F');
  EXPECT_EQ(towupper(u'\x00DF'), u'\x00DF');  // ß has no single-unit capital
  EXPECT_EQ(towlower(u'\xD83D'), u'\xD83D');  // surrogate halves map to themselves
  EXPECT_EQ(towupper(u'\xDE00'), u'\xDE00');

  EXPECT_TRUE(iswalpha(u'\x4E2D'));  // 中
  EXPECT_TRUE(iswalnum(u'\x00E9'));
  EXPECT_TRUE(iswalnum(u'7'));
  EXPECT_FALSE(iswalnum(u'-'));
  EXPECT_FALSE(iswalpha(u'\xD800'));
  EXPECT_FALSE(iswalnum(u'\xDC00'));
  EXPECT_TRUE(iswspace(u'\x3000'));  // ideographic space
  EXPECT_TRUE(iswupper(u'\x0391'));
  EXPECT_TRUE(iswlower(u'\x03B1'));
  EXPECT_TRUE(iswxdigit(u'F'));
  EXPECT_FALSE(iswxdigit(u'g'));
  EXPECT_TRUE(iswpunct(u'!'));
  EXPECT_TRUE(IsCharAlphaW(u'\x00C5'));
  EXPECT_FALSE(IsCharAlphaNumericW(u' '));
  EXPECT_TRUE(IsCharUpperW(u'\x00C5'));
  EXPECT_TRUE(IsCharLowerW(u'\x00E5'));

  char16_t text[] = u"Gr\x00DC\x00DF \x0130stanbul";
  EXPECT_EQ(std::u16string(_wcslwr(text)), u"gr\x00FC\x00DF istanbul");
  EXPECT_EQ(std::u16string(_wcsupr(text)), u"GR\x00DC\x00DF ISTANBUL");
}

TEST(WideString, SearchesCopiesAndAppends) {
  const char16_t* s = u"a\\b\\c";
  EXPECT_EQ(wcschr(s, u'\\'), s + 1);
  EXPECT_EQ(wcsrchr(s, u'\\'), s + 3);
  EXPECT_EQ(wcschr(s, u'\0'), s + 5);  // the terminator is part of the string
  EXPECT_EQ(wcschr(s, u'x'), nullptr);
  EXPECT_EQ(wcsstr(s, u"b\\c"), s + 2);
  EXPECT_EQ(wcsstr(s, u""), s);
  EXPECT_EQ(wcsstr(s, u"c\\"), nullptr);
  EXPECT_EQ(wcsnlen(s, 3), 3u);
  EXPECT_EQ(wcsnlen(s, 30), 5u);

  char16_t buf[8];
  std::char_traits<char16_t>::assign(buf, 8, u'#');
  wcsncpy(buf, u"ab", 5);  // pads with terminators up to n
  EXPECT_EQ(std::u16string(buf, 6), std::u16string(u"ab\0\0\0#", 6));
  wcsncat(buf, u"cdef", 2);  // appends at most n and terminates
  EXPECT_EQ(std::u16string(buf), u"abcd");
  wcscat(wcscpy(buf, u"xy"), u"z");
  EXPECT_EQ(std::u16string(buf), u"xyz");
}

TEST(WideString, ConvertsNumbersLikeTheRuntimeWithThirtyTwoBitLimits) {
  struct Case {
    const char16_t* text;
    int base;
    long value;
    unsigned long uvalue;
    size_t end;  // offset of the first unread character
  } cases[] = {
      {u"  42xyz", 10, 42, 42, 4},
      {u"\t-17", 10, -17, 0xFFFFFFEFUL, 4},
      {u"+8", 10, 8, 8, 2},
      {u"0x1F", 0, 31, 31, 4},
      {u"017", 0, 15, 15, 3},
      {u"0", 0, 0, 0, 1},
      {u"0x1f", 16, 31, 31, 4},
      {u"ff", 16, 255, 255, 2},
      {u"0xg", 16, 0, 0, 1},  // "0" is the number; 'x' is unread
      {u"z", 36, 35, 35, 1},
      {u"2147483647", 10, 2147483647L, 2147483647UL, 10},
      {u"2147483648", 10, 2147483647L, 2147483648UL, 10},
      {u"-2147483648", 10, -2147483647L - 1, 2147483648UL, 11},
      {u"-2147483649", 10, -2147483647L - 1, 2147483647UL, 11},
      {u"FFFFFFFF", 16, 2147483647L, 0xFFFFFFFFUL, 8},
      {u"123456789ABCDEF0", 16, 2147483647L, 0xFFFFFFFFUL, 16},
      {u"99999999999999999999999", 10, 2147483647L, 0xFFFFFFFFUL, 23},
      {u"", 10, 0, 0, 0},
      {u"  -", 10, 0, 0, 0},  // nothing read: end is the start
      {u"abc", 10, 0, 0, 0},
      {u"12", 1, 0, 0, 0},       // invalid base
      {u"\x0663", 10, 0, 0, 0},  // only ASCII digits count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "base " << c.base << " expected " << c.value);
    char16_t* end = nullptr;
    EXPECT_EQ(wcstol(c.text, &end, c.base), c.value);
    EXPECT_EQ(end, c.text + c.end);
    end = nullptr;
    // wcstoul's overflow differs from wcstol's only by the limit.
    EXPECT_EQ(wcstoul(c.text, &end, c.base), c.uvalue);
    EXPECT_EQ(end, c.text + c.end);
  }
  errno = 0;
  wcstoul(u"4294967296", nullptr, 10);
  EXPECT_EQ(errno, ERANGE);
  EXPECT_EQ(_wtoi(u" -12px"), -12);
  EXPECT_EQ(_wtoi(u"99999999999"), 2147483647);
  EXPECT_EQ(_wtol(u"0x10"), 0);
}

TEST(Lstr, CopiesWithinLimitsAndToleratesNull) {
  char16_t buf[6];
  std::char_traits<char16_t>::assign(buf, 6, u'#');
  EXPECT_EQ(lstrcpynW(buf, u"abcdefgh", 4), buf);
  EXPECT_EQ(std::u16string(buf, 5), std::u16string(u"abc\0#", 5));  // 3 units and a terminator
  EXPECT_EQ(std::u16string(lstrcpynW(buf, u"ab", 6)), u"ab");
  EXPECT_EQ(std::u16string(lstrcpynW(buf, u"ab", 1)), u"");
  buf[0] = u'#';
  lstrcpynW(buf, u"ab", 0);  // no room at all: nothing written
  EXPECT_EQ(buf[0], u'#');
  EXPECT_EQ(std::u16string(lstrcatW(lstrcpyW(buf, u"ab"), u"cd")), u"abcd");
  EXPECT_EQ(lstrlenW(buf), 4);

  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrcpyW(nullptr, u"a"), nullptr);
  EXPECT_EQ(lstrcpynW(buf, nullptr, 4), nullptr);
  EXPECT_EQ(lstrcatW(buf, nullptr), nullptr);
  EXPECT_EQ(lstrcmpW(nullptr, nullptr), 0);
  EXPECT_EQ(lstrcmpW(nullptr, u""), -1);
  EXPECT_EQ(lstrcmpiW(u"", nullptr), 1);
}

TEST(CharNext, StepsOverSurrogatePairsAndCombiningMarks) {
  struct Case {
    const char16_t* text;
    std::vector<size_t> stops;  // offsets CharNextW visits, ending at the terminator
  } cases[] = {
      {u"ab", {1, 2}},
      {u"\xD83D\xDE00x", {2, 3}},     // 😀 is one character
      {u"e\x0301\x0302z", {3, 4}},    // e with two combining accents
      {u"\xD83D\xDE00\x20DD", {3}},   // a pair with an enclosing mark
      {u"\xD83Dx\xDE00", {1, 2, 3}},  // unpaired halves stand alone
      {u"\x0301"
       u"a",
       {1, 2}},  // a mark with nothing before it
      {u"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "length " << std::u16string(c.text).size());
    std::vector<size_t> forward;
    for (const char16_t* p = c.text; *p; p = CharNextW(p)) forward.push_back(CharNextW(p) - c.text);
    EXPECT_EQ(forward, c.stops);
    const char16_t* end = c.text + std::u16string(c.text).size();
    EXPECT_EQ(CharNextW(end), end);  // stays on the terminator

    // Walking back visits the same boundaries in reverse, and never passes the start.
    std::vector<size_t> backward;
    for (const char16_t* p = end; p > c.text; p = CharPrevW(c.text, p))
      backward.insert(backward.begin(), p - c.text);
    EXPECT_EQ(backward, c.stops);
    EXPECT_EQ(CharPrevW(c.text, c.text), c.text);
  }
  EXPECT_EQ(CharNextW(nullptr), nullptr);
}

TEST(CharLower, ConvertsAStringInPlaceOrOneCharacterInThePointer) {
  char16_t text[] = u"\x00C9t\x00C9 ABC";
  EXPECT_EQ(CharLowerW(text), text);
  EXPECT_EQ(std::u16string(text), u"\x00E9t\x00E9 abc");
  EXPECT_EQ(CharUpperBuffW(text, 3), 3u);  // only the first three units
  EXPECT_EQ(std::u16string(text), u"\x00C9T\x00C9 abc");
  EXPECT_EQ(CharLowerBuffW(text, 3), 3u);
  EXPECT_EQ(std::u16string(text), u"\x00E9t\x00E9 abc");
  EXPECT_EQ(CharUpperBuffW(nullptr, 3), 0u);

  // A value whose high-order word is zero is a character, not a pointer.
  auto asPointer = [](char16_t c) { return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(c)); };
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(CharUpperW(asPointer(u'\x00E4'))), 0x00C4u);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(CharLowerW(asPointer(u'Q'))), static_cast<ULONG_PTR>(u'q'));
}

}  // namespace
