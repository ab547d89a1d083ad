// The checks that keep request headers whole, and the reading of response
// header lines; the requests themselves run against a local server in
// tests/http.
#include <gtest/gtest.h>

#include "io/http.h"

namespace kiv::io {
namespace {

TEST(Http, HeaderNamesAndValuesThatWouldBreakTheLine) {
    const std::pair<std::string_view, bool> names[] = {
        {"X-Token", true},  {"content-type", true}, {"", false},
        {"X Token", false}, {"X-Token:", false},    {"X\r\nHost", false},
        {"X\tY", false},    {"X\x7F", false},       {"\xC3\xA9", false},
    };
    for (auto [name, valid] : names) EXPECT_EQ(valid_header_name(name), valid) << name;
    const std::pair<std::string_view, bool> values[] = {
        {"", true},
        {"a b: c", true},
        {"caf\xC3\xA9", true},
        {"a\r\nB: c", false},
        {"a\nb", false},
        {"a\rb", false},
        {std::string_view("a\0b", 3), false},
    };
    for (auto [value, valid] : values) EXPECT_EQ(valid_header_value(value), valid) << value;
}

TEST(Http, ResponseHeaderLines) {
    using Pair = std::pair<std::string, std::string>;
    const std::pair<std::string_view, std::optional<Pair>> cases[] = {
        {"Content-Type: text/plain\r\n", Pair{"Content-Type", "text/plain"}},
        {"X-Pad:   spaced out \t\r\n", Pair{"X-Pad", "spaced out"}},
        {"X-Empty:\r\n", Pair{"X-Empty", ""}},
        {"Location: http://a/b:c\r\n", Pair{"Location", "http://a/b:c"}},
        {"HTTP/1.1 200 OK\r\n", std::nullopt},
        {"\r\n", std::nullopt},
        {" folded continuation\r\n", std::nullopt},
        {": no name\r\n", std::nullopt},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(parse_header_line(line), expected) << line;
}

} // namespace
} // namespace kiv::io
