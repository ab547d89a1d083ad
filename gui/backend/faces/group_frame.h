// Group boxes: a panel holding a BUTTON group-box frame of its size that
// shows the face's text; the frame follows the panel's size, text and
// visibility, and lets the pointer pass to the panel.
#pragma once

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Makes the frame inside a new group-box panel (kept in the widget slot).
void make_group_frame(HWnd panel, const Cell& face);
// The frame of a group-box panel (0: none).
HWnd group_frame(HWnd panel);

} // namespace kiv::gui::faces
