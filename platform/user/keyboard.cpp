// The keyboard: key messages for the focus window (WM_SYSKEY* with Alt, F10, or when nothing
// has the focus), the key-state tables, TranslateMessage's characters (US layout; text from an
// input method arrives as VK_PACKET), and scan codes.
#include <algorithm>

#include "user/input_state.h"
#include "user/user.h"

namespace umbra::user {
namespace {

struct KeyInfo {
  WORD vk;
  WORD scan;
  bool extended;
};

// Scan code set 1, as Windows reports it in key messages.
constexpr KeyInfo kKeys[] = {
    {VK_ESCAPE, 0x01, false},   {'1', 0x02, false},          {'2', 0x03, false},
    {'3', 0x04, false},         {'4', 0x05, false},          {'5', 0x06, false},
    {'6', 0x07, false},         {'7', 0x08, false},          {'8', 0x09, false},
    {'9', 0x0A, false},         {'0', 0x0B, false},          {VK_OEM_MINUS, 0x0C, false},
    {VK_OEM_PLUS, 0x0D, false}, {VK_BACK, 0x0E, false},      {VK_TAB, 0x0F, false},
    {'Q', 0x10, false},         {'W', 0x11, false},          {'E', 0x12, false},
    {'R', 0x13, false},         {'T', 0x14, false},          {'Y', 0x15, false},
    {'U', 0x16, false},         {'I', 0x17, false},          {'O', 0x18, false},
    {'P', 0x19, false},         {VK_OEM_4, 0x1A, false},     {VK_OEM_6, 0x1B, false},
    {VK_RETURN, 0x1C, false},   {VK_CONTROL, 0x1D, false},   {VK_LCONTROL, 0x1D, false},
    {'A', 0x1E, false},         {'S', 0x1F, false},          {'D', 0x20, false},
    {'F', 0x21, false},         {'G', 0x22, false},          {'H', 0x23, false},
    {'J', 0x24, false},         {'K', 0x25, false},          {'L', 0x26, false},
    {VK_OEM_1, 0x27, false},    {VK_OEM_7, 0x28, false},     {VK_OEM_3, 0x29, false},
    {VK_SHIFT, 0x2A, false},    {VK_LSHIFT, 0x2A, false},    {VK_OEM_5, 0x2B, false},
    {'Z', 0x2C, false},         {'X', 0x2D, false},          {'C', 0x2E, false},
    {'V', 0x2F, false},         {'B', 0x30, false},          {'N', 0x31, false},
    {'M', 0x32, false},         {VK_OEM_COMMA, 0x33, false}, {VK_OEM_PERIOD, 0x34, false},
    {VK_OEM_2, 0x35, false},    {VK_RSHIFT, 0x36, false},    {VK_MULTIPLY, 0x37, false},
    {VK_MENU, 0x38, false},     {VK_LMENU, 0x38, false},     {VK_SPACE, 0x39, false},
    {VK_CAPITAL, 0x3A, false},  {VK_F1, 0x3B, false},        {VK_F2, 0x3C, false},
    {VK_F3, 0x3D, false},       {VK_F4, 0x3E, false},        {VK_F5, 0x3F, false},
    {VK_F6, 0x40, false},       {VK_F7, 0x41, false},        {VK_F8, 0x42, false},
    {VK_F9, 0x43, false},       {VK_F10, 0x44, false},       {VK_NUMLOCK, 0x45, true},
    {VK_SCROLL, 0x46, false},   {VK_NUMPAD7, 0x47, false},   {VK_NUMPAD8, 0x48, false},
    {VK_NUMPAD9, 0x49, false},  {VK_SUBTRACT, 0x4A, false},  {VK_NUMPAD4, 0x4B, false},
    {VK_NUMPAD5, 0x4C, false},  {VK_NUMPAD6, 0x4D, false},   {VK_ADD, 0x4E, false},
    {VK_NUMPAD1, 0x4F, false},  {VK_NUMPAD2, 0x50, false},   {VK_NUMPAD3, 0x51, false},
    {VK_NUMPAD0, 0x52, false},  {VK_DECIMAL, 0x53, false},   {VK_OEM_102, 0x56, false},
    {VK_F11, 0x57, false},      {VK_F12, 0x58, false},       {VK_HOME, 0x47, true},
    {VK_UP, 0x48, true},        {VK_PRIOR, 0x49, true},      {VK_LEFT, 0x4B, true},
    {VK_RIGHT, 0x4D, true},     {VK_END, 0x4F, true},        {VK_DOWN, 0x50, true},
    {VK_NEXT, 0x51, true},      {VK_INSERT, 0x52, true},     {VK_DELETE, 0x53, true},
    {VK_LWIN, 0x5B, true},      {VK_RWIN, 0x5C, true},       {VK_APPS, 0x5D, true},
    {VK_DIVIDE, 0x35, true},    {VK_RCONTROL, 0x1D, true},   {VK_RMENU, 0x38, true},
};

WORD Generic(WORD vk) {
  switch (vk) {
    case VK_LSHIFT:
    case VK_RSHIFT:
      return VK_SHIFT;
    case VK_LCONTROL:
    case VK_RCONTROL:
      return VK_CONTROL;
    case VK_LMENU:
    case VK_RMENU:
      return VK_MENU;
  }
  return vk;
}

void SetOne(BYTE* keys, BYTE vk, bool down) {
  if (down && !(keys[vk] & 0x80)) keys[vk] ^= 1;  // every press flips the toggle bit
  keys[vk] = static_cast<BYTE>((keys[vk] & 1) | (down ? 0x80 : 0));
}

bool Down(const BYTE* keys, BYTE vk) { return keys[vk] & 0x80; }

// The character a key makes on a US layout under the given key state, or 0.
char16_t CharFor(WORD vk, const BYTE* keys) {
  bool shift = Down(keys, VK_SHIFT), ctrl = Down(keys, VK_CONTROL), alt = Down(keys, VK_MENU);
  bool caps = keys[VK_CAPITAL] & 1;
  if (ctrl && alt) return 0;  // no AltGr characters on this layout
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) return static_cast<char16_t>(vk - 'A' + 1);
    return static_cast<char16_t>((shift != caps) ? vk : vk - 'A' + 'a');
  }
  switch (vk) {
    case VK_BACK:
      return ctrl ? 0x7F : 0x08;
    case VK_TAB:
      return ctrl ? 0 : u'\t';
    case VK_RETURN:
      return ctrl ? u'\n' : u'\r';
    case VK_ESCAPE:
      return 0x1B;
    case VK_SPACE:
      return u' ';
    case VK_CANCEL:
      return 0x03;
  }
  if (ctrl) {
    switch (vk) {
      case VK_OEM_4:
        return 0x1B;
      case VK_OEM_5:
        return 0x1C;
      case VK_OEM_6:
        return 0x1D;
    }
    return 0;
  }
  if (vk >= '0' && vk <= '9') return shift ? u")!@#$%^&*("[vk - '0'] : static_cast<char16_t>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<char16_t>(u'0' + (vk - VK_NUMPAD0));
  struct Pair {
    WORD vk;
    char16_t plain, shifted;
  };
  static constexpr Pair kPunctuation[] = {
      {VK_OEM_1, u';', u':'},     {VK_OEM_PLUS, u'=', u'+'},   {VK_OEM_COMMA, u',', u'<'},
      {VK_OEM_MINUS, u'-', u'_'}, {VK_OEM_PERIOD, u'.', u'>'}, {VK_OEM_2, u'/', u'?'},
      {VK_OEM_3, u'`', u'~'},     {VK_OEM_4, u'[', u'{'},      {VK_OEM_5, u'\\', u'|'},
      {VK_OEM_6, u']', u'}'},     {VK_OEM_7, u'\'', u'"'},     {VK_OEM_102, u'\\', u'|'},
      {VK_MULTIPLY, u'*', u'*'},  {VK_ADD, u'+', u'+'},        {VK_SUBTRACT, u'-', u'-'},
      {VK_DECIMAL, u'.', u'.'},   {VK_DIVIDE, u'/', u'/'},
  };
  for (const Pair& p : kPunctuation)
    if (p.vk == vk) return shift ? p.shifted : p.plain;
  return 0;
}

}  // namespace

