#include "datatypes/native.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/natives.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/words.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv {
namespace {

// Fixed arguments and refinements of each action slot's stack entry; -1
// where the slot has no fixed shape (path evaluation) or no entry.
constexpr natives::Arity action_arity[native::action_count] = {
    {2, 0},  {1, 3}, {2, 0}, {2, 0}, {1, 1}, {1, 4}, {-1, -1}, {-1, -1}, {-1, -1}, {1, 0}, // 1-10
    {2, 0},  {2, 0}, {2, 0}, {1, 0}, {2, 0}, {2, 0}, {1, 7},   {2, 0},   {1, 0},   {1, 0}, // 11-20
    {2, 0},  {1, 0}, {2, 0}, {2, 0}, {2, 3}, {2, 0}, {1, 0},   {2, 3},   {1, 0},   {1, 3}, // 21-30
    {2, 11}, {1, 0}, {1, 0}, {1, 0}, {2, 3}, {1, 0}, {2, 1},   {1, 0},   {2, 0},   {3, 0}, // 31-40
    {3, 1},  {1, 2}, {1, 2}, {2, 9}, {1, 7}, {2, 0}, {2, 0},   {1, 0},   {1, 0},   {1, 3}, // 41-50
    {1, 6},  {1, 0}, {1, 0}, {1, 0}, {3, 1}, {1, 5}, {1, 0},   {1, 0},   {1, 6},   {2, 0}, // 51-60
    {1, 0},  {2, 8},                                                                       // 61-62
};

const char* const form_texts[] = {"?native?", "?action?", "?op?"};

bool named(uint32_t symbol, uint32_t expected) {
    return symbol::resolve(symbol) == symbol::resolve(expected);
}

// The arity a spec declares: word!, lit-word! and get-word! cells before
// the first refinement, and the refinements up to /local.
natives::Arity arity_of(const Cell& spec) {
    natives::Arity a{0, 0};
    uint32_t local = words::refinement<"local">().w2;
    for (Cell* c = block::rs_head(spec); c < block::rs_tail(spec); ++c) {
        switch (cell::type_of(*c)) {
        case TYPE_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
            if (a.refinements == 0) ++a.arguments;
            break;
        case TYPE_REFINEMENT:
            if (named(c->w2, local)) return a;
            ++a.refinements;
            break;
        default: break;
        }
    }
    return a;
}

bool matches(const natives::Arity& known, const natives::Arity& declared) {
    return (known.arguments < 0 || known.arguments == declared.arguments) &&
           (known.refinements < 0 || known.refinements == declared.refinements);
}

// Whether the index names a function of that type and the spec fits it.

int32_t mold_spec(const Cell& value, Cell* buffer, bool all, bool flat, const Cell* arg,
                  int32_t part, int32_t indent) {
    Cell spec{TYPE_BLOCK, 0, value.w2, 0};
    return block::mold(&spec, buffer, false, all, flat, arg, part, indent);
}

} // namespace

