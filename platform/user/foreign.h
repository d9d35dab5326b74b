// Windows of other processes. The cross-process part of the stand-in installs these hooks;
// until it does, no foreign window exists and every call below finds nothing.
#pragma once

#include <windows.h>

namespace umbra::user {

struct ForeignWindowHooks {
  // The next foreign top-level window after `after` (null: the first) matching the class name
  // and title (either may be null), or null.
  HWND (*find)(LPCWSTR className, LPCWSTR title, HWND after);
  bool (*isWindow)(HWND hwnd);
  // Delivers a sent message and waits at most timeoutMs (INFINITE allowed); false when the
  // window is gone, does not answer in time, or the message cannot cross processes.
  bool (*send)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs, LRESULT* result);
  bool (*post)(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

void SetForeignWindowHooks(const ForeignWindowHooks* hooks);

HWND FindForeignWindow(LPCWSTR className, LPCWSTR title, HWND after);
bool IsForeignWindow(HWND hwnd);
bool SendToForeignWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                         LRESULT* result);
bool PostToForeignWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace umbra::user
