#include "datatypes/function.h"

#include <algorithm>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unit.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv {

namespace extras {} // namespace extras

namespace {

constexpr Cell unset_cell{cell::unset_header, 0, 0, 0};

bool named(const Cell& c, uint32_t symbol) {
    return symbol::resolve(c.w2) == symbol::resolve(symbol);
}
bool is_refinement(const Cell& c, uint32_t symbol) {
    return cell::type_of(c) == TYPE_REFINEMENT && named(c, symbol);
}
uint32_t local_symbol() {
    return words::refinement<"local">().w2;
}
uint32_t extern_symbol() {
    return words::refinement<"extern">().w2;
}

bool is_list(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN;
}

[[noreturn]] void script_error(uint32_t id, const Cell& arg) {
    Cell held = arg;
    runtime::fire_error(runtime::Category::script, id, &held);
}

// Cell i from the head of a block; re-read after every allocation.
Cell& cell_at(const Cell& block, int32_t i) {
    return block::rs_head(block)[i];
}
int32_t length_of(const Cell& block) {
    return std::max(block::rs_length(block), 0);
}

// A copy of the block's cells from its head into `out` (head 0), nested
// blocks and parens copied too. A block met inside itself is shared, not
// copied again.
void copy_deep(const Cell& source, Cell& out) {
    Rooted<Cell> from(source);
    block::make_at(out, length_of(source));
    cell::set_type(out, cell::type_of(source));
    block::append_cells(out, *from);
    cycles::Guard guard(from->w2);
    for (int32_t i = 0; i < length_of(out); ++i) {
        Cell c = cell_at(out, i);
        if (!is_list(cell::type_of(c)) || cycles::find(c.w2)) continue;
        Rooted<Cell> copy;
        copy_deep(c, *copy);
        copy->header = c.header;
        cell_at(out, i) = *copy;
    }
}

// A spec whose head is not at 0 is replaced by a copy from its head.
void rebase(Cell& spec) {
    block::clip_head(spec);
    if (spec.w1 == 0) return;
    Rooted<Cell> from(spec);
    block::make_at(spec, length_of(*from));
    block::append_cells(spec, *from);
}

// Molds the series of a spec or body as a block from index 0.
int32_t mold_block(NodeId node, Cell* buffer, bool all, bool flat, const Cell* arg, int32_t part,
                   int32_t indent) {
    Cell block{TYPE_BLOCK, 0, node, 0};
    return block::mold(&block, buffer, false, all, flat, arg, part, indent);
}

// The extras block of a new function-like value.
NodeId new_extras(const Cell& body, uint32_t code, uint32_t code2) {
    Rooted<Cell> kept(body);
    Cell extras;
    block::make_at(extras, int32_t(extras::size));
    RootedNode node(extras.w2);
    auto number_or_unset = [](uint32_t n) { return n ? Cell{TYPE_INTEGER, 0, n, 0} : unset_cell; };
    const Cell cells[extras::size] = {*kept, unset_cell, number_or_unset(code), unset_cell,
                                      number_or_unset(code2)};
    for (const Cell& c : cells) block::append_value(extras, c);
    return node;
}

} // namespace

