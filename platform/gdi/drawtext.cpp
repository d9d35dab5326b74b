// DrawTextW: text laid out in a rectangle as Windows does it. The steps: prefixes ('&x'
// underlines x, '&&' is '&'), paragraphs at line breaks, word breaking (at blanks and between
// CJK characters), ellipses, then either the measured rectangle (DT_CALCRECT) or drawing, one
// line of tmHeight pixels after another.
//
// Sections: characters · layout · ellipses · drawing · DrawTextW.
#include <algorithm>
#include <string>
#include <vector>

#include "gdi/dc.h"
#include "gdi/font.h"

namespace umbra::gdi {
namespace {

// ---- Characters ---------------------------------------------------------------------------------------

bool IsBlank(char16_t c) { return c == u' ' || c == 0x3000 || c == 0xA0; }
bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n'; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

bool IsCjk(char16_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0xD840 && c <= 0xD8BF);
}

// Closing punctuation never starts a line; opening punctuation never ends one.
bool NoBreakBefore(char16_t c) {
  static const std::u16string set =
      u",.;:!?)]}%'\"、。，．；：？！）］｝〉》」』】〕〗〙〛’”…‥・ー々ぁぃぅぇぉっゃゅょァィゥェォッャュョ";
  return set.find(c) != std::u16string::npos;
}

bool NoBreakAfter(char16_t c) {
  static const std::u16string set = u"([{$（［｛〈《「『【〔〖〘〚‘“";
  return set.find(c) != std::u16string::npos;
}

// Whether a line may end just before text[i] (i > 0) when the text is word-broken.
bool CanBreakBefore(const std::u16string& text, size_t i) {
  char16_t prev = text[i - 1], cur = text[i];
  if (IsLowSurrogate(cur)) return false;
  if (IsBlank(cur) || IsBlank(prev)) return true;
  if (NoBreakBefore(cur) || NoBreakAfter(prev)) return false;
  if (IsCjk(prev) || IsCjk(cur)) return true;
  return prev == u'-';
}

// ---- Layout -------------------------------------------------------------------------------------------

struct Line {
  std::u16string text;
  std::vector<int> advances;   // per UTF-16 unit, tabs excluded
  std::vector<size_t> marked;  // prefixed characters to underline
  int width = 0;
};

struct Layout {
  UINT format = 0;
  int tabWidth = 0;  // 0 unless tabs expand
  std::u16string text;
  std::vector<size_t> marked;
  std::vector<int> advances;
  std::vector<Line> lines;
};

// Removes prefix characters: "&x" marks x, "&&" is "&", a lone trailing "&" goes.
void TakePrefixes(const WCHAR* text, int count, UINT format, Layout& layout) {
  layout.text.reserve(static_cast<size_t>(count));
  const bool prefixes = !(format & DT_NOPREFIX);
  for (int i = 0; i < count; ++i) {
    if (prefixes && text[i] == u'&') {
      if (++i >= count) break;
      if (text[i] != u'&' && !(format & DT_HIDEPREFIX)) layout.marked.push_back(layout.text.size());
    }
    layout.text.push_back(text[i]);
  }
}

int NextTabStop(int x, int tabWidth) { return (x / tabWidth + 1) * tabWidth; }

// The pen after the unit at `x` on its line.
int Advance(const Layout& layout, size_t i, int x) {
  if (layout.text[i] == u'\t' && layout.tabWidth > 0) return NextTabStop(x, layout.tabWidth);
  return x + layout.advances[i];
}

int Width(const Layout& layout, size_t begin, size_t end) {
  int x = 0;
  for (size_t i = begin; i < end; ++i) x = Advance(layout, i, x);
  return x;
}

void AddLine(Layout& layout, size_t begin, size_t end) {
  Line line;
  line.text = layout.text.substr(begin, end - begin);
  line.advances.assign(layout.advances.begin() + static_cast<ptrdiff_t>(begin),
                       layout.advances.begin() + static_cast<ptrdiff_t>(end));
  for (size_t mark : layout.marked)
    if (mark >= begin && mark < end) line.marked.push_back(mark - begin);
  line.width = Width(layout, begin, end);
  layout.lines.push_back(std::move(line));
}

// Where a line starting at `begin` ends when the paragraph is broken to fit `maxWidth`.
size_t BreakLine(const Layout& layout, size_t begin, size_t end, int maxWidth) {
  const std::u16string& text = layout.text;
  size_t lastBreak = begin;
  int x = 0;
  for (size_t i = begin; i < end; ++i) {
    if (i > begin && CanBreakBefore(text, i)) lastBreak = i;
    x = Advance(layout, i, x);
    if (x <= maxWidth || IsBlank(text[i]) || i == begin) continue;
    if (lastBreak > begin) return lastBreak;
    // A word longer than the line: an edit control breaks it anywhere, otherwise it overflows.
    if (layout.format & DT_EDITCONTROL) return IsLowSurrogate(text[i]) ? i + 1 : i;
    size_t next = i + 1;
    while (next < end && !CanBreakBefore(text, next)) ++next;
    return next;
  }
  return end;
}

void BreakParagraph(Layout& layout, size_t begin, size_t end, int maxWidth) {
  if (!(layout.format & DT_WORDBREAK) || begin == end) {
    AddLine(layout, begin, end);
    return;
  }
  while (begin < end) {
    size_t stop = BreakLine(layout, begin, end, maxWidth);
    size_t last = stop;
    if (stop < end)  // blanks at a break belong to neither line
      while (last > begin && IsBlank(layout.text[last - 1])) --last;
    AddLine(layout, begin, last);
    begin = stop;
    while (begin < end && IsBlank(layout.text[begin])) ++begin;
  }
}

void BreakLines(Layout& layout, int maxWidth) {
  const std::u16string& text = layout.text;
  if (layout.format & DT_SINGLELINE) {
    BreakParagraph(layout, 0, text.size(), maxWidth);
    return;
  }
  size_t begin = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsLineBreak(text[i])) continue;
    BreakParagraph(layout, begin, i, maxWidth);
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    begin = i + 1;
  }
  // A break at the very end starts no further line.
  if (begin < text.size() || text.empty() || layout.lines.empty())
    BreakParagraph(layout, begin, text.size(), maxWidth);
}

