// The integer map: a small open-addressing map from 32-bit keys to 32-bit
// values kept in the tracked heap, not in series frames, so the collector
// can use it while it moves series. Same bucket flags and probing as the
// hash tables.
#pragma once

#include <cstdint>

namespace kiv::int_map {

struct Pair {
    uint32_t key;
    uint32_t value;
};

struct Map {
    uint32_t size;       // live keys
    uint32_t* flags;     // 2 bits per bucket
    Pair* pairs;         // one pair per bucket
    uint32_t n_occupied; // live plus deleted buckets
    uint32_t n_buckets;  // a power of two, at least 4
    uint32_t n_upper;    // growth threshold
};

Map* new_(uint32_t size);
// Stores value under key: 1 when the key was present, else 0.
int32_t put(Map* map, uint32_t key, uint32_t value);
// The key's value word, or null.
uint32_t* get(Map* map, uint32_t key);
// The key's bucket, or -1.
int32_t find(Map* map, uint32_t key);
// Takes a key out: 1 when it was present, else 0.
int32_t remove(Map* map, uint32_t key);
void destroy(Map* map);

} // namespace kiv::int_map
