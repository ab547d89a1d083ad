#include "datatypes/block.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/datatype.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/types.h"
#include "datatypes/unset.h"
#include "evaluator/stack.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"

namespace kiv::block {

namespace {

// Receives the blocks made without a parent.
Cell scratch{cell::unset_header, 0, 0, 0};

constexpr uint32_t cell_size = sizeof(Cell);

Buffer* buffer_of(const Cell& block) {
    return memory::buffer_of(block.w2);
}

int32_t length_of(const Buffer* b) {
    return int32_t((b->tail - b->head) / cell_size);
}

// The head index moved back to the tail when it lies past it, and to the
// first cell when negative.
int32_t clamped_head(const Cell& block) {
    return std::clamp(int32_t(block.w1), 0, length_of(buffer_of(block)));
}

// Equality of lookups: the key's compare action under operator 12.
bool lookup_equal(const Cell& key, const Cell& c) {
    auto compare = datatype::get<Slot::compare>(cell::type_of(key));
    return compare && compare(&key, &c, 12) == 0;
}

} // namespace

int32_t rs_length(const Cell& block) {
    return length_of(buffer_of(block)) - int32_t(block.w1);
}

Cell* rs_head(const Cell& block) {
    return buffer_of(block)->head_cell() + int32_t(block.w1);
}

Cell* rs_tail(const Cell& block) {
    return buffer_of(block)->tail_cell();
}

Cell* rs_abs_at(const Cell& block, int32_t index) {
    return buffer_of(block)->head_cell() + index;
}

Cell* clip_head(Cell& block) {
    int32_t length = length_of(buffer_of(block));
    if (int32_t(block.w1) > length) block.w1 = uint32_t(length);
    return rs_head(block);
}

bool at_tail(const Cell& block) {
    return rs_head(block) == rs_tail(block);
}

bool next_at_tail(Cell& block) {
    int32_t length = length_of(buffer_of(block));
    if (int32_t(block.w1) + 1 <= length) ++block.w1;
    return int32_t(block.w1) == length;
}

// Only ever cuts: a tail is never moved past the cells in use.
void truncate_at(const Cell& block, int32_t index) {
    Buffer* b = buffer_of(block);
    index = std::clamp(index, 0, length_of(b));
    b->tail = b->head + index * cell_size;
}

void truncate_at_head(const Cell& block) {
    truncate_at(block, int32_t(block.w1));
}

Cell* make_at(Cell& c, int32_t n) {
    c = Cell{cell::unset_header, 0, 0, 0};
    c.w2 = memory::alloc_cells(uint32_t(std::max(n, 1)));
    c.header = TYPE_BLOCK;
    return &c;
}

Cell* init_at(Cell& c, int32_t n, bool root) {
    uint32_t count = uint32_t(std::max(n, 1));
    c = Cell{cell::unset_header, 0, 0, 0};
    c.w2 = root ? memory::alloc_heap_series(count, cell_size, 0) : memory::alloc_cells_unset(count);
    c.header = TYPE_BLOCK;
    return &c;
}

Cell* push(const Cell& value) {
    return stack::push(value);
}

Cell* push_new(int32_t n) {
    Cell* c = stack::push(Cell{cell::unset_header, 0, 0, 0});
    return make_at(*c, n);
}

namespace {

// Builds the block aside, where a collection cannot lose it, then places
// it at the parent's tail or in the scratch cell.
template <class Build>
Cell* place(Cell* parent, Build build) {
    Rooted<Cell> fresh;
    build(*fresh);
    if (!parent) return &cell::copy(*fresh, scratch);
    return append_value(*parent, *fresh);
}

} // namespace

Cell* make_root(Cell* parent, int32_t n) {
    return place(parent, [n](Cell& c) { init_at(c, n, true); });
}

Cell* make_in(Cell* parent, int32_t n) {
    return place(parent, [n](Cell& c) { make_at(c, n); });
}

void insert_repeated(Cell& block, int64_t index, const Cell* cells, uint32_t n, int32_t dup) {
    if (dup < 1 || n == 0) return;
    uint32_t count;
    uint32_t bytes;
    if (__builtin_mul_overflow(n, uint32_t(dup), &count) ||
        __builtin_mul_overflow(count, cell_size, &bytes) || bytes > 0x7FFFFFF0u)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    Buffer* b = buffer_of(block);
    if (b->tail + bytes > b->data_end()) {
        int64_t need = int64_t(b->tail - b->head) + bytes;
        b = memory::expand_series(b, dup < 5 ? need * 2 : need);
    }
    Cell* at = b->head_cell() + std::clamp<int64_t>(index, 0, length_of(b));
    std::memmove(at + count, at, size_t(b->tail - reinterpret_cast<uint8_t*>(at)));
    for (int32_t i = 0; i < dup; ++i) std::memcpy(at + i * n, cells, n * cell_size);
    b->tail += bytes;
}

namespace {

bool copied_when_nested(uint32_t type, bool any_block) {
    switch (type) {
    case TYPE_BLOCK: return true;
    case TYPE_PAREN:
    case TYPE_PATH:
    case TYPE_LIT_PATH:
    case TYPE_SET_PATH:
    case TYPE_GET_PATH: return any_block;
    default: return false;
    }
}

// Writes into `out` a copy of the value's cells from its head. `out` must
// be a root: the new buffer is reachable only through it.
void copy_into(const Cell& value, Cell& out, bool deep, bool any_block) {
    int32_t n = std::max(rs_length(value), 0);
    NodeId node = memory::alloc_cells(uint32_t(std::max(n, 1)));
    Buffer* target = memory::buffer_of(node);
    std::memcpy(target->head, rs_head(value), size_t(n) * cell_size);
    target->tail += size_t(n) * cell_size;
    out = Cell{cell::type_of(value), 0, node, 0};
    if (!deep) return;
    cycles::Guard on_stack(value.w2);
    for (int32_t i = 0; i < n; ++i) {
        Rooted<Cell> nested(buffer_of(out)->head_cell()[i]);
        if (!copied_when_nested(cell::type_of(*nested), any_block)) continue;
        Rooted<Cell> copy;
        copy_into(*nested, *copy, true, any_block);
        copy->header = nested->header;
        buffer_of(out)->head_cell()[i] = *copy;
    }
}

} // namespace

Cell* push_copy(const Cell& value, bool deep, bool any_block) {
    Cell* out = stack::push(unset::value);
    copy_into(value, *out, deep, any_block);
    return out;
}

Cell* append_value(Cell& block, const Cell& value) {
    Cell copy = value; // the value may lie in the buffer that grows
    insert_repeated(block, length_of(buffer_of(block)), &copy, 1, 1);
    return rs_tail(block) - 1;
}

namespace {

// The source's cells from its head, copied out of a buffer that may grow.
std::vector<Cell> cells_from_head(const Cell& source) {
    int32_t n = std::max(rs_length(source), 0);
    const Cell* head = rs_head(source);
    return std::vector<Cell>(head, head + n);
}

} // namespace

Cell* append_cells(Cell& block, const Cell& source) {
    std::vector<Cell> cells = cells_from_head(source);
    insert_repeated(block, length_of(buffer_of(block)), cells.data(), uint32_t(cells.size()), 1);
    return &block;
}

Cell* insert_value(Cell& block, const Cell& value, bool advance, bool at_start) {
    Cell copy = value;
    insert_repeated(block, at_start ? 0 : clamped_head(block), &copy, 1, 1);
    if (advance) ++block.w1;
    return &block;
}

Cell* insert_cells(Cell& block, const Cell& source) {
    std::vector<Cell> cells = cells_from_head(source);
    int32_t head = clamped_head(block);
    insert_repeated(block, head, cells.data(), uint32_t(cells.size()), 1);
    block.w1 = uint32_t(head + int32_t(cells.size()));
    return &block;
}

Cell* append_second() {
    Cell* args = stack::state.base;
    append_value(args[0], args[1]);
    return args;
}

Cell* append_frame_value() {
    Cell* base = stack::state.base;
    return append_value(base[-1], base[0]);
}

Cell* insert_frame_value() {
    Cell* base = stack::state.base;
    return insert_value(base[-1], base[0], true, false);
}

bool remove_value(Cell& block, const Cell& key, bool from_start) {
    Buffer* b = buffer_of(block);
    int32_t length = length_of(b);
    for (int32_t i = from_start ? 0 : clamped_head(block); i < length; ++i) {
        Cell* c = b->head_cell() + i;
        if (!lookup_equal(key, *c)) continue;
        std::memmove(c, c + 1, size_t(length - i - 1) * cell_size);
        b->tail -= cell_size;
        return i <= int32_t(block.w1);
    }
    return false;
}

const Cell* select_ptr(const Cell& block, const Cell& key) {
    Buffer* b = buffer_of(block);
    int32_t length = length_of(b);
    for (int32_t i = clamped_head(block); i + 1 < length; ++i)
        if (lookup_equal(key, b->head_cell()[i])) return b->head_cell() + i + 1;
    return &none::value;
}

const Cell* find_word(const Cell& block, const Cell& word, bool strict) {
    uint32_t wanted = strict ? word.w2 : symbol::resolve(word.w2);
    Buffer* b = buffer_of(block);
    int32_t length = length_of(b);
    for (int32_t i = clamped_head(block); i + 1 < length; ++i) {
        const Cell& c = b->head_cell()[i];
        switch (cell::type_of(c)) {
        case TYPE_WORD:
        case TYPE_SET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_GET_WORD:
            if ((strict ? c.w2 : symbol::resolve(c.w2)) == wanted) return &c + 1;
            break;
        default: break;
        }
    }
    return &none::value;
}

namespace {

[[noreturn]] void unsupported(const Cell& value) {
    Cell type;
    datatype::make_at(type, cell::type_of(value));
    runtime::fire_error(runtime::Category::script, err::script::expect_arg, nullptr, &type);
}

int32_t form_value(const Cell& value, Cell* buffer, const Cell* arg, int32_t part) {
    auto form = datatype::get<Slot::form>(cell::type_of(value));
    if (!form) unsupported(value);
    return form(&value, buffer, arg, part);
}

int32_t mold_value(const Cell& value, Cell* buffer, bool all, bool flat, const Cell* arg,
                   int32_t part, int32_t indent) {
    auto mold = datatype::get<Slot::mold>(cell::type_of(value));
    if (!mold) unsupported(value);
    return mold(&value, buffer, false, all, flat, arg, part, indent);
}

// Appends the marker of a series the walk is already inside.
bool append_cycle_marker(const Cell& value, Cell* buffer, int32_t& part, bool mold) {
    const char* marker = cycles::detect(value, part, mold);
    if (marker) string::append_c_string(*buffer, marker);
    return marker != nullptr;
}

// The last character of the buffer, 0 when it is empty.
uint32_t last_char(const Cell& buffer) {
    uint32_t length = string::length_whole(buffer);
    return length ? string::char_at(buffer, length - 1) : 0;
}

int32_t append_indent(Cell* buffer, int32_t part, int32_t indent) {
    for (int32_t i = 0; i < indent; ++i)
        string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>("    "), uint32_t(4));
    return part - 4 * indent;
}

} // namespace

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    if (append_cycle_marker(*value, buffer, part, false)) return part;
    cycles::Guard on_stack(value->w2);
    int32_t length = rs_length(*value);
    for (int32_t i = 0; i < length; ++i) {
        if (arg && part <= 0) break;
        Cell c = rs_head(*value)[i];
        part = form_value(c, buffer, arg, part);
        if (i + 1 < length) {
            uint32_t last = last_char(*buffer);
            if (last != '\n' && last != '\r' && last != '\t') {
                string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(" "), uint32_t(1));
                --part;
            }
        }
    }
    return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    if (append_cycle_marker(*value, buffer, part, true)) return part;
    bool paren = cell::type_of(*value) == TYPE_PAREN;
    if (!only) {
        string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(paren ? "(" : "["),
                             uint32_t(1));
        --part;
    }
    part = mold_each(*value, buffer, only, all, flat, arg, part, indent);
    if (!only) {
        string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(paren ? ")" : "]"),
                             uint32_t(1));
        --part;
    }
    return part;
}

