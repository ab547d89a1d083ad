// The parts of the block walker (interpreter.cpp) that the flat core
// (core.cpp) shares: word reads, argument lists and call shapes, type
// checks, the fast operations of operators, the control forms run in line,
// and the call shapes of natives. Internal to the evaluator.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "evaluator/trap.h"
#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::interpreter::detail {

[[noreturn]] void raise(uint32_t id, const Cell* a = nullptr, const Cell* b = nullptr,
                        const Cell* c = nullptr);
// Raises a script error at one of the walker's own raise points: where
// error exits are on it goes on as the pending exit code::error, and the
// caller returns at once, leaving the stack and frames as the landing on
// the try left them; elsewhere it is thrown.
void fail(uint32_t id, const Cell* a = nullptr, const Cell* b = nullptr, const Cell* c = nullptr);

// Argument kinds in bits 20-21 of the typeset entries of an argument list.
namespace arg_kind {
constexpr uint32_t shift = 20;
constexpr uint32_t normal = 0;
constexpr uint32_t get = 1;
constexpr uint32_t literal = 2;
constexpr uint32_t ret = 3;
} // namespace arg_kind

inline uint32_t kind_of(const Cell& entry) {
    return (entry.header >> arg_kind::shift) & 3;
}

inline Cell* block_cells(const Cell& block) {
    return memory::buffer_of(block.w2)->head_cell();
}

// The innermost running function body: the function's context and where
// its values start on the stack, set and restored with the context's own
// values word (`eval_body`). A word bound to that context, the usual
// variable of a body, is read from there without a walk to the context.
struct Running {
    NodeId context = 0;
    Cell* values = nullptr;
};

extern Running running;

// Where the value of a bound word lives; null when its context has no
// values (a function that is not running).
[[gnu::always_inline]] inline const Cell* word_value(const Cell& word) {
    if (word.w1 && int32_t(word.w3) >= 0) [[likely]] {
        if (word.w1 == running.context) return running.values + word.w3;
        const Cell& ctx = context::cell_of(word.w1);
        if (!ctx.w2) return nullptr;
        if (ctx.header & context::flag::on_stack) return stack::values_at(ctx.w2) + word.w3;
        return memory::buffer_of(ctx.w2)->head_cell() + word.w3;
    }
    return word::value_cell(word);
}

[[gnu::always_inline]] inline const Cell& lookup(const Cell& word) {
    const Cell* value = word_value(word);
    if (!value) raise(err::script::not_in_context, &word);
    return *value;
}

// Ends the current frame: its value (in its slot 0) pushed, or written to
// the caller's slot 0.
inline void end_frame(bool keep) {
    if (keep)
        stack::unwind();
    else
        stack::unwind_last();
}

// Stores an expression's value: pushed, or written to slot 0 with the
// frame emptied above it.
inline void store(const Cell& value, bool keep) {
    if (keep)
        stack::push(value);
    else
        stack::keep_last(value);
}

// A table by type id (a header's low byte) with true for every type except
// the ones listed.
template <size_t N>
constexpr std::array<bool, 256> all_types_but(const uint32_t (&types)[N]) {
    std::array<bool, 256> table{};
    table.fill(true);
    for (uint32_t type : types) table[type] = false;
    return table;
}

// The types whose values evaluate to themselves: all but words, paths,
// parens, functions and issues.
constexpr uint32_t active_types[] = {TYPE_PAREN,    TYPE_WORD,     TYPE_SET_WORD, TYPE_LIT_WORD,
                                     TYPE_GET_WORD, TYPE_ISSUE,    TYPE_NATIVE,   TYPE_ACTION,
                                     TYPE_FUNCTION, TYPE_ROUTINE,  TYPE_OP,       TYPE_PATH,
                                     TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH};
constexpr auto inert_types = all_types_but(active_types);

inline bool inert(const Cell& value) {
    return inert_types[cell::type_of(value)];
}

// The values a word simply yields: all but those it raises an error for or
// calls.
constexpr uint32_t word_active_values[] = {TYPE_UNSET,  TYPE_OP,       TYPE_NATIVE,
                                           TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE};
