// UTF-8 <-> UTF-16 conversion shared by the kernel: file names on Linux are UTF-8 bytes,
// text in the library is UTF-16. Invalid input becomes U+FFFD, as Windows does by default.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace umbra::kernel {

std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);

// Strict forms: false on malformed input (overlong forms, surrogates encoded in UTF-8,
// unpaired surrogates in UTF-16, code points above U+10FFFF).
bool Utf8ToUtf16Strict(std::string_view bytes, std::u16string& out);
bool Utf16ToUtf8Strict(std::u16string_view text, std::string& out);

bool IsValidUtf8(std::string_view bytes);

// Bounded forms for callers that own the buffer (the code-page functions): they write at most
// `capacity` units or bytes to `out` (null when capacity is 0), return the length the whole
// conversion needs, and set *malformed when invalid input was replaced by U+FFFD.
size_t Utf8ToUtf16Into(std::string_view bytes, char16_t* out, size_t capacity, bool* malformed);
size_t Utf16ToUtf8Into(std::u16string_view text, char* out, size_t capacity, bool* malformed);

// Stores while there is room and counts every unit, so one pass gives both the text and the size.
template <typename Unit>
class BoundedOutput {
 public:
  BoundedOutput(Unit* out, size_t capacity) : m_out(out), m_capacity(capacity) {}
  void Put(Unit u) {
    if (m_count < m_capacity) m_out[m_count] = u;
    ++m_count;
  }
  bool HasRoom(size_t n) const { return m_count + n <= m_capacity; }
  Unit* Next() { return m_out + m_count; }
  void Advance(size_t n) { m_count += n; }
  void Put(const Unit* units, size_t n) {
    for (size_t i = 0; i < n; ++i) Put(units[i]);
  }
  size_t Count() const { return m_count; }

 private:
  Unit* m_out;
  size_t m_capacity;
  size_t m_count = 0;
};

}  // namespace umbra::kernel
