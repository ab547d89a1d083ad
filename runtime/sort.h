// In-place sorting of records: groups of `width` bytes (one cell, a
// /skip group of cells, one unit of a string) ordered by a comparison
// callback that the caller supplies with two opaque words of its own.
//
// `sort` is the unstable default: it finds presorted input (ascending,
// descending, or mostly ordered with a few runs out of place) and hands
// the rest to a three-way quicksort. `merge_sort` is the stable natural
// merge sort behind sort/stable.
//
// A comparison callback may throw (an error raised by a comparator
// function). Both entries then leave the records in their original order
// before the exception goes on: they keep a copy of the records while they
// sort. When the tracked heap cannot give that copy, the sort still runs
// and a throw leaves the records permuted but never duplicated or lost;
// every step below the entries keeps that weaker promise on its own.
//
// The callback must not move or resize the memory being sorted. While two
// runs are merged, some records live only in the merge buffer, which the
// collector does not see: a caller sorting cells with a callback that can
// run the collector keeps their values reachable elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/interrupt.h"

namespace kiv::sort {

// Negative, 0 or positive when record a sorts before, equal to or after
// record b. word1 and word2 are passed through from the sort's caller.
using Compare = int (*)(const void* a, const void* b, intptr_t word1, intptr_t word2);

// What every step of one sort shares.
struct Context {
    uint32_t width;
    intptr_t word1;
    intptr_t word2;
    Compare compare;
    // Records whose width is not a multiple of 4 are exchanged byte by byte.
    bool bytewise;

    Context(uint32_t width, intptr_t word1, intptr_t word2, Compare compare)
        : width(width), word1(word1), word2(word2), compare(compare), bytewise(width % 4 != 0) {}
    // Each comparison counts as work, so a long sort stops at an interrupt
    // (which then arrives as a throw of the callback would).
    int order(const uint8_t* a, const uint8_t* b) const {
        runtime::poll();
        return compare(a, b, word1, word2);
    }
    void exchange(uint8_t* a, uint8_t* b) const;
};

// Unstable sort of count records; linear on sorted and reversed input.
// Raises nothing of its own.
void sort(void* base, uint32_t count, uint32_t width, intptr_t word1, intptr_t word2,
          Compare compare);

// Stable sort: records that compare equal keep their order. Its buffer of
// count / 2 records comes from the tracked heap: a buffer size beyond 32
// bits raises script `too-long`, an exhausted heap internal `no-memory`.
void merge_sort(void* base, uint32_t count, uint32_t width, intptr_t word1, intptr_t word2,
                Compare compare);

// The partitioning sort under `sort`. presorted > 0 says the first
// presorted records are already in order, < 0 the last -presorted ones; it
// only guides the pivot choice. Recurses into the smaller side, so the
// machine stack grows with log2(count) at most. Keeps the records a
// permutation of their original values if the callback throws.
void quicksort(void* base, int64_t presorted, uint32_t count, uint32_t width, intptr_t word1,
               intptr_t word2, Compare compare);

// Exchanges two records of `bytes` bytes, byte by byte or 32-bit word by
// word.
void swap(void* a, void* b, uint32_t bytes, bool bytewise);

// The end of the run that starts at start (before end): the longest
// non-descending run, or the longest strictly descending one, which is
// reversed in place so that it ascends (equal records never change order).
uint8_t* find_run(uint8_t* start, uint8_t* end, const Context& context);

// Merges the adjacent ascending runs [left, right) and [right, right_end)
// through buffer, which holds at least the shorter run. On equal records
// the left run's come first. If the callback throws, the records not yet
// placed are put back from the buffer before the exception goes on.
void merge_runs(uint8_t* left, uint8_t* right, uint8_t* right_end, uint8_t* buffer,
                const Context& context);

} // namespace kiv::sort
