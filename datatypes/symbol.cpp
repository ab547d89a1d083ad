#include "datatypes/symbol.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/types.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"

namespace kiv::symbol {

namespace {

Cell* record(uint32_t id) {
    return hashtable::cells_of(symbol_table::block) + (id - 1);
}

// Decodes UTF-8 leniently: a byte that starts no valid sequence stands for
// itself.
std::vector<uint32_t> decode_utf8(const uint8_t* p, uint32_t length) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < length;) {
        uint8_t c = p[i];
        uint32_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        uint32_t cp = extra ? c & (0x3F >> extra) : c;
        bool valid = extra && i + extra < length;
        for (uint32_t k = 1; valid && k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (!valid) {
            out.push_back(c);
            ++i;
        } else {
            out.push_back(cp);
            i += extra + 1;
        }
    }
    return out;
}

void encode_utf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// A string series of the narrowest unit holding every code point.
NodeId decode_name(NodeId utf8) {
    Buffer* b = memory::buffer_of(utf8);
    std::vector<uint32_t> cps = decode_utf8(b->head, uint32_t(b->tail - b->head));
    uint32_t top = cps.empty() ? 0 : *std::max_element(cps.begin(), cps.end());
    uint32_t unit = top > 0xFFFF ? 4 : top > 0xFF ? 2 : 1;
    NodeId node = memory::alloc_units(uint32_t(cps.size()), unit);
    Buffer* s = memory::buffer_of(node);
    for (uint32_t cp : cps) {
        std::memcpy(s->tail, &cp, unit); // little-endian: the low bytes
        s->tail += unit;
    }
    return node;
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
    uint32_t total = b->length();
    uint32_t head = std::min(string.w1, total);
    uint32_t count = total - head;
    if (length >= 0) count = std::min(count, uint32_t(length));
    std::string text;
    const uint8_t* p = b->head + size_t(head) * unit;
    for (uint32_t i = 0; i < count; ++i, p += unit) {
        uint32_t cp = 0;
        std::memcpy(&cp, p, unit);
        encode_utf8(cp, text);
    }
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

} // namespace kiv::symbol
