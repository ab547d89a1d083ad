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

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "datatypes/context.h"
#include "runtime/binding.h"
#include "runtime/cell.h"

namespace kiv::plans {

// `impure`: a set-word whose expression the interpreter could not compute
// in place (see interpreter.cpp); planned for set-words of any context,
// since it holds nothing of the word's value. One left by code changed
// after the set-word only keeps that set-word on the generic path, which
// gives the same result.
enum class Kind : uint8_t { empty, op, not_op, impure };

// What every plan is checked by: the epoch it was made in and the code
// cell it was made for, whole.
struct Key {
    uint64_t epoch = 0;
    uint64_t cell[2] = {0, 0};

    bool matches(const Cell* at) const {
        uint64_t now[2];
        std::memcpy(now, at, sizeof now);
        return cell[0] == now[0] && cell[1] == now[1] && epoch == binding::epoch;
    }
    void take(const Cell* at) {
        epoch = binding::epoch;
        std::memcpy(cell, at, sizeof cell);
    }
};

// The entry of a table for the code cell at `at`, by its address. What a
// plan holds depends only on its key (and, for refinements, the list), so
// two positions that share an entry and hold the same cell share the plan.
template <typename Entry, size_t size>
inline Entry& entry_in(Entry (&table)[size], const Cell* at) {
    static_assert((size & (size - 1)) == 0);
    return table[(reinterpret_cast<uintptr_t>(at) / sizeof(Cell)) & (size - 1)];
}

struct Plan {
    Key key;
    Kind kind = Kind::empty;
    // The interpreter's decoding: the fast operation of an operator.
    uint8_t detail = 0;
    // The word's value (an operator's function unwrapped).
    Cell value{};
};

extern Plan table[4096];

// The plan of the word cell at `at` when it is still good, else null. The
// pointer is good until the next plan is made.
inline const Plan* find(const Cell* at) {
    const Plan& plan = entry_in(table, at);
    if (plan.key.matches(at)) [[likely]]
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
    Plan& plan = entry_in(table, at);
    plan.key.take(at);
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
    Key key;
    NodeId list = 0;
    // The refinement's entry in the list, its frame slot, and the number
    // of the first argument after it.
    int32_t at = 0;
    uint32_t slot = 0;
    uint32_t argument = 0;
};

extern RefinementPlan refinement_table[1024];

// The place of the refinement the element names in the list, when planned
// in this epoch; else null.
inline const RefinementPlan* find_refinement(const Cell* element, NodeId list) {
    const RefinementPlan& plan = entry_in(refinement_table, element);
    return plan.list == list && plan.key.matches(element) ? &plan : nullptr;
}

inline void make_refinement(const Cell* element, NodeId list, int32_t at, uint32_t slot,
                            uint32_t argument) {
    RefinementPlan& plan = entry_in(refinement_table, element);
    plan.key.take(element);
    plan.list = list;
    plan.at = at;
    plan.slot = slot;
    plan.argument = argument;
}

} // namespace kiv::plans
