// Byte indexes of the face slots in a window's extra memory, around the
// face slot (the face's slot-table handle).
#pragma once

#include "gui/backend/window_proc.h"

namespace kiv::gui::faces {

enum : int {
    slot_first_show = 12,  // 1 until a window face made visible is shown
    slot_cursor_icon = 16, // cursor made from an image, owned by the window
    slot_paint_context = 20,
    slot_render = 24,
    slot_capture_count = 28, // base faces: mouse-capture nesting
    slot_cursor = 32,        // bit 31: the pointer is over the client area
    slot_caret_owner = 36,
    slot_internal = 40,
    slot_parent = 44, // base faces: the parent window
    slot_window_flags = slot_flags,
    slot_last_position = 52, // y << 16 | x in device pixels
    slot_extra = slot_widget_extra,
    slot_face = wc_offset,
    slot_flag_bits = slot_face_flags,
};

} // namespace kiv::gui::faces
