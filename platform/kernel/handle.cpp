#include "kernel/handle.h"

#include "kernel/handle_table.h"

namespace umbra::kernel {
namespace {

HandleTable<KernelObject>& Table() {
  static auto* table = new HandleTable<KernelObject>(0x100);  // never destroyed: handles may close at exit
  return *table;
}

}  // namespace

HANDLE RegisterHandle(std::unique_ptr<KernelObject> object) { return Table().Add(std::move(object)); }

KernelObject* LookupHandle(HANDLE handle) { return Table().Find(handle); }

bool ReleaseHandle(HANDLE handle) { return Table().Remove(handle) != nullptr; }

}  // namespace umbra::kernel

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (!umbra::kernel::ReleaseHandle(hObject)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}