namespace function {

NodeId push(const Cell& spec_in, const Cell* body_in, NodeId ctx_in, uint32_t code, uint32_t code2,
            uint32_t flags) {
    Rooted<Cell> spec(spec_in);
    Rooted<Cell> body(body_in ? *body_in : none::value);
    rebase(*spec);
    if (body_in) {
        block::clip_head(*body);
        copy_deep(Cell(*body), *body);
    }
    RootedNode extras(new_extras(*body, code, code2));
    RootedNode ctx(ctx_in ? ctx_in
                          : context::make_from_spec(*spec, true, false, context::Kind::function));
    Cell value{TYPE_FUNCTION | flags, ctx, spec->w2, extras};
    stack::push(value);
    context::self_of(ctx) = value;
    if (!ctx_in && body_in) context::bind_block(*body, ctx, false);
    return ctx;
}

void push_recreated(const Cell& original_in, const Cell& body_in, NodeId ctx_in) {
    Rooted<Cell> original(original_in);
    RootedNode ctx(ctx_in);
    RootedNode extras(new_extras(body_in, 0, 0));
    Cell value{original->header, ctx, original->w2, extras};
    *extras::at(value, extras::arguments) = *extras::at(*original, extras::arguments);
    stack::push(value);
    context::self_of(ctx) = value;
}

int32_t attribute_flags(const Cell& attributes) {
    int32_t flags = 0;
    for (int32_t i = 0; i < length_of(attributes); ++i) {
        const Cell& c = cell_at(attributes, i);
        if (cell::type_of(c) != TYPE_WORD) return -1;
        if (named(c, words::sym<"trace">())) flags |= int32_t(flag::trace);
        if (named(c, words::sym<"no-trace">())) flags |= int32_t(flag::no_trace);
    }
    return flags;
}

void check_type_block(const Cell& types) {
    auto is_type = [](uint32_t t) { return t == TYPE_DATATYPE || t == TYPE_TYPESET; };
    for (int32_t i = 0; i < length_of(types); ++i) {
        Cell c = cell_at(types, i);
        uint32_t t = cell::type_of(c);
        if (is_type(t)) continue;
        if (t == TYPE_WORD) {
            const Cell* value = word::value_cell(c);
            uint32_t vt = cell::type_of(*value);
            if (vt == TYPE_UNSET) script_error(err::script::no_value, c);
            if (is_type(vt) || vt == TYPE_WORD) continue;
        }
        script_error(err::script::invalid_type_spec, c);
    }
}

void check_duplicates(const Cell& spec) {
    auto is_name = [](uint32_t t) {
        return t == TYPE_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD || t == TYPE_REFINEMENT;
    };
    int32_t n = length_of(spec);
    for (int32_t i = 1; i < n; ++i) {
        const Cell& later = cell_at(spec, i);
        if (!is_name(cell::type_of(later))) continue;
        for (int32_t j = 0; j < i; ++j) {
            const Cell& earlier = cell_at(spec, j);
            if (is_name(cell::type_of(earlier)) && named(earlier, later.w2))
                script_error(err::script::dup_vars, later);
        }
    }
}

uint32_t validate_spec(const Cell& spec) {
    auto fail = [&spec]() { script_error(err::script::bad_func_def, spec); };
    int32_t n = length_of(spec);
    auto type_at = [&](int32_t i) { return i < n ? cell::type_of(cell_at(spec, i)) : 0u; };
    uint32_t flags = 0;
    int32_t i = 0;
    if (type_at(0) == TYPE_BLOCK) {
        int32_t f = attribute_flags(cell_at(spec, 0));
        if (f < 0) fail();
        flags = uint32_t(f);
        i = 1;
    }
    bool return_seen = false, local_seen = false;
    while (i < n) {
        Cell c = cell_at(spec, i);
        switch (cell::type_of(c)) {
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
            if (local_seen) fail();
            [[fallthrough]];
        case TYPE_WORD:
            if (return_seen && !local_seen) fail();
            if (type_at(i + 1) == TYPE_BLOCK) {
                check_type_block(Cell(cell_at(spec, i + 1)));
                ++i;
            }
            break;
        case TYPE_SET_WORD: {
            if (return_seen || local_seen || !named(c, words::sym<"return">())) fail();
            if (type_at(i + 1) != TYPE_BLOCK) fail();
            uint32_t after = type_at(i + 2);
            if (after != 0 && after != TYPE_REFINEMENT && after != TYPE_STRING) fail();
            return_seen = true;
            ++i;
            break;
        }
        case TYPE_REFINEMENT: {
            if (named(c, local_symbol()))
                local_seen = true;
            else if (local_seen || return_seen)
                fail();
            switch (type_at(i + 1)) {
            case 0:
            case TYPE_WORD:
            case TYPE_GET_WORD:
            case TYPE_LIT_WORD:
            case TYPE_REFINEMENT:
            case TYPE_SET_WORD:
            case TYPE_STRING: break;
            default: fail();
            }
            break;
        }
        case TYPE_STRING: break;
        default: fail();
        }
        ++i;
    }
    check_duplicates(spec);
    return flags;
}

namespace {

// The words that collect_locals gathers, and the names it must not gather
// (spec words, extern words, earlier locals).
struct Collector {
    Cell* list;
    Cell* ignore;

