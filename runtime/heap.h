// The tracked heap: every block of explicit memory sits in one list, so
// that the quit path can free them all. Exhaustion is fatal (runtime
// error 94).
#pragma once

#include <cstddef>

namespace kiv::heap {

void* allocate(size_t size);
// As allocate, but a null result in place of the fatal exit, for callers
// that report exhaustion as a catchable error.
void* try_allocate(size_t size);
void* allocate_zeroed(size_t size);
// A null pointer allocates; size 0 frees and returns null.
void* resize(void* pointer, size_t size);
// A pointer that is not on the list is left alone.
void free(void* pointer);
void free_all();
// Number of blocks on the list.
size_t block_count();
// Bytes the list holds: each block's size plus 16 bytes of bookkeeping.
size_t total_bytes();

// For a session snapshot (runtime/session.h): visits every block, its
// header included, in list order; frees the blocks the snapshot does not
// retain (the list itself is state the snapshot keeps).
void visit_blocks(void (*visit)(void* block, size_t bytes));
void free_unretained();

} // namespace kiv::heap
