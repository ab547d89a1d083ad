#include "datatypes/block.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/sort_keys.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/text_key.h"
#include "datatypes/typeset.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "runtime/cell_handle.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::block {

Hooks hooks;

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

Cell& written_cell(const Cell& block, int32_t index) {
    plan_store::touch(block.w2);
    return rs_head(block)[index];
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
    plan_store::touch(block.w2);
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
    plan_store::touch(block.w2);
    Buffer* b = buffer_of(block);
    if (b->tail + bytes > b->data_end()) {
        int64_t need = int64_t(b->tail - b->head) + bytes;
        b = memory::expand_series(b, dup < 5 ? need * 2 : need);
    }
    Cell* at = b->head_cell() + std::clamp<int64_t>(index, 0, length_of(b));
    size_t after = size_t(b->tail - reinterpret_cast<uint8_t*>(at));
    if (after) std::memmove(at + count, at, after);
    uint8_t* tail = b->tail;
    runtime::write_copies(
        uint32_t(dup), uint64_t(n) * cell_size,
        [&](uint64_t first, uint64_t copies) {
            Cell* out = at + first * n;
            if (n == 1)
                std::fill_n(out, copies, *cells);
            else
                for (uint64_t i = 0; i < copies; ++i)
                    std::memcpy(out + i * n, cells, n * cell_size);
        },
        [&](uint64_t done) {
            if (after) std::memmove(at + done * n, at + count, after);
            b->tail = tail + done * n * cell_size;
        });
    b->tail = tail + bytes;
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
        runtime::poll();
        CellHandle slot(out.w2, uint32_t(i)); // copying allocates, which may move the buffer
        Rooted<Cell> nested(*slot);
        if (!copied_when_nested(cell::type_of(*nested), any_block)) continue;
        Rooted<Cell> copy;
        copy_into(*nested, *copy, true, any_block);
        copy->header = nested->header;
        *slot = *copy;
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
        plan_store::touch(block.w2);
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

} // namespace

int32_t append_indent(Cell* buffer, int32_t part, int32_t indent) {
    for (int32_t i = 0; i < indent; ++i)
        string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>("    "), uint32_t(4));
    return part - 4 * indent;
}

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

} // namespace

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

uint32_t content_hash(const Cell& block) {
    // Numbers of every type compare by value, so they share one hash.
    constexpr uint32_t number_family = 0x4E554D;
    int32_t length = std::max(rs_length(block), 0);
    uint32_t h = hashing::mix_int(uint32_t(length));
    const Cell* values = rs_head(block);
    for (int32_t k = 0; k < length; ++k) {
        uint32_t t = cell::type_of(values[k]);
        uint32_t one = is_word_type(t) || is_text_type(t) ? hashing::hash_value(values[k], 0)
                       : is_number_type(t)                ? number_family
                                                          : t;
        h = hashing::mix_int(h * 31 + one);
    }
    return h;
}

} // namespace kiv::block

// ---------------------------------------------------------------- actions

