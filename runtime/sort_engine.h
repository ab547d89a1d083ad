// The sorting algorithms behind runtime/sort.h, as templates over the
// context that orders and exchanges records: the entries there run them
// through a comparison callback, and a caller whose records have a known
// layout (integer or text keys gathered beside their positions) runs the
// very same steps with an order the compiler sees, so both sorts make the
// same exchanges and give the same result.
//
// A context C provides `width` (bytes per record), `order(a, b)` (negative,
// 0 or positive, as sort::Compare) and `exchange(a, b)`.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/heap.h"

namespace kiv::sort::engine {

// A block of the tracked heap (null when the heap had none), freed when it
// goes out of scope, a throw included.
struct HeapBlock {
    uint8_t* data;

    explicit HeapBlock(size_t bytes) : data(static_cast<uint8_t*>(heap::try_allocate(bytes))) {}
    ~HeapBlock() { heap::free(data); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
};

// The buffer a stable sort of count records merges through, half of them.
// Raises script too-long when its size is beyond 32 bits, internal
// no-memory when the tracked heap cannot give it.
struct MergeBuffer : HeapBlock {
    MergeBuffer(uint32_t count, uint32_t width);
};

// The records of one range, addressed by index.
template <class C>
struct Records {
    const C& c;
    uint8_t* base;

