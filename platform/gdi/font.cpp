// Fonts: FreeType faces at a pixel size with their glyph caches, the HFONT object and its
// creation calls, the stock fonts, and shaping with HarfBuzz.
//
// Sections: faces · font objects · stock fonts · shaping · public calls.
#include "gdi/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <tuple>

#include "gdi/dc.h"

namespace umbra::gdi {

std::mutex& TextLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

// ---- Faces ------------------------------------------------------------------------------------------
namespace {

// Light hinting snaps vertical stems and line metrics to whole pixels only, so glyphs keep their
// shapes; embedded bitmaps are skipped so that every face is drawn the same grey-anti-aliased way.
constexpr FT_Int32 kLoadFlags = FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP;
// Glyphs cached per face and size before the cache starts over.
constexpr size_t kGlyphCacheLimit = 4096;
// Largest em size served, in pixels: bounds the memory one glyph image may take.
constexpr long kMaxEmPixels = 1024;

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) return static_cast<FT_Library>(nullptr);
    return lib;
  }();
  return library;
}

using InstanceKey = std::tuple<std::string, int, long, bool, bool>;

// Open faces, shared by every font of the same file, size and synthesis; they close with the
// last font that uses them.
std::map<InstanceKey, std::weak_ptr<FaceInstance>>& Instances() {
  static auto* instances = new std::map<InstanceKey, std::weak_ptr<FaceInstance>>;
  return *instances;
}

int Round(double v) { return static_cast<int>(std::lround(v)); }

}  // namespace

std::shared_ptr<FaceInstance> FaceInstance::Open(const FaceFile& file, long size26, bool bold, bool italic) {
  if (file.path.empty() || !Library()) return nullptr;
  InstanceKey key{file.path, file.index, size26, bold, italic};
  auto& instances = Instances();
  if (auto it = instances.find(key); it != instances.end())
    if (auto existing = it->second.lock()) return existing;

  FT_Face face = nullptr;
  if (FT_New_Face(Library(), file.path.c_str(), file.index, &face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face) || FT_Set_Char_Size(face, 0, size26, 72, 72) != 0) {
    FT_Done_Face(face);
    return nullptr;
  }
  // Synthesise only what the face itself lacks; fontconfig may have offered a regular face for a
  // bold or italic request.
  std::shared_ptr<FaceInstance> instance(new FaceInstance);
  instance->m_file = file;
  instance->m_size26 = size26;
  instance->m_embolden = bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
  instance->m_slant = italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
  instance->m_face = face;
  instance->m_hb = hb_ft_font_create_referenced(face);
  hb_ft_font_set_load_flags(instance->m_hb, kLoadFlags);
  std::erase_if(instances, [](const auto& entry) { return entry.second.expired(); });
  instances[key] = instance;
  return instance;
}

FaceInstance::~FaceInstance() {
  if (m_hb) hb_font_destroy(m_hb);
  if (m_face) FT_Done_Face(m_face);
}

bool FaceInstance::HasChar(char32_t ch) const { return FT_Get_Char_Index(m_face, ch) != 0; }

const GlyphImage& FaceInstance::Glyph(uint32_t glyph) {
  if (auto it = m_glyphs.find(glyph); it != m_glyphs.end()) return it->second;
  if (m_glyphs.size() >= kGlyphCacheLimit) m_glyphs.clear();
  GlyphImage& image = m_glyphs[glyph];
  if (FT_Load_Glyph(m_face, glyph, kLoadFlags) != 0) return image;
  FT_GlyphSlot slot = m_face->glyph;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (m_slant) {
      FT_Matrix shear{0x10000, 0x3800, 0, 0x10000};  // leans about 12 degrees
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (m_embolden) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return image;
  const FT_Bitmap& bitmap = slot->bitmap;
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || !bitmap.buffer) return image;
  image.left = slot->bitmap_left;
  image.top = slot->bitmap_top;
  image.width = static_cast<int>(bitmap.width);
  image.height = static_cast<int>(bitmap.rows);
  image.coverage.resize(static_cast<size_t>(image.width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    std::copy(row, row + image.width, image.coverage.begin() + static_cast<ptrdiff_t>(y) * image.width);
  }
  return image;
}

// Line metrics as GDI takes them from a TrueType face: the Windows ascent and descent of the
// OS/2 table, and the external leading that hhea's line gap adds beyond them.
VerticalMetrics FaceInstance::Metrics() const {
  VerticalMetrics m;
  const double upem = m_face->units_per_EM ? m_face->units_per_EM : 2048;
  const double scale = m_size26 / 64.0 / upem;
  double ascent = m_face->ascender;
  double descent = -m_face->descender;
  double lineGap = m_face->height - (m_face->ascender - m_face->descender);
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent = os2->usWinAscent;
    descent = os2->usWinDescent;
    lineGap = std::max(0.0, m_face->height - (ascent + descent));
  }
  m.ascent = Round(ascent * scale);
  m.descent = Round(descent * scale);
  m.externalLeading = std::max(0, Round(lineGap * scale));
  m.underlineThickness = std::max(1, Round(m_face->underline_thickness * scale));
  m.underlinePosition = std::max(1, Round(-m_face->underline_position * scale - m.underlineThickness / 2.0));
  if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
    m.strikeoutPosition = Round(os2->yStrikeoutPosition * scale);
    m.strikeoutThickness = std::max(1, Round(os2->yStrikeoutSize * scale));
  } else {
    m.strikeoutPosition = m.ascent / 3;
  }
  m.averageWidth =
      os2 && os2->version != 0xFFFF && os2->xAvgCharWidth > 0 ? Round(os2->xAvgCharWidth * scale) : 0;
  m.maxWidth = Round(m_face->max_advance_width * scale) + ExtraAdvance();
  return m;
}

