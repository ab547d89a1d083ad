#include "gui/backend/faces/group_frame.h"

#include "gui/backend/control_messages.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/window_layer.h"

namespace kiv::gui::faces {

void make_group_frame(HWnd panel, const Cell& face) {
    Rect client = client_rect(panel);
    HWnd frame =
        create_window_ex(get_ex_style(panel), "BUTTON", window_text(face, FaceType::group_box),
                         get_style(panel) | WS_GROUP | BS_GROUPBOX, client, panel, 0);
    if (!frame) return;
    send_message(frame, WM_SETFONT, reinterpret_cast<uint64_t>(text::default_font()), 0);
    set_window_long(panel, slot_extra, int32_t(frame));
}

HWnd group_frame(HWnd panel) {
    HWnd frame = HWnd(uint32_t(get_window_long(panel, slot_extra)));
    return is_window(frame) && get_parent(frame) == panel ? frame : 0;
}

} // namespace kiv::gui::faces
