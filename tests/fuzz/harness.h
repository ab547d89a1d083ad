// What the fuzz targets share: one start-up of the whole language per
// process, with printed output thrown away, and the text of a string.
#pragma once

#include <fcntl.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "boot/startup.h"
#include "console/stdio.h"
#include "datatypes/string.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "runtime/entry.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/unicode.h"

namespace kiv::fuzz {

// Starts the language once; what the code under test prints goes to
// /dev/null.
inline void start_once() {
    static bool started = [] {
        runtime::std_handles.output = open("/dev/null", O_WRONLY);
        boot::start();
        console::init();
        return true;
    }();
    (void)started;
}

// The start of a target of a binary format: the language once, then, with
// KIV_FUZZ_SEEDS naming the corpus folder, the target's own seeds written
// there.
inline int start_with_seeds(void (*write_seeds)(const std::filesystem::path& corpus)) {
    start_once();
    if (const char* corpus = std::getenv("KIV_FUZZ_SEEDS")) write_seeds(corpus);
    return 0;
}

// Loads and evaluates Kiv code under a trap: false when it raised an
// error, which `result` then holds.
inline bool evaluate(std::string_view code, Cell& result) {
    Rooted<Cell> block;
    return trap::run(
        [&] {
            lexer::load(*block, reinterpret_cast<const uint8_t*>(code.data()),
                        uint32_t(code.size()));
            interpreter::eval(*block, true);
        },
        result);
}

inline bool evaluate(std::string_view code) {
    Rooted<Cell> result;
    return evaluate(code, *result);
}

// The UTF-8 text of a string!.
inline std::string utf8_of(const Cell& text) {
    Rooted<Cell> string_(text);
    int32_t length = -1;
    const char* bytes = reinterpret_cast<const char*>(utf8::from_string(*string_, length));
    return std::string(bytes, size_t(length));
}

} // namespace kiv::fuzz
