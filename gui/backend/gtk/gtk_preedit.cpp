// The input method's pre-edit text of a top-level, shown by the layer as
// an input method's composition window is: over the window it composes in
// (the one with the keyboard), at the caret, in that window's composition
// font (GTK's default font when it has none), on the window colour with
// the input method's underlines. Controls show their own.
#include "gui/backend/gtk/gtk_backend.h"

#include "gui/backend/gui_init.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/window_layer.h"

#include <string>

namespace kiv::gui::gtk {

namespace {

struct Preedit {
    HWnd window = 0;
    std::string text;
    PangoAttrList* attrs = nullptr;
};
Preedit shown;

void redraw(HWnd window) {
    if (Native* n = window ? current().native(window) : nullptr) gtk_widget_queue_draw(n->widget);
}

void set_source(cairo_t* cr, uint32_t rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         (rgb & 0xFF) / 255.0);
}

} // namespace

void on_preedit_changed(GtkIMContext* im, gpointer) {
    gchar* text = nullptr;
    PangoAttrList* attrs = nullptr;
    gtk_im_context_get_preedit_string(im, &text, &attrs, nullptr);
    redraw(shown.window);
    if (shown.attrs) pango_attr_list_unref(shown.attrs);
    HWnd focus = get_focus();
    shown = {focus ? focus : get_active_window(), text ? text : "", attrs};
    g_free(text);
    redraw(shown.window);
}

void draw_preedit(HWnd window, cairo_t* cr) {
    if (window != shown.window || shown.text.empty()) return;
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_layout_set_text(layout, shown.text.c_str(), -1);
    pango_layout_set_attributes(layout, shown.attrs);
    auto* font = reinterpret_cast<text::Font*>(get_composition_font(window));
    PangoFontDescription* fallback =
        font ? nullptr : pango_font_description_from_string(current().font_name().c_str());
    pango_layout_set_font_description(layout, font ? font->description : fallback);
    Point at = caret_owner() == window ? get_caret_pos() : Point{};
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    Metrics colors = system_metrics();
    set_source(cr, colors.window);
    cairo_rectangle(cr, at.x, at.y, width, height);
    cairo_fill(cr);
    set_source(cr, colors.text);
    cairo_move_to(cr, at.x, at.y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    if (fallback) pango_font_description_free(fallback);
}

} // namespace kiv::gui::gtk
