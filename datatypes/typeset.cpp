#include "datatypes/typeset.h"

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/fatal.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::typeset {

namespace {

// The map word and the bit inside it of a type id: byte t / 8 sits in
// word 1 + byte / 4 at bits 8 * (byte % 4), most significant bit first.
uint32_t& word_of(Cell& c, uint32_t type) {
    uint32_t* words[] = {&c.w1, &c.w2, &c.w3};
    return *words[type / 32];
}
uint32_t mask_of(uint32_t type) {
    return bit_places[type].mask;
}

// Whether type id t is a member that enumeration lists: ids 1 to the
// highest registered one, skipping ids no type has registered.
bool listed(const Cell& c, uint32_t type) {
    return has(c, type) && datatype::name_of(type).name;
}

[[noreturn]] void raise(uint32_t id, const Cell* arg1, const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

// The value of a word! (an unset one raises script/no-value); any other
// value as it is.
Cell resolved(const Cell& value) {
    if (cell::type_of(value) != TYPE_WORD) return value;
    Cell v = *word::get_value(value);
    stack::pop(1);
    return v;
}

void or_into(Cell& target, const Cell& source) {
    target.w1 |= source.w1;
    target.w2 |= source.w2;
    target.w3 |= source.w3;
}

void append_text(Cell& buffer, const char* text, uint32_t length) {
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(text), length);
}

// The writer shared by form and mold.
int32_t write(const Cell& value, Cell& buffer, bool only, const Cell* arg, int32_t part) {
    if (!only) {
        string::append_c_string(buffer, "make typeset! [");
        part -= 15;
    }
    bool written = false;
    for (uint32_t t = 1; t <= datatype::highest_type(); ++t) {
        if (!listed(value, t)) continue;
        if (arg && part < 0) return part;
        const datatype::TypeName& name = datatype::name_of(t);
        append_text(buffer, name.name, name.length + 1);
        append_text(buffer, " ", 1);
        part -= int32_t(name.length) + 2;
        written = true;
    }
    Buffer* b = memory::buffer_of(buffer.w2);
    if (only) {
        if (written) {
            string::truncate_buffer(b, b->length() - 1);
            ++part;
        }
    } else if (written) {
        string::poke_char(b, b->tail - b->unit(), ']');
    } else {
        append_text(buffer, "]", 1);
    }
    return part;
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return write(*value, *buffer, false, arg, part);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return write(*value, *buffer, only, arg, part);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    switch (cell::type_of(*spec)) {
    case TYPE_TYPESET: return &cell::copy(*spec, *proto);
    case TYPE_BLOCK: {
        Cell* result = clear(*stack::push_raw());
        int32_t length = block::rs_length(*spec);
        for (int32_t i = 0; i < length; ++i) add_type(*result, block::rs_head(*spec)[i]);
        return result;
    }
    default: {
        Cell type;
        datatype::make_at(type, TYPE_TYPESET);
        raise(err::script::bad_to_arg, &type, spec);
    }
    }
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_TYPESET) return -2;
    switch (op) {
    case 0:
    case 1:
    case 2:
    case 9:
    case 12:
        return value1->w1 == value2->w1 && value1->w2 == value2->w2 && value1->w3 == value2->w3 ? 0
                                                                                                : 1;
    case 7:
    case 8: {
        int32_t a = count(*value1), b = count(*value2);
        return (a > b) - (a < b);
    }
    default: return -2;
    }
}

void and_() {
    do_bitwise(6);
}
void or_() {
    do_bitwise(5);
}
void xor_() {
    do_bitwise(7);
}

Cell* complement(Cell* value) {
    Cell* result = stack::push(*value);
    result->w1 = ~result->w1;
    result->w2 = ~result->w2;
    result->w3 = ~result->w3;
    return result;
}

// The refinements of find do not apply to a typeset.
Cell* find(Cell* series, const Cell* value, const Cell*, bool, bool, bool, bool, const Cell*,
           const Cell*, bool, bool, bool, bool) {
    if (cell::type_of(*value) != TYPE_DATATYPE) raise(err::script::invalid_arg, value);
    return logic::make_at(*series, has(*series, value->w1));
}

} // namespace

