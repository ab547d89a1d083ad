// event!: the value every input of a GUI window becomes. A cell holds the
// header (flag 0x1000 when it carries a block of stored values), the type
// code (1..38), the node of the stored-values block [face window offset
// picked] of an event made by `make event!`, and the flag bits, whose low
// 21 bits hold a character or a key code.
//
// The live event, refilled for every message, reads its fields from the
// backend's copy of the last message (live_event.h).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::gui::event {

enum Type : uint32_t {
    down = 1,
    up,
    mid_down,
    mid_up,
    alt_down,
    alt_up,
    aux_down,
    aux_up,
    click,
    dbl_click,
    wheel,
    over,
    key,
    key_down,
    key_up,
    ime,
    focus,
    unfocus,
    enter,
    zoom,
    pan,
    rotate,
    two_tap,
    press_tap,
    select,
    change,
    menu,
    close,
    move,
    resize,
    moving,
    resizing,
    time,
    drawing,
    scroll,
    minimize,
    maximize,
    restore,
};
constexpr uint32_t type_count = restore;

enum Flag : uint32_t {
    flag_aux_down = 0x00400000,
    flag_alt_down = 0x00800000,
    flag_mid_down = 0x01000000,
    flag_down = 0x02000000,
    flag_away = 0x04000000,
    flag_control = 0x10000000,
    flag_shift = 0x20000000,
    flag_alt = 0x40000000,
    flag_command = 0x80000000,
};
// The bits below the flags: a whole code point.
constexpr uint32_t char_mask = 0x1FFFFF;
// Word 2 of the live event and of its copies: they read the backend's copy
// of the last message.
constexpr uint32_t live_marker = 1;

// The type word of a code (1..38); none for 0; another code ends the
// process with code 101.
const char* type_name(uint32_t code);
// The code of a type word, 0 when it names none.
uint32_t type_code(const Cell& word);

// Pushes field `index` (1..15) of an event.
Cell* push_field(const Cell& event, int32_t index);

void init();

} // namespace kiv::gui::event
