#include <gtest/gtest.h>

#include <string>

#include "datatypes/block.h"
#include "datatypes/object.h"
#include "interpreter_fixture.h"
#include "runtime/collector.h"
#include "runtime/ownership.h"

using namespace kiv;
using ownership::Word;

namespace {

// Objects made in Kiv, whose on-deep-change* runs through the interpreter.
class OwnershipTest : public kiv::testing::InterpreterTest {
  protected:
    void SetUp() override {
        InterpreterTest::SetUp();
        object::init();
        Cell name = word::load("object!");
        Cell type;
        datatype::make_at(type, TYPE_OBJECT);
        word::set(name, type);
        object::hooks = {eval_spec, eval_handler};
        ownership::init();
        // The handler records its last call in globals and counts calls.
        run("reflect: make action! [[value field] 3] calls: 0 "
            "recorder: make function! [[owner word target action new index part] ["
            "    calls: calls + 1 got-owner: owner got-word: word got-target: target "
            "    got-action: action got-new: new got-index: index got-part: part]]");
    }
    void TearDown() override {
        ownership::release();
        object::hooks = {};
        InterpreterTest::TearDown();
    }

    static void eval_spec(Cell& block) {
        Cell* top = stack::state.top;
        interpreter::eval(block, false);
        stack::state.top = top;
    }
    static void eval_handler(const Cell& function) {
        interpreter::eval_function(function, 0, function, interpreter::call_kind::on_deep_change);
    }

