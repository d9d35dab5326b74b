// The x11 display: each top-level window is an X window whose pixels we keep (in a shared
// memory segment the server reads, when it can) and put on the screen when they change. Child
// windows are composed into that surface by the window manager in platform/user. Input and
// window-manager events come back through x11_input.cpp; the CLIPBOARD selection is in
// x11_clipboard.cpp.
//
// Sections: connection · window properties · surfaces · pixels on the screen · backend calls.
#include "display/x11.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "kernel/unicode.h"
#include "user/input.h"

namespace umbra::display::x11 {
namespace {

// ---- Connection --------------------------------------------------------------------------------

Conn g_conn;

// The screen and work area, cached: QueueInput asks for them from any thread.
struct ScreenCache {
  std::mutex lock;
  RECT screen{};
  RECT work{};
};
ScreenCache g_screen;

bool g_trapping = false;
int g_trappedError = 0;

int OnXError(Display* dpy, XErrorEvent* e) {
  if (g_trapping) {
    g_trappedError = e->error_code;
    return 0;
  }
  // Requests race with the window manager and with windows going away: report, never exit.
  char text[128] = {};
  XGetErrorText(dpy, e->error_code, text, sizeof(text));
  std::fprintf(stderr, "umbra: X error %s (request %d.%d, resource 0x%lx)\n", text, e->request_code,
               e->minor_code, e->resourceid);
  return 0;
}

bool MasksAre(const Visual* v, unsigned long r, unsigned long g, unsigned long b) {
  return v->red_mask == r && v->green_mask == g && v->blue_mask == b;
}

int BitsPerPixel(Display* dpy, int depth) {
  int count = 0;
  XPixmapFormatValues* formats = XListPixmapFormats(dpy, &count);
  int bpp = 0;
  for (int i = 0; i < count; ++i)
    if (formats[i].depth == depth) bpp = formats[i].bits_per_pixel;
  if (formats) XFree(formats);
  return bpp;
}

void InternAtoms(Display* dpy, Atoms& a) {
  struct Entry {
    Atom* slot;
    const char* name;
  } const entries[] = {
      {&a.wmProtocols, "WM_PROTOCOLS"},
      {&a.wmDeleteWindow, "WM_DELETE_WINDOW"},
      {&a.wmState, "WM_STATE"},
      {&a.netSupported, "_NET_SUPPORTED"},
      {&a.netSupportingWmCheck, "_NET_SUPPORTING_WM_CHECK"},
      {&a.netWorkarea, "_NET_WORKAREA"},
      {&a.netWmName, "_NET_WM_NAME"},
      {&a.netWmMoveResize, "_NET_WM_MOVERESIZE"},
      {&a.netWmState, "_NET_WM_STATE"},
      {&a.netWmStateMaximizedVert, "_NET_WM_STATE_MAXIMIZED_VERT"},
      {&a.netWmStateMaximizedHorz, "_NET_WM_STATE_MAXIMIZED_HORZ"},
      {&a.netActiveWindow, "_NET_ACTIVE_WINDOW"},
      {&a.netWmWindowType, "_NET_WM_WINDOW_TYPE"},
      {&a.netWmWindowTypeNormal, "_NET_WM_WINDOW_TYPE_NORMAL"},
      {&a.netWmWindowTypeDialog, "_NET_WM_WINDOW_TYPE_DIALOG"},
      {&a.netWmWindowTypeTooltip, "_NET_WM_WINDOW_TYPE_TOOLTIP"},
      {&a.netWmWindowTypePopupMenu, "_NET_WM_WINDOW_TYPE_POPUP_MENU"},
      {&a.netWmWindowTypeUtility, "_NET_WM_WINDOW_TYPE_UTILITY"},
      {&a.netWmPid, "_NET_WM_PID"},
      {&a.motifWmHints, "_MOTIF_WM_HINTS"},
      {&a.utf8String, "UTF8_STRING"},
      {&a.clipboard, "CLIPBOARD"},
      {&a.targets, "TARGETS"},
      {&a.text, "TEXT"},
      {&a.incr, "INCR"},
      {&a.clipboardProperty, "UMBRA_CLIPBOARD"},
  };
  constexpr size_t kCount = sizeof(entries) / sizeof(entries[0]);
  char* names[kCount];
  Atom atoms[kCount];
  for (size_t i = 0; i < kCount; ++i) names[i] = const_cast<char*>(entries[i].name);
  XInternAtoms(dpy, names, static_cast<int>(kCount), False, atoms);
  for (size_t i = 0; i < kCount; ++i) *entries[i].slot = atoms[i];
}

void ChooseVisuals(Conn& c) {
  c.visual = DefaultVisual(c.dpy, c.screen);
  c.depth = DefaultDepth(c.dpy, c.screen);
  // Our surfaces are 0xAARRGGBB words in host order; a 24/32-bit visual with those masks takes
  // them as they are, anything else is converted pixel by pixel.
  c.directPixels = c.visual->c_class == TrueColor && MasksAre(c.visual, 0xFF0000, 0xFF00, 0xFF) &&
                   BitsPerPixel(c.dpy, c.depth) == 32;
  XVisualInfo info;
  if (XMatchVisualInfo(c.dpy, c.screen, 32, TrueColor, &info) &&
      MasksAre(info.visual, 0xFF0000, 0xFF00, 0xFF) && BitsPerPixel(c.dpy, 32) == 32) {
    c.argbVisual = info.visual;
    c.argbColormap = XCreateColormap(c.dpy, c.root, c.argbVisual, AllocNone);
  }
}

void ReadScreenSize() {
  Conn& c = X();
  RECT screen{0, 0, DisplayWidth(c.dpy, c.screen), DisplayHeight(c.dpy, c.screen)};
  RECT work = screen;
  std::vector<long> area = ReadLongs(c.root, c.atom.netWorkarea, XA_CARDINAL);
  if (area.size() >= 4 && area[2] > 0 && area[3] > 0) {
    RECT r{static_cast<LONG>(area[0]), static_cast<LONG>(area[1]), static_cast<LONG>(area[0] + area[2]),
           static_cast<LONG>(area[1] + area[3])};
    // A work area outside the screen would put maximised windows out of reach.
    if (IntersectRect(&work, &r, &screen) == FALSE) work = screen;
  }
  std::lock_guard guard(g_screen.lock);
  g_screen.screen = screen;
  g_screen.work = work;
}

bool OpenEventFds(Conn& c) {
  c.wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  c.pollFd = epoll_create1(EPOLL_CLOEXEC);
  if (c.wakeFd < 0 || c.pollFd < 0) return false;
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = ConnectionNumber(c.dpy);
  if (epoll_ctl(c.pollFd, EPOLL_CTL_ADD, ev.data.fd, &ev) != 0) return false;
  ev.data.fd = c.wakeFd;
  return epoll_ctl(c.pollFd, EPOLL_CTL_ADD, c.wakeFd, &ev) == 0;
}

// Whether a window manager runs and can move and size windows for us; re-read when the root's
// properties change, as one may start or stop while we run.
void ReadWindowManager() {
  Conn& c = X();
  std::vector<long> check = ReadLongs(c.root, c.atom.netSupportingWmCheck, XA_WINDOW);
  c.wmRuns = !check.empty() && check[0];
  std::vector<long> supported =
      c.wmRuns ? ReadLongs(c.root, c.atom.netSupported, XA_ATOM) : std::vector<long>();
  c.wmMoveResize = std::find(supported.begin(), supported.end(), static_cast<long>(c.atom.netWmMoveResize)) !=
                   supported.end();
}

bool WindowManagerRuns() { return X().wmRuns; }

// ---- Window properties -----------------------------------------------------------------------

XWin* Cast(NativeWindow native) { return static_cast<XWin*>(native); }

LONG Width(const RECT& r) { return r.right - r.left; }
LONG Height(const RECT& r) { return r.bottom - r.top; }
unsigned XSide(LONG side) { return static_cast<unsigned>(std::clamp<LONG>(side, 1, 32767)); }

bool HasCaption(DWORD style) { return (style & WS_CAPTION) == WS_CAPTION; }

// Owned popups without a caption (drop-downs, tooltips, shadows) are placed by us alone.
bool OverrideRedirect(const XWin& w) { return (w.style & WS_POPUP) && w.owner && !HasCaption(w.style); }

void SetMotifHints(XWin& w) {
  Conn& c = X();
  // flags, functions, decorations, input mode, status: only the decorations are given.
  long hints[5] = {2, 0, HasCaption(w.style) ? 1 : 0, 0, 0};
  XChangeProperty(c.dpy, w.xid, c.atom.motifWmHints, c.atom.motifWmHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(hints), 5);
}

void SetWindowType(XWin& w) {
  Conn& c = X();
  Atom type = c.atom.netWmWindowTypeNormal;
  if (OverrideRedirect(w))
    type = (w.exStyle & WS_EX_TRANSPARENT) ? c.atom.netWmWindowTypeTooltip : c.atom.netWmWindowTypePopupMenu;
  else if (w.owner && HasCaption(w.style))
    type = c.atom.netWmWindowTypeDialog;
  else if (w.exStyle & WS_EX_TOOLWINDOW)
    type = c.atom.netWmWindowTypeUtility;
  XChangeProperty(c.dpy, w.xid, c.atom.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  if (XWin* owner = FindByHwnd(w.owner)) XSetTransientForHint(c.dpy, w.xid, owner->xid);
}

void SetSizeHints(XWin& w) {
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  // Static gravity: the position we give is the position of our window, not of a frame.
  hints->flags = USPosition | PPosition | PSize | PWinGravity;
  hints->x = w.rect.left;
  hints->y = w.rect.top;
  hints->width = static_cast<int>(XSide(Width(w.rect)));
  hints->height = static_cast<int>(XSide(Height(w.rect)));
  hints->win_gravity = StaticGravity;
  if (!(w.style & WS_THICKFRAME)) {
    hints->flags |= PMinSize | PMaxSize;
    hints->min_width = hints->max_width = hints->width;
    hints->min_height = hints->max_height = hints->height;
  }
  XSetWMNormalHints(X().dpy, w.xid, hints);
  XFree(hints);
}

void SetShape(XWin& w) {
  Conn& c = X();
  if (!c.shape) return;
  if (w.hasRegion) {
    int count = 0;
    const pixman_box32_t* boxes = w.region.Boxes(&count);
    std::vector<XRectangle> rects;
    for (int i = 0; i < count; ++i) {
      const pixman_box32_t& b = boxes[i];
      if (b.x2 <= b.x1 || b.y2 <= b.y1) continue;
      rects.push_back(XRectangle{static_cast<short>(std::clamp(b.x1, -32768, 32767)),
                                 static_cast<short>(std::clamp(b.y1, -32768, 32767)),
                                 static_cast<unsigned short>(std::min(b.x2 - b.x1, 65535)),
                                 static_cast<unsigned short>(std::min(b.y2 - b.y1, 65535))});
    }
    XShapeCombineRectangles(c.dpy, w.xid, ShapeBounding, 0, 0, rects.data(), static_cast<int>(rects.size()),
                            ShapeSet, YXBanded);
  } else {
    XShapeCombineMask(c.dpy, w.xid, ShapeBounding, 0, 0, kNone, ShapeSet);
  }
  // Click-through layered windows take no pointer input at all.
  if ((w.exStyle & WS_EX_LAYERED) && (w.exStyle & WS_EX_TRANSPARENT))
    XShapeCombineRectangles(c.dpy, w.xid, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  else
    XShapeCombineMask(c.dpy, w.xid, ShapeInput, 0, 0, kNone, ShapeSet);
}

void SetTitleProperty(XWin& w, const std::string& utf8) {
  Conn& c = X();
  auto* data = reinterpret_cast<const unsigned char*>(utf8.data());
  int length = static_cast<int>(utf8.size());
  XChangeProperty(c.dpy, w.xid, c.atom.netWmName, c.atom.utf8String, 8, PropModeReplace, data, length);
  // WM_NAME for older window managers and tools: STRING when Latin-1 will do, else COMPOUND_TEXT.
  char* list[] = {const_cast<char*>(utf8.c_str())};
  XTextProperty text{};
  if (Xutf8TextListToTextProperty(c.dpy, list, 1, XStdICCTextStyle, &text) >= Success) {
    XSetWMName(c.dpy, w.xid, &text);
    XFree(text.value);
  }
}

void SetProcessProperties(XWin& w) {
  Conn& c = X();
  long pid = getpid();
  XChangeProperty(c.dpy, w.xid, c.atom.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  Atom protocols[] = {c.atom.wmDeleteWindow};
  XSetWMProtocols(c.dpy, w.xid, protocols, 1);
  XClassHint cls{const_cast<char*>("umbra"), const_cast<char*>("Umbra")};
  XSetClassHint(c.dpy, w.xid, &cls);
  XWMHints hints{};
  hints.flags = InputHint | StateHint;
  hints.input = True;
  hints.initial_state = NormalState;
  XSetWMHints(c.dpy, w.xid, &hints);
}

// Creates the X window for w (again, when its visual must change), with every property.
void BuildXWindow(XWin& w, bool argb) {
  Conn& c = X();
  w.argb = c.argbVisual && argb;
  XSetWindowAttributes attrs{};
  unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask | CWOverrideRedirect | CWBitGravity;
  attrs.background_pixmap = kNone;  // no clearing before our pixels arrive
  attrs.border_pixel = 0;
  attrs.bit_gravity = NorthWestGravity;
  attrs.event_mask = ExposureMask | StructureNotifyMask | FocusChangeMask | ButtonPressMask |
                     ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask | EnterWindowMask |
                     LeaveWindowMask | PropertyChangeMask;
  attrs.override_redirect = OverrideRedirect(w) ? True : False;
  Visual* visual = c.visual;
  int depth = c.depth;
  if (w.argb) {
    visual = c.argbVisual;
    depth = 32;
    attrs.colormap = c.argbColormap;
    mask |= CWColormap;
  }
  w.xid = XCreateWindow(c.dpy, c.root, w.rect.left, w.rect.top, XSide(Width(w.rect)), XSide(Height(w.rect)),
                        0, depth, InputOutput, visual, mask, &attrs);
  w.gc = XCreateGC(c.dpy, w.xid, 0, nullptr);
  w.mapped = false;
  SetProcessProperties(w);
  SetMotifHints(w);
  SetWindowType(w);
  SetSizeHints(w);
  SetShape(w);
  if (c.cursor) XDefineCursor(c.dpy, w.xid, c.cursor);
  AttachInputContext(w);
}

void DestroyXWindow(XWin& w) {
  Conn& c = X();
  DetachInputContext(w);
  if (c.grab == w.xid) {
    XUngrabPointer(c.dpy, CurrentTime);
    c.grab = 0;
  }
  if (w.gc) XFreeGC(c.dpy, w.gc);
  w.gc = nullptr;
  if (w.xid) XDestroyWindow(c.dpy, w.xid);
  w.xid = 0;
  w.mapped = false;
}

// ---- Surfaces ----------------------------------------------------------------------------------

void FreeSurface(XWin& w) {
  if (w.inShm) {
    Conn& c = X();
    XShmDetach(c.dpy, &w.shm);
    XSync(c.dpy, False);  // the server lets go of the segment before we do
    shmdt(w.shm.shmaddr);
    w.shm = XShmSegmentInfo{};
    w.inShm = false;
  }
  w.heapPixels.clear();
  w.heapPixels.shrink_to_fit();
  w.pixels = nullptr;
}

// Puts the pixels in a shared segment the server has attached; false leaves w unchanged.
bool AllocShm(XWin& w, size_t bytes) {
  Conn& c = X();
  if (!c.shm) return false;
  XShmSegmentInfo info{};
  info.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
  if (info.shmid < 0) return false;
  void* address = shmat(info.shmid, nullptr, 0);
  if (address == reinterpret_cast<void*>(-1)) {
    shmctl(info.shmid, IPC_RMID, nullptr);
    return false;
  }
  info.shmaddr = static_cast<char*>(address);
  info.readOnly = True;
  Trap();
  XShmAttach(c.dpy, &info);
  bool failed = Untrap();
  shmctl(info.shmid, IPC_RMID, nullptr);  // freed once both sides detach, even if we crash
  if (failed) {
    shmdt(address);
    c.shm = false;  // a server that cannot reach our memory (another host or namespace)
    return false;
  }
  std::memset(address, 0, bytes);
  w.shm = info;
  w.inShm = true;
  w.pixels = static_cast<uint32_t*>(address);
  return true;
}

void ResizeSurface(XWin& w, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == w.width && height == w.height && (w.pixels || width * height == 0)) return;
  std::vector<uint32_t> keep;
  int keepW = std::min(width, w.width), keepH = std::min(height, w.height);
  if (w.pixels && keepW > 0 && keepH > 0) {
    keep.resize(static_cast<size_t>(keepW) * keepH);
    for (int y = 0; y < keepH; ++y)
      std::memcpy(&keep[static_cast<size_t>(y) * keepW], w.pixels + static_cast<size_t>(y) * w.width,
                  static_cast<size_t>(keepW) * 4);
  }
  FreeSurface(w);
  w.width = width;
  w.height = height;
  size_t count = static_cast<size_t>(width) * height;
  if (count == 0) return;
  if (!AllocShm(w, count * 4)) {
    w.heapPixels.assign(count, 0);
    w.pixels = w.heapPixels.data();
  }
  for (int y = 0; y < keepH; ++y)
    std::memcpy(w.pixels + static_cast<size_t>(y) * width, &keep[static_cast<size_t>(y) * keepW],
                static_cast<size_t>(keepW) * 4);
}

PixelSurface SurfaceOf(const XWin& w) {
  PixelSurface s;
  if (!w.pixels) return s;
  s.bits = reinterpret_cast<uint8_t*>(w.pixels);
  s.width = w.width;
  s.height = w.height;
  s.stride = w.width * 4;
  return s;
}

// ---- Pixels on the screen ----------------------------------------------------------------------

XImage* WrapImage(Visual* visual, int depth, uint32_t* data, int width, int height) {
  XImage* image =
      XCreateImage(X().dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, reinterpret_cast<char*>(data),
                   static_cast<unsigned>(width), static_cast<unsigned>(height), 32, width * 4);
  if (image) image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  return image;
}

void PutWords(XWin& w, Visual* visual, int depth, uint32_t* data, int width, int height, int srcX, int srcY,
              const RECT& dst) {
  Conn& c = X();
  XImage* image = WrapImage(visual, depth, data, width, height);
  if (!image) return;
  XPutImage(c.dpy, w.xid, w.gc, image, srcX, srcY, dst.left, dst.top, static_cast<unsigned>(Width(dst)),
            static_cast<unsigned>(Height(dst)));
  image->data = nullptr;  // ours, not Xlib's to free
  XDestroyImage(image);
}

// Layered windows: alpha, colour key and region applied, premultiplied, for the 32-bit visual.
void PresentLayered(XWin& w, const RECT& r) {
  Image staged;
  staged.width = Width(r);
  staged.height = Height(r);
  staged.pixels.assign(static_cast<size_t>(staged.width) * staged.height, 0);
  ComposeSurface(staged, SurfaceOf(w), -r.left, -r.top, w.hasRegion ? &w.region : nullptr, w.layered);
  PutWords(w, X().argbVisual, 32, staged.pixels.data(), staged.width, staged.height, 0, 0, r);
}

unsigned long Channel(uint32_t value8, unsigned long mask) {
  if (!mask) return 0;
  int shift = std::countr_zero(mask);
  int bits = std::popcount(mask);
  return ((static_cast<unsigned long>(value8) >> (8 - std::min(bits, 8))) << shift) & mask;
}

// Visuals other than 0xRRGGBB (16-bit screens and the like), pixel by pixel.
void PresentConverted(XWin& w, const RECT& r) {
  Conn& c = X();
  int width = Width(r), height = Height(r);
  XImage* image = XCreateImage(c.dpy, c.visual, static_cast<unsigned>(c.depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
  if (!image) return;
  image->data = static_cast<char*>(std::calloc(static_cast<size_t>(image->bytes_per_line), height));
  if (!image->data) {
    XDestroyImage(image);
    return;
  }
  for (int y = 0; y < height; ++y) {
    const uint32_t* row = w.pixels + static_cast<size_t>(y + r.top) * w.width + r.left;
    for (int x = 0; x < width; ++x) {
      uint32_t p = row[x];
      XPutPixel(image, x, y,
                Channel((p >> 16) & 0xFF, c.visual->red_mask) |
                    Channel((p >> 8) & 0xFF, c.visual->green_mask) | Channel(p & 0xFF, c.visual->blue_mask));
    }
  }
  XPutImage(c.dpy, w.xid, w.gc, image, 0, 0, r.left, r.top, static_cast<unsigned>(width),
            static_cast<unsigned>(height));
  XDestroyImage(image);
}

void PresentRect(XWin& w, RECT r) {
  Conn& c = X();
  RECT bounds{0, 0, w.width, w.height};
  if (!w.xid || !w.pixels || !IntersectRect(&r, &r, &bounds)) return;
  if (w.argb) {
    PresentLayered(w, r);
  } else if (!c.directPixels) {
    PresentConverted(w, r);
  } else if (w.inShm) {
    XImage* image = XShmCreateImage(c.dpy, c.visual, static_cast<unsigned>(c.depth), ZPixmap, w.shm.shmaddr,
                                    &w.shm, static_cast<unsigned>(w.width), static_cast<unsigned>(w.height));
    if (!image) return;
    XShmPutImage(c.dpy, w.xid, w.gc, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(Width(r)),
                 static_cast<unsigned>(Height(r)), False);
    image->data = nullptr;
    XDestroyImage(image);
  } else {
    PutWords(w, c.visual, c.depth, w.pixels, w.width, w.height, r.left, r.top, r);
  }
  XFlush(c.dpy);
}

// ---- Mapping and window-manager state ------------------------------------------------------------

bool Iconic(const XWin& w) { return IsIconic(w.hwnd) != FALSE; }

void SetMaximizedState(XWin& w, bool maximized) {
  Conn& c = X();
  if (!w.mapped) {
    std::vector<Atom> states;
    if (maximized) states = {c.atom.netWmStateMaximizedVert, c.atom.netWmStateMaximizedHorz};
    XChangeProperty(c.dpy, w.xid, c.atom.netWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(states.data()), static_cast<int>(states.size()));
    return;
  }
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w.xid;
  e.xclient.message_type = c.atom.netWmState;
  e.xclient.format = 32;
  e.xclient.data.l[0] = maximized ? 1 : 0;  // add or remove
  e.xclient.data.l[1] = static_cast<long>(c.atom.netWmStateMaximizedVert);
  e.xclient.data.l[2] = static_cast<long>(c.atom.netWmStateMaximizedHorz);
  e.xclient.data.l[3] = 1;  // an application asks
  XSendEvent(c.dpy, c.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

// Brings the X window's mapping in line with what the user layer wants: shown, hidden or
// minimised (iconified by the window manager; unmapped when none runs, as nothing could
// show it again).
void UpdateMapping(XWin& w) {
  Conn& c = X();
  bool iconic = Iconic(w);
  bool show = w.visible && w.layered.mode != LayeredState::Mode::Hidden;
  bool wm = WindowManagerRuns();
  if (show && iconic && wm) {
    if (!w.mapped) {
      XMapWindow(c.dpy, w.xid);
      w.mapped = true;
    }
    if (!w.iconic) XIconifyWindow(c.dpy, w.xid, c.screen);
    w.iconic = true;
  } else if (show && !iconic) {
    if (!w.mapped || w.iconic) XMapRaised(c.dpy, w.xid);
    w.mapped = true;
    w.iconic = false;
  } else if (w.mapped) {
    if (wm && !OverrideRedirect(w))
      XWithdrawWindow(c.dpy, w.xid, c.screen);
    else
      XUnmapWindow(c.dpy, w.xid);
    w.mapped = false;
    w.iconic = false;
  }
  XFlush(c.dpy);
}

// ---- Cursors -------------------------------------------------------------------------------------

unsigned FontCursorFor(int id) {
  switch (id) {
    case 32513:
      return XC_xterm;
    case 32514:
    case 32650:
      return XC_watch;
    case 32515:
      return XC_crosshair;
    case 32516:
      return XC_center_ptr;
    case 32640:
    case 32646:
      return XC_fleur;
    case 32642:
      return XC_bottom_right_corner;
    case 32643:
      return XC_bottom_left_corner;
    case 32644:
      return XC_sb_h_double_arrow;
    case 32645:
      return XC_sb_v_double_arrow;
    case 32648:
      return XC_X_cursor;
    case 32649:
      return XC_hand2;
    case 32651:
      return XC_question_arrow;
  }
  return XC_left_ptr;
}

Cursor BlankCursor() {
  Conn& c = X();
  static char zero[8] = {};
  Pixmap bits = XCreateBitmapFromData(c.dpy, c.root, zero, 8, 8);
  XColor black{};
  Cursor cursor = XCreatePixmapCursor(c.dpy, bits, bits, &black, &black, 0, 0);
  XFreePixmap(c.dpy, bits);
  return cursor;
}

// ---- Backend calls -------------------------------------------------------------------------------

bool Open() {
  Conn& c = g_conn;
  XInitThreads();
  c.dpy = XOpenDisplay(nullptr);
  if (!c.dpy) return false;
  XSetErrorHandler(OnXError);
  c.screen = DefaultScreen(c.dpy);
  c.root = RootWindow(c.dpy, c.screen);
  InternAtoms(c.dpy, c.atom);
  ChooseVisuals(c);
  int event = 0, error = 0;
  c.shm = XShmQueryExtension(c.dpy) && !std::getenv("UMBRA_X11_NOSHM");
  c.shape = XShapeQueryExtension(c.dpy, &event, &error);
  if (!OpenEventFds(c)) {
    XCloseDisplay(c.dpy);
    c.dpy = nullptr;
    return false;
  }
  // The root tells us about work-area and screen-size changes.
  XSelectInput(c.dpy, c.root, PropertyChangeMask | StructureNotifyMask);
  c.helper = XCreateSimpleWindow(c.dpy, c.root, -10, -10, 1, 1, 0, 0, 0);
  XSelectInput(c.dpy, c.helper, PropertyChangeMask);
  ReadScreenSize();
  ReadWindowManager();
  OpenInput();
  XFlush(c.dpy);
  return true;
}

void GetScreen(RECT* screen, RECT* work) {
  std::lock_guard guard(g_screen.lock);
  if (screen) *screen = g_screen.screen;
  if (work) *work = g_screen.work;
}

int EventFd() {
  Conn& c = X();
  // Events Xlib has already read from the socket would not wake a poll on it.
  if (XEventsQueued(c.dpy, QueuedAlready) > 0) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(c.wakeFd, &one, sizeof(one));
  }
  return c.pollFd;
}

void ProcessEvents() {
  Conn& c = X();
  uint64_t value;
  while (read(c.wakeFd, &value, sizeof(value)) > 0) {
  }
  while (XPending(c.dpy) > 0) {
    XEvent event;
    XNextEvent(c.dpy, &event);
    HandleEvent(event);
  }
}

NativeWindow CreateNative(const WindowInfo& info) {
  Conn& c = X();
  auto w = std::make_unique<XWin>();
  w->hwnd = info.hwnd;
  w->rect = info.rect;
  w->style = info.style;
  w->exStyle = info.exStyle;
  w->owner = info.owner;
  if (info.exStyle & WS_EX_LAYERED) w->layered.mode = LayeredState::Mode::Hidden;
  BuildXWindow(*w, info.exStyle & WS_EX_LAYERED);
  ResizeSurface(*w, Width(info.rect), Height(info.rect));
  XWin* raw = w.get();
  c.windows.push_back(std::move(w));
  XFlush(c.dpy);
  return raw;
}

void DestroyNative(NativeWindow native) {
  Conn& c = X();
  XWin* w = Cast(native);
  if (!w) return;
  if (c.wmMoveSize == w->hwnd) c.wmMoveSize = nullptr;
  DestroyXWindow(*w);
  FreeSurface(*w);
  std::erase_if(c.windows, [&](const auto& p) { return p.get() == w; });
  XFlush(c.dpy);
}

PixelSurface Surface(NativeWindow native) { return native ? SurfaceOf(*Cast(native)) : PixelSurface{}; }

void SetRect(NativeWindow native, const RECT& rect) {
  Conn& c = X();
  XWin* w = Cast(native);
  ResizeSurface(*w, Width(rect), Height(rect));
  // A minimised window keeps its place on the screen; the window manager shows it as an icon.
  if (Iconic(*w)) {
    UpdateMapping(*w);
    return;
  }
  bool moved = !EqualRect(&rect, &w->rect);
  w->rect = rect;
  if (moved) {
    // Remembered so that the server's answers to our own requests are not taken for moves
    // the window manager made.
    if (w->pending.size() < 64) w->pending.push_back(rect);
    SetSizeHints(*w);
    XMoveResizeWindow(c.dpy, w->xid, rect.left, rect.top, XSide(Width(rect)), XSide(Height(rect)));
  }
  if (WindowManagerRuns() && !OverrideRedirect(*w)) SetMaximizedState(*w, IsZoomed(w->hwnd) != FALSE);
  UpdateMapping(*w);
}

void Show(NativeWindow native, bool visible) {
  XWin* w = Cast(native);
  w->visible = visible;
  UpdateMapping(*w);
}

void Restack(const NativeWindow* topToBottom, size_t count) {
  Conn& c = X();
  // Windows in a window manager's frames are stacked by it (through activation); ours to
  // stack are the ones still children of the root, so siblings of each other.
  std::vector<::Window> order;
  for (size_t i = 0; i < count; ++i)
    if (XWin* w = Cast(topToBottom[i]); w && w->xid && !w->reparented) order.push_back(w->xid);
  if (order == c.stacked || order.empty()) return;
  c.stacked = order;
  XRestackWindows(c.dpy, order.data(), static_cast<int>(order.size()));
  XFlush(c.dpy);
}

void SetTitle(NativeWindow native, const WCHAR* title) {
  XWin* w = Cast(native);
  std::string utf8 = title ? kernel::Utf16ToUtf8(std::u16string_view(title)) : std::string();
  SetTitleProperty(*w, utf8);
  XFlush(X().dpy);
}

void SetStyle(NativeWindow native, DWORD style, DWORD exStyle) {
  XWin* w = Cast(native);
  bool captionChanged = HasCaption(style) != HasCaption(w->style);
  w->style = style;
  w->exStyle = exStyle;
  if (captionChanged) SetMotifHints(*w);
  SetSizeHints(*w);
  SetShape(*w);
  XFlush(X().dpy);
}

void SetRegion(NativeWindow native, const gdi::PixRegion* region) {
  XWin* w = Cast(native);
  w->hasRegion = region != nullptr;
  w->region = region ? *region : gdi::PixRegion();
  SetShape(*w);
  XFlush(X().dpy);
}

void SetLayered(NativeWindow native, const LayeredState& state) {
  Conn& c = X();
  XWin* w = Cast(native);
  w->layered = state;
  bool wantArgb = c.argbVisual && state.mode != LayeredState::Mode::None;
  if (wantArgb != w->argb) {
    // The visual is fixed at creation: a window that becomes layered (or stops being) is made anew.
    DestroyXWindow(*w);
    BuildXWindow(*w, wantArgb);
    w->pending.clear();
  }
  UpdateMapping(*w);
  PresentRect(*w, RECT{0, 0, w->width, w->height});
}

void Present(NativeWindow native, const RECT& dirty) {
  XWin* w = Cast(native);
  if (w->mapped) PresentRect(*w, dirty);
}

void SetCapture(NativeWindow native) {
  Conn& c = X();
  XWin* w = Cast(native);
  if (!w) {
    if (c.grab) XUngrabPointer(c.dpy, CurrentTime);
    c.grab = 0;
  } else if (w->mapped) {
    unsigned mask =
        ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask | LeaveWindowMask;
    if (XGrabPointer(c.dpy, w->xid, True, mask, GrabModeAsync, GrabModeAsync, kNone, kNone, CurrentTime) ==
        GrabSuccess)
      c.grab = w->xid;
  }
  XFlush(c.dpy);
}

void SetCursor(int systemCursorId) {
  Conn& c = X();
  if (systemCursorId == c.cursorId) return;
  static std::vector<std::pair<int, Cursor>> cache;
  auto it =
      std::find_if(cache.begin(), cache.end(), [&](const auto& p) { return p.first == systemCursorId; });
  if (it == cache.end()) {
    Cursor made =
        systemCursorId == 0 ? BlankCursor() : XCreateFontCursor(c.dpy, FontCursorFor(systemCursorId));
    cache.emplace_back(systemCursorId, made);
    it = cache.end() - 1;
  }
  c.cursor = it->second;
  c.cursorId = systemCursorId;
  for (const auto& w : c.windows) XDefineCursor(c.dpy, w->xid, c.cursor);
  XFlush(c.dpy);
}

void WarpPointer(POINT pt) {
  Conn& c = X();
  XWarpPointer(c.dpy, kNone, c.root, 0, 0, 0, 0, pt.x, pt.y);
  XFlush(c.dpy);
}

// _NET_WM_MOVERESIZE directions, indexed by hit code - HTLEFT (HTLEFT..HTBOTTOMRIGHT).
constexpr long kSizeDirection[] = {7, 3, 1, 0, 2, 5, 6, 4};
constexpr long kMoveDirection = 8;

bool BeginMoveSize(NativeWindow native, int hit, POINT pt) {
  Conn& c = X();
  XWin* w = Cast(native);
  long direction = hit == HTCAPTION ? kMoveDirection : -1;
  if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) direction = kSizeDirection[hit - HTLEFT];
  if (direction < 0 || !w->mapped || OverrideRedirect(*w) || !c.wmMoveResize) return false;
  // The window manager needs the pointer our button press grabbed.
  XUngrabPointer(c.dpy, CurrentTime);
  c.grab = 0;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = w->xid;
  e.xclient.message_type = c.atom.netWmMoveResize;
  e.xclient.format = 32;
  e.xclient.data.l[0] = pt.x;
  e.xclient.data.l[1] = pt.y;
  e.xclient.data.l[2] = direction;
  e.xclient.data.l[3] = Button1;
  e.xclient.data.l[4] = 1;  // an application asks
  XSendEvent(c.dpy, c.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XFlush(c.dpy);
  c.wmMoveSize = w->hwnd;
  user::DisplayMoveSizeStarted(w->hwnd);
  return true;
}

void Activate(NativeWindow native) {
  Conn& c = X();
  XWin* w = Cast(native);
  if (!w->mapped || w->iconic) return;
  c.focusSerial = NextRequest(c.dpy);
  if (WindowManagerRuns() && !OverrideRedirect(*w)) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w->xid;
    e.xclient.message_type = c.atom.netActiveWindow;
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1;  // an application asks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(c.dpy, c.root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  } else {
    XRaiseWindow(c.dpy, w->xid);
    // The window may not be viewable yet (its map still travelling): a refusal is harmless.
    Trap();
    XSetInputFocus(c.dpy, w->xid, RevertToParent, CurrentTime);
    Untrap();
  }
  XFlush(c.dpy);
}

bool CaptureScreen(std::vector<uint32_t>& pixels, int& width, int& height) {
  Conn& c = X();
  RECT screen;
  GetScreen(&screen, nullptr);
  width = Width(screen);
  height = Height(screen);
  XImage* image = XGetImage(c.dpy, c.root, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
  if (!image) return false;
  pixels.resize(static_cast<size_t>(width) * height);
  auto channel = [](unsigned long p, unsigned long mask) -> uint32_t {
    if (!mask) return 0;
    unsigned long v = (p & mask) >> std::countr_zero(mask);
    int bits = std::popcount(mask);
    return static_cast<uint32_t>(bits >= 8 ? v >> (bits - 8) : v * 255 / ((1ul << bits) - 1));
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned long p = XGetPixel(image, x, y);
      pixels[static_cast<size_t>(y) * width + x] = 0xFF000000 | channel(p, c.visual->red_mask) << 16 |
                                                   channel(p, c.visual->green_mask) << 8 |
                                                   channel(p, c.visual->blue_mask);
    }
  XDestroyImage(image);
  return true;
}

bool SetClipboardText(const std::u16string& text) { return ClipboardSetText(text); }
bool GetClipboardText(std::u16string& text) { return ClipboardGetText(text); }
bool HasClipboardText() { return ClipboardHasText(); }

const Backend kX11 = {
    .name = "x11",
    .Open = Open,
    .GetScreen = GetScreen,
    .EventFd = EventFd,
    .ProcessEvents = ProcessEvents,
    .CreateNative = CreateNative,
    .DestroyNative = DestroyNative,
    .Surface = Surface,
    .SetRect = SetRect,
    .Show = Show,
    .Restack = Restack,
    .SetTitle = SetTitle,
    .SetStyle = SetStyle,
    .SetRegion = SetRegion,
    .SetLayered = SetLayered,
    .Present = Present,
    .SetCapture = SetCapture,
    .SetCursor = SetCursor,
    .WarpPointer = WarpPointer,
    .BeginMoveSize = BeginMoveSize,
    .Activate = Activate,
    .CaptureScreen = CaptureScreen,
    .SetClipboardText = SetClipboardText,
    .GetClipboardText = GetClipboardText,
    .HasClipboardText = HasClipboardText,
};

}  // namespace

// ---- Shared with the other x11 files -------------------------------------------------------------

Conn& X() { return g_conn; }

XWin* FindByXid(::Window xid) {
  for (const auto& w : g_conn.windows)
    if (w->xid == xid) return w.get();
  return nullptr;
}

XWin* FindByHwnd(HWND hwnd) {
  if (!hwnd) return nullptr;
  for (const auto& w : g_conn.windows)
    if (w->hwnd == hwnd) return w.get();
  return nullptr;
}

std::vector<long> ReadLongs(::Window w, Atom property, Atom type) {
  Atom actualType = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(g_conn.dpy, w, property, 0, 1024, False, type, &actualType, &format, &count, &after,
                         &data) == Success &&
      data && format == 32 && actualType == type) {
    const long* items = reinterpret_cast<const long*>(data);  // Xlib hands 32-bit items as longs
    out.assign(items, items + count);
  }
  if (data) XFree(data);
  return out;
}

void Trap() {
  XSync(g_conn.dpy, False);
  g_trappedError = 0;
  g_trapping = true;
}

bool Untrap() {
  XSync(g_conn.dpy, False);
  g_trapping = false;
  return g_trappedError != 0;
}

void RefreshRootState() {
  ReadScreenSize();
  ReadWindowManager();
}

void PresentAgain(XWin& w, const RECT& r) { PresentRect(w, r); }

void ResizeFromServer(XWin& w, const RECT& rect) {
  ResizeSurface(w, Width(rect), Height(rect));
  w.rect = rect;
}

}  // namespace umbra::display::x11

namespace umbra::display {

const Backend* X11Backend() { return &x11::kX11; }

}  // namespace umbra::display
