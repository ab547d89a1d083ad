// The cycle stack: every recursive walk over values (mold, form, compare,
// copy/deep, ownership, binding) records the series it is inside, so that
// it recognises a series that contains itself and stops there. The same
// stack bounds the depth of such walks: the 1000th nested entry empties it
// and raises internal too-deep.
//
// Walkers push through a Guard, which also removes the entry when an error
// unwinds the walk, so an error caught further up leaves nothing behind.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::cycles {

constexpr uint32_t capacity = 1000;

// Pushes a series node (for an object, its context node). When the stack
// is then full it is emptied and internal too-deep is raised.
void push(NodeId node);
// Removes the top entry; nothing when the stack is empty.
void pop();
// Removes n entries, never more than there are.
void pop_n(uint32_t n);
// Removes the entries above `depth`.
void pop_to(uint32_t depth);
// Empties the stack.
void reset();
uint32_t depth();

// True when the node is anywhere on the stack.
bool find(NodeId node);
// For walks that cannot mark a cycle (deep copies, compose/deep): when the
// node is on the stack, empties it and raises internal no-cycle.
void refuse_cycle(NodeId node);

// True when the node is on the stack: the walk has met a value inside
// itself. While a Refusal stands it raises internal no-cycle instead (the
// stack emptied).
bool met(NodeId node);

// Makes the mold and form walks refuse a value that holds itself rather
// than write a cycle marker, for text that must load back as the value.
class Refusal {
  public:
    Refusal();
    ~Refusal();
    Refusal(const Refusal&) = delete;
    Refusal& operator=(const Refusal&) = delete;

  private:
    bool outer_;
};

// The node a value's walk pushes: an object's context node (word 1), the
// series node (word 2) of any other value.
NodeId node_of(const Cell& value);

// When the value's series is on the stack (see `met`): returns the marker a mold (or
// form) writes in its place, "[...]" for a block, and lowers `part` by the
// marker's length; the caller appends the marker. Null when there is no
// cycle.
const char* detect(const Cell& value, int32_t& part, bool mold);

// The collector's marker: keeps every series on the stack, with its values.
void mark();

// Pushes on construction and, on destruction, removes the entry and any
// left above it (unless the stack was emptied meanwhile).
class Guard {
  public:
    explicit Guard(NodeId node) : depth_(depth()) { push(node); }
    ~Guard() { pop_to(depth_); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

  private:
    uint32_t depth_;
};

} // namespace kiv::cycles
