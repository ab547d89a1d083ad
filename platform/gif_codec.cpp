// GIF through giflib, record by record rather than with DGifSlurp: every
// size is checked before anything is allocated for it, and reading stops
// at the first frame.
//
// Decoding: the canvas has the screen's size; frame 0 is drawn at its
// place, clipped to the canvas, and the canvas outside it is transparent
// black. The colour map is the frame's own or else the global one; the
// transparent index of the graphic control block before the frame gives
// opacity 0, and an index past the map's end reads as opaque black.
// Interlaced frames are read pass by pass into their rows.
//
// Encoding: pixels of opacity below 128 take the transparent index, all
// others are written opaque. Up to 256 colours (the transparent one
// counted) the palette holds them exactly; beyond that each colour is
// rounded to the nearest of a 6 x 7 x 6 cube of levels (252 colours, plus
// the transparent index). The file is GIF89a with one frame.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#include "platform/image_formats.h"

namespace kiv::image_formats {

namespace {

struct Input {
    const uint8_t* bytes;
    size_t length, at;
};

int read_input(GifFileType* gif, GifByteType* into, int wanted) {
    auto* input = static_cast<Input*>(gif->UserData);
    size_t count = std::min(size_t(wanted), input->length - input->at);
    std::memcpy(into, input->bytes + input->at, count);
    input->at += count;
    return int(count);
}

struct CloseDecoder {
    void operator()(GifFileType* gif) const {
        int error;
        DGifCloseFile(gif, &error);
    }
};

constexpr int interlace_start[] = {0, 4, 2, 1}, interlace_step[] = {8, 8, 4, 2};

// Takes the transparent index a graphic control extension sets.
void take_transparent(const GifByteType* block, int& transparent) {
    GraphicsControlBlock control;
    if (block[0] == 4 && DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
        transparent = control.TransparentColor;
}

// Skips the rest of an extension's blocks.
bool skip_extension(GifFileType* gif, GifByteType* block) {
    while (block)
        if (DGifGetExtensionNext(gif, &block) != GIF_OK) return false;
    return true;
}

// Frame 0's palette indexes, row by row, in its own rectangle.
struct Frame {
    GifImageDesc place;
    std::unique_ptr<GifPixelType[]> indexes;
};

// Reads frame 0, whose descriptor was just read: its rows, pass by pass
// when it is interlaced. The indexes are read before the canvas is made,
// so that a file cut short is refused before its pixels are allocated.
bool read_frame(GifFileType* gif, Frame& frame) {
    frame.place = gif->Image;
    const GifImageDesc& place = frame.place;
    if (place.Width <= 0 || place.Height <= 0 ||
        !image_codecs::decodable_size(uint64_t(place.Width), uint64_t(place.Height)))
        return false;
    size_t width = size_t(place.Width);
    frame.indexes.reset(new (std::nothrow) GifPixelType[width * size_t(place.Height)]);
    if (!frame.indexes) return false;
    auto read_row = [&](int row) {
        return DGifGetLine(gif, frame.indexes.get() + size_t(row) * width, place.Width) == GIF_OK;
    };
    if (place.Interlace) {
        for (int pass = 0; pass < 4; ++pass)
            for (int row = interlace_start[pass]; row < place.Height; row += interlace_step[pass])
                if (!read_row(row)) return false;
    } else {
        for (int row = 0; row < place.Height; ++row)
            if (!read_row(row)) return false;
    }
    return true;
}

// Draws the frame at its place on a transparent canvas.
void compose(const Frame& frame, const ColorMapObject& map, int transparent, pixels::Grid& canvas) {
    uint32_t palette[256];
    for (int i = 0; i < 256; ++i) {
        const GifColorType* c = i < map.ColorCount ? &map.Colors[i] : nullptr;
        palette[i] = i == transparent ? 0
                     : c              ? pixels::pack(c->Red, c->Green, c->Blue, 255)
                                      : pixels::pack(0, 0, 0, 255);
    }
    pixels::fill(canvas, 0);
    const GifImageDesc& place = frame.place;
    for (int64_t row = 0; row < place.Height; ++row) {
        int64_t y = place.Top + row;
        if (y < 0 || y >= canvas.height) continue;
        const GifPixelType* line = frame.indexes.get() + size_t(row) * size_t(place.Width);
        for (int64_t x = 0; x < place.Width; ++x) {
            int64_t cx = place.Left + x;
            if (cx >= 0 && cx < canvas.width)
                canvas.pixels[size_t(y) * canvas.width + size_t(cx)] = palette[line[x]];
        }
    }
}

} // namespace

Decoded decode_gif(const uint8_t* bytes, size_t length, const std::atomic<bool>&) {
    Input input{bytes, length, 0};
    int error = 0;
    std::unique_ptr<GifFileType, CloseDecoder> gif(DGifOpen(&input, read_input, &error));
    if (!gif || !image_codecs::decodable_size(uint64_t(std::max(gif->SWidth, 0)),
                                              uint64_t(std::max(gif->SHeight, 0))))
        return {Decoded::bad, nullptr};
    int transparent = -1;
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif.get(), &record) != GIF_OK) break;
        if (record == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif.get(), &code, &block) != GIF_OK) break;
            if (code == GRAPHICS_EXT_FUNC_CODE && block) take_transparent(block, transparent);
            if (!skip_extension(gif.get(), block)) break;
        } else if (record == IMAGE_DESC_RECORD_TYPE) {
            Frame frame;
            if (DGifGetImageDesc(gif.get()) != GIF_OK || !read_frame(gif.get(), frame)) break;
            const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
            if (!map) break;
            Decoded::Result result;
            pixels::Grid* canvas =
                alloc_decoded(uint64_t(gif->SWidth), uint64_t(gif->SHeight), result);
            if (canvas) compose(frame, *map, transparent, *canvas);
            return {result, canvas};
        } else {
            break; // the terminator before any frame, or an unknown record
        }
    }
    return {Decoded::bad, nullptr};
}

