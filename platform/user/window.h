// The window manager's data: classes, windows and the handle table. Window state belongs to
// the thread that created the window; only the handle table (and each thread's queue, see
// queue.h) may be touched from other threads.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "display/display.h"
#include "gdi/region.h"

namespace umbra::user {

struct ThreadQueue;

struct WindowClass {
  std::u16string name;
  ATOM atom = 0;
  UINT style = 0;
  WNDPROC proc = nullptr;
  int clsExtra = 0;
  int wndExtra = 0;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HICON iconSmall = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  LPCWSTR menuName = nullptr;  // points into menuNameText, or a resource identifier
  std::u16string menuNameText;
  bool system = false;
  std::vector<uint8_t> extra;
};

// Internal WINDOWPOS flags for DefWindowProcW's WM_WINDOWPOSCHANGED: the client area kept its
// size (or position), so no WM_SIZE (or WM_MOVE) is due.
constexpr UINT kSwpNoClientSize = 0x0800;
constexpr UINT kSwpNoClientMove = 0x1000;

struct Window {
  HWND hwnd = nullptr;
  std::shared_ptr<WindowClass> cls;
  std::shared_ptr<ThreadQueue> queue;  // null for the desktop and message roots
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD exStyle = 0;
  LONG_PTR id = 0;  // GWLP_ID: the control identifier, or the menu of a top-level window
  LONG_PTR userData = 0;
  HINSTANCE instance = nullptr;
  Window* parent = nullptr;  // a root for top-level windows
  Window* owner = nullptr;
  std::vector<Window*> children;  // z-order, topmost first
  std::u16string text;
  RECT rect{};        // window rectangle, in the parent's client coordinates (screen for top-level)
  RECT client{};      // client rectangle, same coordinates
  RECT normalRect{};  // the restored rectangle while minimised or maximised
  std::vector<uint8_t> extra;
  std::vector<std::pair<std::u16string, HANDLE>> props;

  // Painting (client coordinates).
  gdi::PixRegion update;
  bool erasePending = false;
  bool internalPaint = false;
  bool ncPaintPending = false;
  bool paintCounted = false;  // counted in the queue's windows-needing-paint

  // Life cycle.
  bool created = false;  // past WM_NCCREATE
  bool destroying = false;
  std::atomic<bool> dead{false};  // read by threads that post or send to the window
  bool sizeSent = false;          // WM_SIZE/WM_MOVE have been sent once
  bool restoreMaximized = false;  // minimised from the maximised state
  bool hiddenByOwner = false;     // hidden while its owner is minimised

  // Top-level extras.
  bool hasRegion = false;
  gdi::PixRegion region;  // window coordinates
  display::LayeredState layered;
  HICON iconBig = nullptr;
  HICON iconSmall = nullptr;
  display::NativeWindow native = nullptr;

  bool IsRoot() const { return parent == nullptr; }
  bool IsTopLevel() const { return parent && parent->IsRoot(); }
  bool IsVisible() const { return style & WS_VISIBLE; }
};

// ---- Handle table (any thread) ----
std::shared_ptr<Window> Lookup(HWND hwnd);
// The live window, or null with ERROR_INVALID_WINDOW_HANDLE. The pointer is valid until the
// caller next runs window procedures; keep a Lookup() reference across them.
Window* Get(HWND hwnd);
Window* Desktop();
Window* MessageRoot();
HWND RegisterWindow(std::shared_ptr<Window> window);
void UnregisterWindow(HWND hwnd);

// ---- Tree helpers ----
Window* TopLevelOf(Window* w);  // the top-level window at the root of w's parent chain
bool IsDescendant(const Window* ancestor, const Window* w);  // w itself counts
bool IsReallyVisible(const Window* w);                       // w and all its parents shown
bool IsReallyEnabled(const Window* w);
void Unlink(Window* w);
void LinkAt(Window* w, Window* parent, HWND insertAfter);  // HWND_TOP, HWND_BOTTOM or a sibling
// Top-level windows of the desktop in the order the display must stack them.
void RestackDisplay();

// ---- Coordinates ----
POINT ClientOrigin(const Window* w);  // screen position of the client area's (0,0)
RECT ScreenRect(const Window* w);
RECT ScreenClient(const Window* w);
// Where w's window rectangle lies in its top-level window's surface.
POINT SurfaceOffset(const Window* w);
// w's shape (window rectangle, cut by its window region) in surface coordinates.
gdi::PixRegion ShapeInSurface(const Window* w);
// Frame widths implied by the styles: client = window rect minus these.
RECT FrameInsets(DWORD style, DWORD exStyle);

// ---- For the display side ----
struct TopLevelLook {
  gdi::PixelSurface surface;
  bool hasRegion = false;
  gdi::PixRegion region;
  display::LayeredState layered;
};
bool DescribeTopLevel(HWND hwnd, TopLevelLook& out);

}  // namespace umbra::user
