#include "runtime/text_index.h"

#include "runtime/unicode.h"

namespace kiv::utf8 {

namespace {

const uint8_t* bytes(std::string_view text) {
    return reinterpret_cast<const uint8_t*>(text.data());
}

} // namespace

size_t char_count(std::string_view text) {
    return size_t(count_chars(bytes(text), bytes(text) + text.size()));
}

size_t byte_offset(std::string_view text, size_t index) {
    const uint8_t* start = bytes(text);
    const uint8_t* end = start + text.size();
    if (index >= text.size()) return text.size(); // never fewer bytes than characters
    return size_t(skip_chars(start, end, int32_t(index) + 1) - start);
}

size_t char_index(std::string_view text, size_t offset) {
    if (offset >= text.size()) return char_count(text);
    size_t index = 0;
    for (size_t i = 0; i <= offset; ++i)
        if ((uint8_t(text[i]) & 0xC0) != 0x80) ++index;
    return index - 1;
}

std::string of_char(uint32_t code_point) {
    uint8_t buffer[4];
    uint32_t n = encode_char(code_point, buffer);
    return std::string(reinterpret_cast<const char*>(buffer), n);
}

} // namespace kiv::utf8
