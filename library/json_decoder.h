// JSON text to values: arrays become blocks, objects maps whose keys are
// words where a name reads as one word, strings otherwise.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::json {

// Where a text stopped being JSON: the line (from 1), the offset of the
// position just after the last value or name matched (or the last line
// feed), and that position's offset from the start of its line.
struct Failure {
    uint32_t line;
    uint32_t mark;
    uint32_t column;
};

// Decodes a string! from its head into `out` (a root); false with the
// failure filled in when the text is not one JSON value.
bool decode(const Cell& text, Cell& out, Failure& failure);

} // namespace kiv::json
