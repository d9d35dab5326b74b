// GDI object handles: every HGDIOBJ the stand-in gives out (regions now; brushes, pens, fonts,
// bitmaps and DCs as the drawing work adds them) is registered here, so that DeleteObject and
// GetObjectType refuse a stale or foreign handle instead of dereferencing it.
#pragma once

#include <windows.h>

#include <memory>

namespace umbra::gdi {

class GdiObject {
 public:
  virtual ~GdiObject() = default;
  // One of the OBJ_* values.
  virtual DWORD Type() const = 0;
  // DeleteObject leaves stock objects alone and refuses objects still selected into a DC.
  virtual bool IsStock() const { return false; }
  virtual bool IsSelected() const { return false; }
};

// Takes ownership; returns the new handle (never null).
HGDIOBJ RegisterObject(std::unique_ptr<GdiObject> object);

// The live object behind the handle, or null.
GdiObject* LookupObject(HGDIOBJ handle);

template <typename T>
T* LookupObjectAs(HGDIOBJ handle) {
  return dynamic_cast<T*>(LookupObject(handle));
}

// Removes and destroys the object; false for an unknown handle.
bool ReleaseObject(HGDIOBJ handle);

}  // namespace umbra::gdi
