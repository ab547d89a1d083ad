#include "evaluator/interpreter.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <type_traits>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/port.h"
#include "datatypes/series.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/core.h"
#include "evaluator/plans.h"
#include "evaluator/trace.h"
#include "evaluator/trap.h"
#include "evaluator/walker.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/faults.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/protected_call.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::interpreter {

using namespace detail;

Cell position{cell::unset_header, 0, 0, 0};
bool flat_core = false;

namespace detail {

auto& rt = runtime::record;

// Runs the C++ code of a native, action or routine; a C++ failure inside
// it becomes a language error (no-memory for memory exhaustion).
[[gnu::always_inline]] inline void run_builtin(const Cell& function, const int32_t* refinements) {
    trap::cxx_as_error([&] {
        switch (cell::type_of(function)) {
        case TYPE_NATIVE: natives::entry(function.w1)(false, refinements); break;
        case TYPE_ACTION: dispatch::entry(function.w1)(refinements); break;
        default: routine::call(function, stack::state.base);
        }
    });
}

// Runs a native or action called by the interpreter: a pending exit, or
// an error while error exits are on, that crossed its C++ code as an
// exception (a sort comparator, a parse action, a tracer) becomes a
// pending code again here, in the frame that calls the native's code, so
// that the unwinder walks as few frames as it can. True when an exit is
// pending afterwards.
[[gnu::always_inline]] inline bool run_resuming(const Cell& function,
                                               const int32_t* refinements) {
    return runtime::resume_pending([&] { run_builtin(function, refinements); });
}

bool is_function_type(uint32_t type) {
    return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION ||
           type == TYPE_ROUTINE;
}

[[noreturn]] void raise(uint32_t id, const Cell* a, const Cell* b, const Cell* c) {
    runtime::fire_error(runtime::Category::script, id, a, b, c);
}

[[gnu::noinline, gnu::cold]] void fail(uint32_t id, const Cell* a, const Cell* b, const Cell* c) {
    runtime::raise_error(runtime::Category::script, id, a, b, c);
}

// Restores the current-position cell when an evaluation ends, however it
// ends. The cell is copied whole: the compiler otherwise moves the four
// words one by one.
class PositionKeeper {
  public:
    PositionKeeper() { std::memcpy(&saved_, &position, sizeof(Cell)); }
    ~PositionKeeper() { std::memcpy(&position, &saved_, sizeof(Cell)); }
    PositionKeeper(const PositionKeeper&) = delete;
    PositionKeeper& operator=(const PositionKeeper&) = delete;

  private:
    Cell saved_;
};

// Restores the current-position cell and the tracing switch when a traced
// evaluation ends, however it ends (the switch stays as `trace` with a
// logic! set it). An untraced evaluation keeps only the position: nothing
// below it turns tracing on without switching it back.
class PositionGuard {
  public:
    PositionGuard() = default;
    PositionGuard(const PositionGuard&) = delete;
    PositionGuard& operator=(const PositionGuard&) = delete;

