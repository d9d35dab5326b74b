// The headless display: an in-memory screen that keeps each top-level window's pixels and
// composes the shown ones, bottom to top, with their regions and layered alpha. The screen size
// comes from UMBRA_SCREEN=WIDTHxHEIGHT (default 1920x1080); a 40-pixel taskbar strip along the
// bottom lies outside the work area. There is no input source: input arrives through SendInput.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "display/display.h"

namespace umbra::display {
namespace {

constexpr int kDefaultWidth = 1920;
constexpr int kDefaultHeight = 1080;
constexpr int kTaskbarHeight = 40;
constexpr int kMaxScreenSide = 16384;
constexpr uint32_t kDesktopColour = 0xFF000000;

struct HeadlessWindow {
  HWND hwnd = nullptr;
  RECT rect{};
  bool visible = false;
  std::vector<uint32_t> pixels;
  int width = 0;
  int height = 0;
  bool hasRegion = false;
  gdi::PixRegion region;
  LayeredState layered;
};

struct Screen {
  std::mutex lock;
  RECT screen{};
  RECT work{};
  std::vector<std::unique_ptr<HeadlessWindow>> windows;
  std::vector<HeadlessWindow*> order;  // topmost first
};

Screen& TheScreen() {
  static Screen* screen = [] {
    auto* s = new Screen;
    SIZE size{kDefaultWidth, kDefaultHeight};
    const char* env = std::getenv("UMBRA_SCREEN");
    if (auto parsed = ParseScreenSize(env)) {
      size = *parsed;
    } else if (env && *env) {
      std::fprintf(stderr, "umbra: UMBRA_SCREEN=\"%s\" is not WIDTHxHEIGHT; using %dx%d\n", env,
                   kDefaultWidth, kDefaultHeight);
    }
    s->screen = RECT{0, 0, size.cx, size.cy};
    int taskbar = size.cy > 2 * kTaskbarHeight ? kTaskbarHeight : 0;
    s->work = RECT{0, 0, size.cx, size.cy - taskbar};
    return s;
  }();
  return *screen;
}

HeadlessWindow* Cast(NativeWindow w) { return static_cast<HeadlessWindow*>(w); }

void Resize(HeadlessWindow& w, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == w.width && height == w.height) return;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0);
  int keepW = std::min(width, w.width), keepH = std::min(height, w.height);
  for (int y = 0; y < keepH; ++y)
    std::memcpy(&pixels[static_cast<size_t>(y) * width], &w.pixels[static_cast<size_t>(y) * w.width],
                static_cast<size_t>(keepW) * 4);
  w.pixels = std::move(pixels);
  w.width = width;
  w.height = height;
}

void GetScreen(RECT* screen, RECT* work) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  if (screen) *screen = s.screen;
  if (work) *work = s.work;
}

bool Open() { return true; }
int EventFd() { return -1; }
void ProcessEvents() {}

NativeWindow CreateNative(const WindowInfo& info) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  auto w = std::make_unique<HeadlessWindow>();
  w->hwnd = info.hwnd;
  w->rect = info.rect;
  Resize(*w, info.rect.right - info.rect.left, info.rect.bottom - info.rect.top);
  HeadlessWindow* raw = w.get();
  s.windows.push_back(std::move(w));
  return raw;
}

void DestroyNative(NativeWindow native) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  std::erase(s.order, Cast(native));
  std::erase_if(s.windows, [&](const auto& w) { return w.get() == native; });
}

PixelSurface Surface(NativeWindow native) {
  HeadlessWindow* w = Cast(native);
  PixelSurface surface;
  if (!w || w->pixels.empty()) return surface;
  surface.bits = reinterpret_cast<uint8_t*>(w->pixels.data());
  surface.width = w->width;
  surface.height = w->height;
  surface.stride = w->width * 4;
  return surface;
}

void SetRect(NativeWindow native, const RECT& rect) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  HeadlessWindow* w = Cast(native);
  w->rect = rect;
  Resize(*w, rect.right - rect.left, rect.bottom - rect.top);
}

void Show(NativeWindow native, bool visible) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  Cast(native)->visible = visible;
}

void Restack(const NativeWindow* topToBottom, size_t count) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  s.order.clear();
  for (size_t i = 0; i < count; ++i) s.order.push_back(Cast(topToBottom[i]));
}

void SetTitle(NativeWindow, const WCHAR*) {}
void SetStyle(NativeWindow, DWORD, DWORD) {}

void SetRegion(NativeWindow native, const gdi::PixRegion* region) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  HeadlessWindow* w = Cast(native);
  w->hasRegion = region != nullptr;
  w->region = region ? *region : gdi::PixRegion();
}

void SetLayered(NativeWindow native, const LayeredState& state) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  Cast(native)->layered = state;
}

void Present(NativeWindow, const RECT&) {}  // the screen is composed when it is read
void SetCapture(NativeWindow) {}
void SetCursor(int) {}
void WarpPointer(POINT) {}
bool BeginMoveSize(NativeWindow, int, POINT) { return false; }
void Activate(NativeWindow) {}

bool CaptureScreenPixels(std::vector<uint32_t>& pixels, int& width, int& height) {
  Screen& s = TheScreen();
  std::lock_guard guard(s.lock);
  Image image;
  image.width = s.screen.right - s.screen.left;
  image.height = s.screen.bottom - s.screen.top;
  image.pixels.assign(static_cast<size_t>(image.width) * image.height, kDesktopColour);
  for (auto it = s.order.rbegin(); it != s.order.rend(); ++it) {
    HeadlessWindow* w = *it;
    if (!w->visible) continue;
    PixelSurface surface = Surface(w);
    ComposeSurface(image, surface, w->rect.left - s.screen.left, w->rect.top - s.screen.top,
                   w->hasRegion ? &w->region : nullptr, w->layered);
  }
  pixels = std::move(image.pixels);
  width = image.width;
  height = image.height;
  return true;
}

const Backend kHeadless = {
    .name = "headless",
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
    .CaptureScreen = CaptureScreenPixels,
};

}  // namespace

const Backend* HeadlessBackend() { return &kHeadless; }

std::optional<SIZE> ParseScreenSize(const char* text) {
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!text || !digit(text[0])) return std::nullopt;
  char* end = nullptr;
  long w = std::strtol(text, &end, 10);
  if (end == text || (*end != 'x' && *end != 'X')) return std::nullopt;
  const char* second = end + 1;
  if (!digit(second[0])) return std::nullopt;
  long h = std::strtol(second, &end, 10);
  if (end == second || *end != '\0') return std::nullopt;
  if (w < 1 || h < 1 || w > kMaxScreenSide || h > kMaxScreenSide) return std::nullopt;
  return SIZE{static_cast<LONG>(w), static_cast<LONG>(h)};
}

}  // namespace umbra::display
