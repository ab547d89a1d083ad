#include "evaluator/core.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "datatypes/unset.h"
#include "evaluator/core_plan.h"
#include "evaluator/interpreter.h"
#include "evaluator/plans.h"
#include "evaluator/trace.h"
#include "evaluator/walker.h"
#include "runtime/collector.h"
#include "runtime/fatal.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::interpreter::core {

using namespace detail;

// What waits on the record stack.
enum class Rec : uint8_t {
    // A walk over a block whose expressions leave their values in slot 0
    // (a block evaluated for a call, a function body, a chosen branch).
    walk,
    // A walk over a paren: each expression's value goes to one slot.
    paren,
    // A function! fetching its arguments, then running its body.
    call,
    // A native or action fetching its arguments.
    builtin,
    // `if`, `unless` or `either` fetching its condition (and its blocks).
    control,
    // An operator waiting for its right operand.
    op,
    // A set-word waiting for the value it assigns.
    set_word,
};

struct alignas(128) Record {
    Rec kind;
    // control: the form; op: the fast operation.
    uint8_t detail;
    // call: the function's context points at its frame (restored when the
    // record goes, however it goes).
    bool body_running;
    // walk, paren: the next cell, counted from the buffer's head; call,
    // builtin, control: the arguments fetched so far.
    uint32_t index;
    // call, builtin, control: the arguments to fetch.
    uint32_t count;
    // call: the function context's values word before the body ran.
    uint32_t saved_values;
    // call, builtin, control: the slot of the held function; op: the slot
    // of the left operand; paren: the slot its value goes to (the argument
    // stack never moves).
    Cell* held;
    // call: its frame (nor does the frame stack).
    stack::Frame* frame;
    // The innermost walk when the record was pushed (for a walk, the one
    // around it; null for the walk an activation starts with).
    Record* outer;
    // call: the function's call shape.
    uint32_t shape;
    // walk, paren: the block's length when the running statement began.
    uint32_t end;
    // walk, paren: the block's buffer, pinned while the walk runs (the
    // walk goes on over it when the block's buffer is replaced; the
    // collector's marker of the records keeps what it holds).
    Buffer* buffer;
    // walk, paren: the block's plan, or null.
    BlockPlan* plan;
    // builtin: its BuiltinShape; control: its ControlTypes.
    const void* types;
    // call: the running body to restore.
    Running outer_running;
    // walk, paren: the block; the others: the function.
    Cell code;
    // walk, paren: the position to restore; the others: the naming word.
    Cell name;
};

