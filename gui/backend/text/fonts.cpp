#include "gui/backend/text/fonts.h"

#include "gui/backend/text/layout_cache.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/system_object.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/dpi.h"
#include "gui/backend/messages.h"
#include "gui/backend/resources.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/font_style.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/window_layer.h"
#include "runtime/externals.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

// What set_default_font found last.
FontSpec desktop_font{"Sans", 10};
Font* the_default = nullptr;
FontSpec default_made_from{"", 0}; // what the default font was made for
double default_dpi = 0;
bool default_set = false; // set_default_font ran

bool is_block(const Cell& c) {
    return cell::type_of(c) == TYPE_BLOCK;
}

// The font's own `state` block: made anew (the old one no longer owned)
// unless it is a block that carries this font first.
Cell own_state(const Cell& font) {
    Rooted<Cell> f(font);
    Cell state = facet(font, FontFacet::state);
    if (is_block(state) && block::rs_length(state) >= 4 &&
        same_object(block::rs_head(state)[0], font))
        return state;
    if (cell::type_of(state) != TYPE_NONE) ownership::unbind(state);
    Rooted<Cell> fresh;
    block::make_at(*fresh, 4);
    block::append_value(*fresh, *f);
    for (int i = 0; i < 3; ++i) block::append_value(*fresh, none::value);
    set_facet(*f, FontFacet::state, *fresh);
    return *fresh;
}

// Stores a new handle into the state block, releasing the one it replaces.
void store_handle(const Cell& state, int index, Font* font) {
    Rooted<Cell> s(state);
    Rooted<Cell> h;
    make_handle(*h, font);
    Cell* slot = block::rs_head(*s) + index;
    if (cell::type_of(*slot) == TYPE_HANDLE) externals::remove(int32_t(slot->w3), true);
    block::written_cell(*s, index) = *h;
}

// Records the face among the font's users, once.
void record_user(const Cell& face, const Cell& font) {
    if (cell::type_of(face) != TYPE_OBJECT) return;
    Rooted<Cell> f(font), user(face);
    Cell users = facet(font, FontFacet::parent);
    if (is_block(users)) {
        int32_t n = block::rs_length(users);
        for (int32_t i = 0; i < n; ++i)
            if (same_object(block::rs_head(users)[i], face)) return;
        Rooted<Cell> list(users);
        block::append_value(*list, *user);
        return;
    }
    Rooted<Cell> list;
    block::make_at(*list, 1);
    block::append_value(*list, *user);
    set_facet(*f, FontFacet::parent, *list);
}

int32_t clamp_pixels(int64_t px) {
    return int32_t(std::clamp<int64_t>(px, 1, 32767));
}

// The font of a font! object at a DPI.
Font* font_from_object(const Cell& font, double dpi) {
    Cell size = facet(font, FontFacet::size);
    int64_t points = cell::type_of(size) == TYPE_INTEGER && integer::get(size) > 0
                         ? integer::get(size)
                         : default_font_spec().points;
    Cell name = facet(font, FontFacet::name);
    std::string family =
        cell::type_of(name) == TYPE_STRING ? to_utf8(name) : default_font_spec().family;
    Font* made = new_font(read_font_style(facet(font, FontFacet::style)), family,
                          clamp_pixels(points * int64_t(std::lround(dpi)) / 72));
    made->antialias = read_antialias(facet(font, FontFacet::anti_alias));
    Cell angle = facet(font, FontFacet::angle);
    if (cell::type_of(angle) == TYPE_INTEGER) made->angle = integer::get(angle);
    return made;
}

// A field of system/view/fonts: the object and the field's index (-1
// when either is missing).
struct ViewFontsField {
    Cell fonts;
    int32_t index = -1;
    const Cell* value() const { return index < 0 ? nullptr : object::get_values(fonts) + index; }
    void set(const Cell& v) const {
        if (index >= 0) object::store_value(fonts, uint32_t(index), v);
    }
};

// system/view/fonts; null when it is missing or no object.
std::optional<Cell> view_fonts() {
    const Cell* fonts = system_object::find({"view", "fonts"});
    if (!fonts || cell::type_of(*fonts) != TYPE_OBJECT) return std::nullopt;
    return *fonts;
}

