// The CLIPBOARD selection of the x11 display. Our text is offered from a hidden helper window
// as UTF8_STRING (and STRING and TEXT for older programs); another program's text is asked
// for as UTF8_STRING, falling back to STRING, and read whole or in INCR pieces.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "display/x11.h"
#include "kernel/unicode.h"

namespace umbra::display::x11 {
namespace {

constexpr int kReplyTimeoutMs = 1000;  // another program that does not answer is given up on

struct Selection {
  bool owned = false;
  std::string utf8;  // our text while we own the selection
};

Selection g_selection;

// ---- Serving our text -------------------------------------------------------------------------

std::string Latin1Of(const std::string& utf8) {
  std::string out;
  for (char16_t unit : kernel::Utf8ToUtf16(utf8)) out.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
  return out;
}

size_t MaxPropertyBytes() {
  Display* dpy = X().dpy;
  long units = XExtendedMaxRequestSize(dpy);
  if (units <= 0) units = XMaxRequestSize(dpy);
  return static_cast<size_t>(units) * 4 - 1024;  // room for the request around the data
}

// Answers one request; false refuses it (a target we do not have, or text too large).
bool Answer(const XSelectionRequestEvent& req, Atom property) {
  Conn& c = X();
  if (req.target == c.atom.targets) {
    Atom targets[] = {c.atom.targets, c.atom.utf8String, XA_STRING, c.atom.text};
    XChangeProperty(c.dpy, req.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(targets), 4);
    return true;
  }
  std::string data;
  Atom type = c.atom.utf8String;
  if (req.target == c.atom.utf8String || req.target == c.atom.text) {
    data = g_selection.utf8;
  } else if (req.target == XA_STRING) {
    data = Latin1Of(g_selection.utf8);
    type = XA_STRING;
  } else {
    return false;
  }
  if (data.size() > MaxPropertyBytes()) return false;
  XChangeProperty(c.dpy, req.requestor, property, type, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size()));
  return true;
}

void OnSelectionRequest(const XSelectionRequestEvent& req) {
  Conn& c = X();
  // Old programs leave the property out: the target names it then.
  Atom property = req.property ? req.property : req.target;
  bool ok = g_selection.owned && req.selection == c.atom.clipboard && Answer(req, property);
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = req.requestor;
  reply.xselection.selection = req.selection;
  reply.xselection.target = req.target;
  reply.xselection.property = ok ? property : kNone;
  reply.xselection.time = req.time;
  XSendEvent(c.dpy, req.requestor, False, NoEventMask, &reply);
  XFlush(c.dpy);
}

// ---- Reading another program's text -----------------------------------------------------------

struct Wanted {
  int type;
  Atom property;
};

Bool Matches(Display*, XEvent* e, XPointer arg) {
  const Wanted* w = reinterpret_cast<const Wanted*>(arg);
  Conn& c = X();
  if (e->type != w->type || e->xany.window != c.helper) return False;
  if (e->type == PropertyNotify)
    return e->xproperty.atom == w->property && e->xproperty.state == PropertyNewValue;
  return True;
}

// Takes the next event of the kind wanted for the helper window, leaving every other event
// queued for the message loop.
bool WaitFor(int type, XEvent& out) {
  Conn& c = X();
  Wanted wanted{type, c.atom.clipboardProperty};
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
  for (;;) {
    if (XCheckIfEvent(c.dpy, &out, Matches, reinterpret_cast<XPointer>(&wanted))) return true;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fd{ConnectionNumber(c.dpy), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(std::min<long>(left.count(), 50)));
  }
}

// Reads and deletes our property; type tells what it held. Text comes as bytes; atom lists
// (format 32) as the atoms.
bool TakeProperty(std::string& data, Atom& type, std::vector<Atom>* atoms = nullptr) {
  Conn& c = X();
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* bytes = nullptr;
  if (XGetWindowProperty(c.dpy, c.helper, c.atom.clipboardProperty, 0, 0x1FFFFFFF, True, AnyPropertyType,
                         &type, &format, &count, &after, &bytes) != Success)
    return false;
  data.clear();
  if (bytes && format == 8) data.assign(reinterpret_cast<const char*>(bytes), count);
  if (bytes && format == 32 && atoms) {
    const unsigned long* items = reinterpret_cast<const unsigned long*>(bytes);  // Xlib widens to long
    atoms->assign(items, items + count);
  }
  if (bytes) XFree(bytes);
  return true;
}

// Large text arrives in pieces: each new value of the property is the next piece, and an
// empty one ends it.
bool ReadIncrementally(std::string& data) {
  data.clear();
  for (;;) {
    XEvent e;
    if (!WaitFor(PropertyNotify, e)) return false;
    std::string piece;
    Atom type = 0;
    if (!TakeProperty(piece, type)) return false;
    if (piece.empty()) return true;
    data += piece;
  }
}

// Asks the owner for the selection as target; false when it refuses or does not answer.
bool Convert(Atom target, std::string& data, Atom& type, std::vector<Atom>* atoms = nullptr) {
  Conn& c = X();
  XDeleteProperty(c.dpy, c.helper, c.atom.clipboardProperty);
  XConvertSelection(c.dpy, c.atom.clipboard, target, c.atom.clipboardProperty, c.helper, CurrentTime);
  XFlush(c.dpy);
  XEvent e;
  if (!WaitFor(SelectionNotify, e) || e.xselection.property == kNone) return false;
  if (!TakeProperty(data, type, atoms)) return false;
  if (type == c.atom.incr) {
    XFlush(c.dpy);  // the deletion above tells the owner to start sending
    if (!ReadIncrementally(data)) return false;
    type = target;
  }
  return true;
}

bool OwnerExists() {
  Conn& c = X();
  return XGetSelectionOwner(c.dpy, c.atom.clipboard) != 0;
}

}  // namespace

