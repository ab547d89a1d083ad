#include "datatypes/url.h"

#include <array>
#include <climits>
#include <string_view>

#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/dispatch.h"
#include "datatypes/string.h"
#include "datatypes/url_http.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::url {

Hooks hooks;

namespace {

using Table = std::array<bool, 128>;

constexpr Table make_safe_table() {
    Table t{};
    for (int c = 0x21; c < 0x7F; ++c) t[size_t(c)] = true;
    for (char c : std::string_view("\"%;<>[\\]^`{|}")) t[size_t(c)] = false;
    // The lexer ends a file or url at a paren: escaped, or the name would
    // not load back whole.
    t['('] = t[')'] = false;
    return t;
}

constexpr Table make_unreserved_table() {
    Table t{};
    for (int c = '0'; c <= '9'; ++c) t[size_t(c)] = true;
    for (int c = 'A'; c <= 'Z'; ++c) t[size_t(c)] = t[size_t(c + 32)] = true;
    for (char c : std::string_view("-._~")) t[size_t(c)] = true;
    return t;
}

constexpr Table safe_table = make_safe_table();

// A url's scheme (its text before the first colon) is read as a word's
// text, where an escape is not decoded: the characters a word holds are
// written as they are, non-ASCII ones included.
constexpr Table make_scheme_table() {
    Table t = make_safe_table();
    for (char c : std::string_view("`|>")) t[size_t(c)] = true;
    return t;
}
constexpr Table scheme_table = make_scheme_table();
constexpr Table unreserved_table = make_unreserved_table();

// 0-15 for a hexadecimal digit, 0xFF for any other byte.
constexpr std::array<uint8_t, 256> make_hex_table() {
    std::array<uint8_t, 256> t{};
    for (auto& v : t) v = 0xFF;
    for (int c = 0; c < 10; ++c) t[size_t('0' + c)] = uint8_t(c);
    for (int c = 0; c < 6; ++c) t[size_t('A' + c)] = t[size_t('a' + c)] = uint8_t(10 + c);
    return t;
}
constexpr auto hex_table = make_hex_table();

// The byte of a valid escape ("%" and two hex digits) at p, or -1.
int32_t escape_at(const uint8_t* p, const uint8_t* end) {
    if (end - p < 3 || p[0] != '%') return -1;
    uint8_t high = hex_table[p[1]], low = hex_table[p[2]];
    return high == 0xFF || low == 0xFF ? -1 : int32_t(high << 4 | low);
}

// The code points of the text with its escapes decoded.
std::u32string decode_bytes(const uint8_t* p, const uint8_t* end) {
    std::u32string out;
    while (p < end) {
        int32_t b = escape_at(p, end);
        if (b >= 0) {
            int n = utf8::seq_length(uint8_t(b));
            if (n == 0) {
                out += char32_t(b);
                p += 3;
                continue;
            }
            uint8_t sequence[4] = {uint8_t(b)};
            int i = 1;
            for (int32_t next; i < n && (next = escape_at(p + 3 * i, end)) >= 0; ++i)
                sequence[i] = uint8_t(next);
            int32_t cp = -1;
            if (i == n && utf8::decode_step(sequence, sequence + n, cp) == sequence + n &&
                cp >= 0) {
                out += char32_t(cp);
                p += 3 * n;
                continue;
            }
        }
        // Plain text, or an escaped sequence that is incomplete or
        // malformed: one character as written. A byte that is not UTF-8
        // stands for itself.
        int32_t cp;
        const uint8_t* next = utf8::decode_step(p, end, cp);
        out += char32_t(cp < 0 ? *p : cp);
        p = cp < 0 ? p + 1 : next;
    }
    return out;
}

void append_chars(Cell& destination, const std::u32string& chars) {
    for (char32_t cp : chars) string::append_char(memory::buffer_of(destination.w2), cp);
}

// Appends the text, each byte the table does not keep as "%XX" (and each
// non-ASCII byte unless `keep_non_ascii`, which keeps whole characters),
// up to `limit` characters; returns the characters appended.
int64_t escape_into(std::string_view text, Cell& destination, const Table& keep, int64_t limit,
                    bool keep_non_ascii = false) {
    std::u32string out;
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const auto* end = p + text.size();
    while (p < end && int64_t(out.size()) < limit) {
        int32_t cp = -1;
        const uint8_t* next = *p < 0x80 || !keep_non_ascii ? p + 1 : utf8::decode_step(p, end, cp);
        if (*p < 0x80 ? keep[*p] : cp >= 0) {
            out += char32_t(*p < 0x80 ? *p : uint32_t(cp));
            p = next;
            continue;
        }
        out += U'%';
        for (const char* hex = string::byte_to_hex(*p++); *hex; ++hex) out += char32_t(*hex);
    }
    for (char32_t c : out) string::append_char(memory::buffer_of(destination.w2), c);
    return int64_t(out.size());
}

bool block_spec(const Cell& spec) {
    uint32_t type = cell::type_of(spec);
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH;
}

void form_text(const Cell& value, Cell& output) {
    dispatch::form(value, output, nullptr, INT32_MAX);
}

// scheme://host[:port][/path...][#fragment] from the block's values.
Cell* from_block(Cell* proto, const Cell& spec) {
    Rooted<Cell> block(spec);
    int32_t count = block::rs_length(*block);
    if (count <= 0) {
        Cell type{};
        datatype::make_at(type, TYPE_URL);
        runtime::fire_error(runtime::Category::script, err::script::bad_to_arg, &type, &spec);
    }
    Rooted<Cell> out;
    string::make_at(*out, 16);
    cell::set_type(*out, TYPE_URL);
    // The values are read afresh each time: forming allocates.
    auto value = [&](int32_t i) { return block::rs_head(*block)[i]; };
    form_text(value(0), *out);
    string::append_c_string(*out, "://");
    int32_t i = 1;
    if (i < count) form_text(value(i++), *out);
    if (i < count && cell::type_of(value(i)) == TYPE_INTEGER) {
        string::append_c_string(*out, ":");
        form_text(value(i++), *out);
    }
    for (bool first = true; i < count; ++i, first = false) {
        Cell v = value(i);
        string::append_c_string(*out, !first && cell::type_of(v) == TYPE_ISSUE ? "#" : "/");
        form_text(v, *out);
    }
    *proto = *out;
    return proto;
}

// make and to of anything but a url from a block are string!'s.
template <Slot S>
Cell* string_conversion(Cell* proto, const Cell* spec, uint32_t type) {
    Cell named{};
    datatype::make_at(named, TYPE_STRING);
    auto fn =
        reinterpret_cast<action::SlotFn<S>>(dispatch::get_action_ptr_from(TYPE_STRING, named, S));
    return fn(proto, spec, type);
}

// A url of a scheme other than http(s) goes through a port: the library's
// parser splits it into a spec object, from which port! make builds a port
// whose actor is the one registered for the scheme. With `open_it`, the
// port's open action runs with the open refinements. Without a parser
// installed, ports cannot be made.
Cell open_port(const Cell& url, bool new_, bool read, bool write, bool seek, const Cell* allow,
               bool open_it) {
    Rooted<Cell> source(url);
    if (!hooks.parse_url) {
        Cell port{};
        datatype::make_at(port, TYPE_PORT);
        runtime::fire_error(runtime::Category::internal, err::internal::not_done, &port);
    }
    Rooted<Cell> spec;
    hooks.parse_url(*source, *spec);
    if (cell::type_of(*spec) != TYPE_OBJECT)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &*source);
    Rooted<Cell> port;
    datatype::make_at(*port, TYPE_PORT);
    dispatch::make(&*port, &*spec, TYPE_PORT);
    if (open_it) dispatch::lookup<Slot::open> (*port)(&*port, new_, read, write, seek, allow);
    return *port;
}

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info,
           const Cell* as) {
    if (http_url(*source)) return read_http(source, part, seek, binary, lines, info, as);
    *source = open_port(*source, false, false, false, false, nullptr, false);
    return dispatch::lookup<Slot::read>(*source)(source, part, seek, binary, lines, info, as);
}

Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            const Cell* part, const Cell* seek, const Cell* allow, const Cell* as) {
    if (http_url(*destination))
        return write_http(destination, data, binary, lines, info, seek, allow, as);
    *destination = open_port(*destination, false, false, false, false, nullptr, false);
    return dispatch::lookup<Slot::write>(*destination)(destination, data, binary, lines, info,
                                                       append, part, seek, allow, as);
}

