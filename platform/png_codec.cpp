// PNG through libpng: its simplified API reads every colour type, depth
// and interlacing into 8-bit BGRA.
#include <png.h>
#include <zlib.h>

#include <new>

#include "platform/image_formats.h"

namespace kiv::image_formats {

Decoded decode_png(const uint8_t* bytes, size_t length, const std::atomic<bool>&) {
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

namespace {

// libpng's default error handler prints; these jump back silently.
void png_fail(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void png_quiet(png_structp, png_const_charp) {}

void png_append(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    try {
        out->insert(out->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        png_error(png, "no memory");
    }
}

void png_no_flush(png_structp) {}

} // namespace

// 8-bit RGBA with straight alpha, through libpng's full writer: zlib
// level 6 with its default strategy and libpng's adaptive row filters, in
// one pass (the simplified writer compresses twice to learn the size and
// uses a slower strategy).
bool encode_png(const pixels::Grid& grid, std::vector<uint8_t>& out) {
    // Room for a file half the pixels' size, which most pictures fit in:
    // growing the buffer as it fills would hold two copies at once.
    try {
        out.reserve(grid.bytes() / 2 + 1024);
    } catch (const std::bad_alloc&) {
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, png_append, png_no_flush);
    png_set_IHDR(png, info, grid.width, grid.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);
    png_write_info(png, info);
    png_set_bgr(png); // our words are B, G, R, A in memory
    for (uint32_t y = 0; y < grid.height; ++y)
        png_write_row(png, reinterpret_cast<png_const_bytep>(grid.pixels + size_t(y) * grid.width));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace kiv::image_formats
