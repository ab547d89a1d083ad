// The GTK views of edits: a GtkEntry for a single line, a GtkTextView in
// a GtkScrolledWindow for ES_MULTILINE. Their selections count characters
// of the same LF text as the model's.
#include "gui/backend/gtk/gtk_controls.h"

#include "gui/backend/control_actions.h"
#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

namespace kiv::gui::gtk {

void read_entry(GtkEditable* entry, std::string& text, Selection& sel) {
    text = gtk_entry_get_text(GTK_ENTRY(entry));
    int start = 0, end = 0;
    if (!gtk_editable_get_selection_bounds(entry, &start, &end))
        start = end = gtk_editable_get_position(entry);
    sel = {start, end};
}

namespace {

GtkTextBuffer* buffer_of(const Native& n) {
    return gtk_text_view_get_buffer(GTK_TEXT_VIEW(n.text_view));
}

void read_buffer(GtkTextBuffer* buffer, std::string& text, Selection& sel) {
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    gchar* all = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    text = all;
    g_free(all);
    gtk_text_buffer_get_selection_bounds(buffer, &start, &end);
    sel = {gtk_text_iter_get_offset(&start), gtk_text_iter_get_offset(&end)};
}

void on_entry_changed(GtkEditable* entry, gpointer data) {
    if (!user_heard(data)) return;
    std::string text;
    Selection sel;
    read_entry(entry, text, sel);
    HWnd w = window_of(data);
    current().defer([w, text, sel] { user_edit(w, text, sel); });
}

void on_entry_selection(GObject* entry, GParamSpec*, gpointer data) {
    if (!user_heard(data)) return;
    std::string text;
    Selection sel;
    read_entry(GTK_EDITABLE(entry), text, sel);
    HWnd w = window_of(data);
    current().defer([w, sel] { user_select_text(w, sel); });
}

void on_buffer_changed(GtkTextBuffer* buffer, gpointer data) {
    if (!user_heard(data)) return;
    std::string text;
    Selection sel;
    read_buffer(buffer, text, sel);
    HWnd w = window_of(data);
    current().defer([w, text, sel] { user_edit(w, text, sel); });
}

void on_mark_set(GtkTextBuffer* buffer, GtkTextIter*, GtkTextMark* mark, gpointer data) {
    if (!user_heard(data) || mark != gtk_text_buffer_get_insert(buffer)) return;
    std::string text;
    Selection sel;
    read_buffer(buffer, text, sel);
    HWnd w = window_of(data);
    current().defer([w, sel] { user_select_text(w, sel); });
}

void sync_entry(Native& n) {
    const EditModel* m = control_model<EditModel>(n.window);
    if (!m) return;
    GtkEntry* entry = GTK_ENTRY(n.control);
    std::string text = get_window_text(n.window);
    if (text != gtk_entry_get_text(entry)) gtk_entry_set_text(entry, text.c_str());
    gtk_editable_select_region(GTK_EDITABLE(entry), m->selection.start, m->selection.end);
    uint32_t style = get_style(n.window);
    gtk_entry_set_placeholder_text(entry, m->cue.c_str());
    gtk_editable_set_editable(GTK_EDITABLE(entry), !(style & ES_READONLY));
    bool hidden = (style & ES_PASSWORD) || m->password_char;
    gtk_entry_set_visibility(entry, !hidden);
    if (m->password_char) gtk_entry_set_invisible_char(entry, m->password_char);
    uint32_t align = style & 0x3;
    gtk_entry_set_alignment(entry, align == ES_CENTER ? 0.5f : align == ES_RIGHT ? 1.0f : 0.0f);
}

void sync_text_view(Native& n) {
    const EditModel* m = control_model<EditModel>(n.window);
    if (!m) return;
    GtkTextBuffer* buffer = buffer_of(n);
    std::string text = get_window_text(n.window);
    std::string shown;
    Selection sel;
    read_buffer(buffer, shown, sel);
    if (shown != text) gtk_text_buffer_set_text(buffer, text.c_str(), -1);
    GtkTextIter start, end;
    gtk_text_buffer_get_iter_at_offset(buffer, &start, m->selection.start);
    gtk_text_buffer_get_iter_at_offset(buffer, &end, m->selection.end);
    gtk_text_buffer_select_range(buffer, &end, &start);
    uint32_t style = get_style(n.window);
    gtk_text_view_set_editable(GTK_TEXT_VIEW(n.text_view), !(style & ES_READONLY));
    // Lines wrap at words unless the text scrolls sideways.
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(n.text_view),
                                (style & ES_AUTOHSCROLL) ? GTK_WRAP_NONE : GTK_WRAP_WORD);
    // ShowScrollBar decides the bars: shown always, else never (but still
    // scrolling).
    const ScrollModel* bars = control_model<ScrollModel>(n.window);
    auto policy = [&](int bar) {
        return bars && bars->shown[bar] ? GTK_POLICY_ALWAYS : GTK_POLICY_EXTERNAL;
    };
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(n.control), policy(SB_HORZ),
                                   policy(SB_VERT));
}

} // namespace

GtkWidget* make_edit(HWnd w) {
    if (!(get_style(w) & ES_MULTILINE)) {
        GtkWidget* entry = gtk_entry_new();
        gtk_entry_set_has_frame(GTK_ENTRY(entry), TRUE);
        // The face's width rules: GTK's own minimum (150 pixels without a
        // width in characters) would widen the window past its face.
        gtk_entry_set_width_chars(GTK_ENTRY(entry), 0);
        g_signal_connect(entry, "changed", G_CALLBACK(on_entry_changed), window_data(w));
        g_signal_connect(entry, "notify::cursor-position", G_CALLBACK(on_entry_selection),
                         window_data(w));
        g_signal_connect(entry, "notify::selection-bound", G_CALLBACK(on_entry_selection),
                         window_data(w));
        return entry;
    }
    GtkWidget* scroller = classic_scroller();
    GtkWidget* view = gtk_text_view_new();
    gtk_container_add(GTK_CONTAINER(scroller), view);
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    g_signal_connect(buffer, "changed", G_CALLBACK(on_buffer_changed), window_data(w));
    g_signal_connect(buffer, "mark-set", G_CALLBACK(on_mark_set), window_data(w));
    g_object_set_data(G_OBJECT(scroller), "kiv-text-view", view);
    return scroller;
}

void sync_edit(Native& n, ControlChange) {
    if (GTK_IS_ENTRY(n.control)) {
        sync_entry(n);
        return;
    }
    if (!n.text_view)
        n.text_view = GTK_WIDGET(g_object_get_data(G_OBJECT(n.control), "kiv-text-view"));
    sync_text_view(n);
}

} // namespace kiv::gui::gtk