Cell* open(Cell* url, bool new_, bool read, bool write, bool seek, const Cell* allow) {
    *url = open_port(*url, new_, read, write, seek, allow, true);
    return url;
}

} // namespace

bool safe_char(uint32_t cp) {
    return cp >= 0x80 || safe_table[cp];
}

std::string utf8_text(const Cell& value) {
    Buffer* b = memory::buffer_of(value.w2);
    uint32_t unit = b->unit();
    const uint8_t* head = b->head + size_t(string::head_index(value)) * unit;
    std::string text(utf8::encoded_length(head, b->tail, unit), '\0');
    if (!text.empty())
        utf8::encode_string_part(value, reinterpret_cast<uint8_t*>(text.data()), -1, false);
    return text;
}

void decode(const Cell& source, Cell& destination) {
    std::string text = utf8_text(source);
    auto bytes = reinterpret_cast<const uint8_t*>(text.data());
    append_chars(destination, decode_bytes(bytes, bytes + text.size()));
}

void encode(const Cell& source, Cell& destination, uint32_t mode) {
    escape_into(utf8_text(source), destination, mode == component ? unreserved_table : safe_table,
                INT64_MAX);
}

Cell& load_decoded(const uint8_t* bytes, uint32_t length) {
    // Decoded before allocating: the bytes may lie in a series buffer.
    std::u32string chars = decode_bytes(bytes, bytes + length);
    Cell* slot = stack::push_raw();
    string::make_at(*slot, uint32_t(chars.size()));
    append_chars(*slot, chars);
    return *stack::keep_last(*slot);
}