  private:
    PositionKeeper position_;
    TracingSwitch tracing_{tracing};
};

template <bool Traced>
using GuardFor = std::conditional_t<Traced, PositionGuard, PositionKeeper>;

// What an untraced walk over a block of code holds while it runs: the
// current position kept, the block pinned, and where the walk starts.
struct CodeWalk {
    explicit CodeWalk(const Cell& block)
        : code(block), pin(code.w2), buffer(pin.buffer()), pos(buffer->head_cell() + code.w1) {}
    // The walk of a block whose buffer and start were already looked up.
    CodeWalk(const Cell& block, Buffer* code_buffer, const Cell* start)
        : code(block), pin(code_buffer), buffer(code_buffer), pos(start) {}
    PositionKeeper keeper;
    Cell code;
    Pin pin;
    Buffer* buffer;
    const Cell* pos;
};

Running running;

// The evaluator comes in two instances: the traced one reports every step
// to the tracer, the untraced one carries no trace test at all. An
// evaluation takes its instance from `tracing` where it starts (a block,
// a function body, a call from the runtime), which is also the only place
// where tracing changes.
template <bool Traced>
inline void report(uint32_t event, const Cell* series, const Cell* pos,
                   const Cell* reference = nullptr, const Cell* value = nullptr) {
    if constexpr (Traced) fire(event, series, pos, reference, value);
}

// Tells the tracer an expression evaluated for the frame (not for an
// argument) ended, its value in slot 0.
template <bool Traced>
inline void fire_expr(const Cell& code, const Cell* pos, bool keep) {
    if constexpr (Traced)
        if (tracing && !keep && !rt.pending)
            fire_event(event::expr, &code, pos, nullptr, stack::state.base);
}

// Stores a value and tells the tracer it was pushed.
template <bool Traced>
inline void store_pushed(const Cell& value, bool keep, const Cell& code, const Cell* pos) {
    store(value, keep);
    report<Traced>(event::push, &code, pos, nullptr, &value);
}

template <bool Traced>
[[gnu::always_inline]] inline const Cell* eval_infix(const Cell* pos, const Cell* tail,
                                                     const Cell& code, Cell* start_top, bool keep);
void eval_paren(const Cell& paren);
namespace in_place {
const Cell* set_word(const Cell* pos, const Cell* tail, bool keep);
}
template <bool Traced>
const Cell* expression(const Cell* pos, const Cell* tail, const Cell& code, bool no_infix,
                       bool keep, bool literal_functions);
// The same, compiled for the three ways the interpreter evaluates: an
// expression of a block (its value in slot 0), an argument (pushed), and
// the right operand of an operator (pushed, no operator after it).
template <bool Traced, bool NoInfix, bool Keep>
const Cell* expression_as(const Cell* pos, const Cell* tail, const Cell& code);
template <bool Traced>
const Cell* call(const Cell& function, const Cell* pos, const Cell* tail, const Cell& block,
                 bool keep, const Cell* path, uint32_t path_index, const Cell* name,
                 uint32_t call_mode, bool infix);
template <bool Traced>
const Cell* call_named(const Cell& function, const Cell* at, const Cell* tail, const Cell& code,
                       bool keep);
const Cell* call_function(const Cell& function, const Cell* at, const Cell* tail, const Cell& code,
                          bool keep);
const Cell* call_builtin(const Cell& function, const Cell* at, const Cell* tail, const Cell& code,
                         bool keep);

const Cell* eval_control(Control form, const Cell& native, const Cell* at, const Cell* tail,
                         const Cell& code, bool keep);
template <bool Keep>
const Cell* infix_after(const Cell* pos, const Cell* tail, const Cell& code, Cell* start_top);

// Evaluates the word at pos: calls its function or control form, or
// stores its value; returns the position after the call (before any
// operator after it).
template <bool Traced>
[[gnu::always_inline]] inline const Cell* word_expression(const Cell* pos, const Cell* tail,
                                                          const Cell& code, bool keep) {
    const Cell& word = *pos;
    // v lies among a context's values: every call below copies it before
    // anything allocates.
    const Cell& v = lookup(word);
    switch (cell::type_of(v)) {
    case TYPE_UNSET: fail(err::script::no_value, &word); return pos;
    case TYPE_OP: fail(err::script::no_op_arg, &word); return pos;
    case TYPE_FUNCTION:
        if (!Traced) return call_function(v, pos, tail, code, keep);
        return call_named<Traced>(Cell(v), pos, tail, code, keep);
    case TYPE_NATIVE:
        if (Control form = control_form(v); form != Control::none && !Traced)
            return eval_control(form, v, pos, tail, code, keep);
        [[fallthrough]];
    case TYPE_ACTION:
        if (!Traced) return call_builtin(v, pos, tail, code, keep);
        [[fallthrough]];
    case TYPE_ROUTINE: {
        Cell function = v;
        return call_named<Traced>(function, pos, tail, code, keep);
    }
    default: store_pushed<Traced>(v, keep, code, pos); return pos + 1;
    }
}

// Evaluates the set-word at pos and the expression after it, whose value
// it assigns; returns the position after that expression, which already
// took its operators.
template <bool Traced>
[[gnu::always_inline]] inline const Cell* set_word_expression(const Cell* pos, const Cell* tail,
                                                              const Cell& code, bool keep) {
    if constexpr (!Traced)
        if (!plans::find(pos))
            if (const Cell* next = in_place::set_word(pos, tail, keep)) return next;
    const Cell& value = *pos;
    stack::mark_native(value);
    stack::push(value);
    report<Traced>(event::push, &code, pos, nullptr, &value);
    if (pos + 1 >= tail) {
        fail(err::script::need_value, &value);
        return pos;
    }
    Cell set_word = value;
    pos = expression_as<Traced, false, true>(pos + 1, tail, code);
    if (rt.pending) return pos;
    report<Traced>(event::set, &code, pos, &set_word, stack::get_top());
    // A word of an object runs its on-change*, which may exit.
    Cell* args = stack::state.base;
    if (cell::type_of(args[1]) != TYPE_UNSET && context::store_plain(args[0], args[1]))
        args[0] = args[1];
    else if (runtime::resume_pending([] { word::set_from_arg(true); }))
        return pos;
    end_frame(keep);
    fire_expr<Traced>(code, pos, keep);
    return pos;
}

// Evaluates an untraced expression of a block, its value in slot 0 (or,
// with Keep, pushed: an expression of a paren). The most common ones, a
// word's call or value and a set-word, are evaluated here, without an
// expression level of their own.
template <bool Keep>
[[gnu::always_inline]] inline const Cell* walk_expression(const Cell* pos, const Cell* tail,
                                                          const Cell& code) {
    switch (cell::type_of(*pos)) {
    case TYPE_WORD: {
        Cell* start_top = stack::state.top;
        pos = word_expression<false>(pos, tail, code, Keep);
        // The word's call may have cut the block short.
        if (!rt.pending && pos < tail && cell::type_of(*pos) == TYPE_WORD)
            pos = infix_after<Keep>(pos, walk_end(code, tail), code, start_top);
        return pos;
    }
    case TYPE_SET_WORD: return set_word_expression<false>(pos, tail, code, Keep);
    default: return expression_as<false, false, Keep>(pos, tail, code);
    }
}

// Under KIV_PLAN_VERIFY=1, each walk of a block checks that no change of
// its cells since its last walk missed the write barrier.
[[gnu::always_inline]] inline void verify_walk(const Cell& code) {
    if (plan_store::verifying) [[unlikely]]
        plan_store::verify_walk(code.w2);
}

// Evaluates the expressions of a non-empty pinned block from pos, each
// value in slot 0 of the current frame, which is emptied between them.
template <bool Traced>
[[gnu::always_inline]] inline void eval_expressions(const Cell& code, Buffer* buffer,
                                                    const Cell* pos) {
    verify_walk(code);
    position = code;
    while (pos < buffer->tail_cell()) {
        position.w1 = uint32_t(pos - buffer->head_cell());
        if constexpr (Traced)
            pos = expression_as<Traced, false, false>(pos, buffer->tail_cell(), code);
        else
            pos = walk_expression<false>(pos, buffer->tail_cell(), code);
        if (rt.pending) return;
        if (pos < buffer->tail_cell()) stack::reset();
    }
}

// Evaluates a block untraced in the current frame, emptied first: the
// last value stays in slot 0. The caller has checked the machine stack
// (once per call, branch or loop step), which is also where an interrupt
// is raised. An empty block gives unset! before any of the walk's keeping
// is set up.
[[gnu::always_inline]] inline void walk_here(const Cell& block) {
    if (flat_core) {
        core::run_here(block);
        return;
    }
    Buffer* buffer = memory::buffer_of(block.w2);
    const Cell* start = buffer->head_cell() + block.w1;
    if (start >= buffer->tail_cell()) {
        stack::keep_last(Cell{cell::unset_header, 0, 0, 0});
        return;
    }
    CodeWalk walk(block, buffer, start);
    stack::reset();
    eval_expressions<false>(walk.code, walk.buffer, walk.pos);
}

// Pushes the value at pos as it is, as an expression that is that value
// does; returns the position after it.
template <bool Traced>
inline const Cell* push_as_is(const Cell* pos, const Cell& code) {
    report<Traced>(event::fetch, &code, pos);
    stack::push(*pos);
    report<Traced>(event::push, &code, pos, nullptr, pos);
    return pos + 1;
}

// The shape bits of a function's unused tail (the entries from `from` on),
// or 0 when it does not fit.
uint32_t tail_shape(const Cell* entry, uint32_t from, uint32_t length) {
    uint32_t cells = 0;
    uint32_t pattern = 0;
    auto add = [&](bool is_false) {
        if (cells < shape::max_tail && is_false) pattern |= 1u << cells;
        ++cells;
    };
    for (uint32_t j = from; j < length; ++j) {
        switch (cell::type_of(entry[j])) {
        case TYPE_REFINEMENT: add(true); break;
        case TYPE_TYPESET:
            if (kind_of(entry[j]) != arg_kind::ret) add(false);
            break;
        case TYPE_INTEGER:
            add(true);
            for (uint32_t k = 1; k < entry[j].w2; ++k) add(false);
            break;
        default: break;
        }
    }
    if (cells > shape::max_tail) return 0;
    return shape::unused_tail | cells << shape::tail_length_shift |
           pattern << shape::tail_pattern_shift;
}

uint32_t shape_of(const Cell& list, bool native, uint32_t refinements) {
    const Cell* entry = block_cells(list) + list.w1;
    auto length = uint32_t(block::rs_length(list));
    uint32_t count = 0;
    while (count < length && cell::type_of(entry[count]) == TYPE_TYPESET &&
           kind_of(entry[count]) == arg_kind::normal)
        ++count;
    if (count > shape::count_mask) return 0;
    uint32_t after = count;
    while (after < length && cell::type_of(entry[after]) == TYPE_TYPESET &&
           kind_of(entry[after]) == arg_kind::ret)
        ++after;
    if (after == length) return shape::simple | count;
    uint32_t next = cell::type_of(entry[after]);
    if (native && next == TYPE_REFINEMENT && refinements <= max_refinements)
        return shape::unused_refinements | refinements << shape::refinements_shift | count;
    if (!native && (next == TYPE_REFINEMENT || next == TYPE_INTEGER))
        if (uint32_t tail = tail_shape(entry, after, length)) return tail | count;
    return 0;
}

// The argument list of a function value, built from its spec on first
// call and kept in the value's extras block: one typeset per argument (its
// kind in bits 20-21), one refinement! per refinement (for natives and
// actions numbered in word 3), an integer! counting /local and its words,
// and for natives and actions a last integer! counting the refinements.
// Word 3 of the cached cell holds the call shape. The function is taken
// by value: building the list allocates, and a collection may move the
// values a caller's cell lies among.
[[gnu::noinline]] Cell build_argument_list(const Cell function) {
    // Resolving the type words uses the stack above its top. An error
    // leaves the stack as its catcher set it, with the error on top.
    struct KeepTop {
        Cell* top = stack::state.top;
        int unwinding = std::uncaught_exceptions();
        ~KeepTop() {
            if (std::uncaught_exceptions() == unwinding) stack::state.top = top;
        }
    } keep_top;

    bool native = cell::type_of(function) == TYPE_NATIVE || cell::type_of(function) == TYPE_ACTION;
    Rooted<Cell> spec(Cell{TYPE_BLOCK, 0, function.w2, 0});
    Rooted<Cell> list;
    block::make_at(*list, 8);
    uint32_t refinements = 0;
    uint32_t length = uint32_t(block::rs_length(*spec));
    for (uint32_t i = 0; i < length; ++i) {
        Cell value = block_cells(*spec)[i];
        uint32_t type = cell::type_of(value);
        uint32_t kind;
        switch (type) {
        case TYPE_WORD: kind = arg_kind::normal; break;
        case TYPE_GET_WORD: kind = arg_kind::get; break;
        case TYPE_LIT_WORD: kind = arg_kind::literal; break;
        case TYPE_SET_WORD: kind = arg_kind::ret; break;
        case TYPE_REFINEMENT: {
            if (symbol::resolve(value.w2) == symbol::resolve(words::refinement<"local">().w2)) {
                uint32_t count = 1;
                for (uint32_t j = i + 1; j < length; ++j) {
                    uint32_t t = cell::type_of(block_cells(*spec)[j]);
                    if (t == TYPE_SET_WORD) break;
                    if (t == TYPE_WORD) ++count;
                }
                Cell locals{TYPE_INTEGER, 0, count, 0};
                block::append_value(*list, locals);
                i = length;
                continue;
            }
            Cell refinement = value;
            refinement.w3 = native ? ++refinements : uint32_t(-1);
            block::append_value(*list, refinement);
            continue;
        }
        default: continue;
        }
        if (kind == arg_kind::ret &&
            symbol::resolve(value.w2) != symbol::resolve(words::sym<"return">())) {
            raise(err::script::bad_func_def, &value);
        }
        const Cell* next = i + 1 < length ? &block_cells(*spec)[i + 1] : nullptr;
        Cell* entry;
        if (next && cell::type_of(*next) == TYPE_BLOCK && block::rs_length(*next) > 0) {
            Cell types = *next;
            entry = typeset::make_in_from_block(*list, types);
        } else {
            entry = typeset::make_in_default(*list);
        }
        entry->header |= kind << arg_kind::shift;
    }
    if (native && refinements) block::append_value(*list, Cell{TYPE_INTEGER, 0, refinements, 0});
    list->w3 = shape_of(*list, native, refinements);
    *extras::at(function, extras::arguments) = *list;
    return *list;
}

// The n-th argument word (counted from 0) of a function's spec, for error
// messages.
Cell argument_word(const Cell& function, uint32_t n) {
    Cell spec{TYPE_BLOCK, 0, function.w2, 0};
    uint32_t length = uint32_t(block::rs_length(spec));
    for (uint32_t i = 0; i < length; ++i) {
        const Cell& value = block_cells(spec)[i];
        uint32_t type = cell::type_of(value);
        if (type == TYPE_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD) {
            if (n-- == 0) {
                Cell word = value;
                cell::set_type(word, TYPE_WORD);
                return word;
            }
        }
    }
    return words::word<"<anon>">();
}

[[gnu::noinline, gnu::cold]] void fail_expect_arg(const Cell& value, const Cell& function,
                                                  const Cell& name, uint32_t argument) {
    Cell type{};
    datatype::make_at(type, cell::type_of(value));
    Cell word = argument_word(function, argument);
    fail(err::script::expect_arg, &name, &type, &word);
}

[[gnu::noinline, gnu::cold]] void fail_no_arg(const Cell& function, const Cell& name,
                                              uint32_t argument) {
    Cell word = argument_word(function, argument);
    fail(err::script::no_arg, &name, &word);
}

[[noreturn, gnu::noinline]] void raise_expect_arg(const Cell& value, const Cell& function,
                                                  const Cell& name, uint32_t argument) {
    runtime::ErrorExits thrown(false);
    fail_expect_arg(value, function, name, argument);
    __builtin_unreachable();
}

// Fetches an argument that is not an expression to evaluate, or that is
// missing; returns the position after it.
template <bool Traced>
[[gnu::noinline]] const Cell* fetch_other(const Cell& entry, const Cell* pos, const Cell* tail,
                                          const Cell& code, const Cell& function, const Cell& name,
                                          uint32_t argument) {
    if (pos >= tail) {
        if (kind_of(entry) == arg_kind::literal && typeset::has(entry, TYPE_UNSET)) {
            unset::push();
            return pos;
        }
        fail_no_arg(function, name, argument);
        return pos;
    }
    switch (kind_of(entry)) {
    case arg_kind::get: pos = push_as_is<Traced>(pos, code); break;
    default: {
        const Cell& value = *pos;
        switch (cell::type_of(value)) {
        case TYPE_PAREN: {
            stack::mark_native(words::word<"<anon>">());
            eval_here(value);
            if (rt.pending) return pos;
            stack::unwind();
            ++pos;
            break;
        }
        case TYPE_GET_WORD:
            stack::push(lookup(value));
            ++pos;
            break;
        case TYPE_GET_PATH: pos = eval_path(value, pos + 1, tail, code, false, true, true); break;
        default:
            stack::push(value);
            ++pos;
            break;
        }
    }
    }
    if (!rt.pending) check_arg(entry, *stack::get_top(), function, name, argument);
    return pos;
}

// Fetches one argument at pos onto the stack; returns the position after
// it. Most arguments are expressions to evaluate: they are fetched here.
template <bool Traced>
[[gnu::always_inline]] inline const Cell*
fetch(const Cell& entry, const Cell* pos, const Cell* tail, const Cell& code, bool infix,
      uint32_t call_mode, const Cell& function, const Cell& name, uint32_t argument) {
    if (argument) tail = walk_end(code, tail); // the arguments before may have cut the block
    if (pos >= tail || kind_of(entry) != arg_kind::normal) [[unlikely]]
        return fetch_other<Traced>(entry, pos, tail, code, function, name, argument);
    const Cell* end = call_mode & mode::literal_arguments ? pos + 1 : tail;
    // A value that evaluates to itself, or a word's value, is pushed here;
    // operators may follow it.
    const Cell* value = inert(*pos) ? pos : plain_word_value(*pos);
    if (value) {
        Cell* start_top = stack::state.top;
        report<Traced>(event::fetch, &code, pos);
        store_pushed<Traced>(*value, true, code, pos);
        ++pos;
        if (!infix && pos < end && cell::type_of(*pos) == TYPE_WORD)
            pos = eval_infix<Traced>(pos, end, code, start_top, true);
    } else {
        pos = infix ? expression_as<Traced, true, true>(pos, end, code)
                    : expression_as<Traced, false, true>(pos, end, code);
    }
    if (!rt.pending) check_arg(entry, stack::state.top[-1], function, name, argument);
    return pos;
}

// The truth of a refinement named in a path: a word! is used, a
// get-word! by the truth of its value.
bool refinement_truth(const Cell& element) {
    if (cell::type_of(element) == TYPE_GET_WORD)
        return logic::true_cell(lookup(element), false, nullptr);
    return true;
}

// Finds the refinement named by a path element in the argument list;
// returns its position in the list, or -1.
int32_t find_refinement(const Cell* list, uint32_t count, const Cell& element) {
    uint32_t wanted = symbol::resolve(element.w2);
    for (uint32_t i = 0; i < count; ++i)
        if (cell::type_of(list[i]) == TYPE_REFINEMENT && symbol::resolve(list[i].w2) == wanted)
            return int32_t(i);
    return -1;
}

// Where a refinement named in a path lies in an argument list: its entry
// (-1 when absent), its frame slot (the entries before it, not counting
// the return: entry) and the number of the first argument after it.
struct RefinementPlace {
    int32_t at;
    uint32_t slot;
    uint32_t argument;
};

// Finds the place of a refinement that no plan knows yet, and plans it.
[[gnu::noinline]] RefinementPlace plan_place(const Cell* list, uint32_t count, NodeId list_node,
                                             const Cell& element) {
    int32_t at = find_refinement(list, count, element);
    if (at < 0) return {at, 0, 0};
    uint32_t slot = 0;
    uint32_t argument = 0;
    for (int32_t j = 0; j < at; ++j) {
        if (cell::type_of(list[j]) == TYPE_TYPESET) {
            if (kind_of(list[j]) == arg_kind::ret) continue;
            ++argument;
        }
        ++slot;
    }
    plans::make_refinement(&element, list_node, at, slot, argument);
    return {at, slot, argument};
}

[[gnu::always_inline]] inline RefinementPlace place_of(const Cell* list, uint32_t count,
                                                       NodeId list_node, const Cell& element) {
    if (const plans::RefinementPlan* plan = plans::find_refinement(&element, list_node)) [[likely]]
        return {plan->at, plan->slot, plan->argument};
    return plan_place(list, count, list_node, element);
}

// Pushes what a function sees for the entries of its argument list from
// `from` to `count` (its refinements and locals) until a path names a
// refinement: false for each refinement and for /local, none for every
// refinement argument and local word.
void push_unused(const Cell* list, uint32_t from, uint32_t count) {
    for (uint32_t j = from; j < count; ++j) {
        switch (cell::type_of(list[j])) {
        case TYPE_REFINEMENT: stack::push(logic::false_value); break;
        case TYPE_TYPESET:
            if (kind_of(list[j]) != arg_kind::ret) stack::push(none::value);
            break;
        case TYPE_INTEGER:
            stack::push(logic::false_value);
            for (uint32_t k = 1; k < list[j].w2; ++k) stack::push(none::value);
            break;
        default: break;
        }
    }
}

// Fetches the arguments of a simple function (see shape) into the current
// frame; returns the position after the last one.
template <bool Traced>
[[gnu::always_inline]] inline const Cell*
fetch_simple(const Cell& list_block, const Cell* pos, const Cell* tail, const Cell& code,
             uint32_t call_mode, const Cell& function, const Cell& name) {
    uint32_t count = list_block.w3 & shape::count_mask;
    // Each entry is copied before its argument is evaluated, which may
    // move the list: cheaper than pinning it for the usual one or two.
    for (uint32_t argument = 0; argument < count; ++argument) {
        Cell entry = block_cells(list_block)[list_block.w1 + argument];
        pos = fetch<Traced>(entry, pos, tail, code, false, call_mode, function, name, argument);
        if (rt.pending) break;
    }
    return pos;
}

// Reports the call and, for natives and actions, runs their code with the
// arguments in the current frame.
template <bool Traced>
[[gnu::always_inline]] inline void run_code(const Cell& function, const Cell* pos, const Cell& code,
                                            const Cell& name, uint32_t call_mode,
                                            int32_t* refinements) {
    report<Traced>(event::call, &code, call_mode ? nullptr : pos, &name, &function);

    uint32_t type = cell::type_of(function);
    if (type == TYPE_NATIVE || type == TYPE_ACTION) run_resuming(function, refinements);
}

// Fetches the arguments of a call into the current frame (the frame's
// slots follow the function's context entries) and, for natives and
// actions, calls the code. Returns the position after the last argument.
template <bool Traced>
[[gnu::always_inline]] inline const Cell*
eval_arguments(const Cell& function, const Cell* pos, const Cell* tail, const Cell& code,
               const Cell* path, uint32_t path_index, const Cell& name, uint32_t call_mode,
               bool infix) {
    uint32_t type = cell::type_of(function);
    bool native = type == TYPE_NATIVE || type == TYPE_ACTION;
    Cell list_block = argument_list(function);
    if ((list_block.w3 & (shape::simple | shape::unused_refinements | shape::unused_tail)) &&
        !path && !infix) [[likely]] {
        pos = fetch_simple<Traced>(list_block, pos, tail, code, call_mode, function, name);
        if (rt.pending) return pos;
        if (list_block.w3 & shape::unused_tail) {
            push_tail(list_block.w3);
            run_code<Traced>(function, pos, code, name, call_mode, nullptr);
            return pos;
        }
        int32_t refinements[max_refinements];
        uint32_t unused = (list_block.w3 >> shape::refinements_shift) & shape::refinements_mask;
        for (uint32_t i = 0; i < unused; ++i) refinements[i] = -1;
        run_code<Traced>(function, pos, code, name, call_mode, refinements);
        return pos;
    }
    Pin pin(list_block.w2);
    const Cell* list = pin.buffer()->head_cell() + list_block.w1;
    auto count = uint32_t(pin.buffer()->tail_cell() - list);

    int32_t refinements[max_refinements];
    uint32_t refinement_count = 0;
    if (native && count && cell::type_of(list[count - 1]) == TYPE_INTEGER) {
        refinement_count = list[count - 1].w2;
        for (uint32_t i = 0; i < refinement_count && i < max_refinements; ++i) refinements[i] = -1;
    }

    // The fixed arguments, before the first refinement.
    uint32_t argument = 0;
    uint32_t i = 0;
    for (; i < count; ++i) {
        const Cell& entry = list[i];
        if (cell::type_of(entry) != TYPE_TYPESET) break;
        if (kind_of(entry) == arg_kind::ret) continue;
        if (infix && argument == 0) {
            stack::state.top++; // the left operand is already in place
            check_arg(entry, stack::state.top[-1], function, name, argument);
            if (rt.pending) return pos;
        } else {
            pos = fetch<Traced>(entry, pos, tail, code, infix, call_mode, function, name, argument);
            if (rt.pending) return pos;
        }
        ++argument;
    }
    Cell* base = stack::state.base;
    if (!native) push_unused(list, i, count);

    // Refinements named in the path, each once, their arguments fetched
    // from the code after the fixed arguments.
    if (path) {
        Buffer* path_buffer = memory::buffer_of(path->w2);
        const Cell* elements = path_buffer->head_cell() + path->w1;
        auto length = uint32_t(path_buffer->tail_cell() - elements);
        uint64_t used = 0;
        for (uint32_t e = path_index + 1; e < length; ++e) {
            const Cell& element = elements[e];
            uint32_t etype = cell::type_of(element);
            if (etype != TYPE_WORD && etype != TYPE_GET_WORD)
                raise(err::script::bad_refine, &element);
            RefinementPlace place = place_of(list, count, list_block.w2, element);
            int32_t at = place.at;
            if (at < 0) raise(err::script::no_refine, &name, &element);
            if (used & (uint64_t(1) << (at & 63))) raise(err::script::dup_refine, path);
            used |= uint64_t(1) << (at & 63);
            bool truth = refinement_truth(element);
            uint32_t slot = place.slot;
            uint32_t arg_index = place.argument;
            if (native) {
                if (truth) refinements[list[at].w3 - 1] = int32_t(stack::state.top - base);
            } else {
                base[slot] = truth ? logic::true_value : logic::false_value;
            }
            uint32_t k = 0;
            for (uint32_t j = uint32_t(at) + 1; j < count && cell::type_of(list[j]) == TYPE_TYPESET;
                 ++j) {
                if (kind_of(list[j]) == arg_kind::ret) continue;
                pos = fetch<Traced>(list[j], pos, tail, code, false, call_mode, function, name,
                                    arg_index + k);
                if (rt.pending) return pos;
                ++k;
                // The argument just fetched is on top.
                if (!native) {
                    base[slot + k] = truth ? stack::state.top[-1] : none::value;
                    --stack::state.top;
                } else if (!truth) {
                    --stack::state.top;
                }
            }
        }
    }

    run_code<Traced>(function, pos, code, name, call_mode, refinements);
    return pos;
}

// The tracing switch for a function's body: a `trace` function turns it
// on to the traced mode, a `no-trace` function off; others keep it.
bool tracing_for(const Cell& function) {
    if (function.header & function::flag::trace) return traced_mode;
    if (function.header & function::flag::no_trace) return false;
    return tracing;
}

// Evaluates an untraced function body: its values go above the arguments
// and locals, in the function's own frame: its base moves up, and the
// frame's end (unwind, or the landing of return and exit) takes the result
// from there.
inline void eval_body_here(const Cell& body) {
    stack::state.base = stack::state.top;
    eval_here(body);
}

// Runs a function body under the tracing switch it asks for: traced in a
// frame of its own between prolog and epilog, or untraced (a no-trace
// function, or a trace function outside a traced evaluation) as usual.
[[gnu::noinline]] void eval_switched_body(const Cell& function, const Cell& body,
                                          const Cell& name) {
    TracingSwitch switch_(tracing_for(function));
    if (tracing) {
        fire(event::prolog, nullptr, nullptr, &name);
        eval(body, true);
        fire(event::epilog, nullptr, nullptr, &name);
    } else {
        eval_body_here(body);
    }
}

// Runs an interpreted function body with the function's context pointed
// at the current frame.
[[gnu::always_inline]] inline void eval_body(const Cell& function, const Cell& body,
                                             const Cell& name) {
    Cell& ctx = context::cell_of(function.w1);
    uint32_t saved = ctx.w2;
    ctx.w2 = stack::values_word(stack::state.base);
    stack::set_frame_flag(true);
    struct Restore {
        NodeId node;
        uint32_t values;
        Running outer;
        ~Restore() {
            context::cell_of(node).w2 = values;
            running = outer;
        }
    } restore{function.w1, saved, running};
    running = {function.w1, stack::state.base};
    if (tracing || (function.header & (function::flag::trace | function::flag::no_trace)))
        [[unlikely]] {
        eval_switched_body(function, body, name);
    } else {
        // The call checked the machine stack before its arguments.
        stack::state.base = stack::state.top;
        walk_here(body);
    }
    // The frame goes right after the body, return-target flag and all.
    if (rt.pending == runtime::code::ret || rt.pending == runtime::code::exit) rt.pending = 0;
}

// Runs a function!'s body, if it has one, with the arguments in the
// current frame.
[[gnu::always_inline]] inline void run_body(const Cell& function, const Cell& name) {
    Cell body = *extras::at(function, extras::body);
    if (cell::type_of(body) != TYPE_BLOCK) {
        unset::set_result();
        return;
    }
    eval_body(function, body, name);
}

// The word that names a call: the name given, else the word before the
// arguments; null for an anonymous call.
const Cell* naming_word(const Cell* name, const Cell* pos, const Cell& code) {
    if (name) return name;
    const Cell* first = block_cells(code);
    if (pos && pos > first && cell::type_of(pos[-1]) == TYPE_WORD) return pos - 1;
    return nullptr;
}

Cell library_modulo{TYPE_NONE, 0, 0, 0};

// Resolves the word at pos, in operator position, with no plan: whether
// its value is an operator, and then its function unwrapped and its fast
// operation; plans what it found.
template <bool Traced>
[[gnu::noinline]] bool resolve_operator(const Cell* pos, Cell& wrapped, FastOp& fast) {
    const Cell* value = pos->w1 ? word_value(*pos) : nullptr;
    bool op = value && cell::type_of(*value) == TYPE_OP;
    if (op) {
        wrapped = *value;
        wrapped.header = (value->header >> 16) & 0xFF;
    }
    // Traced operators take the full call, which reports its steps.
    fast = Traced || !op ? FastOp::none : fast_op_of(wrapped);
    if (!Traced && plans::plannable(*pos))
        plans::make(pos, op ? plans::Kind::op : plans::Kind::not_op, wrapped, uint8_t(fast));
    return op;
}

// Whether the word at pos, in operator position, names an operator; if so
// its function unwrapped and its fast operation, from the position's plan
// when it has a good one.
template <bool Traced>
[[gnu::always_inline]] inline bool operator_at(const Cell* pos, Cell& wrapped, FastOp& fast) {
    if (const plans::Plan* plan = Traced ? nullptr : plans::find(pos)) {
        if (plan->kind != plans::Kind::op) return false;
        wrapped = plan->value;
        fast = FastOp(plan->detail);
        return true;
    }
    return resolve_operator<Traced>(pos, wrapped, fast);
}

// Set-words computed in place: an expression made only of values that
// evaluate to themselves, variables, parens of one such expression, and
// operators whose fast operation succeeds can neither fail nor call
// anything, so its value is computed here without an expression level, and
// stored without the set-word's frame when the word's context is a plain
// one (context::store_plain). Anything else (a call, another operator, an
// unset value, an overflow, an object's field) gives up before any effect
// and the set-word takes the generic way; the position then keeps an
// `impure` plan, so that its next evaluations go there at once.
namespace in_place {

// Parens nest this deep at most: the computation recurses on them.
constexpr uint32_t max_depth = 8;

const Cell* paren_value(const Cell& paren, Cell& out, uint32_t depth);

// The value of the operand at pos into `out`; the position after it, or
// null when it is not computed in place.
[[gnu::always_inline]] inline const Cell* operand(const Cell* pos, Cell& out, uint32_t depth) {
    const Cell& at = *pos;
    if (inert(at)) {
        if (cell::type_of(at) == TYPE_UNSET) return nullptr;
        out = at;
        return pos + 1;
    }
    if (const Cell* value = plain_word_value(at)) {
        out = *value;
        return pos + 1;
    }
    if (cell::type_of(at) != TYPE_PAREN || depth >= max_depth) return nullptr;
    return paren_value(at, out, depth + 1) ? pos + 1 : nullptr;
}

// An operand and the operators after it, applied left to right.
[[gnu::always_inline]] inline const Cell* expression(const Cell* pos, const Cell* tail, Cell& out,
                                                     uint32_t depth) {
    pos = operand(pos, out, depth);
    while (pos && pos < tail && cell::type_of(*pos) == TYPE_WORD) {
        Cell wrapped;
        FastOp fast;
        if (!operator_at<false>(pos, wrapped, fast)) break;
        if (fast == FastOp::none || pos + 1 >= tail) return nullptr;
        Cell right;
        pos = operand(pos + 1, right, depth);
        if (!pos || !compute_fast(fast, out, right, out)) return nullptr;
    }
    return pos;
}

// The value of a paren of one expression computed in place into `out`;
// the paren's end, or null when it is not that.
[[gnu::noinline]] const Cell* paren_value(const Cell& paren, Cell& out, uint32_t depth) {
    Buffer* buffer = memory::buffer_of(paren.w2);
    const Cell* inner = buffer->head_cell() + paren.w1;
    const Cell* end = buffer->tail_cell();
    return inner < end && expression(inner, end, out, depth) == end ? end : nullptr;
}

// Evaluates the set-word at pos in place when it can; the position after
// its expression, or null when it takes the generic way. Its caller has
// found no plan at pos (an `impure` one would say it cannot).
[[gnu::noinline]] const Cell* set_word(const Cell* pos, const Cell* tail, bool keep) {
    Cell value;
    const Cell* next = pos + 1 < tail ? expression(pos + 1, tail, value, 0) : nullptr;
    if (!next || !context::store_plain(*pos, value)) {
        plans::make(pos, plans::Kind::impure, Cell{});
        return nullptr;
    }
    store(value, keep);
    return next;
}

} // namespace in_place

void argument_types(const Cell& list_block, Cell* types, uint32_t n);
inline void finish_call(Cell* held, bool keep);

// Calls an operator's function with both operands already in place at
// `left` and `left + 1`: a native, an action, or a function! of two
// arguments whose shape is simple (the library's `modulo`).
void call_in_place(const Cell& function, Cell* left, const Cell& name, bool keep) {
    Cell list_block = argument_list(function);
    bool body = cell::type_of(function) == TYPE_FUNCTION;
    stack::state.top = left;
    if (body)
        stack::mark_interp_func(name, function.w1);
    else
        stack::mark_interp_native(name);
    stack::state.top = left + 2;
    // A native's or action's type sets come from its call shape, made once.
    const BuiltinShape* builtin = nullptr;
    if (!body) {
        uint32_t slot = builtin_slot(function);
        builtin = &builtin_shapes[slot];
        if (builtin->spec != function.w2) [[unlikely]]
            builtin = make_builtin_shape(function, slot);
    }
    Cell types[2];
    if (builtin && builtin->count == 2) {
        types[0] = builtin->types[0];
        types[1] = builtin->types[1];
    } else {
        argument_types(list_block, types, 2);
    }
    if (!check_arg(types[0], left[0], function, name, 0) ||
        !check_arg(types[1], left[1], function, name, 1))
        return;
    if (body) {
        if (list_block.w3 & shape::unused_tail) push_tail(list_block.w3);
        run_body(function, name);
        if (!rt.pending) finish_call(left, keep);
        return;
    }
    if (run_resuming(function, unused_refinements.data())) return;
    end_frame(keep);
}

// The infix step: while the next value is a word whose value is an op!,
// the value just computed becomes its left argument. `tail` holds at the
// start (the caller took walk_end after any code it ran) and is taken
// again after each operand or operator that ran code.
template <bool Traced>
[[gnu::always_inline]] inline const Cell* eval_infix(const Cell* pos, const Cell* tail,
                                                     const Cell& code, Cell* start_top, bool keep) {
    while (pos < tail && cell::type_of(*pos) == TYPE_WORD) {
        Cell wrapped;
        FastOp fast;
        if (!operator_at<Traced>(pos, wrapped, fast)) return pos;
        report<Traced>(event::fetch, &code, pos);
        Cell* left = keep ? start_top : stack::state.base;
        if (fast != FastOp::none && pos + 1 < tail) {
            const Cell* op_word = pos;
            stack::state.top = left + 1;
            // A value or a variable as the right operand is taken where it
            // stands; only the operator's own call needs it pushed.
            const Cell* operand = inert(pos[1]) ? pos + 1 : plain_word_value(pos[1]);
            if (Traced && operand == pos + 1) {
                pos = push_as_is<Traced>(pos + 1, code);
            } else if (!Traced && operand) {
                pos += 2;
                if (compute_fast(fast, left[0], *operand, left[0])) continue;
                stack::push(*operand);
                call_in_place(wrapped, left, *op_word, keep);
                if (rt.pending) return pos;
                tail = walk_end(code, tail);
                continue;
            } else if (!Traced && cell::type_of(pos[1]) == TYPE_PAREN) {
                // A paren pushes its value where the operand goes, as its
                // evaluation as an expression would.
                eval_paren(pos[1]);
                if (rt.pending) return pos + 1;
                pos += 2;
            } else {
                pos = expression_as<Traced, true, true>(pos + 1, tail, code);
                if (rt.pending) return pos;
            }
            if (compute_fast(fast, left[0], left[1], left[0])) {
                stack::state.top = left + 1;
            } else {
                call_in_place(wrapped, left, *op_word, keep);
                if (rt.pending) return pos;
            }
            tail = walk_end(code, tail); // the operand or the operator ran code
            continue;
        }
        argument_list(wrapped); // built before the left operand becomes the top
        stack::state.top = left;
        pos = call<Traced>(wrapped, pos + 1, tail, code, keep, nullptr, 0, pos, 0, true);
        if (rt.pending) return pos;
        tail = walk_end(code, tail);
    }
    return pos;
}

// The type sets of a function's first n arguments, from its argument list.
void argument_types(const Cell& list_block, Cell* types, uint32_t n) {
    const Cell* entry = block_cells(list_block) + list_block.w1;
    for (uint32_t i = 0; i < n; ++entry)
        if (kind_of(*entry) != arg_kind::ret) types[i++] = *entry;
}

std::array<ControlTypes, natives::table_size + 1> control_type_sets;

const ControlTypes& learn_control_types(Control form, const Cell& native) {
    ControlTypes& entry = control_type_sets[native.w1];
    uint32_t count = control_arguments(form);
    argument_types(argument_list(native), entry.types, count);
    entry.literal_blocks = true;
    for (uint32_t i = 1; i < count; ++i)
        entry.literal_blocks = entry.literal_blocks &&
                               kind_of(entry.types[i]) == arg_kind::normal &&
                               typeset::has(entry.types[i], TYPE_BLOCK);
    entry.known = true;
    return entry;
}

std::array<BuiltinShape, builtin_slots> builtin_shapes;
std::array<Cell, builtin_slots> builtin_specs;
[[maybe_unused]] const bool kept_in_snapshot =
    session::keep(position, running, control_type_sets, builtin_shapes, builtin_specs);

// Reads the shape of a native or action from its argument list; null when
// its calls do not fit one (an argument taken literally, too many
// arguments, more refinements than a call can name).
[[gnu::noinline]] const BuiltinShape* make_builtin_shape(const Cell function, uint32_t slot) {
    Cell list_block = argument_list(function);
    uint32_t count = list_block.w3 & shape::count_mask;
    if (!slot || !(list_block.w3 & (shape::simple | shape::unused_refinements)) ||
        count > max_builtin_arguments)
        return nullptr;
    BuiltinShape& entry = builtin_shapes[slot];
    entry.count = count;
    const Cell* list = block_cells(list_block) + list_block.w1;
    for (uint32_t i = 0; i < count; ++i) entry.types[i] = list[i];
    entry.spec = function.w2;
    builtin_specs[slot] = Cell{TYPE_BLOCK, 0, function.w2, 0};
    return &entry;
}

// The operators after a word's call or value evaluated untraced, for the
// frame or (Keep) pushed from start_top: out of line, as most such
// expressions have none.
template <bool Keep>
[[gnu::noinline]] const Cell* infix_after(const Cell* pos, const Cell* tail, const Cell& code,
                                          Cell* start_top) {
    return eval_infix<false>(pos, tail, code, start_top, Keep);
}

// Runs a control form in line; `at` is the word that named it. The call is
// marked with the same frame as the generic call (errors name the same
// function), its arguments are checked against the native's own type sets,
// and the chosen block is evaluated in that frame.
[[gnu::noinline]] const Cell* eval_control(Control form, const Cell& native, const Cell* at,
                                           const Cell* tail, const Cell& code, bool keep) {
    stack::check_machine();
    Cell function = native;
    Cell name = *at;
    Cell* held = stack::push(function);
    stack::mark_interp_native(name);
    uint32_t blocks = control_arguments(form) - 1;
    const ControlTypes& types = control_types(form, function);
    const Cell* pos = at + 1;
    pos = fetch<false>(types.types[0], pos, tail, code, false, 0, function, name, 0);
    if (rt.pending) return pos;
    tail = walk_end(code, tail); // the condition may have cut the block short
    // Where each block argument is: in the code, or on the stack.
    const Cell* branches[2];
    Cell first;
    if (literal_branches(types, pos, tail, blocks)) [[likely]] {
        branches[0] = pos;
        branches[1] = pos + 1;
        pos += blocks;
    } else {
        for (uint32_t i = 0; i < blocks; ++i) {
            if (literal_block(types, pos, tail)) {
                branches[i] = pos++;
                continue;
            }
            // An evaluated argument could change the code: a block taken
            // from there before is kept as it was fetched.
            if (i) {
                first = *branches[0];
                branches[0] = &first;
            }
            pos =
                fetch<false>(types.types[1 + i], pos, tail, code, false, 0, function, name, 1 + i);
            if (rt.pending) return pos;
            branches[i] = stack::state.top - 1;
            tail = walk_end(code, tail);
        }
    }
    const Cell* chosen = nullptr;
    // The condition is in slot 0; either does not take unset! as true.
    const Cell& condition = *stack::state.base;
    bool truth = !logic::counts_false(condition);
    switch (form) {
    case Control::if_: chosen = truth ? branches[0] : nullptr; break;
    case Control::unless: chosen = truth ? nullptr : branches[0]; break;
    case Control::either:
        if (cell::type_of(condition) == TYPE_UNSET) [[unlikely]] {
            fail(err::script::no_return);
            return pos;
        }
        chosen = branches[truth ? 0 : 1];
        break;
    case Control::none: break;
    }
    if (!chosen)
        stack::keep_last(none::value);
    else if (const Cell* value = lone_value(*chosen))
        stack::keep_last(*value);
    else if (tracing) [[unlikely]] // switched on by the condition or a block argument
        eval_here(*chosen);
    else
        walk_here(*chosen); // the machine stack was checked on entry
    if (rt.pending) return pos;
    finish_call(held, keep);
    return pos;
}

} // namespace detail

