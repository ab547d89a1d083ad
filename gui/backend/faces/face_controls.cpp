#include "gui/backend/faces/face_controls.h"

namespace kiv::gui::faces {

void init_control(HWnd, const Cell&, FaceType) {}

bool control_facet_changed(HWnd, const Cell&, FaceType, Facet) {
    return false;
}

bool update_items(const Cell&, const Cell&, const Cell&, const Cell*, int32_t, int32_t) {
    return false;
}

} // namespace kiv::gui::faces
