// map!: the language's dictionary, written #[key value ...]. Its entries
// are pairs of cells in a block (key, then value) found through a hash
// table in map mode. A removed entry keeps its key and gets a value cell
// whose header is 0; setting the key again revives it in place. The table
// counts the live entries.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::map {

// The types a key may have.
bool valid_key(uint32_t type);
// Live entries.
uint32_t size(const Cell& map);

// Writes a new map into `cell` (a root) with room for `room` entries,
// filled from the key/value cells of `pairs` from its head (null: empty).
// A key filed twice (compared strictly) keeps its first position and takes
// the later value. An odd count raises script invalid-arg with the block;
// a key of a type not allowed raises script invalid-path.
Cell* make_at(Cell& cell, const Cell* pairs, uint32_t room);

// Files the key/value pair appended at `position` of the map's entries
// (by a reader that decodes the entries in place, so that a value may
// hold the map itself): the key takes the form `put` stores it in. False,
// with nothing filed, when the key's type is not allowed, the value is
// the mark of a removed entry, or an equal key (compared strictly) is
// filed already.
bool file_entry(const Cell& map, uint32_t position);

// The `extend` native on a map: sets or adds the pairs of a block (keys
// compared strictly with case, else ignoring case).
void extend(Cell& map, const Cell& pairs, bool case_);

// The next live entry at or after the cursor's position: its key (a
// set-word! given back as a word!) and value; the cursor moves past it.
// False when no live entry remains.
bool next_entry(Cell& cursor, Cell& key, Cell& value);

// The actions.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
Cell* reflect(Cell* value, uint32_t field_symbol);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event);
int32_t compare(const Cell* value1, const Cell* value2, int32_t op);
Cell* clear(Cell* map);
Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
Cell* find(Cell* map, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail,
           bool match);
int32_t length_q(Cell* map);
Cell* put(Cell* map, Cell* key, Cell* value, bool case_);
Cell* remove(Cell* map, const Cell* part, const Cell* key);
Cell* select(Cell* map, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse);

// Registers map!.
void init();

} // namespace kiv::map
