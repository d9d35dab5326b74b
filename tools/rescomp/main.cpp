// umbra_rescomp: turns a resource list into a C++ source that embeds the listed files and
// registers them as the module's resources, so that FindResourceW finds them at run time.
//
//   umbra_rescomp LIST OUTPUT.cpp DEPFILE
//
// The list is UTF-8 text in the spirit of a resource script, one resource a line:
//
//   // comment
//   107      ICON     app.ico
//   1001     xml      skin\MainFrame.xml
//   ZIPRES   ZIPRES   "skin files/login.zip"
//
// name: a decimal identifier (1 to 65535) or a string; type: a decimal identifier, one of
// the keywords ICON, BITMAP, RCDATA, HTML, MANIFEST, or a string; file: relative to the list,
// with '\' or '/', double-quoted when it holds blanks. Strings are matched without regard to
// case at run time. BITMAP files lose their 14-byte file header, as a resource compiler does.
// Build tool only: it runs on the build machine and uses no part of the stand-in.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A name or type: an identifier, or a string when text is set.
struct Key {
  unsigned id = 0;
  std::optional<std::string> text;
};

struct Resource {
  Key name;
  Key type;
  fs::path file;
  std::string bytes;
};

struct ListError {
  std::string message;
};

constexpr unsigned kGroupIcon = 14;
constexpr unsigned kBitmap = 2;

// ---- Reading the list ---------------------------------------------------------------------

std::vector<std::string> Tokenize(const std::string& line, const std::string& where) {
  std::vector<std::string> tokens;
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
    } else if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') {
      break;
    } else if (c == '"') {
      const size_t close = line.find('"', i + 1);
      if (close == std::string::npos) throw ListError{where + ": unterminated quoted text"};
      tokens.push_back(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      size_t end = i;
      while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
      tokens.push_back(line.substr(i, end - i));
      i = end;
    }
  }
  return tokens;
}

bool IsNumber(const std::string& token) {
  return !token.empty() && token.find_first_not_of("0123456789") == std::string::npos;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

unsigned ParseIdentifier(const std::string& token, const std::string& where) {
  const unsigned long value = token.size() > 5 ? 0 : std::stoul(token);
  if (value < 1 || value > 65535) throw ListError{where + ": identifier out of range 1..65535: " + token};
  return static_cast<unsigned>(value);
}

Key ParseName(const std::string& token, const std::string& where) {
  if (IsNumber(token)) return Key{ParseIdentifier(token, where), std::nullopt};
  // "#123" is how a caller spells identifier 123, so no string may look like that.
  if (token.empty() || token[0] == '#')
    throw ListError{where + ": a string may not be empty or begin with '#'"};
  return Key{0, token};
}

Key ParseType(const std::string& token, const std::string& where) {
  static const std::pair<const char*, unsigned> kKeywords[] = {
      {"ICON", kGroupIcon}, {"BITMAP", kBitmap}, {"RCDATA", 10}, {"HTML", 23}, {"MANIFEST", 24}};
  for (const auto& [keyword, id] : kKeywords) {
    if (AsciiUpper(token) == keyword) return Key{id, std::nullopt};
  }
  return ParseName(token, where);
}

std::string ReadFile(const fs::path& path, const std::string& where) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ListError{where + ": cannot read " + path.string()};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The same resource twice would make one of them unreachable.
std::string Identity(const Resource& r) {
  auto show = [](const Key& k) { return k.text ? "s:" + AsciiUpper(*k.text) : "n:" + std::to_string(k.id); };
  return show(r.type) + "|" + show(r.name);
}

std::vector<Resource> ReadList(const fs::path& listPath) {
  std::string text = ReadFile(listPath, listPath.string());
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  const fs::path folder = listPath.parent_path();
  std::vector<Resource> resources;
  std::set<std::string> seen;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string where = listPath.string() + ":" + std::to_string(number);
    const std::vector<std::string> tokens = Tokenize(line, where);
    if (tokens.empty()) continue;
    if (tokens.size() != 3) throw ListError{where + ": expected three fields: name type file"};
    Resource r;
    r.name = ParseName(tokens[0], where);
    r.type = ParseType(tokens[1], where);
    std::string file = tokens[2];
    for (char& c : file) {
      if (c == '\\') c = '/';
    }
    r.file = folder / fs::path(file);
    r.bytes = ReadFile(r.file, where);
    if (!r.type.text && r.type.id == kBitmap && r.bytes.size() >= 14 && r.bytes.compare(0, 2, "BM") == 0) {
      r.bytes.erase(0, 14);
    }
    if (!seen.insert(Identity(r)).second) throw ListError{where + ": the same type and name appear twice"};
    resources.push_back(std::move(r));
  }
  return resources;
}

// ---- Writing the source --------------------------------------------------------------------

