// GradientFill with horizontal and vertical rectangles: each channel, alpha included, runs
// linearly from the first vertex's colour at its edge to the second's at the far edge. The
// alpha byte is written as given, so AlphaBlend can read the result afterwards.
#include <algorithm>
#include <vector>

#include "gdi/dc.h"

using namespace umbra::gdi;

namespace {

// The pixel k of n along a gradient from a to b (16-bit channels): both ends exact.
uint32_t PixelAt(const TRIVERTEX& a, const TRIVERTEX& b, int64_t k, int64_t n) {
  auto channel = [&](COLOR16 from, COLOR16 to) {
    int64_t c0 = from >> 8, c1 = to >> 8;
    if (n <= 1) return static_cast<uint32_t>(c0);
    return static_cast<uint32_t>((c0 * (n - 1 - k) + c1 * k + (n - 1) / 2) / (n - 1));
  };
  return channel(a.Alpha, b.Alpha) << 24 | channel(a.Red, b.Red) << 16 | channel(a.Green, b.Green) << 8 |
         channel(a.Blue, b.Blue);
}

void FillGradientRect(const DrawSpace& space, const TRIVERTEX& a, const TRIVERTEX& b, bool vertical) {
  int64_t ax = int64_t{a.x} + space.offset.x, ay = int64_t{a.y} + space.offset.y;
  int64_t bx = int64_t{b.x} + space.offset.x, by = int64_t{b.y} + space.offset.y;
  auto clamp = [](int64_t v) {
    return static_cast<LONG>(std::clamp<int64_t>(v, -kRegionCoordLimit, kRegionCoordLimit));
  };
  RECT r{clamp(std::min(ax, bx)), clamp(std::min(ay, by)), clamp(std::max(ax, bx)), clamp(std::max(ay, by))};
  if (r.right == r.left || r.bottom == r.top) return;
  PixRegion area(r);
  area.Intersect(space.clip);
  // Position k counts from the first vertex's side.
  const int64_t n = vertical ? by - ay : bx - ax;
  const int64_t length = n < 0 ? -n : n;
  auto indexOf = [&](int64_t p) { return n > 0 ? p - (vertical ? ay : ax) : (vertical ? ay : ax) - 1 - p; };
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  std::vector<uint32_t> line;
  for (int i = 0; i < count; ++i) {
    const pixman_box32_t& box = boxes[i];
    if (vertical) {
      for (int y = box.y1; y < box.y2; ++y)
        std::fill(space.surface.Row(y) + box.x1, space.surface.Row(y) + box.x2,
                  PixelAt(a, b, indexOf(y), length));
      continue;
    }
    line.resize(static_cast<size_t>(box.x2 - box.x1));
    for (int x = box.x1; x < box.x2; ++x)
      line[static_cast<size_t>(x - box.x1)] = PixelAt(a, b, indexOf(x), length);
    for (int y = box.y1; y < box.y2; ++y) std::copy(line.begin(), line.end(), space.surface.Row(y) + box.x1);
  }
}

}  // namespace

BOOL WINAPI GradientFill(HDC hdc, PTRIVERTEX pVertex, ULONG nVertex, PVOID pMesh, ULONG nMesh, ULONG ulMode) {
  DeviceContext* dc = LookupDC(hdc);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!pVertex || !pMesh || (ulMode != GRADIENT_FILL_RECT_H && ulMode != GRADIENT_FILL_RECT_V)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* rects = static_cast<const GRADIENT_RECT*>(pMesh);
  for (ULONG i = 0; i < nMesh; ++i)
    if (rects[i].UpperLeft >= nVertex || rects[i].LowerRight >= nVertex) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
  DrawSpace space;
  if (!dc->Prepare(space)) return TRUE;
  for (ULONG i = 0; i < nMesh; ++i)
    FillGradientRect(space, pVertex[rects[i].UpperLeft], pVertex[rects[i].LowerRight],
                     ulMode == GRADIENT_FILL_RECT_V);
  return TRUE;
}
