#include <gtest/gtest.h>
#include <tchar.h>

#include <string>
#include <vector>

#include "ui/skin/MarkupDoc.h"

using Umbra::CMarkupDoc;
using Umbra::CMarkupElement;
using Umbra::MarkupEncoding;

namespace {

// An element as name[attr=value ...](children,...); top-level elements joined by ';'.
std::u16string DumpElement(const CMarkupElement& element) {
  std::u16string out = element.GetTagName();
  if (element.HasAttributes()) {
    out += u"[";
    for (int i = 0; i < element.GetAttributeCount(); ++i) {
      if (i > 0) out += u" ";
      out += element.GetAttributeName(i);
      out += u"=";
      out += element.GetAttributeValue(i);
    }
    out += u"]";
  }
  if (element.HasChildren()) {
    out += u"(";
    for (CMarkupElement child = element.GetFirstChild(); child.IsValid(); child = child.GetNextSibling()) {
      if (out.back() != u'(') out += u",";
      out += DumpElement(child);
    }
    out += u")";
  }
  return out;
}

std::u16string DumpDoc(const CMarkupDoc& doc) {
  std::u16string out;
  for (CMarkupElement e = doc.GetRoot(); e.IsValid(); e = e.GetNextSibling()) {
    if (!out.empty()) out += u";";
    out += DumpElement(e);
  }
  return out;
}

// For failure messages: gtest prints UTF-16 strings, not pointers to them.
std::string Show(const char16_t* text) { return testing::PrintToString(std::u16string(text)); }

std::vector<BYTE> Bytes(const std::string& s) { return std::vector<BYTE>(s.begin(), s.end()); }

std::vector<BYTE> Utf16Bytes(const std::u16string& text, bool bigEndian) {
  std::vector<BYTE> out = bigEndian ? std::vector<BYTE>{0xFE, 0xFF} : std::vector<BYTE>{0xFF, 0xFE};
  for (char16_t c : text) {
    const BYTE lo = static_cast<BYTE>(c & 0xFF), hi = static_cast<BYTE>(c >> 8);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
  }
  return out;
}

std::u16string Repeat(const std::u16string& s, int n) {
  std::u16string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

}  // namespace

TEST(MarkupDoc, ParsesTextIntoTheExpectedTree) {
  struct Case {
    const char16_t* input;
    const char16_t* tree;
  };
  const Case cases[] = {
      {u"<?xml version=\"1.0\" encoding=\"utf-8\"?><!-- note --><Window a=\"1\"/>", u"Window[a=1]"},
      {u"<Window><Button text=\"x\"/>", u"Window(Button[text=x])"},
      {u"<a><b>", u"a(b)"},  // the root and its children may stay unclosed
      {u"<a/>", u"a"},
      {u"<a />", u"a"},
      {u"<a></a></b>junk", u"a"},  // a stray top-level end tag ends the parse
      {u"<a/><b/>", u"a;b"},
      {u"<a><b x=\"1\"/><c><d/></c></a>", u"a(b[x=1],c(d))"},
      {u"<a x=\"1\">", u"a[x=1]"},  // a start tag that ends the text
      {u"<a x=\"1\" />", u"a[x=1]"},
      {u"<a x = \"1\"\n\ty=\"2\">t</a>", u"a[x=1 y=2]"},
      {u"<a x=\"1\"y=\"2\"/>", u"a[x=1 y=2]"},
      {u"<a x=\"\"/>", u"a[x=]"},
      {u"<a t=\"1 &lt; 2 &amp;&amp; &#65; &foo;\"/>", u"a[t=1 < 2 && &#65; &foo;]"},
      {u"<a x=\"&quot;&apos;&gt;\" y=\"&amp\" z=\"&AMP;\"/>",
       u"a[x=\"'> y=&amp z=&AMP;]"},  // decoded values shrink
      {u"<a v=\" x\t\r\n y  \"/>", u"a[v= x\t\r\n y  ]"},
      {u"< a >text &amp; more</ a >", u"a"},
      {u"<a>x &amp; y<b/></a>", u"a(b)"},
      {u"<a><?pi x?><b/><!-- c --></a>", u"a(b)"},
      {u"<ns:a ns:b=\"1\" _c=\"2\"/>", u"ns:a[ns:b=1 _c=2]"},
      {u"<窗口 标题=\"登录\"/>", u"窗口[标题=登录]"},
      // Documents without elements parse, and have no root.
      {u"", u""},
      {u" \r\n\t ", u""},
      {u"<!-- only a comment -->", u""},
      {u"<?xml version=\"1.0\"?> <!-- x -->", u""},
      {u"<!DOCTYPE html><a/>", u""},  // swallowed up to a "->" that never comes
  };
  for (const Case& c : cases) {
    CMarkupDoc doc;
    EXPECT_TRUE(doc.ParseText(c.input)) << "input: " << Show(c.input);
    EXPECT_EQ(DumpDoc(doc), c.tree);
    EXPECT_EQ(doc.GetRoot().IsValid(), c.tree[0] != 0);
  }
}

TEST(MarkupDoc, ReportsEachErrorWithItsMessage) {
  struct Case {
    const char16_t* input;
    const char16_t* message;
  };
  const Case cases[] = {
      {u"text", u"Expected start tag"},
      {u"<a><b><c></c>", u"Expected start tag"},
      {u"<a>text<b/>more</a>", u"Expected start tag"},
      {u"<a><!-- a comment ends at the first -> --></a>", u"Expected start tag"},
      {u"<", u"Error parsing element name"},
      {u"<a", u"Error parsing element name"},
      {u"<a x=\"1\" ", u"Expected start-tag closing"},
      {u"<a/ >", u"Expected start-tag closing"},
      {u"<a><b><c>", u"Expected end-tag start"},
      {u"<a/><b><c>", u"Expected end-tag start"},
      {u"<a></b>", u"Unmatched closing tag"},
      {u"<ab></a>", u"Unmatched closing tag"},
      {u"<a></ab>", u"Unmatched closing tag"},
      {u"<a></a x>", u"Unmatched closing tag"},
      {u"<a x/>", u"Error while parsing attributes"},
      {u"<a data-x=\"1\"/>", u"Error while parsing attributes"},
      {u"<a x='1'/>", u"Expected attribute value"},
      {u"<a x=", u"Expected attribute value"},
      {u"<a x=\"1", u"Error while parsing attribute string"},
      {u"<a x=\"1&quot;/>", u"Error while parsing attribute string"},
  };
  for (const Case& c : cases) {
    CMarkupDoc doc;
    EXPECT_FALSE(doc.ParseText(c.input)) << "input: " << Show(c.input);
    EXPECT_EQ(std::u16string(doc.GetErrorMessage()), c.message) << "input: " << Show(c.input);
    EXPECT_FALSE(doc.GetRoot().IsValid());
  }
}

TEST(MarkupDoc, ErrorContextIsTheRemainingTextUpTo49Characters) {
  CMarkupDoc doc;
  EXPECT_FALSE(doc.ParseText(u"<a x='1'/>"));
  EXPECT_EQ(std::u16string(doc.GetErrorContext()), u"'1'/>");

  const std::u16string tail = Repeat(u"0123456789", 6);
  EXPECT_FALSE(doc.ParseText((u"<a><b/>" + tail + u"</a>").c_str()));
  EXPECT_EQ(std::u16string(doc.GetErrorMessage()), u"Expected start tag");
  EXPECT_EQ(std::u16string(doc.GetErrorContext()), tail.substr(0, 49));
}

TEST(MarkupDoc, ReadsEveryEncodingToTheSameTree) {
  const std::string utf8 = "<Window title=\"\xE7\x99\xBB\xE5\xBD\x95 &amp; more\"><Button/></Window>";
  const std::u16string utf16 = u"<Window title=\"登录 &amp; more\"><Button/></Window>";
  const std::u16string tree = u"Window[title=登录 & more](Button)";
  std::vector<BYTE> oddLength = Utf16Bytes(utf16, false);
  oddLength.push_back('<');

  struct Case {
    std::vector<BYTE> bytes;
    MarkupEncoding encoding;
    std::u16string tree;
  };
  const Case cases[] = {
      {Bytes(utf8), MarkupEncoding::Utf8, tree},
      {Bytes("\xEF\xBB\xBF" + utf8), MarkupEncoding::Utf8, tree},
      {Utf16Bytes(utf16, false), MarkupEncoding::Utf16, tree},
      {Utf16Bytes(utf16, true), MarkupEncoding::Utf16, tree},
      {Utf16Bytes(utf16, true), static_cast<MarkupEncoding>(7), tree},
      {oddLength, MarkupEncoding::Utf16, tree},
      {Bytes("<Window title=\"x\"/>"), MarkupEncoding::Ansi, u"Window[title=x]"},
      {Bytes(std::string("<a/>\0<b/>", 9)), MarkupEncoding::Utf8, u"a"},  // the text ends at a NUL
      {Bytes("<a v=\"\xF0\x9F\x98\x80\xFF\"/>"), MarkupEncoding::Utf8, u"a[v=\U0001F600\uFFFD]"},
      {Bytes(""), MarkupEncoding::Utf8, u""},
      {Bytes("\xEF\xBB\xBF"), MarkupEncoding::Utf8, u""},
      {{0xFF, 0xFE}, MarkupEncoding::Utf16, u""},
  };
  for (const Case& c : cases) {
    CMarkupDoc doc;
    EXPECT_TRUE(doc.ParseBuffer(c.bytes.data(), static_cast<DWORD>(c.bytes.size()), c.encoding))
        << Show(doc.GetErrorMessage());
    EXPECT_EQ(DumpDoc(doc), c.tree);
  }
}

TEST(MarkupDoc, RefusesUtf16WithoutByteOrderMark) {
  const std::vector<BYTE> noMark = {'<', 0, 'a', 0, '/', 0, '>', 0};
  struct Case {
    std::vector<BYTE> bytes;
    MarkupEncoding encoding;
  };
  const Case cases[] = {
      {noMark, MarkupEncoding::Utf16},
      {noMark, static_cast<MarkupEncoding>(3)},
      {{0xFF}, MarkupEncoding::Utf16},
      {{}, MarkupEncoding::Utf16},
  };
  for (const Case& c : cases) {
    CMarkupDoc doc;
    EXPECT_FALSE(doc.ParseBuffer(c.bytes.data(), static_cast<DWORD>(c.bytes.size()), c.encoding));
    EXPECT_EQ(std::u16string(doc.GetErrorMessage()), u"Missing byte-order mark");
    EXPECT_FALSE(doc.GetRoot().IsValid());
  }
}

// The converter takes an int size; a larger size must not wrap into "read up to a NUL".
TEST(MarkupDoc, RefusesBuffersLargerThanTheConverterAccepts) {
  const BYTE text[] = "<a/>";
  CMarkupDoc doc;
  EXPECT_FALSE(doc.ParseBuffer(text, 0x80000000u, MarkupEncoding::Utf8));
  EXPECT_EQ(std::u16string(doc.GetErrorMessage()), u"Text too large");
}

TEST(MarkupDoc, EachParseReplacesThePreviousDocument) {
  CMarkupDoc doc(u"<a x=\"1\"><b/></a>");
  EXPECT_EQ(DumpDoc(doc), u"a[x=1](b)");

  EXPECT_FALSE(doc.ParseText(u"<c></d>"));
  EXPECT_FALSE(doc.GetRoot().IsValid());
  EXPECT_EQ(std::u16string(doc.GetErrorMessage()), u"Unmatched closing tag");

  EXPECT_TRUE(doc.ParseText(u"<e/>"));
  EXPECT_EQ(DumpDoc(doc), u"e");
  EXPECT_EQ(std::u16string(doc.GetErrorMessage()), u"");
  EXPECT_EQ(std::u16string(doc.GetErrorContext()), u"");

  doc.Clear();
  EXPECT_FALSE(doc.GetRoot().IsValid());
}

TEST(MarkupDoc, ParseTextLeavesTheCallersStringUntouched) {
  const std::u16string original = u"<a x=\"&amp;\"><b/></a>";
  std::u16string text = original;
  CMarkupDoc doc(text.c_str());
  EXPECT_EQ(text, original);
  EXPECT_EQ(DumpDoc(doc), u"a[x=&](b)");
}

// Thousands of elements take the node table through several reallocations.
TEST(MarkupDoc, KeepsEveryElementOfALargeDocument) {
  std::u16string text = u"<root>";
  for (int i = 0; i < 3000; ++i) text += u"<item n=\"" + std::u16string(1, u'a' + i % 26) + u"\"/>";
  text += u"</root>";
  CMarkupDoc doc;
  ASSERT_TRUE(doc.ParseText(text.c_str()));

  int count = 0;
  WCHAR value[2] = {};
  for (CMarkupElement item = doc.GetRoot().GetFirstChild(); item.IsValid(); item = item.GetNextSibling()) {
    ASSERT_TRUE(item.FindAttribute(u"n", value, 1));
    EXPECT_EQ(value[0], u'a' + count % 26);
    ++count;
  }
  EXPECT_EQ(count, 3000);
}

TEST(MarkupDoc, RefusesNestingDeeperThan1000Levels) {
  struct Case {
    int depth;
    bool closed;
    bool parses;
  };
  const Case cases[] = {{1000, true, true}, {1001, true, false}, {200000, false, false}};
  for (const Case& c : cases) {
    const std::u16string text = Repeat(u"<e>", c.depth) + (c.closed ? Repeat(u"</e>", c.depth) : u"");
    CMarkupDoc doc;
    EXPECT_EQ(doc.ParseText(text.c_str()), c.parses) << c.depth;
    if (c.parses) {
      int depth = 0;
      for (CMarkupElement e = doc.GetRoot(); e.IsValid(); e = e.GetFirstChild()) ++depth;
      EXPECT_EQ(depth, c.depth);
    } else {
      EXPECT_EQ(std::u16string(doc.GetErrorMessage()), u"Nesting too deep");
    }
  }
}

TEST(MarkupElement, ShowsOnlyTheFirst64Attributes) {
  std::u16string text = u"<a";
  for (int i = 0; i < 70; ++i)
    text += u" a" + std::u16string(1, u'A' + i / 10) + std::u16string(1, u'0' + i % 10) + u"=\"v\"";
  text += u"/>";
  CMarkupDoc doc(text.c_str());
  const CMarkupElement root = doc.GetRoot();
  ASSERT_EQ(root.GetAttributeCount(), 64);
  EXPECT_EQ(std::u16string(root.GetAttributeName(63)), u"aG3");

  WCHAR value[500] = {};
  EXPECT_TRUE(root.FindAttribute(u"aG3", value, 499));
  for (const char16_t* hidden : {u"aG4", u"aG5", u"aG6", u"aG7", u"aG8", u"aG9"}) {
    EXPECT_FALSE(root.FindAttribute(hidden, value, 499)) << Show(hidden);
  }
}

TEST(MarkupElement, OutOfRangeIndexGivesAnEmptyString) {
  CMarkupDoc doc(u"<a x=\"1\"><b/></a>");
  const CMarkupElement root = doc.GetRoot();
  const CMarkupElement child = root.GetFirstChild();
  struct Case {
    const CMarkupElement* element;
    int index;
  };
  const Case cases[] = {{&root, -1}, {&root, 1}, {&child, 0}};
  for (const Case& c : cases) {
    ASSERT_NE(c.element->GetAttributeName(c.index), nullptr);
    EXPECT_EQ(std::u16string(c.element->GetAttributeName(c.index)), u"");
    EXPECT_EQ(std::u16string(c.element->GetAttributeValue(c.index)), u"");
  }
}

TEST(MarkupElement, FindAttributeMatchesExactlyAndBoundsTheCopy) {
  const std::u16string longValue = Repeat(u"x", 600);
  const std::u16string text =
      u"<a text=\"first\" Text=\"upper\" text=\"second\" long=\"" + longValue + u"\"/>";
  CMarkupDoc doc(text.c_str());
  const CMarkupElement root = doc.GetRoot();

  WCHAR value[500] = {};
  EXPECT_TRUE(root.FindAttribute(u"text", value, 499));
  EXPECT_EQ(std::u16string(value), u"first");
  EXPECT_TRUE(root.FindAttribute(u"Text", value, 499));
  EXPECT_EQ(std::u16string(value), u"upper");
  EXPECT_FALSE(root.FindAttribute(u"tex", value, 499));

  std::vector<WCHAR> big(600, u'#');
  EXPECT_TRUE(root.FindAttribute(u"long", big.data(), 499));
  EXPECT_EQ(std::u16string(big.data()), longValue.substr(0, 499));
  EXPECT_EQ(big[500], u'#');  // nothing written past the terminator
}

TEST(MarkupElement, InvalidHandleAnswersNothing) {
  const CMarkupElement none;
  WCHAR value[8] = {u'k', 0};
  EXPECT_FALSE(none.IsValid());
  EXPECT_EQ(none.GetTagName(), nullptr);
  EXPECT_EQ(none.GetAttributeCount(), 0);
  EXPECT_FALSE(none.HasAttributes());
  EXPECT_FALSE(none.HasChildren());
  EXPECT_EQ(none.GetAttributeName(0), nullptr);
  EXPECT_EQ(none.GetAttributeValue(0), nullptr);
  EXPECT_FALSE(none.FindAttribute(u"x", value, 7));
  EXPECT_EQ(value[0], u'k');
  EXPECT_FALSE(none.GetFirstChild().IsValid());
  EXPECT_FALSE(none.GetNextSibling().IsValid());
}
