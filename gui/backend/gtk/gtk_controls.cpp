// The GTK views of the built-in controls: each model mirrored in one
// widget. The layer writes its model into the widget with the widget's
// handlers silent; a handler that hears the user records the matching
// user action, which runs once the GTK callback has returned and sends the
// control's notifications.
#include "gui/backend/gtk/gtk_controls.h"
#include "gui/backend/gtk/gtk_placer.h"

#include "gui/backend/control_actions.h"
#include "gui/backend/menus.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kiv::gui::gtk {

// ---- Buttons and static text

namespace {

uint32_t button_type(HWnd w) {
    return get_style(w) & BS_TYPEMASK;
}

bool is_check_type(uint32_t type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
           type == BS_AUTO3STATE;
}

void on_button_clicked(GtkButton*, gpointer data) {
    HWnd w = window_of(data);
    Native* n = current().native(w);
    if (!n || n->syncing) return;
    // GTK has already turned a toggle over; the model decides, and the
    // view follows it (a manual check box or radio button stays as it was).
    current().defer([w] {
        user_click(w);
        if (Native* after = current().native(w)) sync_control_view(*after, ControlChange::check);
    });
}

// The picture of the button's image list for the state GTK shows it in.
void show_state_picture(GtkWidget* button, HWnd w) {
    const ButtonModel* m = control_model<ButtonModel>(w);
    HImageList list = m ? m->images.list : 0;
    GtkWidget* image = gtk_button_get_image(GTK_BUTTON(button));
    if (!image_list_count(list)) {
        if (image) gtk_button_set_image(GTK_BUTTON(button), nullptr);
        return;
    }
    GtkStateFlags flags = gtk_widget_get_state_flags(button);
    ButtonLook look = flags & GTK_STATE_FLAG_INSENSITIVE ? ButtonLook::disabled
                      : flags & GTK_STATE_FLAG_ACTIVE    ? ButtonLook::pressed
                      : flags & GTK_STATE_FLAG_PRELIGHT  ? ButtonLook::hot
                                                         : ButtonLook::normal;
    if (!image) {
        image = gtk_image_new();
        gtk_button_set_image(GTK_BUTTON(button), image);
        gtk_button_set_always_show_image(GTK_BUTTON(button), TRUE);
    }
    gtk_image_set_from_surface(GTK_IMAGE(image), image_list_picture(list, image_slot(list, look)));
}

void on_state_flags(GtkWidget* button, GtkStateFlags, gpointer data) {
    show_state_picture(button, window_of(data));
}

// A caption the face code drew (into the window's surface) goes over
// GTK's drawing of the button, whose own caption is then empty.
gboolean draw_own_caption(GtkWidget* button, cairo_t* cr, gpointer data) {
    const ButtonModel* m = control_model<ButtonModel>(window_of(data));
    if (m && m->own_caption) draw_surface(button, cr, data);
    return FALSE;
}

} // namespace

bool shows_surface(const Native& n) {
    if (!n.control) return true;
    const ButtonModel* m = control_model<ButtonModel>(n.window);
    return m && m->own_caption;
}

bool may_show_surface(const Native& n) {
    return !n.control || control_kind(n.window) == ControlKind::button;
}

namespace {

// A radio button alone in its group but for a hidden partner: GTK never
// turns off the only radio button of a group, so turning the partner on
// turns it off.
GtkWidget* make_radio(const std::string& text) {
    GtkWidget* radio = gtk_radio_button_new_with_label(nullptr, text.c_str());
    GtkWidget* partner = gtk_radio_button_new_from_widget(GTK_RADIO_BUTTON(radio));
    g_object_ref_sink(partner);
    g_object_set_data_full(G_OBJECT(radio), "kiv-partner", partner, g_object_unref);
    return radio;
}

GtkWidget* make_button(HWnd w) {
    uint32_t type = button_type(w);
    std::string text = caption_text(get_window_text(w));
    GtkWidget* widget;
    if (type == BS_GROUPBOX) return gtk_frame_new(text.c_str());
    if (is_check_type(type) && (get_style(w) & BS_PUSHLIKE))
        widget = gtk_toggle_button_new_with_label(text.c_str());
    else if (is_check_type(type))
        widget = gtk_check_button_new_with_label(text.c_str());
    else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)
        widget = make_radio(text);
    else
        widget = gtk_button_new_with_label(text.c_str());
    g_signal_connect(widget, "clicked", G_CALLBACK(on_button_clicked), window_data(w));
    g_signal_connect(widget, "state-flags-changed", G_CALLBACK(on_state_flags), window_data(w));
    g_signal_connect_after(widget, "draw", G_CALLBACK(draw_own_caption), window_data(w));
    return widget;
}

