// Private-profile (INI) files with Windows' rules: GetPrivateProfileStringW,
// GetPrivateProfileIntW and WritePrivateProfileStringW. A write changes only the lines it must
// and keeps every other byte, the file's encoding and its line-ending style; it replaces the
// file atomically, so a failed write leaves the old file whole.
//
// Sections: the file model - encodings - loading - reading lines - lookups - editing -
// saving - the API.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kernel/path.h"
#include "kernel/unicode.h"

namespace umbra::kernel {
namespace {

// ---- The file model --------------------------------------------------------------------------

// Larger files are refused as unreadable: settings never come near it, and a huge or binary
// file must not take the program's memory.
constexpr size_t kMaxProfileSize = 16 * 1024 * 1024;

enum class Encoding { kUtf8, kUtf8Bom, kUtf16LeBom, kAnsi };

struct Line {
  std::string raw;      // the content's bytes as stored, without the line ending
  std::string ending;   // the line ending's bytes; empty on a last line without one
  std::u16string text;  // the content, decoded
};

struct Profile {
  Encoding encoding = Encoding::kUtf8;
  std::vector<Line> lines;
  std::string trailer;               // an odd last byte of a UTF-16 file, kept as it was
  std::u16string newline = u"\r\n";  // the file's line-ending style, for lines a write adds
};

// ---- Encodings -------------------------------------------------------------------------------

std::u16string DecodeAnsi(std::string_view raw) {
  if (raw.empty()) return {};
  const int length = static_cast<int>(raw.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, raw.data(), length, nullptr, 0);
  if (needed <= 0) return Utf8ToUtf16(raw);
  std::u16string text(static_cast<size_t>(needed), u'\0');
  const int written = MultiByteToWideChar(CP_ACP, 0, raw.data(), length, text.data(), needed);
  text.resize(static_cast<size_t>(written > 0 ? written : 0));
  return text;
}

std::string EncodeAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string raw(static_cast<size_t>(needed), '\0');
  const int written =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, raw.data(), needed, nullptr, nullptr);
  raw.resize(static_cast<size_t>(written > 0 ? written : 0));
  return raw;
}

std::u16string Decode(std::string_view raw, Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf16LeBom: {
      std::u16string text(raw.size() / 2, u'\0');
      for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                        static_cast<unsigned char>(raw[2 * i + 1]) << 8);
      }
      return text;
    }
    case Encoding::kAnsi:
      return DecodeAnsi(raw);
    default:
      return Utf8ToUtf16(raw);
  }
}

// False when the ANSI code page cannot hold the text (it would not read back the same).
bool Encode(std::u16string_view text, Encoding encoding, std::string& raw) {
  switch (encoding) {
    case Encoding::kUtf16LeBom:
      raw.clear();
      for (char16_t c : text) {
        raw.push_back(static_cast<char>(c & 0xFF));
        raw.push_back(static_cast<char>(c >> 8));
      }
      return true;
    case Encoding::kAnsi:
      raw = EncodeAnsi(text);
      // Unpaired surrogates have no form outside UTF-16 in any case; they do not force a
      // change of encoding.
      return DecodeAnsi(raw) == Utf8ToUtf16(Utf16ToUtf8(text));
    default:
      raw = Utf16ToUtf8(text);
      return true;
  }
}

// A value the file's ANSI code page cannot hold is still stored faithfully: the file becomes
// UTF-8, with a BOM so that readers expecting the code page see the change. Lines that do not
// decode cleanly keep their bytes, so nothing already in the file is lost.
void ConvertToUtf8(Profile& profile) {
  std::string check;
  for (Line& line : profile.lines) {
    if (Encode(line.text, Encoding::kAnsi, check) && check == line.raw) line.raw = Utf16ToUtf8(line.text);
  }
  profile.encoding = Encoding::kUtf8Bom;
}

// New lines in the file's encoding; the file is converted first if it cannot hold them all.
std::vector<Line> MakeLines(Profile& profile, std::initializer_list<std::u16string> texts) {
  std::string raw;
  for (const std::u16string& text : texts) {
    if (!Encode(text, profile.encoding, raw)) {
      ConvertToUtf8(profile);
      break;
    }
  }
  std::vector<Line> lines;
  for (const std::u16string& text : texts) {
    Line line{{}, {}, text};
    Encode(text, profile.encoding, line.raw);
    Encode(profile.newline, profile.encoding, line.ending);
    lines.push_back(std::move(line));
  }
  return lines;
}

// ---- Loading ---------------------------------------------------------------------------------

