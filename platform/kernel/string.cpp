// UTF-16 string functions: the C run-time's wide functions (wcs16.h), kernel32's lstr*W and
// user32's Char*W / IsChar*W.
//
// Sections: Unicode classes and case mapping; wcs* functions; number conversions; lstr*W;
// Char*W.
#include <locale.h>
#include <wctype.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>

namespace {

// ---- Unicode classes and case mapping ------------------------------------------------------

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Character data comes from glibc's C.UTF-8 locale, made once, so results never depend on the
// locale the process happens to run in. Without it we fall back to ASCII rules.
struct UnicodeCtype {
  locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  wctype_t combining = locale ? wctype_l("combining", locale) : 0;
};

const UnicodeCtype& Ctype() {
  static const UnicodeCtype ctype;
  return ctype;
}

bool AsciiAlpha(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool AsciiDigit(char32_t c) { return c >= '0' && c <= '9'; }

// Runs a class test on a code point; surrogate halves belong to no class.
template <typename LocaleTest, typename AsciiTest>
int Classify(char32_t c, LocaleTest localeTest, AsciiTest asciiTest) {
  if (IsSurrogate(c)) return 0;
  const locale_t loc = Ctype().locale;
  if (loc) return localeTest(static_cast<wint_t>(c), loc) ? 1 : 0;
  return c < 0x80 && asciiTest(c) ? 1 : 0;
}

// Simple (one-to-one) case mapping that stays within a single UTF-16 unit.
template <typename LocaleMap>
char16_t MapCase(char16_t c, LocaleMap localeMap, char16_t asciiFrom, char16_t asciiTo) {
  if (IsSurrogate(c)) return c;
  const locale_t loc = Ctype().locale;
  if (!loc) return c >= asciiFrom && c <= asciiTo ? static_cast<char16_t>(c ^ 0x20) : c;
  const wint_t mapped = localeMap(static_cast<wint_t>(c), loc);
  if (mapped > 0xFFFF || IsSurrogate(mapped)) return c;
  return static_cast<char16_t>(mapped);
}

// Combining marks belong to the character before them.
bool IsCombiningMark(char32_t c) {
  const UnicodeCtype& ctype = Ctype();
  if (!ctype.locale || !ctype.combining) return false;
  return iswctype_l(static_cast<wint_t>(c), ctype.combining, ctype.locale) != 0;
}

template <typename Map>
void MapString(char16_t* s, size_t n, Map map) {
  for (size_t i = 0; i < n; ++i) s[i] = map(s[i]);
}

// ---- Number conversions ---------------------------------------------------------------------

int DigitValue(char16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

struct ParsedNumber {
  uint64_t magnitude = 0;  // capped just above 0xFFFFFFFF, enough to detect 32-bit overflow
  bool negative = false;
  bool overflow = false;
  const char16_t* end = nullptr;  // first unread character; the start when nothing was read
};

constexpr uint64_t kMagnitudeCap = 0x100000000ULL;

// The shared part of wcstol and wcstoul: blanks, sign, base prefix and digits.
ParsedNumber ParseNumber(const char16_t* s, int base) {
  ParsedNumber result;
  result.end = s;
  if (!s || base < 0 || base == 1 || base > 36) return result;
  const char16_t* p = s;
  while (iswspace(*p)) ++p;
  if (*p == '+' || *p == '-') result.negative = *p++ == '-';
  // "0x" counts as a prefix only when a hex digit follows; otherwise the "0" alone is the number.
  const bool hexPrefix = p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && DigitValue(p[2]) < 16;
  if ((base == 0 || base == 16) && hexPrefix) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = p[0] == '0' ? 8 : 10;
  }
  const char16_t* digits = p;
  for (int d; (d = DigitValue(*p)) < base; ++p) {
    result.magnitude = result.magnitude * base + d;
    if (result.magnitude >= kMagnitudeCap) {
      result.magnitude = kMagnitudeCap;
      result.overflow = true;
    }
  }
  if (p != digits) result.end = p;
  return result;
}

void SetEnd(char16_t** endPtr, const char16_t* end) {
  if (endPtr) *endPtr = const_cast<char16_t*>(end);
}

// ---- Comparisons ----------------------------------------------------------------------------

int Sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

// ---- Character classes (wcs16.h) ------------------------------------------------------------

int iswalnum(char16_t c) {
  return Classify(c, iswalnum_l, [](char32_t ch) { return AsciiAlpha(ch) || AsciiDigit(ch); });
}
int iswalpha(char16_t c) { return Classify(c, iswalpha_l, AsciiAlpha); }
int iswdigit(char16_t c) { return Classify(c, iswdigit_l, AsciiDigit); }
int iswxdigit(char16_t c) {
  return Classify(c, iswxdigit_l,
                  [](char32_t ch) { return AsciiDigit(ch) || ((ch | 0x20) >= 'a' && (ch | 0x20) <= 'f'); });
}
int iswspace(char16_t c) {
  return Classify(c, iswspace_l, [](char32_t ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); });
}
int iswupper(char16_t c) {
  return Classify(c, iswupper_l, [](char32_t ch) { return ch >= 'A' && ch <= 'Z'; });
}
int iswlower(char16_t c) {
  return Classify(c, iswlower_l, [](char32_t ch) { return ch >= 'a' && ch <= 'z'; });
}
int iswpunct(char16_t c) {
  return Classify(c, iswpunct_l,
                  [](char32_t ch) { return ch > ' ' && ch < 0x7F && !AsciiAlpha(ch) && !AsciiDigit(ch); });
}
char16_t towlower(char16_t c) { return MapCase(c, towlower_l, u'A', u'Z'); }
char16_t towupper(char16_t c) { return MapCase(c, towupper_l, u'a', u'z'); }

// ---- wcs* functions -------------------------------------------------------------------------

size_t wcslen(const char16_t* s) {
  const char16_t* p = s;
  while (*p) ++p;
  return static_cast<size_t>(p - s);
}

size_t wcsnlen(const char16_t* s, size_t maxLen) {
  size_t n = 0;
  while (n < maxLen && s[n]) ++n;
  return n;
}

char16_t* wcscpy(char16_t* dst, const char16_t* src) {
  char16_t* d = dst;
  while ((*d++ = *src++)) {
  }
  return dst;
}

char16_t* wcsncpy(char16_t* dst, const char16_t* src, size_t n) {
  size_t i = 0;
  for (; i < n && src[i]; ++i) dst[i] = src[i];
  for (; i < n; ++i) dst[i] = 0;
  return dst;
}

char16_t* wcscat(char16_t* dst, const char16_t* src) {
  wcscpy(dst + wcslen(dst), src);
  return dst;
}

char16_t* wcsncat(char16_t* dst, const char16_t* src, size_t n) {
  char16_t* d = dst + wcslen(dst);
  size_t i = 0;
  for (; i < n && src[i]; ++i) d[i] = src[i];
  d[i] = 0;
  return dst;
}

int wcscmp(const char16_t* a, const char16_t* b) { return wcsncmp(a, b, SIZE_MAX); }

int wcsncmp(const char16_t* a, const char16_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    if (!a[i]) break;
  }
  return 0;
}

