// The drawing cache of a pixel grid: a Cairo image surface holding the
// grid's pixels premultiplied (CAIRO_FORMAT_ARGB32), which the GUI
// backend draws from and into.
//
// One rounding each way, both to nearest: a channel c of opacity a goes
// to c x a / 255 in the surface, and back to c' x 255 / a (at most 255;
// pixels of opacity 0 come back as 0, 0, 0, 0). Straightening a surface
// made from pixels gives back every pixel of opacity 255; premultiplying
// straightened pixels gives back the same surface.
#pragma once

#include <cairo.h>

#include "platform/pixels.h"

namespace kiv::drawing_surface {

// A surface of the grid's size and pixels, or null when Cairo cannot
// make it.
cairo_surface_t* make(const pixels::Grid& grid);
// Writes the surface's pixels (of the grid's size) into the grid as
// straight pixels.
void straighten(cairo_surface_t* surface, pixels::Grid& grid);
// Releases a surface `make` gave.
void release(void* surface);

} // namespace kiv::drawing_surface
