#include "datatypes/map.h"

#include <array>
#include <cstring>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/hash.h"
#include "datatypes/integer.h"
#include "datatypes/none.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace kiv::map {

namespace {

// Lookup comparisons: equal? (ignoring case), strict-equal?, same?.
constexpr int32_t loose = 0, strict = 2, same = 9;

int32_t lookup_op(bool case_, bool same_) {
    return same_ ? same : case_ ? strict : loose;
}

constexpr auto key_types = [] {
    std::array<bool, 256> ok{};
    for (uint32_t t :
         {TYPE_STRING, TYPE_FILE,     TYPE_URL,      TYPE_CHAR,     TYPE_INTEGER,    TYPE_FLOAT,
          TYPE_WORD,   TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE,
          TYPE_PAIR,   TYPE_PERCENT,  TYPE_TUPLE,    TYPE_BINARY,   TYPE_TIME,       TYPE_TAG,
          TYPE_EMAIL,  TYPE_DATE,     TYPE_MONEY,    TYPE_REF,      TYPE_POINT2D,    TYPE_POINT3D})
        ok[t] = true;
    return ok;
}();

struct Fields {
    uint32_t words, values, body;
} fields;

Buffer* entries_of(const Cell& map) {
    return memory::buffer_of(map.w2);
}

uint32_t cell_count(const Cell& map) {
    return entries_of(map)->length();
}

Cell* key_at(const Cell& map, uint32_t position) {
    return entries_of(map)->head_cell() + position;
}

bool live(const Cell* key) {
    return key[1].header != 0;
}

// The block view of the entry cells.
Cell entry_block(const Cell& map) {
    return Cell{TYPE_BLOCK, 0, map.w2, 0};
}

// The key cell of the entry equal to `key` under op, removed or live, or
// null.
Cell* entry_of(const Cell& map, const Cell& key, int32_t op) {
    return hashtable::get(map.w3, &key, 0, 1, op, false, false);
}

Cell* live_entry_of(const Cell& map, const Cell& key, int32_t op) {
    Cell* k = entry_of(map, key, op);
    return k && live(k) ? k : nullptr;
}

// A stored key as the user sees it: set-word! keys are given back as words.
Cell shown_key(Cell key) {
    cell::clear_bit_30(key);
    if (cell::type_of(key) == TYPE_SET_WORD) cell::set_type(key, TYPE_WORD);
    return key;
}

[[noreturn]] void invalid_key(const Cell* path, const Cell& key) {
    Cell type{};
    datatype::make_at(type, cell::type_of(key));
    series::raise(err::script::invalid_path, path ? path : &key, &type);
}

// Turns a key (a root) into its stored form: series keys become copies
// from their head, so that later changes to the caller's series do not
// reach the key; word keys become set-words.
void prepare_key(Cell& key, const Cell* path) {
    uint32_t type = cell::type_of(key);
    if (!valid_key(type)) invalid_key(path, key);
    if (series::is_text_type(type) || type == TYPE_BINARY)
        series::copy(&key, &key, nullptr, false, nullptr);
    else if (type >= TYPE_WORD && type <= TYPE_GET_WORD)
        cell::set_type(key, TYPE_SET_WORD);
    cell::clear_bit_30(key);
}

// Sets the value of the entry whose key equals `key` under op, reviving a
// removed entry in place, or adds the entry with the key prepared.
void store(const Cell& map, const Cell& key, const Cell& value, int32_t op, const Cell* path) {
    Cell kept = value;
    cell::clear_bit_30(kept);
    if (Cell* k = entry_of(map, key, op)) {
        if (!live(k)) ++hashtable::record_of(map.w3).size;
        k[1] = kept;
        return;
    }
    Rooted<Cell> stored(key);
    Rooted<Cell> stored_value(kept);
    prepare_key(*stored, path);
    Cell entries = entry_block(map);
    uint32_t position = cell_count(map);
    const Cell entry[2] = {*stored, *stored_value};
    block::insert_repeated(entries, position, entry, 2, 1);
    hashtable::put(map.w3, key_at(map, position));
}

// Raises script invalid-arg unless the block holds whole key/value pairs.
void check_pairs(const Cell& pairs) {
    if (std::max(block::rs_length(pairs), 0) % 2) series::raise(err::script::invalid_arg, &pairs);
}

// Stores every pair of the block (a root) from its head.
void store_pairs(const Cell& map, const Cell& pairs, int32_t op) {
    int32_t n = std::max(block::rs_length(pairs), 0);
    for (int32_t i = 0; i + 1 < n; i += 2) {
        Rooted<Cell> key(block::rs_head(pairs)[i]);
        Rooted<Cell> value(block::rs_head(pairs)[i + 1]);
        store(map, *key, *value, op, nullptr);
    }
}

void append_text(Cell* buffer, const char* text, int32_t& part) {
    string::append_c_string(*buffer, text);
    part -= int32_t(std::strlen(text));
}

[[noreturn]] void bad_to(const Cell& spec) {
    Cell named{};
    datatype::make_at(named, TYPE_MAP);
    series::raise(err::script::bad_to_arg, &named, &spec);
}

} // namespace