constexpr auto word_yields = all_types_but(word_active_values);

// The value of the word at pos when evaluating it just yields that value
// (the word is bound in a context with values); else null.
[[gnu::always_inline]] inline const Cell* plain_word_value(const Cell& word) {
    if (cell::type_of(word) != TYPE_WORD || !word.w1 || int32_t(word.w3) < 0) return nullptr;
    const Cell* value = word_value(word);
    if (!value) return nullptr;
    return word_yields[cell::type_of(*value)] ? value : nullptr;
}

// The control forms the interpreter runs in line when a word's value is
// their native (found by its number, whatever the word's name) and tracing
// is off; a traced run takes the generic call, which reports every step.
enum class Control : uint8_t { none, if_, unless, either };

constexpr std::array<Control, natives::table_size + 1> control_forms = [] {
    std::array<Control, natives::table_size + 1> forms{};
    forms[natives::number::if_] = Control::if_;
    forms[natives::number::unless] = Control::unless;
    forms[natives::number::either] = Control::either;
    return forms;
}();

inline Control control_form(const Cell& native) {
    return native.w1 < control_forms.size() ? control_forms[native.w1] : Control::none;
}

// The call shape of a function, kept in word 3 of its cached argument
// list cell: a simple function has only evaluated arguments (no get-word
// or lit-word entries, no refinements, no locals; a return: entry after
// them takes no slot), so a call just fetches that many expressions. A
// native or action whose evaluated arguments are followed by refinements
// is called the same way when no path names a refinement: every
// refinement is then unused. So is a function whose evaluated arguments
// are followed by refinements or locals: what it sees for them until a
// path names a refinement never changes, false for a refinement or
// /local, none for a refinement's argument or a local word, and is kept
// in the shape as a row of up to 16 cells (a bit per cell, set for false).
// The shape is derived from the list and lives exactly as long as it.
namespace shape {
constexpr uint32_t simple = 0x80000000u;
constexpr uint32_t unused_refinements = 0x40000000u;
constexpr uint32_t unused_tail = 0x20000000u;
constexpr uint32_t count_mask = 0xFFu;
// Natives and actions: how many refinements they have.
constexpr uint32_t refinements_shift = 16;
constexpr uint32_t refinements_mask = 0xFFu;
// Functions: the cells pushed for the entries after the arguments.
constexpr uint32_t tail_length_shift = 8;
constexpr uint32_t tail_length_mask = 0x1Fu;
constexpr uint32_t tail_pattern_shift = 13;
constexpr uint32_t max_tail = 16;
} // namespace shape

constexpr uint32_t max_refinements = 64;

Cell build_argument_list(const Cell function);

// The cached argument list; built on the first call.
inline Cell argument_list(const Cell& function) {
    const Cell* cache = extras::at(function, extras::arguments);
    if (cell::type_of(*cache) == TYPE_BLOCK) [[likely]]
        return *cache;
    return build_argument_list(function);
}

[[noreturn]] void raise_expect_arg(const Cell& value, const Cell& function, const Cell& name,
                                   uint32_t argument);
// The same raised as fail raises.
void fail_expect_arg(const Cell& value, const Cell& function, const Cell& name, uint32_t argument);

inline void check_type(const Cell& entry, const Cell& value, const Cell& function, const Cell& name,
                       uint32_t argument) {
    uint32_t type = cell::type_of(value);
    if (!typeset::has(entry, type)) [[unlikely]]
        raise_expect_arg(value, function, name, argument);
}

// The argument type check of the walker and the flat core, whose levels
// return on a pending code: true when the value fits; else the expect-arg
// error is raised as fail raises it, and false tells that it is pending
// (where it was not thrown).
[[gnu::always_inline]] inline bool check_arg(const Cell& entry, const Cell& value,
                                             const Cell& function, const Cell& name,
                                             uint32_t argument) {
    if (typeset::has(entry, cell::type_of(value))) [[likely]]
        return true;
    fail_expect_arg(value, function, name, argument);
    return false;
}

// Raises no-arg, as fail raises it, for the argument (counted from 0) of a
// call whose code ended before it.
void fail_no_arg(const Cell& function, const Cell& name, uint32_t argument);

