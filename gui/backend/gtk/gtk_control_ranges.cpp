// The GTK views of the range controls: scroll bars (GtkScrollbar, also a
// window's own bars at its right and bottom edges) and sliders (GtkScale).
// Neither moves by itself: a user's move becomes the request the control
// sends (the handler answers TRUE), and the widget follows the model.
#include "gui/backend/gtk/gtk_controls.h"
#include "gui/backend/gtk/gtk_placer.h"

#include "gui/backend/control_actions.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <cmath>
#include <utility>

namespace kiv::gui::gtk {

namespace {

// GTK's scroll types as the requests of scroll bars (and, with the same
// numbers, of sliders).
uint32_t request_of(GtkScrollType scroll) {
    switch (scroll) {
    case GTK_SCROLL_STEP_BACKWARD:
    case GTK_SCROLL_STEP_UP:
    case GTK_SCROLL_STEP_LEFT: return SB_LINEUP;
    case GTK_SCROLL_STEP_FORWARD:
    case GTK_SCROLL_STEP_DOWN:
    case GTK_SCROLL_STEP_RIGHT: return SB_LINEDOWN;
    case GTK_SCROLL_PAGE_BACKWARD:
    case GTK_SCROLL_PAGE_UP:
    case GTK_SCROLL_PAGE_LEFT: return SB_PAGEUP;
    case GTK_SCROLL_PAGE_FORWARD:
    case GTK_SCROLL_PAGE_DOWN:
    case GTK_SCROLL_PAGE_RIGHT: return SB_PAGEDOWN;
    case GTK_SCROLL_START: return SB_TOP;
    case GTK_SCROLL_END: return SB_BOTTOM;
    default: return SB_THUMBTRACK;
    }
}

// Which bar of its window a scroll bar widget is.
uint32_t bar_of(GtkWidget* widget) {
    return GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(widget), "kiv-bar"));
}

// A press held on an arrow: GTK moves the value by a twentieth of a step
// at every frame (as jumps) while it lasts, from the first frame after the
// press. The bar asks for a line at the first, then again at the repeat
// rate once the first delay has passed, as a system scroll bar does; a
// click released before GTK's first frame asks for its line at the
// release.
struct ArrowHold {
    bool off_thumb = false; // on an arrow or on the trough (which pages)
    bool forward = false;   // past the thumb
    bool moved = false;     // GTK asked for a change since the press
    gint64 next_us = 0;     // when the next line is due
};
constexpr gint64 arrow_delay_us = 400000, arrow_repeat_us = 50000;

ArrowHold& arrow_hold(GtkWidget* widget) {
    auto* hold = static_cast<ArrowHold*>(g_object_get_data(G_OBJECT(widget), "kiv-arrow"));
    if (!hold) {
        hold = new ArrowHold;
        g_object_set_data_full(G_OBJECT(widget), "kiv-arrow", hold,
                               [](gpointer p) { delete static_cast<ArrowHold*>(p); });
    }
    return *hold;
}

gboolean on_bar_press(GtkWidget* widget, GdkEventButton* event, gpointer) {
    int start = 0, end = 0;
    gtk_range_get_slider_range(GTK_RANGE(widget), &start, &end);
    bool vertical =
        gtk_orientable_get_orientation(GTK_ORIENTABLE(widget)) == GTK_ORIENTATION_VERTICAL;
    double at = vertical ? event->y : event->x;
    ArrowHold& hold = arrow_hold(widget);
    hold = {event->button == 1 && (at < start || at >= end), at >= end, false, 0};
    return FALSE;
}

// The request of GTK's change: an arrow's creeping jump becomes a line
// when one is due, and nothing otherwise (UINT32_MAX).
uint32_t bar_request(GtkRange* range, GtkScrollType scroll, gdouble value) {
    ArrowHold& hold = arrow_hold(GTK_WIDGET(range));
    hold.moved = true;
    if (scroll != GTK_SCROLL_JUMP || !hold.off_thumb) return request_of(scroll);
    gint64 now = g_get_monotonic_time();
    if (hold.next_us && now < hold.next_us) return UINT32_MAX;
    hold.next_us = now + (hold.next_us ? arrow_repeat_us : arrow_delay_us);
    return value < gtk_range_get_value(range) ? SB_LINEUP : SB_LINEDOWN;
}

gboolean on_bar_change(GtkRange* range, GtkScrollType scroll, gdouble value, gpointer data) {
    HWnd w = window_of(data);
    Native* n = current().native(w);
    if (!n || n->syncing) return TRUE;
    uint32_t bar = bar_of(GTK_WIDGET(range));
    uint32_t request = bar_request(range, scroll, value);
    if (request == UINT32_MAX) return TRUE;
    int32_t pos = int32_t(std::lround(value));
    n->pending_request = request;
    n->pending_pos = pos;
    current().defer([w, bar, request, pos] { user_scroll(w, bar, request, pos); });
    return TRUE;
}

// A release closes the move: a drag's last position, then the end.
gboolean on_bar_release(GtkWidget* widget, GdkEventButton*, gpointer data) {
    HWnd w = window_of(data);
    Native* n = current().native(w);
    if (!n) return FALSE;
    ArrowHold& hold = arrow_hold(widget);
    // Off the thumb with no change asked: an arrow let go before GTK's
    // first frame (the trough pages at the press).
    uint32_t line = !hold.off_thumb || hold.moved ? UINT32_MAX
                    : hold.forward                ? SB_LINEDOWN
                                                  : SB_LINEUP;
    hold.off_thumb = false;
    uint32_t bar = bar_of(widget);
    bool dragged = n->pending_request == SB_THUMBTRACK;
    int32_t pos = n->pending_pos;
    n->pending_request = UINT32_MAX;
    current().defer([w, bar, dragged, pos, line] {
        if (line != UINT32_MAX) user_scroll(w, bar, line, 0);
        if (dragged) user_scroll(w, bar, SB_THUMBPOSITION, pos);
        user_scroll(w, bar, SB_ENDSCROLL, 0);
    });
    return FALSE;
}

