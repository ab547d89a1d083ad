// The interface between the window layer and one display backend (headless
// or GTK). The layer keeps every window's state, queue and geometry; a
// backend gives the clock, waits for native events and mirrors windows.
#pragma once

#include "gui/backend/dialogs.h"
#include "gui/backend/menus.h"
#include "gui/backend/window_types.h"

#include <cairo.h>

#include <string>
#include <string_view>
#include <vector>

namespace kiv::gui {

// What a desktop clipboard holds or is given: a list of files (local
// paths), text (UTF-8) or an image (PNG bytes); nothing when empty.
struct ClipData {
    enum class Kind { empty, files, text, image } kind = Kind::empty;
    std::vector<std::string> paths;
    std::string text;
    std::vector<uint8_t> png;
};

// What changed in a built-in control, for the backend's mirror of it.
enum class ControlChange {
    text,      // window text (also the edit of a combo box)
    selection, // an edit's selection
    check,     // a button's check state or pushed look
    items,     // list, combo or tab items
    current,   // the current item, tab or day
    range,     // range, page or position of a bar, slider or progress bar
    bars,      // a window's own bars shown or hidden
    look,      // style, font, colours, images, hint, limits
    dropped,   // a combo's list opened or closed
};

class Backend {
  public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;
    // The layer clock in milliseconds (monotonic).
    virtual double now_ms() = 0;
    // Moves native events that are ready into the layer, without waiting.
    virtual void pump() {}
    // Waits until something may have arrived (input, a posted message, a
    // wake) or `timeout_ms` passed; a negative timeout has no limit. False
    // when nothing can ever arrive.
    virtual bool wait(double timeout_ms) = 0;
    // Ends a wait in progress; callable from any thread.
    virtual void wake() {}
    // Double clicks: the longest time between the two presses and the
    // largest distance between them, in device pixels.
    virtual double double_click_ms() { return 500; }
    virtual int double_click_distance() { return 4; }

    // Mirroring of the layer's windows; the default keeps no native window.
    virtual void window_created(HWnd) {}
    virtual void window_destroyed(HWnd) {}
    virtual void window_geometry_changed(HWnd) {}
    virtual void window_visibility_changed(HWnd) {}
    virtual void window_text_changed(HWnd) {}
    // The window got another parent, or another place among its siblings.
    virtual void window_reparented(HWnd) {}
    virtual void window_restacked(HWnd) {}
    // The pointer shape over a window: a named cursor (faces::CursorKind)
    // or, for the image kind, `image` with its hot spot at the centre.
    virtual void window_cursor(HWnd, int /*kind*/, cairo_surface_t* /*image*/) {}
    // The backing surface of the window changed inside `area` (client
    // coordinates, device pixels).
    virtual void window_painted(HWnd, const Rect&) {}
    // Every window with an invalid area is painted: a backend that holds
    // the paints of a batch shows them now, all in one native redraw.
    virtual void paints_done() {}
    // Whether what the window paints can ever be seen: false for a control
    // the backend's toolkit draws entirely itself. The layer then skips its
    // paints, and it gets no backing surface.
    virtual bool surface_shown(HWnd) { return true; }
    // Draws a built-in control as the backend shows it (the toolkit's own
    // widget) onto `cr` with its top-left at `at` (device pixels); false
    // when the backend shows none, and the control's backing surface
    // stands for it.
    virtual bool draw_control(HWnd, cairo_t*, Point /*at*/) { return false; }
    virtual void window_activated(HWnd) {}
    // The caret of `owner` lies at `caret` (client coordinates, device
    // pixels): an input method places its candidates there.
    virtual void caret_moved(HWnd /*owner*/, const Rect& /*caret*/) {}
    virtual void capture_changed(HWnd) {}
    // The item of a list box under a client point as the backend shows it
    // (-1: none); false when the backend leaves it to the model's layout.
    virtual bool list_item_at(HWnd, Point, int32_t& /*index*/) { return false; }
    // How far a tab control's page area lies inside its client area on
    // each side, as the backend lays the control out (device pixels); false
    // when the backend leaves it to the model's metrics.
    virtual bool tab_page_insets(HWnd, Rect& /*insets*/) { return false; }
    // The layer's keyboard focus moved to `window` (0: none).
    virtual void focus_changed(HWnd) {}
    // A built-in control's model changed (control_models.h).
    virtual void control_changed(HWnd, ControlChange) {}
    // An input message reaching a built-in control at its dispatch: a
    // backend that shows the control natively hands it the input it held
    // back for this message and answers true; the layer's model then
    // leaves the message alone.
    virtual bool deliver_control_input(const Msg&) { return false; }

    // What the desktop tells about itself; the defaults are the headless
    // answers. `theme_metrics` fills what it knows (scroll bar size and the
    // text, window and panel colours) and answers whether it did.
    virtual bool theme_metrics(Metrics&) { return false; }
    virtual bool composited() { return false; }
    // Half the caret blink cycle in ms; negative when the caret does not blink.
    virtual int caret_blink_ms() { return 600; }
    virtual bool support_dark_mode() { return false; }
    virtual void set_dark_mode(HWnd, bool /*dark*/, bool /*window_face*/) {}
    // Shows a modal message box and returns once it is closed; false when
    // the backend has none.
    virtual bool alert(std::string_view /*caption*/, std::string_view /*text*/) { return false; }

    // The desktop's font setting as "Family Size" (empty: none known).
    virtual std::string font_name() { return {}; }
    // What the native views of text controls take around a text in the
    // font `font_css` gives (empty: the layout's own figures hold).
    virtual std::vector<ControlPadding> control_paddings(const std::string& /*font_css*/) {
        return {};
    }

    // Menus. The height of a top-level's menu bar in device pixels; the
    // bar of a window was set, replaced or removed (read it with get_menu
    // and menu_items); a popup shown at a screen point until it closes,
    // reporting highlighted items with menu_item_selected, answering the
    // chosen item (none when dismissed).
    virtual int menu_bar_height(HWnd) { return 20; }
    virtual void menu_bar_changed(HWnd) {}
    virtual std::optional<MenuChoice> track_popup(HMenu, Point, HWnd) { return std::nullopt; }

    // Common dialogs, modal for `owner` (0: none): opened, then answered
    // through `done` once closed. The defaults cancel at once.
    virtual void open_file_dialog(const FileRequest&, HWnd, FileDone done) { done(std::nullopt); }
    virtual void open_font_dialog(const FontRequest&, HWnd, FontDone done) { done(std::nullopt); }
    // For tests that drive a toolkit's dialogs: called with each dialog
    // once it is shown (a GtkDialog under GTK).
    void (*dialog_shown)(void* dialog) = nullptr;

    // The desktop's clipboard, when the backend has one. Reading waits a
    // bounded time for the owner; false when it does not answer.
    virtual bool has_clipboard() { return false; }
    virtual bool clipboard_read(ClipData&) { return false; }
    virtual bool clipboard_write(const ClipData&) { return false; }
};

} // namespace kiv::gui
