#include "library/json_encoder.h"

#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "evaluator/comparison.h"
#include "runtime/errors.h"
#include "runtime/float_text.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::json {
namespace {

// Blocks, maps and objects open deeper than this raise too-deep.
constexpr size_t deepest = 1000;

// The escape of each control character, quote and backslash that has a
// short one; 0 where the character goes as \u and four hex digits.
constexpr char short_escape(uint32_t c) {
    switch (c) {
    case '"': return '"';
    case '\\': return '\\';
    case '\b': return 'b';
    case '\f': return 'f';
    case '\n': return 'n';
    case '\r': return 'r';
    case '\t': return 't';
    default: return 0;
    }
}

void append_utf8(std::string& out, uint32_t cp) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), utf8::encode_char(cp, bytes));
}

// A recursive writer whose depth is bounded by `deepest`. Containers met
// on the way are copied into cells before anything allocates (forming and
// molding may move buffers), and those it makes itself (blocks converted
// from other block types) are rooted for as long as they are open.
class Encoder {
  public:
    Encoder(const Cell& indent, bool ascii) : pretty_(cell::type_of(indent) == TYPE_STRING) {
        if (pretty_) indent_ = url::utf8_text(indent);
        // Characters up to this one are written as they are (besides
        // control characters, quote and backslash).
        last_plain_ = ascii ? 0x7F : 0xFFFFFFFF;
        text_.reserve(4096);
    }

    void value(const Cell& v) {
        runtime::poll();
        switch (cell::type_of(v)) {
        case TYPE_NONE: text_ += "null"; break;
        case TYPE_LOGIC: text_ += logic::get(v) ? "true" : "false"; break;
        case TYPE_INTEGER: integer_text(integer::get(v)); break;
        case TYPE_FLOAT:
        case TYPE_PERCENT: number(v); break;
        case TYPE_STRING: string_of(v); break;
        case TYPE_BLOCK: array(v); break;
        case TYPE_MAP:
        case TYPE_OBJECT: object(v); break;
        default: other(v);
        }
    }

    const std::string& text() const { return text_; }

  private:
    void integer_text(int32_t n) {
        char digits[16];
        auto end = std::to_chars(digits, digits + sizeof digits, n).ptr;
        text_.append(digits, end);
    }