void SplitLines(std::string_view bytes, Profile& profile) {
  const size_t unit = profile.encoding == Encoding::kUtf16LeBom ? 2 : 1;
  const auto at = [&](size_t i) -> unsigned {
    const auto low = static_cast<unsigned char>(bytes[i]);
    return unit == 1 ? low : low | static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8;
  };
  // Lines end in CRLF, LF or CR.
  size_t start = 0;
  for (size_t i = 0; i < bytes.size();) {
    const unsigned c = at(i);
    if (c != '\r' && c != '\n') {
      i += unit;
      continue;
    }
    size_t end = i + unit;
    if (c == '\r' && end < bytes.size() && at(end) == '\n') end += unit;
    profile.lines.push_back(
        Line{std::string(bytes.substr(start, i - start)), std::string(bytes.substr(i, end - i)), {}});
    start = i = end;
  }
  if (start < bytes.size()) profile.lines.push_back(Line{std::string(bytes.substr(start)), {}, {}});
}

void ParseProfile(std::string_view bytes, Profile& profile) {
  if (bytes.starts_with("\xFF\xFE")) {
    profile.encoding = Encoding::kUtf16LeBom;
    bytes.remove_prefix(2);
    if (bytes.size() % 2) {
      profile.trailer = bytes.back();
      bytes.remove_suffix(1);
    }
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    profile.encoding = Encoding::kUtf8Bom;
    bytes.remove_prefix(3);
  } else {
    // Without a BOM, text that is valid UTF-8 is UTF-8; anything else is in the ANSI code page.
    profile.encoding = IsValidUtf8(bytes) ? Encoding::kUtf8 : Encoding::kAnsi;
  }
  SplitLines(bytes, profile);
  bool styleFound = false;
  for (Line& line : profile.lines) {
    line.text = Decode(line.raw, profile.encoding);
    if (!styleFound && !line.ending.empty()) {
      profile.newline = Decode(line.ending, profile.encoding);
      styleFound = true;
    }
  }
}

// Reads and parses the file. ERROR_FILE_NOT_FOUND (or ERROR_PATH_NOT_FOUND) when it does not
// exist; another error when it exists but cannot be used.
DWORD LoadProfile(const std::string& path, Profile& profile) {
  // O_NONBLOCK: a FIFO in the file's place must not hang the program.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    SetLastErrorFromErrno(errno, path);
    return GetLastError();
  }
  struct stat st;
  DWORD error = ERROR_SUCCESS;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    error = ERROR_ACCESS_DENIED;
  } else if (static_cast<uint64_t>(st.st_size) > kMaxProfileSize) {
    error = ERROR_FILE_TOO_LARGE;
  }
  std::string bytes;
  if (!error) {
    bytes.resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = read(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = ERROR_READ_FAULT;
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    bytes.resize(done);  // the file may have shrunk meanwhile
  }
  close(fd);
  if (!error) ParseProfile(bytes, profile);
  return error;
}

// ---- Reading lines -----------------------------------------------------------------------------

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

enum class LineKind { kOther, kSection, kKey };  // kOther: blank lines, comments, anything else

struct ParsedLine {
  LineKind kind = LineKind::kOther;
  std::u16string_view name;   // section or key name
  std::u16string_view value;  // a key's value, blanks trimmed
};

ParsedLine ParseLine(std::u16string_view text) {
  text = Trim(text);
  if (text.empty() || text.front() == u';') return {};
  if (text.front() == u'[') {
    const size_t close = text.find(u']', 1);
    return {
        LineKind::kSection, Trim(text.substr(1, close == std::u16string_view::npos ? close : close - 1)), {}};
  }
  const size_t equals = text.find(u'=');
  if (equals == std::u16string_view::npos) return {};
  const std::u16string_view key = Trim(text.substr(0, equals));
  if (key.empty()) return {};
  return {LineKind::kKey, key, Trim(text.substr(equals + 1))};
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && _wcsicmp(std::u16string(a).c_str(), std::u16string(b).c_str()) == 0;
}

