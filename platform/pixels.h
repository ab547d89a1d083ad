// Pixel grids in memory: the storage behind image! values and the
// operations on whole grids (fills, rectangle copies, scaling, flips).
// Pixels are 32-bit words 0xAARRGGBB (bytes B, G, R, A in memory) with
// straight alpha, A being the opacity (255 opaque). Nothing here knows
// cells or the collector; a failed allocation gives null, never an
// exception.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiv::pixels {

// The largest width or height a grid may have, and the most pixels.
constexpr uint32_t max_side = 65535;
constexpr uint64_t max_pixels = 0x7FFFFFFFu;

struct Grid {
    uint32_t* pixels; // width x height words, row by row
    uint32_t width;
    uint32_t height;
    // The drawing cache kept by the image layer (a premultiplied surface),
    // or null.
    void* drawing;
    // The node of the image record that owns the grid, 0 while none does.
    uint32_t owner;

    uint64_t count() const { return uint64_t(width) * height; }
    size_t bytes() const { return size_t(count()) * 4; }
};

// Whether a grid of this size may be made.
bool fits(int64_t width, int64_t height);

// A grid of the size with unspecified pixels, or null when the size does
// not fit or memory runs out. Both sides are at least 1.
Grid* alloc(uint32_t width, uint32_t height);
// Frees the pixels and the grid (not the drawing cache).
void free(Grid* grid);

inline uint32_t pack(uint8_t r, uint8_t g, uint8_t b, uint8_t opacity) {
    return uint32_t(opacity) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

void fill(Grid& grid, uint32_t pixel);
// Fills in pixel order from RGB byte triples and per-pixel alpha bytes
// (transparency, 0 = opaque); where either runs out the pixel is white
// or opaque.
void fill_from(Grid& grid, const uint8_t* rgb, size_t rgb_length, const uint8_t* alpha,
               size_t alpha_length);

// Fills the target with the source scaled nearest-neighbour.
void scale_into(const Grid& source, Grid& target);
// Fills the target (of the source's size) with the source's rows in
// reverse order.
void flip_into(const Grid& source, Grid& target);
// Copies rows of `width` pixels `stride` bytes apart into the grid.
void copy_rows(Grid& target, const uint8_t* data, size_t stride);

// Copies a width x height block between grids (the two may be the same
// one; overlapping blocks are read before they are written).
void blit(Grid& target, uint32_t tx, uint32_t ty, const Grid& source, uint32_t sx, uint32_t sy,
          uint32_t width, uint32_t height);

} // namespace kiv::pixels
