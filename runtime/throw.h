// Non-local exits at the machine level. Language errors, halt and the
// low-level OS failures travel as a `Throw` exception carrying a 32-bit
// code; quit has a type of its own, caught only at the entry. A protected
// region catches every code at or below its filter (compared unsigned) and
// lets the others pass. break, continue, return, exit and throw do not use
// exceptions: the interpreter leaves its levels while `record.pending` is set.
#pragma once

#include <cstdint>

namespace kiv::runtime {

namespace code {
constexpr uint32_t error = 0x7FFFFFFF;
constexpr uint32_t brk = 0x7FFFFFFE;
constexpr uint32_t cont = 0x7FFFFFFD;
constexpr uint32_t ret = 0x7FFFFFFC;
constexpr uint32_t exit = 0x7FFFFFFB;
constexpr uint32_t thrw = 0x7FFFFFFA;
constexpr uint32_t quit = 0x0BADCAFE;
} // namespace code

// The exception of a low-level throw.
struct Throw {
    uint32_t code;
};

// A quit request; `status` is the process exit code.
struct Quit {
    int status;
};

// The runtime record: command line, the code of the throw in flight and the
// pending language exit that the interpreter levels check.
struct Record {
    int argc = 0;
    char** argv = nullptr;
    uint32_t code = 0;
    uint32_t pending = 0;
    // Set while only interpreter levels stand between a native call and
    // the try that catches what it raises: an error from the native then
    // goes on as the pending exit code::error, which the unwinder need not
    // carry. Cleared wherever C++ code evaluates Kiv, so that C++ callers
    // meet errors as exceptions.
    bool error_exits = false;
};
extern Record record;

// Sets record.error_exits for a scope.
class ErrorExits {
  public:
    explicit ErrorExits(bool on) : saved_(record.error_exits) { record.error_exits = on; }
    ~ErrorExits() { record.error_exits = saved_; }
    ErrorExits(const ErrorExits&) = delete;
    ErrorExits& operator=(const ErrorExits&) = delete;

  private:
    bool saved_;
};

// Runs `body`; a Throw whose code is at or below `filter` goes to
// `handler(code)`, any other propagates. The code stays in the record while
// the handler runs and is cleared once it returns (handled); a handler
// that passes the code on throws again.
// The region knows nothing of the stacks: it serves the try native, which
// moves the stacks itself. C++ code calling Kiv code goes through protected_call
// (runtime/protected_call.h), which saves and puts back the stacks.
template <class Body, class Handler>
void protected_region(uint32_t filter, Body&& body, Handler&& handler) {
    try {
        body();
    } catch (const Throw& t) {
        if (t.code > filter) throw;
        record.code = t.code;
        handler(t.code);
        record.code = 0;
    }
}

[[noreturn]] void throw_code(uint32_t code);

// C++ code that calls back into Kiv (a sort comparator, a change handler, a
// port actor) cannot leave its levels by checking the pending code: the
// exit crosses it as an exception, and becomes pending again where the
// interpreter takes over.
inline bool is_pending_exit(uint32_t code) {
    return code >= code::thrw && code <= code::brk;
}

// Whether a code caught at a native call becomes pending there: a pending
// exit, or an error where error exits are on (the raise has already moved
// the stack to its try).
inline bool resumes(uint32_t code) {
    return is_pending_exit(code) || (code == code::error && record.error_exits);
}

// Throws the pending exit, if any, as an exception.
inline void raise_pending() {
    if (uint32_t pending = record.pending) {
        record.pending = 0;
        throw Throw{pending};
    }
}

// Runs `body`; a code that crossed it as an exception and resumes (see
// above) is made pending again. True when an exit is pending afterwards.
template <class Body>
[[gnu::always_inline]] inline bool resume_pending(Body&& body) {
    try {
        body();
    } catch (const Throw& t) {
        if (!resumes(t.code)) throw;
        record.pending = t.code;
    }
    return record.pending != 0;
}

} // namespace kiv::runtime
