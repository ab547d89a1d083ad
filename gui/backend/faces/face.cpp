#include "gui/backend/faces/face.h"

#include "datatypes/block.h"
#include "datatypes/handle.h"
#include "datatypes/integer.h"
#include "datatypes/object.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "gui/backend/faces/face_slots.h"
#include "gui/backend/window_layer.h"
#include "runtime/slot_table.h"
#include "runtime/types.h"

#include <unordered_map>

namespace kiv::gui::faces {

namespace {

struct TypeName {
    const char* word;
    FaceType type;
};

constexpr TypeName type_names[] = {
    {"window", FaceType::window},       {"screen", FaceType::screen},
    {"base", FaceType::base},           {"rich-text", FaceType::rich_text},
    {"button", FaceType::button},       {"toggle", FaceType::toggle},
    {"check", FaceType::check},         {"radio", FaceType::radio},
    {"panel", FaceType::panel},         {"group-box", FaceType::group_box},
    {"tab-panel", FaceType::tab_panel}, {"field", FaceType::field},
    {"area", FaceType::area},           {"text", FaceType::text},
    {"text-list", FaceType::text_list}, {"drop-down", FaceType::drop_down},
    {"drop-list", FaceType::drop_list}, {"progress", FaceType::progress},
    {"slider", FaceType::slider},       {"scroller", FaceType::scroller},
    {"camera", FaceType::camera},       {"calendar", FaceType::calendar},
};

// The face types by the canonical symbol id of their word, made at the
// first lookup after the faces start. The ids belong to the running
// program's symbol table, so every start makes the table again.
std::unordered_map<uint32_t, FaceType>& types_by_symbol() {
    static std::unordered_map<uint32_t, FaceType> table;
    return table;
}

Cell* state_block(const Cell& face) {
    Cell& state = facet(face, f_state);
    return cell::type_of(state) == TYPE_BLOCK ? &state : nullptr;
}

} // namespace

bool is_face(const Cell& value) {
    return cell::type_of(value) == TYPE_OBJECT && object::words_count(value) >= facet_count;
}

Cell& facet(const Cell& face, Facet f) {
    return const_cast<Cell&>(object::get_values(face)[f]);
}

bool is_word(const Cell& value, const char* name) {
    if (!word::any_word(cell::type_of(value))) return false;
    uint32_t symbol = value.w2; // interning may allocate and move the value
    return symbol::resolve(symbol) == symbol::resolve(symbol::intern(name));
}

bool option_value(const Cell& options, const char* key, bool pairs, Cell& value) {
    Cell block = options;
    if (cell::type_of(block) != TYPE_BLOCK) return false;
    int32_t n = block::rs_length(block);
    if (pairs && n % 2) return false;
    for (int32_t i = 0; i + 1 < n; i += pairs ? 2 : 1) {
        Cell word = block::rs_head(block)[i];
        if (!is_word(word, key)) continue;
        value = block::rs_head(block)[i + 1];
        return true;
    }
    return false;
}

void forget_face_types() {
    types_by_symbol().clear();
}

FaceType face_type(const Cell& face) {
    Cell type = facet(face, f_type);
    if (!word::any_word(cell::type_of(type))) return FaceType::other;
    auto& table = types_by_symbol();
    if (table.empty())
        for (const TypeName& t : type_names)
            table.emplace(symbol::resolve(symbol::intern(t.word)), t.type);
    auto found = table.find(symbol::resolve(type.w2));
    return found == table.end() ? FaceType::other : found->second;
}

HWnd face_window(const Cell& face) {
    if (!is_face(face)) return 0;
    Cell* state = state_block(face);
    if (!state || block::rs_length(*state) < 1) return 0;
    Cell h = block::rs_head(*state)[0];
    return cell::type_of(h) == TYPE_HANDLE ? handle::value_of(h) : 0;
}

uint32_t pending_bits(const Cell& face) {
    Cell* state = state_block(face);
    if (!state || block::rs_length(*state) < 2) return 0;
    Cell bits = block::rs_head(*state)[1];
    return cell::type_of(bits) == TYPE_INTEGER ? uint32_t(integer::get(bits)) : 0;
}

void set_pending_bits(const Cell& face, uint32_t bits) {
    Cell* state = state_block(face);
    if (state && block::rs_length(*state) >= 2)
        integer::make_at(block::written_cell(*state, 1), int32_t(bits));
}

bool window_face(HWnd window, Cell& out) {
    int32_t handle = get_window_long(window, slot_face);
    Cell* face = handle ? slot_table::get(uint32_t(handle)) : nullptr;
    if (!face || !is_face(*face)) return false;
    out = *face;
    return true;
}

bool read_point(const Cell& value, double& x, double& y) {
    switch (cell::type_of(value)) {
    case TYPE_PAIR: x = int32_t(value.w2), y = int32_t(value.w3); return true;
    case TYPE_POINT2D: x = point::get(value, 0), y = point::get(value, 1); return true;
    default: return false;
    }
}

bool opaque_color(const Cell& color) {
    return cell::type_of(color) == TYPE_TUPLE &&
           (tuple::size_of(color) < 4 || tuple::byte_at(color, 3) == 0);
}

} // namespace kiv::gui::faces
