// The boot image: the boot sources as KIVBIN values, made at build time by
// the stage-0 program from the text sources and built into the executable.
//
// Its first value is the error catalog, loaded as a block; every other
// value is the code of one boot source (its header skipped), evaluated in
// order. The sources that only bind natives and actions to their words
// are written as definitions instead, which the load itself carries out.
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace kiv::boot {

// The image built into this executable (empty in the stage-0 program).
extern const uint8_t image_data[];
extern const size_t image_size;

// Builds the image from the sources of `library_dir` into a binary! in
// `out` (a root); returns null, or the name of a source it cannot read.
// The language must already stand, booted from the same sources: a
// definition is written only where the word's value at the end of that
// boot is the native or action its expression made.
const char* build_image(const char* library_dir, Cell& out);

} // namespace kiv::boot
