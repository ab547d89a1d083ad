// The runtime error exit: a fatal failure is shown as
// "*** Runtime Error N: message\n*** at: ADDRESSh" in the error box titled
// "Kiv App Error" and ends the process with the code as exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

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

// Writes the report text for a code and address into `out` (NUL-terminated,
// cut to `size`) and returns its length. Async-signal-safe.
size_t format_fatal(char* out, size_t size, int code, uint32_t address);

// Shows `text` under `caption` and returns once the user has seen it:
// through the hook the start-up program sets (the GUI backend's error box),
// else as the caption line and the text on standard error. Both must be
// async-signal-safe, so that the fault handler may report through them.
extern void (*alert_hook)(std::string_view caption, std::string_view text);
void alert(std::string_view caption, std::string_view text);
// The caption line, then the text, on standard error.
void alert_on_stderr(std::string_view caption, std::string_view text);

// Shows the report through the error box. Async-signal-safe.
void report_fatal(int code, uint32_t address);

// The quit path: frees every tracked-heap block.
void on_quit();

// Ends the process quietly with `status`: on_quit, every C stream flushed.
[[noreturn]] void quit(int status);

// Reports the error (code 0: nothing), then quits with the code.
[[noreturn]] void quit_with_error(int code, uint32_t address);

// An address inside the caller, reported as the "at:" address.
uint32_t caller_address(const void* return_address = __builtin_return_address(0));

} // namespace kiv::runtime
