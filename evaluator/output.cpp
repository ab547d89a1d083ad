#include "evaluator/output.h"

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/natives.h"
#include "datatypes/series.h"
#include "datatypes/unset.h"
#include "datatypes/words.h"
#include "evaluator/evaluation.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/output_hooks.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::natives {

int last_new_line = 0;

namespace {

Cell work_block{cell::unset_header, 0, 0, 0};
constexpr int32_t work_block_cells = 32;

uint32_t work_length() {
    return memory::buffer_of(work_block.w2)->length();
}

// Cuts the work block back to the length it had when a print began, also
// when an error or an exit leaves the print.
struct WorkRange {
    uint32_t start = work_length();
    ~WorkRange() { block::truncate_at(work_block, int32_t(start)); }
};

} // namespace

const Cell& print_work_block() {
    return work_block;
}

void print_value(bool, int new_line) {
    Cell* value = stack::state.base;
    WorkRange range;
    switch (cell::type_of(*value)) {
    case TYPE_BLOCK: {
        // reduce/into the work block from its current tail: slot 0
        // becomes exactly the values of this call.
        Cell out = work_block;
        out.w1 = range.start;
        stack::state.top = value + 1;
        stack::push(out);
        const int32_t into[] = {1};
        reduce(false, into);
        if (runtime::record.pending) return;
        dispatch::form_into_result(nullptr);
        break;
    }
    case TYPE_STRING:
        value->w1 = std::min(value->w1, memory::buffer_of(value->w2)->length());
        break;
    default: dispatch::form_into_result(nullptr);
    }
    output_hooks::call_print(stack::state.base, new_line);
    last_new_line = new_line;
    stack::reset();
    unset::push();
}

void print(bool check, const int32_t*) {
    print_value(check, 1);
}

void prin(bool check, const int32_t*) {
    print_value(check, 0);
}

void register_output() {
    block::make_at(work_block, work_block_cells);
    collector::add_marker([] { collector::mark_values(&work_block, &work_block + 1); });
    register_native(23, print, {1, 0});
    register_native(24, prin, {1, 0});
}

} // namespace kiv::natives
