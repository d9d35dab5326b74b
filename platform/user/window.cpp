// Windows: the handle table, the tree of parents, owners and z-order, coordinates, creation
// and destruction with the message orders Windows uses, and the tree queries.
//
// Sections: handle table · tree · coordinates · creation · destruction · queries · finding.
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

#include "user/foreign.h"
#include "user/remote.h"
#include "user/user.h"

namespace umbra::user {
namespace {

// ---- Handle table ----------------------------------------------------------------------------

struct WindowTable {
  std::mutex lock;
  std::unordered_map<HWND, std::shared_ptr<Window>> windows;
  // Values stay below 2^32 (as Windows' window handles do) and clear of HWND_BROADCAST.
  uintptr_t next = 0x20000;
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;  // never destroyed: windows may outlive main
  return *table;
}

std::shared_ptr<WindowClass> RootClass(const char16_t* name) {
  auto cls = std::make_shared<WindowClass>();
  cls->name = name;
  cls->proc = DefWindowProcW;
  cls->system = true;
  return cls;
}

Window* MakeRoot(const char16_t* className) {
  auto root = std::make_shared<Window>();
  root->cls = RootClass(className);
  root->proc = DefWindowProcW;
  root->style = WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  ScreenAndWorkArea(&root->rect, nullptr);
  root->client = root->rect;
  Window* raw = root.get();
  RegisterWindow(std::move(root));
  return raw;
}

}  // namespace

std::shared_ptr<Window> Lookup(HWND hwnd) {
  if (!hwnd) return nullptr;
  WindowTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.windows.find(hwnd);
  return it == table.windows.end() ? nullptr : it->second;
}

Window* Get(HWND hwnd) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w.get();  // the table keeps it alive until DestroyWindow finishes
}

HWND RegisterWindow(std::shared_ptr<Window> window) {
  WindowTable& table = Table();
  std::lock_guard guard(table.lock);
  HWND hwnd = reinterpret_cast<HWND>(table.next);
  table.next += 2;
  window->hwnd = hwnd;
  table.windows.emplace(hwnd, std::move(window));
  return hwnd;
}

void UnregisterWindow(HWND hwnd) {
  std::shared_ptr<Window> doomed;  // freed outside the lock
  WindowTable& table = Table();
  std::lock_guard guard(table.lock);
  auto it = table.windows.find(hwnd);
  if (it == table.windows.end()) return;
  doomed = std::move(it->second);
  table.windows.erase(it);
}

Window* Desktop() {
  static Window* desktop = MakeRoot(u"#32769");
  return desktop;
}

Window* MessageRoot() {
  static Window* root = [] {
    Window* w = MakeRoot(u"Message");
    w->style &= ~WS_VISIBLE;
    return w;
  }();
  return root;
}

// ---- Tree ------------------------------------------------------------------------------------

Window* TopLevelOf(Window* w) {
  while (w && w->parent && !w->IsTopLevel()) w = w->parent;
  return w;
}

bool IsDescendant(const Window* ancestor, const Window* w) {
  for (; w; w = w->parent)
    if (w == ancestor) return true;
  return false;
}

bool IsReallyVisible(const Window* w) {
  for (; w && !w->IsRoot(); w = w->parent)
    if (!w->IsVisible()) return false;
  return w != nullptr && w == Desktop();
}

bool IsReallyEnabled(const Window* w) {
  for (; w && !w->IsRoot(); w = w->parent) {
    if (w->style & WS_DISABLED) return false;
    if (!(w->style & WS_CHILD)) break;
  }
  return true;
}

void Unlink(Window* w) {
  if (!w->parent) return;
  std::erase(w->parent->children, w);
}

void LinkAt(Window* w, Window* parent, HWND insertAfter) {
  w->parent = parent;
  auto& list = parent->children;
  std::erase(list, w);
  if (insertAfter == HWND_BOTTOM) {
    list.push_back(w);
    return;
  }
  if (insertAfter == HWND_TOP || insertAfter == HWND_TOPMOST || insertAfter == HWND_NOTOPMOST) {
    // Among top-level windows, a window that is not topmost goes below the topmost ones.
    auto pos = list.begin();
    if (parent == Desktop() && !(w->exStyle & WS_EX_TOPMOST))
      pos = std::find_if(list.begin(), list.end(), [](Window* o) { return !(o->exStyle & WS_EX_TOPMOST); });
    list.insert(pos, w);
    return;
  }
  auto after = std::find_if(list.begin(), list.end(), [&](Window* o) { return o->hwnd == insertAfter; });
  list.insert(after == list.end() ? list.end() : after + 1, w);
}

