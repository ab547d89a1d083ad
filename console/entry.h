// Running a console's entry: a line of Kiv code that starts the console,
// evaluated in a trap so that an error escaping it is told once.
#pragma once

#include <string>
#include <string_view>

#include "runtime/cell.h"

namespace kiv::console {

// Where the text of an error escaping the entry goes: one line, ending in
// LF.
using ReportError = void (*)(const std::string& line);

// Loads and evaluates `code`. Answers true with its value in `result` when
// it ran through; else hands the error's text to `report` and answers
// false.
bool run_entry(std::string_view code, Cell& result, ReportError report);

} // namespace kiv::console
