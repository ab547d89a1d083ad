// The cell layouts of pair!, point2D!, point3D! and tuple!, which the
// serialized forms and the image pixels read word by word.
#include "datatype_fixture.h"

#include <bit>

#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class CompoundCellsTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        pair::init();
        tuple::init();
        point2D::init();
        point3D::init();
    }
};

} // namespace

TEST_F(CompoundCellsTest, PairKeepsFlagsAndHoldsXYInWordsTwoAndThree) {
    Cell c{cell::new_line_flag | TYPE_INTEGER, 7, 0, 0};
    pair::make_at(c, -3, 4);
    EXPECT_EQ(c.header, cell::new_line_flag | TYPE_PAIR);
    EXPECT_EQ(int32_t(c.w2), -3);
    EXPECT_EQ(int32_t(c.w3), 4);
    EXPECT_EQ(formed(c), "-3x4");
}

TEST_F(CompoundCellsTest, PointsHoldThirtyTwoBitFloatsFromWordOne) {
    Cell c{}; // make_at keeps the new-line flag of the cell it fills
    point3D::make_at(c, 1.5, -2.0, 0.1);
    EXPECT_EQ(c.header, uint32_t(TYPE_POINT3D));
    EXPECT_EQ(c.w1, std::bit_cast<uint32_t>(1.5f));
    EXPECT_EQ(c.w2, std::bit_cast<uint32_t>(-2.0f));
    EXPECT_EQ(c.w3, std::bit_cast<uint32_t>(0.1f));
    EXPECT_EQ(formed(c), "(1.5, -2, 0.1)");
    point2D::make_at(c, 3, 4);
    EXPECT_EQ(c.header, uint32_t(TYPE_POINT2D));
    EXPECT_EQ(c.w3, 0u);
}

TEST_F(CompoundCellsTest, TupleSizeInHeaderBitsAndBytesInAddressOrder) {
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Cell c{cell::new_line_flag, 0, 0, 0};
    tuple::make_at(c, bytes, 5);
    EXPECT_EQ(c.header, cell::new_line_flag | 5u * 0x80000u | TYPE_TUPLE);
    EXPECT_EQ(c.w1, 0x04030201u);
    EXPECT_EQ(c.w2, 0x05u); // bytes past the size are 0
    EXPECT_EQ(c.w3, 0u);
    EXPECT_EQ(tuple::size_of(c), 5u);
    EXPECT_EQ(tuple::byte_at(c, 4), 5);
    EXPECT_EQ(tuple::byte_at(c, 5), 0);
    tuple::make_at(c, bytes, 12);
    EXPECT_EQ(c.w3, 0x0C0B0A09u);
    EXPECT_EQ(formed(c), "1.2.3.4.5.6.7.8.9.10.11.12");
}

TEST_F(CompoundCellsTest, TupleFromBytesPadsToThree) {
    Cell* top = stack::state.top;
    const int32_t values[] = {0x1FF, 7};
    Cell* t = tuple::from_bytes(2, values);
    EXPECT_EQ(tuple::size_of(*t), 3u);
    EXPECT_EQ(formed(*t), "255.7.0");
    stack::state.top = top;
}
