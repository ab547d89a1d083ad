#include "datatypes/image.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/compound.h"
#include "datatypes/datatype.h"
#include "datatypes/file.h"
#include "datatypes/image_layer.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/ownership.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "io/files.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/interrupt.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace kiv::image {

bool (*face_to_image)(const Cell& face, Cell& out) = nullptr;

using ownership::Word;

namespace {

[[noreturn]] void script_error(uint32_t id, const Cell* arg1 = nullptr,
                               const Cell* arg2 = nullptr) {
    runtime::fire_error(runtime::Category::script, id, arg1, arg2);
}

// Raises script error invalid-arg with the cell when its type is not
// `type`.
void check_arg_type(const Cell& cell, uint32_t type) {
    if (cell::type_of(cell) != type) script_error(err::script::invalid_arg, &cell);
}

[[noreturn]] void not_done() {
    runtime::fire_error(runtime::Category::internal, err::internal::not_done);
}

uint64_t head_of(const Cell& image) {
    return uint64_t(std::clamp<int64_t>(int32_t(image.w1), 0, int64_t(pixel_count(image))));
}

const uint32_t* pixels_of(const Cell& image) {
    return grid_of(image.w2).pixels;
}

uint32_t* writable_pixels(const Cell& image) {
    touched(image.w2);
    return grid_of(image.w2).pixels;
}

} // namespace

// ---------------------------------------------------------------- pixels

uint32_t pixel_of(const Cell& tuple) {
    uint8_t transparency = tuple::size_of(tuple) > 3 ? tuple::byte_at(tuple, 3) : 0;
    return pixels::pack(tuple::byte_at(tuple, 0), tuple::byte_at(tuple, 1),
                        tuple::byte_at(tuple, 2), uint8_t(255 - transparency));
}

Cell pick_pixel(const Cell& image, uint64_t offset) {
    if (offset >= pixel_count(image)) return none::value;
    uint32_t p = pixels_of(image)[offset];
    uint8_t bytes[4] = {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(255 - (p >> 24))};
    Cell out{};
    tuple::make_at(out, bytes, 4);
    return out;
}

// ------------------------------------------------------- position rule

namespace {

struct Position {
    uint64_t offset; // clamped to 0 .. width x height
    bool in_range;
};

// Where an integer or pair index leads from the head: 1-based for pick,
// poke and at, 0-based for skip. Computed in 64 bits, so no index wraps.
Position position(const Cell& image, const Cell& index, bool one_based) {
    int64_t width = width_of(image), height = height_of(image);
    int64_t count = width * height;
    int64_t n;
    bool in_range = true;
    if (cell::type_of(index) == TYPE_PAIR) {
        int64_t x = pair::x_of(index), y = pair::y_of(index);
        if (one_based) {
            n = x + width * (y > 0 ? y - 1 : y);
            in_range = x >= 1 && x <= width && y >= 1 && y <= height;
        } else {
            n = x + width * y;
            in_range = x >= 0 && x < width && y >= 0 && y < height;
        }
    } else if (cell::type_of(index) == TYPE_INTEGER) {
        n = integer::get(index);
    } else {
        compound::invalid_arg(index);
    }
    int64_t offset = int64_t(head_of(image)) + n;
    if (one_based) {
        if (n == 0) in_range = false;
        if (n > 0) --offset;
    }
    if (offset < 0 || offset >= count) in_range = false;
    return {uint64_t(std::clamp<int64_t>(offset, 0, count)), in_range};
}

} // namespace

// ---------------------------------------------------------------- making

