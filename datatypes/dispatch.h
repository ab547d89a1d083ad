// Action dispatch: the layer between a call of an action and the datatype
// function that serves it.
//
// Every action exists in two forms. The stack entry is what an action!
// value calls: it reads its arguments from the current frame and receives
// one word per refinement (-1 when absent, else the frame slot of the
// refinement's first argument). The typed entry takes ordinary arguments
// and is what datatypes, natives and runtime code call. Both find the
// function by the type of their first argument and the slot.
#pragma once

#include <array>
#include <cstdint>

#include "datatypes/datatype.h"
#include "runtime/cell.h"

namespace kiv::dispatch {

using StackEntry = void (*)(const int32_t* refinements);

// The stack entries by slot; slot 0 and slots 8 and 9 have none. Every
// action call reads it, so the lookup is in line.
extern const std::array<StackEntry, slot_count + 1> stack_entries;

// The stack entry of an action slot (1..62); null for slots 8 and 9.
inline StackEntry entry(uint32_t slot) {
    return slot <= slot_count ? stack_entries[slot] : nullptr;
}
// The slot of a stack entry, 0 when it is none.
uint32_t slot_of(StackEntry e);

// The function of (type, slot); raises script expect-arg when the type
// does not support the action.
action::AnyFn get_action_ptr_from(uint32_t type, const Cell& value, Slot slot);

// The function of the value's type for the slot. The usual case is one
// load in line: a registered type with an entry of its own. A port! (whose
// actor may serve the slot), a type not registered and a missing entry
// take the checked path with its errors.
template <Slot S>
action::SlotFn<S> lookup(const Cell& value) {
    uint32_t type = cell::type_of(value);
    if (type < datatype::max_types && type != TYPE_PORT)
        if (action::AnyFn fn = datatype::entry(type, S))
            return reinterpret_cast<action::SlotFn<S>>(fn);
    return reinterpret_cast<action::SlotFn<S>>(get_action_ptr_from(type, value, S));
}

// Comparison by operator code (0 equal ... 12 lookup equality): the raw
// answer of the type (0 equal, negative before, positive after, -2 not
// comparable), and the truth of the comparison.
int32_t compare_value(const Cell& value1, const Cell& value2, int32_t op);
bool compare(const Cell& value1, const Cell& value2, int32_t op);
// Compares slots 0 and 1 of the current frame; the logic! result goes in
// slot 0.
Cell* compare_to_logic(int32_t op);

// Typed entries used across the runtime.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
int32_t form(const Cell& value, Cell& buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell& value, Cell& buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* find(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail,
           bool match);
Cell* select(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse);
Cell* append(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup);
Cell* insert(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup);
int32_t length(Cell* series);
Cell* pick(Cell* series, int32_t index, const Cell* index_cell);
Cell* poke(Cell* series, int32_t index, Cell* value, const Cell* index_cell);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
Cell* remove(Cell* series, const Cell* part, const Cell* key);
Cell* clear(Cell* series);

// The index argument of pick and poke (slot 1) as a number: integer! and
// char! their value, logic! 1 for true and 2 for false, anything else 0.
int32_t get_index_argument();

// Makes slot 0 a new string holding the form (or mold) of the value in
// slot 0, with an optional part limit.
void form_into_result(const Cell* part_cell);

} // namespace kiv::dispatch
