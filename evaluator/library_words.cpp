// The words the library's `modulo` reads, for the fast operation of `//`:
// computing a remainder in place stands for a call of modulo only while
// modulo would compute that very remainder, that is while every word its
// body and the bodies of the functions it calls read from outside their
// own calls still holds what it held when the library loaded.
#include <algorithm>
#include <vector>

#include "datatypes/context.h"
#include "datatypes/function.h"
#include "evaluator/walker.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/types.h"

namespace kiv::interpreter::detail {

namespace {

// Pairs of a word and the value it held, word first.
std::vector<Cell> watched;

bool watch_function(const Cell& function, std::vector<uint32_t>& bodies);

// Adds the words of the block and of the blocks in it that read outside a
// function's own call; false when one of them cannot be watched: unbound,
// set from inside, or holding a value whose replacement does not bump the
// binding epoch (not a function or an operator), so that operator
// positions would not be resolved again after the change.
bool watch_block(const Cell& block, std::vector<uint32_t>& bodies) {
    Buffer* buffer = memory::buffer_of(block.w2);
    for (uint32_t i = 0; i < buffer->length(); ++i) {
        Cell cell = buffer->head_cell()[i];
        uint32_t type = cell::type_of(cell);
        if (is_block_type(type)) {
            if (!watch_block(cell, bodies)) return false;
            continue;
        }
        if (type != TYPE_WORD && type != TYPE_GET_WORD && type != TYPE_SET_WORD) continue;
        if (!cell.w1) return false;
        if (context::cell_of(cell.w1).header & context::flag::on_stack) continue; // a local
        const Cell* value = word_value(cell);
        if (type == TYPE_SET_WORD || !value || !context::callable(*value)) return false;
        Cell held = *value;
        watched.push_back(cell);
        watched.push_back(held);
        if (cell::type_of(held) == TYPE_FUNCTION && !watch_function(held, bodies)) return false;
    }
    return true;
}

bool watch_function(const Cell& function, std::vector<uint32_t>& bodies) {
    if (std::find(bodies.begin(), bodies.end(), function.w3) != bodies.end()) return true;
    bodies.push_back(function.w3);
    Cell body = *extras::at(function, extras::body);
    return cell::type_of(body) != TYPE_BLOCK || watch_block(body, bodies);
}

} // namespace

bool watch_library_modulo(const Cell& modulo) {
    static bool marker_added = false;
    if (!marker_added) {
        collector::add_marker(
            [] { collector::mark_values(watched.data(), watched.data() + watched.size()); });
        marker_added = true;
    }
    watched.clear();
    std::vector<uint32_t> bodies;
    if (watch_function(modulo, bodies)) return true;
    watched.clear();
    return false;
}

bool library_modulo_intact() {
    for (size_t i = 0; i < watched.size(); i += 2) {
        const Cell* value = word_value(watched[i]);
        const Cell& held = watched[i + 1];
        if (!value || cell::type_of(*value) != cell::type_of(held) || value->w1 != held.w1 ||
            value->w2 != held.w2 || value->w3 != held.w3)
            return false;
    }
    return true;
}

} // namespace kiv::interpreter::detail