namespace kiv::block {

namespace {

using ownership::Word;

bool is_block(const Cell& c) {
    return series::is_block_type(cell::type_of(c));
}

// Equality of a cell of the series with the searched value under an
// operator; types without a comparison match only identical cells.
bool matches(const Cell& value, const Cell& c, int32_t op) {
    auto compare = datatype::get<Slot::compare>(cell::type_of(value));
    if (!compare)
        return cell::type_of(value) == cell::type_of(c) && value.w1 == c.w1 && value.w2 == c.w2 &&
               value.w3 == c.w3;
    return compare(&value, &c, op) == 0;
}

// The outcome of a search: the candidate index (-1 when none) and the
// length of the matched sequence (0 for a single cell).
struct Found {
    int64_t at = -1;
    int64_t k = 0;
    int64_t step = 1;
    bool backward = false;
};

struct Search {
    const Cell* part;
    bool only, case_, same;
    const Cell* skip;
    bool last, reverse, match;
};

Found search(const Cell& series, const Cell& value, const Search& s) {
    Found f;
    Buffer* b = buffer_of(series);
    int64_t length = length_of(b);
    int64_t head = int32_t(series.w1);
    if (length == 0 || (!s.reverse && head >= length)) return f;
    head = std::clamp<int64_t>(head, 0, length);
    if (s.skip) {
        if (cell::type_of(*s.skip) != TYPE_INTEGER) series::invalid_refine("skip", *s.skip);
        f.step = integer::get(*s.skip);
        if (f.step < 1) series::raise(err::script::out_of_range, s.skip);
    }
    int64_t limit = length - 1;
    bool limited = false;
    if (s.part) {
        if (cell::type_of(*s.part) == TYPE_INTEGER) {
            int64_t n = integer::get(*s.part);
            if (n < 1) return f;
            limit = head + n - 1;
        } else {
            if (cell::type_of(*s.part) != cell::type_of(series) || s.part->w2 != series.w2)
                series::invalid_refine("part", *s.part);
            limit = int32_t(s.part->w1);
        }
        limit = std::min(limit, length - 1);
        limited = true;
    }
    uint32_t vtype = cell::type_of(value);
    bool by_type = vtype == TYPE_DATATYPE && !s.only;
    bool by_typeset = vtype == TYPE_TYPESET && !s.only;
    int32_t op = s.same ? 9 : s.case_ ? 2 : 12;

    NodeId table = cell::type_of(series) == TYPE_HASH ? series.w3 : 0;
    bool use_table = table && !s.match && !(is_block(value) && !(s.same && s.only)) && !by_type &&
                     !by_typeset && !(vtype == TYPE_OBJECT && !s.same);
    if (use_table) {
        Cell* c =
            hashtable::get(table, &value, int32_t(head), int32_t(f.step), op, s.last, s.reverse);
        if (!c) return f;
        int64_t at = c - buffer_of(series)->head_cell();
        if (limited && at > limit) return f;
        f.at = at;
        f.backward = s.last || s.reverse;
        return f;
    }

    f.k = (s.only || !is_block(value)) ? 0 : std::max(rs_length(value), 0);
    int64_t k = f.k;
    auto candidate = [&](int64_t i) {
        runtime::poll();
        Cell* cells = buffer_of(series)->head_cell();
        if (k > 0) {
            if (i + k > length) return false;
            const Cell* wanted = rs_head(value);
            for (int64_t j = 0; j < k; ++j)
                if (!matches(wanted[j], cells[i + j], op)) return false;
            return true;
        }
        if (by_type) return cell::type_of(cells[i]) == value.w1;
        if (by_typeset) return typeset::has(value, cell::type_of(cells[i]));
        return matches(value, cells[i], op);
    };
    if (s.last || s.reverse) {
        f.backward = true;
        int64_t start = limited  ? limit
                        : s.last ? (k > 0 ? length - k : length - 1)
                                 : (k > 0 ? head - k : head - 1);
        if (start < 0) return f;
        for (int64_t i = start; i >= 0; i -= f.step) {
            if (candidate(i)) {
                f.at = i;
                return f;
            }
            if (s.match) break;
        }
        return f;
    }
    int64_t end = limited ? limit : length - 1;
    for (int64_t i = head; i <= end; i += f.step) {
        if (candidate(i)) {
            f.at = i;
            return f;
        }
        if (s.match) break;
    }
    return f;
}

void set_none(Cell* c) {
    *c = none::value;
}

// The value's cells from its head (a block value without /only), or the
// value itself, copied out of any buffer that may move.
std::vector<Cell> new_cells(const Cell& value, bool only) {
    if (is_block(value) && !only) return cells_from_head(value);
    return {value};
}

// Replaces every cell from `from` of the block in `out` whose type passes
// `wanted` by its copy through the copy action.
template <class Wanted>
void copy_nested(Cell& out, uint32_t from, bool deep, const Cell* types, Wanted wanted) {
    uint32_t n = uint32_t(std::max(rs_length(out), 0));
    for (uint32_t i = from; i < n; ++i) {
        runtime::poll();
        Rooted<Cell> nested(rs_head(out)[i]);
        if (!wanted(cell::type_of(*nested))) continue;
        Rooted<Cell> copied;
        dispatch::copy(&*nested, &*copied, nullptr, deep, deep ? types : nullptr);
        copied->header = (nested->header & cell::new_line_flag) | cell::type_of(*copied);
        rs_head(out)[i] = *copied;
    }
}

// Objects and maps give their body when made into a block, vectors their
// elements.
bool has_body(uint32_t type) {
    return type == TYPE_OBJECT || type == TYPE_MAP || type == TYPE_VECTOR;
}

// The cells of a block value from its head, the body of an object or a
// map, or the elements of a vector, as a new block written into `out` (a
// root).
void block_of(const Cell& spec, Cell& out) {
    if (cell::type_of(spec) == TYPE_VECTOR) {
        vector::to_block(spec, out);
        return;
    }
    if (!has_body(cell::type_of(spec))) {
        copy_into(spec, out, false, false);
        return;
    }
    out = spec;
    dispatch::lookup<Slot::reflect>(spec)(&out, symbol::intern("body"));
}

} // namespace

int32_t room_of(const Cell& number) {
    if (cell::type_of(number) == TYPE_INTEGER) return integer::get(number);
    double room = cell::get_float(number);
    return std::isnan(room) ? 0 : int32_t(std::clamp(room, -2147483648.0, 2147483647.0));
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    uint32_t t = cell::type_of(*spec);
    if (is_block(*spec) || has_body(t)) {
        Rooted<Cell> out;
        block_of(*spec, *out);
        *proto = *out;
    } else if (t == TYPE_INTEGER || t == TYPE_FLOAT) {
        make_at(*proto, room_of(*spec));
    } else {
        Cell named{};
        datatype::make_at(named, type);
        series::raise(err::script::bad_make_arg, &named, spec);
    }
    cell::set_type(*proto, type);
    series::hash_new(*proto);
    return proto;
}

Cell* to(Cell* proto, const Cell* spec, uint32_t type) {
    uint32_t t = cell::type_of(*spec);
    Rooted<Cell> out;
    if (t == TYPE_STRING) {
        hooks.load_text(*out, *spec, false);
    } else if (is_block(*spec) || has_body(t)) {
        block_of(*spec, *out);
    } else if (t == TYPE_TYPESET) {
        typeset::to_block(*spec, *out);
    } else {
        make_at(*out, 1);
        append_value(*out, *spec);
    }
    *proto = *out;
    proto->header = type;
    proto->w1 = 0;
    proto->w3 = 0;
    series::hash_new(*proto);
    return proto;
}

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    uint32_t t1 = cell::type_of(*value1), t2 = cell::type_of(*value2);
    if (t1 != t2) {
        bool paths =
            (t1 == TYPE_PATH && t2 == TYPE_LIT_PATH) || (t1 == TYPE_LIT_PATH && t2 == TYPE_PATH);
        if (!(paths && (op == 10 || op == 11))) return -2;
    }
    return compare_each(*value1, *value2, op);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                bool case_, bool, bool, bool) {
    uint32_t t = cell::type_of(*element);
    if (t == TYPE_INTEGER) {
        if (value) return series::poke(parent, integer::get(*element), value, element);
        Cell* out = stack::push(*parent);
        return series::pick(out, integer::get(*element), element);
    }
    if (!value) {
        if (t == TYPE_WORD && cell::type_of(*parent) != TYPE_HASH)
            return stack::push(*find_word(*parent, *element, case_));
        Cell* out = stack::push(*parent);
        return select(out, element, nullptr, false, case_, false, false, nullptr, nullptr, false,
                      false);
    }
    Found f =
        search(*parent, *element, {nullptr, false, case_, false, nullptr, false, false, false});
    if (f.at < 0) series::raise(err::script::bad_path_set, path, element);
    Cell at = *parent;
    at.w1 = uint32_t(f.at);
    return series::poke(&at, 2, value, nullptr);
}

