#include "evaluator/loops.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::natives {
namespace {

using runtime::record;

const Cell none_cell{TYPE_NONE, 0, 0, 0};

[[noreturn]] void script_error(uint32_t id, const Cell* arg1, const Cell* arg2 = nullptr,
                               const Cell* arg3 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2, arg3);
}

bool is_word(const Cell& c) {
    switch (cell::type_of(c)) {
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_GET_WORD:
    case TYPE_LIT_WORD: return true;
    default: return false;
    }
}

// The value at an absolute index of a series: the cell of a block!, else
// what `pick` gives (a char! of a text, an integer! of a binary ...);
// none! past the tail.
Cell element_at(const Cell& series, uint32_t index) {
    if (cell::type_of(series) == TYPE_BLOCK)
        return index < series::buffer_length(series)
                   ? memory::buffer_of(series.w2)->head_cell()[index]
                   : none_cell;
    Cell at = series;
    at.w1 = index;
    Cell first{TYPE_INTEGER, 0, 1, 0};
    return *dispatch::pick(&at, 1, &first);
}

// Sets a loop's word: in line for a word of a plain context, the usual
// case at every step.
inline void set_word(const Cell& word, const Cell& value) {
    if (context::store_plain(word, value)) return;
    Cell target = word;
    word::set(target, value);
}

// Word i of a words block, checked to be a word type.
Cell word_at(const Cell& words, int32_t i) {
    Cell word = element_at(words, words.w1 + uint32_t(i));
    if (!is_word(word)) script_error(err::script::invalid_arg, &word);
    return word;
}

// One step over a map: the key word and the value word take the next live
// entry; false when none remains.
bool map_step(const Cell& words, Cell& cursor, int32_t n) {
    if (n != 2) script_error(err::script::invalid_arg, &words);
    Cell key_word = word_at(words, 0);
    Cell value_word = word_at(words, 1);
    Cell key{}, value{};
    if (!map::next_entry(cursor, key, value)) return false;
    set_word(key_word, key);
    set_word(value_word, value);
    return true;
}

// How one evaluation of a body (or condition) ended.
enum class Ended { normally, by_break, by_continue, by_other_exit };

using interpreter::BodyWalk;

// Evaluates the code in the loop frame, its value in slot 0. break and
// continue stop here; any other exit is left pending for the levels above
// (the stack already belongs to its target).
Ended run(BodyWalk& code) {
    code.step();
    switch (record.pending) {
    case 0: return Ended::normally;
    case runtime::code::brk: record.pending = 0; return Ended::by_break;
    case runtime::code::cont: record.pending = 0; return Ended::by_continue;
    default: return Ended::by_other_exit;
    }
}

void mark_loop() {
    stack::mark_loop(words::word<"<body>">());
}

void none_result() {
    stack::reset();
    none::push();
}

// Runs the body once per step until the step answers false or a break;
// false when another exit passes through.
template <class Step, class After>
bool each_step(const Cell& block, Step step, After after) {
    BodyWalk body(block);
    while (step()) {
        switch (run(body)) {
        case Ended::by_other_exit: return false;
        case Ended::by_break: return true;
        case Ended::by_continue: break;
        case Ended::normally: after(); break;
        }
    }
    return true;
}

// foreach and remove-each: one value, or a group of n values, per step.
template <class After>
bool each_value(const Cell& body, bool block, int32_t n, After after) {
    if (block)
        return each_step(
            body, [n] { return foreach_next_block(n); }, after);
    return each_step(body, foreach_next, after);
}

// Pushes the cursor layout (the series, then the word or words) and the
// loop frame above it.
void enter_cursor_loop(const Cell& series, const Cell& words) {
    stack::push(series);
    stack::push(words);
    mark_loop();
}

// Runs the body `count` times (the counter cell, when given, holds the
// number of the iteration and sets the word before each one).
void counted(int32_t count, const Cell& block, Cell* counter, const Cell* word) {
    mark_loop();
    BodyWalk body(block);
    for (int32_t remaining = count; remaining > 0; --remaining) {
        if (word) set_word(*word, *counter);
        Ended ended = run(body);
        if (ended == Ended::by_other_exit) return;
        if (ended == Ended::by_break) break;
        if (counter) ++counter->w2;
    }
    stack::unwind_last();
}

bool iterable_by_forall(uint32_t type) {
    return series::is_block_type(type) || series::is_text_type(type) || type == TYPE_BINARY ||
           type == TYPE_VECTOR || type == TYPE_IMAGE;
}

} // namespace

