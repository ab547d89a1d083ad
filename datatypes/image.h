// image!: a rectangular grid of 32-bit pixels that behaves as a series of
// pixels in row-major order. Positions are pixel offsets, or x.y pairs;
// pixels read and written by the language are tuples R.G.B.A whose A is
// transparency (0 opaque), the inverse of the opacity the buffer keeps.
//
// The cell: head pixel offset (word 1), the node of the image record or 0
// for an image without pixels (word 2), width in the low and height in the
// high 16 bits (word 3). An image's length is width x height from its cell.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::image {

inline uint32_t width_of(const Cell& image) {
    return image.w3 & 0xFFFFu;
}
inline uint32_t height_of(const Cell& image) {
    return image.w3 >> 16;
}
inline uint64_t pixel_count(const Cell& image) {
    return uint64_t(width_of(image)) * height_of(image);
}

// A hash that images equal as they compare share: the whole grid's pixels
// and its width.
uint32_t content_hash(const Cell& image);

// The pixel at a 0-based offset as a 4-component tuple; none at the tail.
Cell pick_pixel(const Cell& image, uint64_t offset);
// A pixel word from a tuple (a 3-component tuple is opaque).
uint32_t pixel_of(const Cell& tuple);

// The whole image's pixel data from pixel 0: mode 0 one transparency byte
// per pixel, mode 1 R, G, B per pixel, mode 2 the raw pixel words.
void extract_data(const Cell& image, uint32_t mode, Cell& out);
// Replaces pixel data from pixel 0 in the same modes, from a binary!, a
// tuple! or an integer!; another value raises script invalid-arg.
void set_data(const Cell& image, const Cell& value, uint32_t mode);

// Direct access for the GUI backend: the image's width x height pixel
// words (straight, row by row), null for an image without pixels. Nothing
// that allocates may run until the matching unlock_pixels.
uint32_t* lock_pixels(const Cell& image);
// Ends a lock_pixels access; when the pixels were changed, the drawing
// cache is dropped and the image's owner told (action `changed`, the head,
// 0 pixels, as for the data paths).
void unlock_pixels(const Cell& image, bool changed);

// The image the bytes of a binary! hold when they start with a known
// signature; false (and `out` untouched) for other bytes. Corrupt data
// raises access bad-media.
bool decode_binary(const Cell& binary, Cell& out);
// decode_binary for a binary!; for a file! the image its bytes hold
// (access cannot-open naming the file when it cannot be read or holds
// none).
void decode_source(const Cell& source, Cell& out);
// The image encoded by the encoder of the number (0 BMP, 1 PNG, 2 GIF,
// 3 JPEG, 4 TIFF) into a new binary!; a zero dimension raises access
// bad-media.
void encode_checked(const Cell& image, int32_t encoder, Cell& out);

// Set by the GUI: `to image!` of a face draws it into `out` (none when it
// has no window); false for an object that is no face.
extern bool (*face_to_image)(const Cell& face, Cell& out);

void init();

} // namespace kiv::image
