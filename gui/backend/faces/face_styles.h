// The window styles the face code gives its windows. The values are the
// ones the window procedures, the controls and the backends read.
#pragma once

#include <cstdint>

namespace kiv::gui::faces {

inline constexpr uint32_t WS_POPUP = 0x80000000;
inline constexpr uint32_t WS_CHILD = 0x40000000;
inline constexpr uint32_t WS_CLIPSIBLINGS = 0x04000000;
inline constexpr uint32_t WS_CLIPCHILDREN = 0x02000000;
inline constexpr uint32_t WS_CAPTION = 0x00C00000;
inline constexpr uint32_t WS_BORDER = 0x00800000;
inline constexpr uint32_t WS_VSCROLL = 0x00200000;
inline constexpr uint32_t WS_HSCROLL = 0x00100000;
inline constexpr uint32_t WS_SYSMENU = 0x00080000;
inline constexpr uint32_t WS_THICKFRAME = 0x00040000;
inline constexpr uint32_t WS_GROUP = 0x00020000;
inline constexpr uint32_t WS_TABSTOP = 0x00010000;

inline constexpr uint32_t WS_EX_TOOLWINDOW = 0x80;
inline constexpr uint32_t WS_EX_CLIENTEDGE = 0x200;

// Control styles chosen by face type.
inline constexpr uint32_t BS_RADIOBUTTON = 0x4;
inline constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
inline constexpr uint32_t BS_AUTO3STATE = 0x6;
inline constexpr uint32_t BS_GROUPBOX = 0x7;
inline constexpr uint32_t BS_PUSHLIKE = 0x1000;
inline constexpr uint32_t BS_MULTILINE = 0x2000;
inline constexpr uint32_t ES_PASSWORD = 0x20;
inline constexpr uint32_t ES_AUTOVSCROLL = 0x40;
inline constexpr uint32_t ES_AUTOHSCROLL = 0x80;
inline constexpr uint32_t ES_NOHIDESEL = 0x100;
inline constexpr uint32_t LBS_NOTIFY = 0x1;
inline constexpr uint32_t LBS_NOINTEGRALHEIGHT = 0x100;
inline constexpr uint32_t CBS_DROPDOWN = 0x2;
inline constexpr uint32_t CBS_DROPDOWNLIST = 0x3;
inline constexpr uint32_t CBS_AUTOHSCROLL = 0x40;
inline constexpr uint32_t CBS_HASSTRINGS = 0x200;
inline constexpr uint32_t PBS_VERTICAL = 0x4;
inline constexpr uint32_t TBS_VERT = 0x2;
inline constexpr uint32_t TBS_DOWNISLEFT = 0x400;
inline constexpr uint32_t SBS_VERT = 0x1;
inline constexpr uint32_t MCS_NOTODAY = 0x10;
inline constexpr uint32_t MCS_SHORTDAYSOFWEEK = 0x80;
inline constexpr uint32_t MCS_NOSELCHANGEONNAV = 0x100;

// Bits of the window-flags slot.
inline constexpr uint32_t wf_region = 0x1;
inline constexpr uint32_t wf_caret_face = 0x2;
inline constexpr uint32_t wf_swap_chain = 0x4; // drawn through its own swap chain
inline constexpr uint32_t wf_ime = 0x8;
inline constexpr uint32_t wf_pair_size = 0x10;

} // namespace kiv::gui::faces
