#include "gui/backend/live_event.h"

#include "gui/backend/event.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

namespace kiv::gui::live {

State& state() {
    static State s;
    return s;
}

// It refers to no series (its fields come from the message copy and the
// hooks), so the collector has nothing to mark in it.
Cell& cell() {
    static Cell live{TYPE_EVENT, 0, event::live_marker, 0};
    return live;
}

Hooks& hooks() {
    static Hooks h;
    return h;
}

bool message_face(Cell& out) {
    auto face_of = hooks().face_of_window;
    if (!face_of) return false;
    const Msg& m = state().msg;
    if (face_of(m.window, out)) return true;
    if (HWnd parent = get_parent(m.window); parent && face_of(parent, out)) return true;
    HWnd under = window_from_point(m.pt);
    return under && face_of(under, out);
}

} // namespace kiv::gui::live
