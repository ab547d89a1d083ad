// Scroll bars: the two bars of any window (SB_HORZ, SB_VERT) and scroll
// bar controls (SB_CTL) with Windows' range, page and position clamps (the
// last position is max - page + 1), showing and disabling, the SBM_*
// messages, and the requests a user's clicks and drags send.
#include "gui/backend/controls/control_state.h"
#include "gui/backend/gui_init.h"

namespace kiv::gui {

using namespace controls;

namespace {

bool needs_scrolling(const ScrollInfo& bar) {
    return bar.max > bar.min && int64_t(bar.page) <= int64_t(bar.max) - bar.min;
}

bool is_scroll_bar(HWnd w) {
    return control_kind(w) == ControlKind::scroll_bar;
}

bool vertical_bar(HWnd w, uint32_t bar) {
    return bar == SB_CTL ? (get_style(w) & SBS_VERT) != 0 : bar == SB_VERT;
}

void set_window_bar_shown(HWnd w, ScrollModel& m, uint32_t bar, bool show) {
    if (m.shown[bar] == show) return;
    m.shown[bar] = show;
    uint32_t bit = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
    set_style(w, show ? get_style(w) | bit : get_style(w) & ~bit);
    control_changed(w, ControlChange::bars);
}

// A scroll bar control's parts along its length (device pixels).
struct BarLayout {
    int length, arrow, thumb_start, thumb_length;
};

BarLayout layout(HWnd w, const ScrollInfo& bar) {
    Rect r = client_rect(w);
    bool vertical = get_style(w) & SBS_VERT;
    int length = vertical ? r.height() : r.width();
    int arrow = std::min(vertical ? r.width() : r.height(), length / 2);
    int trough = std::max(0, length - 2 * arrow);
    int64_t span = int64_t(bar.max) - bar.min + 1;
    int thumb =
        bar.page
            ? int(std::max<int64_t>(8, trough * int64_t(bar.page) / std::max<int64_t>(1, span)))
            : arrow;
    thumb = std::min(thumb, trough);
    int64_t room = int64_t(scroll_limit(bar)) - bar.min;
    int start =
        arrow + (room > 0 ? int((trough - thumb) * (int64_t(bar.pos) - bar.min) / room) : 0);
    return {length, arrow, start, thumb};
}

// The position a thumb dragged to `at` (its start, along the bar) stands for.
int32_t position_at(HWnd w, const ScrollInfo& bar, int at) {
    BarLayout l = layout(w, bar);
    int free = l.length - 2 * l.arrow - l.thumb_length;
    int64_t room = int64_t(scroll_limit(bar)) - bar.min;
    if (free <= 0 || room <= 0) return bar.min;
    int offset = std::clamp(at - l.arrow, 0, free);
    return int32_t(bar.min + (room * offset + free / 2) / free);
}

// The drag of a scroll bar control's thumb in progress.
struct ThumbDrag {
    HWnd bar = 0;
    int grip = 0; // where the thumb was held, from its start
    bool dragging = false;
};
ThumbDrag drag;

int along(HWnd w, int64_t lparam) {
    return (get_style(w) & SBS_VERT) ? point_param_y(lparam) : point_param_x(lparam);
}

int64_t scroll_bar_input(HWnd w, uint32_t message, int64_t lparam) {
    ScrollInfo& bar = models().of<ScrollModel>()[w].bars[SB_CTL];
    int at = along(w, lparam);
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        set_capture(w);
        BarLayout l = layout(w, bar);
        drag = {w, at - l.thumb_start, false};
        if (at < l.arrow)
            user_scroll(w, SB_CTL, SB_LINEUP, 0);
        else if (at >= l.length - l.arrow)
            user_scroll(w, SB_CTL, SB_LINEDOWN, 0);
        else if (at < l.thumb_start)
            user_scroll(w, SB_CTL, SB_PAGEUP, 0);
        else if (at >= l.thumb_start + l.thumb_length)
            user_scroll(w, SB_CTL, SB_PAGEDOWN, 0);
        else
            drag.dragging = true;
        return 0;
    }
    case WM_MOUSEMOVE:
        if (drag.bar == w && drag.dragging)
            user_scroll(w, SB_CTL, SB_THUMBTRACK, position_at(w, bar, at - drag.grip));
        return 0;
    case WM_LBUTTONUP:
        if (get_capture() != w) return 0;
        release_capture();
        if (drag.bar == w && drag.dragging)
            user_scroll(w, SB_CTL, SB_THUMBPOSITION, position_at(w, bar, at - drag.grip));
        drag = {};
        user_scroll(w, SB_CTL, SB_ENDSCROLL, 0);
        return 0;
    default: return 0;
    }
}

} // namespace

int32_t scroll_limit(const ScrollInfo& info) {
    return info.page ? int32_t(std::max<int64_t>(info.min, int64_t(info.max) - info.page + 1))
                     : info.max;
}

