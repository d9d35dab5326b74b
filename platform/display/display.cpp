// Choosing the display backend, and reading the screen or a window back as an image or PNG.
#include "display/display.h"

#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "user/window.h"

namespace umbra::display {
namespace {

const Backend* X11IfBuilt() {
#ifdef UMBRA_HAVE_X11
  return X11Backend();
#else
  return nullptr;
#endif
}

const Backend* Wanted() {
  const char* wanted = std::getenv("UMBRA_DISPLAY");
  const Backend* x11 = X11IfBuilt();
  if (wanted && std::strcmp(wanted, "headless") == 0) return HeadlessBackend();
  if (wanted && std::strcmp(wanted, "x11") == 0) {
    if (x11) return x11;
    std::fprintf(stderr, "umbra: the x11 display is not built in; using headless\n");
    return HeadlessBackend();
  }
  if (wanted && *wanted)
    std::fprintf(stderr, "umbra: unknown UMBRA_DISPLAY=\"%s\"; using the default\n", wanted);
  const char* display = std::getenv("DISPLAY");
  return x11 && display && *display ? x11 : HeadlessBackend();
}

const Backend* Choose() {
  const Backend* backend = Wanted();
  if (backend->Open()) return backend;
  std::fprintf(stderr, "umbra: the %s display did not open; using headless\n", backend->name);
  const Backend* headless = HeadlessBackend();
  headless->Open();
  return headless;
}

}  // namespace

const Backend& Current() {
  static const Backend* backend = Choose();
  return *backend;
}

bool CaptureScreen(Image& out) { return Current().CaptureScreen(out.pixels, out.width, out.height); }

bool CaptureWindow(HWND hwnd, Image& out) {
  user::TopLevelLook look;
  if (!user::DescribeTopLevel(hwnd, look)) return false;
  out.width = look.surface.width;
  out.height = look.surface.height;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  ComposeSurface(out, look.surface, 0, 0, look.hasRegion ? &look.region : nullptr, look.layered);
  return true;
}

bool SavePng(const Image& image, const char* path) {
  if (image.width <= 0 || image.height <= 0 || !path) return false;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return false;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < image.height; ++y)
    std::memcpy(data + static_cast<size_t>(y) * stride, &image.pixels[static_cast<size_t>(y) * image.width],
                static_cast<size_t>(image.width) * 4);
  cairo_surface_mark_dirty(surface);
  bool ok = cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace umbra::display
