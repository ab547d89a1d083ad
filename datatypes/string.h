// string!: the text series, and the one text buffer of the runtime. Every
// formed and molded value, message and file name is built in a string
// buffer with these helpers; file!, url!, tag!, email! and ref! share the
// cell and the buffer.
//
// A string cell holds the head index in units (word 1), the node of the
// series buffer (word 2) and the node of the cache buffer of the last
// UTF-8 or UTF-16LE conversion (word 3, 0 until then). The buffer keeps one
// code point per unit of 1, 2 or 4 bytes, little-endian; the unit only
// grows (1 to 2, 1 to 4, 2 to 4), until the string is reset. Widening and
// growth replace the buffer behind the node: any raw address taken before
// them is stale afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/cell.h"
#include "runtime/memory.h"
#include "runtime/text_buffer.h"

namespace kiv::string {

// Units and characters, lengths and widening: the text buffer's own
// operations, which this module builds on.
using text_buffer::get_char;
using text_buffer::head_index;
using text_buffer::length;
using text_buffer::length_whole;
using text_buffer::put_char;
using text_buffer::widen;

// Making and loading.
Cell& make_at(Cell& cell, uint32_t n);
Cell& make_at_unit(Cell& cell, uint32_t n, uint32_t unit);
// Copies a value into a new slot at the top of the argument stack.
Cell& push(const Cell& value);

// file_name: UTF-8 where a byte outside a valid sequence is kept as its
// escaped code point (unicode::escaped_byte_base).
enum class Encoding : int32_t { utf8 = 0, utf16le = -1, file_name = 1 };
// A string! of the decoded bytes (length is a byte count for UTF-8, a unit
// count for UTF-16LE), written into `cell`; a length past the most units a
// series holds raises no-memory.
Cell& load_at(const uint8_t* bytes, size_t length, Cell& cell, Encoding encoding);
// The same into a new slot at the top of the argument stack.
Cell& load(const uint8_t* bytes, uint32_t length, Encoding encoding);
// The same into a new cell at the tail of a block.
Cell& load_in(const uint8_t* bytes, uint32_t length, const Cell& block, Encoding encoding);

// A new block in `out` of the texts, each loaded from UTF-8 (or as the
// encoding says) and given the type (string! or one of its kin).
void block_of_texts(const std::vector<std::string>& texts, uint32_t type, Cell& out,
                    Encoding encoding = Encoding::utf8);

// Positions and reading.
// Sets a head index beyond the tail to the length first.
uint8_t* head_ptr(Cell& value);
uint8_t* tail_ptr(const Cell& value);
bool at_tail(const Cell& value);
// Code point at an absolute unit index (from the first unit, not the head).
uint32_t char_at(const Cell& value, uint32_t index);
// Index from the head of the first unit equal to cp, or -1.
int32_t find_char(const Cell& value, uint32_t cp);
// Whether a unit equal to cp lies at the head or a multiple of `skip`
// units after it; unless `case_sensitive`, both sides are upper-cased.
bool has_char(const Cell& value, uint32_t cp, uint32_t skip, bool case_sensitive);
// Whether the text at the head begins with every byte of the C string.
bool match_c_string(const Cell& value, const char* text);

// Writing characters. Each returns the buffer to use afterwards.
// Appending keeps 1-byte units for 0x00-0x7F only.
Buffer* append_char(Buffer* buffer, uint32_t cp);
// Writing at a position keeps 1-byte units for 0x00-0xFF.
Buffer* poke_char(Buffer* buffer, uint8_t* address, uint32_t cp);
Buffer* poke_char_at(Buffer* buffer, uint32_t index, uint32_t cp);
Buffer* insert_char(Buffer* buffer, uint32_t index, uint32_t cp);
// Removes n units at an absolute index (clamped to the tail).
Cell& remove_part(Cell& value, uint32_t index, uint32_t n);
Buffer* truncate_buffer(Buffer* buffer, uint32_t n);
// Empties the string and returns its buffer to 1-byte units.
Cell& reset(Cell& value);
// Copies the source units [source_start, source_end) (indexes from the
// head) into the target at target_start with the wider unit `unit`. With
// no target, a buffer of `size` bytes replaces the source's and the
// source's own units are re-encoded into it. Unless keep_tail, the
// target's tail follows the last unit written and its unit becomes `unit`.
Buffer* copy_widened(Buffer* source, Buffer* target, uint32_t size, uint32_t unit,
                     uint32_t source_start, uint32_t target_start, uint32_t source_end,
                     bool keep_tail);
// Moves the characters of the first `bytes` bytes at the source's head to
// the target's head index.
void move_part(Cell& source, Cell& target, uint32_t bytes);

// The body of `uppercase` (mode 1) and `lowercase` (mode 0): maps a char!
// in place, or the characters of a string from its head. `part` is the
// /part argument, null when absent: an integer! count, or a position in the
// same series. Returns the value.
Cell& change_case(Cell& value, const Cell* part, int mode);

// Appending text.
// Appends the source's characters from its head (at most `part` when
// 0 <= part) to the target's tail. With keep_unit the source's buffer is
// never widened.
Buffer* concatenate(Cell& target, Cell& source, int32_t part, bool keep_unit);
void append_c_string(Cell& value, const char* text);
void append_bytes(Cell& value, const uint8_t* bytes, uint32_t n);

// Hexadecimal text in static buffers, overwritten by the next call.
const char* byte_to_hex(uint8_t byte);
// Eight digits, or with short_form the significant digits only ("00" for 0).
const char* int_to_hex(int32_t value, bool short_form);

// The decimal number of `length` bytes of text.
double to_float(const char* text, uint32_t length);

// Exchanges two regions of one buffer, b lying `gap` bytes after a:
// afterwards b starts at a, and a at a + length_b + gap.
void exchange_regions(uint8_t* a, uint32_t length_a, uint8_t* b, uint32_t length_b, uint32_t gap);

// Whether the text at the head reads "<", the tag's length of text, ">".
bool tag_brackets(const Cell& value, const Cell& tag);

// form and mold append to `output` and return the remaining /part limit:
// negative once the limit was passed. `part` is the /part argument (an
// integer!), null when absent.
int32_t form(const Cell& value, Cell& output, const Cell* part, int32_t limit);
// A string! molds in braces when it is long or holds quotes or lines,
// unless `quoted` (an element of a path, where braces would not load).
int32_t mold(const Cell& value, Cell& output, bool all, const Cell* part, int32_t limit,
             bool quoted = false);

// Appends one character in molded form, with caret escapes.
void append_escaped_char(Cell& output, uint32_t cp, bool all);
// Counts double quotes and line feeds between two unit addresses.
void count_quotes_lines(const uint8_t* start, const uint8_t* end, uint32_t unit, int32_t& quotes,
                        int32_t& lines);
// The index (in units from start) of the first "{" that has no matching
// "}" before end; the count of units when every brace closes.
uint32_t first_unclosed_brace(const uint8_t* start, const uint8_t* end, uint32_t unit);

} // namespace kiv::string