namespace {

NodeId create_sized(int64_t width, int64_t height, const uint32_t* colour,
                    const std::vector<uint8_t>& rgb, const std::vector<uint8_t>& alpha,
                    const Cell& size) {
    width = std::max<int64_t>(width, 0);
    height = std::max<int64_t>(height, 0);
    if (!pixels::fits(width, height)) script_error(err::script::out_of_range, &size);
    return create(uint32_t(width), uint32_t(height), colour, rgb.data(), rgb.size(), alpha.data(),
                  alpha.size());
}

std::vector<uint8_t> bytes_from_head(const Cell& binary) {
    const uint8_t* p = binary::head_ptr(binary);
    return {p, p + binary::length(binary)};
}

Cell* make_from_block(Cell* proto, const Cell& spec, bool image_proto) {
    int32_t n = std::max(block::rs_length(spec), 0);
    const Cell* values = block::rs_head(spec);
    if (n == 0) {
        if (!image_proto) script_error(err::script::invalid_arg, &spec);
        Cell copy = *proto;
        make_at(*proto, copy.w2 ? copy_node(copy.w2) : 0);
        return proto;
    }
    const Cell size = values[0];
    check_arg_type(size, TYPE_PAIR);
    std::vector<uint8_t> rgb, alpha;
    uint32_t colour = 0;
    bool filled = false;
    if (n > 1) {
        const Cell& data = values[1];
        if (cell::type_of(data) == TYPE_BINARY)
            rgb = bytes_from_head(data);
        else if (cell::type_of(data) == TYPE_TUPLE) {
            colour = pixel_of(data);
            filled = true;
        } else
            script_error(err::script::invalid_arg, &data);
    }
    if (n > 2) {
        const Cell& data = values[2];
        check_arg_type(data, TYPE_BINARY);
        alpha = bytes_from_head(data);
    }
    NodeId node = create_sized(pair::x_of(size), pair::y_of(size), filled ? &colour : nullptr, rgb,
                               alpha, size);
    return make_at(*proto, node);
}

Cell* to(Cell* proto, const Cell* spec, uint32_t) {
    if (cell::type_of(*spec) == TYPE_OBJECT && face_to_image) {
        Cell face = *spec;
        if (face_to_image(face, *proto)) return proto;
    }
    if (cell::type_of(*spec) != TYPE_IMAGE) compound::bad_to_arg(TYPE_IMAGE, *spec);
    Cell source = *spec;
    return make_at(*proto, source.w2 ? copy_node(source.w2) : 0);
}

Cell* make(Cell* proto, const Cell* spec, uint32_t type) {
    bool image_proto = cell::type_of(*proto) == TYPE_IMAGE;
    switch (cell::type_of(*spec)) {
    case TYPE_PAIR: {
        static const std::vector<uint8_t> none;
        Cell size = *spec;
        return make_at(*proto,
                       create_sized(pair::x_of(size), pair::y_of(size), nullptr, none, none, size));
    }
    case TYPE_BLOCK: return make_from_block(proto, *spec, image_proto);
    default: return to(proto, spec, type);
    }
}

// ------------------------------------------------------ form and mold

// The text of form and mold: "make image! [" unless `only`, the size, the
// RGB data from the head and, when a pixel is not opaque, the transparency
// data. Data of 8 pixels or more is broken into lines of 10 pixels unless
// `flat`; `level` is the indentation of those lines, and the closing brace
// goes on a line of its own one level less (also after a full last line).
int32_t write_text(const Cell& image, Cell& buffer, bool only, bool flat, const Cell* arg,
                   int32_t part, int32_t level) {
    std::string out;
    auto limited = [&] { return arg && part - int32_t(out.size()) <= 0; };
    auto new_line = [&](int32_t indent) {
        out += '\n';
        out.append(size_t(std::max(indent, 0)) * 4, ' ');
    };
    if (!only) out += "make image! [";
    out += std::to_string(width_of(image)) + "x" + std::to_string(height_of(image));
    if (!image.w2) {
        out += " #{}";
    } else {
        uint64_t head = head_of(image), count = pixel_count(image) - head;
        const uint32_t* p = pixels_of(image) + head;
        bool broken = !flat && count >= 8;
        bool opaque = true;
        out += " #{";
        if (broken) new_line(level);
        for (uint64_t i = 0; i < count && !limited(); ++i) {
            runtime::poll();
            for (int shift : {16, 8, 0}) out += string::byte_to_hex(uint8_t(p[i] >> shift));
            if (p[i] >> 24 != 255) opaque = false;
            if (broken && (i + 1) % 10 == 0 && i + 1 < count) new_line(level);
        }
        if (broken) new_line(level - 1);
        out += '}';
        for (uint64_t i = 0; opaque && i < count; ++i) opaque = p[i] >> 24 == 255;
        if (!opaque && !limited()) {
            out += " #{";
            new_line(level);
            for (uint64_t i = 0; i < count && !limited(); ++i) {
                runtime::poll();
                out += string::byte_to_hex(uint8_t(255 - (p[i] >> 24)));
                if (!flat && (i + 1) % 10 == 0 && i + 1 < count) new_line(level);
            }
            new_line(level - 1);
            out += '}';
        }
    }
    if (!only) out += ']';
    if (arg && part < int32_t(out.size())) out.resize(size_t(std::max(part, 0)));
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(out.data()),
                         uint32_t(out.size()));
    return part - int32_t(out.size());
}

