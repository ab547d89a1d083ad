// Our codecs against Python's zlib and gzip, over a corpus made at test
// time: our streams must decompress there, and zlib's (every level and
// strategy, every window size, gzip files with a name) here.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "io/containers.h"
#include "io/deflate.h"
#include "io/inflate.h"
#include "tests/unit/codec_fixture.h"

using namespace codec_test;
namespace fs = std::filesystem;

namespace {

std::map<std::string, Bytes> corpus() {
    std::map<std::string, Bytes> c;
    for (size_t n : {0, 1, 2, 3}) c["text" + std::to_string(n)] = text_like(n, 1);
    for (size_t n : {32767, 32768}) c["text" + std::to_string(n)] = text_like(n, 2);
    for (size_t n : {65535, 65536}) c["runs" + std::to_string(n)] = runs(n, 3);
    c["random65536"] = random_bytes(65536, 4);
    c["random1000"] = random_bytes(1000, 5);
    c["bytes76800"] = every_byte(76800);
    c["text200000"] = text_like(200000, 6);
    return c;
}

void write(const fs::path& path, const Bytes& data) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

Bytes read(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

template <class Codec>
Bytes packed(Codec codec, const Bytes& input) {
    return run_codec(codec, input, kiv::deflate::bound(input.size()) + 18).out;
}

struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "kiv-codecs-XXXXXX").string();
        if (::mkdtemp(pattern.data())) path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path.empty()) fs::remove_all(path, ignored);
    }
};

} // namespace

TEST(CodecCrossCheck, AgainstPythonZlibAndGzip) {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    if (!root) GTEST_SKIP() << "KIV_SOURCE_DIR not set";
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    const auto inputs = corpus();
    for (const auto& [name, data] : inputs) {
        write(dir.path / (name + ".raw"), data);
        write(dir.path / (name + ".deflate"), packed(kiv::deflate::compress, data));
        write(dir.path / (name + ".zlib"), packed(kiv::zlib::compress, data));
        write(dir.path / (name + ".gzip"), packed(kiv::gzip::compress, data));
    }
    std::string report = (dir.path / "report.txt").string();
    std::string cmd = KIV_PYTHON " " + std::string(root) + "/tests/unit/codec_oracle.py " +
                      dir.path.string() + " > " + report + " 2>&1";
    int status = std::system(cmd.c_str());
    EXPECT_EQ(status, 0) << [&] {
        Bytes r = read(report);
        return std::string(r.begin(), r.end());
    }();

    size_t decoded = 0;
    for (const auto& entry : fs::directory_iterator(dir.path)) {
        const fs::path& p = entry.path();
        std::string file = p.filename().string();
        bool gz = p.extension() == ".gz";
        if (!gz && (p.extension() != ".zlib" || p.stem().extension().empty())) continue;
        const Bytes& expected = inputs.at(file.substr(0, file.find('.')));
        Bytes stream = read(p);
        Coded ours = gz ? run_codec(kiv::gzip::decompress, stream, expected.size())
                        : run_codec(kiv::zlib::decompress, stream, expected.size());
        EXPECT_EQ(ours.code, Code::done) << file;
        EXPECT_TRUE(ours.out == expected) << file;
        ++decoded;
    }
    EXPECT_EQ(decoded, inputs.size() * 15);
}