namespace kiv::string {

// The actions string! registers (the others come from series!); file!,
// url!, tag!, email! and ref! run the same entries.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
int32_t compare(const Cell* a, const Cell* b, int32_t op);
// The comparison of two texts under an operator code. With `prefix` only
// the first characters of a, as many as b has, are compared (find, select
// and parse).
int32_t compare_values(const Cell& a, const Cell& b, int32_t op, bool prefix);
// The sort order (-1, 0 or 1) of two texts from their heads, folded
// unless exact: compare_values with op 8 (exact) or 7.
int32_t order(const Cell& a, const Cell& b, bool exact);
// The units of a text from its head (none when the head lies past the
// tail) when they are 1 byte wide; false for wider units.
bool narrow_text(const Cell& text, const uint8_t*& data, int64_t& length);
// The sort order of two runs of 1-byte units, folded unless exact: what
// `order` gives for two narrow texts.
int32_t order_bytes(const uint8_t* a, int64_t a_length, const uint8_t* b, int64_t b_length,
                    bool exact);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event);
Cell* find(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
           bool any, const Cell* with, const Cell* skip, bool last, bool reverse, bool tail,
           bool match);
Cell* select(Cell* series, const Cell* value, const Cell* part, bool only, bool case_, bool same,
             bool any, const Cell* with, const Cell* skip, bool last, bool reverse);
// append (append set: the series at its head) and insert (the series just
// past the inserted text). Values that are not text are formed.
Cell* insert(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup, bool append);
Cell* change(Cell* series, const Cell* value, int32_t part, bool only, int32_t dup);
Cell* sort(Cell* series, bool case_, const Cell* skip, const Cell* compare, const Cell* part,
           bool all, bool reverse, bool stable);
Cell* swap(Cell* series, Cell* other);
Cell* take(Cell* series, const Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, const Cell* with);

// Whitespace of trim: at the ends of the text, and within lines.
bool is_space(uint32_t cp);
bool is_line_space(uint32_t cp);

// The set operations (codes of block::SetOp) on the strings in arguments
// 1 and 2 of the current frame; the result replaces argument 1.
Cell* do_set_op(bool case_, const Cell* skip, int32_t op);

// A string! of UTF-8 bytes written into `out`; an invalid sequence raises
// access invalid-utf8 with the bytes from it to the end.
Cell& from_utf8(const uint8_t* bytes, uint32_t length, Cell& out);

// Registers string! (after series!).
void init();

} // namespace kiv::string
