#include "gui/backend/text/layouts.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/float.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "gui/backend/conversions.h"
#include "gui/backend/resources.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/layout_cache.h"
#include "gui/backend/text/para.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/text/text_format.h"
#include "platform/cairo_api.h"
#include "runtime/errors.h"
#include "runtime/externals.h"
#include "runtime/roots.h"
#include "runtime/text_index.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

constexpr const char* backdrop_key = "kiv-backdrops";

uint32_t canonical(const char* name) {
    return symbol::resolve(symbol::intern(name));
}

bool is_word(const Cell& c, const char* name) {
    uint32_t t = cell::type_of(c);
    return (t == TYPE_WORD || t == TYPE_LIT_WORD) && symbol::resolve(c.w2) == canonical(name);
}

// A value as a colour: a tuple, or a word whose value is one.
bool color_of(const Cell& c, uint32_t& color) {
    Cell v = c;
    if (cell::type_of(c) == TYPE_WORD && int32_t(c.w3) >= 0) v = *word::value_cell(c);
    if (cell::type_of(v) != TYPE_TUPLE || tuple::size_of(v) < 3) return false;
    color = to_color(v);
    return true;
}

// A field of the object found by its name (faces of some types have more
// fields than face!); none when it has none.
Cell named_field(const Cell& object, const char* name) {
    Cell word;
    word.header = TYPE_WORD;
    word.w2 = symbol::intern(name);
    return *object::find_word(object, word);
}

guint16 channel(uint32_t color, int shift) {
    return guint16(((color >> shift) & 0xFF) * 257);
}

// An empty range (values before the first run, a run cut away) styles
// nothing.
void insert(PangoAttrList* list, PangoAttribute* attr, uint32_t start, uint32_t end) {
    if (start >= end) return pango().attribute_destroy(attr);
    attr->start_index = start;
    attr->end_index = end;
    pango().attr_list_insert(list, attr);
}

void insert_color(PangoAttrList* list, uint32_t color, uint32_t start, uint32_t end) {
    const PangoApi& p = pango();
    insert(list, p.attr_foreground_new(channel(color, 0), channel(color, 8), channel(color, 16)),
           start, end);
    uint32_t alpha = 255 - (color >> 24);
    if (alpha != 255) insert(list, p.attr_foreground_alpha_new(guint16(alpha * 257)), start, end);
}

void insert_decorations(PangoAttrList* list, const Font& format) {
    const PangoApi& p = pango();
    if (format.underline)
        insert(list, p.attr_underline_new(PANGO_UNDERLINE_SINGLE), 0, PANGO_ATTR_INDEX_TO_TEXT_END);
    if (format.strike)
        insert(list, p.attr_strikethrough_new(TRUE), 0, PANGO_ATTR_INDEX_TO_TEXT_END);
}

// The layout's attribute list, made when it has none.
PangoAttrList* attributes(PangoLayout* layout) {
    const PangoApi& p = pango();
    PangoAttrList* list = p.layout_get_attributes(layout);
    if (list) return list;
    list = p.attr_list_new();
    p.layout_set_attributes(layout, list);
    p.attr_list_unref(list);
    return list;
}

std::vector<Backdrop>& backdrop_list(PangoLayout* layout) {
    const PangoApi& p = pango();
    auto* list = static_cast<std::vector<Backdrop>*>(
        p.object_get_data(reinterpret_cast<GObject*>(layout), backdrop_key));
    if (!list) {
        list = new std::vector<Backdrop>;
        p.object_set_data_full(reinterpret_cast<GObject*>(layout), backdrop_key, list,
                               [](gpointer v) { delete static_cast<std::vector<Backdrop>*>(v); });
    }
    return *list;
}

[[noreturn]] void invalid_at(const Cell& block, int32_t index) {
    Cell where = block;
    where.w1 = uint32_t(index);
    runtime::fire_error(runtime::Category::script, err::script::draw_invalid, &where);
}

