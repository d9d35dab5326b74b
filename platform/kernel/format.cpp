// wsprintfW and its bounded shlwapi forms, with Windows's rules: %s and %c take UTF-16,
// %S, %hs, %C and %hc take narrow text in the ANSI code page, integers are 32-bit unless I64.
// One formatter serves all four entry points; it never writes past the buffer it is given.
#include <shlwapi.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// user32 documents that wsprintfW writes at most 1024 units, terminator included.
constexpr size_t kWsprintfLimit = 1024;

// Collects output into the caller's buffer, dropping whatever does not fit.
class Output {
 public:
  // capacity counts units before the terminator, which always has room after them.
  Output(char16_t* dest, size_t capacity) : m_dest(dest), m_capacity(capacity) {}

  void Put(char16_t c) {
    if (m_length < m_capacity) m_dest[m_length++] = c;
  }
  void Put(const char16_t* s, size_t n) {
    for (size_t i = 0; i < n && m_length < m_capacity; ++i) m_dest[m_length++] = s[i];
  }
  void Repeat(char16_t c, size_t n) {
    for (size_t i = 0; i < n && m_length < m_capacity; ++i) m_dest[m_length++] = c;
  }
  bool Full() const { return m_length >= m_capacity; }

  int Finish() {
    m_dest[m_length] = 0;
    return static_cast<int>(m_length);
  }

 private:
  char16_t* m_dest;
  size_t m_capacity;
  size_t m_length = 0;
};

enum class ArgSize { kDefault, kShort, kLong, kInt64 };

// One conversion: %[-][#][0][width][.precision][size]type.
struct Conversion {
  bool leftAlign = false;
  bool alternate = false;
  bool zeroPad = false;
  bool hasStar = false;  // wsprintf takes no '*' width; such a conversion is copied through as text
  size_t width = 0;
  int precision = -1;
  ArgSize size = ArgSize::kDefault;
  char16_t type = 0;
};

// Widths beyond the largest output are all the same; capping keeps the arithmetic safe.
constexpr size_t kMaxWidth = kWsprintfLimit * 64;

size_t ReadCount(const char16_t*& p, Conversion& conv) {
  size_t n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) n = std::min(n * 10 + (*p - '0'), kMaxWidth);
  if (*p == '*') {
    conv.hasStar = true;
    ++p;
  }
  return n;
}

// Parses the conversion after '%'; p ends on the type character (or on the terminator).
Conversion ParseConversion(const char16_t*& p) {
  Conversion conv;
  for (;; ++p) {
    if (*p == '-') {
      conv.leftAlign = true;
    } else if (*p == '#') {
      conv.alternate = true;
    } else if (*p == '0') {
      conv.zeroPad = true;
    } else {
      break;
    }
  }
  conv.width = ReadCount(p, conv);
  if (*p == '.') {
    ++p;
    conv.precision = static_cast<int>(ReadCount(p, conv));
  }
  if (*p == 'h') {
    conv.size = ArgSize::kShort;
    ++p;
  } else if (*p == 'l') {
    conv.size = ArgSize::kLong;
    ++p;
  } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
    conv.size = ArgSize::kInt64;
    p += 3;
  }
  conv.type = *p;
  return conv;
}

class Formatter {
 public:
  Formatter(Output& out, va_list* args) : m_out(out), m_args(args) {}

  void Run(const char16_t* fmt) {
    for (const char16_t* p = fmt; *p && !m_out.Full(); ++p) {
      if (*p != '%') {
        m_out.Put(*p);
        continue;
      }
      const char16_t* start = p++;
      const Conversion conv = ParseConversion(p);
      if (!conv.type) return;  // the format ended inside a conversion
      if (conv.hasStar) {
        m_out.Put(start, static_cast<size_t>(p - start) + 1);
      } else {
        Convert(conv);
      }
    }
  }

 private:
  void Convert(const Conversion& conv) {
    switch (conv.type) {
      case 'd':
      case 'i':
        return Signed(conv);
      case 'u':
      case 'x':
      case 'X':
        return Unsigned(conv, Next<unsigned>(conv));
      case 'p':
        return Pointer(conv);
      case 'c':
      case 'C':
        return Char(conv);
      case 's':
      case 'S':
        return String(conv);
      default:
        // Unknown types, '%' among them, stand for themselves.
        return m_out.Put(conv.type);
    }
  }

  // Reads an integer argument: 64 bits with I64, else 32.
  template <typename T32>
  unsigned long long Next(const Conversion& conv) {
    if (conv.size == ArgSize::kInt64) return va_arg(*m_args, unsigned long long);
    return static_cast<unsigned long long>(static_cast<T32>(va_arg(*m_args, T32)));
  }