void sync_button(Native& n, ControlChange what) {
    const ButtonModel* m = control_model<ButtonModel>(n.window);
    if (!m) return;
    if (what == ControlChange::text || what == ControlChange::look) {
        std::string text = m->own_caption ? std::string() : caption_text(get_window_text(n.window));
        if (GTK_IS_FRAME(n.control)) {
            gtk_frame_set_label(GTK_FRAME(n.control), text.c_str());
        } else {
            // GTK makes a new label at every setting, even of the same text.
            const char* shown = gtk_button_get_label(GTK_BUTTON(n.control));
            if (!shown || text != shown) gtk_button_set_label(GTK_BUTTON(n.control), text.c_str());
            show_state_picture(n.control, n.window);
        }
    }
    if (auto* partner = g_object_get_data(G_OBJECT(n.control), "kiv-partner");
        partner && m->check != BST_CHECKED) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(partner), TRUE);
    } else if (GTK_IS_TOGGLE_BUTTON(n.control)) {
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(n.control), m->check == BST_CHECKED);
        gtk_toggle_button_set_inconsistent(GTK_TOGGLE_BUTTON(n.control),
                                           m->check == BST_INDETERMINATE);
    }
}

GtkWidget* make_label(HWnd w) {
    GtkWidget* label = gtk_label_new(get_window_text(w).c_str());
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    gtk_label_set_yalign(GTK_LABEL(label), 0);
    return label;
}

void sync_label(Native& n, ControlChange what) {
    if (what != ControlChange::text && what != ControlChange::look) return;
    std::string text = get_window_text(n.window);
    if (text != gtk_label_get_text(GTK_LABEL(n.control)))
        gtk_label_set_text(GTK_LABEL(n.control), text.c_str());
    uint32_t style = get_style(n.window);
    uint32_t align = style & 0x3; // left, centre, right
    gtk_label_set_xalign(GTK_LABEL(n.control), align == 1 ? 0.5f : align == 2 ? 1.0f : 0.0f);
    // Lines wrap at words, or each stays one line cut by an ellipsis.
    bool ellipsis = style & SS_ENDELLIPSIS;
    gtk_label_set_line_wrap(GTK_LABEL(n.control), !ellipsis);
    gtk_label_set_ellipsize(GTK_LABEL(n.control),
                            ellipsis ? PANGO_ELLIPSIZE_END : PANGO_ELLIPSIZE_NONE);
}

// ---- Progress bars

GtkWidget* make_progress(HWnd w) {
    GtkWidget* bar = gtk_progress_bar_new();
    if (get_style(w) & PBS_VERTICAL) {
        gtk_orientable_set_orientation(GTK_ORIENTABLE(bar), GTK_ORIENTATION_VERTICAL);
        gtk_progress_bar_set_inverted(GTK_PROGRESS_BAR(bar), TRUE);
    }
    return bar;
}

void sync_progress(Native& n, ControlChange) {
    const ProgressModel* m = control_model<ProgressModel>(n.window);
    if (!m) return;
    double span = double(m->max) - m->min;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(n.control),
                                  span > 0 ? (double(m->pos) - m->min) / span : 0.0);
}

