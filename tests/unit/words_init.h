// Symbols, contexts, the word types, the global context and the runtime
// word tables, for the fixtures that evaluate words.
#pragma once

#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/symbol.h"

namespace kiv::test {

inline void init_words() {
    symbol::init();
    context::init();
    word::init();
    symbol_table::init();
    context::init_global();
    words::init_runtime_words();
    words::init_refinements();
    words::init_issue();
}

} // namespace kiv::test
