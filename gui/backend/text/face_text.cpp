#include "gui/backend/text/face_text.h"

#include "datatypes/block.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "gui/backend/control_models.h"
#include "gui/backend/dpi.h"
#include "gui/backend/faces/face_hooks.h"
#include "gui/backend/text/facets.h"
#include "gui/backend/text/fonts.h"
#include "gui/backend/text/para.h"
#include "gui/backend/window_layer.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::gui::text {

namespace {

uint32_t para_style(const Cell& face, faces::FaceType) {
    return get_para_flags(facet(face, FaceFacet::type), facet(face, FaceFacet::para));
}

// Removes the face from the object's users (`parent`, a block); true when
// none are left.
bool leave_users(const Cell& object, uint32_t parent_index, const Cell& face) {
    Rooted<Cell> users(*(object::get_values(object) + parent_index));
    if (cell::type_of(*users) != TYPE_BLOCK) return true;
    int32_t found = 0;
    for (int32_t i = 0; i < block::rs_length(*users); ++i)
        found += same_object(block::rs_head(*users)[i], face);
    Cell key = face;
    for (int32_t i = 0; i < found; ++i) block::remove_value(*users, key, true);
    return block::rs_length(*users) == 0;
}

// The face leaves its font's (or para's) users; a font none uses any more
// has its native fonts released (windows keep the ones they show).
void release_user(const Cell& face, faces::Facet which) {
    Rooted<Cell> f(face);
    bool font = which == faces::f_font;
    Rooted<Cell> object(facet(face, font ? FaceFacet::font : FaceFacet::para));
    if (font ? !is_font(*object) : !is_para(*object)) return;
    uint32_t parent = font ? uint32_t(FontFacet::parent) : uint32_t(ParaFacet::parent);
    if (leave_users(*object, parent, *f) && font) free_font(*object);
}

// A control's font as CSS for its widget, in the toolkit's pixels.
std::string control_css(int64_t font) {
    return font ? font_css(*reinterpret_cast<Font*>(font), scale_factor()) : std::string();
}

} // namespace

void install_face_hooks() {
    font_css_hook() = control_css;
    faces::FaceHooks& h = faces::hooks();
    h.para_style = para_style;
    h.set_font = set_font;
    h.release_font_user = release_user;
    set_settings_listener(refresh_default_font);
}

} // namespace kiv::gui::text
