#include "platform/cairo_api.h"

#include "platform/shared_library.h"

namespace kiv {

const CairoApi* cairo_api() {
    return platform::open_api<CairoApi>("libcairo.so.2", [](void* library, CairoApi& api) {
        bool bound = true;
#define KIV_CAIRO_BIND(name) bound = platform::bind(library, "cairo_" #name, api.name) && bound;
        KIV_CAIRO_FUNCTIONS(KIV_CAIRO_BIND)
#undef KIV_CAIRO_BIND
        return bound;
    });
}

} // namespace kiv
