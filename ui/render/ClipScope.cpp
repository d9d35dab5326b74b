// Clip scopes: narrow a DC's clip for one paint step and put back exactly the clip that was
// there before, rounded or not.
#include "ui/render/ClipScope.h"

#include <limits>

namespace Umbra {

namespace {

// The coordinate just past v; the region calls take their right and bottom edges exclusive.
LONG OnePast(LONG v) { return v == std::numeric_limits<LONG>::max() ? v : v + 1; }

// A copy of the DC's clip region; null when the DC has none (or cannot say).
HRGN CopyClipRegion(HDC hDC) {
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  if (region && GetClipRgn(hDC, region) != 1) {
    DeleteObject(region);
    return nullptr;
  }
  return region;
}

}  // namespace

CClipScope::~CClipScope() { End(); }

void CClipScope::End() {
  if (m_hDC) SelectClipRgn(m_hDC, m_hOldRgn);  // a null region selects no clip
  if (m_hRgn) DeleteObject(m_hRgn);
  if (m_hOldRgn) DeleteObject(m_hOldRgn);
  m_hDC = nullptr;
  m_hRgn = m_hOldRgn = nullptr;
}

void CClipScope::Begin(HDC hDC, const RECT& rc, HRGN shape) {
  End();  // a scope filled twice first gives back the clip it took
  m_rcClip = rc;
  m_hDC = hDC;
  m_hOldRgn = CopyClipRegion(hDC);
  if (shape) ExtSelectClipRgn(hDC, shape, RGN_AND);
  // The scope's own clip is what is in force now, the earlier clip included, so that
  // SelectScopeClip never widens what the enclosing scopes allow.
  m_hRgn = CopyClipRegion(hDC);
  if (shape) DeleteObject(shape);
}

void CClipScope::ClipToRect(HDC hDC, const RECT& rc, CClipScope& scope) {
  scope.Begin(hDC, rc, CreateRectRgnIndirect(&rc));
}

void CClipScope::ClipToRoundRect(HDC hDC, const RECT& rc, const RECT& rcItem, int width, int height,
                                 CClipScope& scope) {
  HRGN shape = CreateRectRgnIndirect(&rc);
  HRGN rounded = CreateRoundRectRgn(rcItem.left, rcItem.top, OnePast(rcItem.right), OnePast(rcItem.bottom),
                                    width, height);
  if (shape && rounded) CombineRgn(shape, shape, rounded, RGN_AND);
  if (rounded) DeleteObject(rounded);
  scope.Begin(hDC, rc, shape);
}

void CClipScope::SelectPreviousClip(HDC hDC, CClipScope& scope) { SelectClipRgn(hDC, scope.m_hOldRgn); }

void CClipScope::SelectScopeClip(HDC hDC, CClipScope& scope) { SelectClipRgn(hDC, scope.m_hRgn); }

}  // namespace Umbra