int32_t form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return write_text(*value, *buffer, false, false, arg, part, 0);
}

int32_t mold(const Cell* value, Cell* buffer, bool only, bool, bool flat, const Cell* arg,
             int32_t part, int32_t indent) {
    return write_text(*value, *buffer, only, flat, arg, part, indent + 1);
}

// ---------------------------------------------------------- comparison

int32_t compare(const Cell* a, const Cell* b, int32_t op) {
    if (cell::type_of(*b) != TYPE_IMAGE) return -2;
    bool same = a->w2 == b->w2 && a->w1 == b->w1;
    if (op == 9) return same ? 0 : -1;
    if (same && op <= 2) return 0;
    if (op > 2 && op != 7 && op != 8 && op != 12) return -2;
    uint64_t na = pixel_count(*a), nb = pixel_count(*b);
    if (na != nb) return na < nb ? -1 : 1;
    if (na == 0) return 0;
    int order = std::memcmp(pixels_of(*a), pixels_of(*b), size_t(na) * 4);
    if (order) return order < 0 ? -1 : 1;
    // The same pixels in another shape are not the same image.
    if (width_of(*a) != width_of(*b)) return width_of(*a) < width_of(*b) ? -1 : 1;
    return 0;
}

// ---------------------------------------------------------- navigation

void at() {
    Cell* args = frame_args();
    args[0].w1 = uint32_t(position(args[0], args[1], true).offset);
}

void skip() {
    Cell* args = frame_args();
    args[0].w1 = uint32_t(position(args[0], args[1], false).offset);
}

void next() {
    Cell& image = *frame_args();
    if (int64_t(int32_t(image.w1)) + 1 <= int64_t(pixel_count(image))) ++image.w1;
}

void back() {
    Cell& image = *frame_args();
    if (int32_t(image.w1) > 0)
        image.w1 = uint32_t(std::min<int64_t>(int32_t(image.w1), pixel_count(image)) - 1);
}

void tail() {
    Cell& image = *frame_args();
    image.w1 = uint32_t(pixel_count(image));
}

void tail_q() {
    Cell& image = *frame_args();
    logic::make_at(image, int64_t(int32_t(image.w1)) + 1 > int64_t(pixel_count(image)));
}

int32_t length_q(Cell* image) {
    return int32_t(pixel_count(*image));
}

// ------------------------------------------------------- pick and poke

Cell index_cell_of(int32_t index, const Cell* index_cell) {
    if (index_cell && cell::type_of(*index_cell) == TYPE_PAIR) return *index_cell;
    Cell n{};
    integer::make_at(n, index);
    return n;
}

Cell* pick(Cell* image, int32_t index, const Cell* index_cell) {
    Position at = position(*image, index_cell_of(index, index_cell), true);
    *image = at.in_range ? pick_pixel(*image, at.offset) : none::value;
    return image;
}

Cell* poke(Cell* image, int32_t index, Cell* value, const Cell* index_cell) {
    Cell where = index_cell_of(index, index_cell);
    Position at = position(*image, where, true);
    if (!at.in_range) compound::out_of_range(where);
    if (cell::type_of(*value) != TYPE_TUPLE) compound::invalid_arg(*value);
    set_pixel(image->w2, at.offset, pixel_of(*value));
    series::Change change(*image, Word::changed, value, int32_t(at.offset), 1);
    return value;
}

} // namespace

