#include "runtime/case.h"

#include <algorithm>

#include "runtime/heap.h"

namespace kiv {

namespace unicode {

namespace {

constexpr uint32_t bmp_size = 0x10000;

// Direct lookup tables of the BMP, indexed by code point; 0 = unchanged.
uint32_t* upper_lookup = nullptr;
uint32_t* lower_lookup = nullptr;

uint32_t* build_lookup(const WordTable& pairs) {
    auto* table = static_cast<uint32_t*>(heap::allocate_zeroed(bmp_size * sizeof(uint32_t)));
    for (uint32_t i = 0; i < pairs.count; i += 2) table[pairs.words[i]] = pairs.words[i + 1];
    return table;
}

// The target of the pair whose source is cp, or cp when there is none.
uint32_t lookup_pairs(const WordTable& pairs, uint32_t cp) {
    uint32_t n = pairs.count / 2;
    if (n == 0 || cp < pairs.words[0] || cp > pairs.words[2 * (n - 1)]) return cp;
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (pairs.words[2 * mid] < cp)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo < n && pairs.words[2 * lo] == cp ? pairs.words[2 * lo + 1] : cp;
}

} // namespace

void init_case_tables() {
    if (upper_lookup) return;
    upper_lookup = build_lookup(upper_bmp);
    lower_lookup = build_lookup(lower_bmp);
}

void release_case_tables() {
    heap::free(upper_lookup);
    heap::free(lower_lookup);
    upper_lookup = lower_lookup = nullptr;
}

uint32_t change_case_char(uint32_t cp, int mode) {
    if (cp < bmp_size) {
        if (!upper_lookup) [[unlikely]]
            init_case_tables();
        uint32_t mapped = (mode == case_mode::upper ? upper_lookup : lower_lookup)[cp];
        return mapped ? mapped : cp;
    }
    return lookup_pairs(mode == case_mode::upper ? upper_astral : lower_astral, cp);
}

} // namespace unicode

namespace wcwidth {

bool in_table(uint32_t cp, const uint32_t* table, uint32_t words) {
    if (words == 0 || cp < table[0] || cp > table[words - 1]) return false;
    // The last range that starts at or before cp is the only candidate.
    const uint32_t* first = table;
    uint32_t n = words / 2;
    uint32_t lo = 0, hi = n;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (first[2 * mid] <= cp)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo > 0 && cp <= first[2 * (lo - 1) + 1];
}

int char_width(uint32_t cp) {
    if (cp == 0) return 0;
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return 1;
    if (in_table(cp, zero_width.words, zero_width.count)) return 0;
    if (in_table(cp, wide.words, wide.count)) return 2;
    return 1;
}

int char_width_cjk(uint32_t cp) {
    return in_table(cp, ambiguous.words, ambiguous.count) ? 2 : char_width(cp);
}

} // namespace wcwidth
} // namespace kiv
