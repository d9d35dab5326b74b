// Device contexts: the shared DC state, memory DCs, object selection, SaveDC/RestoreDC, the
// window and viewport origins, the text and background state, and device capabilities.
//
// Sections: selections · DC state · memory DCs · public calls.
#include "gdi/dc.h"

#include <algorithm>

#include "gdi/bitmap.h"
#include "gdi/brush.h"
#include "gdi/pen.h"

namespace umbra::gdi {

// ---- Selections ---------------------------------------------------------------------------------

Selection::Selection(HGDIOBJ handle) : m_handle(handle), m_object(LookupObject(handle)) {
  if (m_object) m_object->AddSelection();
}

Selection::Selection(const Selection& other) : m_handle(other.m_handle), m_object(other.m_object) {
  if (m_object) m_object->AddSelection();
}

Selection& Selection::operator=(const Selection& other) {
  if (this == &other) return *this;
  if (other.m_object) other.m_object->AddSelection();
  if (m_object) m_object->DropSelection();
  m_handle = other.m_handle;
  m_object = other.m_object;
  return *this;
}

// The object is still alive: DeleteObject refuses it while this selection exists.
Selection::~Selection() {
  if (m_object) m_object->DropSelection();
}

// ---- DC state -------------------------------------------------------------------------------------

DeviceContext::DeviceContext() {
  m_state.brush = Selection(GetStockObject(WHITE_BRUSH));
  m_state.pen = Selection(GetStockObject(BLACK_PEN));
  m_state.font = Selection(GetStockObject(SYSTEM_FONT));
}

POINT DeviceContext::ToDevice(int x, int y) const {
  return POINT{x - m_state.windowOrg.x + m_state.viewportOrg.x,
               y - m_state.windowOrg.y + m_state.viewportOrg.y};
}

POINT DeviceContext::ToLogical(int x, int y) const {
  return POINT{x + m_state.windowOrg.x - m_state.viewportOrg.x,
               y + m_state.windowOrg.y - m_state.viewportOrg.y};
}

bool DeviceContext::Prepare(DrawSpace& out) {
  DrawTarget target;
  if (!Target(target) || !target.surface.Valid()) return false;
  out.surface = target.surface;
  out.clip = std::move(target.clip);
  if (m_state.hasClip) {
    PixRegion mine(m_state.clip);
    mine.Offset(target.origin.x, target.origin.y);
    out.clip.Intersect(mine);
  }
  POINT device = ToDevice(0, 0);
  out.offset = POINT{device.x + target.origin.x, device.y + target.origin.y};
  return !out.clip.Empty();
}

bool DeviceContext::DeviceClip(PixRegion& out) {
  DrawTarget target;
  if (!Target(target)) return false;
  out = std::move(target.clip);
  out.Offset(-target.origin.x, -target.origin.y);
  if (m_state.hasClip) out.Intersect(m_state.clip);
  return true;
}

int DeviceContext::Save() {
  m_saved.push_back(m_state);
  return static_cast<int>(m_saved.size());
}

bool DeviceContext::Restore(int level) {
  int depth = static_cast<int>(m_saved.size());
  if (level < 0) level = depth + 1 + level;
  if (level < 1 || level > depth) return false;
  m_state = m_saved[static_cast<size_t>(level - 1)];
  m_saved.resize(static_cast<size_t>(level - 1));
  if (auto* bitmap = dynamic_cast<Bitmap*>(m_state.bitmap.object())) bitmap->m_owner = this;
  return true;
}

void FillBoxes(const PixelSurface& surface, const PixRegion& area, uint32_t pixel) {
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  for (int i = 0; i < count; ++i)
    for (int y = boxes[i].y1; y < boxes[i].y2; ++y)
      std::fill(surface.Row(y) + boxes[i].x1, surface.Row(y) + boxes[i].x2, pixel);
}

void FillArea(const DrawSpace& space, PixRegion area, uint32_t pixel) {
  if (!area.Offset(space.offset.x, space.offset.y)) return;
  area.Intersect(space.clip);
  FillBoxes(space.surface, area, pixel);
}

// ---- Memory DCs -----------------------------------------------------------------------------------
namespace {

class MemoryDC final : public DeviceContext {
 public:
  MemoryDC() {
    State().bitmap = Selection(DefaultBitmap());
    if (auto* bitmap = LookupBitmap(DefaultBitmap())) bitmap->m_owner = this;
  }
  DWORD Type() const override { return OBJ_MEMDC; }
  bool TakesBitmaps() const override { return true; }

  bool Target(DrawTarget& out) override {
    auto* bitmap = dynamic_cast<Bitmap*>(State().bitmap.object());
    if (!bitmap) return false;
    out.surface = bitmap->Surface();
    out.origin = POINT{0, 0};
    out.clip.SetRect(RECT{0, 0, bitmap->Width(), bitmap->Height()});
    return true;
  }
};

// Selects a bitmap into a memory DC: a bitmap lives in one DC at a time.
HGDIOBJ SelectBitmap(DeviceContext* dc, HGDIOBJ handle, Bitmap* bitmap) {
  if (!dc->TakesBitmaps()) return nullptr;
  if (bitmap->IsSelected() && bitmap->m_owner != dc) return nullptr;
  HGDIOBJ old = dc->State().bitmap.handle();
  dc->State().bitmap = Selection(handle);
  bitmap->m_owner = dc;
  return old;
}

HGDIOBJ Replace(Selection& slot, HGDIOBJ handle) {
  HGDIOBJ old = slot.handle();
  slot = Selection(handle);
  return old;
}

}  // namespace
}  // namespace umbra::gdi

using namespace umbra::gdi;

// ---- Public calls ---------------------------------------------------------------------------------

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  if (hdc && !LookupDC(hdc)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return static_cast<HDC>(RegisterObject(std::make_unique<MemoryDC>()));
}

