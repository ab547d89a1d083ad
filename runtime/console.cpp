#include "runtime/console.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/os.h"
#include "runtime/entry.h"
#include "runtime/fatal.h"
#include "runtime/output_hooks.h"
#include "runtime/text_buffer.h"
#include "runtime/unicode.h"

namespace kiv::os_console {
namespace {

// The output buffer is written out once it holds more than this many bytes;
// a code point takes at most 4 more.
constexpr size_t flush_mark = 1020;

struct Output {
    char data[flush_mark + 4];
    size_t fill = 0;
    int error = 0; // of the first failed write since the last take_error

    void flush() {
        if (!error && !os::write_all(runtime::std_handles.output, data, fill)) error = errno;
        fill = 0;
    }
    int take_error() {
        int failed = error;
        error = 0;
        return failed;
    }
    void put(uint32_t cp) {
        if (cp > 0x10FFFF) cp = 0xFFFD;
        fill += utf8::encode_char(cp, reinterpret_cast<uint8_t*>(data + fill));
        if (fill > flush_mark) flush();
    }
};

Output output;
bool terminal = false;
char number[64];

void write_number(const char* end) {
    write_text(number, uint32_t(end - number));
}

} // namespace

void init() {
    terminal = isatty(runtime::std_handles.output) == 1;
}

bool is_terminal() {
    return terminal;
}

int write(const void* text, size_t bytes, unsigned unit, bool newline) {
    if (unit != 1 && unit != 2 && unit != 4)
        runtime::quit_with_error(runtime::fatal::no_switch_matched, runtime::caller_address());
    auto* p = static_cast<const uint8_t*>(text);
    for (const uint8_t* end = p + bytes / unit * unit; p < end; p += unit)
        output.put(text_buffer::get_char(p, unit));
    if (newline) output.put('\n');
    output.flush();
    return output.take_error();
}

void write_text(const char* text, uint32_t length) {
    os::write_all(runtime::std_handles.output, text, length);
    output_hooks::call_write(text, length, 0);
}

const char* write_c_string(const char* text) {
    write_text(text, uint32_t(std::strlen(text)));
    return text;
}

void print_integer(int64_t value) {
    write_number(std::to_chars(number, std::end(number), value).ptr);
}

void print_hex_byte(uint8_t value) {
    write_number(format_hex(number, value, 2));
}

void print_hex(uint64_t value) {
    write_number(format_hex(number, value));
}

void print_float(double value) {
    write_number(
        std::to_chars(number, std::end(number), value, std::chars_format::general, 16).ptr);
}

void print_float32(float value) {
    write_number(std::to_chars(number, std::end(number), value, std::chars_format::general, 7).ptr);
}

char* format_hex(char* out, uint64_t value, int digits) {
    char text[16];
    char* end = std::to_chars(text, std::end(text), value, 16).ptr;
    int length = int(end - text);
    int pad = std::max(digits - length, 0);
    std::fill_n(out, pad, '0');
    std::transform(text, end, out + pad, [](char c) { return c >= 'a' ? char(c - 32) : c; });
    return out + pad + length;
}

} // namespace kiv::os_console
