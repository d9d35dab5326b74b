// Clipping: the DC's clip region (device coordinates, as on Windows; the window origin does not
// move it) and the calls that change and read it.
#include <windows.h>

#include "gdi/dc.h"

using namespace umbra::gdi;

namespace {

// The kind of what the DC may draw now.
int ClipKind(DeviceContext* dc) {
  PixRegion effective;
  if (!dc->DeviceClip(effective)) return dc->State().hasClip ? dc->State().clip.Kind() : SIMPLEREGION;
  return effective.Kind();
}

// The clip to start from: the DC's region, or with none, all that the target shows.
PixRegion CurrentClip(DeviceContext* dc) {
  if (dc->State().hasClip) return dc->State().clip;
  PixRegion all;
  dc->DeviceClip(all);
  return all;
}

int SetClip(DeviceContext* dc, PixRegion clip) {
  dc->State().clip = std::move(clip);
  dc->State().hasClip = true;
  return ClipKind(dc);
}

// A rectangle in logical coordinates, in device coordinates.
RECT DeviceRect(DeviceContext* dc, int left, int top, int right, int bottom) {
  POINT a = dc->ToDevice(left, top), b = dc->ToDevice(right, bottom);
  return RECT{a.x, a.y, b.x, b.y};
}

}  // namespace

int WINAPI ExtSelectClipRgn(HDC hdc, HRGN hrgn, int mode) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return ERROR;
  if (!hrgn) {
    if (mode != RGN_COPY) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return ERROR;
    }
    dc->State().hasClip = false;
    dc->State().clip.Clear();
    return ClipKind(dc);
  }
  Region* region = LookupRegion(hrgn);
  if (!region) return ERROR;
  // The DC keeps its own copy: the caller may delete or change the region afterwards.
  const PixRegion& shape = region->m_shape;
  if (mode == RGN_COPY) return SetClip(dc, shape);
  // With no clip region, RGN_AND gives the region itself; the other modes start from the
  // whole of what the DC shows.
  PixRegion clip = dc->State().hasClip || mode != RGN_AND ? CurrentClip(dc) : shape;
  switch (mode) {
    case RGN_AND:
      clip.Intersect(shape);
      break;
    case RGN_OR:
      clip.Union(shape);
      break;
    case RGN_XOR:
      clip.Xor(shape);
      break;
    case RGN_DIFF:
      clip.Subtract(shape);
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return ERROR;
  }
  return SetClip(dc, std::move(clip));
}

int WINAPI SelectClipRgn(HDC hdc, HRGN hrgn) { return ExtSelectClipRgn(hdc, hrgn, RGN_COPY); }

int WINAPI GetClipBox(HDC hdc, LPRECT lprect) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !lprect) return ERROR;
  PixRegion effective;
  if (!dc->DeviceClip(effective)) {
    // A DC that draws nowhere (the screen DC) reports the screen.
    effective.SetRect(RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    if (dc->State().hasClip) effective.Intersect(dc->State().clip);
  }
  RECT box = effective.Bounds();
  if (effective.Empty()) {
    *lprect = RECT{0, 0, 0, 0};
    return NULLREGION;
  }
  POINT a = dc->ToLogical(box.left, box.top), b = dc->ToLogical(box.right, box.bottom);
  *lprect = RECT{a.x, a.y, b.x, b.y};
  return effective.Kind();
}

int WINAPI GetClipRgn(HDC hdc, HRGN hrgn) {
  DeviceContext* dc = FindDC(hdc);
  Region* region = LookupRegion(hrgn);
  if (!dc || !region) return -1;
  if (!dc->State().hasClip) return 0;
  region->m_shape = dc->State().clip;
  return 1;
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return ERROR;
  PixRegion rect(DeviceRect(dc, left, top, right, bottom));
  if (!dc->State().hasClip) return SetClip(dc, std::move(rect));
  PixRegion clip(dc->State().clip);
  clip.Intersect(rect);
  return SetClip(dc, std::move(clip));
}

int WINAPI ExcludeClipRect(HDC hdc, int left, int top, int right, int bottom) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return ERROR;
  PixRegion clip = CurrentClip(dc);
  clip.Subtract(PixRegion(DeviceRect(dc, left, top, right, bottom)));
  return SetClip(dc, std::move(clip));
}

int WINAPI OffsetClipRgn(HDC hdc, int x, int y) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return ERROR;
  if (dc->State().hasClip && !dc->State().clip.Offset(x, y)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return ERROR;
  }
  return ClipKind(dc);
}
