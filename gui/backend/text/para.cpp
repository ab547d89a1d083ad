#include "gui/backend/text/para.h"

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/symbol.h"
#include "gui/backend/control_messages.h"
#include "gui/backend/messages.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/window_layer.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

// The bits of one face type. Alignment columns: left, center, right,
// none; vertical: top, middle, bottom, none.
struct ParaRow {
    const char* type;
    uint32_t align[4];
    uint32_t v_align[4];
    uint32_t wrap, no_wrap;
    uint32_t mask;
};

// The text family's mask includes `middle` (0x200) and the no-wrap bit
// of `text` (0x4000); base and rich-text's includes wrap (0x10).
const ParaRow rows[] = {
    {"base", {0, 1, 2, 1}, {0, 4, 8, 4}, 0x10, 0, 0x3F},
    {"rich-text", {0, 1, 2, 0}, {0, 4, 8, 0}, 0x10, 0, 0x3F},
    {"button", {0x100, 0x300, 0x200, 0x300}, {0x400, 0xC00, 0x800, 0xC00}, 0, 0, 0xF00},
    {"toggle", {0x100, 0x300, 0x200, 0x300}, {0x400, 0xC00, 0x800, 0xC00}, 0, 0, 0xF00},
    {"check", {0x100, 0x300, 0x200, 0x100}, {0x400, 0xC00, 0x800, 0xC00}, 0, 0, 0xF00},
    {"radio", {0x100, 0x300, 0x200, 0x100}, {0x400, 0xC00, 0x800, 0xC00}, 0, 0, 0xF00},
    {"field", {0, 1, 2, 0}, {0, 0x200, 0, 0}, 0, 0xC0, 0x42C3},
    {"area", {0, 1, 2, 0}, {0, 0x200, 0, 0}, 0, 0xC0, 0x42C3},
    {"text", {0, 1, 2, 0}, {0, 0x200, 0, 0}, 0, 0x4000, 0x42C3},
};

const ParaRow* row_of(const Cell& type) {
    if (cell::type_of(type) != TYPE_WORD) return nullptr;
    uint32_t id = symbol::resolve(type.w2);
    for (const ParaRow& row : rows)
        if (id == symbol::resolve(symbol::intern(row.type))) return &row;
    return nullptr;
}

// The column of a word among three names; 3 (none) for anything else.
int column(const Cell& value, const char* (&names)[3]) {
    if (cell::type_of(value) != TYPE_WORD && cell::type_of(value) != TYPE_LIT_WORD) return 3;
    uint32_t id = symbol::resolve(value.w2);
    for (int i = 0; i < 3; ++i)
        if (id == symbol::resolve(symbol::intern(names[i]))) return i;
    return 3;
}

bool wraps(const Cell& wrap) {
    uint32_t type = cell::type_of(wrap);
    return type == TYPE_NONE || (type == TYPE_LOGIC && logic::get(wrap));
}

bool is_word(const Cell& c, const char* name) {
    return cell::type_of(c) == TYPE_WORD &&
           symbol::resolve(c.w2) == symbol::resolve(symbol::intern(name));
}

} // namespace

uint32_t get_para_flags(const Cell& type, const Cell& para) {
    // Most faces measured have no para: their type is not looked up.
    if (!is_para(para)) return 0;
    const ParaRow* row = row_of(type);
    if (!row) return 0;
    static const char* aligns[3] = {"left", "center", "right"};
    static const char* v_aligns[3] = {"top", "middle", "bottom"};
    return row->align[column(facet(para, ParaFacet::align), aligns)] |
           row->v_align[column(facet(para, ParaFacet::v_align), v_aligns)] |
           (wraps(facet(para, ParaFacet::wrap)) ? row->wrap : row->no_wrap);
}

uint32_t para_mask(const Cell& type) {
    const ParaRow* row = row_of(type);
    return row ? row->mask : 0;
}

ParaHooks& para_hooks() {
    static ParaHooks hooks;
    return hooks;
}

void update_para(const Cell& face) {
    if (!is_face(face)) return;
    Cell state = facet(face, FaceFacet::state), type = facet(face, FaceFacet::type);
    if (cell::type_of(state) != TYPE_BLOCK || cell::type_of(type) != TYPE_WORD) return;
    if (is_word(type, "area") && para_hooks().remake_area) {
        para_hooks().remake_area(face);
    } else if (const ParaRow* row = row_of(type)) {
        Cell first = block::rs_length(state) > 0 ? block::rs_head(state)[0] : Cell{};
        if (cell::type_of(first) == TYPE_HANDLE) {
            HWnd window = handle::value_of(first);
            uint32_t old = get_style(window);
            uint32_t style =
                (old & ~row->mask) | get_para_flags(type, facet(face, FaceFacet::para));
            set_style(window, style);
            send_message(window, WM_STYLECHANGED, uint64_t(-16), int64_t(style));
        }
    }
    state = facet(face, FaceFacet::state);
    if (block::rs_length(state) > 1 && cell::type_of(block::rs_head(state)[1]) == TYPE_INTEGER) {
        Cell& pending = block::written_cell(state, 1);
        integer::make_at(pending, integer::get(pending) | int32_t(para_changed));
    }
}

} // namespace kiv::gui::text
