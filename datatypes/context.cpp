#include "datatypes/context.h"

#include <algorithm>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/binding.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/symbol.h"
#include "runtime/types.h"

namespace kiv {

namespace context {

NodeId global = 0;
Cell root{cell::unset_header, 0, 0, 0};
void (*fire_on_change)(const Cell&, const Cell&, const Cell&, const Cell&) = nullptr;

namespace {

constexpr Cell unset_cell{cell::unset_header, 0, 0, 0};
constexpr uint32_t root_cells = 9754;

NodeId table_of(NodeId ctx) {
    return cell_of(ctx).w1;
}

bool on_stack(const Cell& c) {
    return c.header & flag::on_stack;
}

// The slot a store writes: on the stack or in the values block.
inline Cell* writable_slot(const Cell& c, uint32_t index) {
    return on_stack(c) ? stack::values_at(c.w2) + index
                       : memory::buffer_of(c.w2)->head_cell() + index;
}

// Writes a slot of a context whose values are not on the stack.
inline void write_counted(Cell* slot, const Cell& value) {
    if (callable(*slot) || callable(value)) [[unlikely]]
        binding::bump();
    *slot = value;
}

// Appends one unset value for a new entry, unless the values are on the
// stack.
void add_value_cell(NodeId ctx) {
    if (on_stack(cell_of(ctx))) return;
    Buffer* values = memory::buffer_of(cell_of(ctx).w2);
    cell::append_unset(values);
}

void mark_set(NodeId ctx, uint32_t index) {
    if (kind_of(cell_of(ctx)) == Kind::object) own_word_at(ctx, index)->header |= flag::set_mark;
}

// A copy of the word cell of entry i bound to the context.
Cell bound_word_at(NodeId ctx, uint32_t index) {
    Cell word = *word_at(ctx, index);
    if (shares_words(ctx)) word.w1 = ctx;
    return word;
}

} // namespace

void copy_shared_words(NodeId ctx) {
    NodeId table = hashtable::init(1, nullptr, hashtable::word, 2, table_of(ctx));
    Cell& c = cell_of(ctx);
    c.w1 = table;
    c.header &= ~flag::shared_words;
    Buffer* words = memory::buffer_of(hashtable::record_of(table).blk);
    for (Cell* w = words->head_cell(); w < words->tail_cell(); ++w) w->w1 = ctx;
}

namespace {

[[noreturn, gnu::noinline, gnu::cold]] void raise(uint32_t id, const Cell& word) {
    Cell arg = word;
    runtime::fire_error(runtime::Category::script, id, &arg);
}

bool is_self(uint32_t symbol) {
    return symbol::resolve(symbol) == symbol::resolve(words::sym<"self">());
}

void mark_globals() {
    if (global) collector::mark_context(global);
    if (root.w2) collector::mark_block(root.w2);
}

} // namespace

uint32_t size_of(NodeId ctx) {
    return memory::buffer_of(words_node(ctx))->length();
}

NodeId words_node(NodeId ctx) {
    return hashtable::record_of(table_of(ctx)).blk;
}

NodeId new_(uint32_t slots, bool stack_values, bool has_self, NodeId source, Kind kind) {
    slots = std::max(slots, 1u);
    RootedNode node(memory::alloc_cells_unset(2));
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head + 2 * sizeof(Cell);
    NodeId source_table = source ? table_of(source) : 0;
    NodeId table = hashtable::init(slots, nullptr, hashtable::word, source ? 2 : 0, source_table);
    // The table is reachable from the cell before the values are made.
    cell_of(node) =
        Cell{TYPE_CONTEXT | (uint32_t(kind) << flag::kind_shift) | (has_self ? flag::has_self : 0),
             table, 0, 0};
    if (stack_values) {
        cell_of(node).header |= flag::on_stack;
    } else {
        NodeId values = memory::alloc_cells_unset(slots);
        cell_of(node).w2 = values;
    }
    return node;
}

NodeId new_sharing_words(NodeId source) {
    Cell shape = cell_of(source);
    uint32_t slots = std::max(size_of(source), 1u);
    RootedNode node(memory::alloc_cells_unset(2));
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head + 2 * sizeof(Cell);
    cell_of(node) = Cell{shape.header, shape.w1, 0, 0};
    if (!on_stack(shape)) {
        NodeId values = memory::alloc_cells_unset(slots);
        cell_of(node).w2 = values;
    }
    return node;
}

NodeId share_object(NodeId source) {
    RootedNode values(memory::copy_series(memory::buffer_of(cell_of(source).w2)));
    NodeId node = memory::alloc_cells_unset(2);
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head + 2 * sizeof(Cell);
    Cell& shared = cell_of(source);
    shared.header |= flag::shared_words;
    uint32_t header = TYPE_CONTEXT | uint32_t(Kind::object) << flag::kind_shift |
                      (shared.header & flag::has_self) | flag::shared_words;
    cell_of(node) = Cell{header, shared.w1, values, 0};
    return node;
}

NodeId make_from_spec(const Cell& spec, bool stack_values, bool has_self, Kind kind) {
    NodeId series = spec.w2;
    int32_t slots = block::rs_length(spec);
    RootedNode ctx(new_(uint32_t(std::max(slots, 0)), stack_values, has_self, 0, kind));
    uint32_t count = 0;
    for (uint32_t i = 0; i < memory::buffer_of(series)->length(); ++i) {
        const Cell& c = memory::buffer_of(series)->head_cell()[i];
        switch (cell::type_of(c)) {
        case TYPE_WORD:
        case TYPE_GET_WORD:
        case TYPE_LIT_WORD:
        case TYPE_REFINEMENT: {
            int32_t added;
            find_or_add_symbol(ctx, c.w2, true, &added);
            ++count;
            break;
        }
        default: break;
        }
    }
    if (!stack_values) {
        // Appended one by one: the walk covers the cells before the head
        // too, so the count may exceed the room made for the slots.
        Buffer* values = memory::buffer_of(cell_of(ctx).w2);
        while (values->length() < count) cell::append_unset(values);
    }
    return ctx;
}

int32_t find_word(NodeId ctx, uint32_t symbol, bool nocase) {
    return hashtable::find_word(table_of(ctx), symbol, nocase, 0, nullptr);
}

int32_t find_or_add_symbol(NodeId ctx, uint32_t symbol, bool nocase, int32_t* out_index) {
    return hashtable::find_word(table_of(ctx), symbol, nocase, ctx, out_index);
}

// The entry of the symbol in a context that may share its words: found
// there, or added to a copy of its own. -1 when added, its index in
// out_index.
int32_t find_or_add_own(NodeId ctx, uint32_t symbol, int32_t* out_index) {
    if (shares_words(ctx)) [[unlikely]] {
        int32_t found = find_word(ctx, symbol, true);
        if (found >= 0) return found;
        copy_shared_words(ctx);
    }
    return find_or_add_symbol(ctx, symbol, true, out_index);
}

int32_t add_word(NodeId ctx, const Cell& word) {
    int32_t added = -1;
    int32_t found = find_or_add_own(ctx, word.w2, &added);
    if (found >= 0) return found;
    add_value_cell(ctx);
    return added;
}

void put_value(NodeId ctx, const Cell& word, const Cell& value) {
    Rooted<Cell> kept(value);
    int32_t index = add_word(ctx, word);
    if (!slot_at(ctx, uint32_t(index)))
        raise(err::script::not_defined, bound_word_at(ctx, uint32_t(index)));
    store(ctx, uint32_t(index), *kept);
}

const Cell* add_value_if_new(NodeId ctx, const Cell& word, const Cell& value) {
    Rooted<Cell> kept(value);
    int32_t added = -1;
    if (find_or_add_own(ctx, word.w2, &added) >= 0) return nullptr;
    if (on_stack(cell_of(ctx))) return nullptr;
    Buffer* values = memory::buffer_of(cell_of(ctx).w2);
    cell::append_unset(values);
    store(ctx, uint32_t(added), *kept);
    return cells::at(ctx, uint32_t(added));
}

bool collect_set_words(NodeId ctx, Cell& block) {
    NodeId series = block.w2;
    uint32_t length = memory::buffer_of(series)->length();
    block.w1 = std::min(block.w1, length);
    uint32_t before = size_of(ctx);
    for (uint32_t i = block.w1; i < memory::buffer_of(series)->length(); ++i) {
        Cell c = memory::buffer_of(series)->head_cell()[i];
        if (cell::type_of(c) == TYPE_SET_WORD) add_word(ctx, c);
    }
    return size_of(ctx) > before;
}

const Cell* value_of(uint32_t symbol, NodeId ctx) {
    if (on_stack(cell_of(ctx))) ctx = global;
    int32_t index = find_word(ctx, symbol, true);
    return index < 0 ? nullptr : cells::at(ctx, uint32_t(index));
}

Cell add_global(uint32_t symbol, bool nocase, bool keep_spelling) {
    int32_t added = -1;
    int32_t found = find_or_add_symbol(global, symbol, nocase, &added);
    if (found >= 0) {
        Cell word = *word_at(global, uint32_t(found));
        if (nocase && keep_spelling && word.w2 != symbol) {
            word.w2 = symbol;
            *cell::alloc_tail(root) = word;
        }
        return word;
    }
    add_value_cell(global);
    if (symbol::alias(symbol) > 0)
        word_at(global, uint32_t(added))->w3 = uint32_t(find_word(global, symbol, true));
    return *word_at(global, uint32_t(added));
}

NodeId clone_for_object(Cell& object, Kind kind) {
    NodeId source = object.w1;
    const Cell& c = cell_of(source);
    NodeId fresh = new_(size_of(source), on_stack(c), c.header & flag::has_self, source, kind);
    Buffer* words = memory::buffer_of(hashtable::record_of(table_of(fresh)).blk);
    for (Cell* w = words->head_cell(); w < words->tail_cell(); ++w) w->w1 = fresh;
    object.w1 = fresh;
    return fresh;
}

Cell* word_at(NodeId ctx, uint32_t index) {
    return hashtable::cells_of(hashtable::record_of(table_of(ctx)).blk) + index;
}

Cell* push_word_at(NodeId ctx, uint32_t index) {
    Cell* c = stack::push_raw();
    *c = bound_word_at(ctx, index);
    return c;
}

Cell word_of(NodeId ctx, uint32_t symbol) {
    int32_t index = find_word(ctx, symbol, false);
    return index >= 0 ? bound_word_at(ctx, uint32_t(index)) : word::load_symbol(symbol);
}

const Cell* slot_at(NodeId ctx, uint32_t index) {
    const Cell& c = cell_of(ctx);
    if (!c.w2) return nullptr;
    return writable_slot(c, index);
}

void store(NodeId ctx, uint32_t index, const Cell& value) {
    const Cell& c = cell_of(ctx);
    Cell* slot = writable_slot(c, index);
    if (on_stack(c))
        *slot = value;
    else
        write_counted(slot, value);
}

void store_range(NodeId ctx, uint32_t first, const Cell* values, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) store(ctx, first + i, values[i]);
}

Cell* push_value_at(NodeId ctx, uint32_t index) {
    const Cell* slot = slot_at(ctx, index);
    if (!slot) raise(err::script::not_defined, bound_word_at(ctx, index));
    Cell* c = stack::push_raw();
    *c = *slot_at(ctx, index);
    return c;
}

void set_value_from_top(NodeId ctx, uint32_t index) {
    store(ctx, index, *stack::get_top());
    mark_set(ctx, index);
}

void swap_value_from_top(NodeId ctx, uint32_t index) {
    Cell* top = stack::get_top();
    Cell* old = stack::push_raw();
    *old = *cells::at(ctx, index);
    store(ctx, index, *top);
    mark_set(ctx, index);
}

Cell& bind_block(Cell& block, NodeId ctx, bool bind_self) {
    binding::bump();
    NodeId series = block.w2;
    if (cycles::find(series)) return block;
    cycles::Guard on_stack(series);
    plan_store::touch(series);
    Buffer* b = memory::buffer_of(series);
    // Binding allocates nothing, so the walk's pointers stay good.
    Cell* c = b->head_cell() + std::min(block.w1, b->length());
    for (; c < b->tail_cell(); ++c) {
        uint32_t type = cell::type_of(*c);
        if (type == TYPE_WORD && bind_self && is_self(c->w2)) {
            c->w1 = ctx;
            c->w3 = uint32_t(-1);
        } else if (bound_by_binding(type)) {
            word::bind_to(ctx, *c);
        } else if (is_block_type(type)) {
            bind_block(*c, ctx, bind_self);
        }
    }
    return block;
}

void init() {
    datatype::register_type(TYPE_CONTEXT, 0, "context!", {});
}

void init_global() {
    global = 0;
    root = unset_cell;
    collector::add_marker(mark_globals);
    global = new_(global_slots, false, false, 0, Kind::global);
    root = Cell{TYPE_BLOCK, 0, memory::alloc_cells(root_cells), 0};
}

} // namespace context