// ---- Font objects --------------------------------------------------------------------------------------

Font::Font(const LOGFONTW& logFont) : m_log(logFont) { m_log.lfFaceName[LF_FACESIZE - 1] = 0; }

int Font::Describe(int size, void* out) const {
  if (!out) return sizeof(LOGFONTW);
  int bytes = std::min(size, static_cast<int>(sizeof(LOGFONTW)));
  std::memcpy(out, &m_log, static_cast<size_t>(bytes));
  return bytes;
}

bool Font::Ready() {
  if (!m_loaded) {
    m_loaded = true;
    LoadFaces();
  }
  return !m_faces.empty();
}

namespace {

bool WantsBold(const LOGFONTW& log) { return log.lfWeight >= FW_SEMIBOLD; }

// The em size in 26.6 pixels: a negative height is the em (character height), a positive one the
// cell (ascent + descent), and 0 a default cell of 16 pixels.
long EmSize26(const LOGFONTW& log, FT_Face face) {
  long long height = log.lfHeight == 0 ? 16 : log.lfHeight;
  long long em64 = 0;
  if (height < 0) {
    em64 = -height * 64;
  } else {
    double cell = face->ascender - face->descender;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0)
      cell = os2->usWinAscent + os2->usWinDescent;
    if (cell <= 0) cell = face->units_per_EM;
    em64 = std::llround(static_cast<double>(std::min<long long>(height, kMaxEmPixels * 4)) * 64 *
                        face->units_per_EM / cell);
  }
  return static_cast<long>(std::clamp<long long>(em64, 64, kMaxEmPixels * 64));
}

}  // namespace

void Font::LoadFaces() {
  const bool bold = WantsBold(m_log);
  const bool italic = m_log.lfItalic != 0;
  FaceFile file = MatchFace(std::u16string(m_log.lfFaceName), m_log.lfWeight, italic);
  if (file.path.empty() || !Library()) return;
  // The em size depends on the face's own proportions when the height gives the cell.
  FT_Face probe = nullptr;
  if (FT_New_Face(Library(), file.path.c_str(), file.index, &probe) != 0) return;
  long size26 = EmSize26(m_log, probe);
  FT_Done_Face(probe);
  auto primary = FaceInstance::Open(file, size26, bold, italic);
  if (!primary) return;
  m_faces.push_back(primary);

  m_metrics.face = primary->Metrics();
  m_metrics.ascent = m_metrics.face.ascent;
  m_metrics.descent = m_metrics.face.descent;
  m_metrics.height = m_metrics.ascent + m_metrics.descent;
  m_metrics.internalLeading = std::max(0, m_metrics.height - Round(size26 / 64.0));
}

FaceInstance* Font::FaceFor(char32_t ch) {
  if (m_faces.empty()) return nullptr;
  if (auto it = m_faceOf.find(ch); it != m_faceOf.end())
    return m_faces[static_cast<size_t>(it->second)].get();
  int chosen = 0;
  if (!m_faces[0]->HasChar(ch)) {
    const bool bold = WantsBold(m_log);
    const bool italic = m_log.lfItalic != 0;
    if (std::optional<FaceFile> file = FallbackFace(ch, bold, italic)) {
      for (size_t i = 0; i < m_faces.size(); ++i)
        if (m_faces[i]->File().path == file->path && m_faces[i]->File().index == file->index)
          chosen = static_cast<int>(i);
      if (chosen == 0) {
        auto face = FaceInstance::Open(*file, m_faces[0]->Size26(), bold, italic);
        if (face && face->HasChar(ch)) {
          m_faces.push_back(face);
          chosen = static_cast<int>(m_faces.size() - 1);
        }
      }
    }
  }
  m_faceOf.emplace(ch, chosen);
  return m_faces[static_cast<size_t>(chosen)].get();
}