void init() {
    // Off unless asked for (KIV_CORE=1) until the flat core costs less than
    // the walker.
    const char* core_setting = std::getenv("KIV_CORE");
    flat_core = core_setting && core_setting[0] == '1';
    position = Cell{cell::unset_header, 0, 0, 0};
    running = {};
    control_type_sets = {};
    builtin_shapes = {};
    builtin_specs.fill(Cell{cell::unset_header, 0, 0, 0});
    library_modulo = Cell{TYPE_NONE, 0, 0, 0};
    init_trace();
    core::init();
    error::near_source = &position;
    object::hooks.eval = [](Cell& block) {
        Cell* top = stack::state.top;
        eval(block, false);
        if (!rt.pending) stack::state.top = top;
    };
    object::hooks.eval_function = [](const Cell& function) {
        eval_function(function, 0, words::word<"<anon>">(), call_kind::on_change);
    };
    port::hooks.eval_function = [](const Cell& function) {
        eval_function(function, 0, words::word<"<anon>">(), call_kind::port);
    };
    series::call_comparator = [](const Cell& comparator, const Cell& a, const Cell& b) {
        Cell values[2] = {a, b};
        Cell result;
        runtime::protected_call(
            runtime::stops::nothing,
            [&] { call_with_values(comparator, values, 2, call_kind::sort); },
            [&] { result = *stack::get_top(); });
        return series::comparison_result(result);
    };
    stack::set_machine_stack(runtime::init_stack_bounds());
    static bool marker_added = false;
    if (!marker_added) {
        collector::add_marker([] {
            collector::mark_values(&position, &position + 1);
            collector::mark_values(builtin_specs.data(),
                                   builtin_specs.data() + builtin_specs.size());
            collector::mark_values(&library_modulo, &library_modulo + 1);
        });
        marker_added = true;
    }
}