namespace cells {

const Cell* at(NodeId ctx, uint32_t index) {
    return hashtable::cells_of(context::cell_of(ctx).w2) + index;
}

} // namespace cells

namespace word {

namespace {

// Stores into the slot of a resolved word of an object: the entry gets
// the set mark and, with notify, the object's handler runs.
[[gnu::noinline]] const Cell* store_in_object(const Cell& word, const Cell& value, NodeId ctx,
                                              bool notify) {
    using namespace context;
    uint32_t index = word.w3;
    // Marked first: a shared word table is copied, which allocates.
    own_word_at(ctx, index)->header |= flag::set_mark;
    Cell* slot = writable_slot(cell_of(ctx), index);
    if (notify && fire_on_change && self_of(ctx).w3) {
        Cell* saved_top = stack::state.top;
        Cell* old = stack::push_raw();
        *old = *slot;
        write_counted(slot, value);
        // The handler runs Kiv code: what it is given must not move.
        Rooted<Cell> fresh(value);
        Rooted<Cell> object(self_of(ctx));
        Rooted<Cell> name(word);
        fire_on_change(*object, *name, *old, *fresh);
        stack::state.top = saved_top;
        return cells::at(ctx, index);
    }
    write_counted(slot, value);
    return slot;
}

// Stores into the slot of a resolved word; nothing allocates before the
// value is copied in.
inline const Cell* store_in(const Cell& word, const Cell& value, NodeId ctx, bool notify) {
    using namespace context;
    const Cell& c = cell_of(ctx);
    if (!c.w2) raise(err::script::not_defined, word);
    Cell* slot = writable_slot(c, word.w3);
    if (on_stack(c)) return &(*slot = value);
    if (kind_of(c) == Kind::object) return store_in_object(word, value, ctx, notify);
    write_counted(slot, value);
    return slot;
}

} // namespace

namespace {

// Resolves the word in the context, adding it when missing, and stores.
[[gnu::noinline]] const Cell* resolve_and_store(Cell& word, const Cell& value, NodeId ctx,
                                                bool notify) {
    // Resolving may add an entry, and the context grow under the value.
    Rooted<Cell> kept(value);
    int32_t index = context::find_word(ctx, word.w2, false);
    if (index < 0) index = context::add_word(ctx, word);
    word.w3 = uint32_t(index);
    return store_in(word, *kept, ctx, notify);
}

} // namespace

// The store of a resolved word keeps no registers of its own: every path
// that needs them (resolving, an object's slot, an error) is out of line.
const Cell* set_in(Cell& word, const Cell& value, NodeId ctx, bool notify) {
    if (int32_t(word.w3) >= 0) [[likely]]
        return store_in(word, value, ctx, notify);
    return resolve_and_store(word, value, ctx, notify);
}

const Cell* set(Cell& word, const Cell& value) {
    return set_in(word, value, word.w1, true);
}

const Cell* value_cell_in(const Cell& word, NodeId ctx) {
    using namespace context;
    if (int32_t(word.w3) < 0) {
        if (word.w1 && is_self(word.w2)) return &self_of(word.w1);
        raise(err::script::no_value, word);
    }
    const Cell* slot = slot_at(ctx, word.w3);
    if (!slot) raise(err::script::not_in_context, word);
    return slot;
}

const Cell* value_cell(const Cell& word) {
    return value_cell_in(word, word.w1);
}

int32_t bind_to(NodeId ctx, Cell& word) {
    int32_t index = context::find_word(ctx, word.w2, true);
    if (index >= 0) {
        word.w1 = ctx;
        word.w3 = uint32_t(index);
    }
    return index;
}

} // namespace word

} // namespace kiv
