#include "runtime/stack.h"

#include <cstdlib>

#include "platform/stop.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/session.h"
#include "runtime/symbol.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::stack {

State state;
Hooks hooks;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(state);

namespace {

Cell& context_cell(NodeId context) {
    return memory::buffer_of(context)->head_cell()[0];
}

void restore_function_context(const Frame* f) {
    if (f->function_context) context_cell(f->function_context).w2 = f->saved_values;
}

// The frame base that was current while `f` was the top frame: the saved
// base of the frame pushed directly above it.
Cell* own_base(const Frame* f) {
    return base_of(f + 1);
}

struct Saved {
    Cell* base;
    Cell* top;
    Frame* ctop;
    void restore() const {
        state.base = base;
        state.top = top;
        state.ctop = ctop;
    }
};
Saved save() {
    return {state.base, state.top, state.ctop};
}

// Walks down from the top frame to the first frame that `is_target`
// accepts; a try/all frame on the way, or the bottom, ends the walk empty.
template <class Target>
Frame* find_target(Target is_target) {
    const Frame* floor = std::max<const Frame*>(state.cbottom, state.input_floor);
    for (Frame* f = state.ctop; f > floor;) {
        --f;
        if (frame_kind(f) == kind::try_all) return nullptr;
        if (is_target(f)) return f;
    }
    return nullptr;
}

// Leaves the stack as the target frame expects after an exit: the target
// stays, its own frame base is current and emptied.
void land_on(Frame* target) {
    state.base = own_base(target);
    state.ctop = target + 1;
    state.top = state.base;
}

[[noreturn]] void raise_throw_error(const Saved& saved, uint32_t id, const Cell* arg = nullptr) {
    saved.restore();
    runtime::fire_error(runtime::Category::thrw, id, arg);
}

const Cell unset_cell{cell::unset_header, 0, 0, 0};

} // namespace

namespace {

// The argument stack and the contexts of the call frames are roots.
void mark_frames() {
    if (!state.bottom) return;
    collector::mark_values(state.bottom, state.top);
    for (const Frame* f = state.cbottom; f < state.ctop; ++f) {
        if (f->word_context) collector::mark_block(f->word_context);
        if (f->function_context) collector::mark_context(f->function_context);
    }
}

} // namespace

void init(uint32_t body_symbol, uint32_t anon_symbol) {
    collector::add_marker(mark_frames);
    NodeId arguments = memory::alloc_heap_series(argument_cells + reserved_cells, sizeof(Cell), 0);
    Buffer* b = memory::buffer_of(arguments);
    state.bottom = state.base = state.top = b->head_cell();
    state.end = state.bottom + argument_cells;
    auto* frames =
        static_cast<Frame*>(heap::allocate(sizeof(Frame) * (frame_count + reserved_frames)));
    state.cbottom = state.ctop = frames;
    state.cend = frames + frame_count;
    state.saved_ctop = nullptr;
    state.body_symbol = body_symbol;
    state.anon_symbol = anon_symbol;
    // A long C++ loop that polls raises an interrupt as the check does.
    runtime::interrupt_raiser = machine_overflow;
}

namespace {

// Opens the reserved room for the life of a raise: the error is made and
// thrown in it, and the limits close again as the throw leaves (the stack
// is then back at the catching frame). A second overflow while it is open
// would mean the room is too small: the process ends.
class ReservedRoom {
  public:
    ReservedRoom() : end_(state.end), cend_(state.cend) {
        if (open_) std::abort();
        open_ = true;
        state.end = end_ + reserved_cells;
        state.cend = cend_ + reserved_frames;
    }
    ~ReservedRoom() {
        state.end = end_;
        state.cend = cend_;
        open_ = false;
    }

  private:
    Cell* end_;
    Frame* cend_;
    static inline bool open_ = false;
};

} // namespace

void overflow() {
    // The push that overflowed gives its cell back.
    if (state.top >= state.end) state.top = state.end - 1;
    ReservedRoom room;
    if (hooks.reset_cycles) hooks.reset_cycles();
    runtime::fire_error(runtime::Category::internal, err::internal::stack_overflow);
}

