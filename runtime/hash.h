// Hashing and the open-addressing hash tables.
//
// One table implementation indexes cells that live elsewhere: the cells of a
// block (hash!, map!, symbol and context word tables) or records of cells
// keyed by a 32-bit integer (integer and owner tables). A table stores
// positions, never copies of its keys. Buckets carry 2-bit flags (empty,
// deleted), probing is triangular over a power-of-two bucket count and a
// table grows when its occupancy reaches 0.77 of the buckets.
//
// A table is a node of a 44-byte byte series holding a `Table` record; every
// array it refers to is a series reached through its node, so all of them
// move with the collector. Re-read `record_of` after anything that allocates.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv {

namespace hashing {

// The process-wide seed of every hash; the random generator sets it once at
// start-up, before any table is made.
constexpr uint32_t default_seed = 0x4B495620;
extern uint32_t seed;

// The value comparison of the action table's compare slot: (a, b, operator
// code) -> 0 equal, negative or positive for the order, -2 not comparable.
// Installed by the datatype registry.
extern int32_t (*compare_hook)(const Cell* a, const Cell* b, int32_t op);

// The hash of a block, image!, map! or object! by what its equality looks
// at, so that equal values of another node hash alike. Installed by the
// datatype registry; without it they hash by node.
extern uint32_t (*content_hook)(const Cell& value);

// MurmurHash3 x86 32-bit of a byte range with the process seed.
uint32_t murmur3(const void* bytes, uint32_t length);
// The final mixer of MurmurHash3 alone.
uint32_t mix_int(uint32_t x);
uint32_t next_power_of_2(uint32_t v);

// Code points of a string from its head to its tail, each taken as one
// 4-byte block; folded to upper case unless case_flag is 1.
uint32_t hash_string(const Cell& string, int32_t case_flag);
// The UTF-8 name of a symbol record with A-Z lowered.
uint32_t hash_symbol(const Cell& symbol);
uint32_t hash_value(const Cell& value, int32_t case_flag);
// True for the types whose hash depends on a node id (the content types
// too while no content hook is installed).
bool node_key(uint32_t type);
// Copies bytes into the shared scratch buffer with A-Z lowered; valid until
// the next call.
const uint8_t* ascii_lower(const uint8_t* bytes, uint32_t length);
// Byte comparison like memcmp, exact when `exact` is set, else ignoring
// ASCII case.
int32_t compare_bytes(const uint8_t* a, const uint8_t* b, uint32_t length, bool exact);

} // namespace hashing

