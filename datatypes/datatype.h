// The datatype registry: per type id the type's name and its row of the
// action table, and the datatype! values that name types.
//
// A datatype is a row of 62 action slots. Each slot has one C++ signature
// (its family, below); a row entry is a function of that signature or null
// when the type does not support the action. Types form a tree: a type
// takes its parent's entry, as it is at the type's registration, in every
// slot it does not name, so parents register before their children.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "runtime/cell.h"
#include "runtime/stack.h"
#include "runtime/types.h"

namespace kiv {

// The 62 action slots in their fixed order.
enum class Slot : uint32_t {
    make = 1,
    random,
    reflect,
    to,
    form,
    mold,
    eval_path,
    unused_8,
    compare,
    absolute,
    add,
    divide,
    multiply,
    negate,
    power,
    remainder,
    round,
    subtract,
    even_q,
    odd_q,
    and_,
    complement,
    or_,
    xor_,
    append,
    at,
    back,
    change,
    clear,
    copy,
    find,
    head,
    head_q,
    index_q,
    insert,
    length_q,
    move,
    next,
    pick,
    poke,
    put,
    remove,
    reverse,
    select,
    sort,
    skip,
    swap,
    tail,
    tail_q,
    take,
    trim,
    create,
    close,
    delete_,
    modify,
    open,
    open_q,
    query,
    read,
    rename,
    update,
    write,
};
constexpr uint32_t slot_count = 62;

// The arguments of the current call, for the actions that read them
// themselves (arithmetic, navigation): slot 0 is the first argument and
// receives the result.
inline Cell* frame_args() {
    return stack::state.base;
}

// Slot families: one signature per group of slots. Cells are passed by
// address; refinement arguments not given are null cells, counts not given
// are -1.
namespace action {
using MakeFn = Cell* (*)(Cell* proto, const Cell* spec, uint32_t type);
using RandomFn = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using ReflectFn = Cell* (*)(Cell* value, uint32_t field_symbol);
// form and mold append to the string buffer and return the part left.
using FormFn = int32_t (*)(const Cell* value, Cell* buffer, const Cell* arg, int32_t part);
using MoldFn = int32_t (*)(const Cell* value, Cell* buffer, bool only, bool all, bool flat,
                           const Cell* arg, int32_t part, int32_t indent);
using EvalPathFn = Cell* (*)(Cell* parent, Cell* element, Cell* value, Cell* path,
                             Cell* grand_parent, Cell* previous, int32_t index, bool case_,
                             bool get, bool last, bool event);
// 0 equal, negative before, positive after, -2 not comparable.
using CompareFn = int32_t (*)(const Cell* value1, const Cell* value2, int32_t op);
using FrameFn = void (*)();
using UnaryFn = Cell* (*)(Cell* value);
using RoundFn = Cell* (*)(Cell* value, const Cell* scale, bool even, bool down, bool half_down,
                          bool floor, bool ceiling, bool half_ceiling);
using PredicateFn = bool (*)(const Cell* value);
using InsertFn = Cell* (*)(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup,
                           bool append);
using ChangeFn = Cell* (*)(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup);
using CopyFn = Cell* (*)(Cell* value, Cell* out, const Cell* part, bool deep, const Cell* types);
using FindFn = Cell* (*)(Cell* series, const Cell* value, const Cell* part, bool only, bool case_,
                         bool same, bool any, const Cell* with, const Cell* skip, bool last,
                         bool reverse, bool tail, bool match);
using LengthFn = int32_t (*)(Cell* series);
using MoveFn = Cell* (*)(Cell* origin, Cell* target, const Cell* part);
using PickFn = Cell* (*)(Cell* series, int32_t index, const Cell* index_cell);
using PokeFn = Cell* (*)(Cell* series, int32_t index, Cell* value, const Cell* index_cell);
using PutFn = Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_);
using RemoveFn = Cell* (*)(Cell* series, const Cell* part, const Cell* key);
using ReverseFn = Cell* (*)(Cell* series, const Cell* part, const Cell* skip);
using SelectFn = Cell* (*)(Cell* series, const Cell* value, const Cell* part, bool only, bool case_,
                           bool same, bool any, const Cell* with, const Cell* skip, bool last,
                           bool reverse);
using SortFn = Cell* (*)(Cell* series, bool case_, const Cell* skip, const Cell* compare,
                         const Cell* part, bool all, bool reverse, bool stable);
using PairFn = Cell* (*)(Cell* first, Cell* second);
using TakeFn = Cell* (*)(Cell* series, const Cell* part, bool deep, bool last);
using TrimFn = Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                         const Cell* with);
using OpenFn = Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek,
                         const Cell* allow);
using ReadFn = Cell* (*)(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines,
                         bool info, const Cell* as);
using WriteFn = Cell* (*)(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                          bool append, const Cell* part, const Cell* seek, const Cell* allow,
                          const Cell* as);

using Families = std::tuple<MakeFn, RandomFn, ReflectFn, FormFn, MoldFn, EvalPathFn, CompareFn,
                            FrameFn, UnaryFn, RoundFn, PredicateFn, InsertFn, ChangeFn, CopyFn,
                            FindFn, LengthFn, MoveFn, PickFn, PokeFn, PutFn, RemoveFn, ReverseFn,
                            SelectFn, SortFn, PairFn, TakeFn, TrimFn, OpenFn, ReadFn, WriteFn>;

