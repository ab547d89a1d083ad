// series!: the actions every series type shares, whatever its unit (1, 2
// or 4-byte characters, single bytes, 16-byte cells). block!, string! and
// the types derived from them inherit these entries; each action reads or
// writes one unit as the value's type asks (a cell for the block types, a
// char! for text, an integer! for binary!).
//
// A series value holds its head index in units (word 1, signed, and it may
// lie past the tail after another value shortened the buffer), the node of
// its buffer (word 2) and a type-specific word 3 (hash!: its hash table).
#pragma once

#include <cstdint>
#include <vector>

#include "datatypes/ownership.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/types.h"

namespace kiv::series {

// Type families.
using kiv::is_block_type;
using kiv::is_text_type;
bool is_series_type(uint32_t type);

// Helpers over a series value.
// True when the head is at or past the tail.
bool past_tail(const Cell& value);
// Units of the whole buffer, ignoring the head.
uint32_t buffer_length(const Cell& value);
// The head index clamped to 0 .. length.
uint32_t head_of(const Cell& value);
// Moves the head by n units when that stays at or before the tail; true
// when that position (moved or not) is at or past the tail.
bool advance(Cell& value, int32_t n);
// Units from the head (from the first unit with `whole`); a head past the
// tail is moved back to the tail and gives 0.
int32_t length_from(Cell& value, bool whole);
// The new head index of `at` (true) or `skip` (false) from the integer! in
// argument 2 of the current frame, clamped to 0 .. length.
int32_t at_index(bool at);

// The absolute position that pick and poke name: the index counts from 1
// at the head; negative indexes count back from the head. -1 when there
// is none.
int64_t pick_position(const Cell& series, int32_t index);

// The unit at an absolute index as `pick` gives it: the cell itself for
// the block types, an integer! for binary!, the element for vector!, a
// char! otherwise.
Cell unit_value(const Cell& series, uint32_t index);

// The count a /part argument names: an integer!, or a series of the same
// type and buffer (its index minus the series' head). Anything else raises
// script invalid-refine-arg with the word `part` and the value.
int32_t part_count(const Cell& series, const Cell& part);
// A word! cell of the name, for error arguments.
Cell word_cell(const char* name);
[[noreturn]] void invalid_refine(const char* word, const Cell& value);
[[noreturn]] void raise(uint32_t script_id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr);

// hash! upkeep: each is a no-op for any other series. The table follows
// the cells of the buffer after a change.
void hash_rebuild(const Cell& series);
void hash_add(const Cell& series, uint32_t start, uint32_t count);
// Follows cells inserted or removed before the `moved` filed positions
// from `from`: they move by `shift`, and a removal (negative shift) first
// drops the positions it covers. False when the table declined and must be
// rebuilt once the change is made.
bool hash_shift(const Cell& series, uint32_t from, uint32_t moved, int32_t shift);
// Gives a hash! value a new table over its cells.
void hash_new(Cell& series);

// Stretches of units removed in one pass: each its absolute index and
// count, in ascending order, not overlapping.
struct Run {
    uint32_t index;
    uint32_t count;
};
// Whether remove_runs may work on the series: a block, text or binary
// buffer that no owner watches and no hash table follows.
bool removable_in_bulk(const Cell& series);
// Removes the runs (clamped to the tail) moving every later unit once;
// allocates nothing and raises nothing.
void remove_runs(const Cell& series, const std::vector<Run>& runs);

// Announces a change to the series' owner: the action's word now, the
// word of the completed change through `done`, only when the series is
// owned. It is also the write barrier of the block types: the block's
// plan is dropped before the change and again after it, since code may run
// the block meanwhile (an owner's handler, a sort's comparator).
class Change {
  public:
    Change(const Cell& series, ownership::Word word, const Cell* value, int32_t index, int32_t part)
        : series_(series), value_(value), index_(index), part_(part), node_(series.w2),
          owned_(!unmarked(series) && ownership::check(series, word, value, index, part)) {
        plan_store::touch(node_);
    }
    ~Change() { plan_store::touch(node_); }
    Change(const Change&) = delete;
    Change& operator=(const Change&) = delete;
    void done(ownership::Word word) {
        if (owned_) ownership::check(series_, word, value_, index_, part_);
    }

