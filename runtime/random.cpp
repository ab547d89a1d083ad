#include "runtime/random.h"

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "runtime/errors.h"
#include "runtime/session.h"

namespace kiv::random {
namespace {

constexpr int state_size = 624;
constexpr int shift_distance = 397;

struct State {
    std::array<int32_t, state_size> mt{};
    int index = 0;
} state;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(state);

// Signed 32-bit arithmetic with wrap-around, as the generator defines it.
int32_t wrap(uint32_t v) {
    return int32_t(v);
}

void regenerate() {
    auto& mt = state.mt;
    for (int k = 0; k < state_size; ++k) {
        int32_t y = wrap((uint32_t(mt[k]) & 0x80000000u) |
                         (uint32_t(mt[(k + 1) % state_size]) & 0x7FFFFFFFu));
        int32_t next = mt[(k + shift_distance) % state_size] ^ (y >> 1);
        if (y & 1) next ^= wrap(0x9908B0DFu);
        mt[k] = next;
    }
    state.index = 0;
}

int32_t draw(bool secure) {
    return secure ? crypto_int() : rand();
}

} // namespace

void init() {
    seed(default_seed);
}

void seed(int32_t value) {
    auto& mt = state.mt;
    mt[0] = value;
    for (int i = 1; i < state_size; ++i) {
        uint32_t prev = uint32_t(mt[i - 1]);
        uint32_t mixed = prev ^ uint32_t(mt[i - 1] >> 30);
        mt[i] = wrap(0x6C078965u * mixed + uint32_t(i));
    }
    state.index = 0;
}

int32_t rand() {
    if (state.index == state_size) regenerate();
    int32_t y = state.mt[state.index++];
    y ^= y >> 11;
    y ^= wrap((uint32_t(y) << 7) & 0x9D2C5680u);
    y ^= wrap((uint32_t(y) << 15) & 0xEFC60000u);
    y ^= y >> 18;
    return y;
}

int32_t crypto_int() {
    uint32_t v = 0;
    size_t got = 0;
    auto* bytes = reinterpret_cast<uint8_t*>(&v);
    // An interrupted or short read is retried; any other failure is an
    // error rather than a loop that never ends.
    while (got < sizeof v) {
        ssize_t n = getrandom(bytes + got, sizeof v - got, 0);
        if (n > 0) {
            got += size_t(n);
        } else if (n == 0 || errno != EINTR) {
            runtime::fire_error(runtime::Category::internal, err::internal::feature_na);
        }
    }
    return int32_t(v & 0x7FFFFFFFu);
}

int32_t int_(bool secure, int32_t n) {
    if (n == 0) return 0;
    if (n == INT32_MIN) return -1 - draw(secure);
    int32_t m = n < 0 ? -n : n;
    int32_t limit = (INT32_MAX / m) * m;
    int32_t r;
    do r = draw(secure);
    while (r >= limit);
    return n < 0 ? -(r % m) : r % m;
}

} // namespace kiv::random