// ---- Ellipses -----------------------------------------------------------------------------------------

const std::u16string kEllipsis = u"...";

struct Measurer {
  Font& font;
  int tabWidth;

  void Remeasure(Line& line) const {
    ShapedRun run = Shape(font, line.text.data(), static_cast<int>(line.text.size()));
    line.advances = std::move(run.advances);
    int x = 0;
    for (size_t i = 0; i < line.text.size(); ++i)
      x = line.text[i] == u'\t' && tabWidth > 0 ? NextTabStop(x, tabWidth) : x + line.advances[i];
    line.width = x;
  }
  int WidthOf(const std::u16string& s) const {
    return Shape(font, s.data(), static_cast<int>(s.size())).width;
  }
};

// Longest prefix length whose width stays within `room` (never splitting a surrogate pair).
size_t FittingPrefix(const Line& line, int room, int tabWidth) {
  int x = 0;
  size_t fit = 0;
  for (size_t i = 0; i < line.text.size(); ++i) {
    x = line.text[i] == u'\t' && tabWidth > 0 ? NextTabStop(x, tabWidth) : x + line.advances[i];
    if (x > room) break;
    if (i + 1 == line.text.size() || !IsLowSurrogate(line.text[i + 1])) fit = i + 1;
  }
  return fit;
}

void KeepMarks(Line& line, size_t keptPrefix) {
  std::erase_if(line.marked, [&](size_t mark) { return mark >= keptPrefix; });
}

void EndEllipsis(Line& line, int maxWidth, const Measurer& measure) {
  size_t keep = FittingPrefix(line, maxWidth - measure.WidthOf(kEllipsis), measure.tabWidth);
  while (keep > 0 && IsBlank(line.text[keep - 1])) --keep;
  line.text = line.text.substr(0, keep) + kEllipsis;
  KeepMarks(line, keep);
  measure.Remeasure(line);
}

