#include "ui/core/Delegate.h"

#include <cstring>

namespace Umbra {

CDelegateBase::CDelegateBase(void* object, const void* function, size_t functionBytes)
    : m_object(object), m_function{} {
  std::memcpy(m_function, function, functionBytes < kFunctionBytes ? functionBytes : kFunctionBytes);
}

CDelegateBase::~CDelegateBase() = default;

bool CDelegateBase::Equals(const CDelegateBase& other) const {
  return m_object == other.m_object && std::memcmp(m_function, other.m_function, kFunctionBytes) == 0;
}

CHandlerList::~CHandlerList() {
  for (int i = 0; i < m_handlers.GetSize(); ++i) delete static_cast<CDelegateBase*>(m_handlers[i]);
}

bool CHandlerList::Add(const CDelegateBase& handler) {
  for (int i = 0; i < m_handlers.GetSize(); ++i) {
    const auto* listed = static_cast<const CDelegateBase*>(m_handlers[i]);
    if (listed && listed->Equals(handler)) return true;
  }
  CDelegateBase* copy = handler.Clone();
  if (!copy) return false;
  if (m_handlers.Add(copy)) return true;
  delete copy;
  return false;
}

bool CHandlerList::Invoke(void* param) {
  for (int i = 0; i < m_handlers.GetSize(); ++i) {
    auto* handler = static_cast<CDelegateBase*>(m_handlers[i]);
    if (handler && !handler->Invoke(param)) return false;
  }
  return true;
}

}  // namespace Umbra
