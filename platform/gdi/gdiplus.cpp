// The GDI+ flat calls behind the label's text effects. Text is shaped and rasterised by the GDI
// font machinery (the same faces and glyph cache), turned into a coverage mask per line, and
// painted through cairo with the brush as source, so it is anti-aliased and blended over the
// DC's premultiplied pixels within the DC's clip and the layout rectangle.
//
// Every object handed out is recorded; a call given a pointer that is not a live object of the
// right kind answers InvalidParameter instead of touching it.
#include <cairo.h>
#include <gdiplus.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "gdi/canvas.h"
#include "gdi/dc.h"
#include "gdi/font.h"

using namespace Gdiplus;

// ---- Objects ----------------------------------------------------------------------------------------

class Gdiplus::GpGraphics {
 public:
  HDC hdc = nullptr;
  TextRenderingHint hint = TextRenderingHintSystemDefault;
};

class Gdiplus::GpFont {
 public:
  std::unique_ptr<umbra::gdi::Font> font;
};

class Gdiplus::GpStringFormat {
 public:
  StringAlignment align = StringAlignmentNear;
  StringAlignment lineAlign = StringAlignmentNear;
};

namespace {

template <class Base>
struct BrushObject final : Base {
  explicit BrushObject(cairo_pattern_t* p) : pattern(p) {}
  ~BrushObject() { cairo_pattern_destroy(pattern); }
  BrushObject(const BrushObject&) = delete;
  BrushObject& operator=(const BrushObject&) = delete;
  cairo_pattern_t* pattern;
};
using SolidFillObject = BrushObject<GpSolidFill>;
using LineGradientObject = BrushObject<GpLineGradient>;

enum class Kind { Graphics, Font, Format, SolidFill, LineGradient };

struct Registry {
  std::mutex lock;
  std::unordered_map<const void*, Kind> objects;
  std::set<ULONG_PTR> tokens;
  ULONG_PTR nextToken = 1;
};

// Never destroyed: objects may be deleted from static destructors of their owners.
Registry& Objects() {
  static auto* registry = new Registry;
  return *registry;
}

// The registry lock is held by the caller.
bool Started() { return !Objects().tokens.empty(); }

bool Is(const void* object, Kind kind) {
  auto it = Objects().objects.find(object);
  return object && it != Objects().objects.end() && it->second == kind;
}

template <class T>
Status Publish(T* object, Kind kind, T** out) {
  Objects().objects.emplace(object, kind);
  *out = object;
  return Ok;
}

// The brush's pattern, or null when it is no live brush.
cairo_pattern_t* PatternOf(const GpBrush* brush) {
  auto it = Objects().objects.find(brush);
  if (!brush || it == Objects().objects.end()) return nullptr;
  if (it->second == Kind::SolidFill)
    return static_cast<const SolidFillObject*>(static_cast<const GpSolidFill*>(brush))->pattern;
  if (it->second == Kind::LineGradient)
    return static_cast<const LineGradientObject*>(static_cast<const GpLineGradient*>(brush))->pattern;
  return nullptr;
}

double Channel(ARGB color, int shift) { return ((color >> shift) & 0xFF) / 255.0; }

void AddStop(cairo_pattern_t* pattern, double offset, ARGB color) {
  cairo_pattern_add_color_stop_rgba(pattern, offset, Channel(color, 16), Channel(color, 8), Channel(color, 0),
                                    Channel(color, 24));
}

Status NewFont(HDC hdc, const LOGFONTW& log, GpFont** out) {
  if (!umbra::gdi::LookupDC(hdc)) return InvalidParameter;
  auto font = std::make_unique<umbra::gdi::Font>(log);
  {
    std::lock_guard text(umbra::gdi::TextLock());
    if (!font->Ready()) return NotTrueTypeFont;
  }
  auto* object = new (std::nothrow) GpFont;
  if (!object) return OutOfMemory;
  object->font = std::move(font);
  return Publish(object, Kind::Font, out);
}

}  // namespace

// ---- Start-up ---------------------------------------------------------------------------------------

Status WINAPI Gdiplus::GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input,
                                      GdiplusStartupOutput* output) {
  if (!token || !input) return InvalidParameter;
  if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
  // Without the background thread the caller must take the notification hooks.
  if (input->SuppressBackgroundThread && !output) return InvalidParameter;
  if (output) *output = GdiplusStartupOutput{nullptr, nullptr};
  std::lock_guard guard(Objects().lock);
  *token = Objects().nextToken++;
  Objects().tokens.insert(*token);
  return Ok;
}

