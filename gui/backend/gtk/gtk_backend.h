// The GTK 3 backend (X11 only), built as the module kiv-gtk.so. Top-level
// windows are GtkWindows over a placer; every layer window is a widget
// in its top-level's placer (a GtkDrawingArea showing the window's
// backing surface, or a GtkButton mirroring a BUTTON). GTK callbacks only
// record what happened: the records run when the layer next reads its
// queue, so no window procedure runs inside GTK.
#pragma once

#include "gui/backend/backend.h"

#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct _XDisplay; // Xlib's Display
namespace kiv::gui::gtk {

// The native side of one layer window.
struct Native {
    HWnd window = 0;
    HWnd root = 0;
    GtkWidget* widget = nullptr;    // the drawing area, or the event box holding a control
    GtkWidget* control = nullptr;   // a built-in control's widget
    GtkWidget* text_view = nullptr; // a multi-line edit's text view (control is its scroller)
    GtkWidget* bars[2] = {};        // a window's own scroll bars (horizontal, vertical)
    // While the layer writes its model into the widgets, their handlers
    // stay silent: only the user's actions notify.
    bool syncing = false;
    // A slider's or scroll bar's last request of a pointer drag, closed at
    // the release (a calendar: 1 while a month change selects a day).
    uint32_t pending_request = UINT32_MAX;
    int32_t pending_pos = 0;
    GtkWidget* toplevel = nullptr; // top-levels: the GtkWindow
    GtkWidget* placer = nullptr;   // top-levels: the container holding every widget
    GtkWidget* box = nullptr;      // top-levels: the menu bar above the placer
    GtkWidget* bar = nullptr;      // top-levels: the GtkMenuBar, when the window has one
    bool bar_open = false;         // between the bar's first highlight and its closing
    GtkIMContext* im = nullptr;    // top-levels: the input method
    // Top-levels: the geometry last asked of GTK (device pixels: the
    // frame's corner and the window's size) and until when the configure
    // events on the way to it are passing states.
    Rect asked;
    double asked_until = 0;
};

class GtkBackend : public Backend {
  public:
    GtkBackend();
    ~GtkBackend() override;
    const char* name() const override { return "gtk"; }
    double now_ms() override;
    void pump() override;
    bool wait(double timeout_ms) override;
    void wake() override;
    double double_click_ms() override;
    int double_click_distance() override;

    void window_created(HWnd window) override;
    void window_destroyed(HWnd window) override;
    void window_geometry_changed(HWnd window) override;
    void window_visibility_changed(HWnd window) override;
    void window_reparented(HWnd window) override;
    void window_text_changed(HWnd window) override;
    void window_painted(HWnd window, const Rect& area) override;
    void paints_done() override;
    bool surface_shown(HWnd window) override;
    bool draw_control(HWnd window, cairo_t* cr, Point at) override;
    void window_activated(HWnd window) override;
    void control_changed(HWnd window, ControlChange what) override;
    void capture_changed(HWnd window) override;
    void focus_changed(HWnd window) override;
    bool deliver_control_input(const Msg& msg) override;
    bool list_item_at(HWnd window, Point client, int32_t& index) override;
    bool tab_page_insets(HWnd window, Rect& insets) override;
    void window_cursor(HWnd window, int kind, cairo_surface_t* image) override;
    void caret_moved(HWnd owner, const Rect& caret) override;

    bool theme_metrics(Metrics& metrics) override;
    bool composited() override;
    int caret_blink_ms() override;
    bool support_dark_mode() override;
    void set_dark_mode(HWnd window, bool dark, bool window_face) override;
    bool alert(std::string_view caption, std::string_view text) override;
    // Fonts are Pango font descriptions; other objects are GObjects.
    std::string font_name() override;
    std::vector<ControlPadding> control_paddings(const std::string& font_css) override;
    int menu_bar_height(HWnd window) override;
    void menu_bar_changed(HWnd window) override;
    std::optional<MenuChoice> track_popup(HMenu menu, Point screen, HWnd owner) override;
    void open_file_dialog(const FileRequest& request, HWnd owner, FileDone done) override;
    void open_font_dialog(const FontRequest& request, HWnd owner, FontDone done) override;
    bool has_clipboard() override { return true; }
    bool clipboard_read(ClipData& data) override;
    bool clipboard_write(const ClipData& data) override;

    // Records an action to run once control is back in the layer.
    void defer(std::function<void()> action) { deferred_.push_back(std::move(action)); }
    // Device pixels per GDK pixel.
    int scale() const { return scale_; }
    Native* native(HWnd window);
    // Applies a change GTK made (a move, a size, an activation) without
    // mirroring it back to GTK.
    void from_native(const std::function<void()>& change);
    // Whether a configured geometry of a top-level (its frame's corner and
    // its size) is GTK's own (a window manager or the user moved it), not
    // a state on the way to ours.
    bool configured_by_gtk(HWnd window, const Rect& r);
    // Reads GTK's monitors into the layer.
    void refresh_monitors();
    // Places every window's widget again (after a scale change).
    void place_all();

