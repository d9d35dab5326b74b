// The hooks through which windows of other processes are found and reached.
#include "user/foreign.h"

#include <atomic>

#include "user/remote.h"

namespace umbra::user {
namespace {
std::atomic<const ForeignWindowHooks*> g_hooks{nullptr};

// Other processes' windows are reached through the runtime folder unless a test sets its own.
const ForeignWindowHooks* Hooks() {
  const ForeignWindowHooks* hooks = g_hooks.load();
  return hooks ? hooks : RemoteWindowHooks();
}
}  // namespace

void SetForeignWindowHooks(const ForeignWindowHooks* hooks) { g_hooks.store(hooks); }

HWND FindForeignWindow(LPCWSTR className, LPCWSTR title, HWND after) {
  const ForeignWindowHooks* hooks = Hooks();
  return hooks && hooks->find ? hooks->find(className, title, after) : nullptr;
}

bool IsForeignWindow(HWND hwnd) {
  const ForeignWindowHooks* hooks = Hooks();
  return hwnd && hooks && hooks->isWindow && hooks->isWindow(hwnd);
}

bool SendToForeignWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs,
                         LRESULT* result) {
  const ForeignWindowHooks* hooks = Hooks();
  return hooks && hooks->send && hooks->send(hwnd, message, wParam, lParam, timeoutMs, result);
}

bool PostToForeignWindow(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const ForeignWindowHooks* hooks = Hooks();
  return hooks && hooks->post && hooks->post(hwnd, message, wParam, lParam);
}

}  // namespace umbra::user
