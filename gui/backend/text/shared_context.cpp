#include "gui/backend/text/shared_context.h"

#include "datatypes/string.h"
#include "runtime/text_index.h"

namespace kiv::gui::text {

namespace {

PangoContext* make_context(const PangoApi& p, bool subpixel) {
    load_font_config(p);
    PangoFontMap* map = p.font_map_new();
    if (!map) return nullptr;
    p.font_map_set_resolution(reinterpret_cast<PangoCairoFontMap*>(map), 96.0);
    PangoContext* context = p.font_map_create_context(map);
    p.object_unref(map); // the context keeps its own reference
    p.context_set_language(context, p.language_get_default());
    p.context_set_round_glyph_positions(context, FALSE);
    cairo_font_options_t* options = p.font_options_create();
    p.font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    p.font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    p.font_options_set_antialias(options,
                                 subpixel ? CAIRO_ANTIALIAS_SUBPIXEL : CAIRO_ANTIALIAS_GRAY);
    if (subpixel) p.font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_RGB);
    p.context_set_font_options(context, options);
    p.font_options_destroy(options);
    return context;
}

} // namespace

PangoContext* shared_context() {
    static PangoContext* context = [] {
        const PangoApi* p = pango_api();
        return p ? make_context(*p, false) : nullptr;
    }();
    return context;
}

PangoContext* subpixel_context() {
    static PangoContext* context = [] {
        return shared_context() ? make_context(pango(), true) : nullptr;
    }();
    return context;
}

const PangoApi& pango() {
    return *pango_api();
}

PangoLayout* new_layout(bool subpixel) {
    PangoContext* context = subpixel ? subpixel_context() : shared_context();
    return context ? pango().layout_new(context) : nullptr;
}

std::string to_utf8(const Cell& value) {
    Cell s = value;
    uint32_t head = string::head_index(s), n = string::length(s);
    std::string out;
    out.reserve(n);
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t cp = string::char_at(s, head + i);
        bool replaced = cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
        if (cp < 0x80 && cp != 0)
            out += char(cp);
        else
            out += utf8::of_char(replaced ? 0xFFFD : cp);
    }
    return out;
}

} // namespace kiv::gui::text
