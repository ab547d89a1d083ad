#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "datatypes/binary.h"

namespace kiv::testing {
namespace {

using Bytes = std::vector<uint8_t>;

std::string encode(uint32_t base, const Bytes& bytes) {
    std::string text(binary::encoded_size(base, bytes.size()), '\0');
    char* end = binary::encode(base, text.data(), bytes.data(), bytes.size());
    text.resize(size_t(end - text.data()));
    return text;
}

// The decoded bytes, or "fail" when the text does not decode.
std::string decode(uint32_t base, const std::string& text, bool strict = false) {
    Bytes out;
    if (!binary::decode(base, reinterpret_cast<const uint8_t*>(text.data()), text.size(), 1, out,
                        strict))
        return "fail";
    return std::string(out.begin(), out.end());
}

// What a coreutils encoder prints for the bytes, without line breaks.
std::string coreutils(const std::string& command, const Bytes& bytes) {
    std::filesystem::path file = std::filesystem::temp_directory_path() /
                                 ("kiv-codec-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::string text;
    if (FILE* pipe = ::popen((command + " -w0 " + file.string()).c_str(), "r")) {
        char chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
        ::pclose(pipe);
    }
    std::filesystem::remove(file);
    return text;
}

TEST(BinaryCodecs, RandomBytesMatchCoreutilsAndComeBack) {
    const struct {
        uint32_t base;
        const char* command;
    } codecs[] = {{64, "base64"}, {16, "basenc --base16"}, {2, "basenc --base2msbf"}};
    std::mt19937 random(14);
    for (size_t length = 0; length <= 100; length += 7) {
        Bytes bytes(length);
        for (uint8_t& b : bytes) b = uint8_t(random());
        for (size_t i = 0; i < std::min<size_t>(length, length % 3); ++i) bytes[i] = 0;
        std::string original(bytes.begin(), bytes.end());
        for (const auto& codec : codecs) {
            std::string text = encode(codec.base, bytes);
            EXPECT_EQ(text, coreutils(codec.command, bytes)) << codec.base << " " << length;
            EXPECT_EQ(decode(codec.base, text, true), original) << codec.base << " " << length;
        }
        EXPECT_EQ(decode(58, encode(58, bytes)), original) << length;
    }
}

TEST(BinaryCodecs, Base58MatchesPublishedVectors) {
    const struct {
        const char* hex;
        const char* text;
    } vectors[] = {
        {"", ""},
        {"61", "2g"},
        {"626262", "a3gV"},
        {"636363", "aPEr"},
        {"73696d706c792061206c6f6e6720737472696e67", "2cFupjhnEsSn59qHXstmK2ffpLv2"},
        {"00eb15231dfceb60925886b67d065299925915aeb172c06647",
         "1NS17iag9jJgTHD1VXjvLCEnZuQ3rJDE9L"},
        {"516b6fcd0f", "ABnLTmg"},
        {"bf4f89001e670274dd", "3SEo3LWLoPntC"},
        {"572e4794", "3EFU7m"},
        {"ecac89cad93923c02321", "EJDM8drfXA6uyA"},
        {"10c8511e", "Rt5zm"},
        {"00000000000000000000", "1111111111"},
    };
    for (const auto& v : vectors) {
        std::string bytes = decode(16, v.hex);
        EXPECT_EQ(encode(58, Bytes(bytes.begin(), bytes.end())), v.text) << v.hex;
        EXPECT_EQ(decode(58, v.text), bytes) << v.text;
    }
}

// The decoders' rules for whitespace, comments, padding and bad input;
// strict decoding (literals) refuses what would otherwise be dropped.
TEST(BinaryCodecs, DecoderRules) {
    const struct {
        uint32_t base;
        std::string text;
        std::string loose;
        std::string strict; // empty: as loose
    } cases[] = {
        {16, "0 1;note\n2", "\x01", "fail"},
        {16, "0G", "fail", "fail"},
        {16,
         "\xC2\xB1"
         "1",
         "fail", "fail"},
        {16, "", "", ""},
        {16, "0A", "\n", ""},
        {2, "0000000", "fail", "fail"},
        {2, "01000001 ; A", "A", "A"},
        {64, "QQ==", "A", "A"},
        {64, "QQ=x", "A", "fail"},
        {64, "QQ=", "A", "fail"},
        {64, "Q===", "fail", "fail"},
        {64, "QUJD", "ABC", "ABC"},
        {64, "QUJDRA", "ABC", "fail"},
        {64, "QU\tJD\n'Rg==", "ABCF", "ABCF"},
        {64, "QUJD\xC3\xA9", "fail", "fail"},
        {58, "11", std::string(2, '\0'), ""},
        {58, "0", "fail", ""},
        {58, "2g\xC3\xA9", "fail", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode(c.base, c.text), c.loose) << c.base << " " << c.text;
        EXPECT_EQ(decode(c.base, c.text, true), c.strict.empty() ? c.loose : c.strict)
            << c.base << " " << c.text;
    }
}

// Long base-64 text is decoded by whole groups until something else comes:
// line breaks, comments, padding and bad characters far into it (past
// the first thousand groups) still count as the character rules say.
TEST(BinaryCodecs, LongBase64TextKeepsTheRules) {
    std::mt19937 random(26);
    Bytes bytes(3000 + 2);
    for (uint8_t& b : bytes) b = uint8_t(random());
    std::string original(bytes.begin(), bytes.end());
    std::string text = encode(64, bytes); // ends in one "="
    std::string lines;
    for (size_t at = 0; at < text.size(); at += 76) lines += text.substr(at, 76) + "\n";
    std::string commented = text.substr(0, 2000) + ";note\n" + text.substr(2000);
    std::string odd_break = text.substr(0, 2001) + " " + text.substr(2001);
    const struct {
        std::string text;
        std::string loose;
        std::string strict;
    } cases[] = {
        {text, original, original},
        {lines, original, original},
        {commented, original, original},
        {odd_break, original, original},
        {text.substr(0, 3600) + "*" + text.substr(3601), "fail", "fail"},
        {text.substr(0, text.size() - 1), original.substr(0, original.size() - 2), "fail"},
        {text + "QQ", original, "fail"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode(64, c.text), c.loose) << c.text.size();
        EXPECT_EQ(decode(64, c.text, true), c.strict) << c.text.size();
    }
}

// Text of 2 and 4-byte units decodes as its 1-byte form does.
TEST(BinaryCodecs, WideTextDecodes) {
    const char32_t wide[] = U"QU JD";
    Bytes out;
    ASSERT_TRUE(binary::decode(64, reinterpret_cast<const uint8_t*>(wide), 5, 4, out));
    EXPECT_EQ(std::string(out.begin(), out.end()), "ABC");
    const char16_t with_sign[] = u"0\u00B1";
    EXPECT_FALSE(binary::decode(16, reinterpret_cast<const uint8_t*>(with_sign), 2, 2, out));
}

} // namespace
} // namespace kiv::testing
