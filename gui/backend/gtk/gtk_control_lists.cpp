// The GTK views of the item controls: list boxes (a GtkTreeView over a
// GtkListStore in a GtkScrolledWindow), combo boxes (GtkComboBoxText, with
// an entry for CBS_DROPDOWN), tab controls (a GtkNotebook with empty pages
// that never switches by itself) and calendars (GtkCalendar).
#include "gui/backend/gtk/gtk_controls.h"

#include "gui/backend/control_actions.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <algorithm>

namespace kiv::gui::gtk {

namespace {

// ---- List boxes

GtkTreeView* tree_of(const Native& n) {
    return GTK_TREE_VIEW(gtk_bin_get_child(GTK_BIN(n.control)));
}

int32_t path_index(GtkTreePath* path) {
    return path ? gtk_tree_path_get_indices(path)[0] : -1;
}

// A press on a row picks it, even the row already picked (as a list box
// tells every click); GTK then selects it as usual.
gboolean on_list_press(GtkWidget* tree, GdkEventButton* event, gpointer data) {
    if (!user_heard(data) || event->button != 1) return FALSE;
    HWnd w = window_of(data);
    GtkTreePath* path = nullptr;
    if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(tree), int(event->x), int(event->y), &path,
                                       nullptr, nullptr, nullptr))
        return FALSE;
    int32_t index = path_index(path);
    gtk_tree_path_free(path);
    // The list takes the focus before the pick, as a list box does.
    if (!gtk_widget_has_focus(tree)) gtk_widget_grab_focus(tree);
    if (event->type == GDK_2BUTTON_PRESS)
        current().defer([w, index] { user_open_item(w, index); });
    else if (event->type == GDK_BUTTON_PRESS)
        current().defer([w, index] { user_pick_item(w, index); });
    return FALSE;
}

// Keys move GTK's cursor: that row is picked (a click's row is picked at
// the press).
void on_cursor_changed(GtkTreeView* tree, gpointer data) {
    Native* n = current().native(window_of(data));
    GdkEvent* cause = gtk_get_current_event();
    bool by_key = cause && cause->type == GDK_KEY_PRESS;
    if (cause) gdk_event_free(cause);
    if (!n || n->syncing || !by_key) return;
    GtkTreePath* path = nullptr;
    gtk_tree_view_get_cursor(tree, &path, nullptr);
    int32_t index = path_index(path);
    if (path) gtk_tree_path_free(path);
    HWnd w = n->window;
    if (index >= 0) current().defer([w, index] { user_pick_item(w, index); });
}

// ---- Combo boxes

GtkWidget* combo_entry(const Native& n) {
    return gtk_combo_box_get_has_entry(GTK_COMBO_BOX(n.control))
               ? gtk_bin_get_child(GTK_BIN(n.control))
               : nullptr;
}

// A picked item; typing in the entry also changes the combo box (its
// active item becomes -1), which is an edit, not a pick.
void on_combo_changed(GtkComboBox* combo, gpointer data) {
    if (!user_heard(data)) return;
    int32_t index = gtk_combo_box_get_active(combo);
    HWnd w = window_of(data);
    if (index >= 0) current().defer([w, index] { user_pick_item(w, index); });
}

// GTK moves the caret past what it inserted only after this signal: the
// text and caret are read once it is done, or the model would put the
// caret back before the character typed.
void on_combo_entry_changed(GtkEditable*, gpointer data) {
    if (!user_heard(data)) return;
    Native* n = current().native(window_of(data));
    if (!n || gtk_combo_box_get_active(GTK_COMBO_BOX(n->control)) >= 0) return;
    HWnd w = n->window;
    current().defer([w] {
        Native* now = current().native(w);
        GtkWidget* entry = now ? combo_entry(*now) : nullptr;
        if (!entry) return;
        std::string text;
        Selection sel;
        read_entry(GTK_EDITABLE(entry), text, sel);
        user_edit(w, text, sel);
    });
}

void on_popup_shown(GObject* combo, GParamSpec*, gpointer data) {
    if (!user_heard(data)) return;
    gboolean shown = FALSE;
    g_object_get(combo, "popup-shown", &shown, nullptr);
    HWnd w = window_of(data);
    current().defer([w, shown] { user_drop(w, shown); });
}

// ---- Tab controls

// A press on a tab asks to switch to it; GTK never switches by itself.
gboolean on_tabs_press(GtkWidget* notebook, GdkEventButton* event, gpointer data) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
    HWnd w = window_of(data);
    int pages = gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook));
    for (int i = 0; i < pages; ++i) {
        GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), i);
        GtkWidget* label = gtk_notebook_get_tab_label(GTK_NOTEBOOK(notebook), page);
        GtkAllocation a;
        gtk_widget_get_allocation(label, &a);
        int x = 0, y = 0;
        gtk_widget_translate_coordinates(notebook, label, int(event->x), int(event->y), &x, &y);
        // The tab is a little larger than its label.
        if (x >= -8 && x < a.width + 8 && y >= -6 && y < a.height + 6) {
            current().defer([w, i] { user_select_tab(w, i); });
            return TRUE;
        }
    }
    return TRUE;
}