void RestackDisplay() {
  std::vector<display::NativeWindow> order;
  for (Window* w : Desktop()->children)
    if (w->native) order.push_back(w->native);
  display::Current().Restack(order.data(), order.size());
}

// ---- Coordinates -------------------------------------------------------------------------------

POINT ClientOrigin(const Window* w) {
  POINT pt{0, 0};
  for (; w && !w->IsRoot(); w = w->parent) {
    pt.x += w->client.left;
    pt.y += w->client.top;
  }
  return pt;
}

namespace {

// A rectangle in the parent's client coordinates, moved to the screen.
RECT ParentToScreen(const Window* w, RECT r) {
  if (!w->parent) return r;
  POINT origin = ClientOrigin(w->parent);
  OffsetRect(&r, origin.x, origin.y);
  return r;
}

}  // namespace

RECT ScreenRect(const Window* w) { return ParentToScreen(w, w->rect); }

RECT ScreenClient(const Window* w) { return ParentToScreen(w, w->client); }

POINT SurfaceOffset(const Window* w) {
  RECT mine = ScreenRect(w);
  RECT top = ScreenRect(TopLevelOf(const_cast<Window*>(w)));
  return POINT{mine.left - top.left, mine.top - top.top};
}

gdi::PixRegion ShapeInSurface(const Window* w) {
  POINT off = SurfaceOffset(w);
  RECT r{off.x, off.y, off.x + (w->rect.right - w->rect.left), off.y + (w->rect.bottom - w->rect.top)};
  gdi::PixRegion shape(r);
  if (w->hasRegion) {
    gdi::PixRegion region(w->region);
    region.Offset(off.x, off.y);
    shape.Intersect(region);
  }
  return shape;
}