void note_library() {
    library_modulo = Cell{TYPE_NONE, 0, 0, 0};
    const Cell* found = context::value_of(symbol::intern("modulo"), context::global);
    if (!found || cell::type_of(*found) != TYPE_FUNCTION) return;
    // Only a function of two arguments that call_in_place can run when the
    // fast operation gives up.
    Cell modulo = *found;
    Cell list_block = argument_list(modulo);
    if ((list_block.w3 & (shape::simple | shape::unused_tail)) &&
        (list_block.w3 & shape::count_mask) == 2 && watch_library_modulo(modulo))
        library_modulo = modulo;
}

namespace detail {

template <bool Traced>
void eval_block(const Cell& block, bool set_result) {
    stack::check_machine();
    GuardFor<Traced> guard;
    Cell code = block;
    stack::mark_eval(words::word<"<body>">());
    Pin pin(code.w2);
    Buffer* buffer = pin.buffer();
    const Cell* pos = buffer->head_cell() + code.w1;
    report<Traced>(event::enter, &code, pos);
    if (pos >= buffer->tail_cell()) {
        unset::set_result();
    } else {
        if (!Traced && flat_core)
            core::run_here(code);
        else
            eval_expressions<Traced>(code, buffer, pos);
        if (rt.pending) return;
    }
    report<Traced>(event::exit, &code, buffer->tail_cell(), nullptr, stack::state.base);
    if (set_result)
        stack::unwind_last();
    else
        stack::unwind();
}

void eval_switched(const Cell& block, bool set_result) {
    if (tracing)
        eval_block<true>(block, set_result);
    else
        eval_block<false>(block, set_result);
}

} // namespace detail

