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
  virtual bool IsStock() const { return m_stock; }
  virtual bool IsSelected() const { return m_selections > 0; }
  // GetObjectW: fills `out` (at most `size` bytes) and returns the bytes written, or with a
  // null `out` the bytes needed; 0 when the object has no description of that size.
  virtual int Describe(int size, void* out) const { return 0; }

  void MarkStock() { m_stock = true; }
  // Counted by every DC and saved DC state that holds the object.
  void AddSelection() { ++m_selections; }
  void DropSelection() { --m_selections; }

 private:
  bool m_stock = false;
  int m_selections = 0;
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

// The stock fonts (SYSTEM_FONT, DEFAULT_GUI_FONT, ...), made by the font module.
std::unique_ptr<GdiObject> NewStockFont(int index);

// The 1x1 bitmap a memory DC holds before one is selected into it.
HGDIOBJ DefaultBitmap();

}  // namespace umbra::gdi
