#include "datatypes/series.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/char.h"
#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/image.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/unset.h"
#include "datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/sort.h"
#include "runtime/types.h"

namespace kiv::series {

ComparatorCall call_comparator = nullptr;

namespace {

using ownership::Word;

// Buffer flag that marks an owned series; a copy is not owned.
constexpr uint32_t owned_flag = 0x20000u;

Buffer* buffer_of(const Cell& value) {
    return memory::buffer_of(value.w2);
}

uint8_t* unit_at(Buffer* b, uint32_t index) {
    return b->head + size_t(index) * b->unit();
}

// Removes count units at an absolute index; the caller keeps the range
// inside the buffer.
void remove_units(const Cell& series, uint32_t index, uint32_t count) {
    plan_store::touch(series.w2);
    Buffer* b = buffer_of(series);
    uint8_t* at = unit_at(b, index);
    uint8_t* after = unit_at(b, index + count);
    std::memmove(at, after, size_t(b->tail - after));
    b->tail -= size_t(count) * b->unit();
}

// Opens a gap of count units at an absolute index; returns the buffer.
Buffer* open_gap(const Cell& series, uint32_t index, uint32_t count) {
    plan_store::touch(series.w2);
    Buffer* b = buffer_of(series);
    size_t bytes = size_t(count) * b->unit();
    if (b->tail + bytes > b->data_end())
        b = memory::expand_series(b, int64_t(b->tail - b->head + bytes) * 2);
    uint8_t* at = unit_at(b, index);
    std::memmove(at + bytes, at, size_t(b->tail - at));
    b->tail += bytes;
    return b;
}

NodeId hash_of(const Cell& series) {
    return cell::type_of(series) == TYPE_HASH ? series.w3 : 0;
}

bool is_word(const Cell& c, const char* name) {
    uint32_t t = cell::type_of(c);
    return t >= TYPE_WORD && t <= TYPE_GET_WORD &&
           symbol::resolve(c.w2) == symbol::resolve(symbol::intern(name));
}

// The value of the unit at an address, as `pick` gives it.
Cell value_at(uint32_t type, const uint8_t* at, uint32_t unit) {
    if (is_block_type(type)) return *reinterpret_cast<const Cell*>(at);
    uint32_t cp = string::get_char(at, unit);
    Cell out{};
    if (type == TYPE_BINARY)
        integer::make_at(out, int32_t(cp));
    else
        char_::make_at(out, cp);
    return out;
}

int32_t compare_cells(const Cell* a, const Cell* b, int32_t op) {
    auto compare = datatype::get<Slot::compare>(cell::type_of(*a));
    return compare ? compare(a, b, op) : -2;
}

// Blocks, images, maps and objects hash by what their equality compares.
uint32_t content_hash(const Cell& value) {
    switch (cell::type_of(value)) {
    case TYPE_IMAGE: return image::content_hash(value);
    case TYPE_MAP: return hashing::mix_int(map::size(value));
    case TYPE_OBJECT:
    case TYPE_ERROR: return hashing::mix_int(context::size_of(value.w1));
    default: return block::content_hash(value);
    }
}

} // namespace

int64_t pick_position(const Cell& series, int32_t index) {
    if (index == 0) return -1;
    int64_t pos = int64_t(int32_t(series.w1)) + (index > 0 ? index - 1 : index);
    if (pos < 0 || pos >= int64_t(buffer_length(series))) return -1;
    return pos;
}

// ------------------------------------------------------------- families

bool is_series_type(uint32_t type) {
    return is_block_type(type) || is_text_type(type) || type == TYPE_BINARY ||
           type == TYPE_VECTOR || type == TYPE_IMAGE;
}

// -------------------------------------------------------------- helpers

bool past_tail(const Cell& value) {
    return int64_t(int32_t(value.w1)) >= int64_t(buffer_length(value));
}

uint32_t buffer_length(const Cell& value) {
    // An image's pixels are not in its record buffer.
    if (cell::type_of(value) == TYPE_IMAGE) return uint32_t(image::pixel_count(value));
    return buffer_of(value)->length();
}

uint32_t head_of(const Cell& value) {
    return uint32_t(std::clamp<int64_t>(int32_t(value.w1), 0, buffer_length(value)));
}

bool advance(Cell& value, int32_t n) {
    int64_t length = buffer_length(value);
    int64_t moved = int64_t(int32_t(value.w1)) + n;
    if (moved <= length) value.w1 = uint32_t(int32_t(moved));
    return moved >= length;
}

int32_t length_from(Cell& value, bool whole) {
    int32_t length = int32_t(buffer_length(value));
    int32_t head = int32_t(value.w1);
    if (head > length) {
        value.w1 = uint32_t(length);
        return 0;
    }
    if (whole) return length;
    return length - std::max(head, 0);
}

int32_t at_index(bool at) {
    Cell* args = frame_args();
    const Cell& n = args[1];
    if (cell::type_of(n) != TYPE_INTEGER) raise(err::script::invalid_arg, &n);
    int64_t head = int32_t(args[0].w1);
    int64_t offset = integer::get(n);
    if (at && offset >= 1) --offset;
    return int32_t(std::clamp<int64_t>(head + offset, 0, buffer_length(args[0])));
}

Cell unit_value(const Cell& series, uint32_t index) {
    if (cell::type_of(series) == TYPE_VECTOR) return vector::element(series, index);
    Buffer* b = buffer_of(series);
    return value_at(cell::type_of(series), unit_at(b, index), b->unit());
}

Cell word_cell(const char* name) {
    return Cell{TYPE_WORD, 0, symbol::intern(name), uint32_t(-1)};
}

void raise(uint32_t script_id, const Cell* arg1, const Cell* arg2) {
    runtime::fire_error(runtime::Category::script, script_id, arg1, arg2);
}

void invalid_refine(const char* word, const Cell& value) {
    Cell w = word_cell(word);
    raise(err::script::invalid_refine_arg, &w, &value);
}

int32_t part_count(const Cell& series, const Cell& part) {
    if (cell::type_of(part) == TYPE_INTEGER) return integer::get(part);
    if (cell::type_of(part) != cell::type_of(series) || part.w2 != series.w2)
        invalid_refine("part", part);
    return int32_t(head_of(part)) - int32_t(series.w1);
}

// ------------------------------------------------------------- hash!

void hash_rebuild(const Cell& series) {
    if (NodeId table = hash_of(series)) hashtable::rebuild(table, buffer_length(series));
}

void hash_add(const Cell& series, uint32_t start, uint32_t count) {
    NodeId table = hash_of(series);
    for (uint32_t i = 0; table && i < count; ++i) {
        int32_t out = 0;
        hashtable::put_key(table, buffer_of(series)->head_cell() + start + i, &out);
        if (out == 2) return; // rebuilt from the block: every cell is filed
    }
}

bool hash_shift(const Cell& series, uint32_t from, uint32_t moved, int32_t shift) {
    NodeId table = hash_of(series);
    return !table || hashtable::refresh(table, shift, from, moved, true) == 0;
}

void hash_new(Cell& series) {
    if (cell::type_of(series) != TYPE_HASH) return;
    Cell whole = series;
    whole.w1 = 0;
    series.w3 = hashtable::init(buffer_length(series), &whole, hashtable::value, 0);
}

int32_t comparison_result(const Cell& result) {
    switch (cell::type_of(result)) {
    case TYPE_LOGIC: return logic::get(result) ? 1 : -1;
    case TYPE_INTEGER: {
        int32_t n = integer::get(result);
        return n > 0 ? -1 : n < 0 ? 1 : 0;
    }
    case TYPE_FLOAT: {
        double d = cell::get_float(result);
        return d > 0 ? -1 : d < 0 ? 1 : 0;
    }
    case TYPE_NONE: return -1;
    default: return 1;
    }
}

// ---------------------------------------------------------- navigation

void head() {
    frame_args()->w1 = 0;
}

void tail() {
    frame_args()->w1 = buffer_length(*frame_args());
}

void next() {
    advance(*frame_args(), 1);
}

void back() {
    Cell& s = *frame_args();
    if (int32_t(s.w1) > 0) s.w1 = uint32_t(std::min(int32_t(s.w1), int32_t(buffer_length(s))) - 1);
}

void at() {
    frame_args()->w1 = uint32_t(at_index(true));
}

void skip() {
    frame_args()->w1 = uint32_t(at_index(false));
}

void head_q() {
    Cell& s = *frame_args();
    logic::make_at(s, s.w1 == 0);
}

void tail_q() {
    Cell& s = *frame_args();
    logic::make_at(s, past_tail(s));
}

void index_q() {
    Cell& s = *frame_args();
    integer::make_at(s, int32_t(s.w1) + 1);
}

int32_t length_q(Cell* series) {
    return length_from(*series, false);
}

// ------------------------------------------------------ pick and poke

Cell* pick(Cell* series, int32_t index, const Cell*) {
    int64_t pos = pick_position(*series, index);
    *series = pos < 0 ? none::value : unit_value(*series, uint32_t(pos));
    return series;
}

Cell* poke(Cell* series, int32_t index, Cell* value, const Cell*) {
    int64_t pos = pick_position(*series, index);
    if (pos < 0) {
        Cell n{};
        integer::make_at(n, index);
        raise(err::script::out_of_range, &n);
    }
    uint32_t type = cell::type_of(*series);
    uint32_t at = uint32_t(pos);
    if (!is_block_type(type) && cell::type_of(*value) != TYPE_CHAR &&
        !(type == TYPE_BINARY && cell::type_of(*value) == TYPE_INTEGER))
        raise(err::script::invalid_arg, value);
    uint8_t byte = type == TYPE_BINARY ? binary::byte_of(*value) : 0;
    Change change(*series, Word::poke, value, int32_t(at - head_of(*series)), 1);
    Buffer* b = buffer_of(*series);
    if (is_block_type(type)) {
        NodeId table = hash_of(*series);
        if (table) hashtable::remove_key(table, b->head_cell() + at);
        b->head_cell()[at] = *value;
        if (table) hashtable::put(table, b->head_cell() + at);
    } else if (type == TYPE_BINARY) {
        *unit_at(b, at) = byte;
    } else {
        string::poke_char(b, unit_at(b, at), value->w2);
    }
    change.done(Word::poked);
    return value;
}

// ----------------------------------------------------- clear and remove

Cell* clear(Cell* series) {
    if (past_tail(*series)) return series;
    uint32_t head = head_of(*series);
    uint32_t count = buffer_length(*series) - head;
    Change change(*series, Word::clear, nullptr, 0, int32_t(count));
    if (NodeId table = hash_of(*series)) hashtable::remove_from(table, head, count);
    Buffer* b = buffer_of(*series);
    b->tail = unit_at(b, head);
    change.done(Word::cleared);
    return series;
}

Cell* remove(Cell* series, const Cell* part, const Cell* key) {
    int32_t count = 1;
    if (part) {
        count = part_count(*series, *part);
        if (count < 1) return series;
    }
    if (key) {
        Rooted<Cell> found(*series);
        dispatch::find(&*found, key, nullptr, false, true, false, false, nullptr, nullptr, false,
                       false, false, false);
        if (cell::type_of(*found) == TYPE_NONE) {
            *series = none::value;
            return series;
        }
        *series = *found;
        ++count;
    }
    uint32_t start = head_of(*series);
    uint32_t length = buffer_length(*series);
    if (start >= length) return series;
    uint32_t n = uint32_t(std::min<int64_t>(count, length - start));
    Change change(*series, Word::remove, nullptr, 0, int32_t(n));
    bool filed = hash_shift(*series, start + n, length - start - n, -int32_t(n));
    remove_units(*series, start, n);
    if (!filed) hash_rebuild(*series);
    change.done(Word::removed);
    return series;
}

bool removable_in_bulk(const Cell& series) {
    uint32_t type = cell::type_of(series);
    if (!is_block_type(type) && !is_text_type(type) && type != TYPE_BINARY) return false;
    return series.w2 && !hash_of(series) &&
           !(memory::buffer_of(series.w2)->flags & ownership::owned_flag);
}

void remove_runs(const Cell& series, const std::vector<Run>& runs) {
    plan_store::touch(series.w2);
    Buffer* b = buffer_of(series);
    uint32_t length = b->length();
    uint32_t kept = 0; // units before the next unit read that stay
    uint32_t read = 0;
    for (const Run& run : runs) {
        uint32_t start = std::clamp(run.index, read, length);
        std::memmove(unit_at(b, kept), unit_at(b, read), size_t(start - read) * b->unit());
        kept += start - read;
        read = std::min(length, start + run.count);
    }
    std::memmove(unit_at(b, kept), unit_at(b, read), size_t(length - read) * b->unit());
    b->tail = unit_at(b, kept + length - read);
}

// ---------------------------------------------------------------- take

Cell* take(Cell* series, const Cell* part, bool, bool last) {
    int32_t available = length_from(*series, false);
    if (available <= 0) {
        *series = none::value;
        return series;
    }
    uint32_t head = head_of(*series);
    int64_t count = 1;
    bool before = false;
    if (part) {
        if (cell::type_of(*part) == TYPE_INTEGER) {
            count = integer::get(*part);
        } else {
            part_count(*series, *part); // checks the type and buffer
            int64_t p = head_of(*part);
            count = p < head ? 0 : last ? int64_t(buffer_length(*series)) - p : p - head;
        }
        if (count < 0) {
            before = true;
            available = int32_t(head);
            count = last ? 1 : -count;
        }
    }
    count = std::min<int64_t>(count, available);
    if (before && last) count = 0;

    uint32_t type = cell::type_of(*series);
    uint32_t unit = buffer_of(*series)->unit();
    uint32_t n = uint32_t(count);
    uint32_t length = buffer_length(*series);
    uint32_t from = before ? head - n : last ? length - n : head;
    Change change(*series, Word::take, nullptr, int32_t(from) - int32_t(head), int32_t(n));
    Rooted<Cell> result(Cell{cell::unset_header, 0, 0, 0});
    result->w2 = memory::alloc_units(n, unit);
    result->header = type;
    result->w3 = type == TYPE_VECTOR ? series->w3 : 0;
    Buffer* out = buffer_of(*result);
    std::memcpy(out->head, unit_at(buffer_of(*series), from), size_t(n) * unit);
    out->tail = out->head + size_t(n) * unit;
    if (n) {
        bool filed = hash_shift(*series, from + n, length - from - n, -int32_t(n));
        remove_units(*series, from, n);
        if (!filed) hash_rebuild(*series);
    }
    hash_new(*result);
    change.done(Word::taken);
    *series = *result;
    return series;
}

// ---------------------------------------------------------------- copy

Cell* copy(Cell* value, Cell* out, const Cell* part, bool, const Cell*) {
    if (out != value) out->header = cell::unset_header;
    int64_t length = buffer_length(*value);
    int64_t start = std::max(int32_t(value->w1), 0);
    int64_t count = std::max<int64_t>(length - start, 0);
    if (part) {
        count = part_count(*value, *part);
        if (count < 0) {
            int64_t back = -count;
            if (start - back < 0) {
                count = start;
                start = 0;
            } else {
                start -= back;
                count = back;
            }
        }
    }
    if (start > length) count = 0;
    count = std::clamp<int64_t>(count, 0, std::max<int64_t>(length - start, 0));

    Buffer* source = buffer_of(*value);
    uint32_t unit = source->unit();
    uint32_t flags = source->flags;
    Rooted<Cell> result(Cell{cell::unset_header, 0, 0, 0});
    result->w2 = memory::alloc_units(uint32_t(count), unit);
    Buffer* target = buffer_of(*result);
    constexpr uint32_t own = series_flag::in_use | series_flag::mark | series_flag::large |
                             series_flag::heap | owned_flag;
    target->flags = (target->flags & own & ~owned_flag) | (flags & ~own);
    std::memcpy(target->head, unit_at(buffer_of(*value), uint32_t(start)), size_t(count) * unit);
    target->tail = target->head + size_t(count) * unit;
    uint32_t type = cell::type_of(*value);
    result->header = (value->header & cell::new_line_flag) | type;
    result->w3 = type == TYPE_VECTOR ? value->w3 : 0;
    // A hash! copy gets its own table: the source's indexes another buffer.
    hash_new(*result);
    *out = *result;
    return out;
}

// ------------------------------------------------------------- reverse

Cell* reverse(Cell* series, const Cell* part, const Cell* skip) {
    if (past_tail(*series)) return series;
    uint32_t head = head_of(*series);
    int64_t count = buffer_length(*series) - head;
    if (part) count = std::min<int64_t>(part_count(*series, *part), count);
    if (count < 1) return series;
    int64_t size = 1;
    if (skip) {
        if (cell::type_of(*skip) != TYPE_INTEGER) invalid_refine("skip", *skip);
        size = integer::get(*skip);
        if (size == count) return series;
        if (size < 1) raise(err::script::out_of_range, skip);
        if (count < size || count % size) invalid_refine("skip", *skip);
    }
    Change change(*series, Word::reverse, nullptr, 0, int32_t(count));
    Buffer* b = buffer_of(*series);
    size_t bytes = size_t(size) * b->unit();
    std::vector<uint8_t> record(bytes);
    uint8_t* low = unit_at(b, head);
    uint8_t* high = low + size_t(count - size) * b->unit();
    for (; low < high; low += bytes, high -= bytes) {
        std::memcpy(record.data(), low, bytes);
        std::memcpy(low, high, bytes);
        std::memcpy(high, record.data(), bytes);
    }
    hash_rebuild(*series);
    change.done(Word::reversed);
    return series;
}

// -------------------------------------------------------------- random

Cell* random(Cell* series, bool seed, bool secure, bool only) {
    uint32_t head = head_of(*series);
    uint32_t length = buffer_length(*series);
    uint32_t count = length > head ? length - head : 0;
    if (seed) {
        Buffer* b = buffer_of(*series);
        uint8_t* from = unit_at(b, head);
        random::seed(int32_t(hashing::murmur3(from, uint32_t(b->tail - from))));
        *series = unset::value;
        return series;
    }
    if (only) {
        *series = count ? unit_value(*series, head + uint32_t(random::int_(secure, int32_t(count))))
                        : none::value;
        return series;
    }
    Change change(*series, Word::random, nullptr, 0, int32_t(count));
    Buffer* b = buffer_of(*series);
    uint32_t unit = b->unit();
    std::vector<uint8_t> held(unit);
    for (uint32_t i = 0; i + 1 < count; ++i) {
        uint32_t j = i + uint32_t(random::int_(secure, int32_t(count - i)));
        if (j == i) continue;
        uint8_t* a = unit_at(b, head + i);
        uint8_t* c = unit_at(b, head + j);
        std::memcpy(held.data(), a, unit);
        std::memcpy(a, c, unit);
        std::memcpy(c, held.data(), unit);
    }
    hash_rebuild(*series);
    change.done(Word::randomized);
    return series;
}

// ---------------------------------------------------------------- move

namespace {

// Moves n units at the origin's head into another buffer at the target's
// head, converting characters when the units differ.
void move_across(Cell& origin, Cell& target, uint32_t n) {
    uint32_t from = head_of(origin);
    uint32_t to = head_of(target);
    uint32_t origin_unit = buffer_of(origin)->unit();
    if (origin_unit != buffer_of(target)->unit()) {
        string::move_part(origin, target, n * origin_unit);
        return;
    }
    Buffer* t = open_gap(target, to, n);
    std::memcpy(unit_at(t, to), unit_at(buffer_of(origin), from), size_t(n) * origin_unit);
    remove_units(origin, from, n);
    hash_rebuild(origin);
    hash_rebuild(target);
}

// Moves n units at the head to the position `to` of the same buffer (an
// index before the move; a position after the range is corrected for it).
void move_within(Cell& series, uint32_t to, uint32_t n) {
    uint32_t from = head_of(series);
    Buffer* b = buffer_of(series);
    std::vector<uint8_t> range(unit_at(b, from), unit_at(b, from + n));
    remove_units(series, from, n);
    if (to > from) to -= std::min(to - from, n);
    to = std::min(to, buffer_length(series));
    b = open_gap(series, to, n);
    std::memcpy(unit_at(b, to), range.data(), range.size());
    hash_rebuild(series);
}

} // namespace

Cell* move(Cell* origin, Cell* target, const Cell* part) {
    uint32_t origin_type = cell::type_of(*origin);
    uint32_t target_type = cell::type_of(*target);
    if (!is_series_type(target_type)) {
        Cell name = word_cell("move"), type{}, parameter = word_cell("target");
        datatype::make_at(type, target_type);
        runtime::fire_error(runtime::Category::script, err::script::expect_arg, &name, &type,
                            &parameter);
    }
    if (past_tail(*origin)) {
        *origin = *target;
        return origin;
    }
    uint32_t available = buffer_length(*origin) - head_of(*origin);
    int64_t count = 1;
    if (part) {
        count = part_count(*origin, *part);
        if (count < 1) {
            *origin = *target;
            return origin;
        }
    }
    uint32_t n = uint32_t(std::min<int64_t>(count, available));
    if (origin->w2 != target->w2) {
        Buffer* ob = buffer_of(*origin);
        Buffer* tb = buffer_of(*target);
        bool block_to_text = is_block_type(origin_type) != is_block_type(target_type);
        bool bytes = origin_type == TYPE_BINARY || origin_type == TYPE_VECTOR ||
                     target_type == TYPE_BINARY || target_type == TYPE_VECTOR;
        // An image's buffer holds its record, not its pixels: units moved in
        // or out would overwrite the record.
        bool image = origin_type == TYPE_IMAGE || target_type == TYPE_IMAGE;
        if (block_to_text || image || (bytes && ob->unit() != tb->unit())) {
            Cell a{}, b{};
            datatype::make_at(a, origin_type);
            datatype::make_at(b, target_type);
            raise(err::script::move_bad, &a, &b);
        }
        Change change(*origin, Word::move, target, 0, int32_t(n));
        move_across(*origin, *target, n);
        change.done(Word::moved);
    } else {
        uint32_t from = head_of(*origin);
        uint32_t to = head_of(*target);
        uint32_t length = buffer_length(*origin);
        if (to == from) {
            *origin = *target;
            return origin;
        }
        if (to > from && to < length && length - to < n) return origin;
        Change change(*origin, Word::move, target, 0, int32_t(n));
        move_within(*origin, to, n);
        change.done(Word::moved);
    }
    *origin = *target;
    return origin;
}

// ---------------------------------------------------- reflect and modify

Cell* reflect(Cell* series, uint32_t field_symbol) {
    if (symbol::resolve(field_symbol) != symbol::resolve(symbol::intern("owned")))
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    const Cell* owner = ownership::find(series->w2);
    *series = owner ? *owner : none::value;
    return series;
}

Cell* modify(Cell* series, Cell* field, Cell* value, bool) {
    if (is_word(*field, "owned")) ownership::modify_owned(*series, *value);
    return value;
}

void init() {
    hashing::compare_hook = compare_cells;
    hashing::content_hook = content_hash;
    datatype::register_type(
        TYPE_SERIES, 0, "series!",
        {{Slot::random, random},     {Slot::reflect, reflect}, {Slot::at, at},
         {Slot::back, back},         {Slot::clear, clear},     {Slot::copy, copy},
         {Slot::head, head},         {Slot::head_q, head_q},   {Slot::index_q, index_q},
         {Slot::length_q, length_q}, {Slot::move, move},       {Slot::next, next},
         {Slot::pick, pick},         {Slot::poke, poke},       {Slot::remove, remove},
         {Slot::reverse, reverse},   {Slot::skip, skip},       {Slot::tail, tail},
         {Slot::tail_q, tail_q},     {Slot::take, take},       {Slot::modify, modify}});
}

} // namespace kiv::series

