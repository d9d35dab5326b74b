// Code pages: GetACP, MultiByteToWideChar and WideCharToMultiByte. UTF-8 is converted here
// directly into the caller's buffer; every other code page goes through iconv.
//
// Sections: the ANSI code page; iconv names and descriptors; conversions; entry points.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <strings.h>
#include <windows.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/unicode.h"

// Flags Win32 defines that callers may pass for legacy code pages; we accept and ignore them.
#ifndef MB_COMPOSITE
#define MB_COMPOSITE 0x00000002
#endif
#ifndef MB_USEGLYPHCHARS
#define MB_USEGLYPHCHARS 0x00000004
#endif
#ifndef WC_COMPOSITECHECK
#define WC_COMPOSITECHECK 0x00000200
#endif
#ifndef WC_DISCARDNS
#define WC_DISCARDNS 0x00000010
#endif
#ifndef WC_SEPCHARS
#define WC_SEPCHARS 0x00000020
#endif
#ifndef WC_DEFAULTCHAR
#define WC_DEFAULTCHAR 0x00000040
#endif

namespace {

using umbra::kernel::BoundedOutput;

constexpr UINT kGb18030 = 54936;

// ---- Code page names ------------------------------------------------------------------------

struct CodePageName {
  UINT codePage;
  const char* iconvName;
};

// Code pages Windows names by number, with glibc's iconv names. Others are tried as "CP<n>".
constexpr CodePageName kCodePageNames[] = {
    {CP_UTF8, "UTF-8"},     {CP_UTF7, "UTF-7"},     {936, "GBK"},          {kGb18030, "GB18030"},
    {950, "BIG5"},          {932, "CP932"},         {949, "CP949"},        {874, "CP874"},
    {20127, "ASCII"},       {20866, "KOI8-R"},      {21866, "KOI8-U"},     {20932, "EUC-JP"},
    {51932, "EUC-JP"},      {51936, "EUC-CN"},      {51949, "EUC-KR"},     {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"},
};

// Character sets a locale may report, beyond the names above, and their code pages.
constexpr CodePageName kCodesetAliases[] = {
    {936, "GB2312"},
    {936, "EUC-CN"},
    {950, "BIG5-HKSCS"},
    {932, "SHIFT_JIS"},
    {932, "SJIS"},
    {874, "TIS-620"},
    {28591, "ISO8859-1"},
    {20127, "US-ASCII"},
    // glibc's name for plain ASCII, the character set of the C and POSIX locales. Such a
    // locale names no real character set, and we take it to mean UTF-8.
    {CP_UTF8, "ANSI_X3.4-1968"},
};

std::string IconvName(UINT codePage) {
  for (const CodePageName& entry : kCodePageNames) {
    if (entry.codePage == codePage) return entry.iconvName;
  }
  return "CP" + std::to_string(codePage);
}

UINT CodePageOfCodeset(const char* codeset) {
  for (const CodePageName& entry : kCodesetAliases) {
    if (strcasecmp(entry.iconvName, codeset) == 0) return entry.codePage;
  }
  for (const CodePageName& entry : kCodePageNames) {
    if (strcasecmp(entry.iconvName, codeset) == 0) return entry.codePage;
  }
  if (strncasecmp(codeset, "CP", 2) == 0) {
    char* end;
    const unsigned long n = strtoul(codeset + 2, &end, 10);
    if (end != codeset + 2 && !*end && n > 0 && n < 65536) return static_cast<UINT>(n);
  }
  return CP_UTF8;
}

// ---- The ANSI code page ---------------------------------------------------------------------

// The character set of the locale the environment selects, whether or not the program has
// called setlocale.
UINT LocaleCodePage() {
  const locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (!loc) return CP_UTF8;
  const UINT codePage = CodePageOfCodeset(nl_langinfo_l(CODESET, loc));
  freelocale(loc);
  return codePage;
}

// UMBRA_ACP is read on every call, so that it can be changed while the program runs; the
// locale is read once.
UINT AnsiCodePage() {
  if (const char* env = getenv("UMBRA_ACP")) {
    char* end;
    const unsigned long n = strtoul(env, &end, 10);
    if (end != env && !*end && n > 0 && n < 65536) return static_cast<UINT>(n);
  }
  static const UINT localeCodePage = LocaleCodePage();
  return localeCodePage;
}

UINT ResolveCodePage(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP) return AnsiCodePage();
  return codePage;
}

// ---- iconv descriptors ----------------------------------------------------------------------

const char* const kUtf16Native = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

enum class Direction { kToUtf16, kFromUtf16 };

// Descriptors are opened once per thread and code page (iconv state is not shared between
// threads) and closed when the thread ends.
class IconvCache {
 public:
  IconvCache() = default;
  IconvCache(const IconvCache&) = delete;
  IconvCache& operator=(const IconvCache&) = delete;
  ~IconvCache() {
    for (const Entry& entry : m_entries) {
      if (entry.cd != kInvalid) iconv_close(entry.cd);
    }
  }