int _wcsicmp(const char16_t* a, const char16_t* b) { return _wcsnicmp(a, b, SIZE_MAX); }

int _wcsnicmp(const char16_t* a, const char16_t* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const char16_t la = towlower(a[i]);
    const char16_t lb = towlower(b[i]);
    if (la != lb) return static_cast<int>(la) - static_cast<int>(lb);
    if (!la) break;
  }
  return 0;
}

const char16_t* wcschr(const char16_t* s, char16_t c) {
  for (;; ++s) {
    if (*s == c) return s;
    if (!*s) return nullptr;
  }
}

char16_t* wcschr(char16_t* s, char16_t c) {
  return const_cast<char16_t*>(wcschr(static_cast<const char16_t*>(s), c));
}

const char16_t* wcsrchr(const char16_t* s, char16_t c) {
  const char16_t* found = nullptr;
  for (;; ++s) {
    if (*s == c) found = s;
    if (!*s) return found;
  }
}

char16_t* wcsrchr(char16_t* s, char16_t c) {
  return const_cast<char16_t*>(wcsrchr(static_cast<const char16_t*>(s), c));
}

const char16_t* wcsstr(const char16_t* s, const char16_t* find) {
  const size_t n = wcslen(find);
  if (n == 0) return s;
  for (; *s; ++s) {
    if (*s == *find && wcsncmp(s, find, n) == 0) return s;
  }
  return nullptr;
}

char16_t* wcsstr(char16_t* s, const char16_t* find) {
  return const_cast<char16_t*>(wcsstr(static_cast<const char16_t*>(s), find));
}

char16_t* _wcslwr(char16_t* s) {
  MapString(s, wcslen(s), [](char16_t c) { return towlower(c); });
  return s;
}

char16_t* _wcsupr(char16_t* s) {
  MapString(s, wcslen(s), [](char16_t c) { return towupper(c); });
  return s;
}

// ---- Number conversions ---------------------------------------------------------------------
// Results saturate at the limits of Windows's 32-bit long, not Linux's 64-bit one.

long wcstol(const char16_t* s, char16_t** endPtr, int base) {
  constexpr uint64_t kMaxPositive = 0x7FFFFFFF, kMaxNegative = 0x80000000;
  const ParsedNumber n = ParseNumber(s, base);
  SetEnd(endPtr, n.end);
  const uint64_t limit = n.negative ? kMaxNegative : kMaxPositive;
  if (n.overflow || n.magnitude > limit) {
    errno = ERANGE;
    return n.negative ? -static_cast<long>(kMaxNegative) : static_cast<long>(kMaxPositive);
  }
  const long value = static_cast<long>(n.magnitude);
  return n.negative ? -value : value;
}