    uint8_t* at(size_t i) const { return base + i * c.width; }
    int order(size_t i, size_t j) const { return c.order(at(i), at(j)); }
    void exchange(size_t i, size_t j) const { c.exchange(at(i), at(j)); }
    // Reverses [from, to).
    void reverse(size_t from, size_t to) const {
        for (; from + 1 < to; ++from, --to) exchange(from, to - 1);
    }
};

// Whether a comparison result keeps two neighbours in direction dir (+1
// ascending, -1 descending); equal records are always in order.
inline bool in_order(int result, int dir) {
    return dir > 0 ? result <= 0 : result >= 0;
}

// Sorts [from, to) by insertion when [from, start) is already in order:
// each new record is exchanged leftwards past every greater one, so equal
// records keep their order and the range stays a permutation throughout.
template <class C>
void insert_records(const Records<C>& r, size_t from, size_t start, size_t to) {
    for (size_t i = start; i < to; ++i)
        for (size_t j = i; j > from && r.order(j - 1, j) > 0; --j) r.exchange(j - 1, j);
}

// ---- Quicksort ----

// Orders the records at i, j and k in place so that j holds their median.
template <class C>
void order3(const Records<C>& r, size_t i, size_t j, size_t k) {
    if (r.order(i, j) > 0) r.exchange(i, j);
    if (r.order(j, k) > 0) {
        r.exchange(j, k);
        if (r.order(i, j) > 0) r.exchange(i, j);
    }
}

// Moves the pivot of a range of n >= 8 records to its front. With more than
// two presorted records: the median of the presorted ones, the first and
// the last of the others. Otherwise the median of the first, middle and last
// record, or above 40 records the median of three such medians spread over
// the whole range: a sample taken from the front alone, or three records
// alone, splits sorted stretches with one record moved (what a partition
// leaves behind) at their end, which is quadratic.
template <class C>
void choose_pivot(const Records<C>& r, int64_t presorted, size_t n) {
    size_t sorted = presorted < 0 ? size_t(-presorted) : size_t(presorted);
    size_t mid = n / 2;
    if (sorted > 2) {
        size_t sorted_start = presorted > 0 ? 0 : n - sorted;
        size_t others_first = presorted > 0 ? sorted : 0;
        size_t others_last = presorted > 0 ? n - 1 : n - sorted - 1;
        mid = sorted_start + sorted / 2;
        order3(r, others_first, mid, others_last);
    } else if (n > 40) {
        size_t d = n / 8;
        order3(r, 0, d, 2 * d);
        order3(r, mid - d, mid, mid + d);
        order3(r, n - 1 - 2 * d, n - 1 - d, n - 1);
        order3(r, d, mid, n - 1 - d);
    } else {
        order3(r, 0, mid, n - 1);
    }
    r.exchange(0, mid);
}

struct Split {
    size_t less;    // records before the pivot's equals
    size_t greater; // records after them
};

// Three-way partition around the pivot at the front: equal records gather
// just behind it as they are met, smaller ones stay left, greater ones go
// right; at the end the equal block is exchanged into the middle.
template <class C>
Split partition(const Records<C>& r, size_t n) {
    // [1, eq) equal, [eq, lo) smaller, [lo, hi] not yet seen, (hi, n) greater.
    size_t eq = 1, lo = 1, hi = n - 1;
    for (;;) {
        int result = 0;
        while (lo <= hi && (result = r.order(lo, 0)) <= 0) {
            if (result == 0) r.exchange(eq++, lo);
            ++lo;
        }
        while (lo <= hi && (result = r.order(hi, 0)) > 0) --hi;
        if (lo > hi) break;
        r.exchange(lo, hi); // lo now holds a record not greater than the pivot
        if (result == 0) r.exchange(eq++, lo);
        ++lo;
        --hi;
    }
    size_t moved = std::min(eq, lo - eq);
    for (size_t i = 0; i < moved; ++i) r.exchange(i, lo - moved + i);
    return {lo - eq, n - lo};
}

template <class C>
void quick(const C& c, uint8_t* base, int64_t presorted, size_t n) {
    while (n >= 8) {
        Records<C> r{c, base};
        if (size_t(presorted < 0 ? -presorted : presorted) >= n) return;
        choose_pivot(r, presorted, n);
        presorted = 0; // the partition scatters the presorted records
        Split split = partition(r, n);
        uint8_t* upper = r.at(n - split.greater);
        // Recurse into the smaller side, loop on the larger one.
        if (split.less < split.greater) {
            quick(c, base, 0, split.less);
            base = upper;
            n = split.greater;
        } else {
            quick(c, upper, 0, split.greater);
            n = split.less;
        }
    }
    insert_records(Records<C>{c, base}, 0, 1, n);
}

// ---- Presorted input ----

// Joins to the presorted prefix [0, prefix), ordered in direction dir, the
// ordered runs found around a probe every 10 records. Returns the new
// prefix length.
template <class C>
size_t gather_runs(const Records<C>& r, size_t n, size_t prefix, int dir) {
    for (size_t q = prefix; q < n;) {
        size_t last = q;
        while (last + 1 < n && in_order(r.order(last, last + 1), dir)) ++last;
        size_t first = q;
        while (first > prefix && in_order(r.order(first - 1, first), dir)) --first;
        size_t length = last + 1 - first;
        if (length < 4) {
            q += 10;
            continue;
        }
        q = last + 1;
        // Leading pairs out of order across the join: the prefix's last
        // records going back, the run's first going forward. Too many and
        // the run stays where it is; otherwise both ends are left out.
        size_t crossed = 0;
        if (prefix > 0) {
            size_t limit = std::min(length / 2, prefix / 4);
            while (crossed < limit &&
                   !in_order(r.order(prefix - 1 - crossed, first + crossed), dir))
                ++crossed;
            if (crossed == limit) continue;
        }
        size_t to = prefix - crossed, from = first + crossed, moved = length - crossed;
        if (to != from)
            for (size_t i = 0; i < moved; ++i) r.exchange(to + i, from + i);
        prefix = to + moved;
    }
    return prefix;
}

template <class C>
void sort_records(const C& c, uint8_t* base, size_t n) {
    Records<C> r{c, base};
    // The direction is fixed by the first unequal neighbours; the records
    // walked in that direction form the presorted prefix.
    size_t prefix = 1;
    int result = 0;
    while (prefix < n && (result = r.order(prefix - 1, prefix)) == 0) ++prefix;
    if (prefix == n) return;
    int dir = result < 0 ? 1 : -1;
    for (++prefix; prefix < n && in_order(r.order(prefix - 1, prefix), dir);) ++prefix;

    if (prefix < n) {
        // Sample neighbours every 97 records: mostly ordered input is
        // gathered into the prefix before the quicksort.
        int64_t balance = dir * int64_t(prefix);
        for (size_t k = prefix; k + 1 < n; k += 97) {
            int sample = r.order(k, k + 1);
            balance += sample < 0 ? 1 : sample > 0 ? -1 : 0;
        }
        if (uint64_t(balance < 0 ? -balance : balance) > n / 512) {
            if ((balance > 0) != (dir > 0)) {
                dir = -dir;
                prefix = 0;
            }
            prefix = gather_runs(r, n, prefix, dir);
        }
    }
    if (dir < 0) r.reverse(0, prefix);
    if (prefix < n) quick(c, base, int64_t(prefix), n);
}

// ---- Merge sort ----

// During a merge, the records still in the buffer belong in a gap of the
// same size in the range. The gap is filled when the merge ends, whether it
// ends normally or by a throw from the callback.
struct Gap {
    uint8_t*& to;
    uint8_t*& from;
    uint8_t*& from_end;

