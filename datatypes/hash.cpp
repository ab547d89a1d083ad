#include "datatypes/hash.h"

#include <cmath>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/roots.h"

namespace kiv::hash {

namespace {

// The most cells a buffer holds (its data stays under 4 GiB).
constexpr double max_cells = double(0xFFFFFFF0u / sizeof(Cell));

bool is_number(const Cell& c) {
    return cell::type_of(c) == TYPE_INTEGER || cell::type_of(c) == TYPE_FLOAT;
}

// Files every cell of a fresh hash! value in a new table with room for
// `room` keys.
void index_cells(Cell& value, uint32_t room) {
    Cell whole = value;
    whole.w1 = 0;
    value.w3 = hashtable::init(room, &whole, hashtable::value, 0);
}

} // namespace

uint32_t size_argument(const Cell& spec) {
    double n =
        cell::type_of(spec) == TYPE_INTEGER ? double(integer::get(spec)) : cell::get_float(spec);
    if (std::isnan(n) || n < 0) series::raise(err::script::out_of_range, &spec);
    if (n >= max_cells) runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    return std::max(uint32_t(n), 1u);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    if (cell::type_of(*spec) == TYPE_HASH)
        return copy(const_cast<Cell*>(spec), proto, nullptr, false, nullptr);
    if (!is_number(*spec)) return to(proto, spec, type);
    uint32_t room = size_argument(*spec);
    block::make_at(*proto, int32_t(room));
    proto->header = TYPE_HASH;
    index_cells(*proto, room);
    return proto;
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    if (cell::type_of(*spec) == TYPE_HASH)
        return copy(const_cast<Cell*>(spec), proto, nullptr, false, nullptr);
    // block!'s conversion, then the index over the cells it gives.
    return block::to(proto, spec, TYPE_HASH);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    if (!only) {
        string::append_c_string(*buffer, "make hash! ");
        part -= 11;
    }
    return block::mold(value, buffer, false, all, flat, arg, part, indent);
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
    bool whole = int32_t(value->w1) == 0 && !part && !deep && !types;
    // The cells are copied as a block's (no index built on the way); `out`
    // may be the value itself.
    Rooted<Cell> source(*value);
    Cell cells = *value;
    cell::set_type(cells, TYPE_BLOCK);
    block::copy(&cells, out, part, deep, types);
    cell::set_type(*out, TYPE_HASH);
    if (whole)
        out->w3 = hashtable::copy(source->w3, out->w2);
    else
        index_cells(*out, series::buffer_length(*out));
    return out;
}

void init() {
    // The block! actions that change cells keep the index current (sort and
    // trim refile every cell), so they serve hash! as they are.
    datatype::register_type(TYPE_HASH, TYPE_BLOCK, "hash!",
                            {{Slot::make, make},
                             {Slot::random, action::no},
                             {Slot::to, to},
                             {Slot::mold, mold},
                             {Slot::copy, copy}});
}

} // namespace kiv::hash