void ApplyKey(BYTE* keys, WORD vk, bool extended, bool down) {
  switch (vk) {
    case VK_SHIFT:
      vk = VK_LSHIFT;
      break;
    case VK_CONTROL:
      vk = extended ? VK_RCONTROL : VK_LCONTROL;
      break;
    case VK_MENU:
      vk = extended ? VK_RMENU : VK_LMENU;
      break;
  }
  SetOne(keys, static_cast<BYTE>(vk), down);
  WORD generic = Generic(vk);
  if (generic == vk) return;
  BYTE left = static_cast<BYTE>(generic == VK_SHIFT     ? VK_LSHIFT
                                : generic == VK_CONTROL ? VK_LCONTROL
                                                        : VK_LMENU);
  SetOne(keys, static_cast<BYTE>(generic), Down(keys, left) || Down(keys, static_cast<BYTE>(left + 1)));
}

WORD DefaultScanCode(WORD vk, bool* extended) {
  for (const KeyInfo& k : kKeys) {
    if (k.vk != vk) continue;
    if (extended) *extended = k.extended;
    return k.scan;
  }
  if (extended) *extended = false;
  return 0;
}

void RouteKey(ThreadQueue& q, const PendingInput& p) {
  const RawInput& ev = p.event;
  HWND target = q.focus && IsWindow(q.focus) ? q.focus : nullptr;
  bool noFocus = !target;
  if (noFocus) target = q.active && IsWindow(q.active) ? q.active : nullptr;
  if (!target) return;
  MSG msg{target, 0, 0, 0, ev.time, ev.pt};
  if (ev.kind == RawInput::Kind::Char) {
    // Text from an input method, or KEYEVENTF_UNICODE: the unit rides in the high word.
    msg.message = ev.down ? WM_KEYDOWN : WM_KEYUP;
    msg.wParam = VK_PACKET;
    msg.lParam = 1 | static_cast<LPARAM>(ev.unit) << 16;
    PushRouted(q, msg, p.keys);
    return;
  }
  WORD generic = Generic(ev.vk);
  bool alt = Down(p.keys, VK_MENU) || generic == VK_MENU;
  bool ctrl = Down(p.keys, VK_CONTROL);
  bool sys = (alt && !ctrl) || generic == VK_F10 || noFocus;
  bool extended = ev.extended;
  WORD scan = ev.scan;
  if (!scan) {
    bool inherent = false;
    scan = DefaultScanCode(ev.vk, &inherent);
    extended = extended || inherent;
  }
  msg.message = ev.down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
  msg.wParam = generic;
  LPARAM lp = 1 | static_cast<LPARAM>(scan & 0xFF) << 16;
  if (extended) lp |= LPARAM{1} << 24;
  if (alt) lp |= LPARAM{1} << 29;
  if (p.wasDown || !ev.down) lp |= LPARAM{1} << 30;
  if (!ev.down) lp |= LPARAM{1} << 31;
  msg.lParam = lp;
  PushRouted(q, msg, p.keys);
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  if (!lpMsg) return FALSE;
  switch (lpMsg->message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      break;
    case WM_KEYUP:
    case WM_SYSKEYUP:
      return TRUE;
    default:
      return FALSE;
  }
  char16_t ch = lpMsg->wParam == VK_PACKET
                    ? static_cast<char16_t>(HIWORD(lpMsg->lParam))
                    : CharFor(static_cast<WORD>(lpMsg->wParam), CurrentQueue().keyState);
  std::shared_ptr<Window> w = Lookup(lpMsg->hwnd);
  if (!ch || !w || !w->queue) return TRUE;
  // The character is the next message the thread reads.
  MSG chMsg{
      lpMsg->hwnd, lpMsg->message == WM_KEYDOWN ? static_cast<UINT>(WM_CHAR) : static_cast<UINT>(WM_SYSCHAR),
      ch,          lpMsg->lParam,
      lpMsg->time, lpMsg->pt};
  {
    std::lock_guard guard(w->queue->lock);
    w->queue->posted.push_front(chMsg);
    ++w->queue->changes;
  }
  return TRUE;
}

SHORT WINAPI GetKeyState(int nVirtKey) {
  if (nVirtKey < 0 || nVirtKey > 255) return 0;
  BYTE state = CurrentQueue().keyState[nVirtKey];
  return static_cast<SHORT>(((state & 0x80) ? 0x8000 : 0) | (state & 1));
}

BOOL WINAPI GetKeyboardState(PBYTE lpKeyState) {
  if (!lpKeyState) return FALSE;
  std::copy_n(CurrentQueue().keyState, 256, lpKeyState);
  return TRUE;
}

UINT WINAPI MapVirtualKeyW(UINT uCode, UINT uMapType) {
  switch (uMapType) {
    case MAPVK_VK_TO_VSC:
      return DefaultScanCode(static_cast<WORD>(uCode), nullptr);
    case MAPVK_VSC_TO_VK:
      for (const KeyInfo& k : kKeys)
        if (k.scan == uCode && !k.extended) return Generic(k.vk);
      return 0;
    case MAPVK_VK_TO_CHAR: {
      BYTE none[256] = {};
      char16_t ch = CharFor(static_cast<WORD>(uCode), none);
      return ch >= u'a' && ch <= u'z' ? ch - u'a' + u'A' : ch;
    }
  }
  return 0;
}
