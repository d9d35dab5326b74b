#include "kernel/unicode.h"

#include <cstdint>
#include <cstring>

namespace umbra::kernel {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at bytes[i]; returns the code point or -1 when malformed, and
// advances i past the sequence (or past the maximal invalid prefix, one byte at least).
long DecodeUtf8(std::string_view bytes, size_t& i) {
  const auto b0 = static_cast<unsigned char>(bytes[i]);
  int need;
  unsigned long cp;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if (b0 >= 0xC2 && b0 <= 0xDF) {
    need = 1, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2, cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED) hi = 0x9F;  // no encoded surrogates
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3, cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    ++i;
    return -1;
  }
  ++i;
  for (int k = 0; k < need; ++k) {
    if (i >= bytes.size()) return -1;
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < lo || b > hi) return -1;
    lo = 0x80, hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
    ++i;
  }
  return static_cast<long>(cp);
}

template <bool kStrict>
bool Utf8ToUtf16Impl(std::string_view bytes, std::u16string& out) {
  out.clear();
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    // Runs of ASCII are the common case in markup and settings.
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) {
      out.push_back(static_cast<char16_t>(bytes[i++]));
    }
    if (i >= bytes.size()) break;
    long cp = DecodeUtf8(bytes, i);
    if (cp < 0) {
      if (kStrict) return false;
      out.push_back(kReplacement);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return true;
}

template <bool kStrict>
bool Utf16ToUtf8Impl(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (kStrict) return false;
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return true;
}

void PutCodePoint(BoundedOutput<char16_t>& out, long cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.Put(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.Put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.Put(static_cast<char16_t>(cp));
  }
}

void PutCodePoint(BoundedOutput<char>& out, unsigned long cp) {
  if (cp < 0x800) {
    out.Put(static_cast<char>(0xC0 | (cp >> 6)));
  } else if (cp < 0x10000) {
    out.Put(static_cast<char>(0xE0 | (cp >> 12)));
    out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
  } else {
    out.Put(static_cast<char>(0xF0 | (cp >> 18)));
    out.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
  }
  out.Put(static_cast<char>(0x80 | (cp & 0x3F)));
}

// Widens eight ASCII bytes at a time while they last; markup files are mostly ASCII.
void CopyAsciiRun(std::string_view bytes, size_t& i, BoundedOutput<char16_t>& out) {
  constexpr uint64_t kHighBits = 0x8080808080808080ULL;
  while (i + 8 <= bytes.size()) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & kHighBits) break;
    if (out.HasRoom(8)) {
      char16_t* dst = out.Next();
      for (int k = 0; k < 8; ++k) dst[k] = static_cast<char16_t>(bytes[i + k]);
    }
    out.Advance(8);
    i += 8;
  }
  while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80) out.Put(static_cast<char16_t>(bytes[i++]));
}

}  // namespace

size_t Utf8ToUtf16Into(std::string_view bytes, char16_t* out, size_t capacity, bool* malformed) {
  BoundedOutput<char16_t> output(out, capacity);
  bool bad = false;
  size_t i = 0;
  while (i < bytes.size()) {
    CopyAsciiRun(bytes, i, output);
    if (i >= bytes.size()) break;
    const long cp = DecodeUtf8(bytes, i);
    bad |= cp < 0;
    PutCodePoint(output, cp < 0 ? kReplacement : cp);
  }
  if (malformed) *malformed = bad;
  return output.Count();
}

size_t Utf16ToUtf8Into(std::u16string_view text, char* out, size_t capacity, bool* malformed) {
  BoundedOutput<char> output(out, capacity);
  bool bad = false;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned long cp = text[i];
    if (cp < 0x80) {
      output.Put(static_cast<char>(cp));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      bad = true;
      cp = kReplacement;
    }
    PutCodePoint(output, cp);
  }
  if (malformed) *malformed = bad;
  return output.Count();
}

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  Utf8ToUtf16Impl<false>(bytes, out);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  Utf16ToUtf8Impl<false>(text, out);
  return out;
}

bool Utf8ToUtf16Strict(std::string_view bytes, std::u16string& out) { return Utf8ToUtf16Impl<true>(bytes, out); }

bool Utf16ToUtf8Strict(std::u16string_view text, std::string& out) { return Utf16ToUtf8Impl<true>(text, out); }

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (DecodeUtf8(bytes, i) < 0) return false;
  }
  return true;
}

}  // namespace umbra::kernel
