#include "platform/tiff_api.h"

#include "platform/shared_library.h"

namespace kiv {

const TiffApi* tiff_api() {
    return platform::open_api<TiffApi>(KIV_LIBTIFF, [](void* library, TiffApi& api) {
        bool bound = true;
#define KIV_TIFF_BIND(name) bound = platform::bind(library, "TIFF" #name, api.name) && bound;
        KIV_TIFF_FUNCTIONS(KIV_TIFF_BIND)
#undef KIV_TIFF_BIND
        return bound;
    });
}

} // namespace kiv
