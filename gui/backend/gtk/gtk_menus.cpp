// Menus on GTK: a window's bar is a GtkMenuBar above its placer, popups
// are GtkMenus shown at a point; both are built from the layer's menu
// models. Highlighting an item posts WM_MENUSELECT, choosing a bar item
// posts it with WM_COMMAND; a popup's choice is answered to the layer.
#include "gui/backend/gtk/gtk_backend.h"

#include "gui/backend/menus.h"
#include "gui/backend/window_layer.h"

#include <algorithm>
#include <set>
#include <utility>

namespace kiv::gui::gtk {

namespace {

// What a popup being shown answers.
struct PopupRun {
    bool closed = false;
    std::optional<MenuChoice> choice;
};

// The item a GtkMenuItem stands for.
struct ItemRef {
    HWnd owner;
    HMenu menu;
    uint32_t position;
    PopupRun* popup; // null for a menu bar
};

void on_select(GtkMenuItem* item, gpointer) {
    auto* ref = static_cast<ItemRef*>(g_object_get_data(G_OBJECT(item), "kiv-item"));
    if (!ref->popup) {
        Native* top = current().native(ref->owner);
        if (top && !top->bar_open) {
            top->bar_open = true;
            HWnd owner = ref->owner;
            current().defer([owner] { menu_loop_entered(owner, false); });
        }
    }
    menu_item_selected(ref->owner, ref->menu, ref->position);
}

void on_activate(GtkMenuItem* item, gpointer) {
    auto* ref = static_cast<ItemRef*>(g_object_get_data(G_OBJECT(item), "kiv-item"));
    if (ref->popup)
        ref->popup->choice = MenuChoice{ref->menu, ref->position};
    else
        menu_item_chosen(ref->owner, ref->menu, ref->position);
}

void on_bar_deactivate(GtkMenuShell*, gpointer data) {
    HWnd owner = GPOINTER_TO_UINT(data);
    Native* top = current().native(owner);
    if (!top || !top->bar_open) return;
    top->bar_open = false;
    current().defer([owner] {
        if (is_window(owner)) menu_loop_left(owner, false);
    });
}

void on_popup_deactivate(GtkMenuShell*, gpointer data) {
    static_cast<PopupRun*>(data)->closed = true;
}

// A shortcut hint such as "Ctrl+C" or "Shift+Ins" shown by the item's
// accelerator label; it binds no key. A hint it cannot read is left out.
void show_hint(GtkWidget* item, const std::string& hint) {
    static constexpr struct {
        const char* name;
        GdkModifierType mask;
    } modifiers[] = {{"ctrl", GDK_CONTROL_MASK}, {"shift", GDK_SHIFT_MASK}, {"alt", GDK_MOD1_MASK}};
    guint mods = 0;
    std::string key = hint;
    for (size_t plus; (plus = key.find('+')) != std::string::npos && plus + 1 < key.size();) {
        std::string mod = key.substr(0, plus);
        std::transform(mod.begin(), mod.end(), mod.begin(), ::tolower);
        auto m = std::find_if(std::begin(modifiers), std::end(modifiers),
                              [&](const auto& entry) { return mod == entry.name; });
        if (m == std::end(modifiers)) return;
        mods |= m->mask;
        key = key.substr(plus + 1);
    }
    static constexpr struct {
        const char* hint;
        const char* key;
    } names[] = {{"Ins", "Insert"}, {"Del", "Delete"}, {"Esc", "Escape"}, {"Enter", "Return"}};
    for (const auto& n : names)
        if (key == n.hint) key = n.key;
    guint keyval = gdk_keyval_from_name(key.c_str());
    if (keyval == GDK_KEY_VoidSymbol && key.size() == 1)
        keyval = gdk_unicode_to_keyval(g_utf8_get_char(key.c_str()));
    if (keyval == GDK_KEY_VoidSymbol || keyval == 0) return;
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(item));
    if (GTK_IS_ACCEL_LABEL(label))
        gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), gdk_keyval_to_lower(keyval),
                                  GdkModifierType(mods));
}

