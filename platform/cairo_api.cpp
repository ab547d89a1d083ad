#include "platform/cairo_api.h"

#include <dlfcn.h>
#include <mutex>

namespace kiv {

const CairoApi* cairo_api() {
    static CairoApi api;
    static bool ready = false;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libcairo.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        bool bound = true;
#define KIV_CAIRO_BIND(name)                                                                       \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(library, "cairo_" #name));               \
    bound = bound && api.name;
        KIV_CAIRO_FUNCTIONS(KIV_CAIRO_BIND)
#undef KIV_CAIRO_BIND
        ready = bound;
    });
    return ready ? &api : nullptr;
}

} // namespace kiv