namespace hashtable {

enum Kind : uint32_t { value = 0, map = 1, word = 2, integer = 3, owner = 4 };

struct Table {
    uint32_t size;          // live keys
    uint32_t indexes;       // kind value: position index node; integer/owner: record bytes
    uint32_t chains;        // kind value: chain list node
    uint32_t flags;         // flag array node, 2 bits per bucket
    uint32_t keys;          // key array node, one int32 per bucket
    uint32_t blk;           // keyed block or record block
    uint32_t n_occupied;    // live plus deleted buckets
    uint32_t n_buckets;     // a power of two, at least 4
    uint32_t n_upper;       // occupancy at which the table grows
    uint32_t type;          // the Kind
    uint32_t refresh_stamp; // 0, or compaction count + 1 of the last build
};
static_assert(sizeof(Table) == 44);

constexpr double load_limit = 0.77;
constexpr uint32_t refresh_limit = 30000;
// The internal type of a string range whose word 3 holds its length.
constexpr uint32_t string_range_type = 56;

// Bucket flags: 2 empty, 1 deleted, 0 live; bucket i in word i >> 4.
namespace flag {
inline uint32_t state(const uint32_t* words, uint32_t i) {
    return (words[i >> 4] >> ((i & 15) * 2)) & 3;
}
inline void set(uint32_t* words, uint32_t i, uint32_t state) {
    uint32_t shift = (i & 15) * 2;
    words[i >> 4] = (words[i >> 4] & ~(3u << shift)) | (state << shift);
}
constexpr uint32_t live = 0, deleted = 1, empty = 2;
} // namespace flag

// Bucket count and growth threshold for a requested capacity.
inline uint32_t buckets_for(uint32_t size) {
    return hashing::next_power_of_2(uint32_t(size / load_limit));
}

// The outcome of one probe: the bucket that matched, the empty bucket that
// ended the probe and the last deleted bucket met, each -1 when none.
struct Probe {
    int32_t hit = -1;
    int32_t empty = -1;
    int32_t deleted = -1;
};

// Triangular probing from hash: `state(i)` gives a bucket's flags and
// `match(i)` tests a live bucket. Stops at a match, an empty bucket or once
// every bucket has been visited.
template <class State, class Match>
Probe probe(uint32_t hash, uint32_t n_buckets, State&& state, Match&& match) {
    Probe result;
    uint32_t mask = n_buckets - 1;
    uint32_t i = hash & mask;
    for (uint32_t step = 1; step <= n_buckets; ++step) {
        uint32_t s = state(i);
        if (s == flag::empty) {
            result.empty = int32_t(i);
            return result;
        }
        if (s == flag::deleted)
            result.deleted = int32_t(i);
        else if (match(i)) {
            result.hit = int32_t(i);
            return result;
        }
        i = (i + step) & mask;
    }
    return result;
}

// Re-places the live entries of an old bucket range into a new flag array
// without a second entry array: each entry taken out is put in the first
// bucket of its new probe that is empty in the new flags; when that bucket
// still holds a live old entry, that one is taken out and placed in turn.
// `entries` must already hold new_n slots; the old flags are consumed.
template <class Entry, class HashOf>
void displace(Entry* entries, uint32_t* old_flags, uint32_t old_n, uint32_t* new_flags,
              uint32_t new_n, HashOf&& hash_of) {
    uint32_t mask = new_n - 1;
    for (uint32_t j = 0; j < old_n; ++j) {
        if (flag::state(old_flags, j) != flag::live) continue;
        Entry entry = entries[j];
        flag::set(old_flags, j, flag::deleted);
        for (;;) {
            uint32_t i = hash_of(entry) & mask;
            for (uint32_t step = 1; flag::state(new_flags, i) != flag::empty; ++step)
                i = (i + step) & mask;
            flag::set(new_flags, i, flag::live);
            if (i < old_n && flag::state(old_flags, i) == flag::live) {
                Entry displaced = entries[i];
                entries[i] = entry;
                entry = displaced;
                flag::set(old_flags, i, flag::deleted);
                continue;
            }
            entries[i] = entry;
            break;
        }
    }
}

Table& record_of(NodeId table);
uint32_t* flags_of(const Table& t);
int32_t* keys_of(const Table& t);
Cell* cells_of(NodeId block);

// Makes a table for `size` keys over `block` (null: a new block). Kinds
// integer and owner: `width` value cells per record. Kind word with width 2
// and a source table clones the source.
NodeId init(uint32_t size, const Cell* block, Kind kind, uint32_t width, NodeId source = 0);

// Files a cell of the keyed block. `out` becomes 2 when the table was
// rebuilt from its block instead (the key is then filed already).
Cell* put_key(NodeId table, Cell* key, int32_t* out);
inline Cell* put(NodeId table, Cell* key) {
    return put_key(table, key, nullptr);
}
// Files every step-th cell of the keyed block from position start.
void add_range(NodeId table, uint32_t start, uint32_t step);

// The keyed-block cell equal to key under operator op, or null. Kind value
// chooses among equal cells: positions from head in steps of skip, the
// first (or with last, the last) at or after head, or with reverse the
// nearest before head.
Cell* get(NodeId table, const Cell* key, int32_t head, int32_t skip, int32_t op, bool last,
          bool reverse);
// Continues a probe for keys equal to key; bucket -1 starts it.
Cell* next_match(NodeId table, const Cell* key, int32_t& bucket, int32_t& end, int32_t& step);

void remove_key(NodeId table, Cell* key);
void remove_from(NodeId table, uint32_t position, uint32_t count);
// Shifts the filed positions [start, start + count) by shift; with
// insert_or_remove the position index moves too (and a negative shift
// first takes out the positions it covers). Refuses (1) more than 30000
// positions, or a shift that would move a position below 0.
int32_t refresh(NodeId table, int32_t shift, uint32_t start, uint32_t count, bool insert_or_remove);
// Follows a block change that moved [start, start + count) before dest.
void move_range(NodeId table, uint32_t dest, uint32_t start, uint32_t count);

// Integer-keyed records: the first value cell of the record.
Cell* put_int(NodeId table, uint32_t key);
Cell* get_int(NodeId table, uint32_t key);
Cell* remove_int(NodeId table, uint32_t key);

NodeId copy(NodeId table, NodeId new_block);
void clear(NodeId table);
void clone(NodeId source, NodeId table);

// Re-places the live keys into next_power_of_2(count) buckets (kinds 1-4).
void resize(NodeId table, uint32_t count);
// Rebuilds from the block (kind value) or the records (integer, owner) with
// collection held off.
void rebuild(NodeId table, uint32_t size);
void rehash_in_place(NodeId table);
void refresh_if_moved(NodeId table);

// Collector hooks: `mark` fits `collector::hooks.mark_hash_table`; it keeps
// the key series of an integer table, but an owner table only keeps its
// own arrays. `sweep` drops the records of kinds integer and owner whose
// series (or, kind owner, whose owner object) were not marked; it runs
// from the owning module's sweeper.
void mark(NodeId table);
void sweep(NodeId table);

} // namespace hashtable
} // namespace kiv