void WINAPI Gdiplus::GdiplusShutdown(ULONG_PTR token) {
  std::lock_guard guard(Objects().lock);
  Objects().tokens.erase(token);
}

namespace Gdiplus::DllExports {

// ---- Graphics ---------------------------------------------------------------------------------------

GpStatus WINAPI GdipCreateFromHDC(HDC hdc, GpGraphics** graphics) {
  std::lock_guard guard(Objects().lock);
  if (!Started()) return GdiplusNotInitialized;
  if (!graphics) return InvalidParameter;
  *graphics = nullptr;
  if (!umbra::gdi::LookupDC(hdc)) return InvalidParameter;
  auto* object = new (std::nothrow) GpGraphics;
  if (!object) return OutOfMemory;
  object->hdc = hdc;
  return Publish(object, Kind::Graphics, graphics);
}

GpStatus WINAPI GdipDeleteGraphics(GpGraphics* graphics) {
  std::lock_guard guard(Objects().lock);
  if (!Is(graphics, Kind::Graphics)) return InvalidParameter;
  Objects().objects.erase(graphics);
  delete graphics;
  return Ok;
}

GpStatus WINAPI GdipSetTextRenderingHint(GpGraphics* graphics, TextRenderingHint mode) {
  std::lock_guard guard(Objects().lock);
  if (!Is(graphics, Kind::Graphics)) return InvalidParameter;
  if (mode < TextRenderingHintSystemDefault || mode > TextRenderingHintClearTypeGridFit)
    return InvalidParameter;
  graphics->hint = mode;
  return Ok;
}

// ---- Fonts --------------------------------------------------------------------------------------------

GpStatus WINAPI GdipCreateFontFromLogfontW(HDC hdc, const LOGFONTW* logfont, GpFont** font) {
  std::lock_guard guard(Objects().lock);
  if (!Started()) return GdiplusNotInitialized;
  if (!logfont || !font) return InvalidParameter;
  *font = nullptr;
  return NewFont(hdc, *logfont, font);
}

GpStatus WINAPI GdipCreateFontFromLogfontA(HDC hdc, const LOGFONTA* logfont, GpFont** font) {
  if (!logfont) return InvalidParameter;
  LOGFONTW log{};
  std::memcpy(&log, logfont, offsetof(LOGFONTA, lfFaceName));
  // The face name need not be terminated within its array.
  const CHAR* name = logfont->lfFaceName;
  int length = static_cast<int>(strnlen(name, LF_FACESIZE));
  int units = length ? MultiByteToWideChar(CP_ACP, 0, name, length, log.lfFaceName, LF_FACESIZE - 1) : 0;
  log.lfFaceName[std::clamp(units, 0, LF_FACESIZE - 1)] = 0;
  return GdipCreateFontFromLogfontW(hdc, &log, font);
}

GpStatus WINAPI GdipCreateFontFromDC(HDC hdc, GpFont** font) {
  LOGFONTW log{};
  bool found = false;
  {
    std::lock_guard text(umbra::gdi::TextLock());
    umbra::gdi::DeviceContext* dc = umbra::gdi::LookupDC(hdc);
    if (umbra::gdi::Font* selected = dc ? umbra::gdi::DcFont(*dc) : nullptr) {
      log = selected->Log();
      found = true;
    }
  }
  std::lock_guard guard(Objects().lock);
  if (!Started()) return GdiplusNotInitialized;
  if (!font) return InvalidParameter;
  *font = nullptr;
  if (!found) return InvalidParameter;  // no DC, or no usable font in it
  return NewFont(hdc, log, font);
}

GpStatus WINAPI GdipDeleteFont(GpFont* font) {
  std::lock_guard guard(Objects().lock);
  if (!Is(font, Kind::Font)) return InvalidParameter;
  Objects().objects.erase(font);
  std::lock_guard text(umbra::gdi::TextLock());  // closing faces touches the shared face table
  delete font;
  return Ok;
}

// ---- String formats -------------------------------------------------------------------------------

GpStatus WINAPI GdipCreateStringFormat(INT formatAttributes, LANGID language, GpStringFormat** format) {
  (void)formatAttributes;
  (void)language;
  std::lock_guard guard(Objects().lock);
  if (!Started()) return GdiplusNotInitialized;
  if (!format) return InvalidParameter;
  auto* object = new (std::nothrow) GpStringFormat;
  if (!object) return OutOfMemory;
  return Publish(object, Kind::Format, format);
}

GpStatus WINAPI GdipDeleteStringFormat(GpStringFormat* format) {
  std::lock_guard guard(Objects().lock);
  if (!Is(format, Kind::Format)) return InvalidParameter;
  Objects().objects.erase(format);
  delete format;
  return Ok;
}

namespace {

bool ValidAlignment(StringAlignment align) {
  return align >= StringAlignmentNear && align <= StringAlignmentFar;
}

}  // namespace

GpStatus WINAPI GdipSetStringFormatAlign(GpStringFormat* format, StringAlignment align) {
  std::lock_guard guard(Objects().lock);
  if (!Is(format, Kind::Format) || !ValidAlignment(align)) return InvalidParameter;
  format->align = align;
  return Ok;
}

GpStatus WINAPI GdipSetStringFormatLineAlign(GpStringFormat* format, StringAlignment align) {
  std::lock_guard guard(Objects().lock);
  if (!Is(format, Kind::Format) || !ValidAlignment(align)) return InvalidParameter;
  format->lineAlign = align;
  return Ok;
}

// ---- Brushes --------------------------------------------------------------------------------------------

GpStatus WINAPI GdipCreateSolidFill(ARGB color, GpSolidFill** brush) {
  std::lock_guard guard(Objects().lock);
  if (!Started()) return GdiplusNotInitialized;
  if (!brush) return InvalidParameter;
  cairo_pattern_t* pattern =
      cairo_pattern_create_rgba(Channel(color, 16), Channel(color, 8), Channel(color, 0), Channel(color, 24));
  auto* object = new (std::nothrow) SolidFillObject(pattern);
  if (!object) {
    cairo_pattern_destroy(pattern);
    return OutOfMemory;
  }
  GpSolidFill* base = object;
  return Publish(base, Kind::SolidFill, brush);
}

GpStatus WINAPI GdipCreateLineBrushI(const GpPoint* point1, const GpPoint* point2, ARGB color1, ARGB color2,
                                     GpWrapMode wrapMode, GpLineGradient** lineGradient) {
  std::lock_guard guard(Objects().lock);
  if (!Started()) return GdiplusNotInitialized;
  if (!point1 || !point2 || !lineGradient) return InvalidParameter;
  *lineGradient = nullptr;
  // A gradient repeats or mirrors along its line; it cannot be clamped.
  if (wrapMode < WrapModeTile || wrapMode >= WrapModeClamp) return InvalidParameter;
  // GDI+ refuses a line of no length with OutOfMemory.
  if (point1->X == point2->X && point1->Y == point2->Y) return OutOfMemory;
  cairo_pattern_t* pattern = cairo_pattern_create_linear(point1->X, point1->Y, point2->X, point2->Y);
  AddStop(pattern, 0, color1);
  AddStop(pattern, 1, color2);
  cairo_pattern_set_extend(pattern, wrapMode == WrapModeTile ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_REFLECT);
  auto* object = new (std::nothrow) LineGradientObject(pattern);
  if (!object) {
    cairo_pattern_destroy(pattern);
    return OutOfMemory;
  }
  GpLineGradient* base = object;
  return Publish(base, Kind::LineGradient, lineGradient);
}

GpStatus WINAPI GdipDeleteBrush(GpBrush* brush) {
  std::lock_guard guard(Objects().lock);
  if (!PatternOf(brush)) return InvalidParameter;
  Kind kind = Objects().objects[brush];
  Objects().objects.erase(brush);
  if (kind == Kind::SolidFill)
    delete static_cast<SolidFillObject*>(static_cast<GpSolidFill*>(brush));
  else
    delete static_cast<LineGradientObject*>(static_cast<GpLineGradient*>(brush));
  return Ok;
}

}  // namespace Gdiplus::DllExports

