// Text from outside (typed lines, bytes written to the console) made into
// valid UTF-8 before it becomes a string.
#pragma once

#include <string>
#include <string_view>

namespace kiv::console {

// The text with each byte that does not begin a well-formed UTF-8
// sequence (an overlong form, a surrogate, a code point above U+10FFFF, a
// stray or missing continuation byte) replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

} // namespace kiv::console
