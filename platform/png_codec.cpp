// PNG through libpng's simplified API, which reads every colour type,
// depth and interlacing into 8-bit BGRA.
#include <png.h>

#include "platform/image_formats.h"

namespace kiv::image_formats {

Decoded decode_png(const uint8_t* bytes, size_t length) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, length)) return {Decoded::bad, nullptr};
    image.format = PNG_FORMAT_BGRA;
    Decoded::Result result = Decoded::bad;
    pixels::Grid* grid = alloc_decoded(image.width, image.height, result);
    if (!grid) {
        png_image_free(&image);
        return {result, nullptr};
    }
    if (!png_image_finish_read(&image, nullptr, grid->pixels, 0, nullptr)) {
        pixels::free(grid);
        return {Decoded::bad, nullptr};
    }
    return {Decoded::ok, grid};
}

// 8-bit RGBA with straight alpha.
bool encode_png(const pixels::Grid& grid, std::vector<uint8_t>& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = grid.width;
    image.height = grid.height;
    image.format = PNG_FORMAT_BGRA;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, grid.pixels, 0, nullptr)) return false;
    out.resize(size);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, grid.pixels, 0, nullptr))
        return false;
    out.resize(size);
    return true;
}

} // namespace kiv::image_formats