  private:
    // A block, text, binary or bitset whose buffer lacks the owned mark: no
    // owner was ever registered for it, so checking would answer false.
    static bool unmarked(const Cell& series) {
        uint32_t type = cell::type_of(series);
        return (is_block_type(type) || is_text_type(type) || type == TYPE_BINARY ||
                type == TYPE_BITSET) &&
               series.w2 && !(memory::buffer_of(series.w2)->flags & ownership::owned_flag);
    }

    const Cell& series_;
    const Cell* value_;
    int32_t index_;
    int32_t part_;
    NodeId node_;
    bool owned_;
};

// Comparator functions of `sort`. Calls the comparator with a and b and
// returns `comparison_result` of what it gives; set by the interpreter.
// Sorting calls it as (y, x) when it compares record x with record y, and
// (x, y) with /reverse, so that [a b][a < b] sorts ascending.
using ComparatorCall = int32_t (*)(const Cell& comparator, const Cell& a, const Cell& b);
extern ComparatorCall call_comparator;
// The order of x against y from the result of comparator(y, x): true 1,
// false -1, an integer n gives -n, a float -1 when positive, 1 when
// negative, 0 otherwise; none -1; any other value 1.
int32_t comparison_result(const Cell& result);

// Sorting. The records of a sort, read from its refinements: `count`
// records of `size` units from the unit `start`, compared on the unit at
// `offset` in each record (or on all units with `all`), or by a
// comparator function.
struct SortSpec {
    uint32_t start = 0;
    uint32_t count = 0;
    uint32_t size = 1;
    uint32_t offset = 0;
    const Cell* function = nullptr;
    bool all = false;
    bool reverse = false;
    bool case_ = false;
};
// What one sort shares with its record comparison: the buffer being sorted
// (pinned for the whole sort) and the spec.
struct SortRun {
    const Cell* series;
    const SortSpec* spec;
    Buffer* buffer;
};
using RecordCompare = int (*)(const void* a, const void* b, intptr_t run, intptr_t);
// Sorts the records from base when their keys (one unit each, no /all, no
// comparator function) are of a kind it orders directly, in the order
// record_compare gives them; false, with nothing changed, otherwise.
using KeyedSort = bool (*)(const SortRun& run, uint8_t* base, bool stable);
// The sort action of a series type whose records `record_compare` orders (unless
// a comparator function is given), or `keyed_sort` when it can. Reads /part
// (which may move the head back), /skip, /all and /compare. The buffer
// stays where it is while the sort runs; when a comparison throws, the
// series holds exactly its original units before the error goes on.
Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable, RecordCompare record_compare,
           KeyedSort keyed_sort = nullptr);

// The shared actions.
void head();
void tail();
void next();
void back();
void at();
void skip();
void head_q();
void tail_q();
void index_q();
int32_t length_q(Cell* series);
Cell* pick(Cell* series, int32_t index, const Cell* index_cell);
Cell* poke(Cell* series, int32_t index, Cell* value, const Cell* index_cell);
Cell* clear(Cell* series);
Cell* remove(Cell* series, const Cell* part, const Cell* key);
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* reverse(Cell* series, const Cell* part, const Cell* skip);
Cell* random(Cell* series, bool seed, bool secure, bool only);
Cell* move(Cell* origin, Cell* target, const Cell* part);
Cell* reflect(Cell* series, uint32_t field_symbol);
Cell* modify(Cell* series, Cell* field, Cell* value, bool case_);

// Registers series! (its parent must be none); runs before block! and
// string! register.
void init();

} // namespace kiv::series
