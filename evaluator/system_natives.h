// The text, binary, system and environment natives: the PARSE and lexer
// entry points, %xx escapes, case changes, new-line markers, type
// coercion between series of one class, local file names, the
// environment, the clock, waiting, the collector and memory statistics.
// Each unpacks its arguments and hands the work to the module that owns
// the service.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::system_natives {

// The bytes of memory in use (level 1), or with level 2 also the detailed
// statistics appended to `block`: node frames, series frames and large
// buffers, then the total bytes held and the tracked heap's total.
double memory_stats(Cell* block, int level);

// One pass of the GUI's event loop (at most one message when `no_wait`),
// which `wait` runs; set by start-up once a GUI backend exists, null
// while there is none.
extern int (*do_events)(bool no_wait);

// Fills the natives table slots of these natives and connects the PARSE
// engine to the interpreter, word and typeset modules.
void register_natives();

} // namespace kiv::system_natives
