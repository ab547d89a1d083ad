// Caret faces: a base face whose `caret` option names the face that owns
// the layer's caret. The caret takes the caret face's size and place and
// lives while the caret face is shown.
#pragma once

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Whether the window is a caret face.
bool has_caret_face(HWnd window);
// Makes the owner's caret of the caret face's size at its place, shown
// when the face is visible.
void create_caret_of(HWnd window, const Cell& face);
// Moves the owner's caret to where the caret face lies now.
void move_caret_of(HWnd window);
// Takes the caret away when the caret face's owner holds it.
void drop_caret_of(HWnd window);

} // namespace kiv::gui::faces
