#include "datatypes/ownership.h"

#include <array>

#include "datatypes/context.h"
#include "datatypes/object.h"
#include "datatypes/words.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/fatal.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/types.h"

namespace kiv::ownership {

namespace {

constexpr uint32_t table_size = 1000;
// Record: key cell, then the value as registered, the owner, the word.
constexpr uint32_t record_values = 3;

NodeId table = 0;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(table);

// How each type takes part in ownership: series registered and walked
// into, series registered only, objects walked into (never registered).
// An image's node is its record's buffer, which carries the owned mark
// like any series buffer.
enum class Role : uint8_t { none, walked, registered, object };

constexpr auto roles = [] {
    std::array<Role, 256> r{};
    for (uint32_t t : {TYPE_BLOCK, TYPE_PAREN, TYPE_HASH, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH,
                       TYPE_GET_PATH})
        r[t] = Role::walked;
    for (uint32_t t : {TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF,
                       TYPE_BINARY, TYPE_VECTOR, TYPE_BITSET, TYPE_IMAGE})
        r[t] = Role::registered;
    r[TYPE_OBJECT] = Role::object;
    return r;
}();

Role role_of(const Cell& value) {
    return roles[cell::type_of(value)];
}

bool is_series(Role role) {
    return role == Role::walked || role == Role::registered;
}

// The words of `Word`, in its order.
constexpr const Cell& (*action_words[])() = {
    words::word<"append">,        words::word<"appended">, words::symbol_word<"insert">,
    words::word<"inserted">,      words::word<"change">,   words::word<"changed">,
    words::word<"clear">,         words::word<"cleared">,  words::word<"poke">,
    words::word<"poked">,         words::word<"put">,      words::word<"put-ed">,
    words::symbol_word<"remove">, words::word<"removed">,  words::word<"random">,
    words::word<"randomized">,    words::word<"reverse">,  words::word<"reversed">,
    words::word<"sort">,          words::word<"sorted">,   words::word<"swap">,
    words::word<"swaped">,        words::word<"take">,     words::word<"taken">,
    words::word<"move">,          words::word<"moved">,    words::word<"trim">,
    words::word<"trimmed">,
};
static_assert(std::size(action_words) == size_t(Word::trimmed) + 1);

// A field word as handlers receive it: a plain word! without the flags
// its word list keeps on it.
Cell plain_word(const Cell& word) {
    Cell w = word;
    w.header = TYPE_WORD;
    return w;
}

void set_buffer_mark(NodeId node, bool on) {
    Buffer* b = memory::buffer_of(node);
    b->flags = on ? b->flags | owned_flag : b->flags & ~owned_flag;
}

// Calls `each` with a copy of every cell of the block from its head to its
// tail, re-reading the buffer after each call (the callee may allocate).
template <class Each>
void for_each_cell(const Cell& block, Each&& each) {
    NodeId node = block.w2;
    for (uint32_t i = block.w1;; ++i) {
        Buffer* b = memory::buffer_of(node);
        if (i >= b->length()) return;
        each(b->head_cell()[i]);
    }
}

// The owner context's fields, each with its word.
template <class Each>
void for_each_field(NodeId ctx, Each&& each) {
    for (uint32_t i = 0; i < context::size_of(ctx); ++i) {
        Cell value = *cells::at(ctx, i);
        each(value, plain_word(*context::word_at(ctx, i)));
    }
}

bool owner_marked(NodeId ctx) {
    return context::cell_of(ctx).header & context::flag::owned;
}

// The table keeps only its own arrays: records name their series and
// owners without keeping them, so that the sweep can drop the records of
// series and owners that nothing else reaches.
void mark() {
    if (table) hashtable::mark(table);
}

void sweep() {
    if (table) hashtable::sweep(table);
}

} // namespace

void init() {
    table = hashtable::init(table_size, nullptr, hashtable::owner, record_values);
    collector::add_marker(mark);
    collector::add_sweeper(sweep);
}

void release() {
    table = 0;
}

namespace {

// Registers every field of the object's context under its own word,
// skipping fields that hold the owner itself.
void register_fields(NodeId ctx, const Cell& owner) {
    cycles::Guard walking(ctx);
    for_each_field(ctx, [&](const Cell& field, const Cell& field_word) {
        if (cell::type_of(field) == TYPE_OBJECT && field.w1 == owner.w1) return;
        set_nested(field, owner, field_word);
    });
}

} // namespace

void set_nested(const Cell& value, const Cell& owner, const Cell& word) {
    if (!table) return;
    Role role = role_of(value);
    // Copies: the cells may lie in buffers that filing a record moves.
    Cell v = value, o = owner, w = word;
    if (is_series(role) && v.w2) {
        NodeId node = v.w2;
        // The table decides, not the buffer mark: copies of a series
        // carry their source's buffer flags.
        if (hashtable::get_int(table, node)) return;
        Cell* record = hashtable::put_int(table, node);
        record[0] = v;
        record[1] = o;
        record[2] = w;
        set_buffer_mark(node, true);
        if (role != Role::walked || cycles::find(node)) return;
        cycles::Guard walking(node);
        for_each_cell(v, [&](const Cell& item) { set_nested(item, o, w); });
    } else if (role == Role::object) {
        // Another owner's fields stay with it.
        if (owner_marked(v.w1) || cycles::find(v.w1)) return;
        register_fields(v.w1, o);
    }
}

void set(const Cell& value, const Cell& owner, const Cell& word) {
    if (!table) return;
    NodeId ctx = owner.w1;
    if (cell::type_of(value) == TYPE_OBJECT && value.w1 == ctx) {
        Cell o = owner;
        if (!cycles::find(ctx)) register_fields(ctx, o);
    } else {
        set_nested(value, owner, word);
    }
    context::cell_of(ctx).header |= context::flag::owned;
}

void unbind(const Cell& value) {
    if (!table) return;
    Role role = role_of(value);
    Cell v = value;
    if (is_series(role) && v.w2) {
        NodeId node = v.w2;
        set_buffer_mark(node, false);
        if (Cell* record = hashtable::get_int(table, node)) {
            for (uint32_t i = 0; i < record_values; ++i) record[i].header = cell::unset_header;
            hashtable::remove_int(table, node);
        }
        // A block that holds itself is walked once.
        if (role != Role::walked || cycles::find(node)) return;
        cycles::Guard walking(node);
        for_each_cell(v, [](const Cell& item) { unbind(item); });
    } else if (role == Role::object) {
        NodeId ctx = v.w1;
        if (owner_marked(ctx) || cycles::find(ctx)) return;
        cycles::Guard walking(ctx);
        for_each_field(ctx, [](const Cell& field, const Cell&) { unbind(field); });
    }
}

void unset_range(const Cell& block, int32_t index, int32_t count) {
    NodeId node = block.w2;
    int64_t first = int64_t(block.w1) + index;
    for (int64_t i = first; i < first + count; ++i) {
        Buffer* b = memory::buffer_of(node);
        if (i < 0 || i >= int64_t(b->length())) continue;
        unbind(b->head_cell()[i]);
    }
}

void modify_owned(const Cell& value, const Cell& setting) {
    if (cell::type_of(setting) == TYPE_NONE) return unbind(value);
    if (cell::type_of(setting) != TYPE_BLOCK) return;
    Buffer* b = memory::buffer_of(setting.w2);
    if (setting.w1 + 2 > b->length()) return;
    const Cell* pair = b->head_cell() + setting.w1;
    if (cell::type_of(pair[0]) == TYPE_OBJECT) set(value, pair[0], pair[1]);
}

const Cell* find(NodeId node) {
    if (!table) return nullptr;
    Cell* record = hashtable::get_int(table, node);
    return record ? &record[1] : nullptr;
}

bool check(const Cell& value, Word word, const Cell* new_value, int32_t index, int32_t part) {
    Role role = role_of(value);
    if (role == Role::none)
        runtime::quit_with_error(runtime::fatal::no_case_matched, runtime::caller_address());
    if (!table) return false;
    NodeId key = role == Role::object ? value.w1 : value.w2;
    if (!key) return false;
    // Only registered series carry the buffer mark.
    if (is_series(role) && !(memory::buffer_of(key)->flags & owned_flag)) return false;
    Cell* record = hashtable::get_int(table, key);
    if (!record || !record[1].w3) return false;
    // The handler runs Kiv code: the record may move or go meanwhile.
    Rooted<Cell> owner(record[1]);
    Rooted<Cell> field_word(record[2]);
    Cell action = action_words[size_t(word)]();
    object::fire_on_deep_change(*owner, *field_word, value, action, new_value, index, part);
    return true;
}

} // namespace kiv::ownership