struct View {
    ControlKind kind;
    GtkWidget* (*make)(HWnd);
    void (*sync)(Native&, ControlChange);
};
constexpr View views[] = {
    {ControlKind::button, make_button, sync_button},
    {ControlKind::static_text, make_label, sync_label},
    {ControlKind::progress, make_progress, sync_progress},
    {ControlKind::edit, make_edit, sync_edit},
    {ControlKind::list, make_list, sync_list},
    {ControlKind::combo, make_combo, sync_combo},
    {ControlKind::scroll_bar, make_scroll_bar, sync_scroll_bar},
    {ControlKind::trackbar, make_slider, sync_slider},
    {ControlKind::tabs, make_tabs, sync_tabs},
    {ControlKind::calendar, make_calendar, sync_calendar},
};

const View* view_of(HWnd w) {
    ControlKind kind = control_kind(w);
    for (auto& v : views)
        if (v.kind == kind) return &v;
    return nullptr;
}

} // namespace

namespace {

std::string css_color(uint32_t argb) {
    char text[64];
    std::snprintf(text, sizeof text, "rgba(%u,%u,%u,%.3f)", (argb >> 16) & 0xFF, (argb >> 8) & 0xFF,
                  argb & 0xFF, double((argb >> 24) & 0xFF) / 255.0);
    return text;
}

// What stands for the class's selector in the CSS of a look.
constexpr std::string_view look_selector = "%LOOK%";

// The style class of a look (the CSS of a control's colours and font,
// with look_selector standing for the class). Each distinct look is one
// provider for the whole screen, made the first time a control takes it
// and kept: controls that look alike share it, so a control costs GTK no
// provider, no cascade of its own, and keeps the styles GTK shares
// between siblings.
const char* look_class(GdkScreen* screen, const std::string& rules) {
    static std::unordered_map<std::string, std::string> classes;
    auto [entry, fresh] = classes.try_emplace(rules);
    if (fresh) {
        entry->second = "kiv-look-" + std::to_string(classes.size());
        std::string name = "." + entry->second;
        std::string css = rules;
        for (size_t at = css.find(look_selector); at != std::string::npos;
             at = css.find(look_selector, at + name.size()))
            css.replace(at, look_selector.size(), name);
        GtkCssProvider* provider = gtk_css_provider_new();
        gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
        gtk_style_context_add_provider_for_screen(screen, GTK_STYLE_PROVIDER(provider),
                                                  GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
        g_object_unref(provider);
    }
    return entry->second.c_str();
}

// The declarations of a control's colours, from its parent, and font.
std::string color_and_font(HWnd window, const ControlColors& colors) {
    std::string rules;
    if (colors.has_text) rules += "color:" + css_color(colors.text) + ";";
    if (colors.has_back)
        rules += "background-color:" + css_color(colors.back) + ";background-image:none;";
    return rules + control_font_css(window);
}

// The CSS of a control's look: its colours and font reach the control's
// own nodes and those of the widgets inside it (a button's label), as a
// provider of the control's own would, but for the box and mark of a
// check box or radio button, which keep the theme's look over the
// control's colours. The theme's least sizes are lifted: a control takes
// the size its face gives it (Adwaita makes a button at least 34 px high,
// which grew a dialog past its face).
std::string control_css(HWnd window, const ControlColors& colors) {
    std::string sel(look_selector);
    return sel + ", " + sel + " *:not(check):not(radio) {min-height:0;min-width:0;" +
           color_and_font(window, colors) + "}";
}

// A combo box's arrow keeps its size: it is an icon, and the button
// shows nothing without it; the button loses its padding above and below
// instead, so that it fits a field's height.
std::string combo_css(HWnd window, const ControlColors& colors) {
    std::string sel(look_selector);
    return sel + ", " + sel + " * {" + color_and_font(window, colors) + "}" + sel + ", " + sel +
           " *:not(arrow) {min-height:0;min-width:0;}" + sel +
           " button {padding-top:0;padding-bottom:0;}";
}

// A scroll bar's parts keep the theme's sizes and colours (a thumb of no
// size, or of the trough's colour, would not show); its colour is the
// trough's, as a system scroll bar's brush paints only that. It has
// arrows at both ends, which the theme leaves out.
std::string scroll_bar_css(const ControlColors& colors) {
    std::string sel(look_selector);
    std::string css = sel + " {min-height:0;min-width:0;-GtkScrollbar-has-backward-stepper:true;"
                            "-GtkScrollbar-has-forward-stepper:true;}";
    if (colors.has_back)
        css += sel + " trough {background-color:" + css_color(colors.back) +
               ";background-image:none;}";
    return css;
}

// The control's look as a style class.
void apply_look(Native& n) {
    ControlColors colors = control_colors(n.window);
    std::string rules = GTK_IS_SCROLLBAR(n.control)   ? scroll_bar_css(colors)
                        : GTK_IS_COMBO_BOX(n.control) ? combo_css(n.window, colors)
                                                      : control_css(n.window, colors);
    // A scrolled control's look is its content's: its scroll bars keep the
    // theme's sizes, or their thumb would shrink to nothing.
    GtkWidget* styled =
        GTK_IS_SCROLLED_WINDOW(n.control) ? gtk_bin_get_child(GTK_BIN(n.control)) : n.control;
    const char* look = look_class(gtk_widget_get_screen(styled), rules);
    auto* was = static_cast<const char*>(g_object_get_data(G_OBJECT(styled), "kiv-look"));
    if (was == look) return;
    GtkStyleContext* style = gtk_widget_get_style_context(styled);
    if (was) gtk_style_context_remove_class(style, was);
    gtk_style_context_add_class(style, look);
    g_object_set_data(G_OBJECT(styled), "kiv-look", const_cast<char*>(look));
}

} // namespace

void on_set_focus(GtkWindow*, GtkWidget* widget, gpointer) {
    HWnd control = control_window_of(widget);
    if (!control) return;
    current().defer([control] {
        if (is_window(control) && get_focus() != control)
            current().from_native([control] { set_focus(control); });
    });
}

HWnd window_of(gpointer data) {
    return GPOINTER_TO_UINT(data);
}

gpointer window_data(HWnd w) {
    return GUINT_TO_POINTER(w);
}

bool user_heard(gpointer data) {
    Native* n = current().native(window_of(data));
    return n && !n->syncing;
}

GtkWidget* classic_scroller() {
    GtkWidget* scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_overlay_scrolling(GTK_SCROLLED_WINDOW(scroller), FALSE);
    return scroller;
}

GtkWidget* make_control_view(Native& n) {
    const View* view = view_of(n.window);
    if (!view) return nullptr;
    n.control = view->make(n.window);
    // The control lies in a clip: the face window's own GDK window, which
    // clips it and takes its input as a child window.
    GtkWidget* box = clip_new();
    g_object_set_data(G_OBJECT(box), "kiv-control", window_data(n.window));
    gtk_container_add(GTK_CONTAINER(box), n.control);
    gtk_widget_show_all(n.control);
    for (ControlChange what : {ControlChange::items, ControlChange::text, ControlChange::range,
                               ControlChange::current, ControlChange::check, ControlChange::look})
        sync_control_view(n, what);
    return box;
}

namespace {

// A control looks disabled when it or a face holding it is disabled; a
// disabled top-level (behind a modal window) keeps its look.
bool looks_enabled(HWnd window) {
    for (HWnd w = window; w && get_parent(w); w = get_parent(w))
        if (!is_enabled(w)) return false;
    return true;
}

} // namespace

void sync_control_view(Native& n, ControlChange what) {
    const View* view = view_of(n.window);
    if (!view || !n.control) return;
    bool was = std::exchange(n.syncing, true);
    view->sync(n, what);
    gtk_widget_set_sensitive(n.control, looks_enabled(n.window));
    if (what == ControlChange::look) apply_look(n);
    n.syncing = was;
}

} // namespace kiv::gui::gtk
