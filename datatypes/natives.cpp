#include "datatypes/natives.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "runtime/fatal.h"

namespace kiv::natives {

std::array<Entry, table_size + 1> entries;

namespace {

std::array<Arity, table_size + 1> arities;
uint32_t next = 1;

} // namespace

void register_native(uint32_t index, Entry e, Arity a) {
    if (index < 1 || index > table_size || !e) {
        char digits[16];
        auto end = std::to_chars(digits, digits + sizeof digits, index).ptr;
        std::fprintf(stderr, "*** Natives Error: invalid native slot: %.*s\n", int(end - digits),
                     digits);
        runtime::quit_with_error(runtime::fatal::assertion_failed, runtime::caller_address());
    }
    entries[index] = e;
    arities[index] = a;
    if (index >= next) next = index + 1;
}

uint32_t count() {
    return next;
}

Arity arity(uint32_t index) {
    return index <= table_size ? arities[index] : Arity{};
}

void reset() {
    entries = {};
    arities = {};
    next = 1;
}

} // namespace kiv::natives
