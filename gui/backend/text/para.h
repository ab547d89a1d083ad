// Paragraph styles: the style bits a para! object gives each face type
// (alignment, vertical alignment, wrapping), and the re-styling of a
// shown face's window after its para changed.
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::gui::text {

// The bits of the para for a face type (a word); 0 for a value that is no
// para object or a type that takes none.
uint32_t get_para_flags(const Cell& type, const Cell& para);
// The bits update_para clears before setting the new ones.
uint32_t para_mask(const Cell& type);

// For a shown face (`state` a block, `type` a word): its window's style
// becomes (old and not mask) or the para bits, the window is told with
// WM_STYLECHANGED, and the para bit is set in the face's pending changes.
// An `area` is made again by the hook when one is set (its wrapping is
// fixed at creation); without one it is re-styled as the others.
void update_para(const Cell& face);

struct ParaHooks {
    void (*remake_area)(const Cell& face) = nullptr;
};
ParaHooks& para_hooks();

// The para change bit of a face's pending changes.
inline constexpr uint32_t para_changed = 0x40000;

} // namespace kiv::gui::text