    bool ignored(uint32_t symbol) const {
        for (int32_t i = 0; i < length_of(*ignore); ++i) {
            const Cell& c = cell_at(*ignore, i);
            if (word::any_word(cell::type_of(c)) && named(c, symbol)) return true;
        }
        return false;
    }
    void collect(const Cell& w) {
        if (ignored(w.w2)) return;
        Cell as_word = w;
        as_word.header = TYPE_WORD;
        block::append_value(*list, as_word);
        block::append_value(*ignore, as_word);
    }
    void collect_if(const Cell& c, std::initializer_list<uint32_t> types) {
        if (std::find(types.begin(), types.end(), cell::type_of(c)) != types.end()) collect(c);
    }

    void walk(const Cell& body) {
        if (cycles::find(body.w2)) return;
        cycles::Guard guard(body.w2);
        for (int32_t i = 0; i < length_of(body); ++i) {
            Cell c = cell_at(body, i);
            Cell next = i + 1 < length_of(body) ? cell_at(body, i + 1) : unset_cell;
            switch (cell::type_of(c)) {
            case TYPE_SET_WORD: collect(c); break;
            case TYPE_WORD:
                if (named(c, words::sym<"foreach">()) || named(c, words::sym<"remove-each">())) {
                    if (cell::type_of(next) == TYPE_BLOCK) {
                        for (int32_t k = 0; k < length_of(next); ++k)
                            collect_if(Cell(cell_at(next, k)),
                                       {TYPE_WORD, TYPE_GET_WORD, TYPE_LIT_WORD});
                    } else {
                        collect_if(next, {TYPE_WORD, TYPE_SET_WORD});
                    }
                } else if (named(c, words::sym<"repeat">())) {
                    collect_if(next, {TYPE_WORD, TYPE_SET_WORD});
                }
                break;
            case TYPE_BLOCK:
            case TYPE_PAREN: walk(c); break;
            default: break;
            }
        }
    }
};

int32_t find_refinement(const Cell& block, int32_t from, uint32_t symbol) {
    for (int32_t i = from; i < length_of(block); ++i)
        if (is_refinement(cell_at(block, i), symbol)) return i;
    return -1;
}

} // namespace

Cell* collect_locals(Cell& spec, const Cell& body_in) {
    Rooted<Cell> body(body_in);
    Cell* list = block::push_new(8);
    Cell* ignore = stack::push(unset_cell);
    block::make_at(*ignore, length_of(spec));
    block::append_cells(*ignore, spec);

    int32_t ext = find_refinement(spec, 0, extern_symbol());
    if (ext >= 0) {
        int32_t j = ext + 1;
        while (j < length_of(spec) && cell::type_of(cell_at(spec, j)) == TYPE_WORD) ++j;
        if (j < length_of(spec) && is_refinement(cell_at(spec, j), local_symbol()))
            for (++j; j < length_of(spec) && cell::type_of(cell_at(spec, j)) == TYPE_WORD; ++j)
                block::append_value(*list, Cell(cell_at(spec, j)));
        block::truncate_at(spec, int32_t(spec.w1) + ext);
    }

    for (int32_t i = 0; i < length_of(*ignore); ++i) {
        Cell& c = cell_at(*ignore, i);
        switch (cell::type_of(c)) {
        case TYPE_WORD:
        case TYPE_BLOCK:
        case TYPE_STRING: break;
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
        case TYPE_REFINEMENT: cell::set_type(c, TYPE_WORD); break;
        default:
            if (ext >= 0) script_error(err::script::bad_func_extern, c);
        }
    }

    Collector{list, ignore}.walk(*body);

    if (length_of(*list) > 0) {
        if (find_refinement(spec, 0, local_symbol()) < 0)
            block::append_value(spec, words::refinement<"local">());
        Cell local = words::word<"local">();
        for (int32_t i = 0; i < length_of(*list); ++i) {
            Cell c = cell_at(*list, i);
            if (named(c, local.w2)) continue;
            block::append_value(spec, c);
        }
    }
    stack::pop(1); // the ignore block
    return list;
}

int32_t count_locals(NodeId spec, int32_t start, bool strict) {
    Cell block{TYPE_BLOCK, 0, spec, 0};
    int32_t at = find_refinement(block, std::max(start, 0), local_symbol());
    if (at < 0) return strict ? -1 : 0;
    int32_t count = 1;
    for (int32_t i = at + 1; i < length_of(block); ++i)
        if (cell::type_of(cell_at(block, i)) == TYPE_WORD) ++count;
    return count;
}

void push_unused_refinement(int32_t n) {
    logic::push(false);
    for (int32_t i = 1; i < n; ++i) none::push();
}

Cell* make(Cell*, const Cell* spec, uint32_t) {
    auto is_block_at = [spec](int32_t i) { return cell::type_of(cell_at(*spec, i)) == TYPE_BLOCK; };
    if (cell::type_of(*spec) != TYPE_BLOCK || block::rs_length(*spec) < 2 || !is_block_at(0) ||
        !is_block_at(1))
        script_error(err::script::bad_func_def, *spec);
    Rooted<Cell> fspec(cell_at(*spec, 0));
    Rooted<Cell> body(cell_at(*spec, 1));
    uint32_t flags = validate_spec(*fspec);
    push(*fspec, &*body, 0, 0, 0, flags);
    return stack::get_top();
}

Cell* reflect(Cell* value, uint32_t field) {
    if (symbol::resolve(field) == symbol::resolve(words::sym<"spec">())) {
        *value = Cell{TYPE_BLOCK, 0, value->w2, 0};
    } else if (symbol::resolve(field) == symbol::resolve(words::sym<"body">())) {
        *value = *extras::at(*value, extras::body);
    } else if (symbol::resolve(field) == symbol::resolve(words::sym<"words">())) {
        NodeId ctx = value->w1;
        uint32_t n = context::size_of(ctx);
        Rooted<Cell> list;
        block::make_at(*list, int32_t(n));
        for (uint32_t i = 0; i < n; ++i) {
            Cell w = *context::word_at(ctx, i);
            w.w1 = ctx;
            w.w3 = i;
            block::append_value(*list, w);
        }
        *value = *list;
    } else {
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    }
    return value;
}

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
    string::append_c_string(*buffer, "?function?");
    return part - 10;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    string::append_c_string(*buffer, "func ");
    part = mold_block(value->w2, buffer, all, flat, arg, part - 5, indent);
    Cell body = *extras::at(*value, extras::body);
    if (cell::type_of(body) != TYPE_BLOCK) {
        string::append_c_string(*buffer, " none");
        return part - 5;
    }
    return mold_block(body.w2, buffer, all, flat, arg, part, indent);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    // The same type and an operator that unit values answer.
    if (unit::compare(value1, value2, op) == -2) return -2;
    auto order = [](int32_t a, int32_t b) { return (a > b) - (a < b); };
    // Header bits 16-23 hold an op!'s wrapped type and are 0 in the others.
    auto wrapped = [](const Cell* v) { return int32_t((v->header >> 16) & 0xFF); };
    if (int32_t r = order(wrapped(value1), wrapped(value2))) return r;
    return order(int32_t(value1->w1), int32_t(value2->w1));
}

