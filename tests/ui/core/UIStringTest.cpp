#include <gtest/gtest.h>

#include <string>

#include "ui/core/UIString.h"

namespace Umbra {
namespace {

std::u16string Text(const CUIString& s) { return s.GetData(); }

std::u16string Repeat(char16_t ch, size_t n) { return std::u16string(n, ch); }

// The text lives in the object itself rather than on the heap.
bool IsInline(const CUIString& s) {
  const auto* first = reinterpret_cast<const char*>(&s);
  const auto* data = reinterpret_cast<const char*>(s.GetData());
  return data >= first && data < first + sizeof(s);
}

TEST(UIString, KeepsUpTo62CharactersInline) {
  const struct {
    size_t length;
    bool inlined;
  } cases[] = {{0, true}, {1, true}, {62, true}, {63, false}, {200, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::u16string text = Repeat(u'x', c.length);
    CUIString s;
    s.Assign(text.c_str());
    EXPECT_EQ(IsInline(s), c.inlined);
    EXPECT_EQ(Text(s), text);
    EXPECT_EQ(s.GetLength(), static_cast<int>(c.length));
    // Going back to a short text leaves the heap (a leak would show under the sanitizer).
    s.Assign(TEXT("short"));
    EXPECT_TRUE(IsInline(s));
    EXPECT_EQ(Text(s), u"short");
  }
}

TEST(UIString, AppendMovesToHeapPastThreshold) {
  CUIString s(Repeat(u'a', 62).c_str());
  ASSERT_TRUE(IsInline(s));
  s.Append(TEXT('b'));
  EXPECT_FALSE(IsInline(s));
  EXPECT_EQ(Text(s), Repeat(u'a', 62) + u"b");
  for (int i = 0; i < 100; ++i) s += TEXT("cd");
  EXPECT_EQ(s.GetLength(), 63 + 200);
  EXPECT_EQ(s.GetAt(s.GetLength() - 1), u'd');
  s.Append(static_cast<LPCWSTR>(nullptr));
  EXPECT_EQ(s.GetLength(), 263);
  s.Empty();
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_TRUE(IsInline(s));
}

TEST(UIString, ReusesHeapBufferForShorterLongText) {
  CUIString s(Repeat(u'a', 100).c_str());
  LPCWSTR heap = s.GetData();
  s.Assign(Repeat(u'b', 70).c_str());
  EXPECT_EQ(s.GetData(), heap);
  EXPECT_EQ(Text(s), Repeat(u'b', 70));
  s.Assign(Repeat(u'c', 150).c_str());
  EXPECT_EQ(Text(s), Repeat(u'c', 150));
}

TEST(UIString, AssignTakesExplicitLength) {
  const struct {
    LPCWSTR text;
    int length;
    std::u16string expected;
  } cases[] = {
      {TEXT("hello"), 3, u"hel"}, {TEXT("hello"), 0, u""}, {TEXT("hello"), -1, u"hello"},
      {TEXT("hi"), 10, u"hi"},   // shorter source: the rest is terminators
      {TEXT("hi"), 100, u"hi"},  // same on the heap
      {nullptr, -1, u""},         {nullptr, 5, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    EXPECT_EQ(Text(CUIString(c.text, c.length)), c.expected);
  }
}

TEST(UIString, CopiesAreIndependentValues) {
  for (const size_t length : {size_t{5}, size_t{80}}) {
    CUIString original(Repeat(u'q', length).c_str());
    CUIString copy(original);
    CUIString assigned;
    assigned = original;
    original.Assign(TEXT("changed"));
    EXPECT_EQ(Text(copy), Repeat(u'q', length));
    EXPECT_EQ(Text(assigned), Repeat(u'q', length));
    EXPECT_NE(copy.GetData(), original.GetData());
  }
}

// Every case feeds the string a pointer into its own buffer, inline and on the heap.
TEST(UIString, AcceptsTextFromItsOwnBuffer) {
  for (const size_t length : {size_t{10}, size_t{62}, size_t{63}, size_t{120}}) {
    SCOPED_TRACE(length);
    std::u16string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char16_t>(u'a' + i % 26);

    CUIString s(text.c_str());
    s.Assign(s.GetData() + 1);
    EXPECT_EQ(Text(s), text.substr(1));

    s = text.c_str();
    const CUIString& alias = s;
    s = alias;
    EXPECT_EQ(Text(s), text);

    s.Append(s);
    EXPECT_EQ(Text(s), text + text);

    s = text.c_str();
    s.Append(s.GetData() + 2);
    EXPECT_EQ(Text(s), text + text.substr(2));

    s = text.c_str();
    s.Assign(s.GetData(), 3);
    EXPECT_EQ(Text(s), text.substr(0, 3));

    s = text.c_str();
    EXPECT_EQ(s.Replace(s.GetData(), TEXT("z")), 1);
    EXPECT_EQ(Text(s), u"z");
  }
}

TEST(UIString, FindHonoursStartBounds) {
  const CUIString s(TEXT("hello"));
  const struct {
    WCHAR ch;
    int start;
    int expected;
  } chars[] = {
      {u'l', 0, 2},  {u'l', 3, 3},   {u'l', 4, -1}, {u'o', 4, 4},
      {u'o', 5, -1}, {u'h', -1, -1}, {u'z', 0, -1}, {0, 0, -1},
  };
  for (const auto& c : chars) {
    SCOPED_TRACE(testing::Message() << char(c.ch) << " from " << c.start);
    EXPECT_EQ(s.Find(c.ch, c.start), c.expected);
  }
  const struct {
    LPCWSTR text;
    int start;
    int expected;
  } texts[] = {
      {TEXT("lo"), 0, 3}, {TEXT("l"), 3, 3},       {TEXT("lo"), 4, -1}, {TEXT("o"), 5, -1},
      {TEXT(""), 5, 5},   {TEXT(""), 6, -1},       {TEXT("h"), -1, -1}, {TEXT(""), 0, 0},
      {nullptr, 2, 2},    {TEXT("hello!"), 0, -1},
  };
  for (const auto& c : texts) {
    SCOPED_TRACE(c.start);
    EXPECT_EQ(s.Find(c.text, c.start), c.expected);
  }
  EXPECT_EQ(CUIString().Find(u'a'), -1);
  EXPECT_EQ(s.ReverseFind(u'l'), 3);
  EXPECT_EQ(s.ReverseFind(u'z'), -1);
}

TEST(UIString, LeftAndMidClampToText) {
  const CUIString s(TEXT("hello"));
  const struct {
    int count;
    std::u16string expected;
  } lefts[] = {{-1, u""}, {0, u""}, {2, u"he"}, {99, u"hello"}};
  for (const auto& c : lefts) {
    SCOPED_TRACE(c.count);
    EXPECT_EQ(Text(s.Left(c.count)), c.expected);
  }
  const struct {
    int start;
    int count;
    std::u16string expected;
  } mids[] = {
      {1, 2, u"el"}, {3, 99, u"lo"}, {2, -1, u"llo"}, {5, -1, u""},
      {9, 2, u""},   {2, 0, u""},    {-2, 3, u"hel"}, {-2, -1, u"hello"},
  };
  for (const auto& c : mids) {
    SCOPED_TRACE(testing::Message() << c.start << "," << c.count);
    EXPECT_EQ(Text(s.Mid(c.start, c.count)), c.expected);
  }
}

TEST(UIString, ReplaceDoesNotRescanReplacedText) {
  const std::u16string longText = Repeat(u'b', 40);
  const struct {
    LPCWSTR text;
    LPCWSTR from;
    LPCWSTR to;
    std::u16string expected;
    int count;
  } cases[] = {
      {TEXT("aaa"), TEXT("a"), TEXT("aa"), u"aaaaaa", 3},
      {TEXT("abcabc"), TEXT("bc"), TEXT(""), u"aa", 2},
      {TEXT("a.b.c"), TEXT("."), TEXT("::"), u"a::b::c", 2},
      {TEXT("abc"), TEXT("x"), TEXT("y"), u"abc", 0},
      {TEXT("abc"), TEXT(""), TEXT("y"), u"abc", 0},
      {TEXT("abc"), nullptr, TEXT("y"), u"abc", 0},
      {TEXT("abc"), TEXT("b"), nullptr, u"ac", 1},
      {longText.c_str(), TEXT("b"), TEXT("xy"),
       [] {
         std::u16string r;
         for (int i = 0; i < 40; ++i) r += u"xy";
         return r;
       }(),
       40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.count);
    CUIString s(c.text);
    EXPECT_EQ(s.Replace(c.from, c.to), c.count);
    EXPECT_EQ(Text(s), c.expected);
  }
}

TEST(UIString, FormatCutsResultTo63Characters) {
  CUIString s;
  EXPECT_EQ(s.Format(TEXT("dest='%d,%d,%d,%d'"), 1, -2, 30, 400), 18);
  EXPECT_EQ(Text(s), u"dest='1,-2,30,400'");
  s.Format(TEXT("%4d-%02d-%02d"), 2024, 3, 7);
  EXPECT_EQ(Text(s), u"2024-03-07");

  const std::u16string seventy = Repeat(u'z', 70);
  EXPECT_EQ(s.Format(TEXT("%s"), seventy.c_str()), 63);
  EXPECT_EQ(Text(s), Repeat(u'z', 63));

  s.Assign(TEXT("self"));
  s.Format(TEXT("[%s]"), s.GetData());
  EXPECT_EQ(Text(s), u"[self]");
  s.Format(nullptr);
  EXPECT_TRUE(s.IsEmpty());
}

TEST(UIString, ComparesOrdinallyAndLowersUnicode) {
  const CUIString s(TEXT("abc"));
  EXPECT_EQ(s.Compare(TEXT("abc")), 0);
  EXPECT_LT(s.Compare(TEXT("abd")), 0);
  EXPECT_GT(s.Compare(TEXT("ab")), 0);
  EXPECT_GT(s.Compare(TEXT("ABC")), 0);  // ordinal: upper case sorts first
  EXPECT_GT(s.Compare(nullptr), 0);
  EXPECT_TRUE(CUIString().Equals(nullptr));
  EXPECT_FALSE(s.Equals(TEXT("ABC")));

  CUIString mixed(TEXT("HeLLo \u00C0\u03A3\u0416 1"));
  mixed.MakeLower();
  EXPECT_EQ(Text(mixed), u"hello \u00E0\u03C3\u0436 1");
}

TEST(UIString, OperatorsBuildAndCompare) {
  CUIString s(TEXT('a'));
  s += TEXT("bc");
  s += TEXT('d');
  s += CUIString(TEXT("e"));
  EXPECT_TRUE(s == TEXT("abcde"));
  EXPECT_TRUE(s != TEXT("abcd"));
  EXPECT_EQ(s[1], u'b');
  EXPECT_EQ(Text(s + TEXT("!")), u"abcde!");
  EXPECT_EQ(Text(s + s), u"abcdeabcde");
  EXPECT_EQ(Text(s.Concat(nullptr)), u"abcde");
  EXPECT_TRUE(s == CUIString(TEXT("abcde")));
  s = TEXT('z');
  EXPECT_EQ(Text(s), u"z");
  s = static_cast<LPCWSTR>(nullptr);
  EXPECT_TRUE(s.IsEmpty());
}

}  // namespace
}  // namespace Umbra