gboolean on_slider_change(GtkRange*, GtkScrollType scroll, gdouble value, gpointer data) {
    HWnd w = window_of(data);
    Native* n = current().native(w);
    if (!n || n->syncing) return TRUE;
    uint32_t request = request_of(scroll);
    int32_t pos = int32_t(std::lround(value));
    n->pending_request = request;
    n->pending_pos = pos;
    current().defer([w, request, pos] { user_slide(w, request, pos); });
    return TRUE;
}

gboolean on_slider_release(GtkWidget*, GdkEvent*, gpointer data) {
    HWnd w = window_of(data);
    Native* n = current().native(w);
    if (!n || n->pending_request == UINT32_MAX) return FALSE;
    bool dragged = n->pending_request == TB_THUMBTRACK;
    int32_t pos = n->pending_pos;
    n->pending_request = UINT32_MAX;
    current().defer([w, dragged, pos] {
        if (dragged) user_slide(w, TB_THUMBPOSITION, pos);
        user_slide(w, TB_ENDTRACK, 0);
    });
    return FALSE;
}

// The adjustment of a bar: upper max + 1 with the page, so that the last
// position is max - page + 1 as the model's.
void set_bar_adjustment(GtkWidget* widget, const ScrollInfo& info) {
    GtkAdjustment* a = gtk_range_get_adjustment(GTK_RANGE(widget));
    double page = info.page ? double(info.page) : 1.0;
    gtk_adjustment_configure(a, double(info.pos), double(info.min), double(info.max) + page, 1.0,
                             page, page);
}

GtkWidget* new_bar(HWnd w, uint32_t bar, bool vertical) {
    GtkWidget* widget = gtk_scrollbar_new(
        vertical ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL, nullptr);
    g_object_set_data(G_OBJECT(widget), "kiv-bar", GUINT_TO_POINTER(bar));
    g_signal_connect(widget, "button-press-event", G_CALLBACK(on_bar_press), nullptr);
    g_signal_connect(widget, "change-value", G_CALLBACK(on_bar_change), window_data(w));
    g_signal_connect(widget, "button-release-event", G_CALLBACK(on_bar_release), window_data(w));
    return widget;
}

} // namespace

GtkWidget* make_scroll_bar(HWnd w) {
    return new_bar(w, SB_CTL, get_style(w) & SBS_VERT);
}

void sync_scroll_bar(Native& n, ControlChange) {
    const ScrollModel* m = control_model<ScrollModel>(n.window);
    if (!m) return;
    set_bar_adjustment(n.control, m->bars[SB_CTL]);
    gtk_widget_set_sensitive(n.control, !m->disabled[SB_CTL]);
}

GtkWidget* make_slider(HWnd w) {
    bool vertical = get_style(w) & TBS_VERT;
    // Vertical: the minimum at the top, as GTK's default.
    GtkWidget* scale =
        gtk_scale_new(vertical ? GTK_ORIENTATION_VERTICAL : GTK_ORIENTATION_HORIZONTAL, nullptr);
    gtk_scale_set_draw_value(GTK_SCALE(scale), FALSE);
    g_signal_connect(scale, "change-value", G_CALLBACK(on_slider_change), window_data(w));
    g_signal_connect(scale, "button-release-event", G_CALLBACK(on_slider_release), window_data(w));
    g_signal_connect(scale, "key-release-event", G_CALLBACK(on_slider_release), window_data(w));
    return scale;
}

void sync_slider(Native& n, ControlChange) {
    const TrackbarModel* m = control_model<TrackbarModel>(n.window);
    if (!m) return;
    GtkAdjustment* a = gtk_range_get_adjustment(GTK_RANGE(n.control));
    double max = std::max(m->min, m->max);
    gtk_adjustment_configure(a, double(m->pos), double(m->min), max, double(m->line),
                             double(m->page), 0.0);
}

void sync_window_bars(Native& n, GtkWidget* placer, Rect in_root) {
    const ScrollModel* m = control_model<ScrollModel>(n.window);
    if (!m || !placer) return;
    Metrics metrics = system_metrics();
    int scale = current().scale();
    for (uint32_t bar : {SB_HORZ, SB_VERT}) {
        GtkWidget*& widget = n.bars[bar];
        if (!m->shown[bar]) {
            if (widget) gtk_widget_hide(widget);
            continue;
        }
        if (!widget) {
            widget = new_bar(n.window, bar, bar == SB_VERT);
            placer_put(placer, widget, {0, 0, 1, 1});
        }
        bool both = m->shown[SB_HORZ] && m->shown[SB_VERT];
        Rect r = in_root;
        if (bar == SB_VERT) {
            r.left = r.right - metrics.scroller_width;
            if (both) r.bottom -= metrics.scroller_height;
        } else {
            r.top = r.bottom - metrics.scroller_height;
            if (both) r.right -= metrics.scroller_width;
        }
        placer_place(placer, widget,
                     {r.left / scale, r.top / scale, std::max(1, r.width() / scale),
                      std::max(1, r.height() / scale)});
        bool was = std::exchange(n.syncing, true);
        set_bar_adjustment(widget, m->bars[bar]);
        n.syncing = was;
        gtk_widget_set_sensitive(widget, !m->disabled[bar]);
        gtk_widget_show(widget);
    }
}

} // namespace kiv::gui::gtk
