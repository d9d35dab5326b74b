// Cairo set-up over DC pixels.
#include "gdi/canvas.h"

namespace umbra::gdi {

cairo_surface_t* WrapSurface(const PixelSurface& surface) {
  if (!surface.Valid()) return nullptr;
  uint8_t* lowest = surface.stride >= 0
                        ? surface.bits
                        : surface.bits + static_cast<ptrdiff_t>(surface.height - 1) * surface.stride;
  int stride = surface.stride >= 0 ? surface.stride : -surface.stride;
  cairo_surface_t* s =
      cairo_image_surface_create_for_data(lowest, CAIRO_FORMAT_ARGB32, surface.width, surface.height, stride);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  return s;
}

pixman_image_t* WrapPixels(const PixelSurface& surface, const RECT& part, pixman_format_code_t format) {
  if (!surface.Valid() || part.left < 0 || part.top < 0 || part.right > surface.width ||
      part.bottom > surface.height || part.left >= part.right || part.top >= part.bottom)
    return nullptr;
  // The rectangle's lowest address is its top row top-down, its bottom row bottom-up.
  const int first = surface.stride >= 0 ? part.top : part.bottom - 1;
  uint32_t* base = surface.Row(first) + part.left;
  const int stride = surface.stride >= 0 ? surface.stride : -surface.stride;
  return pixman_image_create_bits(format, part.right - part.left, part.bottom - part.top, base, stride);
}

cairo_matrix_t MemoryMatrix(const PixelSurface& surface) {
  cairo_matrix_t m;
  if (surface.stride >= 0)
    cairo_matrix_init_identity(&m);
  else
    cairo_matrix_init(&m, 1, 0, 0, -1, 0, surface.height);
  return m;
}

CairoCanvas::CairoCanvas(const DrawSpace& space) {
  m_surface = WrapSurface(space.surface);
  if (!m_surface) return;
  m_cr = cairo_create(m_surface);
  if (cairo_status(m_cr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(m_cr);
    m_cr = nullptr;
    return;
  }
  cairo_matrix_t m = MemoryMatrix(space.surface);
  cairo_set_matrix(m_cr, &m);
  int count = 0;
  const pixman_box32_t* boxes = space.clip.Boxes(&count);
  for (int i = 0; i < count; ++i)
    cairo_rectangle(m_cr, boxes[i].x1, boxes[i].y1, boxes[i].x2 - boxes[i].x1, boxes[i].y2 - boxes[i].y1);
  cairo_clip(m_cr);
}

CairoCanvas::~CairoCanvas() {
  if (m_cr) cairo_destroy(m_cr);
  if (m_surface) {
    cairo_surface_flush(m_surface);
    cairo_surface_destroy(m_surface);
  }
}

}  // namespace umbra::gdi
