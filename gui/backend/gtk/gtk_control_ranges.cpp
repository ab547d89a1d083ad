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

gboolean on_bar_change(GtkRange* range, GtkScrollType scroll, gdouble value, gpointer data) {
    HWnd w = window_of(data);
    Native* n = current().native(w);
    if (!n || n->syncing) return TRUE;
    uint32_t bar = bar_of(GTK_WIDGET(range));
    uint32_t request = request_of(scroll);
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
    uint32_t bar = bar_of(widget);
    bool dragged = n->pending_request == SB_THUMBTRACK;
    int32_t pos = n->pending_pos;
    n->pending_request = UINT32_MAX;
    current().defer([w, bar, dragged, pos] {
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
