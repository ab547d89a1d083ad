// Console output: the runtime's own text goes to standard output as UTF-8
// with LF line ends. ANSI escape sequences pass through unchanged; a
// terminal carries them out itself. Each piece that the C-string and
// number writers put out is also handed to the write hooks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiv::os_console {

// Notes whether standard output is a terminal.
void init();
bool is_terminal();

// Writes `bytes` bytes of text made of `unit`-byte units (1 Latin-1, 2 UCS-2,
// 4 UCS-4, little-endian), each unit encoded as one UTF-8 code point;
// `newline` ends it with a line feed. Any other unit size is runtime error
// 101. Answers 0, or the errno of the first write that failed (what
// follows it is not written).
int write(const void* text, size_t bytes, unsigned unit, bool newline);

// Writes `length` bytes as they are, then calls the write hooks with them.
void write_text(const char* text, uint32_t length);
// write_text of a C string; returns `text`.
const char* write_c_string(const char* text);

// Number writers: the text of the number, then the write hooks with it.
void print_integer(int64_t value);  // decimal
void print_hex_byte(uint8_t value); // two uppercase hex digits
void print_hex(uint64_t value);     // at least eight uppercase hex digits
void print_float(double value);     // 16 significant digits, %g style
void print_float32(float value);    // 7 significant digits, %g style

// Writes `value` as at least `digits` uppercase hex digits (zero-padded) at
// `out` and returns the end. Needs 16 bytes. Async-signal-safe.
char* format_hex(char* out, uint64_t value, int digits = 8);

} // namespace kiv::os_console
