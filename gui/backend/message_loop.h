// The message loop of the GUI: blocking and one-shot loops with nested
// levels, the pre-filter that turns key and mouse messages into events,
// the event dispatch of one message, and the timer callback.
#pragma once

#include <cstdint>

#include "gui/backend/window_types.h"

namespace kiv::gui {

struct LoopState {
    int loop_level = 0;    // blocking loops running
    int exits_pending = 0; // blocking loops that still have to end
    const Msg* current = nullptr;
    int64_t last_pointer = -1; // lParam of the last WM_MOUSEMOVE
    HWnd last_pointer_window = 0;
    HWnd over_window = 0; // the window the pointer is over
    HWnd left_down_window = 0;
    HWnd last_up_window = 0;
};
LoopState& loop_state();

// The modifier bits of the keyboard (control, shift, alt) and, unless
// `modifiers_only`, the held mouse buttons, as event flags.
uint32_t check_extra_keys(bool modifiers_only);

// Fills the live event from a message and hands it to the engine; 0 when
// the engine answered `stop`, else 1.
int make_event(const Msg& msg, uint32_t flags, uint32_t type);

// Handles one retrieved message: the pre-filter, then, unless it dropped
// the message, the characters of a key-down and the window procedure.
void handle_message(const Msg& msg);

// Runs the loop: one message with `no_wait`, else until WM_QUIT. 1 when
// a message was handled.
int do_events(bool no_wait);

// The pre-filter: 0 drops the message, more lets the loop dispatch it.
int process_mouse(const Msg& msg);

// The timer callback of face timers: a `time` event for the window.
void timer_proc(HWnd window, uint32_t message, uint64_t id, uint32_t time);

// The last window of a loop went away: that loop has to end.
void end_loop_level();

} // namespace kiv::gui