template <class F, class Tuple>
struct family_index;
template <class F, class... Fs>
struct family_index<F, std::tuple<F, Fs...>> {
    static constexpr uint32_t value = 0;
};
template <class F, class G, class... Fs>
struct family_index<F, std::tuple<G, Fs...>> {
    static constexpr uint32_t value = 1 + family_index<F, std::tuple<Fs...>>::value;
};
template <class F>
constexpr uint32_t family_of = family_index<F, Families>::value;

// No function may sit in slot 8.
constexpr uint32_t no_family = std::tuple_size_v<Families>;

// The family of each slot, in slot order.
// clang-format off
inline constexpr uint32_t slot_family[slot_count] = {
    family_of<MakeFn>,       family_of<RandomFn>,     family_of<ReflectFn>, // 1-3
    family_of<MakeFn>,       family_of<FormFn>,       family_of<MoldFn>, // 4-6
    family_of<EvalPathFn>,   no_family,               family_of<CompareFn>, // 7-9
    family_of<FrameFn>,      family_of<FrameFn>,      family_of<FrameFn>, // 10-12
    family_of<FrameFn>,      family_of<UnaryFn>,      family_of<FrameFn>, // 13-15
    family_of<FrameFn>,      family_of<RoundFn>,      family_of<FrameFn>, // 16-18
    family_of<PredicateFn>,  family_of<PredicateFn>,  family_of<FrameFn>, // 19-21
    family_of<UnaryFn>,      family_of<FrameFn>,      family_of<FrameFn>, // 22-24
    family_of<InsertFn>,     family_of<FrameFn>,      family_of<FrameFn>, // 25-27
    family_of<ChangeFn>,     family_of<UnaryFn>,      family_of<CopyFn>, // 28-30
    family_of<FindFn>,       family_of<FrameFn>,      family_of<FrameFn>, // 31-33
    family_of<FrameFn>,      family_of<InsertFn>,     family_of<LengthFn>, // 34-36
    family_of<MoveFn>,       family_of<FrameFn>,      family_of<PickFn>, // 37-39
    family_of<PokeFn>,       family_of<PutFn>,        family_of<RemoveFn>, // 40-42
    family_of<ReverseFn>,    family_of<SelectFn>,     family_of<SortFn>, // 43-45
    family_of<FrameFn>,      family_of<PairFn>,       family_of<FrameFn>, // 46-48
    family_of<FrameFn>,      family_of<TakeFn>,       family_of<TrimFn>, // 49-51
    family_of<UnaryFn>,      family_of<UnaryFn>,      family_of<UnaryFn>, // 52-54
    family_of<PutFn>,        family_of<OpenFn>,       family_of<UnaryFn>, // 55-57
    family_of<UnaryFn>,      family_of<ReadFn>,       family_of<PairFn>, // 58-60
    family_of<UnaryFn>,      family_of<WriteFn>, // 61-62
};
// clang-format on

template <Slot S>
using SlotFn = std::tuple_element_t<slot_family[uint32_t(S) - 1], Families>;

using AnyFn = void (*)();

// One named slot of a registration: a function, or unsupported.
struct Entry {
    enum Kind : uint8_t { function, unsupported };
    AnyFn fn = nullptr;
    uint32_t family = no_family;
    Kind kind = unsupported;

    template <class R, class... A>
    Entry(R (*f)(A...))
        : fn(reinterpret_cast<AnyFn>(f)), family(family_of<R (*)(A...)>),
          kind(f ? function : unsupported) {}
    constexpr Entry(Kind k) : kind(k) {}
};

// The entry of a slot the type refuses although its parent serves it.
constexpr Entry::Kind no = Entry::unsupported;

} // namespace action

namespace datatype {

// Room for type ids 0 to 56.
constexpr uint32_t max_types = 57;

struct TypeName {
    const char* name; // with its "!"
    uint32_t length;  // without the "!"
    Cell word;        // the global word of the name; unset until made
};

// Allocates the registry; runs once before the first registration.
void init();
// Releases the registry (tests and shutdown).
void release();

// Registers a type by the slots it names: each takes its function, or
// `no` where the type must not support an action its parent supports.
// Every slot not named takes the parent's entry at this moment (none for a
// type without a parent). A type id outside 1..56, an unregistered parent,
// an entry of the wrong family for its slot or a slot named twice ends the
// process with a runtime error.
void register_type(uint32_t type, uint32_t parent, const char* name,
                   std::initializer_list<std::pair<Slot, action::Entry>> slots);

uint32_t highest_type();
// Whether the datatype of the type id is built (registered).
bool is_registered(uint32_t type);
const TypeName& name_of(uint32_t type);

// The action table: a row of `row_size` entries per type id below
// max_types, slot s at s - 1. The rows of types not registered are all
// null. Read in line by every action call.
constexpr uint32_t row_size = 256;
extern action::AnyFn* action_table;

// The raw entry of (type, slot); null when unsupported.
inline action::AnyFn entry(uint32_t type, Slot slot) {
    return action_table[type * row_size + uint32_t(slot) - 1];
}

template <Slot S>
action::SlotFn<S> get(uint32_t type) {
    return reinterpret_cast<action::SlotFn<S>>(entry(type, S));
}

// datatype! values.
inline Cell value(uint32_t type) {
    return Cell{TYPE_DATATYPE, type, 0, 0};
}
Cell* make_at(Cell& cell, uint32_t type);
Cell* push(uint32_t type);
Cell* make_in(Cell& block, uint32_t type);

// Constructors that push their value (function!, native!, error!) leave
// it on the argument stack: this takes it off, for callers that keep
// values elsewhere, such as decoders.
Cell take_pushed();

// Registers datatype! itself.
void register_datatype();

// Sets the global word of every type's name to its datatype! value.
void make_type_words();

} // namespace datatype

} // namespace kiv