int32_t mold_each(const Cell& value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
                  int32_t part, int32_t indent) {
    bool indented = false;
    {
        cycles::Guard on_stack(value.w2);
        int32_t length = rs_length(value);
        for (int32_t i = 0; i < length; ++i) {
            if (arg && part <= 0) return part;
            Cell c = rs_head(value)[i];
            if (!flat && (c.header & cell::new_line_flag)) {
                if (!only && i == 0) {
                    indented = true;
                    ++indent;
                }
                if (!(only && i == 0)) {
                    string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>("\n"),
                                         uint32_t(1));
                    --part;
                }
                part = append_indent(buffer, part, indent);
            } else if (i != 0) {
                string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(" "), uint32_t(1));
                --part;
            }
            part = mold_value(c, buffer, all, flat, arg, part, indent);
        }
    }
    if (indented) {
        --indent;
        string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>("\n"), uint32_t(1));
        part = append_indent(buffer, part - 1, indent);
    }
    return part;
}

namespace {

bool is_word_type(uint32_t type) {
    switch (type) {
    case TYPE_WORD:
    case TYPE_SET_WORD:
    case TYPE_LIT_WORD:
    case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
    case TYPE_ISSUE: return true;
    default: return false;
    }
}

bool is_number_type(uint32_t type) {
    return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT;
}

bool compatible(uint32_t t1, uint32_t t2) {
    return t1 == t2 || (is_word_type(t1) && is_word_type(t2)) ||
           (is_number_type(t1) && is_number_type(t2));
}

bool is_equality(int32_t op) {
    switch (op) {
    case 0:
    case 1:
    case 2:
    case 10:
    case 11:
    case 12: return true;
    default: return false;
    }
}

} // namespace

