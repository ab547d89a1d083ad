#include "gui/backend/faces/faces.h"

#include "datatypes/image.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "gui/backend/camera/camera.h"
#include "gui/backend/classes.h"
#include "gui/backend/control_models.h"
#include "gui/backend/conversions.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/area_limit.h"
#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/command_events.h"
#include "gui/backend/faces/face.h"
#include "gui/backend/faces/face_controls.h"
#include "gui/backend/faces/face_free.h"
#include "gui/backend/faces/face_hooks.h"
#include "gui/backend/faces/face_paint.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/faces/face_window.h"
#include "gui/backend/live_event.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/messages.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/para.h"
#include "gui/backend/window_layer.h"
#include "gui/backend/window_proc.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::faces {

namespace {

// A window face's offset (WM_MOVE: the client position plus the offset of
// the frame's corner from it) or size (WM_SIZE) in logical pixels, a pair
// when the face gave its size as one.
void store_geometry(HWnd window, uint32_t message, int64_t lparam) {
    Cell face;
    if (!window_face(window, face)) return;
    Rooted<Cell> kept(face);
    Point at{point_param_x(lparam), point_param_y(lparam)};
    if (message == WM_MOVE) {
        Point corner = frame_corner(window), client = client_to_screen(window, {});
        at = {at.x + corner.x - client.x, at.y + corner.y - client.y};
    }
    double x = dpi_unscale(at.x), y = dpi_unscale(at.y);
    Cell& target = facet(*kept, message == WM_MOVE ? f_offset : f_size);
    if (get_window_long(window, slot_window_flags) & wf_pair_size)
        pair::make_at(target, int32_t(x), int32_t(y));
    else
        point2D::make_at(target, x, y);
}

// A child control asks for its colours (WM_CTLCOLOR*; wParam the record):
// the text in its face's font colour, the background in its face's colour,
// each where the face gives a tuple. 0 when the control has no face.
int64_t give_control_colors(uint64_t record, HWnd control) {
    Cell face;
    if (!window_face(control, face)) return 0;
    auto& colors = *reinterpret_cast<ControlColors*>(record);
    Cell font = facet(face, f_font);
    Cell text_color = text::is_font(font) ? text::facet(font, text::FontFacet::color) : Cell{};
    if (cell::type_of(text_color) == TYPE_TUPLE) {
        colors.text = color_to_argb(to_color(text_color), false);
        colors.has_text = true;
    }
    Cell back = facet(face, f_color);
    if (cell::type_of(back) == TYPE_TUPLE) {
        colors.back = color_to_argb(to_color(back), false);
        colors.has_back = true;
    }
    return 1;
}

// Window and panel faces paint their colour, their image and their draw
// block.
int64_t face_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam,
                     bool& handled) {
    switch (message) {
    case WM_ERASEBKGND: handled = true; return 1;
    case WM_COMMAND:
        handled = true;
        if (!menu_command(window, wparam, lparam)) process_command_event(window, wparam, lparam);
        return 0;
    case WM_NOTIFY: return process_notify(window, lparam, handled);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: handled = true; return give_control_colors(wparam, HWnd(lparam));
    case WM_HSCROLL:
    case WM_VSCROLL:
        handled = true;
        process_scroll(window, message, wparam, lparam);
        return 0;
    default: break;
    }
    if (message != WM_PAINT) return 0;
    Cell face;
    if (!window_face(window, face)) return 0;
    handled = true;
    Rooted<Cell> kept(face);
    PaintStruct ps;
    if (begin_paint(window, ps)) {
        paint_face(window, *kept, ps.cr, layered(window));
        end_paint(window, ps);
    }
    return 0;
}

// A field's or area's selection, moved by a key or the pointer, read into
// its face before the select event is made.
void sync_edit_selection(HWnd window) {
    Cell face;
    if (!window_face(window, face)) return;
    Rooted<Cell> kept(face);
    get_selection(window, *kept);
}

// The image facet of a camera window's face, which its first frame fills.
Cell* camera_image(HWnd window) {
    Cell face;
    return window_face(window, face) ? &facet(face, f_image) : nullptr;
}

} // namespace

FaceHooks& hooks() {
    static FaceHooks h;
    return h;
}

void init() {
    forget_face_types();
    class_hooks().base_proc = base_proc;
    class_hooks().base_internal_proc = base_internal_proc;
    class_hooks().camera_proc = camera::window_proc;
    class_hooks().before_paste = before_area_paste;
    class_hooks().sync_selection = sync_edit_selection;
    camera::hooks().face_image = camera_image;
    // Lookups set before start-up are kept.
    auto& event_hooks = live::hooks();
    if (!event_hooks.face_of_window) event_hooks.face_of_window = window_face;
    if (!event_hooks.read_back_text) event_hooks.read_back_text = read_back_text;
    if (!event_hooks.list_item_at) event_hooks.list_item_at = list_item_at;
    if (!event_hooks.scroll_position) event_hooks.scroll_position = scroll_position;
    window_proc_hooks().store_geometry = store_geometry;
    window_proc_hooks().face_message = face_message;
    window_proc_hooks().selected_window = selected_window;
    // An area's wrapping is fixed when its control is made.
    text::para_hooks().remake_area = [](const Cell& face) {
        if (HWnd window = face_window(face)) remake_face_window(window, face);
    };
}

} // namespace kiv::gui::faces
