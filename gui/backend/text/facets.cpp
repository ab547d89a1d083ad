#include "gui/backend/text/facets.h"

#include "datatypes/context.h"
#include "datatypes/object.h"
#include "datatypes/symbol.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

// The words of a template, in order, interned at the first check.
struct Layout {
    std::initializer_list<const char*> names;
    uint32_t symbols[32] = {};
    bool ready = false;

    bool matches(const Cell& value) {
        if (cell::type_of(value) != TYPE_OBJECT || !value.w1) return false;
        if (!ready) {
            uint32_t i = 0;
            for (const char* name : names) symbols[i++] = symbol::resolve(symbol::intern(name));
            ready = true;
        }
        NodeId ctx = value.w1;
        if (object::words_count(value) < names.size()) return false;
        for (uint32_t i = 0; i < names.size(); ++i)
            if (symbol::resolve(context::word_at(ctx, i)->w2) != symbols[i]) return false;
        return true;
    }
};

Layout face_layout{{"type",    "offset", "size",     "text",     "image",    "color",
                    "menu",    "data",   "enabled?", "visible?", "selected", "flags",
                    "options", "parent", "pane",     "state",    "rate",     "edge",
                    "para",    "font",   "actors",   "extra",    "draw"}};
Layout font_layout{
    {"name", "size", "style", "angle", "color", "anti-alias?", "shadow", "state", "parent"}};
Layout para_layout{{"origin", "padding", "scroll", "align", "v-align", "wrap?", "parent"}};

Cell value_at(const Cell& object, uint32_t index) {
    const Cell* slot = context::slot_at(object.w1, index);
    return slot ? *slot : Cell{TYPE_NONE, 0, 0, 0};
}

} // namespace

bool is_face(const Cell& value) {
    return face_layout.matches(value);
}
bool is_font(const Cell& value) {
    return font_layout.matches(value);
}
bool is_para(const Cell& value) {
    return para_layout.matches(value);
}

Cell facet(const Cell& object, FaceFacet f) {
    return value_at(object, uint32_t(f));
}
Cell facet(const Cell& object, FontFacet f) {
    return value_at(object, uint32_t(f));
}
Cell facet(const Cell& object, ParaFacet f) {
    return value_at(object, uint32_t(f));
}

void set_facet(const Cell& object, FontFacet f, const Cell& value) {
    object::store_value(object, uint32_t(f), value);
}
void set_facet(const Cell& object, FaceFacet f, const Cell& value) {
    object::store_value(object, uint32_t(f), value);
}

bool same_object(const Cell& a, const Cell& b) {
    return cell::type_of(a) == TYPE_OBJECT && cell::type_of(b) == TYPE_OBJECT && a.w1 == b.w1;
}

} // namespace kiv::gui::text
