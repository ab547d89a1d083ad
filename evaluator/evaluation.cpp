#include "evaluator/evaluation.h"

#include <optional>
#include <utility>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/native.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::natives {

namespace evaluation {
Hooks hooks;
} // namespace evaluation

namespace {

auto& rt = runtime::record;

Cell* arg(uint32_t i) {
    return stack::state.base + i;
}

bool given(const int32_t* refinements, uint32_t i) {
    return refinements[i] >= 0;
}

// The argument of a refinement (its first frame slot).
Cell* refinement_arg(const int32_t* refinements, uint32_t i) {
    return arg(uint32_t(refinements[i]));
}

[[noreturn]] void script_error(uint32_t id, const Cell* a = nullptr, const Cell* b = nullptr,
                               const Cell* c = nullptr) {
    runtime::fire_error(runtime::Category::script, id, a, b, c);
}

bool is_function_type(uint32_t type) {
    return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION ||
           type == TYPE_ROUTINE || type == TYPE_OP;
}

bool is_block_type(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}

bool is_path_type(uint32_t type) {
    return type == TYPE_PATH || type == TYPE_LIT_PATH || type == TYPE_SET_PATH ||
           type == TYPE_GET_PATH;
}

// Evaluates a single value as one expression (a word gives its value, a
// function is called, a path is evaluated); the value goes to slot 0.
void eval_one(const Cell& value) {
    Rooted<Cell> code;
    block::make_at(*code, 1);
    block::append_value(*code, value);
    Pin pin(code->w2);
    const Cell* head = pin.buffer()->head_cell();
    interpreter::eval_expression(head, head + 1, *code, false, false, false);
}

// Evaluates a path with nothing after it; the value goes to slot 0.
void eval_path_value(const Cell& path) {
    Cell code = path;
    interpreter::eval_path(code, nullptr, nullptr, code, false, true, false);
}

// Where reduce and compose put their values: appended when the target is
// at its tail, else inserted at its position (which then moves past them).
// Targets other than block! go through the series actions, so a hash!
// target also files the values in its table.
class Target {
  public:
    // A new block with room for n values.
    explicit Target(int32_t n) { block::make_at(*cell_, n); }
    // The /into argument.
    explicit Target(const Cell& out) : cell_(out) {
        block::clip_head(*cell_);
        insert_ = !block::at_tail(*cell_);
    }

    void add(const Cell& value) {
        Cell v = value;
        bool plain = cell::type_of(*cell_) == TYPE_BLOCK;
        if (!insert_ && plain)
            block::append_value(*cell_, v);
        else if (!insert_)
            dispatch::append(&*cell_, &v, -1, true, 1);
        else if (plain)
            block::insert_value(*cell_, v, true, false);
        else
            *cell_ = *dispatch::insert(&*cell_, &v, -1, true, 1);
    }

    // Splices the values of a block.
    void add_each(const Cell& source) {
        Rooted<Cell> from(source);
        for (int32_t i = 0; i < block::rs_length(*from); ++i) add(block::rs_head(*from)[i]);
    }

    const Cell& value() { return *cell_; }