bool valid_key(uint32_t type) {
    return type < key_types.size() && key_types[type];
}

uint32_t size(const Cell& map) {
    return hashtable::record_of(map.w3).size;
}

Cell* make_at(Cell& cell, const Cell* pairs, uint32_t room) {
    if (pairs) {
        check_pairs(*pairs);
        room = std::max(room, uint32_t(block::rs_length(*pairs) / 2));
    }
    Rooted<Cell> map;
    block::make_at(*map, int32_t(std::max(room, 1u) * 2));
    NodeId table = hashtable::init(room, &*map, hashtable::map, 0);
    map->w3 = table;
    map->header = TYPE_MAP;
    if (pairs) store_pairs(*map, *pairs, strict);
    cell = *map;
    return &cell;
}

bool file_entry(const Cell& map, uint32_t position) {
    const Cell* key = key_at(map, position);
    if (!valid_key(cell::type_of(*key)) || !live(key) || entry_of(map, *key, strict)) return false;
    Rooted<Cell> stored(*key);
    prepare_key(*stored, nullptr);
    *key_at(map, position) = *stored;
    hashtable::put(map.w3, key_at(map, position));
    return true;
}

void extend(Cell& map, const Cell& pairs, bool case_) {
    check_pairs(pairs);
    store_pairs(map, pairs, case_ ? strict : loose);
}

bool next_entry(Cell& cursor, Cell& key, Cell& value) {
    uint32_t n = cell_count(cursor);
    uint32_t i = cursor.w1;
    while (i + 1 < n && !live(key_at(cursor, i))) i += 2;
    if (i + 1 >= n) {
        cursor.w1 = n;
        return false;
    }
    key = shown_key(*key_at(cursor, i));
    value = key_at(cursor, i)[1];
    cursor.w1 = i + 2;
    return true;
}

// ---------------------------------------------------------- make and to

namespace {

Cell* convert(Cell* proto, const Cell* spec, bool make) {
    switch (cell::type_of(*spec)) {
    case TYPE_BLOCK:
    case TYPE_PAREN:
    case TYPE_HASH: return make_at(*proto, spec, 0);
    case TYPE_INTEGER:
    case TYPE_FLOAT:
        if (!make) bad_to(*spec);
        return make_at(*proto, nullptr, hash::size_argument(*spec));
    case TYPE_MAP: return copy(const_cast<Cell*>(spec), proto, nullptr, false, nullptr);
    default: bad_to(*spec);
    }
}

} // namespace

Cell* make(Cell* proto, const Cell* spec, uint32_t) {
    return convert(proto, spec, true);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    return convert(proto, spec, false);
}

// -------------------------------------------------------------- reflect

Cell* reflect(Cell* value, uint32_t field_symbol) {
    uint32_t field = symbol::resolve(field_symbol);
    if (field != fields.words && field != fields.values && field != fields.body)
        runtime::fire_error(runtime::Category::internal, err::internal::not_done);
    Rooted<Cell> map(*value);
    Rooted<Cell> out;
    uint32_t per_entry = field == fields.body ? 2 : 1;
    block::make_at(*out, int32_t(size(*map) * per_entry));
    for (uint32_t i = 0; i + 1 < cell_count(*map); i += 2) {
        const Cell* k = key_at(*map, i);
        if (!live(k)) continue;
        Cell key = field == fields.body ? *k : shown_key(*k);
        Cell item = k[1];
        if (field == fields.body) key.header |= cell::new_line_flag;
        if (field != fields.values) block::append_value(*out, key);
        if (field != fields.words) block::append_value(*out, item);
    }
    *value = *out;
    return value;
}