RECT FrameInsets(DWORD style, DWORD exStyle) {
  int border = 0;
  if (style & WS_THICKFRAME) {
    border = GetSystemMetrics(SM_CXSIZEFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  } else if ((style & WS_CAPTION) == WS_CAPTION || (style & WS_DLGFRAME) || (exStyle & WS_EX_DLGMODALFRAME)) {
    border = GetSystemMetrics(SM_CXFIXEDFRAME) + GetSystemMetrics(SM_CXPADDEDBORDER);
  } else if (style & WS_BORDER) {
    border = GetSystemMetrics(SM_CXBORDER);
  }
  if (exStyle & WS_EX_CLIENTEDGE) border += GetSystemMetrics(SM_CXEDGE);
  if (exStyle & WS_EX_STATICEDGE) border += GetSystemMetrics(SM_CXBORDER);
  int caption = 0;
  if ((style & WS_CAPTION) == WS_CAPTION)
    caption = GetSystemMetrics((exStyle & WS_EX_TOOLWINDOW) ? SM_CYSMCAPTION : SM_CYCAPTION);
  return RECT{border, border + caption, border, border};
}

bool DescribeTopLevel(HWND hwnd, TopLevelLook& out) {
  Window* w = Get(hwnd);
  if (!w || !w->IsTopLevel() || !w->native) return false;
  out.surface = display::Current().Surface(w->native);
  out.hasRegion = w->hasRegion;
  out.region = w->region;
  out.layered = w->layered;
  return out.surface.Valid();
}

// ---- Creation ----------------------------------------------------------------------------------
namespace {

struct CreateTarget {
  Window* parent = nullptr;
  Window* owner = nullptr;
};

bool ResolveParent(HWND parentArg, DWORD style, CreateTarget& out) {
  if (parentArg == HWND_MESSAGE) {
    out.parent = MessageRoot();
    return true;
  }
  if (style & WS_CHILD) {
    out.parent = Get(parentArg);
    if (!out.parent) {
      SetLastError(ERROR_TLW_WITH_WSCHILD);
      return false;
    }
    return true;
  }
  out.parent = Desktop();
  if (parentArg && parentArg != Desktop()->hwnd) {
    Window* owner = Get(parentArg);
    if (!owner) return false;
    out.owner = TopLevelOf(owner);  // an owner is always a top-level window
  }
  return true;
}

void SendParentNotify(Window* w, UINT event) {
  if (!(w->style & WS_CHILD) || (w->exStyle & WS_EX_NOPARENTNOTIFY)) return;
  HWND hwnd = w->hwnd;
  WPARAM wParam = MAKEWPARAM(event, static_cast<WORD>(w->id));
  for (Window* p = w->parent; p && !p->IsRoot(); p = p->parent) {
    SendMessageW(p->hwnd, WM_PARENTNOTIFY, wParam, reinterpret_cast<LPARAM>(hwnd));
    if (!(p->style & WS_CHILD) || (p->exStyle & WS_EX_NOPARENTNOTIFY)) break;
  }
}

std::shared_ptr<Window> NewWindow(const std::shared_ptr<WindowClass>& cls, DWORD exStyle, DWORD style,
                                  const CreateTarget& target, HMENU menu, HINSTANCE instance) {
  auto w = std::make_shared<Window>();
  w->cls = cls;
  w->queue = CurrentQueueRef();
  w->proc = cls->proc;
  // Overlapped windows always have a caption and clip their siblings.
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CLIPSIBLINGS | WS_CAPTION;
  w->style = style & ~WS_VISIBLE;  // hidden until creation completes
  w->exStyle = exStyle;
  if (exStyle & WS_EX_LAYERED) w->layered.mode = display::LayeredState::Mode::Hidden;
  w->id = reinterpret_cast<LONG_PTR>(menu);
  w->instance = instance;
  w->owner = target.owner;
  w->extra.assign(static_cast<size_t>(cls->wndExtra), 0);
  return w;
}

void AttachNative(Window* w) {
  display::WindowInfo info;
  info.hwnd = w->hwnd;
  info.rect = w->rect;
  info.style = w->style;
  info.exStyle = w->exStyle;
  info.owner = w->owner ? w->owner->hwnd : nullptr;
  w->native = display::Current().CreateNative(info);
  if (w->native && w->layered.mode != display::LayeredState::Mode::None)
    display::Current().SetLayered(w->native, w->layered);
  RestackDisplay();
  ListTopLevelWindow(w->hwnd);
}

void ClampToTrackSize(Window* w) {
  MINMAXINFO mmi = QueryMinMaxInfo(w);
  LONG cx = w->rect.right - w->rect.left, cy = w->rect.bottom - w->rect.top;
  cx = std::clamp(cx, mmi.ptMinTrackSize.x, std::max(mmi.ptMinTrackSize.x, mmi.ptMaxTrackSize.x));
  cy = std::clamp(cy, mmi.ptMinTrackSize.y, std::max(mmi.ptMinTrackSize.y, mmi.ptMaxTrackSize.y));
  w->rect.right = w->rect.left + cx;
  w->rect.bottom = w->rect.top + cy;
}

// Frees what a window holds once WM_NCDESTROY has been sent.
void ReleaseWindow(Window* w) {
  ThreadQueue& q = *w->queue;
  KillWindowTimers(q, w->hwnd);
  PurgeWindowMessages(q, w->hwnd);
  ForgetWindowInput(w->hwnd);
  ForgetCaret(w->hwnd);
  w->update.Clear();
  w->internalPaint = false;
  RefreshPaintFlag(w);
  for (Window* o : Desktop()->children)
    if (o->owner == w) o->owner = nullptr;
  if (w->native) {
    display::Current().DestroyNative(w->native);
    w->native = nullptr;
  }
  bool wasTopLevel = w->IsTopLevel();
  UnlistWindow(w->hwnd);
  Unlink(w);
  if (wasTopLevel) RestackDisplay();
  w->dead = true;
  --q.windowCount;
  UnregisterWindow(w->hwnd);
}

// Creation failed at WM_NCCREATE: the window only gets WM_NCDESTROY.
void AbandonCreation(Window* w) {
  w->destroying = true;
  CallWindow(w, WM_NCDESTROY, 0, 0);
  ReleaseWindow(w);
}

}  // namespace

// ---- Destruction ---------------------------------------------------------------------------------
namespace {

std::vector<HWND> ChildHandles(const Window* w) {
  std::vector<HWND> out;
  for (Window* c : w->children) out.push_back(c->hwnd);
  return out;
}

// WM_DESTROY goes to the window first, then to its children.
void SendDestroyTree(HWND hwnd) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w || w->dead) return;
  w->destroying = true;
  CallWindow(w.get(), WM_DESTROY, 0, 0);
  for (HWND child : ChildHandles(w.get())) SendDestroyTree(child);
}

