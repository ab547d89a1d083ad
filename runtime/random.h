// The process-wide pseudo-random generator: a Mersenne Twister whose right
// shifts are arithmetic, so its sequence for a seed is its own. The secure
// variant draws from the operating system's cryptographic source.
#pragma once

#include <cstdint>

namespace kiv::random {

constexpr int32_t default_seed = 19650218;

void init();
void seed(int32_t seed);
// 0 .. 2^31 - 1.
int32_t rand();
// 0 .. 2^31 - 1 from the OS cryptographic generator.
int32_t crypto_int();
// For n > 0: 0 .. n - 1, uniform; for n < 0: -(|n| - 1) .. 0; 0 for n = 0.
int32_t int_(bool secure, int32_t n);

} // namespace kiv::random
