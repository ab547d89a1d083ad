#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/image_codecs.h"
#include "platform/pixels.h"
#include "runtime/interrupt.h"

#include <unistd.h>

using namespace kiv;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_all(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct Fixture {
    std::string name;
    uint32_t width, height;
    std::string match; // "exact", or "clear-any": transparent pixels' colour is free
    std::vector<uint8_t> bytes, expected;
};

// The fixtures image_fixtures.py writes, made once into a folder of this
// run and removed at the end.
class ImageCodecsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const char* root = std::getenv("KIV_SOURCE_DIR");
        if (!root) return; // each test skips
        dir = fs::temp_directory_path() / ("kiv-image-codecs-" + std::to_string(getpid()));
        fs::create_directories(dir);
        std::string command =
            KIV_PYTHON " " + std::string(root) + "/tests/unit/image_fixtures.py " + dir.string();
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream manifest(dir / "manifest");
        Fixture f;
        while (manifest >> f.name >> f.width >> f.height >> f.match) {
            f.bytes = read_all(dir / f.name);
            f.expected = read_all(dir / (f.name.substr(0, f.name.rfind('.')) + ".bgra"));
            fixtures.push_back(f);
        }
    }
    static void TearDownTestSuite() {
        if (!dir.empty()) fs::remove_all(dir);
        fixtures.clear();
    }

    void SetUp() override {
        if (fixtures.empty()) GTEST_SKIP() << "KIV_SOURCE_DIR not set";
    }

    static std::vector<uint8_t> bytes_of(const pixels::Grid& grid) {
        auto* p = reinterpret_cast<const uint8_t*>(grid.pixels);
        return {p, p + grid.bytes()};
    }

    static inline fs::path dir;
    static inline std::vector<Fixture> fixtures;
};

TEST_F(ImageCodecsTest, SignaturesNameTheFormats) {
    struct Case {
        std::vector<uint8_t> bytes;
        image_codecs::Format format;
    } cases[] = {
        {{0x89, 'P', 'N', 'G', 0x0D}, image_codecs::png},
        {{0xFF, 0xD8, 0xFF, 0xE0}, image_codecs::jpeg},
        {{'B', 'M', 0}, image_codecs::bmp},
        {{'G', 'I', 'F', '8', '7', 'a'}, image_codecs::gif},
        {{'G', 'I', 'F', '8', '9', 'a'}, image_codecs::gif},
        {{'G', 'I', 'F', '8', '8', 'a'}, image_codecs::unknown},
        {{'G', 'I', 'F', '8', '7'}, image_codecs::unknown},
        {{'I', 'I', 0x2A, 0}, image_codecs::tiff},
        {{'M', 'M', 0, 0x2A}, image_codecs::tiff},
        {{'M', 'M', 0x2A, 0}, image_codecs::unknown},
        {{0x89, 'P', 'N'}, image_codecs::unknown},
        {{}, image_codecs::unknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(image_codecs::sniff(c.bytes.data(), c.bytes.size()), c.format)
            << ::testing::PrintToString(c.bytes);
}

TEST_F(ImageCodecsTest, FixturesDecodeToTheirPixels) {
    ASSERT_FALSE(fixtures.empty());
    for (const Fixture& f : fixtures) {
        image_codecs::Decoded d =
            image_codecs::decode(f.bytes.data(), f.bytes.size(), runtime::interrupt_requested);
        ASSERT_EQ(d.result, image_codecs::Decoded::ok) << f.name;
        EXPECT_EQ(d.grid->width, f.width) << f.name;
        EXPECT_EQ(d.grid->height, f.height) << f.name;
        std::vector<uint8_t> got = bytes_of(*d.grid);
        if (f.match == "clear-any")
            for (size_t i = 3; i < got.size(); i += 4)
                if (got[i] == 0 && f.expected[i] == 0)
                    std::copy_n(f.expected.begin() + i - 3, 3, got.begin() + i - 3);
        EXPECT_EQ(got, f.expected) << f.name;
        pixels::free(d.grid);
    }
}

// A grid of every opacity class (opaque, clear, in between) in a few
// colours: what each lossless encoder must keep.
pixels::Grid* few_colours() {
    pixels::Grid* grid = pixels::alloc(7, 5);
    const uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0x800000FF, 0x00000000,
                                0xFF123456, 0x40ABCDEF, 0xFFFFFFFF};
    for (uint32_t i = 0; i < grid->count(); ++i) grid->pixels[i] = colours[i * 3 % 7];
    return grid;
}

// What the lossless encoders keep of a grid: GIF knows opaque and clear
// only, opacities below 128 being clear.
std::vector<uint8_t> as_kept(const pixels::Grid& grid, image_codecs::Format format) {
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(grid.pixels),
                               reinterpret_cast<const uint8_t*>(grid.pixels) + grid.bytes());
    if (format == image_codecs::gif)
        for (size_t i = 3; i < bytes.size(); i += 4) bytes[i] = bytes[i] < 128 ? 0 : 255;
    return bytes;
}

