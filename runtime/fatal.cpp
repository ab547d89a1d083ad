#include "runtime/fatal.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/os.h"
#include "runtime/console.h"
#include "runtime/entry.h"
#include "runtime/heap.h"

namespace kiv::runtime {
namespace {

// Messages of the runtime error codes 1 to 34: processor and OS faults.
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

constexpr const char* caption = "Kiv App Error";

// Appends `text` to the bounded output.
struct Bounded {
    char* out;
    size_t size, length = 0;
    void add(const char* text, size_t n) {
        n = std::min(n, size - 1 - length);
        std::memcpy(out + length, text, n);
        length += n;
    }
    void add(const char* text) { add(text, std::strlen(text)); }
};

} // namespace

void (*alert_hook)(std::string_view caption, std::string_view text) = nullptr;

void alert(std::string_view caption, std::string_view text) {
    (alert_hook ? alert_hook : alert_on_stderr)(caption, text);
}

void alert_on_stderr(std::string_view caption, std::string_view text) {
    int fd = std_handles.error;
    os::write_all(fd, caption.data(), caption.size());
    os::write_all(fd, "\n", 1);
    os::write_all(fd, text.data(), text.size());
    os::write_all(fd, "\n", 1);
}

const char* fatal_message(int code) {
    if (code >= 1 && code <= int(exception_messages.size())) return exception_messages[code - 1];
    for (const auto& [c, text] : runtime_messages)
        if (c == code) return text;
    return "unknown error code!";
}

size_t format_fatal(char* out, size_t size, int code, uint32_t address) {
    if (size == 0) return 0;
    char number[32];
    Bounded text{out, size};
    text.add("*** Runtime Error ");
    text.add(number, size_t(std::to_chars(number, std::end(number), code).ptr - number));
    text.add(": ");
    text.add(fatal_message(code));
    text.add("\n*** at: ");
    text.add(number, size_t(os_console::format_hex(number, address) - number));
    text.add("h");
    out[text.length] = '\0';
    return text.length;
}

void report_fatal(int code, uint32_t address) {
    char text[512];
    size_t length = format_fatal(text, sizeof text, code, address);
    alert(caption, {text, length});
}

void on_quit() {
    heap::free_all();
}

#ifdef KIV_PROFILE_GENERATE
// The profile writer of an instrumented build; the quick exit below skips
// the exit handlers that would call it.
extern "C" void __gcov_dump();
#endif

void quit(int status) {
    on_quit();
    std::fflush(nullptr);
#ifdef KIV_PROFILE_GENERATE
    __gcov_dump();
#endif
    std::_Exit(status);
}

void quit_with_error(int code, uint32_t address) {
    if (code != 0) report_fatal(code, address);
    quit(code);
}

uint32_t caller_address(const void* return_address) {
    return uint32_t(reinterpret_cast<uintptr_t>(return_address));
}

} // namespace kiv::runtime