  private:
    Rooted<Cell> cell_;
    bool insert_ = false;
};

// compose's worker; false when a non-local exit is pending. A deep walk
// refuses a block that contains itself and stops at the depth limit.
bool compose_block(const Cell& source_in, bool deep, bool only, Target& target) {
    Rooted<Cell> source(source_in);
    block::clip_head(*source);
    std::optional<cycles::Guard> on_stack;
    if (deep) {
        cycles::refuse_cycle(source->w2);
        on_stack.emplace(source->w2);
    }
    Pin pin(source->w2);
    for (uint32_t i = source->w1; i < pin.buffer()->length(); ++i) {
        Cell c = pin.buffer()->head_cell()[i];
        switch (cell::type_of(c)) {
        case TYPE_BLOCK:
            if (deep) {
                Target inner(block::rs_length(c));
                if (!compose_block(c, true, only, inner)) return false;
                target.add(inner.value());
            } else {
                target.add(c);
            }
            break;
        case TYPE_PAREN: {
            if (block::rs_length(c) <= 0) break;
            interpreter::eval(c, false);
            if (rt.pending) return false;
            Rooted<Cell> result(*stack::get_top());
            stack::pop(1);
            uint32_t type = cell::type_of(*result);
            if (type == TYPE_UNSET) break;
            if (type == TYPE_BLOCK && !only)
                target.add_each(*result);
            else
                target.add(*result);
            break;
        }
        default: target.add(c);
        }
    }
    return true;
}

// The value of a word, checked for unset! unless any.
void get_word(const Cell& word, bool any) {
    const Cell* value = word::value_cell(word);
    if (!any && cell::type_of(*value) == TYPE_UNSET) script_error(err::script::no_value, &word);
    stack::set_last(*value);
}

// The block of an object's values.
void object_values(const Cell& object) {
    Rooted<Cell> obj(object);
    uint32_t n = object::words_count(*obj);
    Rooted<Cell> values;
    block::make_at(*values, int32_t(n));
    for (uint32_t i = 0; i < n; ++i) {
        Cell v = object::get_values(*obj)[i];
        block::append_value(*values, v);
    }
    stack::set_last(*values);
}

bool is_settable_word(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_GET_WORD;
}

// Sets a word (a copy: an unresolved word may grow its context).
void set_word(const Cell& word, const Cell& value) {
    Cell w = word;
    word::set(w, value);
}

// The context of bind's and in's target: a function's, an object's, or
// the one a word is bound to.
NodeId context_of(const Cell& target) {
    switch (cell::type_of(target)) {
    case TYPE_FUNCTION:
    case TYPE_ROUTINE:
    case TYPE_OBJECT:
    case TYPE_ERROR:
    case TYPE_PORT: return target.w1;
    default:
        if (word::any_word(cell::type_of(target)) && target.w1) return target.w1;
        script_error(err::script::invalid_arg, &target);
    }
}

// Builds the function! of the spec and body in slot 0.
void make_function(const Cell& spec_in, const Cell& body_in) {
    Rooted<Cell> spec(spec_in);
    Rooted<Cell> body(body_in);
    uint32_t flags = kiv::function::validate_spec(*spec);
    kiv::function::push(*spec, &*body, 0, 0, 0, flags);
    stack::set_last(*stack::get_top());
}

// The spec of any function-like value, at its head.
Cell spec_of(const Cell& function) {
    return Cell{TYPE_BLOCK, 0, function.w2, 0};
}

// The arguments a spec gives its function before the first refinement,
// and the argument count of each refinement (other than /local), in
// order.
struct Shape {
    uint32_t fixed = 0;
    std::vector<std::pair<Cell, uint32_t>> refinements;
};

Shape shape_of(const Cell& function) {
    Shape shape;
    Cell spec = spec_of(function);
    uint32_t local = symbol::resolve(words::refinement<"local">().w2);
    for (int32_t i = 0; i < block::rs_length(spec); ++i) {
        const Cell& c = block::rs_head(spec)[i];
        uint32_t type = cell::type_of(c);
        if (type == TYPE_REFINEMENT) {
            if (symbol::resolve(c.w2) == local) break;
            shape.refinements.emplace_back(c, 0);
        } else if (type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD) {
            if (shape.refinements.empty())
                ++shape.fixed;
            else
                ++shape.refinements.back().second;
        }
    }
    return shape;
}

// The truth of a refinement's flag in apply/all: a word gives its value.
bool flag_truth(const Cell& flag) {
    if (cell::type_of(flag) == TYPE_WORD) return !logic::counts_false(*word::value_cell(flag));
    return !logic::counts_false(flag);
}

// A value after a refinement in an apply block that switches it: a logic
// or none value, or (when the block is evaluated) a word holding one.
bool is_switch(const Cell& value, bool evaluated) {
    const Cell* v = &value;
    if (evaluated && cell::type_of(value) == TYPE_WORD) v = word::value_cell(value);
    uint32_t type = cell::type_of(*v);
    return type == TYPE_LOGIC || type == TYPE_NONE;
}

// How many arguments the spec gives the refinement (none when it has no
// such refinement).
uint32_t refinement_arity(const Shape& shape, const Cell& refinement) {
    uint32_t name = symbol::resolve(refinement.w2);
    for (auto& [r, count] : shape.refinements)
        if (symbol::resolve(r.w2) == name) return count;
    return 0;
}

} // namespace