namespace {

auto& rt = runtime::record;

static_assert(sizeof(Record) == 128, "records stay 128 bytes");

// Whether the record walks a block (and so holds a buffer and a plan).
inline bool walks(const Record& r) {
    return r.kind == Rec::walk || r.kind == Rec::paren;
}

// The record stack: one array that never moves, so records may be held by
// address while natives push records above them. Its first record is a
// sentinel that stands for none (a plain walk, so that no value waits
// for it as an operand); `top` is the last record pushed.
constexpr size_t capacity = size_t(1) << 17;
Record* records = nullptr;
Record* top = nullptr;
Record* records_end = nullptr;

[[gnu::always_inline]] inline Record* push_record(Rec kind, Record* outer) {
    Record* r = top + 1;
    if (r == records_end) [[unlikely]]
        stack::overflow();
    top = r;
    r->kind = kind;
    r->outer = outer;
    return r;
}

// Starts a walk over a non-empty block from its index.
[[gnu::always_inline]] inline Record* push_walk(Rec kind, const Cell& block, Record* outer) {
    Buffer* buffer = memory::buffer_of(block.w2);
    Record* w = push_record(kind, outer);
    w->code = block;
    std::memcpy(&w->name, &position, sizeof(Cell));
    w->index = block.w1;
    w->buffer = buffer;
    buffer->pins++;
    w->plan = take_plan(block.w2, buffer);
    return w;
}

// Ends the walk on top of the records.
[[gnu::always_inline]] inline void pop_walk(Record* w) {
    w->buffer->pins--;
    std::memcpy(&position, &w->name, sizeof(Cell));
    if (w->kind == Rec::paren) --stack::state.frameless_parens;
    --top;
}

// Pops the records down to `floor`, undoing what each holds, as the C++
// levels of the walker do when an exit or an error passes them.
void unwind_records(const Record* floor) {
    while (top > floor) {
        Record* r = top;
        switch (r->kind) {
        case Rec::walk:
        case Rec::paren: pop_walk(r); continue;
        case Rec::call:
            if (r->body_running) {
                context::cell_of(r->code.w1).w2 = r->saved_values;
                running = r->outer_running;
            }
            break;
        default: break;
        }
        --top;
    }
}

// Takes the block's plan as it now is, or none when its buffer was
// replaced (the walk goes on over the old one, as the walker does).
[[gnu::noinline]] void replan(Record* w) {
    NodeId node = w->code.w2;
    Buffer* now = memory::buffer_of(node);
    BlockPlan* found = now == w->buffer ? kept_plan(node) : nullptr;
    if (found == w->plan) return;
    w->plan = now == w->buffer ? take_plan(node, now) : nullptr;
}

// Code may have run, which may have changed the block: a plan the store
// dropped meanwhile (or, in plan verify mode, any plan, so that the store
// checks it) is taken anew, and the walk's cells are read again. The
// running statement reads no further than the block's length when it
// began, or less where the code cut the block short (as the walker's
// walk_end): cells appended meanwhile wait for the next statement.
[[gnu::always_inline]] inline void refresh(Record* w, const Cell*& head, uint32_t& length) {
    // A plan not dropped is the block's as it is (a replaced buffer is a
    // change that drops it); a walk with no plan goes on without one.
    if (w->plan && w->plan->recheck) [[unlikely]]
        replan(w);
    head = w->buffer->head_cell();
    length = std::min(w->end, uint32_t(w->buffer->tail_cell() - head));
}

// Starts a call named by `name`: the machine stack checked (where a halt
// asked for is raised), the function held on the stack where its value
// goes, its frame marked, and its record pushed.
[[gnu::always_inline]] inline Record* begin_call(Rec kind, const Cell& function, const Cell& name,
                                                 Record* w) {
    stack::check_machine();
    Cell* held = stack::push(function);
    if (kind == Rec::call)
        stack::mark_interp_func(name, function.w1);
    else
        stack::mark_interp_native(name);
    Record* r = push_record(kind, w);
    r->body_running = false;
    r->code = function;
    r->name = name;
    r->held = held;
    r->index = 0;
    return r;
}

// The trampoline of native and action calls.
[[gnu::noinline]] void call_native(const Cell& function) {
    run_unrefined(function);
}

// Resolves the word at the walk's cell in operator position, with no
// good entry: whether it names an operator, its function unwrapped and its
// fast operation; decodes the entry when the word can be planned.
[[gnu::noinline]] bool resolve_operator(Entry* entry, const Cell& word, Cell& function,
                                        FastOp& fast) {
    const Cell* value = word.w1 ? word_value(word) : nullptr;
    bool op = value && cell::type_of(*value) == TYPE_OP;
    function = Cell{};
    fast = FastOp::none;
    if (op) {
        function = *value;
        function.header = (value->header >> 16) & 0xFF;
        fast = fast_op_of(function);
    }
    if (entry && plans::plannable(word))
        entry->take(op ? Role::operator_ : Role::no_operator, function, uint8_t(fast));
    return op;
}

[[gnu::always_inline]] inline bool operator_at(Record* w, const Cell& word, Cell& function,
                                               FastOp& fast) {
    Entry* entry = entry_at(w->plan, w->index);
    if (entry && entry->epoch == binding::epoch) {
        if (entry->role == Role::no_operator) return false;
        if (entry->role == Role::operator_) {
            function = entry->value;
            fast = FastOp(entry->fast);
            return true;
        }
    }
    return resolve_operator(entry, word, function, fast);
}

// Computes `word op operand` where the walk's cell is a variable (its
// value given), the next an operator with a fast operation and the one
// after it a value or a variable: the result pushed and the walk moved
// past the three. False (nothing pushed, the walk just past the word)
// when the cells are anything else or the operation is not a fast one.
[[gnu::always_inline]] inline bool fused_operation(Record* w, const Cell* head, uint32_t length,
                                                   const Cell& left) {
    uint32_t at = w->index;
    Entry* next = entry_at(w->plan, at);
    if (!next || !next->good(Role::operator_) || !next->fast || at + 1 >= length) return false;
    const Cell& cell = head[at + 1];
    const Cell* operand = inert(cell) ? &cell : plain_word_value(cell);
    Cell result;
    if (!operand || !compute_fast(FastOp(next->fast), left, *operand, result)) return false;
    stack::push(result);
    w->index = at + 2;
    return true;
}

enum class Fused { no, whole, partial };

// An argument at the walk's cell that is a value, a variable, or a
// variable with a fast operation (see above): its value pushed and the walk
// moved past it, whole when the argument ends there (no word that might be
// an operator follows), else partial (the operators after it still to
// run); no (nothing pushed, the walk unmoved) when it is anything else.
[[gnu::always_inline]] inline Fused fused_argument(Record* w, const Cell* head, uint32_t length) {
    uint32_t at = w->index;
    if (at >= length) return Fused::no;
    const Cell& cell = head[at];
    w->index = at + 1;
    if (inert(cell)) {
        stack::push(cell);
    } else if (const Cell* v = plain_word_value(cell)) {
        if (!fused_operation(w, head, length, *v)) stack::push(*v);
    } else {
        w->index = at;
        return Fused::no;
    }
    return w->index < length && cell::type_of(head[w->index]) == TYPE_WORD ? Fused::partial
                                                                           : Fused::whole;
}

// Checks the type of a call's argument on top of the stack; false when
// the error it raised is pending.
[[gnu::always_inline]] inline bool check_argument(const Record* r) {
    Cell list = argument_list(r->code);
    return check_arg(block_cells(list)[list.w1 + r->index], stack::state.top[-1], r->code, r->name,
                     r->index);
}

// The shape of a function! called by a word, when the core fetches its
// arguments (only evaluated ones, by count); else 0.
inline uint32_t core_shape(const Cell& function) {
    uint32_t shape_word = argument_list(function).w3;
    return shape_word & (shape::simple | shape::unused_tail) ? shape_word : 0;
}

// The dispatch loop of one activation, from the walk `base`: runs until
// that walk ends (popped, unless `keep_base`), or an exit pending leaves
// the activation, popping the records above `floor`.
void run(const Record* floor, Record* base, bool keep_base) {
    Record* w = base;
    Record* r;
    const Cell* head;
    uint32_t length;
    Cell function;
    uint32_t shape_word;

statement:
    // A statement reads the block as long as it is when the statement
    // begins: cells appended before it ran count.
    head = w->buffer->head_cell();
    length = uint32_t(w->buffer->tail_cell() - head);
    if (w->index >= length) goto walk_end;
    w->end = length;
    std::memcpy(&position, &w->code, sizeof(Cell));
    position.w1 = w->index;
    if (w->kind == Rec::paren)
        stack::state.top = w->held;
    else
        stack::reset();

expression:
    if (w->index >= length) [[unlikely]] {
        // The block ended where a call needs its next argument.
        r = top;
        fail_no_arg(r->code, r->name, r->index);
        goto pending;
    }
    switch (cell::type_of(head[w->index])) {
    case TYPE_WORD: goto word;
    case TYPE_SET_WORD: goto set_word;
    case TYPE_PAREN: goto paren;
    default:
        if (!inert(head[w->index])) goto fallback;
        stack::push(head[w->index]);
        ++w->index;
        goto value;
    }

word : {
    const Cell& word = head[w->index];
    Entry* entry = entry_at(w->plan, w->index);
    if (entry && entry->epoch == binding::epoch) {
        if (entry->role == Role::call_function) {
            function = entry->value;
            shape_word = entry->shape;
            goto call_function;
        }
        if (entry->role == Role::control) {
            function = entry->value;
            goto control;
        }
    }
    const Cell* v = word_value(word);
    if (!v) goto fallback;
    switch (cell::type_of(*v)) {
    case TYPE_FUNCTION:
        function = *v;
        shape_word = core_shape(function);
        if (!shape_word) goto fallback;
        if (entry && plans::plannable(word))
            entry->take(Role::call_function, function, 0, shape_word);
        goto call_function;
    case TYPE_NATIVE:
        if (Control form = control_form(*v); form != Control::none) {
            function = *v;
            if (entry && plans::plannable(word))
                entry->take(Role::control, function, uint8_t(form));
            goto control;
        }
        [[fallthrough]];
    case TYPE_ACTION: function = *v; goto builtin;
    default:
        if (!word_yields[cell::type_of(*v)]) goto fallback;
        ++w->index;
        if (top->kind != Rec::op && fused_operation(w, head, length, *v)) goto infix;
        stack::push(*v);
        goto value;
    }
}

call_function : {
    r = begin_call(Rec::call, function, head[w->index], w);
    r->frame = stack::state.ctop - 1;
    r->shape = shape_word;
    r->count = shape_word & shape::count_mask;
    ++w->index;
    if (r->count == 1) switch (fused_argument(w, head, length)) {
        case Fused::whole:
            if (!check_argument(r)) goto pending;
            r->index = 1;
            goto enter_body;
        case Fused::partial: goto infix;
        case Fused::no: break;
        }
    if (r->count) goto argument;
    goto enter_body;
}

builtin : {
    uint32_t number = builtin_slot(function);
    const BuiltinShape* shape = &builtin_shapes[number];
    if (shape->spec != function.w2) [[unlikely]] {
        shape = make_builtin_shape(function, number);
        if (!shape) goto fallback;
    }
    r = begin_call(Rec::builtin, function, head[w->index], w);
    r->types = shape;
    r->count = shape->count;
    ++w->index;
    if (r->count) goto argument;
    goto run_builtin;
}

argument:
    // r: a call or a native fetching its next argument.
    switch (fused_argument(w, head, length)) {
    case Fused::whole: goto deliver;
    case Fused::partial: goto infix;
    case Fused::no: goto expression;
    }

control : {
    Control form = control_form(function);
    r = begin_call(Rec::control, function, head[w->index], w);
    r->detail = uint8_t(form);
    r->types = &control_types(form, r->code);
    r->count = control_arguments(form);
    ++w->index;
    switch (fused_argument(w, head, length)) {
    case Fused::whole: goto control_argument;
    case Fused::partial: goto infix;
    case Fused::no: goto expression;
    }
}

set_word : {
    const Cell* pos = head + w->index;
    if (!plans::find(pos))
        if (const Cell* next = in_place::set_word(pos, head + length, true)) {
            w->index = uint32_t(next - head);
            goto deliver;
        }
    const Cell word = *pos;
    stack::mark_native(word);
    stack::push(word);
    if (w->index + 1 >= length) {
        fail(err::script::need_value, &word);
        goto pending;
    }
    r = push_record(Rec::set_word, w);
    r->code = word;
    r->name = word;
    ++w->index;
    goto expression;
}

paren : {
    stack::check_machine();
    const Cell paren = head[w->index];
    ++w->index;
    Buffer* buffer = memory::buffer_of(paren.w2);
    if (paren.w1 >= buffer->length()) {
        unset::push();
        goto value;
    }
    ++stack::state.frameless_parens;
    Cell* start = stack::state.top;
    w = push_walk(Rec::paren, paren, w);
    w->held = start;
    goto statement;
}

fallback : {
    // The walker evaluates the expression, operators after it included
    // unless it is an operator's right operand.
    bool no_infix = top->kind == Rec::op;
    const Cell* next =
        eval_expression(head + w->index, head + length, w->code, no_infix, true, false);
    if (rt.pending) goto pending;
    w->index = uint32_t(next - head);
    refresh(w, head, length);
    goto deliver;
}

value:
    // A value was pushed: the operators after it take it as their left
    // operand, unless it is itself an operator's right operand.
    if (top->kind == Rec::op) goto deliver;

infix : {
    if (w->index >= length || cell::type_of(head[w->index]) != TYPE_WORD) goto deliver;
    const Cell* op_word = head + w->index;
    FastOp fast;
    if (!operator_at(w, *op_word, function, fast)) goto deliver;
    Cell* left = stack::state.top - 1;
    if (fast != FastOp::none && w->index + 1 < length) {
        const Cell* operand = inert(op_word[1]) ? op_word + 1 : plain_word_value(op_word[1]);
        if (operand) {
            // A value or a variable is taken where it stands.
            w->index += 2;
            if (compute_fast(fast, *left, *operand, *left)) goto infix;
            stack::push(*operand);
            call_in_place(function, left, *op_word, true);
            if (rt.pending) goto pending;
            refresh(w, head, length);
            goto infix;
        }
        r = push_record(Rec::op, w);
        r->code = function;
        r->name = *op_word;
        r->held = left;
        r->detail = uint8_t(fast);
        ++w->index;
        goto expression;
    }
    // Any other operator is called by the walker, the left operand in place.
    Cell op_function = function;
    argument_list(op_function); // built before the left operand becomes the top
    stack::state.top = left;
    const Cell* next = eval_code(op_function, op_word + 1, head + length, w->code, true, nullptr, 0,
                                 op_word, 0, 0, true);
    if (rt.pending) goto pending;
    w->index = uint32_t(next - head);
    refresh(w, head, length);
    goto infix;
}

deliver:
    // An expression's value is on top: it goes to the record waiting for it.
    r = top;
    switch (r->kind) {
    case Rec::walk: stack::keep_last(stack::state.top[-1]); goto statement;
    case Rec::paren: goto statement;
    case Rec::call: {
        if (!check_argument(r)) goto pending;
        if (++r->index < r->count) goto argument;
        goto enter_body;
    }
    case Rec::builtin: {
        const auto* shape = static_cast<const BuiltinShape*>(r->types);
        if (!check_arg(shape->types[r->index], stack::state.top[-1], r->code, r->name, r->index))
            goto pending;
        if (++r->index < r->count) goto argument;
        goto run_builtin;
    }
    case Rec::control: goto control_argument;
    case Rec::op: {
        Cell* left = r->held;
        if (compute_fast(FastOp(r->detail), left[0], left[1], left[0])) {
            stack::state.top = left + 1;
        } else {
            call_in_place(r->code, left, r->name, true);
            if (rt.pending) goto pending;
            refresh(w, head, length);
        }
        --top;
        goto infix;
    }
    case Rec::set_word: {
        // A word of an object runs its on-change*, which may exit.
        Cell* args = stack::state.base;
        if (cell::type_of(args[1]) != TYPE_UNSET && context::store_plain(args[0], args[1])) {
            args[0] = args[1];
        } else {
            if (runtime::resume_pending([] { word::set_from_arg(true); })) goto pending;
            refresh(w, head, length);
        }
        stack::unwind();
        --top;
        goto deliver;
    }
    }
    runtime::quit_with_error(runtime::fatal::no_switch_matched, 0);

enter_body : {
    // r: the call, its arguments fetched.
    if (r->shape & shape::unused_tail) push_tail(r->shape);
    Cell body = *extras::at(r->code, extras::body);
    if (cell::type_of(body) != TYPE_BLOCK) {
        unset::set_result();
        goto call_end;
    }
    Cell& ctx = context::cell_of(r->code.w1);
    r->saved_values = ctx.w2;
    ctx.w2 = stack::values_word(stack::state.base);
    stack::set_frame_flag(true);
    r->outer_running = running;
    running = {r->code.w1, stack::state.base};
    r->body_running = true;
    if (tracing || (r->code.header & (function::flag::trace | function::flag::no_trace)))
        [[unlikely]] {
        eval_switched_body(r->code, body, r->name);
        if (rt.pending == runtime::code::ret || rt.pending == runtime::code::exit) rt.pending = 0;
        if (rt.pending) goto pending;
        goto body_end;
    }
    // The body's values go above the arguments and locals.
    stack::state.base = stack::state.top;
    if (body.w1 >= memory::buffer_of(body.w2)->length()) {
        stack::keep_last(Cell{cell::unset_header, 0, 0, 0});
        goto body_end;
    }
    w = push_walk(Rec::walk, body, w);
    goto statement;
}

body_end:
    // r: the call whose body ended, its value in slot 0 of its frame.
    context::cell_of(r->code.w1).w2 = r->saved_values;
    running = r->outer_running;
    r->body_running = false;

call_end:
    finish_call(r->held, true);
    --top;
    refresh(w, head, length);
    goto value;

run_builtin:
    call_native(r->code);
    if (rt.pending) goto pending;
    finish_call(r->held, true);
    --top;
    refresh(w, head, length);
    goto value;

control_argument : {
    const auto* types = static_cast<const ControlTypes*>(r->types);
    if (!check_arg(types->types[r->index], stack::state.top[-1], r->code, r->name, r->index))
        goto pending;
    ++r->index;
    uint32_t blocks = r->count - 1;
    Cell branches[2];
    if (r->index == 1) {
        if (literal_branches(*types, head + w->index, head + length, blocks)) [[likely]] {
            branches[0] = head[w->index];
            if (blocks == 2) branches[1] = head[w->index + 1];
            w->index += blocks;
            goto choose;
        }
    }
    if (r->index < r->count) goto expression;
    branches[0] = stack::state.base[1];
    if (blocks == 2) branches[1] = stack::state.base[2];

choose:
    const Cell& condition = *stack::state.base;
    bool truth = !logic::counts_false(condition);
    const Cell* chosen = nullptr;
    switch (Control(r->detail)) {
    case Control::if_: chosen = truth ? &branches[0] : nullptr; break;
    case Control::unless: chosen = truth ? nullptr : &branches[0]; break;
    case Control::either:
        if (cell::type_of(condition) == TYPE_UNSET) [[unlikely]] {
            fail(err::script::no_return);
            goto pending;
        }
        chosen = &branches[truth ? 0 : 1];
        break;
    case Control::none: break;
    }
    if (!chosen) {
        stack::keep_last(none::value);
        goto control_end;
    }
    if (const Cell* lone = lone_value(*chosen)) {
        stack::keep_last(*lone);
        goto control_end;
    }
    Cell branch = *chosen;
    if (tracing) [[unlikely]] { // switched on by the condition or a block argument
        eval_here(branch);
        if (rt.pending) goto pending;
        goto control_end;
    }
    if (branch.w1 >= memory::buffer_of(branch.w2)->length()) {
        stack::keep_last(Cell{cell::unset_header, 0, 0, 0});
        goto control_end;
    }
    stack::reset();
    w = push_walk(Rec::walk, branch, w);
    goto statement;
}

control_end:
    finish_call(r->held, true);
    --top;
    refresh(w, head, length);
    goto value;

walk_end : {
    if (w == base) {
        if (!keep_base) pop_walk(w);
        return;
    }
    Rec kind = w->kind;
    Record* outer = w->outer;
    pop_walk(w);
    w = outer;
    if (kind == Rec::paren) {
        refresh(w, head, length);
        goto value;
    }
    r = top;
    if (r->kind == Rec::call) goto body_end;
    goto control_end;
}

pending : {
    // A return or exit that landed on the frame of a call of this
    // activation ends that call's body; any other exit leaves it.
    uint32_t code = rt.pending;
    if (code == runtime::code::ret || code == runtime::code::exit) {
        const stack::Frame* target = stack::state.ctop - 1;
        for (Record* at = top; at > floor; --at) {
            Record& call = *at;
            if (call.kind != Rec::call || !call.body_running || call.frame != target) continue;
            unwind_records(at);
            rt.pending = 0;
            r = &call;
            w = call.outer;
            goto body_end;
        }
    }
    unwind_records(floor);
    return;
}
}

// Runs an activation from the walk `base` (see run); an error that leaves
// it pops its records above `floor` before it goes on.
void run_activation(const Record* floor, Record* base, bool keep_base) {
    try {
        run(floor, base, keep_base);
    } catch (...) {
        unwind_records(floor);
        throw;
    }
}

} // namespace

