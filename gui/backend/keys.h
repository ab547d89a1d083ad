// Key tables of the event translation: the key words of virtual keys, the
// character keys, and the layer's MAPVK-style mappings (US layout).
#pragma once

#include <cstdint>

namespace kiv::gui::keys {

// The key word of a virtual key (page-up, F5, left-shift ...), or null.
const char* key_word(uint32_t vk);
// Whether a virtual key types a character (letters, digits, space, the
// editing keys back, tab, return and escape, the keypad's digits and
// operators, the punctuation keys).
bool is_char_key(uint32_t vk);
// The left or right modifier key of a scan code (0x2A left shift, 0x36
// right shift, 0x1D control, 0x38 alt); other scan codes give 0.
uint32_t scan_to_side_key(uint32_t scan);
// The unshifted character of a virtual key (letters upper case), 0 for
// none.
uint32_t key_to_char(uint32_t vk);
// The virtual key that types a character, 0 for none.
uint32_t char_to_key(uint32_t c);

} // namespace kiv::gui::keys
