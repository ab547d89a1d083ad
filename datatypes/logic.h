// logic!: true and false, and the truth tests of conditions.
#pragma once

#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv::logic {

// The shared true and false values.
extern const Cell true_value;
extern const Cell false_value;

Cell* make_at(Cell& cell, bool flag);
Cell* make_in(Cell& block, bool flag);
Cell* push(bool flag);
Cell* set_result(bool flag);
inline bool get(const Cell& cell) {
    return cell.w1 != 0;
}

// A value counts as false when it is none! or a logic! whose flag is not 1.
inline bool counts_false(const Cell& cell) {
    uint32_t type = cell::type_of(cell);
    return type == TYPE_NONE || (type == TYPE_LOGIC && cell.w1 != 1);
}
// The truth of a cell; with check_unset an unset! raises `no-value` naming
// `name`, otherwise it counts as true.
bool true_cell(const Cell& cell, bool check_unset, const Cell* name);
// The truth of the result slot; unset! raises `no-return`.
bool true_q();
// Whether the result slot counts as false (unset! counts as true).
bool false_q();
// Whether the last value pushed in the current frame, or the result slot
// when the frame holds nothing, counts as false.
bool top_false_q();
inline bool top_true_q() {
    return !top_false_q();
}

void init();

} // namespace kiv::logic
