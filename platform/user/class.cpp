// Window classes: registration, lookup (by name or atom, the module's own classes before the
// system ones), class information and class longs. The system classes are registered here with
// DefWindowProcW as their procedure until their real controls exist.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "user/user.h"

namespace umbra::user {
namespace {

constexpr int kMaxExtraBytes = 40000;

struct ClassRegistry {
  std::mutex lock;
  std::vector<std::shared_ptr<WindowClass>> classes;  // registration order
  ATOM nextAtom = 0xC000;
};

ClassRegistry& Registry() {
  static ClassRegistry* registry = new ClassRegistry;
  return *registry;
}

bool NameMatches(const WindowClass& cls, LPCWSTR name) {
  if (IS_INTRESOURCE(name)) return cls.atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
  return _wcsicmp(cls.name.c_str(), name) == 0;
}

std::shared_ptr<WindowClass> Register(ClassRegistry& reg, const WNDCLASSEXW& wc, bool system) {
  auto cls = std::make_shared<WindowClass>();
  cls->name = wc.lpszClassName;
  cls->atom = reg.nextAtom++;
  cls->style = wc.style;
  cls->proc = wc.lpfnWndProc;
  cls->clsExtra = wc.cbClsExtra;
  cls->wndExtra = wc.cbWndExtra;
  cls->instance = system ? nullptr : wc.hInstance;
  cls->icon = wc.hIcon;
  cls->iconSmall = wc.hIconSm;
  cls->cursor = wc.hCursor;
  cls->background = wc.hbrBackground;
  if (wc.lpszMenuName && !IS_INTRESOURCE(wc.lpszMenuName)) {
    cls->menuNameText = wc.lpszMenuName;
    cls->menuName = cls->menuNameText.c_str();
  } else {
    cls->menuName = wc.lpszMenuName;
  }
  cls->system = system;
  cls->extra.assign(static_cast<size_t>(wc.cbClsExtra), 0);
  reg.classes.push_back(cls);
  return cls;
}

// The system classes the library looks up; each stands in until its control is written.
void EnsureSystemClasses(ClassRegistry& reg) {
  static bool done = false;
  if (done) return;
  done = true;
  static const WCHAR* const kNames[] = {u"Edit", u"tooltips_class32", u"SysDateTimePick32"};
  for (const WCHAR* name : kNames) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS | (name[0] == u'E' ? 0 : CS_GLOBALCLASS);
    wc.lpfnWndProc = DefWindowProcW;
    wc.cbWndExtra = sizeof(LONG_PTR) * 2;
    wc.lpszClassName = name;
    wc.hCursor = LoadCursorW(nullptr, name[0] == u'E' ? IDC_IBEAM : IDC_ARROW);
    Register(reg, wc, true);
  }
}

bool ValidClassInfo(const WNDCLASSEXW& wc) {
  return wc.lpfnWndProc && wc.lpszClassName && !IS_INTRESOURCE(wc.lpszClassName) && wc.lpszClassName[0] &&
         wc.cbClsExtra >= 0 && wc.cbWndExtra >= 0 && wc.cbClsExtra <= kMaxExtraBytes &&
         wc.cbWndExtra <= kMaxExtraBytes;
}

// A module's own class first (exact instance), then any non-system class of that name
// (Win32 lets a module use classes registered under another instance of the same process
// when it names them globally), then the system class.
std::shared_ptr<WindowClass> FindLocked(ClassRegistry& reg, LPCWSTR name, HINSTANCE instance) {
  EnsureSystemClasses(reg);
  std::shared_ptr<WindowClass> global, system;
  for (const auto& cls : reg.classes) {
    if (!NameMatches(*cls, name)) continue;
    if (cls->system) {
      if (!system) system = cls;
    } else if (cls->instance == instance) {
      return cls;
    } else if (!global) {
      global = cls;
    }
  }
  return global ? global : system;
}

void FillInfo(const WindowClass& cls, WNDCLASSEXW& out) {
  out.style = cls.style;
  out.lpfnWndProc = cls.proc;
  out.cbClsExtra = cls.clsExtra;
  out.cbWndExtra = cls.wndExtra;
  out.hInstance = cls.instance;
  out.hIcon = cls.icon;
  out.hCursor = cls.cursor;
  out.hbrBackground = cls.background;
  out.lpszMenuName = cls.menuName;
  out.lpszClassName = cls.name.c_str();
  out.hIconSm = cls.iconSmall;
}

}  // namespace