// Pushes what a function sees for its refinements and locals when no path
// names a refinement, from the row kept in its shape.
[[gnu::always_inline]] inline void push_tail(uint32_t shape_word) {
    uint32_t cells = (shape_word >> shape::tail_length_shift) & shape::tail_length_mask;
    uint32_t pattern = shape_word >> shape::tail_pattern_shift;
    for (uint32_t j = 0; j < cells; ++j, pattern >>= 1)
        stack::push(pattern & 1 ? logic::false_value : none::value);
}

// Operators computed in place when both operands are integers (or, for
// the arithmetic ones, floats): the arithmetic actions, the comparison
// natives and the library's modulo. Anything unusual (another type, an overflow, an inexact
// division) goes through the operator's function, so errors stay the same.
enum class FastOp {
    none,
    add,
    subtract,
    multiply,
    divide,
    remainder,
    equal,
    not_equal,
    lesser,
    greater,
    lesser_equal,
    greater_equal,
    modulo
};

// The library's `modulo`, which `//` stands for, once the library has
// loaded (none before): an operator made from this very function gets the
// modulo fast operation, any other function! keeps its call.
extern Cell library_modulo;
// Takes note of the words modulo reads (library_words.cpp); false when
// some cannot be watched, and then `//` keeps its call.
bool watch_library_modulo(const Cell& modulo);
// Whether every word modulo reads still holds what it held when the
// library loaded: a replaced `mod`, `absolute`, `%`... turns the fast
// operation off. Asked only when an operator is resolved, which every
// replacement of a function or an operator makes happen again.
bool library_modulo_intact();

[[gnu::always_inline]] inline FastOp fast_op_of(const Cell& function) {
    if (cell::type_of(function) == TYPE_ACTION) {
        switch (Slot(function.w1)) {
        case Slot::add: return FastOp::add;
        case Slot::subtract: return FastOp::subtract;
        case Slot::multiply: return FastOp::multiply;
        case Slot::divide: return FastOp::divide;
        case Slot::remainder: return FastOp::remainder;
        default: return FastOp::none;
        }
    }
    if (cell::type_of(function) == TYPE_NATIVE) {
        // The comparison natives are numbered 25 to 31.
        static constexpr FastOp comparisons[] = {
            FastOp::equal,   FastOp::not_equal,    FastOp::none,         FastOp::lesser,
            FastOp::greater, FastOp::lesser_equal, FastOp::greater_equal};
        if (function.w1 >= 25 && function.w1 <= 31) return comparisons[function.w1 - 25];
    }
    if (cell::type_of(function) == TYPE_FUNCTION && function.w3 == library_modulo.w3 &&
        cell::type_of(library_modulo) == TYPE_FUNCTION && library_modulo_intact())
        return FastOp::modulo;
    return FastOp::none;
}