bool HandleSelectionEvent(XEvent& event) {
  Conn& c = X();
  switch (event.type) {
    case SelectionRequest:
      if (event.xselectionrequest.owner != c.helper) return false;
      OnSelectionRequest(event.xselectionrequest);
      return true;
    case SelectionClear:
      if (event.xselectionclear.window != c.helper) return false;
      if (event.xselectionclear.selection == c.atom.clipboard) {
        g_selection.owned = false;  // another program copied something
        g_selection.utf8.clear();
      }
      return true;
    case SelectionNotify:
    case PropertyNotify:
      return event.xany.window == c.helper;  // replies that came after we stopped waiting
  }
  return false;
}

bool ClipboardSetText(const std::u16string& text) {
  Conn& c = X();
  g_selection.utf8 = kernel::Utf16ToUtf8(text);
  XSetSelectionOwner(c.dpy, c.atom.clipboard, c.helper, CurrentTime);
  g_selection.owned = XGetSelectionOwner(c.dpy, c.atom.clipboard) == c.helper;
  if (!g_selection.owned) g_selection.utf8.clear();
  return g_selection.owned;
}

bool ClipboardGetText(std::u16string& text) {
  if (g_selection.owned) {
    text = kernel::Utf8ToUtf16(g_selection.utf8);
    return true;
  }
  if (!OwnerExists()) return false;
  std::string data;
  Atom type = 0;
  if (Convert(X().atom.utf8String, data, type)) {
    text = kernel::Utf8ToUtf16(data);
    return true;
  }
  if (!Convert(XA_STRING, data, type)) return false;
  text.clear();
  for (unsigned char byte : data) text.push_back(byte);  // STRING is Latin-1
  return true;
}

bool ClipboardHasText() {
  if (g_selection.owned) return !g_selection.utf8.empty();
  if (!OwnerExists()) return false;
  Conn& c = X();
  std::string data;
  Atom type = 0;
  std::vector<Atom> targets;
  if (!Convert(c.atom.targets, data, type, &targets) || targets.empty()) return true;  // no list: try anyway
  for (Atom t : targets)
    if (t == c.atom.utf8String || t == XA_STRING || t == c.atom.text) return true;
  return false;
}

}  // namespace umbra::display::x11
