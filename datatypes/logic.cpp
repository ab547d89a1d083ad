#include "datatypes/logic.h"

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/unit.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/types.h"

namespace kiv::logic {

const Cell true_value{TYPE_LOGIC, 1, 0, 0};
const Cell false_value{TYPE_LOGIC, 0, 0, 0};

Cell* make_at(Cell& c, bool flag) {
    c = flag ? true_value : false_value;
    return &c;
}

Cell* make_in(Cell& block, bool flag) {
    return make_at(*cell::alloc_tail(block), flag);
}

Cell* push(bool flag) {
    return make_at(*stack::push_raw(), flag);
}

Cell* set_result(bool flag) {
    return make_at(*stack::state.base, flag);
}

bool true_cell(const Cell& c, bool check_unset, const Cell* name) {
    if (check_unset && cell::type_of(c) == TYPE_UNSET)
        runtime::fire_error(runtime::Category::script, err::script::no_value, name);
    return !counts_false(c);
}

bool true_q() {
    const Cell& result = *stack::state.base;
    if (cell::type_of(result) == TYPE_UNSET)
        runtime::fire_error(runtime::Category::script, err::script::no_return);
    return !counts_false(result);
}

bool false_q() {
    return counts_false(*stack::state.base);
}

bool top_false_q() {
    const stack::State& s = stack::state;
    return counts_false(s.top > s.base ? s.top[-1] : *s.base);
}

namespace {

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    switch (cell::type_of(*spec)) {
    case TYPE_LOGIC: return &cell::copy(*spec, *proto);
    case TYPE_NONE: return make_at(*proto, false);
    default: return make_at(*proto, true);
    }
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    switch (cell::type_of(*spec)) {
    case TYPE_INTEGER: return make_at(*proto, spec->w2 != 0);
    case TYPE_FLOAT:
    case TYPE_PERCENT: return make_at(*proto, cell::get_float(*spec) != 0.0); // NaN is true
    default: return to(proto, spec, type);
    }
}

// True half the time: bit 30 of the draw, which is uniform whether the
// generator gives 31 or 32 bits.
Cell* random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        random::seed(int32_t(value->w1));
        *value = Cell{TYPE_UNSET, 0, 0, 0};
        return value;
    }
    uint32_t drawn = uint32_t(secure ? random::crypto_int() : random::rand());
    value->w1 = (drawn >> 30) & 1;
    return value;
}

int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    bool flag = get(*value);
    string::append_c_string(*buffer, flag ? "true" : "false");
    return part - (flag ? 4 : 5);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool all, bool, const Cell* arg, int32_t part,
             int32_t) {
    if (!all) return form(value, buffer, arg, part);
    bool flag = get(*value);
    string::append_c_string(*buffer, flag ? "#(true)" : "#(false)");
    return part - (flag ? 7 : 8);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_LOGIC || !unit::compares_under(op)) return -2;
    return int32_t(value1->w1) - int32_t(value2->w1);
}

// The bitwise actions need a logic! second argument.
void check_second(const Cell* args) {
    if (cell::type_of(args[1]) == TYPE_LOGIC) return;
    Cell type;
    datatype::make_at(type, cell::type_of(args[1]));
    runtime::fire_error(runtime::Category::script, err::script::expect_arg, nullptr, &type);
}

void and_() {
    Cell* args = frame_args();
    check_second(args);
    args[0].w1 &= args[1].w1;
}
void or_() {
    Cell* args = frame_args();
    check_second(args);
    args[0].w1 |= args[1].w1;
}
void xor_() {
    Cell* args = frame_args();
    check_second(args);
    args[0].w1 ^= args[1].w1;
}

Cell* complement(Cell* value) {
    value->w1 = !value->w1;
    return value;
}

} // namespace

void init() {
    datatype::register_type(TYPE_LOGIC, 0, "logic!",
                            {{Slot::make, make},
                             {Slot::random, random},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::and_, and_},
                             {Slot::complement, complement},
                             {Slot::or_, or_},
                             {Slot::xor_, xor_}});
}

} // namespace kiv::logic
