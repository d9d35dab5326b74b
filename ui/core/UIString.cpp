#include "ui/core/UIString.h"

#include <shlwapi.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Umbra {
namespace {

// Texts of this many characters or more go to the heap.
constexpr size_t kHeapThreshold = CUIString::kInlineUnits - 1;

LPCWSTR OrEmpty(LPCWSTR text) { return text ? text : TEXT(""); }

// Callers assume string storage never fails; stop loudly rather than write through null.
[[noreturn]] void Fail(const char* what, size_t units) {
  std::fprintf(stderr, "Umbra::CUIString: %s (%zu characters)\n", what, units);
  std::abort();
}

// Lengths are ints throughout the library; anything longer cannot be represented.
size_t CheckedLength(size_t units) {
  if (units > static_cast<size_t>(INT_MAX)) Fail("text too long", units);
  return units;
}

LPWSTR Reallocate(LPWSTR buffer, size_t units) {
  void* grown = std::realloc(buffer, (units + 1) * sizeof(WCHAR));
  if (!grown) Fail("out of memory", units);
  return static_cast<LPWSTR>(grown);
}

bool IsWithin(LPCWSTR p, LPCWSTR first, LPCWSTR last) {
  const auto at = reinterpret_cast<uintptr_t>(p);
  return at >= reinterpret_cast<uintptr_t>(first) && at <= reinterpret_cast<uintptr_t>(last);
}

}  // namespace

CUIString::CUIString() : m_data(m_inline) { m_inline[0] = 0; }

CUIString::CUIString(WCHAR ch) : m_data(m_inline) {
  m_inline[0] = ch;
  m_inline[1] = 0;
}

CUIString::CUIString(LPCWSTR text, int length) : m_data(m_inline) {
  m_inline[0] = 0;
  Assign(text, length);
}

CUIString::CUIString(const CUIString& src) : m_data(m_inline) {
  m_inline[0] = 0;
  Assign(src.m_data);
}

CUIString::~CUIString() { UseInline(); }

CUIString& CUIString::operator=(const CUIString& src) {
  if (this != &src) Assign(src.m_data);
  return *this;
}

CUIString& CUIString::operator=(LPCWSTR text) {
  Assign(text);
  return *this;
}

CUIString& CUIString::operator=(WCHAR ch) {
  const WCHAR text[2] = {ch, 0};
  Assign(text);
  return *this;
}

CUIString& CUIString::operator+=(const CUIString& src) {
  Append(src.m_data);
  return *this;
}

CUIString& CUIString::operator+=(LPCWSTR text) {
  Append(text);
  return *this;
}

CUIString& CUIString::operator+=(WCHAR ch) {
  Append(ch);
  return *this;
}

CUIString CUIString::operator+(const CUIString& src) const { return Concat(src.m_data); }

CUIString CUIString::operator+(LPCWSTR text) const { return Concat(text); }

bool CUIString::operator==(const CUIString& other) const { return Equals(other.m_data); }

bool CUIString::operator==(LPCWSTR text) const { return Equals(text); }

// A pointer into our own storage would dangle once the buffer is freed or moved.
bool CUIString::PointsIntoSelf(LPCWSTR text) const {
  if (IsWithin(text, m_inline, m_inline + kInlineUnits - 1)) return true;
  return !UsesInline() && IsWithin(text, m_data, m_data + wcslen(m_data));
}

void CUIString::UseInline() {
  if (!UsesInline()) std::free(m_data);
  m_data = m_inline;
}

void CUIString::Assign(LPCWSTR text, int length) {
  text = OrEmpty(text);
  if (PointsIntoSelf(text)) {
    const CUIString copy(text, length);
    Assign(copy.m_data, length);
    return;
  }
  const size_t n = length < 0 ? CheckedLength(wcslen(text)) : static_cast<size_t>(length);
  if (n < kHeapThreshold) {
    UseInline();
  } else if (UsesInline() || wcslen(m_data) < n) {
    // A heap buffer already holding n characters is reused without shrinking.
    m_data = Reallocate(UsesInline() ? nullptr : m_data, n);
  }
  const size_t copied = wcsnlen(text, n);
  std::memcpy(m_data, text, copied * sizeof(WCHAR));
  std::memset(m_data + copied, 0, (n - copied + 1) * sizeof(WCHAR));
}

