#include "datatypes/triple.h"

#include <string>

#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "runtime/types.h"

namespace kiv::triple {

Cell* make_at(Cell& c, int32_t a, int32_t b, int32_t d) {
    c = Cell{TYPE_TRIPLE, uint32_t(a), uint32_t(b), uint32_t(d)};
    return &c;
}

namespace {

// make triple! [1 -2 3]: the one text for form and mold.
int32_t form(const Cell* value, Cell* buffer, const Cell*, int32_t part) {
    std::string text = "make triple! [";
    const uint32_t words[] = {value->w1, value->w2, value->w3};
    for (int i = 0; i < 3; ++i) {
        text += integer::form_signed(int32_t(words[i]));
        text += i < 2 ? ' ' : ']';
    }
    string::append_c_string(*buffer, text.c_str());
    return part - int32_t(text.size());
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

} // namespace

void init() {
    datatype::register_type(TYPE_TRIPLE, 0, "triple!", {{Slot::form, form}, {Slot::mold, mold}});
}

} // namespace kiv::triple
