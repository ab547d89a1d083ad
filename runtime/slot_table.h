// The slot table: values that native windows refer back to. A window can
// only keep a 32-bit number and values move when the collector compacts
// memory, so the values are kept in the cells of one block that the
// collector marks, and windows keep handles: 1-based cell numbers that
// stay valid while the value is stored.
//
// Free cells form a chain: each is an integer! whose value is the 0-based
// number of the next free cell (-1 ends the chain); the cell freed last is
// reused first.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::slot_table {

constexpr uint32_t initial_capacity = 100;

// The block of slots; a collector root whose cells are all marked.
extern Cell root;

// The collector's marker for the block.
void mark();

// Makes the block with the initial capacity, every cell free, and
// registers the marker with the collector.
void init();

// Makes cells first .. capacity - 1 free, chained in order, with `first` as
// the free head; the block's tail is set to its capacity.
void link_free(uint32_t first);

// Stores a copy of the value and returns its handle (>= 1); a full table
// doubles first.
uint32_t add(const Cell& value);

// The cell of the handle, or null for 0, a handle beyond the table, or one
// that is not in use. The address is valid until the next allocation.
Cell* get(uint32_t handle);

// Frees the handle's cell; 0 and handles not in use are ignored.
void remove(uint32_t handle);

uint32_t capacity();

} // namespace kiv::slot_table