  // Returns a descriptor in its initial state, or nullptr when iconv does not know the code page.
  iconv_t Get(UINT codePage, Direction direction) {
    for (const Entry& entry : m_entries) {
      if (entry.codePage == codePage && entry.direction == direction) return Reset(entry.cd);
    }
    const std::string name = IconvName(codePage);
    const iconv_t cd = direction == Direction::kToUtf16 ? iconv_open(kUtf16Native, name.c_str())
                                                        : iconv_open(name.c_str(), kUtf16Native);
    m_entries.push_back({codePage, direction, cd});  // failures too, so they are not retried
    return Reset(cd);
  }

 private:
  static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

  struct Entry {
    UINT codePage;
    Direction direction;
    iconv_t cd;
  };

  static iconv_t Reset(iconv_t cd) {
    if (cd == kInvalid) return nullptr;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
  }

  std::vector<Entry> m_entries;
};

thread_local IconvCache t_iconv;

// ---- Conversions ----------------------------------------------------------------------------

// What a conversion produced: the length it needs, or an error code.
struct Converted {
  size_t length = 0;
  DWORD error = ERROR_SUCCESS;
};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Runs iconv over the whole input through a small buffer. onInvalid is called at a sequence
// iconv cannot convert (or an incomplete one at the end); it returns the bytes to skip, or 0
// to give up.
template <typename Unit, typename OnInvalid>
bool RunIconv(iconv_t cd, const char* src, size_t bytes, BoundedOutput<Unit>& sink, OnInvalid onInvalid) {
  char* in = const_cast<char*>(src);
  size_t inLeft = bytes;
  Unit chunk[512];
  while (inLeft > 0) {
    char* out = reinterpret_cast<char*>(chunk);
    size_t outLeft = sizeof(chunk);
    const size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    const int error = errno;
    sink.Put(chunk, (sizeof(chunk) - outLeft) / sizeof(Unit));
    if (result != static_cast<size_t>(-1) || error == E2BIG) continue;
    if (error != EILSEQ && error != EINVAL) return false;
    const size_t skip = onInvalid(in, inLeft);
    if (skip == 0) return false;
    in += skip;
    inLeft -= skip;
  }
  // Ends a stateful encoding with the sequence that returns it to its initial state.
  char* out = reinterpret_cast<char*>(chunk);
  size_t outLeft = sizeof(chunk);
  iconv(cd, nullptr, nullptr, &out, &outLeft);
  sink.Put(chunk, (sizeof(chunk) - outLeft) / sizeof(Unit));
  return true;
}

Converted Utf8ToWide(const char* src, size_t bytes, bool strict, char16_t* dest, size_t capacity) {
  bool malformed = false;
  const size_t length =
      umbra::kernel::Utf8ToUtf16Into(std::string_view(src, bytes), dest, capacity, &malformed);
  if (strict && malformed) return {0, ERROR_NO_UNICODE_TRANSLATION};
  return {length, ERROR_SUCCESS};
}

Converted WideToUtf8(const char16_t* src, size_t count, bool strict, char* dest, size_t capacity) {
  bool malformed = false;
  const size_t length =
      umbra::kernel::Utf16ToUtf8Into(std::u16string_view(src, count), dest, capacity, &malformed);
  if (strict && malformed) return {0, ERROR_NO_UNICODE_TRANSLATION};
  return {length, ERROR_SUCCESS};
}

// Bytes iconv rejects become U+FFFD one at a time, unless the caller asked to fail.
Converted IconvToWide(iconv_t cd, const char* src, size_t bytes, bool strict, char16_t* dest,
                      size_t capacity) {
  BoundedOutput<char16_t> sink(dest, capacity);
  const bool ok = RunIconv(cd, src, bytes, sink, [&](const char*, size_t) -> size_t {
    if (strict) return 0;
    sink.Put(0xFFFD);
    return 1;
  });
  if (!ok) return {0, ERROR_NO_UNICODE_TRANSLATION};
  return {sink.Count(), ERROR_SUCCESS};
}

// A character the code page lacks (or an unpaired surrogate) becomes the default character.
Converted IconvFromWide(iconv_t cd, const char16_t* src, size_t count, bool strict, char defaultChar,
                        BOOL* usedDefault, char* dest, size_t capacity) {
  BoundedOutput<char> sink(dest, capacity);
  const bool ok = RunIconv(cd, reinterpret_cast<const char*>(src), count * sizeof(char16_t), sink,
                           [&](const char* at, size_t left) -> size_t {
                             if (strict || left < sizeof(char16_t)) return 0;
                             sink.Put(defaultChar);
                             *usedDefault = TRUE;
                             char16_t unit[2] = {0, 0};
                             std::memcpy(unit, at, std::min(left, sizeof(unit)));
                             const bool pair =
                                 left >= sizeof(unit) && IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1]);
                             return pair ? sizeof(unit) : sizeof(char16_t);
                           });
  if (!ok) return {0, ERROR_NO_UNICODE_TRANSLATION};
  return {sink.Count(), ERROR_SUCCESS};
}

