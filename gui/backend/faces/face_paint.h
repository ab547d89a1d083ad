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

} // namespace kiv::gui::faces