Font* DcFont(DeviceContext& dc) {
  Font* font = LookupObjectAs<Font>(dc.Font());
  if (!font) font = LookupObjectAs<Font>(GetStockObject(SYSTEM_FONT));
  return font && font->Ready() ? font : nullptr;
}

// ---- Stock fonts -----------------------------------------------------------------------------------------
namespace {

LOGFONTW StockLogFont(int index) {
  LOGFONTW log{};
  log.lfWeight = FW_NORMAL;
  log.lfCharSet = DEFAULT_CHARSET;
  log.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  const char16_t* face = u"MS Shell Dlg";
  switch (index) {
    case DEFAULT_GUI_FONT:
      log.lfHeight = -11;
      break;
    case ANSI_VAR_FONT:
      log.lfHeight = 12;
      face = u"MS Sans Serif";
      break;
    case ANSI_FIXED_FONT:
      log.lfHeight = 12;
      face = u"Courier";
      log.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
      break;
    case OEM_FIXED_FONT:
      log.lfHeight = 12;
      face = u"Terminal";
      log.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
      break;
    case SYSTEM_FIXED_FONT:
      log.lfHeight = 15;
      face = u"Fixedsys";
      log.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
      break;
    default:  // SYSTEM_FONT, DEVICE_DEFAULT_FONT
      log.lfHeight = 16;
      log.lfWeight = FW_BOLD;
      face = u"System";
      break;
  }
  std::char_traits<char16_t>::copy(log.lfFaceName, face, std::char_traits<char16_t>::length(face));
  return log;
}

}  // namespace

std::unique_ptr<GdiObject> NewStockFont(int index) { return std::make_unique<Font>(StockLogFont(index)); }

// ---- Shaping ---------------------------------------------------------------------------------------------
namespace {

struct CodePoint {
  char32_t ch;
  uint32_t unit;  // index of its first UTF-16 unit
  uint32_t length;
};

std::vector<CodePoint> Decode(const WCHAR* text, int count) {
  std::vector<CodePoint> out;
  out.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count;) {
    char32_t ch = text[i];
    uint32_t length = 1;
    if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ch = 0x10000 + ((ch - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      length = 2;
    } else if (ch >= 0xD800 && ch <= 0xDFFF) {
      ch = 0xFFFD;
    }
    out.push_back({ch, static_cast<uint32_t>(i), length});
    i += static_cast<int>(length);
  }
  return out;
}

bool IsControl(char32_t ch) { return ch < 0x20 || (ch >= 0x7F && ch < 0xA0); }

// Marks and joiners stay with the face of the character they attach to.
bool Attaches(char32_t ch) {
  return (ch >= 0x300 && ch <= 0x36F) || (ch >= 0x200C && ch <= 0x200D) || (ch >= 0x20D0 && ch <= 0x20FF) ||
         (ch >= 0xFE00 && ch <= 0xFE0F) || (ch >= 0xFE20 && ch <= 0xFE2F) || (ch >= 0xE0100 && ch <= 0xE01EF);
}

// GDI draws without kerning or ligatures; keeping them off also makes widths of pieces add up.
const std::vector<hb_feature_t>& Features() {
  static const std::vector<hb_feature_t> features = [] {
    std::vector<hb_feature_t> list;
    for (const char* name : {"-kern", "-liga", "-clig"}) {
      hb_feature_t feature;
      if (hb_feature_from_string(name, -1, &feature)) list.push_back(feature);
    }
    return list;
  }();
  return features;
}

void ShapeSegment(FaceInstance& face, const WCHAR* text, int count, uint32_t start, uint32_t length,
                  ShapedRun& run, int& pen) {
  hb_buffer_t* buffer = hb_buffer_create();
  hb_buffer_add_utf16(buffer, reinterpret_cast<const uint16_t*>(text), count, start,
                      static_cast<int>(length));
  hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
  hb_buffer_guess_segment_properties(buffer);
  const auto& features = Features();
  hb_shape(face.hb(), buffer, features.data(), static_cast<unsigned>(features.size()));
  unsigned n = 0;
  hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &n);
  hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &n);
  for (unsigned i = 0; i < n; ++i) {
    int advance = Round(positions[i].x_advance / 64.0) + face.ExtraAdvance();
    ShapedGlyph glyph;
    glyph.face = &face;
    glyph.glyph = infos[i].codepoint;
    glyph.x = pen + Round(positions[i].x_offset / 64.0);
    glyph.yOffset = Round(positions[i].y_offset / 64.0);
    glyph.unit = infos[i].cluster;
    run.glyphs.push_back(glyph);
    if (glyph.unit < run.advances.size()) run.advances[glyph.unit] += advance;
    pen += advance;
  }
  hb_buffer_destroy(buffer);
}

}  // namespace

