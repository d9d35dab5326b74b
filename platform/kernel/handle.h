// Kernel object handles: every HANDLE the stand-in gives out is registered here, so that a
// stale or foreign handle is refused with ERROR_INVALID_HANDLE instead of being dereferenced.
#pragma once

#include <windows.h>

#include <memory>

namespace umbra::kernel {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
};

// Takes ownership; returns the new handle (never INVALID_HANDLE_VALUE or null).
HANDLE RegisterHandle(std::unique_ptr<KernelObject> object);

// The live object behind the handle, or null (last error unchanged).
KernelObject* LookupHandle(HANDLE handle);

template <typename T>
T* LookupHandleAs(HANDLE handle) {
  return dynamic_cast<T*>(LookupHandle(handle));
}

// Removes and destroys the object; false for an unknown handle.
bool ReleaseHandle(HANDLE handle);

}  // namespace umbra::kernel