// WM_NCDESTROY goes to the children first, then to the window, the last message it gets.
void FreeTree(HWND hwnd) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w || w->dead) return;
  w->destroying = true;
  for (HWND child : ChildHandles(w.get())) FreeTree(child);
  CallWindow(w.get(), WM_NCDESTROY, 0, 0);
  ReleaseWindow(w.get());
}

}  // namespace
}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X,
                            int Y, int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  std::shared_ptr<WindowClass> cls = FindClass(lpClassName, hInstance);
  if (!cls) {
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  CreateTarget target;
  if (!ResolveParent(hWndParent, dwStyle, target)) return nullptr;

  std::shared_ptr<Window> ref = NewWindow(cls, dwExStyle, dwStyle, target, hMenu, hInstance);
  Window* w = ref.get();
  w->rect = DefaultCreateRect(w->style, target.parent, X, Y, nWidth, nHeight);
  w->client = w->rect;
  w->normalRect = w->rect;
  HWND hwnd = RegisterWindow(ref);
  ++w->queue->windowCount;
  LinkAt(w, target.parent, (w->style & WS_CHILD) ? HWND_BOTTOM : HWND_TOP);
  if (w->IsTopLevel() && target.parent == Desktop()) AttachNative(w);

  if (NeedsMinMaxInfo(w)) {
    ClampToTrackSize(w);
    if (w->dead) return nullptr;
    if (w->native) display::Current().SetRect(w->native, w->rect);
  }
  CREATESTRUCTW cs{lpParam,
                   hInstance,
                   hMenu,
                   hWndParent,
                   static_cast<int>(w->rect.bottom - w->rect.top),
                   static_cast<int>(w->rect.right - w->rect.left),
                   static_cast<int>(w->rect.top),
                   static_cast<int>(w->rect.left),
                   static_cast<LONG>(dwStyle),
                   lpWindowName,
                   lpClassName,
                   dwExStyle};
  if (!CallWindow(w, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    if (!w->dead) AbandonCreation(w);
    return nullptr;
  }
  if (w->dead) return nullptr;
  w->created = true;

  RECT client = w->rect;
  CallWindow(w, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&client));
  if (w->dead) return nullptr;
  w->client = SanitizeRect(client);

  if (CallWindow(w, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    if (!w->dead) DestroyWindow(hwnd);
    return nullptr;
  }
  if (w->dead) return nullptr;

  // Child windows learn their size and position right away; top-level windows when first shown.
  if (w->style & WS_CHILD) {
    w->sizeSent = true;
    CallWindow(w, WM_SIZE, SIZE_RESTORED,
               MAKELPARAM(w->client.right - w->client.left, w->client.bottom - w->client.top));
    if (!w->dead) CallWindow(w, WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
    if (!w->dead) SendParentNotify(w, WM_CREATE);
  }
  if (w->dead) return nullptr;
  if (dwStyle & WS_VISIBLE) {
    int show = (dwStyle & WS_MAXIMIZE)   ? SW_SHOWMAXIMIZED
               : (dwStyle & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                                         : SW_SHOW;
    w->style &= ~(WS_MAXIMIZE | WS_MINIMIZE);
    ShowWindow(hwnd, show);
  }
  return w->dead ? nullptr : hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  std::shared_ptr<Window> ref = Lookup(hWnd);
  if (!ref || ref->IsRoot() || ref->dead) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Window* w = ref.get();
  if (w->queue.get() != &CurrentQueue()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (w->destroying) return TRUE;  // a nested call while it is already going away
  w->destroying = true;

  SendParentNotify(w, WM_DESTROY);
  // Owned windows go first, entirely.
  if (w->IsTopLevel()) {
    std::vector<HWND> owned;
    for (Window* o : Desktop()->children)
      if (o->owner == w) owned.push_back(o->hwnd);
    for (HWND o : owned) DestroyWindow(o);
  }
  if (w->dead) return TRUE;
  if (w->IsVisible())
    SetWindowPosFor(w, nullptr, 0, 0, 0, 0,
                    SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE, false);
  if (w->dead) return TRUE;
  ForgetWindowState(w);
  SendDestroyTree(hWnd);
  FreeTree(hWnd);
  return TRUE;
}

// ---- Queries --------------------------------------------------------------------------------------

BOOL WINAPI IsWindow(HWND hWnd) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (w) return !w->dead;
  return IsForeignWindow(hWnd);
}

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  return w && IsReallyVisible(w.get()) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  Window* w = Get(hWnd);
  if (!w) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (static_cast<bool>(bEnable) == !wasDisabled) return wasDisabled;
  if (bEnable) {
    w->style &= ~WS_DISABLED;
  } else {
    // A window that is disabled cannot keep the focus or the capture.
    w->style |= WS_DISABLED;
    ThreadQueue& q = CurrentQueue();
    std::shared_ptr<Window> focus = Lookup(q.focus);
    if (focus && IsDescendant(w, focus.get())) SetFocus(nullptr);
    if (q.capture == hWnd) ReleaseCapture();
  }
  SendMessageW(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
  return wasDisabled;
}

BOOL WINAPI IsIconic(HWND hWnd) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  return w && (w->style & WS_MINIMIZE) ? TRUE : FALSE;
}

BOOL WINAPI IsZoomed(HWND hWnd) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  return w && (w->style & WS_MAXIMIZE) ? TRUE : FALSE;
}

BOOL WINAPI IsChild(HWND hWndParent, HWND hWnd) {
  std::shared_ptr<Window> parent = Lookup(hWndParent);
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!parent || !w) return FALSE;
  for (Window* p = w.get(); (p->style & WS_CHILD) && p->parent; p = p->parent)
    if (p->parent == parent.get()) return TRUE;
  return FALSE;
}