void not_done(uint32_t type) {
    Cell name;
    datatype::make_at(name, type);
    runtime::fire_error(runtime::Category::internal, err::internal::not_done, &name);
}

void set_many(const Cell& words_in, const Cell& value_in, uint32_t count, bool allow_unset,
              bool single, bool skip_none) {
    Rooted<Cell> words(words_in);
    Rooted<Cell> value(value_in);
    for (uint32_t i = 0; i < count; ++i) {
        const Cell& w = block::rs_head(*words)[i];
        if (!is_settable_word(cell::type_of(w))) script_error(err::script::invalid_arg, &w);
    }
    uint32_t type = cell::type_of(*value);
    bool spread = !single && (type == TYPE_BLOCK || type == TYPE_OBJECT);
    // A change handler run by a set may shorten the block of words.
    for (uint32_t i = 0; i < count && int32_t(i) < block::rs_length(*words); ++i) {
        Cell v = *value;
        if (spread && type == TYPE_BLOCK)
            v = int32_t(i) < block::rs_length(*value) ? block::rs_head(*value)[i] : none::value;
        else if (spread)
            v = i < object::words_count(*value) ? object::get_values(*value)[i] : none::value;
        Cell w = block::rs_head(*words)[i];
        if (skip_none && cell::type_of(v) == TYPE_NONE) continue;
        if (!allow_unset && cell::type_of(v) == TYPE_UNSET)
            script_error(err::script::need_value, &w);
        set_word(w, v);
    }
}

namespace {

// Evaluates do's value by its type.
void evaluate(Cell& value, const int32_t* refinements) {
    uint32_t type = cell::type_of(value);
    if (type == TYPE_STRING) {
        Rooted<Cell> loaded;
        lexer::load(*loaded, value);
        value = *loaded;
        type = TYPE_BLOCK;
    }
    if (is_block_type(type)) {
        block::clip_head(value);
        if (given(refinements, 0)) {
            if (!evaluation::hooks.expand) not_done(type);
            evaluation::hooks.expand(value);
        }
        if (!given(refinements, 2)) {
            interpreter::eval(value, true);
            return;
        }
        Rooted<Cell> position(*refinement_arg(refinements, 2));
        uint32_t next = interpreter::eval_next_in(value);
        if (rt.pending) return;
        Rooted<Cell> result(*arg(0));
        Cell rest = value;
        rest.w1 = next;
        set_word(*position, rest);
        stack::set_last(*result);
        return;
    }
    switch (type) {
    case TYPE_PATH: eval_path_value(value); return;
    case TYPE_FILE:
    case TYPE_URL: {
        if (!evaluation::hooks.do_file) not_done(type);
        Cell args = given(refinements, 1) ? *refinement_arg(refinements, 1) : none::value;
        evaluation::hooks.do_file(value, args);
        return;
    }
    case TYPE_ERROR: stack::throw_error(value);
    default: eval_one(value);
    }
}

} // namespace

