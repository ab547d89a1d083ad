// msctls_progress32: range, position clamped to it, a step that starts
// over past the maximum, and bar and background colours.
#include "gui/backend/controls/control_state.h"

namespace kiv::gui {

using namespace controls;

namespace {

// Sets the position within the range; answers the previous one.
int64_t set_position(HWnd w, ProgressModel& m, int64_t pos) {
    int32_t old = m.pos;
    m.pos = int32_t(std::clamp<int64_t>(pos, m.min, std::max(m.min, m.max)));
    if (m.pos != old) control_changed(w, ControlChange::range);
    return old;
}

int64_t set_range(HWnd w, ProgressModel& m, int32_t min, int32_t max) {
    int64_t old = make_long(m.min, m.max);
    m.min = min;
    m.max = max;
    control_changed(w, ControlChange::range);
    set_position(w, m, m.pos);
    return old;
}

int64_t set_color(HWnd w, uint32_t& color, int64_t value) {
    uint32_t old = std::exchange(color, uint32_t(value));
    control_changed(w, ControlChange::look);
    return old;
}

} // namespace

namespace controls {

int64_t progress_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    ProgressModel* m = proc_model<ProgressModel>(w, message);
    if (!m) return def_window_proc(w, message, wparam, lparam);
    switch (message) {
    case PBM_SETRANGE: return set_range(w, *m, uint16_t(lparam & 0xFFFF), uint16_t(lparam >> 16));
    case PBM_SETRANGE32: return set_range(w, *m, int32_t(wparam), int32_t(lparam));
    case PBM_GETRANGE:
        if (lparam) {
            auto* range = reinterpret_cast<int32_t*>(lparam);
            range[0] = m->min;
            range[1] = m->max;
        }
        return wparam ? m->min : m->max;
    case PBM_SETPOS: return set_position(w, *m, int32_t(wparam));
    case PBM_DELTAPOS: return set_position(w, *m, int64_t(m->pos) + int32_t(wparam));
    case PBM_GETPOS: return m->pos;
    case PBM_SETSTEP: return std::exchange(m->step, int32_t(wparam));
    case PBM_GETSTEP: return m->step;
    case PBM_STEPIT: {
        // Past the maximum the bar starts over from the minimum.
        int64_t next = int64_t(m->pos) + m->step;
        int64_t span = int64_t(m->max) - m->min;
        if (span > 0 && (next > m->max || next < m->min))
            next = m->min + (((next - m->min) % span) + span) % span;
        return set_position(w, *m, next);
    }
    case PBM_SETBARCOLOR: return set_color(w, m->bar_color, lparam);
    case PBM_GETBARCOLOR: return m->bar_color;
    case PBM_SETBKCOLOR: return set_color(w, m->back_color, lparam);
    case PBM_GETBKCOLOR: return m->back_color;
    default: return control_default(w, message, wparam, lparam, {});
    }
}

int64_t static_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    return control_default(w, message, wparam, lparam, {});
}

} // namespace controls

} // namespace kiv::gui
