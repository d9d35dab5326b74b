// Painting: update regions (client coordinates), WM_PAINT selection, BeginPaint/EndPaint with
// WM_NCPAINT and WM_ERASEBKGND, window and screen DCs, and handing finished pixels to the
// display. Child windows draw into their top-level window's surface, clipped to what of them
// is visible, which is how we composite them.
//
// Sections: update regions · visible regions · device contexts · frames and backgrounds ·
// public calls.
#include <algorithm>

#include "display/display.h"
#include "gdi/dc.h"
#include "user/user.h"

namespace umbra::user {
namespace {

RECT ClientBox(const Window* w) {
  return RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
}

bool IncludesChildren(const Window* w, UINT flags) {
  if (flags & RDW_ALLCHILDREN) return true;
  return !(flags & RDW_NOCHILDREN) && !(w->style & WS_CLIPCHILDREN);
}

}  // namespace

// ---- Update regions -----------------------------------------------------------------------------

void RefreshPaintFlag(Window* w) {
  bool needs = !w->dead && w->queue && (!w->update.Empty() || w->internalPaint);
  if (needs == w->paintCounted) return;
  w->paintCounted = needs;
  w->queue->windowsNeedingPaint += needs ? 1 : -1;
}

void InvalidateRegion(Window* w, const gdi::PixRegion& clientRegion, bool erase, UINT childrenFlags) {
  if (!IsReallyVisible(w)) return;
  gdi::PixRegion mine(clientRegion);
  mine.Intersect(ClientBox(w));
  if (!mine.Empty()) {
    w->update.Union(mine);
    if (erase) w->erasePending = true;
    RefreshPaintFlag(w);
  }
  if (!IncludesChildren(w, childrenFlags)) return;
  for (Window* c : w->children) {
    if (!c->IsVisible()) continue;
    gdi::PixRegion part(clientRegion);
    part.Intersect(c->rect);
    if (part.Empty()) continue;
    part.Offset(-c->client.left, -c->client.top);
    InvalidateRegion(c, part, erase, childrenFlags & RDW_ALLCHILDREN);
  }
}

void InvalidateWhole(Window* w, bool erase) {
  InvalidateRegion(w, gdi::PixRegion(ClientBox(w)), erase, RDW_ALLCHILDREN);
}

namespace {

void ValidateRegion(Window* w, const gdi::PixRegion& clientRegion, UINT childrenFlags) {
  w->update.Subtract(clientRegion);
  if (w->update.Empty()) w->erasePending = false;
  RefreshPaintFlag(w);
  if (!IncludesChildren(w, childrenFlags)) return;
  for (Window* c : w->children) {
    gdi::PixRegion part(clientRegion);
    part.Intersect(c->rect);
    if (part.Empty()) continue;
    part.Offset(-c->client.left, -c->client.top);
    ValidateRegion(c, part, childrenFlags & RDW_ALLCHILDREN);
  }
}

Window* FindPaintIn(Window* w, ThreadQueue& q, HWND filter) {
  if (!w->IsVisible()) return nullptr;
  if (w->paintCounted && WindowFilterMatches(w->hwnd, filter)) return w;
  for (Window* c : w->children)
    if (Window* found = FindPaintIn(c, q, filter)) return found;
  return nullptr;
}

}  // namespace

void ClearUpdateTree(Window* w) {
  w->update.Clear();
  w->erasePending = false;
  RefreshPaintFlag(w);
  for (Window* c : w->children) ClearUpdateTree(c);
}

HWND FindWindowToPaint(ThreadQueue& queue, HWND filter) {
  // Top-level windows in z-order, and parents before their children.
  for (Window* top : Desktop()->children) {
    if (top->queue.get() != &queue) continue;
    if (Window* w = FindPaintIn(top, queue, filter)) return w->hwnd;
  }
  return nullptr;
}

// ---- Visible regions ------------------------------------------------------------------------------

gdi::PixelSurface SurfaceOf(const Window* w) {
  Window* top = TopLevelOf(const_cast<Window*>(w));
  if (!top || !top->native) return {};
  return display::Current().Surface(top->native);
}

namespace {

RECT ClientInSurface(const Window* w) {
  POINT off = SurfaceOffset(w);
  RECT r = ClientBox(w);
  OffsetRect(&r, off.x + (w->client.left - w->rect.left), off.y + (w->client.top - w->rect.top));
  return r;
}

}  // namespace

gdi::PixRegion VisibleRegion(const Window* w, bool clientOnly) {
  Window* top = TopLevelOf(const_cast<Window*>(w));
  if (!top || !IsReallyVisible(w) || top->layered.mode == display::LayeredState::Mode::Content) return {};
  gdi::PixRegion vis = ShapeInSurface(w);
  if (clientOnly) vis.Intersect(ClientInSurface(w));
  // Each ancestor clips to its client area (and region); siblings above clip when asked to.
  for (const Window* c = w; !c->IsTopLevel() && c->parent; c = c->parent) {
    const Window* p = c->parent;
    vis.Intersect(ClientInSurface(p));
    vis.Intersect(ShapeInSurface(p));
    if (!(c->style & WS_CLIPSIBLINGS)) continue;
    for (Window* s : p->children) {
      if (s == c) break;
      if (s->IsVisible()) vis.Subtract(ShapeInSurface(s));
    }
  }
  if (clientOnly && (w->style & WS_CLIPCHILDREN))
    for (Window* c : w->children)
      if (c->IsVisible()) vis.Subtract(ShapeInSurface(c));
  gdi::PixelSurface surface = SurfaceOf(w);
  vis.Intersect(RECT{0, 0, surface.width, surface.height});
  return vis;
}

void PresentWindow(Window* w, const RECT& surfaceDirty) {
  Window* top = TopLevelOf(w);
  if (top && top->native && !IsRectEmpty(&surfaceDirty))
    display::Current().Present(top->native, surfaceDirty);
}

void PresentAll(Window* w) {
  gdi::PixelSurface surface = SurfaceOf(w);
  PresentWindow(w, RECT{0, 0, surface.width, surface.height});
}

// ---- Device contexts ---------------------------------------------------------------------------------
namespace {

class WindowDC final : public gdi::DeviceContext {
 public:
  WindowDC(HWND hwnd, bool client) : m_hwnd(hwnd), m_client(client) {}

