// The room GTK's views of text controls take around their text: each view
// is measured beside a plain label of the same text, both styled as the
// controls are (the given font, the theme's least sizes lifted), so that
// layout makes every control as large as GTK draws it; a calendar's room
// is what it needs beyond its face's default size.
#include "gui/backend/gtk/gtk_backend.h"

#include <algorithm>

namespace kiv::gui::gtk {

namespace {

GtkWidget* make_button(const char* text) {
    return gtk_button_new_with_label(text);
}

GtkWidget* make_toggle(const char* text) {
    return gtk_toggle_button_new_with_label(text);
}

GtkWidget* make_check(const char* text) {
    return gtk_check_button_new_with_label(text);
}

GtkWidget* make_radio(const char* text) {
    return gtk_radio_button_new_with_label(nullptr, text);
}

GtkWidget* make_entry(const char* text) {
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), text);
    return entry;
}

// A control type of the layout, its GTK view, and where the view's room
// lies: around the text, or all to the left (a check's box).
struct Sample {
    const char* type;
    GtkWidget* (*make)(const char*);
    bool indicator;
};
constexpr Sample samples[] = {
    {"button", make_button, false}, {"toggle", make_toggle, false}, {"check", make_check, true},
    {"radio", make_radio, true},    {"field", make_entry, false},
};

constexpr const char* sample_text = "Xy";

void style(GtkWidget* widget, GtkCssProvider* provider) {
    gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                   GTK_STYLE_PROVIDER(provider),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (GTK_IS_BIN(widget) && gtk_bin_get_child(GTK_BIN(widget)))
        style(gtk_bin_get_child(GTK_BIN(widget)), provider);
}

struct Natural {
    int width = 0, height = 0;
};

Natural natural(GtkWidget* widget) {
    Natural n;
    gtk_widget_get_preferred_width(widget, nullptr, &n.width);
    gtk_widget_get_preferred_height(widget, nullptr, &n.height);
    return n;
}

// An entry asks for a width of so many characters, whatever its text: its
// room across is its padding and border.
int entry_room(GtkWidget* entry) {
    GtkStyleContext* style = gtk_widget_get_style_context(entry);
    GtkStateFlags state = gtk_style_context_get_state(style);
    GtkBorder padding, border;
    gtk_style_context_get_padding(style, state, &padding);
    gtk_style_context_get_border(style, state, &border);
    return padding.left + padding.right + border.left + border.right;
}

// A calendar holds no text: its room is what GTK's calendar needs beyond
// the face layout makes for it without any (the style's 139x148, a pixel
// of margin across), so that the calendar is drawn whole in its face.
constexpr int calendar_face_width = 140, calendar_face_height = 148;

ControlPadding calendar_room(GtkWidget* calendar) {
    Natural view = natural(calendar);
    return {"calendar", std::max(0, view.width - calendar_face_width), 0,
            std::max(0, view.height - calendar_face_height), 0};
}

} // namespace

std::vector<ControlPadding> GtkBackend::control_paddings(const std::string& font_css) {
    // No icons: a check's indicator measures by its icon size, not its
    // image, and the theme's check mark is an SVG whose loader (librsvg,
    // libxml2, ICU) would be some 9 MB resident from start for nothing.
    GtkCssProvider* provider = gtk_css_provider_new();
    std::string css = "* {min-height:0;min-width:0;-gtk-icon-source:none;" + font_css + "}";
    gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
    // Measured inside a window, where the theme reaches them.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    GtkWidget* label = gtk_label_new(sample_text);
    style(label, provider);
    gtk_container_add(GTK_CONTAINER(box), label);
    std::vector<GtkWidget*> views;
    for (const Sample& s : samples) {
        views.push_back(s.make(sample_text));
        style(views.back(), provider);
        gtk_container_add(GTK_CONTAINER(box), views.back());
    }
    GtkWidget* calendar = gtk_calendar_new();
    style(calendar, provider);
    gtk_container_add(GTK_CONTAINER(box), calendar);
    gtk_widget_show_all(box); // hidden widgets measure 0
    Natural text = natural(label);
    std::vector<ControlPadding> out;
    for (size_t i = 0; i < views.size(); ++i) {
        const Sample& s = samples[i];
        Natural view = natural(views[i]);
        // One pixel more across: GTK rounds a text's width up to whole
        // pixels, the layout keeps its fraction.
        int across = 1 + (GTK_IS_ENTRY(views[i]) ? entry_room(views[i])
                                                 : std::max(0, view.width - text.width));
        int down = std::max(0, view.height - text.height);
        int left = s.indicator ? across : across / 2;
        out.push_back({s.type, left, across - left, down / 2, down - down / 2});
    }
    out.push_back(calendar_room(calendar));
    gtk_widget_destroy(window);
    g_object_unref(provider);
    return out;
}

} // namespace kiv::gui::gtk
