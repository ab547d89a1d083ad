// Input of the controls passes the layer first. GDK's events are taken
// before GTK: a pointer event over a control's widget, or a key for the
// control that has GTK's focus, becomes the layer's input message and the
// event is held. When the layer dispatches that message to the control,
// the event is handed to GTK; a message the face code stopped is never
// dispatched, and its event is dropped with the next one handed over. A
// key that types a character goes to GTK at its WM_CHAR, so a stopped
// character never types and one the control keeps (Return and Tab in a
// single-line field) never reaches GTK.
#include "gui/backend/gtk/gtk_backend.h"
#include "gui/backend/gtk/gtk_controls.h"

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <deque>
#include <utility>

namespace kiv::gui::gtk {

namespace {

struct Held {
    GdkEvent* event;
    HWnd window;
};
std::deque<Held> held;

bool is_press(const GdkEvent* e) {
    return e->type == GDK_BUTTON_PRESS;
}

// The control an event is meant for (0: none, GTK takes it at once).
HWnd event_control(GdkEvent* event) {
    switch (event->type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_MOTION_NOTIFY:
    case GDK_SCROLL: return control_window_of(gtk_get_event_widget(event));
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE: {
        GtkWidget* top = gtk_get_event_widget(event);
        return GTK_IS_WINDOW(top) ? control_window_of(gtk_window_get_focus(GTK_WINDOW(top))) : 0;
    }
    default: return 0;
    }
}

void on_event(GdkEvent* event, gpointer) {
    HWnd control = current().delivering ? 0 : event_control(event);
    if (!control || !is_window(control)) {
        gtk_main_do_event(event);
        return;
    }
    held.push_back({gdk_event_copy(event), control});
    record_control_input(event);
}

// Whether a key types a character (then it goes to GTK at the WM_CHAR).
bool types_character(const GdkEventKey& key) {
    if (key.state & GDK_MOD1_MASK) return false;
    switch (key.keyval) {
    case GDK_KEY_BackSpace:
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
    case GDK_KEY_Escape: return true;
    default: return gdk_keyval_to_unicode(key.keyval) != 0;
    }
}

guint button_of(uint32_t message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP: return 1;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MBUTTONUP: return 2;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_RBUTTONUP: return 3;
    default: return 0;
    }
}

// Whether a held event is the one behind a layer message.
bool matches(uint32_t message, const GdkEvent* e) {
    switch (message) {
    case WM_MOUSEMOVE: return e->type == GDK_MOTION_NOTIFY;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL: return e->type == GDK_SCROLL;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_CHAR:
    case WM_SYSCHAR: return e->type == GDK_KEY_PRESS;
    case WM_KEYUP:
    case WM_SYSKEYUP: return e->type == GDK_KEY_RELEASE;
    case WM_LBUTTONUP:
    case WM_MBUTTONUP:
    case WM_RBUTTONUP:
        return e->type == GDK_BUTTON_RELEASE && e->button.button == button_of(message);
    default: return button_of(message) && is_press(e) && e->button.button == button_of(message);
    }
}

void hand_to_gtk(GtkBackend& b, HWnd window, GdkEvent* event) {
    bool was = std::exchange(b.delivering, true);
    Native* top = b.native(get_root(window));
    if ((event->type == GDK_KEY_PRESS || event->type == GDK_KEY_RELEASE) && top && top->toplevel)
        gtk_window_propagate_key_event(GTK_WINDOW(top->toplevel), &event->key);
    else
        gtk_main_do_event(event);
    b.delivering = was;
}

} // namespace

HWnd control_window_of(GtkWidget* widget) {
    for (; widget; widget = gtk_widget_get_parent(widget))
        if (gpointer data = g_object_get_data(G_OBJECT(widget), "kiv-control"))
            return GPOINTER_TO_UINT(data);
    return 0;
}

void take_events_first() {
    gdk_event_handler_set(on_event, nullptr, nullptr);
}

void drop_held_input() {
    for (Held& h : held) gdk_event_free(h.event);
    held.clear();
    gdk_event_handler_set([](GdkEvent* event, gpointer) { gtk_main_do_event(event); }, nullptr,
                          nullptr);
}

bool GtkBackend::deliver_control_input(const Msg& msg) {
    Native* n = native(msg.window);
    if (!n || !n->control) return false;
    size_t at = 0;
    while (at < held.size() &&
           !(held[at].window == msg.window && matches(msg.message, held[at].event)))
        ++at;
    if (at == held.size()) return true;
    bool key_down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    if (key_down && types_character(held[at].event->key)) return true; // at its WM_CHAR
    // What lies before it was stopped.
    for (size_t i = 0; i < at; ++i) gdk_event_free(held[i].event);
    held.erase(held.begin(), held.begin() + long(at));
    Held taken = held.front();
    held.pop_front();
    hand_to_gtk(*this, msg.window, taken.event);
    gdk_event_free(taken.event);
    // GDK's double and triple presses follow the press they belong to.
    while (!held.empty() && held.front().window == msg.window &&
           (held.front().event->type == GDK_2BUTTON_PRESS ||
            held.front().event->type == GDK_3BUTTON_PRESS)) {
        hand_to_gtk(*this, msg.window, held.front().event);
        gdk_event_free(held.front().event);
        held.pop_front();
    }
    return true;
}

// GTK's focus follows the layer's: into the control's widget, or out of
// every control of the top-level.
void GtkBackend::focus_changed(HWnd window) {
    if (applying_native_) return;
    Native* n = native(window);
    if (n && n->control) {
        GtkWidget* target = n->text_view ? n->text_view : n->control;
        if (GTK_IS_SCROLLED_WINDOW(target)) target = gtk_bin_get_child(GTK_BIN(target));
        if (GTK_IS_COMBO_BOX(target) && gtk_combo_box_get_has_entry(GTK_COMBO_BOX(target)))
            target = gtk_bin_get_child(GTK_BIN(target));
        gtk_widget_grab_focus(target);
        return;
    }
    Native* top = window ? native(get_root(window)) : nullptr;
    if (top && top->toplevel) gtk_window_set_focus(GTK_WINDOW(top->toplevel), nullptr);
}

} // namespace kiv::gui::gtk
