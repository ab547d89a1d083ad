// Inflate: decodes a raw DEFLATE stream (RFC 1951) held whole in memory.
//
// Every stream RFC 1951 calls invalid is refused, and a stream that ends
// before its final block does is refused too: bits past the input are
// never taken as zeros.
#pragma once

#include <cstddef>

#include "io/codec.h"

namespace kiv::inflate {

struct Outcome {
    codec::Code code;
    size_t produced; // bytes decoded, stored or not
    size_t consumed; // input bytes up to the end of the final block
};

// Decodes one stream from the start of input. Bytes past the capacity
// (output's size) are counted, not stored; code too_small then.
Outcome run(codec::Bytes input, std::span<uint8_t> output);

// The same with the shared calling convention: size gets the bytes
// produced, or needed.
codec::Code decompress(codec::Bytes input, std::span<uint8_t> output, size_t& size);

} // namespace kiv::inflate