// A separator line in the theme's text colour, faded: the dark theme's
// own line (a tenth of black over a dark grey menu) cannot be seen.
GtkWidget* make_separator() {
    static GtkCssProvider* line = [] {
        GtkCssProvider* provider = gtk_css_provider_new();
        gtk_css_provider_load_from_data(
            provider, "* { background-color: alpha(@theme_fg_color, 0.25); }", -1, nullptr);
        return provider;
    }();
    GtkWidget* separator = gtk_separator_menu_item_new();
    gtk_style_context_add_provider(gtk_widget_get_style_context(separator),
                                   GTK_STYLE_PROVIDER(line),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    return separator;
}

struct Builder {
    HWnd owner;
    PopupRun* popup;
    std::set<HMenu> open; // the menus being built: a menu inside itself is not entered again

    void fill(GtkMenuShell* shell, HMenu menu) {
        open.insert(menu);
        uint32_t position = 0;
        for (const MenuItemInfo& info : menu_items(menu)) {
            GtkWidget* item = make_item(menu, position++, info);
            gtk_widget_show(item);
            gtk_menu_shell_append(shell, item);
        }
        open.erase(menu);
    }

    GtkWidget* make_item(HMenu menu, uint32_t position, const MenuItemInfo& info) {
        if (info.type == MFT_SEPARATOR) return make_separator();
        UnderscoreLabel label = underscore_label(info.text);
        GtkWidget* item = gtk_menu_item_new_with_mnemonic(label.text.c_str());
        if (!label.hint.empty()) show_hint(item, label.hint);
        g_object_set_data_full(G_OBJECT(item), "kiv-item",
                               new ItemRef{owner, menu, position, popup},
                               [](gpointer p) { delete static_cast<ItemRef*>(p); });
        g_signal_connect(item, "select", G_CALLBACK(on_select), nullptr);
        if (info.submenu && is_menu(info.submenu) && !open.count(info.submenu)) {
            GtkWidget* sub = gtk_menu_new();
            fill(GTK_MENU_SHELL(sub), info.submenu);
            gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), sub);
        } else {
            g_signal_connect(item, "activate", G_CALLBACK(on_activate), nullptr);
        }
        return item;
    }
};

// A bar like those windows get, to measure before a window has one.
int probe_bar_height() {
    GtkWidget* bar = gtk_menu_bar_new();
    g_object_ref_sink(bar);
    GtkWidget* item = gtk_menu_item_new_with_label("Xy");
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), item);
    gtk_widget_show_all(bar);
    gint natural = 0;
    gtk_widget_get_preferred_height(bar, nullptr, &natural);
    gtk_widget_destroy(bar);
    g_object_unref(bar);
    return natural;
}

} // namespace

int menu_bar_key(Native& top, GdkEventKey* event) {
    if (!top.bar) return -1;
    if (gtk_menu_shell_get_selected_item(GTK_MENU_SHELL(top.bar))) return FALSE;
    bool mnemonic = event->type == GDK_KEY_PRESS && (event->state & GDK_MOD1_MASK) &&
                    gtk_window_mnemonic_activate(GTK_WINDOW(top.toplevel), event->keyval,
                                                 GdkModifierType(event->state & GDK_MOD1_MASK));
    return mnemonic ? TRUE : -1;
}

int GtkBackend::menu_bar_height(HWnd window) {
    Native* n = native(window);
    gint natural = 0;
    if (n && n->bar)
        gtk_widget_get_preferred_height(n->bar, nullptr, &natural);
    else
        natural = probe_bar_height();
    return natural * scale_;
}

void GtkBackend::menu_bar_changed(HWnd window) {
    Native* n = native(window);
    if (!n || !n->toplevel) return;
    if (n->bar) gtk_widget_destroy(std::exchange(n->bar, nullptr));
    n->bar_open = false;
    HMenu menu = get_menu(window);
    if (!menu) return;
    n->bar = gtk_menu_bar_new();
    Builder{window, nullptr, {}}.fill(GTK_MENU_SHELL(n->bar), menu);
    g_signal_connect(n->bar, "deactivate", G_CALLBACK(on_bar_deactivate), GUINT_TO_POINTER(window));
    gtk_box_pack_start(GTK_BOX(n->box), n->bar, FALSE, FALSE, 0);
    gtk_widget_show(n->bar);
}

std::optional<MenuChoice> GtkBackend::track_popup(HMenu menu, Point screen, HWnd owner) {
    Native* top = native(get_root(owner));
    GdkWindow* anchor = top ? gtk_widget_get_window(top->toplevel) : nullptr;
    if (!anchor) return std::nullopt;
    PopupRun run;
    GtkWidget* popup = gtk_menu_new();
    g_object_ref_sink(popup);
    Builder{owner, &run, {}}.fill(GTK_MENU_SHELL(popup), menu);
    gtk_menu_attach_to_widget(GTK_MENU(popup), top->toplevel, nullptr);
    g_signal_connect(popup, "deactivate", G_CALLBACK(on_popup_deactivate), &run);
    int x = 0, y = 0;
    gdk_window_get_origin(anchor, &x, &y);
    GdkRectangle at{screen.x / scale_ - x, screen.y / scale_ - y, 1, 1};
    // GTK grabs the pointer and keyboard for the device of the event that
    // opens the menu: the layer's click has none of GTK's, so one is made.
    GdkEvent* trigger = gdk_event_new(GDK_BUTTON_PRESS);
    trigger->button.window = GDK_WINDOW(g_object_ref(anchor));
    trigger->button.time = GDK_CURRENT_TIME;
    trigger->button.button = 3;
    gdk_event_set_device(
        trigger, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
    gtk_menu_popup_at_rect(GTK_MENU(popup), anchor, &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    gdk_event_free(trigger);
    // A popup that could not take the pointer and keyboard closes at once.
    if (!gtk_widget_get_visible(popup)) run.closed = true;
    // GTK closes the menu, then activates the item, in one event.
    while (!run.closed) g_main_context_iteration(nullptr, TRUE);
    gtk_widget_destroy(popup);
    g_object_unref(popup);
    return run.choice;
}

} // namespace kiv::gui::gtk