// ------------------------------------------------------------- encoding

namespace {

struct Output {
    std::vector<uint8_t>& bytes;
};

int write_output(GifFileType* gif, const GifByteType* from, int count) {
    auto& out = static_cast<Output*>(gif->UserData)->bytes;
    out.insert(out.end(), from, from + count);
    return count;
}

constexpr uint32_t clear_key = 0xFFFFFFFFu; // no opaque colour has this key

bool see_through(uint32_t pixel) {
    return (pixel >> 24) < 128;
}

// The cube level nearest to a channel, for `levels` levels over 0-255.
uint32_t level(uint32_t channel, uint32_t levels) {
    return (channel * (levels - 1) + 127) / 255;
}

uint8_t level_value(uint32_t index, uint32_t levels) {
    return uint8_t((index * 255 + (levels - 1) / 2) / (levels - 1));
}

// The palette and each pixel's index into it.
struct Indexed {
    std::vector<GifColorType> colours;
    int transparent = -1;
    std::vector<GifPixelType> indexes;
};

// Exact palette when the distinct colours fit; false when they do not.
bool index_exactly(const pixels::Grid& grid, Indexed& out) {
    std::unordered_map<uint32_t, GifPixelType> seen;
    out.indexes.resize(grid.count());
    for (size_t i = 0; i < grid.count(); ++i) {
        uint32_t pixel = grid.pixels[i];
        uint32_t key = see_through(pixel) ? clear_key : pixel & 0xFFFFFFu;
        auto found = seen.find(key);
        if (found == seen.end()) {
            if (seen.size() == 256) return false;
            found = seen.emplace(key, GifPixelType(seen.size())).first;
            if (key == clear_key) out.transparent = found->second;
            out.colours.push_back({uint8_t(key >> 16), uint8_t(key >> 8), uint8_t(key)});
        }
        out.indexes[i] = found->second;
    }
    return true;
}

void index_by_cube(const pixels::Grid& grid, Indexed& out) {
    constexpr uint32_t reds = 6, greens = 7, blues = 6;
    out.colours.clear();
    for (uint32_t r = 0; r < reds; ++r)
        for (uint32_t g = 0; g < greens; ++g)
            for (uint32_t b = 0; b < blues; ++b)
                out.colours.push_back(
                    {level_value(r, reds), level_value(g, greens), level_value(b, blues)});
    out.transparent = int(out.colours.size());
    out.colours.push_back({0, 0, 0});
    for (size_t i = 0; i < grid.count(); ++i) {
        uint32_t p = grid.pixels[i];
        out.indexes[i] = see_through(p) ? GifPixelType(out.transparent)
                                        : GifPixelType((level(p >> 16 & 0xFF, reds) * greens +
                                                        level(p >> 8 & 0xFF, greens)) *
                                                           blues +
                                                       level(p & 0xFF, blues));
    }
}

struct CloseEncoder {
    void operator()(GifFileType* gif) const {
        int error;
        EGifCloseFile(gif, &error);
    }
};

struct FreeMap {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};

} // namespace

bool encode_gif(const pixels::Grid& grid, std::vector<uint8_t>& out) {
    Indexed indexed;
    if (!index_exactly(grid, indexed)) index_by_cube(grid, indexed);
    // Colour maps have a power-of-two size of at least 2.
    int bits = 1;
    while ((size_t(1) << bits) < indexed.colours.size()) ++bits;
    indexed.colours.resize(size_t(1) << bits, GifColorType{0, 0, 0});
    std::unique_ptr<ColorMapObject, FreeMap> map(
        GifMakeMapObject(1 << bits, indexed.colours.data()));
    if (!map) return false;
    Output output{out};
    int error = 0;
    GifFileType* opened = EGifOpen(&output, write_output, &error);
    if (!opened) return false;
    EGifSetGifVersion(opened, true);
    bool written =
        EGifPutScreenDesc(opened, int(grid.width), int(grid.height), bits, 0, map.get()) == GIF_OK;
    if (written && indexed.transparent >= 0) {
        GraphicsControlBlock control{DISPOSAL_UNSPECIFIED, false, 0, indexed.transparent};
        GifByteType block[4];
        EGifGCBToExtension(&control, block);
        written = EGifPutExtension(opened, GRAPHICS_EXT_FUNC_CODE, 4, block) == GIF_OK;
    }
    written = written && EGifPutImageDesc(opened, 0, 0, int(grid.width), int(grid.height), false,
                                          nullptr) == GIF_OK;
    for (uint32_t y = 0; written && y < grid.height; ++y)
        written = EGifPutLine(opened, indexed.indexes.data() + size_t(y) * grid.width,
                              int(grid.width)) == GIF_OK;
    // Closing writes the trailer.
    return EGifCloseFile(opened, &error) == GIF_OK && written;
}

} // namespace kiv::image_formats
