// BMP by hand.
//
// Decoding takes the OS/2 core header and the Windows headers from 40
// bytes up (V2 to V5): 1, 4 and 8 bits through a palette, 16 and 32 bits
// through channel masks (5-5-5 and 8-8-8 by default, or the file's
// bitfields with an optional alpha mask), 24 bits as B, G, R; RLE8 and
// RLE4 at 8 and 4 bits; rows bottom-up or, for a negative height,
// top-down. A 32-bit file without masks reads its fourth bytes as
// opacity, unless they are all 0: such files come from writers that leave
// the byte unused, and load opaque. Pixels a run-length file skips stay
// transparent black; a palette index past the palette's end reads as
// opaque black. A file cut short or inconsistent is refused.
//
// Encoding writes 32 bits per pixel, bottom-up, with a V4 header whose
// bitfields carry an alpha mask, so that readers keep the opacity.
#include <algorithm>
#include <cstring>

#include "platform/image_formats.h"

namespace kiv::image_formats {

namespace {

enum Compression : uint32_t { rgb = 0, rle8 = 1, rle4 = 2, bitfields = 3, alpha_bitfields = 6 };

constexpr size_t file_header = 14;

uint32_t le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}

uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

// One channel's mask as a shift and a width, and its 8-bit value.
struct Channel {
    uint32_t mask = 0, shift = 0, bits = 0;

