#include "gui/backend/send_event.h"

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/event.h"
#include "gui/backend/keys.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

#include <utility>

namespace kiv::gui {

using namespace event;

namespace {

struct EventMessage {
    uint32_t type, message;
    uint64_t wparam;
};
constexpr EventMessage event_messages[] = {
    {down, WM_LBUTTONDOWN, MK_LBUTTON},
    {up, WM_LBUTTONUP, 0},
    {mid_down, WM_MBUTTONDOWN, MK_MBUTTON},
    {mid_up, WM_MBUTTONUP, 0},
    {alt_down, WM_RBUTTONDOWN, MK_RBUTTON},
    {alt_up, WM_RBUTTONUP, 0},
    {aux_down, WM_XBUTTONDOWN, 0x10020},
    {aux_up, WM_XBUTTONUP, 0x10000},
    {dbl_click, WM_LBUTTONDBLCLK, MK_LBUTTON},
    {wheel, WM_MOUSEWHEEL, 0},
    {over, WM_MOUSEMOVE, 0},
    {key, WM_CHAR, 0},
    {key_down, WM_KEYDOWN, 0},
    {key_up, WM_KEYUP, 0},
};

struct FlagKey {
    uint32_t flag, mk;
};
constexpr FlagKey flag_keys[] = {{flag_control, MK_CONTROL},  {flag_shift, MK_SHIFT},
                                 {flag_down, MK_LBUTTON},     {flag_alt_down, MK_RBUTTON},
                                 {flag_mid_down, MK_MBUTTON}, {flag_aux_down, MK_XBUTTON1}};

// The window of the event's stored face: its state facet starts with a
// handle!.
HWnd face_window(const Cell& e) {
    if (!(e.header & cell::event_block_flag)) return 0;
    Cell block{TYPE_BLOCK, 0, e.w2, 0};
    Cell face = block::rs_head(block)[0];
    if (cell::type_of(face) != TYPE_OBJECT) return 0;
    const Cell* state = object::find_word(face, series::word_cell("state"));
    if (cell::type_of(*state) != TYPE_BLOCK || block::rs_length(*state) < 1) return 0;
    const Cell& h = block::rs_head(*state)[0];
    if (cell::type_of(h) != TYPE_HANDLE) return 0;
    HWnd window = handle::value_of(h);
    return is_window(window) ? window : 0;
}

// The stored offset in device pixels, packed as mouse messages carry it.
Point device_offset(const Cell& e) {
    Cell block{TYPE_BLOCK, 0, e.w2, 0};
    const Cell& offset = block::rs_head(block)[2];
    if (cell::type_of(offset) == TYPE_PAIR)
        return {dpi_scale(pair::x_of(offset)), dpi_scale(pair::y_of(offset))};
    return {dpi_scale(point::get(offset, 0)), dpi_scale(point::get(offset, 1))};
}

int32_t stored_picked(const Cell& e) {
    Cell block{TYPE_BLOCK, 0, e.w2, 0};
    const Cell& picked = block::rs_head(block)[3];
    return cell::type_of(picked) == TYPE_INTEGER ? int32_t(picked.w2) : 0;
}

int send_window_state(HWnd window, uint32_t type, bool queued) {
    uint32_t style = get_style(window);
    if (get_parent(window)) return 0;
    if (type == minimize && !(style & WS_MINIMIZEBOX)) return 0;
    if (type == maximize && !(style & WS_MAXIMIZEBOX)) return 0;
    if (queued) return post_message(window, WM_USER + 2, type, 0) ? 1 : 0;
    send_message(window, WM_USER + 2, type, 0);
    return 1;
}

// A click on a button control is the control's own click (a press and a
// release inside it): the control advances its check state and notifies its
// parent as for the user's click, so `click` reaches the face's action.
int send_click(HWnd window, bool queued) {
    if (control_kind(window) != ControlKind::button) return 0;
    if (queued) return post_message(window, BM_CLICK, 0, 0) ? 1 : 0;
    send_message(window, BM_CLICK, 0, 0);
    return 1;
}

} // namespace

int os_send_event(const Cell& e, bool queued) {
    HWnd window = face_window(e);
    if (!window) return 0;
    uint32_t type = e.w1, flags = e.w3;
    if (type == minimize || type == maximize || type == restore)
        return send_window_state(window, type, queued);
    if (type == click) return send_click(window, queued);
    const EventMessage* em = nullptr;
    for (auto& m : event_messages)
        if (m.type == type) em = &m;
    if (!em) return 0;
    Msg msg{window, em->message, em->wparam, 0, 0, get_cursor_pos(), 0};
    bool is_key = type == key || type == key_down || type == key_up;
    uint32_t c = flags & char_mask;
    if (is_key) {
        msg.wparam = type == key ? c : keys::char_to_key(c) & 0xFF;
    } else {
        for (auto& f : flag_keys)
            if (flags & f.flag) msg.wparam |= f.mk;
        Point p = device_offset(e);
        if (type == over && (flags & flag_away)) {
            msg.message = WM_MOUSELEAVE;
            msg.pt = client_to_screen(window, p);
        } else if (type == wheel) {
            Point s = client_to_screen(window, p);
            msg.lparam = make_point_param(s.x, s.y);
            msg.wparam |= uint64_t(uint32_t(stored_picked(e)) * 0x780000u);
        } else {
            msg.lparam = make_point_param(p.x, p.y);
        }
        if (type == over) loop_state().last_pointer = -1;
    }
    if (queued) return post_message(window, msg.message, msg.wparam, msg.lparam) ? 1 : 0;
    auto& st = live::state();
    int64_t saved_override = st.modifier_override;
    if (is_key) st.modifier_override = flags & 0x73C00000;
    if (process_mouse(msg) > 0) {
        auto& loop = loop_state();
        const Msg* outer = std::exchange(loop.current, &msg);
        dispatch_message(msg);
        loop.current = outer;
    }
    st.modifier_override = saved_override;
    return 1;
}

} // namespace kiv::gui
