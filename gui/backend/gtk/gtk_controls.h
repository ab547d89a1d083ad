// The GTK views of the built-in controls, one module per family; shared
// helpers of those modules.
#pragma once

#include "gui/backend/control_models.h"
#include "gui/backend/gtk/gtk_backend.h"

namespace kiv::gui::gtk {

HWnd window_of(gpointer data);
gpointer window_data(HWnd w);
// Whether a handler of the window's widget hears the user (not the layer
// writing its model into the widget).
bool user_heard(gpointer data);

// GTK's focus moved to a widget: a control's focus goes to the layer.
void on_set_focus(GtkWindow* window, GtkWidget* widget, gpointer);

// The text and selection the user left in an entry (a combo box's too).
void read_entry(GtkEditable* entry, std::string& text, Selection& sel);

// A scrolled window whose bars are shown, as a list box's or an edit's
// are, while its content overflows; GTK's overlay bars would show only
// while the pointer moves over it.
GtkWidget* classic_scroller();

// Edits (GtkEntry; GtkTextView in a GtkScrolledWindow for ES_MULTILINE).
GtkWidget* make_edit(HWnd w);
void sync_edit(Native& n, ControlChange what);
// List boxes (GtkTreeView over a GtkListStore in a GtkScrolledWindow),
// combo boxes (GtkComboBoxText), tab controls (GtkNotebook with empty
// pages) and calendars (GtkCalendar).
GtkWidget* make_list(HWnd w);
void sync_list(Native& n, ControlChange what);
GtkWidget* make_combo(HWnd w);
void sync_combo(Native& n, ControlChange what);
GtkWidget* make_tabs(HWnd w);
void sync_tabs(Native& n, ControlChange what);
GtkWidget* make_calendar(HWnd w);
void sync_calendar(Native& n, ControlChange what);
// Scroll bars (GtkScrollbar) and sliders (GtkScale).
GtkWidget* make_scroll_bar(HWnd w);
void sync_scroll_bar(Native& n, ControlChange what);
GtkWidget* make_slider(HWnd w);
void sync_slider(Native& n, ControlChange what);

} // namespace kiv::gui::gtk
