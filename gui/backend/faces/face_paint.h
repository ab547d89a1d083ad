// Painting of faces the program draws: the background colour, the image
// stretched over the client area, the draw block, or a `drawing` event
// whose handler draws through draw-face while the paint lasts.
#pragma once

#include <cairo.h>

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Paints the face into `cr` (the window's client area). A transparent
// face starts from clear pixels, so that it is composed with alpha over
// what lies below it. Draw errors are dropped: a paint never raises.
void paint_face(HWnd window, const Cell& face, cairo_t* cr, bool transparent);
// Draws an image stretched over the client area; false for no image.
bool paint_image(HWnd window, cairo_t* cr, const Cell& image);
// Runs draw commands on the window being painted; nothing outside a paint
// of that window.
void OS_draw_face(HWnd window, const Cell& commands);
// Moves the pixels of the window by a distance in logical pixels, as a
// view scrolled by that much shows them, and paints at once what that
// uncovered (a distance of no whole number of device pixels repaints the
// whole window); false for an unknown window.
bool OS_scroll_face(HWnd window, int dx, int dy);
// The bounds of the paint of the window in progress in logical pixels,
// widened to whole ones; false outside a paint of that window.
bool OS_paint_area(HWnd window, Rect& area);

} // namespace kiv::gui::faces
