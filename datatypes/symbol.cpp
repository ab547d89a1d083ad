#include "datatypes/symbol.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "datatypes/datatype.h"
#include "runtime/types.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
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

uint32_t intern_bytes(const uint8_t* bytes, uint32_t length) {
    return hashtable::put_symbol(symbol_table::table, bytes, length, false);
}

uint32_t intern(const char* name) {
    return intern_bytes(reinterpret_cast<const uint8_t*>(name), uint32_t(std::strlen(name)));
}

uint32_t intern_nocase(const char* name) {
    return hashtable::put_symbol(symbol_table::table, reinterpret_cast<const uint8_t*>(name),
                                 uint32_t(std::strlen(name)), true);
}

uint32_t intern_string(const Cell& string, int32_t length) {
    Buffer* b = memory::buffer_of(string.w2);
    uint32_t unit = b->unit();
    const uint8_t* head = b->head + size_t(std::min(string.w1, b->length())) * unit;
    uint32_t count = uint32_t(b->tail - head) / unit;
    if (length >= 0) count = std::min(count, uint32_t(length));
    std::string text(utf8::encoded_length(head, head + size_t(count) * unit, unit), '\0');
    utf8::encode_string_part(string, reinterpret_cast<uint8_t*>(text.data()), int32_t(count),
                             false);
    return intern_bytes(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
}

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

const char* c_name(uint32_t id) {
    Buffer* b = memory::buffer_of(record(id)->w3);
    if (b->tail >= b->data_end()) {
        buffer::reserve_tail(b, 1);
        b->tail--;
    }
    *b->tail = 0;
    return reinterpret_cast<const char*>(b->head);
}

uint32_t resolve(uint32_t id) {
    int32_t a = alias(id);
    return a > 0 ? uint32_t(a) : id;
}

int32_t alias(uint32_t id) {
    return int32_t(record(id)->w1);
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
    using namespace action;
    datatype::register_type(TYPE_SYMBOL, 0, "symbol!",
                            {no, no, no, no, no, no, no, no, compare, no, // 1-10
                             no, no, no, no, no, no, no, no, no,      no, // 11-20
                             no, no, no, no, no, no, no, no, no,      no, // 21-30
                             no, no, no, no, no, no, no, no, no,      no, // 31-40
                             no, no, no, no, no, no, no, no, no,      no, // 41-50
                             no, no, no, no, no, no, no, no, no,      no, // 51-60
                             no, no});
}

} // namespace kiv::symbol