std::u16string_view Unquote(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// ---- Lookups -----------------------------------------------------------------------------------

// Calls visit(index, parsed) for every line inside the sections named 'section' (a name may
// head more than one block; they read as one section, in file order).
template <typename Visit>
void ForEachLineIn(const Profile& profile, std::u16string_view section, Visit visit) {
  bool inside = false;
  for (size_t i = 0; i < profile.lines.size(); ++i) {
    const ParsedLine parsed = ParseLine(profile.lines[i].text);
    if (parsed.kind == LineKind::kSection) {
      inside = NamesEqual(parsed.name, section);
    } else if (inside) {
      visit(i, parsed);
    }
  }
}

// The index of the first line that sets 'key' in 'section'; duplicates after it are ignored.
std::optional<size_t> FindKeyLine(const Profile& profile, std::u16string_view section,
                                  std::u16string_view key) {
  std::optional<size_t> found;
  ForEachLineIn(profile, section, [&](size_t i, const ParsedLine& parsed) {
    if (!found && parsed.kind == LineKind::kKey && NamesEqual(parsed.name, key)) found = i;
  });
  return found;
}

void AddDistinct(std::vector<std::u16string>& names, std::u16string_view name) {
  for (const std::u16string& known : names) {
    if (NamesEqual(known, name)) return;
  }
  names.emplace_back(name);
}

std::vector<std::u16string> SectionNames(const Profile& profile) {
  std::vector<std::u16string> names;
  for (const Line& line : profile.lines) {
    const ParsedLine parsed = ParseLine(line.text);
    if (parsed.kind == LineKind::kSection) AddDistinct(names, parsed.name);
  }
  return names;
}

std::vector<std::u16string> KeyNames(const Profile& profile, std::u16string_view section) {
  std::vector<std::u16string> names;
  ForEachLineIn(profile, section, [&](size_t, const ParsedLine& parsed) {
    if (parsed.kind == LineKind::kKey) AddDistinct(names, parsed.name);
  });
  return names;
}

// ---- Editing -----------------------------------------------------------------------------------

// Each edit returns whether the profile changed.

void EndLastLine(Profile& profile, size_t index) {
  if (profile.lines[index].ending.empty())
    Encode(profile.newline, profile.encoding, profile.lines[index].ending);
}

bool SetValue(Profile& profile, std::u16string_view section, std::u16string_view key,
              std::u16string_view value) {
  if (const std::optional<size_t> index = FindKeyLine(profile, section, key)) {
    // The key keeps its spelling; the line keeps its ending.
    const ParsedLine parsed = ParseLine(profile.lines[*index].text);
    if (parsed.value == value) return false;
    std::u16string text = std::u16string(parsed.name) + u'=' + std::u16string(value);
    Line replacement = std::move(MakeLines(profile, {text}).front());
    replacement.ending = std::move(profile.lines[*index].ending);
    profile.lines[*index] = std::move(replacement);
    return true;
  }
  const std::u16string text = std::u16string(key) + u'=' + std::u16string(value);

  // A new key goes after the last non-blank line of the section's first block.
  std::optional<size_t> header, last;
  for (size_t i = 0; i < profile.lines.size(); ++i) {
    const ParsedLine parsed = ParseLine(profile.lines[i].text);
    if (parsed.kind == LineKind::kSection) {
      if (header) break;
      if (NamesEqual(parsed.name, section)) header = last = i;
    } else if (header && !Trim(profile.lines[i].text).empty()) {
      last = i;
    }
  }
  if (header) {
    Line line = std::move(MakeLines(profile, {text}).front());
    EndLastLine(profile, *last);
    profile.lines.insert(profile.lines.begin() + static_cast<ptrdiff_t>(*last + 1), std::move(line));
    return true;
  }

  // A new section goes at the end of the file.
  std::vector<Line> added = MakeLines(profile, {u'[' + std::u16string(section) + u']', text});
  if (!profile.lines.empty()) EndLastLine(profile, profile.lines.size() - 1);
  for (Line& line : added) profile.lines.push_back(std::move(line));
  return true;
}

bool DeleteKey(Profile& profile, std::u16string_view section, std::u16string_view key) {
  // Every occurrence goes, so that a later duplicate cannot surface as the value.
  std::vector<bool> doomed(profile.lines.size(), false);
  bool any = false;
  ForEachLineIn(profile, section, [&](size_t i, const ParsedLine& parsed) {
    if (parsed.kind == LineKind::kKey && NamesEqual(parsed.name, key)) doomed[i] = any = true;
  });
  if (!any) return false;
  std::vector<Line> kept;
  for (size_t i = 0; i < profile.lines.size(); ++i) {
    if (!doomed[i]) kept.push_back(std::move(profile.lines[i]));
  }
  profile.lines = std::move(kept);
  return true;
}

bool DeleteSection(Profile& profile, std::u16string_view section) {
  std::vector<Line> kept;
  bool inside = false, any = false;
  for (Line& line : profile.lines) {
    const ParsedLine parsed = ParseLine(line.text);
    if (parsed.kind == LineKind::kSection) inside = NamesEqual(parsed.name, section);
    if (inside) {
      any = true;
    } else {
      kept.push_back(std::move(line));
    }
  }
  profile.lines = std::move(kept);
  return any;
}

// ---- Saving ------------------------------------------------------------------------------------

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a write replaces: symbolic links are followed, so that a linked settings file stays
// a link and its target receives the content. False (errno set) on a loop.
bool FollowLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = readlink(path.c_str(), target.data(), target.size());
    if (n < 0) return false;
    target.resize(static_cast<size_t>(n));
    path = target.starts_with('/') ? target : FolderOf(path) + '/' + target;
  }
  errno = ELOOP;
  return false;
}

