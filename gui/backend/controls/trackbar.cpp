// msctls_trackbar32 (sliders): range, position, page and line sizes, the
// minimum at the left or (TBS_VERT) at the top, and the TB_* requests a
// user's clicks, drags and keys send, each move closed by TB_ENDTRACK.
#include "gui/backend/controls/control_state.h"

namespace kiv::gui {

using namespace controls;

namespace {

bool vertical(HWnd w) {
    return get_style(w) & TBS_VERT;
}

void set_position(HWnd w, TrackbarModel& m, int64_t pos) {
    int32_t clamped = int32_t(std::clamp<int64_t>(pos, m.min, std::max(m.min, m.max)));
    if (clamped == m.pos) return;
    m.pos = clamped;
    control_changed(w, ControlChange::range);
}

void set_range(HWnd w, TrackbarModel& m, int32_t min, int32_t max) {
    m.min = min;
    m.max = max;
    control_changed(w, ControlChange::range);
    set_position(w, m, m.pos);
}

// The channel the thumb's centre runs along (device pixels, along the
// slider): inset by half a thumb at both ends.
constexpr int thumb_half = 5;

int channel_length(HWnd w) {
    Rect r = client_rect(w);
    return std::max(1, (vertical(w) ? r.height() : r.width()) - 2 * thumb_half);
}

int thumb_at(HWnd w, const TrackbarModel& m) {
    int64_t range = std::max<int64_t>(1, int64_t(m.max) - m.min);
    return thumb_half + int(channel_length(w) * (int64_t(m.pos) - m.min) / range);
}

int32_t position_at(HWnd w, const TrackbarModel& m, int at) {
    int64_t range = std::max<int64_t>(0, int64_t(m.max) - m.min);
    int length = channel_length(w);
    int offset = std::clamp(at - thumb_half, 0, length);
    return int32_t(m.min + (range * offset + length / 2) / length);
}

bool dragging = false;

int64_t trackbar_input(HWnd w, TrackbarModel& m, uint32_t message, uint64_t wparam,
                       int64_t lparam) {
    int at = vertical(w) ? point_param_y(lparam) : point_param_x(lparam);
    switch (message) {
    case WM_LBUTTONDOWN: {
        take_focus(w);
        set_capture(w);
        int thumb = thumb_at(w, m);
        dragging = std::abs(at - thumb) <= thumb_half;
        if (!dragging) user_slide(w, at < thumb ? TB_PAGEUP : TB_PAGEDOWN, 0);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging && get_capture() == w) user_slide(w, TB_THUMBTRACK, position_at(w, m, at));
        return 0;
    case WM_LBUTTONUP:
        if (get_capture() != w) return 0;
        release_capture();
        if (dragging) user_slide(w, TB_THUMBPOSITION, position_at(w, m, at));
        dragging = false;
        user_slide(w, TB_ENDTRACK, 0);
        return 0;
    case WM_KEYDOWN: {
        struct KeyRequest {
            uint32_t vk, request;
        };
        static constexpr KeyRequest keys[] = {
            {VK_LEFT, TB_LINEUP},   {VK_UP, TB_LINEUP},    {VK_RIGHT, TB_LINEDOWN},
            {VK_DOWN, TB_LINEDOWN}, {VK_PRIOR, TB_PAGEUP}, {VK_NEXT, TB_PAGEDOWN},
            {VK_HOME, TB_TOP},      {VK_END, TB_BOTTOM},
        };
        for (auto& k : keys)
            if (k.vk == wparam) user_slide(w, k.request, 0);
        return 0;
    }
    case WM_KEYUP:
        for (uint32_t vk : {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_PRIOR, VK_NEXT, VK_HOME, VK_END})
            if (vk == wparam) user_slide(w, TB_ENDTRACK, 0);
        return 0;
    default: return 0;
    }
}

} // namespace

namespace controls {

int64_t trackbar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    TrackbarModel* m = proc_model<TrackbarModel>(w, message);
    if (!m) return def_window_proc(w, message, wparam, lparam);
    switch (message) {
    case TBM_GETPOS: return m->pos;
    case TBM_GETRANGEMIN: return m->min;
    case TBM_GETRANGEMAX: return m->max;
    case TBM_SETPOS: set_position(w, *m, int32_t(lparam)); return 0;
    case TBM_SETRANGE: set_range(w, *m, low_word(lparam), high_word(lparam)); return 0;
    case TBM_SETRANGEMIN: set_range(w, *m, int32_t(lparam), m->max); return 0;
    case TBM_SETRANGEMAX: set_range(w, *m, m->min, int32_t(lparam)); return 0;
    case TBM_SETTICFREQ: m->tic_frequency = int32_t(wparam); return 0;
    case TBM_SETPAGESIZE: return std::exchange(m->page, int32_t(lparam));
    case TBM_GETPAGESIZE: return m->page;
    case TBM_SETLINESIZE: return std::exchange(m->line, int32_t(lparam));
    case TBM_GETLINESIZE: return m->line;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return trackbar_input(w, *m, message, wparam, lparam);
    }
    default: return control_default(w, message, wparam, lparam, {});
    }
}

} // namespace controls

void user_slide(HWnd trackbar, uint32_t request, int32_t pos) {
    TrackbarModel* m = control_model<TrackbarModel>(trackbar);
    if (!m) return;
    switch (request) {
    case TB_LINEUP: set_position(trackbar, *m, int64_t(m->pos) - m->line); break;
    case TB_LINEDOWN: set_position(trackbar, *m, int64_t(m->pos) + m->line); break;
    case TB_PAGEUP: set_position(trackbar, *m, int64_t(m->pos) - m->page); break;
    case TB_PAGEDOWN: set_position(trackbar, *m, int64_t(m->pos) + m->page); break;
    case TB_TOP: set_position(trackbar, *m, m->min); break;
    case TB_BOTTOM: set_position(trackbar, *m, m->max); break;
    case TB_THUMBTRACK:
    case TB_THUMBPOSITION: set_position(trackbar, *m, pos); break;
    default: break;
    }
    uint64_t wparam = request;
    if (request == TB_THUMBTRACK || request == TB_THUMBPOSITION)
        wparam |= uint64_t(uint16_t(m->pos)) << 16;
    if (HWnd parent = get_parent(trackbar))
        send_message(parent, vertical(trackbar) ? WM_VSCROLL : WM_HSCROLL, wparam, trackbar);
}

} // namespace kiv::gui
