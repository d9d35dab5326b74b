#pragma once

#include <windows.h>

#include <cstddef>
#include <new>

#include "ui/core/UIPtrArray.h"

namespace Umbra {

// A handler bound to a target object and one of its functions, taking one untyped argument and
// returning whether the run should go on. Two handlers are equal when they have the same
// object and the same function. The function is kept as the bytes of its member pointer,
// which is what equality needs; the typed pointer that is called lives in CDelegate.
class CDelegateBase {
 public:
  virtual ~CDelegateBase();
  // A new heap copy of the same kind, or null when memory runs out.
  virtual CDelegateBase* Clone() const = 0;
  virtual bool Invoke(void* param) = 0;

  bool Equals(const CDelegateBase& other) const;
  bool operator==(const CDelegateBase& other) const { return Equals(other); }
  void* GetTarget() const { return m_object; }

 protected:
  // Room for a member-function pointer under any ABI we build for.
  static constexpr size_t kFunctionBytes = 4 * sizeof(void*);

  CDelegateBase(void* object, const void* function, size_t functionBytes);
  CDelegateBase(const CDelegateBase&) = default;
  CDelegateBase& operator=(const CDelegateBase&) = default;

 private:
  void* m_object;
  unsigned char m_function[kFunctionBytes];
};

// A handler calling a member function of T.
template <class T>
class CDelegate : public CDelegateBase {
 public:
  using Function = bool (T::*)(void*);

  CDelegate(T* object, Function function)
      : CDelegateBase(object, &function, sizeof(function)), m_function(function) {
    static_assert(sizeof(Function) <= kFunctionBytes, "member-function pointer too large");
  }

  CDelegateBase* Clone() const override { return new (std::nothrow) CDelegate(*this); }

  // A handler without a target has nothing to say and lets the run go on.
  bool Invoke(void* param) override {
    T* object = static_cast<T*>(GetTarget());
    if (!object || !m_function) return true;
    return (object->*m_function)(param);
  }

 private:
  Function m_function;
};

template <class T>
CDelegate<T> MakeDelegate(T* object, bool (T::*function)(void*)) {
  return CDelegate<T>(object, function);
}

// An ordered list of owned handlers, run one after the other until one returns false.
class CHandlerList {
 public:
  CHandlerList() = default;
  CHandlerList(const CHandlerList&) = delete;
  CHandlerList& operator=(const CHandlerList&) = delete;
  ~CHandlerList();

  // Keeps a copy unless an equal handler is already listed; false only when memory runs out.
  bool Add(const CDelegateBase& handler);
  CHandlerList& operator+=(const CDelegateBase& handler) {
    Add(handler);
    return *this;
  }
  // Calls every handler in order; false as soon as one returns false, true otherwise.
  bool Invoke(void* param);
  bool IsSet() const { return !m_handlers.IsEmpty(); }

 private:
  CUIPtrArray m_handlers;
};

}  // namespace Umbra
