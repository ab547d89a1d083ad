#include "datatypes/bitset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/interrupt.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv::bitset {

namespace {

using ownership::Word;

// What a walk over a spec does with the integers it names.
enum class Op { measure, set, test, clear };
// Who asked, for the error a bad spec value raises.
enum class Kind { make, to, other };

// The largest bitset the buffers hold, in bytes.
constexpr uint64_t max_bytes = 0x7FFFFFF0u;

Buffer* buffer_of(const Cell& bits) {
    return memory::buffer_of(bits.w2);
}

uint64_t byte_count(const Cell& bits) {
    Buffer* b = buffer_of(bits);
    return uint64_t(b->tail - b->head);
}

uint8_t fill_byte(const Cell& bits) {
    return is_complemented(bits) ? 0xFF : 0x00;
}

[[noreturn]] void raise(uint32_t id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

[[noreturn]] void raise_for(Kind kind, const Cell& value) {
    if (kind == Kind::other) raise(err::script::invalid_arg, &value);
    Cell named{};
    datatype::make_at(named, TYPE_BITSET);
    raise(kind == Kind::make ? err::script::bad_make_arg : err::script::bad_to_arg, &named, &value);
}

// A new bitset of `count` bytes, all `fill`, in the cell.
Cell& make_at(Cell& cell, uint64_t count, uint8_t fill) {
    if (count > max_bytes)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    cell = Cell{cell::unset_header, 0, 0, 0};
    cell.w2 = memory::alloc_bytes(uint32_t(count));
    Buffer* b = buffer_of(cell);
    std::memset(b->head, fill, size_t(count));
    b->tail = b->head + count;
    cell.header = TYPE_BITSET;
    return cell;
}

// A copy of a bitset (its bytes and flag) in the cell.
Cell& copy_at(Cell& cell, const Cell& bits) {
    cell = Cell{cell::unset_header, 0, 0, 0};
    cell.w2 = memory::copy_series(buffer_of(bits));
    cell.header = TYPE_BITSET;
    return cell;
}

// Makes the stored bytes reach the byte of n, the new bytes filled by the
// complement flag.
void grow(Cell& bits, uint64_t n) {
    uint64_t need = n / 8 + 1;
    uint64_t have = byte_count(bits);
    if (need <= have) return;
    if (need > max_bytes)
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    uint8_t fill = fill_byte(bits);
    Buffer* b = buffer_of(bits);
    if (b->head + need > b->data_end())
        b = memory::expand_series(
            b, int64_t(std::min(std::max(need, 2 * uint64_t(b->size)), max_bytes)));
    std::memset(b->tail, fill, size_t(need - have));
    b->tail = b->head + need;
}

// Sets or clears the bits of lo..hi, all below the stored size.
void write_range(uint8_t* bytes, uint64_t lo, uint64_t hi, bool on) {
    auto apply = [&](uint64_t byte, uint8_t mask) {
        bytes[byte] = on ? uint8_t(bytes[byte] | mask) : uint8_t(bytes[byte] & ~mask);
    };
    uint64_t first = lo / 8, last = hi / 8;
    uint8_t head_mask = uint8_t(0xFF >> (lo % 8)), tail_mask = uint8_t(0xFF << (7 - hi % 8));
    if (first == last) return apply(first, head_mask & tail_mask);
    apply(first, head_mask);
    if (last > first + 1)
        std::memset(bytes + first + 1, on ? 0xFF : 0x00, size_t(last - first - 1));
    apply(last, tail_mask);
}

// Whether all of lo..hi are members: the stored bits (a whole byte at a
// time where the range covers it), then the flag beyond them.
bool test_range(const Cell& bits, uint64_t lo, uint64_t hi) {
    uint64_t size = byte_count(bits) * 8;
    if (hi >= size && !is_complemented(bits)) return false;
    const uint8_t* bytes = buffer_of(bits)->head;
    for (uint64_t n = lo; n <= hi && n < size;) {
        if (n % 8 == 0 && n + 7 <= hi) {
            if (bytes[n / 8] != 0xFF) return false;
            n += 8;
            continue;
        }
        if (!(bytes[n / 8] & (0x80 >> (n % 8)))) return false;
        ++n;
    }
    return true;
}

// The integers a spec names, as inclusive ranges handed to `visit`; a
// visit answering false ends the walk. While testing, a negative integer
// is passed as -1 instead of raising out-of-range.
using Visit = std::function<bool(int64_t lo, int64_t hi)>;

int64_t integer_of(const Cell& value, bool testing) {
    int64_t n =
        cell::type_of(value) == TYPE_FLOAT ? block::room_of(value) : int64_t(int32_t(value.w2));
    if (cell::type_of(value) == TYPE_CHAR) n = value.w2;
    if (n < 0 && !testing) raise(err::script::out_of_range, &value);
    return std::max<int64_t>(n, -1);
}

bool is_number(uint32_t type) {
    return type == TYPE_CHAR || type == TYPE_INTEGER || type == TYPE_FLOAT;
}

bool is_dash(const Cell& value) {
    return cell::type_of(value) == TYPE_WORD && std::strcmp(symbol::c_name(value.w2), "-") == 0;
}

bool walk(const Cell& spec, Kind kind, bool testing, const Visit& visit) {
    uint32_t type = cell::type_of(spec);
    if (is_number(type)) {
        int64_t n = integer_of(spec, testing);
        return visit(n, n);
    }
    if (series::is_text_type(type)) {
        // Each character is read afresh: a visit may allocate, and the
        // text's buffer move.
        for (uint32_t i = series::head_of(spec); i < buffer_of(spec)->length(); ++i) {
            Buffer* b = buffer_of(spec);
            int64_t cp = string::get_char(b->head + size_t(i) * b->unit(), b->unit());
            if (!visit(cp, cp)) return false;
        }
        return true;
    }
    if (type == TYPE_BINARY)
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    if (type != TYPE_BLOCK) raise_for(kind, spec);
    Rooted<Cell> block(spec);
    for (uint32_t i = series::head_of(*block); i < buffer_of(*block)->length(); ++i) {
        Cell element = buffer_of(*block)->head_cell()[i];
        uint32_t element_type = cell::type_of(element);
        bool range = (element_type == TYPE_CHAR || element_type == TYPE_INTEGER) &&
                     i + 1 < buffer_of(*block)->length() &&
                     is_dash(buffer_of(*block)->head_cell()[i + 1]);
        if (!range) {
            if (!walk(element, kind, testing, visit)) return false;
            continue;
        }
        if (i + 2 >= buffer_of(*block)->length()) raise(err::script::past_end);
        Cell end = buffer_of(*block)->head_cell()[i + 2];
        if (cell::type_of(end) != element_type) raise(err::script::invalid_arg, &end);
        int64_t lo = integer_of(element, testing), hi = integer_of(end, testing);
        if (hi < lo) raise(err::script::past_end);
        i += 2;
        if (!visit(lo, hi)) return false;
    }
    return true;
}

// Applies an operation to the integers of a spec; for a test, whether
// all of them are members.
bool process(const Cell& spec, Cell& bits, Op op, Kind kind) {
    return walk(spec, kind, op == Op::test, [&](int64_t lo, int64_t hi) {
        uint64_t size = byte_count(bits) * 8;
        bool complemented = is_complemented(bits);
        if (op == Op::test) {
            if (lo < 0) return complemented;
            return test_range(bits, uint64_t(lo), uint64_t(hi));
        }
        // Setting beyond the size of a complemented bitset, or clearing
        // beyond that of a plain one, changes nothing: those are already
        // members, or not.
        bool on = op == Op::set;
        if (uint64_t(hi) >= size && on != complemented) grow(bits, uint64_t(hi));
        size = byte_count(bits) * 8;
        if (uint64_t(lo) < size)
            write_range(buffer_of(bits)->head, uint64_t(lo), std::min(uint64_t(hi), size - 1), on);
        return true;
    });
}

// The bytes a spec needs: its largest integer div 8 + 1, at least 1.
uint64_t measure(const Cell& spec, Kind kind) {
    int64_t largest = 0;
    walk(spec, kind, false, [&](int64_t, int64_t hi) {
        largest = std::max(largest, hi);
        return true;
    });
    return uint64_t(largest) / 8 + 1;
}

// make (kind make) and to (kind to).
Cell* make_from(Cell* proto, const Cell* spec_cell, Kind kind) {
    Rooted<Cell> spec(*spec_cell);
    Rooted<Cell> out;
    bool complement = false;
    if (cell::type_of(*spec) == TYPE_BLOCK && series::length_from(*spec, false) > 0) {
        Cell first = buffer_of(*spec)->head_cell()[series::head_of(*spec)];
        if (cell::type_of(first) == TYPE_WORD &&
            std::strcmp(symbol::c_name(first.w2), "not") == 0) {
            complement = true;
            spec->w1 = series::head_of(*spec) + 1;
            if (series::length_from(*spec, false) > 0) {
                Cell second = buffer_of(*spec)->head_cell()[spec->w1];
                if (cell::type_of(second) == TYPE_BINARY) *spec = second;
            }
        }
    }
    uint32_t type = cell::type_of(*spec);
    if (type == TYPE_BITSET) {
        copy_at(*out, *spec);
    } else if (type == TYPE_INTEGER || type == TYPE_FLOAT) {
        if (kind == Kind::to) raise_for(kind, *spec);
        int64_t n = block::room_of(*spec);
        if (n < 0) raise(err::script::out_of_range, &*spec);
        make_at(*out, (uint64_t(n) + 7) / 8, 0);
    } else if (type == TYPE_BINARY) {
        uint32_t n = binary::length(*spec);
        make_at(*out, n, 0);
        const uint8_t* from = binary::head_ptr(*spec);
        uint8_t* to = buffer_of(*out)->head;
        for (uint32_t i = 0; i < n; ++i) to[i] = complement ? uint8_t(~from[i]) : from[i];
    } else {
        make_at(*out, measure(*spec, kind), complement ? 0xFF : 0x00);
        process(*spec, *out, complement ? Op::clear : Op::set, kind);
    }
    if (complement) buffer_of(*out)->flags |= complemented_flag;
    *proto = *out;
    return proto;
}

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    return make_from(proto, spec, Kind::make);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    return make_from(proto, spec, Kind::to);
}

// "make bitset! #{...}", or "make bitset! [not #{...}]" showing the
// inverted bytes of a complemented bitset.
int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    bool complemented = is_complemented(*value);
    std::string out = complemented ? "make bitset! [not #{" : "make bitset! #{";
    part -= int32_t(out.size());
    const uint8_t* bytes = buffer_of(*value)->head;
    for (uint64_t i = 0, n = byte_count(*value); i < n && !(arg && part < 0); ++i, part -= 2) {
        runtime::poll();
        out += string::byte_to_hex(complemented ? uint8_t(~bytes[i]) : bytes[i]);
    }
    if (!(arg && part <= 0)) {
        out += complemented ? "}]" : "}";
        part -= complemented ? 2 : 1;
    }
    string::append_bytes(*buffer, reinterpret_cast<const uint8_t*>(out.data()),
                         uint32_t(out.size()));
    return part;
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return form(value, buffer, arg, part);
}

