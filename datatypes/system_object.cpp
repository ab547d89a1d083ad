#include "datatypes/system_object.h"

#include <algorithm>
#include <iterator>

#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/words.h"
#include "runtime/binding.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
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

// The value of the symbol in the context through the entry index the step
// remembers, or null.
const Cell* step_value(uint32_t& index, NodeId ctx, uint32_t symbol) {
    const Cell& c = context::cell_of(ctx);
    if (c.header & context::flag::on_stack) return context::value_of(symbol, ctx);
    Buffer* words = memory::buffer_of(hashtable::record_of(c.w1).blk);
    uint32_t held = index < words->length() ? words->head_cell()[index].w2 : 0;
    if (held != symbol && (!held || symbol::resolve(held) != symbol::resolve(symbol))) {
        int32_t found = context::find_word(ctx, symbol, true);
        if (found < 0) return nullptr;
        index = uint32_t(found);
    }
    return memory::buffer_of(c.w2)->head_cell() + index;
}

} // namespace

const Cell* CachedPath::find(std::initializer_list<uint32_t> path) {
    if (path.size() + 1 > max_steps) return system_object::find(path);
    if (epoch_ != binding::epoch) {
        epoch_ = binding::epoch;
        std::fill(std::begin(contexts_), std::end(contexts_), 0);
    }
    NodeId ctx = context::global;
    uint32_t symbol = words::sym<"system">();
    const uint32_t* next = path.begin();
    for (uint32_t step = 0; step < max_steps; ++step) {
        uint32_t& index = indexes_[step];
        const Cell& c = context::cell_of(ctx);
        const Cell* value;
        if (contexts_[step] == ctx && !(c.header & context::flag::on_stack)) {
            value = memory::buffer_of(c.w2)->head_cell() + index;
        } else {
            value = step_value(index, ctx, symbol);
            contexts_[step] = value ? ctx : 0;
        }
        if (!value || next == path.end()) return value;
        if (cell::type_of(*value) != TYPE_OBJECT) return nullptr;
        ctx = value->w1;
        symbol = *next++;
    }
    return nullptr;
}

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
