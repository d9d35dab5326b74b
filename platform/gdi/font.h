// Fonts inside the stand-in: the face files fontconfig picks (FaceFile), one face at one pixel
// size with its glyph cache (FaceInstance), the GDI object behind an HFONT (Font), and shaping
// of UTF-16 text into positioned glyphs (ShapedRun). Glyphs sit at whole pixels and every
// cluster advances by a whole number of pixels, as GDI places text, so widths add up exactly.
//
// FreeType faces and HarfBuzz fonts are not thread-safe: every user holds TextLock().
#pragma once

#include <windows.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "gdi/dc.h"
#include "gdi/object.h"

typedef struct FT_FaceRec_* FT_Face;
typedef struct hb_font_t hb_font_t;

namespace umbra::gdi {

class DeviceContext;

std::mutex& TextLock();

// ---- Face matching (fontmatch.cpp) --------------------------------------------------------------

struct FaceFile {
  std::string path;
  int index = 0;
  std::string family;
};

// The best installed face for a face name (Windows names such as "宋体" or "Tahoma" included),
// a weight and an italic flag. Empty path when no font is installed at all.
FaceFile MatchFace(const std::u16string& faceName, LONG weight, bool italic);

// An installed face that has a glyph for the character, if any.
std::optional<FaceFile> FallbackFace(char32_t ch, bool bold, bool italic);

// ---- One face at one size -----------------------------------------------------------------------

struct GlyphImage {
  int left = 0;  // from the pen position to the first column
  int top = 0;   // from the baseline up to the first row
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;  // width x height, grey levels 0..255
};

struct VerticalMetrics {
  int ascent = 0;
  int descent = 0;
  int externalLeading = 0;
  int underlinePosition = 0;  // below the baseline, pixels
  int underlineThickness = 1;
  int strikeoutPosition = 0;  // above the baseline, pixels
  int strikeoutThickness = 1;
  int averageWidth = 0;
  int maxWidth = 0;
};

class FaceInstance {
 public:
  // Null when the file cannot be opened as a scalable face. Bold and italic the face does not
  // have are synthesised.
  static std::shared_ptr<FaceInstance> Open(const FaceFile& file, long size26, bool bold, bool italic);
  ~FaceInstance();
  FaceInstance(const FaceInstance&) = delete;
  FaceInstance& operator=(const FaceInstance&) = delete;

  bool HasChar(char32_t ch) const;
  const GlyphImage& Glyph(uint32_t glyph);
  VerticalMetrics Metrics() const;
  // The em size in pixels, 26.6.
  long Size26() const { return m_size26; }
  // Synthetic bold widens every glyph by a pixel, as GDI's does.
  int ExtraAdvance() const { return m_embolden ? 1 : 0; }
  const FaceFile& File() const { return m_file; }

  FT_Face ft() const { return m_face; }
  hb_font_t* hb() const { return m_hb; }

 private:
  FaceInstance() = default;

  FaceFile m_file;
  long m_size26 = 0;
  bool m_embolden = false;
  bool m_slant = false;
  FT_Face m_face = nullptr;
  hb_font_t* m_hb = nullptr;
  std::unordered_map<uint32_t, GlyphImage> m_glyphs;
};

// ---- The font object ----------------------------------------------------------------------------

struct FontMetrics {
  int height = 0;  // ascent + descent: the line height GDI uses
  int ascent = 0;
  int descent = 0;
  int internalLeading = 0;
  VerticalMetrics face;
};

class Font final : public GdiObject {
 public:
  explicit Font(const LOGFONTW& logFont);
  DWORD Type() const override { return OBJ_FONT; }
  int Describe(int size, void* out) const override;

  const LOGFONTW& Log() const { return m_log; }
  // Loads the faces on first use; false when no face could be loaded.
  bool Ready();
  const FontMetrics& Metrics() const { return m_metrics; }
  FaceInstance* Primary() const { return m_faces.empty() ? nullptr : m_faces[0].get(); }
  // The face that draws the character: the matched face, or a fallback face that has it.
  FaceInstance* FaceFor(char32_t ch);

 private:
  void LoadFaces();

  LOGFONTW m_log;
  bool m_loaded = false;
  FontMetrics m_metrics;
  std::vector<std::shared_ptr<FaceInstance>> m_faces;  // [0] is the matched face
  std::unordered_map<char32_t, int> m_faceOf;          // index into m_faces
};

// The font selected into the DC (the system font when none is), ready to use; null when no
// face can be loaded. Needs TextLock().
Font* DcFont(DeviceContext& dc);

// ---- Shaping -------------------------------------------------------------------------------------

struct ShapedGlyph {
  FaceInstance* face = nullptr;
  uint32_t glyph = 0;
  int x = 0;          // pen position from the run's start
  int yOffset = 0;    // up from the baseline
  uint32_t unit = 0;  // index of the first UTF-16 unit of its cluster
};

struct ShapedRun {
  std::vector<ShapedGlyph> glyphs;
  // advances[i]: the width the i-th UTF-16 unit adds (a cluster's width on its first unit).
  std::vector<int> advances;
  int width = 0;
};

// Shapes text with the font (no kerning or ligatures, as GDI draws). Control characters take
// no space and draw nothing. Needs TextLock().
ShapedRun Shape(Font& font, const WCHAR* text, int count);

// ---- Painting (text.cpp) ----------------------------------------------------------------------------

// Draws a shaped run with its pen starting at logical (x, baseline), in the colour, through the
// space's clip. With `dx`, the clusters sit at those per-unit advances instead of their own.
void PaintRun(const DrawSpace& space, const ShapedRun& run, int x, int baseline, COLORREF color,
              const INT* dx = nullptr);
// Fills a logical rectangle through the space's clip.
void PaintRect(const DrawSpace& space, const RECT& rect, COLORREF color);
// Underline and strike-out of a span of text, as the font asks for them.
void PaintDecorations(const DrawSpace& space, Font& font, int x, int baseline, int width, COLORREF color);

}  // namespace umbra::gdi
