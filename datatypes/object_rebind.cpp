#include "datatypes/object_rebind.h"

#include <algorithm>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/symbol.h"
#include "datatypes/words.h"
#include "runtime/binding.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::object {

namespace {

// The plan is a block: cell 0 a block cell naming the word list it was
// made for (keeping that list alive, so the node is never another list's),
// cell 1 {pair, 0, that list's length, 0}, then one step per word of
// the body in walk order, {pair, type << 2 | target, symbol, index}.
enum Target : uint32_t { keep = 0, to_object = 1, to_own = 2 };
constexpr uint32_t target_mask = 3;
constexpr uint32_t type_shift = 2;
constexpr uint32_t key_cell = 0;
constexpr uint32_t shape_cell = 1;
constexpr uint32_t first_step = 2;

bool is_self(uint32_t symbol) {
    return symbol::resolve(symbol) == symbol::resolve(words::sym<"self">());
}

// Calls visit on every word cell of the block in binding order: from the
// block's head, nested blocks, parens, paths and hashes depth first. A
// block met inside itself ends the walk: false. `visit` must not allocate.
template <class Visit>
bool each_word(const Cell& block, Visit& visit) {
    NodeId series = block.w2;
    if (cycles::find(series)) return false;
    cycles::Guard on_stack(series);
    Buffer* b = memory::buffer_of(series);
    for (Cell* c = b->head_cell() + std::min(block.w1, b->length()); c < b->tail_cell(); ++c) {
        uint32_t type = cell::type_of(*c);
        if (context::bound_by_binding(type)) {
            visit(*c);
        } else if (is_block_type(type) && !each_word(*c, visit)) {
            return false;
        }
    }
    return true;
}

// Where a word of the body ends up: bound to the object when its symbol is
// one of `words`'s (the word `self` always), then to the function's own
// context when its symbol is one of `own`'s.
Cell step_for(const Cell& word, NodeId words, NodeId own) {
    uint32_t type = cell::type_of(word);
    Target target = keep;
    int32_t index = -1;
    if (type == TYPE_WORD && is_self(word.w2)) {
        target = to_object;
    } else if ((index = context::find_word(words, word.w2, true)) >= 0) {
        target = to_object;
    }
    if (int32_t own_index = context::find_word(own, word.w2, true); own_index >= 0) {
        target = to_own;
        index = own_index;
    }
    return Cell{TYPE_PAIR, type << type_shift | target, word.w2, uint32_t(index)};
}

// A new plan for the body of the function under the word list of `words`.
Cell make_plan(const Cell& function, const Cell& body, NodeId words) {
    std::vector<Cell> steps;
    auto add = [&](const Cell& word) { steps.push_back(step_for(word, words, function.w1)); };
    // A body that holds itself is not walked to its end; its copy raises.
    each_word(body, add);
    Rooted<Cell> plan;
    block::make_at(*plan, int32_t(steps.size() + first_step));
    block::append_value(*plan, Cell{TYPE_BLOCK, 0, context::words_node(words), 0});
    block::append_value(*plan, Cell{TYPE_PAIR, 0, context::size_of(words), 0});
    for (const Cell& step : steps) block::append_value(*plan, step);
    return *plan;
}

uint32_t extras_length(const Cell& function) {
    return memory::buffer_of(function.w3)->length();
}

// The plan kept on the function, when it was made for this word list and
// the body still has the words it was made from; else none.
Cell kept_plan(const Cell& function, const Cell& body, NodeId layout) {
    const Cell none{TYPE_NONE, 0, 0, 0};
    if (!layout || extras_length(function) < extras::rebind_plan) return none;
    Cell plan = *extras::at(function, extras::rebind_plan);
    const Cell* cells = block::rs_head(plan);
    if (cells[key_cell].w2 != context::words_node(layout) ||
        cells[shape_cell].w2 != context::size_of(layout))
        return none;
    uint32_t count = uint32_t(block::rs_length(plan)) - first_step;
    const Cell* steps = cells + first_step;
    uint32_t seen = 0;
    bool same = true;
    auto compare = [&](const Cell& word) {
        if (seen < count)
            same = same && steps[seen].w2 == word.w2 &&
                   steps[seen].w1 >> type_shift == cell::type_of(word);
        ++seen;
    };
    return each_word(body, compare) && same && seen == count ? plan : none;
}

// Keeps the plan on the function, in place of an older one.
void keep_plan(const Cell& function, const Cell& plan) {
    if (extras_length(function) >= extras::rebind_plan) {
        *extras::at(function, extras::rebind_plan) = plan;
        return;
    }
    Cell extras{TYPE_BLOCK, 0, function.w3, 0};
    block::append_value(extras, plan);
}

// Binds the words of the copied body as the plan says.
void apply_plan(const Cell& plan, const Cell& body, NodeId ctx, NodeId own) {
    binding::bump();
    const Cell* step = block::rs_head(plan) + first_step;
    auto bind = [&](Cell& word) {
        switch (step->w1 & target_mask) {
        case to_object:
            word.w1 = ctx;
            word.w3 = step->w3;
            break;
        case to_own:
            word.w1 = own;
            word.w3 = step->w3;
            break;
        default: break;
        }
        ++step;
    };
    each_word(body, bind);
}

} // namespace

void rebind_function(NodeId ctx, uint32_t index, NodeId layout) {
    Rooted<Cell> function(*context::slot_at(ctx, index));
    if (cell::type_of(*function) != TYPE_FUNCTION) return;
    Rooted<Cell> body(*extras::at(*function, extras::body));
    if (cell::type_of(*body) == TYPE_NONE)
        runtime::fire_error(runtime::Category::script, err::script::bad_func_def, &*function);
    Rooted<Cell> plan(kept_plan(*function, *body, layout));
    if (cell::type_of(*plan) == TYPE_NONE) {
        *plan = make_plan(*function, *body, layout ? layout : ctx);
        if (layout) keep_plan(*function, *plan);
    }
    Cell* saved_top = stack::state.top;
    Cell* copy = block::push_copy(*body, true, true);
    RootedNode own_copy(context::new_sharing_words(function->w1));
    apply_plan(*plan, *copy, ctx, own_copy);
    function::push_recreated(*function, *copy, own_copy);
    context::store(ctx, index, *stack::get_top());
    stack::state.top = saved_top;
}

} // namespace kiv::object