void eval(const Cell& block, bool set_result) {
    runtime::ErrorExits exceptions(false);
    eval_switched(block, set_result);
}

void eval_trying(const Cell& block) {
    runtime::ErrorExits exits(true);
    eval_switched(block, true);
}

void eval_here(const Cell& block) {
    // A traced evaluation reports its block in a frame of its own.
    if (tracing) [[unlikely]] {
        stack::reset();
        eval_switched(block, true);
        return;
    }
    // The check comes first also for an empty block: it is where a halt
    // asked for stops a loop over one (`forever []`).
    stack::check_machine();
    walk_here(block);
}

BodyWalk::BodyWalk(const Cell& block)
    : code_(block), saved_position_(position), pinned_(memory::buffer_of(block.w2)),
      pin_slot_(memory::pinned.count) {
    pinned_->pins++;
    memory::pinned.push(pinned_);
    if (flat_core) steps_ = core::begin_steps(block);
}

BodyWalk::~BodyWalk() {
    if (steps_) core::end_steps(steps_);
    pinned_->pins--;
    memory::pinned.pop();
    std::memcpy(&position, &saved_position_, sizeof(Cell));
}

// Moves the pin to the buffer that now holds the block, in the same place
// of the pinned stack (a condition's walk may lie below a body's).
void BodyWalk::repin(Buffer* buffer) {
    pinned_->pins--;
    buffer->pins++;
    memory::pinned.entries[pin_slot_] = buffer;
    pinned_ = buffer;
}

