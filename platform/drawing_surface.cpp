#include "platform/drawing_surface.h"

#include "platform/cairo_api.h"

#include <algorithm>

namespace kiv::drawing_surface {

namespace {

uint32_t premultiplied(uint32_t pixel) {
    uint32_t a = pixel >> 24;
    if (a == 255) return pixel;
    auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | channel(pixel >> 16 & 0xFF) << 16 | channel(pixel >> 8 & 0xFF) << 8 |
           channel(pixel & 0xFF);
}

uint32_t straight(uint32_t pixel) {
    uint32_t a = pixel >> 24;
    if (a == 255) return pixel;
    if (a == 0) return 0;
    auto channel = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    return a << 24 | channel(pixel >> 16 & 0xFF) << 16 | channel(pixel >> 8 & 0xFF) << 8 |
           channel(pixel & 0xFF);
}

} // namespace

cairo_surface_t* make(const pixels::Grid& grid) {
    const CairoApi* cairo = cairo_api();
    if (!cairo) return nullptr;
    cairo_surface_t* surface =
        cairo->image_surface_create(CAIRO_FORMAT_ARGB32, int(grid.width), int(grid.height));
    if (cairo->surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo->surface_destroy(surface);
        return nullptr;
    }
    uint8_t* data = cairo->image_surface_get_data(surface);
    size_t stride = size_t(cairo->image_surface_get_stride(surface));
    for (uint32_t y = 0; y < grid.height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        const uint32_t* from = grid.pixels + size_t(y) * grid.width;
        for (uint32_t x = 0; x < grid.width; ++x) row[x] = premultiplied(from[x]);
    }
    cairo->surface_mark_dirty(surface);
    return surface;
}

// The surfaces come from `make`: Cairo is loaded.
void straighten(cairo_surface_t* surface, pixels::Grid& grid) {
    const CairoApi* cairo = cairo_api();
    cairo->surface_flush(surface);
    const uint8_t* data = cairo->image_surface_get_data(surface);
    size_t stride = size_t(cairo->image_surface_get_stride(surface));
    for (uint32_t y = 0; y < grid.height; ++y) {
        auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
        uint32_t* to = grid.pixels + size_t(y) * grid.width;
        for (uint32_t x = 0; x < grid.width; ++x) to[x] = straight(row[x]);
    }
}

void release(void* surface) {
    cairo_api()->surface_destroy(static_cast<cairo_surface_t*>(surface));
}

} // namespace kiv::drawing_surface
