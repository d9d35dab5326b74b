// Face matching through fontconfig: a LOGFONT's face name (often a Windows face that is not
// installed here, such as "宋体", "微软雅黑" or "Tahoma") becomes a list of installed families
// that look alike, and fontconfig picks the best one present. Fallback faces cover characters
// the chosen face lacks, so Chinese text shows whatever face a skin names.
#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>
#include <tuple>

#include "gdi/font.h"
#include "kernel/unicode.h"

// fontconfig loses a few bytes while it parses its own configuration files; leak reports of
// sanitizer builds are kept to our code.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UMBRA_LEAK_CHECKED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(UMBRA_LEAK_CHECKED)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace umbra::gdi {
namespace {

enum class Kind { Sans, Serif, Mono, CjkSans, CjkSerif };

// Windows faces by the kind of face that stands in for them. Names compare without case.
struct WindowsFace {
  const char* name;
  Kind kind;
};

constexpr WindowsFace kWindowsFaces[] = {
    {"ms shell dlg", Kind::Sans},
    {"ms shell dlg 2", Kind::Sans},
    {"tahoma", Kind::Sans},
    {"segoe ui", Kind::Sans},
    {"microsoft sans serif", Kind::Sans},
    {"ms sans serif", Kind::Sans},
    {"verdana", Kind::Sans},
    {"arial", Kind::Sans},
    {"helvetica", Kind::Sans},
    {"system", Kind::Sans},
    {"calibri", Kind::Sans},
    {"times new roman", Kind::Serif},
    {"times", Kind::Serif},
    {"georgia", Kind::Serif},
    {"ms serif", Kind::Serif},
    {"courier new", Kind::Mono},
    {"courier", Kind::Mono},
    {"consolas", Kind::Mono},
    {"lucida console", Kind::Mono},
    {"fixedsys", Kind::Mono},
    {"terminal", Kind::Mono},
    {"宋体", Kind::CjkSerif},
    {"simsun", Kind::CjkSerif},
    {"新宋体", Kind::CjkSerif},
    {"nsimsun", Kind::CjkSerif},
    {"仿宋", Kind::CjkSerif},
    {"fangsong", Kind::CjkSerif},
    {"楷体", Kind::CjkSerif},
    {"kaiti", Kind::CjkSerif},
    {"新細明體", Kind::CjkSerif},
    {"pmingliu", Kind::CjkSerif},
    {"mingliu", Kind::CjkSerif},
    {"微软雅黑", Kind::CjkSans},
    {"microsoft yahei", Kind::CjkSans},
    {"microsoft yahei ui", Kind::CjkSans},
    {"黑体", Kind::CjkSans},
    {"simhei", Kind::CjkSans},
    {"微軟正黑體", Kind::CjkSans},
    {"microsoft jhenghei", Kind::CjkSans},
};

// Installed families that stand in for each kind, best first; the generic name ends the list so
// that fontconfig's own preference decides when none of them is installed.
const std::vector<const char*>& Candidates(Kind kind) {
  static const std::vector<const char*> sans = {"Liberation Sans", "Arimo", "DejaVu Sans", "sans-serif"};
  static const std::vector<const char*> serif = {"Liberation Serif", "Tinos", "DejaVu Serif", "serif"};
  static const std::vector<const char*> mono = {"Liberation Mono", "Cousine", "DejaVu Sans Mono",
                                                "monospace"};
  static const std::vector<const char*> cjkSans = {"Noto Sans CJK SC",    "Source Han Sans SC",
                                                   "WenQuanYi Micro Hei", "WenQuanYi Zen Hei",
                                                   "Droid Sans Fallback", "sans-serif"};
  static const std::vector<const char*> cjkSerif = {
      "Noto Serif CJK SC", "Source Han Serif SC", "AR PL UMing CN", "WenQuanYi Micro Hei",
      "WenQuanYi Zen Hei", "Noto Sans CJK SC",    "serif"};
  switch (kind) {
    case Kind::Serif:
      return serif;
    case Kind::Mono:
      return mono;
    case Kind::CjkSans:
      return cjkSans;
    case Kind::CjkSerif:
      return cjkSerif;
    default:
      return sans;
  }
}

std::string AsciiLower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::optional<Kind> WindowsKind(const std::string& name) {
  std::string lower = AsciiLower(name);
  for (const WindowsFace& face : kWindowsFaces)
    if (lower == face.name) return face.kind;
  return std::nullopt;
}

int FcWeightOf(LONG weight) {
  if (weight <= 0) weight = FW_NORMAL;
  return FcWeightFromOpenType(static_cast<int>(weight > 1000 ? 1000 : weight));
}

// fontconfig is initialised once; its configuration is shared by every query.
FcConfig* Config() {
  static FcConfig* config = [] {
    FcInit();
    return FcConfigReference(nullptr);
  }();
  return config;
}

// Fills `out` from a matched pattern; false when the pattern names no file.
bool ReadMatch(FcPattern* match, FaceFile& out) {
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch || !file) return false;
  out.path = reinterpret_cast<const char*>(file);
  int index = 0;
  if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) out.index = index;
  FcChar8* family = nullptr;
  if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family)
    out.family = reinterpret_cast<const char*>(family);
  return true;
}

