// gui/make-event: the live event filled from one message and handed to the
// engine's handler, with the key translation rules (character keys, the
// left and right modifier keys, surrogate pairs, control characters).
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "evaluator/trace.h"
#include "gui/backend/event.h"
#include "gui/backend/keys.h"
#include "gui/backend/live_event.h"
#include "gui/backend/message_loop.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui {

using namespace event;

namespace {

uint32_t modifier_bits() {
    int64_t override = live::state().modifier_override;
    return override == -1 ? check_extra_keys(false) : uint32_t(override);
}

// A generic modifier key as its left or right key.
uint32_t side_key(uint32_t key, int64_t lparam) {
    bool extended = lparam & KF_EXTENDED;
    switch (key) {
    case VK_SHIFT: return keys::scan_to_side_key((lparam >> 16) & 0xFF);
    case VK_CONTROL: return extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_MENU: return extended ? VK_RMENU : VK_LMENU;
    default: return key;
    }
}

// Key-down and key-up flags; false when the key makes no event.
bool key_flags(const Msg& msg, bool down, uint32_t& flags) {
    auto& st = live::state();
    uint32_t key = msg.wparam & 0xFFFF;
    if (down && key == VK_PROCESSKEY) {
        st.last_key = -1;
        return false;
    }
    bool character = keys::is_char_key(key) || (down && st.ime_composing);
    st.last_key = character ? -1 : int32_t(side_key(key, msg.lparam));
    if (st.last_key == -1) {
        if (uint32_t c = keys::key_to_char(key)) key = c;
    } else {
        key = uint32_t(st.last_key);
    }
    flags = modifier_bits() | key;
    return true;
}

// Character flags; false for the high half of a surrogate pair and for a
// lone low half.
bool char_flags(const Msg& msg, uint32_t& flags) {
    auto& st = live::state();
    uint32_t c = msg.wparam & 0xFFFF;
    uint32_t modifiers = modifier_bits();
    if (c >= 0xD800 && c <= 0xDBFF) {
        st.high_surrogate = c;
        return false;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        if (!st.high_surrogate) return false;
        c = (((st.high_surrogate & 0x3FF) << 10) | (c & 0x3FF)) + 0x10000;
        modifiers = 0;
    }
    st.high_surrogate = 0;
    // Control with a letter is that letter's control code (Ctrl+A 1).
    if (msg.message == WM_CHAR && (modifiers & flag_control) && c >= 0x61 && c <= 0x7A) {
        c -= 0x60;
        st.last_key = -1;
    }
    if ((st.ime_composing && (modifiers & flag_shift)) || st.last_key == int32_t(VK_LMENU) ||
        st.last_key == int32_t(VK_RMENU))
        st.last_key = -1;
    flags = modifiers | c;
    return true;
}

// Restores what a handler may change while it runs: the message copy
// (nested messages refill it) and the trace switch.
struct HandlerGuard {
    Msg& msg;
    Msg saved = msg;
    bool tracing = interpreter::tracing;
    ~HandlerGuard() {
        msg = saved;
        interpreter::tracing = tracing;
    }
};

bool answered_stop(const Cell& answer) {
    uint32_t t = cell::type_of(answer);
    if (t < TYPE_WORD || t > TYPE_GET_WORD) return false;
    return symbol::resolve(answer.w2) == symbol::resolve(symbol::intern("stop"));
}

// A gesture event keeps its record, since the layer keeps only the last
// ones; a zoom step also its distance relative to the step before (none
// for the first step, or after a zero distance).
void take_gesture(const Msg& msg, uint32_t type) {
    auto& st = live::state();
    st.gesture = gesture_info(msg.lparam).value_or(GestureInfo{});
    if (type != zoom) return;
    double distance = double(st.gesture.arguments);
    st.zoom_ratio = st.zoom_distance > 0 ? distance / st.zoom_distance : -1;
    st.zoom_distance = distance;
}

} // namespace

int make_event(const Msg& msg, uint32_t flags, uint32_t type) {
    auto& st = live::state();
    Cell& ev = live::cell();
    type_name(type); // a bad code ends the process
    ev.w1 = type;
    ev.w2 = live_marker;
    st.msg = msg;
    uint32_t bits = 0;
    switch (type) {
    case over: bits = flags; break;
    case key_down:
    case key_up:
        if (!key_flags(msg, type == key_down, bits)) return 1;
        break;
    case key:
        if (!char_flags(msg, bits)) return 1;
        break;
    case select:
    case change:
        if (auto hook = live::hooks().read_back_text) hook(msg.window, type);
        bits = type == select ? (flags + 1) & 0xFFFF : flags & 0xFFFF;
        break;
    case down:
    case up:
    case mid_down:
    case mid_up:
    case alt_down:
    case alt_up:
    case dbl_click:
    case wheel: bits = flags | check_extra_keys(false); break;
    case click: bits = check_extra_keys(true); break;
    case menu: st.menu_symbol = flags; break;
    case zoom:
    case pan:
    case rotate:
    case two_tap:
    case press_tap: take_gesture(msg, type); break;
    default: break;
    }
    ev.w3 = bits;
    auto awake = live::hooks().awake;
    if (!awake) return 1;
    int level = loop_state().loop_level;
    Rooted<Cell> answer;
    {
        HandlerGuard guard{st.msg};
        interpreter::tracing = false;
        awake(ev, *answer);
    }
    if (loop_state().loop_level < level) post_quit_message(0);
    return answered_stop(*answer) ? 0 : 1;
}

uint32_t check_extra_keys(bool modifiers_only) {
    struct KeyFlag {
        uint32_t vk, flag;
    };
    static constexpr KeyFlag modifiers[] = {
        {VK_CONTROL, flag_control}, {VK_SHIFT, flag_shift}, {VK_MENU, flag_alt}};
    static constexpr KeyFlag buttons[] = {{VK_LBUTTON, flag_down},
                                          {VK_RBUTTON, flag_alt_down},
                                          {VK_MBUTTON, flag_mid_down},
                                          {VK_XBUTTON1, flag_aux_down}};
    if (!layer_running()) return 0;
    uint32_t flags = 0;
    for (auto& k : modifiers)
        if (get_key_state(k.vk) < 0) flags |= k.flag;
    if (modifiers_only) return flags;
    for (auto& k : buttons)
        if (get_key_state(k.vk) < 0) flags |= k.flag;
    return flags;
}

} // namespace kiv::gui
