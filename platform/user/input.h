// The single entry point of input and display events. Display backends (for real input) and
// SendInput (for synthesised input) both call QueueInput, so both are routed the same way: hit
// test, capture, activation, double clicks, focus. All calls here are safe from any thread.
#pragma once

#include <windows.h>

namespace umbra::user {

struct RawInput {
  enum class Kind { Move, Button, Wheel, HorizontalWheel, Key, Char };
  Kind kind = Kind::Move;
  POINT pt{};         // screen position (Move, Button, Wheel)
  int button = 0;     // Button: 0 left, 1 right, 2 middle, 3 X1, 4 X2
  bool down = false;  // Button, Key
  int delta = 0;      // Wheel: multiples of WHEEL_DELTA, positive away from the user
  WORD vk = 0;        // Key: virtual key (side-specific VK_LSHIFT... allowed)
  WORD scan = 0;      // Key: scan code; 0 picks the usual one
  bool extended = false;
  char16_t unit = 0;     // Char: one UTF-16 unit of text (an input method's commit)
  DWORD time = 0;        // 0: now
  bool coalesce = true;  // Move: may merge with a move still waiting
};

// Queues an event. The pointer position and GetAsyncKeyState change at once; the messages are
// made when the GUI thread next reads its queue, and the thread is woken for them.
void QueueInput(const RawInput& event);

// ---- Display events (call on the GUI thread, e.g. from Backend::ProcessEvents) ----
// The window manager moved or resized a top-level window. The backend has already resized the
// window's surface; the window gets the usual WM_WINDOWPOSCHANGING/CHANGED, WM_SIZE and WM_MOVE.
void DisplayMovedWindow(HWND hwnd, const RECT& screenRect);
// The window manager's close button: WM_SYSCOMMAND SC_CLOSE.
void DisplayCloseRequest(HWND hwnd);
// Part of a window must be painted again (null: all of it), in window coordinates.
void DisplayExposed(HWND hwnd, const RECT* windowRect);
// The window manager activated one of our windows, or another program (null).
void DisplayActivated(HWND hwnd);
// An interactive move/size the display ran (Backend::BeginMoveSize returned true) started or ended.
void DisplayMoveSizeStarted(HWND hwnd);
void DisplayMoveSizeEnded(HWND hwnd);

}  // namespace umbra::user
