// What face windows ask of their GTK top-levels and widgets: the window
// flags (no title, no border, a utility popup, the window manager's
// buttons, an owner), transparency, and pointer shapes.
#include "gui/backend/gtk/gtk_backend.h"

#include "gui/backend/faces/base_face.h"
#include "gui/backend/faces/face_styles.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

namespace kiv::gui::gtk {

namespace {

using namespace faces;

// The window manager's functions from the window's styles.
void apply_functions(GtkWidget* toplevel, gpointer data) {
    uint32_t style = get_style(GPOINTER_TO_UINT(data));
    int functions = GDK_FUNC_MOVE;
    if (style & WS_THICKFRAME) functions |= GDK_FUNC_RESIZE;
    if (style & gui::WS_MINIMIZEBOX) functions |= GDK_FUNC_MINIMIZE;
    if (style & gui::WS_MAXIMIZEBOX) functions |= GDK_FUNC_MAXIMIZE;
    if (style & WS_SYSMENU) functions |= GDK_FUNC_CLOSE;
    if (GdkWindow* w = gtk_widget_get_window(toplevel))
        gdk_window_set_functions(w, GdkWMFunction(functions));
}

// The top-level paints its own background (it is app-paintable): a
// layered one is composed with its alpha when the screen composes windows;
// without a compositor its content is flattened over the panel colour,
// since X would show the unblended colour. Any other gets the theme's
// window background, which the menu bar above the client area shows
// through; unpainted, that strip would show the root window.
gboolean draw_background(GtkWidget* toplevel, cairo_t* cr, gpointer data) {
    HWnd window = GPOINTER_TO_UINT(data);
    if (!(get_ex_style(window) & gui::WS_EX_LAYERED)) {
        gtk_render_background(gtk_widget_get_style_context(toplevel), cr, 0, 0,
                              gtk_widget_get_allocated_width(toplevel),
                              gtk_widget_get_allocated_height(toplevel));
    } else {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        if (gdk_screen_is_composited(gtk_widget_get_screen(toplevel))) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
        } else {
            GdkRGBA panel{0.94, 0.94, 0.94, 1};
            gtk_style_context_lookup_color(gtk_widget_get_style_context(toplevel), "theme_bg_color",
                                           &panel);
            cairo_set_source_rgb(cr, panel.red, panel.green, panel.blue);
        }
        cairo_paint(cr);
        cairo_restore(cr);
    }
    return FALSE;
}

// No title: a 1-pixel frame drawn over the window's edge, after its
// content.
gboolean draw_frame(GtkWidget* toplevel, cairo_t* cr, gpointer) {
    int width = gtk_widget_get_allocated_width(toplevel);
    int height = gtk_widget_get_allocated_height(toplevel);
    cairo_save(cr);
    cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, width - 1, height - 1);
    cairo_stroke(cr);
    cairo_restore(cr);
    return FALSE;
}

// The visual that carries alpha when the screen composes windows.
void choose_visual(GtkWidget* toplevel, HWnd window) {
    GdkScreen* screen = gtk_widget_get_screen(toplevel);
    GdkVisual* rgba = gdk_screen_get_rgba_visual(screen);
    bool alpha =
        (get_ex_style(window) & gui::WS_EX_LAYERED) && rgba && gdk_screen_is_composited(screen);
    gtk_widget_set_visual(toplevel, alpha ? rgba : gdk_screen_get_system_visual(screen));
}

// A compositor came or went: the window is realised again with the
// visual that fits.
void composited_changed(GdkScreen*, gpointer toplevel) {
    HWnd window = GPOINTER_TO_UINT(g_object_get_data(G_OBJECT(toplevel), "kiv-window"));
    Native* n = current().native(window);
    if (!n || !n->toplevel) return;
    bool shown = gtk_widget_get_visible(n->toplevel);
    gtk_widget_hide(n->toplevel);
    gtk_widget_unrealize(n->toplevel);
    choose_visual(n->toplevel, window);
    if (shown) gtk_widget_show(n->toplevel);
}

struct CursorName {
    int kind;
    const char* name;
};
constexpr CursorName cursor_names[] = {
    {cursor_arrow, "default"},   {cursor_ibeam, "text"},          {cursor_hand, "pointer"},
    {cursor_cross, "crosshair"}, {cursor_resize_ns, "ns-resize"}, {cursor_resize_ew, "ew-resize"},
};

} // namespace

void style_toplevel(Native& n) {
    GtkWindow* toplevel = GTK_WINDOW(n.toplevel);
    uint32_t style = get_style(n.window), ex_style = get_ex_style(n.window);
    gpointer window = GUINT_TO_POINTER(n.window);
    if (style & WS_POPUP) gtk_window_set_decorated(toplevel, FALSE);
    if (ex_style & WS_EX_TOOLWINDOW)
        gtk_window_set_type_hint(toplevel, GDK_WINDOW_TYPE_HINT_UTILITY);
    if (Native* owner = current().native(get_owner(n.window)); owner && owner->toplevel)
        gtk_window_set_transient_for(toplevel, GTK_WINDOW(owner->toplevel));
    choose_visual(n.toplevel, n.window);
    g_signal_connect(n.toplevel, "realize", G_CALLBACK(apply_functions), window);
    g_signal_connect(n.toplevel, "draw", G_CALLBACK(draw_background), window);
    if ((style & WS_POPUP) && (style & WS_BORDER))
        g_signal_connect_after(n.toplevel, "draw", G_CALLBACK(draw_frame), nullptr);
    if (ex_style & gui::WS_EX_LAYERED) {
        g_object_set_data(G_OBJECT(n.toplevel), "kiv-window", window);
        g_signal_connect_object(gtk_widget_get_screen(n.toplevel), "composited-changed",
                                G_CALLBACK(composited_changed), n.toplevel, GConnectFlags(0));
    }
}

void GtkBackend::window_cursor(HWnd window, int kind, cairo_surface_t* image) {
    Native* n = native(window);
    GdkWindow* w = n ? gtk_widget_get_window(n->widget) : nullptr;
    if (!w) return;
    GdkDisplay* display = gdk_window_get_display(w);
    GdkCursor* cursor = nullptr;
    if (kind == cursor_image && image) {
        cursor =
            gdk_cursor_new_from_surface(display, image, cairo_image_surface_get_width(image) / 2.0,
                                        cairo_image_surface_get_height(image) / 2.0);
    } else {
        for (const CursorName& c : cursor_names)
            if (c.kind == kind) cursor = gdk_cursor_new_from_name(display, c.name);
    }
    gdk_window_set_cursor(w, cursor);
    if (cursor) g_object_unref(cursor);
}

} // namespace kiv::gui::gtk