Cell& push(const Cell& value) {
    return string::push(value);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    if (type == TYPE_URL && block_spec(*spec)) return from_block(proto, *spec);
    return string_conversion<Slot::make>(proto, spec, type);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t type) {
    if (type == TYPE_URL && block_spec(*spec)) return from_block(proto, *spec);
    return string_conversion<Slot::to>(proto, spec, type);
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    int64_t limit = arg ? part : INT64_MAX;
    std::string text = utf8_text(*value);
    std::string_view whole(text);
    size_t colon = whole.find(':');
    std::string_view scheme = whole.substr(0, colon == std::string_view::npos ? 0 : colon);
    int64_t written = escape_into(scheme, *buffer, scheme_table, limit, true);
    written += escape_into(whole.substr(scheme.size()), *buffer, safe_table, limit - written);
    return part - int32_t(written);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    if (value)
        runtime::fire_error(runtime::Category::script, err::script::bad_path_set, path, element);
    Rooted<Cell> base(*parent);
    uint32_t length = string::length(*base);
    Rooted<Cell> segment;
    string::make_at_unit(*segment, length + 16, memory::buffer_of(base->w2)->unit());
    form_text(*element, *segment);
    bool base_slash =
        length > 0 && string::char_at(*base, string::head_index(*base) + length - 1) == '/';
    bool segment_slash = string::length(*segment) > 0 && string::char_at(*segment, 0) == '/';
    if (base_slash && segment_slash) segment->w1 = 1; // one slash between them
    Rooted<Cell> joined;
    string::make_at_unit(*joined, length + string::length(*segment) + 1,
                         memory::buffer_of(base->w2)->unit());
    string::concatenate(*joined, *base, -1, true);
    if (!base_slash && !segment_slash) string::append_c_string(*joined, "/");
    string::concatenate(*joined, *segment, -1, true);
    cell::set_type(*joined, cell::type_of(*parent));
    return stack::push(*joined);
}

void init() {
    using namespace action;
    datatype::register_type(TYPE_URL, TYPE_STRING, "url!",
                            {{Slot::make, make},
                             {Slot::random, no},
                             {Slot::reflect, no},
                             {Slot::to, to},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::sort, no},
                             {Slot::trim, no},
                             {Slot::open, open},
                             {Slot::read, read},
                             {Slot::write, write}});
}

} // namespace kiv::url
