// A fixture for the hashing tests: fresh memory, a fresh symbol table and a
// stand-in for the action table's comparison.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/symbol.h"
#include "runtime/case.h"
#include "runtime/collector.h"
#include "runtime/hash.h"
#include "runtime/memory.h"
#include "runtime/symbol.h"
#include "runtime/types.h"
#include "tests/unit/fresh_globals.h"

namespace kiv::testing {

inline uint32_t code_point(Buffer* b, uint32_t i) {
    uint32_t cp = 0;
    std::memcpy(&cp, b->head + size_t(i) * b->unit(), b->unit());
    return cp;
}

inline uint32_t fold(uint32_t c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// Words compare by canonical id (exact id when strict), strings by code
// points (ignoring ASCII case unless strict), everything else by payload.
inline int32_t compare_stub(const Cell* a, const Cell* b, int32_t op) {
    uint32_t ta = cell::type_of(*a), tb = cell::type_of(*b);
    bool strict = op == 2;
    if (strict && ta != tb) return 1;
    if (ta >= TYPE_WORD && ta <= TYPE_ISSUE) {
        if (tb < TYPE_WORD || tb > TYPE_ISSUE) return -2;
        return strict ? a->w2 != b->w2 : symbol::resolve(a->w2) != symbol::resolve(b->w2);
    }
    if (ta == TYPE_STRING && tb == TYPE_STRING) {
        Buffer* x = memory::buffer_of(a->w2);
        Buffer* y = memory::buffer_of(b->w2);
        if (x->length() - a->w1 != y->length() - b->w1) return 1;
        for (uint32_t i = 0; i < x->length() - a->w1; ++i) {
            uint32_t p = code_point(x, a->w1 + i), q = code_point(y, b->w1 + i);
            if (strict ? p != q : fold(p) != fold(q)) return 1;
        }
        return 0;
    }
    return ta == tb && a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3 ? 0 : 1;
}

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        symbol_table::init();
        hashing::compare_hook = compare_stub;
        test::collect_under_stress();
    }
    void TearDown() override { test::release_globals(); }

    static Cell integer(int32_t n) { return Cell{TYPE_INTEGER, 0, uint32_t(n), 0}; }

    // A string! value of the given unit over the text's bytes.
    static Cell string(const std::u32string& text, uint32_t unit = 1) {
        NodeId node = memory::alloc_units(uint32_t(text.size()), unit);
        Buffer* b = memory::buffer_of(node);
        for (char32_t c : text) {
            uint32_t cp = c;
            std::memcpy(b->tail, &cp, unit);
            b->tail += unit;
        }
        return test::hold(Cell{TYPE_STRING, 0, node, 0});
    }

    static Cell block_of(const std::vector<Cell>& cells) {
        NodeId node = memory::alloc_cells(uint32_t(cells.size()) + 1);
        Buffer* b = memory::buffer_of(node);
        for (const Cell& c : cells) *cell::append_unset(b) = c;
        return test::hold(Cell{TYPE_BLOCK, 0, node, 0});
    }

    // A new table, owned for the rest of the test by a hash! value, as a
    // program's tables are.
    static NodeId new_table(uint32_t size, const Cell* blk, hashtable::Kind kind, uint32_t width,
                            NodeId source = 0) {
        NodeId t = hashtable::init(size, blk, kind, width, source);
        test::hold(Cell{TYPE_HASH, 0, blk ? blk->w2 : 0, t});
        return t;
    }

    // Appends a cell to a table's keyed block and files it.
    static Cell* append_and_put(NodeId table, const Cell& c) {
        Buffer* b = memory::buffer_of(hashtable::record_of(table).blk);
        *cell::append_unset(b) = c;
        return hashtable::put(table, b->tail_cell() - 1);
    }

    static int32_t position_of(NodeId table, const Cell* c) {
        return c ? int32_t(c - hashtable::cells_of(hashtable::record_of(table).blk)) : -1;
    }
};

} // namespace kiv::testing