bool foreach_more_q(const Cell& series) {
    return series.w1 < series::buffer_length(series);
}

bool foreach_next() {
    Cell* base = stack::state.base;
    Cell& cursor = base[-2];
    if (cell::type_of(cursor) == TYPE_BLOCK) { // the common case: one buffer read
        Buffer* b = memory::buffer_of(cursor.w2);
        const Cell* at = b->head_cell() + cursor.w1;
        if (at >= b->tail_cell()) return false;
        Cell value = *at;
        ++cursor.w1;
        set_word(base[-1], value);
        return true;
    }
    if (!foreach_more_q(cursor)) return false;
    Cell value = element_at(cursor, cursor.w1);
    ++cursor.w1;
    set_word(base[-1], value);
    return true;
}

bool foreach_next_block(int32_t n) {
    Cell* base = stack::state.base;
    Cell& cursor = base[-2];
    if (n < 1 || !foreach_more_q(cursor)) return false;
    if (cell::type_of(cursor) == TYPE_MAP) return map_step(base[-1], cursor, n);
    set_many_series(base[-1], cursor, n);
    cursor.w1 += uint32_t(n);
    return true;
}

void set_many_series(const Cell& words, const Cell& series, int32_t n) {
    for (int32_t i = 0; i < n; ++i) word_at(words, i);
    for (int32_t i = 0; i < n; ++i)
        set_word(word_at(words, i), element_at(series, series.w1 + uint32_t(i)));
}

void remove_each_next(int32_t n) {
    Cell* base = stack::state.base;
    if (logic::counts_false(base[0])) return;
    Cell at = base[-2];
    at.w1 -= uint32_t(n);
    Cell part{TYPE_INTEGER, 0, uint32_t(n), 0};
    base[-2].w1 = dispatch::remove(&at, n == 1 ? nullptr : &part, nullptr)->w1;
}

bool forall_next_q(bool advance) {
    Cell* base = stack::state.base;
    Cell value = *word::value_cell(base[-1]);
    if (cell::type_of(value) != cell::type_of(base[-2]) || value.w2 != base[-2].w2)
        script_error(err::script::bad_loop_series, &value);
    if (advance) {
        ++value.w1;
        context::store(base[-1].w1, base[-1].w3, value);
    }
    return !foreach_more_q(value);
}

void forall_end() {
    Cell* base = stack::state.base;
    set_word(base[-1], base[-2]);
}

void loop_count(Cell& count) {
    if (cell::type_of(count) != TYPE_FLOAT) return;
    double d = cell::get_float(count);
    // Only values whose truncation fits an integer! make a count; NaN fails
    // both comparisons.
    if (!(d > -2147483649.0 && d < 2147483648.0)) script_error(err::script::out_of_range, &count);
    count = Cell{TYPE_INTEGER, 0, uint32_t(int32_t(d)), 0};
}

void loop_q() {
    loop_count(*stack::state.base);
}

void repeat_next(const Cell& word) {
    Cell target = word;
    Cell next = *word::value_cell(target);
    ++next.w2;
    word::set(target, next);
}

void while_(bool, const int32_t*) {
    Cell cond_block = stack::state.base[0];
    Cell body_block = stack::state.base[1];
    mark_loop();
    BodyWalk cond(cond_block);
    BodyWalk body(body_block);
    for (;;) {
        Ended ended = run(cond);
        if (ended == Ended::by_other_exit) return;
        if (ended != Ended::normally)
            runtime::fire_error(runtime::Category::thrw, err::throw_::while_cond);
        if (!logic::true_q()) break;
        ended = run(body);
        if (ended == Ended::by_other_exit) return;
        if (ended == Ended::by_break) break;
    }
    stack::unwind();
    stack::reset();
    unset::push();
}

void until(bool, const int32_t*) {
    Cell block = stack::state.base[0];
    mark_loop();
    BodyWalk body(block);
    for (;;) {
        Ended ended = run(body);
        if (ended == Ended::by_other_exit) return;
        if (ended == Ended::by_break) break;
        if (ended == Ended::normally && logic::true_q()) break;
    }
    stack::unwind_last();
}

void loop(bool, const int32_t*) {
    loop_q();
    int32_t count = int32_t(stack::state.base[0].w2);
    if (count < 1) return none_result();
    Cell body = stack::state.base[1];
    counted(count, body, nullptr, nullptr);
}

