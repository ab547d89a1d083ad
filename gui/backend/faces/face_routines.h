// The bodies of the platform routines of the face life cycle: each
// starts the backend at its first call, converts its arguments and calls
// one face operation. Arguments come in args[0..], the result goes to
// args[0].
#pragma once

#include "runtime/cell.h"

namespace kiv::gui::faces::routines {

void size_text(Cell* args);
void on_change_facet(Cell* args);
void destroy_view(Cell* args);
void update_view(Cell* args);
void refresh_window(Cell* args);
void redraw(Cell* args);
void show_window(Cell* args);
void make_view(Cell* args);
void draw_face(Cell* args);
void update_text(Cell* args);
void update_scroller(Cell* args);
// scroll-face: moves a face's pixels by a pair of logical pixels and
// paints what that uncovered; false when the face has no window.
void scroll_face(Cell* args);
// paint-area: the part of a face being painted as a block of its top-left
// and bottom-right corners, none outside a paint of the face.
void paint_area(Cell* args);

} // namespace kiv::gui::faces::routines
