#include "platform/pango_api.h"

#include "platform/shared_library.h"

namespace kiv {

// Pango, GObject, fontconfig and Cairo are PangoCairo's own dependencies:
// looking a name up through its handle finds them there.
const PangoApi* pango_api() {
    return platform::open_api<PangoApi>("libpangocairo-1.0.so.0", [](void* library, PangoApi& api) {
        bool bound = true;
#define KIV_PANGO_BIND(prefix, name)                                                               \
    bound = platform::bind(library, #prefix #name, api.name) && bound;
        KIV_PANGO_FUNCTIONS(KIV_PANGO_BIND)
#undef KIV_PANGO_BIND
        return bound;
    });
}

void load_font_config(const PangoApi& api) {
    static const bool loaded = api.Init();
    (void)loaded;
}

} // namespace kiv
