#include "datatypes/file.h"

#include <algorithm>
#include <climits>
#include <optional>
#include <span>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/datatype.h"
#include "datatypes/date.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/time.h"
#include "datatypes/unset.h"
#include "datatypes/url.h"
#include "io/files.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::file {

namespace {

bool string_family(const Cell& value) {
    return is_text_type(cell::type_of(value));
}

[[noreturn]] void not_done(const Cell& what) {
    runtime::fire_error(runtime::Category::internal, err::internal::not_done, &what);
}

// The count of a /part or /seek argument: an integer!, or nothing when the
// refinement is absent.
std::optional<int64_t> count_of(const Cell* argument) {
    if (!argument) return std::nullopt;
    if (cell::type_of(*argument) != TYPE_INTEGER)
        runtime::fire_error(runtime::Category::script, err::script::invalid_refine_arg, nullptr,
                            argument);
    return integer::get(*argument);
}

// A failed file operation raises cannot-open naming the file! value.
void check(const io::Status& status, const Cell& file) {
    if (!status.ok()) raise_cannot_open(file, status.code);
}

// Text read from a file that is not UTF-8 raises invalid-utf8 naming the
// file.
void check_utf8(const std::vector<uint8_t>& bytes, const Cell& file) {
    if (!utf8::valid(bytes.data(), bytes.data() + bytes.size()))
        runtime::fire_error(runtime::Category::access, err::access::invalid_utf8, &file);
}

// The bytes a value is written as: a string!'s text as UTF-8, a binary!'s
// bytes, any other value molded as by mold/all.
std::string bytes_of(const Cell& value) {
    if (cell::type_of(value) == TYPE_STRING) return url::utf8_text(value);
    if (cell::type_of(value) == TYPE_BINARY)
        return std::string(reinterpret_cast<const char*>(binary::head_ptr(value)),
                           binary::length(value));
    Rooted<Cell> molded;
    string::make_at(*molded, 16);
    dispatch::mold(value, *molded, false, true, false, nullptr, INT32_MAX, 0);
    return url::utf8_text(*molded);
}

bool needs_escape_in_quotes(uint32_t cp) {
    // The loader decodes %XX and caret escapes inside a quoted file, and a
    // double quote or a line break would end it. An escaped byte of a name
    // that is not UTF-8 is written as its %XX.
    return cp < 0x20 || cp == 0x7F || cp == '%' || cp == '"' || cp == '^' ||
           unicode::escaped_byte(cp);
}

// Reads the file's bytes straight into a new binary! in `result`, which
// grows as they come.
void read_binary(const std::string& path, const io::ReadOptions& options, const Cell& file,
                 Cell& result) {
    binary::make_at(result, 0);
    size_t used = 0;
    io::Status status = io::read_file_into(
        path, options,
        [&](size_t size) {
            Buffer* b = memory::buffer_of(result.w2);
            if (b->head + size > b->data_end()) b = memory::expand_series(b, int64_t(size));
            return b->head;
        },
        used);
    Buffer* b = memory::buffer_of(result.w2);
    b->tail = b->head + (status.ok() ? used : 0);
    check(status, file);
}

} // namespace

Cell& load(const uint8_t* bytes, uint32_t length, string::Encoding encoding) {
    Cell& loaded = string::load(bytes, length, encoding);
    cell::set_type(loaded, TYPE_FILE);
    return loaded;
}

Cell& push(const Cell& value) {
    return string::push(value);
}

void to_local_path(const Cell& file, Cell& string, bool absolute) {
    std::string local = io::to_local_file(url::utf8_text(file), absolute);
    Rooted<Cell> text;
    string::load_at(reinterpret_cast<const uint8_t*>(local.data()), uint32_t(local.size()), *text,
                    string::Encoding::utf8);
    string::concatenate(string, *text, -1, true);
}

std::string to_os_string(const Cell& file) {
    // UTF-8, with each escaped byte of a name that is not UTF-8 given back.
    std::string text;
    for (uint32_t i = string::head_index(file), n = string::length_whole(file); i < n; ++i) {
        uint32_t cp = string::char_at(file, i);
        if (unicode::escaped_byte(cp)) {
            text.push_back(char(cp - unicode::escaped_byte_base));
            continue;
        }
        uint8_t encoded[4];
        text.append(reinterpret_cast<char*>(encoded), utf8::encode_char(cp, encoded));
    }
    // The OS would end the name at a NUL and name another file.
    if (text.find('\0') != std::string::npos)
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &file);
    return io::to_local_file(text, false);
}

void raise_cannot_open(const Cell& file, int code) {
    Rooted<Cell> named(file);
    std::string text = io::reason_of(code);
    Rooted<Cell> reason;
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), text.size(), *reason,
                    string::Encoding::utf8);
    runtime::fire_error(runtime::Category::access, err::access::cannot_open, &*named, &*reason);
}

Cell& current_dir() {
    std::string dir = io::current_dir();
    return string::load(reinterpret_cast<const uint8_t*>(dir.data()), uint32_t(dir.size()),
                        string::Encoding::utf8);
}