ViewFontsField fonts_field(const std::optional<Cell>& fonts, const char* name) {
    ViewFontsField field;
    if (!fonts) return field;
    field.fonts = *fonts;
    Cell word;
    word.header = TYPE_WORD;
    word.w2 = symbol::intern(name);
    field.index = object::find_index(*fonts, word);
    return field;
}

ViewFontsField view_fonts_field(const char* name) {
    return fonts_field(view_fonts(), name);
}

} // namespace

Font* new_font(const FontStyle& style, const std::string& family, double pixels) {
    const PangoApi& p = pango();
    Font* font = new Font;
    font->description = p.font_description_new();
    p.font_description_set_family(font->description, family.c_str());
    p.font_description_set_absolute_size(font->description, pixels * PANGO_SCALE);
    p.font_description_set_weight(font->description,
                                  style.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    p.font_description_set_style(font->description,
                                 style.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    font->underline = style.underline;
    font->strike = style.strike;
    font->pixels = int32_t(pixels);
    return font;
}

Font* retain_font(Font* font) {
    if (font) ++font->references;
    return font;
}

void release_font(Font* font) {
    if (!font || --font->references > 0) return;
    pango().font_description_free(font->description);
    delete font;
}

void delete_gdi_object(Font* font) {
    release_font(font);
}

Font* font_of(const Cell& handle) {
    if (cell::type_of(handle) != TYPE_HANDLE) return nullptr;
    const externals::Entry* e = externals::entry(int32_t(handle.w3));
    return e ? static_cast<Font*>(e->pointer) : nullptr;
}

void make_handle(Cell& out, Font* font) {
    register_resource_kinds();
    int32_t index = font ? externals::store(font, font_kind()) : externals::none;
    handle::make_at(out, uint32_t(index), handle::font);
    out.w3 = uint32_t(index);
}

Font* make_font(const Cell& face, const Cell& font, bool screen) {
    if (!shared_context()) return nullptr;
    Rooted<Cell> f(font), user(face);
    Rooted<Cell> state(own_state(*f));
    if (screen && !font_handle(*f, state_dip))
        store_handle(*state, state_dip, font_from_object(*f, 96));
    Font* made = font_from_object(*f, screen ? current_dpi() : 96);
    store_handle(*state, screen ? state_screen : state_dip, made);
    record_user(*user, *f);
    return made;
}

void store_in_state(const Cell& font, int index, Font* made) {
    Rooted<Cell> state(own_state(font));
    store_handle(*state, index, made);
}

Font* font_handle(const Cell& font, int index) {
    Cell state = facet(font, FontFacet::state);
    if (!is_block(state) || block::rs_length(state) <= index) return nullptr;
    return font_of(block::rs_head(state)[index]);
}

Font* face_font(const Cell& face, const Cell& font) {
    if (!is_font(font)) return nullptr;
    Cell state = facet(font, FontFacet::state);
    if (is_block(state) && block::rs_length(state) >= 4 &&
        same_object(block::rs_head(state)[0], font)) {
        if (Font* made = font_handle(font, state_screen)) {
            record_user(face, font);
            return made;
        }
    }
    return make_font(face, font, true);
}

void set_font(HWnd window, const Cell& face) {
    Font* font = is_face(face) ? face_font(face, facet(face, FaceFacet::font)) : nullptr;
    send_message(window, WM_SETFONT, reinterpret_cast<uint64_t>(font ? font : default_font()), 0);
}

void free_font(const Cell& font) {
    if (!is_font(font)) return;
    Cell state = facet(font, FontFacet::state);
    if (!is_block(state)) return;
    bool released = false;
    int32_t n = std::min(block::rs_length(state), 4);
    for (int i = state_screen; i < n; ++i) {
        Cell& slot = block::written_cell(state, i);
        if (cell::type_of(slot) != TYPE_HANDLE) continue;
        externals::remove(int32_t(slot.w3), true);
        slot = none::value;
        released = true;
    }
    if (!released) return;
    ownership::unbind(state);
    set_facet(font, FontFacet::state, none::value);
}

void update_font(const Cell& font, int field) {
    static const bool remakes[] = {true, true, true, true, false, true};
    if (field < 0 || field >= 6 || !remakes[field] || !is_font(font)) return;
    Rooted<Cell> f(font);
    free_font(*f);
    make_font(none::value, *f, true);
    drop_layouts();
}

std::string font_css(const Font& font, double scale) {
    const PangoApi& p = pango();
    const char* family = p.font_description_get_family(font.description);
    std::string css = "font-family: \"";
    for (const char* c = family ? family : ""; *c; ++c) {
        if (*c == '"' || *c == '\\') css += '\\';
        css += *c;
    }
    char size[32];
    std::snprintf(size, sizeof size, "%g", double(font.pixels) / (scale > 0 ? scale : 1));
    bool upright = p.font_description_get_style(font.description) == PANGO_STYLE_NORMAL;
    css += "\"; font-size: " + std::string(size) + "px; font-weight: " +
           std::to_string(int(p.font_description_get_weight(font.description))) +
           "; font-style: " + (upright ? "normal" : "italic") + ";";
    if (font.underline || font.strike)
        css += std::string(" text-decoration-line:") + (font.underline ? " underline" : "") +
               (font.strike ? " line-through" : "") + ";";
    return css;
}

FontSpec default_font_spec() {
    FontSpec spec = desktop_font;
    // Asked at every measure: the path to the fonts object is walked once.
    std::optional<Cell> fonts = view_fonts();
    ViewFontsField name_field = fonts_field(fonts, "system");
    ViewFontsField size_field = fonts_field(fonts, "size");
    const Cell* name = name_field.value();
    if (name && cell::type_of(*name) == TYPE_STRING) spec.family = to_utf8(*name);
    const Cell* size = size_field.value();
    if (size && cell::type_of(*size) == TYPE_INTEGER && integer::get(*size) > 0)
        spec.points = integer::get(*size);
    return spec;
}

Font* default_font() {
    FontSpec spec = default_font_spec();
    if (!the_default || default_dpi != current_dpi() || spec.family != default_made_from.family ||
        spec.points != default_made_from.points) {
        if (!shared_context()) return nullptr;
        release_font(the_default); // windows given it keep their reference
        the_default =
            new_font(FontStyle{}, spec.family,
                     clamp_pixels(int64_t(spec.points) * std::lround(current_dpi()) / 72));
        default_dpi = current_dpi();
        default_made_from = spec;
    }
    return the_default;
}

void set_default_font(HWnd window) {
    if (!shared_context()) return;
    const PangoApi& p = pango();
    std::string setting = layer_running() ? backend().font_name() : std::string();
    if (setting.empty()) setting = "Sans 10";
    PangoFontDescription* d = p.font_description_from_string(setting.c_str());
    double size = double(p.font_description_get_size(d)) / PANGO_SCALE;
    if (p.font_description_get_size_is_absolute(d)) size = size * 72 / 96;
    FontSpec spec{resolve_family(p.font_description_get_family(d)),
                  size > 0 ? int32_t(std::lround(size)) : 10};
    p.font_description_free(d);
    desktop_font = spec;
    if (view_fonts_field("system").index >= 0) {
        Rooted<Cell> text;
        string::load_at(reinterpret_cast<const uint8_t*>(spec.family.data()),
                        uint32_t(spec.family.size()), *text, string::Encoding::utf8);
        view_fonts_field("system").set(*text);
    }
    Cell points;
    integer::make_at(points, spec.points);
    view_fonts_field("size").set(points);
    release_font(the_default); // windows given it keep their reference
    the_default = nullptr;
    Font* font = default_font();
    if (window) send_message(window, WM_SETFONT, reinterpret_cast<uint64_t>(font), 0);
    default_set = true;
}

namespace {

// Gives the window and its children that show `old` the default font.
void replace_default(HWnd window, Font* old) {
    if (reinterpret_cast<Font*>(send_message(window, WM_GETFONT, 0, 0)) == old)
        send_message(window, WM_SETFONT, reinterpret_cast<uint64_t>(default_font()), 0);
    for (HWnd child : child_windows(window)) replace_default(child, old);
}

} // namespace

void refresh_default_font() {
    drop_layouts();
    if (!default_set) return;
    // Held while the windows change over: the last window to let it go
    // frees it.
    Font* old = retain_font(default_font());
    set_default_font(0);
    if (layer_running())
        for (HWnd top : top_level_windows()) replace_default(top, old);
    release_font(old);
}

} // namespace kiv::gui::text
