// The one way C++ code calls Kiv code: a sort comparator, a change
// handler, a port's actor, the tracer, the GUI's event handler, the
// console evaluating an input. The call finds the stacks and the pending
// exit as they are, and leaves them exactly so when it ends normally or
// stops what it was asked to stop; what it does not stop goes on to its
// target as an exception.
//
// An error raised under the call lands on the nearest try frame, and an
// exit (break, continue, return, exit, throw, a halt) on the nearest frame
// that is its target; a try/all frame is the target of none of them, so an
// exit that meets one raises the error of an exit without a target. Hence
// what the call stops is chosen by the frame it marks:
// - stops::nothing marks none. An error goes on as it was raised; an exit
//   has moved the stack to its target already and is thrown on as an
//   exception, which the native call enclosing this point turns back into
//   a pending code.
// - stops::errors marks a try frame: errors stop at the call, exits go on.
// - stops::everything marks a try/all frame: errors and every exit stop at
//   the call (an exit as the error that it has no target). A quit is not
//   a language exit: it always goes on to the entry.
//
// runtime::protected_region (runtime/throw.h) is the machine-level part
// beneath: it filters thrown codes for code that moves the stacks itself,
// such as the try native.
#pragma once

#include <concepts>
#include <cstdint>
#include <utility>

#include "runtime/cell.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "runtime/types.h"

namespace kiv::runtime {

namespace stops {
constexpr uint32_t nothing = 0;
constexpr uint32_t errors = 1u << 0;
// Stopping exits stops errors too: the exits end as errors.
constexpr uint32_t exits = 1u << 1;
constexpr uint32_t everything = errors | exits;
} // namespace stops

// The stacks and the pending exit as a protected call found them. An exit
// in flight waits while the call runs: it has landed on its target frame,
// whose slot 0 holds the value it carries even when the frame is
// otherwise empty, so the call's frames go above that slot.
class SavedStacks {
  public:
    SavedStacks()
        : base_(stack::state.base), top_(stack::state.top), ctop_(stack::state.ctop),
          pending_(std::exchange(record.pending, 0)) {
        if (pending_ && top_ == base_) stack::state.top = base_ + 1;
    }
    void restore() const {
        stack::state.base = base_;
        stack::state.top = top_;
        stack::state.ctop = ctop_;
        record.pending = pending_;
    }

  private:
    Cell* base_;
    Cell* top_;
    stack::Frame* ctop_;
    uint32_t pending_;
};

// Runs `call`, C++ code that calls Kiv code, and then `take`, which reads
// what the call left on the stack while it is still there; then puts the
// stacks back as they were. True when the call ended normally; false when
// it raised what `stop` asks to stop (see above), and then `caught`, when
// given, receives the error (none when the raise left no error value).
// The frame a stopping call marks is named `<body>`, which errors and
// traces do not name.
template <class Call, class Take>
requires std::invocable<Take&>
[[gnu::always_inline]] inline bool protected_call(uint32_t stop, Call&& call, Take&& take,
                                                  Cell* caught = nullptr) {
    SavedStacks saved;
    if (stop) {
        const Cell name{TYPE_WORD, 0, stack::state.body_symbol, 0};
        if (stop & stops::exits)
            stack::mark_try_all(name);
        else
            stack::mark_try(name);
    }
    try {
        call();
        raise_pending();
        take();
    } catch (const Throw& t) {
        bool stopped = (stop & stops::exits) || ((stop & stops::errors) && t.code == code::error);
        if (!stopped) throw;
        record.code = 0;
        if (caught) {
            const Cell* last = stack::get_top();
            bool valued = t.code == code::error && cell::type_of(*last) == TYPE_ERROR;
            *caught = valued ? *last : Cell{TYPE_NONE, 0, 0, 0};
        }
        saved.restore();
        return false;
    }
    saved.restore();
    return true;
}

template <class Call>
[[gnu::always_inline]] inline bool protected_call(uint32_t stop, Call&& call,
                                                  Cell* caught = nullptr) {
    return protected_call(
        stop, std::forward<Call>(call), [] {}, caught);
}

} // namespace kiv::runtime
