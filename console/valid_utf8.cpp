#include "console/valid_utf8.h"

#include <cstdint>

namespace kiv::console {
namespace {

// The length of the well-formed sequence at the start of `text`, 0 when
// there is none.
size_t sequence_length(std::string_view text) {
    auto byte = [&](size_t i) { return uint8_t(text[i]); };
    uint8_t lead = byte(0);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                    : lead >= 0xE0 && lead <= 0xEF ? 3
                    : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                   : 0;
    if (length == 0 || text.size() < length) return 0;
    // The second byte's range rules out overlong forms, surrogates and
    // code points above U+10FFFF.
    uint8_t low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    uint8_t high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80) return 0;
    return length;
}

} // namespace

std::string valid_utf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        size_t length = sequence_length(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            length = 1;
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

} // namespace kiv::console