// Decodes one UTF-8 sequence; false for malformed input.
bool NextCodePoint(const std::string& s, size_t& i, char32_t& cp) {
  const auto b = static_cast<unsigned char>(s[i]);
  int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
  if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) return false;
  cp = extra == 0 ? b : b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    const auto c = static_cast<unsigned char>(s[i + k]);
    if ((c >> 6) != 2) return false;
    cp = (cp << 6) | (c & 0x3F);
  }
  static const char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  i += static_cast<size_t>(extra) + 1;
  return true;
}

// A char16_t literal for a UTF-8 string: ASCII as it is, the rest as universal character names.
std::string Utf16Literal(const std::string& text, const std::string& what) {
  std::string out = "u\"";
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    if (!NextCodePoint(text, i, cp) || cp < 0x20 || cp == 0x7F)
      throw ListError{what + ": not valid UTF-8 text"};
    char buffer[16];
    if (cp == '"' || cp == '\\') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else {
      std::snprintf(buffer, sizeof buffer, cp > 0xFFFF ? "\\U%08X" : "\\u%04X", static_cast<unsigned>(cp));
      out += buffer;
    }
  }
  return out + "\"";
}

// Bytes as a narrow string literal: compilers take long literals far faster than long lists of
// numbers. Octal escapes always have three digits, so a following digit is never absorbed.
void WriteBytes(std::ostream& out, const std::string& bytes) {
  constexpr size_t kPerLine = 64;
  if (bytes.empty()) out << "    \"\"";
  for (size_t i = 0; i < bytes.size(); i += kPerLine) {
    out << (i ? "\n    \"" : "    \"");
    for (size_t k = i; k < bytes.size() && k < i + kPerLine; ++k) {
      const auto b = static_cast<unsigned char>(bytes[k]);
      if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\' && b != '?') {
        out << static_cast<char>(b);
      } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\%03o", b);
        out << escape;
      }
    }
    out << '"';
  }
}

std::string KeyFields(const Key& key, const std::string& what) {
  if (key.text) return Utf16Literal(*key.text, what) + ", 0";
  return "nullptr, " + std::to_string(key.id);
}

std::string Source(const fs::path& listPath, const std::vector<Resource>& resources) {
  std::ostringstream out;
  out << "// Generated by umbra_rescomp from " << listPath.filename().string() << "; do not edit.\n"
      << "#include \"kernel/resource.h\"\n\nnamespace {\n\n";
  for (size_t i = 0; i < resources.size(); ++i) {
    out << "// " << resources[i].file.filename().string() << "\n"
        << "alignas(8) const unsigned char kData" << i << "[] =\n";
    WriteBytes(out, resources[i].bytes);
    out << ";\n\n";
  }
  if (resources.empty()) {
    out << "const umbra::kernel::ResourceTable kTable = {nullptr, 0};\n";
  } else {
    out << "const umbra::kernel::ResourceEntry kEntries[] = {\n";
    for (size_t i = 0; i < resources.size(); ++i) {
      const Resource& r = resources[i];
      const std::string what = listPath.string() + ": resource " + std::to_string(i + 1);
      out << "    {" << KeyFields(r.type, what) << ", " << KeyFields(r.name, what) << ", kData" << i << ", "
          << r.bytes.size() << "u},\n";
    }
    out << "};\nconst umbra::kernel::ResourceTable kTable = {kEntries, " << resources.size() << "};\n";
  }
  out << "[[maybe_unused]] const bool kRegistered = umbra::kernel::RegisterExecutableResources(&kTable);\n\n"
      << "}  // namespace\n";
  return out.str();
}

// Make-style dependency file, so the build reruns this when the list or a listed file changes.
std::string EscapeForDepfile(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#' || c == '\\') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

std::string Depfile(const fs::path& output, const fs::path& listPath,
                    const std::vector<Resource>& resources) {
  std::string text = EscapeForDepfile(fs::absolute(output).string()) + ":";
  text += " \\\n  " + EscapeForDepfile(fs::absolute(listPath).string());
  for (const Resource& r : resources) text += " \\\n  " + EscapeForDepfile(fs::absolute(r.file).string());
  return text + "\n";
}

bool WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: umbra_rescomp LIST OUTPUT.cpp DEPFILE\n");
    return 2;
  }
  const fs::path listPath = argv[1];
  const fs::path output = argv[2];
  try {
    const std::vector<Resource> resources = ReadList(listPath);
    const std::string source = Source(listPath, resources);
    if (!WriteText(output, source) || !WriteText(argv[3], Depfile(output, listPath, resources))) {
      std::fprintf(stderr, "umbra_rescomp: cannot write %s\n", argv[2]);
      return 1;
    }
  } catch (const ListError& error) {
    std::fprintf(stderr, "umbra_rescomp: %s\n", error.message.c_str());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "umbra_rescomp: %s\n", error.what());
    return 1;
  }
  return 0;
}
