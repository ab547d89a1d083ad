// Conversions between the fixed-width string units and the UTF-8 and
// UTF-16LE text found at the edges of the system (source text, files, the
// operating system, the console).
//
// Strings keep one code point per unit of 1 byte (Latin-1), 2 bytes (UCS-2)
// or 4 bytes (UCS-4), and are widened only when a wider character arrives.
#pragma once

#include <cstdint>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace kiv {

namespace utf8 {

// One step of the table-driven decoder: decodes the sequence at `p`,
// reading no byte at or past `end`. `cp` receives the code point, or -1
// for a malformed or truncated sequence, in which case the result is past
// the byte that made the sequence fail (or `end`). Never raises.
const uint8_t* decode_step(const uint8_t* p, const uint8_t* end, int32_t& cp);

// Whether the bytes are well-formed UTF-8 throughout.
bool valid(const uint8_t* start, const uint8_t* end);

// Number of decode steps from start to end (a bad sequence counts as one).
int32_t count_chars(const uint8_t* start, const uint8_t* end);

// Address of the n-th character (1-based): n - 1 steps, fewer at end.
const uint8_t* skip_chars(const uint8_t* start, const uint8_t* end, int32_t n);

// Sequence length announced by a lead byte: 2, 3, 4, or 0 for others.
int seq_length(uint8_t lead);

// Decodes the character at `bytes`, `remaining` being the bytes left. On
// success returns the code point and writes its byte count to
// `remaining`. Returns -1 (remaining unchanged) when the input ends inside
// a sequence that is well formed so far. A malformed sequence (overlong
// form, surrogate, above 0x10FFFF, stray continuation byte) raises access
// `invalid-utf8`.
int32_t decode_char(const uint8_t* bytes, uint32_t& remaining);

// Bytes needed to encode a code point; above 0x10FFFF raises script
// `invalid-char`.
uint32_t char_length(uint32_t cp);

// Writes the UTF-8 form of a code point and returns its byte count. A lone
// surrogate (U+D800 to U+DFFF) is written as U+FFFD, so that whatever a
// string holds, its UTF-8 text is valid.
uint32_t encode_char(uint32_t cp, uint8_t* dest);
// As encode_char, writing only the bytes that fit in `room`.
uint32_t encode_char_bounded(uint32_t cp, uint8_t* dest, uint32_t room);

// UTF-8 bytes that the units between start and end need.
uint32_t encoded_length(const uint8_t* start, const uint8_t* end, uint32_t unit);

// Encodes the string's characters from its head (at most `length`, all for
// -1) and returns the bytes written; a NUL byte (not counted) follows when
// `terminate` is set.
uint32_t encode_string_part(const Cell& str, uint8_t* dest, int32_t length, bool terminate);
// As encode_string_part within `room` bytes; length <= 0 means all.
uint32_t encode_string_into(const Cell& str, uint8_t* dest, uint32_t room, int32_t length,
                            bool terminate);

// Converts the string's characters from its head (length -1 = all, else at
// most length) into its cache buffer, NUL-terminated, with a CR before each
// LF when `lf` is set; `length` receives the byte count. Returns the cache
// buffer's node.
NodeId from_string_core(Cell& str, int32_t& length, bool lf);
uint8_t* from_string(Cell& str, int32_t& length);
uint8_t* from_string_data(Cell& str, int32_t& length, bool lf);

} // namespace utf8

namespace unicode {

// The data address of the string's cache buffer (word 3), holding at
// least `bytes` bytes; valid until the next conversion of the same value
// or the next collection.
uint8_t* cache_buffer(Cell& str, uint32_t bytes);

// A byte of a file name that is not part of valid UTF-8 stands in text
// for the code point escaped_byte_base + byte: a lone low surrogate
// (U+DC80-U+DCFF), which decoded UTF-8 never holds, so the name's bytes
// come back unchanged when the text is given to the OS.
constexpr uint32_t escaped_byte_base = 0xDC00;
inline bool escaped_byte(uint32_t cp) {
    return cp >= escaped_byte_base + 0x80 && cp <= escaped_byte_base + 0xFF;
}

// The smallest unit (1, 2 or 4) that holds a code point.
inline uint32_t unit_for(uint32_t cp) {
    return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4;
}

// Widens the buffer, when needed, to a unit that holds the code point.
Buffer* widen_for(Buffer* buffer, uint32_t cp);

// Re-encode the buffer with a wider unit; head and tail keep their
// positions in units. Return the buffer now behind the node.
Buffer* widen_1_2(Buffer* buffer);
Buffer* widen_1_4(Buffer* buffer);
Buffer* widen_2_4(Buffer* buffer);

// Decodes UTF-8 into the buffer of `node` (its content replaced), or into
// a new buffer when node is 0, using the smallest unit that holds every
// character. A leading byte-order mark is skipped. `remaining` (when not
// null) receives the byte count of an incomplete sequence that ends the
// input. With `cr`, CR LF becomes LF and a lone CR becomes LF. Returns the
// node.
NodeId load_utf8(const uint8_t* bytes, uint32_t length, NodeId node, uint32_t* remaining, bool cr);
NodeId load_utf8_from(const uint8_t* bytes, uint32_t length, Cell& str, uint32_t* remaining);
NodeId load_utf8_plain(const uint8_t* bytes, uint32_t length);
// A file name's bytes into a new buffer: UTF-8, with each byte outside a
// valid sequence kept as its escaped code point (escaped_byte_base).
NodeId load_name(const uint8_t* bytes, uint32_t length);

// The unit UTF-16LE text needs: 4 when it holds a surrogate, else 2 when a
// unit is above 0xFF, else 1.
uint32_t check_utf16(const uint8_t* bytes, uint32_t count);

// Decodes `count` UTF-16LE units into the buffer of `str` (content
// replaced) or into a new buffer when str is null. An unpaired surrogate
// becomes U+FFFD. With `cr`, CR LF becomes LF and a lone CR becomes LF.
// Returns the node.
NodeId load_utf16(const uint8_t* bytes, uint32_t count, Cell* str, bool cr);

// UTF-16LE of the string's characters from its head (length -1 = all,
// else at most length) in its cache buffer, ended by a 0 unit; `length`
// receives the units written before it. With `lf` each LF becomes CR LF.
// Null when a code point above 0x10FFFF is met.
const uint16_t* to_utf16_part(Cell& str, int32_t& length, bool lf);
const uint16_t* to_utf16(Cell& str);

// Extra bytes that UTF-16 with CR LF line ends needs over 2 per unit: 2
// for each LF and each code point above 0xFFFF.
uint32_t count_extra_units(const uint8_t* start, const uint8_t* end, uint32_t unit);

// Copies each byte of a C string as a 16-bit unit and adds a 0 unit.
void ascii_to_utf16(const char* text, uint16_t* dest);

} // namespace unicode
} // namespace kiv
