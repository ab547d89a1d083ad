// Kiv code defining `face-template`, an object with the face template's
// fields in order: none but the two logic facets, and handlers that do
// nothing. The face tests and bench/faces make their faces from it until
// the GUI engine's own template exists.
#pragma once

#include "datatypes/block.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "gui/backend/faces/face.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::testing {

inline constexpr const char* face_template_script = R"(
face-template: object [
    type: 'face offset: none size: none text: none image: none color: none menu: none
    data: none enabled?: true visible?: true selected: none flags: none options: none
    parent: none pane: none state: none rate: none edge: none para: none font: none
    actors: none extra: none draw: none
    on-change*: func [word old new] []
    on-deep-change*: func [owner word target action new index part] []
]
)";

// Gives a face made into a window the state block the engine keeps:
// [window changes none false].
inline void keep_state(const Cell& face, const Cell& window) {
    Rooted<Cell> kept(face), handle(window), state;
    block::make_at(*state, 4);
    block::append_value(*state, *handle);
    integer::make_in(*state, 0);
    block::append_value(*state, Cell{TYPE_NONE, 0, 0, 0});
    logic::make_in(*state, false);
    gui::faces::facet(*kept, gui::faces::f_state) = *state;
}

} // namespace kiv::testing