ShapedRun Shape(Font& font, const WCHAR* text, int count) {
  ShapedRun run;
  if (!text || count <= 0 || !font.Ready()) return run;
  run.advances.assign(static_cast<size_t>(count), 0);
  std::vector<CodePoint> points = Decode(text, count);
  int pen = 0;
  size_t i = 0;
  FaceInstance* previous = nullptr;
  while (i < points.size()) {
    if (IsControl(points[i].ch)) {
      ++i;
      previous = nullptr;
      continue;
    }
    // A segment: consecutive characters drawn by one face.
    FaceInstance* face = font.FaceFor(points[i].ch);
    if (previous && Attaches(points[i].ch)) face = previous;
    size_t end = i + 1;
    while (end < points.size() && !IsControl(points[end].ch)) {
      FaceInstance* next = Attaches(points[end].ch) ? face : font.FaceFor(points[end].ch);
      if (next != face) break;
      ++end;
    }
    uint32_t start = points[i].unit;
    uint32_t stop = points[end - 1].unit + points[end - 1].length;
    ShapeSegment(*face, text, count, start, stop - start, run, pen);
    previous = face;
    i = end;
  }
  run.width = pen;
  return run;
}

}  // namespace umbra::gdi

// ---- Public calls -----------------------------------------------------------------------------------------

using namespace umbra::gdi;

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lplf) {
  if (!lplf) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return static_cast<HFONT>(RegisterObject(std::make_unique<Font>(*lplf)));
}

HFONT WINAPI CreateFontW(int cHeight, int cWidth, int cEscapement, int cOrientation, int cWeight,
                         DWORD bItalic, DWORD bUnderline, DWORD bStrikeOut, DWORD iCharSet,
                         DWORD iOutPrecision, DWORD iClipPrecision, DWORD iQuality, DWORD iPitchAndFamily,
                         LPCWSTR pszFaceName) {
  LOGFONTW log{};
  log.lfHeight = cHeight;
  log.lfWidth = cWidth;
  log.lfEscapement = cEscapement;
  log.lfOrientation = cOrientation;
  log.lfWeight = cWeight;
  log.lfItalic = static_cast<BYTE>(bItalic ? 1 : 0);
  log.lfUnderline = static_cast<BYTE>(bUnderline ? 1 : 0);
  log.lfStrikeOut = static_cast<BYTE>(bStrikeOut ? 1 : 0);
  log.lfCharSet = static_cast<BYTE>(iCharSet);
  log.lfOutPrecision = static_cast<BYTE>(iOutPrecision);
  log.lfClipPrecision = static_cast<BYTE>(iClipPrecision);
  log.lfQuality = static_cast<BYTE>(iQuality);
  log.lfPitchAndFamily = static_cast<BYTE>(iPitchAndFamily);
  if (pszFaceName) {
    for (int i = 0; i < LF_FACESIZE - 1 && pszFaceName[i]; ++i) log.lfFaceName[i] = pszFaceName[i];
  }
  return CreateFontIndirectW(&log);
}

// The ANSI form differs from GetObjectW only for fonts, whose face name comes in the ANSI code page.
int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
  auto* font = LookupObjectAs<Font>(h);
  if (!font) return GetObjectW(h, c, pv);
  if (!pv) return sizeof(LOGFONTA);
  if (c <= 0) return 0;
  const LOGFONTW& w = font->Log();
  LOGFONTA a{};
  std::memcpy(&a, &w, offsetof(LOGFONTW, lfFaceName));
  WideCharToMultiByte(CP_ACP, 0, w.lfFaceName, -1, a.lfFaceName, LF_FACESIZE - 1, nullptr, nullptr);
  a.lfFaceName[LF_FACESIZE - 1] = 0;
  int bytes = std::min(c, static_cast<int>(sizeof(LOGFONTA)));
  std::memcpy(pv, &a, static_cast<size_t>(bytes));
  return bytes;
}
