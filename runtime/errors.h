// Raising language errors by catalog index. The error value is built from
// the catalog and thrown to the nearest try frame. The id indexes (kiv::err)
// are generated from the catalog, library/errors.kiv.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/error_ids.h"

namespace kiv::runtime {

// Category indexes in the `errors` object of the catalog.
enum class Category : uint32_t {
    thrw = 0,
    note = 1,
    syntax = 2,
    script = 3,
    math = 4,
    access = 5,
    reserved1 = 6,
    reserved2 = 7,
    user = 8,
    internal = 9,
};

// The catalog position of the last error raised.
struct ErrorSite {
    Category category;
    uint32_t id;
};
extern ErrorSite last_error;

// Called with each error raised before it is thrown, while a tracer is
// installed (the interpreter's error event); null otherwise.
extern void (*trace_error_hook)(const Cell& error);

// Builds the error (category, id) with its arguments and moves the stack
// to the try that catches it; set by the error module once it can make
// errors. False, with the stack left as it is, when it cannot make that
// error.
using Raiser = bool (*)(Category category, uint32_t id, const Cell* arg1, const Cell* arg2,
                        const Cell* arg3);
extern Raiser raiser;

// Raises the error (category, id) with up to three arguments (null when
// absent). Never returns.
[[noreturn]] void fire_error(Category category, uint32_t id, const Cell* arg1 = nullptr,
                             const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// Raises the error as fire_error does, except where error exits are on
// (record.error_exits, runtime/throw.h): the error, landed on its try,
// then goes on as the pending exit code::error and this returns, with no
// C++ unwinding. Its caller returns at once, leaving the stack and the
// frames alone, up to levels that check the pending code: only the
// evaluator's own raise points and the natives and actions it calls
// directly use it.
void raise_error(Category category, uint32_t id, const Cell* arg1 = nullptr,
                 const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

} // namespace kiv::runtime
