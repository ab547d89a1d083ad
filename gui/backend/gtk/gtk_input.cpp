// The handlers of a top-level's GTK events. Each records what happened as
// an action on the layer (input, activation, geometry), run once the GTK
// callback has returned; none calls a window procedure.
#include "gui/backend/gtk/gtk_backend.h"
#include "gui/backend/gtk/gtk_keys.h"

#include "gui/backend/messages.h"
#include "gui/backend/window_layer.h"

#include <algorithm>
#include <cmath>

namespace kiv::gui::gtk {

namespace {

HWnd window_of(gpointer data) {
    return GPOINTER_TO_UINT(data);
}

// A screen position in device pixels.
Point device(double x_root, double y_root) {
    int scale = current().scale();
    return {int(std::floor(x_root * scale)), int(std::floor(y_root * scale))};
}

gboolean on_motion(GtkWidget*, GdkEventMotion* event, gpointer) {
    if (current().delivering) return FALSE;
    Point p = device(event->x_root, event->y_root);
    current().defer([p] { input_pointer_move(p); });
    return FALSE;
}

gboolean on_leave(GtkWidget*, GdkEventCrossing* event, gpointer) {
    // Into one of our own widgets is not leaving, but a move (no motion
    // event may follow): the layer's hit test tells which window it is in.
    if (event->detail == GDK_NOTIFY_INFERIOR) {
        Point p = device(event->x_root, event->y_root);
        current().defer([p] { input_pointer_move(p); });
    } else {
        current().defer([] { input_pointer_gone(); });
    }
    return FALSE;
}

gboolean on_enter(GtkWidget*, GdkEventCrossing* event, gpointer) {
    Point p = device(event->x_root, event->y_root);
    current().defer([p] { input_pointer_move(p); });
    return FALSE;
}

// GDK's own double and triple presses are ignored: the layer tells double
// clicks by its own rule, so the order is down, up, double, up.
gboolean on_button(GtkWidget*, GdkEventButton* event, gpointer) {
    if (current().delivering) return FALSE;
    if (event->type != GDK_BUTTON_PRESS && event->type != GDK_BUTTON_RELEASE) return TRUE;
    static constexpr std::pair<guint, Button> buttons[] = {{1, Button::left},
                                                           {2, Button::middle},
                                                           {3, Button::right},
                                                           {8, Button::x1},
                                                           {9, Button::x2}};
    for (auto [number, button] : buttons) {
        if (event->button != number) continue;
        bool down = event->type == GDK_BUTTON_PRESS;
        Point p = device(event->x_root, event->y_root);
        // A structured binding is copied by name: clang cannot capture one.
        current().defer([pressed = button, down, p] { input_button(pressed, down, p); });
    }
    return TRUE;
}

// One notch is 120; smooth scrolling gives its fraction of a notch.
gboolean on_scroll(GtkWidget*, GdkEventScroll* event, gpointer) {
    if (current().delivering) return FALSE;
    int delta = 0;
    if (event->direction == GDK_SCROLL_UP) delta = WHEEL_DELTA;
    if (event->direction == GDK_SCROLL_DOWN) delta = -WHEEL_DELTA;
    if (event->direction == GDK_SCROLL_SMOOTH)
        delta = int(std::lround(-event->delta_y * double(WHEEL_DELTA)));
    if (!delta) return TRUE;
    Point p = device(event->x_root, event->y_root);
    current().defer([delta, p] { input_wheel(delta, p); });
    return TRUE;
}

void record_key(const KeyCode& code, bool down, uint32_t text) {
    current().defer(
        [code, down, text] { input_key(code.vk, code.scan, code.extended, down, text); });
}

// A key goes through the input method first. A key it passes on, or one
// it only commits as its own character, is an ordinary key; a key it keeps
// (a dead key, a composition) is VK_PROCESSKEY, and what it commits comes
// as characters.
gboolean on_key(GtkWidget*, GdkEventKey* event, gpointer data) {
    if (current().delivering) return FALSE;
    GtkBackend& b = current();
    Native* top = b.native(window_of(data));
    if (int answer = top ? menu_bar_key(*top, event) : -1; answer >= 0) return answer;
    KeyCode code = key_code(gdk_keymap_get_for_display(gdk_display_get_default()), *event);
    bool down = event->type == GDK_KEY_PRESS;
    uint32_t own = gdk_keyval_to_unicode(event->keyval);
    bool was_composing = b.composing;
    b.committed.clear();
    b.filtering = true;
    bool kept = top && top->im && gtk_im_context_filter_keypress(top->im, event);
    b.filtering = false;
    bool plain =
        kept && !was_composing && !b.composing && b.committed.size() == 1 && b.committed[0] == own;
    if (!kept || plain) {
        if (code.vk)
            record_key(code, down, down ? own : 0);
        else if (down && own)
            b.defer([own] { input_char(own); });
        return TRUE;
    }
    if (down) record_key({VK_PROCESSKEY, code.scan, code.extended}, true, 0);
    for (uint32_t c : b.committed) b.defer([c] { input_char(c); });
    return TRUE;
}

void on_commit(GtkIMContext*, const char* text, gpointer) {
    GtkBackend& b = current();
    for (const char* p = text; *p; p = g_utf8_next_char(p)) {
        uint32_t c = g_utf8_get_char(p);
        if (b.filtering)
            b.committed.push_back(c);
        else
            b.defer([c] { input_char(c); });
    }
}

void on_preedit(GtkIMContext*, gpointer start) {
    bool starting = GPOINTER_TO_INT(start);
    current().composing = starting;
    current().defer([starting] { input_composition(starting); });
}

gboolean on_focus(GtkWidget*, GdkEventFocus* event, gpointer data) {
    HWnd window = window_of(data);
    GtkBackend& b = current();
    if (Native* top = b.native(window); top && top->im) {
        if (event->in)
            gtk_im_context_focus_in(top->im);
        else
            gtk_im_context_focus_out(top->im);
    }
    bool in = event->in;
    b.defer([window, in] {
        current().from_native([&] {
            if (in)
                set_active_window(window);
            else if (get_active_window() == window)
                set_active_window(0);
        });
    });
    return FALSE;
}

// Closing asks the window (WM_CLOSE); GTK never destroys it.
gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
    post_message(window_of(data), WM_CLOSE, 0, 0);
    return TRUE;
}

// A top-level moved or sized: its rectangle, and the frame the window
// manager draws around it as GDK finds it now.
gboolean on_configure(GtkWidget* widget, GdkEventConfigure* event, gpointer data) {
    HWnd window = window_of(data);
    int scale = current().scale();
    Rect r{event->x * scale, event->y * scale, (event->x + event->width) * scale,
           (event->y + event->height) * scale};
    GdkRectangle f{event->x, event->y, event->width, event->height};
    if (GdkWindow* gdk_window = gtk_widget_get_window(widget))
        gdk_window_get_frame_extents(gdk_window, &f);
    Rect frame{std::max(0, r.left - f.x * scale), std::max(0, r.top - f.y * scale),
               std::max(0, (f.x + f.width) * scale - r.right),
               std::max(0, (f.y + f.height) * scale - r.bottom)};
    current().defer([window, r, frame] {
        if (!is_window(window)) return;
        bool framed = set_window_frame(window, frame);
        Rect placed{r.left - frame.left, r.top - frame.top, r.right - frame.left,
                    r.bottom - frame.top};
        if (!current().configured_by_gtk(window, placed)) return;
        current().from_native([&] {
            if (window_rect(window) != r)
                set_window_pos(window, r);
            else if (framed) { // only the frame's corner moved
                Point client = client_to_screen(window, {});
                send_message(window, WM_MOVE, 0, make_point_param(client.x, client.y));
            }
        });
    });
    return FALSE;
}

void on_realize(GtkWidget* widget, gpointer data) {
    if (Native* top = current().native(window_of(data)))
        gtk_im_context_set_client_window(top->im, gtk_widget_get_window(widget));
}

void on_scale(GObject*, GParamSpec*, gpointer) {
    current().defer([] {
        current().refresh_monitors();
        current().place_all();
    });
}

constexpr int pointer_events =
    GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_SCROLL_MASK;

} // namespace

