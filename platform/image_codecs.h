// Image file formats: telling them by their first bytes, decoding them
// into pixel grids and encoding grids into them. PNG, JPEG, GIF and TIFF
// go through libpng, libjpeg-turbo, giflib and libtiff; BMP is read and
// written here. Decoding never trusts the input: truncated or
// corrupt data is a `bad` result, never a crash, a read past the input,
// a process exit or a message on the terminal.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/pixels.h"

namespace kiv::image_codecs {

// The encoder numbers.
enum Format : int32_t { unknown = -1, bmp = 0, png = 1, gif = 2, jpeg = 3, tiff = 4 };

// The format whose signature the bytes start with, or unknown.
Format sniff(const uint8_t* bytes, size_t length);

// The most pixels a decoder accepts (2^28) and the side limit of grids.
constexpr uint64_t max_decoded_pixels = uint64_t(1) << 28;
bool decodable_size(uint64_t width, uint64_t height);

// The most scans a progressive JPEG may hold: encoders write about ten
// (some tens when they search for the smallest script). Each scan is a
// pass over every block, so that a small file of redundant scans over a
// large picture keeps the decoder busy for minutes.
constexpr int max_jpeg_scans = 500;

// `interrupted`: the caller's interrupt flag was set during the decode
// (JPEG files, which can take long, look at it); the caller raises it.
struct Decoded {
    enum Result { ok, unsupported, bad, no_memory, interrupted } result;
    pixels::Grid* grid; // frame 0, straight alpha; owned by the caller
};

// Decodes the first frame of the bytes; `interrupt` set stops a long
// decode.
Decoded decode(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt);

// Encodes the grid in the format into `out` (see each encoder for its
// choices); false when the library fails.
bool encode(const pixels::Grid& grid, Format format, std::vector<uint8_t>& out);

// The quality JPEG images are written at (0-100).
constexpr int jpeg_quality = 90;

} // namespace kiv::image_codecs
