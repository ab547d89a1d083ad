#include "datatype_fixture.h"

#include "datatypes/handle.h"
#include "datatypes/triple.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class HandleTripleTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        triple::init();
        handle::init();
    }
    static Cell H(uint32_t value, uint32_t kind) {
        Cell c;
        return *handle::make_at(c, value, kind);
    }
};

} // namespace

TEST_F(HandleTripleTest, HandleCellHoldsKindValueAndMinusOne) {
    Cell h = H(0x12A4F0, handle::window);
    EXPECT_EQ(h.header, uint32_t(TYPE_HANDLE));
    EXPECT_EQ(h.w1, uint32_t(handle::window));
    EXPECT_EQ(h.w2, 0x12A4F0u);
    EXPECT_EQ(h.w3, 0xFFFFFFFFu);
}

TEST_F(HandleTripleTest, HandleText) {
    struct Case {
        uint32_t value, kind;
        const char *form, *mold_all;
    } cases[] = {
        {0x12A4F0, handle::window, "0012A4F0h", "#[handle! 0012A4F0h window]"},
        {0, handle::none, "00000000h", "#[handle! 00000000h]"},
        {0xFFFFFFFF, handle::fd, "FFFFFFFFh", "#[handle! FFFFFFFFh fd]"},
        {7, handle::rich_text, "00000007h", "#[handle! 00000007h rich-text]"},
        {7, handle::monitor, "00000007h", "#[handle! 00000007h monitor]"},
        {7, handle::font, "00000007h", "#[handle! 00000007h font]"},
        // A kind the table does not know is left unnamed.
        {7, 9, "00000007h", "#[handle! 00000007h]"},
    };
    for (const Case& c : cases) {
        Cell h = H(c.value, c.kind);
        EXPECT_EQ(formed(h), c.form);
        EXPECT_EQ(molded(h), "handle!");
        EXPECT_EQ(molded(h, true), c.mold_all);
    }
}

TEST_F(HandleTripleTest, HandlesCompareBySignedValueOnly) {
    EXPECT_EQ(compare(H(5, handle::fd), H(5, handle::window), 0), 0);
    EXPECT_EQ(compare(H(4, handle::fd), H(5, handle::fd), 3), -1);
    // 0xFFFFFFFF is -1: below 0.
    EXPECT_EQ(compare(H(0xFFFFFFFF, handle::fd), H(0, handle::fd), 3), -1);
    // An integer of the same value is another thing.
    EXPECT_EQ(compare(H(5, handle::fd), int_cell(5), 0), 1);
}

TEST_F(HandleTripleTest, HandleInheritsNothingFromInteger) {
    for (Slot s : {Slot::make, Slot::to, Slot::add, Slot::negate, Slot::random, Slot::even_q})
        EXPECT_EQ(datatype::entry(TYPE_HANDLE, s), nullptr) << uint32_t(s);
}

TEST_F(HandleTripleTest, HandleConstructorsOnTheStack) {
    Cell* top = stack::state.top;
    Cell* pushed = handle::push(3, handle::font);
    EXPECT_EQ(molded(*pushed, true), "#[handle! 00000003h font]");
    Cell* null = handle::push_null();
    EXPECT_EQ(molded(*null, true), "#[handle! 00000000h]");
    stack::state.top = top;
}

TEST_F(HandleTripleTest, TripleText) {
    Cell t;
    triple::make_at(t, 1, -2, 3);
    EXPECT_EQ(formed(t), "make triple! [1 -2 3]");
    EXPECT_EQ(molded(t, true), "make triple! [1 -2 3]");
    triple::make_at(t, 0, 0, 0);
    EXPECT_EQ(formed(t), "make triple! [0 0 0]");
    triple::make_at(t, INT32_MIN, INT32_MAX, 0);
    EXPECT_EQ(molded(t), "make triple! [-2147483648 2147483647 0]");
    EXPECT_EQ(datatype::entry(TYPE_TRIPLE, Slot::compare), nullptr);
}
