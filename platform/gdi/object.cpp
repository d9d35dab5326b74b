#include "gdi/object.h"

#include <mutex>
#include <unordered_map>

#include "gdi/dc.h"

namespace umbra::gdi {
namespace {

struct ObjectTable {
  std::mutex lock;
  std::unordered_map<HGDIOBJ, std::unique_ptr<GdiObject>> objects;
  // A range apart from kernel handles, so that a handle passed to the wrong family is refused.
  uintptr_t next = 0x40000000;
};

ObjectTable& Table() {
  static ObjectTable* table = new ObjectTable;  // never destroyed: objects may be deleted at exit
  return *table;
}

}  // namespace

HGDIOBJ RegisterObject(std::unique_ptr<GdiObject> object) {
  ObjectTable& table = Table();
  std::lock_guard guard(table.lock);
  HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(table.next);
  table.next += 4;
  table.objects.emplace(handle, std::move(object));
  return handle;
}

GdiObject* LookupObject(HGDIOBJ handle) {
  ObjectTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(handle);
  return it == table.objects.end() ? nullptr : it->second.get();
}

DeviceContext* LookupDC(HDC hdc) { return LookupObjectAs<DeviceContext>(hdc); }

bool ReleaseObject(HGDIOBJ handle) {
  std::unique_ptr<GdiObject> object;
  {
    ObjectTable& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.objects.find(handle);
    if (it == table.objects.end()) return false;
    object = std::move(it->second);
    table.objects.erase(it);
  }
  return true;  // the object is destroyed outside the lock
}

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
