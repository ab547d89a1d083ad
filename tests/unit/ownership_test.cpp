#include <gtest/gtest.h>

#include <string>

#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/ownership.h"
#include "evaluation_fixture.h"
#include "runtime/collector.h"

using namespace kiv;
using ownership::Word;

namespace {

// Objects made in Kiv, whose on-deep-change* runs through the interpreter.
class OwnershipTest : public kiv::testing::EvaluationTest {
  protected:
    void SetUp() override {
        EvaluationTest::SetUp();
        ownership::init();
        run("reflect: make action! [[value field] 3] "
            "random: make action! [[value /seed /secure /only] 2] "
            "append: make action! [[series value /part length /only /dup count] 25] "
            "change: make action! [[series value /part range /only /dup count] 28] "
            "clear: make action! [[series] 29] "
            "insert: make action! [[series value /part length /only /dup count] 35] "
            "move: make action! [[origin target /part length] 37] "
            "poke: make action! [[series index value] 40] "
            "put: make action! [[series key value /case] 41] "
            "remove: make action! [[series /part length /key key-arg] 42] "
            "reverse: make action! [[series /part length /skip size] 43] "
            "sort: make action! [[series /case /skip size /compare comparator /part length "
            "    /all /reverse /stable] 45] "
            "swap: make action! [[series1 series2] 47] "
            "take: make action! [[series /part length /deep /last] 50] "
            "trim: make action! [[series /head /tail /auto /lines /all /with str] 51] "
            "modify: make action! [[target field value /case] 55]");
        // The handler logs the action words it receives and keeps the
        // arguments of its last call in globals.
        run("calls: 0 log: make block! [] "
            "recorder: make function! [[owner word target action new index part] ["
            "    calls: calls + 1 append log action got-owner: owner got-word: word "
            "    got-target: target got-action: action got-new: new got-index: index "
            "    got-part: part]]");
    }
    void TearDown() override {
        ownership::release();
        EvaluationTest::TearDown();
    }

    // The value of a global word.
    Cell value(const char* name) { return *word::value_cell(word::load(name)); }
    int calls() { return int(value("calls").w2); }
    // The action words the handler received while the code ran.
    std::string log_of(const std::string& code) {
        return run("log: make block! [] " + code + " log");
    }
};

const char* const owner_spec = "o: make object! ["
                               "    items: [1 2 3]"
                               "    inner: [a \"text\" [b]]"
                               "    sub: make object! [s: \"x\"]"
                               "    on-deep-change*: :recorder]";

TEST_F(OwnershipTest, TheHandlerGetsTheSevenValues) {
    run(owner_spec);
    run("items: o/items new-value: 42");
    Cell items = value("items"), new_value = value("new-value");
    EXPECT_TRUE(ownership::check(items, Word::poke, &new_value, 1, 2));
    EXPECT_EQ(calls(), 1);
    EXPECT_EQ(run("same? got-owner o"), "true");
    EXPECT_EQ(run("got-word"), "items");
    EXPECT_EQ(run("got-target"), "[1 2 3]");
    EXPECT_EQ(run("got-action"), "poke");
    EXPECT_EQ(run("got-new"), "42");
    EXPECT_EQ(run("got-index"), "1");
    EXPECT_EQ(run("got-part"), "2");

    // No new value is passed as none.
    EXPECT_TRUE(ownership::check(items, Word::cleared, nullptr, 0, 3));
    EXPECT_EQ(run("got-action"), "cleared");
    EXPECT_EQ(run("got-new"), "none");
}

TEST_F(OwnershipTest, ChangingActionsNotifyBeforeAndAfter) {
    struct Case {
        const char* code;
        const char* log;
        const char* field;
    } cases[] = {
        {"append o/items 4", "[append appended]", "items"},
        {"insert o/items 0", "[insert inserted]", "items"},
        {"change o/items 9", "[change changed]", "items"},
        {"clear o/items", "[clear cleared]", "items"},
        {"poke o/items 1 7", "[poke poked]", "items"},
        {"put o/items 1 5", "[put put-ed]", "items"},
        {"remove o/items", "[remove removed]", "items"},
        {"random o/items", "[random randomized]", "items"},
        {"reverse o/items", "[reverse reversed]", "items"},
        {"sort o/items", "[sort sorted]", "items"},
        {"swap o/items other", "[swap swaped]", "items"},
        {"take o/items", "[take taken]", "items"},
        {"move o/items other", "[move moved]", "items"},
        {"trim o/items", "[trim trimmed]", "items"},
        {"append o/name \"!\"", "[append appended]", "name"},
        {"trim o/name", "[trim trimmed]", "name"},
        {"nested: o/inner/1 append nested 1", "[append appended]", "inner"},
    };
    for (const Case& c : cases) {
        run("o: make object! [items: [3 1 none 2] name: \" kiv \" inner: [[]] "
            "    on-deep-change*: :recorder] "
            "other: [8]");
        EXPECT_EQ(log_of(c.code), c.log) << c.code;
        EXPECT_EQ(run("got-word"), c.field) << c.code;
    }
    EXPECT_EQ(log_of("append other 1"), "[]") << "a series no object owns";
}

TEST_F(OwnershipTest, ModifyOwned) {
    run(owner_spec);
    // A series, and an object whose fields' series go under their own words.
    struct Case {
        const char* setup;
        const char* target;
        const char* word;
    } cases[] = {{"loose: [1] changed: loose", "loose", "extra"},
                 {"lone: make object! [s: \"x\" n: 1] changed: lone/s", "lone", "s"}};
    for (const Case& c : cases) {
        run(c.setup);
        std::string target = c.target;
        run("modify " + target + " 'owned reduce [o 'extra]");
        EXPECT_EQ(log_of("append changed 2"), "[append appended]") << target;
        EXPECT_EQ(run("got-word"), c.word);
        EXPECT_EQ(run("same? got-owner o"), "true");
        run("modify " + target + " 'owned none");
        EXPECT_EQ(log_of("append changed 3"), "[]") << target;
    }
    EXPECT_EQ(run("reflect loose 'owned"), "none");
    run("modify loose 'owned reflect o/inner 'owned");
    EXPECT_EQ(run("reflect loose 'owned"), "none") << "an owner alone names no field";
}

TEST_F(OwnershipTest, ModifyAnObject) {
    run(owner_spec);
    // A series the owner took after it was made is owned once asked for.
    run("o/items: [7 8] fresh: o/items");
    EXPECT_EQ(log_of("append fresh 9"), "[]");
    run("modify o 'owner true");
    EXPECT_EQ(log_of("append fresh 9"), "[append appended]");
    EXPECT_NE(run("reflect fresh 'owned"), "none");

    run("o/items: 1");
    EXPECT_EQ(run("reflect o 'changed"), "[items]");
    run("modify o 'changed none");
    EXPECT_EQ(run("reflect o 'changed"), "[]");
    EXPECT_EQ(error_of("modify o 'changed 1"), int32_t(err::script::invalid_arg));
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
        EXPECT_EQ(run("same? got-owner o"), "true");
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
