#pragma once

#include <windows.h>

#include "ui/core/UIRect.h"

namespace Umbra {

// Narrows the clip region of a device context for one paint step and restores the clip that
// was in force before, exactly, when it is destroyed. Scopes nest in the order they are made.
class CClipScope {
 public:
  CClipScope() = default;
  ~CClipScope();
  CClipScope(const CClipScope&) = delete;
  CClipScope& operator=(const CClipScope&) = delete;

  // Intersects the DC's clip with rc.
  static void ClipToRect(HDC hDC, const RECT& rc, CClipScope& scope);
  // As ClipToRect, also limited to rcItem with rounded corners of the given ellipse size.
  static void ClipToRoundRect(HDC hDC, const RECT& rc, const RECT& rcItem, int width, int height,
                              CClipScope& scope);
  // Switch between the clip in force before the scope and the scope's own clip.
  static void SelectPreviousClip(HDC hDC, CClipScope& scope);
  static void SelectScopeClip(HDC hDC, CClipScope& scope);

 private:
  // Takes the DC's clip, narrows it with shape (owned from here on; may be null) and keeps both.
  void Begin(HDC hDC, const RECT& rc, HRGN shape);
  // Puts the earlier clip back and lets go of both regions.
  void End();

  UIRect m_rcClip;
  HDC m_hDC = nullptr;
  HRGN m_hRgn = nullptr;     // owned; the clip in force once the scope was made
  HRGN m_hOldRgn = nullptr;  // owned; null when the DC had no clip region
};

}  // namespace Umbra
