// Character indexes against UTF-8 byte offsets, for the interfaces that
// count text in bytes (GTK, Pango) while the language counts characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kiv::utf8 {

// Characters in the text.
size_t char_count(std::string_view text);
// The byte offset of character `index`; past the end: the text's size.
size_t byte_offset(std::string_view text, size_t index);
// The index of the character that holds byte `offset`; past the end: the
// character count.
size_t char_index(std::string_view text, size_t offset);
// The UTF-8 bytes of one code point.
std::string of_char(uint32_t code_point);

} // namespace kiv::utf8
