// The clipboard. One thread at a time opens it; data handles are GlobalAlloc blocks that the
// clipboard owns once set. Text (CF_UNICODETEXT) goes to and comes from the display when it
// shares a clipboard with other programs (x11); everything else, and all of it on the headless
// display, stays in this process.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "display/display.h"
#include "user/user.h"

namespace umbra::user {
namespace {

struct Clipboard {
  std::mutex lock;
  DWORD openThread = 0;  // 0: closed
  HWND openWindow = nullptr;
  HWND owner = nullptr;
  bool changed = false;           // emptied or set since it was opened
  std::map<UINT, HGLOBAL> data;   // what this process put on the clipboard
  HGLOBAL fetchedText = nullptr;  // the display's text, valid until the clipboard closes
};

Clipboard& Board() {
  static Clipboard* board = new Clipboard;  // never destroyed: handles may be used at exit
  return *board;
}

bool DisplayShares() { return display::Current().GetClipboardText != nullptr; }

bool OpenedHere(Clipboard& c) {
  if (c.openThread == CurrentThreadId()) return true;
  SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
  return false;
}

void FreeData(Clipboard& c) {
  for (auto& [format, handle] : c.data) GlobalFree(handle);
  c.data.clear();
}

void FreeFetched(Clipboard& c) {
  if (c.fetchedText) GlobalFree(c.fetchedText);
  c.fetchedText = nullptr;
}

// The text of a CF_UNICODETEXT block: up to its terminator, never past its end.
std::u16string TextOf(HGLOBAL handle) {
  SIZE_T units = GlobalSize(handle) / sizeof(char16_t);
  const auto* text = static_cast<const char16_t*>(GlobalLock(handle));
  if (!text) return {};
  std::u16string out(text, std::find(text, text + units, u'\0'));
  GlobalUnlock(handle);
  return out;
}

HGLOBAL BlockOf(const std::u16string& text) {
  size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!handle) return nullptr;
  auto* out = static_cast<char16_t*>(GlobalLock(handle));
  std::memcpy(out, text.c_str(), bytes);
  GlobalUnlock(handle);
  return handle;
}

// Tells the display what this process put on the clipboard, once it is closed.
void Publish(Clipboard& c) {
  if (!c.changed || !DisplayShares()) return;
  auto it = c.data.find(CF_UNICODETEXT);
  if (it != c.data.end()) display::Current().SetClipboardText(TextOf(it->second));
}

}  // namespace
}  // namespace umbra::user

using namespace umbra::user;
namespace display = umbra::display;

BOOL WINAPI OpenClipboard(HWND hWndNewOwner) {
  if (hWndNewOwner && !IsWindow(hWndNewOwner)) return FALSE;
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  DWORD me = CurrentThreadId();
  if (c.openThread && c.openThread != me) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  c.openThread = me;
  c.openWindow = hWndNewOwner;
  c.changed = false;
  return TRUE;
}

BOOL WINAPI CloseClipboard(void) {
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  if (!OpenedHere(c)) return FALSE;
  Publish(c);
  FreeFetched(c);
  c.openThread = 0;
  c.openWindow = nullptr;
  c.changed = false;
  return TRUE;
}

BOOL WINAPI EmptyClipboard(void) {
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  if (!OpenedHere(c)) return FALSE;
  FreeData(c);
  FreeFetched(c);
  c.owner = c.openWindow;
  c.changed = true;
  return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT uFormat, HANDLE hMem) {
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  if (!OpenedHere(c)) return nullptr;
  // Rendering on request (a null handle) is not offered: the data must be given now.
  if (!hMem || !GlobalSize(hMem)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto it = c.data.find(uFormat);
  if (it != c.data.end() && it->second != hMem) GlobalFree(it->second);
  c.data[uFormat] = hMem;
  c.changed = true;
  return hMem;
}

HANDLE WINAPI GetClipboardData(UINT uFormat) {
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  if (!OpenedHere(c)) return nullptr;
  if (uFormat == CF_UNICODETEXT && DisplayShares() && !c.changed) {
    // Another program may own the text; the display hands back ours when we own it.
    FreeFetched(c);
    std::u16string text;
    if (display::Current().GetClipboardText(text)) c.fetchedText = BlockOf(text);
    return c.fetchedText;
  }
  auto it = c.data.find(uFormat);
  return it == c.data.end() ? nullptr : it->second;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  if (format == CF_UNICODETEXT && DisplayShares() && !(c.openThread && c.changed))
    return display::Current().HasClipboardText() ? TRUE : FALSE;
  return c.data.count(format) ? TRUE : FALSE;
}

HWND WINAPI GetClipboardOwner(void) {
  Clipboard& c = Board();
  std::lock_guard guard(c.lock);
  return c.owner && IsWindow(c.owner) ? c.owner : nullptr;
}