Cell* find(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool, const Cell*, const Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Found f = search(*series, *value, {part, only, case_, same, skip, last, reverse, match});
    if (f.at < 0) {
        set_none(series);
        return series;
    }
    int64_t at = f.at;
    if (tail) at += f.k > 0 ? f.k : f.backward ? 1 : f.step;
    series->w1 = uint32_t(std::min<int64_t>(at, length_of(buffer_of(*series))));
    return series;
}

Cell* select(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool, const Cell*, const Cell* skip, bool last, bool reverse) {
    Found f = search(*series, *value, {part, only, case_, same, skip, last, reverse, false});
    int64_t next = f.at + (f.k > 0 ? f.k : 1);
    if (f.at < 0 || next >= length_of(buffer_of(*series)))
        set_none(series);
    else
        *series = buffer_of(*series)->head_cell()[next];
    return series;
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    Cell whole = *series;
    Found f = search(whole, *key, {nullptr, true, case_, false, nullptr, false, false, false});
    series::Change change(*series, Word::put, value, 0, 1);
    if (f.at < 0) {
        uint32_t start = uint32_t(length_of(buffer_of(*series)));
        append_value(*series, *key);
        append_value(*series, *value);
        series::hash_add(*series, start, 2);
    } else {
        int64_t after = f.at + 1;
        if (after >= length_of(buffer_of(*series))) {
            append_value(*series, *value);
            series::hash_add(*series, uint32_t(after), 1);
        } else if (!matches(buffer_of(*series)->head_cell()[after], *value, 12)) {
            NodeId table = cell::type_of(*series) == TYPE_HASH ? series->w3 : 0;
            // Removing a key allocates nothing; filing it reads its place first.
            Cell* at = buffer_of(*series)->head_cell() + after;
            if (table) hashtable::remove_key(table, at);
            *at = *value;
            if (table) hashtable::put(table, at);
        }
    }
    change.done(Word::put_ed);
    return value;
}

