// A cell inside a series, held by the series' node and the cell's index
// from the head, and found again at every use.
//
// Series buffers move: growing a series replaces its buffer, and a
// collection (which any allocation may run) slides live buffers over the
// gaps. A `Cell&` or `Cell*` into a block's, context's or map's values is
// therefore good only until the next call that can allocate or run Kiv
// code; read after it, it reads vacated memory. Hold a CellHandle instead
// wherever a cell inside a series must be read or written after such a
// call. Where only the value at one moment is needed, a copy of the cell
// does as well; a raw pointer stays right in a pinned buffer (`Pin`) and
// between allocations.
//
// The handle does not keep the series alive: the series must be reachable
// otherwise (a rooted cell, a context in the value graph, the stack).
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace kiv {

class CellHandle {
  public:
    CellHandle(NodeId node, uint32_t index) : node_(node), index_(index) {}
    // The handle of a cell that lies in the buffer of `node` now.
    static CellHandle of(NodeId node, const Cell* cell) {
        return {node, uint32_t(cell - memory::buffer_of(node)->head_cell())};
    }

    Cell* get() const { return memory::buffer_of(node_)->head_cell() + index_; }
    Cell& operator*() const { return *get(); }
    Cell* operator->() const { return get(); }

    NodeId node() const { return node_; }
    uint32_t index() const { return index_; }

  private:
    NodeId node_;
    uint32_t index_;
};
static_assert(sizeof(CellHandle) == 8, "a cell handle is a node id and an index");

} // namespace kiv
