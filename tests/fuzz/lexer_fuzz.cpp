// Fuzz target of the lexer: any bytes either load or raise a syntax error;
// what loads molds to text that loads back to the same values.
#include <cstdio>
#include <cstdlib>

#include "datatypes/dispatch.h"
#include "datatypes/string.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "harness.h"

namespace {

using namespace kiv;

// Loads text into `values`; false when it raises.
bool load(const uint8_t* text, size_t size, Cell& values) {
    Rooted<Cell> failure;
    return trap::run([&] { lexer::load(values, text, uint32_t(size)); }, *failure);
}

// The mold of a block's values (without the outer brackets); false when
// molding raises (a structure too deep to mold is an error, not a fault).
bool mold(const Cell& values, std::string& text) {
    Rooted<Cell> block(values);
    Rooted<Cell> out;
    Rooted<Cell> failure;
    bool molded = trap::run(
        [&] {
            string::make_at(*out, 64);
            dispatch::mold(*block, *out, true, false, false, nullptr, INT32_MAX, 0);
        },
        *failure);
    if (molded) text = fuzz::utf8_of(*out);
    return molded;
}

[[noreturn]] void fail(const char* what, const std::string& first, const std::string& second) {
    std::fprintf(stderr, "%s\nfirst mold:  %s\nsecond mold: %s\n", what, first.c_str(),
                 second.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::start_once();
    Rooted<Cell> values;
    std::string first;
    if (!load(data, size, *values) || !mold(*values, first)) return 0;
    Rooted<Cell> again;
    std::string second;
    if (!load(reinterpret_cast<const uint8_t*>(first.data()), first.size(), *again))
        fail("the mold of loaded values does not load", first, "");
    if (!mold(*again, second) || second != first)
        fail("the mold of loaded values loads as other values", first, second);
    return 0;
}