// Computes a op b into `result` (which may be one of the operands: both
// are read first); false, with nothing written, when the operator's
// function has to do it.
[[gnu::always_inline]] inline bool compute_fast(FastOp op, const Cell& a, const Cell& b,
                                                Cell& result) {
    uint32_t ta = cell::type_of(a), tb = cell::type_of(b);
    if (ta == TYPE_INTEGER && tb == TYPE_INTEGER) {
        int32_t x = int32_t(a.w2), y = int32_t(b.w2), r;
        bool truth;
        switch (op) {
        case FastOp::add:
            if (__builtin_add_overflow(x, y, &r)) return false;
            result = Cell{TYPE_INTEGER, 0, uint32_t(r), 0};
            return true;
        case FastOp::subtract:
            if (__builtin_sub_overflow(x, y, &r)) return false;
            result = Cell{TYPE_INTEGER, 0, uint32_t(r), 0};
            return true;
        case FastOp::multiply:
            if (__builtin_mul_overflow(x, y, &r)) return false;
            result = Cell{TYPE_INTEGER, 0, uint32_t(r), 0};
            return true;
        case FastOp::divide:
        case FastOp::remainder:
            // Zero divisors, the one overflowing quotient and inexact
            // divisions are the action's to handle.
            if (y == 0 || (x == INT32_MIN && y == -1)) return false;
            if (op == FastOp::divide && x % y != 0) return false;
            r = op == FastOp::divide ? x / y : x % y;
            result = Cell{TYPE_INTEGER, 0, uint32_t(r), 0};
            return true;
        case FastOp::modulo:
            // The remainder by the divisor's absolute value, made
            // nonnegative. A zero divisor, and the most negative integer
            // as either operand (whose absolute value overflows), are the
            // function's to report.
            if (y == 0 || x == INT32_MIN || y == INT32_MIN) return false;
            y = y < 0 ? -y : y;
            r = x % y;
            result = Cell{TYPE_INTEGER, 0, uint32_t(r < 0 ? r + y : r), 0};
            return true;
        case FastOp::equal: truth = x == y; break;
        case FastOp::not_equal: truth = x != y; break;
        case FastOp::lesser: truth = x < y; break;
        case FastOp::greater: truth = x > y; break;
        case FastOp::lesser_equal: truth = x <= y; break;
        case FastOp::greater_equal: truth = x >= y; break;
        default: return false;
        }
        result = Cell{TYPE_LOGIC, truth, 0, 0};
        return true;
    }
    if (ta == TYPE_FLOAT && tb == TYPE_FLOAT) {
        double x = cell::get_float(a), y = cell::get_float(b), r;
        switch (op) {
        case FastOp::add: r = x + y; break;
        case FastOp::subtract: r = x - y; break;
        case FastOp::multiply: r = x * y; break;
        case FastOp::divide:
            if (y == 0) return false;
            r = x / y;
            break;
        default: return false;
        }
        if (!std::isfinite(r)) return false; // overflow is the float type's to report
        result = Cell{TYPE_FLOAT, 0, 0, 0};
        cell::put_float(result, r);
        return true;
    }
    return false;
}

// Ends a call whose result is in slot 0 of its frame: the frame goes and
// the result takes the place of the held function value or left operand
// (or of nothing, when null), pushed (keep) or in the caller's slot 0.
[[gnu::always_inline]] inline void finish_call(Cell* held, bool keep) {
    if (!held) {
        end_frame(keep);
        return;
    }
    stack::unwind_into(held);
    if (!keep) *stack::state.base = *held;
}

inline uint32_t control_arguments(Control form) {
    return form == Control::either ? 3 : 2;
}

// The argument type sets of the control forms by native number, taken
// from the native's argument list the first time the form runs (the spec
// of a native never changes); emptied at start-up. `literal_blocks`: the
// block arguments are evaluated ones that admit block!, so a literal block
// there needs neither evaluation nor a type check.
struct ControlTypes {
    bool known = false;
    bool literal_blocks = false;
    Cell types[3]{};
};

// The call shapes of natives and actions, by native number (actions after
// the natives, by slot), for their untraced calls named by a word: the
// evaluated arguments' type sets copied out of the argument list, so a
// call reads neither the list nor its entries. A shape belongs to the spec
// it was read from (a native made from another spec with the same number
// has a shape of its own); the collector keeps that spec alive while the
// shape names it, so its node cannot come back as another spec.
constexpr uint32_t max_builtin_arguments = 4;

struct BuiltinShape {
    NodeId spec = 0; // 0: no shape yet, or none that fits
    uint32_t count = 0;
    Cell types[max_builtin_arguments]{};
};

constexpr uint32_t builtin_slots = natives::table_size + 1 + slot_count + 1;

extern std::array<BuiltinShape, builtin_slots> builtin_shapes;

extern std::array<Cell, builtin_slots> builtin_specs;

// What every native and action sees for its refinements when no path names
// one: all unused.
constexpr std::array<int32_t, max_refinements> unused_refinements = [] {
    std::array<int32_t, max_refinements> words{};
    words.fill(-1);
    return words;
}();

inline uint32_t builtin_slot(const Cell& function) {
    uint32_t number = function.w1;
    if (cell::type_of(function) == TYPE_ACTION) number += natives::table_size + 1;
    return number < builtin_slots ? number : 0;
}

