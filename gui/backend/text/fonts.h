// Fonts: the native font a font! object stands for, kept in the object's
// `state` block, handed to windows, changed and freed with it; the
// default font of the desktop; the CSS a toolkit widget shows a font by.
//
// A font's `state` is [font screen-font text-format font-96]: the font
// object itself (which tells the font's own block from one copied from
// another font), its font at the current DPI, the description text drawn
// with (see draw/text), its font at 96 DPI. Each is a handle! under the
// resource kind "font", released by the collector with its last value.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "gui/backend/window_types.h"
#include "platform/pango_api.h"
#include "runtime/cell.h"

namespace kiv::gui::text {

// A native font. Values (through the externals table) and windows each
// hold a reference; the last release frees it.
struct Font {
    PangoFontDescription* description = nullptr;
    cairo_antialias_t antialias = CAIRO_ANTIALIAS_DEFAULT;
    bool underline = false;
    bool strike = false;
    int32_t angle = 0;  // kept; no control is drawn turned
    int32_t pixels = 0; // the absolute size in pixels
    uint32_t references = 1;
};

struct FontStyle;
// A font of the family at the size in pixels (fractions kept), with the
// style's weight, slant and decorations; one reference.
Font* new_font(const FontStyle& style, const std::string& family, double pixels);
Font* retain_font(Font* font);
void release_font(Font* font);

// A reference to a font held by a C++ value (a drawing state).
class FontRef {
  public:
    FontRef() = default;
    explicit FontRef(Font* font) : font_(retain_font(font)) {}
    FontRef(const FontRef& other) : font_(retain_font(other.font_)) {}
    FontRef& operator=(const FontRef& other) {
        Font* kept = retain_font(other.font_);
        release_font(font_);
        font_ = kept;
        return *this;
    }
    ~FontRef() { release_font(font_); }
    Font* get() const { return font_; }

  private:
    Font* font_ = nullptr;
};

// The indexes of the `state` block.
enum StateIndex : int { state_owner = 0, state_screen = 1, state_format = 2, state_dip = 3 };

// Makes the font of a font! object at the current DPI (screen) or at 96,
// stores it in the object's `state` (made anew when it does not carry the
// object itself) and records the face in the font's `parent`. Null only
// without Pango.
Font* make_font(const Cell& face, const Cell& font, bool screen);
// The font in `state` value index (1-3); null when it holds none.
Font* font_handle(const Cell& font, int index);
// A font object's screen font, made when missing, the face recorded as
// a user; null for a value that is no font object.
Font* face_font(const Cell& face, const Cell& font);
// Gives the window the face's font (its screen font), else the default.
void set_font(HWnd window, const Cell& face);
// Releases the font's native fonts and drops its `state`. Windows that
// use one keep it until they are given another or destroyed.
void free_font(const Cell& font);
// After a change of the font's field (by index): the native font is made
// again for name, size, style, angle and anti-alias?; not for the others.
void update_font(const Cell& font, int field);
// The release of the kind "font".
void delete_gdi_object(Font* font);

// The CSS declaration of a font for a widget's style provider, in the
// toolkit's pixels (device pixels / scale).
std::string font_css(const Font& font, double scale);

// The default font: its family and size in points, from
// system/view/fonts when that has them, else from the last
// set_default_font, else "Sans" 10.
struct FontSpec {
    std::string family;
    int32_t points;
};
FontSpec default_font_spec();
// The default font at the current DPI, made by set_default_font (or at
// its first use); it outlives any window given it.
Font* default_font();
// Reads the desktop's font setting (headless: "Sans 10"), resolves its
// family through fontconfig into system/view/fonts (`system`, `size` in
// whole points), makes the default font, and gives it to the window when
// one is given. Runs at start-up and when the DPI or the setting changes.
void set_default_font(HWnd window);
// After a DPI or font-setting change: when the default font was set
// before, it is set again, and every window that showed the old one is
// given the new one.
void refresh_default_font();

// Stores the font into the font object's own `state` (made when it does
// not carry the object), releasing what the value held before.
void store_in_state(const Cell& font, int index, Font* made);

// The font of a handle! cell of the kind; null for none or a freed one.
Font* font_of(const Cell& handle);
// A new handle! value owning a reference to the font (a null font: a
// handle without record).
void make_handle(Cell& out, Font* font);

} // namespace kiv::gui::text
