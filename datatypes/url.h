// url!: a resource locator (scheme, host, path) kept as a string whose
// text is already decoded (no percent escapes inside). It inherits the
// string! actions and adds its molded form with percent escapes, the
// escape decoder and encoder, a url built from a block, url paths, and
// read/write/open, which hand http(s) to the I/O services and every other
// scheme to a port.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace kiv::url {

// Encoder modes: `component` keeps only the unreserved characters
// (letters, digits, "-", ".", "_", "~"); any other mode keeps the
// characters that are safe in a file name or a url.
constexpr uint32_t component = 0xFE;
constexpr uint32_t file_name = 0;

// Whether a code point may stand unescaped in a file name or url: every
// printable ASCII character except space, double quote, "%", ";", "<",
// ">", "[", "\", "]", "^", "`", "{", "|", "}", "(" and ")". Controls (and
// DEL) are not safe; code points above DEL are.
bool safe_char(uint32_t cp);

// Appends the source's text with its %XX escapes decoded: an escape of a
// byte that starts a UTF-8 sequence takes the escapes of the whole
// sequence; an escape that is not a lead byte gives its byte as a code
// point; an incomplete or malformed escaped sequence is kept as written.
void decode(const Cell& source, Cell& destination);

// Appends the UTF-8 bytes of the source's text to the destination string,
// each byte the mode's table does not keep (and each byte above 0x7E)
// written as "%" and two uppercase hex digits.
void encode(const Cell& source, Cell& destination, uint32_t mode);

// A new string! on the argument stack holding the decoded text of the
// UTF-8 bytes; it also becomes the frame's result.
Cell& load_decoded(const uint8_t* bytes, uint32_t length);

// Copies a value into a new slot at the top of the argument stack.
Cell& push(const Cell& value);

// The UTF-8 text of a string-family value from its head.
std::string utf8_text(const Cell& value);

// The action functions url! registers, file! inherits make, to and
// eval-path.
Cell* make(Cell* proto, const Cell* spec, uint32_t type);
Cell* to(Cell* proto, const Cell* spec, uint32_t type);
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* previous, int32_t index, bool case_, bool get, bool last, bool event);

// What url! needs of the library: the url parser, which leaves in `out`
// an object of the url's parts, or another value when the url does not
// parse. Null until the library is loaded; ports of urls then raise
// internal not-done.
struct Hooks {
    void (*parse_url)(const Cell& url, Cell& out) = nullptr;
};
extern Hooks hooks;

// Registers url! under string!, whose slots it inherits: string! registers
// first.
void init();

} // namespace kiv::url
