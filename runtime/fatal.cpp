#include "runtime/fatal.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "runtime/heap.h"

namespace kiv::runtime {
namespace {

// Messages of the runtime error codes 1 to 34.
constexpr std::array<const char*, 34> exception_messages = {
    "access violation",
    "invalid alignment",
    "breakpoint",
    "single step",
    "bounds exceeded",
    "float denormal operand",
    "float divide by zero",
    "float inexact result",
    "float invalid operation",
    "float overflow",
    "float stack check",
    "float underflow",
    "integer divide by zero",
    "integer overflow",
    "privileged instruction",
    "invalid virtual address",
    "illegal instruction",
    "non-continuable exception",
    "stack error or overflow",
    "invalid disposition",
    "guard page",
    "invalid handle",
    "illegal operand",
    "illegal addressing mode",
    "illegal trap",
    "coprocessor error",
    "non-existent physical address",
    "object specific hardware error",
    "hardware memory error consumed AR",
    "hardware memory error consumed AO",
    "privileged register",
    "segmentation fault",
    "FPU error",
    "Bus error",
};

constexpr std::pair<int, const char*> runtime_messages[] = {
    {fatal::out_of_memory, "out of memory"},
    {fatal::no_catch_for_throw, "no CATCH for THROW"},
    {fatal::assertion_failed, "assertion failed"},
    {fatal::unknown_error, "unknown error"},
    {fatal::no_case_matched, "no value matched in CASE"},
    {fatal::no_switch_matched, "no value matched in SWITCH"},
};

} // namespace

const char* fatal_message(int code) {
    if (code >= 1 && code <= int(exception_messages.size())) return exception_messages[code - 1];
    for (const auto& [c, text] : runtime_messages)
        if (c == code) return text;
    return "unknown error code!";
}

void format_fatal(char* out, unsigned size, int code, uint32_t address) {
    std::snprintf(out, size, "*** Runtime Error %d: %s\n*** at: %08Xh", code, fatal_message(code),
                  address);
}

void quit_with_error(int code, uint32_t address) {
    if (code != 0) {
        char text[512];
        format_fatal(text, sizeof text, code, address);
        std::fprintf(stderr, "%s\n", text);
        std::fflush(stderr);
    }
    heap::free_all();
    std::fflush(stdout);
    std::_Exit(code);
}

uint32_t caller_address(const void* return_address) {
    return uint32_t(reinterpret_cast<uintptr_t>(return_address));
}

} // namespace kiv::runtime
