// Fuzz target of the image decoders: any bytes decode to an image or are
// refused, never crash, hang or print. What decodes (up to a million
// pixels) is written as BMP, which keeps every pixel, and read back: the
// same size and pixels, or the target aborts.
//
// With KIV_FUZZ_SEEDS naming the corpus folder, the start adds to it the
// image files the unit tests' fixture script writes (every format, and
// its variants: interlaced, tiled, run-length...), so that the inputs
// start from valid files.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/image_codecs.h"
#include "platform/pixels.h"
#include "runtime/interrupt.h"

namespace {

using namespace kiv;
namespace fs = std::filesystem;

void write_seeds(const fs::path& corpus) {
    fs::path made = corpus / "image-fixtures";
    fs::create_directories(made);
    std::string command = KIV_PYTHON " " KIV_SOURCE_DIR "/tests/unit/image_fixtures.py " +
                          made.string() + " >/dev/null";
    if (std::system(command.c_str()) == 0)
        for (const auto& entry : fs::directory_iterator(made)) {
            std::string extension = entry.path().extension().string();
            if (extension != ".bgra" && entry.path().filename() != "manifest")
                fs::copy_file(entry.path(), corpus / ("image-" + entry.path().filename().string()));
        }
    fs::remove_all(made);
}

constexpr uint64_t round_trip_pixels = uint64_t(1) << 20;

void fail(const char* what, size_t size) {
    std::fprintf(stderr, "image fuzz: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (const char* corpus = std::getenv("KIV_FUZZ_SEEDS")) write_seeds(corpus);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    image_codecs::Decoded decoded = image_codecs::decode(data, size, runtime::interrupt_requested);
    if (decoded.result != image_codecs::Decoded::ok) {
        if (decoded.grid) fail("a refusal with a grid", size);
        return 0;
    }
    const pixels::Grid& grid = *decoded.grid;
    if (!image_codecs::decodable_size(grid.width, grid.height)) fail("a refused size", size);
    // Tiny files may hold huge pictures (run-length data, compressed
    // rows); writing each of them again would spend the run on a few.
    if (grid.count() > round_trip_pixels) {
        pixels::free(decoded.grid);
        return 0;
    }
    std::vector<uint8_t> bmp;
    if (!image_codecs::encode(grid, image_codecs::bmp, bmp)) fail("BMP refuses a grid", size);
    image_codecs::Decoded back =
        image_codecs::decode(bmp.data(), bmp.size(), runtime::interrupt_requested);
    if (back.result != image_codecs::Decoded::ok || back.grid->width != grid.width ||
        back.grid->height != grid.height ||
        std::memcmp(back.grid->pixels, grid.pixels, grid.bytes()) != 0)
        fail("BMP does not give back the pixels", size);
    pixels::free(back.grid);
    pixels::free(decoded.grid);
    return 0;
}
