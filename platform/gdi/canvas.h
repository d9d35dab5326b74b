// Drawing with cairo on a DC's pixels: an image surface over the DrawSpace's memory (ARGB32 is
// premultiplied BGRA on little-endian, our layout), clipped to its region, with user space in
// surface coordinates. A bottom-up surface is drawn through a flip, so callers need not care.
// Also plain pixman images over surface memory, for compositing without cairo's set-up.
#pragma once

#include <cairo.h>
#include <pixman.h>

#include "gdi/dc.h"

namespace umbra::gdi {

class CairoCanvas {
 public:
  explicit CairoCanvas(const DrawSpace& space);
  ~CairoCanvas();
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

  // Null when cairo could not be set up; draw nothing then.
  cairo_t* get() const { return m_cr; }

 private:
  cairo_surface_t* m_surface = nullptr;
  cairo_t* m_cr = nullptr;
};

// A cairo surface over a PixelSurface, top-down memory order (call FlipMatrix for bottom-up
// ones); the caller destroys it.
cairo_surface_t* WrapSurface(const PixelSurface& surface);
// The matrix that maps surface coordinates to memory rows of a bottom-up surface (identity
// for top-down ones).
cairo_matrix_t MemoryMatrix(const PixelSurface& surface);

// A pixman image over the rectangle `part` of a surface (surface coordinates, within it), rows
// in memory order: a bottom-up surface's rectangle comes out upside down. `format` is
// PIXMAN_a8r8g8b8, or PIXMAN_x8r8g8b8 to read the pixels as opaque. Null when pixman cannot
// wrap the memory; the caller unrefs it.
pixman_image_t* WrapPixels(const PixelSurface& surface, const RECT& part, pixman_format_code_t format);

}  // namespace umbra::gdi
