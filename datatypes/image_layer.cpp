#include "datatypes/image_layer.h"

#include <algorithm>

#include "datatypes/datatype.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/externals.h"
#include "runtime/interrupt.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/stack.h"

namespace kiv::image {

Pressure pressure;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(pressure);

namespace {

uint32_t kind = 0;

// Pixel bytes made since the last collection that trigger one: at least
// this much, and at least as much as was live after that collection (so
// the live set may at most double between collections).
constexpr uint64_t pressure_floor = uint64_t(64) << 20;

void release_grid(void* pointer) {
    auto* grid = static_cast<pixels::Grid*>(pointer);
    if (grid->drawing) drawing_surface::release(grid->drawing);
    pressure.live -= std::min<uint64_t>(pressure.live, grid->bytes());
    pixels::free(grid);
}

// A grid lives while the collector keeps its record.
bool grid_live(void* pointer) {
    uint32_t owner = static_cast<pixels::Grid*>(pointer)->owner;
    return owner && collector::marked(owner);
}

void visit_grid(void* pointer) {
    on_collect(*static_cast<pixels::Grid*>(pointer));
}

void visit_grids() {
    externals::release_all(kind, visit_grid);
}

[[noreturn]] void no_memory() {
    runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
}

} // namespace

Record& record_of(NodeId node) {
    return *reinterpret_cast<Record*>(memory::buffer_of(node)->head);
}

pixels::Grid& grid_of(NodeId node) {
    Record& record = record_of(node);
    auto& grid = *static_cast<pixels::Grid*>(externals::entry(record.external)->pointer);
    if (record.flags & flag::drawn) {
        record.flags &= ~flag::drawn;
        drawing_surface::straighten(static_cast<cairo_surface_t*>(grid.drawing), grid);
    }
    return grid;
}

uint32_t width(NodeId node) {
    return record_of(node).size & 0xFFFFu;
}

uint32_t height(NodeId node) {
    return record_of(node).size >> 16;
}

NodeId make_node(pixels::Grid* grid, uint32_t flags) {
    // The record is made before the grid is registered: a collection
    // during its allocation cannot sweep a grid that has no owner yet.
    NodeId node = memory::alloc_bytes(sizeof(Record));
    Buffer* buffer = memory::buffer_of(node);
    buffer->tail = buffer->head + sizeof(Record);
    grid->owner = node;
    record_of(node) = {flags, pack_size(grid->width, grid->height), externals::store(grid, kind),
                       0};
    pressure.live += grid->bytes();
    return node;
}

pixels::Grid* new_grid(uint32_t width, uint32_t height) {
    if (!pixels::fits(width, height)) no_memory();
    uint64_t bytes = uint64_t(width) * height * 4;
    if (pressure.collections_seen != collector::stats.collections) {
        pressure.collections_seen = collector::stats.collections;
        pressure.since_collection = 0;
    }
    // What was live after the last collection sets how much may be made
    // before the next one.
    uint64_t kept = pressure.live - std::min(pressure.live, pressure.since_collection);
    if (pressure.since_collection + bytes > std::max(pressure_floor, kept)) {
        collector::run();
        pressure.collections_seen = collector::stats.collections;
        pressure.since_collection = 0;
    }
    pressure.since_collection += bytes;
    return checked(pixels::alloc(width, height));
}

pixels::Grid* checked(pixels::Grid* grid) {
    if (!grid) no_memory();
    return grid;
}

NodeId create(uint32_t width, uint32_t height, const uint32_t* colour, const uint8_t* rgb,
              size_t rgb_length, const uint8_t* alpha, size_t alpha_length) {
    if (!width || !height) return 0;
    pixels::Grid* grid = new_grid(width, height);
    if (colour)
        pixels::fill(*grid, *colour);
    else
        pixels::fill_from(*grid, rgb, rgb_length, alpha, alpha_length);
    return make_node(grid, flag::current | flag::written);
}

NodeId from_memory(const uint8_t* data, uint32_t width, uint32_t height, size_t stride) {
    pixels::Grid* grid = new_grid(width, height);
    pixels::copy_rows(*grid, data, stride ? stride : size_t(width) * 4);
    return make_node(grid, flag::current | flag::written);
}

uint32_t get_pixel(NodeId node, uint64_t offset) {
    return grid_of(node).pixels[offset];
}

void set_pixel(NodeId node, uint64_t offset, uint32_t pixel) {
    grid_of(node).pixels[offset] = pixel;
    touched(node);
}

void touched(NodeId node) {
    record_of(node).flags |= flag::written;
    release_drawing_cache(node);
}

// Each operation makes its grid first (which may collect: the caller
// keeps the source's cell rooted) and reads the source grid after that.

NodeId copy_node(NodeId node) {
    return copy_rect(node, 0, 0, width(node), height(node));
}

NodeId copy_rect(NodeId node, int64_t x, int64_t y, int64_t w, int64_t h) {
    int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    int64_t x1 = std::min<int64_t>(x + w, width(node));
    int64_t y1 = std::min<int64_t>(y + h, height(node));
    if (x1 <= x0 || y1 <= y0) return 0;
    pixels::Grid* grid = new_grid(uint32_t(x1 - x0), uint32_t(y1 - y0));
    pixels::blit(*grid, 0, 0, grid_of(node), uint32_t(x0), uint32_t(y0), grid->width, grid->height);
    return make_node(grid, flag::current | flag::written);
}

NodeId scale(NodeId node, uint32_t w, uint32_t h) {
    if (!w || !h) return 0;
    pixels::Grid* grid = new_grid(w, h);
    pixels::scale_into(grid_of(node), *grid);
    return make_node(grid, flag::current | flag::written);
}

NodeId flip_vertical(NodeId node) {
    pixels::Grid* grid = new_grid(width(node), height(node));
    pixels::flip_into(grid_of(node), *grid);
    return make_node(grid, flag::current | flag::written);
}

NodeId decode(const uint8_t* bytes, size_t length, image_codecs::Decoded::Result& result) {
    image_codecs::Decoded decoded =
        image_codecs::decode(bytes, length, runtime::interrupt_requested);
    result = decoded.result;
    if (!decoded.grid) return 0;
    pressure.since_collection += decoded.grid->bytes();
    return make_node(decoded.grid, flag::current | flag::written);
}

bool encode(NodeId node, image_codecs::Format format, std::vector<uint8_t>& out) {
    return image_codecs::encode(grid_of(node), format, out);
}

Cell* make_at(Cell& cell, NodeId node) {
    cell = {TYPE_IMAGE, 0, node, node ? record_of(node).size : 0};
    return &cell;
}

Cell* push_scaled(const Cell& image, uint32_t w, uint32_t h) {
    Cell* out = stack::push(image);
    NodeId node = image.w2 ? scale(image.w2, w, h) : 0;
    return make_at(*out, node);
}

cairo_surface_t* drawing(NodeId node) {
    pixels::Grid& grid = grid_of(node);
    Record& record = record_of(node);
    if (!grid.drawing) {
        grid.drawing = drawing_surface::make(grid);
        record.flags &= ~flag::written;
    }
    if (grid.drawing) record.flags |= flag::drawing_used;
    return static_cast<cairo_surface_t*>(grid.drawing);
}

void invalidate_drawing(NodeId node) {
    if (grid_of(node).drawing) record_of(node).flags |= flag::drawn;
}

void release_drawing_cache(NodeId node) {
    pixels::Grid& grid = grid_of(node);
    if (!grid.drawing) return;
    drawing_surface::release(grid.drawing);
    grid.drawing = nullptr;
}

void on_collect(pixels::Grid& grid) {
    if (!grid.owner || !grid.drawing) return;
    Record& record = record_of(grid.owner);
    if (record.flags & flag::drawing_used) {
        record.flags &= ~flag::drawing_used;
        return;
    }
    release_drawing_cache(grid.owner);
}

void init_layer() {
    kind = externals::register_kind("image", release_grid, grid_live);
    collector::add_sweeper(visit_grids);
}

} // namespace kiv::image