namespace {

// Appends one value to a block that no owner watches and that has room for
// it: the common `append b value`, with no copy of cells, no hash to file
// and no change to announce. False when the general path must run.
bool append_one_in_room(Cell& series, const Cell& value) {
    if (cell::type_of(series) == TYPE_HASH) return false;
    Buffer* b = buffer_of(series);
    if ((b->flags & ownership::owned_flag) || b->tail + cell_size > b->data_end()) return false;
    plan_store::touch(series.w2);
    *b->tail_cell() = value;
    b->tail += cell_size;
    series.w1 = 0;
    return true;
}

// Inserts or appends the values in general: splicing, repeating, filing
// a hash!'s cells and announcing the change to an owner. Out of line, so
// that the common append above pays for none of its set-up.
[[gnu::noinline]] Cell* insert_values(Cell* series, const Cell* value, int32_t part, bool only,
                                      int32_t dup, bool append) {
    // One value needs no copy of the cells of a block (the value stays
    // reachable in its argument cell while the block grows).
    Cell single = *value;
    std::vector<Cell> cells;
    const Cell* source = &single;
    uint32_t n = 1;
    if (is_block(*value) && !only) {
        cells = cells_from_head(*value);
        source = cells.data();
        n = uint32_t(cells.size());
    }
    if (part >= 0 && uint32_t(part) < n) n = uint32_t(part);
    if (n == 0 || dup < 1) return series;
    int32_t length = length_of(buffer_of(*series));
    if (int32_t(series->w1) > length) series->w1 = uint32_t(length); // a head past the tail
    int32_t at = append ? length : int32_t(series->w1);
    series::Change change(*series, append ? Word::append : Word::insert, value,
                          at - int32_t(series->w1), int32_t(n));
    insert_repeated(*series, at, source, n, dup);
    uint32_t added = n * uint32_t(dup);        // fits: insert_repeated checked it
    if (cell::type_of(*series) == TYPE_HASH) { // only a hash! files its cells
        if (series::hash_shift(*series, uint32_t(at), uint32_t(length - at), int32_t(added)))
            series::hash_add(*series, uint32_t(at), uint32_t(added));
        else
            series::hash_rebuild(*series);
    }
    change.done(append ? Word::appended : Word::inserted);
    series->w1 =
        append ? 0
               : uint32_t(std::min<int64_t>(int64_t(at) + added, length_of(buffer_of(*series))));
    return series;
}

} // namespace

