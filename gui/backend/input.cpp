// Input of the layer: pointer and key input from the backend becomes queued
// messages (capture routes the pointer, focus the keys, double clicks by
// the layer's own rule, leave notices by the layer's own window under the
// pointer); the key state, capture, focus and activation.
#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"

#include <cstdlib>
#include <utility>

namespace kiv::gui {

using detail::state;

namespace {

using KeyArray = std::array<uint8_t, 256>;
constexpr uint8_t held = 0x80, toggled = 0x01;

// The left or right key that a generic modifier message stands for.
uint32_t side_key(uint32_t vk, int64_t lparam) {
    uint32_t scan = (lparam >> 16) & 0xFF;
    bool extended = lparam & KF_EXTENDED;
    switch (vk) {
    case VK_SHIFT: return scan == 0x36 ? VK_RSHIFT : VK_LSHIFT;
    case VK_CONTROL: return extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_MENU: return extended ? VK_RMENU : VK_LMENU;
    default: return 0;
    }
}

void set_key(KeyArray& keys, uint32_t vk, bool down) {
    if (down && !(keys[vk] & held)) keys[vk] ^= toggled;
    keys[vk] = down ? (keys[vk] | held) : (keys[vk] & ~held);
}

// Sets a key and, for a modifier, its side and the generic key as the
// union of both sides.
void set_key_with_side(KeyArray& keys, uint32_t vk, int64_t lparam, bool down) {
    uint32_t side = side_key(vk, lparam);
    if (!side) return set_key(keys, vk, down);
    set_key(keys, side, down);
    uint32_t left = side & ~1u, right = side | 1u;
    set_key(keys, vk, (keys[left] & held) || (keys[right] & held));
}

struct ButtonMessages {
    uint32_t down, up, dblclk, vk, mk;
};
constexpr ButtonMessages button_messages[] = {
    {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, VK_LBUTTON, MK_LBUTTON},
    {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, VK_RBUTTON, MK_RBUTTON},
    {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, VK_MBUTTON, MK_MBUTTON},
    {WM_XBUTTONDOWN, WM_XBUTTONUP, WM_XBUTTONDBLCLK, VK_XBUTTON1, MK_XBUTTON1},
    {WM_XBUTTONDOWN, WM_XBUTTONUP, WM_XBUTTONDBLCLK, VK_XBUTTON2, MK_XBUTTON2},
};

// The key and button state of mouse messages, from the input state.
uint64_t mouse_key_state() {
    auto& k = state().async_keys;
    uint64_t mk = 0;
    for (auto& b : button_messages)
        if (k[b.vk] & held) mk |= b.mk;
    if (k[VK_SHIFT] & held) mk |= MK_SHIFT;
    if (k[VK_CONTROL] & held) mk |= MK_CONTROL;
    return mk;
}

void queue_input(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    auto& s = state();
    s.input.push_back(Msg{window, message, wparam, lparam, detail::now_ticks(), s.cursor, 0});
}

void queue_client_mouse(HWnd window, uint32_t message, uint64_t wparam) {
    Point p = screen_to_client(window, state().cursor);
    queue_input(window, message, wparam, make_point_param(p.x, p.y));
}

// Moves the pointer; a window that asked for a leave notice gets it once
// the layer's window under the pointer is another one (a child included).
HWnd move_pointer(Point screen) {
    auto& s = state();
    s.cursor = screen;
    HWnd under = window_from_point(screen);
    if (s.tracked && under != s.tracked)
        queue_input(std::exchange(s.tracked, 0), WM_MOUSELEAVE, 0, 0);
    return s.capture ? s.capture : under;
}

HWnd key_target() {
    auto& s = state();
    return s.focus ? s.focus : s.active;
}

bool in_tree(HWnd window, HWnd root) {
    for (HWnd w = window; w; w = get_parent(w))
        if (w == root) return true;
    return false;
}

} // namespace

namespace detail {

void apply_key_state(const Msg& msg) {
    auto& keys = state().keys;
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        set_key_with_side(keys, uint32_t(msg.wparam & 0xFF), msg.lparam,
                          msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN);
        return;
    default: break;
    }
    for (auto& b : button_messages) {
        bool x = b.down == WM_XBUTTONDOWN;
        if (x && ((msg.wparam >> 16) & 0xFFFF) != (b.vk == VK_XBUTTON1 ? 1u : 2u)) continue;
        if (msg.message == b.down || msg.message == b.dblclk) set_key(keys, b.vk, true);
        if (msg.message == b.up) set_key(keys, b.vk, false);
    }
}

void forget_input_window(HWnd window) {
    auto& s = state();
    for (HWnd* h : {&s.capture, &s.focus, &s.active, &s.tracked, &s.last_down_window})
        if (*h == window) *h = 0;
}

} // namespace detail

void input_pointer_move(Point screen) {
    HWnd target = move_pointer(screen);
    if (target) queue_client_mouse(target, WM_MOUSEMOVE, mouse_key_state());
}

void input_pointer_gone() {
    auto& s = state();
    if (s.tracked) queue_input(std::exchange(s.tracked, 0), WM_MOUSELEAVE, 0, 0);
}

