// The device-context object behind an HDC. For now a DC only knows where its drawing lands;
// the drawing work adds the selected objects, colours and modes to this class.
#pragma once

#include <windows.h>

#include "gdi/object.h"
#include "gdi/region.h"
#include "gdi/surface.h"

namespace umbra::gdi {

struct DrawTarget {
  PixelSurface surface;
  POINT origin{0, 0};  // where device (0,0) lies in the surface
  PixRegion clip;      // what may be drawn, in surface coordinates
};

class DeviceContext : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_DC; }
  // Where drawing lands now; false when nothing can be drawn. Window DCs answer from the
  // window's current size, position and visible region, so a DC kept across a resize stays right.
  virtual bool Target(DrawTarget& out) = 0;
  // The window a window DC draws into; null for other DCs.
  virtual HWND Window() const { return nullptr; }
};

DeviceContext* LookupDC(HDC hdc);

}  // namespace umbra::gdi