Cell* insert(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    if (append && dup == 1 && part != 0 && (only || !is_block(*value)) &&
        append_one_in_room(*series, *value))
        return series;
    return insert_values(series, value, part, only, dup, append);
}

Cell* change(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup) {
    clip_head(*series);
    int64_t head = int32_t(series->w1);
    int64_t avail = length_of(buffer_of(*series)) - head;
    std::vector<Cell> cells = new_cells(*value, only);
    uint32_t n = uint32_t(cells.size());
    int64_t m = int64_t(n) * std::max(dup, 1);
    if (m * int64_t(cell_size) > 0x7FFFFFF0)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    int64_t removed = std::min(avail, part >= 0 ? int64_t(part) : m);
    series::Change change(*series, Word::change, value, 0, int32_t(removed));
    if (removed > 0) {
        Buffer* b = buffer_of(*series);
        Cell* at = b->head_cell() + head;
        std::memmove(at, at + removed, size_t(b->tail - reinterpret_cast<uint8_t*>(at + removed)));
        b->tail -= size_t(removed) * cell_size;
    }
    insert_repeated(*series, head, cells.data(), n, std::max(dup, 1));
    series::hash_rebuild(*series);
    change.done(Word::changed);
    series->w1 = uint32_t(std::min<int64_t>(head + m, length_of(buffer_of(*series))));
    return series;
}

Cell* copy(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types) {
    if (deep) cycles::refuse_cycle(value->w2);
    series::copy(value, out, part, deep, types);
    if (!deep && !types) return out;
    if (cell::type_of(*out) == TYPE_HASH) {
        cell::set_type(*out, TYPE_BLOCK);
        out->w3 = 0;
    }
    std::optional<cycles::Guard> on_stack;
    if (deep) on_stack.emplace(value->w2);
    if (!types) {
        copy_nested(*out, 0, true, nullptr, series::is_series_type);
    } else {
        Cell named = *types;
        copy_nested(*out, 0, deep, types, [&named](uint32_t type) {
            bool wanted = cell::type_of(named) == TYPE_DATATYPE ? type == named.w1
                                                                : typeset::has(named, type);
            return wanted && series::is_series_type(type);
        });
    }
    return out;
}

Cell* take(Cell* series, const Cell* part, bool deep, bool last) {
    series::take(series, part, deep, last);
    if (cell::type_of(*series) == TYPE_NONE) return series;
    if (deep) {
        Cell* out = stack::push(*series);
        copy_nested(*out, 0, true, nullptr, series::is_series_type);
        *series = *out;
    }
    if (!part && rs_length(*series) == 1) *series = *rs_head(*series);
    return series;
}

Cell* swap(Cell* series1, Cell* series2) {
    if (!is_block(*series2)) series::raise(err::script::invalid_arg, series2);
    if (series::past_tail(*series1) || series::past_tail(*series2)) return series1;
    series::Change change1(*series1, Word::swap, series2, 0, 1);
    series::Change change2(*series2, Word::swap, series1, 0, 1);
    std::swap(*rs_head(*series1), *rs_head(*series2));
    series::hash_rebuild(*series1);
    series::hash_rebuild(*series2);
    change1.done(Word::swaped);
    change2.done(Word::swaped);
    return series1;
}

