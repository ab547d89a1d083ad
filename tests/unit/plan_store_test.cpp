#include <gtest/gtest.h>

#include "runtime/memory.h"
#include "runtime/plan_store.h"
#include "runtime/session.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

// A plan that counts how often the store dropped it.
struct CountedPlan : plan_store::Plan {
    int* drops;
};

void drop_counted(plan_store::Plan* plan) {
    auto* counted = static_cast<CountedPlan*>(plan);
    ++*counted->drops;
    delete counted;
}

plan_store::Plan* counted_plan(int& drops) {
    auto* plan = new CountedPlan;
    plan->drop = drop_counted;
    plan->drops = &drops;
    return plan;
}

class PlanStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::reset_globals();
        plan_store::verifying = false;
    }
    void TearDown() override {
        plan_store::verifying = verifying_;
        test::release_globals();
    }

    // A block node of n cells holding integers.
    static NodeId block_of(uint32_t n) {
        NodeId node = memory::alloc_cells(n);
        Buffer* b = memory::buffer_of(node);
        for (uint32_t i = 0; i < n; ++i) b->head_cell()[i] = Cell{TYPE_INTEGER, 0, i, 0};
        b->tail = b->head + n * sizeof(Cell);
        return node;
    }

  private:
    bool verifying_ = plan_store::verifying;
};

} // namespace

TEST_F(PlanStoreTest, AKeptPlanStaysUntilItsBlockIsTouched) {
    NodeId node = block_of(3);
    NodeId other = block_of(3);
    int drops = 0;
    plan_store::Plan* plan = counted_plan(drops);
    EXPECT_EQ(plan_store::find(node), nullptr);
    plan_store::keep(node, plan);
    EXPECT_EQ(plan_store::find(node), plan);
    plan_store::touch(other);
    plan_store::touch(NodeId(1) << 30); // beyond every node the store has seen
    EXPECT_EQ(plan_store::find(node), plan);
    EXPECT_EQ(drops, 0);
    plan_store::touch(node);
    EXPECT_EQ(plan_store::find(node), nullptr);
    EXPECT_EQ(drops, 1);
    plan_store::touch(node);
    EXPECT_EQ(drops, 1);
}

TEST_F(PlanStoreTest, KeepingAnotherPlanDropsTheOneBefore) {
    NodeId node = block_of(2);
    int first = 0, second = 0;
    plan_store::keep(node, counted_plan(first));
    plan_store::Plan* replacing = counted_plan(second);
    plan_store::keep(node, replacing);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(plan_store::find(node), replacing);
}

TEST_F(PlanStoreTest, AFreedNodeDropsItsPlan) {
    NodeId node = block_of(2);
    int drops = 0;
    plan_store::keep(node, counted_plan(drops));
    memory::free_node(node);
    EXPECT_EQ(drops, 1);
    // The node comes back for another block, without the old plan.
    EXPECT_EQ(memory::alloc_node(), node);
    EXPECT_EQ(plan_store::find(node), nullptr);
}

TEST_F(PlanStoreTest, ReleasingTheMemoryDropsEveryPlan) {
    int drops = 0;
    plan_store::keep(block_of(2), counted_plan(drops));
    plan_store::keep(block_of(5), counted_plan(drops));
    memory::free_all_frames();
    EXPECT_EQ(drops, 2);
    memory::init();
}

TEST_F(PlanStoreTest, ARestoredSessionDropsThePlansMadeSince) {
    NodeId node = block_of(2);
    session::take();
    int drops = 0;
    plan_store::keep(node, counted_plan(drops));
    session::restore();
    EXPECT_EQ(drops, 1);
    EXPECT_EQ(plan_store::find(node), nullptr);
}

TEST_F(PlanStoreTest, VerifyModeKeepsAPlanPerWalkedBlockAndAcceptsTouchedChanges) {
    plan_store::verifying = true;
    NodeId node = block_of(3);
    plan_store::verify_walk(node);
    plan_store::Plan* plan = plan_store::find(node);
    ASSERT_NE(plan, nullptr);
    plan_store::verify_walk(node);
    EXPECT_EQ(plan_store::find(node), plan);
    // A change that calls the barrier: the next walk keeps a new plan.
    plan_store::touch(node);
    memory::buffer_of(node)->head_cell()[1].w2 = 99;
    plan_store::verify_walk(node);
    EXPECT_NE(plan_store::find(node), nullptr);
}

TEST_F(PlanStoreTest, VerifyModeEndsTheProcessOnAChangeThatMissedTheBarrier) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Change {
        const char* name;
        void (*make)(NodeId node);
    };
    const Change changes[] = {
        {"a cell", [](NodeId node) { memory::buffer_of(node)->head_cell()[1].w1 = 7; }},
        {"the tail", [](NodeId node) { memory::buffer_of(node)->tail -= sizeof(Cell); }},
        {"the head", [](NodeId node) { memory::buffer_of(node)->head += sizeof(Cell); }},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        EXPECT_DEATH(
            {
                plan_store::verifying = true;
                NodeId node = block_of(3);
                plan_store::verify_walk(node);
                change.make(node);
                plan_store::verify_walk(node);
            },
            "changed without dropping its plan");
    }
}
