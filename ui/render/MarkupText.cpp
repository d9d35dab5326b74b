// Text with the one-letter markup (bold, italic, underline, colours, fonts, links, inline images,
// paragraphs, raw text, selection), drawn or measured line by line.
//
// When drawing, every line is laid out twice: a measure pass that finds the line's height and
// records link rectangles, then a draw pass over the same text that paints with the text
// bottoms on that height. Measuring (DT_CALCRECT) lays each line out once.
//
// Sections: reading the markup · layout state · fonts and colours · tags · images and links ·
// text runs · line ends · DrawMarkupText.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string>
#include <vector>

#include "ui/core/UIHost.h"
#include "ui/render/ArgbColor.h"
#include "ui/render/ClipScope.h"
#include "ui/render/ImageDescriptor.h"
#include "ui/render/ImageEntry.h"
#include "ui/render/RenderKit.h"

namespace Umbra {

namespace {

// ---- Reading the markup -------------------------------------------------------------------------
// Every scan stops at the end of the text; the text is never read past it.

// Numbers and coordinates taken from skin text saturate instead of overflowing.
int Saturate(long long value) { return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX)); }
int Add(int a, int b) { return Saturate(static_cast<long long>(a) + b); }

bool IsOpening(WCHAR c) { return c == '<' || c == '{'; }
bool IsClosing(WCHAR c) { return c == '>' || c == '}'; }
bool IsBlank(WCHAR c) { return c == ' '; }
bool IsDigit(WCHAR c) { return c >= '0' && c <= '9'; }
bool IsAsciiLetter(WCHAR c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

LPCWSTR SkipBlanks(LPCWSTR p, LPCWSTR end) {
  while (p < end && IsBlank(*p)) ++p;
  return p;
}

// The first '>' or '}' at or after p; end when there is none.
LPCWSTR FindClosing(LPCWSTR p, LPCWSTR end) {
  while (p < end && !IsClosing(*p)) ++p;
  return p;
}

int DigitValue(WCHAR c, int base) {
  int value = 99;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value < base ? value : -1;
}

// Reads blanks, an optional sign and digits of the base; a value beyond 32 bits becomes the
// nearest 32-bit one. False (p unchanged) when no digit follows.
bool ReadNumber(LPCWSTR& p, LPCWSTR end, int base, int& number) {
  LPCWSTR q = SkipBlanks(p, end);
  bool negative = false;
  if (q < end && (*q == '-' || *q == '+')) negative = *q++ == '-';
  if (q >= end || DigitValue(*q, base) < 0) return false;
  long long value = 0;
  for (int digit; q < end && (digit = DigitValue(*q, base)) >= 0; ++q) {
    value = std::min(value * base + digit, 1LL << 32);  // held past the 32-bit range, never overflowing
  }
  number = Saturate(negative ? -value : value);
  p = q;
  return true;
}

int ReadNumberOr(LPCWSTR p, LPCWSTR end, int base, int fallback) {
  int number = fallback;
  ReadNumber(p, end, base, number);
  return number;
}

bool Contains(LPCWSTR p, LPCWSTR end, const char16_t* word) {
  const size_t length = std::char_traits<char16_t>::length(word);
  for (; end - p >= static_cast<ptrdiff_t>(length); ++p) {
    if (std::char_traits<char16_t>::compare(p, word, length) == 0) return true;
  }
  return false;
}

bool ContainsIgnoringCase(LPCWSTR p, LPCWSTR end, const char16_t* word) {
  CUIString lower(p, static_cast<int>(end - p));
  lower.MakeLower();
  return Contains(lower.GetData(), lower.GetData() + lower.GetLength(), word);
}

// One token of markup at the pen.
struct Tag {
  enum Kind { kText, kOpening, kClosing, kEscape };
  Kind kind = kText;
  WCHAR letter = 0;       // tag letter; for an escape, the bracket it prints
  LPCWSTR arg = nullptr;  // opening tags: the argument, from just after the letter
  LPCWSTR argEnd = nullptr;
  LPCWSTR next = nullptr;  // the first character after the tag
};

// The bracket printed by <{> <}> {<} {>}; 0 for anything else.
WCHAR EscapedBracket(LPCWSTR p) {
  if (p[0] == '<' && p[2] == '>' && (p[1] == '{' || p[1] == '}')) return p[1];
  if (p[0] == '{' && p[2] == '}' && (p[1] == '<' || p[1] == '>')) return p[1];
  return 0;
}

Tag ReadTag(LPCWSTR p, LPCWSTR end) {
  Tag tag;
  if (end - p < 2 || !IsOpening(p[0])) return tag;
  if (p[1] == '/') {
    // A closing tag: its letter is the character after the slash, the rest is skipped.
    LPCWSTR closing = FindClosing(p + 2, end);
    tag.kind = Tag::kClosing;
    tag.letter = end - p > 2 ? p[2] : 0;
    tag.next = closing < end ? closing + 1 : end;
    return tag;
  }
  if (end - p < 3) return tag;
  if (p[1] >= 'a' && p[1] <= 'z' && (IsBlank(p[2]) || IsClosing(p[2]))) {
    tag.kind = Tag::kOpening;
    tag.letter = p[1];
    tag.arg = p + 2;
    tag.argEnd = FindClosing(p + 2, end);
    tag.next = tag.argEnd < end ? tag.argEnd + 1 : end;
    return tag;
  }
  if (WCHAR bracket = EscapedBracket(p)) {
    tag.kind = Tag::kEscape;
    tag.letter = bracket;
    tag.next = p + 3;
  }
  return tag;
}

// In raw mode only a closing r tag (</r...> or {/r...}) is markup.
bool IsRawEnd(LPCWSTR p, LPCWSTR end) { return end - p > 2 && IsOpening(p[0]) && p[1] == '/' && p[2] == 'r'; }

// ---- Layout state -------------------------------------------------------------------------------

// What a draw pass starts from: the state at the start of the line.
struct LineStart {
  std::vector<UIFontEntry*> fonts;
  std::vector<DWORD> colors;
  std::vector<int> spacings;
  LPCWSTR pos = nullptr;
  bool raw = false;
  bool selected = false;
  int linkIndex = 0;
  bool inLink = false;
};

enum class FontStyle { kBold, kUnderline, kItalic };

class CMarkupLayout {
 public:
  CMarkupLayout(HDC hDC, CUIHost* host, RECT& rc, LPCWSTR text, DWORD color, RECT* linkRects,
                CUIString* linkTexts, int capacity, UINT style)
      : m_hDC(hDC),
        m_host(host),
        m_rc(rc),
        m_text(text),
        m_pos(text),
        m_end(text + wcslen(text)),
        m_color(color),
        m_linkRects(linkRects),
        m_linkTexts(linkTexts),
        m_capacity(capacity),
        m_style(style),
        m_draw((style & DT_CALCRECT) == 0),
        m_clip(rc) {}

  // Lays the whole text out; returns the number of links laid out.
  int Lay();

 private:
  bool SingleLine() const { return (m_style & DT_SINGLELINE) != 0; }
  // The measure pass when drawing, or any line when measuring: links are recorded.
  bool Recording() const { return !m_draw || m_measurePass; }
  bool Painting() const { return m_draw && !m_measurePass; }

  void Align();
  void FindHoverText();

  // Fonts and colours.
  UIFontEntry* CurrentFont() const;
  UIFontEntry* FindFont(LPCWSTR face, int size, bool bold, bool underline, bool italic);
  void SelectCurrentFont();
  void PushFont(UIFontEntry* entry);
  void PushVariant(FontStyle style);
  void PopFont();
  int FontHeight() const { return Add(m_tm.tmHeight, m_tm.tmExternalLeading); }
  int TopSpacing() const { return m_spacings.empty() ? 0 : m_spacings.back(); }
  void RaiseLineHeight() { m_lineHeight = std::max(m_lineHeight, Add(TopSpacing(), FontHeight())); }
  DWORD CurrentColor() const { return m_colors.empty() ? m_color : m_colors.back(); }
  void PushColor(DWORD color);
  void PopColor();
  void ApplyBkMode();

  // Tags.
  void ReadToken();
  void OpenTag(const Tag& tag, LPCWSTR tagStart);
  void CloseTag(WCHAR letter);
  UIFontEntry* ReadFont(LPCWSTR arg, LPCWSTR end);
  void OpenParagraph(int spacing);
  void CloseParagraph();
  void ToggleSelected();

  // Images and links.
  UIImageEntry* FindImage(LPCWSTR arg, LPCWSTR nameEnd, LPCWSTR end);
  void PlaceImage(LPCWSTR arg, LPCWSTR end, LPCWSTR tagStart);
  void OpenLink(LPCWSTR arg, LPCWSTR end);
  void CloseLink();

  // Text runs.
  bool Shows(int left, int top, int width, int height) const;
  int Extent(LPCWSTR p, int count) const;
  int TextTop() const { return Add(Add(m_y, m_measuredHeight), -FontHeight()); }
  void PutText(LPCWSTR p, int count);
  void TextRun();
  int FirstOverflow(LPCWSTR start, int count) const;
  int CutRun(LPCWSTR start, int overflowCount, bool& ellipsis) const;

  // Line ends.
  void BeginLine();
  void FinishPass();
  bool StartNextLine();
  void StoreOpenLinkPart();

  HDC m_hDC;
  CUIHost* m_host;
  RECT& m_rc;
  LPCWSTR m_text;
  LPCWSTR m_pos;
  LPCWSTR m_end;
  DWORD m_color;
  RECT* m_linkRects;
  CUIString* m_linkTexts;
  int m_capacity;
  UINT m_style;
  bool m_draw;
  bool m_measurePass = true;
  RECT m_clip;  // the rectangle as given, before alignment moves it

  std::vector<UIFontEntry*> m_fonts;
  std::vector<DWORD> m_colors;
  std::vector<int> m_spacings;
  TEXTMETRICW m_tm = {};  // of the font selected now

  int m_x = 0;
  int m_y = 0;
  int m_lineHeight = 0;
  int m_measuredHeight = 0;  // of the line being drawn, found by its measure pass
  int m_maxX = 0;
  int m_imageBottom = INT_MIN;
  bool m_inLink = false;
  bool m_raw = false;
  bool m_selected = false;
  bool m_lineEnded = false;
  int m_linkIndex = 0;
  POINT m_linkStart = {};
  bool m_hasHover = false;
  CUIString m_hoverText;  // a copy: the link texts are rewritten while laying out
  LineStart m_line;
  int m_linesDrawn = 0;
};

int CMarkupLayout::Lay() {
  SelectCurrentFont();
  SetBkMode(m_hDC, TRANSPARENT);
  SetTextColor(m_hDC, ToColorRef(m_color));
  SetBkColor(m_hDC, ToColorRef(m_host->GetSelectedBackColor()));
  if (m_draw) Align();
  FindHoverText();

  m_x = m_maxX = m_rc.left;
  m_y = m_rc.top;
  m_lineHeight = Add(TopSpacing(), FontHeight());
  m_linkStart = {m_x, m_y};
  BeginLine();
  while (m_pos < m_end) {
    if (m_lineEnded && !StartNextLine()) break;
    if (m_pos >= m_end) break;
    ReadToken();
    m_maxX = std::max(m_maxX, m_x);
    if (m_x >= m_rc.right || m_pos >= m_end || *m_pos == '\n') m_lineEnded = true;
    if (m_lineEnded && m_draw) FinishPass();
  }
  if (!m_draw) {
    m_rc.bottom = std::max(Add(m_y, m_lineHeight), m_imageBottom);
    m_rc.right = std::min(m_rc.right, m_maxX);
  }
  return m_linkIndex;
}

// Aligned text is measured first, unwrapped, and the rectangle moved to fit it.
void CMarkupLayout::Align() {
  const bool horizontal = SingleLine() && (m_style & (DT_CENTER | DT_RIGHT)) != 0;
  const bool vertical = (m_style & (DT_VCENTER | DT_BOTTOM)) != 0;
  if (!horizontal && !vertical) return;
  RECT measured = {0, 0, 9999, 100};
  int noLinks = 0;
  CRenderKit::DrawMarkupText(m_hDC, m_host, measured, m_text, m_color, nullptr, nullptr, noLinks,
                             m_style | DT_CALCRECT);
  const long long mw = static_cast<long long>(measured.right) - measured.left;
  const long long mh = static_cast<long long>(measured.bottom) - measured.top;
  const long long width = static_cast<long long>(m_rc.right) - m_rc.left;
  const long long height = static_cast<long long>(m_rc.bottom) - m_rc.top;
  if (horizontal && (m_style & DT_CENTER)) {
    m_rc.left = Saturate(m_rc.left + (width / 2 - mw / 2));
    m_rc.right = Saturate(m_rc.left + mw);
  } else if (horizontal) {
    m_rc.left = Saturate(m_rc.right - mw);
  }
  if (m_style & DT_VCENTER) {
    m_rc.top = Saturate(m_rc.top + (height / 2 - mh / 2));
    m_rc.bottom = Saturate(m_rc.top + mh);
  } else if (m_style & DT_BOTTOM) {
    m_rc.top = Saturate(m_rc.bottom - mh);
  }
}

// The link under the mouse, from the rectangles the caller kept from the last layout.
void CMarkupLayout::FindHoverText() {
  const POINT pt = m_host->GetLastMousePoint();
  for (int i = 0; i < m_capacity; ++i) {
    if (PtInRect(&m_linkRects[i], pt)) {
      m_hoverText = m_linkTexts[i];
      m_hasHover = true;
      return;
    }
  }
}

// ---- Fonts and colours --------------------------------------------------------------------------

UIFontEntry* CMarkupLayout::CurrentFont() const {
  return m_fonts.empty() ? m_host->GetFontInfo(-1) : m_fonts.back();
}

// The host's font with these attributes, made when it has none; the current font when even
// that fails, so the stack keeps one entry per opening tag.
UIFontEntry* CMarkupLayout::FindFont(LPCWSTR face, int size, bool bold, bool underline, bool italic) {
  HFONT font = m_host->LookupFont(face, size, bold, underline, italic);
  if (!font) font = m_host->AddFont(face, size, bold, underline, italic);
  return font ? m_host->GetFontInfo(font) : CurrentFont();
}

void CMarkupLayout::SelectCurrentFont() {
  UIFontEntry* entry = CurrentFont();
  if (entry && entry->font) SelectObject(m_hDC, entry->font);
  // The host measures each of its fonts once; the DC is asked only about a font it could not.
  if (entry && entry->metrics.tmHeight != 0)
    m_tm = entry->metrics;
  else if (!GetTextMetricsW(m_hDC, &m_tm))
    m_tm = {};
}

void CMarkupLayout::PushFont(UIFontEntry* entry) {
  m_fonts.push_back(entry);
  SelectCurrentFont();
  RaiseLineHeight();
}

// A font that already has the style is pushed again, so that the closing tag pops only what
// its own opening tag pushed.
void CMarkupLayout::PushVariant(FontStyle style) {
  UIFontEntry* current = CurrentFont();
  bool bold = current->bold;
  bool underline = current->underline;
  bool italic = current->italic;
  bool& flag = style == FontStyle::kBold ? bold : style == FontStyle::kUnderline ? underline : italic;
  if (flag) {
    PushFont(current);
    return;
  }
  flag = true;
  PushFont(FindFont(current->face, current->size, bold, underline, italic));
}

void CMarkupLayout::PopFont() {
  if (m_fonts.empty()) return;
  const bool wasItalic = m_fonts.back()->italic;
  m_fonts.pop_back();
  SelectCurrentFont();
  // Leaves room for the slant of the last italic character.
  ABC abc = {};
  if (wasItalic && !CurrentFont()->italic && GetCharABCWidthsW(m_hDC, ' ', ' ', &abc)) {
    m_x = Add(m_x, abc.abcC / 2);
  }
  RaiseLineHeight();
}

void CMarkupLayout::PushColor(DWORD color) {
  m_colors.push_back(color);
  SetTextColor(m_hDC, ToColorRef(color));
}

void CMarkupLayout::PopColor() {
  if (m_colors.empty()) return;
  m_colors.pop_back();
  SetTextColor(m_hDC, ToColorRef(CurrentColor()));
}

void CMarkupLayout::ApplyBkMode() {
  if (m_draw) SetBkMode(m_hDC, m_selected ? OPAQUE : TRANSPARENT);
}

// ---- Tags ---------------------------------------------------------------------------------------

void CMarkupLayout::ReadToken() {
  if (m_raw) {
    TextRun();
    return;
  }
  const Tag tag = ReadTag(m_pos, m_end);
  const LPCWSTR tagStart = m_pos;
  switch (tag.kind) {
    case Tag::kOpening:
      m_pos = tag.next;
      OpenTag(tag, tagStart);
      break;
    case Tag::kClosing:
      m_pos = tag.next;
      CloseTag(tag.letter);
      break;
    case Tag::kEscape:
      m_pos = tag.next;
      PutText(&tag.letter, 1);
      break;
    case Tag::kText:
      if (IsBlank(*m_pos)) {
        ++m_pos;
        PutText(u" ", 1);
      } else {
        TextRun();
      }
      break;
  }
}

void CMarkupLayout::OpenTag(const Tag& tag, LPCWSTR tagStart) {
  const LPCWSTR arg = SkipBlanks(tag.arg, tag.argEnd);
  const LPCWSTR end = tag.argEnd;
  switch (tag.letter) {
    case 'a':
      OpenLink(arg, end);
      break;
    case 'b':
      PushVariant(FontStyle::kBold);
      break;
    case 'c': {
      // Colours are read as signed 32-bit numbers, so eight digits saturate to 7FFFFFFF.
      LPCWSTR p = arg < end && *arg == '#' ? arg + 1 : arg;
      PushColor(static_cast<DWORD>(ReadNumberOr(p, end, 16, 0)));
      break;
    }
    case 'f':
      PushFont(ReadFont(arg, end));
      break;
    case 'i':
      if (arg == end) {
        PushVariant(FontStyle::kItalic);
      } else {
        PlaceImage(arg, end, tagStart);
      }
      break;
    case 'n':
      if (!SingleLine()) m_lineEnded = true;
      break;
    case 'p':
      OpenParagraph(ReadNumberOr(arg, end, 10, 0));
      break;
    case 'r':
      m_raw = true;
      break;
    case 's':
      ToggleSelected();
      break;
    case 'u':
      PushVariant(FontStyle::kUnderline);
      break;
    case 'x':
      m_x = Add(m_x, ReadNumberOr(arg, end, 10, 0));
      break;
    case 'y':
      m_lineHeight = ReadNumberOr(arg, end, 10, 0);
      break;
    default:  // other letters are read and ignored
      break;
  }
}

void CMarkupLayout::CloseTag(WCHAR letter) {
  switch (letter) {
    case 'b':
    case 'f':
    case 'i':
    case 'u':
      PopFont();
      break;
    case 'c':
      PopColor();
      break;
    case 'p':
      CloseParagraph();
      break;
    case 's':
      ToggleSelected();
      break;
    case 'a':
      CloseLink();
      break;
    default:  // </r> outside raw text, and unknown letters
      break;
  }
}

// "{f 2}" is the host's font 2; "{f Face 12 bold italic}" a font of that face, size and styles.
UIFontEntry* CMarkupLayout::ReadFont(LPCWSTR arg, LPCWSTR end) {
  if (arg < end && IsDigit(*arg)) return m_host->GetFontInfo(ReadNumberOr(arg, end, 10, 0));
  LPCWSTR faceEnd = arg;
  while (faceEnd < end && !IsBlank(*faceEnd)) ++faceEnd;
  const CUIString face(arg, static_cast<int>(faceEnd - arg));
  LPCWSTR rest = SkipBlanks(faceEnd, end);
  int size = 10;
  if (rest < end && IsDigit(*rest)) ReadNumber(rest, end, 10, size);
  return FindFont(face, size, ContainsIgnoringCase(rest, end, u"bold"),
                  ContainsIgnoringCase(rest, end, u"underline"), ContainsIgnoringCase(rest, end, u"italic"));
}

void CMarkupLayout::OpenParagraph(int spacing) {
  if (m_x != m_rc.left) m_lineEnded = true;
  m_spacings.push_back(spacing);
  RaiseLineHeight();
}

void CMarkupLayout::CloseParagraph() {
  if (m_x != m_rc.left) m_lineEnded = true;
  if (!m_spacings.empty()) m_spacings.pop_back();
  RaiseLineHeight();
}

void CMarkupLayout::ToggleSelected() {
  m_selected = !m_selected;
  ApplyBkMode();
}

// ---- Images and links ---------------------------------------------------------------------------

UIImageEntry* CMarkupLayout::FindImage(LPCWSTR arg, LPCWSTR nameEnd, LPCWSTR end) {
  // Only this tag's own argument is looked at for descriptor pairs.
  if (Contains(arg, end, u"file='") || Contains(arg, end, u"res='")) {
    // Pairs are read the way image descriptors are: "file" or "res" names, "restype" types.
    UIImageDescriptor pairs;
    ParseImageDescriptor(CUIString(arg, static_cast<int>(end - arg)), RECT{}, pairs);
    if (pairs.name.IsEmpty()) return nullptr;
    return m_host->GetOrLoadImage(pairs.name, pairs.resType.IsEmpty() ? nullptr : pairs.resType.GetData(), 0);
  }
  const CUIString name(arg, static_cast<int>(nameEnd - arg));
  return m_host->GetOrLoadImage(name, nullptr, 0);
}

// "{i name [count [index]]}": frame index of an image of count frames side by side.
void CMarkupLayout::PlaceImage(LPCWSTR arg, LPCWSTR end, LPCWSTR tagStart) {
  LPCWSTR nameEnd = arg;
  while (nameEnd < end && !IsBlank(*nameEnd)) ++nameEnd;
  LPCWSTR p = nameEnd;
  int count = 1;
  int index = 0;
  if (ReadNumber(p, end, 10, count)) ReadNumber(p, end, 10, index);
  count = std::max(count, 1);
  if (index < 0 || index >= count) index = 0;

  const UIImageEntry* image = FindImage(arg, nameEnd, end);
  if (!image || !image->bitmap) return;  // a missing image is skipped
  const int frameWidth = image->width / count;
  const int height = image->height;
  if (Add(m_x, frameWidth) > m_rc.right && m_x != m_rc.left && !SingleLine()) {
    m_lineEnded = true;
    m_pos = tagStart;  // read again at the start of the next line
    return;
  }
  if (Painting()) {
    const int bottom = Add(m_y, m_measuredHeight);
    RECT dest = {m_x, Add(bottom, -height), Add(m_x, frameWidth), bottom};
    if (height < m_measuredHeight) {
      const int up = Saturate((static_cast<long long>(m_measuredHeight) - height) / 2);
      dest.top = Add(dest.top, -up);
      dest.bottom = Add(dest.bottom, -up);
    }
    const RECT source = {index * frameWidth, 0, (index + 1) * frameWidth, height};
    if (Shows(dest.left, dest.top, frameWidth, height)) {
      CRenderKit::BlitImage(m_hDC, image->bitmap, dest, dest, source, RECT{}, image->hasAlpha, 255);
    }
  }
  m_lineHeight = std::max(m_lineHeight, height);
  m_x = Add(m_x, frameWidth);
  m_imageBottom = std::max(m_imageBottom, Add(m_y, height));
}

void CMarkupLayout::OpenLink(LPCWSTR arg, LPCWSTR end) {
  const bool slot = m_linkIndex < m_capacity;
  if (Recording() && slot) m_linkTexts[m_linkIndex].Assign(arg, static_cast<int>(end - arg));
  const bool hover = m_hasHover && slot && m_linkTexts[m_linkIndex] == m_hoverText;
  PushColor(hover ? m_host->GetLinkHoverColor() : m_host->GetLinkColor());
  PushVariant(FontStyle::kUnderline);
  m_linkStart = {m_x, m_y};
  m_inLink = true;
}

void CMarkupLayout::CloseLink() {
  // Links are counted only up to the capacity, so a caller never reads past its arrays.
  if (m_inLink && m_linkIndex < m_capacity) {
    if (Recording()) m_linkRects[m_linkIndex] = {m_linkStart.x, m_linkStart.y, m_x, Add(m_y, FontHeight())};
    ++m_linkIndex;
  }
  m_inLink = false;
  PopColor();
  PopFont();
}

// ---- Text runs ----------------------------------------------------------------------------------

int CMarkupLayout::Extent(LPCWSTR p, int count) const {
  SIZE size = {};
  if (count <= 0 || !GetTextExtentPoint32W(m_hDC, p, count, &size)) return 0;
  return size.cx;
}

// Whether a box (with a margin for overhanging glyphs) meets the rectangle drawn into: runs
// that cannot show are not handed to GDI at all.
bool CMarkupLayout::Shows(int left, int top, int width, int height) const {
  const long long margin = std::max(FontHeight(), 0);
  const long long right = static_cast<long long>(left) + width, bottom = static_cast<long long>(top) + height;
  return (left - margin < m_clip.right) && (right + margin > m_clip.left) && (top - margin < m_clip.bottom) &&
         (bottom + margin > m_clip.top);
}

// A blank or an escaped bracket: drawn where text runs are, the pen moved past it.
void CMarkupLayout::PutText(LPCWSTR p, int count) {
  const int width = Extent(p, count);
  if (Painting() && Shows(m_x, TextTop(), width, FontHeight())) TextOutW(m_hDC, m_x, TextTop(), p, count);
  m_x = Add(m_x, width);
}

// How many of the first count characters it takes to pass the right edge.
int CMarkupLayout::FirstOverflow(LPCWSTR start, int count) const {
  const int room = Saturate(static_cast<long long>(m_rc.right) - m_x);
  int fit = count;
  SIZE size = {};
  if (!GetTextExtentExPointW(m_hDC, start, count, room, &fit, nullptr, &size)) return count;
  return std::clamp(fit + 1, 1, count);
}

// Where a run that passes the right edge with its overflowCount-th character is cut.
int CMarkupLayout::CutRun(LPCWSTR start, int overflowCount, bool& ellipsis) const {
  const bool atLeft = m_x == m_rc.left;
  // The character that passes the edge goes to the next line, unless it is the first one at the
  // left edge: a line always takes at least one character.
  int count = overflowCount - 1;
  if (atLeft && count == 0) count = 1;
  if (m_style & DT_WORDBREAK) {
    // A break may follow any character but an ASCII letter.
    for (int i = overflowCount - 1; i > 0; --i) {
      if (!IsAsciiLetter(start[i - 1])) {
        count = i;
        break;
      }
    }
  }
  if ((m_style & DT_END_ELLIPSIS) && count > 0) {
    ellipsis = true;
    const int drop = std::min(count >= 2 ? 2 : 1, atLeft ? count - 1 : count);
    count -= drop;
  }
  return count;
}

// Characters up to the next tag, line feed or end (in raw text: up to the closing r tag),
// cut where they pass the right edge.
void CMarkupLayout::TextRun() {
  const LPCWSTR start = m_pos;
  const long long right = m_rc.right;
  const long long maxWidth = std::max<long long>(m_tm.tmMaxCharWidth, 1);
  int count = 0;
  int measuredCount = 0;
  int measuredWidth = 0;
  int overflowCount = 0;
  bool rawEnd = false;
  for (LPCWSTR p = start; p < m_end && *p != '\n'; ++p) {
    if (m_raw && IsRawEnd(p, m_end)) {
      rawEnd = true;
      break;
    }
    if (!m_raw && count > 0 && IsOpening(*p)) break;  // a leading bracket that is no tag is text
    ++count;
    // Widths are estimated with the widest character and measured only near the right edge.
    if (m_x + measuredWidth + (count - measuredCount) * maxWidth < right) continue;
    const int width = Extent(start, count);
    if (m_x + width > right) {
      overflowCount = count - measuredCount > 1 ? FirstOverflow(start, count) : count;
      break;
    }
    measuredCount = count;
    measuredWidth = width;
  }
  // Characters wider than the estimate can still pass the edge unseen: check the whole run.
  if (!overflowCount && count > measuredCount) {
    measuredWidth = Extent(start, count);
    measuredCount = count;
    if (m_x + measuredWidth > right) overflowCount = FirstOverflow(start, count);
  }

  bool ellipsis = false;
  if (overflowCount) {
    count = CutRun(start, overflowCount, ellipsis);
    rawEnd = false;
    m_lineEnded = true;
  }
  const int width = count == measuredCount ? measuredWidth : Extent(start, count);
  if (Painting() && count > 0) {
    int x = m_x;
    const int spare = Saturate(static_cast<long long>(m_rc.right) - m_rc.left - width);
    if (!SingleLine() && (m_style & DT_CENTER)) {
      x = Add(x, spare / 2);
    } else if (!SingleLine() && (m_style & DT_RIGHT)) {
      x = Add(x, spare);
    }
    if (Shows(x, TextTop(), width, FontHeight())) TextOutW(m_hDC, x, TextTop(), start, count);
    // A single line is cut without dots.
    if (ellipsis && m_linesDrawn > 0 && Shows(Add(x, width), TextTop(), FontHeight(), FontHeight())) {
      TextOutW(m_hDC, Add(x, width), TextTop(), u"...", 3);
    }
  }
  m_x = Add(m_x, width);
  if (ellipsis) m_x = std::max(m_x, m_rc.right);
  m_pos = start + count;
  if (rawEnd) {
    const LPCWSTR closing = FindClosing(m_pos + 2, m_end);
    m_pos = closing < m_end ? closing + 1 : m_end;
    m_raw = false;
  }
}

// ---- Line ends ----------------------------------------------------------------------------------

void CMarkupLayout::BeginLine() {
  m_line.fonts = m_fonts;
  m_line.colors = m_colors;
  m_line.spacings = m_spacings;
  m_line.pos = m_pos;
  m_line.raw = m_raw;
  m_line.selected = m_selected;
  m_line.linkIndex = m_linkIndex;
  m_line.inLink = m_inLink;
}

// After a measure pass the line is laid out again from its start, this time drawing.
void CMarkupLayout::FinishPass() {
  if (!m_measurePass) {
    ++m_linesDrawn;
    return;
  }
  m_fonts = m_line.fonts;
  m_colors = m_line.colors;
  m_spacings = m_line.spacings;
  m_pos = m_line.pos;
  m_raw = m_line.raw;
  m_selected = m_line.selected;
  m_measuredHeight = m_lineHeight;
  SelectCurrentFont();
  SetTextColor(m_hDC, ToColorRef(CurrentColor()));
  ApplyBkMode();
}

// A link still open at the end of the line gets this line's part as a rectangle of its own
// and goes on in the next slot.
void CMarkupLayout::StoreOpenLinkPart() {
  const int bottom = Add(m_y, m_lineHeight);
  if (m_inLink && m_linkIndex < m_capacity) {
    m_linkRects[m_linkIndex] = {m_linkStart.x, m_linkStart.y, std::min(m_x, static_cast<int>(m_rc.right)),
                                bottom};
    ++m_linkIndex;
    if (m_linkIndex < m_capacity) m_linkTexts[m_linkIndex] = m_linkTexts[m_linkIndex - 1];
  }
  for (int i = m_line.linkIndex; i < m_linkIndex; ++i) m_linkRects[i].bottom = bottom;
}

// Moves on after a line (or a pass of it) ended. False when the layout is over.
bool CMarkupLayout::StartNextLine() {
  m_lineEnded = false;
  const bool afterDrawPass = m_draw && !m_measurePass;
  const bool newLine = !m_draw || afterDrawPass;
  if (newLine) {
    const bool lineFeed = m_pos < m_end && *m_pos == '\n';
    // A line that took nothing would be laid out again forever.
    if (m_pos == m_line.pos && !lineFeed) return false;
    if (lineFeed) ++m_pos;
  }
  if (afterDrawPass) {
    if (m_inLink && m_linkIndex < m_capacity) ++m_linkIndex;
  } else {
    StoreOpenLinkPart();
    if (m_draw) {
      m_linkIndex = m_line.linkIndex;
      m_inLink = m_line.inLink;
    }
  }
  if (SingleLine() && newLine) return false;
  if (m_draw) m_measurePass = !m_measurePass;
  m_x = m_rc.left;
  if (newLine) m_y = Add(m_y, m_lineHeight);
  if (m_draw && m_y > m_rc.bottom) return false;
  m_linkStart = {m_x, m_y};
  m_lineHeight = Add(TopSpacing(), FontHeight());
  if (m_rc.left >= m_rc.right) return false;
  if (newLine) BeginLine();
  return true;
}

}  // namespace

// ---- DrawMarkupText -----------------------------------------------------------------------------

void CRenderKit::DrawMarkupText(HDC hDC, CUIHost* host, RECT& rc, LPCWSTR text, DWORD color, RECT* linkRects,
                                CUIString* linkTexts, int& linkCount, UINT style) {
  if (!hDC || !text || !host || IsRectEmpty(&rc)) return;
  // Without both arrays there is nowhere to put a link, whatever count the caller gave.
  const int capacity = linkRects && linkTexts ? std::max(linkCount, 0) : 0;
  HGDIOBJ oldFont = GetCurrentObject(hDC, OBJ_FONT);
  CMarkupLayout layout(hDC, host, rc, text, color, linkRects, linkTexts, capacity, style);
  if (style & DT_CALCRECT) {
    linkCount = layout.Lay();
  } else {
    // The previous clip comes back exactly, so a caller's rounded clip survives the text.
    CClipScope clip;
    CClipScope::ClipToRect(hDC, rc, clip);
    linkCount = layout.Lay();
  }
  if (oldFont) SelectObject(hDC, oldFont);
}

}  // namespace Umbra
