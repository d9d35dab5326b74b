// The device-context object behind an HDC: where its drawing lands (Target), and the state the
// GDI calls change: selected objects, text and background colours and modes, origins, the
// current position and the clip region. Window DCs (user/paint.cpp) and memory DCs share it.
#pragma once

#include <windows.h>

#include <vector>

#include "gdi/object.h"
#include "gdi/region.h"
#include "gdi/surface.h"

namespace umbra::gdi {

struct DrawTarget {
  PixelSurface surface;
  POINT origin{0, 0};  // where device (0,0) lies in the surface
  PixRegion clip;      // what may be drawn, in surface coordinates
};

// Holds a selected object: while any DC or saved DC state holds it, DeleteObject refuses it.
class Selection {
 public:
  Selection() = default;
  explicit Selection(HGDIOBJ handle);
  Selection(const Selection& other);
  Selection& operator=(const Selection& other);
  ~Selection();

  HGDIOBJ handle() const { return m_handle; }
  GdiObject* object() const { return m_object; }

 private:
  HGDIOBJ m_handle = nullptr;
  GdiObject* m_object = nullptr;
};

// What SaveDC saves and RestoreDC brings back.
struct DcState {
  Selection bitmap;  // memory DCs only
  Selection brush;
  Selection pen;
  Selection font;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  UINT textAlign = TA_TOP | TA_LEFT;
  int stretchMode = BLACKONWHITE;
  POINT windowOrg{0, 0};
  POINT viewportOrg{0, 0};
  POINT position{0, 0};  // MoveToEx/LineTo, logical
  bool hasClip = false;
  PixRegion clip;  // device coordinates; meaningful when hasClip
};

// A drawing call's destination with every clip applied.
struct DrawSpace {
  PixelSurface surface;
  PixRegion clip;      // surface coordinates
  POINT offset{0, 0};  // logical + offset = surface

  POINT ToSurface(int x, int y) const { return POINT{x + offset.x, y + offset.y}; }
  RECT ToSurface(const RECT& r) const {
    return RECT{r.left + offset.x, r.top + offset.y, r.right + offset.x, r.bottom + offset.y};
  }
};

class DeviceContext : public GdiObject {
 public:
  DeviceContext();
  DWORD Type() const override { return OBJ_DC; }
  // Where drawing lands now; false when nothing can be drawn. Window DCs answer from the
  // window's current size, position and visible region, so a DC kept across a resize stays right.
  virtual bool Target(DrawTarget& out) = 0;
  // The window a window DC draws into; null for other DCs.
  virtual HWND Window() const { return nullptr; }
  // Memory DCs take bitmaps; window DCs draw into their window.
  virtual bool TakesBitmaps() const { return false; }

  DcState& State() { return m_state; }
  const DcState& State() const { return m_state; }

  // The text state, for the text drawing calls.
  HFONT Font() const { return static_cast<HFONT>(m_state.font.handle()); }
  COLORREF TextColor() const { return m_state.textColor; }
  COLORREF BkColor() const { return m_state.bkColor; }
  int BkMode() const { return m_state.bkMode; }
  UINT TextAlign() const { return m_state.textAlign; }
  HBRUSH Brush() const { return static_cast<HBRUSH>(m_state.brush.handle()); }
  HPEN Pen() const { return static_cast<HPEN>(m_state.pen.handle()); }

  // Logical to device coordinates (the only mapping mode is MM_TEXT) and back.
  POINT ToDevice(int x, int y) const;
  POINT ToLogical(int x, int y) const;

  // Prepares a drawing call; false when there is nothing to draw on or everything is clipped.
  bool Prepare(DrawSpace& out);
  // What may be drawn, in device coordinates: the DC's clip region within what the target
  // shows. False when the DC has no target.
  bool DeviceClip(PixRegion& out);

  // SaveDC and RestoreDC: Save returns the new level (1 for the first), 0 on failure.
  int Save();
  bool Restore(int level);

 private:
  DcState m_state;
  std::vector<DcState> m_saved;
};

// The DC behind an HDC, or null.
DeviceContext* LookupDC(HDC hdc);
// The same for a GDI call: a bad handle also sets ERROR_INVALID_HANDLE.
DeviceContext* FindDC(HDC hdc);

// Opaque BGRA pixel of a colour.
inline uint32_t PixelOf(COLORREF colour) {
  return 0xFF000000u | (colour & 0xFFu) << 16 | (colour & 0xFF00u) | ((colour >> 16) & 0xFFu);
}

// Fills the boxes of a region (surface coordinates, already clipped) with one pixel value.
void FillBoxes(const PixelSurface& surface, const PixRegion& area, uint32_t pixel);
// Fills an area given in logical coordinates, within the clip.
void FillArea(const DrawSpace& space, PixRegion area, uint32_t pixel);

// Draws text for ExtTextOutW once the opaque rectangle is done; defined by the text module.
BOOL DrawTextRun(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT* dx);

}  // namespace umbra::gdi
