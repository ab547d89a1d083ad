#include "datatypes/system_object.h"

#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/words.h"
#include "runtime/types.h"

namespace kiv::system_object {
namespace {

// The value at a path of symbols from the global word `system`.
const Cell* find_symbols(const uint32_t* symbols, uint32_t n) {
    const Cell* value = context::value_of(words::sym<"system">(), context::global);
    for (uint32_t i = 0; i < n; ++i) {
        if (!value || cell::type_of(*value) != TYPE_OBJECT) return nullptr;
        value = context::value_of(symbols[i], value->w1);
    }
    return value;
}

} // namespace

const Cell* find(std::initializer_list<const char*> path) {
    // Interned first: interning may allocate, which would move the cells.
    uint32_t symbols[8];
    uint32_t n = 0;
    for (const char* name : path)
        if (n < std::size(symbols)) symbols[n++] = symbol::intern(name);
    return find_symbols(symbols, n);
}

const Cell* find(std::initializer_list<uint32_t> path) {
    return find_symbols(path.begin(), uint32_t(path.size()));
}

Cell* field(std::initializer_list<const char*> path) {
    // A context's value slots are writable: find hands them out read-only
    // only to keep readers from writing by mistake.
    return const_cast<Cell*>(find(path));
}

} // namespace kiv::system_object
