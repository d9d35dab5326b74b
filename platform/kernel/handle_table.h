// Live objects behind opaque handles. Handles are multiples of 4 counted up from a starting
// value and never reused while the process runs, so a stale handle, or one of another family
// (each family starts elsewhere), is refused instead of being dereferenced.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace umbra::kernel {

template <typename Object>
class HandleTable {
 public:
  explicit HandleTable(uintptr_t first) : m_next(first) {}

  void* Add(std::unique_ptr<Object> object) {
    std::lock_guard guard(m_lock);
    void* handle = reinterpret_cast<void*>(m_next);
    m_next += 4;
    m_objects.emplace(handle, std::move(object));
    return handle;
  }

  // The live object behind the handle, or null.
  Object* Find(void* handle) {
    std::lock_guard guard(m_lock);
    auto it = m_objects.find(handle);
    return it == m_objects.end() ? nullptr : it->second.get();
  }

  // Takes the object out; the caller destroys it, outside the lock. Null for an unknown handle.
  std::unique_ptr<Object> Remove(void* handle) {
    std::lock_guard guard(m_lock);
    auto it = m_objects.find(handle);
    if (it == m_objects.end()) return nullptr;
    std::unique_ptr<Object> object = std::move(it->second);
    m_objects.erase(it);
    return object;
  }

 private:
  std::mutex m_lock;
  std::unordered_map<void*, std::unique_ptr<Object>> m_objects;
  uintptr_t m_next;
};

}  // namespace umbra::kernel
