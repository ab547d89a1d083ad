#include "datatypes/issue.h"

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::issue {
namespace {

Cell issue_of(uint32_t symbol) {
    return Cell{TYPE_ISSUE, context::global, symbol, uint32_t(-1)};
}

} // namespace

Cell* load_in(const char* name, Cell& block) {
    Cell value = issue_of(symbol::intern(name));
    Cell* c = cell::alloc_tail(block);
    *c = value;
    return c;
}

Cell* load(const char* name) {
    if (word::collecting) return load_in(name, context::root);
    Cell value = issue_of(symbol::intern(name));
    return stack::push(value);
}

Cell* make_at(Cell& c, const char* name) {
    c = issue_of(symbol::intern(name));
    return &c;
}

Cell* push_from(const Cell& c) {
    return word::push_from(c, TYPE_ISSUE);
}

// Text becomes the issue of that name only when the name reads back as
// it (#name): a name with a space or a delimiter would mold to text that
// loads as other values.
Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    uint32_t symbol = 0;
    switch (cell::type_of(*spec)) {
    case TYPE_CHAR: {
        uint8_t bytes[4];
        uint32_t n = utf8::encode_char(spec->w2, bytes);
        symbol = symbol::intern_bytes(bytes, n);
        break;
    }
    case TYPE_STRING: symbol = symbol::intern_string(*spec, -1); break;
    default:
        if (word::any_word(cell::type_of(*spec))) {
            *proto = *spec;
            break;
        }
        word::make(proto, spec, type);
    }
    if (symbol) {
        if (!word::symbol_of_whole(symbol::c_name(symbol), TYPE_ISSUE)) {
            Cell named{};
            datatype::make_at(named, TYPE_ISSUE);
            runtime::fire_error(runtime::Category::script, err::script::bad_to_arg, &named, spec);
        }
        *proto = issue_of(symbol);
    }
    cell::set_type(*proto, type);
    return proto;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    string::append_c_string(*buffer, "#");
    return word::form(value, buffer, arg, part - 1);
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_ISSUE) return -2;
    return word::compare(value1, value2, op);
}

void init() {
    datatype::register_type(TYPE_ISSUE, TYPE_WORD, "issue!",
                            {{Slot::make, make},
                             {Slot::to, make},
                             {Slot::mold, mold},
                             {Slot::compare, compare},
                             {Slot::index_q, action::no}});
}

} // namespace kiv::issue