void normalize_slashes(Cell& file) {
    Buffer* b = memory::buffer_of(file.w2);
    uint32_t unit = b->unit();
    for (uint8_t* p = b->head; p < b->tail; p += unit)
        if (string::get_char(p, unit) == '\\') string::put_char(p, unit, '/');
}

bool make_dir(const Cell& file) {
    return io::make_dir(to_os_string(file)).ok();
}

int32_t mold(const Cell* value, Cell* buffer, bool, bool, bool, const Cell* arg, int32_t part,
             int32_t) {
    return mold_name(*value, *buffer, arg, part, false);
}

int32_t mold_name(const Cell& file, Cell& buffer, const Cell* arg, int32_t part, bool quote) {
    const Cell* value = &file;
    uint32_t head = string::head_index(*value);
    uint32_t end = string::length_whole(*value);
    if (arg) end = part < 0 ? head : std::min(end, head + uint32_t(part));
    // Read before appending: appending may move the buffers.
    std::u32string name;
    for (uint32_t i = head; i < end; ++i) name += char32_t(string::char_at(*value, i));
    bool quoted = quote || name.empty();
    for (char32_t cp : name) quoted = quoted || !url::safe_char(cp) || unicode::escaped_byte(cp);

    std::u32string out = U"%";
    if (quoted) out += U'"';
    for (char32_t cp : name) {
        if (quoted && needs_escape_in_quotes(cp)) {
            out += U'%';
            for (const char* hex = string::byte_to_hex(uint8_t(cp)); *hex; ++hex)
                out += char32_t(*hex);
        } else {
            out += cp;
        }
    }
    if (quoted) out += U'"';
    for (char32_t cp : out) string::append_char(memory::buffer_of(buffer.w2), cp);
    return part - int32_t(out.size());
}

Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool,
           const Cell* as) {
    if (as) not_done(*as);
    Rooted<Cell> file(*source);
    std::string path = to_os_string(*file);
    Rooted<Cell> result;
    if (io::dir_path_q(path)) {
        io::ListResult listing = io::read_dir(path);
        check(listing.status, *file);
        string::block_of_texts(listing.names, TYPE_FILE, *result, string::Encoding::file_name);
    } else if (binary) {
        read_binary(path, {count_of(part), count_of(seek)}, *file, *result);
    } else {
        io::BytesResult content = io::read_file(path, {count_of(part), count_of(seek)});
        check(content.status, *file);
        check_utf8(content.bytes, *file);
        if (lines)
            string::block_of_texts(io::split_lines(content.bytes), TYPE_STRING, *result);
        else
            string::load_at(content.bytes.data(), content.bytes.size(), *result,
                            string::Encoding::utf8);
    }
    *source = *result;
    return source;
}

Cell* write(Cell* destination, Cell* data, bool, bool lines, bool, bool append, const Cell* part,
            const Cell* seek, const Cell* allow, const Cell* as) {
    if (allow || as) not_done(allow ? *allow : *as);
    std::string path = to_os_string(*destination);
    io::WriteOptions options{count_of(part), count_of(seek), append};
    io::Status status;
    if (lines) {
        std::vector<std::string> texts;
        uint32_t type = cell::type_of(*data);
        if (type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH) {
            Rooted<Cell> block(*data);
            for (int32_t i = 0, n = block::rs_length(*block); i < n; ++i) {
                // A copy: molding allocates, which may move the block's cells.
                Cell item = block::rs_head(*block)[i];
                texts.push_back(bytes_of(item));
            }
        } else {
            texts.push_back(bytes_of(*data));
        }
        status = io::write_lines(path, texts, options);
    } else {
        std::string bytes = bytes_of(*data);
        status = io::write_file(
            path, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), options);
    }
    check(status, *destination);
    unset::make_at(*destination);
    return destination;
}

Cell* delete_(Cell* file) {
    return logic::make_at(*file, io::delete_(to_os_string(*file)).ok());
}

Cell* query(Cell* file) {
    std::optional<io::FileDate> d = io::query_file(to_os_string(*file));
    if (!d) return none::make_at(*file);
    return date::from_systemtime(*file, d->year, d->month, d->day, d->hour, d->minute, d->second,
                                 d->nanosecond);
}

Cell* rename(Cell* file, Cell* new_name) {
    if (!string_family(*new_name))
        runtime::fire_error(runtime::Category::script, err::script::invalid_arg, new_name);
    bool renamed = io::rename(to_os_string(*file), to_os_string(*new_name)).ok();
    return logic::make_at(*file, renamed);
}

void init() {
    using namespace action;
    datatype::register_type(TYPE_FILE, TYPE_URL, "file!",
                            {{Slot::mold, mold},
                             {Slot::delete_, delete_},
                             {Slot::open, no},
                             {Slot::query, query},
                             {Slot::read, read},
                             {Slot::rename, rename},
                             {Slot::write, write}});
}

} // namespace kiv::file