void do_(bool, const int32_t* refinements) {
    Rooted<Cell> value(*arg(0));
    bool traced = false;
    if (given(refinements, 3)) {
        if (!evaluation::hooks.trace_begin)
            not_done(cell::type_of(*refinement_arg(refinements, 3)));
        traced = evaluation::hooks.trace_begin(*refinement_arg(refinements, 3));
    }
    if (!traced) {
        evaluate(*value, refinements);
        return;
    }
    // The tracer hears the end however the evaluation ends.
    try {
        evaluate(*value, refinements);
    } catch (const runtime::Throw&) {
        evaluation::hooks.trace_end();
        throw;
    }
    evaluation::hooks.trace_end();
}

void reduce(bool, const int32_t* refinements) {
    Rooted<Cell> value(*arg(0));
    if (cell::type_of(*value) != TYPE_BLOCK) {
        if (is_function_type(cell::type_of(*value))) return; // returned uncalled
        eval_one(*value);
        return;
    }
    block::clip_head(*value);
    bool into = given(refinements, 0);
    Rooted<Cell> out(into ? *refinement_arg(refinements, 0) : none::value);
    if (into) block::clip_head(*out);
    Target target = into ? Target(*out) : Target(block::rs_length(*value));
    int32_t added = 0;
    Pin pin(value->w2);
    Buffer* b = pin.buffer();
    const Cell* pos = b->head_cell() + value->w1;
    while (pos < b->tail_cell()) {
        pos = interpreter::eval_next(*value, pos, b->tail_cell(), true);
        if (rt.pending) return;
        Cell v = *stack::get_top();
        stack::pop(1);
        cell::clear_bit_30(v); // the new-line flags of the source are not copied
        target.add(v);
        ++added;
    }
    if (into) ownership::check(*out, ownership::Word::insert, nullptr, int32_t(out->w1), added);
    stack::set_last(target.value());
}

void compose(bool, const int32_t* refinements) {
    Rooted<Cell> value(*arg(0));
    if (cell::type_of(*value) != TYPE_BLOCK) {
        Cell expected, actual;
        datatype::make_at(expected, TYPE_BLOCK);
        datatype::make_at(actual, cell::type_of(*value));
        script_error(err::script::expect_val, &expected, &actual);
    }
    Target target = given(refinements, 2) ? Target(*refinement_arg(refinements, 2))
                                          : Target(block::rs_length(*value));
    if (!compose_block(*value, given(refinements, 0), given(refinements, 1), target)) return;
    stack::set_last(target.value());
}

void get(bool, const int32_t* refinements) {
    Cell target = *arg(0);
    uint32_t type = cell::type_of(target);
    if (type == TYPE_OBJECT) return object_values(target);
    if (is_path_type(type)) return eval_path_value(target);
    get_word(target, given(refinements, 0));
}

void set(bool, const int32_t* refinements) {
    bool any = given(refinements, 0);
    bool only = given(refinements, 2);
    bool some = given(refinements, 3);
    Rooted<Cell> target(*arg(0));
    Rooted<Cell> value(*arg(1));
    if (!any && cell::type_of(*value) == TYPE_UNSET)
        script_error(err::script::need_value, &*target);
    uint32_t type = cell::type_of(*target);
    if (is_path_type(type)) {
        stack::mark_native(words::word<"<anon>">());
        stack::push(*value);
        Cell path = *target;
        interpreter::eval_path(path, nullptr, nullptr, path, true, false, false);
        if (rt.pending) return;
        stack::unwind_last();
    } else if (type == TYPE_OBJECT) {
        object::set_values(*target, *value, any, only, some);
    } else if (type == TYPE_BLOCK) {
        block::clip_head(*target);
        stack::mark_native(words::word<"<anon>">());
        set_many(*target, *value, uint32_t(block::rs_length(*target)), any, only, some);
        stack::unwind();
    } else {
        set_word(*target, *value);
    }
    stack::keep_last(*value);
}

