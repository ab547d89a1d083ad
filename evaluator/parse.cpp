#include "evaluator/parse.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "evaluator/lexer.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::parse {

Hooks hooks;

namespace {

// The working series: block! buffers referred to by node.
NodeId rule_stack = 0;
NodeId input_stack = 0;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(rule_stack, input_stack);

void mark_stacks() {
    if (rule_stack) collector::mark_block(rule_stack);
    if (input_stack) collector::mark_block(input_stack);
}

// Keywords, found by canonical symbol id.
enum Keyword : int32_t {
    kw_bar,
    kw_skip,
    kw_any,
    kw_some,
    kw_copy,
    kw_to,
    kw_thru,
    kw_end,
    kw_remove,
    kw_break,
    kw_opt,
    kw_keep,
    kw_pick,
    kw_fail,
    kw_ahead,
    kw_while,
    kw_into,
    kw_insert,
    kw_only,
    kw_change,
    kw_if,
    kw_not,
    kw_quote,
    kw_collect,
    kw_after,
    kw_set,
    kw_case,
    kw_reject,
    kw_none,
    keyword_count,
    kw_other = -1,
};
constexpr const char* keyword_names[keyword_count] = {
    "|",   "skip", "any",   "some",    "copy",  "to",    "thru", "end",    "remove", "break",
    "opt", "keep", "pick",  "fail",    "ahead", "while", "into", "insert", "only",   "change",
    "if",  "not",  "quote", "collect", "after", "set",   "case", "reject", "none"};
// The keyword of each resolved symbol id up to the largest keyword's:
// rules look their words up once per item.
std::vector<int8_t> keyword_of_id;

enum Event : int32_t {
    ev_push,
    ev_pop,
    ev_fetch,
    ev_match,
    ev_iterate,
    ev_paren,
    ev_end,
    event_count
};
constexpr const char* event_names[event_count] = {"push",    "pop",   "fetch", "match",
                                                  "iterate", "paren", "end"};
uint32_t event_ids[event_count];

// Command codes (word 2 of a command entry).
namespace command {
constexpr int32_t iterate = -1;
constexpr int32_t to = -2;
constexpr int32_t thru = -3;
constexpr int32_t copy = -4;
constexpr int32_t set = -5;
constexpr int32_t not_ = -6;
constexpr int32_t into = -7;
constexpr int32_t remove = -9;
constexpr int32_t while_ = -11;
constexpr int32_t collect = -12;
constexpr int32_t keep_pick = -13;
constexpr int32_t keep = -14;
constexpr int32_t ahead = -16;
constexpr int32_t change = -17;
constexpr int32_t change_only = -18;
constexpr int32_t case_ = -19;
} // namespace command

// Keywords that push a command taking only a sub-rule.
struct SimpleCommand {
    Keyword keyword;
    int32_t code;
};
constexpr SimpleCommand simple_commands[] = {
    {kw_to, command::to},     {kw_thru, command::thru},     {kw_not, command::not_},
    {kw_into, command::into}, {kw_remove, command::remove}, {kw_ahead, command::ahead},
};

// Repetition keywords and their ranges.
struct Range {
    Keyword keyword;
    int32_t min, max, code;
};
constexpr Range ranges[] = {
    {kw_any, 0, -1, command::iterate},
    {kw_some, 1, -1, command::iterate},
    {kw_opt, 0, 1, command::iterate},
    {kw_while, 0, -1, command::while_},
};

// Collect targets (word 1 of the collect command entry).
enum CollectMode : uint32_t { collect_plain, collect_set, collect_into, collect_after };

constexpr uint32_t marker_type = TYPE_TRIPLE; // position markers and ranges
constexpr uint32_t entry_type = TYPE_PAIR;    // command entries

enum class Kind { block_like, string_like, binary };

Kind kind_of(uint32_t type) {
    if (is_block_type(type)) return Kind::block_like;
    return type == TYPE_BINARY ? Kind::binary : Kind::string_like;
}

bool is_block_like(uint32_t type) {
    return is_block_type(type);
}

bool is_string_like(uint32_t type) {
    return is_text_type(type);
}

bool is_series(uint32_t type) {
    return is_block_like(type) || is_string_like(type) || type == TYPE_BINARY;
}

bool is_word(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_REFINEMENT;
}

// Series access by absolute index (from the buffer's first unit).
Buffer* buffer_of(const Cell& series) {
    return memory::buffer_of(series.w2);
}
int32_t total(const Cell& series) {
    return int32_t(buffer_of(series)->length());
}
Cell* cell_at(const Cell& series, int32_t index) {
    return buffer_of(series)->head_cell() + index;
}
uint32_t unit_at(const Cell& series, int32_t index) {
    Buffer* b = buffer_of(series);
    return string::get_char(b->head + size_t(index) * b->unit(), b->unit());
}

Cell integer_cell(int32_t value) {
    Cell c;
    integer::make_at(c, value);
    return c;
}

Cell word_cell(uint32_t symbol) {
    return Cell{TYPE_WORD, 0, symbol, uint32_t(-1)};
}

Keyword keyword_of(const Cell& item) {
    if (cell::type_of(item) != TYPE_WORD) return kw_other;
    uint32_t id = symbol::resolve(item.w2);
    return id < keyword_of_id.size() ? Keyword(keyword_of_id[id]) : kw_other;
}

[[noreturn]] void script_error(uint32_t id, const Cell* arg = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg);
}

uint32_t fold(uint32_t cp) {
    return unicode::change_case_char(cp, unicode::case_mode::lower);
}

// A working series seen from the head it had when this run began.
struct WorkStack {
    NodeId node;
    int32_t base;

