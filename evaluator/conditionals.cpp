#include "evaluator/conditionals.h"

#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::natives {
namespace {

Cell* arg(uint32_t i) {
    return stack::state.base + i;
}

void none_result() {
    stack::reset();
    none::push();
}

// Evaluates a block argument in the native's frame as its result.
void eval_result(const Cell& block) {
    interpreter::eval_here(block);
}

// Evaluates the expression at pos into slot 0 and returns the position
// after it. The argument stack is left as it was, so that a block of many
// expressions takes constant room.
const Cell* eval_into_slot0(const Cell& block, const Cell* pos, const Cell* tail) {
    Cell* top = stack::state.top;
    pos = interpreter::eval_next(block, pos, tail, false);
    if (!runtime::record.pending) stack::state.top = top;
    return pos;
}

// Walks a block one expression at a time, the value of each in slot 0,
// until `stop` accepts it; true when it stopped.
template <class Stop>
bool each_expression(const Cell& block, Stop stop) {
    Cell code = block;
    Pin pin(code.w2);
    Buffer* b = pin.buffer();
    const Cell* pos = b->head_cell() + std::min<uint32_t>(code.w1, b->length());
    while (pos < b->tail_cell()) {
        pos = eval_into_slot0(code, pos, b->tail_cell());
        if (runtime::record.pending) return true;
        if (stop(*stack::state.base)) return true;
    }
    return false;
}

} // namespace

void if_(bool, const int32_t*) {
    if (logic::false_q())
        none_result();
    else
        eval_result(*arg(1));
}

void unless(bool, const int32_t*) {
    if (logic::false_q())
        eval_result(*arg(1));
    else
        none_result();
}

void either(bool, const int32_t*) {
    eval_result(*arg(logic::true_q() ? 1 : 2));
}

void any(bool, const int32_t*) {
    Cell conds = *arg(0);
    stack::push(conds);
    bool found = each_expression(conds, [](const Cell& v) { return !logic::counts_false(v); });
    if (runtime::record.pending) return;
    if (!found)
        none_result();
    else
        stack::keep();
}

void all(bool, const int32_t*) {
    Cell conds = *arg(0);
    if (block::rs_length(conds) <= 0) return none_result();
    stack::push(conds);
    bool failed = each_expression(conds, [](const Cell& v) { return logic::counts_false(v); });
    if (runtime::record.pending) return;
    if (failed)
        none_result();
    else
        stack::keep();
}

void switch_(bool, const int32_t* refinements) {
    Cell value = *arg(0);
    Cell cases = *arg(1);
    const Cell* chosen = nullptr;
    if (cell::type_of(value) != TYPE_BLOCK) {
        Pin pin(cases.w2);
        Buffer* b = pin.buffer();
        const Cell* tail = b->tail_cell();
        for (const Cell* c = b->head_cell() + std::min<uint32_t>(cases.w1, b->length()); c < tail;
             ++c) {
            if (cell::type_of(*c) != cell::type_of(value) || !dispatch::compare(*c, value, 0))
                continue;
            for (const Cell* next = c + 1; next < tail; ++next) {
                if (cell::type_of(*next) == TYPE_BLOCK) {
                    chosen = next;
                    break;
                }
            }
            break;
        }
        if (chosen) {
            return eval_result(*chosen);
        }
    }
    if (refinements[0] >= 0) {
        return eval_result(*arg(uint32_t(refinements[0])));
    }
    none_result();
}

void case_(bool, const int32_t* refinements) {
    bool all = refinements[0] >= 0;
    Cell cases = *arg(0);
    if (block::rs_length(cases) <= 0) return none_result();
    stack::push(cases);
    stack::mark_native(words::word<"<anon>">());
    Pin pin(cases.w2);
    Buffer* b = pin.buffer();
    const Cell* pos = b->head_cell() + cases.w1;
    bool matched = false;
    while (pos < b->tail_cell()) {
        matched = false;
        pos = eval_into_slot0(cases, pos, b->tail_cell());
        if (runtime::record.pending) return;
        if (pos >= b->tail_cell())
            runtime::fire_error(runtime::Category::script, err::script::need_value,
                                &words::symbol_word<"case">());
        if (!logic::true_q()) {
            ++pos;
            continue;
        }
        if (cell::type_of(*pos) == TYPE_BLOCK) {
            Cell branch = *pos++;
            interpreter::eval_here(branch);
        } else {
            pos = eval_into_slot0(cases, pos, b->tail_cell());
        }
        if (runtime::record.pending) return;
        matched = true;
        if (!all) break;
    }
    if (!matched) {
        stack::reset();
        none::push();
    }
    stack::unwind_last();
    stack::keep();
}

void register_conditionals() {
    register_native(number::if_, if_, {2, 0});
    register_native(number::unless, unless, {2, 0});
    register_native(number::either, either, {3, 0});
    register_native(4, any, {1, 0});
    register_native(5, all, {1, 0});
    register_native(18, switch_, {2, 1});
    register_native(19, case_, {1, 1});
}

} // namespace kiv::natives
