#include "datatypes/symbol.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "datatypes/datatype.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::symbol {

namespace {

Cell* record(uint32_t id) {
    return hashtable::cells_of(symbol_table::block) + (id - 1);
}

// The name as a string series of the narrowest unit holding every
// character. The bytes are copied first: decoding allocates.
NodeId decode_name(NodeId utf8) {
    Buffer* b = memory::buffer_of(utf8);
    std::string bytes(reinterpret_cast<const char*>(b->head), size_t(b->tail - b->head));
    return unicode::load_utf8_plain(reinterpret_cast<const uint8_t*>(bytes.data()),
                                    uint32_t(bytes.size()));
}

} // namespace

Cell* get(uint32_t id) {
    get_string(record(id));
    return record(id);
}

NodeId get_string(Cell* rec) {
    if (rec->w2) return rec->w2;
    uint32_t id = uint32_t(rec - hashtable::cells_of(symbol_table::block)) + 1;
    NodeId node = decode_name(rec->w3);
    record(id)->w2 = node;
    return node;
}

int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    // The values may be copies of records: their names are decoded afresh
    // when the copy has no string yet.
    Rooted<Cell> left(Cell{TYPE_STRING, 0, a->w2, 0});
    if (!left->w2) left->w2 = decode_name(a->w3);
    Rooted<Cell> right(Cell{TYPE_STRING, 0, b->w2, 0});
    if (!right->w2) right->w2 = decode_name(b->w3);
    return hashing::compare_hook(&left.get(), &right.get(), op);
}

void init() {
    datatype::register_type(TYPE_SYMBOL, 0, "symbol!", {{Slot::compare, compare}});
}

} // namespace kiv::symbol
