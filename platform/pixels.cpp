#include "platform/pixels.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv::pixels {

bool fits(int64_t width, int64_t height) {
    return width >= 0 && height >= 0 && width <= max_side && height <= max_side &&
           uint64_t(width) * uint64_t(height) <= max_pixels;
}

Grid* alloc(uint32_t width, uint32_t height) {
    if (!width || !height || !fits(width, height)) return nullptr;
    auto* grid = new (std::nothrow) Grid{nullptr, width, height, nullptr, 0};
    if (!grid) return nullptr;
    grid->pixels = static_cast<uint32_t*>(std::malloc(grid->bytes()));
    if (!grid->pixels) {
        delete grid;
        return nullptr;
    }
    return grid;
}

void free(Grid* grid) {
    if (!grid) return;
    std::free(grid->pixels);
    delete grid;
}

void fill(Grid& grid, uint32_t pixel) {
    std::fill_n(grid.pixels, grid.count(), pixel);
}

void fill_from(Grid& grid, const uint8_t* rgb, size_t rgb_length, const uint8_t* alpha,
               size_t alpha_length) {
    uint64_t triples = rgb_length / 3;
    for (uint64_t i = 0; i < grid.count(); ++i) {
        uint8_t r = 255, g = 255, b = 255, opacity = 255;
        if (i < triples) {
            r = rgb[i * 3];
            g = rgb[i * 3 + 1];
            b = rgb[i * 3 + 2];
        }
        if (i < alpha_length) opacity = uint8_t(255 - alpha[i]);
        grid.pixels[i] = pack(r, g, b, opacity);
    }
}

void scale_into(const Grid& source, Grid& target) {
    for (uint32_t y = 0; y < target.height; ++y) {
        const uint32_t* row =
            source.pixels + size_t(uint64_t(y) * source.height / target.height) * source.width;
        uint32_t* out = target.pixels + size_t(y) * target.width;
        for (uint32_t x = 0; x < target.width; ++x)
            out[x] = row[uint64_t(x) * source.width / target.width];
    }
}

void flip_into(const Grid& source, Grid& target) {
    for (uint32_t y = 0; y < source.height; ++y)
        std::memcpy(target.pixels + size_t(y) * source.width,
                    source.pixels + size_t(source.height - 1 - y) * source.width,
                    size_t(source.width) * 4);
}

void copy_rows(Grid& target, const uint8_t* data, size_t stride) {
    for (uint32_t y = 0; y < target.height; ++y)
        std::memcpy(target.pixels + size_t(y) * target.width, data + y * stride,
                    size_t(target.width) * 4);
}

void blit(Grid& target, uint32_t tx, uint32_t ty, const Grid& source, uint32_t sx, uint32_t sy,
          uint32_t width, uint32_t height) {
    // Rows of the same grid are moved bottom-up when the block moves down,
    // so no row is overwritten before it is read; memmove covers a row.
    bool upward = &target != &source || ty <= sy;
    for (uint32_t i = 0; i < height; ++i) {
        uint32_t row = upward ? i : height - 1 - i;
        std::memmove(target.pixels + size_t(ty + row) * target.width + tx,
                     source.pixels + size_t(sy + row) * source.width + sx, size_t(width) * 4);
    }
}

} // namespace kiv::pixels