int32_t set_scroll_info(HWnd window, uint32_t bar, const ScrollInfo& info, bool redraw) {
    (void)redraw;
    if (bar > SB_CTL || !is_window(window) || (bar == SB_CTL && !is_scroll_bar(window))) return 0;
    ScrollModel& m = models().of<ScrollModel>()[window];
    ScrollInfo& b = m.bars[bar];
    if (info.mask & SIF_RANGE) {
        b.min = info.min;
        b.max = std::max(info.min, info.max);
    }
    if (info.mask & SIF_PAGE) b.page = info.page;
    if (info.mask & SIF_POS) b.pos = info.pos;
    b.page = uint32_t(std::min<int64_t>(b.page, int64_t(b.max) - b.min + 1));
    b.pos = std::clamp(b.pos, b.min, scroll_limit(b));
    b.track_pos = std::clamp(b.track_pos, b.min, scroll_limit(b));
    bool needed = needs_scrolling(b);
    bool keep = info.mask & SIF_DISABLENOSCROLL;
    m.disabled[bar] = !needed && keep;
    control_changed(window, ControlChange::range);
    if (bar != SB_CTL && (info.mask & (SIF_RANGE | SIF_PAGE)))
        set_window_bar_shown(window, m, bar, needed || keep);
    return b.pos;
}

bool get_scroll_info(HWnd window, uint32_t bar, ScrollInfo& info) {
    if (bar > SB_CTL || !is_window(window)) return false;
    ScrollModel* m = control_model<ScrollModel>(window);
    if (!m) return false;
    const ScrollInfo& b = m->bars[bar];
    if (info.mask & SIF_RANGE) {
        info.min = b.min;
        info.max = b.max;
    }
    if (info.mask & SIF_PAGE) info.page = b.page;
    if (info.mask & SIF_POS) info.pos = b.pos;
    if (info.mask & SIF_TRACKPOS) info.track_pos = b.track_pos;
    return true;
}

bool show_scroll_bar(HWnd window, uint32_t bar, bool show) {
    if (!is_window(window)) return false;
    if (bar == SB_CTL) return show_window(window, show ? SW_SHOW : SW_HIDE), true;
    ScrollModel& m = models().of<ScrollModel>()[window];
    if (bar == SB_HORZ || bar == SB_BOTH) set_window_bar_shown(window, m, SB_HORZ, show);
    if (bar == SB_VERT || bar == SB_BOTH) set_window_bar_shown(window, m, SB_VERT, show);
    return true;
}

Point scroll_bar_insets(HWnd window) {
    ScrollModel* m = control_model<ScrollModel>(window);
    if (!m || (!m->shown[SB_HORZ] && !m->shown[SB_VERT])) return {};
    Metrics metrics = system_metrics();
    return {m->shown[SB_VERT] ? metrics.scroller_width : 0,
            m->shown[SB_HORZ] ? metrics.scroller_height : 0};
}

namespace controls {

int64_t scroll_bar_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    ScrollModel* m = proc_model<ScrollModel>(
        w, message, [](ScrollModel& fresh) { fresh.bars[SB_CTL] = {0, 0, 100, 0, 0, 0}; });
    if (!m) return def_window_proc(w, message, wparam, lparam);
    ScrollInfo& bar = m->bars[SB_CTL];
    switch (message) {
    case SBM_SETPOS: {
        int32_t old = bar.pos;
        set_scroll_info(w, SB_CTL, {SIF_POS, 0, 0, 0, int32_t(wparam), 0}, lparam != 0);
        return old;
    }
    case SBM_GETPOS: return bar.pos;
    case SBM_SETRANGE: {
        int32_t old = bar.pos;
        set_scroll_info(w, SB_CTL, {SIF_RANGE, int32_t(wparam), int32_t(lparam), 0, 0, 0}, false);
        return old == bar.pos ? 0 : old;
    }
    case SBM_GETRANGE:
        if (wparam) *reinterpret_cast<int32_t*>(wparam) = bar.min;
        if (lparam) *reinterpret_cast<int32_t*>(lparam) = bar.max;
        return 0;
    case SBM_SETSCROLLINFO:
        return lparam ? set_scroll_info(w, SB_CTL, *reinterpret_cast<ScrollInfo*>(lparam), wparam)
                      : 0;
    case SBM_GETSCROLLINFO:
        return lparam && get_scroll_info(w, SB_CTL, *reinterpret_cast<ScrollInfo*>(lparam));
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
        if (input_elsewhere(w, message, wparam, lparam)) return 0;
        return scroll_bar_input(w, message, lparam);
    }
    default: return control_default(w, message, wparam, lparam, {});
    }
}

} // namespace controls

void user_scroll(HWnd window, uint32_t bar, uint32_t request, int32_t track) {
    ScrollModel* m = control_model<ScrollModel>(window);
    if (!m || bar > SB_CTL) return;
    ScrollInfo& b = m->bars[bar];
    uint64_t wparam = request;
    if (request == SB_THUMBTRACK || request == SB_THUMBPOSITION) {
        b.track_pos = std::clamp(track, b.min, scroll_limit(b));
        wparam |= uint64_t(uint16_t(b.track_pos)) << 16;
    }
    bool vertical = vertical_bar(window, bar);
    HWnd owner = bar == SB_CTL ? get_parent(window) : window;
    if (owner)
        send_message(owner, vertical ? WM_VSCROLL : WM_HSCROLL, wparam,
                     bar == SB_CTL ? int64_t(window) : 0);
}

} // namespace kiv::gui