BOOL WINAPI DeleteDC(HDC hdc) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  return ReleaseObject(hdc) ? TRUE : FALSE;
}

int WINAPI SaveDC(HDC hdc) {
  DeviceContext* dc = FindDC(hdc);
  return dc ? dc->Save() : 0;
}

BOOL WINAPI RestoreDC(HDC hdc, int nSavedDC) {
  DeviceContext* dc = FindDC(hdc);
  return dc && dc->Restore(nSavedDC) ? TRUE : FALSE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  DeviceContext* dc = FindDC(hdc);
  GdiObject* object = LookupObject(h);
  if (!dc || !object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  DcState& state = dc->State();
  switch (object->Type()) {
    case OBJ_BITMAP:
      return SelectBitmap(dc, h, static_cast<Bitmap*>(object));
    case OBJ_BRUSH:
      return Replace(state.brush, h);
    case OBJ_PEN:
      return Replace(state.pen, h);
    case OBJ_FONT:
      return Replace(state.font, h);
    case OBJ_REGION: {
      // A region goes in as the clip region and the call answers its kind.
      int kind = SelectClipRgn(hdc, static_cast<HRGN>(h));
      return kind == ERROR ? HGDI_ERROR : reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(kind));
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return nullptr;
  const DcState& state = dc->State();
  switch (type) {
    case OBJ_BITMAP:
      return state.bitmap.handle();
    case OBJ_BRUSH:
      return state.brush.handle();
    case OBJ_PEN:
      return state.pen.handle();
    case OBJ_FONT:
      return state.font.handle();
    default:
      return nullptr;
  }
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  if (!FindDC(hdc)) return 0;
  switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    case BITSPIXEL:
      return 32;
    case PLANES:
      return 1;
    case NUMCOLORS:
      return -1;
    case COLORRES:
      return 24;
    case HORZRES:
    case DESKTOPHORZRES:
      return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES:
    case DESKTOPVERTRES:
      return GetSystemMetrics(SM_CYSCREEN);
    case HORZSIZE:  // millimetres at 96 dots per inch
      return GetSystemMetrics(SM_CXSCREEN) * 254 / 960;
    case VERTSIZE:
      return GetSystemMetrics(SM_CYSCREEN) * 254 / 960;
    default:
      return 0;
  }
}

// ---- Origins ----------------------------------------------------------------------------------------
namespace {

BOOL SetOrigin(HDC hdc, POINT DcState::*field, int x, int y, bool relative, LPPOINT previous) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return FALSE;
  POINT& origin = dc->State().*field;
  if (previous) *previous = origin;
  if (relative) {
    x += origin.x;
    y += origin.y;
  }
  origin = POINT{x, y};
  return TRUE;
}

BOOL GetOrigin(HDC hdc, POINT DcState::*field, LPPOINT out) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc || !out) return FALSE;
  *out = dc->State().*field;
  return TRUE;
}

}  // namespace

BOOL WINAPI SetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetOrigin(hdc, &DcState::windowOrg, x, y, false, lppt);
}

BOOL WINAPI GetWindowOrgEx(HDC hdc, LPPOINT lppoint) { return GetOrigin(hdc, &DcState::windowOrg, lppoint); }

BOOL WINAPI OffsetWindowOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetOrigin(hdc, &DcState::windowOrg, x, y, true, lppt);
}

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetOrigin(hdc, &DcState::viewportOrg, x, y, false, lppt);
}

BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT lppoint) {
  return GetOrigin(hdc, &DcState::viewportOrg, lppoint);
}

BOOL WINAPI OffsetViewportOrgEx(HDC hdc, int x, int y, LPPOINT lppt) {
  return SetOrigin(hdc, &DcState::viewportOrg, x, y, true, lppt);
}

// ---- Text and background state ------------------------------------------------------------------------
namespace {

// Sets one state field and answers its previous value, or `failed` for a bad DC.
template <typename T>
T Exchange(HDC hdc, T DcState::*field, T value, T failed) {
  DeviceContext* dc = FindDC(hdc);
  if (!dc) return failed;
  T old = dc->State().*field;
  dc->State().*field = value;
  return old;
}

template <typename T>
T Read(HDC hdc, T DcState::*field, T failed) {
  DeviceContext* dc = FindDC(hdc);
  return dc ? dc->State().*field : failed;
}

}  // namespace

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  return Exchange<COLORREF>(hdc, &DcState::textColor, color, CLR_INVALID);
}

COLORREF WINAPI GetTextColor(HDC hdc) { return Read<COLORREF>(hdc, &DcState::textColor, CLR_INVALID); }

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
  return Exchange<COLORREF>(hdc, &DcState::bkColor, color, CLR_INVALID);
}

COLORREF WINAPI GetBkColor(HDC hdc) { return Read<COLORREF>(hdc, &DcState::bkColor, CLR_INVALID); }

int WINAPI SetBkMode(HDC hdc, int mode) {
  if (mode != TRANSPARENT && mode != OPAQUE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return Exchange<int>(hdc, &DcState::bkMode, mode, 0);
}

int WINAPI GetBkMode(HDC hdc) { return Read<int>(hdc, &DcState::bkMode, 0); }

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
  return Exchange<UINT>(hdc, &DcState::textAlign, align, GDI_ERROR);
}

UINT WINAPI GetTextAlign(HDC hdc) { return Read<UINT>(hdc, &DcState::textAlign, GDI_ERROR); }

int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  if (mode < BLACKONWHITE || mode > HALFTONE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return Exchange<int>(hdc, &DcState::stretchMode, mode, 0);
}

int WINAPI GetStretchBltMode(HDC hdc) { return Read<int>(hdc, &DcState::stretchMode, 0); }
