// Times one image codec operation through the image layer's codecs on a
// file of bench/data: the median of several runs, in seconds, on standard
// output. run.py starts it once per operation, so that the process's peak
// memory is that operation's.
//
//   cmake --build build --target kiv_image_bench
//   build/kiv_image_bench decode|encode-png|encode-jpeg FILE [runs]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <vector>

#include "bench/timing.h"
#include "platform/image_codecs.h"
#include "platform/pixels.h"
#include "runtime/interrupt.h"

namespace {

using namespace kiv;
using bench::median_seconds;

pixels::Grid* decoded(const std::vector<uint8_t>& file) {
    image_codecs::Decoded d =
        image_codecs::decode(file.data(), file.size(), runtime::interrupt_requested);
    if (d.result != image_codecs::Decoded::ok) {
        std::fprintf(stderr, "the file does not decode\n");
        std::exit(1);
    }
    return d.grid;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s decode|encode-png|encode-jpeg FILE [runs]\n", argv[0]);
        return 2;
    }
    // Read at its size, so that the buffer holds the file once.
    std::ifstream in(argv[2], std::ios::binary | std::ios::ate);
    std::vector<uint8_t> file(size_t(in.tellg()));
    in.seekg(0).read(reinterpret_cast<char*>(file.data()), std::streamsize(file.size()));
    int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    double seconds;
    if (std::strcmp(argv[1], "decode") == 0) {
        seconds = median_seconds(runs, [&] { pixels::free(decoded(file)); });
    } else {
        pixels::Grid* grid = decoded(file);
        auto format =
            std::strcmp(argv[1], "encode-png") == 0 ? image_codecs::png : image_codecs::jpeg;
        std::vector<uint8_t> out;
        seconds = median_seconds(runs, [&] { image_codecs::encode(*grid, format, out); });
        pixels::free(grid);
    }
    std::printf("%.4f\n", seconds);
    return 0;
}
