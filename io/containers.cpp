#include "io/containers.h"

#include <algorithm>
#include <optional>

#include "io/checksum.h"
#include "io/deflate.h"
#include "io/inflate.h"

namespace kiv {
namespace {

using codec::Code;

uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void store_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void store_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// Compresses between a header and a trailer of the given sizes; fills in
// the header, and returns the compressed size through `size` (the whole
// container's size on return of too_small).
Code wrap(codec::Bytes input, std::span<uint8_t> output, size_t& size,
          std::span<const uint8_t> header, size_t trailer) {
    const size_t overhead = header.size() + trailer;
    if (output.size() < overhead) {
        size = overhead + input.size();
        return Code::bad_data;
    }
    std::ranges::copy(header, output.begin());
    Code code =
        deflate::compress(input, output.subspan(header.size(), output.size() - overhead), size);
    size += overhead;
    return code;
}

namespace gzip_flags {
constexpr uint8_t header_crc = 0x02, extra = 0x04, name = 0x08, comment = 0x10, reserved = 0xE0;
}

// The end of a gzip member's header at `at`, or nothing when the header is
// invalid or runs into the end of the input.
std::optional<size_t> gzip_header_end(codec::Bytes input, size_t at) {
    const size_t n = input.size(), start = at;
    if (n - at < 10 || input[at] != 0x1F || input[at + 1] != 0x8B || input[at + 2] != 8)
        return std::nullopt;
    const uint8_t flags = input[at + 3];
    if (flags & gzip_flags::reserved) return std::nullopt;
    at += 10;
    if (flags & gzip_flags::extra) {
        if (n - at < 2) return std::nullopt;
        size_t length = input[at] | size_t(input[at + 1]) << 8;
        at += 2;
        if (n - at < length) return std::nullopt;
        at += length;
    }
    for (uint8_t flag : {gzip_flags::name, gzip_flags::comment}) {
        if (!(flags & flag)) continue;
        auto nul = std::find(input.begin() + ptrdiff_t(at), input.end(), 0);
        if (nul == input.end()) return std::nullopt;
        at = size_t(nul - input.begin()) + 1;
    }
    if (flags & gzip_flags::header_crc) {
        if (n - at < 2) return std::nullopt;
        uint32_t crc = crypto::crc32(input.subspan(start, at - start)) & 0xFFFF;
        if ((input[at] | uint32_t(input[at + 1]) << 8) != crc) return std::nullopt;
        at += 2;
    }
    return at;
}

} // namespace

namespace gzip {

Code compress(codec::Bytes input, std::span<uint8_t> output, size_t& size) {
    static constexpr uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4};
    Code code = wrap(input, output, size, header, 8);
    if (code != Code::done) return code;
    store_le32(&output[size - 8], crypto::crc32(input));
    store_le32(&output[size - 4], uint32_t(input.size()));
    return Code::done;
}

Code decompress(codec::Bytes input, std::span<uint8_t> output, size_t& size) {
    const size_t capacity = output.size();
    size_t at = 0, total = 0;
    do {
        auto data = gzip_header_end(input, at);
        if (!data) return Code::bad_data;
        const size_t stored_from = std::min(total, capacity);
        auto member = inflate::run(input.subspan(*data), output.subspan(stored_from));
        if (member.code != Code::done && member.code != Code::too_small) return member.code;
        at = *data + member.consumed;
        if (input.size() - at < 8) return Code::bad_data;
        if (load_le32(&input[at + 4]) != uint32_t(member.produced)) return Code::bad_data;
        if (total + member.produced <= capacity &&
            crypto::crc32(output.subspan(total, member.produced)) != load_le32(&input[at]))
            return Code::bad_data;
        total += member.produced;
        at += 8;
    } while (std::any_of(input.begin() + ptrdiff_t(at), input.end(), [](uint8_t b) { return b; }));
    size = total;
    return total > capacity ? Code::too_small : Code::done;
}

uint32_t recorded_length(codec::Bytes input) {
    return input.size() < overhead ? 0 : load_le32(&input[input.size() - 4]);
}

} // namespace gzip

namespace zlib {

Code compress(codec::Bytes input, std::span<uint8_t> output, size_t& size) {
    static constexpr uint8_t header[2] = {0x78, 0x01};
    Code code = wrap(input, output, size, header, 4);
    if (code != Code::done) return code;
    store_be32(&output[size - 4], crypto::adler32(input));
    return Code::done;
}

Code decompress(codec::Bytes input, std::span<uint8_t> output, size_t& size) {
    if (input.size() < overhead) return Code::bad_data;
    const unsigned cmf = input[0], flg = input[1];
    const bool header_ok = (cmf * 256 + flg) % 31 == 0 && (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 &&
                           !(flg & 0x20); // a preset dictionary is not supported
    if (!header_ok) return Code::bad_data;
    auto o = inflate::run(input.subspan(2), output);
    if (o.code != Code::done && o.code != Code::too_small) return o.code;
    const size_t trailer = 2 + o.consumed;
    if (input.size() - trailer < 4) return Code::bad_data;
    if (o.code == Code::done &&
        crypto::adler32(output.first(o.produced)) != load_be32(&input[trailer]))
        return Code::bad_data;
    size = o.produced;
    return o.code;
}

} // namespace zlib
} // namespace kiv
