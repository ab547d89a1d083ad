#include "gui/backend/faces/caret_face.h"

#include "datatypes/logic.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

namespace kiv::gui::faces {

namespace {

HWnd owner_of(HWnd window) {
    return HWnd(uint32_t(get_window_long(window, slot_caret_owner)));
}

} // namespace

bool has_caret_face(HWnd window) {
    return get_window_long(window, slot_window_flags) & wf_caret_face;
}

void create_caret_of(HWnd window, const Cell& face) {
    HWnd owner = owner_of(window);
    double width = 0, height = 0;
    read_point(facet(face, f_size), width, height);
    if (!create_caret(owner, dpi_scale(width), dpi_scale(height))) return;
    move_caret_of(window);
    Cell visible = facet(face, f_visible);
    if (cell::type_of(visible) == TYPE_LOGIC && logic::get(visible)) show_caret(owner);
}

void move_caret_of(HWnd window) {
    HWnd owner = owner_of(window);
    if (caret_owner() == owner)
        set_caret_pos(screen_to_client(owner, client_to_screen(window, {0, 0})));
}

void drop_caret_of(HWnd window) {
    if (caret_owner() == owner_of(window)) destroy_caret();
}

} // namespace kiv::gui::faces