// ---------------------------------------------------------------- sort

namespace kiv::series {

namespace {

[[noreturn]] void bad_refines() {
    raise(err::script::bad_refines);
}

// The argument a comparator function receives for a record: its first
// unit as `pick` gives it, or with /all over records, a new series of the
// record's units.
Cell record_argument(const SortRun& run, const void* record) {
    const SortSpec& spec = *run.spec;
    uint32_t unit = run.buffer->unit();
    uint32_t type = cell::type_of(*run.series);
    if (!(spec.all && spec.size > 1)) {
        // Read from the record itself: a comparator may have replaced the
        // buffer behind the node, but the sort goes on in the pinned one.
        return value_at(type, static_cast<const uint8_t*>(record) + spec.offset * unit, unit);
    }
    Cell out{cell::unset_header, 0, memory::alloc_units(spec.size, unit), 0};
    Buffer* b = memory::buffer_of(out.w2);
    // The sorted buffer is pinned: the record address is still good.
    std::memcpy(b->head, record, size_t(spec.size) * unit);
    b->tail = b->head + size_t(spec.size) * unit;
    out.header = is_block_type(type) ? TYPE_BLOCK : TYPE_STRING;
    return out;
}

int function_order(const void* a, const void* b, intptr_t word, intptr_t) {
    const SortRun& run = *reinterpret_cast<const SortRun*>(word);
    Rooted<Cell> x(record_argument(run, a));
    Rooted<Cell> y(record_argument(run, b));
    const Cell& f = *run.spec->function;
    return run.spec->reverse ? call_comparator(f, *x, *y) : call_comparator(f, *y, *x);
}

// Reads the refinements into the spec; false when there is nothing to sort.
bool sort_spec(Cell& series, const Cell* skip, const Cell* compare, const Cell* part, bool all,
               SortSpec& spec) {
    int32_t length = length_from(series, false);
    if (length <= 0 && !part) return false;
    int64_t count = length;
    if (part) {
        int64_t n = part_count(series, *part);
        if (n < 0) {
            int64_t head = int32_t(series.w1);
            if (head + n < 0) {
                series.w1 = 0;
                return false;
            }
            series.w1 = uint32_t(head + n);
            count = -n;
        } else if (n < count) {
            count = n;
        }
    }
    if (count <= 0) return false;
    spec.size = 1;
    if (skip) {
        if (cell::type_of(*skip) != TYPE_INTEGER) invalid_refine("skip", *skip);
        int64_t s = integer::get(*skip);
        if (s < 1 || count % s || count < s) invalid_refine("skip", *skip);
        spec.size = uint32_t(s);
    } else if (all) {
        bad_refines();
    }
    spec.all = all;
    spec.offset = 0;
    spec.function = nullptr;
    if (compare) {
        switch (cell::type_of(*compare)) {
        case TYPE_INTEGER: {
            if (!skip || all) bad_refines();
            int32_t offset = integer::get(*compare);
            if (offset < 1 || uint32_t(offset) > spec.size)
                raise(err::script::out_of_range, compare);
            spec.offset = uint32_t(offset - 1);
            break;
        }
        case TYPE_FUNCTION:
            // Nothing can run the function until the interpreter is installed.
            if (!call_comparator)
                runtime::fire_error(runtime::Category::internal, err::internal::not_done);
            spec.function = compare;
            break;
        default: invalid_refine("compare", *compare);
        }
    }
    spec.start = head_of(series);
    spec.count = uint32_t(count / spec.size);
    return true;
}

void sort_records(Cell& series, const SortSpec& spec, bool stable, RecordCompare compare,
                  KeyedSort keyed_sort) {
    Pin pin(series.w2);
    Buffer* b = pin.buffer();
    SortRun run{&series, &spec, b};
    uint32_t unit = b->unit();
    size_t bytes = size_t(spec.count) * spec.size * unit;
    uint8_t* base = b->head + size_t(spec.start) * unit;
    if (keyed_sort && !spec.function && !spec.all && keyed_sort(run, base, stable)) {
        hash_rebuild(series);
        return;
    }
    // The original units: put back when a comparison throws. For cells they
    // also stay visible to the collector while a comparator function runs
    // and some records live only in the merge buffer.
    Rooted<Cell> original(Cell{cell::unset_header, 0, 0, 0});
    original->w2 = memory::alloc_units(uint32_t(bytes / unit), unit);
    Buffer* kept = memory::buffer_of(original->w2);
    std::memcpy(kept->head, base, bytes);
    kept->tail = kept->head + bytes;
    original->header = unit == sizeof(Cell) ? TYPE_BLOCK : TYPE_BINARY;

    auto order = spec.function ? function_order : compare;
    auto word = reinterpret_cast<intptr_t>(&run);
    uint32_t width = spec.size * unit;
    try {
        if (stable)
            sort::merge_sort(base, spec.count, width, word, 0, order);
        else
            sort::sort(base, spec.count, width, word, 0, order);
    } catch (...) {
        std::memcpy(base, memory::buffer_of(original->w2)->head, bytes);
        throw;
    }
    // A comparator that grew the series replaced its buffer: the sorted
    // units go to the buffer now behind the node when they still fit.
    Buffer* now = memory::buffer_of(series.w2);
    if (now != b && now->unit() == unit && now->length() >= spec.start + bytes / unit)
        std::memcpy(now->head + size_t(spec.start) * unit, base, bytes);
    hash_rebuild(series);
}

} // namespace

Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable, RecordCompare record_compare,
           KeyedSort keyed_sort) {
    SortSpec spec;
    spec.case_ = case_;
    spec.reverse = reverse;
    if (!sort_spec(*series, skip, compare, part, all, spec)) return series;
    Change change(*series, Word::sort, nullptr, 0, int32_t(spec.count * spec.size));
    sort_records(*series, spec, stable, record_compare, keyed_sort);
    change.done(Word::sorted);
    return series;
}

} // namespace kiv::series
