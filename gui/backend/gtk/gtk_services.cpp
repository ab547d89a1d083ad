// What GTK tells about the desktop: monitors and their DPI, theme metrics
// and colours, composition, the caret's blink time, dark mode; and the
// modal message box.
#include "gui/backend/gtk/gtk_backend.h"

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <gdk/gdkx.h>

#include <cmath>
#include <string>

namespace kiv::gui::gtk {

namespace {

Rect device(const GdkRectangle& r, int scale) {
    return {r.x * scale, r.y * scale, (r.x + r.width) * scale, (r.y + r.height) * scale};
}

// A colour integer (R in the low byte) from a theme colour.
uint32_t color_of(GtkStyleContext* style, const char* name, uint32_t fallback) {
    GdkRGBA c;
    if (!gtk_style_context_lookup_color(style, name, &c)) return fallback;
    auto byte = [](double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return byte(c.red) | byte(c.green) << 8 | byte(c.blue) << 16;
}

std::string theme_name() {
    gchar* name = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-theme-name", &name, nullptr);
    std::string result = name ? name : "";
    g_free(name);
    return result;
}

void on_monitors_changed() {
    current().defer([] { current().refresh_monitors(); });
}

// The theme's scroll bar sizes (unscaled) and colours, measured once per
// theme: measuring makes a window with two scroll bars, far too slow for
// every change of a scroll bar's range.
struct ThemeMeasure {
    bool valid = false;
    int scroller_width = 0, scroller_height = 0;
    uint32_t text = 0, window = 0, panel = 0;
};

ThemeMeasure& theme_measure() {
    static ThemeMeasure measure;
    return measure;
}

// A window and its children painted again, each whole.
void invalidate_tree(HWnd window) {
    invalidate_rect(window, nullptr, true);
    for (HWnd child : child_windows(window)) invalidate_tree(child);
}

// The windows the layer paints take the new theme's colours at once: a
// face without a colour of its own shows the theme's panel colour, read
// again after the change.
void on_theme_changed() {
    theme_measure().valid = false;
    current().defer([] {
        for (HWnd top : top_level_windows()) {
            send_message(top, WM_THEMECHANGED, 0, 0);
            invalidate_tree(top);
        }
    });
}

void on_font_changed() {
    current().defer([] { settings_changed(); });
}

} // namespace

void GtkBackend::refresh_monitors() {
    GdkDisplay* display = gdk_display_get_default();
    double resolution = gdk_screen_get_resolution(gdk_screen_get_default());
    if (resolution <= 0) resolution = 96;
    std::vector<MonitorDesc> list;
    for (int i = 0, n = gdk_display_get_n_monitors(display); i < n; ++i) {
        GdkMonitor* m = gdk_display_get_monitor(display, i);
        // A monitor keeps its key, hence its handle, for its whole life.
        auto* key = static_cast<const char*>(g_object_get_data(G_OBJECT(m), "kiv-monitor"));
        if (!key) {
            std::string made = "monitor-" + std::to_string(next_monitor_key_++);
            g_object_set_data_full(G_OBJECT(m), "kiv-monitor", g_strdup(made.c_str()), g_free);
            key = static_cast<const char*>(g_object_get_data(G_OBJECT(m), "kiv-monitor"));
        }
        int scale = gdk_monitor_get_scale_factor(m);
        GdkRectangle area, work;
        gdk_monitor_get_geometry(m, &area);
        gdk_monitor_get_workarea(m, &work);
        if (i == 0) scale_ = scale;
        list.push_back({key, device(area, scale), device(work, scale), double(scale),
                        96.0 * scale * resolution / 96.0});
    }
    set_monitors(list);
}

void GtkBackend::connect_settings() {
    GtkSettings* settings = gtk_settings_get_default();
    auto connect = [&](const char* signal, void (*handler)()) {
        settings_handlers_.push_back(
            g_signal_connect_swapped(settings, signal, G_CALLBACK(handler), nullptr));
    };
    connect("notify::gtk-xft-dpi", on_monitors_changed);
    connect("notify::gtk-theme-name", on_theme_changed);
    connect("notify::gtk-font-name", on_font_changed);
    connect("notify::gtk-application-prefer-dark-theme", on_theme_changed);
    GdkDisplay* display = gdk_display_get_default();
    g_signal_connect_swapped(display, "monitor-added", G_CALLBACK(on_monitors_changed), nullptr);
    g_signal_connect_swapped(display, "monitor-removed", G_CALLBACK(on_monitors_changed), nullptr);
    g_signal_connect_swapped(gdk_screen_get_default(), "monitors-changed",
                             G_CALLBACK(on_monitors_changed), nullptr);
}

bool GtkBackend::theme_metrics(Metrics& m) {
    ThemeMeasure& t = theme_measure();
    if (!t.valid) {
        // Scroll bars are measured inside a window, where the theme reaches them.
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0);
        GtkWidget* vertical = gtk_scrollbar_new(GTK_ORIENTATION_VERTICAL, nullptr);
        GtkWidget* horizontal = gtk_scrollbar_new(GTK_ORIENTATION_HORIZONTAL, nullptr);
        gtk_container_add(GTK_CONTAINER(window), box);
        gtk_container_add(GTK_CONTAINER(box), vertical);
        gtk_container_add(GTK_CONTAINER(box), horizontal);
        gtk_widget_show_all(box); // hidden widgets measure 0
        int minimum = 0;
        gtk_widget_get_preferred_width(vertical, &minimum, &t.scroller_width);
        gtk_widget_get_preferred_height(horizontal, &minimum, &t.scroller_height);
        GtkStyleContext* style = gtk_widget_get_style_context(window);
        t.text = color_of(style, "theme_text_color", m.text);
        t.window = color_of(style, "theme_base_color", m.window);
        t.panel = color_of(style, "theme_bg_color", m.panel);
        gtk_widget_destroy(window);
        t.valid = true;
    }
    m.scroller_width = t.scroller_width * scale_;
    m.scroller_height = t.scroller_height * scale_;
    m.text = t.text;
    m.window = t.window;
    m.panel = t.panel;
    return true;
}

std::string GtkBackend::font_name() {
    gchar* name = nullptr;
    g_object_get(gtk_settings_get_default(), "gtk-font-name", &name, nullptr);
    std::string out = name ? name : "";
    g_free(name);
    return out;
}

bool GtkBackend::composited() {
    return gdk_screen_is_composited(gdk_screen_get_default());
}

int GtkBackend::caret_blink_ms() {
    gboolean blink = TRUE;
    gint cycle = 1200;
    g_object_get(gtk_settings_get_default(), "gtk-cursor-blink", &blink, "gtk-cursor-blink-time",
                 &cycle, nullptr);
    return blink ? cycle / 2 : -1;
}

bool GtkBackend::support_dark_mode() {
    return theme_name().rfind("HighContrast", 0) != 0;
}

void GtkBackend::set_dark_mode(HWnd window, bool dark, bool window_face) {
    g_object_set(gtk_settings_get_default(), "gtk-application-prefer-dark-theme", gboolean(dark),
                 nullptr);
    Native* n = native(get_root(window));
    if (!window_face || !n || !n->toplevel) return;
    gtk_widget_realize(n->toplevel);
    static char dark_variant[] = "dark";
    gdk_x11_window_set_theme_variant(gtk_widget_get_window(n->toplevel),
                                     dark ? dark_variant : nullptr);
}

bool GtkBackend::alert(std::string_view caption, std::string_view text) {
    gchar* valid_text = g_utf8_make_valid(text.data(), gssize(text.size()));
    gchar* valid_caption = g_utf8_make_valid(caption.data(), gssize(caption.size()));
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_OK, "%s", valid_text);
    gtk_window_set_title(GTK_WINDOW(dialog), valid_caption);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    g_free(valid_text);
    g_free(valid_caption);
    return true;
}

} // namespace kiv::gui::gtk
