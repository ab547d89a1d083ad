#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/image_codecs.h"
#include "platform/pixels.h"

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
            "python3 " + std::string(root) + "/tests/unit/image_fixtures.py " + dir.string();
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::ifstream manifest(dir / "manifest");
        Fixture f;
        while (manifest >> f.name >> f.width >> f.height) {
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
        image_codecs::Decoded d = image_codecs::decode(f.bytes.data(), f.bytes.size());
        ASSERT_EQ(d.result, image_codecs::Decoded::ok) << f.name;
        EXPECT_EQ(d.grid->width, f.width) << f.name;
        EXPECT_EQ(d.grid->height, f.height) << f.name;
        EXPECT_EQ(bytes_of(*d.grid), f.expected) << f.name;
        pixels::free(d.grid);
    }
}

TEST_F(ImageCodecsTest, EncodedPngReadsBackExactlyHereAndInImageMagick) {
    const Fixture& rgba = fixtures.front();
    image_codecs::Decoded d = image_codecs::decode(rgba.bytes.data(), rgba.bytes.size());
    ASSERT_EQ(d.result, image_codecs::Decoded::ok);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(image_codecs::encode(*d.grid, image_codecs::png, encoded));
    image_codecs::Decoded back = image_codecs::decode(encoded.data(), encoded.size());
    ASSERT_EQ(back.result, image_codecs::Decoded::ok);
    EXPECT_EQ(bytes_of(*back.grid), rgba.expected);
    // ImageMagick's own reading of our file: the Debian tool by its path.
    write_all(dir / "ours.png", encoded);
    std::string command =
        "/usr/bin/convert " + (dir / "ours.png").string() + " bgra:" + (dir / "ours.raw").string();
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(read_all(dir / "ours.raw"), rgba.expected);
    pixels::free(d.grid);
    pixels::free(back.grid);
}

TEST_F(ImageCodecsTest, EncodedJpegIsOpaqueAndCloseToTheSource) {
    pixels::Grid* grid = pixels::alloc(16, 16);
    for (uint32_t i = 0; i < 256; ++i)
        grid->pixels[i] = pixels::pack(uint8_t(i % 16 * 16), uint8_t(i / 16 * 16), 128, 10);
    std::vector<uint8_t> encoded;
    ASSERT_TRUE(image_codecs::encode(*grid, image_codecs::jpeg, encoded));
    image_codecs::Decoded back = image_codecs::decode(encoded.data(), encoded.size());
    ASSERT_EQ(back.result, image_codecs::Decoded::ok);
    int worst = 0;
    for (uint32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(back.grid->pixels[i] >> 24, 255u);
        for (int shift : {0, 8, 16})
            worst = std::max(worst, std::abs(int(back.grid->pixels[i] >> shift & 0xFF) -
                                             int(grid->pixels[i] >> shift & 0xFF)));
    }
    EXPECT_LE(worst, 24);
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
    EXPECT_EQ(image_codecs::decode(png.data(), png.size()).result, image_codecs::Decoded::bad);
    EXPECT_FALSE(image_codecs::decodable_size(65535, 65535));
    EXPECT_TRUE(image_codecs::decodable_size(16384, 16384));
    EXPECT_FALSE(image_codecs::decodable_size(0, 5));
}

// Every fixture cut short and with seeded byte flips decodes to an image
// or is refused; never a crash, a hang or output.
TEST_F(ImageCodecsTest, CorruptDataIsRefusedOrDecoded) {
    std::mt19937 random(16);
    for (const Fixture& f : fixtures) {
        auto check = [&](const std::vector<uint8_t>& bytes) {
            image_codecs::Decoded d = image_codecs::decode(bytes.data(), bytes.size());
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
