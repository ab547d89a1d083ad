// TIFF through libtiff over memory: the library reads and writes through
// callbacks on a byte range, never a file, and its messages go to
// handlers of this open that drop them.
//
// Decoding reads the first directory through the RGBA image reader, which
// handles every layout (strips or tiles, any compression it supports,
// palettes, grayscale, YCbCr...) and answers premultiplied pixels; they
// are turned back to straight alpha by rounding c x 255 / a to nearest.
//
// Encoding writes one directory of 8-bit RGBA, unassociated alpha, LZW
// compressed, in strips of the library's default size.
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/image_formats.h"
#include "platform/tiff_api.h"

namespace kiv::image_formats {

namespace {

// The bytes libtiff reads from or writes to.
struct Memory {
    const uint8_t* input;         // reading
    std::vector<uint8_t>* output; // writing
    uint64_t length, at;
};

Memory& memory_of(thandle_t handle) {
    return *static_cast<Memory*>(handle);
}

tmsize_t read_memory(thandle_t handle, void* into, tmsize_t wanted) {
    Memory& m = memory_of(handle);
    if (!m.input || wanted < 0 || m.at >= m.length) return 0;
    uint64_t count = std::min<uint64_t>(uint64_t(wanted), m.length - m.at);
    std::memcpy(into, m.input + m.at, count);
    m.at += count;
    return tmsize_t(count);
}

tmsize_t write_memory(thandle_t handle, void* from, tmsize_t count) {
    Memory& m = memory_of(handle);
    if (!m.output || count < 0) return -1;
    uint64_t end = m.at + uint64_t(count);
    if (end > m.output->size()) m.output->resize(end);
    std::memcpy(m.output->data() + m.at, from, size_t(count));
    m.at = end;
    m.length = std::max(m.length, end);
    return count;
}

toff_t seek_memory(thandle_t handle, toff_t offset, int whence) {
    Memory& m = memory_of(handle);
    uint64_t base = whence == SEEK_CUR ? m.at : whence == SEEK_END ? m.length : 0;
    m.at = base + offset;
    return m.at;
}

int close_memory(thandle_t) {
    return 0;
}

toff_t size_memory(thandle_t handle) {
    return memory_of(handle).length;
}

int no_map(thandle_t, void**, toff_t*) {
    return 0;
}

void no_unmap(thandle_t, void*, toff_t) {}

// The largest block libtiff may allocate for one strip, tile or table
// (the pixels themselves are allocated here).
constexpr tmsize_t max_library_block = tmsize_t(256) << 20;

int drop_message(TIFF*, void*, const char*, const char*, va_list) {
    return 1; // handled: the library prints nothing
}

struct Close {
    void operator()(TIFF* tiff) const { tiff_api()->Close(tiff); }
};

using Tiff = std::unique_ptr<TIFF, Close>;

// An open over the bytes; none also when libtiff cannot be loaded, so the
// other calls here, made only on an open TIFF, find it loaded.
Tiff open_memory(Memory& memory, const char* mode) {
    if (!tiff_api()) return nullptr;
    TIFFOpenOptions* options = tiff_api()->OpenOptionsAlloc();
    tiff_api()->OpenOptionsSetErrorHandlerExtR(options, drop_message, nullptr);
    tiff_api()->OpenOptionsSetWarningHandlerExtR(options, drop_message, nullptr);
    tiff_api()->OpenOptionsSetMaxSingleMemAlloc(options, max_library_block);
    TIFF* tiff =
        tiff_api()->ClientOpenExt("memory", mode, &memory, read_memory, write_memory, seek_memory,
                                  close_memory, size_memory, no_map, no_unmap, options);
    tiff_api()->OpenOptionsFree(options);
    return Tiff(tiff);
}

// A premultiplied channel back to straight, rounded to nearest.
uint32_t straight(uint32_t channel, uint32_t opacity) {
    return std::min<uint32_t>(255, (channel * 255 + opacity / 2) / opacity);
}

} // namespace

Decoded decode_tiff(const uint8_t* bytes, size_t length, const std::atomic<bool>&) {
    Memory memory{bytes, nullptr, length, 0};
    Tiff tiff = open_memory(memory, "rm");
    if (!tiff) return {Decoded::bad, nullptr};
    uint32_t width = 0, height = 0;
    char message[1024];
    if (!tiff_api()->GetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !tiff_api()->GetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) ||
        !tiff_api()->RGBAImageOK(tiff.get(), message))
        return {Decoded::bad, nullptr};
    Decoded::Result result = Decoded::bad;
    pixels::Grid* grid = alloc_decoded(width, height, result);
    if (!grid) return {result, nullptr};
    // Stopping at the first damaged strip or tile: a file cut short is
    // refused rather than read on through every missing piece.
    if (!tiff_api()->ReadRGBAImageOriented(tiff.get(), width, height, grid->pixels,
                                           ORIENTATION_TOPLEFT, 1)) {
        pixels::free(grid);
        return {Decoded::bad, nullptr};
    }
    // The reader's words hold R, G, B, A in memory order.
    for (size_t i = 0; i < grid->count(); ++i) {
        uint32_t p = grid->pixels[i];
        uint32_t r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p), a = TIFFGetA(p);
        if (a == 0)
            r = g = b = 0;
        else if (a < 255)
            r = straight(r, a), g = straight(g, a), b = straight(b, a);
        grid->pixels[i] = pixels::pack(uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a));
    }
    return {Decoded::ok, grid};
}

bool encode_tiff(const pixels::Grid& grid, std::vector<uint8_t>& out) {
    std::vector<uint8_t> file;
    Memory memory{nullptr, &file, 0, 0};
    Tiff tiff = open_memory(memory, "w");
    if (!tiff) return false;
    uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFF* t = tiff.get();
    bool written =
        tiff_api()->SetField(t, TIFFTAG_IMAGEWIDTH, grid.width) &&
        tiff_api()->SetField(t, TIFFTAG_IMAGELENGTH, grid.height) &&
        tiff_api()->SetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
        tiff_api()->SetField(t, TIFFTAG_SAMPLESPERPIXEL, 4) &&
        tiff_api()->SetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) &&
        tiff_api()->SetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
        tiff_api()->SetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
        tiff_api()->SetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
        tiff_api()->SetField(t, TIFFTAG_ROWSPERSTRIP, tiff_api()->DefaultStripSize(t, 0));
    std::vector<uint8_t> row(size_t(grid.width) * 4);
    for (uint32_t y = 0; written && y < grid.height; ++y) {
        const uint32_t* line = grid.pixels + size_t(y) * grid.width;
        for (uint32_t x = 0; x < grid.width; ++x) {
            uint32_t p = line[x];
            uint8_t* rgba = row.data() + size_t(x) * 4;
            rgba[0] = uint8_t(p >> 16), rgba[1] = uint8_t(p >> 8), rgba[2] = uint8_t(p),
            rgba[3] = uint8_t(p >> 24);
        }
        written = tiff_api()->WriteScanline(t, row.data(), y, 0) == 1;
    }
    written = written && tiff_api()->Flush(t);
    // Closing writes the directory.
    tiff.reset();
    if (!written) return false;
    out.insert(out.end(), file.begin(), file.end());
    return true;
}

} // namespace kiv::image_formats
