// A registry with series!, block!, string! and their children paren!,
// hash! and file!, and builders and readers for series values.
#pragma once

#include <string>
#include <vector>

#include "datatype_fixture.h"
#include "datatypes/block.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/symbol.h"
#include "runtime/case.h"
#include "runtime/hash.h"
#include "runtime/random.h"
#include "runtime/roots.h"

namespace kiv::testing {

class SeriesTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        unicode::init_case_tables();
        random::init();
        series::init();
        block::init();
        string::init();
        register_child(TYPE_PAREN, TYPE_BLOCK);
        register_child(TYPE_HASH, TYPE_BLOCK);
        register_child(TYPE_FILE, TYPE_STRING);
    }
    void TearDown() override {
        series::call_comparator = nullptr;
        DatatypeTest::TearDown();
    }

    // A type that takes every entry of its parent.
    static void register_child(uint32_t type, uint32_t parent) {
        datatype::register_type(type, parent, "child!", {});
    }

    // Integers in a block (or paren!, hash!) at a head index.
    static Cell ints(std::vector<int32_t> values, uint32_t type = TYPE_BLOCK, uint32_t head = 0) {
        Cell b;
        test::hold(*block::make_at(b, int32_t(values.size())));
        for (int32_t v : values) integer::make_in(b, v);
        b.header = type;
        b.w1 = head;
        series::hash_new(b);
        return test::hold(b);
    }

    static Cell cells(std::vector<Cell> values, uint32_t type = TYPE_BLOCK) {
        Cell b;
        test::hold(*block::make_at(b, int32_t(values.size())));
        for (const Cell& v : values) block::append_value(b, v);
        b.header = type;
        series::hash_new(b);
        return test::hold(b);
    }

    // A string of the given unit at a head index.
    static Cell str(const std::u32string& text, uint32_t unit = 1, uint32_t head = 0,
                    uint32_t type = TYPE_STRING) {
        NodeId node = memory::alloc_units(uint32_t(text.size()), unit);
        Buffer* b = memory::buffer_of(node);
        for (char32_t c : text) {
            string::put_char(b->tail, unit, uint32_t(c));
            b->tail += unit;
        }
        return test::hold(Cell{type, head, node, 0});
    }

    static uint32_t unit_of(const Cell& s) {
        return memory::buffer_of(s.w2)->unit();
    }

    static std::vector<int32_t> values(const Cell& b) {
        std::vector<int32_t> out;
        Buffer* buf = memory::buffer_of(b.w2);
        for (uint32_t i = series::head_of(b); i < buf->length(); ++i)
            out.push_back(integer::get(buf->head_cell()[i]));
        return out;
    }

    static std::u32string text(const Cell& s) {
        std::u32string out;
        Buffer* b = memory::buffer_of(s.w2);
        for (uint32_t i = series::head_of(s); i < b->length(); ++i)
            out += char32_t(string::get_char(b->head + i * b->unit(), b->unit()));
        return out;
    }

    static Cell word(const char* name) {
        return series::word_cell(name);
    }
    static Cell datatype_cell(uint32_t type) {
        Cell c;
        datatype::make_at(c, type);
        return c;
    }

    template <Slot S>
    static action::SlotFn<S> act(const Cell& value) {
        return datatype::get<S>(cell::type_of(value));
    }

    // A frame action on one or two arguments; the result is returned.
    static Cell frame(action::FrameFn fn, const Cell& a, const Cell* b = nullptr) {
        if (!b) {
            Cell args[1] = {a};
            call(fn, args);
            return test::hold(args[0]);
        }
        Cell args[2] = {a, *b};
        call(fn, args);
        return test::hold(args[0]);
    }

    // Runs a body in a frame whose arguments are args; returns slot 0.
    template <size_t N, class Body>
    static Cell frame_result(Cell (&args)[N], Body body) {
        struct Restore {
            Cell* base = stack::state.base;
            Cell* top = stack::state.top;
            ~Restore() {
                stack::state.base = base;
                stack::state.top = top;
            }
        } restore;
        stack::state.base = stack::state.top;
        for (const Cell& a : args) stack::push(a);
        body();
        return test::hold(*stack::state.base);
    }

    static bool is_none(const Cell& c) {
        return cell::type_of(c) == TYPE_NONE;
    }
};

using V = std::vector<int32_t>;
const runtime::ErrorSite internal_not_done{runtime::Category::internal, err::internal::not_done};

} // namespace kiv::testing