    int32_t length() const { return total(Cell{TYPE_BLOCK, 0, node, 0}) - base; }
    Cell* at(int32_t i) const { return memory::buffer_of(node)->head_cell() + base + i; }
    // Pushes the values (copies: the buffer may move as it grows) after
    // one check of the limit and of the room.
    void push(std::initializer_list<Cell> values) {
        size_t n = values.size();
        if (length() + int32_t(n) > int32_t(stack_limit)) script_error(err::script::parse_stack);
        Buffer* b = memory::buffer_of(node);
        while (b->tail + n * sizeof(Cell) > b->data_end()) b = memory::expand_series(b, 0);
        std::memcpy(b->tail, values.begin(), n * sizeof(Cell));
        b->tail += n * sizeof(Cell);
    }
    void drop(int32_t n) {
        Buffer* b = memory::buffer_of(node);
        b->tail -= size_t(n) * sizeof(Cell);
    }
    void clear() {
        Buffer* b = memory::buffer_of(node);
        b->tail = b->head + size_t(base) * sizeof(Cell);
    }
};

class Engine {
  public:
    Engine(const Cell& input, const Cell& rules, int32_t case_code, int32_t part,
           const Cell& callback)
        : input_(input), rules_(rules), callback_(callback),
          case_code_(case_code), rstack_{rule_stack, total(Cell{TYPE_BLOCK, 0, rule_stack, 0})},
          istack_{input_stack, total(Cell{TYPE_BLOCK, 0, input_stack, 0})} {
        clamp_position();
        part_limit_ = part < 0 ? -1 : std::min(total(input), pos() + part);
        tracing_ = cell::type_of(callback) != TYPE_NONE && hooks.call_trace;
    }
    ~Engine() {
        close_gap();
        rstack_.clear();
        istack_.clear();
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Runs to the end; false when a pending exit interrupted the run.
    bool run();
    const Cell& result() { return result_.get(); }

  private:
    enum class State { fetch, match_item, next, apply, find_alternative, pop_block, end };

    Rooted<Cell> input_;
    Rooted<Cell> rules_; // the current rule block as entered
    Rooted<Cell> callback_;
    Rooted<Cell> paren_value_; // the result of the last paren evaluated
    Rooted<Cell> result_;
    int32_t case_code_;
    WorkStack rstack_;
    WorkStack istack_;
    int32_t rpos_ = -1; // absolute index of the current rule item
    int32_t part_limit_ = -1;
    bool matched_ = true;
    bool tracing_ = false;
    bool stopped_ = false;     // the callback asked to stop
    bool interrupted_ = false; // a pending exit is on its way
    bool has_result_block_ = false;
    bool halted() { return stopped_ || interrupted_; }
    uint32_t activity_ = 0; // parens evaluated and changes made, for `while`
    State state_ = State::fetch;

    // Input. `remove` in a loop would shift the rest of the input at every
    // match; instead the units it takes out are left as a gap that moves
    // with the removals and is closed, once, before anything else can see
    // the series (a paren, a callback, a set word, a change, the end of the
    // run, an error). Positions are always those of the series as if each
    // removal had been made at once; reads of the input skip the gap.
    struct Gap {
        NodeId node = 0;
        int32_t at = 0;   // where the gap begins, as a position
        int32_t size = 0; // units taken out
    };
    Gap gap_;
    bool gapped(const Cell& series) const { return gap_.size > 0 && series.w2 == gap_.node; }
    int32_t physical(int32_t p) const { return p < gap_.at ? p : p + gap_.size; }
    void move_gap(int32_t to);
    void remove_into_gap(int32_t start, int32_t n);
    void close_gap() noexcept;
    int32_t in_total() { return total(input_.get()) - (gapped(input_.get()) ? gap_.size : 0); }
    int32_t in_index(int32_t p) { return gapped(input_.get()) ? physical(p) : p; }
    Cell* in_cell(int32_t p) { return cell_at(input_.get(), in_index(p)); }
    uint32_t in_unit(int32_t p) { return unit_at(input_.get(), in_index(p)); }

    int32_t pos() { return int32_t(input_.get().w1); }
    void set_pos(int32_t p) { input_.get().w1 = uint32_t(p); }
    void clamp_position() { set_pos(std::clamp(pos(), 0, in_total())); }
    Kind kind() { return kind_of(cell::type_of(input_.get())); }
    int32_t limit() {
        int32_t t = in_total();
        return part_limit_ >= 0 && istack_.length() == 1 ? std::min(part_limit_, t) : t;
    }
    Cell input_at(int32_t p) {
        Cell c = input_.get();
        c.w1 = uint32_t(p);
        return c;
    }
    // After a change of `delta` units at p to the outermost input, keeps
    // the part limit on the same data.
    void shift_limit(int32_t p, int32_t delta) {
        if (part_limit_ >= 0 && istack_.length() == 1 && p <= part_limit_)
            part_limit_ = std::max(p, part_limit_ + delta);
        ++activity_;
    }

    // Rules.
    int32_t rules_end() { return total(rules_.get()); }
    bool has_item(int32_t i) { return i < rules_end(); }
    Cell item(int32_t i) { return *cell_at(rules_.get(), i); }

    // Frames: three cells each; the entry cell tells the kind.
    int32_t top_frame() { return rstack_.length() - 3; }
    Cell* frame(int32_t f, int32_t i) { return rstack_.at(f + i); }
    bool is_command(int32_t f) { return cell::type_of(*frame(f, 2)) == entry_type; }
    int32_t code_of(int32_t f) { return int32_t(frame(f, 2)->w2); }
    bool command_on_top() { return top_frame() >= 0 && is_command(top_frame()); }
    void push_frame(const Cell& a, const Cell& b, const Cell& c) {
        rstack_.push({a, b, c});
        fire(ev_push);
    }
    Cell marker(int32_t rule_index) {
        return Cell{marker_type, uint32_t(rule_index), uint32_t(pos()), uint32_t(in_total())};
    }
    int32_t innermost(bool (*wanted)(int32_t code)) {
        for (int32_t f = top_frame(); f >= 0; f -= 3)
            if (is_command(f) && wanted(code_of(f))) return f;
        return -1;
    }

    // Trace events cost one test while no callback is set.
    void fire(Event e) {
        if (tracing_) fire_traced(e);
    }
    void fire_traced(Event e);
    void step();
    void match_item();
    void match_value(const Cell& value, const Cell& item);
    void keyword(Keyword k, const Cell& item);
    void push_block(const Cell& block);
    void pop_block();
    void push_command(int32_t code, const Cell& first, uint32_t aux, uint32_t arg);
    void begin_sub_rule();
    void apply();
    void finish_command(int32_t f);
    void drop_command(int32_t f);
    void leave_block();
    void unwind_to(int32_t f);
    void find_alternative();
    void end_loop(bool matched);
    void start_range(const Cell& first);

    void eval_paren(const Cell& paren, Cell& out);
    Cell replacement(int32_t index, const Cell& keyword);
    Cell needed_item(int32_t index, const Cell& keyword);
    int32_t match_literal(const Cell& value, int32_t p);
    int32_t match_utf8(const Cell& value, int32_t p);
    Cell charset_of(const Cell& item);
    int32_t charset_span(const Cell& bits, int32_t max);
    int32_t match_type(const Cell& value, int32_t p);
    bool literal(const Cell& value);
    int32_t expression_end(int32_t i);
    void collect_value(const Cell& value, bool pick);
    Cell matched_item(int32_t start);
    void finish_collect(int32_t f);
};

// Moves the gap so that it begins at position `to`: the units between its
// old and new place cross it.
void Engine::move_gap(int32_t to) {
    plan_store::touch(input_->w2);
    Buffer* b = buffer_of(input_.get());
    uint32_t unit = b->unit();
    auto address = [&](int32_t i) { return b->head + size_t(i) * unit; };
    if (to > gap_.at)
        std::memmove(address(gap_.at), address(gap_.at + gap_.size), size_t(to - gap_.at) * unit);
    else if (to < gap_.at)
        std::memmove(address(to + gap_.size), address(to), size_t(gap_.at - to) * unit);
    gap_.at = to;
}

// Takes n units out at `start`: the gap moves there and grows over them.
void Engine::remove_into_gap(int32_t start, int32_t n) {
    if (!gapped(input_.get())) {
        close_gap();
        gap_ = {input_->w2, start, 0};
    }
    move_gap(start);
    gap_.size += n;
}

// Shifts the units after the gap over it: the series is whole again.
void Engine::close_gap() noexcept {
    if (gap_.size == 0) return;
    plan_store::touch(gap_.node);
    Buffer* b = memory::buffer_of(gap_.node);
    uint32_t unit = b->unit();
    uint8_t* at = b->head + size_t(gap_.at) * unit;
    uint8_t* rest = at + size_t(gap_.size) * unit;
    std::memmove(at, rest, size_t(b->tail - rest));
    b->tail -= size_t(gap_.size) * unit;
    gap_ = {};
}

void Engine::fire_traced(Event e) {
    if (halted()) return;
    close_gap();
    Cell args[5];
    args[0] = word_cell(event_ids[e]);
    logic::make_at(args[1], matched_);
    args[2] = rules_.get();
    args[2].w1 = uint32_t(std::clamp(rpos_, int32_t(rules_.get().w1), rules_end()));
    args[3] = input_.get();
    args[4] = Cell{TYPE_BLOCK, uint32_t(rstack_.base), rule_stack, 0};
    bool go_on = hooks.call_trace(callback_.get(), args);
    if (runtime::record.pending)
        interrupted_ = true;
    else if (!go_on)
        stopped_ = true;
}

bool Engine::run() {
    istack_.push({input_.get()});
    Cell outer = rules_.get();
    push_block(outer);
    while (state_ != State::end && !halted()) {
        stack::check_machine();
        step();
    }
    close_gap();
    if (interrupted_) return false;
    if (!stopped_) {
        matched_ = matched_ && istack_.length() == 1 && pos() >= limit();
        fire(ev_end);
    }
    if (!has_result_block_) logic::make_at(result_.get(), matched_);
    return !interrupted_;
}

void Engine::step() {
    switch (state_) {
    case State::fetch:
        ++rpos_;
        if (!has_item(rpos_)) {
            state_ = State::pop_block;
            return;
        }
        fire(ev_fetch);
        state_ = State::match_item;
        return;
    case State::match_item: match_item(); return;
    case State::next:
        state_ = command_on_top() ? State::apply
                 : !matched_      ? State::find_alternative
                                  : State::fetch;
        return;
    case State::apply: apply(); return;
    case State::find_alternative: find_alternative(); return;
    case State::pop_block: pop_block(); return;
    case State::end: return;
    }
}

void Engine::push_block(const Cell& block) {
    push_frame(input_.get(), marker(rpos_), block);
    rules_ = block;
    rpos_ = int32_t(block.w1) - 1;
    matched_ = true;
    state_ = State::fetch;
}

// Leaves the rule block on top: a failed block gives back the input it
// began with; the parent block and its position come back.
void Engine::leave_block() {
    int32_t f = top_frame();
    if (!matched_) {
        input_ = *frame(f, 0);
        set_pos(int32_t(frame(f, 1)->w2));
    }
    rpos_ = int32_t(frame(f, 1)->w1);
    rstack_.drop(3);
    for (int32_t g = top_frame(); g >= 0; g -= 3)
        if (!is_command(g)) {
            rules_ = *frame(g, 2);
            break;
        }
    fire(ev_pop);
}

void Engine::pop_block() {
    if (top_frame() == 0) {
        fire(ev_pop);
        state_ = State::end;
        return;
    }
    leave_block();
    state_ = State::next;
}

void Engine::find_alternative() {
    for (int32_t i = rpos_ + 1; has_item(i); ++i) {
        if (keyword_of(item(i)) != kw_bar) continue;
        int32_t f = top_frame();
        input_ = *frame(f, 0);
        set_pos(int32_t(frame(f, 1)->w2));
        rpos_ = i;
        matched_ = true;
        state_ = State::fetch;
        return;
    }
    matched_ = false;
    state_ = State::pop_block;
}

void Engine::eval_paren(const Cell& paren, Cell& out) {
    if (halted()) { // no more actions once the run is to end
        none::make_at(out);
        return;
    }
    close_gap();
    hooks.eval_paren(paren, out);
    ++activity_;
    if (runtime::record.pending) {
        interrupted_ = true;
        return;
    }
    clamp_position();
    fire(ev_paren);
}

void Engine::match_item() {
    Cell it = item(rpos_);
    uint32_t type = cell::type_of(it);
    if (type == TYPE_WORD) {
        Keyword k = keyword_of(it);
        if (k != kw_other) {
            keyword(k, it);
            return;
        }
        Rooted<Cell> value;
        hooks.get_word(it, value.get());
        if (is_word(cell::type_of(value.get()))) script_error(err::script::parse_rule, &it);
        match_value(value.get(), it);
        return;
    }
    match_value(it, it);
}

void Engine::match_value(const Cell& value, const Cell& item) {
    uint32_t type = cell::type_of(value);
    state_ = State::next;
    switch (type) {
    case TYPE_BLOCK: push_block(value); return;
    case TYPE_SET_WORD:
        close_gap();
        hooks.set_word(value, input_.get());
        matched_ = true;
        return;
    case TYPE_GET_WORD: {
        Rooted<Cell> target;
        hooks.get_word(value, target.get());
        if (target->w2 != input_->w2 || cell::type_of(target.get()) != cell::type_of(input_.get()))
            script_error(err::script::parse_invalid_ref, &value);
        set_pos(std::clamp(int32_t(target->w1), 0, in_total()));
        matched_ = true;
        return;
    }
    case TYPE_INTEGER: start_range(value); return;
    case TYPE_PAREN:
        eval_paren(value, paren_value_.get());
        matched_ = true;
        return;
    case TYPE_DATATYPE:
    case TYPE_TYPESET: {
        int32_t n = match_type(value, pos());
        matched_ = n >= 0;
        if (matched_) set_pos(pos() + n);
        fire(ev_match);
        return;
    }
    default: break;
    }
    if (type == TYPE_PATH) script_error(err::script::parse_rule, &item);
    int32_t n = match_literal(value, pos());
    matched_ = n >= 0;
    if (matched_) set_pos(pos() + n);
    fire(ev_match);
}

// An integer before a rule: n (exactly n times) or n m, the bound given
// directly or by a word holding an integer.
void Engine::start_range(const Cell& first) {
    int32_t min = integer::get(first), max = min;
    if (has_item(rpos_ + 1)) {
        Cell next = item(rpos_ + 1);
        Rooted<Cell> bound(next);
        if (cell::type_of(next) == TYPE_WORD && keyword_of(next) == kw_other)
            hooks.get_word(next, bound.get());
        if (cell::type_of(bound.get()) == TYPE_INTEGER) {
            max = integer::get(bound.get());
            ++rpos_;
            if (max < 0) script_error(err::script::out_of_range, &bound.get());
        }
    }
    if (min < 0) script_error(err::script::out_of_range, &first);
    push_command(command::iterate, Cell{marker_type, uint32_t(min), uint32_t(max), 1}, 0, 0);
}

// The item at index, which a keyword needs: parse-end naming the keyword
// when the rule block ends first.
Cell Engine::needed_item(int32_t index, const Cell& keyword) {
    if (!has_item(index)) script_error(err::script::parse_end, &keyword);
    return item(index);
}

void Engine::keyword(Keyword k, const Cell& it) {
    state_ = State::next;
    for (const SimpleCommand& c : simple_commands)
        if (c.keyword == k) {
            push_command(c.code, none::value, 0, 0);
            return;
        }
    for (const Range& r : ranges)
        if (r.keyword == k) {
            push_command(r.code, Cell{marker_type, uint32_t(r.min), uint32_t(r.max), 1}, activity_,
                         0);
            return;
        }
    switch (k) {
    case kw_bar:
        if (!has_item(rpos_ + 1)) script_error(err::script::parse_end, &it);
        state_ = State::pop_block;
        return;
    case kw_skip:
        matched_ = pos() < limit();
        if (matched_) set_pos(pos() + 1);
        fire(ev_match);
        return;
    case kw_end:
        matched_ = pos() >= limit();
        fire(ev_match);
        return;
    case kw_none: matched_ = true; return;
    case kw_fail: matched_ = false; return;
    case kw_break:
    case kw_reject: end_loop(k == kw_break); return;
    case kw_copy:
    case kw_set: {
        Cell target = needed_item(rpos_ + 1, it);
        if (cell::type_of(target) != TYPE_WORD) script_error(err::script::parse_rule, &target);
        ++rpos_;
        push_command(k == kw_copy ? command::copy : command::set, target, 0, 0);
        return;
    }
    case kw_quote: {
        Cell value = needed_item(rpos_ + 1, it);
        ++rpos_;
        int32_t n = match_literal(value, pos());
        matched_ = n >= 0;
        if (matched_) set_pos(pos() + n);
        fire(ev_match);
        return;
    }
    case kw_if: {
        Cell paren = needed_item(rpos_ + 1, it);
        if (cell::type_of(paren) != TYPE_PAREN) script_error(err::script::parse_end, &it);
        ++rpos_;
        Rooted<Cell> value;
        eval_paren(paren, value.get());
        matched_ = !logic::counts_false(value.get());
        return;
    }
    case kw_keep: {
        needed_item(rpos_ + 1, it);
        if (innermost([](int32_t c) { return c == command::collect; }) < 0)
            script_error(err::script::parse_keep);
        bool pick = keyword_of(item(rpos_ + 1)) == kw_pick;
        if (pick) ++rpos_;
        push_command(pick ? command::keep_pick : command::keep, none::value, 0, 0);
        return;
    }
    case kw_change: {
        needed_item(rpos_ + 1, it);
        bool only = keyword_of(item(rpos_ + 1)) == kw_only;
        if (only) ++rpos_;
        push_command(only ? command::change_only : command::change, it, 0, 0);
        return;
    }
    case kw_collect: {
        Cell next = needed_item(rpos_ + 1, it);
        CollectMode mode = collect_plain;
        Cell target = none::value;
        switch (keyword_of(next)) {
        case kw_set: mode = collect_set; break;
        case kw_into: mode = collect_into; break;
        case kw_after: mode = collect_after; break;
        default: break;
        }
        if (mode != collect_plain) {
            target = needed_item(rpos_ + 2, next);
            if (cell::type_of(target) != TYPE_WORD) script_error(err::script::parse_rule, &target);
            rpos_ += 2;
        }
        Cell* block = block::push_new(4);
        push_command(command::collect, target, mode, stack::index_of(block) + 1);
        return;
    }
    case kw_case: {
        int32_t saved = case_code_;
        push_command(command::case_, none::value, 0, uint32_t(saved));
        case_code_ = case_sensitive;
        return;
    }
    case kw_insert: {
        bool only = has_item(rpos_ + 1) && keyword_of(item(rpos_ + 1)) == kw_only;
        if (only) ++rpos_;
        Rooted<Cell> value(replacement(rpos_ + 1, it));
        if (halted()) return;
        ++rpos_;
        close_gap();
        int32_t before = total(input_.get()), at = pos();
        Cell series = input_at(at);
        dispatch::insert(&series, &value.get(), -1, only, 1);
        int32_t delta = total(input_.get()) - before;
        set_pos(at + delta);
        shift_limit(at, delta);
        matched_ = true;
        return;
    }
    default: script_error(err::script::parse_rule, &it); // only, pick, after alone
    }
}

// The value an `insert` or `change` puts in: a paren's result, a word's
// value or the item itself.
Cell Engine::replacement(int32_t index, const Cell& keyword) {
    Cell it = needed_item(index, keyword);
    uint32_t type = cell::type_of(it);
    if (type == TYPE_PATH) script_error(err::script::parse_rule, &it);
    Rooted<Cell> value(it);
    if (type == TYPE_PAREN) {
        eval_paren(it, value.get());
        if (halted()) return none::value;
        if (cell::type_of(value.get()) == TYPE_UNSET) script_error(err::script::no_value, &it);
    } else if (type == TYPE_WORD) {
        hooks.get_word(it, value.get());
    }
    return value.get();
}

void Engine::push_command(int32_t code, const Cell& first, uint32_t aux, uint32_t arg) {
    Cell entry{entry_type, aux, uint32_t(code), arg};
    Cell keyword = item(rpos_);
    if (keyword_of(needed_item(rpos_ + 1, keyword)) == kw_bar)
        script_error(err::script::parse_end, &keyword);
    if (code == command::change || code == command::change_only) needed_item(rpos_ + 2, first);
    push_frame(first, marker(rpos_ + 1), entry);
    ++rpos_;
    begin_sub_rule();
}

bool Engine::literal(const Cell& value) {
    switch (cell::type_of(value)) {
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_GET_WORD:
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_INTEGER:
    case TYPE_DATATYPE:
    case TYPE_TYPESET: return false;
    default: return cell::type_of(value) != TYPE_PATH;
    }
}

// The index of the last item of the rule expression that starts at i: a
// keyword with its arguments and sub-rule, a range with its rule, or one
// item.
int32_t Engine::expression_end(int32_t i) {
    if (!has_item(i)) return i - 1;
    Cell it = item(i);
    auto optional = [&](int32_t at, Keyword k) {
        return has_item(at) && keyword_of(item(at)) == k;
    };
    switch (keyword_of(it)) {
    case kw_any:
    case kw_some:
    case kw_opt:
    case kw_while:
    case kw_to:
    case kw_thru:
    case kw_not:
    case kw_ahead:
    case kw_remove:
    case kw_into:
    case kw_case: return expression_end(i + 1);
    case kw_copy:
    case kw_set: return expression_end(i + 2);
    case kw_keep: return expression_end(optional(i + 1, kw_pick) ? i + 2 : i + 1);
    case kw_change: return expression_end(optional(i + 1, kw_only) ? i + 2 : i + 1) + 1;
    case kw_insert: return optional(i + 1, kw_only) ? i + 2 : i + 1;
    case kw_quote:
    case kw_if: return i + 1;
    case kw_collect: {
        bool target =
            optional(i + 1, kw_set) || optional(i + 1, kw_into) || optional(i + 1, kw_after);
        return expression_end(target ? i + 3 : i + 1);
    }
    default: break;
    }
    if (cell::type_of(it) != TYPE_INTEGER) return i;
    bool bound = has_item(i + 1) && cell::type_of(item(i + 1)) == TYPE_INTEGER;
    return expression_end(bound ? i + 2 : i + 1);
}

// Moves the position past the units that are members of the bitset, at
// most `max` of them (all when negative), and gives their count.
int32_t Engine::charset_span(const Cell& bits, int32_t max) {
    int32_t start = pos(), end = limit();
    if (max >= 0) end = int32_t(std::min<int64_t>(end, int64_t(start) + max));
    int32_t p = start;
    if (gapped(input_.get())) {
        for (; p < end; ++p) {
            runtime::poll();
            if (!hooks.bitset_has(bits, in_unit(p))) break;
        }
    } else {
        // Without a gap the units are read in place, from a buffer that
        // the bitset test cannot move.
        Buffer* b = buffer_of(input_.get());
        const uint8_t* units = b->head;
        uint32_t unit = b->unit();
        for (; p < end; ++p) {
            runtime::poll();
            const uint8_t* at = units + size_t(p) * unit;
            if (!hooks.bitset_has(bits, unit == 1 ? *at : string::get_char(at, unit))) break;
        }
    }
    set_pos(std::max(p, start));
    return std::max(p - start, 0);
}

// The bitset a rule word names, else the rule item itself: the loops over
// a single literal value run for a word of a charset too.
Cell Engine::charset_of(const Cell& item) {
    if (cell::type_of(item) != TYPE_WORD || keyword_of(item) != kw_other) return item;
    Cell value;
    hooks.get_word(item, value);
    return cell::type_of(value) == TYPE_BITSET ? value : item;
}

// Starts the sub-rule of the command just pushed. Repetitions, `to` and
// `thru` of a single literal value run here in one loop, without frames
// or events per pass.
void Engine::begin_sub_rule() {
    int32_t f = top_frame();
    int32_t code = code_of(f);
    Cell sub = charset_of(item(rpos_));
    if (code == command::iterate && int32_t(frame(f, 0)->w2) == 0) {
        // At most zero times: the sub-rule is stepped over, not run.
        matched_ = int32_t(frame(f, 0)->w1) == 0;
        rpos_ = expression_end(rpos_);
        finish_command(f);
        return;
    }
    if (code == command::iterate && literal(sub)) {
        int32_t min = int32_t(frame(f, 0)->w1), max = int32_t(frame(f, 0)->w2), count = 0;
        if (cell::type_of(sub) == TYPE_BITSET && kind() != Kind::block_like)
            count = charset_span(sub, max);
        else
            while (max < 0 || count < max) {
                runtime::poll();
                int32_t n = match_literal(sub, pos());
                if (n < 0) break;
                set_pos(pos() + n);
                ++count;
                if (n == 0) break;
            }
        matched_ = count >= min;
        finish_command(f);
        return;
    }
    if (code == command::to || code == command::thru) {
        frame(f, 0)->header = marker_type; // the position the search began at
        frame(f, 0)->w1 = uint32_t(pos());
        if (keyword_of(sub) == kw_end) {
            set_pos(limit());
            matched_ = true;
            finish_command(f);
            return;
        }
        if (literal(sub)) {
            int32_t end = limit();
            matched_ = false;
            for (int32_t p = pos(); p <= end && !matched_; ++p) {
                runtime::poll();
                int32_t n = match_literal(sub, p);
                if (n < 0) continue;
                matched_ = true;
                set_pos(code == command::to ? p : p + n);
            }
            finish_command(f);
            return;
        }
    }
    if (code == command::into) {
        if (kind() != Kind::block_like) script_error(err::script::parse_block, &input_.get());
        Rooted<Cell> rule(sub);
        if (cell::type_of(sub) == TYPE_WORD && keyword_of(sub) == kw_other)
            hooks.get_word(sub, rule.get());
        if (cell::type_of(rule.get()) != TYPE_BLOCK) {
            Cell keyword = item(rpos_ - 1);
            script_error(err::script::parse_end, &keyword);
        }
        Cell inner = pos() < limit() ? *in_cell(pos()) : none::value;
        uint32_t type = cell::type_of(inner);
        if (!is_block_like(type) && !is_string_like(type)) {
            matched_ = false;
            state_ = State::apply;
            return;
        }
        *istack_.at(istack_.length() - 1) = input_.get();
        istack_.push({inner});
        frame(f, 2)->w1 = 1; // the inner input is on the input stack
        input_ = inner;
        clamp_position();
        push_block(rule.get());
        return;
    }
    state_ = State::match_item;
}

// Frames are applied when their sub-rule has matched or failed.
void Engine::apply() {
    int32_t f = top_frame();
    int32_t code = code_of(f);
    Cell* mark = frame(f, 1);
    int32_t start = int32_t(mark->w2);
    switch (code) {
    case command::iterate:
    case command::while_: {
        Cell* range = frame(f, 0);
        int32_t max = int32_t(range->w2), attempts = int32_t(range->w3);
        bool progressed = pos() != start || in_total() < int32_t(mark->w3);
        if (code == command::while_)
            progressed =
                progressed || in_total() != int32_t(mark->w3) || frame(f, 2)->w1 != activity_;
        if (matched_ && (max < 0 || attempts < max) && progressed) {
            mark->w2 = uint32_t(pos());
            mark->w3 = uint32_t(in_total());
            range->w3 = uint32_t(attempts + 1);
            frame(f, 2)->w1 = activity_;
            rpos_ = int32_t(mark->w1);
            fire(ev_iterate);
            state_ = State::match_item;
            return;
        }
        if (!matched_) set_pos(start);
        int32_t done = matched_ ? attempts : attempts - 1;
        matched_ = done >= int32_t(range->w1);
        break;
    }
    case command::to:
    case command::thru:
        if (matched_) {
            if (code == command::to) set_pos(start);
        } else if (start < limit()) {
            mark->w2 = uint32_t(start + 1);
            set_pos(start + 1);
            rpos_ = int32_t(mark->w1);
            fire(ev_iterate);
            state_ = State::match_item;
            return;
        } else {
            set_pos(int32_t(frame(f, 0)->w1));
        }
        break;
    case command::copy:
        if (matched_) {
            close_gap();
            Cell series = input_at(start);
            Cell part = integer_cell(std::max(0, pos() - start));
            Rooted<Cell> copied;
            dispatch::copy(&series, &copied.get(), &part, false, nullptr);
            hooks.set_word(*frame(f, 0), copied.get());
        }
        break;
    case command::set:
        if (matched_) {
            close_gap();
            Rooted<Cell> value(pos() > start ? matched_item(start) : none::value);
            hooks.set_word(*frame(f, 0), value.get());
        }
        break;
    case command::keep:
    case command::keep_pick:
        if (matched_) {
            close_gap();
            bool pick = code == command::keep_pick;
            int32_t sub = int32_t(mark->w1);
            Rooted<Cell> value;
            if (cell::type_of(item(sub)) == TYPE_PAREN && pos() == start) {
                value = paren_value_.get();
                collect_value(value.get(), pick && is_block_like(cell::type_of(value.get())));
            } else if (pos() - start == 1) {
                value = matched_item(start);
                collect_value(value.get(), false);
            } else if (pick) {
                for (int32_t p = start; p < pos(); ++p) {
                    value = matched_item(p);
                    collect_value(value.get(), false);
                }
            } else {
                Cell series = input_at(start);
                Cell part = integer_cell(std::max(0, pos() - start));
                dispatch::copy(&series, &value.get(), &part, false, nullptr);
                collect_value(value.get(), false);
            }
        }
        break;
    case command::remove:
        if (matched_ && pos() > start) {
            int32_t n = pos() - start;
            if (series::removable_in_bulk(input_.get())) {
                remove_into_gap(start, n);
            } else {
                close_gap();
                Cell series = input_at(start);
                Cell part = integer_cell(n);
                dispatch::remove(&series, &part, nullptr);
            }
            set_pos(start);
            shift_limit(start, -n);
        }
        break;
    case command::change:
    case command::change_only: {
        bool only = code == command::change_only;
        close_gap();
        int32_t end = pos();
        set_pos(start);
        Rooted<Cell> value(none::value);
        if (matched_) {
            value = replacement(rpos_ + 1, *frame(f, 0));
            if (halted()) return;
        }
        ++rpos_;
        if (matched_) {
            int32_t before = total(input_.get());
            Cell series = input_at(start);
            int32_t part = std::max(0, end - start);
            dispatch::lookup<Slot::change>(series)(&series, &value.get(), part, only, -1);
            int32_t delta = total(input_.get()) - before;
            set_pos(start + part + delta);
            shift_limit(start, delta);
        }
        break;
    }
    case command::ahead: set_pos(start); break;
    case command::not_:
        matched_ = !matched_;
        set_pos(start);
        break;
    case command::collect:
        close_gap();
        finish_collect(f);
        break;
    case command::into:
        if (frame(f, 2)->w1) matched_ = matched_ && pos() >= in_total();
        break;
    default: break;
    }
    finish_command(f);
}

// Drops the command frame on top and carries on with its result.
void Engine::finish_command(int32_t f) {
    int32_t start = int32_t(frame(f, 1)->w2);
    bool entered = code_of(f) == command::into && frame(f, 2)->w1;
    drop_command(f);
    if (entered) set_pos(matched_ ? start + 1 : start);
    state_ = State::next;
}

// Removes a command frame and what it holds outside the rule stack: the
// inner input of `into`, the collect block, the case mode.
void Engine::drop_command(int32_t f) {
    Cell* entry = frame(f, 2);
    switch (code_of(f)) {
    case command::into:
        if (entry->w1) {
            istack_.drop(1);
            input_ = *istack_.at(istack_.length() - 1);
        }
        break;
    case command::collect: stack::state.top = stack::at_index(entry->w3 - 1); break;
    case command::case_: case_code_ = int32_t(entry->w3); break;
    default: break;
    }
    rstack_.drop(3);
    fire(ev_pop);
}

// `break` (matched) and `reject` (failed): ends the innermost repetition,
// or without one the current rule block.
void Engine::end_loop(bool matched) {
    int32_t loop =
        innermost([](int32_t c) { return c == command::iterate || c == command::while_; });
    int32_t block_frame = top_frame();
    while (block_frame > 0 && is_command(block_frame)) block_frame -= 3;
    matched_ = true; // the input stays where the loop is left
    if (loop < 0) {
        unwind_to(block_frame);
        matched_ = matched;
        state_ = State::pop_block;
        return;
    }
    unwind_to(loop);
    matched_ = matched;
    if (!matched) set_pos(int32_t(frame(loop, 1)->w2));
    finish_command(loop);
}

// Pops every frame above frame f.
void Engine::unwind_to(int32_t f) {
    while (top_frame() > f) {
        if (is_command(top_frame()))
            drop_command(top_frame());
        else
            leave_block();
    }
}

void Engine::finish_collect(int32_t f) {
    Cell* entry = frame(f, 2);
    Rooted<Cell> collected(*stack::at_index(entry->w3 - 1));
    Cell target = *frame(f, 0);
    switch (CollectMode(entry->w1)) {
    case collect_plain:
        for (int32_t g = f - 3; g >= 0; g -= 3)
            if (is_command(g) && code_of(g) == command::collect) {
                if (matched_)
                    block::append_value(*stack::at_index(frame(g, 2)->w3 - 1), collected.get());
                return;
            }
        result_ = collected.get();
        has_result_block_ = true;
        return;
    case collect_set:
        if (matched_) hooks.set_word(target, collected.get());
        return;
    case collect_into:
    case collect_after: {
        if (!matched_) return;
        Rooted<Cell> series;
        hooks.get_word(target, series.get());
        uint32_t type = cell::type_of(series.get());
        if (!is_series(type)) script_error(err::script::parse_into_bad);
        if (!is_block_like(type)) script_error(err::script::parse_into_type);
        Cell moved = series.get();
        int32_t before = total(moved);
        dispatch::insert(&series.get(), &collected.get(), -1, false, 1);
        if (CollectMode(entry->w1) == collect_after) {
            moved.w1 += uint32_t(total(moved) - before);
            hooks.set_word(target, moved);
        }
        return;
    }
    }
}

// Appends a kept value to the innermost collect block, or its items one
// by one.
void Engine::collect_value(const Cell& value, bool pick) {
    int32_t f = innermost([](int32_t c) { return c == command::collect; });
    if (f < 0) script_error(err::script::parse_keep);
    Cell& target = *stack::at_index(frame(f, 2)->w3 - 1);
    if (pick)
        block::append_cells(target, value);
    else
        block::append_value(target, value);
}

// The unit of input at p as a value: the cell, the character, the byte.
Cell Engine::matched_item(int32_t p) {
    Cell c{};
    switch (kind()) {
    case Kind::block_like: return *in_cell(p);
    case Kind::string_like: char_::make_at(c, in_unit(p)); return c;
    case Kind::binary: integer::make_at(c, int32_t(in_unit(p))); return c;
    }
    return none::value;
}

// Units a literal value matches at p, or -1.
int32_t Engine::match_literal(const Cell& value, int32_t p) {
    // A value of the input's own series, or blocks compared deeply (which
    // may hold the input), read the series as it is: the gap is closed.
    if (gapped(value)) close_gap();
    int32_t end = limit();
    uint32_t type = cell::type_of(value);
    if (kind() == Kind::block_like) {
        if (p >= end) return -1;
        if (is_block_like(type) || is_block_like(cell::type_of(*in_cell(p)))) close_gap();
        Cell head = *in_cell(p);
        int32_t op = case_code_ == case_sensitive ? 10 : 11;
        return dispatch::compare(head, value, op) ? 1 : -1;
    }
    bool text = kind() == Kind::string_like;
    bool fold_case = text && case_code_ != case_sensitive;
    auto same = [&](uint32_t a, uint32_t b) { return a == b || (fold_case && fold(a) == fold(b)); };
    if (type == TYPE_CHAR || (type == TYPE_INTEGER && !text))
        return p < end && same(in_unit(p), value.w2) ? 1 : -1;
    if (type == TYPE_BITSET) return p < end && hooks.bitset_has(value, in_unit(p)) ? 1 : -1;
    bool units = is_string_like(type) || type == TYPE_BINARY;
    if (!units || (type == TYPE_BINARY && text)) return -1;
    if (!text && type != TYPE_BINARY) return match_utf8(value, p);
    bool tag = type == TYPE_TAG && text;
    int32_t from = std::min(int32_t(value.w1), total(value)), n = total(value) - from;
    int32_t width = n + (tag ? 2 : 0);
    if (p + width > end) return -1;
    if (tag && (in_unit(p) != '<' || in_unit(p + width - 1) != '>')) return -1;
    int32_t at = p + (tag ? 1 : 0);
    for (int32_t i = 0; i < n; ++i)
        if (!same(in_unit(at + i), unit_at(value, from + i))) return -1;
    return width;
}

// Bytes of binary input that a text literal matches at p (its UTF-8, a
// tag within its angle brackets), or -1.
int32_t Engine::match_utf8(const Cell& value, int32_t p) {
    std::vector<uint8_t> bytes;
    bool tag = cell::type_of(value) == TYPE_TAG;
    if (tag) bytes.push_back('<');
    binary::bytes_of(value, bytes, -1, false);
    if (tag) bytes.push_back('>');
    int32_t n = int32_t(bytes.size());
    if (p + n > limit()) return -1;
    close_gap(); // the bytes are compared as one run
    const uint8_t* at = buffer_of(input_.get())->head + p;
    return std::equal(bytes.begin(), bytes.end(), at) ? n : -1;
}

// Units a datatype! or typeset! matches at p, or -1.
int32_t Engine::match_type(const Cell& value, int32_t p) {
    auto has = [&](uint32_t type) {
        return cell::type_of(value) == TYPE_DATATYPE ? value.w1 == type
                                                     : hooks.typeset_has(value, type);
    };
    if (kind() == Kind::string_like) script_error(err::script::parse_unsupported);
    if (p >= limit()) return -1;
    if (kind() == Kind::block_like) return has(cell::type_of(*in_cell(p))) ? 1 : -1;
    // Binary input: one token scanned in scan mode (classified, not loaded).
    close_gap();
    lexer::Options options;
    options.one_value = true;
    options.not_scan = false;
    Cell out{};
    uint32_t consumed = 0;
    const uint8_t* bytes = buffer_of(input_.get())->head + p;
    int32_t type = lexer::scan(out, bytes, uint32_t(limit() - p), options, &consumed);
    return type > 0 && type != int32_t(TYPE_ERROR) && has(uint32_t(type)) ? int32_t(consumed) : -1;
}

} // namespace

