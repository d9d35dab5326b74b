// The x11 display's shared state, split across x11.cpp (connection, windows, pixels),
// x11_input.cpp (events, keys, input method) and x11_clipboard.cpp (the CLIPBOARD selection).
// Only these files include Xlib; its macros (None, Bool, Status...) stay out of the rest.
#pragma once

// Project headers first: Xlib's None macro must not reach display.h's Mode::None.
#include "display/display.h"

// clang-format off
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
// clang-format on

// Every Xlib header is in above: None may go.
#undef None

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace umbra::display::x11 {

// Xlib's "no resource" value, without its macro, which would clash with Mode::None.
inline constexpr unsigned long kNone = 0L;

struct Atoms {
  Atom wmProtocols, wmDeleteWindow, wmState;
  Atom netSupported, netSupportingWmCheck, netWorkarea, netWmName, netWmMoveResize, netWmState,
      netWmStateMaximizedVert, netWmStateMaximizedHorz, netActiveWindow, netWmWindowType,
      netWmWindowTypeNormal, netWmWindowTypeDialog, netWmWindowTypeTooltip, netWmWindowTypePopupMenu,
      netWmWindowTypeUtility, netWmPid;
  Atom motifWmHints, utf8String;
  Atom clipboard, targets, text, incr, clipboardProperty;
};

// One top-level window: its X window and the pixels behind it.
struct XWin {
  HWND hwnd = nullptr;
  ::Window xid = 0;
  RECT rect{};  // screen coordinates, as the window manager last reported or we last asked
  DWORD style = 0;
  DWORD exStyle = 0;
  HWND owner = nullptr;
  bool visible = false;      // the user layer wants it shown
  bool mapped = false;       // what we asked of the server
  bool iconic = false;       // we asked the window manager to iconify it
  bool argb = false;         // created on the 32-bit visual, for layered windows
  bool reparented = false;   // inside a window manager's frame: its x and y are not ours
  std::deque<RECT> pending;  // rectangles we asked for that the server has not confirmed yet

  // The surface: in a shared memory segment when the server can read it, else on the heap.
  int width = 0;
  int height = 0;
  uint32_t* pixels = nullptr;
  std::vector<uint32_t> heapPixels;
  XShmSegmentInfo shm{};
  bool inShm = false;

  bool hasRegion = false;
  gdi::PixRegion region;
  LayeredState layered;
  XIC ic = nullptr;
  GC gc = nullptr;
};

struct Conn {
  Display* dpy = nullptr;
  int screen = 0;
  ::Window root = 0;
  Visual* visual = nullptr;  // the default visual, for ordinary windows
  int depth = 0;
  Visual* argbVisual = nullptr;  // a 32-bit TrueColor visual, when the server has one
  Colormap argbColormap = 0;
  bool directPixels = false;  // the default visual takes our 0x00RRGGBB words as they are
  bool shm = false;
  bool shape = false;
  Atoms atom{};
  XIM im = nullptr;
  ::Window helper = 0;  // an unmapped window that owns selections and receives their data
  std::vector<std::unique_ptr<XWin>> windows;
  std::vector<::Window> stacked;  // the order we last gave the server, topmost first
  ::Window grab = 0;              // the window holding the pointer grab (SetCapture)
  int wakeFd = -1;                // signalled when Xlib has events queued that the socket will not announce
  int pollFd = -1;                // epoll over the connection and wakeFd: what the message loop waits on
  bool wmRuns = false;            // a window manager announces itself on the root
  bool wmMoveResize = false;      // ...and moves and sizes windows for applications
  HWND wmMoveSize = nullptr;
  // The request that last moved the focus: focus events from before it are stale, as a
  // newer activation of ours is on its way.
  unsigned long focusSerial = 0;  // a move or resize the window manager runs for us
  Cursor cursor = 0;
  int cursorId = -1;
};

Conn& X();
XWin* FindByXid(::Window xid);
XWin* FindByHwnd(HWND hwnd);
// Reads a property as 32-bit items (CARDINAL, ATOM, WINDOW); empty when missing.
std::vector<long> ReadLongs(::Window w, Atom property, Atom type);
// Errors from a request the caller expects may fail: Trap, make the request, then Untrap()
// returns true when one came back.
void Trap();
bool Untrap();

// Re-reads the screen size, work area and window manager after the root changed.
void RefreshRootState();
// Puts part of a window's surface on the screen again (after an Expose).
void PresentAgain(XWin& w, const RECT& windowRect);
// The window manager or the server resized the window: the surface follows, keeping its pixels.
void ResizeFromServer(XWin& w, const RECT& screenRect);

// ---- x11_input.cpp ----
void OpenInput();
void HandleEvent(XEvent& event);
void AttachInputContext(XWin& w);
void DetachInputContext(XWin& w);
// The virtual key of a keysym (US layout for letters, digits and punctuation), 0 for none.
WORD VirtualKeyFor(KeySym sym);

// ---- x11_clipboard.cpp ----
bool HandleSelectionEvent(XEvent& event);
bool ClipboardSetText(const std::u16string& text);
bool ClipboardGetText(std::u16string& text);
bool ClipboardHasText();

}  // namespace umbra::display::x11