// How far a statement's walk over `code` may read: the end the block had
// when the statement began (cells added meanwhile wait for the next
// statement), or the block's tail where code run since moved it back, so
// that no removed cell is evaluated. A walk over a buffer an expansion
// replaced keeps its old end: that buffer's cells stay while it is pinned.
[[gnu::always_inline]] inline const Cell* walk_end(const Cell& code, const Cell* end) {
    Buffer* buffer = memory::buffer_of(code.w2);
    auto at = reinterpret_cast<uintptr_t>(end);
    if (at <= reinterpret_cast<uintptr_t>(buffer->tail) ||
        at > reinterpret_cast<uintptr_t>(buffer->data_end())) [[likely]]
        return end;
    return buffer->tail_cell();
}

// Whether the argument at pos is a literal block taken where it stands in
// the code: no operator can follow it, and the form takes it as it is.
[[gnu::always_inline]] inline bool literal_block(const ControlTypes& types, const Cell* pos,
                                                 const Cell* tail) {
    return types.literal_blocks && pos < tail && cell::type_of(*pos) == TYPE_BLOCK &&
           (pos + 1 == tail || cell::type_of(pos[1]) != TYPE_WORD);
}

// Whether all the block arguments at pos (one or two) are literal blocks
// taken where they stand: the usual case, tested at once.
[[gnu::always_inline]] inline bool literal_branches(const ControlTypes& types, const Cell* pos,
                                                    const Cell* tail, uint32_t blocks) {
    if (!types.literal_blocks || tail - pos < blocks) return false;
    if (cell::type_of(pos[0]) != TYPE_BLOCK) return false;
    if (blocks == 2 && cell::type_of(pos[1]) != TYPE_BLOCK) return false;
    return pos + blocks == tail || cell::type_of(pos[blocks]) != TYPE_WORD;
}

// The value of a branch that is one value evaluating to itself or one
// variable (such as `[n]`), else null. Nothing in such a branch can fail,
// allocate or change the block, so it needs no evaluation of its own.
[[gnu::always_inline]] inline const Cell* lone_value(const Cell& branch) {
    Buffer* buffer = memory::buffer_of(branch.w2);
    const Cell* pos = buffer->head_cell() + branch.w1;
    if (pos + 1 != buffer->tail_cell()) return nullptr;
    return inert(*pos) ? pos : plain_word_value(*pos);
}

// Runs the C++ code of a native or action with every refinement unused. A
// pending exit raised in code that called back into Kiv crossed it as an
// exception and becomes a pending code again, as does an error under a try
// (runtime::resumes); another C++ failure becomes a language error.
[[gnu::always_inline]] inline void run_unrefined(const Cell& function) {
    try {
        if (cell::type_of(function) == TYPE_NATIVE)
            natives::entries[function.w1](false, unused_refinements.data());
        else
            dispatch::stack_entries[function.w1](unused_refinements.data());
    } catch (const runtime::Throw& t) {
        if (!runtime::resumes(t.code)) throw;
        runtime::record.pending = t.code;
    } catch (const std::exception&) {
        trap::raise_cxx_failure();
    }
}

// The n-th argument word (counted from 0) of a function's spec, for error
// messages.
Cell argument_word(const Cell& function, uint32_t n);

extern std::array<ControlTypes, natives::table_size + 1> control_type_sets;
// Reads a control form's type sets from its native's argument list.
[[gnu::noinline]] const ControlTypes& learn_control_types(Control form, const Cell& native);

inline const ControlTypes& control_types(Control form, const Cell& native) {
    const ControlTypes& entry = control_type_sets[native.w1];
    return entry.known ? entry : learn_control_types(form, native);
}
const BuiltinShape* make_builtin_shape(const Cell function, uint32_t slot);
// Calls an operator's function with both operands in place at `left`.
void call_in_place(const Cell& function, Cell* left, const Cell& name, bool keep);
// Runs a function body under the tracing switch it asks for.
void eval_switched_body(const Cell& function, const Cell& body, const Cell& name);

namespace in_place {
// Evaluates the set-word at pos in place when it can (see interpreter.cpp).
const Cell* set_word(const Cell* pos, const Cell* tail, bool keep);
} // namespace in_place

} // namespace kiv::interpreter::detail