namespace native {

bool valid_index(uint32_t type, int32_t index, const Cell& spec) {
    if (index < 1) return false;
    uint32_t i = uint32_t(index);
    natives::Arity known;
    if (type == TYPE_NATIVE) {
        if (!natives::entry(i)) return false;
        known = natives::arity(i);
    } else {
        if (i > native::action_count || !dispatch::entry(i)) return false;
        known = action_arity[i - 1];
    }
    return matches(known, arity_of(spec));
}

Cell* push(uint32_t type, const Cell& spec_in, uint32_t index) {
    Rooted<Cell> spec(spec_in);
    Cell* value = stack::push(Cell{cell::unset_header, 0, 0, 0});
    Cell extras;
    block::make_at(extras, 2);
    *value = Cell{type, index, spec->w2, extras.w2};
    NodeId ctx = context::make_from_spec(*spec, true, false, context::Kind::function);
    Rooted<Cell> ctx_cell(context::cell_of(ctx));
    block::append_value(extras, *ctx_cell);
    block::append_value(extras, none::value);
    return value;
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    bool shaped = cell::type_of(*spec) == TYPE_BLOCK && block::rs_length(*spec) == 2;
    const Cell* first = shaped ? block::rs_head(*spec) : nullptr;
    if (!shaped || cell::type_of(first[0]) != TYPE_BLOCK ||
        cell::type_of(first[1]) != TYPE_INTEGER ||
        !valid_index(type, int32_t(first[1].w2), first[0])) {
        Cell p = *proto, s = *spec;
        runtime::fire_error(runtime::Category::script, err::script::bad_make_arg, &p, &s);
    }
    Cell fspec = first[0];
    return push(type, fspec, first[1].w2);
}

Cell* reflect(Cell* value, uint32_t field) {
    if (named(field, words::sym<"spec">())) {
        *value = Cell{TYPE_BLOCK, 0, value->w2, 0};
        return value;
    }
    if (!named(field, words::sym<"body">()))
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    uint32_t wrapped = cell::type_of(*value) == TYPE_OP ? op::wrapped_type(*value) : 0;
    if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE)
        *value = *extras::at(*value, extras::body);
    else
        *value = Cell{TYPE_INTEGER, 0, value->w1, 0};
    return value;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    const char* text = form_texts[cell::type_of(*value) - TYPE_NATIVE];
    string::append_c_string(*buffer, text);
    return part - int32_t(std::char_traits<char>::length(text));
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    string::append_c_string(*buffer, cell::type_of(*value) == TYPE_NATIVE ? "make native! ["
                                                                          : "make action! [");
    part = mold_spec(*value, buffer, all, flat, arg, part - 14, indent);
    string::append_c_string(*buffer, "]");
    return part - 1;
}

void init() {
    datatype::register_type(TYPE_NATIVE, 0, "native!",
                            {{Slot::make, native::make},
                             {Slot::reflect, native::reflect},
                             {Slot::form, form},
                             {Slot::mold, native::mold},
                             {Slot::compare, function::compare}});
    datatype::register_type(TYPE_ACTION, TYPE_NATIVE, "action!", {});
    datatype::register_type(TYPE_OP, TYPE_NATIVE, "op!",
                            {{Slot::make, op::make}, {Slot::mold, op::mold}});
}

} // namespace native

namespace op {
namespace {

// An op! needs exactly two arguments, the left one evaluated: a lit-word!
// or get-word! may not come first, and refinements other than /local and
// /extern are not allowed.
bool valid_spec(const Cell& value) {
    Cell spec{TYPE_BLOCK, 0, value.w2, 0};
    uint32_t local = words::refinement<"local">().w2;
    uint32_t extern_ = words::refinement<"extern">().w2;
    bool word_seen = false;
    int32_t count = 0;
    for (Cell* c = block::rs_head(spec); c < block::rs_tail(spec); ++c) {
        switch (cell::type_of(*c)) {
        case TYPE_WORD:
            word_seen = true;
            ++count;
            break;
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
            if (!word_seen) return false;
            ++count;
            break;
        case TYPE_REFINEMENT: return (named(c->w2, local) || named(c->w2, extern_)) && count == 2;
        case TYPE_SET_WORD: return count == 2;
        default: break;
        }
    }
    return count == 2;
}

} // namespace

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    uint32_t type = cell::type_of(*spec);
    switch (type) {
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE: break;
    default: {
        Cell datatype;
        datatype::make_at(datatype, type);
        runtime::fire_error(runtime::Category::script, err::script::invalid_type, &datatype);
    }
    }
    if (!valid_spec(*spec))
        runtime::fire_error(runtime::Category::script, err::script::bad_op_spec);
    *proto = *spec;
    if (type == TYPE_FUNCTION || type == TYPE_ROUTINE) *extras::at(*spec, extras::op) = *spec;
    // The wrapped value's flags (attributes, routine flag and arity) stay.
    proto->header = (spec->header & ~(cell::type_mask | (0xFFu << wrapped_shift))) | TYPE_OP |
                    (type << wrapped_shift);
    return proto;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    bool function = wrapped_type(*value) == TYPE_FUNCTION;
    string::append_c_string(*buffer, function ? "make op! func " : "make op! [");
    part -= function ? 14 : 10;
    part = mold_spec(*value, buffer, all, flat, arg, part, indent);
    if (!function) {
        string::append_c_string(*buffer, "]");
        return part - 1;
    }
    Cell body = *extras::at(*value, extras::body);
    if (cell::type_of(body) != TYPE_BLOCK) return part;
    return block::mold(&body, buffer, false, all, flat, arg, part, indent);
}

} // namespace op

} // namespace kiv
