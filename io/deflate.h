// The DEFLATE compressor (RFC 1951): lazy matching over hash chains with
// fixed tuning, and for each block of 16,384 symbols the smallest of a
// stored, a fixed-code and a dynamic-code encoding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/codec.h"

namespace kiv::deflate {

// Compresses the whole input into output as a raw DEFLATE stream. Code
// done, or too_small when output (its size is the capacity) cannot hold
// it; size gets the bytes produced, or needed. Nothing is stored past the
// capacity.
codec::Code compress(codec::Bytes input, std::span<uint8_t> output, size_t& size);

// A capacity that always holds the compressed form of `length` bytes.
size_t bound(size_t length);

// The run-length coder of code lengths: sends each symbol of a sequence of
// code lengths as `send(symbol, extra value, extra bits)`, with the repeat
// symbols 16 (the previous length 3-6 times), 17 (3-10 zeros) and 18
// (11-138 zeros). A sequence starts with no previous length, so no run
// carries over from one sequence into the next.
template <class Send>
void run_lengths(const uint8_t* lengths, unsigned count, Send send) {
    int prev = -1, next = lengths[0];
    unsigned run = 0, max_run = next == 0 ? 138 : 7, min_run = next == 0 ? 3 : 4;
    for (unsigned i = 0; i < count; ++i) {
        int cur = next;
        next = i + 1 < count ? lengths[i + 1] : -1;
        if (++run < max_run && cur == next) continue;
        if (run < min_run) {
            while (run--) send(unsigned(cur), 0u, 0u);
        } else if (cur != 0) {
            if (cur != prev) {
                send(unsigned(cur), 0u, 0u);
                --run;
            }
            send(16u, run - 3, 2u);
        } else if (run <= 10) {
            send(17u, run - 3, 3u);
        } else {
            send(18u, run - 11, 7u);
        }
        run = 0;
        prev = cur;
        if (next == 0) {
            max_run = 138, min_run = 3;
        } else if (cur == next) {
            max_run = 6, min_run = 3;
        } else {
            max_run = 7, min_run = 4;
        }
    }
}

} // namespace kiv::deflate