void BodyWalk::step() {
    if (tracing) [[unlikely]] {
        stack::reset();
        eval(code_, true);
        return;
    }
    stack::check_machine();
    Buffer* buffer = memory::buffer_of(code_.w2);
    const Cell* start = buffer->head_cell() + code_.w1;
    if (start >= buffer->tail_cell()) {
        stack::keep_last(Cell{cell::unset_header, 0, 0, 0});
        return;
    }
    if (buffer != pinned_) [[unlikely]]
        repin(buffer);
    stack::reset();
    if (steps_)
        core::run_step(steps_);
    else
        eval_expressions<false>(code_, buffer, start);
    std::memcpy(&position, &saved_position_, sizeof(Cell));
}

const Cell* eval_next(const Cell& block, const Cell* pos, const Cell* tail, bool keep) {
    stack::mark_native(words::word<"<body>">());
    pos = eval_expression(pos, tail, block, false, true, false);
    if (rt.pending) return pos;
    end_frame(keep);
    return pos;
}

uint32_t eval_next_in(const Cell& block) {
    Cell code = block;
    Pin pin(code.w2);
    Buffer* buffer = pin.buffer();
    const Cell* pos = buffer->head_cell() + code.w1;
    if (pos >= buffer->tail_cell()) {
        unset::set_result();
        return code.w1;
    }
    pos = eval_next(code, pos, buffer->tail_cell(), false);
    return uint32_t(pos - buffer->head_cell());
}

