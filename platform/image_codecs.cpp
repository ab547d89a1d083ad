#include "platform/image_codecs.h"

#include <algorithm>
#include <initializer_list>

#include "platform/image_formats.h"

namespace kiv::image_codecs {

namespace {

bool starts_with(const uint8_t* bytes, size_t length, std::initializer_list<uint8_t> prefix) {
    return length >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes);
}

// Each format's decoder and encoder, by encoder number.
struct Codec {
    Decoded (*decode)(const uint8_t*, size_t, const std::atomic<bool>&);
    bool (*encode)(const pixels::Grid&, std::vector<uint8_t>&);
};

constexpr Codec codecs[] = {
    {image_formats::decode_bmp, image_formats::encode_bmp},
    {image_formats::decode_png, image_formats::encode_png},
    {image_formats::decode_gif, image_formats::encode_gif},
    {image_formats::decode_jpeg, image_formats::encode_jpeg},
    {image_formats::decode_tiff, image_formats::encode_tiff},
};

} // namespace

Format sniff(const uint8_t* bytes, size_t length) {
    if (starts_with(bytes, length, {0x89, 0x50, 0x4E, 0x47})) return png;
    if (starts_with(bytes, length, {0xFF, 0xD8, 0xFF})) return jpeg;
    if (starts_with(bytes, length, {0x42, 0x4D})) return bmp;
    if (starts_with(bytes, length, {0x47, 0x49, 0x46, 0x38}) && length >= 6 &&
        (bytes[4] == 0x37 || bytes[4] == 0x39) && bytes[5] == 0x61)
        return gif;
    if (starts_with(bytes, length, {0x49, 0x49, 0x2A, 0x00}) ||
        starts_with(bytes, length, {0x4D, 0x4D, 0x00, 0x2A}))
        return tiff;
    return unknown;
}

bool decodable_size(uint64_t width, uint64_t height) {
    return width >= 1 && height >= 1 && width <= pixels::max_side && height <= pixels::max_side &&
           width * height <= max_decoded_pixels;
}

Decoded decode(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt) {
    Format format = sniff(bytes, length);
    if (format == unknown) return {Decoded::unsupported, nullptr};
    return codecs[format].decode(bytes, length, interrupt);
}

bool encode(const pixels::Grid& grid, Format format, std::vector<uint8_t>& out) {
    out.clear();
    return format != unknown && codecs[format].encode(grid, out);
}

} // namespace kiv::image_codecs

namespace kiv::image_formats {

pixels::Grid* alloc_decoded(uint64_t width, uint64_t height, Decoded::Result& result) {
    if (!image_codecs::decodable_size(width, height)) {
        result = Decoded::bad;
        return nullptr;
    }
    pixels::Grid* grid = pixels::alloc(uint32_t(width), uint32_t(height));
    result = grid ? Decoded::ok : Decoded::no_memory;
    return grid;
}

} // namespace kiv::image_formats
