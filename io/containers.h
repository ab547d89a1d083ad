// The gzip member (RFC 1952) and the zlib stream (RFC 1950) around raw
// DEFLATE data. Same calling convention as deflate and inflate: output's
// size is the capacity, size gets the bytes produced or needed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/codec.h"

namespace kiv::gzip {

// Header 1F 8B 08 00, time 0, XFL 04, OS 04; CRC-32 and length
// little-endian after the data.
constexpr size_t overhead = 18;

codec::Code compress(codec::Bytes input, std::span<uint8_t> output, size_t& size);

// Decodes every member of the input and appends their data; zero bytes
// after the last member are ignored, anything else there is refused. The
// recorded lengths are checked, never used to size anything.
codec::Code decompress(codec::Bytes input, std::span<uint8_t> output, size_t& size);

// The length recorded in the input's last four bytes, where a lone
// member keeps it: a hint for sizing the output, 0 when too short.
uint32_t recorded_length(codec::Bytes input);

} // namespace kiv::gzip

namespace kiv::zlib {

// Header 78 01; Adler-32 big-endian after the data.
constexpr size_t overhead = 6;

codec::Code compress(codec::Bytes input, std::span<uint8_t> output, size_t& size);

// The Adler-32 follows the DEFLATE data directly; bytes after it are
// ignored.
codec::Code decompress(codec::Bytes input, std::span<uint8_t> output, size_t& size);

} // namespace kiv::zlib
