// Fuzz target of the KIVBIN decoder: any bytes either decode or raise a
// language error; what decodes is written again in both layouts, which
// succeeds or raises (a value the writer refuses), never crashes.
//
// With KIV_FUZZ_SEEDS naming the corpus folder, the start writes there the
// compact and regular encodings of the values every text seed loads to,
// so that the inputs start from valid containers.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "harness.h"
#include "kivbin/kivbin.h"

namespace {

using namespace kiv;

// The container of a value in one layout; false when the writer refuses.
bool encode(const Cell& value, bool compact, std::string& out) {
    Rooted<Cell> kept(value);
    Rooted<Cell> binary;
    Rooted<Cell> failure;
    bool written = trap::run([&] { kivbin::encode(*kept, compact, *binary); }, *failure);
    if (written)
        out.assign(reinterpret_cast<const char*>(binary::head_ptr(*binary)),
                   binary::length(*binary));
    return written;
}

void write_seeds(const std::filesystem::path& corpus) {
    std::vector<std::filesystem::path> texts;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
        if (entry.is_regular_file()) texts.push_back(entry.path());
    int n = 0;
    for (const auto& path : texts) {
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Rooted<Cell> values;
        Rooted<Cell> failure;
        if (!trap::run(
                [&] {
                    lexer::load(*values, reinterpret_cast<const uint8_t*>(text.data()),
                                uint32_t(text.size()));
                },
                *failure))
            continue;
        for (bool compact : {true, false}) {
            std::string container;
            if (!encode(*values, compact, container)) continue;
            std::ofstream(corpus / ("kivbin-" + std::to_string(n++)), std::ios::binary)
                << container;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return fuzz::start_with_seeds(write_seeds);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0x7FFFFFF0u) return 0;
    Rooted<Cell> input;
    binary::load_at(*input, data, uint32_t(size));
    Rooted<Cell> values;
    Rooted<Cell> failure;
    block::make_at(*values, 1);
    trap::run([&] { kivbin::decode(*input, *values); }, *failure);
    std::string again;
    encode(*values, true, again);
    encode(*values, false, again);
    return 0;
}
