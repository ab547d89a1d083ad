// Raw arrays: growable byte and 32-bit integer arrays kept in plain series
// buffers, addressed through their node so that they move with the
// collector. Handles (node ids) are 32-bit, so a "pointer" array is an
// integer array. Positions are 1-based item numbers, offsets are bytes from
// the first used unit. Nothing is checked: callers pass valid positions.
#pragma once

#include <cstdint>

#include "runtime/memory.h"

namespace kiv::array {

NodeId make(uint32_t count, uint32_t unit);
uint32_t length(NodeId node);
void clear(NodeId node);
// Moves the tail to item n, leaving n - 1 items.
void set_length(NodeId node, uint32_t n);
NodeId copy(NodeId node);
uint8_t* data(NodeId node);

void append_byte(NodeId node, uint8_t value);
uint8_t pick_byte(NodeId node, uint32_t position);
// Returns the address of the copy, valid until the next allocation.
uint8_t* append_bytes(NodeId node, const void* bytes, uint32_t count);

void append_int(NodeId node, int32_t value);
// Byte offset of the first item equal to value, or -1.
int32_t find_int(NodeId node, int32_t value);
int32_t pick_int(NodeId node, uint32_t position);
void poke_int(NodeId node, uint32_t position, int32_t value);
// Opens room for one item at the 0-based index and stores value there.
void insert_int(NodeId node, int32_t value, uint32_t index);
// Removes the first item equal to value, if any.
void remove_ptr(NodeId node, uint32_t value);
void remove_range(NodeId node, uint32_t offset, uint32_t count);

// Node arrays hold 32-bit node ids through the integer operations.
inline void append_int32(NodeId node, int32_t value) {
    append_int(node, value);
}
inline int32_t find_ptr(NodeId node, uint32_t value) {
    return find_int(node, int32_t(value));
}
inline uint32_t pick_ptr(NodeId node, uint32_t position) {
    return uint32_t(pick_int(node, position));
}

} // namespace kiv::array
