// A small LZ77 codec with a bit-level token format, used to keep data such
// as the boot image compact inside the program.
//
// Container (little-endian 32-bit words): the byte count C of the block
// area, the total decoded size U, then blocks until C bytes are used. A
// block is its decoded length L (1 to 1 MiB) followed by a bit stream of
// tokens that starts on a byte boundary; the unused bits of its last byte
// are padding. Bits are taken from each byte least significant first.
//
// Tokens: bit 0 then an 8-bit literal, or bit 1 then a match: a length
// code (prefix 1, 01, 001, 0001, 00001 or 00000 followed by 2, 2, 2, 3, 5 or
// 9 bits over the bases 0, 4, 8, 12, 20, 52; the match copies length + 3
// bytes) and a distance code (4 bits k; n = k + 2; n = 2 reads 3 bits as
// d, otherwise d = 2^n + n more bits); the copy starts d + 1 bytes back,
// inside the current block, and runs byte by byte so that it may overlap.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kiv::lz {

constexpr uint32_t max_block = 0x100000;  // bytes one block decodes to, at most
constexpr uint32_t min_match = 3;         // bytes a match copies, at least
constexpr uint32_t max_match = 566;       // bytes a match copies, at most
constexpr uint32_t max_distance = 262144; // how far back a match reaches
constexpr size_t min_input = 128;         // shorter inputs are not compressed
constexpr size_t header_size = 8;

// Decodes a container of `length` bytes into a new tracked-heap buffer of
// U + 8 bytes and stores the decoded length in *out_length (when given).
// Returns null for any malformed container: a declared size the data could
// not produce, a bad block length, a stream that runs past the container,
// or a match that reaches before its block or past its end.
uint8_t* decompress(const uint8_t* container, size_t length, uint32_t* out_length);

// Frees a buffer returned by decompress.
void free(uint8_t* buffer);

// Encodes `length` bytes into `destination`, which must hold `length`
// bytes: the container has to be smaller than its input to be worth
// keeping. Returns the container's size, or -1 when the input is shorter
// than min_input, longer than a 32-bit size, or does not compress.
int64_t compress(const uint8_t* source, size_t length, uint8_t* destination);

} // namespace kiv::lz