// --------------------------------------------------------- form and mold

int32_t form(const Cell* map, Cell* buffer, const Cell* arg, int32_t part) {
    const Cell self = *map; // the caller's cell may move while text is written
    const Cell* value = &self;
    if (const char* marker = cycles::detect(*value, part, false)) {
        string::append_c_string(*buffer, marker);
        return part;
    }
    cycles::Guard on_stack(value->w2);
    bool first = true;
    for (uint32_t i = 0; i + 1 < cell_count(*value); i += 2) {
        if (arg && part <= 0) break;
        if (!live(key_at(*value, i))) continue;
        if (!first) append_text(buffer, "\n", part);
        first = false;
        Cell key = *key_at(*value, i);
        part = dispatch::mold(key, *buffer, false, false, false, arg, part, 0);
        append_text(buffer, " ", part);
        Cell item = key_at(*value, i)[1];
        part = dispatch::mold(item, *buffer, false, false, false, arg, part, 0);
    }
    return part;
}

int32_t mold(const Cell* map, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    const Cell self = *map; // the caller's cell may move while text is written
    const Cell* value = &self;
    if (const char* marker = cycles::detect(*value, part, true)) {
        string::append_c_string(*buffer, marker);
        return part;
    }
    cycles::Guard on_stack(value->w2);
    if (!only) append_text(buffer, "#[", part);
    if (!flat) append_text(buffer, "\n", part);
    bool any = false;
    for (uint32_t i = 0; i + 1 < cell_count(*value); i += 2) {
        if (arg && part <= 0) return part;
        if (!live(key_at(*value, i))) continue;
        if (flat && any) append_text(buffer, " ", part);
        if (!flat) part = block::append_indent(buffer, part, indent + 1);
        any = true;
        Cell key = *key_at(*value, i);
        // A money key is written with every fraction digit: cut to the
        // usual two, keys that differ further on would load as one.
        bool whole_key = all || cell::type_of(key) == TYPE_MONEY;
        part = dispatch::mold(key, *buffer, false, whole_key, flat, arg, part, indent + 1);
        append_text(buffer, " ", part);
        Cell item = key_at(*value, i)[1];
        part = dispatch::mold(item, *buffer, false, all, flat, arg, part, indent + 1);
        if (!flat) append_text(buffer, "\n", part);
    }
    if (any && !flat && indent > 0) part = block::append_indent(buffer, part, indent);
    if (!only) append_text(buffer, "]", part);
    return part;
}

// ------------------------------------------------------ paths and lookup

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                bool case_, bool, bool, bool) {
    if (!valid_key(cell::type_of(*element))) invalid_key(path, *element);
    int32_t op = case_ ? strict : loose;
    if (value) {
        store(*parent, *element, *value, op, path);
        return value;
    }
    const Cell* k = live_entry_of(*parent, *element, op);
    return stack::push(k ? k[1] : none::value);
}

Cell* put(Cell* map, Cell* key, Cell* value, bool case_) {
    return eval_path(map, key, value, nullptr, nullptr, nullptr, 0, case_, false, true, false);
}

Cell* select(Cell* map, const Cell* value, const Cell*, bool, bool case_, bool same_, bool,
             const Cell*, const Cell*, bool, bool) {
    const Cell* k = live_entry_of(*map, *value, lookup_op(case_, same_));
    *map = k ? k[1] : none::value;
    return map;
}

Cell* find(Cell* map, const Cell* value, const Cell*, bool, bool case_, bool same_, bool,
           const Cell*, const Cell*, bool, bool, bool, bool) {
    const Cell* k = live_entry_of(*map, *value, lookup_op(case_, same_));
    *map = k ? shown_key(*k) : none::value;
    return map;
}

