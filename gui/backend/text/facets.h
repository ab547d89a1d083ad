// Reading the facets of faces, fonts and paragraph styles by position.
// Any object may be given where one is expected: it is taken for a face
// (a font, a para) only when its first words are those of the template,
// in the template's order.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::gui::text {

enum class FaceFacet : uint32_t {
    type = 0,
    offset,
    size,
    text,
    image,
    color,
    menu,
    data,
    enabled,
    visible,
    selected,
    flags,
    options,
    parent,
    pane,
    state,
    rate,
    edge,
    para,
    font,
    actors,
    extra,
    draw,
};

enum class FontFacet : uint32_t {
    name = 0,
    size,
    style,
    angle,
    color,
    anti_alias,
    shadow,
    state,
    parent,
};

enum class ParaFacet : uint32_t { origin = 0, padding, scroll, align, v_align, wrap, parent };

bool is_face(const Cell& value);
bool is_font(const Cell& value);
bool is_para(const Cell& value);

// The value of a facet; the object must have the layout.
Cell facet(const Cell& object, FaceFacet f);
Cell facet(const Cell& object, FontFacet f);
Cell facet(const Cell& object, ParaFacet f);
void set_facet(const Cell& object, FontFacet f, const Cell& value);
void set_facet(const Cell& object, FaceFacet f, const Cell& value);

// Whether two object values are the same object (one context).
bool same_object(const Cell& a, const Cell& b);

} // namespace kiv::gui::text
