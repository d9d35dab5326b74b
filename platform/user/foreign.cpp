// The hooks through which windows of other processes are found and reached.
#include "user/foreign.h"

#include <atomic>

namespace umbra::user {
namespace {
std::atomic<const ForeignWindowHooks*> g_hooks{nullptr};
}

void SetForeignWindowHooks(const ForeignWindowHooks* hooks) { g_hooks.store(hooks); }

HWND FindForeignWindow(LPCWSTR className, LPCWSTR title, HWND after) {
  const ForeignWindowHooks* hooks = g_hooks.load();
  return hooks && hooks->find ? hooks->find(className, title, after) : nullptr;
}

bool IsForeignWindow(HWND hwnd) {
  const ForeignWindowHooks* hooks = g_hooks.load();
  return hwnd && hooks && hooks->isWindow && hooks->isWindow(hwnd);
}

bool SendToForeignWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                         LRESULT* result) {
  const ForeignWindowHooks* hooks = g_hooks.load();
  return hooks && hooks->send && hooks->send(hwnd, message, wParam, lParam, timeoutMs, result);
}

bool PostToForeignWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const ForeignWindowHooks* hooks = g_hooks.load();
  return hooks && hooks->post && hooks->post(hwnd, message, wParam, lParam);
}

}  // namespace umbra::user
