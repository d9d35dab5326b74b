#pragma once

#include <windows.h>

#include "ui/core/UIString.h"

namespace Umbra {

class CControlUI;

// Kinds of UIEvent. The mouse kinds are exactly 9 to 19, so that a container can tell them
// from the others by range; 0 to 2, 7, 8 and 20 are not used.
enum UIEventType {
  EVT_KEYDOWN = 3,
  EVT_KEYUP = 4,
  EVT_CHAR = 5,
  EVT_SYSKEY = 6,
  EVT_MOUSEMOVE = 9,
  EVT_MOUSELEAVE = 10,
  EVT_MOUSEENTER = 11,
  EVT_MOUSEHOVER = 12,
  EVT_BUTTONDOWN = 13,
  EVT_BUTTONUP = 14,
  EVT_RBUTTONDOWN = 15,
  EVT_RBUTTONUP = 16,
  EVT_DBLCLICK = 17,
  EVT_CONTEXTMENU = 18,
  EVT_SCROLLWHEEL = 19,
  EVT_KILLFOCUS = 21,
  EVT_SETFOCUS = 22,
  EVT_WINDOWSIZE = 23,
  EVT_SETCURSOR = 24,
  EVT_TIMER = 25,
};

inline bool IsMouseEvent(int type) { return type > 8 && type < 20; }

// Bits of the key-state word that CurrentKeyState makes. The two button bits are swapped
// against MK_LBUTTON/MK_RBUTTON; events made from a mouse message carry the message's own
// MK_ bits instead.
enum : WORD {
  UIKEY_RBUTTON = 0x01,
  UIKEY_LBUTTON = 0x02,
  UIKEY_SHIFT = 0x04,
  UIKEY_CONTROL = 0x08,
  UIKEY_ALT = 0x20,
};

// What the host hands to one control, made from a window message. A fresh record is all
// zero; the host fills what the kind needs.
struct UIEvent {
  int type = 0;                  // UIEventType
  CControlUI* sender = nullptr;  // the control the event is for
  DWORD timestamp = 0;           // GetTickCount() when made
  POINT ptMouse = {0, 0};        // client coordinates
  WCHAR key = 0;                 // virtual key, or the character of EVT_CHAR
  WORD keyState = 0;             // UIKEY_ bits, or MK_ bits for button events
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// What a control sends through its host to the listeners of the window.
struct UINotify {
  CUIString type;                // "click", "selectchanged", "windowinit" ...
  CUIString virtualWindow;       // the sender's virtual window, when the host names them
  CControlUI* sender = nullptr;  // null once the sender is gone while the notification waits
  DWORD timestamp = 0;           // GetTickCount() when sent
  POINT ptMouse = {0, 0};        // the host's last mouse position when sent
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// The interfaces a host keeps lists of. The host does not own them, so none is deleted
// through its interface.

class INotifyUI {
 public:
  virtual void OnNotify(UINotify& notify) = 0;

 protected:
  ~INotifyUI() = default;
};

class IMessageFilterUI {
 public:
  // Setting claimed ends the message's processing; the result is then the message's result.
  virtual LRESULT FilterMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& claimed) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

class ITranslateAccelerator {
 public:
  // 0 when the message was translated (and so must not be dispatched).
  virtual LRESULT TranslateAccel(MSG* msg) = 0;

 protected:
  ~ITranslateAccelerator() = default;
};

}  // namespace Umbra
