// The caret: one per thread, owned by a window, drawn by inverting its rectangle on the
// window's pixels and blinking on an internal timer. Painting hides it around BeginPaint/EndPaint
// so that an inverted rectangle never gets painted over.
#include "gdi/region.h"
#include "user/user.h"

namespace umbra::user {
namespace {

struct Caret {
  HWND owner = nullptr;
  int width = 0;
  int height = 0;
  POINT pos{};
  int hideCount = 1;  // a new caret is hidden
  bool drawn = false;
  UINT blinkTime = 530;
};

thread_local Caret t_caret;

// Inverts the caret rectangle where the owner's client area shows.
void Invert() {
  Caret& c = t_caret;
  std::shared_ptr<Window> w = Lookup(c.owner);
  if (!w) return;
  gdi::PixelSurface surface = SurfaceOf(w.get());
  if (!surface.Valid()) return;
  POINT off = SurfaceOffset(w.get());
  off.x += w->client.left - w->rect.left;
  off.y += w->client.top - w->rect.top;
  RECT r{off.x + c.pos.x, off.y + c.pos.y, off.x + c.pos.x + c.width, off.y + c.pos.y + c.height};
  gdi::PixRegion area = VisibleRegion(w.get(), true);
  area.Intersect(r);
  int count = 0;
  const pixman_box32_t* boxes = area.Boxes(&count);
  for (int i = 0; i < count; ++i)
    for (int y = boxes[i].y1; y < boxes[i].y2; ++y)
      for (int x = boxes[i].x1; x < boxes[i].x2; ++x) surface.Row(y)[x] ^= 0x00FFFFFF;
  c.drawn = !c.drawn;
  PresentWindow(w.get(), area.Bounds());
}

void Erase() {
  if (t_caret.drawn) Invert();
}

void Blink();

void ArmBlink() {
  SetInternalTimer(CurrentQueue(), InternalTimerId::CaretBlink, NowMs() + t_caret.blinkTime, Blink);
}

void Blink() {
  if (!t_caret.owner || t_caret.hideCount > 0) return;
  Invert();
  ArmBlink();
}

void StopBlink() { KillInternalTimer(CurrentQueue(), InternalTimerId::CaretBlink); }

void ShowNow() {
  Erase();
  Invert();
  ArmBlink();
}

}  // namespace

void HideCaretForPaint(HWND hwnd) {
  if (t_caret.owner == hwnd) HideCaret(hwnd);
}

void ShowCaretAfterPaint(HWND hwnd) {
  if (t_caret.owner == hwnd) ShowCaret(hwnd);
}

void ForgetCaret(HWND hwnd) {
  if (t_caret.owner != hwnd) return;
  StopBlink();
  t_caret = Caret{};
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

BOOL WINAPI CreateCaret(HWND hWnd, HBITMAP hBitmap, int nWidth, int nHeight) {
  if (!Get(hWnd)) return FALSE;
  DestroyCaret();
  UINT blink = t_caret.blinkTime;
  t_caret = Caret{};
  t_caret.owner = hWnd;
  t_caret.width = nWidth > 0 ? nWidth : GetSystemMetrics(SM_CXBORDER);
  t_caret.height = nHeight > 0 ? nHeight : GetSystemMetrics(SM_CYBORDER);
  t_caret.blinkTime = blink;
  (void)hBitmap;  // bitmap carets draw as a solid block of the same size
  return TRUE;
}

BOOL WINAPI DestroyCaret(void) {
  if (!t_caret.owner) return FALSE;
  StopBlink();
  Erase();
  UINT blink = t_caret.blinkTime;
  t_caret = Caret{};
  t_caret.blinkTime = blink;
  return TRUE;
}

BOOL WINAPI ShowCaret(HWND hWnd) {
  Caret& c = t_caret;
  if (!c.owner || (hWnd && hWnd != c.owner)) return FALSE;
  if (c.hideCount == 0) return TRUE;
  if (--c.hideCount == 0) ShowNow();
  return TRUE;
}

BOOL WINAPI HideCaret(HWND hWnd) {
  Caret& c = t_caret;
  if (!c.owner || (hWnd && hWnd != c.owner)) return FALSE;
  if (c.hideCount++ == 0) {
    StopBlink();
    Erase();
  }
  return TRUE;
}

BOOL WINAPI SetCaretPos(int X, int Y) {
  Caret& c = t_caret;
  if (!c.owner) return FALSE;
  if (c.pos.x == X && c.pos.y == Y) return TRUE;
  Erase();
  c.pos = POINT{X, Y};
  if (c.hideCount == 0) ShowNow();
  return TRUE;
}

BOOL WINAPI GetCaretPos(LPPOINT lpPoint) {
  if (!lpPoint || !t_caret.owner) return FALSE;
  *lpPoint = t_caret.pos;
  return TRUE;
}

UINT WINAPI GetCaretBlinkTime(void) { return t_caret.blinkTime; }

BOOL WINAPI SetCaretBlinkTime(UINT uMSeconds) {
  t_caret.blinkTime = uMSeconds ? uMSeconds : 530;
  return TRUE;
}
