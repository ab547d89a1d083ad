#include "platform/image_codecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>
#include <initializer_list>

#include <jpeglib.h>
#include <png.h>

namespace kiv::image_codecs {

namespace {

bool starts_with(const uint8_t* bytes, size_t length, std::initializer_list<uint8_t> prefix) {
    return length >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes);
}

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

// ------------------------------------------------------------------ PNG

namespace {

Decoded decode_png(const uint8_t* bytes, size_t length) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, length)) return {Decoded::bad, nullptr};
    if (!decodable_size(image.width, image.height)) {
        png_image_free(&image);
        return {Decoded::bad, nullptr};
    }
    image.format = PNG_FORMAT_BGRA;
    pixels::Grid* grid = pixels::alloc(image.width, image.height);
    if (!grid) {
        png_image_free(&image);
        return {Decoded::no_memory, nullptr};
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

// ----------------------------------------------------------------- JPEG

// libjpeg's default error exit ends the process and its messages go to
// standard error: errors jump back here instead, messages are dropped.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->back, 1);
}

void jpeg_quiet(j_common_ptr, int) {}
void jpeg_no_output(j_common_ptr) {}

void install(JpegErrors& errors) {
    jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpeg_fail;
    errors.manager.emit_message = jpeg_quiet;
    errors.manager.output_message = jpeg_no_output;
}

// A CMYK pixel as RGB. Adobe files store the inks inverted (0 = full ink),
// which is how libjpeg hands them over; the product then gives each
// channel directly.
uint32_t cmyk_pixel(const uint8_t* p, bool inverted) {
    auto channel = [&](uint8_t ink) {
        uint32_t c = inverted ? ink : 255u - ink, k = inverted ? p[3] : 255u - p[3];
        return uint8_t((c * k + 127) / 255);
    };
    return pixels::pack(channel(p[0]), channel(p[1]), channel(p[2]), 255);
}

Decoded decode_jpeg(const uint8_t* bytes, size_t length) {
    jpeg_decompress_struct info{};
    JpegErrors errors;
    install(errors);
    info.err = &errors.manager;
    // Locals that change after setjmp and are read after a jump are
    // volatile.
    pixels::Grid* volatile grid = nullptr;
    uint8_t* volatile row = nullptr;
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        pixels::free(grid);
        delete[] row;
        return {Decoded::bad, nullptr};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, (unsigned long)length);
    jpeg_read_header(&info, TRUE);
    if (!decodable_size(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return {Decoded::bad, nullptr};
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    grid = pixels::alloc(info.output_width, info.output_height);
    if (!grid) {
        jpeg_destroy_decompress(&info);
        return {Decoded::no_memory, nullptr};
    }
    if (cmyk) row = new uint8_t[size_t(info.output_width) * 4];
    while (info.output_scanline < info.output_height) {
        uint32_t* line = grid->pixels + size_t(info.output_scanline) * grid->width;
        JSAMPROW target = cmyk ? row : reinterpret_cast<JSAMPROW>(line);
        jpeg_read_scanlines(&info, &target, 1);
        if (cmyk)
            for (uint32_t x = 0; x < grid->width; ++x)
                line[x] = cmyk_pixel(row + size_t(x) * 4, info.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    delete[] row;
    return {Decoded::ok, grid};
}

// Baseline JPEG at `jpeg_quality`; the alpha bytes are dropped.
bool encode_jpeg(const pixels::Grid& grid, std::vector<uint8_t>& out) {
    jpeg_compress_struct info{};
    JpegErrors errors;
    install(errors);
    info.err = &errors.manager;
    // The library grows this buffer; its address is taken, so it is read
    // from memory after a jump.
    unsigned char* target = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.back)) {
        jpeg_destroy_compress(&info);
        std::free(target);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &target, &size);
    info.image_width = grid.width;
    info.image_height = grid.height;
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, jpeg_quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW line = reinterpret_cast<JSAMPROW>(
            const_cast<uint32_t*>(grid.pixels + size_t(info.next_scanline) * grid.width));
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    out.assign(target, target + size);
    jpeg_destroy_compress(&info);
    std::free(target);
    return true;
}

} // namespace

Decoded decode(const uint8_t* bytes, size_t length) {
    switch (sniff(bytes, length)) {
    case png: return decode_png(bytes, length);
    case jpeg: return decode_jpeg(bytes, length);
    default: return {Decoded::unsupported, nullptr};
    }
}

bool can_encode(Format format) {
    return format == png || format == jpeg;
}

bool encode(const pixels::Grid& grid, Format format, std::vector<uint8_t>& out) {
    switch (format) {
    case png: return encode_png(grid, out);
    case jpeg: return encode_jpeg(grid, out);
    default: return false;
    }
}

} // namespace kiv::image_codecs
