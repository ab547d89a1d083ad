// The decoder and encoder of each image format behind image_codecs. Each
// decoder receives bytes that carry its format's signature and answers
// ok with a grid of straight pixels, or bad; each encoder writes the
// whole file into `out`, which comes empty, and answers false when its
// library fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/image_codecs.h"
#include "platform/pixels.h"

namespace kiv::image_formats {

using image_codecs::Decoded;

Decoded decode_png(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt);
bool encode_png(const pixels::Grid& grid, std::vector<uint8_t>& out);
Decoded decode_jpeg(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt);
bool encode_jpeg(const pixels::Grid& grid, std::vector<uint8_t>& out);
Decoded decode_gif(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt);
bool encode_gif(const pixels::Grid& grid, std::vector<uint8_t>& out);
Decoded decode_tiff(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt);
bool encode_tiff(const pixels::Grid& grid, std::vector<uint8_t>& out);
Decoded decode_bmp(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt);
bool encode_bmp(const pixels::Grid& grid, std::vector<uint8_t>& out);

// A grid of a decoded file's size: null with `result` set to bad when the
// size is refused, or to no_memory when the pixels cannot be had.
pixels::Grid* alloc_decoded(uint64_t width, uint64_t height, Decoded::Result& result);

} // namespace kiv::image_formats
