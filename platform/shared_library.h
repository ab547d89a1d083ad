// Functions of a shared library opened with dlopen at its first use, so
// that a start that needs none of them does not load it.
#pragma once

#include <dlfcn.h>

namespace kiv::platform {

// Sets `fn` to the library's function of that name; false when missing.
template <typename Fn>
bool bind(void* library, const char* name, Fn& fn) {
    fn = reinterpret_cast<Fn>(dlsym(library, name));
    return fn != nullptr;
}

} // namespace kiv::platform
