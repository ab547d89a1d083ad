#include "platform/os.h"

#include <sys/mman.h>

#include "runtime/throw.h"

namespace kiv::os {

void* virtual_alloc(size_t size, bool executable) {
    int protection = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) runtime::throw_code(runtime::code::os_alloc_failed);
    return p;
}

void virtual_free(void* pointer, size_t size) {
    if (munmap(pointer, size) != 0) runtime::throw_code(runtime::code::os_release_failed);
}

} // namespace kiv::os