namespace detail {

// Evaluates an untraced paren without a frame of its own: each
// expression's value is pushed where the paren's value goes, and the last
// one stays there. The frame it would have had is counted in the depth an
// error records, so errors stay as they were.
[[gnu::noinline]] void eval_paren(const Cell& paren) {
    stack::check_machine();
    verify_walk(paren);
    CodeWalk walk(paren);
    Cell* start = stack::state.top;
    if (walk.pos >= walk.buffer->tail_cell()) {
        unset::push();
        return;
    }
    struct Level {
        Level() { ++stack::state.frameless_parens; }
        ~Level() { --stack::state.frameless_parens; }
    } level;
    position = walk.code;
    for (const Cell* pos = walk.pos; pos < walk.buffer->tail_cell();) {
        position.w1 = uint32_t(pos - walk.buffer->head_cell());
        stack::state.top = start;
        pos = walk_expression<true>(pos, walk.buffer->tail_cell(), walk.code);
        if (rt.pending) return;
    }
}

template <bool Traced>
[[gnu::always_inline]] inline const Cell* expression_inline(const Cell* pos, const Cell* tail,
                                                            const Cell& code, bool no_infix,
                                                            bool keep, bool literal_functions) {
    Cell* start_top = stack::state.top;
    report<Traced>(event::fetch, &code, pos);
    const Cell& value = *pos;
    switch (cell::type_of(value)) {
    case TYPE_PAREN:
        if constexpr (Traced) {
            stack::mark_native(words::word<"<body>">());
            eval_here(value);
            if (rt.pending) return pos;
            end_frame(keep);
        } else {
            eval_paren(value);
            if (rt.pending) return pos;
            if (!keep) *stack::state.base = start_top[0];
        }
        ++pos;
        break;
    case TYPE_WORD:
        pos = word_expression<Traced>(pos, tail, code, keep);
        if (rt.pending) return pos;
        break;
    case TYPE_SET_WORD: return set_word_expression<Traced>(pos, tail, code, keep);
    case TYPE_LIT_WORD: {
        Cell word = value;
        word.header = TYPE_WORD;
        store_pushed<Traced>(word, keep, code, pos);
        ++pos;
        break;
    }
    case TYPE_GET_WORD: {
        const Cell* v = word_value(value);
        if (!v) raise(err::script::not_in_context, &value);
        store_pushed<Traced>(*v, keep, code, pos);
        ++pos;
        break;
    }
    case TYPE_ISSUE: {
        if (pos + 1 < tail && cell::type_of(pos[1]) == TYPE_BLOCK &&
            (symbol::resolve(value.w2) == symbol::resolve(words::sym<"system">()) ||
             symbol::resolve(value.w2) == symbol::resolve(words::sym<"system-global">())))
            runtime::fire_error(runtime::Category::internal, err::internal::kiv_system);
        store(value, keep);
        ++pos;
        break;
    }
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
        if (literal_functions) {
            store(value, keep);
            ++pos;
        } else {
            Cell function = value;
            pos = call<Traced>(function, pos + 1, tail, code, keep, nullptr, 0, nullptr, 0, false);
            if (rt.pending) return pos;
        }
        break;
    case TYPE_OP: runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    case TYPE_PATH:
        pos = eval_path(value, pos + 1, tail, code, false, false, keep);
        if (rt.pending) return pos;
        break;
    case TYPE_LIT_PATH: {
        Cell path = value;
        path.header = (path.header & ~cell::type_mask) | TYPE_PATH;
        path.w3 = 0;
        store(path, keep);
        ++pos;
        break;
    }
    case TYPE_SET_PATH: {
        if (pos + 1 >= tail) raise(err::script::need_value, &value);
        Cell path = value;
        stack::mark_native(words::word<"<anon>">());
        const Cell* next = expression_as<Traced, false, true>(pos + 1, tail, code);
        if (rt.pending) return next;
        report<Traced>(event::set, &code, next, &path, stack::get_top());
        eval_path(path, next, tail, code, true, false, false);
        if (rt.pending) return next;
        end_frame(keep);
        fire_expr<Traced>(code, next, keep);
        return next;
    }
    case TYPE_GET_PATH:
        pos = eval_path(value, pos + 1, tail, code, false, true, keep);
        if (rt.pending) return pos;
        break;
    default: store_pushed<Traced>(value, keep, code, pos); ++pos;
    }
    // The value's evaluation may have cut the block short.
    if (!no_infix) pos = eval_infix<Traced>(pos, walk_end(code, tail), code, start_top, keep);
    fire_expr<Traced>(code, pos, keep);
    return pos;
}

template <bool Traced>
const Cell* expression(const Cell* pos, const Cell* tail, const Cell& code, bool no_infix,
                       bool keep, bool literal_functions) {
    return expression_inline<Traced>(pos, tail, code, no_infix, keep, literal_functions);
}

template <bool Traced, bool NoInfix, bool Keep>
[[gnu::noinline]] const Cell* expression_as(const Cell* pos, const Cell* tail, const Cell& code) {
    return expression_inline<Traced>(pos, tail, code, NoInfix, Keep, false);
}

template <bool Traced>
[[gnu::always_inline]] inline const Cell*
call_inline(const Cell& function_value, const Cell* pos, const Cell* tail, const Cell& code,
            bool keep, const Cell* path, uint32_t path_index, const Cell* name_word,
            uint32_t call_mode, bool infix) {
    stack::check_machine();
    Cell function = function_value;
    const Cell* naming = naming_word(name_word, path ? nullptr : pos, code);
    Cell name = naming ? *naming : words::word<"<anon>">();
    if constexpr (Traced) {
        // An operator's left operand waits at the top; the tracer's frame
        // goes above it. The tracer is told the word that names the call,
        // or the function itself when none does.
        stack::state.top += infix;
        fire_event(event::open, &code, pos, nullptr, naming ? &name : &function);
        stack::state.top -= infix;
    }
    // The slot the result goes to: the held function value, which it keeps
    // alive meanwhile, or an operator's left operand, where the frame
    // begins (a function's body leaves its result above its arguments).
    Cell* held = infix ? stack::state.top : stack::push(function);
    uint32_t type = cell::type_of(function);
    switch (type) {
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_ROUTINE: stack::mark_interp_native(name); break;
    case TYPE_FUNCTION: stack::mark_interp_func(name, function.w1); break;
    default: runtime::quit_with_error(runtime::fatal::no_switch_matched, 0);
    }
    // Natives and actions run inside eval_arguments.
    pos =
        eval_arguments<Traced>(function, pos, tail, code, path, path_index, name, call_mode, infix);
    if (rt.pending) return pos;
    if (type == TYPE_ROUTINE) {
        // A routine that evaluates code lets the code's exits go on.
        run_builtin(function, nullptr);
        if (rt.pending) return pos;
    } else if (type == TYPE_FUNCTION) {
        run_body(function, name);
        if (rt.pending) return pos;
    }
    finish_call(held, keep);
    report<Traced>(event::return_, &code, pos, &name, keep ? stack::get_top() : stack::state.base);
    return pos;
}

template <bool Traced>
const Cell* call(const Cell& function, const Cell* pos, const Cell* tail, const Cell& code,
                 bool keep, const Cell* path, uint32_t path_index, const Cell* name_word,
                 uint32_t call_mode, bool infix) {
    return call_inline<Traced>(function, pos, tail, code, keep, path, path_index, name_word,
                               call_mode, infix);
}

// The call of a function named by a word, its arguments after the word:
// the common call, compiled without the cases of paths and operators.
template <bool Traced>
[[gnu::noinline]] const Cell* call_named(const Cell& function, const Cell* at, const Cell* tail,
                                         const Cell& code, bool keep) {
    return call_inline<Traced>(function, at + 1, tail, code, keep, nullptr, 0, at, 0, false);
}

// The untraced call of a function! named by a word, its arguments after
// the word: the call_named path without the dispatch on the function's
// type, the refinement row of natives and the call report.
[[gnu::noinline]] const Cell* call_function(const Cell& function_value, const Cell* at,
                                            const Cell* tail, const Cell& code, bool keep) {
    stack::check_machine();
    Cell function = function_value;
    Cell name = *at;
    Cell* held = stack::push(function);
    stack::mark_interp_func(name, function.w1);
    Cell list_block = argument_list(function);
    const Cell* pos = at + 1;
    if (list_block.w3 & (shape::simple | shape::unused_tail)) [[likely]] {
        pos = fetch_simple<false>(list_block, pos, tail, code, 0, function, name);
        if (rt.pending) return pos;
        if (list_block.w3 & shape::unused_tail) push_tail(list_block.w3);
    } else {
        pos = eval_arguments<false>(function, pos, tail, code, nullptr, 0, name, 0, false);
        if (rt.pending) return pos;
    }
    run_body(function, name);
    if (rt.pending) return pos;
    finish_call(held, keep);
    return pos;
}

// Fetches an evaluated argument of a native or action onto the stack and
// checks its type; returns the position after it. A value that evaluates
// to itself, or a word's value, is pushed here; the operators that may
// follow it are evaluated out of line.
[[gnu::always_inline]] inline const Cell* fetch_evaluated(const Cell& types, const Cell* pos,
                                                          const Cell* tail, const Cell& code,
                                                          const Cell& function, const Cell& name,
                                                          uint32_t argument) {
    if (argument) tail = walk_end(code, tail); // the arguments before may have cut the block
    if (pos >= tail) [[unlikely]]
        return fetch_other<false>(types, pos, tail, code, function, name, argument);
    if (const Cell* value = inert(*pos) ? pos : plain_word_value(*pos)) {
        Cell* start_top = stack::push(*value);
        if (++pos < tail && cell::type_of(*pos) == TYPE_WORD) {
            pos = infix_after<true>(pos, tail, code, start_top);
            if (rt.pending) return pos;
        }
    } else {
        pos = expression_as<false, false, true>(pos, tail, code);
        if (rt.pending) return pos;
    }
    check_arg(types, stack::state.top[-1], function, name, argument);
    return pos;
}

// The untraced call of a native or action named by the word at `at`: the
// same frame, type checks and errors as the generic call, with the
// arguments fetched by the native's shape and no refinement row to fill.
// A native or action whose shape does not fit takes the generic call.
[[gnu::noinline]] const Cell* call_builtin(const Cell& word_value, const Cell* at, const Cell* tail,
                                           const Cell& code, bool keep) {
    // The word's value is copied first: making the shape allocates, and a
    // collection may move the context's values it lies among.
    const Cell value = word_value;
    uint32_t slot = builtin_slot(value);
    const BuiltinShape* shape = &builtin_shapes[slot];
    if (shape->spec != value.w2) [[unlikely]] {
        shape = make_builtin_shape(value, slot);
        if (!shape) {
            Cell function = value;
            return call_named<false>(function, at, tail, code, keep);
        }
    }
    stack::check_machine();
    Cell function = value;
    Cell name = *at;
    Cell* held = stack::push(function);
    stack::mark_interp_native(name);
    const Cell* pos = at + 1;
    for (uint32_t argument = 0; argument < shape->count; ++argument) {
        pos = fetch_evaluated(shape->types[argument], pos, tail, code, function, name, argument);
        if (rt.pending) return pos;
    }
    run_unrefined(function);
    if (rt.pending) return pos;
    finish_call(held, keep);
    return pos;
}

} // namespace detail

const Cell* eval_expression(const Cell* pos, const Cell* tail, const Cell& code, bool no_infix,
                            bool keep, bool literal_functions) {
    return tracing ? expression<true>(pos, tail, code, no_infix, keep, literal_functions)
                   : expression<false>(pos, tail, code, no_infix, keep, literal_functions);
}

const Cell* eval_code(const Cell& function, const Cell* pos, const Cell* tail, const Cell& code,
                      bool keep, const Cell* path, uint32_t path_index, const Cell* name, NodeId,
                      uint32_t call_mode, bool infix) {
    return tracing ? call<true>(function, pos, tail, code, keep, path, path_index, name, call_mode,
                                infix)
                   : call<false>(function, pos, tail, code, keep, path, path_index, name, call_mode,
                                 infix);
}