uint32_t content_hash(const Cell& image) {
    // The first pixels are enough to tell most images apart, and keep
    // hashing a large image cheap.
    constexpr uint64_t hashed_pixels = 1024;
    uint64_t count = pixel_count(image);
    uint64_t hashed = std::min(count, hashed_pixels);
    uint32_t pixels = hashed ? hashing::murmur3(pixels_of(image), uint32_t(hashed * 4)) : 0;
    return hashing::mix_int(pixels ^ image.w3);
}

// ----------------------------------------------------------- pixel data

void extract_data(const Cell& image, uint32_t mode, Cell& out) {
    static constexpr uint32_t unit[] = {1, 3, 4};
    uint64_t count = pixel_count(image);
    std::vector<uint8_t> bytes(size_t(count) * unit[mode]);
    const uint32_t* p = image.w2 ? pixels_of(image) : nullptr;
    for (uint64_t i = 0; i < count; ++i) {
        uint8_t* o = bytes.data() + i * unit[mode];
        switch (mode) {
        case 0: o[0] = uint8_t(255 - (p[i] >> 24)); break;
        case 1:
            o[0] = uint8_t(p[i] >> 16);
            o[1] = uint8_t(p[i] >> 8);
            o[2] = uint8_t(p[i]);
            break;
        default: std::memcpy(o, p + i, 4);
        }
    }
    binary::load_at(out, bytes.data(), uint32_t(bytes.size()));
}

namespace {

// Each mode keeps the bits of a pixel it does not replace.
constexpr uint32_t kept_bits[] = {0x00FFFFFFu, 0xFF000000u, 0};

uint32_t merged(uint32_t pixel, uint32_t fill, uint32_t mode) {
    return (pixel & kept_bits[mode]) | (fill & ~kept_bits[mode]);
}

} // namespace

void set_data(const Cell& image, const Cell& value, uint32_t mode) {
    uint64_t count = pixel_count(image);
    switch (cell::type_of(value)) {
    case TYPE_BINARY: {
        const uint8_t* data = binary::head_ptr(value);
        uint64_t length = binary::length(value);
        if (!count) break;
        uint32_t* p = writable_pixels(image);
        if (mode == 2) {
            std::memcpy(p, data, size_t(std::min(length, count * 4)));
            break;
        }
        uint64_t step = mode == 1 ? 3 : 1;
        for (uint64_t i = 0; i < count && (i + 1) * step <= length; ++i) {
            const uint8_t* b = data + i * step;
            uint32_t fill =
                mode == 1 ? pixels::pack(b[0], b[1], b[2], 0) : uint32_t(255 - b[0]) << 24;
            p[i] = merged(p[i], fill, mode);
        }
        break;
    }
    case TYPE_TUPLE:
    case TYPE_INTEGER: {
        uint32_t fill;
        if (cell::type_of(value) == TYPE_TUPLE)
            fill = mode == 0 ? uint32_t(255 - tuple::byte_at(value, 0)) << 24 : pixel_of(value);
        else
            fill = uint32_t(255 - (uint32_t(integer::get(value)) & 0xFF)) << 24;
        if (!count) break;
        uint32_t* p = writable_pixels(image);
        for (uint64_t i = 0; i < count; ++i) p[i] = merged(p[i], fill, mode);
        break;
    }
    default: compound::invalid_arg(value);
    }
    series::Change change(image, Word::changed, &value, int32_t(head_of(image)), 0);
}

