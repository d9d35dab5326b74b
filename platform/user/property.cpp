// What a window stores for its users: window longs (styles, procedure, identifier, user data,
// extra bytes), properties and text.
#include <algorithm>
#include <cstring>

#include "user/user.h"

namespace umbra::user {
namespace {

// Pointer-sized values are only reachable through the ...Ptr forms, as in 64-bit Win32.
bool PointerOnlyIndex(int index) {
  return index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT;
}

template <typename T>
bool ReadExtra(const Window* w, int index, T* out) {
  if (index < 0 || static_cast<size_t>(index) + sizeof(T) > w->extra.size()) return false;
  std::memcpy(out, &w->extra[static_cast<size_t>(index)], sizeof(T));
  return true;
}

template <typename T>
bool WriteExtra(Window* w, int index, T value) {
  if (index < 0 || static_cast<size_t>(index) + sizeof(T) > w->extra.size()) return false;
  std::memcpy(&w->extra[static_cast<size_t>(index)], &value, sizeof(T));
  return true;
}

LONG_PTR GetLong(const Window* w, int index) {
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->exStyle);
    case GWLP_ID:
      return w->id;
    case GWLP_USERDATA:
      return w->userData;
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      if (w->style & WS_CHILD) return w->parent ? reinterpret_cast<LONG_PTR>(w->parent->hwnd) : 0;
      return w->owner ? reinterpret_cast<LONG_PTR>(w->owner->hwnd) : 0;
  }
  return 0;
}

// Style changes take effect at once; the frame follows with SWP_FRAMECHANGED, as on Windows.
void ChangeStyle(Window* w, int index, DWORD wanted) {
  HWND hwnd = w->hwnd;
  STYLESTRUCT ss{index == GWL_STYLE ? w->style : w->exStyle, wanted};
  SendMessageW(hwnd, WM_STYLECHANGING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
  if (w->dead) return;
  if (index == GWL_STYLE) {
    DWORD old = w->style;
    w->style = ss.styleNew;
    if ((old ^ w->style) & WS_VISIBLE) {
      if (!w->IsVisible())
        ClearUpdateTree(w);
      else
        InvalidateWhole(w, true);
      if (w->native) display::Current().Show(w->native, w->IsVisible());
    }
  } else {
    DWORD old = w->exStyle;
    // Topmost is a z-order property: SetWindowPos changes it, not the style.
    w->exStyle = (ss.styleNew & ~WS_EX_TOPMOST) | (old & WS_EX_TOPMOST);
    if ((old ^ w->exStyle) & WS_EX_LAYERED) OnLayeredStyleChanged(w, w->exStyle & WS_EX_LAYERED);
  }
  if (w->native) display::Current().SetStyle(w->native, w->style, w->exStyle);
  SendMessageW(hwnd, WM_STYLECHANGED, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&ss));
}

bool SetLong(Window* w, int index, LONG_PTR value, LONG_PTR* old) {
  *old = GetLong(w, index);
  switch (index) {
    case GWL_STYLE:
    case GWL_EXSTYLE:
      ChangeStyle(w, index, static_cast<DWORD>(value));
      return true;
    case GWLP_ID:
      w->id = value;
      return true;
    case GWLP_USERDATA:
      w->userData = value;
      return true;
    case GWLP_HINSTANCE:
      w->instance = reinterpret_cast<HINSTANCE>(value);
      return true;
    case GWLP_WNDPROC:
      if (!value) return false;
      w->proc = reinterpret_cast<WNDPROC>(value);
      return true;
    case GWLP_HWNDPARENT: {
      // For a top-level window this is the owner; children change parent through SetParent.
      if (w->style & WS_CHILD) return false;
      std::shared_ptr<Window> owner = Lookup(reinterpret_cast<HWND>(value));
      if (value && !owner) return false;
      Window* top = owner ? TopLevelOf(owner.get()) : nullptr;
      if (top == w) return false;
      w->owner = top;
      return true;
    }
  }
  return false;
}

std::u16string PropKey(LPCWSTR name) {
  if (IS_INTRESOURCE(name)) {
    // An atom: kept apart from strings by a prefix no string key can have.
    std::u16string key(1, u'\0');
    key += static_cast<char16_t>(reinterpret_cast<ULONG_PTR>(name));
    return key;
  }
  return name;
}

