#include "gui/backend/keys.h"

#include "gui/backend/messages.h"

#include <initializer_list>

namespace kiv::gui::keys {

namespace {

struct KeyWord {
    uint32_t vk;
    const char* word;
};
constexpr KeyWord key_words[] = {
    {0x21, "page-up"},      {0x22, "page-down"},
    {0x23, "end"},          {0x24, "home"},
    {0x25, "left"},         {0x26, "up"},
    {0x27, "right"},        {0x28, "down"},
    {0x2D, "insert"},       {0x2E, "delete"},
    {0x70, "F1"},           {0x71, "F2"},
    {0x72, "F3"},           {0x73, "F4"},
    {0x74, "F5"},           {0x75, "F6"},
    {0x76, "F7"},           {0x77, "F8"},
    {0x78, "F9"},           {0x79, "F10"},
    {0x7A, "F11"},          {0x7B, "F12"},
    {0xA0, "left-shift"},   {0xA1, "right-shift"},
    {0xA2, "left-control"}, {0xA3, "right-control"},
    {0xA4, "left-alt"},     {0xA5, "right-alt"},
    {0x5B, "left-command"}, {0x5C, "right-command"},
    {0x14, "caps-lock"},    {0x90, "num-lock"},
    {0x91, "scroll-lock"},  {0x13, "pause"},
};

struct Range {
    uint32_t first, last;
};
constexpr Range char_keys[] = {
    {0x08, 0x09}, {0x0D, 0x0D}, {0x1B, 0x1B}, {0x20, 0x20}, {0x30, 0x39}, {0x41, 0x5A},
    {0x60, 0x6B}, {0x6D, 0x6F}, {0xBA, 0xC0}, {0xDB, 0xDF}, {0xE2, 0xE4}, {0xE9, 0xF5},
};

// The punctuation keys of the US layout.
struct Punctuation {
    uint32_t vk, c;
};
constexpr Punctuation punctuation[] = {
    {0xBA, ';'}, {0xBB, '='}, {0xBC, ','},  {0xBD, '-'}, {0xBE, '.'},  {0xBF, '/'},
    {0xC0, '`'}, {0xDB, '['}, {0xDC, '\\'}, {0xDD, ']'}, {0xDE, '\''}, {0x6A, '*'},
    {0x6B, '+'}, {0x6D, '-'}, {0x6E, '.'},  {0x6F, '/'},
};

} // namespace

const char* key_word(uint32_t vk) {
    for (auto& k : key_words)
        if (k.vk == vk) return k.word;
    return nullptr;
}

bool is_char_key(uint32_t vk) {
    for (auto& r : char_keys)
        if (vk >= r.first && vk <= r.last) return true;
    return false;
}

uint32_t scan_to_side_key(uint32_t scan) {
    switch (scan) {
    case 0x2A: return VK_LSHIFT;
    case 0x36: return VK_RSHIFT;
    case 0x1D: return VK_LCONTROL;
    case 0x38: return VK_LMENU;
    default: return 0;
    }
}

uint32_t key_to_char(uint32_t vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return vk;
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return '0' + (vk - VK_NUMPAD0);
    switch (vk) {
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    case VK_SPACE: return ' ';
    default: break;
    }
    for (auto& p : punctuation)
        if (p.vk == vk) return p.c;
    return 0;
}

uint32_t char_to_key(uint32_t c) {
    if (c >= 'a' && c <= 'z') return c - 0x20;
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= '0' && c <= '9') return c;
    for (uint32_t vk : {VK_BACK, VK_TAB, VK_RETURN, VK_ESCAPE, VK_SPACE})
        if (key_to_char(vk) == c) return vk;
    for (auto& p : punctuation)
        if (p.c == c && p.vk >= 0xBA) return p.vk;
    return 0;
}

} // namespace kiv::gui::keys
