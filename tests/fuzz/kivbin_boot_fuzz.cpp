// Fuzz target of the KIVBIN reader's boot mode: any bytes either load as a
// boot image or fail with a message, never crash and never raise.
//
// With KIV_FUZZ_SEEDS naming the corpus folder, the start writes there the
// boot image built in and small images of definitions and of words bound
// to an earlier boot value.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "boot/image.h"
#include "datatypes/block.h"
#include "evaluator/trap.h"
#include "harness.h"
#include "kivbin/kivbin.h"
#include "runtime/collector.h"
#include "runtime/memory.h"

namespace {

using namespace kiv;

// Compact containers (version 1, flags 0x05) whose symbols are "a" and
// "b": a definition of a as 5; a context of a and b with their values,
// then b bound to it by symbol and a by slot.
const std::vector<uint8_t> small_images[] = {
    {'K', 'I', 'V', 'B', 'I', 'N', 1,   5, 1,   4, 2,    4,    0,    0,
     0,   0,   2,   0,   0,   0,   'a', 0, 'b', 0, 0xC4, 0x0F, 0x00, 0x85},
    {'K', 'I', 'V', 'B', 'I',  'N',  1, 5, 1, 15,   2,    4,    0, 0, 0, 0,    2, 0, 0, 0,
     'a', 0,   'b', 0,   0x0E, 0x12, 2, 0, 1, 0x81, 0x82, 0x4F, 1, 0, 1, 0x4F, 0, 0, 0},
};

void write_seeds(const std::filesystem::path& corpus) {
    std::ofstream(corpus / "boot-image", std::ios::binary)
        .write(reinterpret_cast<const char*>(boot::image_data), std::streamsize(boot::image_size));
    int n = 0;
    for (const std::vector<uint8_t>& image : small_images)
        std::ofstream(corpus / ("boot-small-" + std::to_string(n++)), std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
}

// A boot load runs with the collector off, and between inputs nothing
// allocates to set it off: without a collection of its own the target
// would keep every earlier input's values. Collect once the memory held
// has grown by a quarter of a gigabyte since the last collection.
void collect_when_grown() {
    static size_t held_after_collection = memory::record.os_bytes;
    if (memory::record.os_bytes < held_after_collection + (size_t(256) << 20)) return;
    collector::collect();
    held_after_collection = memory::record.os_bytes;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return fuzz::start_with_seeds(write_seeds);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Rooted<Cell> values;
    Rooted<Cell> failure;
    block::make_at(*values, 1);
    bool ran = trap::run([&] { kivbin::boot_load(data, size, *values); }, *failure);
    if (!ran) std::abort(); // a boot load reports its failures, it raises none
    collect_when_grown();
    return 0;
}