std::string Serialize(const Profile& profile) {
  std::string bytes;
  if (profile.encoding == Encoding::kUtf8Bom) bytes = "\xEF\xBB\xBF";
  if (profile.encoding == Encoding::kUtf16LeBom) bytes = "\xFF\xFE";
  for (const Line& line : profile.lines) bytes += line.raw + line.ending;
  return bytes + profile.trailer;
}

mode_t ProcessUmask() {
  mode_t mask = 022;
  if (FILE* status = fopen("/proc/self/status", "re")) {
    char row[256];
    unsigned value = 0;
    while (fgets(row, sizeof row, status)) {
      if (sscanf(row, "Umask: %o", &value) == 1) {
        mask = static_cast<mode_t>(value);
        break;
      }
    }
    fclose(status);
  }
  return mask;
}

// The new file gets the old one's permissions (and owner, where allowed); a new settings file
// gets what creating it directly would have given.
bool CopyPermissions(int fd, const std::string& target) {
  struct stat st;
  if (stat(target.c_str(), &st) != 0) return fchmod(fd, 0666 & ~ProcessUmask()) == 0;
  // The old owner stays where we may set it; otherwise the file is ours, as mkstemp made it.
  if (fchown(fd, st.st_uid, st.st_gid) != 0) errno = 0;
  return fchmod(fd, st.st_mode & 07777) == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the rename is done; a folder that cannot be synced is no reason to fail
  close(fd);
}

// Writes the whole new content to a temporary file beside the target, makes it durable and
// renames it over the target. On failure the temporary file is removed, the target is left as
// it was, and the last error is set.
bool SaveProfile(std::string target, const Profile& profile) {
  if (!FollowLinks(target)) {
    SetLastErrorFromErrno(errno, target);
    return false;
  }
  const std::string folder = FolderOf(target);
  std::string name = target.substr(target.rfind('/') + 1);
  std::string temp = folder + "/." + name.substr(0, 64) + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    SetLastErrorFromErrno(errno, target);
    return false;
  }
  bool ok = WriteAll(fd, Serialize(profile)) && CopyPermissions(fd, target) && fsync(fd) == 0;
  int err = errno;
  if (close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && rename(temp.c_str(), target.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    unlink(temp.c_str());
    SetLastErrorFromErrno(err, target);
    return false;
  }
  SyncFolder(folder);
  return true;
}

// ---- The API helpers ---------------------------------------------------------------------------

std::mutex& WriteLock() {
  static std::mutex* lock = new std::mutex;  // never destroyed: writes may run during exit
  return *lock;
}

// Loads the file for a read; a missing or unusable file reads as empty.
void LoadForReading(LPCWSTR fileName, Profile& profile) {
  const std::string path = ResolvePath(fileName);
  if (path.empty() || LoadProfile(path, profile) != ERROR_SUCCESS) {
    profile = Profile{};
    SetLastError(ERROR_FILE_NOT_FOUND);
    return;
  }
  SetLastError(ERROR_SUCCESS);
}

DWORD CopyString(std::u16string_view text, LPWSTR out, DWORD size) {
  const size_t count = text.size() < size ? text.size() : size - 1;
  text.copy(out, count);
  out[count] = 0;
  if (count < text.size()) SetLastError(ERROR_MORE_DATA);
  return static_cast<DWORD>(count);
}

// Names as a list: each one terminated, and a final extra terminator. When it does not fit,
// the list is cut to size - 2 units and ends in two terminators.
DWORD CopyList(const std::vector<std::u16string>& names, LPWSTR out, DWORD size) {
  std::u16string list;
  for (const std::u16string& name : names) {
    list += name;
    list += u'\0';
  }
  if (list.size() + 1 <= size) {
    list.copy(out, list.size());
    out[list.size()] = 0;
    if (list.empty() && size >= 2) out[1] = 0;
    return static_cast<DWORD>(list.size());
  }
  if (size < 2) {
    out[0] = 0;
    return 0;
  }
  list.copy(out, size - 2);
  out[size - 2] = out[size - 1] = 0;
  SetLastError(ERROR_MORE_DATA);
  return size - 2;
}

