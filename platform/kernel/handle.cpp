#include "kernel/handle.h"

#include <mutex>
#include <unordered_map>

namespace umbra::kernel {
namespace {

struct HandleTable {
  std::mutex lock;
  std::unordered_map<HANDLE, std::unique_ptr<KernelObject>> objects;
  uintptr_t next = 0x100;
};

HandleTable& Table() {
  static HandleTable* table = new HandleTable;  // never destroyed: handles may close at exit
  return *table;
}

}  // namespace

HANDLE RegisterHandle(std::unique_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  // Handle values are multiples of 4, as on Windows, and never reused while the process runs.
  HANDLE handle = reinterpret_cast<HANDLE>(table.next);
  table.next += 4;
  table.objects.emplace(handle, std::move(object));
  return handle;
}

KernelObject* LookupHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.objects.find(handle);
  return it == table.objects.end() ? nullptr : it->second.get();
}

bool ReleaseHandle(HANDLE handle) {
  std::unique_ptr<KernelObject> object;
  {
    HandleTable& table = Table();
    std::lock_guard guard(table.lock);
    auto it = table.objects.find(handle);
    if (it == table.objects.end()) return false;
    object = std::move(it->second);
    table.objects.erase(it);
  }
  return true;  // the object is destroyed outside the lock
}

}  // namespace umbra::kernel

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!umbra::kernel::ReleaseHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
