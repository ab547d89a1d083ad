// Showing an error: its formed text, made without ever raising, and the
// report of an error that no try frame caught.
#pragma once

#include "runtime/cell.h"

namespace kiv::error_text {

// Makes `out` a new string holding the error as the console shows it.
// When a part cannot be formed (a `near` or an argument holding a value
// that does not form), the error is formed again without its `near`, then
// also without its arguments; forming never raises.
void form(const Cell& error, Cell& out);

// Shows an error that no try frame caught in the alert, under the caption
// the start-up program names (its caption object's first field when that
// is a string!).
void report_uncaught(const Cell& error);

// Makes report_uncaught the stack's handler of uncaught errors.
void init();

} // namespace kiv::error_text
