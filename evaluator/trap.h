// Running C++ code that may raise a language error under a try frame of
// its own, as the console does for every input: the error is caught and
// handed back instead of reaching the entry.
#pragma once

#include <exception>

#include "datatypes/unset.h"
#include "datatypes/words.h"
#include "runtime/cell.h"
#include "runtime/protected_call.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::trap {

// Raises the language error for the C++ exception being handled: running
// out of memory (std::bad_alloc, or a container asked to outgrow its
// limit) is internal no-memory, any other standard exception internal
// limit-hit with its text. Called from a catch clause.
[[noreturn]] void raise_cxx_failure();

// Runs `body`; a standard C++ exception escaping it becomes the language
// error raise_cxx_failure gives.
template <class Body>
[[gnu::always_inline]] inline void cxx_as_error(Body body) {
    try {
        body();
    } catch (const std::exception&) {
        raise_cxx_failure();
    }
}

// Runs `body` in a frame of its own that receives the value (the body
// writes its caller's slot 0) or the error (a C++ failure included): a
// protected call that stops errors, over a native frame that stands for
// the body's caller. Both frames are named <body>, so errors do not name
// them. True when the body ended normally; the argument stack is left
// empty.
template <class Body>
bool run(Body body, Cell& result) {
    stack::mark_native(words::word<"<body>">());
    bool ok = runtime::protected_call(
        runtime::stops::errors,
        [&] {
            unset::push(); // the result until the body writes one
            cxx_as_error(body);
        },
        [&] { result = *stack::state.base; }, &result);
    stack::unwind();
    stack::reset();
    return ok;
}

} // namespace kiv::trap
