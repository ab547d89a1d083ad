#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "runtime/errors.h"
#include "runtime/heap.h"
#include "runtime/memory.h"
#include "runtime/throw.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

class MemoryTest : public ::testing::Test {
  protected:
    void SetUp() override { test::reset_globals(); }
    void TearDown() override { test::release_globals(); }
};

} // namespace

TEST_F(MemoryTest, ZeroUnitRequestsGetSixteenBytes) {
    EXPECT_EQ(memory::buffer_of(memory::alloc_bytes(0))->size, 16u);
    struct Case {
        uint32_t unit, length;
    };
    for (Case c : {Case{1, 16}, Case{2, 8}, Case{4, 4}}) {
        Buffer* b = memory::buffer_of(memory::alloc_units(0, c.unit));
        EXPECT_EQ(b->size, 16u);
        EXPECT_EQ(b->size / b->unit(), c.length);
    }
    EXPECT_EQ(memory::alloc_buffer(0, 16, 0)->size, 0u);
}

TEST_F(MemoryTest, LargeThresholdBothSides) {
    Buffer* below = memory::buffer_of(memory::alloc_bytes(2097120));
    EXPECT_FALSE(below->flags & series_flag::large);
    Buffer* at = memory::buffer_of(memory::alloc_bytes(2097136));
    EXPECT_TRUE(at->flags & series_flag::large);
    EXPECT_EQ(at->size, 2097136u);
}

TEST_F(MemoryTest, FirstFrameIsOneMegabyteLaterOnesTwo) {
    memory::alloc_bytes(16);
    auto* first = memory::record.s_active;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size, 1048576u);
    // Fill past the first frame.
    for (int i = 0; i < 40; ++i) memory::alloc_bytes(65536);
    int frames = 0;
    for (auto* f = memory::record.s_head; f; f = f->next, ++frames)
        if (f != first) {
            EXPECT_EQ(f->size, 2097152u);
        }
    EXPECT_GE(frames, 2);
}

TEST_F(MemoryTest, ExpansionPutsHeadAtStartAndKeepsContent) {
    NodeId node = memory::alloc_series(8, 1, -1);
    Buffer* b = memory::buffer_of(node);
    EXPECT_EQ(b->head, b->data() + 8);
    std::memcpy(buffer::reserve_tail(b, 5), "hello", 5);
    b = memory::expand_series(b, 64);
    EXPECT_EQ(b, memory::buffer_of(node));
    EXPECT_EQ(b->head, b->data());
    EXPECT_EQ(b->size, 64u);
    EXPECT_EQ(std::memcmp(b->head, "hello", 5), 0);
    EXPECT_EQ(b->tail - b->head, 5);
}

TEST_F(MemoryTest, ReserveTailAndAppendUnsetGrow) {
    NodeId node = memory::alloc_cells(1);
    Buffer* b = memory::buffer_of(node);
    for (int i = 0; i < 100; ++i) cell::append_unset(b)->w1 = uint32_t(i);
    b = memory::buffer_of(node);
    ASSERT_EQ(b->length(), 100u);
    for (uint32_t i = 0; i < 100; ++i) {
        EXPECT_EQ(b->head_cell()[i].header, 2u);
        EXPECT_EQ(b->head_cell()[i].w1, i);
    }
    NodeId bytes = memory::alloc_bytes(16);
    Buffer* c = memory::buffer_of(bytes);
    buffer::reserve_tail(c, 100); // more than the size: grows to twice the request
    EXPECT_EQ(c->size, 208u);
    EXPECT_EQ(c->tail - c->head, 100);
}

TEST_F(MemoryTest, CopySeriesKeepsLengthAndBytes) {
    NodeId node = memory::alloc_bytes_filled(32, 0xAB);
    Buffer* b = memory::buffer_of(node);
    buffer::reserve_tail(b, 10);
    Buffer* copy = memory::buffer_of(memory::copy_series(b));
    EXPECT_EQ(copy->size, 32u);
    EXPECT_EQ(copy->tail - copy->head, 10);
    EXPECT_EQ(copy->head[31], 0xAB);
}

TEST_F(MemoryTest, NodesAreReusedAndFramesSpill) {
    NodeId a = memory::alloc_node();
    memory::free_node(a);
    EXPECT_EQ(memory::alloc_node(), a);
    for (uint32_t i = 1; i < memory::node_frame_slots; ++i) memory::alloc_node();
    NodeId spilled = memory::alloc_node();
    EXPECT_EQ(memory::frame_of(spilled)->ordinal, 1u);
    EXPECT_EQ(spilled, memory::node_frame_slots + 1);
}

