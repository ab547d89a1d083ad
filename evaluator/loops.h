// The loop natives (while, until, loop, repeat, forever, foreach, forall,
// remove-each) and the step routines they share with compiled loops.
//
// Every loop pushes a loop frame (word `<body>`); break and continue land
// on it. foreach and remove-each keep a cursor layout just below that frame:
// frame base - 2 cells is the cursor (a copy of the series whose head index
// advances), frame base - 1 the word or block of words, and for
// remove-each frame base - 3 an integer! holding the words per iteration.
// forall keeps the series it started from at frame base - 2 and its word at
// frame base - 1. The step routines work on that layout of the current
// frame, so compiled loops see the same cells as the natives.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::natives {

void while_(bool check, const int32_t* refinements);
void until(bool check, const int32_t* refinements);
void loop(bool check, const int32_t* refinements);
void repeat(bool check, const int32_t* refinements);
void forever(bool check, const int32_t* refinements);
void foreach (bool check, const int32_t* refinements);
void forall(bool check, const int32_t* refinements);
void remove_each(bool check, const int32_t* refinements);

// Whether values remain from the series' head index; the tail is read
// anew on every call.
bool foreach_more_q(const Cell& series);
// Sets the word to the value at the cursor and advances it; false (and
// nothing set) when no value remains.
bool foreach_next();
// Sets the n words from the next n values (none! past the tail) and
// advances the cursor by n; false when no value remains or n < 1.
bool foreach_next_block(int32_t n);
// Sets word i to the value at position i of the series, i = 1..n (none!
// past the tail); every element of the words block is checked to be a
// word first (invalid-arg).
void set_many_series(const Cell& words, const Cell& series, int32_t n);
// After a remove-each body: removes the n values just visited unless the
// body's value (slot 0) is none! or false.
void remove_each_next(int32_t n);
// With advance, moves the forall word's series one value on; true when
// it then has no value left. The word must still refer to the series it
// started on (bad-loop-series).
bool forall_next_q(bool advance);
// Sets the forall word back to the series it started from.
void forall_end();
// A float! count becomes, in place, the integer! truncated toward zero;
// NaN and counts beyond the integer range raise out-of-range.
void loop_count(Cell& count);
// loop_count on slot 0 of the current frame.
void loop_q();
// Adds 1 to the integer value of the word, setting it again so that an
// object field notifies its owner.
void repeat_next(const Cell& word);

// Binds the loop natives to their native numbers.
void register_loops();

} // namespace kiv::natives