    ~Gap() { std::memcpy(to, from, size_t(from_end - from)); }
};

template <class C>
uint8_t* find_run(uint8_t* start, uint8_t* end, const C& c) {
    size_t w = c.width;
    if (size_t(end - start) <= w) return end;
    bool descending = c.order(start, start + w) > 0;
    uint8_t* p = start + 2 * w;
    while (p < end && (c.order(p - w, p) > 0) == descending) p += w;
    if (descending) Records<C>{c, start}.reverse(0, size_t(p - start) / w);
    return p;
}

template <class C>
void merge_runs(uint8_t* left, uint8_t* right, uint8_t* right_end, uint8_t* buffer, const C& c) {
    size_t w = c.width;
    if (left == right || right == right_end) return;
    if (right_end - right < right - left) {
        // The right run goes to the buffer; merge from the back.
        uint8_t* from = buffer;
        uint8_t* from_end = buffer + (right_end - right);
        std::memcpy(buffer, right, size_t(from_end - buffer));
        uint8_t* l = right;       // end of the left run's unplaced records
        uint8_t* out = right_end; // end of the free places
        Gap gap{l, from, from_end};
        while (l > left && from_end > buffer) {
            uint8_t* src = c.order(l - w, from_end - w) > 0 ? (l -= w) : (from_end -= w);
            out -= w;
            std::memcpy(out, src, w);
        }
    } else {
        // The left run goes to the buffer; merge from the front.
        uint8_t* from = buffer;
        uint8_t* from_end = buffer + (right - left);
        std::memcpy(buffer, left, size_t(from_end - buffer));
        uint8_t* r = right;
        uint8_t* out = left;
        Gap gap{out, from, from_end};
        while (from < from_end && r < right_end) {
            uint8_t*& src = c.order(from, r) <= 0 ? from : r;
            std::memcpy(out, src, w);
            src += w;
            out += w;
        }
    }
}

constexpr size_t min_run = 24;

template <class C>
void merge_records(const C& c, uint8_t* base, size_t n, uint8_t* buffer) {
    Records<C> r{c, base};
    struct Run {
        size_t start, length;
    };
    // Each pending run is more than twice as long as the one above it, so a
    // 32-bit count needs at most 33 entries, plus the run just pushed.
    Run runs[34];
    size_t top = 0;
    auto merge_top = [&] {
        Run& left = runs[top - 2];
        const Run& right = runs[top - 1];
        merge_runs(r.at(left.start), r.at(right.start), r.at(right.start + right.length), buffer,
                   c);
        left.length += right.length;
        --top;
    };
    for (size_t start = 0; start < n;) {
        size_t end = size_t(find_run(r.at(start), r.at(n), c) - base) / c.width;
        size_t short_end = std::min(start + min_run, n);
        if (end < short_end) {
            insert_records(r, start, end, short_end);
            end = short_end;
        }
        runs[top++] = {start, end - start};
        start = end;
        while (top >= 2 && runs[top - 2].length <= 2 * runs[top - 1].length) merge_top();
    }
    while (top >= 2) merge_top();
}

// Sorts count records, unstable; linear on sorted and reversed input.
template <class C>
void sort(const C& c, uint8_t* base, uint32_t count) {
    if (count >= 2) sort_records(c, base, count);
}

// Sorts count records, stable, merging through a buffer of its own.
template <class C>
void merge_sort(const C& c, uint8_t* base, uint32_t count) {
    if (count < 2) return;
    MergeBuffer buffer(count, c.width);
    merge_records(c, base, count, buffer.data);
}

} // namespace kiv::sort::engine
