#include "gui/backend/draw/reader.h"

#include <cassert>

#include "datatypes/context.h"
#include "datatypes/word.h"
#include "runtime/cycles.h"

namespace kiv::gui::draw {

Cell Reader::peek() const {
    if (at_end()) return Cell{cell::unset_header, 0, 0, 0};
    Cell c = raw(pos);
    if (cell::type_of(c) != TYPE_WORD || int32_t(c.w3) < 0) return c;
    const Cell* value = word::value_cell(c);
    uint32_t t = cell::type_of(*value);
    return t == TYPE_TUPLE || t == TYPE_IMAGE || t == TYPE_OBJECT ? *value : c;
}

void walk(Context& ctx, const Cell& block, Finder find) {
    NodeId node = block.w2;
    if (cycles::find(node)) {
        Cell arg = block;
        runtime::fire_error(runtime::Category::script, err::script::draw_infinite, &arg);
    }
    cycles::Guard on_stack(node);
    Reader r(ctx, block);
    while (!r.at_end()) {
        r.keyword = r.pos;
        Cell value = r.take();
        switch (cell::type_of(value)) {
        case TYPE_WORD:
        case TYPE_LIT_WORD:
            if (Handler h = find(value)) {
                h(r);
                // Cairo in an error state would silently stop all later
                // drawing: a failed context is replaced.
                recover(ctx);
                assert(ctx.cairo->status(ctx.cr) == CAIRO_STATUS_SUCCESS);
                break;
            }
            r.fail_at(r.keyword);
        case TYPE_SET_WORD: {
            // The word refers to the block at the value that follows.
            Rooted<Cell> here(block), name(value);
            here->w1 = uint32_t(r.pos);
            word::set(*name, *here);
            break;
        }
        case TYPE_BLOCK: {
            Rooted<Cell> inner(value);
            walk(ctx, *inner, find);
            break;
        }
        default: r.fail_at(r.keyword);
        }
    }
}

} // namespace kiv::gui::draw
