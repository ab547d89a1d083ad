// The garbage collector: stop-the-world mark and compact.
//
// Marking starts from precise roots: the argument stack and call frames,
// the Rooted guards of C++ locals, and the markers that modules register
// for what they hold outside the value graph (the root block, the symbol
// table, lexer states...). It uses an explicit stack of blocks still to
// scan, so nesting depth never reaches the machine stack. Live buffers then
// slide down inside their series frames; node ids never change (a node
// frame is freed only when it has emptied).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::collector {

// Off during start-up; `recycle/on` and `recycle/off` switch it.
extern bool active;

struct Stats {
    uint32_t collections = 0;
    uint64_t bytes_moved = 0;
    uint32_t nodes_freed = 0;
};
extern Stats stats;

void init();
// A collection when active (the allocator calls this).
void run();
// One full collection, whatever the active flag.
void collect();
bool running();

// Markers mark what their module owns (the evaluator's stacks among them);
// at most 100 may be registered, each once.
void add_marker(void (*marker)());
void remove_marker(void (*marker)());

// Marks the buffer of a node; true when it was not marked before.
bool keep(NodeId node);
// Marks a block and, once, every cell in it.
void mark_block(NodeId node);
// Marks a context node: its two cells, its word table and its values.
void mark_context(NodeId node);
// Marks the values of a range of cells by their types.
void mark_values(const Cell* first, const Cell* end);
void unmark(NodeId node);

// How the modules that own keyed tables and externals are reached.
struct Hooks {
    void (*mark_hash_table)(NodeId table) = nullptr;
    void (*mark_external)(uint32_t handle) = nullptr;
    void (*mark_image)(NodeId node) = nullptr;
};
extern Hooks hooks;

// Sweepers run after marking and before buffers move: each drops what its
// module holds for unmarked buffers.
void add_sweeper(void (*sweeper)());

// True when the buffer of the node was marked by the current collection
// (for the sweep hooks).
bool marked(NodeId node);

// Stress mode (KIV_GC_STRESS=1): collect at every series allocation and
// poison the memory that buffers leave.
extern bool stress;

} // namespace kiv::collector
