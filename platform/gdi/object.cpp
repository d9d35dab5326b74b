// GDI object handles (the table, DeleteObject, GetObjectType), stock objects and GetObjectW.
#include "gdi/object.h"

#include "gdi/bitmap.h"
#include "gdi/brush.h"
#include "gdi/dc.h"
#include "gdi/pen.h"
#include "kernel/handle_table.h"

namespace umbra::gdi {
namespace {

// A range apart from kernel handles, so that a handle passed to the wrong family is refused.
kernel::HandleTable<GdiObject>& Table() {
  static auto* table =
      new kernel::HandleTable<GdiObject>(0x40000000);  // never destroyed: objects may be deleted at exit
  return *table;
}

}  // namespace

HGDIOBJ RegisterObject(std::unique_ptr<GdiObject> object) { return Table().Add(std::move(object)); }

GdiObject* LookupObject(HGDIOBJ handle) { return Table().Find(handle); }

DeviceContext* LookupDC(HDC hdc) { return LookupObjectAs<DeviceContext>(hdc); }

DeviceContext* FindDC(HDC hdc) {
  DeviceContext* dc = LookupDC(hdc);
  if (!dc) SetLastError(ERROR_INVALID_HANDLE);
  return dc;
}

// The object is destroyed outside the table's lock.
bool ReleaseObject(HGDIOBJ handle) { return Table().Remove(handle) != nullptr; }

}  // namespace umbra::gdi

using umbra::gdi::GdiObject;

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  GdiObject* object = umbra::gdi::LookupObject(ho);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD type = object->Type();
  if (type == OBJ_DC || type == OBJ_MEMDC) return FALSE;  // DCs go through DeleteDC/ReleaseDC
  if (object->IsStock()) return TRUE;
  if (object->IsSelected()) return FALSE;
  return umbra::gdi::ReleaseObject(ho) ? TRUE : FALSE;
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
  GdiObject* object = umbra::gdi::LookupObject(h);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return object->Type();
}

// ---- Stock objects and descriptions ---------------------------------------------------------------
namespace umbra::gdi {
namespace {

constexpr int kStockCount = DC_PEN + 1;

std::unique_ptr<GdiObject> NewStock(int index) {
  switch (index) {
    case WHITE_BRUSH:
      return std::make_unique<Brush>(BS_SOLID, RGB(255, 255, 255));
    case LTGRAY_BRUSH:
      return std::make_unique<Brush>(BS_SOLID, RGB(192, 192, 192));
    case GRAY_BRUSH:
      return std::make_unique<Brush>(BS_SOLID, RGB(128, 128, 128));
    case DKGRAY_BRUSH:
      return std::make_unique<Brush>(BS_SOLID, RGB(64, 64, 64));
    case BLACK_BRUSH:
      return std::make_unique<Brush>(BS_SOLID, RGB(0, 0, 0));
    case NULL_BRUSH:
      return std::make_unique<Brush>(BS_NULL, 0);
    case WHITE_PEN:
      return std::make_unique<Pen>(PS_SOLID, 0, RGB(255, 255, 255));
    case BLACK_PEN:
      return std::make_unique<Pen>(PS_SOLID, 0, RGB(0, 0, 0));
    case NULL_PEN:
      return std::make_unique<Pen>(PS_NULL, 0, 0);
    case OEM_FIXED_FONT:
    case ANSI_FIXED_FONT:
    case ANSI_VAR_FONT:
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
    case SYSTEM_FIXED_FONT:
    case DEFAULT_GUI_FONT:
      return NewStockFont(index);
    default:
      return nullptr;
  }
}

// Stock objects are made on first use and live as long as the process.
struct StockTable {
  std::mutex lock;
  HGDIOBJ handles[kStockCount] = {};
  HGDIOBJ defaultBitmap = nullptr;
};

StockTable& Stock() {
  static StockTable* table = new StockTable;
  return *table;
}

HGDIOBJ RegisterStock(std::unique_ptr<GdiObject> object) {
  if (!object) return nullptr;
  object->MarkStock();
  return RegisterObject(std::move(object));
}

}  // namespace

HGDIOBJ DefaultBitmap() {
  StockTable& stock = Stock();
  std::lock_guard guard(stock.lock);
  if (!stock.defaultBitmap) stock.defaultBitmap = RegisterStock(Bitmap::Create(1, 1, false, true));
  return stock.defaultBitmap;
}

}  // namespace umbra::gdi

HGDIOBJ WINAPI GetStockObject(int i) {
  if (i < 0 || i >= umbra::gdi::kStockCount) return nullptr;
  umbra::gdi::StockTable& stock = umbra::gdi::Stock();
  {
    std::lock_guard guard(stock.lock);
    if (stock.handles[i]) return stock.handles[i];
  }
  // Made outside the lock: a stock font may itself ask for stock objects.
  std::unique_ptr<GdiObject> made = umbra::gdi::NewStock(i);
  if (!made) return nullptr;
  std::lock_guard guard(stock.lock);
  if (!stock.handles[i]) stock.handles[i] = umbra::gdi::RegisterStock(std::move(made));
  return stock.handles[i];
}

int WINAPI GetObjectW(HANDLE h, int c, LPVOID pv) {
  GdiObject* object = umbra::gdi::LookupObject(h);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (pv && c <= 0) return 0;
  return object->Describe(pv ? c : 0, pv);
}