TEST_F(MemoryTest, NodeTableGrowsAndGivesReleasedWindowsBack) {
    NodeId first = memory::alloc_bytes(16);
    Buffer* first_buffer = memory::buffer_of(first);
    // Enough frames that the table has to grow (and may move) several times.
    constexpr uint32_t frames = 40;
    std::vector<NodeId> nodes;
    for (uint32_t i = 0; i < frames * memory::node_frame_slots; ++i)
        nodes.push_back(memory::alloc_node());
    EXPECT_EQ(memory::buffer_of(first), first_buffer);
    NodeId last = nodes.back();
    memory::set_buffer(last, first_buffer);
    EXPECT_EQ(memory::buffer_of(last), first_buffer);
    EXPECT_EQ(memory::frame_of(last)->ordinal, frames);

    // Emptying a frame in the middle releases it; its window comes back
    // as a fresh frame with every slot free again.
    uint32_t middle = frames / 2;
    for (NodeId node : nodes)
        if (memory::frame_of(node)->ordinal == middle) memory::free_node(node);
    memory::review_node_frames();
    EXPECT_EQ(memory::directory[middle], nullptr);
    memory::NodeFrame* again = memory::init_node_frame(memory::node_frame_slots);
    EXPECT_EQ(again->ordinal, middle);
    memory::record.n_active = again;
    NodeId reused = memory::alloc_node();
    EXPECT_EQ(reused, middle * memory::node_frame_slots + 1);
    EXPECT_EQ(memory::buffer_of(reused), nullptr);
    EXPECT_EQ(memory::buffer_of(first), first_buffer);
}

TEST_F(MemoryTest, StableFramesAccumulateHistory) {
    memory::alloc_node();
    for (int i = 0; i < 4; ++i) memory::review_node_frames();
    // The first review sees a change from 0 to 1; the next three do not.
    EXPECT_EQ(memory::record.n_head->history & 0xF, 0x7u);
}

TEST_F(MemoryTest, EmptyNodeFramesAreReleased) {
    NodeId a = memory::alloc_node();
    memory::free_node(a);
    memory::review_node_frames();
    EXPECT_EQ(memory::record.n_head, nullptr);
    EXPECT_EQ(memory::alloc_node(), 1u); // the directory entry is taken again
}

TEST_F(MemoryTest, ExpandingToNothingRaisesNoMemory) {
    Buffer* b = memory::alloc_buffer(0, 1, 0);
    try {
        memory::expand_series_raw(b, 0);
        FAIL() << "expected a raise";
    } catch (const runtime::Throw& t) {
        EXPECT_EQ(t.code, runtime::code::error);
        EXPECT_EQ(runtime::last_error.category, runtime::Category::internal);
        EXPECT_EQ(runtime::last_error.id, err::internal::no_memory);
    }
}

TEST_F(MemoryTest, HeapSeriesLiveInTheTrackedHeap) {
    size_t before = heap::block_count();
    NodeId node = memory::alloc_heap_series(4, 4, 0);
    Buffer* b = memory::buffer_of(node);
    EXPECT_TRUE(b->flags & series_flag::heap);
    EXPECT_EQ(heap::block_count(), before + 1);
    std::memcpy(buffer::reserve_tail(b, 16), "0123456789abcdef", 16);
    b = memory::expand_series(b, 0);
    EXPECT_FALSE(b->flags & series_flag::heap);
    EXPECT_EQ(heap::block_count(), before);
    EXPECT_EQ(std::memcmp(b->head, "0123456789abcdef", 16), 0);
}

TEST_F(MemoryTest, CeilingMakesGrowthPastItNoMemory) {
    struct Ceiling {
        explicit Ceiling(size_t bytes) { memory::os_bytes_limit = bytes; }
        ~Ceiling() { memory::os_bytes_limit = 0; }
    } ceiling(memory::record.os_bytes + (3 << 20));
    try {
        memory::alloc_bytes(8 << 20);
        FAIL() << "expected a raise";
    } catch (const runtime::Throw& t) {
        EXPECT_EQ(t.code, runtime::code::error);
        EXPECT_EQ(runtime::last_error.id, err::internal::no_memory);
    }
    // What still fits under it is given.
    EXPECT_GE(memory::buffer_of(memory::alloc_bytes(1 << 20))->size, 1u << 20);
    EXPECT_LE(memory::record.os_bytes, memory::os_bytes_limit);
}