void set_bit(Cell& typeset, uint32_t type) {
    word_of(typeset, type) |= mask_of(type);
}

Cell* clear(Cell& c) {
    c = Cell{TYPE_TYPESET, 0, 0, 0};
    return &c;
}

Cell* make_in(Cell& block, uint32_t w1, uint32_t w2, uint32_t w3) {
    Cell* c = cell::alloc_tail(block);
    *c = Cell{TYPE_TYPESET, w1, w2, w3};
    return c;
}

Cell* make_in_default(Cell& block) {
    Cell* c = make_in(block, ~0u, ~0u, ~0u);
    word_of(*c, TYPE_UNSET) &= ~mask_of(TYPE_UNSET);
    return c;
}

Cell* make_in_from_block(Cell& block, const Cell& spec) {
    Cell* result = make_in(block, 0, 0, 0);
    int32_t length = block::rs_length(spec);
    for (int32_t i = 0; i < length; ++i) {
        Cell element = resolved(block::rs_head(spec)[i]);
        switch (cell::type_of(element)) {
        case TYPE_DATATYPE: set_bit(*result, element.w1); break;
        case TYPE_TYPESET: or_into(*result, element); break;
        case TYPE_WORD: set_bit(*result, TYPE_OBJECT); break;
        case TYPE_BLOCK: break;
        default: raise(err::script::invalid_type_spec, &element);
        }
    }
    return result;
}

Cell* push(const Cell& typeset) {
    return stack::push(typeset);
}

Cell* to_block(const Cell& typeset, Cell& result) {
    Cell set = typeset; // the source may be the result cell itself
    block::make_at(result, 4);
    for (uint32_t t = 1; t <= datatype::highest_type(); ++t) {
        if (!listed(set, t)) continue;
        Cell word = word::load(datatype::name_of(t).name);
        block::append_value(result, word);
    }
    return &result;
}

int32_t count(const Cell& typeset) {
    int32_t n = 0;
    for (uint32_t t = 1; t <= datatype::highest_type(); ++t) n += listed(typeset, t);
    return n;
}

void add_type(Cell& typeset, const Cell& given) {
    Cell value = resolved(given);
    switch (cell::type_of(value)) {
    case TYPE_TYPESET: or_into(typeset, value); break;
    case TYPE_DATATYPE: set_bit(typeset, value.w1); break;
    default: raise(err::script::invalid_arg, &value);
    }
}

void do_bitwise(int32_t op) {
    Cell* args = frame_args();
    if (op == 8) return;
    uint32_t right_type = cell::type_of(args[1]);
    if (right_type != TYPE_TYPESET && right_type != TYPE_DATATYPE)
        raise(err::script::invalid_arg, &args[1]);
    Cell* result = clear(*stack::push_raw());
    Cell right = args[1];
    if (right_type == TYPE_DATATYPE) {
        set_bit(*result, right.w1);
        right = *result;
    }
    uint32_t* out[] = {&result->w1, &result->w2, &result->w3};
    const uint32_t left[] = {args[0].w1, args[0].w2, args[0].w3};
    const uint32_t other[] = {right.w1, right.w2, right.w3};
    for (int i = 0; i < 3; ++i) {
        switch (op) {
        case 5:
        case 9: *out[i] = left[i] | other[i]; break;
        case 6:
        case 10: *out[i] = left[i] & other[i]; break;
        case 7:
        case 12: *out[i] = left[i] ^ other[i]; break;
        case 11: *out[i] = left[i] & ~other[i]; break;
        default:
            runtime::quit_with_error(runtime::fatal::no_switch_matched, runtime::caller_address());
        }
    }
    stack::set_last(*result);
}

void init() {
    datatype::register_type(TYPE_TYPESET, 0, "typeset!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::and_, and_},
                             {Slot::complement, complement},
                             {Slot::or_, or_},
                             {Slot::xor_, xor_},
                             {Slot::find, find}});
}

} // namespace kiv::typeset