int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    if (cell::type_of(*b) != TYPE_BITSET) return -2;
    if (op == 9) return a->w2 == b->w2 ? 0 : 1;
    uint64_t la = byte_count(*a), lb = byte_count(*b);
    if (la != lb) return la < lb ? -1 : 1;
    if (la == 0) return 0;
    bool ca = is_complemented(*a), cb = is_complemented(*b);
    if (ca != cb) return ca ? 1 : -1;
    const uint8_t* pa = buffer_of(*a)->head;
    const uint8_t* pb = buffer_of(*b)->head;
    for (uint64_t i = la; i-- > 0;)
        if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
    return 0;
}

// A copy with the flag toggled and the stored bytes inverted: the same
// members as before below the size, the others beyond it.
Cell* complement(Cell* value) {
    Rooted<Cell> out;
    copy_at(*out, *value);
    Buffer* b = buffer_of(*out);
    for (uint8_t* p = b->head; p < b->tail; ++p) *p = uint8_t(~*p);
    b->flags ^= complemented_flag;
    *value = *out;
    return value;
}

template <int32_t Op>
void bitwise() {
    do_bitwise(Op);
}

// Sets, clears or tests through a spec with ownership notices around a
// change.
Cell* change_members(Cell* bits, const Cell& spec, Op op, Word word, Word done) {
    series::Change change(*bits, word, &spec, 0, 0);
    process(spec, *bits, op, Kind::other);
    change.done(done);
    return bits;
}

