// Owner tracking: an object can own the series held in its fields, and
// every in-place change of such a series is reported to it through its
// `on-deep-change*` handler. Modifying series actions call `check` before a
// change with the action's word and, when it answered true (the series is
// owned), again afterwards with the word of the completed change.
//
// The owner table maps the node of an owned series to a record of three
// cells: the value as it was registered, the owner (an object! cell) and
// the owner's field word. The table holds its records weakly: it keeps
// neither the owned series nor the owners alive, and a collection drops
// the records of series or owners that nothing else reaches.
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

// The buffer flag of a registered series, and the context-cell flag of an
// object whose fields were registered as owned (context::flag::owned).
constexpr uint32_t owned_flag = 0x20000u;

// Makes the owner table (1000 records) and hooks it into the collector.
void init();
// Forgets the owner table: the memory it lived in is being released.
void release();

// Reports a change of `value` (a series, or an object) to its owner: the
// new value (null when none), the index of the change from the head and
// the count of units concerned. True when an owner was notified.
bool check(const Cell& value, Word word, const Cell* new_value, int32_t index, int32_t part);

// The owner (an object! cell) of a registered series, or null. Good until
// the next allocation.
const Cell* find(NodeId node);
// Registers the value, and the series nested in it, as owned by the owner
// object under the field word, then marks the owner's context as owner.
// The owner itself as the value registers its fields again, so that
// series it took since are owned too.
void set(const Cell& value, const Cell& owner, const Cell& word);
// The registration alone, without the owner mark. A series that is
// already registered keeps its first owner and is not walked again.
void set_nested(const Cell& value, const Cell& owner, const Cell& word);
// Removes the value and its nested series from the owner table.
void unbind(const Cell& value);
// `unbind` on `count` cells of the block from its head + index.
void unset_range(const Cell& block, int32_t index, int32_t count);

// The `owned` property of `modify`: none removes the value and its nested
// series from the owner table; a block whose first two values are an
// owner object and a word makes that object the value's owner under that
// word. Any other setting changes nothing.
void modify_owned(const Cell& value, const Cell& setting);

} // namespace kiv::ownership
