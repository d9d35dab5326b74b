#pragma once

#include <windows.h>

namespace Umbra {

// A zero-terminated UTF-16 string. Texts of up to 62 characters live in the object itself, so
// the many short names, attribute values and notification types never touch the heap. No
// length is stored: it is counted up to the terminator. An absent (null) text counts as empty.
class CUIString {
 public:
  // Units of the inline buffer, terminator included.
  static constexpr int kInlineUnits = 64;

  CUIString();
  explicit CUIString(WCHAR ch);
  CUIString(LPCWSTR text, int length = -1);
  CUIString(const CUIString& src);
  ~CUIString();

  CUIString& operator=(const CUIString& src);
  CUIString& operator=(LPCWSTR text);
  CUIString& operator=(WCHAR ch);
  CUIString& operator+=(const CUIString& src);
  CUIString& operator+=(LPCWSTR text);
  CUIString& operator+=(WCHAR ch);
  CUIString operator+(const CUIString& src) const;
  CUIString operator+(LPCWSTR text) const;
  bool operator==(const CUIString& other) const;
  bool operator==(LPCWSTR text) const;
  operator LPCWSTR() const { return m_data; }
  WCHAR operator[](int index) const { return m_data[index]; }

  // Replaces the content with the first length units of text (negative: the whole text).
  void Assign(LPCWSTR text, int length = -1);
  void Append(LPCWSTR text);
  void Append(WCHAR ch);
  void Append(const CUIString& src);
  void Empty();

  bool IsEmpty() const { return m_data[0] == 0; }
  int GetLength() const;
  LPCWSTR GetData() const { return m_data; }
  WCHAR GetAt(int index) const { return m_data[index]; }

  // Ordinal comparison of UTF-16 units, as wcscmp.
  int Compare(LPCWSTR text) const;
  bool Equals(LPCWSTR text) const;
  void MakeLower();

  int Find(WCHAR ch, int start = 0) const;
  int Find(LPCWSTR text, int start = 0) const;
  int ReverseFind(WCHAR ch) const;
  CUIString Left(int count) const;
  CUIString Mid(int start, int count = -1) const;
  CUIString Concat(LPCWSTR text) const;
  // Replaces every occurrence of oldText; text produced by a replacement is not searched again.
  int Replace(LPCWSTR oldText, LPCWSTR newText);
  // printf-style for wide strings; the result is cut to 63 characters. Returns the new length.
  int Format(LPCWSTR format, ...);

 private:
  bool UsesInline() const { return m_data == m_inline; }
  bool PointsIntoSelf(LPCWSTR text) const;
  void UseInline();

  LPWSTR m_data;
  WCHAR m_inline[kInlineUnits];
};

}  // namespace Umbra
