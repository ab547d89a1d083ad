#include "gui/backend/text/font_style.h"

#include "datatypes/block.h"
#include "datatypes/logic.h"
#include "datatypes/symbol.h"
#include "gui/backend/text/shared_context.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

uint32_t canonical_symbol(const char* name) {
    return symbol::resolve(symbol::intern(name));
}

void apply_style_word(const Cell& word, FontStyle& style) {
    if (cell::type_of(word) != TYPE_WORD && cell::type_of(word) != TYPE_LIT_WORD) return;
    struct Entry {
        const char* name;
        bool FontStyle::*flag;
    };
    static const Entry table[] = {{"bold", &FontStyle::bold},
                                  {"italic", &FontStyle::italic},
                                  {"underline", &FontStyle::underline},
                                  {"strike", &FontStyle::strike}};
    uint32_t id = symbol::resolve(word.w2);
    for (const Entry& e : table)
        if (id == canonical_symbol(e.name)) style.*e.flag = true;
}

} // namespace

FontStyle read_font_style(const Cell& value) {
    FontStyle style;
    if (cell::type_of(value) == TYPE_BLOCK) {
        int32_t n = block::rs_length(value);
        for (int32_t i = 0; i < n; ++i) apply_style_word(block::rs_head(value)[i], style);
    } else {
        apply_style_word(value, style);
    }
    return style;
}

cairo_antialias_t read_antialias(const Cell& value) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_LOGIC)
        return logic::get(value) ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_DEFAULT;
    if ((type == TYPE_WORD || type == TYPE_LIT_WORD) &&
        symbol::resolve(value.w2) == canonical_symbol("ClearType"))
        return CAIRO_ANTIALIAS_SUBPIXEL;
    return CAIRO_ANTIALIAS_DEFAULT;
}

namespace {

// What fontconfig gives for a family name, as the desktop would match it:
// `field` of the best match, empty when there is none.
std::string match_field(const std::string& family, const char* field) {
    if (!shared_context()) return {};
    const PangoApi& p = pango();
    FcPattern* pattern = p.PatternCreate();
    if (!pattern) return {};
    p.PatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    p.ConfigSubstitute(nullptr, pattern, FcMatchPattern);
    p.DefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = p.FontMatch(nullptr, pattern, &result);
    FcChar8* found = nullptr;
    std::string value;
    if (match && p.PatternGetString(match, field, 0, &found) == FcResultMatch && found)
        value = reinterpret_cast<const char*>(found);
    if (match) p.PatternDestroy(match);
    p.PatternDestroy(pattern);
    return value;
}

} // namespace

std::string resolve_family(const char* family) {
    std::string name = family && *family ? family : "Sans";
    std::string found = match_field(name, FC_FAMILY);
    return found.empty() ? name : found;
}

bool has_font_file() {
    return !match_field("Sans", FC_FILE).empty();
}

} // namespace kiv::gui::text
