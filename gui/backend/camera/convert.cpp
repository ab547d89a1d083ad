#include "gui/backend/camera/convert.h"

#include "platform/image_formats.h"
#include "runtime/interrupt.h"

#include <algorithm>
#include <cstring>

namespace kiv::gui::camera {

namespace {

uint8_t clamp_byte(int value) {
    return uint8_t(std::clamp(value, 0, 255));
}

// Y and U, V pairs: Y0 U Y1 V for every two pixels. An odd last pixel
// takes the first half of a whole pair.
bool yuyv_frame(const StreamFormat& format, const uint8_t* data, size_t length, uint32_t* out) {
    size_t row_bytes = (size_t(format.width) + 1) / 2 * 4;
    size_t stride = std::max(format.stride, row_bytes);
    if (format.height == 0 || length < stride * (format.height - 1) + row_bytes) return false;
    for (uint32_t row = 0; row < format.height; ++row) {
        const uint8_t* in = data + stride * row;
        uint32_t* line = out + size_t(row) * format.width;
        for (uint32_t x = 0; x < format.width; x += 2, in += 4) {
            line[x] = yuv_pixel(in[0], in[1], in[3]);
            if (x + 1 < format.width) line[x + 1] = yuv_pixel(in[2], in[1], in[3]);
        }
    }
    return true;
}

// libjpeg-turbo supplies the standard Huffman tables that Motion JPEG
// frames leave out; truncated or corrupt frames decode to nothing.
bool mjpeg_frame(const StreamFormat& format, const uint8_t* data, size_t length, uint32_t* out) {
    image_formats::Decoded decoded =
        image_formats::decode_jpeg(data, length, runtime::interrupt_requested);
    pixels::Grid* grid = decoded.grid;
    bool fits = decoded.result == image_formats::Decoded::ok && grid->width == format.width &&
                grid->height == format.height;
    if (fits) std::memcpy(out, grid->pixels, grid->bytes());
    if (grid) pixels::free(grid);
    return fits;
}

} // namespace

uint32_t yuv_pixel(int y, int u, int v) {
    int c = 298 * (y - 16) + 128, d = u - 128, e = v - 128;
    return 0xFF000000u | uint32_t(clamp_byte((c + 409 * e) >> 8)) << 16 |
           uint32_t(clamp_byte((c - 100 * d - 208 * e) >> 8)) << 8 | clamp_byte((c + 516 * d) >> 8);
}

bool convert_frame(const StreamFormat& format, const uint8_t* data, size_t length, uint32_t* out) {
    return format.format == PixelFormat::yuyv ? yuyv_frame(format, data, length, out)
                                              : mjpeg_frame(format, data, length, out);
}

} // namespace kiv::gui::camera
