// The argument stack and the call-frame stack.
//
// Every call passes its arguments and receives its result through one
// array of cells; slot 0 of a frame is both its first argument and its
// result. A second array records one frame per call with its kind, the
// called word and where the caller's arguments began; the language's
// non-local exits search it for their target.
//
// break, continue, return, exit and throw do not unwind the C++ stack with
// an exception: their operation walks the frames to the target, leaves the
// stack pointers as the target expects them, and sets
// `runtime::record.pending`; every interpreter level returns at once while
// it is set, and the target clears it. Errors are C++ exceptions.
#pragma once

#include <atomic>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/faults.h"
#include "runtime/memory.h"

namespace kiv::stack {

constexpr uint32_t argument_cells = 20000;
constexpr uint32_t frame_count = 12000;
// Room above the limits that only raising the stack-overflow error uses.
constexpr uint32_t reserved_cells = 256;
constexpr uint32_t reserved_frames = 64;

struct Frame {
    uint32_t header;     // kind in bits 24-27 and the flags
    uint32_t saved_base; // caller's frame base, in cells from the bottom
    NodeId word_context; // context the called word is bound to
    NodeId function_context;
    uint32_t saved_values; // word 2 of the function context when pushed
    uint32_t symbol;       // symbol id of the called word
};

namespace kind {
constexpr uint32_t mask = 0x0F000000u;
constexpr uint32_t function = 0x01000000u;
constexpr uint32_t native = 0x02000000u;
constexpr uint32_t function_body = 0x12000000u;
constexpr uint32_t try_ = 0x04000000u;
constexpr uint32_t try_all = 0x05000000u;
constexpr uint32_t catch_ = 0x06000000u;
constexpr uint32_t eval = 0x87000000u;
constexpr uint32_t loop = 0x08000000u;
constexpr uint32_t interp_native = 0x82000000u;
constexpr uint32_t interp_function = 0x81000000u;
} // namespace kind

namespace frame_flag {
constexpr uint32_t return_target = 0x10000000u;
constexpr uint32_t interpreted = 0x80000000u;
// A catch frame that only throws of one name reach; the name's symbol is
// kept in the frame's saved_values.
constexpr uint32_t named_catch = 0x20000000u;
} // namespace frame_flag

struct State {
    Cell* bottom = nullptr;
    Cell* base = nullptr; // slot 0 of the current frame
    Cell* top = nullptr;  // next free cell
    Cell* end = nullptr;  // the limit; the reserved cells follow it
    Frame* cbottom = nullptr;
    Frame* ctop = nullptr; // next free frame
    Frame* cend = nullptr; // the limit; the reserved frames follow it
    Frame* saved_ctop = nullptr;
    // The frames below this one belong to the console that evaluates an
    // input: errors do not name their calls, and break, continue, return
    // and exit do not reach them.
    const Frame* input_floor = nullptr;
    uint32_t input_floor_parens = 0; // frameless_parens when the floor was set
    uint32_t body_symbol = 0;
    uint32_t anon_symbol = 0;
    // Parens under way that the interpreter evaluates without a frame of
    // their own; each still counts as one in the depth an error records.
    uint32_t frameless_parens = 0;
};
extern State state;

// The depth of the call stack that an error records: its frames, and the
// parens under way that have none, above the input's floor.
inline uint32_t depth() {
    const Frame* floor = state.input_floor ? state.input_floor : state.cbottom;
    return uint32_t(state.ctop - floor) + state.frameless_parens - state.input_floor_parens;
}

// What the stack needs of modules built above it: forming and showing an
// error with no try frame, and recording where an error happened.
struct Hooks {
    // Fills the error's `where` and `stack` fields before it is thrown.
    void (*tag_error)(Cell& error) = nullptr;
    // Shows an error that no try frame catches.
    void (*report_uncaught)(const Cell& error) = nullptr;
    // Empties the cycle stack after an overflow.
    void (*reset_cycles)() = nullptr;
    // Raises the halt that an interrupt asked for; returns without raising
    // when no catch could take it yet (hold_halt).
    void (*raise_halt)() = nullptr;
};
extern Hooks hooks;

// Sets up both stacks on buffers that never move; the two symbol ids name
// frames that error reports and traces skip.
void init(uint32_t body_symbol, uint32_t anon_symbol);

inline uint32_t index_of(const Cell* c) {
    return uint32_t(c - state.bottom);
}
inline Cell* at_index(uint32_t i) {
    return state.bottom + i;
}
inline Cell* base_of(const Frame* f) {
    return state.bottom + f->saved_base;
}
inline uint32_t frame_kind(const Frame* f) {
    return f->header & kind::mask;
}

// A context whose values live on the argument stack keeps in its word 2
// the stack index of its first value plus one, so that 0 means none.
inline uint32_t values_word(const Cell* first) {
    return index_of(first) + 1;
}
inline Cell* values_at(uint32_t word2) {
    return state.bottom + word2 - 1;
}

// Raises the stack-overflow error; the reserved room is open while the
// error is made and thrown, so raising it cannot overflow again.
[[noreturn]] void overflow();

// The machine stack must not run out before the call-frame stack does:
// the interpreter checks it before every call and block, and loops that
// run long without calls (parse) at every step. `machine_limit` is the
// lowest frame address allowed (0: unchecked).
extern std::atomic<uintptr_t> machine_limit;
// Sets the limit a margin above the low end of the running thread's stack.
void set_machine_stack(runtime::StackBounds bounds);
// Returns only when the check fired for a halt that waits (hold_halt).
void machine_overflow();
inline void check_machine() {
    // The stack pointer, read directly: asking the compiler for the frame
    // address would make every checking function keep a frame pointer.
#if defined(__x86_64__)
    uintptr_t frame;
    asm("mov %%rsp, %0" : "=r"(frame));
#else
    auto frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
#endif
    if (frame < machine_limit.load(std::memory_order_relaxed)) [[unlikely]]
        machine_overflow();
}
// Stops a runaway evaluation: the next check (or the next poll of a long
// C++ loop, runtime/interrupt.h) raises the stack-overflow error, as when
// the machine stack runs out; with `halt`, it raises the halt instead, as
// the halt function does (Ctrl-C at the console), and so does a blocking
// call that the signal interrupted.
// Async-signal-safe and callable from any thread (a watchdog).
void interrupt(bool halt = false);
// Forgets a halt asked for that no check has raised yet, held or not.
void clear_interrupt();

// A halt asked for while no catch on the stack could take it (the
// console's own loop between two commands) is held instead of raised as an
// uncaught throw: the next catch frame pushed asks for it again, so that it
// is raised inside that catch.
void hold_halt();
extern bool halt_held;
void ask_held_halt();

inline Cell* reset() {
    return state.top = state.base;
}
inline Cell* keep() {
    state.top = state.base + 1;
    return state.base;
}
inline Cell* push_raw() {
    Cell* c = state.top++;
    if (state.top >= state.end) [[unlikely]]
        overflow();
    return c;
}
inline Cell* push(const Cell& value) {
    Cell* c = push_raw();
    *c = value;
    return c;
}
void pop(uint32_t n);
inline Cell* set_last(const Cell& value) {
    *state.base = value;
    return state.base;
}
inline Cell* keep_last(const Cell& value) {
    state.top = state.base + 1;
    *state.base = value;
    return state.base;
}
inline Cell* get_top() {
    return state.top > state.bottom ? state.top - 1 : state.bottom;
}
inline uint32_t top_type() {
    return cell::type_of(*get_top());
}
void adjust_post_try();

inline Frame* get_ctop() {
    return state.ctop - 1;
}
inline void set_ctop(Frame* f) {
    state.ctop = f;
}
inline bool empty() {
    return state.ctop == state.cbottom;
}

// Marking and unwinding run around every call: they are inline.
namespace detail {
inline uint32_t& context_values(NodeId context) {
    return memory::buffer_of(context)->head_cell()[0].w2;
}
inline void push_frame(uint32_t header, const Cell& word, NodeId function_context) {
    if (state.ctop >= state.cend) [[unlikely]]
        overflow();
    Frame* f = state.ctop++;
    f->header = header;
    f->saved_base = index_of(state.base);
    f->word_context = word.w1;
    f->function_context = function_context;
    f->saved_values = function_context ? context_values(function_context) : 0;
    f->symbol = word.w2;
    state.base = state.top;
}
// Pops the top frame; returns the callee's frame base.
inline Cell* pop_frame(bool restore_context) {
    Cell* callee = state.base;
    Frame* f = --state.ctop;
    if (restore_context && f->function_context)
        context_values(f->function_context) = f->saved_values;
    state.base = base_of(f);
    return callee;
}
} // namespace detail

// Pushes a frame of the given kind for a word (a word cell: word 1 its
// context, word 2 its symbol); frame base = top.
inline void mark(const Cell& word, uint32_t kind) {
    detail::push_frame(kind, word, 0);
}
inline void mark_func_ctx(const Cell& word, NodeId function_context) {
    detail::push_frame(kind::function, word, function_context);
}
void mark_func(const Cell& word, NodeId function_context);
inline void mark_native(const Cell& word) {
    mark(word, kind::native);
}
inline void mark_try(const Cell& word) {
    mark(word, kind::try_);
}
inline void mark_try_all(const Cell& word) {
    mark(word, kind::try_all);
}
inline void mark_catch(const Cell& word) {
    mark(word, kind::catch_);
    if (halt_held) [[unlikely]]
        ask_held_halt();
}
// A catch that throws of other names pass by, as if it were not there.
inline void mark_named_catch(const Cell& word, uint32_t name_symbol) {
    mark(word, kind::catch_ | frame_flag::named_catch);
    (state.ctop - 1)->saved_values = name_symbol;
    if (halt_held) [[unlikely]]
        ask_held_halt();
}
inline void mark_eval(const Cell& word) {
    mark(word, kind::eval);
}
inline void mark_loop(const Cell& word) {
    mark(word, kind::loop);
}
inline void mark_interp_native(const Cell& word) {
    mark(word, kind::interp_native);
}
inline void mark_interp_func(const Cell& word, NodeId function_context) {
    detail::push_frame(kind::interp_function, word, function_context);
}

// The return-target flag of the top frame: run around every function body.
inline void set_frame_flag(bool on) {
    Frame* f = get_ctop();
    f->header = on ? f->header | frame_flag::return_target : f->header & ~frame_flag::return_target;
}
void set_interp_flag();
Frame* claim_frame();
bool interpreted(const Frame* f, bool nearest_only);

inline void unwind() {
    state.top = detail::pop_frame(false) + 1;
}
inline void unwind_last() {
    Cell* callee = detail::pop_frame(false);
    *state.base = *callee;
    state.top = callee + 1;
}
// Pops the top frame and puts its value (its slot 0) in `held`, a cell of
// the caller's frame that becomes its top value.
inline void unwind_into(Cell* held) {
    *held = *detail::pop_frame(false);
    state.top = held + 1;
}
inline void unwind_func() {
    state.top = detail::pop_frame(true) + 1;
}
inline void unwind_func_last() {
    Cell* callee = detail::pop_frame(true);
    *state.base = *callee;
    state.top = callee + 1;
}
void revert();
void revert_func();
void revert_checked();
void unroll(uint32_t kind, bool keep);
void unroll_last(uint32_t kind);
inline void unroll_loop(bool keep) {
    unroll(kind::loop, keep);
}

// The nearest frame below the top (from the saved call top when set) whose
// word is not `<body>` or `<anon>`, or null; clears the saved call top.
const Frame* get_call_frame();

// Non-local exits. break/continue/return/exit/throw walk to their target,
// set the stack as the target expects it and set the pending code; they
// raise the matching throw error when there is no target. throw_error
// throws (C++) to the nearest try frame.
void throw_break(bool value_given, bool continue_);
void throw_exit(bool value_given, bool keep_own_frame);
void throw_throw(uint32_t code);
// Throws `value` named `name` from wherever the evaluation stands, as
// throw/name does: the stack lands on the catch and the throw crosses the
// C++ code above it as an exception, which the nearest native call or
// catch turns back into a pending code.
[[noreturn]] void throw_from_here(const Cell& value, const Cell& name);
// Whether a catch anywhere on the stack, below floors and try/all frames
// too, takes a throw named `name`.
bool catch_stands(const Cell& name);
[[noreturn]] void throw_error(const Cell& error);
// Moves the stack to the nearest try frame with the error pushed last, as
// throw_error does before it throws; the caller throws code::error.
void land_error(const Cell& error);

} // namespace kiv::stack
