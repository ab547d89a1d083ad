#include "gui/backend/resources.h"

#include "gui/backend/text/fonts.h"
#include "gui/backend/text/shared_context.h"
#include "runtime/externals.h"

#include <cstring>

namespace kiv::gui {

namespace {

uint32_t font = 0;
uint32_t com_object = 0;

// A value's reference to a font; windows may hold others.
void release_font(void* pointer) {
    text::release_font(static_cast<text::Font*>(pointer));
}

// Only Pango makes objects of this kind (layouts): it is loaded when one
// exists.
void release_object(void* pointer) {
    if (pointer) text::pango().object_unref(pointer);
}

// Without a table (the runtime not started) nothing can own a resource.
uint32_t find_or_register(const char* name, externals::Release release) {
    const externals::Table& table = externals::table;
    if (!table.kinds) return 0;
    for (uint32_t i = 0; i < table.kind_count; ++i)
        if (std::strcmp(table.kinds[i].name, name) == 0) return i + 1;
    return externals::register_kind(name, release);
}

} // namespace

void register_resource_kinds() {
    font = find_or_register("font", release_font);
    com_object = find_or_register("com-object", release_object);
}

uint32_t font_kind() {
    return font;
}

uint32_t com_object_kind() {
    return com_object;
}

} // namespace kiv::gui