void CUIString::Append(LPCWSTR text) {
  if (!text || !text[0]) return;
  if (PointsIntoSelf(text)) {
    const CUIString copy(text);
    Append(copy.m_data);
    return;
  }
  const size_t current = wcslen(m_data);
  const size_t added = wcslen(text);
  const size_t total = CheckedLength(current + added);
  if (total >= kHeapThreshold) {
    // Exactly the new size: every growing append reallocates.
    if (UsesInline()) {
      m_data = Reallocate(nullptr, total);
      std::memcpy(m_data, m_inline, (current + 1) * sizeof(WCHAR));
    } else {
      m_data = Reallocate(m_data, total);
    }
  }
  std::memcpy(m_data + current, text, (added + 1) * sizeof(WCHAR));
}

void CUIString::Append(WCHAR ch) {
  const WCHAR text[2] = {ch, 0};
  Append(text);
}

void CUIString::Append(const CUIString& src) { Append(src.m_data); }

void CUIString::Empty() {
  UseInline();
  m_inline[0] = 0;
}

int CUIString::GetLength() const { return static_cast<int>(wcslen(m_data)); }

int CUIString::Compare(LPCWSTR text) const { return wcscmp(m_data, OrEmpty(text)); }

bool CUIString::Equals(LPCWSTR text) const { return Compare(text) == 0; }

void CUIString::MakeLower() {
  for (LPWSTR p = m_data; *p; ++p) *p = towlower(*p);
}

int CUIString::Find(WCHAR ch, int start) const {
  const int length = GetLength();
  if (start != 0 && (start < 0 || start >= length)) return -1;
  for (int i = start; i < length; ++i) {
    if (m_data[i] == ch) return i;
  }
  return -1;
}

int CUIString::Find(LPCWSTR text, int start) const {
  const int length = GetLength();
  if (start != 0 && (start < 0 || start > length)) return -1;
  LPCWSTR found = wcsstr(m_data + start, OrEmpty(text));
  return found ? static_cast<int>(found - m_data) : -1;
}

int CUIString::ReverseFind(WCHAR ch) const {
  if (ch == 0) return -1;
  for (int i = GetLength() - 1; i >= 0; --i) {
    if (m_data[i] == ch) return i;
  }
  return -1;
}

CUIString CUIString::Left(int count) const {
  const int length = GetLength();
  if (count < 0) count = 0;
  if (count > length) count = length;
  return CUIString(m_data, count);
}

CUIString CUIString::Mid(int start, int count) const {
  const int length = GetLength();
  // A negative start would read before the text; treat it as the beginning.
  if (start < 0) start = 0;
  if (start >= length) return CUIString();
  const int rest = length - start;
  if (count < 0 || count > rest) count = rest;
  if (count == 0) return CUIString();
  return CUIString(m_data + start, count);
}

CUIString CUIString::Concat(LPCWSTR text) const {
  CUIString result(*this);
  result.Append(text);
  return result;
}

int CUIString::Replace(LPCWSTR oldText, LPCWSTR newText) {
  // An empty pattern matches everywhere and would never finish; it replaces nothing.
  if (!oldText || !oldText[0]) return 0;
  // Own copies: the arguments may point into this string, which changes below.
  const CUIString from(oldText);
  const CUIString to(newText);
  const int fromLength = from.GetLength();
  const int toLength = to.GetLength();
  int count = 0;
  for (int i = Find(from.m_data); i >= 0; i = Find(from.m_data, i + toLength)) {
    *this = Left(i) + to + Mid(i + fromLength);
    ++count;
  }
  return count;
}

int CUIString::Format(LPCWSTR format, ...) {
  WCHAR buffer[kInlineUnits] = {};
  if (format) {
    va_list args;
    va_start(args, format);
    wvnsprintfW(buffer, kInlineUnits, format, args);
    va_end(args);
  }
  buffer[kInlineUnits - 1] = 0;
  Assign(buffer);
  return GetLength();
}

}  // namespace Umbra
