#include "gui/backend/gtk/gtk_backend.h"
#include "gui/backend/gtk/gtk_controls.h"
#include "gui/backend/gtk/gtk_placer.h"

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <utility>

namespace kiv::gui::gtk {

namespace {

GtkBackend* running = nullptr;

// How long after a move or resize the configure events that differ from it
// are taken as the states GTK passes through on the way (a move, then a
// resize); a window manager that refuses the geometry is followed after it.
// On a loaded machine those states can come seconds late.
constexpr double configure_patience_ms = 5000;

int to_gdk(int device) {
    return int(std::lround(double(device) / current().scale()));
}

// Whether a child window shows in its top-level: it and every window
// between it and the top-level are visible.
bool shown_in_root(HWnd window) {
    for (HWnd w = window; w && get_root(w) != w; w = get_parent(w))
        if (!(get_style(w) & WS_VISIBLE)) return false;
    return true;
}

} // namespace

GtkBackend& current() {
    return *running;
}

gboolean draw_surface(GtkWidget*, cairo_t* cr, gpointer data) {
    // A window without a surface has painted nothing (or only clear
    // pixels); the pre-edit text is drawn all the same.
    cairo_surface_t* surface = held_surface(GPOINTER_TO_UINT(data));
    double inverse = 1.0 / current().scale();
    cairo_save(cr);
    cairo_scale(cr, inverse, inverse);
    if (surface) {
        cairo_set_source_surface(cr, surface, 0, 0);
        cairo_paint(cr);
    }
    draw_preedit(GPOINTER_TO_UINT(data), cr);
    cairo_restore(cr);
    return FALSE;
}

GtkBackend::GtkBackend() {
    running = this;
    connect_settings();
    take_events_first();
    // A click in a bar's or slider's trough pages toward the pointer, as
    // the layer's controls do, rather than jumping there.
    g_object_set(gtk_settings_get_default(), "gtk-primary-button-warps-slider", FALSE, nullptr);
    defer([this] {
        refresh_monitors();
        GdkDisplay* display = gdk_display_get_default();
        int x = 0, y = 0;
        gdk_device_get_position(gdk_seat_get_pointer(gdk_display_get_default_seat(display)),
                                nullptr, &x, &y);
        input_pointer_move({x * scale_, y * scale_});
    });
}

GtkBackend::~GtkBackend() {
    drop_held_input();
    GtkSettings* settings = gtk_settings_get_default();
    for (gulong id : settings_handlers_) g_signal_handler_disconnect(settings, id);
    for (auto& [window, n] : natives_)
        if (n.toplevel) gtk_widget_destroy(n.toplevel);
    natives_.clear();
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    running = nullptr;
}

double GtkBackend::now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

void GtkBackend::run_deferred() {
    // One at a time: an action may run a nested loop that takes the next.
    while (!deferred_.empty()) {
        auto action = std::move(deferred_.front());
        deferred_.pop_front();
        action();
    }
}

void GtkBackend::pump() {
    // Bounded, so that sources that are always ready cannot hold the loop.
    for (int i = 0; i < 256 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
    run_deferred();
}

bool GtkBackend::wait(double timeout_ms) {
    if (deferred_.empty()) {
        guint timer = 0;
        if (timeout_ms >= 0)
            timer = g_timeout_add(
                guint(std::min(std::ceil(timeout_ms), double(G_MAXUINT))),
                [](gpointer id) {
                    *static_cast<guint*>(id) = 0;
                    return gboolean(G_SOURCE_REMOVE);
                },
                &timer);
        g_main_context_iteration(nullptr, TRUE);
        if (timer) g_source_remove(timer);
    }
    run_deferred();
    return true;
}

void GtkBackend::wake() {
    g_main_context_wakeup(nullptr);
}

double GtkBackend::double_click_ms() {
    gint ms = 400;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &ms, nullptr);
    return ms;
}

int GtkBackend::double_click_distance() {
    gint distance = 5;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-distance", &distance, nullptr);
    return distance * scale_;
}

Native* GtkBackend::native(HWnd window) {
    auto it = natives_.find(window);
    return it == natives_.end() ? nullptr : &it->second;
}

void GtkBackend::from_native(const std::function<void()>& change) {
    bool was = std::exchange(applying_native_, true);
    change();
    applying_native_ = was;
}

void GtkBackend::make_toplevel(Native& n) {
    n.toplevel = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    n.placer = placer_new();
    n.widget = n.placer;
    n.box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_end(GTK_BOX(n.box), n.placer, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(n.toplevel), n.box);
    gtk_widget_show(n.box);
    gtk_widget_set_app_paintable(n.toplevel, TRUE);
    g_signal_connect(n.placer, "draw", G_CALLBACK(draw_surface), GUINT_TO_POINTER(n.window));
    gtk_widget_show(n.placer);
    std::string title = get_window_text(n.window);
    gtk_window_set_title(GTK_WINDOW(n.toplevel), title.c_str());
    style_toplevel(n);
    connect_input(n);
    connect_gestures(n);
    g_signal_connect(n.toplevel, "set-focus", G_CALLBACK(on_set_focus), nullptr);
}

void GtkBackend::make_child(Native& n) {
    n.widget = make_control_view(n);
    if (!n.widget) {
        n.widget = gtk_drawing_area_new();
        g_signal_connect(n.widget, "draw", G_CALLBACK(draw_surface), GUINT_TO_POINTER(n.window));
        connect_pointer(n.widget);
    }
    g_object_ref_sink(n.widget);
    Native* top = native(n.root);
    if (top) placer_put(top->placer, n.widget, {0, 0, 1, 1});
}

void GtkBackend::window_created(HWnd window) {
    Native& n = natives_[window];
    n.window = window;
    n.root = get_root(window);
    if (n.root == window)
        make_toplevel(n);
    else
        make_child(n);
    place(window);
}

void GtkBackend::window_destroyed(HWnd window) {
    Native* n = native(window);
    if (!n) return;
    if (n->im) {
        gtk_im_context_set_client_window(n->im, nullptr);
        g_object_unref(n->im);
    }
    for (GtkWidget* bar : n->bars)
        if (bar && !n->toplevel) gtk_widget_destroy(bar);
    if (n->toplevel) {
        gtk_widget_destroy(n->toplevel);
    } else {
        gtk_widget_destroy(n->widget);
        g_object_unref(n->widget);
    }
    natives_.erase(window);
    painted_.erase(window);
}

// Moves and sizes a window's widget: a top-level's GtkWindow on the
// screen, a child's widget in its top-level's placer, clipped to the
// top-level's client area. GTK moves a top-level by the corner of the
// window manager's frame.
void GtkBackend::place(HWnd window) {
    Native* n = native(window);
    if (!n) return;
    Rect r = window_rect(window);
    if (n->toplevel) {
        Rect frame = window_frame(window);
        Point corner{r.left - frame.left, r.top - frame.top};
        n->asked = {corner.x, corner.y, corner.x + r.width(), corner.y + r.height()};
        n->asked_until = now_ms() + configure_patience_ms;
        gtk_window_move(GTK_WINDOW(n->toplevel), to_gdk(corner.x), to_gdk(corner.y));
        gtk_window_resize(GTK_WINDOW(n->toplevel), std::max(1, to_gdk(r.width())),
                          std::max(1, to_gdk(r.height())));
        gtk_widget_queue_draw(n->placer);
        Rect client = client_rect(window); // below a menu bar
        sync_window_bars(*n, n->placer, {0, 0, client.width(), client.height()});
        return;
    }
    Native* top = native(n->root);
    if (!top) return;
    // Placed in the client area, below a menu bar.
    Point origin = client_to_screen(n->root, {});
    Rect client = client_rect(n->root);
    Rect root{origin.x, origin.y, origin.x + client.width(), origin.y + client.height()};
    int left = r.left - root.left, top_edge = r.top - root.top;
    int right = std::min(r.right, root.right) - root.left;
    int bottom = std::min(r.bottom, root.bottom) - root.top;
    placer_place(top->placer, n->widget,
                 {to_gdk(left), to_gdk(top_edge), std::max(1, to_gdk(right - left)),
                  std::max(1, to_gdk(bottom - top_edge))});
    // A control shows its bars itself (a scrolled window's policy); a
    // hidden window shows none.
    if (!n->control && shown_in_root(window))
        sync_window_bars(*n, top->placer, {left, top_edge, right, bottom});
}

bool GtkBackend::configured_by_gtk(HWnd window, const Rect& r) {
    Native* n = native(window);
    if (!n) return false;
    if (r == n->asked) n->asked_until = 0;
    return now_ms() >= n->asked_until;
}

void GtkBackend::place_tree(HWnd window) {
    place(window);
    for (HWnd child : child_windows(window)) place_tree(child);
}

void GtkBackend::place_all() {
    for (HWnd top : top_level_windows()) place_tree(top);
}

void GtkBackend::window_geometry_changed(HWnd window) {
    if (applying_native_ && get_root(window) == window) {
        // GTK moved it: only the children follow.
        for (HWnd child : child_windows(window)) place_tree(child);
        return;
    }
    place_tree(window);
}

void GtkBackend::window_visibility_changed(HWnd window) {
    Native* n = native(window);
    if (!n) return;
    if (!n->toplevel) {
        show_tree(window, shown_in_root(window));
        return;
    }
    if (get_style(window) & WS_VISIBLE) {
        place(window);
        gtk_widget_show(n->toplevel);
    } else {
        gtk_widget_hide(n->toplevel);
    }
}

// Every widget of a top-level lies in its placer, beside those of the
// window's parent: a window hidden hides the widgets of its descendants
// (and their scroll bars) too, and shown shows those that are visible
// themselves.
void GtkBackend::show_tree(HWnd window, bool shown) {
    Native* n = native(window);
    if (!n) return;
    if (shown) {
        place(window);
        gtk_widget_show(n->widget);
    } else {
        gtk_widget_hide(n->widget);
        for (GtkWidget* bar : n->bars)
            if (bar) gtk_widget_hide(bar);
    }
    for (HWnd child : child_windows(window))
        show_tree(child, shown && (get_style(child) & WS_VISIBLE));
}

void GtkBackend::window_reparented(HWnd window) {
    if (Native* n = native(window); n && !n->toplevel) show_tree(window, shown_in_root(window));
}

void GtkBackend::window_text_changed(HWnd window) {
    Native* n = native(window);
    if (!n) return;
    std::string text = get_window_text(window);
    if (n->toplevel)
        gtk_window_set_title(GTK_WINDOW(n->toplevel), text.c_str());
    else
        sync_control_view(*n, ControlChange::text);
}

void GtkBackend::control_changed(HWnd window, ControlChange what) {
    Native* n = native(window);
    if (!n) return;
    if (n->control)
        sync_control_view(*n, what);
    else if (what == ControlChange::bars || what == ControlChange::range)
        place(window);
}

void GtkBackend::window_painted(HWnd window, const Rect& area) {
    Native* n = native(window);
    if (!n || !shows_surface(*n) || area.empty()) return;
    auto [it, first] = painted_.try_emplace(window, area);
    if (first) return;
    Rect& r = it->second;
    r = {std::min(r.left, area.left), std::min(r.top, area.top), std::max(r.right, area.right),
         std::max(r.bottom, area.bottom)};
}

bool GtkBackend::surface_shown(HWnd window) {
    Native* n = native(window);
    return !n || may_show_surface(*n);
}

void GtkBackend::paints_done() {
    for (auto& [window, area] : painted_) {
        Native* n = native(window);
        if (!n) continue;
        int left = int(std::floor(double(area.left) / scale_));
        int top = int(std::floor(double(area.top) / scale_));
        int right = int(std::ceil(double(area.right) / scale_));
        int bottom = int(std::ceil(double(area.bottom) / scale_));
        gtk_widget_queue_draw_area(n->widget, left, top, right - left, bottom - top);
    }
    painted_.clear();
}

// The control's widget drawn as GTK shows it, in GDK pixels scaled to the
// device pixels of `cr`; a widget not shown has nothing to draw.
bool GtkBackend::draw_control(HWnd window, cairo_t* cr, Point at) {
    Native* n = native(window);
    if (!n || !n->control || !gtk_widget_is_drawable(n->widget)) return false;
    cairo_save(cr);
    cairo_translate(cr, at.x, at.y);
    cairo_scale(cr, scale_, scale_);
    gtk_widget_draw(n->widget, cr);
    cairo_restore(cr);
    return true;
}

void GtkBackend::window_activated(HWnd window) {
    Native* n = native(window);
    if (n && n->toplevel && !applying_native_ && gtk_widget_get_visible(n->toplevel))
        gtk_window_present(GTK_WINDOW(n->toplevel));
}

// A grab is a round trip to the X server: while the pointer stays grabbed
// for the same top-level (capture passing from one face to another in it,
// as each press takes it), the grab it holds is kept.
void GtkBackend::capture_changed(HWnd window) {
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = gdk_display_get_default_seat(display);
    Native* top = window ? native(get_root(window)) : nullptr;
    GdkWindow* target = top ? gtk_widget_get_window(top->toplevel) : nullptr;
    if (target && target == grabbed_.get() && !gdk_window_is_destroyed(target) &&
        gdk_display_device_is_grabbed(display, gdk_seat_get_pointer(seat)))
        return;
    if (target)
        gdk_seat_grab(seat, target, GDK_SEAT_CAPABILITY_ALL_POINTING, TRUE, nullptr, nullptr,
                      nullptr, nullptr);
    else
        gdk_seat_ungrab(seat);
    grabbed_.reset(target ? GDK_WINDOW(g_object_ref(target)) : nullptr);
}

} // namespace kiv::gui::gtk

