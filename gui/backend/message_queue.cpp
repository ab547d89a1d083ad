// The message queue of the layer: posted messages (any thread), input, the
// quit flag, WM_PAINT of invalid windows and due timers, retrieved in that
// order; character messages made from keys; dispatch.
#include "gui/backend/layer_state.h"
#include "gui/backend/messages.h"
#include "platform/cairo_api.h"
#include "runtime/stdout.h"

#include <algorithm>
#include <climits>

namespace kiv::gui {

using detail::state;

namespace {

bool is_key_message(uint32_t message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_SYSKEYDOWN ||
           message == WM_SYSKEYUP;
}

} // namespace

namespace detail {

void drop_queued(HWnd window) {
    auto& s = state();
    auto of_window = [window](const Msg& m) { return m.window == window; };
    {
        std::lock_guard lock(s.posted_lock);
        std::erase_if(s.posted, of_window);
    }
    // A key's change of the key state outlives its window: the message
    // stays queued for no window, and the state follows it in its turn.
    for (Msg& m : s.input)
        if (m.window == window && is_key_message(m.message)) m.window = 0;
    std::erase_if(s.input, of_window);
    std::erase_if(s.timers, [window](const Timer& t) { return t.window == window; });
}

// Milliseconds to the next due timer, or -1 when there is none.
double time_to_next_timer() {
    auto& s = state();
    if (s.timers.empty()) return -1;
    double next = s.timers.front().due;
    for (auto& t : s.timers) next = std::min(next, t.due);
    return std::max(0.0, next - s.backend->now_ms());
}

} // namespace detail

namespace {

Msg stamped(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    return Msg{window, message, wparam, lparam, detail::now_ticks(), state().cursor, 0};
}

bool take_posted(Msg& msg) {
    auto& s = state();
    std::lock_guard lock(s.posted_lock);
    while (!s.posted.empty()) {
        msg = s.posted.front();
        s.posted.pop_front();
        auto found = s.windows.find(msg.window);
        if (msg.window == 0 || (found != s.windows.end() && !found->second.destroying)) return true;
    }
    return false;
}

bool is_client_pointer(uint32_t message) {
    return (message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK) ||
           (message >= WM_XBUTTONDOWN && message <= WM_XBUTTONDBLCLK);
}

// A pointer message's window and client point are found when it is
// taken, from its screen point and the windows as they are then: input
// that came in one batch follows a capture taken by its press, and moves
// queued while an earlier one moved the window (a face dragged faster
// than events are handled) are not counted twice. Input for a window that
// takes none (it or a window holding it disabled) is dropped once the key
// and button state has followed it.
bool take_input(Msg& msg) {
    auto& s = state();
    while (!s.input.empty()) {
        msg = s.input.front();
        s.input.pop_front();
        if (is_client_pointer(msg.message)) {
            if (HWnd target = s.capture ? s.capture : window_from_point(msg.pt))
                msg.window = target;
            if (is_window(msg.window)) {
                Point p = screen_to_client(msg.window, msg.pt);
                msg.lparam = make_point_param(p.x, p.y);
            }
        }
        detail::apply_key_state(msg);
        if (!msg.window && is_key_message(msg.message)) continue; // no window takes it
        if (!is_input_message(msg.message) || !is_window(msg.window) || takes_input(msg.window))
            return true;
    }
    return false;
}

bool take_quit(Msg& msg) {
    auto& s = state();
    std::lock_guard lock(s.posted_lock);
    if (!s.quit) return false;
    s.quit = false;
    msg = stamped(0, WM_QUIT, uint64_t(s.quit_code), 0);
    return true;
}

bool take_paint(Msg& msg) {
    for (auto& [handle, w] : state().windows) {
        if (w.destroying || !w.invalid || cairo_api()->region_is_empty(w.invalid) ||
            !is_visible(handle))
            continue;
        msg = stamped(handle, WM_PAINT, 0, 0);
        return true;
    }
    return false;
}

bool take_timer(Msg& msg) {
    auto& s = state();
    double now = s.backend->now_ms();
    detail::Timer* due = nullptr;
    for (auto& t : s.timers)
        if (t.due <= now && (!due || t.due < due->due)) due = &t;
    if (!due) return false;
    // One WM_TIMER per retrieval, the next one a whole interval later: a
    // late loop never gets a burst.
    due->due = now + due->interval;
    msg = stamped(due->window, WM_TIMER, due->id, reinterpret_cast<int64_t>(due->proc));
    return true;
}

bool take_next(Msg& msg) {
    state().backend->pump();
    bool taken = take_posted(msg) || take_input(msg) || take_quit(msg) || take_paint(msg);
    // No window is left to paint (paints come after every other message
    // but timers): what a batch of paints changed can be shown.
    if (!taken) state().backend->paints_done();
    if (taken || take_timer(msg)) {
        state().message_pos = msg.pt;
        state().message_time = msg.time;
        return true;
    }
    return false;
}

} // namespace

void post_char(const Msg& key, uint32_t code_point) {
    auto post = [&](uint32_t unit) {
        Msg m = key;
        m.message = WM_CHAR;
        m.wparam = unit;
        m.text = 0;
        std::lock_guard lock(state().posted_lock);
        state().posted.push_back(m);
    };
    if (code_point >= 0x10000) {
        post(0xD800 + ((code_point - 0x10000) >> 10));
        post(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    } else {
        post(code_point);
    }
}

uint32_t typed_char(const Msg& key) {
    if (key.message != WM_KEYDOWN && key.message != WM_SYSKEYDOWN) return 0;
    bool ctrl = get_key_state(VK_CONTROL) < 0;
    bool alt = get_key_state(VK_MENU) < 0;
    uint32_t vk = uint32_t(key.wparam);
    if (alt && !ctrl) return 0;
    if (ctrl && !alt) {
        if (vk >= 'A' && vk <= 'Z') return vk - 0x40;
        if (vk == VK_BACK) return 127;
        if (vk == VK_RETURN) return 10;
        return 0;
    }
    switch (vk) {
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    default: return key.text;
    }
}

bool post_message(HWnd window, uint32_t message, uint64_t wparam, int64_t lparam) {
    auto& s = state();
    if (!s.backend) return false;
    Msg m{window, message, wparam, lparam, 0, s.cursor, 0};
    {
        std::lock_guard lock(s.posted_lock);
        s.posted.push_back(m);
    }
    s.backend->wake();
    return true;
}

void post_quit_message(int code) {
    auto& s = state();
    std::lock_guard lock(s.posted_lock);
    s.quit = true;
    s.quit_code = code;
}

int get_message(Msg& msg) {
    auto& s = state();
    while (!take_next(msg)) {
        if (!s.backend->wait(detail::time_to_next_timer())) {
            stdout_::print_line("*** GUI: the event loop waits for a message that can never come");
            return -1;
        }
    }
    return msg.message == WM_QUIT ? 0 : 1;
}

bool peek_message(Msg& msg) {
    return take_next(msg);
}

bool translate_message(const Msg& msg) {
    uint32_t c = typed_char(msg);
    if (!c) return false;
    post_char(msg, c);
    return true;
}

int64_t dispatch_message(const Msg& msg) {
    if (msg.message == WM_TIMER && msg.lparam) {
        reinterpret_cast<TimerProc>(msg.lparam)(msg.window, WM_TIMER, msg.wparam,
                                                detail::now_ticks());
        return 0;
    }
    return send_message(msg.window, msg.message, msg.wparam, msg.lparam);
}

Point get_message_pos() {
    return state().message_pos;
}

uint32_t get_message_time() {
    return state().message_time;
}

uint64_t set_timer(HWnd window, uint64_t id, uint32_t ms, TimerProc proc) {
    auto& s = state();
    if (window && !detail::find(window)) return 0;
    if (!window) id = s.next_timer_id++;
    double interval = std::clamp<double>(ms, 10, INT32_MAX);
    double due = s.backend->now_ms() + interval;
    for (auto& t : s.timers) {
        if (t.window == window && t.id == id) {
            t = {window, id, interval, due, proc};
            return window ? 1 : id;
        }
    }
    s.timers.push_back({window, id, interval, due, proc});
    return window ? 1 : id;
}

bool kill_timer(HWnd window, uint64_t id) {
    return std::erase_if(state().timers, [&](const detail::Timer& t) {
               return t.window == window && t.id == id;
           }) > 0;
}

} // namespace kiv::gui
