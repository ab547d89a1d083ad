// Camera frames into pixels: YUYV (4:2:2, BT.601 limited range) and Motion
// JPEG into 0xAARRGGBB words, opaque, top row first. Both run on the
// capture thread and touch nothing but their arguments.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiv::gui::camera {

enum class PixelFormat { yuyv, mjpeg };

// How a stream's frames are laid out: `stride` is the bytes from one row to
// the next (YUYV only).
struct StreamFormat {
    PixelFormat format = PixelFormat::yuyv;
    uint32_t width = 0;
    uint32_t height = 0;
    size_t stride = 0;
};

// One pixel from BT.601 limited-range Y, U (Cb) and V (Cr).
uint32_t yuv_pixel(int y, int u, int v);

// Converts one frame into width x height words at `out`; false (a frame to
// drop) when the bytes are too few for the format or do not decode to a
// picture of that size.
bool convert_frame(const StreamFormat& format, const uint8_t* data, size_t length, uint32_t* out);

} // namespace kiv::gui::camera