  void Signed(const Conversion& conv) {
    const long long value = static_cast<long long>(Next<int>(conv));
    // Negating in unsigned arithmetic keeps the most negative value intact.
    const unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value) : value;
    Integer(conv, magnitude, value < 0 ? u"-" : u"", 10, false);
  }

  void Unsigned(const Conversion& conv, unsigned long long value) {
    if (conv.type == 'u') return Integer(conv, value, u"", 10, false);
    const bool upper = conv.type == 'X';
    const char16_t* prefix = !conv.alternate ? u"" : upper ? u"0X" : u"0x";
    Integer(conv, value, prefix, 16, upper);
  }

  void Pointer(const Conversion& conv) {
    Conversion hex = conv;
    hex.precision = static_cast<int>(sizeof(void*) * 2);
    hex.alternate = false;
    const auto value = reinterpret_cast<uintptr_t>(va_arg(*m_args, void*));
    Integer(hex, value, u"", 16, true);
  }

  // Sign or prefix, then zeros up to the precision (minimum digits) or, with '0', the width.
  void Integer(const Conversion& conv, unsigned long long value, const char16_t* prefix, unsigned base,
               bool upper) {
    char16_t digits[64];
    size_t count = 0;
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    for (unsigned long long v = value; v; v /= base) digits[count++] = alphabet[v % base];
    if (value == 0 && conv.precision != 0) digits[count++] = '0';

    const size_t prefixLength = std::char_traits<char16_t>::length(prefix);
    size_t zeros = conv.precision > static_cast<int>(count) ? conv.precision - count : 0;
    const size_t body = prefixLength + zeros + count;
    const bool padWithZeros = conv.zeroPad && !conv.leftAlign && conv.precision < 0;
    if (padWithZeros && conv.width > body) zeros += conv.width - body;
    const size_t padding =
        conv.width > prefixLength + zeros + count ? conv.width - (prefixLength + zeros + count) : 0;

    if (!conv.leftAlign) m_out.Repeat(' ', padding);
    m_out.Put(prefix, prefixLength);
    m_out.Repeat('0', zeros);
    while (count) m_out.Put(digits[--count]);
    if (conv.leftAlign) m_out.Repeat(' ', padding);
  }

  // In the wide functions %c and %lc are a WCHAR; %C and %hc a narrow char.
  static bool IsNarrow(const Conversion& conv) {
    if (conv.size == ArgSize::kShort) return true;
    if (conv.size == ArgSize::kLong) return false;
    return conv.type == 'C' || conv.type == 'S';
  }

  void Char(Conversion conv) {
    conv.precision = -1;  // a precision does not apply to characters
    const int arg = va_arg(*m_args, int);
    if (!IsNarrow(conv)) {
      const char16_t c = static_cast<char16_t>(arg);
      return Padded(conv, &c, 1);
    }
    const char narrow = static_cast<char>(arg);
    char16_t c = 0;
    if (narrow && MultiByteToWideChar(CP_ACP, 0, &narrow, 1, &c, 1) != 1) c = 0xFFFD;
    Padded(conv, &c, 1);
  }

  void String(const Conversion& conv) {
    static constexpr char16_t kNull[] = u"(null)";
    if (!IsNarrow(conv)) {
      const char16_t* s = va_arg(*m_args, const char16_t*);
      if (!s) s = kNull;
      // With a precision the string need not be terminated within it.
      const size_t length = conv.precision >= 0 ? wcsnlen(s, conv.precision) : wcslen(s);
      return Padded(conv, s, length);
    }
    const char* s = va_arg(*m_args, const char*);
    if (!s) return Padded(conv, kNull, std::char_traits<char16_t>::length(kNull));
    const size_t bytes = conv.precision >= 0 ? strnlen(s, conv.precision) : strlen(s);
    const std::u16string wide = Widen(s, bytes);
    Padded(conv, wide.data(), wide.size());
  }

  static std::u16string Widen(const char* s, size_t bytes) {
    std::u16string wide;
    const int length = static_cast<int>(std::min<size_t>(bytes, kWsprintfLimit * 4));
    if (length == 0) return wide;
    const int needed = MultiByteToWideChar(CP_ACP, 0, s, length, nullptr, 0);
    if (needed <= 0) return wide;
    wide.resize(needed);
    wide.resize(std::max(0, MultiByteToWideChar(CP_ACP, 0, s, length, wide.data(), needed)));
    return wide;
  }

  // Text with its precision (maximum units) and width (space padding) applied.
  void Padded(const Conversion& conv, const char16_t* s, size_t length) {
    if (conv.precision >= 0) length = std::min(length, static_cast<size_t>(conv.precision));
    const size_t padding = conv.width > length ? conv.width - length : 0;
    if (!conv.leftAlign) m_out.Repeat(' ', padding);
    m_out.Put(s, length);
    if (conv.leftAlign) m_out.Repeat(' ', padding);
  }

  Output& m_out;
  va_list* m_args;
};

// Formats into dest, which holds cchDest units; returns the units written before the terminator.
int Format(char16_t* dest, size_t cchDest, const char16_t* fmt, va_list args) {
  Output out(dest, cchDest - 1);
  if (fmt) {
    va_list copy;
    va_copy(copy, args);
    Formatter(out, &copy).Run(fmt);
    va_end(copy);
  }
  return out.Finish();
}

}  // namespace

int WINAPI wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
  if (!lpOut) return 0;
  return Format(lpOut, kWsprintfLimit, lpFmt, arglist);
}

int WINAPIV wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
  va_list args;
  va_start(args, lpFmt);
  const int written = wvsprintfW(lpOut, lpFmt, args);
  va_end(args);
  return written;
}

int WINAPI wvnsprintfW(LPWSTR pszDest, int cchDest, LPCWSTR pszFmt, va_list arglist) {
  if (!pszDest || cchDest <= 0) return -1;
  return Format(pszDest, static_cast<size_t>(cchDest), pszFmt, arglist);
}

int WINAPIV wnsprintfW(LPWSTR pszDest, int cchDest, LPCWSTR pszFmt, ...) {
  va_list args;
  va_start(args, pszFmt);
  const int written = wvnsprintfW(pszDest, cchDest, pszFmt, args);
  va_end(args);
  return written;
}