std::atomic<uintptr_t> machine_limit = 0;

namespace {

// The limit the machine stack check restores after an interrupt.
uintptr_t machine_low = 0;
constexpr uintptr_t machine_margin = 256 * 1024;

} // namespace

void set_machine_stack(runtime::StackBounds bounds) {
    machine_low = bounds.low ? bounds.low + machine_margin : 0;
    machine_limit.store(machine_low, std::memory_order_relaxed);
}

namespace {

// Puts the machine stack check back and raises the halt that was asked for.
void raise_requested_halt() {
    clear_interrupt();
    if (hooks.raise_halt) hooks.raise_halt();
}

} // namespace

// A check that fires is either a halt asked for or a real overflow (also a
// watchdog's interrupt). A halt that is held returns: a real overflow
// fires the check again.
void machine_overflow() {
    if (os::stop_requested.load(std::memory_order_relaxed)) {
        raise_requested_halt();
        return;
    }
    runtime::interrupt_requested.store(false, std::memory_order_relaxed);
    machine_limit.store(machine_low, std::memory_order_relaxed);
    runtime::fire_error(runtime::Category::internal, err::internal::stack_overflow);
}

void interrupt(bool halt) {
    if (halt) {
        os::raise_stop = raise_requested_halt;
        os::stop_requested.store(true, std::memory_order_relaxed);
    }
    machine_limit.store(UINTPTR_MAX, std::memory_order_relaxed);
    runtime::interrupt_requested.store(true, std::memory_order_relaxed);
}

bool halt_held = false;

void hold_halt() {
    halt_held = true;
}

void ask_held_halt() {
    halt_held = false;
    interrupt(true);
}

void clear_interrupt() {
    halt_held = false;
    os::stop_requested.store(false, std::memory_order_relaxed);
    runtime::interrupt_requested.store(false, std::memory_order_relaxed);
    machine_limit.store(machine_low, std::memory_order_relaxed);
}

void pop(uint32_t n) {
    state.top = uint32_t(state.top - state.bottom) < n ? state.bottom : state.top - n;
}

void adjust_post_try() {
    Cell* last = get_top();
    if (cell::type_of(*last) == 34) *state.base = *last;
    state.top = state.base + 1;
}

void mark_func(const Cell& word, NodeId function_context) {
    context_cell(function_context).w2 = values_word(state.base);
    detail::push_frame(kind::function_body, word, 0);
}

void set_interp_flag() {
    get_ctop()->header |= frame_flag::interpreted;
}

Frame* claim_frame() {
    Frame* f = state.ctop - 2;
    if (f < state.cbottom || (f->header & frame_flag::return_target)) return nullptr;
    f->header |= frame_flag::return_target;
    return f;
}

bool interpreted(const Frame* f, bool nearest_only) {
    const Frame* below = (f ? f : get_ctop()) - 1;
    for (; below >= state.cbottom; --below) {
        if (below->header & frame_flag::interpreted) return true;
        if (nearest_only) return false;
    }
    return false;
}

namespace {

// Pops the top frame; returns the callee's frame base.

} // namespace

void revert() {
    detail::pop_frame(false);
    state.top = state.base;
}

void revert_func() {
    detail::pop_frame(true);
    state.top = state.base;
}

void revert_checked() {
    const Frame* f = state.ctop - 1;
    Cell* callee = detail::pop_frame(frame_kind(f) == kind::function);
    if (empty())
        state.base = state.top = state.bottom;
    else
        state.top = callee;
}

void unroll(uint32_t target_kind, bool keep) {
    Frame* remembered = state.ctop;
    Cell* entry_base = state.base;
    while (state.ctop > state.cbottom) {
        Frame* f = --state.ctop;
        if (frame_kind(f) == kind::function) restore_function_context(f);
        if (frame_kind(f) == (target_kind & kind::mask) || frame_kind(f) == kind::try_all) break;
    }
    if (keep) state.ctop++;
    if (state.ctop == remembered) {
        state.top = state.base + 1;
    } else if (state.ctop == state.cbottom) {
        state.base = state.top = state.bottom;
    } else {
        state.top = entry_base + 1;
        state.base = base_of(state.ctop);
    }
    if (!keep) state.ctop++;
}