void unset(bool, const int32_t*) {
    Rooted<Cell> target(*arg(0));
    if (cell::type_of(*target) == TYPE_WORD) {
        set_word(*target, kiv::unset::value);
    } else {
        block::clip_head(*target);
        for (int32_t i = 0; i < block::rs_length(*target); ++i) {
            Cell w = block::rs_head(*target)[i];
            if (cell::type_of(w) == TYPE_WORD) set_word(w, kiv::unset::value);
        }
    }
    kiv::unset::set_result();
}

void value_q(bool, const int32_t*) {
    Cell w = *arg(0);
    bool has_value = false;
    if (w.w1) {
        int32_t index = int32_t(w.w3) >= 0 ? int32_t(w.w3) : context::find_word(w.w1, w.w2, true);
        const Cell* value = index >= 0 ? context::slot_at(w.w1, uint32_t(index)) : nullptr;
        has_value = value && cell::type_of(*value) != TYPE_UNSET;
    }
    logic::set_result(has_value);
}

void in(bool, const int32_t*) {
    NodeId ctx = context_of(*arg(0));
    Cell w = *arg(1);
    if (word::bind_to(ctx, w) < 0)
        none::set_result();
    else
        stack::set_last(w);
}

void bind(bool, const int32_t* refinements) {
    Cell target = *arg(1);
    NodeId ctx = context_of(target);
    bool bind_self = cell::type_of(target) == TYPE_OBJECT;
    Cell words = *arg(0);
    if (cell::type_of(words) != TYPE_BLOCK) {
        word::bind_to(ctx, words);
        stack::set_last(words);
        return;
    }
    Rooted<Cell> block(words);
    if (given(refinements, 0)) *block = *block::push_copy(*block, true, true);
    context::bind_block(*block, ctx, bind_self);
    stack::set_last(*block);
}

void context_q(bool, const int32_t*) {
    Cell w = *arg(0);
    if (!w.w1)
        none::set_result();
    else
        stack::set_last(context::self_of(w.w1));
}

void construct(bool, const int32_t* refinements) {
    Cell spec = *arg(0);
    const Cell* prototype = given(refinements, 0) ? refinement_arg(refinements, 0) : nullptr;
    Cell* made = object::construct(spec, prototype, given(refinements, 1));
    stack::set_last(*made);
}

void extend(bool, const int32_t* refinements) {
    // Objects do not grow.
    if (cell::type_of(*arg(0)) != TYPE_MAP) not_done(cell::type_of(*arg(0)));
    Rooted<Cell> pairs(*arg(1));
    if (cell::type_of(*pairs) == TYPE_MAP) map::reflect(&*pairs, symbol::intern("body"));
    map::extend(*arg(0), *pairs, given(refinements, 0));
    stack::set_last(*arg(0));
}

