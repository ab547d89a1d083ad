// The path family (path!, lit-path!, set-path!, get-path!) and paren!:
// block series under other type ids. A path's values are written joined by
// slashes (a/b, 'a/b, a/b:, :a/b); a paren! is a block written in
// parentheses. The cell is a block cell (word 1 the head index, word 2 the
// node of the cells), so retyping between a block and any of these needs
// no copy. They inherit most block! actions.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/types.h"

namespace kiv {

namespace path {

// Retypes the cell (the whole header is replaced) and pushes a copy;
// returns the pushed cell. `type` is one of the four path types or paren!.
Cell* push_as(Cell& cell, uint32_t type);
inline Cell* push(Cell& cell) {
    return push_as(cell, TYPE_PATH);
}
// An empty path! (head 0) over a new series with room for n cells.
Cell* make_at(Cell& cell, int32_t n);

// Actions.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);

// Registers path!, lit-path!, set-path! and get-path! (after block!).
void init();

} // namespace path

namespace lit_path {
inline Cell* push(Cell& cell) {
    return path::push_as(cell, TYPE_LIT_PATH);
}
} // namespace lit_path
namespace set_path {
inline Cell* push(Cell& cell) {
    return path::push_as(cell, TYPE_SET_PATH);
}
} // namespace set_path
namespace get_path {
inline Cell* push(Cell& cell) {
    return path::push_as(cell, TYPE_GET_PATH);
}
} // namespace get_path

} // namespace kiv
