// Sorts whose keys are all of one simple kind (plain integers, texts of
// 1-byte units, characters), the common cases, with no comparator
// function: each record's key is read once, beside the record's position,
// and those pairs are sorted by the very steps of runtime/sort.h with an
// order the compiler sees; the records then move to the places their
// positions took. The comparisons give the signs the datatype's order gives,
// so the exchanges, and the order of equal keys, are the same as in the
// general sort.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>

#include "datatypes/series.h"
#include "runtime/interrupt.h"
#include "runtime/sort_engine.h"

namespace kiv::series {

// A record's key and the record's position before the sort.
template <class Key>
struct Keyed {
    Key key;
    uint32_t position;
};

// The sort's context over keyed records: Order orders two keys (negative,
// 0 or positive); /reverse turns it around as the record comparison does.
template <class Key, class Order>
struct KeyedRecords {
    static constexpr uint32_t width = sizeof(Keyed<Key>);
    Order order_keys;
    bool reverse;

    int order(const uint8_t* a, const uint8_t* b) const {
        runtime::poll(); // a long sort stops at an interrupt
        int r = order_keys(reinterpret_cast<const Keyed<Key>*>(a)->key,
                           reinterpret_cast<const Keyed<Key>*>(b)->key);
        return reverse ? -r : r;
    }
    void exchange(uint8_t* a, uint8_t* b) const {
        std::swap(*reinterpret_cast<Keyed<Key>*>(a), *reinterpret_cast<Keyed<Key>*>(b));
    }
};

// Sorts the run's records (from base) on the unit at the spec's offset,
// whose key read_key(unit, key) reads; false, with nothing changed, when a
// record has no key of this kind or the tracked heap has no room for the
// keys. Nothing here runs Kiv code or allocates series, so the records and
// the texts keys point into stay where they are; an interrupt leaves the
// records as they were.
template <class Key, class Read, class Order>
bool sort_by_keys(const SortRun& run, uint8_t* base, bool stable, Read read_key, Order order) {
    const SortSpec& spec = *run.spec;
    uint32_t unit = run.buffer->unit();
    size_t width = size_t(spec.size) * unit;
    sort::engine::HeapBlock keys(size_t(spec.count) * sizeof(Keyed<Key>));
    sort::engine::HeapBlock records(size_t(spec.count) * width);
    if (!keys.data || !records.data) return false;
    auto* keyed = reinterpret_cast<Keyed<Key>*>(keys.data);
    for (uint32_t i = 0; i < spec.count; ++i) {
        if (!read_key(base + i * width + size_t(spec.offset) * unit, keyed[i].key)) return false;
        keyed[i].position = i;
    }
    KeyedRecords<Key, Order> context{order, spec.reverse};
    if (stable)
        sort::engine::merge_sort(context, keys.data, spec.count);
    else
        sort::engine::sort(context, keys.data, spec.count);
    std::memcpy(records.data, base, size_t(spec.count) * width);
    for (uint32_t i = 0; i < spec.count; ++i)
        std::memcpy(base + i * width, records.data + keyed[i].position * width, width);
    return true;
}

} // namespace kiv::series
