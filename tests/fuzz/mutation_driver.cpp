// A seeded-mutation driver for the fuzz targets, for builds without
// libFuzzer: it makes seed streams at start (our compressor's and zlib's,
// raw and wrapped), then feeds the target N mutations of them, each copied
// into a buffer of its exact size so that the sanitizers see any read past
// the input.
//
//   kiv_inflate_mutations [iterations] [seed]
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "io/containers.h"
#include "io/deflate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

Bytes sample(std::mt19937& gen, size_t n) {
    static const char* words[] = {"alpha ", "beta ", "gamma ", "delta ", "\n", "x", "yy"};
    Bytes v;
    while (v.size() < n) {
        if (gen() % 8 == 0) {
            v.push_back(uint8_t(gen()));
        } else {
            std::string w = words[gen() % 7];
            v.insert(v.end(), w.begin(), w.end());
        }
    }
    v.resize(n);
    return v;
}

template <class Codec>
Bytes ours(Codec codec, const Bytes& input) {
    Bytes out(kiv::deflate::bound(input.size()) + 18);
    size_t size = 0;
    codec(input, out, size);
    out.resize(size);
    return out;
}

Bytes zlibs(const Bytes& input, int level, int strategy, int window_bits) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, strategy);
    Bytes out(deflateBound(&z, uLong(input.size())));
    z.next_in = const_cast<uint8_t*>(input.data());
    z.avail_in = uInt(input.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::vector<Bytes> seeds(std::mt19937& gen) {
    std::vector<Bytes> s;
    for (size_t n : {0, 1, 5, 60, 700, 5000}) {
        Bytes input = sample(gen, n);
        s.push_back(ours(kiv::deflate::compress, input));
        s.push_back(ours(kiv::zlib::compress, input));
        s.push_back(ours(kiv::gzip::compress, input));
        s.push_back(zlibs(input, 6, Z_DEFAULT_STRATEGY, -15));
        s.push_back(zlibs(input, 6, Z_FIXED, -15));
        s.push_back(zlibs(input, 0, Z_DEFAULT_STRATEGY, -15));
        s.push_back(zlibs(input, 9, Z_HUFFMAN_ONLY, 15));
        s.push_back(zlibs(input, 6, Z_DEFAULT_STRATEGY, 31)); // gzip
    }
    return s;
}

void mutate(std::mt19937& gen, Bytes& v, const std::vector<Bytes>& pool) {
    int rounds = 1 + int(gen() % 4);
    for (int r = 0; r < rounds; ++r) {
        size_t at = v.empty() ? 0 : gen() % v.size();
        switch (gen() % 7) {
        case 0:
            if (!v.empty()) v[at] ^= uint8_t(1u << (gen() % 8));
            break;
        case 1:
            if (!v.empty()) v[at] = uint8_t(gen());
            break;
        case 2:
            if (!v.empty()) v[at] = (gen() & 1) ? 0xFF : 0x00;
            break;
        case 3: v.insert(v.begin() + ptrdiff_t(at), uint8_t(gen())); break;
        case 4:
            if (!v.empty()) v.erase(v.begin() + ptrdiff_t(at));
            break;
        case 5: v.resize(at); break; // cut short
        default: {
            const Bytes& other = pool[gen() % pool.size()];
            if (other.empty()) break;
            size_t from = gen() % other.size(),
                   n = 1 + gen() % std::min<size_t>(64, other.size() - from);
            v.insert(v.begin() + ptrdiff_t(at), other.begin() + ptrdiff_t(from),
                     other.begin() + ptrdiff_t(from + n));
        }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const long iterations = argc > 1 ? std::atol(argv[1]) : 20000;
    const unsigned seed = argc > 2 ? unsigned(std::atol(argv[2])) : 1;
    std::mt19937 gen(seed);
    const std::vector<Bytes> pool = seeds(gen);
    for (const Bytes& s : pool) {
        auto copy = std::make_unique<uint8_t[]>(s.size());
        std::copy(s.begin(), s.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), s.size());
    }
    for (long i = 0; i < iterations; ++i) {
        Bytes v = pool[gen() % pool.size()];
        mutate(gen, v, pool);
        auto copy = std::make_unique<uint8_t[]>(v.size());
        std::copy(v.begin(), v.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), v.size());
    }
    std::printf("%ld mutated inputs, %zu seeds: no difference from zlib, no fault\n", iterations,
                pool.size());
    return 0;
}