// ---- Drawing strings ------------------------------------------------------------------------------------
namespace {

using umbra::gdi::ShapedRun;

struct LineSpan {
  int start = 0;
  int count = 0;  // without trailing blanks
};

bool IsBlank(WCHAR ch) { return ch == u' ' || ch == u'\t' || ch == 0x3000; }

// Splits a paragraph [start, end) into lines no wider than maxWidth (0: unbounded), breaking
// after blanks, or inside a word that alone is too wide.
void WrapParagraph(umbra::gdi::Font& font, const WCHAR* text, int start, int end, double maxWidth,
                   std::vector<LineSpan>& lines) {
  auto push = [&](int from, int to) {
    while (to > from && IsBlank(text[to - 1])) --to;
    lines.push_back({from, to - from});
  };
  if (end <= start) return push(start, start);
  ShapedRun run = umbra::gdi::Shape(font, text + start, end - start);
  int lineStart = start, lastBreak = start;
  double width = 0;
  for (int i = start; i < end;) {
    int advance = run.advances[static_cast<size_t>(i - start)];
    if (maxWidth > 0 && advance > 0 && width + advance > maxWidth && i > lineStart && !IsBlank(text[i])) {
      int cut = lastBreak > lineStart ? lastBreak : i;
      push(lineStart, cut);
      lineStart = cut;
      while (lineStart < end && IsBlank(text[lineStart])) ++lineStart;
      i = lastBreak = lineStart;
      width = 0;
      continue;
    }
    width += advance;
    if (IsBlank(text[i])) lastBreak = i + 1;
    ++i;
  }
  push(lineStart, end);
}

std::vector<LineSpan> Layout(umbra::gdi::Font& font, const WCHAR* text, int length, double maxWidth) {
  std::vector<LineSpan> lines;
  int start = 0;
  for (int i = 0; i <= length; ++i) {
    if (i < length && text[i] != u'\n') continue;
    int end = i > start && text[i - 1] == u'\r' ? i - 1 : i;
    WrapParagraph(font, text, start, end, maxWidth, lines);
    start = i + 1;
  }
  return lines;
}

// Paints one shaped line with its pen at (x, baseline) in the canvas' current user space: the
// glyph coverage becomes an A8 mask, and the current source shows through it.
// Lines wholly outside `visible` (logical) are skipped, which also keeps every coordinate handed to
// cairo within the range it can represent.
void PaintLine(cairo_t* cr, const ShapedRun& run, int x, int baseline, const RECT& visible, bool oneBit) {
  int left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
  for (const umbra::gdi::ShapedGlyph& glyph : run.glyphs) {
    const umbra::gdi::GlyphImage& image = glyph.face->Glyph(glyph.glyph);
    if (image.width <= 0 || image.height <= 0) continue;
    left = std::min(left, glyph.x + image.left);
    right = std::max(right, glyph.x + image.left + image.width);
    top = std::min(top, -glyph.yOffset - image.top);
    bottom = std::max(bottom, -glyph.yOffset - image.top + image.height);
  }
  if (left >= right || top >= bottom) return;
  const long long x0 = static_cast<long long>(x) + left, y0 = static_cast<long long>(baseline) + top;
  if (x0 >= visible.right || x0 + (right - left) <= visible.left || y0 >= visible.bottom ||
      y0 + (bottom - top) <= visible.top)
    return;
  cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, right - left, bottom - top);
  if (cairo_surface_status(mask) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(mask);
    return;
  }
  cairo_surface_flush(mask);
  uint8_t* bits = cairo_image_surface_get_data(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  for (const umbra::gdi::ShapedGlyph& glyph : run.glyphs) {
    const umbra::gdi::GlyphImage& image = glyph.face->Glyph(glyph.glyph);
    const int gx = glyph.x + image.left - left, gy = -glyph.yOffset - image.top - top;
    for (int y = 0; y < image.height; ++y) {
      uint8_t* row = bits + static_cast<ptrdiff_t>(gy + y) * stride + gx;
      const uint8_t* coverage = image.coverage.data() + static_cast<ptrdiff_t>(y) * image.width;
      for (int i = 0; i < image.width; ++i) {
        uint8_t c = oneBit ? (coverage[i] >= 128 ? 255 : 0) : coverage[i];
        row[i] = std::max(row[i], c);  // overlapping glyphs cover, they do not add up
      }
    }
  }
  cairo_surface_mark_dirty(mask);
  cairo_mask_surface(cr, mask, x + left, baseline + top);
  cairo_surface_destroy(mask);
}

// Layout coordinates beyond this are clamped so that whole-pixel conversions stay defined.
constexpr double kCoordLimit = 1 << 24;

int Pixel(double v) { return static_cast<int>(std::lround(std::clamp(v, -kCoordLimit, kCoordLimit))); }

bool Finite(const RectF& r) {
  return std::isfinite(r.X) && std::isfinite(r.Y) && std::isfinite(r.Width) && std::isfinite(r.Height);
}

// Where a run of `size` starts within [origin, origin + extent) for an alignment; with no
// extent, the alignment is about the origin itself.
double Align(StringAlignment align, double origin, double extent, double size, double pad) {
  switch (align) {
    case StringAlignmentCenter:
      return origin + (extent - size) / 2;
    case StringAlignmentFar:
      return origin + extent - pad - size;
    default:
      return origin + pad;
  }
}

void DrawLines(umbra::gdi::Font& font, const WCHAR* text, int length, const RectF& rect,
               const GpStringFormat& format, cairo_pattern_t* pattern, const umbra::gdi::DrawSpace& space,
               TextRenderingHint hint) {
  // The default format keeps a sixth of the em clear at both ends of each line.
  const double pad = font.Primary()->Size26() / 64.0 / 6;
  const double maxWidth = rect.Width > 0 ? std::max(1.0, rect.Width - 2 * pad) : 0;
  std::vector<LineSpan> lines = Layout(font, text, length, maxWidth);
  const umbra::gdi::FontMetrics& metrics = font.Metrics();
  const int lineHeight = metrics.height + metrics.face.externalLeading;
  const double blockHeight = static_cast<double>(lineHeight) * static_cast<double>(lines.size());

  umbra::gdi::CairoCanvas canvas(space);
  cairo_t* cr = canvas.get();
  if (!cr) return;
  cairo_translate(cr, space.offset.x, space.offset.y);  // user space is now logical
  // Text outside the layout rectangle is clipped; an unbounded direction clips nothing.
  // The clip is also bounded by the surface, which keeps it within cairo's coordinate range.
  const RECT visible{-space.offset.x, -space.offset.y, space.surface.width - space.offset.x,
                     space.surface.height - space.offset.y};
  const double cx0 = rect.Width > 0 ? std::max<double>(rect.X, visible.left) : visible.left;
  const double cx1 = rect.Width > 0 ? std::min<double>(rect.X + rect.Width, visible.right) : visible.right;
  const double cy0 = rect.Height > 0 ? std::max<double>(rect.Y, visible.top) : visible.top;
  const double cy1 =
      rect.Height > 0 ? std::min<double>(rect.Y + rect.Height, visible.bottom) : visible.bottom;
  if (cx0 >= cx1 || cy0 >= cy1) return;
  cairo_rectangle(cr, cx0, cy0, cx1 - cx0, cy1 - cy0);
  cairo_clip(cr);
  cairo_set_source(cr, pattern);

  const bool oneBit =
      hint == TextRenderingHintSingleBitPerPixelGridFit || hint == TextRenderingHintSingleBitPerPixel;
  double y = Align(format.lineAlign, rect.Y, rect.Height, blockHeight, 0);
  for (const LineSpan& line : lines) {
    // Lines entirely below the clip end the drawing; this also bounds the work for huge texts.
    if (rect.Height > 0 && y > rect.Y + rect.Height) break;
    if (line.count > 0 && (rect.Height <= 0 || y + lineHeight > rect.Y)) {
      ShapedRun run = umbra::gdi::Shape(font, text + line.start, line.count);
      double x = Align(format.align, rect.X, rect.Width, run.width, pad);
      PaintLine(cr, run, Pixel(x), Pixel(y) + metrics.ascent, visible, oneBit);
    }
    y += lineHeight;
  }
}

}  // namespace

