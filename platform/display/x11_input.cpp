// X events of the x11 display: pointer and keys become raw input for the window manager in
// platform/user (which routes them as it routes SendInput), and the window manager's events
// (close, configure, focus, iconify, expose) become the user layer's display events. Key
// presses go through the input method, so composed and Chinese text arrives as characters.
//
// Sections: keys · pointer · window-manager events · dispatch.
#include <algorithm>
#include <clocale>
#include <cstring>
#include <string>

#include "display/x11.h"
#include "kernel/unicode.h"
#include "user/input.h"

namespace umbra::display::x11 {
namespace {

using user::QueueInput;
using user::RawInput;

// ---- Keys ------------------------------------------------------------------------------------------

struct SymKey {
  KeySym sym;
  WORD vk;
};

constexpr SymKey kSpecialKeys[] = {
    {XK_BackSpace, VK_BACK},
    {XK_Tab, VK_TAB},
    {XK_ISO_Left_Tab, VK_TAB},
    {XK_Return, VK_RETURN},
    {XK_KP_Enter, VK_RETURN},
    {XK_Escape, VK_ESCAPE},
    {XK_Delete, VK_DELETE},
    {XK_Insert, VK_INSERT},
    {XK_Home, VK_HOME},
    {XK_End, VK_END},
    {XK_Page_Up, VK_PRIOR},
    {XK_Page_Down, VK_NEXT},
    {XK_Left, VK_LEFT},
    {XK_Right, VK_RIGHT},
    {XK_Up, VK_UP},
    {XK_Down, VK_DOWN},
    {XK_Pause, VK_PAUSE},
    {XK_Print, VK_SNAPSHOT},
    {XK_Scroll_Lock, VK_SCROLL},
    {XK_Num_Lock, VK_NUMLOCK},
    {XK_Caps_Lock, VK_CAPITAL},
    {XK_Shift_L, VK_LSHIFT},
    {XK_Shift_R, VK_RSHIFT},
    {XK_Control_L, VK_LCONTROL},
    {XK_Control_R, VK_RCONTROL},
    {XK_Alt_L, VK_LMENU},
    {XK_Meta_L, VK_LMENU},
    {XK_Alt_R, VK_RMENU},
    {XK_Meta_R, VK_RMENU},
    {XK_ISO_Level3_Shift, VK_RMENU},
    {XK_Super_L, VK_LWIN},
    {XK_Super_R, VK_RWIN},
    {XK_Menu, VK_APPS},
    {XK_space, VK_SPACE},
    {XK_KP_Space, VK_SPACE},
    {XK_KP_Multiply, VK_MULTIPLY},
    {XK_KP_Add, VK_ADD},
    {XK_KP_Subtract, VK_SUBTRACT},
    {XK_KP_Decimal, VK_DECIMAL},
    {XK_KP_Divide, VK_DIVIDE},
    {XK_KP_Separator, VK_SEPARATOR},
    {XK_KP_Home, VK_HOME},
    {XK_KP_End, VK_END},
    {XK_KP_Page_Up, VK_PRIOR},
    {XK_KP_Page_Down, VK_NEXT},
    {XK_KP_Left, VK_LEFT},
    {XK_KP_Right, VK_RIGHT},
    {XK_KP_Up, VK_UP},
    {XK_KP_Down, VK_DOWN},
    {XK_KP_Insert, VK_INSERT},
    {XK_KP_Delete, VK_DELETE},
    {XK_KP_Begin, VK_CLEAR},
    {XK_Clear, VK_CLEAR},
    {XK_Cancel, VK_CANCEL},
};

// The US layout's punctuation keys, by their plain and shifted keysyms.
struct UsKey {
  WORD vk;
  KeySym plain, shifted;
};

constexpr UsKey kUsPunctuation[] = {
    {VK_OEM_1, XK_semicolon, XK_colon},     {VK_OEM_PLUS, XK_equal, XK_plus},
    {VK_OEM_COMMA, XK_comma, XK_less},      {VK_OEM_MINUS, XK_minus, XK_underscore},
    {VK_OEM_PERIOD, XK_period, XK_greater}, {VK_OEM_2, XK_slash, XK_question},
    {VK_OEM_3, XK_grave, XK_asciitilde},    {VK_OEM_4, XK_bracketleft, XK_braceleft},
    {VK_OEM_5, XK_backslash, XK_bar},       {VK_OEM_6, XK_bracketright, XK_braceright},
    {VK_OEM_7, XK_apostrophe, XK_quotedbl},
};

constexpr KeySym kShiftedDigits[] = {XK_parenright, XK_exclam,   XK_at,          XK_numbersign,
                                     XK_dollar,     XK_percent,  XK_asciicircum, XK_ampersand,
                                     XK_asterisk,   XK_parenleft};

// The character TranslateMessage makes for vk on a US layout (letters, digits, punctuation).
char16_t UsCharacter(WORD vk, bool shift, bool caps) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<char16_t>(shift != caps ? vk : vk - 'A' + 'a');
  if (vk >= '0' && vk <= '9') return static_cast<char16_t>(shift ? kShiftedDigits[vk - '0'] : vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<char16_t>(u'0' + (vk - VK_NUMPAD0));
  if (vk == VK_SPACE) return u' ';
  for (const UsKey& k : kUsPunctuation)
    if (k.vk == vk) return static_cast<char16_t>(shift ? k.shifted : k.plain);
  return 0;
}

// Per keycode, the virtual key a press queued, so that its release queues the same one.
WORD g_pressed[256] = {};

void QueueKey(WORD vk, bool down, Time time) {
  RawInput in;
  in.kind = RawInput::Kind::Key;
  in.vk = vk;
  in.down = down;
  in.extended = vk == VK_RCONTROL || vk == VK_RMENU;
  in.time = static_cast<DWORD>(time);
  QueueInput(in);
}

void QueueText(const std::u16string& text, Time time) {
  for (char16_t unit : text) {
    RawInput in;
    in.kind = RawInput::Kind::Char;
    in.unit = unit;
    in.time = static_cast<DWORD>(time);
    in.down = true;
    QueueInput(in);
    in.down = false;
    QueueInput(in);
  }
}

// The text and keysym of a press, through the window's input context when it has one.
std::string LookupText(XWin* w, XKeyEvent& key, KeySym& sym) {
  char buffer[64];
  sym = NoSymbol;
  if (w && w->ic) {
    Status status = 0;
    int n = Xutf8LookupString(w->ic, &key, buffer, sizeof(buffer), &sym, &status);
    if (status == XBufferOverflow) {
      std::string big(static_cast<size_t>(n), '\0');
      n = Xutf8LookupString(w->ic, &key, big.data(), n, &sym, &status);
      big.resize(static_cast<size_t>(std::max(n, 0)));
      return status == XLookupChars || status == XLookupBoth ? big : std::string();
    }
    if (status != XLookupChars && status != XLookupBoth) n = 0;
    if (status != XLookupKeySym && status != XLookupBoth) sym = NoSymbol;
    return std::string(buffer, static_cast<size_t>(std::max(n, 0)));
  }
  // Without an input method: Latin-1 text from the keysym.
  int n = XLookupString(&key, buffer, sizeof(buffer), &sym, nullptr);
  std::u16string latin;
  for (int i = 0; i < n; ++i) latin.push_back(static_cast<unsigned char>(buffer[i]));
  return kernel::Utf16ToUtf8(latin);
}

void OnKeyPress(XWin* w, XKeyEvent& key) {
  KeySym sym = NoSymbol;
  std::u16string text = kernel::Utf8ToUtf16(LookupText(w, key, sym));
  WORD vk = 0;
  if (key.keycode) {
    // The unshifted keysym names the key; keypad keys go by what Num Lock makes of them.
    KeySym base = XLookupKeysym(&key, 0);
    bool keypad = sym != NoSymbol && IsKeypadKey(sym);
    vk = VirtualKeyFor(keypad ? sym : base);
    if (!vk && sym != NoSymbol) vk = VirtualKeyFor(sym);
  }
  bool shift = key.state & ShiftMask, caps = key.state & LockMask;
  bool shortcut = key.state & (ControlMask | Mod1Mask);
  bool control = text.size() == 1 && (text[0] < 0x20 || text[0] == 0x7F);
  // A key TranslateMessage turns into the same text goes as a key; other text (another layout,
  // dead keys, an input method's commit) goes as characters.
  if (vk && (text.empty() || shortcut || control ||
             (text.size() == 1 && text[0] == UsCharacter(vk, shift, caps)))) {
    g_pressed[key.keycode & 0xFF] = vk;
    QueueKey(vk, true, key.time);
  } else if (!text.empty()) {
    QueueText(text, key.time);
  }
}

void OnKeyRelease(XKeyEvent& key) {
  WORD& vk = g_pressed[key.keycode & 0xFF];
  if (!vk) return;
  QueueKey(vk, false, key.time);
  vk = 0;
}

// Keys still down when the focus leaves are released: their real releases go elsewhere.
void ReleaseAllKeys() {
  for (WORD& vk : g_pressed) {
    if (!vk) continue;
    QueueKey(vk, false, CurrentTime);
    vk = 0;
  }
}

// ---- Pointer ---------------------------------------------------------------------------------------

void QueueMove(int x, int y, Time time) {
  // Windows sends no WM_MOUSEMOVE when the pointer has not moved (say, before a click).
  POINT now{};
  if (GetCursorPos(&now) && now.x == x && now.y == y) return;
  RawInput in;
  in.kind = RawInput::Kind::Move;
  in.pt = POINT{x, y};
  in.time = static_cast<DWORD>(time);
  QueueInput(in);
}

void QueueButton(int button, bool down, Time time) {
  RawInput in;
  in.kind = RawInput::Kind::Button;
  in.button = button;
  in.down = down;
  in.time = static_cast<DWORD>(time);
  QueueInput(in);
}

void QueueWheel(RawInput::Kind kind, int delta, Time time) {
  RawInput in;
  in.kind = kind;
  in.delta = delta;
  in.time = static_cast<DWORD>(time);
  QueueInput(in);
}

void OnButton(const XButtonEvent& b, bool down) {
  QueueMove(b.x_root, b.y_root, b.time);
  switch (b.button) {
    case Button1:
      QueueButton(0, down, b.time);
      break;
    case Button2:
      QueueButton(2, down, b.time);
      break;
    case Button3:
      QueueButton(1, down, b.time);
      break;
    case Button4:
    case Button5:
      if (down) QueueWheel(RawInput::Kind::Wheel, b.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA, b.time);
      break;
    case 6:
    case 7:
      if (down)
        QueueWheel(RawInput::Kind::HorizontalWheel, b.button == 7 ? WHEEL_DELTA : -WHEEL_DELTA, b.time);
      break;
    case 8:
    case 9:
      QueueButton(b.button == 8 ? 3 : 4, down, b.time);
      break;
  }
}

// A move or resize the window manager ran is over once we see the pointer again.
void EndWindowManagerMoveSize(unsigned state) {
  Conn& c = X();
  HWND hwnd = c.wmMoveSize;
  if (!hwnd) return;
  c.wmMoveSize = nullptr;
  // The release went to the window manager; let our button state catch up without a click.
  if (!(state & Button1Mask) && (GetAsyncKeyState(VK_LBUTTON) & 0x8000)) QueueButton(0, false, CurrentTime);
  user::DisplayMoveSizeEnded(hwnd);
}

// ---- Window-manager events -------------------------------------------------------------------------

void OnConfigure(const XConfigureEvent& ce) {
  Conn& c = X();
  if (ce.window == c.root) {
    RefreshRootState();
    return;
  }
  XWin* w = FindByXid(ce.window);
  if (!w) return;
  // Inside a frame, only synthetic events (sent by the window manager) carry root positions.
  POINT pos{w->rect.left, w->rect.top};
  if (ce.send_event || !w->reparented) pos = POINT{ce.x, ce.y};
  RECT r{pos.x, pos.y, pos.x + ce.width, pos.y + ce.height};
  auto asked =
      std::find_if(w->pending.begin(), w->pending.end(), [&](const RECT& p) { return EqualRect(&p, &r); });
  if (asked != w->pending.end()) {
    w->pending.erase(w->pending.begin(), asked + 1);
    return;
  }
  if (!w->pending.empty()) {
    // The window manager adjusted a request of ours; only its answer to the last one counts.
    w->pending.pop_front();
    if (!w->pending.empty()) return;
  }
  RECT now{w->rect.left, w->rect.top, w->rect.left + std::max<LONG>(w->rect.right - w->rect.left, 1),
           w->rect.top + std::max<LONG>(w->rect.bottom - w->rect.top, 1)};
  if (EqualRect(&r, &now) || IsIconic(w->hwnd)) return;
  ResizeFromServer(*w, r);
  user::DisplayMovedWindow(w->hwnd, r);
}

void OnWmState(XWin& w) {
  Conn& c = X();
  std::vector<long> state = ReadLongs(w.xid, c.atom.wmState, c.atom.wmState);
  if (state.empty()) return;
  constexpr long kNormal = 1, kIconic = 3;
  if (state[0] == kIconic && !w.iconic && !IsIconic(w.hwnd)) {
    w.iconic = true;  // the window manager minimised it (its button, a taskbar)
    SendMessageW(w.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  } else if (state[0] == kNormal && w.iconic && IsIconic(w.hwnd)) {
    w.iconic = false;
    SendMessageW(w.hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  }
}

bool FocusIsOurs() {
  Conn& c = X();
  ::Window focus = 0;
  int revert = 0;
  XGetInputFocus(c.dpy, &focus, &revert);
  return FindByXid(focus) != nullptr;
}

// Focus events older than our latest activation would undo it.
bool Stale(const XFocusChangeEvent& f) { return f.serial < X().focusSerial; }

void OnFocusIn(XWin& w, const XFocusChangeEvent& f) {
  if (f.mode == NotifyGrab || f.mode == NotifyUngrab || f.detail == NotifyPointer) return;
  if (w.ic) XSetICFocus(w.ic);
  if (Stale(f)) return;
  if (GetForegroundWindow() != w.hwnd) user::DisplayActivated(w.hwnd);
}

void OnFocusOut(XWin& w, const XFocusChangeEvent& f) {
  if (f.mode == NotifyGrab || f.mode == NotifyUngrab || f.detail == NotifyPointer ||
      f.detail == NotifyInferior)
    return;
  if (w.ic) XUnsetICFocus(w.ic);
  ReleaseAllKeys();
  if (Stale(f)) return;
  // Focus passing between two of our windows is an activation the user layer already made.
  if (!FocusIsOurs() && GetForegroundWindow()) user::DisplayActivated(nullptr);
}

void OnClientMessage(XWin& w, const XClientMessageEvent& cm) {
  Conn& c = X();
  if (cm.message_type == c.atom.wmProtocols && cm.format == 32 &&
      static_cast<Atom>(cm.data.l[0]) == c.atom.wmDeleteWindow)
    user::DisplayCloseRequest(w.hwnd);
}

void OnExpose(XWin& w, const XExposeEvent& e) {
  // Our surface still holds the window's pixels: put them back, no repaint needed.
  PresentAgain(w, RECT{e.x, e.y, e.x + e.width, e.y + e.height});
}

}  // namespace

// ---- Dispatch ------------------------------------------------------------------------------------------

WORD VirtualKeyFor(KeySym sym) {
  if (sym >= XK_a && sym <= XK_z) sym -= XK_a - XK_A;
  if ((sym >= XK_A && sym <= XK_Z) || (sym >= XK_0 && sym <= XK_9)) return static_cast<WORD>(sym);
  for (int d = 0; d < 10; ++d)
    if (kShiftedDigits[d] == sym) return static_cast<WORD>('0' + d);
  for (const UsKey& k : kUsPunctuation)
    if (k.plain == sym || k.shifted == sym) return k.vk;
  if (sym >= XK_KP_0 && sym <= XK_KP_9) return static_cast<WORD>(VK_NUMPAD0 + (sym - XK_KP_0));
  if (sym >= XK_F1 && sym <= XK_F24) return static_cast<WORD>(VK_F1 + (sym - XK_F1));
  for (const SymKey& k : kSpecialKeys)
    if (k.sym == sym) return k.vk;
  return 0;
}

void OpenInput() {
  Conn& c = X();
  // Held keys repeat as presses only, as Windows repeats WM_KEYDOWN.
  Bool detectable = False;
  XkbSetDetectableAutoRepeat(c.dpy, True, &detectable);
  // Input methods (Chinese ones especially) work in the user's locale; the method keeps it once
  // opened, so the process's own locale is put back afterwards.
  const char* current = setlocale(LC_CTYPE, nullptr);
  std::string saved = current ? current : "C";
  if (setlocale(LC_CTYPE, "") && XSupportsLocale()) {
    XSetLocaleModifiers("");
    c.im = XOpenIM(c.dpy, nullptr, nullptr, nullptr);
    if (!c.im) {
      // The configured input method is not running: the built-in one still composes.
      XSetLocaleModifiers("@im=none");
      c.im = XOpenIM(c.dpy, nullptr, nullptr, nullptr);
    }
  }
  setlocale(LC_CTYPE, saved.c_str());
}

void AttachInputContext(XWin& w) {
  Conn& c = X();
  if (!c.im) return;
  w.ic = XCreateIC(c.im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, w.xid,
                   XNFocusWindow, w.xid, nullptr);
  if (!w.ic) return;
  long filter = 0;
  XGetICValues(w.ic, XNFilterEvents, &filter, nullptr);
  XWindowAttributes attrs;
  if (XGetWindowAttributes(c.dpy, w.xid, &attrs)) XSelectInput(c.dpy, w.xid, attrs.your_event_mask | filter);
}

void DetachInputContext(XWin& w) {
  if (w.ic) XDestroyIC(w.ic);
  w.ic = nullptr;
}

void HandleEvent(XEvent& event) {
  Conn& c = X();
  if (XFilterEvent(&event, kNone)) return;  // the input method took it
  if (HandleSelectionEvent(event)) return;
  if (event.type == MappingNotify) {
    XRefreshKeyboardMapping(&event.xmapping);
    return;
  }
  if (event.type == ConfigureNotify) {
    OnConfigure(event.xconfigure);
    return;
  }
  if (event.type == PropertyNotify && event.xproperty.window == c.root) {
    RefreshRootState();
    return;
  }
  XWin* w = FindByXid(event.xany.window);
  if (!w) return;
  switch (event.type) {
    case MotionNotify:
      EndWindowManagerMoveSize(event.xmotion.state);
      QueueMove(event.xmotion.x_root, event.xmotion.y_root, event.xmotion.time);
      break;
    case ButtonPress:
    case ButtonRelease:
      EndWindowManagerMoveSize(event.type == ButtonRelease ? 0 : event.xbutton.state);
      OnButton(event.xbutton, event.type == ButtonPress);
      break;
    case EnterNotify:
    case LeaveNotify:
      if (event.xcrossing.mode != NotifyNormal) break;
      EndWindowManagerMoveSize(event.xcrossing.state);
      QueueMove(event.xcrossing.x_root, event.xcrossing.y_root, event.xcrossing.time);
      break;
    case KeyPress:
      OnKeyPress(w, event.xkey);
      break;
    case KeyRelease:
      OnKeyRelease(event.xkey);
      break;
    case Expose:
      OnExpose(*w, event.xexpose);
      break;
    case ReparentNotify:
      w->reparented = event.xreparent.parent != c.root;
      break;
    case PropertyNotify:
      if (event.xproperty.atom == c.atom.wmState) OnWmState(*w);
      break;
    case FocusIn:
      OnFocusIn(*w, event.xfocus);
      break;
    case FocusOut:
      OnFocusOut(*w, event.xfocus);
      break;
    case ClientMessage:
      OnClientMessage(*w, event.xclient);
      break;
  }
}

}  // namespace umbra::display::x11