void sweep_dropped_plans() {
    for (Record* r = records + 1; r <= top; ++r)
        if (walks(*r) && r->plan) r->plan->in_use = true;
    free_unused_plans();
}

void init() {
    if (!records) {
        records =
            static_cast<Record*>(std::aligned_alloc(alignof(Record), capacity * sizeof(Record)));
        if (!records)
            runtime::quit_with_error(runtime::fatal::out_of_memory, runtime::caller_address());
        records_end = records + capacity;
        collector::add_marker([] {
            for (Record* r = records + 1; r <= top; ++r) {
                collector::mark_values(&r->code, &r->name + 1);
                if (walks(*r) && r->buffer != memory::buffer_of(r->code.w2))
                    collector::mark_values(r->buffer->head_cell(), r->buffer->tail_cell());
            }
            sweep_dropped_plans();
        });
    }
    top = records;
    top->kind = Rec::walk;
    forget_blocks();
}

void run_here(const Cell& block) {
    Buffer* buffer = memory::buffer_of(block.w2);
    if (block.w1 >= buffer->length()) {
        stack::keep_last(Cell{cell::unset_header, 0, 0, 0});
        return;
    }
    stack::reset();
    const Record* floor = top;
    run_activation(floor, push_walk(Rec::walk, block, nullptr), false);
    if (top == records && !dropped_plans.empty()) [[unlikely]]
        free_unused_plans();
}

Record* begin_steps(const Cell& block) {
    return push_walk(Rec::walk, block, nullptr);
}

void run_step(Record* walk) {
    NodeId node = walk->code.w2;
    Buffer* now = memory::buffer_of(node);
    if (now != walk->buffer) {
        // An expansion replaced the block's buffer since the last step: the
        // step walks the block as it now is, as the walker's steps do.
        walk->buffer->pins--;
        now->pins++;
        walk->buffer = now;
        walk->plan = nullptr;
    }
    // A block met for the first time gets its plan at its second step.
    if (!walk->plan || walk->plan->recheck) walk->plan = take_plan(node, now);
    walk->index = walk->code.w1;
    run_activation(top, walk, true);
}

void end_steps(Record* walk) {
    // Records go in the order they came; a session started again meanwhile
    // has emptied them already.
    if (top >= walk) unwind_records(walk - 1);
}

} // namespace kiv::interpreter::core
