#include "library/json_decoder.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/map.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::json {
namespace {

// Arrays and objects open deeper than this give the error value.
constexpr size_t deepest = 1000;

bool is_digit(uint32_t c) {
    return c >= '0' && c <= '9';
}

int hex_value(uint32_t c) {
    if (is_digit(c)) return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
}

void append_utf8(std::string& out, uint32_t cp) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), utf8::encode_char(cp, bytes));
}

// One open array or object: where its values start in the work block.
struct Open {
    int32_t first;
    bool object;
};

// A recursive-descent reader over a private copy of the text's units (the
// string's buffer may move while values are made), with an explicit stack
// of open containers so nesting never grows the C++ stack. Values collect
// in one rooted work block; closing a container moves its values into a
// new block or map. Failure keeps the position of the last value or name
// matched and the line count for the message.
class Decoder {
  public:
    Decoder(const uint8_t* units, uint32_t length, uint32_t unit)
        : text_(units, units + size_t(length) * unit), length_(length), unit_(unit) {
        block::make_at(*work_, 64);
    }

    bool run(Cell& out) {
        if (!value_tree() || pos_ != length_) return false;
        out = *block::rs_head(*work_);
        return true;
    }

    Failure failure() const { return {line_, mark_, mark_ - last_lf_}; }

  private:
    uint32_t at(uint32_t i) const {
        return i < length_ ? string::get_char(text_.data() + size_t(i) * unit_, unit_)
                           : 0xFFFFFFFFu;
    }

