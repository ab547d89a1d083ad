// The image layer: the buffer record an image! value refers to, and the
// operations that make, read and write image buffers.
//
// An image cell's node refers to a small byte-series record (flags, size,
// externals index). The pixels live in a grid on the heap, owned through
// the externals table under the kind "image": its release callback frees
// the pixels and the drawing cache when the collector finds the record
// unreferenced. No cell ever holds the grid's address.
#pragma once

#include <cstddef>
#include <cstdint>

#include <vector>

#include "platform/drawing_surface.h"
#include "platform/image_codecs.h"
#include "platform/pixels.h"
#include "runtime/cell.h"

namespace kiv::image {

// Record flags.
namespace flag {
constexpr uint32_t current = 0x01;      // the pixels are the image's content
constexpr uint32_t written = 0x02;      // pixels changed since the drawing cache was made
constexpr uint32_t drawn = 0x20;        // the drawing cache is newer than the pixels
constexpr uint32_t drawing_used = 0x40; // the drawing cache was used since the last collection
} // namespace flag

struct Record {
    uint32_t flags;
    uint32_t size; // width in the low 16 bits, height in the high 16 bits
    int32_t external;
    uint32_t spare;
};

Record& record_of(NodeId node);
pixels::Grid& grid_of(NodeId node);
inline uint32_t pack_size(uint32_t width, uint32_t height) {
    return width | height << 16;
}
uint32_t width(NodeId node);
uint32_t height(NodeId node);

// Registers the grid under a new record with the flags; the grid then
// belongs to the record. The record may be collected at the next
// allocation unless the caller stores the node in a rooted cell first.
NodeId make_node(pixels::Grid* grid, uint32_t flags);

// A grid of the size, collecting first when much pixel memory was made
// since the last collection; internal no-memory when it cannot be made.
pixels::Grid* new_grid(uint32_t width, uint32_t height);
// Turns the null result of a grid operation into internal no-memory.
pixels::Grid* checked(pixels::Grid* grid);

// A new buffer of the size (0 when a dimension is 0): filled with the
// colour (0xAARRGGBB) when `colour` is given, else from the RGB triples and
// alpha bytes, white and opaque where they run out.
NodeId create(uint32_t width, uint32_t height, const uint32_t* colour, const uint8_t* rgb,
              size_t rgb_length, const uint8_t* alpha, size_t alpha_length);
// A buffer from pixel rows `stride` bytes apart (0: width x 4).
NodeId from_memory(const uint8_t* data, uint32_t width, uint32_t height, size_t stride);

uint32_t get_pixel(NodeId node, uint64_t offset);
void set_pixel(NodeId node, uint64_t offset, uint32_t pixel);
// Declares the pixels changed: the drawing cache is dropped.
void touched(NodeId node);

NodeId copy_node(NodeId node);
// The rectangle clipped to the buffer; 0 when it is empty.
NodeId copy_rect(NodeId node, int64_t x, int64_t y, int64_t width, int64_t height);
NodeId scale(NodeId node, uint32_t width, uint32_t height);
NodeId flip_vertical(NodeId node);

// Decodes encoded image bytes into a new buffer; 0 with the result when
// decoding gives no image.
NodeId decode(const uint8_t* bytes, size_t length, image_codecs::Decoded::Result& result);
// Encodes the buffer's pixels; false when the encoder fails.
bool encode(NodeId node, image_codecs::Format format, std::vector<uint8_t>& out);

// An image! cell at head 0 over the buffer (none: an image without pixels).
Cell* make_at(Cell& cell, NodeId node);
// An image holding the image scaled to the size, pushed on the stack.
Cell* push_scaled(const Cell& image, uint32_t width, uint32_t height);

// Pixel bytes held by live grids, and the bytes made since the last
// collection (the collector's allocation pressure from pixels).
struct Pressure {
    uint64_t live = 0;
    uint64_t since_collection = 0;
    uint32_t collections_seen = 0;
};
extern Pressure pressure;

// The drawing cache: a premultiplied Cairo surface of the buffer's
// pixels (see platform/drawing_surface.h for its rounding), made on
// demand and marked used; null when Cairo cannot make it.
cairo_surface_t* drawing(NodeId node);
// Declares that the backend drew into the drawing cache: the pixels are
// rebuilt from it, straight, before they are next read.
void invalidate_drawing(NodeId node);
// Releases the buffer's drawing cache, if any.
void release_drawing_cache(NodeId node);
// The collector's per-collection visit of a buffer: an unused drawing
// cache is released at the second collection that finds it idle.
void on_collect(pixels::Grid& grid);

// Registers the externals kind "image" and the collector's visit.
void init_layer();

} // namespace kiv::image