    // A float (a percent as its fraction) with the shortest digits that
    // read back to it; NaN and the infinities are not JSON.
    void number(const Cell& v) {
        const char* digits = dtoa::form_float(cell::get_float(v), 0, true);
        if (std::strchr(digits, '#')) {
            Cell n = v;
            cell::set_type(n, TYPE_FLOAT);
            runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &n);
        }
        text_ += digits;
    }

    void escape(uint32_t c) {
        if (char short_form = short_escape(c)) {
            text_ += '\\';
            text_ += short_form;
        } else if (c > 0xFFFF) {
            c -= 0x10000;
            unit_escape(0xD800 + (c >> 10));
            unit_escape(0xDC00 + (c & 0x3FF));
        } else {
            unit_escape(c);
        }
    }

    void unit_escape(uint32_t unit) {
        static constexpr char hex[] = "0123456789ABCDEF";
        text_ += "\\u";
        for (int shift = 12; shift >= 0; shift -= 4) text_ += hex[(unit >> shift) & 0xF];
    }

    // A text from its position to its tail, as a JSON string.
    void string_of(const Cell& s) {
        Buffer* b = memory::buffer_of(s.w2);
        uint32_t unit = b->unit();
        const uint8_t* p = b->head + size_t(string::head_index(s)) * unit;
        text_ += '"';
        for (; p < b->tail; p += unit) {
            runtime::poll();
            uint32_t c = unit == 1 ? *p : string::get_char(p, unit);
            if (c < 0x20 || c == '"' || c == '\\' || c > last_plain_)
                escape(c);
            else if (c < 0x80)
                text_ += char(c);
            else
                append_utf8(text_, c);
        }
        text_ += '"';
    }

    // The form (other strings) or mold of a value, as a JSON string.
    void text_of(const Cell& v, bool formed) {
        Rooted<Cell> source(v), buffer;
        string::make_at(*buffer, 16);
        if (formed)
            dispatch::form(*source, *buffer, nullptr, INT32_MAX);
        else
            dispatch::mold(*source, *buffer, false, false, false, nullptr, INT32_MAX, 0);
        string_of(*buffer);
    }

    void other(const Cell& v) {
        uint32_t type = cell::type_of(v);
        if (is_block_type(type)) {
            Rooted<Cell> spec(v), converted;
            dispatch::to(&*converted, &*spec, TYPE_BLOCK);
            array(*converted);
        } else {
            text_of(v, is_text_type(type));
        }
    }

    // Notes a container as open; refuses one already open and nesting too
    // deep.
    void enter(const Cell& container) {
        for (const Cell& outer : open_)
            if (natives::same_value_q(outer, container))
                runtime::fire_error(runtime::Category::internal, err::internal::no_cycle);
        if (open_.size() >= deepest)
            runtime::fire_error(runtime::Category::internal, err::internal::too_deep);
        open_.push_back(container);
    }

    // After "[" or "{": the line break and indentation of the first item.
    void open_items() {
        if (!pretty_) return;
        ++level_;
        text_ += '\n';
        indentation();
    }

    void between_items() {
        text_ += ',';
        if (!pretty_) return;
        text_ += '\n';
        indentation();
    }

    void close_items() {
        if (!pretty_) return;
        --level_;
        text_ += '\n';
        indentation();
    }

    void indentation() {
        for (int32_t i = 0; i < level_; ++i) text_ += indent_;
    }

    void array(const Cell& block) {
        Rooted<Cell> held(block);
        if (block::rs_length(*held) <= 0) {
            text_ += "[]";
            return;
        }
        enter(*held);
        text_ += '[';
        open_items();
        for (int32_t i = 0; i < block::rs_length(*held); ++i) {
            if (i) between_items();
            // A copy: writing the item may allocate and move the cells.
            Cell item = block::rs_head(*held)[i];
            value(item);
        }
        close_items();
        text_ += ']';
        open_.pop_back();
    }

    void key(const Cell& k) {
        uint32_t type = cell::type_of(k);
        if (word::any_word(type)) {
            text_ += '"';
            size_t start = text_.size();
            text_ += symbol::c_name(k.w2);
            // A name holds no quote or control character, but may hold a
            // backslash or, in ASCII output, other characters to escape.
            std::string name = text_.substr(start);
            text_.resize(start);
            append_escaped_utf8(name);
            text_ += '"';
        } else if (type == TYPE_STRING) {
            string_of(k);
        } else {
            text_of(k, false);
        }
        text_ += pretty_ ? ": " : ":";
    }

    void append_escaped_utf8(const std::string& name) {
        const auto* p = reinterpret_cast<const uint8_t*>(name.data());
        const auto* end = p + name.size();
        while (p < end) {
            int32_t cp;
            const uint8_t* next = utf8::decode_step(p, end, cp);
            uint32_t c = cp < 0 ? *p : uint32_t(cp);
            p = cp < 0 ? p + 1 : next;
            if (c < 0x20 || c == '"' || c == '\\' || c > last_plain_)
                escape(c);
            else
                append_utf8(text_, c);
        }
    }

    void object(const Cell& container) {
        Rooted<Cell> held(container);
        bool is_map = cell::type_of(*held) == TYPE_MAP;
        bool empty = is_map ? map::size(*held) == 0 : object::words_count(*held) == 0;
        if (empty) {
            text_ += "{}";
            return;
        }
        enter(*held);
        text_ += '{';
        open_items();
        if (is_map)
            map_entries(*held);
        else
            object_fields(*held);
        close_items();
        text_ += '}';
        open_.pop_back();
    }

    void map_entries(const Cell& map) {
        Cell cursor = map;
        cursor.w1 = 0;
        Cell k{}, v{};
        for (bool first = true; map::next_entry(cursor, k, v); first = false) {
            if (!first) between_items();
            Rooted<Cell> held_value(v);
            key(k);
            value(*held_value);
        }
    }

    void object_fields(const Cell& obj) {
        uint32_t n = object::words_count(obj);
        for (uint32_t i = 0; i < n; ++i) {
            if (i) between_items();
            Cell name = *context::word_at(obj.w1, i);
            key(name);
            Cell field = object::get_values(obj)[i];
            value(field);
        }
    }

    bool pretty_;
    std::string indent_;
    uint32_t last_plain_;
    int32_t level_ = 0;
    std::vector<Cell> open_;
    std::string text_;
};

} // namespace

void encode(const Cell& value, const Cell& indent, bool ascii, Cell& out) {
    Encoder encoder(indent, ascii);
    encoder.value(value);
    const std::string& text = encoder.text();
    string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), out,
                    string::Encoding::utf8);
}

} // namespace kiv::json
