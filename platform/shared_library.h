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

// Opens `soname` once and fills the table of its functions through
// `bind_all`; null when the library or one of the functions is missing.
template <typename Api>
const Api* open_api(const char* soname, bool (*bind_all)(void* library, Api& api)) {
    static Api api;
    static const bool ready = [&] {
        void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
        return library && bind_all(library, api);
    }();
    return ready ? &api : nullptr;
}

} // namespace kiv::platform
