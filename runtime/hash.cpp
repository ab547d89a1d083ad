#include "runtime/hash.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "runtime/array.h"
#include "runtime/calendar.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "runtime/types.h"

namespace kiv {
namespace hashing {

uint32_t seed = default_seed;
int32_t (*compare_hook)(const Cell*, const Cell*, int32_t) = nullptr;
uint32_t (*content_hook)(const Cell&) = nullptr;

namespace {

constexpr uint32_t c1 = 0xCC9E2D51;
constexpr uint32_t c2 = 0x1B873593;

uint32_t rotl(uint32_t x, int r) {
    return (x << r) | (x >> (32 - r));
}

uint32_t scramble(uint32_t k) {
    return rotl(k * c1, 15) * c2;
}

uint32_t mix_block(uint32_t h, uint32_t k) {
    return rotl(h ^ scramble(k), 13) * 5 + 0xE6546B64;
}

uint32_t finish(uint32_t h, uint32_t length) {
    return mix_int(h ^ length);
}

// How a key of each type is hashed.
enum class Method : uint8_t {
    zero,
    mix_w1,
    mix_w2,
    mix_w3,
    mix_symbol_id,
    symbol,
    string,
    words_1_2,
    words_1_3,
    words_2_3,
    tuple,
    binary,
    money,
    date,
    content,
    none,
    unset,
};

// The types whose equality looks at their content, not their node.
constexpr uint32_t content_types[] = {TYPE_BLOCK,    TYPE_PAREN,    TYPE_HASH,     TYPE_PATH,
                                      TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH, TYPE_IMAGE,
                                      TYPE_MAP,      TYPE_OBJECT,   TYPE_ERROR};

bool content_type(uint32_t type) {
    return std::find(std::begin(content_types), std::end(content_types), type) !=
           std::end(content_types);
}

constexpr std::array<Method, 57> methods = [] {
    std::array<Method, 57> m{};
    for (uint32_t t : {TYPE_INTEGER, TYPE_CHAR, TYPE_HANDLE, TYPE_EVENT}) m[t] = Method::mix_w2;
    for (uint32_t t :
         {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE})
        m[t] = Method::mix_symbol_id;
    m[TYPE_SYMBOL] = Method::symbol;
    for (uint32_t t :
         {uint32_t(TYPE_STRING), uint32_t(TYPE_FILE), uint32_t(TYPE_URL), uint32_t(TYPE_TAG),
          uint32_t(TYPE_EMAIL), uint32_t(TYPE_REF), hashtable::string_range_type})
        m[t] = Method::string;
    for (uint32_t t : {TYPE_FLOAT, TYPE_PERCENT, TYPE_PAIR, TYPE_TIME}) m[t] = Method::words_2_3;
    m[TYPE_POINT2D] = Method::words_1_2;
    for (uint32_t t : content_types) m[t] = Method::content;
    for (uint32_t t : {TYPE_POINT3D, TYPE_OP, TYPE_FUNCTION, TYPE_TYPESET, TYPE_TRIPLE})
        m[t] = Method::words_1_3;
    m[TYPE_TUPLE] = Method::tuple;
    m[TYPE_BINARY] = Method::binary;
    m[TYPE_MONEY] = Method::money;
    m[TYPE_DATE] = Method::date;
    for (uint32_t t : {TYPE_PORT, TYPE_LOGIC, TYPE_DATATYPE}) m[t] = Method::mix_w1;
    for (uint32_t t : {TYPE_NATIVE, TYPE_ACTION}) m[t] = Method::mix_w3;
    m[TYPE_NONE] = Method::none;
    m[TYPE_UNSET] = Method::unset;
    return m;
}();

constexpr uint32_t money_sign_bit = 0x4000;

// Mixes `count` characters of one unit width, upper-cased when `fold`:
// one loop per width, so that no character pays for the width test.
template <class Unit>
uint32_t hash_units(const uint8_t* p, uint32_t count, bool fold) {
    uint32_t h = seed;
    for (uint32_t i = 0; i < count; ++i) {
        Unit u;
        std::memcpy(&u, p + i * sizeof(Unit), sizeof(Unit));
        uint32_t cp = u;
        if (fold)
            cp = cp < 0x80 ? (cp >= 'a' && cp <= 'z' ? cp - 32 : cp)
                           : unicode::change_case_char(cp, unicode::case_mode::upper);
        h = mix_block(h, cp);
    }
    return h;
}

std::vector<uint8_t> lower_scratch(256);

} // namespace

uint32_t mix_int(uint32_t x) {
    x ^= x >> 16;
    x *= 0x85EBCA6B;
    x ^= x >> 13;
    x *= 0xC2B2AE35;
    x ^= x >> 16;
    return x;
}

uint32_t murmur3(const void* bytes, uint32_t length) {
    auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t h = seed;
    uint32_t blocks = length / 4;
    for (uint32_t i = 0; i < blocks; ++i) {
        uint32_t k;
        std::memcpy(&k, p + i * 4, 4);
        h = mix_block(h, k);
    }
    const uint8_t* tail = p + blocks * 4;
    uint32_t k = 0;
    switch (length & 3) {
    case 3: k ^= uint32_t(tail[2]) << 16; [[fallthrough]];
    case 2: k ^= uint32_t(tail[1]) << 8; [[fallthrough]];
    case 1: k ^= tail[0]; h ^= scramble(k);
    }
    return finish(h, length);
}

uint32_t next_power_of_2(uint32_t v) {
    v--;
    v |= v >> 1;
    v |= v >> 2;
    v |= v >> 4;
    v |= v >> 8;
    v |= v >> 16;
    return v + 1;
}

uint32_t hash_string(const Cell& string, int32_t case_flag) {
    Buffer* b = memory::buffer_of(string.w2);
    uint32_t unit = b->unit();
    uint32_t head = string.w1;
    uint32_t length = b->length();
    uint32_t count = head < length ? length - head : 0;
    if (cell::type_of(string) == hashtable::string_range_type && int32_t(string.w3) >= 0)
        count = string.w3;
    const uint8_t* p = b->head + size_t(head) * unit;
    bool fold = case_flag != 1;
    uint32_t h = unit == 1   ? hash_units<uint8_t>(p, count, fold)
                 : unit == 2 ? hash_units<uint16_t>(p, count, fold)
                             : hash_units<uint32_t>(p, count, fold);
    return finish(h, count * 4);
}

const uint8_t* ascii_lower(const uint8_t* bytes, uint32_t length) {
    if (length > lower_scratch.size()) lower_scratch.resize(length);
    for (uint32_t i = 0; i < length; ++i) {
        uint8_t c = bytes[i];
        lower_scratch[i] = c >= 'A' && c <= 'Z' ? uint8_t(c + 32) : c;
    }
    return lower_scratch.data();
}

int32_t compare_bytes(const uint8_t* a, const uint8_t* b, uint32_t length, bool exact) {
    if (exact) return std::memcmp(a, b, length);
    for (uint32_t i = 0; i < length; ++i) {
        int32_t x = a[i] >= 'A' && a[i] <= 'Z' ? a[i] + 32 : a[i];
        int32_t y = b[i] >= 'A' && b[i] <= 'Z' ? b[i] + 32 : b[i];
        if (x != y) return x - y;
    }
    return 0;
}

uint32_t hash_symbol(const Cell& symbol) {
    Buffer* name = memory::buffer_of(symbol.w3);
    uint32_t length = uint32_t(name->tail - name->head);
    return murmur3(ascii_lower(name->head, length), length);
}

bool node_key(uint32_t type) {
    if (content_type(type)) return !content_hook;
    switch (type) {
    case TYPE_EVENT:
    case TYPE_NATIVE:
    case TYPE_ACTION:
    case TYPE_PORT:
    case TYPE_OP:
    case TYPE_FUNCTION: return true;
    default: return false;
    }
}

uint32_t hash_value(const Cell& value, int32_t case_flag) {
    uint32_t type = cell::type_of(value);
    Method method = type < methods.size() ? methods[type] : Method::zero;
    switch (method) {
    case Method::zero: return 0;
    case Method::mix_w1: return mix_int(value.w1);
    case Method::mix_w2: return mix_int(value.w2);
    case Method::mix_w3: return mix_int(value.w3);
    case Method::mix_symbol_id: return mix_int(symbol::resolve(value.w2));
    case Method::symbol: return hash_symbol(value);
    case Method::string: return hash_string(value, case_flag);
    case Method::words_1_2: return murmur3(&value.w1, 8);
    case Method::words_1_3: return murmur3(&value.w1, 12);
    case Method::words_2_3: return murmur3(&value.w2, 8);
    case Method::tuple: {
        // Trailing zero bytes are left out: 1.2.3 and 1.2.3.0 are equal.
        uint8_t bytes[12];
        std::memcpy(bytes, &value.w1, sizeof bytes);
        uint32_t size = std::min((value.header >> 19) & 15, uint32_t(sizeof bytes));
        while (size > 0 && bytes[size - 1] == 0) --size;
        return murmur3(bytes, size);
    }
    case Method::binary: {
        Buffer* b = memory::buffer_of(value.w2);
        uint32_t length = uint32_t(b->tail - b->head);
        uint32_t head = std::min(value.w1, length);
        return murmur3(b->head + head, length - head);
    }
    case Method::money: {
        Cell c = value;
        c.header &= cell::type_mask | money_sign_bit;
        return murmur3(&c, sizeof c);
    }
    case Method::date: {
        // By instant, as dates compare: the same moment in two zones is
        // one key.
        calendar::Instant at = calendar::instant(value.w1, cell::get_float(value));
        uint64_t words[2] = {uint64_t(at.day), std::bit_cast<uint64_t>(at.time + 0.0)};
        return murmur3(words, sizeof words);
    }
    case Method::content: {
        // Without the hook: by node (a context's for objects).
        if (content_hook) return content_hook(value);
        if (type == TYPE_MAP) return mix_int(value.w2);
        if (type == TYPE_OBJECT || type == TYPE_ERROR) return mix_int(value.w1);
        return murmur3(&value.w1, 8);
    }
    case Method::none: return 0xFFFFFFFF;
    case Method::unset: return 0xFFFFFFFE;
    }
    return 0;
}

} // namespace hashing

namespace hashtable {

namespace {

uint32_t block_length(NodeId block) {
    return memory::buffer_of(block)->length();
}

bool equal(const Cell* a, const Cell* b, int32_t op) {
    return hashing::compare_hook(a, b, op) == 0;
}

NodeId new_flags(uint32_t n_buckets) {
    NodeId node = memory::alloc_bytes_filled(n_buckets / 4, 0xAA);
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head + n_buckets / 4;
    return node;
}

NodeId new_keys(uint32_t n_buckets) {
    NodeId node = memory::alloc_bytes_filled(n_buckets * 4, 0);
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head + n_buckets * 4;
    return node;
}

// The growth request of a full table: the same bucket count when most
// buckets are deleted ones, else the next power of two.
uint32_t growth_count(const Table& t) {
    bool clean_up = t.n_buckets > 2 * t.size && t.type != map;
    return clean_up ? t.n_buckets - 1 : t.n_buckets + 1;
}

// Chain arrays of kind value: chain c (1-based) of the chain list.
NodeId chain_node(const Table& t, int32_t entry) {
    return array::pick_ptr(t.chains, uint32_t(-entry));
}

// The first cell position filed in a bucket of kind value.
int32_t first_position(const Table& t, int32_t entry) {
    return entry >= 0 ? entry : array::pick_int(chain_node(t, entry), 1);
}

// Probes a table for the first bucket empty in its flags.
uint32_t free_bucket(const Table& t, uint32_t hash) {
    uint32_t* flags = flags_of(t);
    Probe p = probe(
        hash, t.n_buckets, [&](uint32_t i) { return flag::state(flags, i); },
        [](uint32_t) { return false; });
    return uint32_t(p.empty);
}

uint32_t hash_entry(const Table& t, int32_t entry) {
    if (t.type >= integer) {
        auto* rec = reinterpret_cast<Cell*>(memory::buffer_of(t.blk)->head + entry);
        return hashing::mix_int(rec->w1);
    }
    return hashing::hash_value(cells_of(t.blk)[entry], 0);
}

Cell* record_at(const Table& t, int32_t offset) {
    return reinterpret_cast<Cell*>(memory::buffer_of(t.blk)->head + offset);
}

Probe probe_int(const Table& t, uint32_t key) {
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    return probe(
        hashing::mix_int(key), t.n_buckets, [&](uint32_t i) { return flag::state(flags, i); },
        [&](uint32_t i) { return record_at(t, keys[i])->w1 == key; });
}

// The position index entries of kind value, grown to hold n positions.
int32_t* index_for(NodeId table, uint32_t n) {
    Buffer* index = memory::buffer_of(record_of(table).indexes);
    if (n * 4 > index->size) index = memory::expand_series_filled(index, int64_t(n) * 8, 0xFF);
    if (index->head + n * 4 > index->tail) index->tail = index->head + n * 4;
    return reinterpret_cast<int32_t*>(index->head);
}

void set_position(NodeId table, uint32_t pos, int32_t bucket) {
    index_for(table, pos + 1)[pos] = bucket + 1;
}

// Takes a position of kind value out of its bucket: out of its chain (the
// bucket is freed once the chain is empty) or the bucket itself.
void remove_position(NodeId table, uint32_t pos) {
    Table& t = record_of(table);
    Buffer* index = memory::buffer_of(t.indexes);
    if ((pos + 1) * 4 > uint32_t(index->tail - index->head)) return;
    int32_t& slot = reinterpret_cast<int32_t*>(index->head)[pos];
    int32_t bucket = slot - 1;
    slot = -1;
    if (bucket < 0) return;
    int32_t entry = keys_of(t)[bucket];
    if (entry < 0) {
        NodeId chain = chain_node(t, entry);
        array::remove_ptr(chain, pos);
        if (array::length(chain) > 0) return;
        array::poke_int(t.chains, uint32_t(-entry), 0);
    }
    flag::set(flags_of(t), uint32_t(bucket), flag::deleted);
    t.size--;
}

// Holds collection off (the collector's permission flag saved and cleared)
// while a table is built, so that the arrays it allocates cannot move or be
// dropped under it; the flag comes back however the build ends.
class CollectionHold {
  public:
    CollectionHold() : saved_(collector::active) { collector::active = false; }
    ~CollectionHold() { collector::active = saved_; }
    CollectionHold(const CollectionHold&) = delete;
    CollectionHold& operator=(const CollectionHold&) = delete;