// Win32's shared ending: a size query returns the size, a short buffer fails.
int Finish(const Converted& converted, int capacity) {
  if (converted.error != ERROR_SUCCESS) {
    SetLastError(converted.error);
    return 0;
  }
  if (converted.length > INT_MAX || (capacity > 0 && converted.length > static_cast<size_t>(capacity))) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return static_cast<int>(converted.length);
}

int Fail(DWORD error) {
  SetLastError(error);
  return 0;
}

}  // namespace

// ---- Entry points ---------------------------------------------------------------------------

UINT WINAPI GetACP(void) { return AnsiCodePage(); }

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && !lpWideCharStr) ||
      static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // With -1 the terminator is converted too, and counted.
  const size_t bytes = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
  const bool strict = (dwFlags & MB_ERR_INVALID_CHARS) != 0;
  const size_t capacity = static_cast<size_t>(cchWideChar);
  const UINT codePage = ResolveCodePage(CodePage);

  if (codePage == CP_UTF8) {
    if (dwFlags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
    return Finish(Utf8ToWide(lpMultiByteStr, bytes, strict, lpWideCharStr, capacity), cchWideChar);
  }
  constexpr DWORD kKnownFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
  if (dwFlags & ~kKnownFlags) return Fail(ERROR_INVALID_FLAGS);
  const iconv_t cd = t_iconv.Get(codePage, Direction::kToUtf16);
  if (!cd) return Fail(ERROR_INVALID_PARAMETER);
  return Finish(IconvToWide(cd, lpMultiByteStr, bytes, strict, lpWideCharStr, capacity), cchWideChar);
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && !lpMultiByteStr) ||
      static_cast<const void*>(lpWideCharStr) == static_cast<const void*>(lpMultiByteStr)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const size_t count = cchWideChar == -1 ? wcslen(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
  const bool strict = (dwFlags & WC_ERR_INVALID_CHARS) != 0;
  const size_t capacity = static_cast<size_t>(cbMultiByte);
  const UINT codePage = ResolveCodePage(CodePage);

  if (codePage == CP_UTF8) {
    if (dwFlags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) return Fail(ERROR_INVALID_FLAGS);
    if (lpDefaultChar || lpUsedDefaultChar) return Fail(ERROR_INVALID_PARAMETER);
    return Finish(WideToUtf8(lpWideCharStr, count, strict, lpMultiByteStr, capacity), cbMultiByte);
  }
  // Only GB18030, which maps every character, may ask to fail on invalid input.
  DWORD knownFlags = WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS;
  if (codePage == kGb18030) knownFlags |= WC_ERR_INVALID_CHARS;
  if (dwFlags & ~knownFlags) return Fail(ERROR_INVALID_FLAGS);
  const iconv_t cd = t_iconv.Get(codePage, Direction::kFromUtf16);
  if (!cd) return Fail(ERROR_INVALID_PARAMETER);
  BOOL usedDefault = FALSE;
  const char defaultChar = lpDefaultChar ? *lpDefaultChar : '?';
  const Converted converted =
      IconvFromWide(cd, lpWideCharStr, count, strict, defaultChar, &usedDefault, lpMultiByteStr, capacity);
  if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault;
  return Finish(converted, cbMultiByte);
}
