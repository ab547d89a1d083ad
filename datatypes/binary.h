// binary!: the byte string. A series of 1-byte units under string!, from
// which it inherits navigation, copying, pick/poke, find and select; it
// registers its own conversion, text, comparison, bitwise and editing
// actions. Also the four text codecs (bases 2, 16, 58 and 64) that
// `enbase`, `debase` and the #{...} literals use.
//
// The cell is a series cell: head index in bytes (word 1), the node of the
// byte buffer (word 2), 0 (word 3).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "runtime/cell.h"

namespace kiv::binary {

// Making. Each writes the final header last.
Cell& make_at(Cell& cell, uint32_t capacity);
// A binary! holding a copy of `count` bytes; more than a series holds
// raises no-memory.
Cell& load_at(Cell& cell, const uint8_t* bytes, size_t count);
// The same in a new slot at the top of the argument stack.
Cell& load(const uint8_t* bytes, uint32_t count);
// The same in a new cell at the tail of a block.
Cell& load_in(Cell& block, const uint8_t* bytes, uint32_t count);

// Bytes from the head to the tail (0 for a head past the tail), and the
// address of the head byte (valid until the next allocation).
uint32_t length(const Cell& value);
uint8_t* head_ptr(const Cell& value);

// Appends n bytes at the tail, growing the buffer by doubling; past the
// most a series holds it raises no-memory.
void append_bytes(Cell& value, const uint8_t* bytes, size_t n);

// The byte an integer! (-128..255) or a char! (up to 255) stands for; any
// other value raises script invalid-arg with it.
uint8_t byte_of(const Cell& value);

// The comparison of two byte strings under an operator code (0 equal ...
// 9 same, 12 find); -2 when `b` is neither binary! nor text. Text compares
// by its UTF-8 bytes. With `match` only b's length is compared (a prefix
// test: the bytes at a's head begin with b's).
int32_t compare_to(const Cell& a, const Cell& b, int32_t op, bool match);

// The bytes a value contributes to a binary!: a char!'s UTF-8, an integer!
// as one byte, text as UTF-8, a binary! from its head, a tuple!'s bytes,
// the elements of a block in turn (a /part limit counts elements). Other
// values are formed when `form_others`, else raise script bad-to-arg.
void bytes_of(const Cell& value, std::vector<uint8_t>& out, int64_t limit, bool form_others);

// ---- codecs

// Characters the encoder of a base writes for n bytes (base 58: at most).
size_t encoded_size(uint32_t base, size_t n);
// Writes the text of n bytes in base 2, 16, 58 or 64 at `out`; returns the
// end of the text.
char* encode(uint32_t base, char* out, const uint8_t* bytes, size_t n);

// Decodes `length` characters of text of 1, 2 or 4-byte units in base 2,
// 16, 58 or 64 into `out`: false when the text is not of that base. A ";"
// starts a comment that runs to the line end; whitespace is skipped. With
// `strict` (the #{...} literals) the text must decode completely: an odd
// hexadecimal digit, bits short of a byte, or a cut or badly padded
// base-64 group fail instead of being dropped.
bool decode(uint32_t base, const uint8_t* text, size_t length, uint32_t unit,
            std::vector<uint8_t>& out, bool strict = false);

// Registers binary! (after string!).
void init();

} // namespace kiv::binary
