#include "runtime/int_map.h"

#include <algorithm>
#include <cstring>

#include "runtime/hash.h"
#include "runtime/heap.h"

namespace kiv::int_map {

namespace {

using namespace hashtable;

uint32_t* new_flags(uint32_t n_buckets) {
    size_t bytes = std::max<size_t>(n_buckets / 4, 4);
    auto* flags = static_cast<uint32_t*>(heap::allocate(bytes));
    std::memset(flags, 0xAA, bytes);
    return flags;
}

Probe probe_key(const Map* map, uint32_t key) {
    return probe(
        hashing::mix_int(key), map->n_buckets,
        [&](uint32_t i) { return flag::state(map->flags, i); },
        [&](uint32_t i) { return map->pairs[i].key == key; });
}

void resize(Map* map, uint32_t count) {
    uint32_t n = std::max(hashing::next_power_of_2(count), 4u);
    uint32_t upper = uint32_t(n * load_limit + 0.5);
    if (map->size >= upper) return;
    uint32_t* flags = new_flags(n);
    if (n > map->n_buckets)
        map->pairs = static_cast<Pair*>(heap::resize(map->pairs, size_t(n) * sizeof(Pair)));
    displace(map->pairs, map->flags, map->n_buckets, flags, n,
             [](const Pair& p) { return hashing::mix_int(p.key); });
    heap::free(map->flags);
    map->flags = flags;
    map->n_buckets = n;
    map->n_upper = upper;
    map->n_occupied = map->size;
}

} // namespace

Map* new_(uint32_t size) {
    size = std::max(size, 4u);
    auto* map = static_cast<Map*>(heap::allocate_zeroed(sizeof(Map)));
    map->n_buckets = buckets_for(size);
    map->n_upper = uint32_t(map->n_buckets * load_limit);
    map->flags = new_flags(map->n_buckets);
    map->pairs = static_cast<Pair*>(heap::allocate(size_t(map->n_buckets) * sizeof(Pair)));
    return map;
}

int32_t put(Map* map, uint32_t key, uint32_t value) {
    if (map->n_occupied >= map->n_upper)
        resize(map, map->n_buckets > 2 * map->size ? map->n_buckets - 1 : map->n_buckets + 1);
    Probe p = probe_key(map, key);
    if (p.hit >= 0) {
        map->pairs[p.hit].value = value;
        return 1;
    }
    int32_t bucket = p.deleted >= 0 ? p.deleted : p.empty;
    if (bucket == p.empty) map->n_occupied++;
    map->size++;
    flag::set(map->flags, uint32_t(bucket), flag::live);
    map->pairs[bucket] = Pair{key, value};
    return 0;
}

int32_t find(Map* map, uint32_t key) {
    return probe_key(map, key).hit;
}

uint32_t* get(Map* map, uint32_t key) {
    int32_t bucket = find(map, key);
    return bucket >= 0 ? &map->pairs[bucket].value : nullptr;
}

int32_t remove(Map* map, uint32_t key) {
    int32_t bucket = find(map, key);
    if (bucket < 0) return 0;
    flag::set(map->flags, uint32_t(bucket), flag::deleted);
    map->size--;
    return 1;
}

void destroy(Map* map) {
    if (!map) return;
    heap::free(map->pairs);
    heap::free(map->flags);
    heap::free(map);
}

} // namespace kiv::int_map