// Runs a query pattern through fontconfig's substitutions and returns its best match.
FaceFile Resolve(FcPattern* pattern) {
  FaceFile face;
  FcConfigSubstitute(Config(), pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(Config(), pattern, &result);
  if (match) {
    ReadMatch(match, face);
    FcPatternDestroy(match);
  }
  return face;
}

void AddStyle(FcPattern* pattern, LONG weight, bool italic) {
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightOf(weight));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
}

FaceFile Match(const std::string& name, LONG weight, bool italic) {
  FcPattern* pattern = FcPatternCreate();
  if (!name.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  std::optional<Kind> kind = WindowsKind(name);
  for (const char* family : Candidates(kind.value_or(Kind::Sans)))
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  if (kind == Kind::CjkSans || kind == Kind::CjkSerif)
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("zh-cn"));
  AddStyle(pattern, weight, italic);
  FaceFile face = Resolve(pattern);
  FcPatternDestroy(pattern);
  return face;
}

// Every installed face in fontconfig's order of preference for a style, with what it covers:
// a fallback is the first one that has the character.
struct FallbackList {
  bool built = false;
  std::vector<std::pair<FaceFile, FcCharSet*>> faces;  // the character sets are kept for good
};

struct MatchCache {
  std::mutex lock;
  std::map<std::tuple<std::string, LONG, bool>, FaceFile> faces;
  FallbackList fallbacks[4];  // by bold and italic
};

void BuildFallbacks(FallbackList& list, bool bold, bool italic) {
  list.built = true;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
  AddStyle(pattern, bold ? FW_BOLD : FW_NORMAL, italic);
  FcConfigSubstitute(Config(), pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcFontSet* set = FcFontSort(Config(), pattern, FcFalse, nullptr, &result);
  FcPatternDestroy(pattern);
  if (!set) return;
  for (int i = 0; i < set->nfont; ++i) {
    FaceFile face;
    FcCharSet* chars = nullptr;
    FcBool scalable = FcFalse;
    if (FcPatternGetBool(set->fonts[i], FC_SCALABLE, 0, &scalable) != FcResultMatch || !scalable) continue;
    if (!ReadMatch(set->fonts[i], face)) continue;
    if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &chars) != FcResultMatch || !chars) continue;
    list.faces.emplace_back(face, FcCharSetCopy(chars));
  }
  FcFontSetDestroy(set);
}

MatchCache& Cache() {
  static MatchCache* cache = new MatchCache;
  return *cache;
}

}  // namespace

FaceFile MatchFace(const std::u16string& faceName, LONG weight, bool italic) {
  std::string name = umbra::kernel::Utf16ToUtf8(faceName);
  MatchCache& cache = Cache();
  std::lock_guard guard(cache.lock);
  auto key = std::make_tuple(name, weight, italic);
  auto it = cache.faces.find(key);
  if (it != cache.faces.end()) return it->second;
  FaceFile face = Match(name, weight, italic);
  cache.faces.emplace(key, face);
  return face;
}

std::optional<FaceFile> FallbackFace(char32_t ch, bool bold, bool italic) {
  MatchCache& cache = Cache();
  std::lock_guard guard(cache.lock);
  FallbackList& list = cache.fallbacks[(bold ? 2 : 0) + (italic ? 1 : 0)];
  if (!list.built) BuildFallbacks(list, bold, italic);
  for (const auto& [face, chars] : list.faces)
    if (FcCharSetHasChar(chars, ch)) return face;
  return std::nullopt;
}

}  // namespace umbra::gdi
