#include "runtime/symbol.h"

#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/session.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv {

namespace symbol_table {

NodeId block = 0;
NodeId table = 0;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(block, table);

void init() {
    block = memory::alloc_cells(initial_size);
    Cell blk{TYPE_BLOCK, 0, block, 0};
    table = hashtable::init(initial_size, &blk, hashtable::word, 0);
    collector::add_marker(mark);
}

void mark() {
    collector::mark_block(block);
    hashtable::mark(table);
}

} // namespace symbol_table

namespace hashtable {

namespace {

// Word tables grow 32 times (16 times when cleaning up deleted buckets),
// keeping rebuilds of tables with thousands of names rare.
void grow_word_table(NodeId table) {
    Table& t = record_of(table);
    if (t.n_occupied < t.n_upper) return;
    uint32_t count = t.n_buckets > 2 * t.size ? t.n_buckets - 1 : t.n_buckets + 1;
    resize(table, count * 16);
}

} // namespace

uint32_t put_symbol(NodeId table, const uint8_t* name, uint32_t length, bool nocase) {
    // The name may sit in a series that moves while the symbol is made.
    std::string bytes(reinterpret_cast<const char*>(name), length);
    const auto* text = reinterpret_cast<const uint8_t*>(bytes.data());
    grow_word_table(table);
    Table& t = record_of(table);
    NodeId blk = t.blk;
    uint32_t hash = hashing::murmur3(hashing::ascii_lower(text, length), length);
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    auto pass = [&](bool exact) {
        return probe(
            hash, t.n_buckets, [&](uint32_t i) { return flag::state(flags, i); },
            [&](uint32_t i) {
                Buffer* n = memory::buffer_of(cells_of(blk)[keys[i]].w3);
                return uint32_t(n->tail - n->head) == length &&
                       hashing::compare_bytes(n->head, text, length, exact) == 0;
            });
    };
    Probe first = pass(!nocase);
    if (first.hit >= 0) return uint32_t(keys[first.hit]) + 1;
    int32_t alias = -1;
    if (!nocase) {
        Probe second = pass(false);
        if (second.hit >= 0) alias = int32_t(symbol::resolve(uint32_t(keys[second.hit]) + 1));
    }
    int32_t bucket = first.empty;

    Buffer* b = memory::buffer_of(blk);
    cell::append_unset(b);
    uint32_t pos = b->length() - 1;
    NodeId utf8 = memory::alloc_bytes(length + 1);
    Buffer* n = memory::buffer_of(utf8);
    std::memcpy(n->head, text, length);
    n->tail = n->head + length;
    *n->tail = 0;
    cells_of(blk)[pos] = Cell{TYPE_SYMBOL, uint32_t(alias), 0, utf8};

    Table& r = record_of(table);
    keys_of(r)[bucket] = int32_t(pos);
    flag::set(flags_of(r), uint32_t(bucket), flag::live);
    r.size++;
    r.n_occupied++;
    return pos + 1;
}

int32_t find_word(NodeId table, uint32_t symbol, bool nocase, NodeId context, int32_t* out_index) {
    if (context) grow_word_table(table);
    Table& t = record_of(table);
    uint32_t canonical = symbol::resolve(symbol);
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    Probe p = probe(
        hashing::mix_int(canonical), t.n_buckets, [&](uint32_t i) { return flag::state(flags, i); },
        [&](uint32_t i) {
            uint32_t id = cells_of(t.blk)[keys[i]].w2;
            return nocase ? symbol::resolve(id) == canonical : id == symbol;
        });
    if (p.hit >= 0) {
        if (context && out_index) *out_index = keys[p.hit];
        return keys[p.hit];
    }
    if (!context) return -1;
    Buffer* b = memory::buffer_of(t.blk);
    uint32_t index = b->length();
    *cell::append_unset(b) = Cell{TYPE_WORD, context, symbol, index};
    Table& r = record_of(table);
    keys_of(r)[p.empty] = int32_t(index);
    flag::set(flags_of(r), uint32_t(p.empty), flag::live);
    r.size++;
    r.n_occupied++;
    if (out_index) *out_index = int32_t(index);
    return -1;
}

} // namespace hashtable

namespace symbol {

namespace {

Cell* record(uint32_t id) {
    return hashtable::cells_of(symbol_table::block) + (id - 1);
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

} // namespace symbol
} // namespace kiv
