// Fuzz target for inflate and the gzip and zlib readers. Every input goes
// through all three; for raw DEFLATE, zlib's inflate is the reference: the
// same verdict and the same bytes. Any difference aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "io/containers.h"
#include "io/inflate.h"
#include "tests/unit/codec_fixture.h"

namespace {

using Code = kiv::codec::Code;

// Runs a codec with a small capacity, then again with the size it asked
// for; the final code and bytes.
template <class Codec>
Code decode(Codec codec, const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
    out.assign(4096, 0);
    size_t produced = 0;
    Code code = codec(kiv::codec::Bytes(data, size), std::span<uint8_t>(out), produced);
    if (code == Code::too_small) {
        out.assign(produced, 0);
        code = codec(kiv::codec::Bytes(data, size), std::span<uint8_t>(out), produced);
    }
    out.resize(code == Code::done ? produced : 0);
    return code;
}

void fail(const char* what, size_t size) {
    std::fprintf(stderr, "inflate fuzz: %s (input of %zu bytes)\n", what, size);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> ours;
    Code code = decode(kiv::inflate::decompress, data, size, ours);
    if (code == Code::too_small) fail("too small after resizing", size);
    auto theirs = codec_test::zlib_inflate_raw(std::vector<uint8_t>(data, data + size));
    bool valid = theirs.has_value();
    if (valid != (code == Code::done))
        fail(valid ? "refuses a valid stream" : "accepts an invalid stream", size);
    if (valid && ours != *theirs) fail("decodes different bytes", size);
    if (decode(kiv::gzip::decompress, data, size, ours) == Code::too_small)
        fail("gzip resize", size);
    if (decode(kiv::zlib::decompress, data, size, ours) == Code::too_small)
        fail("zlib resize", size);
    return 0;
}
