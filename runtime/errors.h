// Raising language errors by catalog index. The error value is built from
// the catalog and thrown to the nearest try frame.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

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

// Field indexes of ids inside the syntax category.
namespace syntax_error {
constexpr uint32_t invalid = 2;
constexpr uint32_t missing = 3;
constexpr uint32_t malconstruct = 7;
constexpr uint32_t bad_char = 8;
} // namespace syntax_error

// Field indexes of ids inside the internal category.
namespace internal_error {
constexpr uint32_t no_memory = 4;
constexpr uint32_t wrong_mem = 5;
constexpr uint32_t stack_overflow = 6;
constexpr uint32_t too_deep = 8;
constexpr uint32_t no_cycle = 9;
constexpr uint32_t not_done = 11;
} // namespace internal_error

// The catalog position of the last error raised.
struct ErrorSite {
    Category category;
    uint32_t id;
};
extern ErrorSite last_error;

// Raises the error (category, id) with up to three arguments (null when
// absent). Never returns.
[[noreturn]] void fire_error(Category category, uint32_t id, const Cell* arg1 = nullptr,
                             const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

} // namespace kiv::runtime