gboolean on_tabs_key(GtkWidget*, GdkEventKey* event, gpointer data) {
    HWnd w = window_of(data);
    const TabModel* m = control_model<TabModel>(w);
    if (!m) return FALSE;
    int32_t step = event->keyval == GDK_KEY_Left ? -1 : event->keyval == GDK_KEY_Right ? 1 : 0;
    if (!step) return FALSE;
    int32_t to = m->current + step;
    current().defer([w, to] { user_select_tab(w, to); });
    return TRUE;
}

// ---- Calendars

// Showing another month selects a day in it too (GTK's own choice): a
// day selected right after a month change is no pick.
void on_month_changed(GtkCalendar*, gpointer data) {
    if (Native* n = current().native(window_of(data))) n->pending_request = 1;
}

void on_day_selected(GtkCalendar* calendar, gpointer data) {
    Native* n = current().native(window_of(data));
    if (!n || n->syncing) return;
    if (n->pending_request == 1) {
        n->pending_request = UINT32_MAX;
        HWnd w = n->window;
        guint year = 0, month = 0, day = 0;
        gtk_calendar_get_date(calendar, &year, &month, &day);
        current().defer(
            [w, year, month] { user_show_month(w, int32_t(year), int32_t(month) + 1); });
        return;
    }
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(calendar, &year, &month, &day);
    HWnd w = n->window;
    SystemTime picked{uint16_t(year), uint16_t(month + 1), 0, uint16_t(day)};
    current().defer([w, picked] { user_pick_day(w, picked); });
}

} // namespace

bool GtkBackend::list_item_at(HWnd window, Point client, int32_t& index) {
    Native* n = native(window);
    if (!n || !n->control || !GTK_IS_SCROLLED_WINDOW(n->control)) return false;
    GtkTreeView* tree = tree_of(*n);
    int x = 0, y = 0, bin_x = 0, bin_y = 0;
    if (!gtk_widget_translate_coordinates(n->widget, GTK_WIDGET(tree), client.x / scale(),
                                          client.y / scale(), &x, &y))
        return false;
    gtk_tree_view_convert_widget_to_bin_window_coords(tree, x, y, &bin_x, &bin_y);
    GtkTreePath* path = nullptr;
    index = gtk_tree_view_get_path_at_pos(tree, bin_x, bin_y, &path, nullptr, nullptr, nullptr)
                ? path_index(path)
                : -1;
    if (path) gtk_tree_path_free(path);
    return true;
}

GtkWidget* make_list(HWnd w) {
    GtkListStore* store = gtk_list_store_new(1, G_TYPE_STRING);
    GtkWidget* tree = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store));
    g_object_unref(store);
    gtk_tree_view_set_headers_visible(GTK_TREE_VIEW(tree), FALSE);
    gtk_tree_view_set_enable_search(GTK_TREE_VIEW(tree), FALSE);
    gtk_tree_view_append_column(GTK_TREE_VIEW(tree),
                                gtk_tree_view_column_new_with_attributes(
                                    "", gtk_cell_renderer_text_new(), "text", 0, nullptr));
    g_signal_connect(tree, "button-press-event", G_CALLBACK(on_list_press), window_data(w));
    g_signal_connect(tree, "cursor-changed", G_CALLBACK(on_cursor_changed), window_data(w));
    GtkWidget* scroller = classic_scroller();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_AUTOMATIC,
                                   GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(scroller), tree);
    return scroller;
}

void sync_list(Native& n, ControlChange what) {
    const ItemListModel* m = control_model<ItemListModel>(n.window);
    if (!m) return;
    GtkTreeView* tree = tree_of(n);
    GtkListStore* store = GTK_LIST_STORE(gtk_tree_view_get_model(tree));
    if (what == ControlChange::items) {
        gtk_list_store_clear(store);
        for (const ListItem& item : m->items)
            gtk_list_store_insert_with_values(store, nullptr, -1, 0, item.text.c_str(), -1);
    }
    GtkTreeSelection* selection = gtk_tree_view_get_selection(tree);
    if (m->current < 0) {
        gtk_tree_selection_unselect_all(selection);
        return;
    }
    GtkTreePath* path = gtk_tree_path_new_from_indices(m->current, -1);
    gtk_tree_view_set_cursor(tree, path, nullptr, FALSE);
    gtk_tree_path_free(path);
}

GtkWidget* make_combo(HWnd w) {
    bool entry = (get_style(w) & 0x3) != CBS_DROPDOWNLIST;
    GtkWidget* combo = entry ? gtk_combo_box_text_new_with_entry() : gtk_combo_box_text_new();
    g_signal_connect(combo, "changed", G_CALLBACK(on_combo_changed), window_data(w));
    g_signal_connect(combo, "notify::popup-shown", G_CALLBACK(on_popup_shown), window_data(w));
    if (entry) {
        GtkWidget* field = gtk_bin_get_child(GTK_BIN(combo));
        // The face's width rules, the arrow button included: the entry's
        // own minimum (150 pixels) pushed the button out of the face.
        gtk_entry_set_width_chars(GTK_ENTRY(field), 0);
        g_signal_connect(field, "changed", G_CALLBACK(on_combo_entry_changed), window_data(w));
    }
    return combo;
}