namespace {

// ------------------------------------------------------------- paths

// The data modes of the path words, by name.
constexpr const char* data_words[] = {"alpha", "rgb", "argb"};

int32_t data_mode(const Cell& element) {
    uint32_t type = cell::type_of(element);
    if (type != TYPE_WORD && type != TYPE_SET_WORD && type != TYPE_GET_WORD &&
        type != TYPE_LIT_WORD)
        return -1;
    uint32_t canonical = symbol::resolve(element.w2);
    for (int32_t mode = 0; mode < 3; ++mode)
        if (symbol::resolve(symbol::intern(data_words[mode])) == canonical) return mode;
    if (symbol::resolve(symbol::intern("size")) == canonical) return 3;
    return -1;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t, bool,
                bool, bool, bool) {
    uint32_t type = cell::type_of(*element);
    if (type == TYPE_INTEGER || type == TYPE_PAIR) {
        int32_t index = type == TYPE_INTEGER ? integer::get(*element) : 0;
        if (value) return poke(parent, index, value, element);
        return pick(stack::push(*parent), index, element);
    }
    int32_t mode = data_mode(*element);
    if (mode < 0 || (mode == 3 && value)) compound::invalid_path(path, *element);
    if (mode == 3) return pair::push(int32_t(width_of(*parent)), int32_t(height_of(*parent)));
    if (value) {
        set_data(*parent, *value, uint32_t(mode));
        return value;
    }
    Cell* out = stack::push(none::value);
    extract_data(*parent, uint32_t(mode), *out);
    return out;
}

// ------------------------------------------------------------- change

// The head's column and row.
struct Spot {
    int64_t x, y;
};

Spot spot_of(const Cell& image, uint64_t offset) {
    uint32_t width = std::max<uint32_t>(width_of(image), 1);
    return {int64_t(offset % width), int64_t(offset / width)};
}

Cell* change(Cell* image, const Cell* value, int32_t part, bool, int32_t dup) {
    if (part >= 0 || dup >= 2) not_done();
    uint64_t head = head_of(*image);
    if (cell::type_of(*value) == TYPE_TUPLE) {
        if (head >= pixel_count(*image)) return image;
        series::Change change(*image, Word::change, value, int32_t(head), 1);
        set_pixel(image->w2, head, pixel_of(*value));
        image->w1 = uint32_t(head + 1);
        change.done(Word::changed);
        return image;
    }
    if (cell::type_of(*value) != TYPE_IMAGE) compound::invalid_type(*value);
    if (head >= pixel_count(*image) || !value->w2) return image;
    Spot at = spot_of(*image, head);
    uint32_t w = uint32_t(std::min<int64_t>(width_of(*value), width_of(*image) - at.x));
    uint32_t h = uint32_t(std::min<int64_t>(height_of(*value), height_of(*image) - at.y));
    series::Change change(*image, Word::change, value, int32_t(head), int32_t(w * h));
    // A source sharing the target's pixels is read from a snapshot, so an
    // overlapping change copies the pixels as they were.
    pixels::Grid& target = grid_of(image->w2);
    const pixels::Grid& source = grid_of(value->w2);
    if (&source == &target) {
        pixels::Grid* snapshot = checked(pixels::alloc(w, h));
        pixels::blit(*snapshot, 0, 0, source, 0, 0, w, h);
        pixels::blit(target, uint32_t(at.x), uint32_t(at.y), *snapshot, 0, 0, w, h);
        pixels::free(snapshot);
    } else {
        pixels::blit(target, uint32_t(at.x), uint32_t(at.y), source, 0, 0, w, h);
    }
    touched(image->w2);
    image->w1 = uint32_t((at.y + h - 1) * width_of(*image) + at.x + w);
    change.done(Word::changed);
    return image;
}

// --------------------------------------------------------------- copy

// The rectangle a /part value names from the image's head.
struct Rect {
    int64_t x, y, w, h;
};

Rect part_rect(const Cell& image, const Cell& part) {
    int64_t width = width_of(image), height = height_of(image);
    uint64_t head = head_of(image);
    Spot at = spot_of(image, head);
    switch (cell::type_of(part)) {
    case TYPE_INTEGER: not_done();
    case TYPE_PAIR: {
        int64_t w = pair::x_of(part), h = pair::y_of(part);
        if (w > 0 && h > 0 && head < pixel_count(image)) return {at.x, at.y, w, h};
        if (w < 0 && h < 0 && head > 0) {
            int64_t x = at.x ? at.x : width;
            int64_t y = at.y + 1 <= height ? at.y + 1 : height;
            w = -w;
            h = -h;
            Rect r{x - w, y - h, w, h};
            if (w > x) r = {0, r.y, x, h};
            if (h > y) r = {r.x, 0, r.w, y};
            return r;
        }
        series::invalid_refine("part", part);
    }
    case TYPE_IMAGE: {
        if (part.w2 != image.w2) series::invalid_refine("part", part);
        Spot other = spot_of(image, head_of(part));
        Spot low = head_of(part) < head ? other : at, high = head_of(part) < head ? at : other;
        return {low.x, low.y, high.x - low.x, high.y - low.y};
    }
    default: series::invalid_refine("part", part);
    }
}

Cell* copy(Cell* image, Cell* out, const Cell* part, bool, const Cell*) {
    Rooted<Cell> source(*image);
    if (!source->w2 || !pixel_count(*source)) return make_at(*out, 0);
    Rect r;
    if (part) {
        r = part_rect(*source, *part);
    } else {
        uint64_t head = head_of(*source);
        if (head == 0) return make_at(*out, copy_node(source->w2));
        Spot at = spot_of(*source, head);
        r = {at.x, at.y, width_of(*source) - at.x, height_of(*source) - at.y};
    }
    if (r.w < 1 || r.h < 1) return make_at(*out, 0);
    return make_at(*out, copy_rect(source->w2, r.x, r.y, r.w, r.h));
}

} // namespace