HWND WINAPI GetParent(HWND hWnd) {
  Window* w = Get(hWnd);
  if (!w) return nullptr;
  if (w->style & WS_CHILD) return w->parent && !w->parent->IsRoot() ? w->parent->hwnd : nullptr;
  if (w->style & WS_POPUP) return w->owner ? w->owner->hwnd : nullptr;
  return nullptr;
}

HWND WINAPI SetParent(HWND hWndChild, HWND hWndNewParent) {
  Window* w = Get(hWndChild);
  Window* parent = hWndNewParent ? Get(hWndNewParent) : Desktop();
  if (!w || !parent || w->IsRoot() || IsDescendant(w, parent)) {
    if (w && parent) SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Window* old = w->parent;
  bool wasTopLevel = w->IsTopLevel();
  Unlink(w);
  LinkAt(w, parent, HWND_TOP);
  if (wasTopLevel != w->IsTopLevel()) {
    UnlistWindow(w->hwnd);
    if (w->native) {
      display::Current().DestroyNative(w->native);
      w->native = nullptr;
    }
    if (w->IsTopLevel()) AttachNative(w);
  }
  RestackDisplay();
  InvalidateWhole(w, true);
  return old && !old->IsRoot() ? old->hwnd : Desktop()->hwnd;
}

HWND WINAPI GetAncestor(HWND hwnd, UINT gaFlags) {
  Window* w = Get(hwnd);
  if (!w || w->IsRoot()) return nullptr;
  switch (gaFlags) {
    case GA_PARENT:
      return w->parent->hwnd;
    case GA_ROOT:
      return TopLevelOf(w)->hwnd;
    case GA_ROOTOWNER: {
      HWND root = TopLevelOf(w)->hwnd;
      for (HWND up = GetParent(root); up; up = GetParent(up)) root = up;
      return root;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
  Window* w = Get(hWnd);
  if (!w) return nullptr;
  if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.front()->hwnd;
  if (uCmd == GW_OWNER) return w->owner ? w->owner->hwnd : nullptr;
  if (uCmd == GW_ENABLEDPOPUP) return nullptr;
  if (!w->parent) return nullptr;
  const auto& list = w->parent->children;
  auto it = std::find(list.begin(), list.end(), w);
  switch (uCmd) {
    case GW_HWNDFIRST:
      return list.front()->hwnd;
    case GW_HWNDLAST:
      return list.back()->hwnd;
    case GW_HWNDNEXT:
      return it + 1 < list.end() ? (*(it + 1))->hwnd : nullptr;
    case GW_HWNDPREV:
      return it != list.begin() ? (*(it - 1))->hwnd : nullptr;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

HWND WINAPI GetTopWindow(HWND hWnd) { return GetWindow(hWnd ? hWnd : Desktop()->hwnd, GW_CHILD); }

HWND WINAPI GetDesktopWindow(void) { return Desktop()->hwnd; }

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
  std::shared_ptr<Window> w = Lookup(hWnd);
  if (!w || !w->queue) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (lpdwProcessId) *lpdwProcessId = static_cast<DWORD>(getpid());
  return w->queue->threadId;
}

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  if (!lpEnumFunc) return FALSE;
  std::vector<HWND> all;
  for (Window* w : Desktop()->children) all.push_back(w->hwnd);
  for (HWND h : all)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) break;
  return TRUE;
}

namespace {
void CollectDescendants(const Window* w, std::vector<HWND>& out) {
  for (Window* c : w->children) {
    out.push_back(c->hwnd);
    CollectDescendants(c, out);
  }
}
}  // namespace

BOOL WINAPI EnumChildWindows(HWND hWndParent, WNDENUMPROC lpEnumFunc, LPARAM lParam) {
  Window* parent = hWndParent ? Get(hWndParent) : Desktop();
  if (!parent || !lpEnumFunc) return FALSE;
  std::vector<HWND> all;
  CollectDescendants(parent, all);
  for (HWND h : all)
    if (IsWindow(h) && !lpEnumFunc(h, lParam)) break;
  return TRUE;
}

// ---- Finding ----------------------------------------------------------------------------------------
namespace {

bool ClassMatches(const Window* w, LPCWSTR name) {
  if (!name) return true;
  if (IS_INTRESOURCE(name)) return w->cls->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name));
  return _wcsicmp(w->cls->name.c_str(), name) == 0;
}

bool TitleMatches(const Window* w, LPCWSTR title) { return !title || _wcsicmp(w->text.c_str(), title) == 0; }

}  // namespace

