#include "evaluator/natives.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "runtime/fatal.h"

namespace kiv::natives {
namespace {

struct Slot {
    Entry entry = nullptr;
    Arity arity;
};
std::array<Slot, table_size> table;
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
    table[index - 1] = {e, a};
    if (index >= next) next = index + 1;
}

uint32_t count() {
    return next;
}

Entry entry(uint32_t index) {
    return index >= 1 && index <= table_size ? table[index - 1].entry : nullptr;
}

Arity arity(uint32_t index) {
    return index >= 1 && index <= table_size ? table[index - 1].arity : Arity{};
}

void reset() {
    table = {};
    next = 1;
}

} // namespace kiv::natives
