// Mouse input and its routing: the raw input queue shared by the display backends and
// SendInput, then per event: WM_NCHITTEST down the window tree (HTTRANSPARENT falls through),
// capture, WM_MOUSEACTIVATE and click activation, WM_SETCURSOR, double clicks, client or
// non-client messages, TrackMouseEvent's hover and leave, the wheel to the focus window.
//
// Sections: raw queue · hit testing · tracking · routing · display events · public calls.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "user/input_state.h"
#include "user/user.h"

namespace umbra::user {
namespace {

// ---- Raw queue ---------------------------------------------------------------------------------

struct RawQueue {
  std::mutex lock;
  std::deque<PendingInput> events;
  POINT cursor{};
  BYTE asyncKeys[256] = {};
  std::weak_ptr<ThreadQueue> inputQueue;
  UINT doubleClickTime = 500;
};

RawQueue& Raw() {
  static RawQueue* raw = [] {
    auto* r = new RawQueue;
    RECT screen;
    ScreenAndWorkArea(&screen, nullptr);
    r->cursor = POINT{(screen.left + screen.right) / 2, (screen.top + screen.bottom) / 2};
    return r;
  }();
  return *raw;
}

// Routing state; only the input thread touches it.
struct ClickState {
  HWND hwnd = nullptr;
  int button = -1;
  DWORD time = 0;
  POINT pt{};
  bool nonclient = false;
  bool consumed = true;  // a double click ends the pair: the next press starts a new one
};

struct Tracking {
  HWND hwnd = nullptr;
  DWORD flags = 0;
  DWORD hoverTime = 0;
  POINT hoverOrigin{};
};

struct RouteState {
  ClickState click;
  Tracking tracking;
  HWND lastTarget = nullptr;
  int lastHit = HTNOWHERE;
};

RouteState& Routing() {
  static RouteState state;
  return state;
}

void ApplyButton(BYTE* keys, int button, bool down) {
  static const WORD kVk[] = {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2};
  if (button >= 0 && button < 5) ApplyKey(keys, kVk[button], false, down);
}

POINT ClampToScreen(POINT pt) {
  RECT screen;
  ScreenAndWorkArea(&screen, nullptr);
  return POINT{std::clamp(pt.x, screen.left, screen.right - 1),
               std::clamp(pt.y, screen.top, screen.bottom - 1)};
}

}  // namespace

void QueueInput(const RawInput& input) {
  RawQueue& raw = Raw();
  std::shared_ptr<ThreadQueue> target;
  {
    std::lock_guard guard(raw.lock);
    PendingInput p;
    p.event = input;
    if (!p.event.time) p.event.time = static_cast<DWORD>(NowMs());
    switch (input.kind) {
      case RawInput::Kind::Move:
        raw.cursor = p.event.pt = ClampToScreen(input.pt);
        break;
      case RawInput::Kind::Button:
        p.event.pt = raw.cursor;
        ApplyButton(raw.asyncKeys, input.button, input.down);
        break;
      case RawInput::Kind::Wheel:
      case RawInput::Kind::HorizontalWheel:
        p.event.pt = raw.cursor;
        break;
      case RawInput::Kind::Key:
        p.wasDown = raw.asyncKeys[input.vk & 0xFF] & 0x80;
        ApplyKey(raw.asyncKeys, input.vk, input.extended, input.down);
        p.event.pt = raw.cursor;
        break;
      case RawInput::Kind::Char:
        p.event.pt = raw.cursor;
        break;
    }
    std::copy(std::begin(raw.asyncKeys), std::end(raw.asyncKeys), p.keys);
    // A move still waiting is replaced by the newer one, as Windows coalesces mouse moves.
    bool merged = false;
    if (input.kind == RawInput::Kind::Move && input.coalesce && !raw.events.empty()) {
      PendingInput& last = raw.events.back();
      if (last.event.kind == RawInput::Kind::Move && last.event.coalesce) {
        last = p;
        merged = true;
      }
    }
    if (!merged) raw.events.push_back(p);
    target = raw.inputQueue.lock();
  }
  if (target) Wake(*target);
}

bool RawInputPending() {
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  return !raw.events.empty();
}

POINT CursorPosition() {
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  return raw.cursor;
}

bool IsInputQueue(ThreadQueue& queue) {
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  std::shared_ptr<ThreadQueue> current = raw.inputQueue.lock();
  if (current.get() == &queue) return true;
  if (&queue != &CurrentQueue()) return false;
  // Without an input thread that has windows, the asking thread takes the role.
  if (!current || (current->windowCount == 0 && queue.windowCount > 0)) {
    raw.inputQueue = CurrentQueueRef();
    return true;
  }
  return false;
}

void ClaimInput(ThreadQueue& queue) {
  if (&queue != &CurrentQueue()) return;
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  raw.inputQueue = CurrentQueueRef();
}

WORD MouseKeyFlags(const BYTE* keys) {
  WORD flags = 0;
  if (keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
  if (keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
  if (keys[VK_MBUTTON] & 0x80) flags |= MK_MBUTTON;
  if (keys[VK_XBUTTON1] & 0x80) flags |= MK_XBUTTON1;
  if (keys[VK_XBUTTON2] & 0x80) flags |= MK_XBUTTON2;
  if (keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
  if (keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
  return flags;
}

// ---- Hit testing ------------------------------------------------------------------------------------
namespace {

bool InShape(const Window* w, POINT screen) {
  RECT r = ScreenRect(w);
  if (!PtInRect(&r, screen)) return false;
  return !w->hasRegion || w->region.Contains(screen.x - r.left, screen.y - r.top);
}

// Layered windows let the pointer through where they show nothing.
bool LayeredPixelHit(const Window* w, POINT screen) {
  using Mode = display::LayeredState::Mode;
  const display::LayeredState& l = w->layered;
  if (l.mode == Mode::None) return true;
  if (l.mode == Mode::Hidden) return false;
  gdi::PixelSurface surface = SurfaceOf(w);
  int x = screen.x - w->rect.left, y = screen.y - w->rect.top;
  if (!surface.Valid() || x < 0 || y < 0 || x >= surface.width || y >= surface.height) return true;
  uint32_t p = surface.Row(y)[x];
  COLORREF key = l.key;
  uint32_t keyPixel = (key & 0xFF) << 16 | (key & 0xFF00) | ((key >> 16) & 0xFF);
  bool keyed = l.mode == Mode::Attributes ? (l.flags & LWA_COLORKEY) : (l.flags & ULW_COLORKEY);
  if (keyed && (p & 0xFFFFFF) == keyPixel) return false;
  if (l.mode == Mode::Content && l.perPixel && (l.flags & ULW_ALPHA) && (p >> 24) == 0) return false;
  return true;
}

bool TopLevelTakesPointer(const Window* w, POINT screen) {
  if (!w->IsVisible() || w->dead || w->destroying) return false;
  if ((w->exStyle & WS_EX_LAYERED) && (w->exStyle & WS_EX_TRANSPARENT)) return false;
  return InShape(w, screen) && LayeredPixelHit(w, screen);
}

struct Probe {
  HWND hwnd = nullptr;
  int hit = HTNOWHERE;
};

// The deepest window under the point answers WM_NCHITTEST; HTTRANSPARENT hands the point to
// the windows below it, then to its parent.
bool ProbeWindow(HWND hwnd, POINT screen, Probe& out) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w || w->dead) return false;
  RECT client = ScreenClient(w.get());
  if (PtInRect(&client, screen)) {
    std::vector<HWND> children;
    for (Window* c : w->children)
      if (c->IsVisible() && !(c->style & WS_DISABLED) && InShape(c, screen)) children.push_back(c->hwnd);
    for (HWND c : children)
      if (ProbeWindow(c, screen, out)) return true;
  }
  if (w->dead) return false;
  if (w->style & WS_DISABLED) {
    out = Probe{hwnd, HTERROR};
    return true;
  }
  LRESULT hit = SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
  if (hit == HTTRANSPARENT || !IsWindow(hwnd)) return false;
  out = Probe{hwnd, static_cast<int>(hit)};
  return true;
}

}  // namespace

HWND WindowAt(POINT screen, int* hit) {
  std::vector<HWND> tops;
  for (Window* w : Desktop()->children)
    if (TopLevelTakesPointer(w, screen)) tops.push_back(w->hwnd);
  Probe probe;
  for (HWND top : tops) {
    if (ProbeWindow(top, screen, probe)) {
      if (hit) *hit = probe.hit;
      return probe.hwnd;
    }
  }
  if (hit) *hit = HTNOWHERE;
  return nullptr;
}

// ---- Tracking ------------------------------------------------------------------------------------------
namespace {

void ArmHover(ThreadQueue& q);

void StopTracking(ThreadQueue& q) {
  Routing().tracking = Tracking{};
  KillInternalTimer(q, InternalTimerId::MouseHover);
}

void HoverDue() {
  Tracking& t = Routing().tracking;
  std::shared_ptr<Window> w = Lookup(t.hwnd);
  if (!w || !(t.flags & TME_HOVER)) return;
  POINT pt = CursorPosition();
  BYTE keys[256];
  GetKeyboardState(keys);
  if (t.flags & TME_NONCLIENT) {
    PostMessageW(t.hwnd, WM_NCMOUSEHOVER, static_cast<WPARAM>(Routing().lastHit), MAKELPARAM(pt.x, pt.y));
  } else {
    POINT origin = ClientOrigin(w.get());
    PostMessageW(t.hwnd, WM_MOUSEHOVER, MouseKeyFlags(keys), MAKELPARAM(pt.x - origin.x, pt.y - origin.y));
  }
  // Hovering ends hover tracking; leave tracking goes on.
  t.flags &= ~TME_HOVER;
  if (!(t.flags & TME_LEAVE)) t = Tracking{};
}

void ArmHover(ThreadQueue& q) {
  Tracking& t = Routing().tracking;
  SetInternalTimer(q, InternalTimerId::MouseHover, NowMs() + t.hoverTime, HoverDue);
}

bool InHoverRect(POINT origin, POINT pt) {
  UINT w = 4, h = 4;
  SystemParametersInfoW(SPI_GETMOUSEHOVERWIDTH, 0, &w, 0);
  SystemParametersInfoW(SPI_GETMOUSEHOVERHEIGHT, 0, &h, 0);
  return std::abs(pt.x - origin.x) <= static_cast<LONG>(w / 2) &&
         std::abs(pt.y - origin.y) <= static_cast<LONG>(h / 2);
}

bool StillInside(const Tracking& t, const Window* tracked, HWND target, int hit, POINT pt, bool captured) {
  bool nonclient = t.flags & TME_NONCLIENT;
  if (captured) {
    // With the capture set there is no hit test: the window's own rectangles decide.
    RECT client = ScreenClient(tracked);
    if (!nonclient) return PtInRect(&client, pt);
    RECT whole = ScreenRect(tracked);
    return PtInRect(&whole, pt) && !PtInRect(&client, pt);
  }
  return target == tracked->hwnd && (nonclient ? hit != HTCLIENT : hit == HTCLIENT);
}

void UpdateTracking(ThreadQueue& q, HWND target, int hit, POINT pt, bool captured) {
  Tracking& t = Routing().tracking;
  if (!t.hwnd) return;
  std::shared_ptr<Window> tracked = Lookup(t.hwnd);
  if (!tracked) {
    StopTracking(q);
    return;
  }
  if (!StillInside(t, tracked.get(), target, hit, pt, captured)) {
    if (t.flags & TME_LEAVE)
      PostMessageW(t.hwnd, (t.flags & TME_NONCLIENT) ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
    StopTracking(q);
    return;
  }
  if ((t.flags & TME_HOVER) && !InHoverRect(t.hoverOrigin, pt)) {
    t.hoverOrigin = pt;
    ArmHover(q);
  }
}

}  // namespace

void ForgetWindowInput(HWND hwnd) {
  RouteState& s = Routing();
  if (s.tracking.hwnd == hwnd) StopTracking(CurrentQueue());
  if (s.click.hwnd == hwnd) s.click = ClickState{};
  if (s.lastTarget == hwnd) s.lastTarget = nullptr;
}

// ---- Routing ----------------------------------------------------------------------------------------------
namespace {

constexpr UINT kNonClientOffset = WM_LBUTTONDOWN - WM_NCLBUTTONDOWN;

UINT ButtonMessage(int button, bool down) {
  static const UINT kDown[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN, WM_XBUTTONDOWN,
                               WM_XBUTTONDOWN};
  UINT msg = kDown[std::clamp(button, 0, 4)];
  return down ? msg : msg + 1;
}

// WM_MOUSEACTIVATE for a press on a window that is not the active one; true eats the press.
bool MouseActivate(ThreadQueue& q, Window* target, int hit, UINT message) {
  if (target->hwnd == q.active) return false;
  HWND hwnd = target->hwnd;
  Window* top = TopLevelOf(target);
  HWND topHwnd = top->hwnd;
  LRESULT r =
      SendMessageW(hwnd, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(topHwnd), MAKELPARAM(hit, message));
  std::shared_ptr<Window> topRef = Lookup(topHwnd);
  if (!topRef || !IsWindow(hwnd)) return true;
  if ((r == MA_ACTIVATE || r == MA_ACTIVATEANDEAT) && q.active != topHwnd &&
      !(topRef->exStyle & WS_EX_NOACTIVATE))
    ActivateWindow(topRef.get(), WA_CLICKACTIVE, true);
  return r == MA_ACTIVATEANDEAT || r == MA_NOACTIVATEANDEAT;
}

bool IsDoubleClick(const Window* target, const PendingInput& p, bool client) {
  ClickState& c = Routing().click;
  const RawInput& ev = p.event;
  bool allowed = !client || (target->cls->style & CS_DBLCLKS);
  LONG cx = GetSystemMetrics(SM_CXDOUBLECLK) / 2, cy = GetSystemMetrics(SM_CYDOUBLECLK) / 2;
  bool pair = !c.consumed && c.hwnd == target->hwnd && c.button == ev.button && c.nonclient == !client &&
              ev.time - c.time <= GetDoubleClickTime() && std::abs(ev.pt.x - c.pt.x) <= cx &&
              std::abs(ev.pt.y - c.pt.y) <= cy;
  if (pair && allowed) {
    c.consumed = true;
    return true;
  }
  c = ClickState{target->hwnd, ev.button, ev.time, ev.pt, !client, false};
  return false;
}

void RouteWheel(ThreadQueue& q, const PendingInput& p) {
  HWND target = q.focus && IsWindow(q.focus) ? q.focus : q.active;
  if (!target || !IsWindow(target)) return;
  const RawInput& ev = p.event;
  UINT msg = ev.kind == RawInput::Kind::Wheel ? WM_MOUSEWHEEL : WM_MOUSEHWHEEL;
  WPARAM wp = MAKEWPARAM(MouseKeyFlags(p.keys), static_cast<WORD>(static_cast<SHORT>(ev.delta)));
  PushRouted(q, MSG{target, msg, wp, MAKELPARAM(ev.pt.x, ev.pt.y), ev.time, ev.pt}, p.keys);
}

void RouteMouse(ThreadQueue& q, const PendingInput& p) {
  const RawInput& ev = p.event;
  HWND hwnd = nullptr;
  int hit = HTCLIENT;
  bool captured = q.capture && IsWindow(q.capture);
  if (captured)
    hwnd = q.capture;
  else
    hwnd = WindowAt(ev.pt, &hit);
  RouteState& s = Routing();
  s.lastTarget = hwnd;
  s.lastHit = hit;
  UpdateTracking(q, hwnd, hit, ev.pt, captured);
  std::shared_ptr<Window> target = Lookup(hwnd);
  if (!target) return;

  bool isButton = ev.kind == RawInput::Kind::Button;
  UINT clientMsg = isButton ? ButtonMessage(ev.button, ev.down) : WM_MOUSEMOVE;
  if (isButton && ev.down && !captured && hit != HTERROR) {
    if (MouseActivate(q, target.get(), hit, clientMsg)) return;
    if (target->dead) return;
  }
  if (!captured) {
    SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(hit, clientMsg));
    if (target->dead) return;
  }
  if (hit == HTERROR) return;  // a disabled window takes no mouse messages

  bool client = captured || hit == HTCLIENT;
  UINT msg = clientMsg;
  if (isButton && ev.down && IsDoubleClick(target.get(), p, client)) msg += 2;  // ...DOWN -> ...DBLCLK
  WORD xbutton = ev.button == 3 ? XBUTTON1 : ev.button == 4 ? XBUTTON2 : 0;
  WPARAM wp;
  LPARAM lp;
  if (client) {
    POINT origin = ClientOrigin(target.get());
    wp = MAKEWPARAM(MouseKeyFlags(p.keys), xbutton);
    lp = MAKELPARAM(ev.pt.x - origin.x, ev.pt.y - origin.y);
  } else {
    msg -= kNonClientOffset;
    wp = MAKEWPARAM(hit, xbutton);
    lp = MAKELPARAM(ev.pt.x, ev.pt.y);
  }
  PushRouted(q, MSG{hwnd, msg, wp, lp, ev.time, ev.pt}, p.keys);
}

bool AnyInputMatches(const ThreadQueue& q, HWND filter, UINT first, UINT last) {
  return std::any_of(q.input.begin(), q.input.end(),
                     [&](const RoutedInput& r) { return InputMatches(r.msg, filter, first, last); });
}

bool PopRaw(PendingInput& out) {
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  if (raw.events.empty()) return false;
  out = raw.events.front();
  raw.events.pop_front();
  return true;
}

}  // namespace

void RouteInput(ThreadQueue& queue, HWND filter, UINT first, UINT last) {
  // Routing sends messages; a nested GetMessage/PeekMessage must not route the next event early.
  if (queue.convertingInput) return;
  queue.convertingInput = true;
  PendingInput p;
  while (!AnyInputMatches(queue, filter, first, last) && PopRaw(p)) {
    switch (p.event.kind) {
      case RawInput::Kind::Move:
      case RawInput::Kind::Button:
        RouteMouse(queue, p);
        break;
      case RawInput::Kind::Wheel:
      case RawInput::Kind::HorizontalWheel:
        RouteWheel(queue, p);
        break;
      case RawInput::Kind::Key:
      case RawInput::Kind::Char:
        RouteKey(queue, p);
        break;
    }
  }
  queue.convertingInput = false;
}

// ---- Display events ---------------------------------------------------------------------------------------

void DisplayMovedWindow(HWND hwnd, const RECT& screenRect) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w || !w->IsTopLevel()) return;
  SetWindowPosFor(w.get(), nullptr, screenRect.left, screenRect.top, screenRect.right - screenRect.left,
                  screenRect.bottom - screenRect.top, SWP_NOZORDER | SWP_NOACTIVATE, true);
}

void DisplayCloseRequest(HWND hwnd) { SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }

void DisplayExposed(HWND hwnd, const RECT* windowRect) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w) return;
  w->ncPaintPending = true;
  if (!windowRect) {
    InvalidateWhole(w.get(), true);
    return;
  }
  gdi::PixRegion area(*windowRect);
  area.Offset(w->rect.left - w->client.left, w->rect.top - w->client.top);
  InvalidateRegion(w.get(), area, true, RDW_ALLCHILDREN);
}