uint32_t* lock_pixels(const Cell& image) {
    return image.w2 ? grid_of(image.w2).pixels : nullptr;
}

void unlock_pixels(const Cell& image, bool changed) {
    if (!changed || !image.w2) return;
    touched(image.w2);
    series::Change change(image, Word::changed, nullptr, int32_t(head_of(image)), 0);
}

// --------------------------------------------------------------- codecs

namespace {

[[noreturn]] void bad_media() {
    runtime::fire_error(runtime::Category::access, err::access::bad_media);
}

// Makes the image of decoded bytes; false when they have no signature.
bool decode_bytes(const uint8_t* bytes, size_t length, Cell& out) {
    if (image_codecs::sniff(bytes, length) == image_codecs::unknown) return false;
    image_codecs::Decoded::Result result;
    NodeId node = decode(bytes, length, result);
    switch (result) {
    case image_codecs::Decoded::ok: make_at(out, node); return true;
    case image_codecs::Decoded::no_memory:
        runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
    case image_codecs::Decoded::interrupted: runtime::poll(); bad_media();
    default: bad_media();
    }
}

} // namespace

bool decode_binary(const Cell& binary, Cell& out) {
    // The bytes are read before anything is allocated.
    return decode_bytes(binary::head_ptr(binary), binary::length(binary), out);
}

void decode_source(const Cell& source, Cell& out) {
    if (cell::type_of(source) == TYPE_BINARY) {
        if (!decode_binary(source, out)) none::make_at(out);
        return;
    }
    io::BytesResult read = io::read_file(file::to_os_string(source));
    if (!read.status.ok()) file::raise_cannot_open(source, read.status.code);
    // Bytes of no image format are as bad as a corrupt image.
    if (!decode_bytes(read.bytes.data(), read.bytes.size(), out)) bad_media();
}

void encode_checked(const Cell& image, int32_t encoder, Cell& out) {
    if (!image.w2 || !pixel_count(image)) bad_media();
    std::vector<uint8_t> bytes;
    if (encoder < image_codecs::bmp || encoder > image_codecs::tiff) bad_media();
    if (!encode(image.w2, image_codecs::Format(encoder), bytes)) bad_media();
    binary::load_at(out, bytes.data(), uint32_t(bytes.size()));
}

void init() {
    using namespace action;
    datatype::register_type(TYPE_IMAGE, TYPE_SERIES, "image!",
                            {{Slot::make, make},
                             {Slot::random, no},
                             {Slot::reflect, no},
                             {Slot::to, to},
                             {Slot::form, form},
                             {Slot::mold, mold},
                             {Slot::eval_path, eval_path},
                             {Slot::compare, compare},
                             {Slot::at, at},
                             {Slot::back, back},
                             {Slot::change, change},
                             {Slot::clear, no},
                             {Slot::copy, copy},
                             {Slot::length_q, length_q},
                             {Slot::move, no},
                             {Slot::next, next},
                             {Slot::pick, pick},
                             {Slot::poke, poke},
                             {Slot::remove, no},
                             {Slot::reverse, no},
                             {Slot::skip, skip},
                             {Slot::tail, tail},
                             {Slot::tail_q, tail_q},
                             {Slot::take, no}});
    init_layer();
}

} // namespace kiv::image