    // The value of a global word.
    Cell value(const char* name) { return *word::value_cell(word::load(name)); }
    int calls() { return int(value("calls").w2); }
};

const char* const owner_spec = "o: make object! ["
                               "    items: [1 2 3]"
                               "    inner: [a \"text\" [b]]"
                               "    sub: make object! [s: \"x\"]"
                               "    on-deep-change*: :recorder]";

TEST_F(OwnershipTest, EveryActionWordReachesTheHandler) {
    run(owner_spec);
    run("items: o/items new-value: 42");
    Cell items = value("items"), new_value = value("new-value");
    struct Case {
        Word word;
        const char* spelling;
    } cases[] = {
        {Word::append, "append"},   {Word::appended, "appended"},
        {Word::insert, "insert"},   {Word::inserted, "inserted"},
        {Word::change, "change"},   {Word::changed, "changed"},
        {Word::clear, "clear"},     {Word::cleared, "cleared"},
        {Word::poke, "poke"},       {Word::poked, "poked"},
        {Word::put, "put"},         {Word::put_ed, "put-ed"},
        {Word::remove, "remove"},   {Word::removed, "removed"},
        {Word::random, "random"},   {Word::randomized, "randomized"},
        {Word::reverse, "reverse"}, {Word::reversed, "reversed"},
        {Word::sort, "sort"},       {Word::sorted, "sorted"},
        {Word::swap, "swap"},       {Word::swaped, "swaped"},
        {Word::take, "take"},       {Word::taken, "taken"},
        {Word::move, "move"},       {Word::moved, "moved"},
        {Word::trim, "trim"},       {Word::trimmed, "trimmed"},
    };
    int expected = 0;
    for (const Case& c : cases) {
        EXPECT_TRUE(ownership::check(items, c.word, &new_value, 1, 2)) << c.spelling;
        EXPECT_EQ(calls(), ++expected) << c.spelling;
        EXPECT_EQ(run("got-action"), c.spelling);
    }
    EXPECT_EQ(run("got-word"), "items");
    EXPECT_EQ(run("got-target"), "[1 2 3]");
    EXPECT_EQ(run("got-new"), "42");
    EXPECT_EQ(run("got-index"), "1");
    EXPECT_EQ(run("got-part"), "2");
    EXPECT_EQ(value("got-owner").w1, value("o").w1);

    // No new value is passed as none.
    ownership::check(items, Word::clear, nullptr, 0, 3);
    EXPECT_EQ(run("got-new"), "none");
}

TEST_F(OwnershipTest, NestedSeriesReportTheFieldThatHoldsThem) {
    run(owner_spec);
    run("inner: o/inner s: o/sub/s");
    Cell inner = value("inner");
    struct Case {
        Cell series;
        const char* field;
    } cases[] = {{block::rs_head(inner)[1], "inner"},
                 {block::rs_head(inner)[2], "inner"},
                 {value("s"), "s"}};
    for (const Case& c : cases) {
        EXPECT_TRUE(ownership::check(c.series, Word::append, nullptr, 0, 1)) << c.field;
        EXPECT_EQ(run("got-word"), c.field);
        EXPECT_EQ(value("got-owner").w1, value("o").w1);
    }
    EXPECT_EQ(run("reflect o 'owner"), "true");
}

TEST_F(OwnershipTest, FirstOwnerStaysAndUnownedSeriesAreQuiet) {
    run(owner_spec);
    run("p: make object! [items: o/items own: [x] on-deep-change*: :recorder] "
        "plain: make object! [b: [1]] loose: [1 2]");
    const Cell* owner = ownership::find(object::find_word(value("o"), word::load("items"))->w2);
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(owner->w1, value("o").w1) << "a second registration keeps the first owner";
    ASSERT_NE(ownership::find(object::find_word(value("p"), word::load("own"))->w2), nullptr);

    EXPECT_FALSE(ownership::check(value("loose"), Word::append, nullptr, 0, 1));
    // Registered, but the owner has no handler record.
    Cell plain = value("plain");
    ownership::set(value("loose"), plain, word::load("b"));
    EXPECT_FALSE(ownership::check(value("loose"), Word::append, nullptr, 0, 1));
    EXPECT_EQ(calls(), 0);
}

TEST_F(OwnershipTest, ABlockInsideItselfIsRegisteredOnce) {
    run(owner_spec);
    Rooted<Cell> loop;
    block::make_at(*loop, 2);
    block::append_value(*loop, *loop);
    block::append_value(*loop, Cell{TYPE_STRING, 0, memory::alloc_bytes(4), 0});
    Cell o = value("o");
    ownership::set(*loop, o, word::load("loop"));
    EXPECT_EQ(cycles::depth(), 0u);
    Cell nested = block::rs_head(*loop)[1];
    ASSERT_NE(ownership::find(nested.w2), nullptr);
    EXPECT_TRUE(ownership::check(nested, Word::append, nullptr, 0, 1));
    EXPECT_EQ(run("got-word"), "loop");

    ownership::unbind(*loop);
    EXPECT_EQ(ownership::find(loop->w2), nullptr);
    EXPECT_EQ(ownership::find(nested.w2), nullptr) << "nested series are unbound too";
    EXPECT_FALSE(ownership::check(nested, Word::append, nullptr, 0, 1));
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(OwnershipTest, UnsetRangeUnbindsOnlyItsCells) {
    run(owner_spec);
    run("blocks: o/inner");
    Cell blocks = value("blocks");
    NodeId text = block::rs_head(blocks)[1].w2, deepest = block::rs_head(blocks)[2].w2;
    ownership::unset_range(blocks, 2, 5); // runs past the tail: clamped
    EXPECT_NE(ownership::find(text), nullptr);
    EXPECT_EQ(ownership::find(deepest), nullptr);
    EXPECT_NE(ownership::find(blocks.w2), nullptr);
}

TEST_F(OwnershipTest, CollectionDropsRecordsOfUnreachableSeriesAndOwners) {
    run(owner_spec);
    run("kept: o/inner");
    NodeId dropped = object::find_word(value("o"), word::load("items"))->w2;
    NodeId kept = value("kept").w2;
    ASSERT_NE(ownership::find(dropped), nullptr);
    run("o/items: none");
    for (int i = 0; i < 50; ++i) memory::alloc_bytes(1000); // garbage, so live buffers move
    collector::collect();
    EXPECT_EQ(ownership::find(dropped), nullptr) << "the table does not keep its series alive";
    ASSERT_NE(ownership::find(kept), nullptr);
    EXPECT_TRUE(ownership::check(value("kept"), Word::append, nullptr, 0, 1));
    EXPECT_EQ(run("got-word"), "inner");

    // Once the owner is unreachable its records go, though the series live on.
    run("o: none got-owner: none got-word: none");
    collector::collect();
    EXPECT_EQ(ownership::find(kept), nullptr) << "the table does not keep owners alive";
    int before = calls();
    EXPECT_FALSE(ownership::check(value("kept"), Word::append, nullptr, 0, 1));
    EXPECT_EQ(calls(), before);
}

} // namespace