    // While held input is handed to GTK: the top-level's handlers leave it
    // alone (the layer has it already).
    bool delivering = false;

    // The input method's state while it filters one key: what it committed.
    bool filtering = false;
    bool composing = false;
    std::vector<uint32_t> committed;

  private:
    void run_deferred();
    void place(HWnd window);
    void place_tree(HWnd window);
    void show_tree(HWnd window, bool shown);
    void make_toplevel(Native& n);
    void make_child(Native& n);
    void connect_settings();

    std::unordered_map<HWnd, Native> natives_;
    // The areas painted since the layer last finished its paints, by
    // window: GTK hears of them together, so that a batch of face windows
    // painted one message at a time costs one redraw of the top-level.
    std::unordered_map<HWnd, Rect> painted_;
    std::deque<std::function<void()>> deferred_;
    bool applying_native_ = false;
    int scale_ = 1;
    int next_monitor_key_ = 1;
    std::vector<gulong> settings_handlers_;
    // The top-level the pointer was last grabbed for (a reference held, so
    // that its address names no other window while it is kept).
    struct Unref {
        void operator()(GdkWindow* w) const { g_object_unref(w); }
    };
    std::unique_ptr<GdkWindow, Unref> grabbed_;
};

// The running backend; the callbacks reach it through here.
GtkBackend& current();

// Gives a face window's top-level what its styles ask: decorations, a
// utility hint, window-manager functions, an owner, an alpha visual.
void style_toplevel(Native& top);

// Connects the input handlers of a top-level (pointer, keys, focus, close,
// configure, input method).
void connect_input(Native& top);
// Takes GDK's events before GTK: input meant for a control goes to the
// layer as messages and is held until the layer dispatches them.
void take_events_first();
// The layer input of a held control event (as the top-level's handlers
// make it, without the top-level's input method).
void record_control_input(GdkEvent* event);
// The layer window of a control's widget or of a widget inside one (0:
// none).
HWnd control_window_of(GtkWidget* widget);
// Drops the held events (the backend stops).
void drop_held_input();
// Connects a top-level's touch gesture recognisers (zoom, rotate, a
// two-finger pan, a long press).
void connect_gestures(Native& top);
// Connects the pointer handlers of a drawing area, which takes the pointer
// events over it.
void connect_pointer(GtkWidget* widget);
// The keys of the top-level's menu bar: while the bar is open its keys go
// to GTK (FALSE), and Alt with one of its mnemonics opens it (TRUE); -1
// for any other key.
int menu_bar_key(Native& top, GdkEventKey* event);
// Makes the widget mirroring a built-in control's model (null for a window
// that is no control) and brings it up to date with the model.
GtkWidget* make_control_view(Native& n);
void sync_control_view(Native& n, ControlChange what);
// A window's own scroll bars: made, shown, hidden and placed at its right
// and bottom edges inside the top-level's placer.
void sync_window_bars(Native& n, GtkWidget* placer, Rect in_root);
// The top-level's input method changed its pre-edit text, shown by
// draw_preedit over the window it composes in.
void on_preedit_changed(GtkIMContext* im, gpointer);
// Draws the pre-edit text over the window (device pixels on `cr`) while
// the input method composes in it.
void draw_preedit(HWnd window, cairo_t* cr);
// Draws a window's backing surface onto a widget.
gboolean draw_surface(GtkWidget* widget, cairo_t* cr, gpointer window);
// Whether GTK shows the window's backing surface now: a drawing area's,
// and a control's only where the surface goes over its widget (a caption
// the parent draws); a paint of any other control changes nothing on
// screen.
bool shows_surface(const Native& n);
// Whether it may ever show it: a drawing area's, and a button's (whose
// parent may draw its caption from its next paint on).
bool may_show_surface(const Native& n);
// Whether a session bus could answer: its address is set, its socket is
// in the runtime folder, or dbus-launch could start one.
bool session_bus_reachable();
// Where no session bus could answer (and the user has not chosen a
// backend), GSettings keeps its values in memory for the process: dconf
// would try to start a bus at every write (each file dialog writes its
// state) and print a warning each time. GIO picks its default backend
// once, so the variable that names it is gone again afterwards, before
// any program is started from here.
void keep_settings_without_bus();
// Whether GTK's accessibility bridge can find a bus to register on, looked
// at before GTK starts (the look's X connection kept until GTK has its own). Where none can answer,
// the bridge still has libdbus fork a dbus-launch that is not there: the
// child walks the PATH while the parent waits, and every page the parent
// writes afterwards is a copy-on-write fault.
class AccessibilityBus {
  public:
    AccessibilityBus();
    ~AccessibilityBus();
    AccessibilityBus(const AccessibilityBus&) = delete;
    AccessibilityBus& operator=(const AccessibilityBus&) = delete;
    // True where no bus can answer and the user has not set NO_AT_BRIDGE.
    bool leave_out_bridge() const { return leave_out_; }

  private:
    bool leave_out_ = false;
    ::_XDisplay* display_ = nullptr;
};

} // namespace kiv::gui::gtk