auto FindProp(Window* w, LPCWSTR name) {
  std::u16string key = PropKey(name);
  return std::find_if(w->props.begin(), w->props.end(), [&](const auto& p) {
    if (key.empty() || key[0] == 0 || p.first.empty() || p.first[0] == 0) return p.first == key;
    return _wcsicmp(p.first.c_str(), key.c_str()) == 0;
  });
}

}  // namespace
}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

LONG_PTR WINAPI GetWindowLongPtrW(HWND hWnd, int nIndex) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  LONG_PTR value = 0;
  if (nIndex >= 0) {
    if (!ReadExtra(w, nIndex, &value)) SetLastError(ERROR_INVALID_INDEX);
    return value;
  }
  switch (nIndex) {
    case GWL_STYLE:
    case GWL_EXSTYLE:
    case GWLP_ID:
    case GWLP_USERDATA:
    case GWLP_WNDPROC:
    case GWLP_HINSTANCE:
    case GWLP_HWNDPARENT:
      return GetLong(w, nIndex);
  }
  SetLastError(ERROR_INVALID_INDEX);
  return 0;
}

LONG_PTR WINAPI SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  if (nIndex >= 0) {
    LONG_PTR old = 0;
    if (!ReadExtra(w, nIndex, &old) || !WriteExtra(w, nIndex, dwNewLong)) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    return old;
  }
  LONG_PTR old = 0;
  if (!SetLong(w, nIndex, dwNewLong, &old)) {
    SetLastError(nIndex == GWLP_WNDPROC || nIndex == GWLP_HWNDPARENT ? ERROR_INVALID_PARAMETER
                                                                     : ERROR_INVALID_INDEX);
    return 0;
  }
  return old;
}

LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  if (nIndex >= 0) {
    LONG value = 0;
    if (!ReadExtra(w, nIndex, &value)) SetLastError(ERROR_INVALID_INDEX);
    return value;
  }
  if (PointerOnlyIndex(nIndex)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  return static_cast<LONG>(GetWindowLongPtrW(hWnd, nIndex));
}

LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
  Window* w = Get(hWnd);
  if (!w) return 0;
  if (nIndex >= 0) {
    LONG old = 0;
    if (!ReadExtra(w, nIndex, &old) || !WriteExtra(w, nIndex, dwNewLong)) {
      SetLastError(ERROR_INVALID_INDEX);
      return 0;
    }
    return old;
  }
  if (PointerOnlyIndex(nIndex)) {
    SetLastError(ERROR_INVALID_INDEX);
    return 0;
  }
  // Styles are bit sets: widen without sign extension.
  LONG_PTR value = (nIndex == GWL_STYLE || nIndex == GWL_EXSTYLE)
                       ? static_cast<LONG_PTR>(static_cast<DWORD>(dwNewLong))
                       : dwNewLong;
  return static_cast<LONG>(SetWindowLongPtrW(hWnd, nIndex, value));
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  Window* w = Get(hWnd);
  return w && (w->style & WS_CHILD) ? static_cast<int>(w->id) : 0;
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  Window* w = Get(hDlg);
  if (!w) return nullptr;
  for (Window* c : w->children)
    if (static_cast<int>(c->id) == nIDDlgItem) return c->hwnd;
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

BOOL WINAPI SetPropW(HWND hWnd, LPCWSTR lpString, HANDLE hData) {
  Window* w = Get(hWnd);
  if (!w || !lpString) return FALSE;
  auto it = FindProp(w, lpString);
  if (it != w->props.end())
    it->second = hData;
  else
    w->props.emplace_back(PropKey(lpString), hData);
  return TRUE;
}

HANDLE WINAPI GetPropW(HWND hWnd, LPCWSTR lpString) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || !lpString) return nullptr;
  auto it = FindProp(w.get(), lpString);
  return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropW(HWND hWnd, LPCWSTR lpString) {
  Window* w = Get(hWnd);
  if (!w || !lpString) return nullptr;
  auto it = FindProp(w, lpString);
  if (it == w->props.end()) return nullptr;
  HANDLE data = it->second;
  w->props.erase(it);
  return data;
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  lpString[0] = 0;
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(
      SendMessageW(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthW(HWND hWnd) {
  if (!IsWindow(hWnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return static_cast<int>(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}