// Blocks of different lengths are unequal at once; otherwise they compare
// element by element and, when one is a prefix of the other, the shorter
// (an empty block included) orders first.
int32_t compare_each(const Cell& value1, const Cell& value2, int32_t op) {
    bool same = value1.w2 == value2.w2 && value1.w1 == value2.w1;
    if (op == 9) return same ? 0 : -1;
    if (same) return 0;
    if (cycles::find(value1.w2)) return cycles::find(value2.w2) ? 0 : -1;
    int32_t length1 = std::max(rs_length(value1), 0);
    int32_t length2 = std::max(rs_length(value2), 0);
    if (length1 != length2 && is_equality(op)) return 1;

    cycles::Guard first(value1.w2);
    cycles::Guard second(value2.w2);
    for (int32_t k = 0; k < std::min(length1, length2); ++k) {
        Cell c1 = rs_head(value1)[k];
        Cell c2 = rs_head(value2)[k];
        uint32_t t1 = cell::type_of(c1), t2 = cell::type_of(c2);
        if (!compatible(t1, t2)) return t1 < t2 ? -1 : 1;
        auto compare = datatype::get<Slot::compare>(t1);
        int32_t r = compare ? compare(&c1, &c2, op) : -2;
        if (r != 0) return r;
    }
    return (length1 > length2) - (length1 < length2);
}

} // namespace kiv::block