void repeat(bool, const int32_t*) {
    Cell* args = stack::state.base;
    loop_count(args[1]);
    int32_t count = int32_t(args[1].w2);
    if (count < 1) return none_result();
    Cell word = args[0];
    Cell body = args[2];
    args[1] = Cell{TYPE_INTEGER, 0, 1, 0};
    counted(count, body, &args[1], &word);
}

void forever(bool, const int32_t*) {
    Cell body = stack::state.base[0];
    mark_loop();
    auto always = [] { return true; };
    if (!each_step(body, always, [] {})) return;
    stack::unwind_last();
}

void foreach (bool, const int32_t*) {
    Cell* args = stack::state.base;
    Cell words = args[0];
    Cell body = args[2];
    bool block = cell::type_of(words) == TYPE_BLOCK;
    int32_t n = block ? block::rs_length(words) : 1;
    if (block && n <= 0) script_error(err::script::invalid_arg, &words);
    if (!block && cell::type_of(args[1]) == TYPE_MAP)
        script_error(err::script::invalid_arg, &words);
    enter_cursor_loop(args[1], words);
    unset::set_result();
    if (!each_value(body, block, n, [] {})) return;
    stack::unwind_last();
}

void forall(bool, const int32_t*) {
    Cell word = stack::state.base[0];
    Cell block = stack::state.base[1];
    Cell original = *word::value_cell(word);
    uint32_t type = cell::type_of(original);
    if (type == TYPE_UNSET) script_error(err::script::no_value, &word);
    if (!iterable_by_forall(type)) {
        Cell name = word::load("forall");
        Cell type_value;
        datatype::make_at(type_value, type);
        script_error(err::script::expect_arg, &name, &type_value, &word);
    }
    enter_cursor_loop(original, word);
    unset::set_result();
    BodyWalk body(block);
    bool broke = false;
    for (bool more = foreach_more_q(original); more; more = !forall_next_q(true)) {
        Ended ended = run(body);
        if (ended == Ended::by_other_exit) return;
        if (ended == Ended::by_break) {
            broke = true;
            break;
        }
    }
    if (!broke) forall_end();
    stack::unwind_last();
}

namespace {

// The values remove-each chose to remove from a series that may lose them
// all at once: removed in one pass when the loop ends, however it ends
// (break, an error, another exit), so that the loop takes linear time.
// Until then the series keeps every value.
class Removals {
  public:
    explicit Removals(const Cell& series) : series_(series) {}
    Removals(const Removals&) = delete;
    Removals& operator=(const Removals&) = delete;
    ~Removals() {
        if (!runs_.empty()) series::remove_runs(series_, runs_);
    }

    // After a body: notes the n values just visited unless the body's
    // value (slot 0) is none! or false.
    void note(int32_t n) {
        Cell* base = stack::state.base;
        if (logic::counts_false(base[0])) return;
        uint32_t index = base[-2].w1 - uint32_t(n);
        if (!runs_.empty() && runs_.back().index + runs_.back().count == index)
            runs_.back().count += uint32_t(n);
        else
            runs_.push_back({index, uint32_t(n)});
    }

  private:
    Cell series_;
    std::vector<series::Run> runs_;
};

} // namespace

void remove_each(bool, const int32_t*) {
    Cell* args = stack::state.base;
    Cell words = args[0];
    Cell body = args[2];
    bool block = cell::type_of(words) == TYPE_BLOCK;
    int32_t n = block ? std::max(block::rs_length(words), 0) : 1;
    stack::push(Cell{TYPE_INTEGER, 0, uint32_t(n), 0});
    enter_cursor_loop(args[1], words);
    if (!series::removable_in_bulk(args[1])) {
        if (!each_value(body, block, n, [n] { remove_each_next(n); })) return;
    } else {
        Removals removals(args[1]);
        if (!each_value(body, block, n, [n, &removals] { removals.note(n); })) return;
    }
    *stack::state.base = args[1];
    stack::unwind_last();
}

void register_loops() {
    register_native(6, while_, {2, 0});
    register_native(7, until, {1, 0});
    register_native(8, loop, {2, 0});
    register_native(9, repeat, {3, 0});
    register_native(10, forever, {1, 0});
    register_native(11, foreach, {3, 0});
    register_native(12, forall, {2, 0});
    register_native(13, remove_each, {3, 0});
}

} // namespace kiv::natives
