#include <gtest/gtest.h>

#include <cairo.h>

#include <fstream>
#include <vector>

#include "datatypes/image.h"
#include "datatypes/image_layer.h"
#include "runtime/collector.h"
#include "runtime/types.h"
#include "tests/unit/image_fixture.h"

using namespace kiv;

namespace {

class DrawingCacheTest : public test::ImageLayerFixture {
  protected:
    static NodeId held_image(std::vector<uint32_t> pixels, uint32_t width) {
        Cell cell;
        image::make_at(cell, image::from_memory(reinterpret_cast<uint8_t*>(pixels.data()), width,
                                                uint32_t(pixels.size() / width), 0));
        return test::hold(cell).w2;
    }

    static uint32_t surface_word(cairo_surface_t* surface, size_t index) {
        cairo_surface_flush(surface);
        return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface))[index];
    }
};

TEST_F(DrawingCacheTest, HoldsThePixelsPremultipliedRoundedToNearest) {
    struct Case {
        uint32_t straight, premultiplied;
    } cases[] = {
        {0xFF123456, 0xFF123456},                           // opaque: unchanged
        {0x00FFFFFF, 0x00000000},                           // clear: no colour left
        {0x80FF8001, 0x80804001},                           // 128.5 -> 128, 64.25 -> 64, 0.502 -> 1
        {0x01FFFFFF, 0x01010101}, {0xC0030201, 0xC0020201}, // 2.26 -> 2, 1.51 -> 2, 0.75 -> 1
    };
    std::vector<uint32_t> pixels;
    for (const Case& c : cases) pixels.push_back(c.straight);
    NodeId node = held_image(pixels, uint32_t(pixels.size()));
    cairo_surface_t* surface = image::drawing(node);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(cairo_image_surface_get_format(surface), CAIRO_FORMAT_ARGB32);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(surface_word(surface, i), cases[i].premultiplied)
            << std::hex << cases[i].straight;
    // The same surface while nothing changes.
    EXPECT_EQ(image::drawing(node), surface);
}

TEST_F(DrawingCacheTest, WritingPixelsDropsTheCache) {
    NodeId node = held_image({0xFF000000, 0xFF000000}, 2);
    image::drawing(node);
    image::set_pixel(node, 1, 0xFFFFFFFF);
    EXPECT_EQ(image::grid_of(node).drawing, nullptr);
    EXPECT_EQ(surface_word(image::drawing(node), 1), 0xFFFFFFFFu);
}

TEST_F(DrawingCacheTest, WritingThroughALockDropsTheCache) {
    NodeId node = held_image({0xFF000000}, 1);
    Cell cell;
    image::make_at(cell, node);
    image::drawing(node);
    uint32_t* pixels = image::lock_pixels(cell);
    image::unlock_pixels(cell, false);
    EXPECT_NE(image::grid_of(node).drawing, nullptr) << "read only";
    pixels = image::lock_pixels(cell);
    pixels[0] = 0xFFFFFFFF;
    image::unlock_pixels(cell, true);
    EXPECT_EQ(image::grid_of(node).drawing, nullptr);
    EXPECT_EQ(surface_word(image::drawing(node), 0), 0xFFFFFFFFu);
    Cell empty;
    image::make_at(empty, 0);
    EXPECT_EQ(image::lock_pixels(empty), nullptr);
}

// The backend draws into the surface; the straight pixels are rebuilt
// from it when they are next read, and the surface stays.
TEST_F(DrawingCacheTest, PixelsAreRebuiltStraightAfterADraw) {
    NodeId node = held_image({0xFF00FF00, 0xFF00FF00, 0xFF00FF00}, 3);
    cairo_surface_t* surface = image::drawing(node);
    cairo_t* cr = cairo_create(surface);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
    cairo_rectangle(cr, 1, 0, 1, 1);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 1, 0, 0, 0);
    cairo_rectangle(cr, 2, 0, 1, 1);
    cairo_fill(cr);
    cairo_destroy(cr);
    image::invalidate_drawing(node);
    EXPECT_EQ(image::get_pixel(node, 0), 0xFF00FF00u);
    EXPECT_EQ(image::get_pixel(node, 1), 0x800000FFu); // 0x80 x 255 / 0x80, blue
    EXPECT_EQ(image::get_pixel(node, 2), 0x00000000u);
    EXPECT_EQ(image::drawing(node), surface);
}

// A collection clears the used mark; the next one that finds the cache
// still unused releases it.
TEST_F(DrawingCacheTest, AnIdleCacheGoesAtTheSecondCollection) {
    NodeId idle = held_image({1}, 1), busy = held_image({2}, 1);
    image::drawing(idle);
    image::drawing(busy);
    collector::collect();
    EXPECT_NE(image::grid_of(idle).drawing, nullptr);
    image::drawing(busy); // used in this cycle: kept one more
    collector::collect();
    EXPECT_EQ(image::grid_of(idle).drawing, nullptr);
    EXPECT_NE(image::grid_of(busy).drawing, nullptr);
    collector::collect();
    EXPECT_EQ(image::grid_of(busy).drawing, nullptr);
}

// A drawing not yet read back is not lost when its cache is released.
TEST_F(DrawingCacheTest, ReleasingADrawnCacheKeepsTheDrawing) {
    NodeId node = held_image({0xFF000000}, 1);
    cairo_surface_t* surface = image::drawing(node);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    image::invalidate_drawing(node);
    collector::collect();
    collector::collect();
    EXPECT_EQ(image::grid_of(node).drawing, nullptr);
    EXPECT_EQ(image::get_pixel(node, 0), 0xFFFFFFFFu);
}

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

TEST_F(DrawingCacheTest, ImagesDrawnAndDroppedKeepResidentMemoryBounded) {
    collector::active = true;
    long start = resident_kib(), highest = start;
    for (int i = 0; i < 2000; ++i) {
        uint32_t colour = 0xFF808080;
        NodeId node = image::create(1000, 1000, &colour, nullptr, 0, nullptr, 0);
        image::drawing(node);
        if (i % 50 == 0) highest = std::max(highest, resident_kib());
    }
    // Pixels and caches of the images alive between collections: a few
    // hundred MiB at most, where the loop makes 16 GB.
    EXPECT_LE(highest - start, 400L << 10);
}

} // namespace