void connect_pointer(GtkWidget* w) {
    gtk_widget_add_events(w, pointer_events);
    g_signal_connect(w, "motion-notify-event", G_CALLBACK(on_motion), nullptr);
    g_signal_connect(w, "button-press-event", G_CALLBACK(on_button), nullptr);
    g_signal_connect(w, "button-release-event", G_CALLBACK(on_button), nullptr);
    g_signal_connect(w, "scroll-event", G_CALLBACK(on_scroll), nullptr);
}

void connect_input(Native& top) {
    GtkWidget* w = top.toplevel;
    gpointer window = GUINT_TO_POINTER(top.window);
    connect_pointer(w);
    gtk_widget_add_events(w, GDK_ENTER_NOTIFY_MASK | GDK_LEAVE_NOTIFY_MASK | GDK_KEY_PRESS_MASK |
                                 GDK_KEY_RELEASE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_STRUCTURE_MASK);
    // Crossings count at the top-level only: moving between its own
    // widgets is followed by the layer's hit test.
    g_signal_connect(w, "enter-notify-event", G_CALLBACK(on_enter), window);
    g_signal_connect(w, "leave-notify-event", G_CALLBACK(on_leave), window);
    g_signal_connect(w, "key-press-event", G_CALLBACK(on_key), window);
    g_signal_connect(w, "key-release-event", G_CALLBACK(on_key), window);
    g_signal_connect(w, "focus-in-event", G_CALLBACK(on_focus), window);
    g_signal_connect(w, "focus-out-event", G_CALLBACK(on_focus), window);
    g_signal_connect(w, "delete-event", G_CALLBACK(on_delete), window);
    g_signal_connect(w, "configure-event", G_CALLBACK(on_configure), window);
    g_signal_connect(w, "realize", G_CALLBACK(on_realize), window);
    g_signal_connect(w, "notify::scale-factor", G_CALLBACK(on_scale), nullptr);
    top.im = gtk_im_multicontext_new();
    g_signal_connect(top.im, "commit", G_CALLBACK(on_commit), nullptr);
    g_signal_connect(top.im, "preedit-start", G_CALLBACK(on_preedit), GINT_TO_POINTER(1));
    g_signal_connect(top.im, "preedit-end", G_CALLBACK(on_preedit), GINT_TO_POINTER(0));
    g_signal_connect(top.im, "preedit-changed", G_CALLBACK(on_preedit_changed), nullptr);
}