GpStatus WINAPI Gdiplus::DllExports::GdipDrawString(GpGraphics* graphics, const WCHAR* string, INT length,
                                                    const GpFont* font, const RectF* layoutRect,
                                                    const GpStringFormat* stringFormat,
                                                    const GpBrush* brush) {
  std::lock_guard guard(Objects().lock);
  cairo_pattern_t* pattern = PatternOf(brush);
  if (!Is(graphics, Kind::Graphics) || !Is(font, Kind::Font) || !pattern || !string || !layoutRect ||
      length < -1 || !Finite(*layoutRect))
    return InvalidParameter;
  if (stringFormat && !Is(stringFormat, Kind::Format)) return InvalidParameter;
  if (length == -1)
    length = static_cast<INT>(std::min<size_t>(std::char_traits<char16_t>::length(string), INT_MAX));
  if (length == 0 || layoutRect->Width < 0 || layoutRect->Height < 0) return Ok;

  std::lock_guard text(umbra::gdi::TextLock());
  umbra::gdi::DeviceContext* dc = umbra::gdi::LookupDC(graphics->hdc);
  if (!dc) return InvalidParameter;
  umbra::gdi::DrawSpace space;
  if (!dc->Prepare(space)) return Ok;  // nothing visible to draw on
  const GpStringFormat defaults;
  DrawLines(*font->font, string, length, *layoutRect, stringFormat ? *stringFormat : defaults, pattern, space,
            graphics->hint);
  return Ok;
}