Cell* append(Cell* bits, const Cell* value, int32_t, bool, int32_t, bool append) {
    return change_members(bits, *value, Op::set, append ? Word::append : Word::insert,
                          append ? Word::appended : Word::inserted);
}

Cell* clear(Cell* bits) {
    series::Change change(*bits, Word::clear, nullptr, 0, 0);
    Buffer* b = buffer_of(*bits);
    std::memset(b->head, fill_byte(*bits), size_t(b->tail - b->head));
    change.done(Word::cleared);
    return bits;
}

Cell* copy(Cell* value, Cell* out, const Cell*, bool, const Cell*) {
    return &copy_at(*out, *value);
}

bool pick_test(Cell* bits, const Cell& index) {
    return process(index, *bits, Op::test, Kind::other);
}

Cell* find(Cell* bits, const Cell* value, const Cell*, bool, bool, bool, bool, const Cell*,
           const Cell*, bool, bool, bool, bool) {
    if (pick_test(bits, *value)) return logic::make_at(*bits, true);
    return none::make_at(*bits);
}

int32_t length_q(Cell* bits) {
    return int32_t(std::min<uint64_t>(byte_count(*bits) * 8, INT32_MAX));
}

Cell index_cell_of(int32_t index, const Cell* index_cell) {
    if (index_cell) return *index_cell;
    Cell c{};
    integer::make_at(c, index);
    return c;
}

