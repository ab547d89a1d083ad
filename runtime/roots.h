// Precise roots for values that C++ locals hold across an allocation.
// The collector marks every cell and node registered here and updates
// nothing else on the machine stack, so a local that must survive a
// collection is declared as Rooted<Cell> or RootedNode. Guards nest
// strictly (they are popped in reverse order of construction).
#pragma once

#include <vector>

#include "runtime/cell.h"

namespace kiv {

namespace roots {
extern std::vector<Cell*> cells;
extern std::vector<NodeId*> nodes;
} // namespace roots

template <class T>
class Rooted;

template <>
class Rooted<Cell> {
  public:
    Rooted() : value_{cell::unset_header, 0, 0, 0} { roots::cells.push_back(&value_); }
    explicit Rooted(const Cell& c) : value_(c) { roots::cells.push_back(&value_); }
    ~Rooted() { roots::cells.pop_back(); }
    Rooted(const Rooted&) = delete;
    Rooted& operator=(const Rooted&) = delete;
    Rooted& operator=(const Cell& c) {
        value_ = c;
        return *this;
    }
    Cell& get() { return value_; }
    Cell* operator->() { return &value_; }
    Cell& operator*() { return value_; }

  private:
    Cell value_;
};

class RootedNode {
  public:
    explicit RootedNode(NodeId node = 0) : node_(node) { roots::nodes.push_back(&node_); }
    ~RootedNode() { roots::nodes.pop_back(); }
    RootedNode(const RootedNode&) = delete;
    RootedNode& operator=(const RootedNode&) = delete;
    RootedNode& operator=(NodeId node) {
        node_ = node;
        return *this;
    }
    operator NodeId() const { return node_; }

  private:
    NodeId node_;
};

} // namespace kiv