  private:
    bool saved_;
};

void rehash(NodeId table, uint32_t size) {
    uint32_t stamp_at_entry = memory::record.collections + 1;
    uint32_t n = hashing::next_power_of_2(uint32_t(size * 1.5));
    uint32_t upper = uint32_t(n * load_limit);
    n = std::max(n, 4u);
    NodeId flags = new_flags(n);
    NodeId keys = new_keys(n);
    Table& t = record_of(table);
    t.n_buckets = n;
    t.n_upper = upper;
    t.size = t.n_occupied = t.refresh_stamp = 0;
    t.flags = flags;
    t.keys = keys;
    array::clear(t.chains);
    add_range(table, 0, 1);
    Table& after = record_of(table);
    if (after.refresh_stamp) after.refresh_stamp = stamp_at_entry;
}

void file_int(NodeId table, uint32_t key, Cell*& record);

void rehash_records(NodeId table, uint32_t size) {
    uint32_t n = std::max(hashing::next_power_of_2(size), 4u);
    NodeId flags = new_flags(n);
    NodeId keys = new_keys(n);
    Table& t = record_of(table);
    uint32_t cells = t.indexes / 16;
    NodeId fresh = memory::alloc_cells(std::max(t.size, 1u) * cells);
    Table& r = record_of(table);
    RootedNode old(r.blk);
    r.flags = flags;
    r.keys = keys;
    r.blk = fresh;
    r.n_buckets = n;
    r.n_upper = uint32_t(n * load_limit + 0.5);
    r.size = r.n_occupied = 0;
    for (uint32_t offset = 0;; offset += cells * 16) {
        Buffer* b = memory::buffer_of(old);
        if (b->head + offset >= b->tail) break;
        Cell* rec = reinterpret_cast<Cell*>(b->head + offset);
        if (rec->header != cell::unset_header) continue;
        Cell* target;
        file_int(table, rec->w1, target);
        rec = reinterpret_cast<Cell*>(memory::buffer_of(old)->head + offset);
        std::copy(rec + 1, rec + cells, target + 1);
    }
}

// Files an integer key and returns its record's key cell.
void file_int(NodeId table, uint32_t key, Cell*& record) {
    {
        Table& t = record_of(table);
        if (t.n_occupied >= t.n_upper) rebuild(table, growth_count(t));
    }
    Table& t = record_of(table);
    Probe p = probe_int(t, key);
    int32_t bucket = p.hit;
    if (bucket < 0) {
        if (p.deleted >= 0) {
            bucket = p.deleted;
        } else {
            bucket = p.empty;
            Buffer* b = memory::buffer_of(t.blk);
            uint32_t width = t.indexes;
            uint8_t* at = buffer::reserve_tail(b, width);
            std::memset(at, 0, width);
            Table& r = record_of(table);
            keys_of(r)[bucket] = int32_t(at - b->head);
            r.n_occupied++;
        }
        Table& r = record_of(table);
        flag::set(flags_of(r), uint32_t(bucket), flag::live);
        r.size++;
    }
    Table& r = record_of(table);
    Cell* rec = record_at(r, keys_of(r)[bucket]);
    for (uint32_t i = 0; i < r.indexes / 16; ++i) rec[i].header = cell::unset_header;
    rec->w1 = key;
    record = rec;
}

} // namespace

Table& record_of(NodeId table) {
    return *reinterpret_cast<Table*>(memory::buffer_of(table)->head);
}

uint32_t* flags_of(const Table& t) {
    return reinterpret_cast<uint32_t*>(memory::buffer_of(t.flags)->head);
}

int32_t* keys_of(const Table& t) {
    return reinterpret_cast<int32_t*>(memory::buffer_of(t.keys)->head);
}

Cell* cells_of(NodeId block) {
    return memory::buffer_of(block)->head_cell();
}

NodeId init(uint32_t size, const Cell* block, Kind kind, uint32_t width, NodeId source) {
    // Until the table is returned its arrays are reachable only through the
    // new record, so nothing is collected while they are made.
    std::optional<CollectionHold> hold(std::in_place);
    // The cells that own tables (hash!, map!, contexts) reach their arrays
    // through this hook.
    collector::hooks.mark_hash_table = mark;
    RootedNode table(memory::alloc_bytes_filled(sizeof(Table), 0));
    {
        Buffer* b = memory::buffer_of(table);
        b->tail = b->head + sizeof(Table);
    }
    if (kind == word && width == 2 && source) {
        clone(source, table);
        return table;
    }
    if (kind == word && size >= 4000) size *= 2;
    size = std::max(size, 4u);
    uint32_t n = buckets_for(size);
    {
        Table& t = record_of(table);
        t.type = kind;
        if (kind >= integer) {
            t.indexes = (width + 1) * 16;
            t.refresh_stamp = memory::record.collections + 1;
        }
        t.n_buckets = n;
        t.n_upper = uint32_t(n * load_limit);
    }
    NodeId flags = new_flags(n);
    record_of(table).flags = flags;
    NodeId keys = new_keys(n);
    record_of(table).keys = keys;
    if (kind == value) {
        NodeId index = memory::alloc_bytes_filled(size * 4, 0xFF);
        record_of(table).indexes = index;
        NodeId chains = memory::alloc_units(4, 4);
        record_of(table).chains = chains;
    }
    NodeId blk = block && kind <= word ? block->w2 : memory::alloc_cells(size);
    record_of(table).blk = blk;
    hold.reset();
    if (block && kind <= word) {
        // A hash! value keeps the table alive while the keys are filed.
        Rooted<Cell> value(Cell{TYPE_HASH, 0, blk, table});
        add_range(table, block->w1, kind == map ? 2 : 1);
    }
    return table;
}

void add_range(NodeId table, uint32_t start, uint32_t step) {
    NodeId blk = record_of(table).blk;
    for (uint32_t pos = start; pos < block_length(blk); pos += step) {
        int32_t out = 0;
        put_key(table, cells_of(blk) + pos, &out);
        if (out == 2) return;
    }
}

Cell* put_key(NodeId table, Cell* key, int32_t* out) {
    NodeId blk = record_of(table).blk;
    uint32_t pos = uint32_t(key - cells_of(blk));
    {
        Table& t = record_of(table);
        if (t.n_occupied >= t.n_upper) {
            if (t.type == value) {
                rebuild(table, growth_count(t));
                if (out) *out = 2;
                return cells_of(blk) + pos;
            }
            resize(table, growth_count(t));
        }
    }
    Table& t = record_of(table);
    const Cell& k = cells_of(blk)[pos];
    if (t.type == value && !t.refresh_stamp && hashing::node_key(cell::type_of(k)))
        t.refresh_stamp = memory::record.collections + 1;
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    Probe p = probe(
        hashing::hash_value(k, 0), t.n_buckets, [&](uint32_t i) { return flag::state(flags, i); },
        [&](uint32_t i) {
            if (t.type != value) return equal(&cells_of(blk)[keys[i]], &k, 2);
            const Cell& first = cells_of(blk)[first_position(t, keys[i])];
            return cell::type_of(first) == cell::type_of(k) && equal(&first, &k, 0);
        });
    if (p.hit >= 0) {
        if (t.type == value) {
            if (keys[p.hit] >= 0) {
                RootedNode chain(array::make(4, 4));
                array::append_int(chain, keys_of(record_of(table))[p.hit]);
                // Growing the chain list may collect, which moves the
                // table's record: it is read again afterwards.
                array::append_int32(record_of(table).chains, int32_t(chain));
                Table& r = record_of(table);
                keys_of(r)[p.hit] = -int32_t(array::length(r.chains));
            }
            Table& r = record_of(table);
            array::append_int(chain_node(r, keys_of(r)[p.hit]), int32_t(pos));
            set_position(table, pos, p.hit);
        } else if (t.type == map && uint32_t(keys[p.hit]) + 1 < block_length(blk) &&
                   cells_of(blk)[keys[p.hit] + 1].header == 0) {
            // A key whose value was removed comes back: it counts again.
            keys[p.hit] = int32_t(pos);
            t.size++;
        }
        return cells_of(blk) + pos;
    }
    int32_t bucket = p.deleted >= 0 ? p.deleted : p.empty;
    keys[bucket] = int32_t(pos);
    flag::set(flags, uint32_t(bucket), flag::live);
    t.size++;
    if (bucket == p.empty) t.n_occupied++;
    if (t.type == value) set_position(table, pos, bucket);
    return cells_of(blk) + pos;
}

Cell* get(NodeId table, const Cell* key, int32_t head, int32_t skip, int32_t op, bool last,
          bool reverse) {
    refresh_if_moved(table);
    Table& t = record_of(table);
    Cell k = *key;
    uint32_t type = cell::type_of(k);
    if (t.type == map && type >= TYPE_WORD && type <= TYPE_GET_WORD && type != TYPE_SET_WORD)
        cell::set_type(k, TYPE_SET_WORD);
    type = cell::type_of(k);
    uint32_t step = uint32_t(skip < 0 ? -skip : skip);
    if (step == 0) step = 1;
    Cell* cells = cells_of(t.blk);
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    int32_t chosen = -1;
    // The chosen position among the equal cells of a value bucket.
    auto choose = [&](int32_t pos) {
        if (!equal(&cells[pos], &k, op)) return;
        int32_t distance = reverse ? head - pos - 1 : pos - head;
        int32_t r = distance % int32_t(step);
        if (r < 0) r += int32_t(step);
        if (r != 0 || distance < 0) return;
        bool better = chosen < 0 || (reverse || last ? pos > chosen : pos < chosen);
        if (better) chosen = pos;
    };
    Probe p = probe(
        hashing::hash_value(k, 0), t.n_buckets, [&](uint32_t i) { return flag::state(flags, i); },
        [&](uint32_t i) {
            if (t.type != value) {
                const Cell& c = cells[keys[i]];
                bool same_type = cell::type_of(c) == type || type == string_range_type;
                if (same_type && equal(&c, &k, op)) chosen = keys[i];
                return chosen >= 0;
            }
            if (!equal(&cells[first_position(t, keys[i])], &k, 0)) return false;
            if (keys[i] >= 0) {
                choose(keys[i]);
            } else {
                NodeId chain = chain_node(t, keys[i]);
                for (uint32_t n = 1; n <= array::length(chain); ++n)
                    choose(array::pick_int(chain, n));
            }
            return chosen >= 0;
        });
    return p.hit >= 0 ? cells + chosen : nullptr;
}

Cell* next_match(NodeId table, const Cell* key, int32_t& bucket, int32_t& end, int32_t& step) {
    Table& t = record_of(table);
    uint32_t mask = t.n_buckets - 1;
    if (bucket < 0) {
        bucket = int32_t(hashing::hash_value(*key, 0) & mask);
        end = bucket;
        step = 0;
    }
    Cell* cells = cells_of(t.blk);
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    while (uint32_t(step) < t.n_buckets) {
        uint32_t i = uint32_t(bucket);
        uint32_t s = flag::state(flags, i);
        if (s == flag::empty) break;
        ++step;
        bucket = int32_t((i + uint32_t(step)) & mask);
        if (s == flag::live) {
            Cell* c = cells + (t.type == value ? first_position(t, keys[i]) : keys[i]);
            if (cell::type_of(*c) == cell::type_of(*key) && equal(c, key, 0)) return c;
        }
    }
    step = int32_t(t.n_buckets);
    return nullptr;
}

void remove_key(NodeId table, Cell* key) {
    Table& t = record_of(table);
    uint32_t pos = uint32_t(key - cells_of(t.blk));
    if (t.type == value) {
        remove_position(table, pos);
    } else if (t.type == map && key[1].header != 0) {
        key[1].header = 0;
        t.size--;
    }
}

void remove_from(NodeId table, uint32_t position, uint32_t count) {
    Table& t = record_of(table);
    uint32_t length = block_length(t.blk);
    if (position >= length) return;
    count = std::min(count, length - position);
    if (position == 0 && count == length) {
        t.size = t.n_occupied = 0;
        Buffer* f = memory::buffer_of(t.flags);
        memory::fill(f->head, f->data_end(), 0xAA);
        Buffer* index = memory::buffer_of(t.indexes);
        memory::fill(index->head, index->data_end(), 0xFF);
        array::clear(t.chains);
        return;
    }
    for (uint32_t pos = position; pos < position + count; ++pos) remove_position(table, pos);
}

namespace {

// Rewrites the filed positions of [lo, hi) through `to`: plain buckets
// once per position, each chain once for all its members in the range.
template <class Map>
void remap(NodeId table, uint32_t lo, uint32_t hi, Map&& to) {
    Table& t = record_of(table);
    std::vector<bool> done(array::length(t.chains) + 1);
    Buffer* index = memory::buffer_of(t.indexes);
    uint32_t filed = uint32_t(index->tail - index->head) / 4;
    auto* positions = reinterpret_cast<int32_t*>(index->head);
    int32_t* keys = keys_of(t);
    for (uint32_t pos = lo; pos < std::min(hi, filed); ++pos) {
        int32_t bucket = positions[pos] - 1;
        if (bucket < 0) continue;
        int32_t entry = keys[bucket];
        if (entry >= 0) {
            keys[bucket] = to(entry);
            continue;
        }
        if (done[uint32_t(-entry)]) continue;
        done[uint32_t(-entry)] = true;
        Buffer* chain = memory::buffer_of(chain_node(t, entry));
        for (auto* m = reinterpret_cast<int32_t*>(chain->head);
             m < reinterpret_cast<int32_t*>(chain->tail); ++m)
            if (*m >= int32_t(lo) && *m < int32_t(hi)) *m = to(*m);
    }
}

} // namespace

int32_t refresh(NodeId table, int32_t shift, uint32_t start, uint32_t count,
                bool insert_or_remove) {
    if (count > refresh_limit || int32_t(start) + shift < 0) return 1;
    if (insert_or_remove && shift < 0)
        for (uint32_t pos = uint32_t(std::max(int32_t(start) + shift, 0)); pos < start; ++pos)
            remove_position(table, pos);
    remap(table, start, start + count, [&](int32_t pos) { return pos + shift; });
    if (insert_or_remove) {
        uint32_t end = start + count;
        int32_t* index = index_for(table, uint32_t(std::max(int32_t(end) + shift, int32_t(end))));
        int32_t* from = index + start;
        std::memmove(from + shift, from, size_t(count) * 4);
        if (shift > 0)
            std::fill(from, from + shift, -1);
        else
            std::fill(index + end + shift, index + end, -1);
    }
    return 0;
}

void move_range(NodeId table, uint32_t dest, uint32_t start, uint32_t count) {
    uint32_t end = start + count;
    if (dest >= start && dest <= end) return;
    uint32_t lo = std::min(dest, start), hi = std::max(dest, end);
    // Moving down: the moved range lands at dest and what it skipped moves
    // up by count; moving up: the skipped range moves down by count.
    auto to = [&](int32_t pos) {
        uint32_t p = uint32_t(pos);
        if (p >= start && p < end)
            return int32_t(dest < start ? dest + (p - start) : p + (dest - end));
        return int32_t(dest < start ? p + count : p - count);
    };
    remap(table, lo, hi, to);
    int32_t* index = index_for(table, hi);
    if (dest < start)
        std::rotate(index + dest, index + start, index + end);
    else
        std::rotate(index + start, index + end, index + dest);
}

Cell* put_int(NodeId table, uint32_t key) {
    refresh_if_moved(table);
    Cell* rec;
    file_int(table, key, rec);
    return rec + 1;
}

Cell* get_int(NodeId table, uint32_t key) {
    refresh_if_moved(table);
    Table& t = record_of(table);
    Probe p = probe_int(t, key);
    return p.hit >= 0 ? record_at(t, keys_of(t)[p.hit]) + 1 : nullptr;
}

namespace {

// Marks an integer key's bucket deleted and its record removed.
Cell* take_out(NodeId table, uint32_t key) {
    Table& t = record_of(table);
    Probe p = probe_int(t, key);
    if (p.hit < 0) return nullptr;
    flag::set(flags_of(t), uint32_t(p.hit), flag::deleted);
    t.size--;
    Cell* rec = record_at(t, keys_of(t)[p.hit]);
    rec->header = 0;
    return rec + 1;
}

} // namespace

Cell* remove_int(NodeId table, uint32_t key) {
    refresh_if_moved(table);
    return take_out(table, key);
}

NodeId copy(NodeId table, NodeId new_block) {
    // The duplicated arrays are reachable only through the new record,
    // which no value names yet: nothing is collected until it is returned.
    CollectionHold hold;
    RootedNode block(new_block);
    RootedNode fresh(memory::copy_series(memory::buffer_of(table)));
    // Each array the record names is duplicated in turn; the copy's fields
    // still name the source's arrays until replaced.
    for (uint32_t Table::*field : {&Table::flags, &Table::keys, &Table::indexes, &Table::chains}) {
        Table& t = record_of(fresh);
        if ((field == &Table::indexes || field == &Table::chains) && t.type != value) continue;
        NodeId dup = memory::copy_series(memory::buffer_of(t.*field));
        record_of(fresh).*field = dup;
    }
    if (record_of(fresh).type == value) {
        // Chains are owned by one table: the copy gets its own.
        NodeId list = record_of(fresh).chains;
        for (uint32_t c = 1; c <= array::length(list); ++c) {
            NodeId chain = array::pick_ptr(list, c);
            if (chain)
                array::poke_int(list, c, int32_t(memory::copy_series(memory::buffer_of(chain))));
        }
    }
    record_of(fresh).blk = block;
    return fresh;
}

void clear(NodeId table) {
    Table& t = record_of(table);
    t.size = t.n_occupied = 0;
    array::clear(t.blk);
    Buffer* f = memory::buffer_of(t.flags);
    memory::fill(f->head, f->data_end(), 0xAA);
    if (t.type == value) {
        Buffer* index = memory::buffer_of(t.indexes);
        memory::fill(index->head, index->data_end(), 0xFF);
        array::clear(t.chains);
    }
}

void clone(NodeId source, NodeId table) {
    record_of(table) = record_of(source);
    // A word table grows 32 times over at once (an object of 7 words
    // had 256 buckets, and every copy of it as many): a copy's words are
    // filed in as few buckets as hold them and one more, so a look-up that
    // may add a word does not grow the table at once.
    NodeId blk = memory::copy_series(memory::buffer_of(record_of(source).blk));
    record_of(table).blk = blk;
    uint32_t n = std::max(buckets_for(record_of(source).size + 1), 4u);
    if (n >= record_of(source).n_buckets) {
        for (uint32_t Table::*field : {&Table::flags, &Table::keys}) {
            NodeId dup = memory::copy_series(memory::buffer_of(record_of(table).*field));
            record_of(table).*field = dup;
        }
        return;
    }
    NodeId flags = new_flags(n);
    NodeId keys = new_keys(n);
    Table& t = record_of(table);
    t.flags = flags;
    t.keys = keys;
    t.n_buckets = n;
    t.n_upper = uint32_t(n * load_limit);
    t.n_occupied = t.size;
    const Table& from = record_of(source);
    for (uint32_t j = 0; j < from.n_buckets; ++j) {
        if (flag::state(flags_of(from), j) != flag::live) continue;
        int32_t entry = keys_of(from)[j];
        uint32_t i = free_bucket(t, hash_entry(t, entry));
        keys_of(t)[i] = entry;
        flag::set(flags_of(t), i, flag::live);
    }
}

void resize(NodeId table, uint32_t count) {
    uint32_t n = std::max(hashing::next_power_of_2(count), 4u);
    uint32_t upper = uint32_t(n * load_limit + 0.5);
    if (record_of(table).size >= upper) return;
    RootedNode flags(new_flags(n));
    Table& t = record_of(table);
    uint32_t old_n = t.n_buckets;
    if (n > old_n) {
        Buffer* keys = memory::expand_series(memory::buffer_of(t.keys), int64_t(n) * 4);
        keys->tail = keys->head + n * 4;
    }
    Table& r = record_of(table);
    displace(keys_of(r), flags_of(r), old_n,
             reinterpret_cast<uint32_t*>(memory::buffer_of(flags)->head), n,
             [&](int32_t entry) { return hash_entry(r, entry); });
    r.flags = flags;
    r.n_buckets = n;
    r.n_upper = upper;
    if (r.type != map) r.n_occupied = r.size;
}

void rebuild(NodeId table, uint32_t size) {
    CollectionHold hold;
    if (record_of(table).type == value)
        rehash(table, size);
    else
        rehash_records(table, size);
}

void rehash_in_place(NodeId table) {
    Table& t = record_of(table);
    Buffer* f = memory::buffer_of(t.flags);
    memory::fill(f->head, f->data_end(), 0xAA);
    t.size = t.n_occupied = 0;
    Buffer* b = memory::buffer_of(t.blk);
    uint32_t* flags = flags_of(t);
    int32_t* keys = keys_of(t);
    for (uint8_t* at = b->head; at < b->tail; at += t.indexes) {
        auto* rec = reinterpret_cast<Cell*>(at);
        if (rec->header != cell::unset_header) continue;
        uint32_t i = free_bucket(t, hashing::mix_int(rec->w1));
        keys[i] = int32_t(at - b->head);
        flag::set(flags, i, flag::live);
        t.size++;
        t.n_occupied++;
    }
    t.refresh_stamp = memory::record.collections + 1;
}

void refresh_if_moved(NodeId table) {
    Table& t = record_of(table);
    if (!t.refresh_stamp || t.refresh_stamp == memory::record.collections + 1) return;
    if (collector::running()) return;
    if (t.type == value)
        rebuild(table, block_length(t.blk));
    else
        rehash_in_place(table);
}

void mark(NodeId table) {
    collector::keep(table);
    Table& t = record_of(table);
    if (t.type == value) {
        collector::keep(t.indexes);
        collector::keep(t.chains);
        for (uint32_t c = 1; c <= array::length(t.chains); ++c)
            if (NodeId chain = array::pick_ptr(t.chains, c)) collector::keep(chain);
    }
    collector::keep(t.flags);
    collector::keep(t.keys);
    if (t.type >= integer) {
        // The owner table holds its series and owners weakly: its sweep
        // drops the records of those nothing else keeps.
        Buffer* b = memory::buffer_of(t.blk);
        for (uint8_t* at = b->head; t.type == integer && at < b->tail; at += t.indexes) {
            auto* rec = reinterpret_cast<Cell*>(at);
            if (rec->header == cell::unset_header) collector::mark_block(rec->w1);
        }
        collector::keep(t.blk);
    } else {
        collector::mark_block(t.blk);
    }
}

void sweep(NodeId table) {
    Table& t = record_of(table);
    if (t.type < integer) return;
    auto unmarked = [](NodeId node) { return !collector::marked(node); };
    for (uint32_t offset = 0;; offset += t.indexes) {
        Buffer* b = memory::buffer_of(t.blk);
        if (b->head + offset >= b->tail) return;
        auto* rec = reinterpret_cast<Cell*>(b->head + offset);
        if (rec->header != cell::unset_header) continue;
        // Owner records: the third cell is the owner object, word 1 its context.
        bool dead = unmarked(rec->w1) || (t.type == owner && unmarked(rec[2].w1));
        if (!dead) continue;
        take_out(table, rec->w1);
        rec->header = rec->w1 = 0;
    }
}

} // namespace hashtable
} // namespace kiv