Cell* trim(Cell* series, bool, bool, bool, bool, bool, const Cell*) {
    clip_head(*series);
    series::Change change(*series, Word::trim, nullptr, 0, rs_length(*series));
    Buffer* b = buffer_of(*series);
    Cell* kept = rs_head(*series);
    for (Cell* c = kept; c < b->tail_cell(); ++c)
        if (cell::type_of(*c) != TYPE_NONE) *kept++ = *c;
    b->tail = reinterpret_cast<uint8_t*>(kept);
    series::hash_rebuild(*series);
    change.done(Word::trimmed);
    return series;
}

namespace {

// Sorts of plain integers or of strings on one key, the common cases,
// order their keys here, without the datatype's comparison: the order of
// x against y into r; false for any other pair of types.
bool common_order(const Cell& x, const Cell& y, bool case_, int32_t& r) {
    uint32_t tx = cell::type_of(x), ty = cell::type_of(y);
    if (tx == TYPE_INTEGER && ty == TYPE_INTEGER) {
        int32_t p = int32_t(x.w2), q = int32_t(y.w2);
        r = (p > q) - (p < q);
        return true;
    }
    if (tx == TYPE_STRING && ty == TYPE_STRING) {
        r = string::order(x, y, case_);
        return true;
    }
    return false;
}

// Compares records of cells: on the cell at the spec's offset, or with
// /all on every cell in turn. Incomparable types order by type id.
int cell_order(const void* a, const void* b, intptr_t word, intptr_t) {
    const series::SortRun& run = *reinterpret_cast<const series::SortRun*>(word);
    const series::SortSpec& spec = *run.spec;
    auto x = static_cast<const Cell*>(a);
    auto y = static_cast<const Cell*>(b);
    uint32_t from = spec.offset, to = spec.all ? spec.size : spec.offset + 1;
    int32_t r = 0;
    if (!spec.all && common_order(x[from], y[from], spec.case_, r)) return spec.reverse ? -r : r;
    int32_t op = spec.case_ ? 8 : 7;
    for (uint32_t i = from; i < to && r == 0; ++i) {
        auto compare = datatype::get<Slot::compare>(cell::type_of(x[i]));
        r = compare ? compare(&x[i], &y[i], op) : -2;
        if (r == -2) r = int32_t(cell::type_of(x[i])) - int32_t(cell::type_of(y[i]));
    }
    return spec.reverse ? -r : r;
}

// Sorts blocks whose keys are all integers, or all strings of 1-byte
// units, in the orders common_order gives them.
bool cell_keyed_sort(const series::SortRun& run, uint8_t* base, bool stable) {
    auto key_cell = [](const uint8_t* unit) { return reinterpret_cast<const Cell*>(unit); };
    const Cell& first = *key_cell(base + run.spec->offset * sizeof(Cell));
    if (cell::type_of(first) == TYPE_INTEGER) {
        auto read = [&](const uint8_t* unit, int32_t& key) {
            if (cell::type_of(*key_cell(unit)) != TYPE_INTEGER) return false;
            key = int32_t(key_cell(unit)->w2);
            return true;
        };
        auto order = [](int32_t p, int32_t q) { return (p > q) - (p < q); };
        return series::sort_by_keys<int32_t>(run, base, stable, read, order);
    }
    if (cell::type_of(first) == TYPE_STRING) {
        bool exact = run.spec->case_;
        auto read = [&](const uint8_t* unit, string::TextKey& key) {
            const Cell& text = *key_cell(unit);
            return cell::type_of(text) == TYPE_STRING && string::text_key(text, exact, key);
        };
        auto order = [exact](const string::TextKey& p, const string::TextKey& q) {
            return string::order_keys(p, q, exact);
        };
        return series::sort_by_keys<string::TextKey>(run, base, stable, read, order);
    }
    return false;
}

} // namespace

Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable) {
    return series::sort(series, case_, skip, compare, part, all, reverse, stable, cell_order,
                        cell_keyed_sort);
}

namespace {

// Membership of a key in a block's records, through a hash table over
// the block when there is one; block-type keys are searched linearly.
struct Members {
    Cell& set; // a hash! value whose table files the records' keys
    uint32_t step;
    int32_t op;