void DisplayActivated(HWND hwnd) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  ActivateWindow(w ? TopLevelOf(w.get()) : nullptr, WA_ACTIVE, false);
}

void DisplayMoveSizeStarted(HWND hwnd) { SendMessageW(hwnd, WM_ENTERSIZEMOVE, 0, 0); }

void DisplayMoveSizeEnded(HWND hwnd) { SendMessageW(hwnd, WM_EXITSIZEMOVE, 0, 0); }

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

// ---- Public calls
// ---------------------------------------------------------------------------------------------

UINT WINAPI SendInput(UINT cInputs, LPINPUT pInputs, int cbSize) {
  if (!pInputs || cbSize != static_cast<int>(sizeof(INPUT))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  RECT screen;
  ScreenAndWorkArea(&screen, nullptr);
  for (UINT i = 0; i < cInputs; ++i) {
    const INPUT& in = pInputs[i];
    if (in.type == INPUT_MOUSE) {
      const MOUSEINPUT& mi = in.mi;
      RawInput ev;
      ev.time = mi.time;
      if (mi.dwFlags & MOUSEEVENTF_MOVE) {
        POINT pt = CursorPosition();
        if (mi.dwFlags & MOUSEEVENTF_ABSOLUTE) {
          // Absolute positions are normalised to 0..65535 across the screen.
          pt.x = screen.left + static_cast<LONG>(int64_t{mi.dx} * (screen.right - screen.left) / 65536);
          pt.y = screen.top + static_cast<LONG>(int64_t{mi.dy} * (screen.bottom - screen.top) / 65536);
        } else {
          pt.x = static_cast<LONG>(std::clamp<int64_t>(int64_t{pt.x} + mi.dx, INT32_MIN, INT32_MAX));
          pt.y = static_cast<LONG>(std::clamp<int64_t>(int64_t{pt.y} + mi.dy, INT32_MIN, INT32_MAX));
        }
        ev.kind = RawInput::Kind::Move;
        ev.pt = pt;
        ev.coalesce = !(mi.dwFlags & MOUSEEVENTF_MOVE_NOCOALESCE);
        QueueInput(ev);
      }
      struct {
        DWORD flag;
        int button;
        bool down;
      } const kButtons[] = {{MOUSEEVENTF_LEFTDOWN, 0, true},   {MOUSEEVENTF_LEFTUP, 0, false},
                            {MOUSEEVENTF_RIGHTDOWN, 1, true},  {MOUSEEVENTF_RIGHTUP, 1, false},
                            {MOUSEEVENTF_MIDDLEDOWN, 2, true}, {MOUSEEVENTF_MIDDLEUP, 2, false}};
      for (const auto& b : kButtons) {
        if (!(mi.dwFlags & b.flag)) continue;
        ev.kind = RawInput::Kind::Button;
        ev.button = b.button;
        ev.down = b.down;
        QueueInput(ev);
      }
      for (DWORD flag : {static_cast<DWORD>(MOUSEEVENTF_XDOWN), static_cast<DWORD>(MOUSEEVENTF_XUP)}) {
        if (!(mi.dwFlags & flag)) continue;
        for (int x = 0; x < 2; ++x) {
          if (!(mi.mouseData & (x == 0 ? XBUTTON1 : XBUTTON2))) continue;
          ev.kind = RawInput::Kind::Button;
          ev.button = 3 + x;
          ev.down = flag == MOUSEEVENTF_XDOWN;
          QueueInput(ev);
        }
      }
      if (mi.dwFlags & (MOUSEEVENTF_WHEEL | MOUSEEVENTF_HWHEEL)) {
        ev.kind = (mi.dwFlags & MOUSEEVENTF_WHEEL) ? RawInput::Kind::Wheel : RawInput::Kind::HorizontalWheel;
        ev.delta = static_cast<int32_t>(mi.mouseData);
        QueueInput(ev);
      }
    } else if (in.type == INPUT_KEYBOARD) {
      const KEYBDINPUT& ki = in.ki;
      RawInput ev;
      ev.time = ki.time;
      ev.down = !(ki.dwFlags & KEYEVENTF_KEYUP);
      if (ki.dwFlags & KEYEVENTF_UNICODE) {
        ev.kind = RawInput::Kind::Char;
        ev.unit = ki.wScan;
      } else {
        ev.kind = RawInput::Kind::Key;
        ev.vk = (ki.dwFlags & KEYEVENTF_SCANCODE)
                    ? static_cast<WORD>(MapVirtualKeyW(ki.wScan, MAPVK_VSC_TO_VK))
                    : ki.wVk;
        ev.scan = ki.wScan;
        ev.extended = ki.dwFlags & KEYEVENTF_EXTENDEDKEY;
        if (!ev.vk) continue;
      }
      QueueInput(ev);
    }
  }
  return cInputs;
}

BOOL WINAPI GetCursorPos(LPPOINT lpPoint) {
  if (!lpPoint) return FALSE;
  *lpPoint = CursorPosition();
  return TRUE;
}

BOOL WINAPI SetCursorPos(int X, int Y) {
  RawInput ev;
  ev.kind = RawInput::Kind::Move;
  ev.pt = POINT{X, Y};
  QueueInput(ev);
  display::Current().WarpPointer(CursorPosition());
  return TRUE;
}

BOOL WINAPI TrackMouseEvent(LPTRACKMOUSEEVENT lpEventTrack) {
  if (!lpEventTrack || lpEventTrack->cbSize < sizeof(TRACKMOUSEEVENT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  TRACKMOUSEEVENT& tme = *lpEventTrack;
  RouteState& s = Routing();
  ThreadQueue& q = CurrentQueue();
  if (tme.dwFlags & TME_QUERY) {
    tme.dwFlags = s.tracking.flags;
    tme.hwndTrack = s.tracking.hwnd;
    tme.dwHoverTime = s.tracking.hoverTime;
    return TRUE;
  }
  if (!Get(tme.hwndTrack)) return FALSE;
  DWORD kinds = tme.dwFlags & (TME_HOVER | TME_LEAVE);
  if (tme.dwFlags & TME_CANCEL) {
    if (s.tracking.hwnd == tme.hwndTrack) {
      s.tracking.flags &= ~kinds;
      if (!(s.tracking.flags & (TME_HOVER | TME_LEAVE))) StopTracking(q);
    }
    return TRUE;
  }
  bool nonclient = tme.dwFlags & TME_NONCLIENT;
  bool over = s.lastTarget == tme.hwndTrack && (nonclient ? s.lastHit != HTCLIENT : s.lastHit == HTCLIENT);
  if (!over) {
    // Asked while the pointer is elsewhere: the leave is due at once.
    if (tme.dwFlags & TME_LEAVE)
      PostMessageW(tme.hwndTrack, nonclient ? WM_NCMOUSELEAVE : WM_MOUSELEAVE, 0, 0);
    return TRUE;
  }
  if (s.tracking.hwnd != tme.hwndTrack || (s.tracking.flags & TME_NONCLIENT) != (tme.dwFlags & TME_NONCLIENT))
    StopTracking(q);
  Tracking& t = s.tracking;
  t.hwnd = tme.hwndTrack;
  t.flags |= kinds | (tme.dwFlags & TME_NONCLIENT);
  if (tme.dwFlags & TME_HOVER) {
    UINT hoverDefault = 400;
    SystemParametersInfoW(SPI_GETMOUSEHOVERTIME, 0, &hoverDefault, 0);
    t.hoverTime = tme.dwHoverTime == HOVER_DEFAULT ? hoverDefault : tme.dwHoverTime;
    t.hoverOrigin = CursorPosition();
    ArmHover(q);
  }
  return TRUE;
}

UINT WINAPI GetDoubleClickTime(void) {
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  return raw.doubleClickTime;
}

BOOL WINAPI SetDoubleClickTime(UINT uInterval) {
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  raw.doubleClickTime = uInterval ? std::min<UINT>(uInterval, 5000) : 500;
  return TRUE;
}

SHORT WINAPI GetAsyncKeyState(int vKey) {
  if (vKey < 0 || vKey > 255) return 0;
  RawQueue& raw = Raw();
  std::lock_guard guard(raw.lock);
  return (raw.asyncKeys[vKey] & 0x80) ? static_cast<SHORT>(0x8000) : 0;
}

BOOL WINAPI DragDetect(HWND hwnd, POINT pt) {
  if (!Get(hwnd)) return FALSE;
  int cx = GetSystemMetrics(SM_CXDRAG), cy = GetSystemMetrics(SM_CYDRAG);
  RECT zone{pt.x - cx, pt.y - cy, pt.x + cx + 1, pt.y + cy + 1};
  SetCapture(hwnd);
  BOOL dragged = FALSE;
  for (MSG msg; GetCapture() == hwnd;) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (msg.message == WM_LBUTTONUP || msg.message == WM_RBUTTONUP) break;
    if (msg.message == WM_MOUSEMOVE) {
      if (!PtInRect(&zone, msg.pt)) {
        dragged = TRUE;
        break;
      }
      continue;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (GetCapture() == hwnd) ReleaseCapture();
  return dragged;
}
