#include "datatypes/tag.h"

#include <string_view>

#include "datatypes/datatype.h"
#include "datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::tag {

Cell* push(const Cell& tag) {
    return stack::push(tag);
}

namespace {

// <text>: the characters as string! forms them; each bracket counts one
// against the part limit.
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    string::append_c_string(*buffer, "<");
    part = string::form(*value, *buffer, arg, part - 1);
    string::append_c_string(*buffer, ">");
    return part - 1;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

// Whether the text reads back as this tag between angle brackets: not
// empty, a first character that makes `<` a tag rather than a word, and
// no `>` outside double or single quotes, which must close.
bool literal_text(const Cell& tag) {
    uint32_t from = string::head_index(tag), end = string::length_whole(tag);
    if (from >= end) return false;
    uint32_t first = string::char_at(tag, from);
    if (first <= 0x20 || first == 0x7F ||
        std::u32string_view(U"[](){}\";<>=-:").find(first) != std::u32string_view::npos)
        return false;
    uint32_t quote = 0;
    for (uint32_t i = from; i < end; ++i) {
        uint32_t c = string::char_at(tag, i);
        if (quote)
            quote = c == quote ? 0 : quote;
        else if (c == '"' || c == '\'')
            quote = c;
        else if (c == '>')
            return false;
    }
    return quote == 0;
}

// Conversion (and make from anything but a length) refuses text that has
// no tag literal: `<a>b>` would mold to text that loads as other values.
Cell* to(Cell* proto, const Cell* spec, uint32_t type) {
    Rooted<Cell> source(*spec);
    string::to(proto, spec, type);
    if (!literal_text(*proto)) {
        Cell named{};
        datatype::make_at(named, TYPE_TAG);
        runtime::fire_error(runtime::Category::script, err::script::bad_to_arg, &named, &*source);
    }
    return proto;
}

} // namespace

void init() {
    using namespace action;
    datatype::register_type(TYPE_TAG, TYPE_STRING, "tag!",
                            {{Slot::random, no},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::sort, no},
                             {Slot::trim, no}});
}

} // namespace kiv::tag
