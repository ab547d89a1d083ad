// The runtime error exit: a fatal failure is reported as
// "*** Runtime Error N: message\n*** at: ADDRESSh" and ends the process
// with the code as exit status.
#pragma once

#include <cstdint>

namespace kiv::runtime {

namespace fatal {
constexpr int access_violation = 1;
constexpr int out_of_memory = 94;
constexpr int no_catch_for_throw = 95;
constexpr int assertion_failed = 98;
constexpr int unknown_error = 99;
constexpr int no_case_matched = 100;
constexpr int no_switch_matched = 101;
} // namespace fatal

// The message of a runtime error code ("unknown error code!" for others).
const char* fatal_message(int code);

// The full report text for a code and address.
void format_fatal(char* out, unsigned size, int code, uint32_t address);

// Reports the error (code 0: nothing), frees the tracked heap and exits
// with the code.
[[noreturn]] void quit_with_error(int code, uint32_t address);

// An address inside the caller, reported as the "at:" address.
uint32_t caller_address(const void* return_address = __builtin_return_address(0));

} // namespace kiv::runtime
