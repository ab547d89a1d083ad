#include "gui/backend/text/text_format.h"

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/font_style.h"
#include "gui/backend/text/shared_context.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

// The longest prefix of at most 31 UTF-16 units that ends between
// characters.
std::string cut_family(const std::string& name) {
    size_t units = 0, i = 0;
    while (i < name.size()) {
        unsigned char lead = static_cast<unsigned char>(name[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        size_t more = length == 4 ? 2 : 1;
        if (units + more > 31) break;
        units += more;
        i += length;
    }
    return name.substr(0, i);
}

int32_t pixels_of(int32_t points) {
    return int32_t(std::clamp<int64_t>(int64_t(points) * 96 / 72, 1, 32767));
}

Font* make_format(const FontStyle& style, const std::string& family, int32_t points) {
    return new_font(style, family, pixels_of(points));
}

int32_t font_points(const Cell& font) {
    Cell size = is_font(font) ? facet(font, FontFacet::size) : none::value;
    return cell::type_of(size) == TYPE_INTEGER && integer::get(size) >= 1
               ? integer::get(size)
               : default_font_spec().points;
}

Font* default_format() {
    static Font* format = nullptr;
    static FontSpec made_for{"", 0};
    FontSpec spec = default_font_spec();
    if (!format || spec.family != made_for.family || spec.points != made_for.points) {
        release_font(format);
        format = make_format(FontStyle{}, cut_family(spec.family), spec.points);
        made_for = spec;
    }
    return format;
}

} // namespace

Font* text_format(const Cell& font) {
    if (!shared_context()) return nullptr;
    if (!is_font(font)) return default_format();
    if (Font* cached = font_handle(font, state_format)) return cached;
    Rooted<Cell> f(font);
    Cell name = facet(font, FontFacet::name);
    std::string family =
        cut_family(cell::type_of(name) == TYPE_STRING ? to_utf8(name) : default_font_spec().family);
    Font* made =
        make_format(read_font_style(facet(font, FontFacet::style)), family, font_points(font));
    store_in_state(*f, state_format, made);
    return made;
}

int32_t format_pixels(const Cell& font) {
    return pixels_of(font_points(font));
}

} // namespace kiv::gui::text
