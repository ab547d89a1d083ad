#include "gui/backend/text/text_size.h"

#include <algorithm>

#include "datatypes/string.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/layout_cache.h"
#include "gui/backend/text/layouts.h"
#include "gui/backend/text/para.h"
#include "gui/backend/text/shared_context.h"
#include "gui/backend/text/text_format.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

double units(int pango_units) {
    return double(pango_units) / PANGO_SCALE;
}

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::u32string code_points(const Cell& string) {
    Cell s = string;
    uint32_t head = string::head_index(s), n = string::length(s);
    std::u32string out(n, U'\0');
    for (uint32_t i = 0; i < n; ++i) out[i] = char32_t(string::char_at(s, head + i));
    return out;
}

// The width a wrapping face wraps its text at; 0: no wrapping.
int32_t wrap_width(const Cell& face, uint32_t flags) {
    if (!(flags & para_wrap)) return 0;
    int32_t w, h;
    face_size(face, w, h);
    return w;
}

} // namespace

TextSize layout_text_size(PangoLayout* layout) {
    const PangoApi& p = pango();
    const char* text = p.layout_get_text(layout);
    double width = 0;
    int lines = p.layout_get_line_count(layout);
    for (int i = 0; i < lines; ++i) {
        PangoLayoutLine* line = p.layout_get_line_readonly(layout, i);
        int end = line->start_index + line->length;
        while (end > line->start_index && is_space(text[end - 1])) --end;
        if (end == line->start_index) continue;
        int* ranges = nullptr;
        int n = 0;
        p.layout_line_get_x_ranges(line, line->start_index, end, &ranges, &n);
        if (n > 0) {
            int left = ranges[0], right = ranges[1];
            for (int r = 1; r < n; ++r) {
                left = std::min(left, ranges[2 * r]);
                right = std::max(right, ranges[2 * r + 1]);
            }
            width = std::max(width, units(right - left));
        }
        p.free(ranges);
    }
    PangoRectangle logical;
    p.layout_get_extents(layout, nullptr, &logical);
    return {width, units(logical.height)};
}

namespace {

// The model of the text wrapped at `width` (0: not wrapped).
TextModel model_at(const Cell& face, const Cell& text, uint32_t flags, int32_t width) {
    double align = flags & 1 ? 0.5 : flags & 2 ? 1 : 0; // the rich-text bits
    return TextModel(code_points(text), format_pixels(facet(face, FaceFacet::font)), width, align);
}

} // namespace

TextModel face_text_model(const Cell& face, const Cell& text, uint32_t flags) {
    return model_at(face, text, flags, wrap_width(face, flags));
}

namespace {

// The size of the text in the face's font, wrapped at `width` (0: not
// wrapped). A text measured before in the same font and width is not
// shaped again.
TextSize measure(const Cell& face, const Cell& text, uint32_t flags, int32_t width) {
    Rooted<Cell> f(face), t(text);
    Font* format = text_model_in_use() ? nullptr : text_format(facet(face, FaceFacet::font));
    if (!format) {
        TextModel model = model_at(*f, *t, flags, width);
        return {model.width(), model.height()};
    }
    std::string utf8 = to_utf8(*t);
    TextSize size;
    if (find_size(format, width, utf8, size)) return size;
    PangoLayout* layout = string_layout(*format, *t);
    if (width) {
        pango().layout_set_width(layout, width * PANGO_SCALE);
        pango().layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    size = layout_text_size(layout);
    pango().object_unref(layout);
    keep_size(format, width, utf8, size);
    return size;
}

} // namespace

TextSize face_text_size(const Cell& face, const Cell& text) {
    uint32_t flags = get_para_flags(facet(face, FaceFacet::type), facet(face, FaceFacet::para));
    return measure(face, text, flags, wrap_width(face, flags));
}

TextSize face_text_size_wrapped(const Cell& face, const Cell& text, int32_t width) {
    return measure(face, text, 0, std::max(width, 1));
}

} // namespace kiv::gui::text
