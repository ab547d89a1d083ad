#include "gui/backend/message_loop.h"

#include "gui/backend/event.h"
#include "gui/backend/live_event.h"
#include "gui/backend/menus_faces.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <algorithm>
#include <utility>

namespace kiv::gui {

using namespace event;

LoopState& loop_state() {
    static LoopState s;
    return s;
}

namespace {

// Event flags of a mouse message's key state.
uint32_t mouse_flags(uint64_t wparam) {
    struct Bit {
        uint32_t mk, flag;
    };
    static constexpr Bit bits[] = {{MK_LBUTTON, flag_down},     {MK_RBUTTON, flag_alt_down},
                                   {MK_SHIFT, flag_shift},      {MK_CONTROL, flag_control},
                                   {MK_MBUTTON, flag_mid_down}, {MK_XBUTTON1, flag_aux_down},
                                   {MK_XBUTTON2, flag_aux_down}};
    uint32_t flags = 0;
    for (auto& b : bits)
        if (wparam & b.mk) flags |= b.flag;
    return flags;
}

struct ButtonEvent {
    uint32_t message, type;
};
constexpr ButtonEvent button_events[] = {
    {WM_RBUTTONUP, alt_up},     {WM_MBUTTONDOWN, mid_down}, {WM_MBUTTONUP, mid_up},
    {WM_XBUTTONDOWN, aux_down}, {WM_XBUTTONUP, aux_up},     {WM_MOUSEWHEEL, wheel},
};

bool is_modifier_key(int32_t key) {
    return key == int32_t(VK_SHIFT) || key == int32_t(VK_CONTROL) ||
           (key >= int32_t(VK_LSHIFT) && key <= int32_t(VK_RMENU));
}

int pointer_moved(const Msg& msg, uint32_t flags) {
    auto& s = loop_state();
    // The same position in another window is a move too: a window entered
    // under a still pointer must get its `over`.
    if (msg.lparam == s.last_pointer && msg.window == s.last_pointer_window) return 0;
    s.last_pointer = msg.lparam;
    s.last_pointer_window = msg.window;
    Cell face;
    auto face_of = live::hooks().face_of_window;
    bool all_over =
        face_of && face_of(msg.window, face) && (uint32_t(get_window_long(msg.window, 76)) & 0x1);
    if (is_enabled(msg.window) && (msg.window != s.over_window || all_over)) {
        if (msg.window != s.over_window) track_mouse_event(msg.window);
        make_event(msg, flags, over);
    }
    s.over_window = msg.window;
    return 1;
}

// The right button: `alt-down`, then the face's context menu, whose
// showing keeps the message from the window.
int right_button_down(const Msg& msg, uint32_t flags) {
    Point screen =
        client_to_screen(msg.window, {point_param_x(msg.lparam), point_param_y(msg.lparam)});
    live::state().menu_point = screen;
    int result = make_event(msg, flags, alt_down);
    return show_context_menu(msg, screen) ? 0 : result;
}

} // namespace

int process_mouse(const Msg& msg) {
    auto& s = loop_state();
    uint32_t flags = mouse_flags(msg.wparam) | check_extra_keys(true);
    switch (msg.message) {
    case WM_KEYDOWN: {
        int r = make_event(msg, 0, key_down);
        int32_t last = live::state().last_key;
        if (r && last != -1 && !is_modifier_key(last)) r = make_event(msg, 0, key);
        return r;
    }
    case WM_SYSKEYDOWN: return make_event(msg, 0, key_down);
    case WM_KEYUP:
    case WM_SYSKEYUP: return make_event(msg, 0, key_up);
    case WM_CHAR: live::state().last_key = -1; return make_event(msg, 0, key);
    case WM_MOUSEMOVE: return pointer_moved(msg, flags);
    case WM_MOUSELEAVE:
        s.last_pointer = -1;
        s.last_pointer_window = 0;
        make_event(msg, flags | flag_away, over);
        if (s.over_window == msg.window) s.over_window = 0;
        return 1;
    case WM_LBUTTONDOWN: {
        clear_pending_menu();
        s.left_down_window = msg.window;
        int r = make_event(msg, flags, down);
        s.left_down_window = 0;
        return r;
    }
    case WM_LBUTTONUP: s.last_up_window = msg.window; return make_event(msg, flags, up);
    case WM_LBUTTONDBLCLK:
        clear_pending_menu();
        make_event(msg, 0, down);
        make_event(msg, flags, dbl_click);
        return 1;
    case WM_RBUTTONDOWN: return get_capture() ? 1 : right_button_down(msg, flags);
    default: break;
    }
    for (auto& b : button_events)
        if (b.message == msg.message) return make_event(msg, flags, b.type);
    return 1;
}

void handle_message(const Msg& msg) {
    // Decided before the pre-filter's handlers run: one of them may run a
    // modal loop, which takes the key-ups that follow (Alt or Control
    // released), and the key state left then would make a plain letter of
    // a chord. The character belongs to the keys held when this message was
    // taken.
    uint32_t typed = typed_char(msg);
    if (process_mouse(msg) <= 0) return;
    auto& s = loop_state();
    const Msg* outer = std::exchange(s.current, &msg);
    if (typed) post_char(msg, typed);
    dispatch_message(msg);
    s.current = outer;
}

int do_events(bool no_wait) {
    if (!layer_running()) return 0;
    auto& s = loop_state();
    auto& st = live::state();
    int64_t saved_override = std::exchange(st.modifier_override, -1);
    int level = s.loop_level;
    if (!no_wait) ++s.loop_level;
    int result = 0;
    Msg msg;
    while (no_wait ? peek_message(msg) : get_message(msg) > 0) {
        result = 1;
        if (msg.message == WM_QUIT) break; // a one-shot pass took the quit flag
        handle_message(msg);
        if (no_wait) break;
    }
    if (!no_wait) {
        // An ending loop leaves the level at most where it found it, and
        // the exits still owed never go below zero.
        s.loop_level = std::min(s.loop_level, level);
        s.exits_pending = std::max(0, s.exits_pending - 1);
        if (s.exits_pending > 0) post_quit_message(0);
    }
    st.modifier_override = saved_override;
    return result;
}

void timer_proc(HWnd window, uint32_t, uint64_t, uint32_t) {
    Msg msg;
    if (const Msg* current = loop_state().current) msg = *current;
    msg.window = window;
    make_event(msg, 0, time);
}

void end_loop_level() {
    auto& s = loop_state();
    s.loop_level = std::max(0, s.loop_level - 1);
    ++s.exits_pending;
}

} // namespace kiv::gui