void input_button(Button button, bool down, Point screen) {
    auto& s = state();
    if (!(screen == s.cursor)) input_pointer_move(screen);
    const ButtonMessages& b = button_messages[int(button)];
    HWnd target = move_pointer(screen);
    set_key(s.async_keys, b.vk, down);
    if (!target) return;
    uint64_t wparam = mouse_key_state();
    if (b.down == WM_XBUTTONDOWN) wparam |= uint64_t(b.vk == VK_XBUTTON1 ? 1 : 2) << 16;
    uint32_t message = down ? b.down : b.up;
    if (down) {
        double now = s.backend->now_ms();
        int reach = s.backend->double_click_distance();
        bool dbl = (detail::find(target)->class_style & CS_DBLCLKS) &&
                   target == s.last_down_window && b.down == s.last_down_message &&
                   now - s.last_down_time <= s.backend->double_click_ms() &&
                   std::abs(screen.x - s.last_down_point.x) <= reach &&
                   std::abs(screen.y - s.last_down_point.y) <= reach;
        if (dbl) message = b.dblclk;
        // A double click ends the pair: a third press starts a new one.
        s.last_down_time = dbl ? -1e18 : now;
        s.last_down_window = target;
        s.last_down_message = b.down;
        s.last_down_point = screen;
    }
    queue_client_mouse(target, message, wparam);
}

void input_wheel(int delta, Point screen) {
    if (!(screen == state().cursor)) input_pointer_move(screen);
    HWnd target = move_pointer(screen);
    if (!target) return;
    uint64_t wparam = uint64_t(uint16_t(int16_t(delta))) << 16 | mouse_key_state();
    queue_input(target, WM_MOUSEWHEEL, wparam, make_point_param(screen.x, screen.y));
}

void input_key(uint32_t vk, uint32_t scan, bool extended, bool down, uint32_t text) {
    auto& s = state();
    int64_t lparam = 1 | int64_t(scan & 0xFF) << 16 | (extended ? int64_t(KF_EXTENDED) : 0);
    bool was_down = s.async_keys[vk] & held;
    set_key_with_side(s.async_keys, vk, lparam, down);
    bool alt = s.async_keys[VK_MENU] & held, ctrl = s.async_keys[VK_CONTROL] & held;
    if (alt) lparam |= int64_t(KF_ALTDOWN);
    if (was_down || !down) lparam |= int64_t(KF_REPEAT);
    if (!down) lparam |= int64_t(KF_UP);
    // Without a window to take it, the key is queued for none: the key
    // state still follows it.
    HWnd target = key_target();
    bool sys = (alt && !ctrl) || vk == VK_F10 || vk == VK_MENU;
    uint32_t message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    s.input.push_back(Msg{target, message, vk, lparam, detail::now_ticks(), s.cursor, text});
}

void input_char(uint32_t code_point) {
    HWnd target = key_target();
    if (!target) return;
    if (code_point >= 0x10000) {
        queue_input(target, WM_CHAR, 0xD800 + ((code_point - 0x10000) >> 10), 1);
        queue_input(target, WM_CHAR, 0xDC00 + ((code_point - 0x10000) & 0x3FF), 1);
    } else {
        queue_input(target, WM_CHAR, code_point, 1);
    }
}

void input_composition(bool start) {
    if (HWnd target = key_target())
        queue_input(target, start ? WM_IME_STARTCOMPOSITION : WM_IME_ENDCOMPOSITION, 0, 0);
}

void input_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    queue_input(window, message, wparam, lparam);
}

int16_t get_key_state(uint32_t vk) {
    uint8_t k = state().keys[vk & 0xFF];
    return int16_t((k & held ? 0x8000 : 0) | (k & toggled));
}

int16_t get_async_key_state(uint32_t vk) {
    uint8_t k = state().async_keys[vk & 0xFF];
    return int16_t((k & held ? 0x8000 : 0) | (k & toggled));
}

HWnd set_capture(HWnd window) {
    auto& s = state();
    if (window && !detail::find(window)) return 0;
    HWnd old = std::exchange(s.capture, window);
    if (old && old != window) send_message(old, WM_CAPTURECHANGED, 0, window);
    s.backend->capture_changed(window);
    return old;
}

bool release_capture() {
    auto& s = state();
    HWnd old = std::exchange(s.capture, 0);
    if (!old) return true;
    s.backend->capture_changed(0);
    send_message(old, WM_CAPTURECHANGED, 0, 0);
    return true;
}

HWnd get_capture() {
    return state().capture;
}

HWnd set_focus(HWnd window) {
    auto& s = state();
    if (window && !detail::find(window)) return 0;
    HWnd old = s.focus;
    if (old == window) return old;
    if (window && get_root(window) != s.active) {
        set_active_window(get_root(window));
        if (s.focus == window) return old;
    }
    old = std::exchange(s.focus, window);
    s.backend->focus_changed(window);
    if (old) send_message(old, WM_KILLFOCUS, window, 0);
    if (window && s.focus == window) send_message(window, WM_SETFOCUS, old, 0);
    return old;
}

HWnd get_focus() {
    return state().focus;
}

HWnd set_active_window(HWnd window) {
    auto& s = state();
    if (window && !detail::find(window)) return 0;
    window = get_root(window);
    HWnd old = s.active;
    if (old == window) return old;
    s.active = window;
    if (old) send_message(old, WM_ACTIVATE, WA_INACTIVE, window);
    if (s.focus && old && in_tree(s.focus, old)) {
        HWnd lost = std::exchange(s.focus, 0);
        send_message(lost, WM_KILLFOCUS, 0, 0);
    }
    if (window) {
        s.backend->window_activated(window);
        send_message(window, WM_ACTIVATE, WA_ACTIVE, old);
    }
    return old;
}

HWnd get_active_window() {
    return state().active;
}

bool track_mouse_event(HWnd window) {
    auto& s = state();
    if (!detail::find(window)) return false;
    s.tracked = window;
    if (window_from_point(s.cursor) != window)
        queue_input(std::exchange(s.tracked, 0), WM_MOUSELEAVE, 0, 0);
    return true;
}

Point get_cursor_pos() {
    return state().cursor;
}

} // namespace kiv::gui
