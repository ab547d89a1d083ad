#include "datatypes/email.h"

#include <algorithm>

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::email {

Cell* push(const Cell& email) {
    return stack::push(email);
}

namespace {

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return string::form(*value, *buffer, arg, part);
}

bool names(const Cell& word, const char* name) {
    return symbol::resolve(word.w2) == symbol::resolve(symbol::intern(name));
}

// e/user is the text before the first "@" (all of it when there is none),
// e/host the text after it; setting either changes that range in place.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event) {
    uint32_t type = cell::type_of(*element);
    if (type == TYPE_INTEGER)
        return string::eval_path(parent, element, value, path, grand_parent, previous, index, case_,
                                 get, last, event);
    bool word = type >= TYPE_WORD && type <= TYPE_GET_WORD;
    bool user = word && names(*element, "user");
    if (!user && !(word && names(*element, "host")))
        runtime::fire_error(runtime::Category::script, err::script::invalid_path, path, element);
    uint32_t length = string::length(*parent);
    int32_t found = string::find_char(*parent, '@');
    uint32_t at = found < 0 ? length : uint32_t(found);
    uint32_t from = user ? 0 : std::min(at + 1, length);
    uint32_t to = user ? at : length;
    uint32_t head = string::head_index(*parent);
    if (value) {
        Cell range = *parent;
        range.w1 = head + from;
        string::change(&range, value, int32_t(to - from), false, 1);
        return value;
    }
    Rooted<Cell> source(*parent);
    Rooted<Cell> part;
    string::make_at_unit(*part, to - from, memory::buffer_of(source->w2)->unit());
    for (uint32_t i = from; i < to; ++i)
        string::append_char(memory::buffer_of(part->w2), string::char_at(*source, head + i));
    return stack::push(*part);
}

} // namespace

void init() {
    using namespace action;
    datatype::register_type(TYPE_EMAIL, TYPE_STRING, "email!",
                            {{Slot::random, no},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::sort, no},
                             {Slot::trim, no}});
}

} // namespace kiv::email