void unroll_last(uint32_t target_kind) {
    Cell result = *state.base;
    Frame* remembered = state.ctop;
    unroll(target_kind, false);
    Cell* slot = state.ctop < remembered ? own_base(state.ctop - 1) : state.base;
    *slot = result;
    state.base = state.top = slot;
}

const Frame* get_call_frame() {
    Frame* from = state.saved_ctop ? state.saved_ctop : state.ctop;
    state.saved_ctop = nullptr;
    const Frame* floor = std::max<const Frame*>(state.cbottom, state.input_floor);
    for (const Frame* f = from; f > floor;) {
        --f;
        if (f->symbol != state.body_symbol && f->symbol != state.anon_symbol) return f;
    }
    return nullptr;
}

void throw_break(bool value_given, bool continue_) {
    Saved saved = save();
    if (!empty()) --state.ctop;
    Frame* target = find_target([](const Frame* f) { return frame_kind(f) == kind::loop; });
    if (!target) raise_throw_error(saved, continue_ ? err::throw_::continue_ : err::throw_::break_);
    Cell value = value_given && !continue_ ? *saved.base : unset_cell;
    land_on(target);
    *state.base = value;
    runtime::record.pending = continue_ ? runtime::code::cont : runtime::code::brk;
}

void throw_exit(bool value_given, bool keep_own_frame) {
    Saved saved = save();
    if (!empty() && !keep_own_frame) --state.ctop;
    Frame* target =
        find_target([](const Frame* f) { return (f->header & frame_flag::return_target) != 0; });
    if (!target) raise_throw_error(saved, err::throw_::return_);
    Cell value = value_given ? *saved.base : unset_cell;
    land_on(target);
    *state.base = value;
    runtime::record.pending = value_given ? runtime::code::ret : runtime::code::exit;
}

namespace {

// Moves the stack to the catch that a throw of `value` named `name`
// reaches, with the value and the name pushed there; raises the no-catch
// error when none does.
void land_throw(const Saved& saved, Cell value, Cell name) {
    if (!state.saved_ctop) state.saved_ctop = state.ctop;
    Frame* target = find_target([&name](const Frame* f) {
        if (frame_kind(f) != kind::catch_) return false;
        if (!(f->header & frame_flag::named_catch)) return true;
        return cell::type_of(name) == TYPE_WORD &&
               symbol::resolve(name.w2) == symbol::resolve(f->saved_values);
    });
    if (!target) raise_throw_error(saved, err::throw_::throw_, &value);
    land_on(target);
    push(value);
    push(name);
}

} // namespace

void throw_throw(uint32_t code) {
    Saved saved = save();
    if (!empty()) --state.ctop;
    land_throw(saved, saved.base[0], saved.base[1]);
    runtime::record.pending = code;
}

bool catch_stands(const Cell& name) {
    for (const Frame* f = state.ctop; f > state.cbottom;) {
        --f;
        if (frame_kind(f) != kind::catch_) continue;
        if (!(f->header & frame_flag::named_catch) ||
            symbol::resolve(name.w2) == symbol::resolve(f->saved_values))
            return true;
    }
    return false;
}

void throw_from_here(const Cell& value, const Cell& name) {
    land_throw(save(), value, name);
    runtime::throw_code(runtime::code::thrw);
}

void throw_error(const Cell& error) {
    land_error(error);
    runtime::throw_code(runtime::code::error);
}

void land_error(const Cell& error) {
    Cell value = error;
    bool caught = false;
    if (!empty()) {
        if (hooks.tag_error) hooks.tag_error(value);
        Cell* top = state.top;
        unroll(kind::try_, false);
        --state.ctop;
        state.top = top;
        uint32_t k = frame_kind(state.ctop);
        caught = k == kind::try_ || k == kind::try_all;
    }
    if (!caught) {
        *state.base = value;
        if (hooks.report_uncaught) hooks.report_uncaught(value);
        std::_Exit(-2 & 0xFF);
    }
    push(value);
}

} // namespace kiv::stack
