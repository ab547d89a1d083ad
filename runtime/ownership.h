// Owner tracking: an object can own the series held in its fields, and
// every in-place change of such a series is reported to it. Modifying
// series actions call `check` before a change with the action's word and,
// when it answered true (the series is owned), again afterwards with the
// word of the completed change.
//
// Until the owner table exists nothing is owned: the entries below answer
// as for a series that was never registered.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::ownership {

// The words a modifying action passes: its own word before the change and
// the word of the completed change after it.
enum class Word : uint32_t {
    append,
    appended,
    insert,
    inserted,
    change,
    changed,
    clear,
    cleared,
    poke,
    poked,
    put,
    put_ed,
    remove,
    removed,
    random,
    randomized,
    reverse,
    reversed,
    sort,
    sorted,
    swap,
    swaped,
    take,
    taken,
    move,
    moved,
    trim,
    trimmed,
};

// Reports a change of `value` (a series, or an object) to its owner: the
// new value (null when none), the index of the change from the head and
// the count of units concerned. True when an owner was notified.
bool check(const Cell& value, Word word, const Cell* new_value, int32_t index, int32_t part);

// The owner (an object! cell) of a registered series, or null.
const Cell* find(NodeId node);
// Registers the value, and the series nested in it, as owned by the owner
// object under the field word.
void set(const Cell& value, const Cell& owner, const Cell& word);
// Removes the value and its nested series from the owner table.
void unbind(const Cell& value);

} // namespace kiv::ownership