    bool has(const Cell& key) const {
        if (is_block(key)) {
            Found f =
                search(set, key, {nullptr, true, op == 2, false, nullptr, false, false, false});
            while (f.at >= 0 && (f.at - int32_t(set.w1)) % step) {
                Cell from = set;
                from.w1 = uint32_t(f.at + 1);
                f = search(from, key,
                           {nullptr, true, op == 2, false, nullptr, false, false, false});
            }
            return f.at >= 0;
        }
        return hashtable::get(set.w3, &key, int32_t(set.w1), int32_t(step), op, false, false);
    }
};

} // namespace

Cell* do_set_op(int32_t op, bool case_, const Cell* skip) {
    Cell* args = frame_args();
    int64_t step = 1;
    if (skip) {
        if (cell::type_of(*skip) != TYPE_INTEGER || integer::get(*skip) < 1)
            series::invalid_refine("skip", *skip);
        step = integer::get(*skip);
    }
    clip_head(args[0]);
    if (op != unique) clip_head(args[1]);
    int32_t cmp = case_ ? 2 : 0;
    int32_t room = rs_length(args[0]) + (op == union_ ? rs_length(args[1]) : 0);

    Rooted<Cell> result;
    make_at(*result, std::max(room, 1));
    result->header = TYPE_HASH;
    result->w3 = hashtable::init(uint32_t(std::max(room, 1)), &*result, hashtable::value, 0);
    // The other set's table: its own for a hash!, else a temporary one.
    auto table_over = [](Cell& set, Rooted<Cell>& holder) {
        if (cell::type_of(set) == TYPE_HASH) {
            *holder = set;
            return;
        }
        Cell whole{TYPE_BLOCK, 0, set.w2, 0};
        *holder = Cell{TYPE_HASH, set.w1, set.w2, 0};
        holder->w3 =
            hashtable::init(uint32_t(std::max(rs_length(set), 1)), &whole, hashtable::value, 0);
    };
    Rooted<Cell> first, second;
    bool member_test = op == intersect || op == exclude || op == difference;
    if (member_test) {
        table_over(args[1], second);
        if (op == difference) table_over(args[0], first);
    }
    Members in_result{*result, uint32_t(step), cmp};

    auto pass = [&](Cell& from, Rooted<Cell>* other) {
        int32_t n = rs_length(from);
        for (int32_t i = 0; i < n; i += int32_t(step)) {
            runtime::poll();
            Cell key = rs_head(from)[i];
            if (other) {
                bool member = Members{**other, uint32_t(step), cmp}.has(key);
                if (member != (op == intersect)) continue;
            }
            if (in_result.has(key)) continue;
            int32_t count = std::min<int32_t>(int32_t(step), n - i);
            std::vector<Cell> record(rs_head(from) + i, rs_head(from) + i + count);
            uint32_t start = uint32_t(length_of(buffer_of(*result)));
            insert_repeated(*result, start, record.data(), uint32_t(count), 1);
            series::hash_add(*result, start, uint32_t(count));
        }
    };
    pass(args[0], member_test ? &second : nullptr);
    if (op == union_) pass(args[1], nullptr);
    if (op == difference) pass(args[1], &first);

    bool hashed = cell::type_of(args[0]) == TYPE_HASH ||
                  (op != unique && cell::type_of(args[1]) == TYPE_HASH);
    if (!hashed) {
        result->header = TYPE_BLOCK;
        result->w3 = 0;
    }
    args[0] = *result;
    return args;
}

void init() {
    datatype::register_type(TYPE_BLOCK, TYPE_SERIES, "block!",
                            {{Slot::make, make},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::append, insert},
                             {Slot::change, change},
                             {Slot::copy, copy},
                             {Slot::find, find},
                             {Slot::insert, insert},
                             {Slot::put, put},
                             {Slot::select, select},
                             {Slot::sort, sort},
                             {Slot::swap, swap},
                             {Slot::take, take},
                             {Slot::trim, trim}});
}

} // namespace kiv::block