namespace {

// A variable of the environment GTK reads at start, set for the start only
// (where `wanted` and the user has not set it) and gone again afterwards,
// before any program is started from here.
class StartSetting {
  public:
    StartSetting(const char* name, const char* value, bool wanted)
        : name_(name), set_(wanted && !std::getenv(name)) {
        if (set_) setenv(name, value, 1);
    }
    ~StartSetting() {
        if (set_) unsetenv(name_);
    }
    StartSetting(const StartSetting&) = delete;
    StartSetting& operator=(const StartSetting&) = delete;

  private:
    const char* name_;
    bool set_;
};

} // namespace

// The module's entry point: starts GTK on the X11 display, without the
// program's arguments, and keeps numbers read and written with a point.
// Nothing here draws with OpenGL, so GDK is started with GL off (unless
// the user's environment says otherwise): its probe of GLX for the
// screen's visuals would load the system's GL driver, with Mesa's software
// one and LLVM some 55 MiB of a 95 MiB console. The accessibility bridge
// is left out, and GSettings kept in memory, only where they could reach
// no bus anyway.
extern "C" __attribute__((visibility("default"))) kiv::gui::Backend* kiv_gtk_backend_create() {
    static const bool started = [] {
        gdk_set_allowed_backends("x11");
        StartSetting gl("GDK_GL", "disable", true);
        kiv::gui::gtk::AccessibilityBus bus;
        StartSetting bridge("NO_AT_BRIDGE", "1", bus.leave_out_bridge());
        kiv::gui::gtk::keep_settings_without_bus();
        bool ok = gtk_init_check(nullptr, nullptr);
        std::setlocale(LC_NUMERIC, "C");
        return ok;
    }();
    return started ? new kiv::gui::gtk::GtkBackend() : nullptr;
}
