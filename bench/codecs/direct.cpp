// Times the codecs of io/ directly over the benchmark corpus (bench/data,
// made by bench/codecs/make-corpus.py), the same work as direct.py does
// with Python's zlib and hashlib: the median of several runs of each.
//
//   cmake --build build --target kiv_codec_bench
//   build/kiv_codec_bench [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "io/checksum.h"
#include "io/containers.h"
#include "io/deflate.h"

using kiv::bench::median_seconds;

namespace {

std::vector<uint8_t> slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "cannot read %s (run bench/codecs/make-corpus.py)\n", path.c_str());
        std::exit(1);
    }
    return {std::istreambuf_iterator<char>(f), {}};
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 3;
    const std::string dir = std::string(KIV_BENCH_DIR) + "/data/";
    const auto corpus = slurp(dir + "corpus.bin");
    const auto reference = slurp(dir + "corpus.zlib");

    std::vector<uint8_t> packed(kiv::deflate::bound(corpus.size()) + kiv::zlib::overhead);
    size_t packed_size = 0;
    double t = median_seconds(runs, [&] { kiv::zlib::compress(corpus, packed, packed_size); });
    std::printf("deflate  %.3f s  %zu bytes (zlib level 6: %zu, %+.3f%%)\n", t, packed_size,
                reference.size(), 100.0 * (double(packed_size) / double(reference.size()) - 1));

    std::vector<uint8_t> out(corpus.size());
    size_t out_size = 0;
    t = median_seconds(runs, [&] { kiv::zlib::decompress(reference, out, out_size); });
    std::printf("inflate  %.3f s  %s\n", t, out == corpus ? "same bytes" : "DIFFERENT BYTES");

    uint32_t sink = 0;
    t = median_seconds(runs, [&] { sink ^= kiv::crypto::crc32(corpus); });
    std::printf("crc32    %.3f s\n", t);
    t = median_seconds(runs, [&] { sink ^= kiv::crypto::adler32(corpus); });
    std::printf("adler32  %.3f s\n", t);
    for (auto [name, method] : {std::pair{"md5", kiv::crypto::md5},
                                {"sha1", kiv::crypto::sha1},
                                {"sha256", kiv::crypto::sha256}}) {
        t = median_seconds(runs,
                           [&] { sink ^= kiv::crypto::get_digest(corpus, method)->bytes[0]; });
        std::printf("%-8s %.3f s\n", name, t);
    }
    return sink == 0x12345678; // keeps the checksums from being optimised away
}