  void LimitTo(const gdi::PixRegion& paintClip) {
    m_paintClip = paintClip;
    m_limited = true;
  }

  bool Target(gdi::DrawTarget& out) override {
    std::shared_ptr<umbra::user::Window> w = Lookup(m_hwnd);
    if (!w || w->dead) return false;
    out.surface = SurfaceOf(w.get());
    if (!out.surface.Valid()) return false;
    POINT off = SurfaceOffset(w.get());
    if (m_client) {
      off.x += w->client.left - w->rect.left;
      off.y += w->client.top - w->rect.top;
    }
    out.origin = off;
    out.clip = VisibleRegion(w.get(), m_client);
    if (m_limited) {
      gdi::PixRegion limit(m_paintClip);
      limit.Offset(off.x, off.y);
      out.clip.Intersect(limit);
    }
    return true;
  }

  HWND Window() const override { return m_hwnd; }

 private:
  HWND m_hwnd;
  bool m_client;
  bool m_limited = false;
  gdi::PixRegion m_paintClip;  // device coordinates
};

// GetDC(NULL): the screen. Nothing draws on it directly; it serves as a reference DC.
class ScreenDC final : public gdi::DeviceContext {
 public:
  bool Target(gdi::DrawTarget&) override { return false; }
};

HDC NewWindowDC(HWND hwnd, bool client, const gdi::PixRegion* paintClip) {
  auto dc = std::make_unique<WindowDC>(hwnd, client);
  if (paintClip) dc->LimitTo(*paintClip);
  return static_cast<HDC>(gdi::RegisterObject(std::move(dc)));
}

}  // namespace

// ---- Frames and backgrounds ----------------------------------------------------------------------------

bool EraseWithClassBrush(Window* w, HDC hdc) {
  // FillRect takes brush objects and system colour indexes + 1 alike, as a class background may be either.
  if (!w->cls->background) return false;
  const RECT box = ClientBox(w);
  return FillRect(hdc, &box, w->cls->background) != 0;
}

void PaintFrame(Window* w) {
  if (EqualRect(&w->rect, &w->client) || !IsReallyVisible(w)) return;
  bool active = CurrentQueue().active == TopLevelOf(w)->hwnd;
  HDC hdc = NewWindowDC(w->hwnd, false, nullptr);
  RECT box{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  RECT client = w->client;
  OffsetRect(&client, -w->rect.left, -w->rect.top);
  gdi::PixRegion frame(box);
  frame.Subtract(client);
  int count = 0;
  const pixman_box32_t* boxes = frame.Boxes(&count);
  HBRUSH border = GetSysColorBrush(active ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER);
  for (int i = 0; i < count; ++i) {
    const RECT piece{boxes[i].x1, boxes[i].y1, boxes[i].x2, boxes[i].y2};
    FillRect(hdc, &piece, border);
  }
  RECT insets = FrameInsets(w->style, w->exStyle);
  if (insets.top > insets.left) {
    RECT caption{insets.left, insets.left, box.right - insets.right, client.top};
    FillRect(hdc, &caption, GetSysColorBrush(active ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION));
  }
  gdi::ReleaseObject(hdc);
  POINT off = SurfaceOffset(w);
  OffsetRect(&box, off.x, off.y);
  PresentWindow(w, box);
}

}  // namespace umbra::user

using namespace umbra::user;
namespace gdi = umbra::gdi;
namespace display = umbra::display;

// ---- Public calls
// -------------------------------------------------------------------------------------------
namespace {

void UpdateNow(HWND hwnd, bool children) {
  std::shared_ptr<Window> w = Lookup(hwnd);
  if (!w || w->dead || !IsReallyVisible(w.get())) return;
  if (w->paintCounted) SendMessageW(hwnd, WM_PAINT, 0, 0);
  if (!children || w->dead) return;
  std::vector<HWND> kids;
  for (Window* c : w->children) kids.push_back(c->hwnd);
  for (HWND c : kids) UpdateNow(c, true);
}

void EraseNow(Window* w) {
  if (!w->erasePending) return;
  w->erasePending = false;
  HDC hdc = NewWindowDC(w->hwnd, true, &w->update);
  SendMessageW(w->hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
  gdi::ReleaseObject(hdc);
}

gdi::PixRegion RegionFrom(Window* w, const RECT* rect, HRGN rgn) {
  if (rgn) {
    gdi::Region* region = gdi::LookupRegion(rgn);
    return region ? region->m_shape : gdi::PixRegion();
  }
  if (rect) return gdi::PixRegion(*rect);
  return gdi::PixRegion(RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top});
}

}  // namespace

BOOL WINAPI RedrawWindow(HWND hWnd, const RECT* lprcUpdate, HRGN hrgnUpdate, UINT flags) {
  if (!hWnd) {
    std::vector<HWND> mine;
    for (Window* w : Desktop()->children)
      if (w->queue.get() == &CurrentQueue()) mine.push_back(w->hwnd);
    for (HWND h : mine) RedrawWindow(h, nullptr, nullptr, flags | RDW_ALLCHILDREN);
    return TRUE;
  }
  std::shared_ptr<Window> ref = Lookup(hWnd);
  if (!ref || ref->dead) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (hrgnUpdate && !gdi::LookupRegion(hrgnUpdate)) return FALSE;
  Window* w = ref.get();
  gdi::PixRegion region = RegionFrom(w, lprcUpdate, hrgnUpdate);
  UINT children = flags & (RDW_ALLCHILDREN | RDW_NOCHILDREN);
  if (flags & RDW_INVALIDATE) {
    InvalidateRegion(w, region, flags & RDW_ERASE, children);
    if (flags & RDW_INTERNALPAINT) w->internalPaint = IsReallyVisible(w);
    if (flags & RDW_FRAME) w->ncPaintPending = true;
  } else if (flags & RDW_VALIDATE) {
    ValidateRegion(w, region, children);
    if (flags & RDW_NOINTERNALPAINT) w->internalPaint = false;
    if (flags & RDW_NOERASE) w->erasePending = false;
    if (flags & RDW_NOFRAME) w->ncPaintPending = false;
  }
  RefreshPaintFlag(w);
  if (flags & RDW_UPDATENOW)
    UpdateNow(hWnd, IncludesChildren(w, children));
  else if (flags & RDW_ERASENOW)
    EraseNow(w);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
  return RedrawWindow(hWnd, lpRect, nullptr, RDW_INVALIDATE | (bErase ? RDW_ERASE : 0));
}

BOOL WINAPI InvalidateRgn(HWND hWnd, HRGN hRgn, BOOL bErase) {
  return RedrawWindow(hWnd, nullptr, hRgn, RDW_INVALIDATE | (bErase ? RDW_ERASE : 0));
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT* lpRect) {
  return RedrawWindow(hWnd, lpRect, nullptr, RDW_VALIDATE);
}

BOOL WINAPI ValidateRgn(HWND hWnd, HRGN hRgn) { return RedrawWindow(hWnd, nullptr, hRgn, RDW_VALIDATE); }

BOOL WINAPI GetUpdateRect(HWND hWnd, LPRECT lpRect, BOOL bErase) {
  Window* w = Get(hWnd);
  if (!w) return FALSE;
  if (bErase) EraseNow(w);
  RECT box = w->update.Bounds();
  if (lpRect) *lpRect = box;
  return IsRectEmpty(&box) ? FALSE : TRUE;
}

int WINAPI GetUpdateRgn(HWND hWnd, HRGN hRgn, BOOL bErase) {
  Window* w = Get(hWnd);
  gdi::Region* region = gdi::LookupRegion(hRgn);
  if (!w || !region) return ERROR;
  if (bErase) EraseNow(w);
  region->m_shape = w->update;
  return region->m_shape.Kind();
}

BOOL WINAPI UpdateWindow(HWND hWnd) {
  return RedrawWindow(hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  std::shared_ptr<Window> ref = Lookup(hWnd);
  if (!ref || ref->dead || !lpPaint) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  Window* w = ref.get();
  HideCaretForPaint(hWnd);
  if (w->ncPaintPending) {
    w->ncPaintPending = false;
    SendMessageW(hWnd, WM_NCPAINT, 1, 0);
    if (w->dead) return nullptr;
  }
  gdi::PixRegion update = std::move(w->update);
  w->update.Clear();
  bool erase = w->erasePending;
  w->erasePending = false;
  w->internalPaint = false;
  RefreshPaintFlag(w);

  *lpPaint = PAINTSTRUCT{};
  lpPaint->hdc = NewWindowDC(hWnd, true, &update);
  lpPaint->rcPaint = update.Bounds();
  if (erase)
    lpPaint->fErase =
        SendMessageW(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(lpPaint->hdc), 0) ? FALSE : TRUE;
  return lpPaint->hdc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
  if (!lpPaint) return FALSE;
  gdi::DeviceContext* dc = gdi::LookupDC(lpPaint->hdc);
  if (dc && dc->Window() == hWnd) gdi::ReleaseObject(lpPaint->hdc);
  if (std::shared_ptr<Window> w = Lookup(hWnd)) {
    RECT dirty = lpPaint->rcPaint;
    POINT off = SurfaceOffset(w.get());
    OffsetRect(&dirty, off.x + (w->client.left - w->rect.left), off.y + (w->client.top - w->rect.top));
    PresentWindow(w.get(), dirty);
  }
  ShowCaretAfterPaint(hWnd);
  return TRUE;
}

HDC WINAPI GetDC(HWND hWnd) {
  if (!hWnd) return static_cast<HDC>(gdi::RegisterObject(std::make_unique<ScreenDC>()));
  if (!Get(hWnd)) return nullptr;
  return NewWindowDC(hWnd, true, nullptr);
}

HDC WINAPI GetWindowDC(HWND hWnd) {
  if (!hWnd) return GetDC(nullptr);
  if (!Get(hWnd)) return nullptr;
  return NewWindowDC(hWnd, false, nullptr);
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC) {
  gdi::DeviceContext* dc = gdi::LookupDC(hDC);
  if (!dc) return 0;
  bool ours = dynamic_cast<WindowDC*>(dc) || dynamic_cast<ScreenDC*>(dc);
  if (!ours) return 0;
  if (std::shared_ptr<Window> w = Lookup(dc->Window())) PresentAll(w.get());
  gdi::ReleaseObject(hDC);
  return 1;
}

HWND WINAPI WindowFromDC(HDC hDC) {
  gdi::DeviceContext* dc = gdi::LookupDC(hDC);
  return dc ? dc->Window() : nullptr;
}