// Windows' reading of an integer value: blanks, an optional '-', then decimal digits or a
// "0x" hex number; the rest is ignored, and no digits at all read as 0. Overflow wraps.
UINT ParseProfileInt(std::u16string_view value) {
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  const bool negative = i < value.size() && value[i] == u'-';
  if (negative) ++i;
  uint32_t result = 0;
  if (i + 1 < value.size() && value[i] == u'0' && (value[i + 1] == u'x' || value[i + 1] == u'X')) {
    for (i += 2; i < value.size() && iswxdigit(value[i]); ++i) {
      const char16_t c = towlower(value[i]);
      result = result * 16 + static_cast<uint32_t>(c <= u'9' ? c - u'0' : c - u'a' + 10);
    }
  } else {
    for (; i < value.size() && value[i] >= u'0' && value[i] <= u'9'; ++i) {
      result = result * 10 + static_cast<uint32_t>(value[i] - u'0');
    }
  }
  return negative ? 0u - result : result;
}

// Names a write would store so that they no longer read back as themselves (or at all) are
// refused rather than written.
bool IsWritableSection(std::u16string_view name) {
  return name.find_first_of(u"]\r\n") == std::u16string_view::npos;
}

bool IsWritableKey(std::u16string_view name) {
  return !name.empty() && name.front() != u'[' && name.front() != u';' &&
         name.find_first_of(u"=\r\n") == std::u16string_view::npos;
}

}  // namespace
}  // namespace umbra::kernel

using namespace umbra::kernel;

// ---- The API -------------------------------------------------------------------------------------

DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
  if (!lpReturnedString || nSize == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The default is copied first (the caller may pass the output buffer as the default), without
  // its trailing blanks.
  std::u16string fallback(lpDefault ? lpDefault : u"");
  while (!fallback.empty() && IsBlank(fallback.back())) fallback.pop_back();
  Profile profile;
  LoadForReading(lpFileName, profile);
  if (!lpAppName) return CopyList(SectionNames(profile), lpReturnedString, nSize);
  if (!lpKeyName) return CopyList(KeyNames(profile, Trim(lpAppName)), lpReturnedString, nSize);

  const std::optional<size_t> index = FindKeyLine(profile, Trim(lpAppName), Trim(lpKeyName));
  if (!index) return CopyString(fallback, lpReturnedString, nSize);
  return CopyString(Unquote(ParseLine(profile.lines[*index].text).value), lpReturnedString, nSize);
}

UINT WINAPI GetPrivateProfileIntW(LPCWSTR lpAppName, LPCWSTR lpKeyName, INT nDefault, LPCWSTR lpFileName) {
  if (!lpAppName || !lpKeyName) return static_cast<UINT>(nDefault);
  Profile profile;
  LoadForReading(lpFileName, profile);
  const std::optional<size_t> index = FindKeyLine(profile, Trim(lpAppName), Trim(lpKeyName));
  if (!index) return static_cast<UINT>(nDefault);
  const std::u16string_view value = Unquote(ParseLine(profile.lines[*index].text).value);
  return value.empty() ? static_cast<UINT>(nDefault) : ParseProfileInt(value);
}

BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                       LPCWSTR lpFileName) {
  if (!lpAppName && !lpKeyName && !lpString) return TRUE;  // "flush the cache": nothing is cached
  const std::u16string_view section = lpAppName ? Trim(lpAppName) : std::u16string_view();
  const std::u16string_view key = lpKeyName ? Trim(lpKeyName) : std::u16string_view();
  if (!lpAppName || !lpFileName || !IsWritableSection(section) || (lpKeyName && !IsWritableKey(key))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // A value ends at a line break: the rest would land on lines of its own and could pose as
  // other keys or sections.
  std::u16string_view value = lpString ? std::u16string_view(lpString) : std::u16string_view();
  value = value.substr(0, value.find_first_of(u"\r\n"));

  std::lock_guard guard(WriteLock());
  const std::string path = ResolvePath(lpFileName);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  Profile profile;
  const DWORD loadError = LoadProfile(path, profile);
  if (loadError != ERROR_SUCCESS && loadError != ERROR_FILE_NOT_FOUND) {
    SetLastError(loadError);  // an existing file that cannot be read is never replaced
    return FALSE;
  }
  if (loadError == ERROR_FILE_NOT_FOUND) profile = Profile{};  // a new file: UTF-8, CRLF

  bool changed;
  if (!lpKeyName) {
    changed = DeleteSection(profile, section);
  } else if (!lpString) {
    changed = DeleteKey(profile, section, key);
  } else {
    changed = SetValue(profile, section, key, value);
  }
  if (changed && !SaveProfile(path, profile)) return FALSE;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