// Transparent pixels' colour left out of a comparison.
std::vector<uint8_t> clear_zeroed(std::vector<uint8_t> bytes) {
    for (size_t i = 3; i < bytes.size(); i += 4)
        if (bytes[i] == 0) bytes[i - 3] = bytes[i - 2] = bytes[i - 1] = 0;
    return bytes;
}

// Our files read back here and by ImageMagick give our pixels.
TEST_F(ImageCodecsTest, LosslessEncodingsReadBackHereAndInImageMagick) {
    pixels::Grid* grid = few_colours();
    for (auto [format, extension] : {std::pair{image_codecs::png, "png"},
                                     {image_codecs::bmp, "bmp"},
                                     {image_codecs::tiff, "tif"},
                                     {image_codecs::gif, "gif"}}) {
        std::vector<uint8_t> encoded;
        ASSERT_TRUE(image_codecs::encode(*grid, format, encoded)) << extension;
        EXPECT_EQ(image_codecs::sniff(encoded.data(), encoded.size()), format) << extension;
        std::vector<uint8_t> kept = clear_zeroed(as_kept(*grid, format));
        image_codecs::Decoded back =
            image_codecs::decode(encoded.data(), encoded.size(), runtime::interrupt_requested);
        ASSERT_EQ(back.result, image_codecs::Decoded::ok) << extension;
        std::vector<uint8_t> ours = clear_zeroed(bytes_of(*back.grid));
        if (format == image_codecs::tiff) {
            // libtiff's reader premultiplies; turned back, a channel of
            // opacity a is off by at most half of 255 / a, plus a half.
            for (size_t i = 0; i < ours.size(); ++i) {
                int opacity = kept[i | 3], slack = opacity ? (255 / opacity + 1) / 2 + 1 : 0;
                EXPECT_LE(std::abs(ours[i] - kept[i]), slack) << i;
            }
        } else {
            EXPECT_EQ(ours, kept) << extension;
        }
        pixels::free(back.grid);
        // ImageMagick's own reading of our file: the Debian tool by its path.
        fs::path file = dir / (std::string("ours.") + extension), raw = dir / "ours.raw";
        write_all(file, encoded);
        std::string command = "/usr/bin/convert " + file.string() + " bgra:" + raw.string();
        ASSERT_EQ(std::system(command.c_str()), 0) << extension;
        EXPECT_EQ(clear_zeroed(read_all(raw)), kept) << extension;
    }
    pixels::free(grid);
}

// Beyond 256 colours GIF rounds each channel to its nearest cube level;
// low opacity still gives the transparent index.
TEST_F(ImageCodecsTest, GifReducesManyColoursToTheCube) {
    pixels::Grid* grid = pixels::alloc(64, 64);
    for (uint32_t i = 0; i < grid->count(); ++i)
        grid->pixels[i] =
            pixels::pack(uint8_t(i), uint8_t(i >> 4), uint8_t(i * 7), i % 9 ? 255 : 3);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(image_codecs::encode(*grid, image_codecs::gif, encoded));
    image_codecs::Decoded back =
        image_codecs::decode(encoded.data(), encoded.size(), runtime::interrupt_requested);
    ASSERT_EQ(back.result, image_codecs::Decoded::ok);
    int worst = 0;
    for (uint32_t i = 0; i < grid->count(); ++i) {
        uint32_t ours = back.grid->pixels[i];
        ASSERT_EQ(ours >> 24, i % 9 ? 255u : 0u) << i;
        if (!(i % 9)) continue;
        for (int shift : {0, 8, 16})
            worst = std::max(
                worst, std::abs(int(ours >> shift & 0xFF) - int(grid->pixels[i] >> shift & 0xFF)));
    }
    // Six levels are 51 apart, seven 42.5: half a step at most.
    EXPECT_LE(worst, 26);
    EXPECT_GT(worst, 0);
    pixels::free(grid);
    pixels::free(back.grid);
}

TEST_F(ImageCodecsTest, EncodedJpegIsOpaqueAndCloseToTheSource) {
    pixels::Grid* grid = pixels::alloc(16, 16);
    for (uint32_t i = 0; i < 256; ++i)
        grid->pixels[i] = pixels::pack(uint8_t(i % 16 * 16), uint8_t(i / 16 * 16), 128, 10);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(image_codecs::encode(*grid, image_codecs::jpeg, encoded));
    image_codecs::Decoded back =
        image_codecs::decode(encoded.data(), encoded.size(), runtime::interrupt_requested);
    ASSERT_EQ(back.result, image_codecs::Decoded::ok);
    int worst = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(back.grid->pixels[i] >> 24, 255u);
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(int(back.grid->pixels[i] >> shift & 0xFF) -
                                             int(grid->pixels[i] >> shift & 0xFF)));
    }
    EXPECT_LE(worst, 24);
    // ImageMagick reads the same file to nearly the same pixels.
    write_all(dir / "ours.jpg", encoded);
    std::string command =
        "/usr/bin/convert " + (dir / "ours.jpg").string() + " bgra:" + (dir / "ours.raw").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<uint8_t> theirs = read_all(dir / "ours.raw");
    ASSERT_EQ(theirs.size(), back.grid->bytes());
    std::vector<uint8_t> ours = bytes_of(*back.grid);
    for (size_t i = 0; i < ours.size(); ++i) EXPECT_LE(std::abs(ours[i] - theirs[i]), 2) << i;
    pixels::free(grid);
    pixels::free(back.grid);
}