    void skip_space() {
        for (;;) {
            uint32_t c = at(pos_);
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '\n') {
                ++pos_;
                ++line_;
                last_lf_ = mark_ = pos_;
            } else {
                return;
            }
        }
    }

    bool literal(const char* word) {
        uint32_t i = pos_;
        for (; *word; ++word, ++i)
            if (at(i) != uint32_t(uint8_t(*word))) return false;
        pos_ = i;
        return true;
    }

    void emit(const Cell& value) {
        runtime::poll();
        block::append_value(*work_, value);
    }

    // A value and the white space around it; containers are walked without
    // recursion: opening pushes onto `open`, each value is followed by what
    // its container expects next.
    bool value_tree() {
        std::vector<Open> open;
        for (;;) {
            skip_space();
            uint32_t c = at(pos_);
            if (c == '[' || c == '{') {
                if (open.size() >= deepest) {
                    mark_ = pos_;
                    return false;
                }
                ++pos_;
                open.push_back({block::rs_length(*work_), c == '{'});
                skip_space();
                uint32_t close = c == '{' ? '}' : ']';
                if (at(pos_) == close) {
                    ++pos_;
                    close_top(open);
                } else if (c == '[') {
                    continue; // the first value of the array
                } else if (!name()) {
                    return false;
                } else {
                    continue;
                }
            } else if (!scalar()) {
                return false;
            }
            // A value is complete: close containers or move to the next item.
            for (;;) {
                mark_ = pos_;
                if (open.empty()) {
                    skip_space();
                    return true;
                }
                skip_space();
                Open& top = open.back();
                uint32_t next = at(pos_);
                if (next == ',') {
                    ++pos_;
                    skip_space();
                    if (top.object && !name()) return false;
                    break;
                }
                if (next != (top.object ? '}' : ']')) return false;
                ++pos_;
                close_top(open);
            }
        }
    }

    // Moves the values of the innermost container, just closed, into its
    // block or map.
    void close_top(std::vector<Open>& open) {
        Open top = open.back();
        open.pop_back();
        Cell items = *work_;
        items.w1 = uint32_t(top.first);
        Rooted<Cell> made;
        if (top.object) {
            map::make_at(*made, &items, uint32_t(block::rs_length(items) / 2));
        } else {
            block::make_at(*made, block::rs_length(items));
            block::append_cells(*made, items);
        }
        block::truncate_at(*work_, top.first);
        emit(*made);
    }

    // A name, the colon after it; the name goes out as a word when the
    // lexer would read all of it as one word, else as the string.
    bool name() {
        std::string utf8;
        if (!string_body(utf8)) return false;
        skip_space();
        if (at(pos_) != ':') return false;
        ++pos_;
        mark_ = pos_;
        Rooted<Cell> key;
        auto known = words_.find(utf8);
        uint32_t symbol = known != words_.end() ? known->second : word::symbol_of_whole(utf8);
        words_.emplace(utf8, symbol);
        if (symbol) {
            word::make_at(symbol, *key);
        } else {
            string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()),
                            *key, string::Encoding::utf8);
        }
        emit(*key);
        return true;
    }

    bool scalar() {
        Rooted<Cell> value;
        if (literal("true")) {
            logic::make_at(*value, true);
        } else if (literal("false")) {
            logic::make_at(*value, false);
        } else if (literal("null")) {
            none::make_at(*value);
        } else if (at(pos_) == '"') {
            std::string utf8;
            if (!string_body(utf8)) return false;
            string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()),
                            *value, string::Encoding::utf8);
        } else if (!number(*value)) {
            return false;
        }
        emit(*value);
        return true;
    }

    uint32_t digits_from(uint32_t i) const {
        while (is_digit(at(i))) ++i;
        return i;
    }

    // Optional minus, an integer part without leading zeros, an optional
    // fraction and exponent, each optional part taken only when whole.
    bool number(Cell& value) {
        uint32_t i = pos_;
        if (at(i) == '-') ++i;
        if (!is_digit(at(i))) return false;
        i = at(i) == '0' ? i + 1 : digits_from(i);
        bool integral = true;
        if (at(i) == '.' && is_digit(at(i + 1))) {
            i = digits_from(i + 1);
            integral = false;
        }
        if (at(i) == 'e' || at(i) == 'E') {
            uint32_t j = i + 1;
            if (at(j) == '+' || at(j) == '-') ++j;
            if (is_digit(at(j))) {
                i = digits_from(j);
                integral = false;
            }
        }
        std::string digits;
        for (uint32_t k = pos_; k < i; ++k) digits += char(at(k));
        if (integral) {
            long long n = std::strtoll(digits.c_str(), nullptr, 10);
            if (digits.size() < 12 && n >= INT32_MIN && n <= INT32_MAX) {
                integer::make_at(value, int32_t(n));
                pos_ = i;
                return true;
            }
        }
        double d = std::strtod(digits.c_str(), nullptr);
        if (!std::isfinite(d)) return false;
        float_::make_at(value, d);
        pos_ = i;
        return true;
    }

    // A string literal from its opening quote, unescaped into UTF-8. A raw
    // control character, a lone backslash, an unknown escape or a surrogate
    // escape that is not a high one followed by a low one fails it.
    bool string_body(std::string& out) {
        if (at(pos_) != '"') return false;
        uint32_t i = pos_ + 1;
        for (;;) {
            uint32_t c = at(i);
            if (c == '"') break;
            if (c == 0xFFFFFFFFu || c < 0x20) return false;
            if (c != '\\') {
                if (c < 0x80)
                    out += char(c);
                else
                    append_utf8(out, c);
                ++i;
                continue;
            }
            uint32_t e = at(i + 1);
            static const std::string singles = "\"\\/bfnrt";
            static const char meanings[] = "\"\\/\b\f\n\r\t";
            size_t which = e < 0x80 ? singles.find(char(e)) : std::string::npos;
            if (which != std::string::npos) {
                out += meanings[which];
                i += 2;
                continue;
            }
            if (e != 'u') return false;
            int32_t unit = hex4(i + 2);
            if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return false;
            i += 6;
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                int32_t low = at(i) == '\\' && at(i + 1) == 'u' ? hex4(i + 2) : -1;
                if (low < 0xDC00 || low > 0xDFFF) return false;
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                i += 6;
            }
            append_utf8(out, uint32_t(unit));
        }
        pos_ = i + 1;
        return true;
    }

    int32_t hex4(uint32_t i) const {
        int32_t value = 0;
        for (uint32_t k = 0; k < 4; ++k) {
            int digit = hex_value(at(i + k));
            if (digit < 0) return -1;
            value = value * 16 + digit;
        }
        return value;
    }

    std::vector<uint8_t> text_;
    uint32_t length_;
    uint32_t unit_;
    uint32_t pos_ = 0;
    uint32_t mark_ = 0;
    uint32_t last_lf_ = 0;
    uint32_t line_ = 1;
    Rooted<Cell> work_;
    std::unordered_map<std::string, uint32_t> words_;
};

} // namespace

bool decode(const Cell& text, Cell& out, Failure& failure) {
    Cell source = text;
    uint32_t length = string::length(source);
    Buffer* buffer = memory::buffer_of(source.w2);
    Decoder decoder(string::head_ptr(source), length, buffer->unit());
    if (decoder.run(out)) return true;
    failure = decoder.failure();
    return false;
}

} // namespace kiv::json
