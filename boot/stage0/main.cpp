// The stage-0 program, run at build time only: boots the language from the
// text sources of a library folder and writes them as the boot image that
// the kiv executable is built with.
//
// Usage: kiv-stage0 LIBRARY-DIR IMAGE-FILE
#include <cstdio>
#include <string>

#include "boot/image.h"
#include "boot/startup.h"
#include "datatypes/binary.h"
#include "runtime/entry.h"
#include "runtime/faults.h"
#include "runtime/roots.h"
#include "runtime/throw.h"

namespace {

int write_file(const char* path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return 1;
    bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kiv-stage0 LIBRARY-DIR IMAGE-FILE\n");
        return 2;
    }
    kiv::runtime::os_init(argc, argv);
    kiv::runtime::prepare_thread();
    kiv::runtime::run([argv] {
        kiv::boot::start_from_sources(argv[1]);
        kiv::Rooted<kiv::Cell> image;
        if (const char* missing = kiv::boot::build_image(argv[1], *image)) {
            std::fprintf(stderr, "kiv-stage0: cannot read %s/%s.kiv\n", argv[1], missing);
            throw kiv::runtime::Quit{1};
        }
        if (write_file(argv[2], kiv::binary::head_ptr(*image), kiv::binary::length(*image))) {
            std::fprintf(stderr, "kiv-stage0: cannot write %s\n", argv[2]);
            throw kiv::runtime::Quit{1};
        }
    });
}
