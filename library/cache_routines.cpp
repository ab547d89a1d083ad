#include "library/cache_routines.h"

#include <string>

#include "datatypes/binary.h"
#include "datatypes/file.h"
#include "datatypes/function.h"
#include "io/files.h"
#include "runtime/errors.h"

namespace kiv::cache_routines {
namespace {

void raise_on_failure(const io::Status& status, const Cell& file) {
    if (!status.ok()) file::raise_cannot_open(file, status.code);
}

// make-private-dir path: makes the folder and its missing parents, private
// to the user.
void make_private_dir(Cell* args) {
    raise_on_failure(io::make_private_dirs(file::to_os_string(args[0])), args[0]);
}

// replace-file path data: puts the binary's bytes in place of the file's
// content at once (a temporary file renamed over it).
void replace_file(Cell* args) {
    std::string path = file::to_os_string(args[0]);
    const uint8_t* bytes = binary::head_ptr(args[1]);
    size_t length = size_t(binary::length(args[1]));
    raise_on_failure(io::replace_file(path, {bytes, length}), args[0]);
}

} // namespace

void register_routines() {
    routine::register_named("make-private-dir", make_private_dir);
    routine::register_named("replace-file", replace_file);
}

} // namespace kiv::cache_routines