TEST_F(ImageCodecsTest, OversizedHeadersAreRefusedBeforeAllocating) {
    // A PNG header claiming 70000 x 1 pixels.
    std::vector<uint8_t> png = fixtures.front().bytes;
    png[16] = 0;
    png[17] = 1;
    png[18] = 0x11;
    png[19] = 0x70;
    EXPECT_EQ(image_codecs::decode(png.data(), png.size(), runtime::interrupt_requested).result,
              image_codecs::Decoded::bad);
    EXPECT_FALSE(image_codecs::decodable_size(65535, 65535));
    EXPECT_TRUE(image_codecs::decodable_size(16384, 16384));
    EXPECT_FALSE(image_codecs::decodable_size(0, 5));
}

// A file cut in half is refused, whatever its format: no decoder fills
// in what is missing.
TEST_F(ImageCodecsTest, FilesCutInHalfAreRefused) {
    for (const Fixture& f : fixtures) {
        if (f.name == "pages.tif") continue; // its first page lies whole in the first half
        image_codecs::Decoded d =
            image_codecs::decode(f.bytes.data(), f.bytes.size() / 2, runtime::interrupt_requested);
        EXPECT_EQ(d.result, image_codecs::Decoded::bad) << f.name;
        pixels::free(d.grid);
    }
}

// Every fixture cut short and with seeded byte flips decodes to an image
// or is refused; never a crash, a hang or output.
TEST_F(ImageCodecsTest, CorruptDataIsRefusedOrDecoded) {
    std::mt19937 random(16);
    for (const Fixture& f : fixtures) {
        auto check = [&](const std::vector<uint8_t>& bytes) {
            image_codecs::Decoded d =
                image_codecs::decode(bytes.data(), bytes.size(), runtime::interrupt_requested);
            EXPECT_TRUE(d.result == image_codecs::Decoded::ok ||
                        d.result == image_codecs::Decoded::bad ||
                        d.result == image_codecs::Decoded::unsupported)
                << f.name;
            pixels::free(d.grid);
        };
        for (size_t cut = 0; cut < f.bytes.size(); ++cut)
            check(std::vector<uint8_t>(f.bytes.begin(), f.bytes.begin() + cut));
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> bytes = f.bytes;
            for (int flips = 1 + round % 4; flips > 0; --flips)
                bytes[4 + random() % (bytes.size() - 4)] ^= uint8_t(1 + random() % 255);
            check(bytes);
        }
    }
}

} // namespace

namespace {

// The progressive fixture with its last scan written `copies` more times
// before the end of the image: redundant scans, each a pass of the
// decoder over every block.
std::vector<uint8_t> with_repeated_scan(const std::vector<uint8_t>& jpeg, int copies) {
    size_t at = 2, scan = 0, scan_end = 0;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xD9) {
        size_t end = at + 2 + (size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
        if (jpeg[at + 1] == 0xDA) {
            scan = at;
            // The entropy-coded data runs to the next marker that is not
            // a stuffed 0xFF or a restart.
            while (end + 1 < jpeg.size() && !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 &&
                                              (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7)))
                ++end;
            scan_end = end;
        }
        at = end;
    }
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(at));
    for (int i = 0; i < copies; ++i)
        out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(scan),
                   jpeg.begin() + std::ptrdiff_t(scan_end));
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

} // namespace

// A progressive file holding more scans than the limit is refused before
// the decoder passes over them all; one below it decodes.
TEST_F(ImageCodecsTest, JpegScansAreLimited) {
    auto progressive = std::ranges::find(fixtures, "progressive.jpg", &Fixture::name);
    ASSERT_NE(progressive, fixtures.end());
    struct Case {
        int copies;
        image_codecs::Decoded::Result result;
    } cases[] = {{10, image_codecs::Decoded::ok},
                 {image_codecs::max_jpeg_scans, image_codecs::Decoded::bad}};
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = with_repeated_scan(progressive->bytes, c.copies);
        image_codecs::Decoded d =
            image_codecs::decode(bytes.data(), bytes.size(), runtime::interrupt_requested);
        EXPECT_EQ(d.result, c.result) << c.copies;
        pixels::free(d.grid);
    }
}

// An interrupt asked for stops a JPEG decode (through the library's
// progress reports) and is reported as such.
TEST_F(ImageCodecsTest, InterruptStopsJpegDecoding) {
    for (const Fixture& f : fixtures) {
        if (image_codecs::sniff(f.bytes.data(), f.bytes.size()) != image_codecs::jpeg) continue;
        runtime::interrupt_requested.store(true);
        image_codecs::Decoded d =
            image_codecs::decode(f.bytes.data(), f.bytes.size(), runtime::interrupt_requested);
        runtime::interrupt_requested.store(false);
        EXPECT_EQ(d.result, image_codecs::Decoded::interrupted) << f.name;
        EXPECT_EQ(d.grid, nullptr) << f.name;
    }
}