// The top-level's input method shows its candidates at the caret.
void GtkBackend::caret_moved(HWnd owner, const Rect& caret) {
    Native* n = native(owner);
    Native* top = native(get_root(owner));
    if (!n || !top || !top->im || !n->widget) return;
    int x = 0, y = 0;
    if (!gtk_widget_translate_coordinates(n->widget, top->toplevel, caret.left / scale_,
                                          caret.top / scale_, &x, &y))
        return;
    GdkRectangle area{x, y, std::max(caret.width() / scale_, 1),
                      std::max(caret.height() / scale_, 1)};
    gtk_im_context_set_cursor_location(top->im, &area);
}

} // namespace kiv::gui::gtk

namespace kiv::gui::gtk {

void record_control_input(GdkEvent* event) {
    switch (event->type) {
    case GDK_MOTION_NOTIFY: on_motion(nullptr, &event->motion, nullptr); break;
    case GDK_BUTTON_PRESS:
    case GDK_BUTTON_RELEASE: on_button(nullptr, &event->button, nullptr); break;
    case GDK_SCROLL: on_scroll(nullptr, &event->scroll, nullptr); break;
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE: {
        // The control's own input method composes, once GTK has the key.
        GdkEventKey* key = &event->key;
        KeyCode code = key_code(gdk_keymap_get_for_display(gdk_display_get_default()), *key);
        bool down = event->type == GDK_KEY_PRESS;
        uint32_t own = gdk_keyval_to_unicode(key->keyval);
        if (code.vk)
            record_key(code, down, down ? own : 0);
        else if (down && own)
            current().defer([own] { input_char(own); });
        break;
    }
    default: break;
    }
}

} // namespace kiv::gui::gtk