void sync_combo(Native& n, ControlChange what) {
    const ItemListModel* m = control_model<ItemListModel>(n.window);
    if (!m) return;
    GtkComboBoxText* combo = GTK_COMBO_BOX_TEXT(n.control);
    if (what == ControlChange::items) {
        gtk_combo_box_text_remove_all(combo);
        for (const ListItem& item : m->items)
            gtk_combo_box_text_append_text(combo, item.text.c_str());
    }
    if (gtk_combo_box_get_active(GTK_COMBO_BOX(combo)) != m->current)
        gtk_combo_box_set_active(GTK_COMBO_BOX(combo), m->current);
    if (GtkWidget* entry = combo_entry(n)) {
        std::string text = get_window_text(n.window);
        if (text != gtk_entry_get_text(GTK_ENTRY(entry)))
            gtk_entry_set_text(GTK_ENTRY(entry), text.c_str());
        gtk_editable_select_region(GTK_EDITABLE(entry), m->edit_selection.start,
                                   m->edit_selection.end);
    }
    if (what == ControlChange::dropped) {
        if (m->dropped)
            gtk_combo_box_popup(GTK_COMBO_BOX(combo));
        else
            gtk_combo_box_popdown(GTK_COMBO_BOX(combo));
    }
}

GtkWidget* make_tabs(HWnd w) {
    GtkWidget* notebook = gtk_notebook_new();
    gtk_notebook_set_scrollable(GTK_NOTEBOOK(notebook), TRUE);
    g_signal_connect(notebook, "button-press-event", G_CALLBACK(on_tabs_press), window_data(w));
    g_signal_connect(notebook, "key-press-event", G_CALLBACK(on_tabs_key), window_data(w));
    return notebook;
}

void sync_tabs(Native& n, ControlChange what) {
    const TabModel* m = control_model<TabModel>(n.window);
    if (!m) return;
    GtkNotebook* notebook = GTK_NOTEBOOK(n.control);
    if (what == ControlChange::items) {
        while (gtk_notebook_get_n_pages(notebook) > 0) gtk_notebook_remove_page(notebook, -1);
        // The pages stay empty: the page panels lie over the page area.
        for (const Tab& tab : m->tabs) {
            GtkWidget* page = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
            gtk_widget_show(page);
            gtk_notebook_append_page(notebook, page, gtk_label_new(tab.text.c_str()));
        }
    }
    if (m->current >= 0 && gtk_notebook_get_current_page(notebook) != m->current)
        gtk_notebook_set_current_page(notebook, m->current);
}

// The current page's place in the notebook laid out at the control's
// size (GTK lays it out now when it has not yet).
bool GtkBackend::tab_page_insets(HWnd window, Rect& insets) {
    Native* n = native(window);
    if (!n || !n->control || !GTK_IS_NOTEBOOK(n->control)) return false;
    GtkNotebook* notebook = GTK_NOTEBOOK(n->control);
    GtkWidget* page = gtk_notebook_get_nth_page(notebook, gtk_notebook_get_current_page(notebook));
    if (!page) return false;
    Rect client = client_rect(window);
    GtkAllocation box;
    gtk_widget_get_allocation(n->control, &box);
    if (box.width != client.width() / scale_ || box.height != client.height() / scale_) {
        GtkRequisition least;
        gtk_widget_get_preferred_size(n->control, &least, nullptr);
        box = {box.x, box.y, std::max(client.width() / scale_, least.width),
               std::max(client.height() / scale_, least.height)};
        gtk_widget_size_allocate(n->control, &box);
    }
    GtkAllocation area;
    gtk_widget_get_allocation(page, &area);
    if (area.width <= 1 || area.height <= 1) return false;
    insets = {(area.x - box.x) * scale_, (area.y - box.y) * scale_,
              (box.x + box.width - area.x - area.width) * scale_,
              (box.y + box.height - area.y - area.height) * scale_};
    return true;
}

GtkWidget* make_calendar(HWnd w) {
    GtkWidget* calendar = gtk_calendar_new();
    g_signal_connect(calendar, "month-changed", G_CALLBACK(on_month_changed), window_data(w));
    g_signal_connect(calendar, "day-selected", G_CALLBACK(on_day_selected), window_data(w));
    return calendar;
}

void sync_calendar(Native& n, ControlChange) {
    const CalendarModel* m = control_model<CalendarModel>(n.window);
    if (!m) return;
    GtkCalendar* calendar = GTK_CALENDAR(n.control);
    guint year = 0, month = 0, day = 0;
    gtk_calendar_get_date(calendar, &year, &month, &day);
    if (int32_t(year) != m->shown_year || int32_t(month) + 1 != m->shown_month)
        gtk_calendar_select_month(calendar, guint(m->shown_month - 1), guint(m->shown_year));
    bool shows_selection = m->selected.year == m->shown_year && m->selected.month == m->shown_month;
    gtk_calendar_select_day(calendar, shows_selection ? m->selected.day : 0);
    n.pending_request = UINT32_MAX;
}

} // namespace kiv::gui::gtk
