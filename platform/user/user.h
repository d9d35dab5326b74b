// Calls shared between the window manager's files, grouped by the file that defines them.
#pragma once

#include <windows.h>

#include "gdi/region.h"
#include "user/queue.h"
#include "user/window.h"

namespace umbra::user {

// ---- class.cpp ----
std::shared_ptr<WindowClass> FindClass(LPCWSTR name, HINSTANCE instance);

// ---- message.cpp ----
// Delivers a message to a window of this thread (or a root) at once.
LRESULT CallWindow(Window* w, UINT message, WPARAM wParam, LPARAM lParam);
DWORD CurrentThreadId();
constexpr UINT kInfinite = 0xFFFFFFFF;
// First the message range filter, then the window filter, as GetMessage/PeekMessage apply them.
bool MessageInRange(UINT message, UINT first, UINT last);
bool WindowFilterMatches(HWND msgHwnd, HWND filter);

// ---- winpos.cpp ----
constexpr int kMaxWindowSide = 8192;  // keeps a window surface allocatable
bool NeedsMinMaxInfo(const Window* w);
// Keeps a rectangle a window procedure returned within the coordinate range, right of and below
// its own left and top edges.
RECT SanitizeRect(const RECT& r);
MINMAXINFO QueryMinMaxInfo(Window* w);  // defaults from the monitor, then WM_GETMINMAXINFO
RECT DefaultCreateRect(DWORD style, const Window* parent, int x, int y, int cx, int cy);
// Moves/resizes/shows as SetWindowPos; `fromDisplay` skips telling the display back.
bool SetWindowPosFor(Window* w, HWND insertAfter, int x, int y, int cx, int cy, UINT flags, bool fromDisplay);
void Restack(Window* w, HWND insertAfter);
void PushNativeState(Window* w);  // rectangle and visibility to the display

// ---- focus.cpp ----
// Makes w (a top-level window, or null) the active window of this thread. `raise` brings it to
// the top with WM_WINDOWPOSCHANGING/CHANGED, as an activation from outside SetWindowPos does.
void ActivateWindow(Window* w, WORD how, bool raise);
// After the active window is hidden, minimised or destroyed: activates the next candidate.
void ActivateOtherWindow(Window* leaving);
// Clears focus, capture and activation that point into a window being destroyed.
void ForgetWindowState(Window* w);

// ---- paint.cpp ----
void InvalidateWhole(Window* w, bool erase);
void InvalidateRegion(Window* w, const gdi::PixRegion& clientRegion, bool erase, UINT childrenFlags);
void ClearUpdateTree(Window* w);
void RefreshPaintFlag(Window* w);
HWND FindWindowToPaint(ThreadQueue& queue, HWND filter);
// The pixels w may draw on, in its top-level window's surface coordinates.
gdi::PixRegion VisibleRegion(const Window* w, bool clientOnly);
gdi::PixelSurface SurfaceOf(const Window* w);
void PresentWindow(Window* w, const RECT& surfaceDirty);
void PresentAll(Window* w);
// Paints the frame (caption strip and borders) of a window with a non-client area.
void PaintFrame(Window* w);
bool EraseWithClassBrush(Window* w, HDC hdc);

// ---- timer.cpp ----
void KillWindowTimers(ThreadQueue& queue, HWND hwnd);
bool NextTimerMessage(ThreadQueue& queue, HWND filter, UINT first, UINT last, bool remove, MSG* out);
uint64_t NextTimerDue(const ThreadQueue& queue);  // UINT64_MAX when none
bool TimerProcIsRegistered(const ThreadQueue& queue, HWND hwnd, UINT_PTR id, LPARAM proc);

// ---- input.cpp ----
bool IsInputQueue(ThreadQueue& queue);
// The thread that activates a window becomes the one raw input is routed on.
void ClaimInput(ThreadQueue& queue);
bool RawInputPending();
POINT CursorPosition();
// Routes raw input into queue.input until a routed message passes the filter or none is left.
void RouteInput(ThreadQueue& queue, HWND filter, UINT first, UINT last);
bool InputMatches(const MSG& msg, HWND filter, UINT first, UINT last);
void ForgetWindowInput(HWND hwnd);
// The window under a screen point, found as mouse input finds it (WM_NCHITTEST included).
HWND WindowAt(POINT screen, int* hit);
WORD MouseKeyFlags(const BYTE* keys);

// ---- keyboard.cpp ----
struct PendingInput;
// Makes the key message (or nothing) for a keyboard event, for the focus window.
void RouteKey(ThreadQueue& queue, const PendingInput& event);
// Applies a key transition to a key-state table (side-specific keys update the generic ones).
void ApplyKey(BYTE* keys, WORD vk, bool extended, bool down);
WORD DefaultScanCode(WORD vk, bool* extended);

// ---- caret.cpp ----
void HideCaretForPaint(HWND hwnd);
void ShowCaretAfterPaint(HWND hwnd);
void ForgetCaret(HWND hwnd);

// ---- cursor.cpp ----
int SystemCursorId(HCURSOR cursor);  // IDC_* number, 0 for none

// ---- defwnd.cpp ----
LRESULT DefaultHitTest(Window* w, POINT screen);

// ---- movesize.cpp ----
void RunMoveSizeLoop(Window* w, WPARAM command, LPARAM screenPoint);

// ---- layered.cpp ----
void OnLayeredStyleChanged(Window* w, bool layered);

// ---- monitor.cpp ----
void ScreenAndWorkArea(RECT* screen, RECT* work);

}  // namespace umbra::user