std::shared_ptr<WindowClass> FindClass(LPCWSTR name, HINSTANCE instance) {
  if (!name) return nullptr;
  ClassRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  return FindLocked(reg, name, instance);
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* lpWndClass) {
  // The size written by 32-bit code (48) is accepted too: the fields are read by name.
  if (!lpWndClass || (lpWndClass->cbSize != sizeof(WNDCLASSEXW) && lpWndClass->cbSize != 48) ||
      !ValidClassInfo(*lpWndClass)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  ClassRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  EnsureSystemClasses(reg);
  bool global = lpWndClass->style & CS_GLOBALCLASS;
  for (const auto& cls : reg.classes) {
    if (cls->system || !NameMatches(*cls, lpWndClass->lpszClassName)) continue;
    if (global || cls->instance == lpWndClass->hInstance || (cls->style & CS_GLOBALCLASS)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  }
  return Register(reg, *lpWndClass, false)->atom;
}

ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
  if (!lpWndClass) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  WNDCLASSEXW wc{sizeof(WNDCLASSEXW),      lpWndClass->style,         lpWndClass->lpfnWndProc,
                 lpWndClass->cbClsExtra,   lpWndClass->cbWndExtra,    lpWndClass->hInstance,
                 lpWndClass->hIcon,        lpWndClass->hCursor,       lpWndClass->hbrBackground,
                 lpWndClass->lpszMenuName, lpWndClass->lpszClassName, nullptr};
  return RegisterClassExW(&wc);
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
  if (!lpClassName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ClassRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  auto it = std::find_if(reg.classes.begin(), reg.classes.end(), [&](const auto& cls) {
    return !cls->system && cls->instance == hInstance && NameMatches(*cls, lpClassName);
  });
  if (it == reg.classes.end()) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  // Windows of the class hold a reference each; the registry holds the last one.
  if (it->use_count() > 1) {
    SetLastError(ERROR_CLASS_HAS_WINDOWS);
    return FALSE;
  }
  reg.classes.erase(it);
  return TRUE;
}

BOOL WINAPI GetClassInfoExW(HINSTANCE hInstance, LPCWSTR lpszClass, LPWNDCLASSEXW lpwcx) {
  if (!lpszClass || !lpwcx) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ClassRegistry& reg = Registry();
  std::lock_guard guard(reg.lock);
  std::shared_ptr<WindowClass> cls = FindLocked(reg, lpszClass, hInstance);
  if (!cls) {
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
  }
  FillInfo(*cls, *lpwcx);
  return cls->atom;  // Win32 returns the class atom as the success value
}

BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
  WNDCLASSEXW wc{};
  if (!lpWndClass) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BOOL atom = GetClassInfoExW(hInstance, lpClassName, &wc);
  if (!atom) return FALSE;
  *lpWndClass = WNDCLASSW{wc.style, wc.lpfnWndProc, wc.cbClsExtra,    wc.cbWndExtra,   wc.hInstance,
                          wc.hIcon, wc.hCursor,     wc.hbrBackground, wc.lpszMenuName, wc.lpszClassName};
  return atom;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
  Window* w = Get(hWnd);
  if (!w || !lpClassName || nMaxCount <= 0) return 0;
  size_t n = std::min(w->cls->name.size(), static_cast<size_t>(nMaxCount - 1));
  std::copy_n(w->cls->name.data(), n, lpClassName);
  lpClassName[n] = 0;
  return static_cast<int>(n);
}

ULONG_PTR WINAPI GetClassLongPtrW(HWND hWnd, int nIndex) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  const WindowClass& cls = *w->cls;
  switch (nIndex) {
    case GCLP_MENUNAME:
      return reinterpret_cast<ULONG_PTR>(cls.menuName);
    case GCLP_HBRBACKGROUND:
      return reinterpret_cast<ULONG_PTR>(cls.background);
    case GCLP_HCURSOR:
      return reinterpret_cast<ULONG_PTR>(cls.cursor);
    case GCLP_HICON:
      return reinterpret_cast<ULONG_PTR>(cls.icon);
    case GCLP_HICONSM:
      return reinterpret_cast<ULONG_PTR>(cls.iconSmall);
    case GCLP_HMODULE:
      return reinterpret_cast<ULONG_PTR>(cls.instance);
    case GCL_CBWNDEXTRA:
      return static_cast<ULONG_PTR>(cls.wndExtra);
    case GCL_CBCLSEXTRA:
      return static_cast<ULONG_PTR>(cls.clsExtra);
    case GCLP_WNDPROC:
      return reinterpret_cast<ULONG_PTR>(cls.proc);
    case GCL_STYLE:
      return cls.style;
    case GCW_ATOM:
      return cls.atom;
  }
  if (nIndex >= 0 && static_cast<size_t>(nIndex) + sizeof(ULONG_PTR) <= cls.extra.size()) {
    ULONG_PTR value;
    std::memcpy(&value, &cls.extra[nIndex], sizeof(value));
    return value;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

ULONG_PTR WINAPI SetClassLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  WindowClass& cls = *w->cls;
  ULONG_PTR old = GetClassLongPtrW(hWnd, nIndex);
  switch (nIndex) {
    case GCLP_HBRBACKGROUND:
      cls.background = reinterpret_cast<HBRUSH>(dwNewLong);
      return old;
    case GCLP_HCURSOR:
      cls.cursor = reinterpret_cast<HCURSOR>(dwNewLong);
      return old;
    case GCLP_HICON:
      cls.icon = reinterpret_cast<HICON>(dwNewLong);
      return old;
    case GCLP_HICONSM:
      cls.iconSmall = reinterpret_cast<HICON>(dwNewLong);
      return old;
    case GCLP_WNDPROC:
      if (!dwNewLong) break;
      cls.proc = reinterpret_cast<WNDPROC>(dwNewLong);
      return old;
    case GCL_STYLE:
      cls.style = static_cast<UINT>(dwNewLong);
      return old;
  }
  if (nIndex >= 0 && static_cast<size_t>(nIndex) + sizeof(LONG_PTR) <= cls.extra.size()) {
    std::memcpy(&cls.extra[nIndex], &dwNewLong, sizeof(dwNewLong));
    return old;
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}