// Keeps the last path component ("\name" or "/name") and as much of the start as fits.
void PathEllipsis(Line& line, int maxWidth, const Measurer& measure) {
  size_t sep = line.text.find_last_of(u"\\/");
  if (sep == std::u16string::npos || sep == 0) {
    EndEllipsis(line, maxWidth, measure);
    return;
  }
  std::u16string tail = line.text.substr(sep);
  int tailWidth = measure.WidthOf(kEllipsis + tail);
  if (tailWidth > maxWidth) {
    // Not even the last component fits: show its end.
    size_t start = 0;
    while (start < tail.size() && measure.WidthOf(kEllipsis + tail.substr(start)) > maxWidth) ++start;
    if (start < tail.size() && IsLowSurrogate(tail[start])) ++start;
    line.text = kEllipsis + tail.substr(start);
    line.marked.clear();
  } else {
    Line head = line;
    head.text.resize(sep);
    size_t keep = FittingPrefix(head, maxWidth - tailWidth, measure.tabWidth);
    line.text = line.text.substr(0, keep) + kEllipsis + tail;
    KeepMarks(line, keep);
  }
  measure.Remeasure(line);
}

void ApplyEllipses(Layout& layout, int maxWidth, int maxLines, const Measurer& measure) {
  const UINT format = layout.format;
  // An edit control shows only whole lines; the last one it shows ends with "..." when text is cut.
  if ((format & DT_EDITCONTROL) && (format & DT_END_ELLIPSIS) && !(format & DT_SINGLELINE) &&
      static_cast<int>(layout.lines.size()) > maxLines) {
    layout.lines.resize(static_cast<size_t>(std::max(1, maxLines)));
    Line& last = layout.lines.back();
    last.text += kEllipsis;
    measure.Remeasure(last);
    if (last.width > maxWidth) {
      last.text.resize(last.text.size() - kEllipsis.size());
      measure.Remeasure(last);
      EndEllipsis(last, maxWidth, measure);
    }
  }
  const bool end = format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS);
  const bool path = format & DT_PATH_ELLIPSIS;
  if (!end && !path) return;
  for (Line& line : layout.lines) {
    if (line.width <= maxWidth) continue;
    if (path)
      PathEllipsis(line, maxWidth, measure);
    else
      EndEllipsis(line, maxWidth, measure);
  }
}

// ---- Drawing ------------------------------------------------------------------------------------------

void DrawLine(const DrawSpace& space, Font& font, const Layout& layout, const Line& line, int x, int top,
              const DcState& state) {
  const FontMetrics& metrics = font.Metrics();
  const int baseline = top + metrics.ascent;
  if (state.bkMode == OPAQUE)
    PaintRect(space, RECT{x, top, x + line.width, top + metrics.height}, state.bkColor);
  // Pieces between tabs are drawn apart so that each starts on its tab stop.
  int pen = 0;
  size_t begin = 0;
  for (size_t i = 0; i <= line.text.size(); ++i) {
    if (i < line.text.size() && line.text[i] != u'\t') continue;
    if (i > begin) {
      ShapedRun run = Shape(font, line.text.data() + begin, static_cast<int>(i - begin));
      PaintRun(space, run, x + pen, baseline, state.textColor);
      pen += run.width;
    }
    if (i < line.text.size()) pen = layout.tabWidth > 0 ? NextTabStop(pen, layout.tabWidth) : pen;
    begin = i + 1;
  }
  PaintDecorations(space, font, x, baseline, line.width, state.textColor);
  // The prefixed characters are underlined below the baseline.
  const VerticalMetrics& m = metrics.face;
  for (size_t mark : line.marked) {
    int start = 0;
    for (size_t i = 0; i < mark; ++i)
      start = line.text[i] == u'\t' && layout.tabWidth > 0 ? NextTabStop(start, layout.tabWidth)
                                                           : start + line.advances[i];
    int width = line.advances[mark];
    int y = baseline + m.underlinePosition;
    PaintRect(space, RECT{x + start, y, x + start + width, y + m.underlineThickness}, state.textColor);
  }
}

