// Applying facet changes to the windows of shown faces: one face, a block
// of faces (positions and visibility applied together at the end of each
// group), changes inside series facets, and panes linked and restacked.
#pragma once

#include <cstdint>
#include <vector>

#include "gui/backend/window_types.h"
#include "runtime/cell.h"

namespace kiv::gui::faces {

// Positions, sizes and visibility of windows of one parent, gathered and
// then applied in one pass.
struct DeferredPosition {
    HWnd window = 0;
    Rect rect;
    bool move = false, size = false;
    int show = -1; // -1 unchanged, 0 hide, else the show command
};
using PositionBatch = std::vector<DeferredPosition>;
void apply_batch(const PositionBatch& batch);

// The change bits in the order they are applied.
void OS_update_view(const Cell& face);
// Applies the face's pending bits but `skip` (with a record: only offset,
// size and visibility, into the record). When an error leaves a change,
// the bits not applied yet stay pending.
void update_face(const Cell& face, uint32_t skip, DeferredPosition* record);
void OS_update_views(const Cell& faces);
// A change inside a series facet: the pane's faces linked or unlinked, a
// list's items, or else the whole face again.
void OS_update_facet(const Cell& face, const Cell& word, const Cell& value, const Cell& action,
                     const Cell* new_value, int32_t index, int32_t part);
// Puts the windows of a pane's faces on top in pane order.
void restack_pane(const Cell& pane);
// Moves a face's window under the window of `parent` (null: it is hidden
// and has no parent).
void link_pane_face(const Cell& face, const Cell* parent);

} // namespace kiv::gui::faces
