#include <gtest/gtest.h>

#include <vector>

#include "datatypes/image_layer.h"
#include "platform/pixels.h"
#include "runtime/collector.h"
#include "runtime/types.h"
#include "tests/unit/image_fixture.h"

using namespace kiv;

namespace {

class ImageLayerTest : public test::ImageLayerFixture {
  protected:
    static Cell held_image(NodeId node) {
        Cell cell;
        image::make_at(cell, node);
        return test::hold(cell);
    }
};

TEST_F(ImageLayerTest, CreateFillsFromColourOrFromRgbAndAlphaBytes) {
    uint32_t red = pixels::pack(255, 0, 0, 255);
    Cell filled = held_image(image::create(2, 1, &red, nullptr, 0, nullptr, 0));
    EXPECT_EQ(image::get_pixel(filled.w2, 1), 0xFFFF0000u);
    // Five RGB bytes make one pixel; the second is white; one alpha byte
    // (transparency) makes the first pixel's opacity 255 - 0x10.
    const uint8_t rgb[] = {1, 2, 3, 4, 5};
    const uint8_t alpha[] = {0x10};
    Cell made = held_image(image::create(2, 1, nullptr, rgb, 5, alpha, 1));
    EXPECT_EQ(image::get_pixel(made.w2, 0), 0xEF010203u);
    EXPECT_EQ(image::get_pixel(made.w2, 1), 0xFFFFFFFFu);
    EXPECT_EQ(image::create(0, 5, &red, nullptr, 0, nullptr, 0), 0u);
}

TEST_F(ImageLayerTest, CopiesScalesAndFlips) {
    std::vector<uint32_t> source = {1, 2, 3, 4, 5, 6}; // 3x2
    Cell grid = held_image(image::from_memory(reinterpret_cast<uint8_t*>(source.data()), 3, 2, 0));
    Cell rect = held_image(image::copy_rect(grid.w2, 1, 0, 5, 5)); // clipped to 2x2
    EXPECT_EQ(image::width(rect.w2), 2u);
    EXPECT_EQ(image::height(rect.w2), 2u);
    EXPECT_EQ(image::get_pixel(rect.w2, 3), 6u);
    EXPECT_EQ(image::copy_rect(grid.w2, 3, 0, 1, 1), 0u);
    Cell big = held_image(image::scale(grid.w2, 6, 4));
    std::vector<uint32_t> row;
    for (uint32_t x = 0; x < 6; ++x) row.push_back(image::get_pixel(big.w2, 18 + x));
    EXPECT_EQ(row, (std::vector<uint32_t>{4, 4, 5, 5, 6, 6}));
    Cell flipped = held_image(image::flip_vertical(grid.w2));
    EXPECT_EQ(image::get_pixel(flipped.w2, 0), 4u);
    EXPECT_EQ(image::get_pixel(flipped.w2, 5), 3u);
    // Rows 8 bytes apart: each row's second word is skipped.
    std::vector<uint32_t> strided = {7, 0, 8, 0};
    Cell column =
        held_image(image::from_memory(reinterpret_cast<uint8_t*>(strided.data()), 1, 2, 8));
    EXPECT_EQ(image::get_pixel(column.w2, 1), 8u);
}

TEST_F(ImageLayerTest, BlitWithinOneGridReadsBeforeWriting) {
    pixels::Grid* grid = pixels::alloc(2, 3);
    for (uint32_t i = 0; i < 6; ++i) grid->pixels[i] = i;
    pixels::blit(*grid, 0, 1, *grid, 0, 0, 2, 2); // rows 0-1 move down one row
    EXPECT_EQ(std::vector<uint32_t>(grid->pixels, grid->pixels + 6),
              (std::vector<uint32_t>{0, 1, 0, 1, 2, 3}));
    pixels::free(grid);
}

TEST_F(ImageLayerTest, UnreachableGridsAreReleasedOnceAndKeptOnesStay) {
    uint32_t blue = 0xFF0000FFu;
    Cell kept = held_image(image::create(10, 10, &blue, nullptr, 0, nullptr, 0));
    image::create(20, 20, &blue, nullptr, 0, nullptr, 0);
    EXPECT_EQ(image::pressure.live, uint64_t(500) * 4);
    collector::collect();
    EXPECT_EQ(image::pressure.live, uint64_t(100) * 4);
    EXPECT_EQ(image::get_pixel(kept.w2, 99), blue);
}

TEST_F(ImageLayerTest, SizesBeyondTheLimitsAreRefusedBeforeAllocating) {
    EXPECT_TRUE(pixels::fits(65535, 32767));
    EXPECT_FALSE(pixels::fits(65536, 1));
    EXPECT_FALSE(pixels::fits(65535, 65535)); // more than 2^31 - 1 pixels
    EXPECT_FALSE(pixels::fits(-1, 1));
    EXPECT_EQ(pixels::alloc(65536, 1), nullptr);
}

TEST_F(ImageLayerTest, DroppedLargeImagesDoNotPileUp) {
    collector::active = true;
    uint64_t highest = 0;
    for (int i = 0; i < 2000; ++i) {
        image::create(1000, 1000, nullptr, nullptr, 0, nullptr, 0);
        highest = std::max(highest, image::pressure.live);
    }
    // The live pixels stay near the collection threshold (64 MiB), far
    // below the 8 GB the loop makes.
    EXPECT_LE(highest, uint64_t(80) << 20);
}

} // namespace