int LineX(const RECT& rect, UINT format, int width) {
  if (format & DT_CENTER) return rect.left + (rect.right - rect.left - width) / 2;
  if (format & DT_RIGHT) return rect.right - width;
  return rect.left;
}

void DrawLines(DeviceContext& dc, Font& font, const Layout& layout, const RECT& rect, int top,
               int lineHeight) {
  DrawSpace space;
  if (!dc.Prepare(space)) return;
  if (!(layout.format & DT_NOCLIP)) space.clip.Intersect(space.ToSurface(rect));
  if (space.clip.Empty()) return;
  const RECT bounds = space.clip.Bounds();
  const DcState& state = dc.State();
  int y = top;
  for (size_t i = 0; i < layout.lines.size(); ++i, y += lineHeight) {
    const Line& line = layout.lines[i];
    // An edit control leaves out a last line it cannot show whole.
    if ((layout.format & DT_EDITCONTROL) && i > 0 && y + lineHeight > rect.bottom) break;
    POINT surfaceTop = space.ToSurface(0, y);
    if (surfaceTop.y >= bounds.bottom) break;
    if (surfaceTop.y + lineHeight <= bounds.top) continue;
    DrawLine(space, font, layout, line, LineX(rect, layout.format, line.width), y, state);
  }
}

}  // namespace
}  // namespace umbra::gdi

// ---- DrawTextW ------------------------------------------------------------------------------------------

using namespace umbra::gdi;

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format) {
  DeviceContext* dc = LookupDC(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (!lprc || (!lpchText && cchText != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cchText < 0) cchText = static_cast<int>(std::char_traits<char16_t>::length(lpchText));
  // Vertical placement applies to single lines only.
  if (!(format & DT_SINGLELINE)) format &= ~static_cast<UINT>(DT_VCENTER | DT_BOTTOM);

  std::lock_guard guard(TextLock());
  Font* font = DcFont(*dc);
  if (!font) return 0;
  const FontMetrics& metrics = font->Metrics();
  int lineHeight = metrics.height + ((format & DT_EXTERNALLEADING) ? metrics.face.externalLeading : 0);

  Layout layout;
  layout.format = format;
  TakePrefixes(lpchText, cchText, format, layout);
  if (format & DT_EXPANDTABS) {
    int average = metrics.face.averageWidth > 0 ? metrics.face.averageWidth : Shape(*font, u"x", 1).width;
    layout.tabWidth = std::max(1, 8 * average);
  }
  layout.advances = Shape(*font, layout.text.data(), static_cast<int>(layout.text.size())).advances;
  layout.advances.resize(layout.text.size());
  if (layout.text.empty()) {
    if (format & DT_CALCRECT) {
      lprc->right = lprc->left;
      lprc->bottom = lprc->top;
    }
    return 0;
  }

  const int maxWidth = lprc->right - lprc->left;
  BreakLines(layout, maxWidth);
  const int textHeight = lineHeight * static_cast<int>(layout.lines.size());

  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const Line& line : layout.lines) widest = std::max(widest, line.width);
    lprc->right = lprc->left + widest;
    lprc->bottom = lprc->top + textHeight;
    return textHeight;
  }

  const int maxLines = lineHeight > 0 ? (lprc->bottom - lprc->top) / lineHeight : 0;
  ApplyEllipses(layout, maxWidth, maxLines, Measurer{*font, layout.tabWidth});
  int top = lprc->top;
  if (format & DT_VCENTER)
    top = lprc->top + (lprc->bottom - lprc->top - textHeight) / 2;
  else if (format & DT_BOTTOM)
    top = lprc->bottom - textHeight;
  DrawLines(*dc, *font, layout, *lprc, top, lineHeight);
  if (format & (DT_VCENTER | DT_BOTTOM)) return top - lprc->top + textHeight;
  return textHeight;
}