Cell* remove(Cell* map, const Cell*, const Cell* key) {
    if (!key) series::raise(err::script::missing_arg);
    if (Cell* k = live_entry_of(*map, *key, strict)) hashtable::remove_key(map->w3, k);
    return map;
}

Cell* clear(Cell* map) {
    hashtable::clear(map->w3);
    return map;
}

int32_t length_q(Cell* map) {
    return int32_t(size(*map));
}

// ----------------------------------------------------------------- copy

Cell* copy(Cell* value, Cell* out, const Cell*, bool deep, const Cell* types) {
    if (deep && cycles::find(value->w2)) {
        cycles::reset();
        runtime::fire_error(runtime::Category::internal, err::internal::no_cycle);
    }
    Rooted<Cell> source(*value);
    // Every cell is copied, removed entries included, so that the copied
    // table's positions hold for the new block.
    Rooted<Cell> result(entry_block(*source));
    series::copy(&*result, &*result, nullptr, false, nullptr);
    NodeId table = hashtable::copy(source->w3, result->w2);
    result->w3 = table;
    result->header = TYPE_MAP;
    if (deep || types) {
        cycles::Guard on_stack(source->w2);
        for (uint32_t i = 1; i < cell_count(*result); i += 2) {
            Rooted<Cell> item(*key_at(*result, i));
            uint32_t type = cell::type_of(*item);
            if (!(series::is_series_type(type) || type == TYPE_MAP)) continue;
            if (types && !(cell::type_of(*types) == TYPE_DATATYPE ? types->w1 == type
                                                                  : typeset::has(*types, type)))
                continue;
            dispatch::copy(&*item, &*item, nullptr, deep, deep ? types : nullptr);
            *key_at(*result, i) = *item;
        }
    }
    *out = *result;
    return out;
}

// ----------------------------------------------------------- comparison

namespace {

bool values_equal(const Cell& a, const Cell& b, int32_t op) {
    return hashing::compare_hook(&a, &b, op) == 0;
}

// Whether `other` has an entry whose key equals `key` (strictly under
// strict-equal?, else ignoring case) with a value equal to `value`.
bool has_entry(const Cell& other, const Cell& key, const Cell& value, int32_t op) {
    if (op == strict) {
        const Cell* k = live_entry_of(other, key, strict);
        return k && values_equal(value, k[1], strict);
    }
    int32_t bucket = -1, end = 0, step = 0;
    while (Cell* k = hashtable::next_match(other.w3, &key, bucket, end, step))
        if (live(k) && values_equal(value, k[1], op == 1 ? loose : op)) return true;
    return false;
}

} // namespace

int32_t compare(const Cell* value1, const Cell* value2, int32_t op) {
    if (cell::type_of(*value2) != TYPE_MAP) return -2;
    if (op == 7 || op == 8) return (value1->w2 > value2->w2) - (value1->w2 < value2->w2);
    if (!block::is_equality(op) && op != same) return -2;
    if (value1->w2 == value2->w2) return 0;
    if (op == same) return 1;
    if (cycles::find(value1->w2)) return cycles::find(value2->w2) ? 0 : 1;
    if (size(*value1) != size(*value2)) return 1;
    cycles::Guard first(value1->w2);
    cycles::Guard second(value2->w2);
    for (uint32_t i = 0; i + 1 < cell_count(*value1); i += 2) {
        const Cell* k = key_at(*value1, i);
        if (!live(k)) continue;
        Cell key = k[0], value = k[1];
        if (!has_entry(*value2, key, value, op)) return 1;
    }
    return 0;
}

void init() {
    fields = {symbol::intern("words"), symbol::intern("values"), symbol::intern("body")};
    fields = {symbol::resolve(fields.words), symbol::resolve(fields.values),
              symbol::resolve(fields.body)};
    datatype::register_type(TYPE_MAP, 0, "map!",
                            {{Slot::make, make},
                             {Slot::reflect, reflect},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::clear, clear},
                             {Slot::copy, copy},
                             {Slot::find, find},
                             {Slot::length_q, length_q},
                             {Slot::put, put},
                             {Slot::remove, remove},
                             {Slot::select, select}});
}

} // namespace kiv::map
