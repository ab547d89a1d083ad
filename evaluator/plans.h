// Code plans: what a word at a code position resolved to, kept beside the
// code (never in its cells) so that the next evaluation of that position
// skips the resolution and the decoding of the value.
//
// A plan is good while the binding epoch is the one it was made in and the
// word cell at its position is still the same cell (bound to the same
// context slot). The epoch moves whenever a slot that holds or receives a
// function or operator is written, when code is bound, and at every
// collection (contexts freed then may come back as other contexts, and
// plans do not keep their values alive). So a good plan of a function or operator still holds what
// the slot holds, and a plan that found no operator still finds none. Words of contexts whose
// values are on the stack (arguments and locals) change on every call: they are never planned.
#pragma once

#include <cstdint>
#include <cstring>

#include "datatypes/context.h"
#include "runtime/binding.h"
#include "runtime/cell.h"

namespace kiv::plans {

enum class Kind : uint8_t { empty, control, op, not_op };

struct Plan {
    uint64_t epoch = 0;
    // The word cell, whole: its context and index name the slot.
    uint64_t word[2] = {0, 0};
    Kind kind = Kind::empty;
    // The interpreter's decoding: the fast operation of an operator, the
    // form of a control native.
    uint8_t detail = 0;
    // The word's value (an operator's function unwrapped).
    Cell value{};
    // The type sets of a control form's arguments.
    Cell types[3]{};
};

constexpr uint32_t table_size = 4096;
extern Plan table[table_size];

// The table is indexed by the word cell's address. What a plan holds
// depends only on the slot its word names, so two positions that share an
// entry and hold the same word cell share its plan too.
inline Plan& entry_for(const Cell* at) {
    return table[(reinterpret_cast<uintptr_t>(at) / sizeof(Cell)) & (table_size - 1)];
}

// The plan of the word cell at `at` when it is still good, else null. The
// pointer is good until the next plan is made.
inline const Plan* find(const Cell* at) {
    const Plan& plan = entry_for(at);
    uint64_t word[2];
    std::memcpy(word, at, sizeof word);
    if (plan.word[0] == word[0] && plan.word[1] == word[1] && plan.epoch == binding::epoch)
        [[likely]]
        return &plan;
    return nullptr;
}

// Whether the word's value can be planned: a resolved word of a context
// whose values are not on the stack.
inline bool plannable(const Cell& word) {
    if (!word.w1 || int32_t(word.w3) < 0) return false;
    const Cell& ctx = context::cell_of(word.w1);
    return ctx.w2 && !(ctx.header & context::flag::on_stack);
}

// A new plan for the word cell at `at`, in the current epoch, with the
// kind and value given; the caller fills in the rest.
inline Plan& make(const Cell* at, Kind kind, const Cell& value, uint8_t detail = 0) {
    Plan& plan = entry_for(at);
    plan.epoch = binding::epoch;
    std::memcpy(plan.word, at, sizeof plan.word);
    plan.kind = kind;
    plan.detail = detail;
    plan.value = value;
    return plan;
}

// Path refinements: where the refinement that a path element names lies in
// a function's argument list. An argument list never changes once built,
// and its node is reused only after a collection, which moves the epoch:
// the same element cell and the same list give the same place.
struct RefinementPlan {
    uint64_t epoch = 0;
    uint64_t element[2] = {0, 0};
    NodeId list = 0;
    // The refinement's entry in the list, its frame slot, and the number
    // of the first argument after it.
    int32_t at = 0;
    uint32_t slot = 0;
    uint32_t argument = 0;
};

constexpr uint32_t refinement_table_size = 1024;
extern RefinementPlan refinement_table[refinement_table_size];

inline RefinementPlan& refinement_entry_for(const Cell* element) {
    return refinement_table[(reinterpret_cast<uintptr_t>(element) / sizeof(Cell)) &
                            (refinement_table_size - 1)];
}

// The place of the refinement the element names in the list, when planned
// in this epoch; else null.
inline const RefinementPlan* find_refinement(const Cell* element, NodeId list) {
    const RefinementPlan& plan = refinement_entry_for(element);
    uint64_t cell[2];
    std::memcpy(cell, element, sizeof cell);
    if (plan.element[0] == cell[0] && plan.element[1] == cell[1] && plan.list == list &&
        plan.epoch == binding::epoch)
        return &plan;
    return nullptr;
}

inline void make_refinement(const Cell* element, NodeId list, int32_t at, uint32_t slot,
                            uint32_t argument) {
    RefinementPlan& plan = refinement_entry_for(element);
    plan.epoch = binding::epoch;
    std::memcpy(plan.element, element, sizeof plan.element);
    plan.list = list;
    plan.at = at;
    plan.slot = slot;
    plan.argument = argument;
}

} // namespace kiv::plans
