#include "boot/sources.h"

#include <fstream>
#include <iterator>

namespace kiv::boot {

bool read_source(const char* library_dir, const char* name, std::string& text) {
    std::ifstream file(std::string(library_dir) + "/" + name + ".kiv", std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

} // namespace kiv::boot
