// Faces as the backend reads them: objects whose fields, in the engine's
// template order, are read by position; the face type by its word; the
// native window kept at the head of the face's state block.
#pragma once

#include <cstdint>

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// The facets in field order; each facet's change bit is 1 << its index.
enum Facet : uint32_t {
    f_type,
    f_offset,
    f_size,
    f_text,
    f_image,
    f_color,
    f_menu,
    f_data,
    f_enabled,
    f_visible,
    f_selected,
    f_flags,
    f_options,
    f_parent,
    f_pane,
    f_state,
    f_rate,
    f_edge,
    f_para,
    f_font,
    f_actors,
    f_extra,
    f_draw,
    f_on_change,
    f_on_deep_change,
    facet_count,
};

constexpr uint32_t bit(Facet f) {
    return 1u << f;
}

enum class FaceType {
    other,
    window,
    screen,
    base,
    rich_text,
    button,
    toggle,
    check,
    radio,
    panel,
    group_box,
    tab_panel,
    field,
    area,
    text,
    text_list,
    drop_down,
    drop_list,
    progress,
    slider,
    scroller,
    camera,
    calendar,
};

// An object with at least the template's fields; anything shorter is no
// face.
bool is_face(const Cell& value);
// The value cell of a facet; valid until the next allocation (copy it,
// or use facet_value, before anything that may allocate).
Cell& facet(const Cell& face, Facet f);
inline Cell facet_value(const Cell& face, Facet f) {
    return facet(face, f);
}
// The type of a face by its type word (without regard to case); `other`
// for an unknown word or a type that is no word.
FaceType face_type(const Cell& face);
// Drops the table of type words, made again at the next lookup: at every
// start of the faces, since a program started afresh has symbol ids of its
// own (and the layer may start before any program does).
void forget_face_types();
// Whether the facet is a word naming `name` (without regard to case).
bool is_word(const Cell& value, const char* name);

// The value after the word `key` in an options block; with `pairs`, only
// keys at even positions of an even-length block count. False when there
// is none.
bool option_value(const Cell& options, const char* key, bool pairs, Cell& value);

// The window of a face: the handle at the head of its state block; 0 when
// it has none.
HWnd face_window(const Cell& face);
// The pending change bits (second value of the state block); 0 without one.
uint32_t pending_bits(const Cell& face);
void set_pending_bits(const Cell& face, uint32_t bits);

// The face a window carries (slot-table handle in its face slot); false
// when it has none.
bool window_face(HWnd window, Cell& out);

// A pair or point2D as floats; false for other values.
bool read_point(const Cell& value, double& x, double& y);
// Whether a colour facet is an opaque tuple (three parts, or four with a
// zero transparency byte).
bool opaque_color(const Cell& color);

} // namespace kiv::gui::faces
