// Values to JSON text: blocks become arrays, maps and objects objects,
// strings strings; any other value is written as the text of its form
// (other strings) or its mold.
#pragma once

#include "runtime/cell.h"

namespace kiv::json {

// Writes the JSON text of `value` as a new string! into `out` (a root).
// `indent` is a string! for the pretty layout (each level indented by it,
// one value per line) or none! for text without white space; `ascii`
// escapes every character outside ASCII. A block, map or object holding
// itself raises internal no-cycle, nesting deeper than 1,000 levels
// internal too-deep, a NaN or an infinity script invalid-arg.
void encode(const Cell& value, const Cell& indent, bool ascii, Cell& out);

} // namespace kiv::json
