// Shared fixture of the text tests: a fresh value store and case tables,
// and conversions between test literals and string! values.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "datatypes/string.h"
#include "runtime/case.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/throw.h"
#include "runtime/types.h"
#include "tests/unit/fresh_globals.h"

namespace kiv::test {

// Whether body raised the error (category, id).
template <class Body>
bool raises(runtime::Category category, uint32_t id, Body body) {
    runtime::last_error = {runtime::Category::thrw, 0};
    try {
        body();
    } catch (const runtime::Throw& t) {
        return t.code == runtime::code::error && runtime::last_error.category == category &&
               runtime::last_error.id == id;
    }
    return false;
}

class TextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_globals();
        collect_under_stress();
    }
    void TearDown() override { release_globals(); }

    // A string! decoded from UTF-8.
    static Cell text(const std::string& utf8) {
        Cell c{};
        return hold(string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()),
                                    uint32_t(utf8.size()), c, string::Encoding::utf8));
    }
    // A string! holding the code points, made with the given unit.
    static Cell units(const std::u32string& cps, uint32_t unit) {
        Cell c{};
        string::make_at_unit(c, uint32_t(cps.size()), unit);
        Buffer* b = memory::buffer_of(c.w2);
        for (char32_t cp : cps) {
            string::put_char(b->tail, unit, cp);
            b->tail += unit;
        }
        return hold(c);
    }
    // The characters from the head.
    static std::u32string chars(const Cell& c) {
        std::u32string out;
        Buffer* b = memory::buffer_of(c.w2);
        for (uint32_t i = string::head_index(c); i < b->length(); ++i)
            out += char32_t(string::char_at(c, i));
        return out;
    }
    static uint32_t unit_of(const Cell& c) { return memory::buffer_of(c.w2)->unit(); }
};

} // namespace kiv::test