void eval_function(const Cell& function, NodeId, const Cell& name, uint32_t kind) {
    runtime::ErrorExits exceptions(false);
    // A callback of the runtime (an on-change handler, a port's function)
    // is a call of its own: its body's walk does not check the stack.
    stack::check_machine();
    if (!(kind && tracing)) [[likely]] {
        run_body(function, name);
        return;
    }
    Cell body = *extras::at(function, extras::body);
    if (cell::type_of(body) != TYPE_BLOCK) {
        unset::set_result();
        return;
    }
    // A runtime callback: traced only when its kind is asked for, and then
    // bracketed by call and return.
    TracingSwitch switch_((kind & traced_callbacks()) != 0);
    Cell callee = function;
    Cell caller = name;
    fire_enter(caller, callee);
    eval_body(callee, body, caller);
    if (!rt.pending) fire_exit(caller, callee);
}

void call_with_values(const Cell& function_value, const Cell* values, uint32_t count,
                      uint32_t kind) {
    runtime::ErrorExits exceptions(false);
    stack::check_machine();
    Cell function = function_value;
    uint32_t type = cell::type_of(function);
    if (!is_function_type(type)) runtime::quit_with_error(runtime::fatal::no_switch_matched, 0);
    Cell list_block = argument_list(function);
    Cell name = words::word<"<anon>">();
    Cell* held = stack::push(function);
    bool native = type == TYPE_NATIVE || type == TYPE_ACTION;
    if (type == TYPE_FUNCTION)
        stack::mark_interp_func(name, function.w1);
    else
        stack::mark_interp_native(name);
    Pin pin(list_block.w2);
    const Cell* list = pin.buffer()->head_cell() + list_block.w1;
    auto entries = uint32_t(pin.buffer()->tail_cell() - list);
    uint32_t argument = 0;
    uint32_t i = 0;
    for (; i < entries && cell::type_of(list[i]) == TYPE_TYPESET; ++i) {
        if (kind_of(list[i]) == arg_kind::ret) continue;
        if (argument < count) {
            stack::push(values[argument]);
            check_type(list[i], values[argument], function, name, argument);
        } else {
            none::push();
        }
        ++argument;
    }
    int32_t refinements[max_refinements];
    for (int32_t& r : refinements) r = -1;
    if (!native) push_unused(list, i, entries);
    switch (type) {
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_ROUTINE: run_builtin(function, refinements); break;
    default: eval_function(function, 0, name, kind); break;
    }
    if (runtime::record.pending) return;
    stack::unwind();
    *held = *stack::get_top();
    stack::state.top = held + 1;
}

void call_with_block(const Cell& function, const Cell& arguments, uint32_t call_mode) {
    runtime::ErrorExits exceptions(false);
    Cell code = arguments;
    Pin pin(code.w2);
    Buffer* buffer = pin.buffer();
    const Cell* pos = buffer->head_cell() + code.w1;
    eval_code(function, pos, buffer->tail_cell(), code, true, nullptr, 0, nullptr, 0, call_mode,
              false);
}

namespace detail {

// The call of a function reached through a path, the path's elements after
// `index` naming its refinements: compiled without the cases of operators
// and call modes.
template <bool Traced>
[[gnu::noinline]] const Cell* call_path(const Cell& function, const Cell* pos, const Cell* tail,
                                        const Cell& code, bool keep, const Cell& path,
                                        uint32_t index, const Cell& name) {
    return call_inline<Traced>(function, pos, tail, code, keep, &path, index, &name, 0, false);
}

const Cell* call_through_path(const Cell& function, const Cell* pos, const Cell* tail,
                              const Cell& code, bool keep, const Cell& path, uint32_t index,
                              const Cell& name) {
    tail = walk_end(code, tail); // the path's parens may have cut the block short
    return tracing ? call_path<true>(function, pos, tail, code, keep, path, index, name)
                   : call_path<false>(function, pos, tail, code, keep, path, index, name);
}

// The word that names a call reached at a path element: the element when
// it is a word or a get-word, else the word it gave (a paren's value);
// past that the call is anonymous. Errors and stack listings read the name
// as a word.
const Cell& call_name(const Cell& element, const Cell& value) {
    uint32_t type = cell::type_of(element);
    if (type == TYPE_WORD || type == TYPE_GET_WORD) return element;
    if (cell::type_of(value) == TYPE_WORD) return value;
    return words::word<"<anon>">();
}

// Evaluates a path whose emptiness was checked; the value is stored.
const Cell* walk_path(Cell& path, const Cell* elements, uint32_t length, const Cell* pos,
                      const Cell* tail, const Cell& code, bool set, bool get, bool keep) {
    const Cell& head = elements[0];
    if (cell::type_of(head) != TYPE_WORD) raise(err::script::word_first, &path);
    Rooted<Cell> current(lookup(head));
    if (cell::type_of(*current) == TYPE_UNSET) raise(err::script::unset_path, &path, &head);
    if (is_function_type(cell::type_of(*current))) {
        if (set) raise(err::script::invalid_path_set, &path);
        if (get) raise(err::script::invalid_path_get, &path);
        Cell function = *current;
        return call_through_path(function, pos, tail, code, keep, path, 0, head);
    }
    // The value to assign is the last pushed value of a set-path's frame.
    Rooted<Cell> assigned(set ? *stack::get_top() : Cell{cell::unset_header, 0, 0, 0});
    Rooted<Cell> grand_parent;
    Rooted<Cell> previous(head);
    for (uint32_t i = 1; i < length; ++i) {
        Rooted<Cell> element(elements[i]);
        switch (cell::type_of(*element)) {
        case TYPE_PAREN:
            stack::mark_native(words::word<"<anon>">());
            eval_here(*element);
            if (rt.pending) return pos;
            stack::unwind();
            *element = *stack::get_top();
            stack::pop(1);
            break;
        case TYPE_GET_WORD: *element = lookup(*element); break;
        default: break;
        }
        if (cell::type_of(*element) == TYPE_UNSET)
            raise(err::script::invalid_path, &path, &*element);
        bool last = i + 1 == length;
        // A function met inside the path takes the elements after it as its
        // refinements; reached by a get-path or set-path at its last element,
        // the function's type answers for that element.
        if (is_function_type(cell::type_of(*current)) && (!last || (!set && !get))) {
            Cell function = *current;
            return call_through_path(function, pos, tail, code, keep, path, i - 1,
                                     call_name(elements[i - 1], *previous));
        }
        // A type may leave its answer in a cell it pushed: take the value
        // and drop that cell, or it would stand as an extra argument.
        Cell* top = stack::state.top;
        Cell before = *current;
        Cell* result =
            dispatch::eval_path(&*current, &*element, set && last ? &*assigned : nullptr, &path,
                                &*grand_parent, &*previous, int32_t(i), false, get, last, false);
        // Setting a part of a value held in the cell itself (the hour of a
        // time!) changes that cell: store it back where it was selected
        // from, the word or the element of the value before it.
        if (set && last && std::memcmp(&before, &*current, sizeof(Cell)) != 0) {
            if (i == 1) {
                lookup(head); // raises when the head has no value slot
                if (int32_t(head.w3) >= 0) context::store(head.w1, head.w3, *current);
            } else {
                Rooted<Cell> changed(*current);
                dispatch::eval_path(&*grand_parent, &*previous, &*changed, &path, nullptr, nullptr,
                                    int32_t(i - 1), false, false, false, false);
            }
        }
        *grand_parent = *current;
        *current = *result;
        *previous = *element;
        stack::state.top = top;
    }
    if (is_function_type(cell::type_of(*current)) && !get && !set) {
        Cell function = *current;
        return call_through_path(function, pos, tail, code, keep, path, length - 1,
                                 call_name(elements[length - 1], *previous));
    }
    store(set ? *assigned : *current, keep);
    return pos;
}

} // namespace detail

const Cell* eval_path(const Cell& path_value, const Cell* pos, const Cell* tail, const Cell& code,
                      bool set, bool get, bool keep) {
    Cell path = path_value;
    Pin pin(path.w2);
    const Cell* elements = pin.buffer()->head_cell() + path.w1;
    const Cell* end = pin.buffer()->tail_cell();
    uint32_t length = elements < end ? uint32_t(end - elements) : 0;
    if (length == 0) raise(err::script::empty_path, &path);
    // The usual path, a function's refinements, called untraced: its word
    // looked up and the call made here, with no walk along the path.
    if (!set && !get && !tracing && cell::type_of(elements[0]) == TYPE_WORD) [[likely]] {
        const Cell* head = word_value(elements[0]);
        if (head && is_function_type(cell::type_of(*head))) {
            Cell function = *head;
            pos = call_path<false>(function, pos, tail, code, keep, path, 0, elements[0]);
            if (tracing && !rt.pending) [[unlikely]] // switched on for good by the call
                fire_event(event::exit, &path, elements + length, nullptr,
                           keep ? stack::get_top() : stack::state.base);
            return pos;
        }
    }
    fire(event::enter, &path, elements);
    fire(event::fetch, &path, elements);
    // A set may run an on-change* handler, whose exit crosses the walk as an
    // exception.
    if (runtime::resume_pending(
            [&] { pos = walk_path(path, elements, length, pos, tail, code, set, get, keep); }))
        return pos;
    if (tracing && !rt.pending) [[unlikely]]
        fire_event(event::exit, &path, elements + length, nullptr,
                   keep ? stack::get_top() : stack::state.base);
    return pos;
}

} // namespace kiv::interpreter