    Channel() = default;
    explicit Channel(uint32_t m) : mask(m) {
        if (!m) return;
        while (!(m >> shift & 1)) ++shift;
        while (shift + bits < 32 && (m >> (shift + bits) & 1)) ++bits;
    }
    uint32_t value(uint32_t pixel) const {
        if (!bits) return 0; // an empty mask
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return v >> (bits - 8) & 0xFF;
        uint32_t top = (1u << bits) - 1;
        v &= top; // a mask with gaps keeps its lowest run
        return (v * 255 + top / 2) / top;
    }
};

struct Header {
    uint32_t width, height, bits, compression;
    bool top_down;
    size_t palette_at, palette_entry, palette_count;
    Channel red, green, blue, alpha;
    bool alpha_from_masks; // else: the fourth byte, all 0 meaning opaque
};

bool read_header(const uint8_t* b, size_t length, Header& h) {
    if (length < file_header + 16) return false;
    uint32_t size = le32(b + 14);
    const uint8_t* info = b + file_header;
    int64_t height;
    uint32_t used = 0;
    if (size == 12) {
        h.width = le16(info + 4);
        height = le16(info + 6);
        h.bits = le16(info + 10);
        h.compression = rgb;
        h.palette_entry = 3;
    } else if (size >= 40 && file_header + size <= length) {
        int32_t width = int32_t(le32(info + 4));
        if (width <= 0) return false;
        h.width = uint32_t(width);
        height = int32_t(le32(info + 8));
        h.bits = le16(info + 14);
        h.compression = le32(info + 16);
        used = le32(info + 32);
        h.palette_entry = 4;
    } else {
        return false;
    }
    h.top_down = height < 0;
    h.height = uint32_t(std::min<int64_t>(height < 0 ? -height : height, UINT32_MAX));
    h.palette_at = file_header + size;
    bool masked = h.compression == bitfields || h.compression == alpha_bitfields;
    if (masked) {
        // Masks sit in the header from 52 bytes up, after a 40-byte one.
        size_t at = size >= 52 ? file_header + 40 : h.palette_at;
        size_t count = h.compression == alpha_bitfields || size >= 56 ? 4 : 3;
        if (at + count * 4 > length) return false;
        if (size == 40) h.palette_at += count * 4;
        h.red = Channel(le32(b + at));
        h.green = Channel(le32(b + at + 4));
        h.blue = Channel(le32(b + at + 8));
        if (count == 4) h.alpha = Channel(le32(b + at + 12));
        h.alpha_from_masks = true;
        if (h.bits != 16 && h.bits != 32) return false;
    } else if (h.bits == 16) {
        h.red = Channel(0x7C00), h.green = Channel(0x3E0), h.blue = Channel(0x1F);
        h.alpha_from_masks = true;
    } else if (h.bits == 32) {
        h.red = Channel(0xFF0000), h.green = Channel(0xFF00), h.blue = Channel(0xFF);
        h.alpha = Channel(0xFF000000u);
        h.alpha_from_masks = false;
    }
    if (h.bits <= 8) {
        // As many entries as declared (all the depth allows when none
        // are), of those that lie between the header and the pixels.
        size_t offset = le32(b + 10), declared = used ? used : 1u << h.bits;
        size_t room = offset > h.palette_at ? (std::min(offset, length) - h.palette_at) : 0;
        h.palette_count = std::min({declared, size_t(1) << h.bits, room / h.palette_entry});
    }
    bool depth_fits = h.compression == rle8   ? h.bits == 8
                      : h.compression == rle4 ? h.bits == 4
                      : masked                ? true
                      : h.compression == rgb  ? (h.bits == 1 || h.bits == 4 || h.bits == 8 ||
                                                h.bits == 16 || h.bits == 24 || h.bits == 32)
                                              : false;
    bool rle = h.compression == rle8 || h.compression == rle4;
    return depth_fits && h.height > 0 && !(rle && h.top_down);
}

// The palette as pixels, 256 entries, those past its end opaque black.
void read_palette(const uint8_t* b, const Header& h, uint32_t palette[256]) {
    for (size_t i = 0; i < 256; ++i) {
        const uint8_t* entry = b + h.palette_at + i * h.palette_entry;
        palette[i] = i < h.palette_count ? pixels::pack(entry[2], entry[1], entry[0], 255)
                                         : pixels::pack(0, 0, 0, 255);
    }
}

uint32_t masked_pixel(const Header& h, uint32_t word) {
    uint32_t opacity = h.alpha.mask ? h.alpha.value(word) : 255;
    return pixels::pack(uint8_t(h.red.value(word)), uint8_t(h.green.value(word)),
                        uint8_t(h.blue.value(word)), uint8_t(opacity));
}

uint64_t row_bytes(const Header& h) {
    return (uint64_t(h.width) * h.bits + 31) / 32 * 4;
}

// Whether the file holds all the uncompressed rows.
bool rows_fit(size_t length, size_t offset, const Header& h) {
    return offset <= length && row_bytes(h) * h.height <= length - offset;
}

// Decodes uncompressed rows (rows_fit said they are there).
void read_rows(const uint8_t* b, size_t offset, const Header& h, pixels::Grid& grid) {
    uint64_t stride = row_bytes(h);
    uint32_t palette[256];
    if (h.bits <= 8) read_palette(b, h, palette);
    bool any_opacity = false;
    for (uint32_t r = 0; r < h.height; ++r) {
        const uint8_t* row = b + offset + r * stride;
        uint32_t* line = grid.pixels + size_t(h.top_down ? r : h.height - 1 - r) * grid.width;
        for (uint32_t x = 0; x < h.width; ++x) {
            switch (h.bits) {
            case 1: line[x] = palette[row[x / 8] >> (7 - x % 8) & 1]; break;
            case 4: line[x] = palette[row[x / 2] >> (x % 2 ? 0 : 4) & 0xF]; break;
            case 8: line[x] = palette[row[x]]; break;
            case 16: line[x] = masked_pixel(h, le16(row + x * 2)); break;
            case 24: line[x] = pixels::pack(row[x * 3 + 2], row[x * 3 + 1], row[x * 3], 255); break;
            default: line[x] = masked_pixel(h, le32(row + x * 4)); break;
            }
            any_opacity |= (line[x] >> 24) != 0;
        }
    }
    if (h.bits == 32 && !h.alpha_from_masks && !any_opacity)
        for (size_t i = 0; i < grid.count(); ++i) grid.pixels[i] |= 0xFF000000u;
}

// Decodes RLE8 or RLE4 data into the grid, or only walks it when the
// grid is null; false when it runs past the file's end before its
// end-of-bitmap mark.
bool read_runs(const uint8_t* b, size_t length, size_t at, const Header& h, pixels::Grid* grid) {
    uint32_t palette[256];
    if (grid) {
        read_palette(b, h, palette);
        pixels::fill(*grid, 0);
    }
    bool four = h.compression == rle4;
    uint64_t x = 0, r = 0; // r counts rows from the bottom
    auto put = [&](uint32_t index) {
        if (grid && x < h.width && r < h.height)
            grid->pixels[size_t(h.height - 1 - r) * grid->width + x] = palette[index];
        ++x;
    };
    while (at + 2 <= length) {
        uint32_t count = b[at], value = b[at + 1];
        at += 2;
        if (count) { // a run of one index, or of two alternating nibbles
            for (uint32_t i = 0; i < count; ++i)
                put(four ? (i % 2 ? value & 0xF : value >> 4) : value);
        } else if (value == 0) {
            x = 0, ++r;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (at + 2 > length) return false;
            x += b[at], r += b[at + 1];
            at += 2;
        } else { // absolute: `value` indexes, padded to a 16-bit boundary
            size_t bytes = four ? (value + 1) / 2 : value;
            if (at + bytes > length) return false;
            for (uint32_t i = 0; i < value; ++i)
                put(four ? (i % 2 ? b[at + i / 2] & 0xF : b[at + i / 2] >> 4) : b[at + i]);
            at += bytes + bytes % 2;
        }
        if (r >= h.height) return true;
    }
    return false;
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

} // namespace

Decoded decode_bmp(const uint8_t* bytes, size_t length, const std::atomic<bool>&) {
    Header h{};
    if (!read_header(bytes, length, h)) return {Decoded::bad, nullptr};
    // The data is checked before the pixels are made: a file cut short is
    // refused without allocating what its header claims.
    size_t offset = le32(bytes + 10);
    bool runs = h.compression == rle8 || h.compression == rle4;
    if (runs ? !read_runs(bytes, length, offset, h, nullptr) : !rows_fit(length, offset, h))
        return {Decoded::bad, nullptr};
    Decoded::Result result = Decoded::bad;
    pixels::Grid* grid = alloc_decoded(h.width, h.height, result);
    if (!grid) return {result, nullptr};
    if (runs)
        read_runs(bytes, length, offset, h, grid);
    else
        read_rows(bytes, offset, h, *grid);
    return {Decoded::ok, grid};
}

bool encode_bmp(const pixels::Grid& grid, std::vector<uint8_t>& out) {
    constexpr uint32_t info_size = 108, pixels_at = file_header + info_size;
    uint64_t data = uint64_t(grid.bytes());
    if (pixels_at + data > UINT32_MAX) return false;
    out.reserve(out.size() + pixels_at + data);
    out.push_back('B');
    out.push_back('M');
    put32(out, uint32_t(pixels_at + data));
    put32(out, 0);
    put32(out, pixels_at);
    put32(out, info_size);
    put32(out, grid.width);
    put32(out, grid.height); // positive: bottom-up
    put16(out, 1);           // planes
    put16(out, 32);
    put32(out, bitfields);
    put32(out, uint32_t(data));
    put32(out, 2835); // 72 dots per inch, both ways
    put32(out, 2835);
    put32(out, 0); // no palette
    put32(out, 0);
    for (uint32_t mask : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(out, mask);
    put32(out, 0x73524742);            // colour space "sRGB"
    out.insert(out.end(), 36 + 12, 0); // end points and gammas, unused for sRGB
    for (uint32_t y = grid.height; y-- > 0;) {
        auto* row = reinterpret_cast<const uint8_t*>(grid.pixels + size_t(y) * grid.width);
        out.insert(out.end(), row, row + size_t(grid.width) * 4);
    }
    return true;
}

} // namespace kiv::image_formats