void init() {
    uint32_t keyword_ids[keyword_count];
    for (int32_t k = 0; k < keyword_count; ++k)
        keyword_ids[k] = symbol::resolve(symbol::intern_nocase(keyword_names[k]));
    keyword_of_id.assign(*std::max_element(keyword_ids, keyword_ids + keyword_count) + 1,
                         int8_t(kw_other));
    for (int32_t k = 0; k < keyword_count; ++k) keyword_of_id[keyword_ids[k]] = int8_t(k);
    for (int32_t e = 0; e < event_count; ++e) event_ids[e] = symbol::intern(event_names[e]);
    // The marker comes first: a collection while the second series is
    // allocated must keep the first.
    collector::add_marker(mark_stacks);
    rule_stack = memory::alloc_cells(100);
    input_stack = memory::alloc_cells(8);
}

void release() {
    collector::remove_marker(mark_stacks);
    rule_stack = input_stack = 0;
}

Cell* process(const Cell& input, const Cell& rules, int32_t case_code, int32_t part,
              const Cell& callback) {
    Cell* entry_top = stack::state.top;
    Rooted<Cell> result;
    if (part == 0) { // nothing to match: only an empty input is consumed
        logic::make_at(result.get(), int32_t(input.w1) >= total(input));
    } else {
        Engine engine(input, rules, case_code, part, callback);
        if (!engine.run()) return nullptr;
        result = engine.result();
    }
    stack::state.top = entry_top;
    return stack::push(result.get());
}

} // namespace kiv::parse
