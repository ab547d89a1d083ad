#include "gui/backend/conversions.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "runtime/types.h"

namespace kiv::gui {

uint32_t to_color(const Cell& tuple) {
    uint32_t color = 0;
    uint32_t n = tuple::size_of(tuple) > 3 ? 4 : 3;
    for (uint32_t i = 0; i < n; ++i) color |= uint32_t(tuple::byte_at(tuple, i)) << (8 * i);
    return color;
}

uint32_t color_to_argb(uint32_t color, bool layered) {
    uint32_t alpha = 255 - (color >> 24);
    if (layered && alpha == 255) alpha = 254;
    uint32_t r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return alpha << 24 | r << 16 | g << 8 | b;
}

Rgba color_to_rgba(uint32_t color) {
    auto part = [&](int shift) { return double((color >> shift) & 0xFF) / 255.0; };
    return {part(0), part(8), part(16), 1.0 - part(24)};
}

namespace {

int32_t saturate(double x) {
    if (std::isnan(x)) return 0;
    if (x >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    if (x <= double(std::numeric_limits<int32_t>::min()))
        return std::numeric_limits<int32_t>::min();
    return int32_t(x);
}

} // namespace

int32_t truncate_to_int(double x) {
    return saturate(std::trunc(x));
}

int32_t round_to_int(double x) {
    return saturate(std::round(x));
}

void pair_to_point2D(Cell& cell) {
    point2D::make_at(cell, pair::x_of(cell), pair::y_of(cell));
}

void point2D_to_pair(Cell& cell) {
    float x = point::get(cell, 0), y = point::get(cell, 1);
    pair::make_at(cell, truncate_to_int(x), truncate_to_int(y));
}

namespace {

struct FlagName {
    const char* name;
    uint32_t bit;
};
constexpr FlagName flag_names[] = {
    {"all-over", flag_all_over},     {"focusable", flag_focusable},   {"tri-state", flag_tri_state},
    {"scrollable", flag_scrollable}, {"password", flag_password},     {"no-sync", flag_no_sync},
    {"fullscreen", flag_fullscreen}, {"popup", flag_popup},           {"modal", flag_modal},
    {"resize", flag_resize},         {"no-buttons", flag_no_buttons}, {"no-max", flag_no_max},
    {"no-min", flag_no_min},         {"no-title", flag_no_title},     {"no-border", flag_no_border},
};

uint32_t flag_of_word(const Cell& word) {
    uint32_t canonical = symbol::resolve(word.w2);
    for (auto& f : flag_names)
        if (symbol::resolve(symbol::intern_nocase(f.name)) == canonical) return f.bit;
    compound::invalid_arg(word);
}

bool is_word(const Cell& c) {
    uint32_t type = cell::type_of(c);
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

} // namespace

uint32_t get_flags(const Cell& facet) {
    if (is_word(facet)) return flag_of_word(facet);
    if (cell::type_of(facet) != TYPE_BLOCK) return 0;
    uint32_t flags = 0;
    // By index: interning a flag name may allocate.
    for (int32_t i = 0, n = block::rs_length(facet); i < n; ++i) {
        Cell c = block::rs_head(facet)[i];
        if (is_word(c)) flags |= flag_of_word(c);
    }
    return flags;
}

} // namespace kiv::gui
