#include "ui/core/UIRect.h"

#include <algorithm>
#include <cstdint>

namespace Umbra {
namespace {

// Two's-complement wrap-around (defined for this conversion since C++20).
LONG Wrap(int64_t value) { return static_cast<LONG>(static_cast<uint32_t>(value)); }

}  // namespace

UIRect::UIRect() : tagRECT{0, 0, 0, 0} {}

UIRect::UIRect(const RECT& src) : tagRECT(src) {}

UIRect::UIRect(LONG l, LONG t, LONG r, LONG b) : tagRECT{l, t, r, b} {}

int UIRect::Width() const { return Wrap(int64_t{right} - left); }

int UIRect::Height() const { return Wrap(int64_t{bottom} - top); }

void UIRect::Join(const RECT& rc) {
  left = std::min(left, rc.left);
  top = std::min(top, rc.top);
  right = std::max(right, rc.right);
  bottom = std::max(bottom, rc.bottom);
}

void UIRect::ResetOffset() { Offset(Wrap(-int64_t{left}), Wrap(-int64_t{top})); }

void UIRect::Offset(int dx, int dy) {
  left = Wrap(int64_t{left} + dx);
  right = Wrap(int64_t{right} + dx);
  top = Wrap(int64_t{top} + dy);
  bottom = Wrap(int64_t{bottom} + dy);
}

void UIRect::Deflate(int dx, int dy) {
  left = Wrap(int64_t{left} + dx);
  right = Wrap(int64_t{right} - dx);
  top = Wrap(int64_t{top} + dy);
  bottom = Wrap(int64_t{bottom} - dy);
}

UISize::UISize() : tagSIZE{0, 0} {}

UISize::UISize(const SIZE& src) : tagSIZE(src) {}

UISize::UISize(LONG x, LONG y) : tagSIZE{x, y} {}

}  // namespace Umbra