Cell* pick(Cell* bits, int32_t index, const Cell* index_cell) {
    return logic::make_at(*bits, pick_test(bits, index_cell_of(index, index_cell)));
}

// A false value (none, false, 0, 0.0) clears, any other sets.
Cell* poke(Cell* bits, int32_t index, Cell* value, const Cell* index_cell) {
    uint32_t type = cell::type_of(*value);
    bool off = type == TYPE_NONE || (type == TYPE_LOGIC && !logic::get(*value)) ||
               (type == TYPE_INTEGER && integer::get(*value) == 0) ||
               (type == TYPE_FLOAT && cell::get_float(*value) == 0.0);
    Cell spec = index_cell_of(index, index_cell);
    change_members(bits, spec, off ? Op::clear : Op::set, Word::poke, Word::poked);
    return value;
}

// remove/part: the named integers stop being members, in a complemented
// bitset too (their bits are cleared, growing the stored bytes as needed).
Cell* remove(Cell* bits, const Cell* part, const Cell*) {
    if (!part) raise(err::script::missing_arg);
    return change_members(bits, *part, Op::clear, Word::remove, Word::removed);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int32_t, bool, bool,
                bool, bool) {
    uint32_t type = cell::type_of(*element);
    if (type != TYPE_INTEGER && type != TYPE_CHAR) {
        Cell named{};
        datatype::make_at(named, type);
        raise(err::script::invalid_type, &named);
    }
    if (value) return poke(parent, 0, value, element);
    return pick(stack::push(*parent), 0, element);
}

} // namespace

bool is_complemented(const Cell& bits) {
    return buffer_of(bits)->flags & complemented_flag;
}

bool has(const Cell& bits, uint32_t n) {
    Buffer* b = buffer_of(bits);
    if (uint64_t(n) / 8 >= uint64_t(b->tail - b->head)) return b->flags & complemented_flag;
    return b->head[n / 8] & (0x80 >> (n % 8));
}

void do_bitwise(int32_t op) {
    Cell* args = frame_args();
    if (op == 8) return;
    if (cell::type_of(args[1]) != TYPE_BITSET) {
        Cell named{};
        datatype::make_at(named, cell::type_of(args[1]));
        raise(err::script::invalid_type, &named);
    }
    auto combine = [op](uint32_t a, uint32_t b) -> uint32_t {
        switch (op) {
        case 5:
        case 9: return a | b;
        case 6:
        case 10: return a & b;
        case 11: return a & ~b;
        default: return a ^ b;
        }
    };
    bool ca = is_complemented(args[0]), cb = is_complemented(args[1]);
    uint64_t la = byte_count(args[0]), lb = byte_count(args[1]);
    Rooted<Cell> result;
    make_at(*result, std::max(la, lb), 0);
    const uint8_t* a = buffer_of(args[0])->head;
    const uint8_t* b = buffer_of(args[1])->head;
    uint8_t* out = buffer_of(*result)->head;
    // Past its stored bytes an operand is all flag bytes; a plain pair's
    // result bytes beyond the shorter come out as or, xor and exclude
    // copy them and and~, intersect leave zeros, the exact set operation.
    uint8_t fa = ca ? 0xFF : 0x00, fb = cb ? 0xFF : 0x00;
    for (uint64_t i = 0, n = std::max(la, lb); i < n; ++i)
        out[i] = uint8_t(combine(i < la ? a[i] : fa, i < lb ? b[i] : fb));
    if (combine(ca, cb) & 1) buffer_of(*result)->flags |= complemented_flag;
    args[0] = *result;
}

void init() {
    datatype::register_type(TYPE_BITSET, 0, "bitset!",
                            {{Slot::make, make},       {Slot::reflect, series::reflect},
                             {Slot::to, to},           {Slot::form, form},
                             {Slot::mold, mold},       {Slot::eval_path, eval_path},
                             {Slot::compare, compare}, {Slot::negate, complement},
                             {Slot::and_, bitwise<6>}, {Slot::complement, complement},
                             {Slot::or_, bitwise<5>},  {Slot::xor_, bitwise<7>},
                             {Slot::append, append},   {Slot::clear, clear},
                             {Slot::copy, copy},       {Slot::find, find},
                             {Slot::insert, append},   {Slot::length_q, length_q},
                             {Slot::pick, pick},       {Slot::poke, poke},
                             {Slot::remove, remove},   {Slot::modify, series::modify}});
}

} // namespace kiv::bitset
