// Unicode simple case mapping and display width of characters.
//
// The mapping is kept as sorted (from, to) pair tables generated from the
// Unicode character database (runtime/case_tables.cpp). The BMP pairs are
// expanded at start-up into two direct lookup tables of 65536 entries, so
// that case mapping in the BMP is one array read; code points above the
// BMP are looked up in their pair tables.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv {

// A constant table of 32-bit words: (from, to) pairs or [first, last]
// ranges, sorted by their first word.
struct WordTable {
    const uint32_t* words;
    uint32_t count; // number of words, twice the number of pairs or ranges
};

namespace unicode {

extern const WordTable upper_bmp;
extern const WordTable lower_bmp;
extern const WordTable upper_astral;
extern const WordTable lower_astral;

namespace case_mode {
constexpr int lower = 0;
constexpr int upper = 1;
} // namespace case_mode

// Allocates both lookup tables from the tracked heap and fills them from
// the BMP pairs. Later calls keep the tables already built.
void init_case_tables();
// Frees both lookup tables; the next case mapping builds them again. For
// code that is about to free the whole tracked heap.
void release_case_tables();

// The code point in upper (mode 1) or lower (mode 0) case; a code point
// without a mapping is returned as is.
uint32_t change_case_char(uint32_t cp, int mode);

} // namespace unicode

namespace wcwidth {

extern const WordTable zero_width;
extern const WordTable wide;
extern const WordTable ambiguous;

// True when a [first, last] range of the table holds the code point.
bool in_table(uint32_t cp, const uint32_t* table, uint32_t words);

// Columns the character takes on a terminal: 0, 1 or 2.
int char_width(uint32_t cp);
// As char_width, with the East Asian ambiguous characters two columns wide.
int char_width_cjk(uint32_t cp);

} // namespace wcwidth
} // namespace kiv
