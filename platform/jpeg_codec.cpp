// JPEG through libjpeg-turbo: decoded straight into BGRA (grayscale
// included), CMYK and YCCK files converted here; encoded at a fixed
// quality. A progressive file is refused past `max_jpeg_scans` scans, and
// the caller's interrupt flag (Ctrl-C) stops a decode at the library's next progress
// report.
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstdlib>

#include <jpeglib.h>
// after jpeglib.h, which it needs
#include <jerror.h>

#include "platform/image_formats.h"

namespace kiv::image_formats {

namespace {

// libjpeg's default error exit ends the process and its messages go to
// standard error: errors jump back here instead, messages are dropped.
struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
    Decoded::Result failure = Decoded::bad; // what the jump back reports
    const std::atomic<bool>* interrupt;     // the caller's: set, the decode stops
};

void jpeg_fail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->back, 1);
}

// Messages are dropped, except the warning that the data ended early
// (the library would fill the rest with gray): a file cut short is
// refused.
void jpeg_quiet(j_common_ptr info, int level) {
    if (level == -1 && info->err->msg_code == JWRN_JPEG_EOF) jpeg_fail(info);
}
void jpeg_no_output(j_common_ptr) {}

// Reported once per row of blocks while a file is read, and between the
// passes over it: a file with more scans than encoders write is refused,
// and an interrupt stops the decode. Both jump back: an exception cannot
// cross the C library. (`errors` is reached through the library's
// pointer, so it is read from memory after the jump.)
void jpeg_progress(j_common_ptr info) {
    auto& errors = *reinterpret_cast<JpegErrors*>(info->err);
    if (errors.interrupt->load(std::memory_order_relaxed)) {
        errors.failure = Decoded::interrupted;
        std::longjmp(errors.back, 1);
    }
    if (!info->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > image_codecs::max_jpeg_scans)
        std::longjmp(errors.back, 1);
}

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

} // namespace

Decoded decode_jpeg(const uint8_t* bytes, size_t length, const std::atomic<bool>& interrupt) {
    jpeg_decompress_struct info{};
    JpegErrors errors;
    errors.interrupt = &interrupt;
    install(errors);
    info.err = &errors.manager;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = jpeg_progress;
    // Locals that change after setjmp and are read after a jump are
    // volatile.
    pixels::Grid* volatile grid = nullptr;
    uint8_t* volatile row = nullptr;
    if (setjmp(errors.back)) {
        jpeg_destroy_decompress(&info);
        pixels::free(grid);
        delete[] row;
        return {errors.failure, nullptr};
    }
    jpeg_create_decompress(&info); // clears every field but the error manager
    info.progress = &progress;
    jpeg_mem_src(&info, bytes, (unsigned long)length);
    jpeg_read_header(&info, TRUE);
    if (!image_codecs::decodable_size(info.image_width, info.image_height)) {
        jpeg_destroy_decompress(&info);
        return {Decoded::bad, nullptr};
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    Decoded::Result result = Decoded::bad;
    grid = alloc_decoded(info.output_width, info.output_height, result);
    if (!grid) {
        jpeg_destroy_decompress(&info);
        return {result, nullptr};
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
    jpeg_set_quality(&info, image_codecs::jpeg_quality, TRUE);
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

} // namespace kiv::image_formats
