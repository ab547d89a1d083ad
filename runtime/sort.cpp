#include "runtime/sort.h"

#include <algorithm>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/sort_engine.h"

namespace kiv::sort {

namespace engine {

MergeBuffer::MergeBuffer(uint32_t count, uint32_t width)
    : HeapBlock([&] {
          uint64_t bytes = uint64_t(count / 2) * width;
          if (bytes > UINT32_MAX)
              runtime::fire_error(runtime::Category::script, err::script::too_long);
          return size_t(bytes);
      }()) {
    if (!data) runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
}

} // namespace engine

namespace {

// Runs body over the records [base, base + bytes); if it throws, the records
// get back their order from before the sort. Without memory for the copy
// the body runs unguarded and relies on keeping the records a permutation.
template <class Body>
void keeping_order(uint8_t* base, size_t bytes, Body&& body) {
    engine::HeapBlock copy(bytes);
    if (copy.data) std::memcpy(copy.data, base, bytes);
    try {
        body();
    } catch (...) {
        if (copy.data) std::memcpy(base, copy.data, bytes);
        throw;
    }
}

// Exchanges the Word-sized pieces of p and q from byte i on while whole ones
// remain, leaving i after the last.
template <class Word>
void swap_words(uint8_t* p, uint8_t* q, uint32_t bytes, uint32_t& i) {
    for (; i + sizeof(Word) <= bytes; i += sizeof(Word)) {
        Word x, y;
        std::memcpy(&x, p + i, sizeof(Word));
        std::memcpy(&y, q + i, sizeof(Word));
        std::memcpy(p + i, &y, sizeof(Word));
        std::memcpy(q + i, &x, sizeof(Word));
    }
}

} // namespace

void swap(void* a, void* b, uint32_t bytes, bool bytewise) {
    auto* p = static_cast<uint8_t*>(a);
    auto* q = static_cast<uint8_t*>(b);
    if (p == q) return;
    uint32_t i = 0;
    if (!bytewise) {
        swap_words<uint64_t>(p, q, bytes, i);
        swap_words<uint32_t>(p, q, bytes, i);
    }
    for (; i < bytes; ++i) std::swap(p[i], q[i]);
}

void Context::exchange(uint8_t* a, uint8_t* b) const {
    swap(a, b, width, bytewise);
}

uint8_t* find_run(uint8_t* start, uint8_t* end, const Context& c) {
    return engine::find_run(start, end, c);
}

void merge_runs(uint8_t* left, uint8_t* right, uint8_t* right_end, uint8_t* buffer,
                const Context& c) {
    engine::merge_runs(left, right, right_end, buffer, c);
}

void sort(void* base, uint32_t count, uint32_t width, intptr_t word1, intptr_t word2,
          Compare compare) {
    if (count < 2 || width == 0) return;
    Context c(width, word1, word2, compare);
    auto* records = static_cast<uint8_t*>(base);
    keeping_order(records, size_t(count) * width, [&] { engine::sort(c, records, count); });
}

void merge_sort(void* base, uint32_t count, uint32_t width, intptr_t word1, intptr_t word2,
                Compare compare) {
    if (count < 2 || width == 0) return;
    engine::MergeBuffer buffer(count, width);
    Context c(width, word1, word2, compare);
    auto* records = static_cast<uint8_t*>(base);
    keeping_order(records, size_t(count) * width,
                  [&] { engine::merge_records(c, records, count, buffer.data); });
}

void quicksort(void* base, int64_t presorted, uint32_t count, uint32_t width, intptr_t word1,
               intptr_t word2, Compare compare) {
    if (width == 0) return;
    engine::quick(Context(width, word1, word2, compare), static_cast<uint8_t*>(base), presorted,
                  count);
}

} // namespace kiv::sort
