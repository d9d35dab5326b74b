// Image descriptors: "file='btn.png' source='0,0,80,30' corner='4,4,4,4'" read into a
// UIImageDescriptor. Numbers saturate at the 32-bit range, so no value, however long, overflows.
#include "ui/render/ImageDescriptor.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace Umbra {

namespace {

using Text = std::basic_string_view<WCHAR>;

bool IsBlank(WCHAR c) { return c >= 1 && c <= 32; }
bool IsDigit(WCHAR c) { return c >= '0' && c <= '9'; }

LONG Saturate(int64_t value) { return static_cast<LONG>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX)); }

// ---- Values ------------------------------------------------------------------------------------

// A decimal number at v[i] with leading blanks and a sign. Moves i past it; without digits i
// stays where it was and the number is 0.
LONG ReadDecimal(Text v, size_t& i) {
  size_t p = i;
  while (p < v.size() && IsBlank(v[p])) ++p;
  bool negative = false;
  if (p < v.size() && (v[p] == '+' || v[p] == '-')) negative = v[p++] == '-';
  if (p >= v.size() || !IsDigit(v[p])) return 0;
  int64_t value = 0;
  for (; p < v.size() && IsDigit(v[p]); ++p) {
    value = std::min<int64_t>(value * 10 + (v[p] - '0'), int64_t{INT32_MAX} + 1);
  }
  i = p;
  return Saturate(negative ? -value : value);
}

// "l,t,r,b": one separator character of any kind after each of the first three numbers;
// numbers that are missing are 0.
RECT ReadRect(Text v) {
  LONG n[4] = {};
  size_t i = 0;
  for (int k = 0; k < 4; ++k) {
    n[k] = ReadDecimal(v, i);
    if (k < 3) {
      if (i >= v.size()) break;
      ++i;
    }
  }
  return RECT{n[0], n[1], n[2], n[3]};
}

int HexDigit(WCHAR c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A hexadecimal colour, '#' or "0x" optional; saturates at 0xFFFFFFFF.
DWORD ReadHex(Text v) {
  size_t i = 0;
  if (i < v.size() && v[i] == '#') ++i;
  while (i < v.size() && IsBlank(v[i])) ++i;
  if (i + 2 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X') && HexDigit(v[i + 2]) >= 0)
    i += 2;
  uint64_t value = 0;
  for (; i < v.size() && HexDigit(v[i]) >= 0; ++i) {
    value = std::min<uint64_t>(value * 16 + static_cast<uint64_t>(HexDigit(v[i])), 0xFFFFFFFFu);
  }
  return static_cast<DWORD>(value);
}

// The destination is relative to the item and never reaches past its right or bottom edge.
RECT RelativeDest(const RECT& offsets, const RECT& item) {
  return RECT{Saturate(int64_t{item.left} + offsets.left), Saturate(int64_t{item.top} + offsets.top),
              std::min(Saturate(int64_t{item.left} + offsets.right), item.right),
              std::min(Saturate(int64_t{item.top} + offsets.bottom), item.bottom)};
}

void AssignText(CUIString& field, Text value) {
  field.Assign(value.data(), static_cast<int>(std::min<size_t>(value.size(), INT32_MAX)));
}

// ---- Pairs -------------------------------------------------------------------------------------

struct Reader {
  const RECT& item;
  UIImageDescriptor& state;
  UIImageBoundaryFn onImage;
  void* context;
  int images = 0;  // "file" and "restype" pairs read so far in this string

  // A further image: the one described so far is drawn before the state changes.
  void NextImage() {
    if (images > 0 && onImage) onImage(state, context);
  }

  void Apply(Text key, Text value) {
    if (value.empty()) return;
    if (key == TEXT("file")) {
      NextImage();
      AssignText(state.name, value);
      ++images;
    } else if (key == TEXT("res")) {
      NextImage();
      AssignText(state.name, value);
    } else if (key == TEXT("restype")) {
      NextImage();
      AssignText(state.resType, value);
      ++images;
    } else if (key == TEXT("dest")) {
      state.dest = RelativeDest(ReadRect(value), item);
    } else if (key == TEXT("source")) {
      state.source = ReadRect(value);
    } else if (key == TEXT("corner")) {
      state.corner = ReadRect(value);
    } else if (key == TEXT("mask")) {
      state.mask = ReadHex(value);
    } else if (key == TEXT("fade")) {
      size_t i = 0;
      state.fade = static_cast<BYTE>(static_cast<DWORD>(ReadDecimal(value, i)) & 0xFF);
    } else if (key == TEXT("hole")) {
      state.hole = value == TEXT("true");
    } else if (key == TEXT("xtiled")) {
      state.xtiled = value == TEXT("true");
    } else if (key == TEXT("ytiled")) {
      state.ytiled = value == TEXT("true");
    }
  }
};

const WCHAR* SkipBlanks(const WCHAR* p) {
  while (IsBlank(*p)) ++p;
  return p;
}

}  // namespace

void ParseImageDescriptor(LPCWSTR text, const RECT& rcItem, UIImageDescriptor& state,
                          UIImageBoundaryFn onImage, void* context) {
  if (!text) return;
  Reader reader{rcItem, state, onImage, context};
  const WCHAR* p = SkipBlanks(text);
  while (*p) {
    const WCHAR* key = p;
    while (*p && !IsBlank(*p) && *p != '=') ++p;
    const Text keyText(key, static_cast<size_t>(p - key));
    p = SkipBlanks(p);
    if (*p != '=') return;  // a key without '='
    p = SkipBlanks(p + 1);
    if (*p != '\'') return;  // a value without its apostrophes
    const WCHAR* value = ++p;
    while (*p && *p != '\'') ++p;
    if (*p != '\'') return;  // never closed
    reader.Apply(keyText, Text(value, static_cast<size_t>(p - value)));
    ++p;
    // The next pair must be set off by a blank; anything else ends the string.
    if (*p && !IsBlank(*p)) return;
    p = SkipBlanks(p);
  }
}

}  // namespace Umbra