void apply(bool, const int32_t* refinements) {
    bool all = given(refinements, 0);
    bool safer = given(refinements, 1);
    Rooted<Cell> name(words::word<"<anon>">());
    Rooted<Cell> function(*arg(0));
    Rooted<Cell> args(*arg(1));
    uint32_t type = cell::type_of(*function);
    if (type == TYPE_PATH) {
        if (block::rs_length(*function) <= 0) script_error(err::script::invalid_arg, arg(0));
        *function = block::rs_head(*function)[0];
        type = cell::type_of(*function);
    }
    if (type == TYPE_WORD) {
        *name = *function;
        *function = *word::value_cell(*name);
        type = cell::type_of(*function);
    }
    if (!is_function_type(type)) script_error(err::script::invalid_arg, arg(0));
    if (type == TYPE_OP) cell::set_type(*function, op::wrapped_type(*function));

    // The refinements to use become a path after the function's name; the
    // arguments left in order are fetched from a block of their own.
    Rooted<Cell> path;
    block::make_at(*path, 4);
    block::append_value(*path, *name);
    cell::set_type(*path, TYPE_PATH);
    Rooted<Cell> code;
    block::clip_head(*args);
    block::make_at(*code, block::rs_length(*args));
    if (all) {
        // Every argument of the spec in order, one value each; a
        // refinement is a flag value followed by its arguments.
        Shape shape = shape_of(*function);
        int32_t n = block::rs_length(*args);
        int32_t i = 0;
        auto take = [&](uint32_t count, bool keep) {
            for (uint32_t k = 0; k < count && i < n; ++k, ++i)
                if (keep) block::append_value(*code, Cell(block::rs_head(*args)[i]));
        };
        take(shape.fixed, true);
        for (auto& [refinement, count] : shape.refinements) {
            bool used = i < n && flag_truth(block::rs_head(*args)[i]);
            ++i;
            if (used) {
                Cell w = refinement;
                cell::set_type(w, TYPE_WORD);
                block::append_value(*path, w);
            }
            take(count, used);
        }
    } else {
        // Refinement! values name the refinements; the values after each
        // are its arguments. A logic or none value right after one (or a
        // word holding one) is its switch: false or none leaves it off,
        // and the values meant as its arguments are dropped with it.
        Shape shape;
        bool shaped = false;
        int32_t n = block::rs_length(*args);
        for (int32_t i = 0; i < n; ++i) {
            Cell c = block::rs_head(*args)[i];
            if (cell::type_of(c) != TYPE_REFINEMENT) {
                block::append_value(*code, c);
                continue;
            }
            if (i + 1 < n && is_switch(block::rs_head(*args)[i + 1], !safer)) {
                ++i;
                if (!flag_truth(block::rs_head(*args)[i])) {
                    if (!shaped) shape = shape_of(*function), shaped = true;
                    uint32_t count = refinement_arity(shape, c);
                    for (uint32_t k = 0; k < count && i + 1 < n; ++k, ++i)
                        if (cell::type_of(block::rs_head(*args)[i + 1]) == TYPE_REFINEMENT) break;
                    continue;
                }
            }
            cell::set_type(c, TYPE_WORD);
            block::append_value(*path, c);
        }
    }
    uint32_t mode = all || safer ? interpreter::mode::literal_arguments : 0;
    Pin pin(code->w2);
    const Cell* head = pin.buffer()->head_cell();
    const Cell* tail = pin.buffer()->tail_cell();
    bool refined = block::rs_length(*path) > 1;
    interpreter::eval_code(*function, head, tail, *code, true, refined ? &*path : nullptr, 0,
                           &*name, 0, mode, false);
    if (rt.pending) return;
    stack::set_last(*stack::get_top());
}

void func(bool, const int32_t*) {
    make_function(*arg(0), *arg(1));
}

void function(bool, const int32_t*) {
    Rooted<Cell> spec(*block::push_copy(*arg(0), true, false));
    Rooted<Cell> body(*arg(1));
    kiv::function::collect_locals(*spec, *body);
    make_function(*spec, *body);
}

void does(bool, const int32_t*) {
    Rooted<Cell> spec;
    block::make_at(*spec, 1);
    make_function(*spec, *arg(0));
}

void has(bool, const int32_t*) {
    Rooted<Cell> spec(*block::push_copy(*arg(0), false, false));
    block::insert_value(*spec, words::refinement<"local">(), false, true);
    make_function(*spec, *arg(1));
}

void register_evaluation() {
    register_native(14, func, {2, 0});
    register_native(15, function, {2, 1});
    register_native(16, does, {1, 0});
    register_native(17, has, {2, 0});
    register_native(20, do_, {1, 4});
    register_native(21, get, {1, 2});
    register_native(22, set, {2, 4});
    register_native(35, reduce, {1, 1});
    register_native(36, compose, {1, 3});
    register_native(38, bind, {2, 1});
    register_native(39, in, {2, 0});
    register_native(68, construct, {1, 2});
    register_native(69, value_q, {1, 0});
    register_native(83, extend, {2, 1});
    register_native(88, unset, {1, 0});
    register_native(92, context_q, {1, 0});
    register_native(107, apply, {2, 2});
}

} // namespace kiv::natives
