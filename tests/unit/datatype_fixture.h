// A registry with the core datatypes, fresh memory, and string buffers
// read back as text.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

#include "datatypes/char.h"
#include "datatypes/datatype.h"
#include "datatypes/float.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/percent.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "runtime/throw.h"
#include "runtime/types.h"
#include "tests/unit/error_site.h"
#include "tests/unit/fresh_globals.h"

namespace kiv::testing {

class DatatypeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        symbol_table::init();
        stack::init(0, 0);
        cycles::reset();
        datatype::init();
        datatype::register_datatype();
        unset::init();
        none::init();
        logic::init();
        integer::init();
        char_::init();
        float_::init();
        percent::init();
        test::collect_under_stress();
    }
    void TearDown() override {
        datatype::release();
        test::release_globals();
    }

    // An empty string! buffer of 1-byte units.
    static Cell new_buffer() {
        return test::hold(Cell{TYPE_STRING, 0, memory::alloc_bytes(16), 0});
    }

    static std::string text_of(const Cell& buffer) {
        Buffer* b = memory::buffer_of(buffer.w2);
        std::string out;
        for (uint8_t* p = b->head; p < b->tail; p += b->unit()) {
            uint32_t c = string::get_char(p, b->unit());
            out += c < 0x80 ? std::string(1, char(c)) : "<" + std::to_string(c) + ">";
        }
        return out;
    }

    // The value is copied before the output is made: a cell inside a
    // series may move when it is allocated.
    static std::string formed(const Cell& value) {
        Rooted<Cell> v(value);
        Cell buffer = new_buffer();
        datatype::get<Slot::form>(cell::type_of(*v))(&*v, &buffer, nullptr, 1000);
        return text_of(buffer);
    }

    static std::string molded(const Cell& value, bool all = false) {
        Rooted<Cell> v(value);
        Cell buffer = new_buffer();
        datatype::get<Slot::mold>(cell::type_of(*v))(&*v, &buffer, false, all, false, nullptr, 1000,
                                                     0);
        return text_of(buffer);
    }

    // Calls a frame action on the arguments in a new frame and copies slot
    // 0, the result, back into args[0], also when the action raises.
    template <size_t N>
    static void call(action::FrameFn fn, Cell (&args)[N]) {
        struct Frame {
            Cell& result;
            Cell* base = stack::state.base;
            Cell* top = stack::state.top;
            ~Frame() {
                result = *stack::state.base;
                stack::state.base = base;
                stack::state.top = top;
            }
        } frame{args[0]};
        stack::state.base = stack::state.top;
        for (const Cell& a : args) stack::push(a);
        fn();
    }

    static int32_t compare(const Cell& a, const Cell& b, int32_t op) {
        return datatype::get<Slot::compare>(cell::type_of(a))(&a, &b, op);
    }

    // Runs the body and answers the catalog position of the error it
    // raised, or {user, 0} when it raised none.
    template <class Body>
    static runtime::ErrorSite error_of(Body body) {
        runtime::last_error = {runtime::Category::user, 0};
        try {
            body();
        } catch (const runtime::Throw& t) {
            EXPECT_EQ(t.code, runtime::code::error);
            return runtime::last_error;
        }
        return {runtime::Category::user, 0};
    }

    static Cell int_cell(int32_t v) { return Cell{TYPE_INTEGER, 0, uint32_t(v), 0}; }
    static Cell char_cell(uint32_t c) { return Cell{TYPE_CHAR, 0, c, 0}; }
    static Cell float_cell(double d, uint32_t type = TYPE_FLOAT) {
        Cell c{type, 0, 0, 0};
        cell::put_float(c, d);
        return c;
    }
};

constexpr runtime::ErrorSite no_error{runtime::Category::user, 0};
constexpr runtime::ErrorSite overflow{runtime::Category::math, err::math::overflow};
constexpr runtime::ErrorSite zero_divide{runtime::Category::math, err::math::zero_divide};
constexpr runtime::ErrorSite script(uint32_t id) {
    return {runtime::Category::script, id};
}

} // namespace kiv::testing