double number_of(const Cell& c) {
    return cell::type_of(c) == TYPE_INTEGER ? double(integer::get(c)) : float_::get(c);
}

bool is_number(const Cell& c) {
    return cell::type_of(c) == TYPE_INTEGER || cell::type_of(c) == TYPE_FLOAT;
}

} // namespace

void face_size(const Cell& face, int32_t& w, int32_t& h) {
    Cell size = facet(face, FaceFacet::size);
    w = h = 0;
    if (cell::type_of(size) == TYPE_PAIR) {
        w = pair::x_of(size);
        h = pair::y_of(size);
    } else if (cell::type_of(size) == TYPE_POINT2D) {
        w = truncate_to_int(point::get(size, 0) + 0.5);
        h = truncate_to_int(point::get(size, 1) + 0.5);
    }
    w = std::max(w, 0);
    h = std::max(h, 0);
}

uint32_t face_para_flags(const Cell& face) {
    Cell rich = Cell{};
    rich.header = TYPE_WORD;
    rich.w2 = symbol::intern("rich-text");
    return get_para_flags(rich, facet(face, FaceFacet::para));
}

namespace {

// A positive length in Pango units, kept within an int: a stop or a line
// height past that lies beyond any text anyway.
int pango_units(double length) {
    return int(std::fmin(length * PANGO_SCALE, double(INT_MAX)));
}

// The rich-text settings: a repeating tab stop, and a fixed line height.
void apply_rich_settings(const Cell& face, PangoLayout* layout) {
    const PangoApi& p = pango();
    Cell tabs = named_field(face, "tabs");
    if (is_number(tabs) && number_of(tabs) > 0) {
        PangoTabArray* array = p.tab_array_new(1, FALSE);
        p.tab_array_set_tab(array, 0, PANGO_TAB_LEFT, pango_units(number_of(tabs)));
        p.layout_set_tabs(layout, array);
        p.tab_array_free(array);
    }
    Cell spacing = named_field(face, "line-spacing");
    if (is_number(spacing) && number_of(spacing) > 0)
        insert(attributes(layout), p.attr_line_height_new_absolute(pango_units(number_of(spacing))),
               0, PANGO_ATTR_INDEX_TO_TEXT_END);
}

bool is_rich_text(const Cell& face) {
    return is_word(facet(face, FaceFacet::type), "rich-text");
}

// Keeps the layout in the face's `handles` block (made when it has none),
// releasing the one it replaces.
void cache_layout(const Cell& face, PangoLayout* layout) {
    Rooted<Cell> f(face);
    Cell handles = handles_of(face);
    pango().object_ref(layout);
    if (cell::type_of(handles) == TYPE_BLOCK && block::rs_length(handles) >= 4 &&
        cell::type_of(block::rs_head(handles)[0]) == TYPE_HANDLE &&
        externals::entry(int32_t(block::rs_head(handles)[0].w3))) {
        externals::replace(int32_t(block::rs_head(handles)[0].w3), layout);
        logic::make_at(block::written_cell(handles, 3), false);
        return;
    }
    register_resource_kinds();
    Rooted<Cell> made, h;
    int32_t index = externals::store(layout, com_object_kind());
    handle::make_at(*h, uint32_t(index), handle::rich_text);
    h->w3 = uint32_t(index);
    block::make_at(*made, 4);
    block::append_value(*made, *h);
    block::append_value(*made, facet(*f, FaceFacet::text));
    block::append_value(*made, none::value);
    block::append_value(*made, logic::false_value);
    Cell word;
    word.header = TYPE_WORD;
    word.w2 = symbol::intern("handles");
    int32_t field = object::find_index(*f, word);
    if (field >= 0) object::store_value(*f, uint32_t(field), *made);
}

template <typename T>
void put(std::string& key, T value) {
    key.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put_text(std::string& key, const std::string& text) {
    put(key, text.size());
    key += text;
}

// A number setting as the layout reads it (0: none).
double setting(const Cell& face, const char* name) {
    Cell value = named_field(face, name);
    return is_number(value) ? number_of(value) : 0;
}

// The style runs as values: pairs, colours (a word by the colour it
// names now), sizes, families and style words. False for any other
// value, which the key cannot tell apart.
bool put_styles(std::string& key, const Cell& styles) {
    if (cell::type_of(styles) != TYPE_BLOCK || block::rs_length(styles) <= 1) return true;
    for (int32_t i = 0, n = block::rs_length(styles); i < n; ++i) {
        Cell v = block::rs_head(styles)[i];
        uint32_t type = cell::type_of(v), color = 0;
        put(key, type);
        if (type == TYPE_PAIR) {
            put(key, pair::x_of(v));
            put(key, pair::y_of(v));
        } else if (is_number(v)) {
            put(key, number_of(v));
        } else if (type == TYPE_STRING) {
            put_text(key, to_utf8(v));
        } else if (type == TYPE_WORD || type == TYPE_LIT_WORD) {
            put(key, symbol::resolve(v.w2));
            put(key, color_of(v, color) ? color : 0);
        } else if (color_of(v, color)) {
            put(key, color);
        } else {
            return false;
        }
    }
    return true;
}

// What the layout of the face is made from: the text, the font, the para
// bits and wrapping width, the rich-text settings, the font's colour and
// the style runs. False when the styles hold a value the key cannot tell
// apart.
bool layout_key(const Cell& face, Font* format, const std::string& text, bool subpixel,
                std::string& key) {
    put(key, subpixel);
    put(key, format);
    uint32_t flags = face_para_flags(face);
    put(key, flags);
    int32_t w = 0, h = 0;
    if (flags & 0x10) face_size(face, w, h);
    put(key, w);
    bool rich = is_rich_text(face);
    put(key, rich ? setting(face, "tabs") : 0.0);
    put(key, rich ? setting(face, "line-spacing") : 0.0);
    Cell font = facet(face, FaceFacet::font);
    uint32_t color = 0;
    put(key, is_font(font) && color_of(facet(font, FontFacet::color), color) ? color | 1ull << 32
                                                                             : 0ull);
    put_text(key, text);
    return put_styles(key, facet(face, FaceFacet::data));
}

void drop_cache(const Cell& face) {
    Cell word;
    word.header = TYPE_WORD;
    word.w2 = symbol::intern("handles");
    int32_t field = object::find_index(face, word);
    if (field >= 0) object::store_value(face, uint32_t(field), none::value);
}

} // namespace

Cell handles_of(const Cell& face) {
    return named_field(face, "handles");
}

PangoLayout* cached_layout(const Cell& face) {
    Cell handles = handles_of(face);
    if (cell::type_of(handles) != TYPE_BLOCK || block::rs_length(handles) < 1) return nullptr;
    Cell h = block::rs_head(handles)[0];
    if (cell::type_of(h) != TYPE_HANDLE) return nullptr;
    const externals::Entry* e = externals::entry(int32_t(h.w3));
    return e ? static_cast<PangoLayout*>(e->pointer) : nullptr;
}

PangoLayout* string_layout(const Font& format, const Cell& string, bool subpixel) {
    PangoLayout* layout = new_layout(subpixel);
    if (!layout) return nullptr;
    const PangoApi& p = pango();
    p.layout_set_font_description(layout, format.description);
    std::string text = to_utf8(string);
    p.layout_set_text(layout, text.data(), int(text.size()));
    if (format.underline || format.strike) insert_decorations(attributes(layout), format);
    return layout;
}

PangoLayout* text_box_layout(const Cell& face, bool subpixel) {
    Rooted<Cell> f(face);
    Font* format = text_format(facet(face, FaceFacet::font));
    if (!format) return nullptr;
    Cell text = facet(face, FaceFacet::text);
    std::string utf8 = cell::type_of(text) == TYPE_STRING ? to_utf8(text) : std::string();
    bool rich = is_rich_text(face);
    std::string key;
    bool keyed = layout_key(face, format, utf8, subpixel, key);
    if (PangoLayout* kept = keyed ? find_layout(key) : nullptr) {
        if (rich && !subpixel) cache_layout(*f, kept);
        return kept;
    }
    const PangoApi& p = pango();
    PangoLayout* layout = new_layout(subpixel);
    p.layout_set_font_description(layout, format->description);
    p.layout_set_text(layout, utf8.data(), int(utf8.size()));

    uint32_t flags = face_para_flags(face);
    p.layout_set_alignment(layout, flags & 1   ? PANGO_ALIGN_CENTER
                                   : flags & 2 ? PANGO_ALIGN_RIGHT
                                               : PANGO_ALIGN_LEFT);
    if (flags & 0x10) {
        int32_t w, h;
        face_size(face, w, h);
        p.layout_set_width(layout, w * PANGO_SCALE);
        p.layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    if (rich) apply_rich_settings(face, layout);
    Cell font = facet(face, FaceFacet::font);
    uint32_t color;
    if (is_font(font) && color_of(facet(font, FontFacet::color), color))
        insert_color(attributes(layout), color, 0, PANGO_ATTR_INDEX_TO_TEXT_END);
    if (format->underline || format->strike) insert_decorations(attributes(layout), *format);

    Cell data = facet(face, FaceFacet::data);
    try {
        if (cell::type_of(data) == TYPE_BLOCK && block::rs_length(data) > 1)
            parse_text_styles(layout, data);
    } catch (...) {
        p.object_unref(layout);
        if (rich) drop_cache(*f);
        throw;
    }
    if (rich && !subpixel) cache_layout(*f, layout);
    if (keyed) keep_layout(key, layout, format);
    return layout;
}

void parse_text_styles(PangoLayout* layout, const Cell& styles) {
    const PangoApi& p = pango();
    Rooted<Cell> block(styles);
    std::string text = p.layout_get_text(layout);
    size_t length = utf8::char_count(text);
    PangoAttrList* list = attributes(layout);
    std::vector<Backdrop>& backdrops = backdrop_list(layout);
    backdrops.clear();
    uint32_t start = 0, end = 0;
    int32_t n = block::rs_length(*block), head = int32_t(block->w1);
    auto at = [&](int32_t i) { return block::rs_head(*block)[i]; };
    for (int32_t i = 0; i < n; ++i) {
        Cell v = at(i);
        uint32_t type = cell::type_of(v), color;
        if (type == TYPE_PAIR) {
            // The run's characters, cut to the text (an empty run styles
            // nothing).
            int64_t from = int64_t(pair::x_of(v)) - 1;
            int64_t to = from + std::max(pair::y_of(v), 0);
            int64_t first = std::clamp<int64_t>(from, 0, int64_t(length));
            int64_t last = std::clamp<int64_t>(to, first, int64_t(length));
            // In a text of single bytes, characters are bytes.
            bool ascii = length == text.size();
            start = uint32_t(ascii ? size_t(first) : utf8::byte_offset(text, size_t(first)));
            end = uint32_t(ascii ? size_t(last) : utf8::byte_offset(text, size_t(last)));
        } else if (color_of(v, color)) {
            insert_color(list, color, start, end);
        } else if (type == TYPE_STRING) {
            insert(list, p.attr_family_new(to_utf8(v).c_str()), start, end);
        } else if (is_number(v)) {
            insert(list, p.attr_size_new_absolute(int(number_of(v) * 96 / 72 * PANGO_SCALE)), start,
                   end);
        } else if (is_word(v, "backdrop")) {
            if (i + 1 >= n || !color_of(at(i + 1), color))
                invalid_at(*block, head + std::min(i + 1, n - 1));
            backdrops.push_back({int32_t(start), int32_t(end), color});
            ++i;
        } else if (is_word(v, "bold")) {
            insert(list, p.attr_weight_new(PANGO_WEIGHT_BOLD), start, end);
        } else if (is_word(v, "italic")) {
            insert(list, p.attr_style_new(PANGO_STYLE_ITALIC), start, end);
        } else if (is_word(v, "underline") || is_word(v, "strike") || is_word(v, "border")) {
            bool underline = is_word(v, "underline"), strike = is_word(v, "strike");
            if (underline) insert(list, p.attr_underline_new(PANGO_UNDERLINE_SINGLE), start, end);
            if (strike) insert(list, p.attr_strikethrough_new(TRUE), start, end);
            // An optional colour for the line, then an optional line style.
            if (i + 1 < n && color_of(at(i + 1), color)) {
                ++i;
                if (underline)
                    insert(list,
                           p.attr_underline_color_new(channel(color, 0), channel(color, 8),
                                                      channel(color, 16)),
                           start, end);
                if (strike)
                    insert(list,
                           p.attr_strikethrough_color_new(channel(color, 0), channel(color, 8),
                                                          channel(color, 16)),
                           start, end);
            }
            if (i + 1 < n && cell::type_of(at(i + 1)) == TYPE_LIT_WORD) ++i;
        } else {
            invalid_at(*block, head + i);
        }
    }
    p.layout_set_attributes(layout, list); // the layout lays out again
}

const std::vector<Backdrop>* backdrops_of(PangoLayout* layout) {
    return static_cast<std::vector<Backdrop>*>(
        pango().object_get_data(reinterpret_cast<GObject*>(layout), backdrop_key));
}

void paint_backdrops(cairo_t* cr, PangoLayout* layout, double x, double y) {
    const std::vector<Backdrop>* list = backdrops_of(layout);
    if (!list || list->empty()) return;
    const PangoApi& p = pango();
    const CairoApi& c = *cairo_api();
    for (const Backdrop& b : *list) {
        if (b.start >= b.end) continue;
        Rgba rgba = color_to_rgba(b.color);
        c.set_source_rgba(cr, rgba.r, rgba.g, rgba.b, rgba.a);
        PangoLayoutIter* iter = p.layout_get_iter(layout);
        do {
            PangoLayoutLine* line = p.layout_iter_get_line_readonly(iter);
            if (line->start_index >= b.end || line->start_index + line->length <= b.start) continue;
            PangoRectangle extents;
            p.layout_iter_get_line_extents(iter, nullptr, &extents);
            int* ranges = nullptr;
            int count = 0;
            p.layout_line_get_x_ranges(line, std::max(b.start, line->start_index),
                                       std::min(b.end, line->start_index + line->length), &ranges,
                                       &count);
            for (int r = 0; r < count; ++r) {
                double left = x + double(ranges[2 * r]) / PANGO_SCALE;
                double width = double(ranges[2 * r + 1] - ranges[2 * r]) / PANGO_SCALE;
                double top = y + double(extents.y) / PANGO_SCALE;
                double height = double(extents.height) / PANGO_SCALE;
                c.rectangle(cr, std::trunc(left + 0.5), std::trunc(top + 0.5),
                            std::trunc(width + 0.5), std::trunc(height + 0.99));
            }
            p.free(ranges);
        } while (p.layout_iter_next_line(iter));
        p.layout_iter_free(iter);
        c.fill(cr);
    }
}

Offset layout_offset(const Cell& face, double width, double height) {
    uint32_t flags = face_para_flags(face);
    int32_t w, h;
    face_size(face, w, h);
    double free_x = w - width, free_y = h - height;
    Offset o{0, 0};
    if (!(flags & 0x10)) o.x = flags & 1 ? free_x / 2 : flags & 2 ? free_x : 0;
    o.y = flags & 4 ? free_y / 2 : flags & 8 ? free_y : 0;
    return o;
}

Offset layout_offset(const Cell& face, PangoLayout* layout) {
    PangoRectangle logical;
    pango().layout_get_extents(layout, nullptr, &logical);
    return layout_offset(face, double(logical.width) / PANGO_SCALE,
                         double(logical.height) / PANGO_SCALE);
}

} // namespace kiv::gui::text