HWND WINAPI FindWindowExW(HWND hWndParent, HWND hWndChildAfter, LPCWSTR lpszClass, LPCWSTR lpszWindow) {
  Window* parent = hWndParent == HWND_MESSAGE ? MessageRoot() : hWndParent ? Get(hWndParent) : Desktop();
  if (!parent) return nullptr;
  bool searchForeign = parent == Desktop();
  // Windows of other processes come after ours; continuing after one of them stays among them.
  if (hWndChildAfter && !Lookup(hWndChildAfter)) {
    if (searchForeign && IsForeignWindow(hWndChildAfter))
      return FindForeignWindow(lpszClass, lpszWindow, hWndChildAfter);
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  const auto& list = parent->children;
  auto it = list.begin();
  if (hWndChildAfter) {
    it = std::find_if(list.begin(), list.end(), [&](Window* c) { return c->hwnd == hWndChildAfter; });
    if (it == list.end()) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    ++it;
  }
  for (; it != list.end(); ++it)
    if (!(*it)->destroying && ClassMatches(*it, lpszClass) && TitleMatches(*it, lpszWindow))
      return (*it)->hwnd;
  return searchForeign ? FindForeignWindow(lpszClass, lpszWindow, nullptr) : nullptr;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  return FindWindowExW(nullptr, nullptr, lpClassName, lpWindowName);
}
