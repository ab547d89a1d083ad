// context!: the namespaces that give words their values.
//
// The global context, every object and the argument list of every
// function, routine, native and action is a context: a node whose buffer
// holds two cells, the context cell and the self cell. The context cell
// holds the word table (a word-kind hash table whose keyed block has one
// word cell per entry, in order of addition) and the values: the node of a
// values block whose cell i is the value of entry i, or, for a function's
// arguments, the stack position of the running call's first argument
// (stack::values_word), 0 while the function is not running.
//
// Contexts are named by node everywhere: their buffers move with the
// collector, so a pointer to a context cell or a value cell is good only
// until the next allocation.
//
// Values are written only through `store`, `store_plain` and
// `store_range`; everything else gets read-only slots. A store that
// replaces or puts a function or operator bumps the binding epoch, so
// caches of resolved words stay true (values on the stack are never cached
// and are not counted).
#pragma once

#include <cstdint>

#include "runtime/binding.h"
#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv {

namespace context {

enum class Kind : uint32_t { global = 0, function = 1, object = 2 };

namespace flag {
constexpr uint32_t kind_shift = 11;
constexpr uint32_t kind_mask = 0x1800u;
constexpr uint32_t on_stack = cell::stack_values_flag;
constexpr uint32_t has_self = 0x1000000u;
// Set by ownership tracking once the context's series have an owner.
constexpr uint32_t owned = 0x10000u;
// On the word cell of an object entry once its slot was assigned.
constexpr uint32_t set_mark = 0x2000u;
// The context shares its word table with other contexts (share_object):
// the first change to its words gives it a copy of its own.
constexpr uint32_t shared_words = 0x4000u;
} // namespace flag

constexpr uint32_t global_slots = 4000;

// The global context node, 0 until init_global.
extern NodeId global;
// The root block: values kept alive for the whole run (spellings handed out
// by add_global, words collected at start-up, unbound refinements).
extern Cell root;

// Called by word::set_in after it stored a new value in a field of an
// object that has a handler record: (the object, the word, the old value,
// the new value). The cells are the caller's, valid for the call. The object
// module installs it; null means no notification.
extern void (*fire_on_change)(const Cell& object, const Cell& word, const Cell& old_value,
                              const Cell& new_value);

inline Cell& cell_of(NodeId ctx) {
    return memory::buffer_of(ctx)->head_cell()[0];
}
inline Cell& self_of(NodeId ctx) {
    return memory::buffer_of(ctx)->head_cell()[1];
}
inline Kind kind_of(const Cell& ctx) {
    return Kind((ctx.header & flag::kind_mask) >> flag::kind_shift);
}
// Entries in the word table.
uint32_t size_of(NodeId ctx);
// The node of the block of the word table's word cells. It names the word
// list of this one context; entries are only ever added at its end.
NodeId words_node(NodeId ctx);

// A new context with room for `slots` entries (0 counts as 1). With a
// source context its word table is cloned. The self cell is unset.
NodeId new_(uint32_t slots, bool on_stack, bool has_self, NodeId source, Kind kind);
// A new context like the source, a function's context, sharing its word
// table (a function's words never change): for a copy of the function.
// Its values are empty.
NodeId new_sharing_words(NodeId source);
// A new object context with the words of the source, an object's, and a
// copy of its values: the two share one word table, each taking a copy of
// its own before its words change (an entry added, a set mark written),
// so that neither sees the other's changes. For values made in numbers
// from one prototype (errors).
NodeId share_object(NodeId source);
// A context whose entries are the word!, get-word!, lit-word! and
// refinement! cells of a function-like spec, in order (set-words, strings
// and blocks are skipped).
NodeId make_from_spec(const Cell& spec, bool on_stack, bool has_self, Kind kind);

// The entry index of a symbol, or -1.
int32_t find_word(NodeId ctx, uint32_t symbol, bool nocase);
// The existing entry's index; when absent -1, with a new entry appended
// (values untouched) and its index written to out_index. For a context
// that does not share its words (a new one, the global one); add_word and
// add_value_if_new take any.
int32_t find_or_add_symbol(NodeId ctx, uint32_t symbol, bool nocase, int32_t* out_index);
// The index of the word's symbol (case-insensitive), adding an entry, with
// an unset value unless the values are on the stack, when absent.
int32_t add_word(NodeId ctx, const Cell& word);
// Copies the value into the slot of the word's symbol, adding it when
// absent.
void put_value(NodeId ctx, const Cell& word, const Cell& value);
// When the symbol is new: adds it with a copy of the value and returns the
// value cell; otherwise null.
const Cell* add_value_if_new(NodeId ctx, const Cell& word, const Cell& value);
// Adds the symbol of every set-word! of the block (not nested); true when
// the context gained entries. The block's head is clamped to its tail.
bool collect_set_words(NodeId ctx, Cell& block);
// The value cell of a symbol that the context holds (case-insensitive); a
// context whose values are on the stack is answered from the global one.
const Cell* value_of(uint32_t symbol, NodeId ctx);
// The global word of a symbol, added when absent. A case-insensitive find
// with keep_spelling of another spelling answers the same slot under the
// asked spelling (a copy kept in the root block); a new spelling of a known
// word shares the slot of its first spelling.
Cell add_global(uint32_t symbol, bool nocase, bool keep_spelling);
// A new context for a copy of the object: same entries and flags, word
// table copied and rebound to it, values empty; the object cell is pointed
// at it.
NodeId clone_for_object(Cell& object, Kind kind);

// The word cell of entry i. Its binding is the context's own unless the
// table is shared (share_object): push_word_at and word_of bind the words
// they hand out. Writing the cell goes through own_word_at.
Cell* word_at(NodeId ctx, uint32_t index);
inline bool shares_words(NodeId ctx) {
    return cell_of(ctx).header & flag::shared_words;
}
// Gives a context that shares its word table (share_object) a copy of its
// own, its word cells bound to it.
void copy_shared_words(NodeId ctx);
// The word cell of entry i, for writing: a shared word table is copied
// first.
inline Cell* own_word_at(NodeId ctx, uint32_t index) {
    if (shares_words(ctx)) [[unlikely]]
        copy_shared_words(ctx);
    return word_at(ctx, index);
}
Cell* push_word_at(NodeId ctx, uint32_t index);
// The word of the symbol (exact) in the context, or the global word.
Cell word_of(NodeId ctx, uint32_t symbol);
// Slot i: an argument cell of the running call, or a values block cell.
// Null when the context has no values.
const Cell* slot_at(NodeId ctx, uint32_t index);
// Writes slot i (the context has values), bumping the binding epoch when
// the old or the new value is a function or an operator.
void store(NodeId ctx, uint32_t index, const Cell& value);
// Writes count values into the slots from first on, as store does.
void store_range(NodeId ctx, uint32_t first, const Cell* values, uint32_t count);
// True for the values a word calls: functions of every kind and operators.
constexpr uint64_t callable_types = (uint64_t(1) << TYPE_NATIVE) | (uint64_t(1) << TYPE_ACTION) |
                                    (uint64_t(1) << TYPE_OP) | (uint64_t(1) << TYPE_FUNCTION) |
                                    (uint64_t(1) << TYPE_ROUTINE);
static_assert(type_count < 64);
inline bool callable(const Cell& value) {
    return (callable_types >> cell::type_of(value)) & 1;
}
// Stores the value into the slot of a bound, resolved word as `store`
// does, when the word's context has values and is not an object's (an
// object's slot takes the set mark and may run its handler); false, with
// nothing written, for any other word, whose store takes word::set. In line:
// loops and set-words store this way at every step.
inline bool store_plain(const Cell& word, const Cell& value) {
    if (!word.w1 || int32_t(word.w3) < 0) return false;
    const Cell& c = cell_of(word.w1);
    if (!c.w2 || kind_of(c) == Kind::object) return false;
    if (c.header & flag::on_stack) {
        stack::values_at(c.w2)[word.w3] = value;
        return true;
    }
    Cell* slot = memory::buffer_of(c.w2)->head_cell() + word.w3;
    if (callable(*slot) || callable(value)) [[unlikely]]
        binding::bump();
    *slot = value;
    return true;
}
// Pushes a copy of slot i; a context without values raises not-defined.
Cell* push_value_at(NodeId ctx, uint32_t index);
// Slot i of the values block from the last pushed value.
void set_value_from_top(NodeId ctx, uint32_t index);
// Pushes the old value of slot i, then stores the value that was on top.
void swap_value_from_top(NodeId ctx, uint32_t index);

// The words a binding walk binds: word!, set-word!, lit-word!, get-word!
// and refinement!.
inline bool bound_by_binding(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_REFINEMENT;
}

// Binds the words of the block and of its nested blocks, parens, paths
// and hashes found in the context (case-insensitive); others keep their
// binding. With
// bind_self, the word! self is bound to the context unresolved, reaching
// the self cell. A block inside itself is walked once.
Cell& bind_block(Cell& block, NodeId ctx, bool bind_self);

// Registers context! (no actions).
void init();
// Makes the global context (4000 slots) and the root block, and makes them
// roots of the collector.
void init_global();

} // namespace context

namespace cells {
// Value cell i of the values block (no on-stack test).
const Cell* at(NodeId ctx, uint32_t index);
} // namespace cells

// Reading and setting through words.
namespace word {

// Stores a copy of the value as the word's value in the context; returns
// the value cell. An unresolved word is resolved (added when absent); it
// must then not lie in a series, since the context may grow. An object
// field gets the set mark and, with notify, fires the change notification.
const Cell* set_in(Cell& word, const Cell& value, NodeId ctx, bool notify);
const Cell* set(Cell& word, const Cell& value);
// The word's value cell in the context; raises no-value for an unresolved
// word (self excepted) and not-in-context when the context has no values.
const Cell* value_cell_in(const Cell& word, NodeId ctx);
const Cell* value_cell(const Cell& word);
// Binds the word to the context when it has the symbol (case-insensitive);
// returns the index or -1, leaving the word alone.
int32_t bind_to(NodeId ctx, Cell& word);

} // namespace word

} // namespace kiv
