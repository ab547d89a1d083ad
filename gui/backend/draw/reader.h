// Reading a dialect block: the arguments of one command at a time, and
// the walk over a block (commands, set-words, nested blocks, the cycle
// check) shared by the draw dialect and its shape sub-dialect.
#pragma once

#include <cstdint>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/percent.h"
#include "datatypes/point.h"
#include "datatypes/symbol.h"
#include "datatypes/tuple.h"
#include "gui/backend/conversions.h"
#include "gui/backend/draw/commands.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::draw {

// A canonical symbol, interned once.
struct Sym {
    const char* name;
    uint32_t id = 0;
    uint32_t get() {
        if (!id) id = symbol::resolve(symbol::intern(name));
        return id;
    }
};

inline uint32_t canonical(const Cell& c) {
    return symbol::resolve(c.w2);
}

// Reads the arguments of one keyword from the block.
class Reader {
    mutable Rooted<Cell> block_;

  public:
    Reader(Context& ctx, const Cell& block) : block_(block), ctx(ctx), pos(int32_t(block.w1)) {}

    Context& ctx;

    bool at_end() const { return pos >= tail(); }
    // The value at the position, a word naming a tuple, image or object
    // replaced by its value; unset at the end.
    Cell peek() const;
    uint32_t type() const { return cell::type_of(peek()); }
    Cell take() { return at_end() ? peek() : raw(pos++); }

    // Draw-invalid at a position (the keyword when it lies at the end).
    [[noreturn]] void fail_at(int32_t at) const {
        Cell where = *block_;
        where.w1 = uint32_t(at < tail() ? at : keyword);
        runtime::fire_error(runtime::Category::script, err::script::draw_invalid, &where);
    }
    [[noreturn]] void fail() const { fail_at(pos); }

    bool is_point() const {
        uint32_t t = type();
        return t == TYPE_PAIR || t == TYPE_POINT2D;
    }
    bool is_number() const {
        uint32_t t = type();
        return t == TYPE_INTEGER || t == TYPE_FLOAT;
    }
    bool is_factor() const { return is_number() || type() == TYPE_PERCENT; }
    bool is_color() const {
        Cell c = peek();
        return cell::type_of(c) == TYPE_TUPLE && tuple::size_of(c) >= 3;
    }
    bool is_block() const { return type() == TYPE_BLOCK; }
    bool is_word(Sym& s) const {
        Cell c = peek();
        return cell::type_of(c) == TYPE_WORD && canonical(c) == s.get();
    }

    Point point() {
        if (!is_point()) fail();
        Cell c = raw(pos++);
        if (cell::type_of(c) == TYPE_PAIR) return {double(pair::x_of(c)), double(pair::y_of(c))};
        return {point::get(c, 0), point::get(c, 1)};
    }
    double number() {
        if (!is_factor() || type() == TYPE_PERCENT) fail();
        return read_number(raw(pos++));
    }
    double factor() {
        if (!is_factor()) fail();
        Cell c = raw(pos++);
        return cell::type_of(c) == TYPE_PERCENT ? percent::get(c) : read_number(c);
    }
    uint32_t color() {
        if (!is_color()) fail();
        Cell c = peek();
        ++pos;
        return to_color(c);
    }
    std::vector<Point> points() {
        std::vector<Point> out;
        while (is_point()) out.push_back(point());
        return out;
    }
    // Consumes the word when it is there.
    bool optional(Sym& s) {
        if (!is_word(s)) return false;
        ++pos;
        return true;
    }

    // Whether the keyword was written as a lit-word.
    bool relative() const { return cell::type_of(raw(keyword)) == TYPE_LIT_WORD; }

    int32_t keyword = 0; // position of the keyword being read
    int32_t pos;

  private:
    int32_t tail() const { return int32_t(block_->w1) + block::rs_length(*block_); }
    Cell raw(int32_t i) const { return *block::rs_abs_at(*block_, i); }
    static double read_number(const Cell& c) {
        return cell::type_of(c) == TYPE_INTEGER ? double(integer::get(c)) : float_::get(c);
    }
};

using Handler = void (*)(Reader&);
// The command of a word (or lit-word) of the dialect, or null.
using Finder = Handler (*)(const Cell& word);

// Walks the block from its head: a word or lit-word that the finder knows
// runs its command; a set-word is set to the block at the value after it;
// a nested block is walked the same way; anything else is draw-invalid. A
// block inside itself raises draw-infinite.
void walk(Context& ctx, const Cell& block, Finder find);

} // namespace kiv::gui::draw
