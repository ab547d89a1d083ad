// Bytes from outside made into valid UTF-8: each byte that does not begin
// a well-formed sequence becomes U+FFFD, well-formed text stays as it is.
#include <gtest/gtest.h>

#include "console/valid_utf8.h"

namespace kiv::console {
namespace {

TEST(ConsoleValidUtf8, EachBadByteBecomesOneReplacement) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a" + r + "b"},
        {"\x80", r},                         // stray continuation byte
        {"\xC0\xAF", r + r},                 // overlong form
        {"\xE0\x80\xAF", r + r + r},         // overlong three-byte form
        {"\xED\xA0\x80", r + r + r},         // surrogate
        {"\xF4\x90\x80\x80", r + r + r + r}, // above U+10FFFF
        {"\xE2\x82", r + r},                 // cut short at the end
        {"\xE2\x82x", r + r + "x"},          // cut short by another character
    };
    for (const Case& c : cases) EXPECT_EQ(valid_utf8(c.in), c.out) << c.in;
}

} // namespace
} // namespace kiv::console
