// The screen behind the window manager: a table of backend functions. The window manager in
// platform/user calls these for top-level windows only; child windows are composited by us
// into their top-level window's surface. Backends feed input back through platform/user/input.h.
//
// Backends: "headless" (an in-memory screen, headless.cpp) and "x11" (x11.cpp). UMBRA_DISPLAY
// chooses one; without it, x11 when DISPLAY is set and the x11 backend is built in, else headless.
// A backend that fails to open leaves the headless one in its place.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gdi/region.h"
#include "gdi/surface.h"

namespace umbra::display {

using gdi::PixelSurface;

// What a backend needs to create the native side of a top-level window.
struct WindowInfo {
  HWND hwnd = nullptr;
  RECT rect{};  // screen coordinates, including the frame
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND owner = nullptr;
};

// How the window's surface is blended onto the screen.
struct LayeredState {
  enum class Mode {
    None,        // an ordinary, opaque window
    Hidden,      // WS_EX_LAYERED, but neither attributes nor content given yet: not shown
    Attributes,  // SetLayeredWindowAttributes: constant alpha and/or colour key over painted pixels
    Content,     // UpdateLayeredWindow: the surface holds the content itself
  };
  Mode mode = Mode::None;
  DWORD flags = 0;        // LWA_* for Attributes, ULW_* for Content
  BYTE alpha = 255;       // constant alpha (LWA_ALPHA, or BLENDFUNCTION.SourceConstantAlpha)
  COLORREF key = 0;       // colour key
  bool perPixel = false;  // Content with AC_SRC_ALPHA: the surface is premultiplied BGRA
};

// Opaque backend window; null when the backend could not create one.
using NativeWindow = void*;

struct Backend {
  const char* name;
  // Connects to the screen; false leaves the backend unused (the headless one is taken instead).
  bool (*Open)();

  // ---- Screen (one monitor) ----
  void (*GetScreen)(RECT* screen, RECT* work);

  // ---- Message loop wiring ----
  // A file descriptor the message loop polls while it waits (-1 for none), and a call that
  // handles whatever is ready without blocking, feeding input through platform/user/input.h.
  int (*EventFd)();
  void (*ProcessEvents)();

  // ---- Top-level windows ----
  NativeWindow (*CreateNative)(const WindowInfo& info);
  void (*DestroyNative)(NativeWindow w);
  // The window's pixels (window coordinates, frame included). Valid until the next SetRect or
  // DestroyNative on that window.
  PixelSurface (*Surface)(NativeWindow w);
  // Moves and/or resizes; the surface is reallocated on a size change, keeping what still fits.
  void (*SetRect)(NativeWindow w, const RECT& screenRect);
  void (*Show)(NativeWindow w, bool visible);
  // The full stacking order of the shown and hidden top-level windows, topmost first.
  void (*Restack)(const NativeWindow* topToBottom, size_t count);
  void (*SetTitle)(NativeWindow w, const WCHAR* title);
  void (*SetStyle)(NativeWindow w, DWORD style, DWORD exStyle);
  // The window region in window coordinates; null removes it.
  void (*SetRegion)(NativeWindow w, const gdi::PixRegion* region);
  void (*SetLayered)(NativeWindow w, const LayeredState& state);
  // Pixels of the surface changed inside dirty (window coordinates).
  void (*Present)(NativeWindow w, const RECT& dirty);

  // ---- Input ----
  void (*SetCapture)(NativeWindow w);     // null releases
  void (*SetCursor)(int systemCursorId);  // an IDC_* number; 0 hides the pointer
  void (*WarpPointer)(POINT screenPoint);
  // Asked when DefWindowProcW starts an interactive move (hit == HTCAPTION) or resize (a
  // sizing hit code). Returning true means the display runs it (a window manager does the
  // move) and reports the result through the user layer's display events; false runs our own
  // modal loop on the input it delivers.
  bool (*BeginMoveSize)(NativeWindow w, int hit, POINT screenPoint);
  // Activation requested by the window manager side (raise and focus).
  void (*Activate)(NativeWindow w);

  // ---- Reading back ----
  // The screen as 0xFFRRGGBB pixels, rows top-down.
  bool (*CaptureScreen)(std::vector<uint32_t>& pixels, int& width, int& height);

  // ---- Clipboard ----
  // The text on a clipboard shared with other programs. Null entries (the headless display)
  // keep the clipboard inside this process.
  bool (*SetClipboardText)(const std::u16string& text) = nullptr;  // we own the clipboard from now on
  bool (*GetClipboardText)(std::u16string& text) = nullptr;
  bool (*HasClipboardText)() = nullptr;
};

// The backend in use, opened on first call.
const Backend& Current();

const Backend* HeadlessBackend();
// The headless screen's size from UMBRA_SCREEN's "WIDTHxHEIGHT"; nothing for other text.
std::optional<SIZE> ParseScreenSize(const char* text);
// Defined by x11.cpp, which is built in with UMBRA_HAVE_X11 defined.
const Backend* X11Backend();

// ---- Images and PNG -----------------------------------------------------------------------------
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // premultiplied 0xAARRGGBB, rows top-down
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

bool CaptureScreen(Image& out);
// A top-level window as it would appear on the screen: its region, layered alpha and colour key
// applied, transparent elsewhere.
bool CaptureWindow(HWND hwnd, Image& out);
bool SavePng(const Image& image, const char* path);

// Blends a window's surface onto an image (screen or window capture) at offset (dx, dy).
void ComposeSurface(Image& dst, const PixelSurface& src, int dx, int dy, const gdi::PixRegion* region,
                    const LayeredState& layered);

}  // namespace umbra::display