void init() {
    datatype::register_type(TYPE_FUNCTION, TYPE_CONTEXT, "function!",
                            {{Slot::make, make},
                             {Slot::reflect, reflect},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare}});
}

} // namespace function

namespace routine {
namespace {

std::vector<Body> bodies;

struct Named {
    std::string name;
    uint32_t index;
};
std::vector<Named> named;

} // namespace

bool binding_open = false;

void register_named(std::string_view name, Body body) {
    named.push_back({std::string(name), register_body(body)});
}

uint32_t named_index(const Cell& name) {
    if (cell::type_of(name) != TYPE_STRING) return 0;
    for (const Named& entry : named)
        if (string::length(name) == entry.name.size() &&
            string::match_c_string(name, entry.name.c_str()))
            return entry.index;
    return 0;
}

uint32_t register_body(Body body) {
    bodies.push_back(body);
    return uint32_t(bodies.size());
}

Body body_at(uint32_t index) {
    return index >= 1 && index <= bodies.size() ? bodies[index - 1] : nullptr;
}

void call(const Cell& routine, Cell* args) {
    const Cell& code = *extras::at(routine, extras::code);
    Body body = cell::type_of(code) == TYPE_INTEGER ? body_at(code.w2) : nullptr;
    if (!body) runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    body(args);
}

Cell* push(const Cell& spec_in, const Cell* body, uint32_t code, uint32_t code2, bool flag) {
    Rooted<Cell> spec(spec_in);
    rebase(*spec);
    RootedNode extras(new_extras(body ? *body : none::value, code, code2));
    NodeId ctx = context::make_from_spec(*spec, true, false, context::Kind::function);
    Cell value{TYPE_ROUTINE | (flag ? routine_flag : 0), ctx, spec->w2, extras};
    Cell* pushed = stack::push(value);
    store_arity(*pushed);
    return pushed;
}

uint32_t arity(const Cell& routine) {
    return (routine.header & arity_mask) >> arity_shift;
}

void store_arity(Cell& routine) {
    Cell spec{TYPE_BLOCK, 0, routine.w2, 0};
    uint32_t count = 0;
    for (int32_t i = 0; i < length_of(spec); ++i)
        if (cell::type_of(cell_at(spec, i)) == TYPE_WORD) ++count;
    // The header has five bits for it.
    count = std::min(count, 31u);
    routine.header = (routine.header & ~arity_mask) | (count << arity_shift);
}

Cell* make(Cell*, const Cell* spec, uint32_t) {
    uint32_t index = 0;
    if (binding_open && cell::type_of(*spec) == TYPE_BLOCK && block::rs_length(*spec) == 2 &&
        cell::type_of(cell_at(*spec, 0)) == TYPE_BLOCK)
        index = named_index(cell_at(*spec, 1));
    if (!index) runtime::fire_error(runtime::Category::internal, err::internal::routines);
    Rooted<Cell> rspec(cell_at(*spec, 0));
    Rooted<Cell> name(cell_at(*spec, 1));
    function::validate_spec(*rspec);
    return push(*rspec, &*name, index, 0, false);
}

int32_t form(const Cell*, Cell* buffer, const Cell*, int32_t part) {
    string::append_c_string(*buffer, "?routine?");
    return part - 9;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    string::append_c_string(*buffer, "routine ");
    part = mold_block(value->w2, buffer, all, flat, arg, part - 8, indent);
    Cell body = *extras::at(*value, extras::body);
    if (cell::type_of(body) == TYPE_BLOCK)
        return block::mold(&body, buffer, false, all, flat, arg, part, indent);
    string::append_c_string(*buffer, " ");
    return dispatch::mold(body, *buffer, false, all, flat, arg, part - 1, indent);
}

void init() {
    datatype::register_type(TYPE_ROUTINE, TYPE_FUNCTION, "routine!",
                            {{Slot::make, make}, {Slot::form, form}, {Slot::mold, mold}});
}

} // namespace routine

} // namespace kiv