unsigned long wcstoul(const char16_t* s, char16_t** endPtr, int base) {
  const ParsedNumber n = ParseNumber(s, base);
  SetEnd(endPtr, n.end);
  if (n.overflow) {
    errno = ERANGE;
    return 0xFFFFFFFFUL;
  }
  // As in C, a minus sign negates in the unsigned type.
  const uint32_t value = static_cast<uint32_t>(n.magnitude);
  return n.negative ? static_cast<uint32_t>(0u - value) : value;
}

int _wtoi(const char16_t* s) { return static_cast<int>(wcstol(s, nullptr, 10)); }

long _wtol(const char16_t* s) { return wcstol(s, nullptr, 10); }

// ---- lstr*W ---------------------------------------------------------------------------------
// Null arguments do not crash, as kernel32 guards them too.

int WINAPI lstrlenW(LPCWSTR lpString) { return lpString ? static_cast<int>(wcslen(lpString)) : 0; }

LPWSTR WINAPI lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  return wcscpy(lpString1, lpString2);
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (!lpString1 || !lpString2) return nullptr;
  if (iMaxLength <= 0) return lpString1;
  int i = 0;
  for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

LPWSTR WINAPI lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return nullptr;
  return wcscat(lpString1, lpString2);
}

// Windows compares linguistically (CompareStringW); we compare ordinally by UTF-16 unit, which
// agrees on equality and on ASCII order of letters but not on punctuation or accented letters.
// A null string sorts before every other string.
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return Sign(!!lpString1 - !!lpString2);
  return Sign(wcscmp(lpString1, lpString2));
}

int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
  if (!lpString1 || !lpString2) return Sign(!!lpString1 - !!lpString2);
  return Sign(_wcsicmp(lpString1, lpString2));
}

// ---- Char*W ---------------------------------------------------------------------------------
// A character is one UTF-16 unit or a surrogate pair, together with the combining marks that
// follow it, so that stepping never splits what the user sees as one character.

namespace {

// The code point starting at s (an unpaired surrogate stands for itself) and its unit count.
char32_t CodePointAt(const char16_t* s, int* units) {
  if (IsHighSurrogate(s[0]) && IsLowSurrogate(s[1])) {
    *units = 2;
    return 0x10000 + ((static_cast<char32_t>(s[0]) - 0xD800) << 10) + (s[1] - 0xDC00);
  }
  *units = 1;
  return s[0];
}

}  // namespace

LPWSTR WINAPI CharNextW(LPCWSTR lpsz) {
  if (!lpsz || !*lpsz) return const_cast<LPWSTR>(lpsz);
  int units;
  CodePointAt(lpsz, &units);
  const char16_t* p = lpsz + units;
  while (*p) {
    const char32_t c = CodePointAt(p, &units);
    if (!IsCombiningMark(c)) break;
    p += units;
  }
  return const_cast<LPWSTR>(p);
}

LPWSTR WINAPI CharPrevW(LPCWSTR lpszStart, LPCWSTR lpszCurrent) {
  if (!lpszStart || !lpszCurrent || lpszCurrent <= lpszStart) return const_cast<LPWSTR>(lpszStart);
  const char16_t* p = lpszCurrent;
  // Step back one code point at a time while the one stepped over is a combining mark.
  while (p > lpszStart) {
    --p;
    if (p > lpszStart && IsLowSurrogate(*p) && IsHighSurrogate(p[-1])) --p;
    int units;
    if (!IsCombiningMark(CodePointAt(p, &units))) break;
  }
  return const_cast<LPWSTR>(p);
}

namespace {

// A pointer whose high-order word is zero carries a single character in its low word.
template <typename Map>
LPWSTR MapCharOrString(LPWSTR lpsz, Map map) {
  const auto value = reinterpret_cast<ULONG_PTR>(lpsz);
  if (HIWORD(value) == 0) return reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(map(LOWORD(value))));
  MapString(lpsz, wcslen(lpsz), map);
  return lpsz;
}

}  // namespace

LPWSTR WINAPI CharLowerW(LPWSTR lpsz) {
  return MapCharOrString(lpsz, [](char16_t c) { return towlower(c); });
}

LPWSTR WINAPI CharUpperW(LPWSTR lpsz) {
  return MapCharOrString(lpsz, [](char16_t c) { return towupper(c); });
}

DWORD WINAPI CharLowerBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  MapString(lpsz, cchLength, [](char16_t c) { return towlower(c); });
  return cchLength;
}

DWORD WINAPI CharUpperBuffW(LPWSTR lpsz, DWORD cchLength) {
  if (!lpsz) return 0;
  MapString(lpsz, cchLength, [](char16_t c) { return towupper(c); });
  return cchLength;
}

BOOL WINAPI IsCharAlphaW(WCHAR ch) { return iswalpha(ch) ? TRUE : FALSE; }
BOOL WINAPI IsCharAlphaNumericW(WCHAR ch) { return iswalnum(ch) ? TRUE : FALSE; }
BOOL WINAPI IsCharUpperW(WCHAR ch) { return iswupper(ch) ? TRUE : FALSE; }
BOOL WINAPI IsCharLowerW(WCHAR ch) { return iswlower(ch) ? TRUE : FALSE; }
