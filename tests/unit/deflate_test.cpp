#include <gtest/gtest.h>

#include "io/containers.h"
#include "io/deflate.h"
#include "io/inflate.h"
#include "tests/unit/codec_fixture.h"

using namespace codec_test;

namespace {

Bytes compressed(const Bytes& input) {
    Coded r = run_codec(kiv::deflate::compress, input, kiv::deflate::bound(input.size()));
    EXPECT_EQ(r.code, Code::done);
    return r.out;
}

// Compresses, and checks that both zlib and our inflate give the input
// back.
Bytes round_trip(const Bytes& input) {
    Bytes packed = compressed(input);
    auto theirs = zlib_inflate_raw(packed);
    EXPECT_TRUE(theirs && *theirs == input) << "zlib refuses or differs, " << input.size();
    Coded ours = run_codec(kiv::inflate::decompress, packed, input.size());
    EXPECT_EQ(ours.code, Code::done);
    EXPECT_TRUE(ours.out == input) << "inflate differs, " << input.size();
    return packed;
}

struct Symbol {
    unsigned symbol, extra;
    bool operator==(const Symbol&) const = default;
};

std::vector<Symbol> coded(const std::vector<uint8_t>& lengths) {
    std::vector<Symbol> sent;
    kiv::deflate::run_lengths(lengths.data(), unsigned(lengths.size()),
                              [&](unsigned s, unsigned extra, unsigned) {
                                  sent.push_back({s, extra});
                              });
    return sent;
}

// Random bytes in which no three bytes in a row occur twice: literals only.
Bytes without_matches(size_t n) {
    std::mt19937 gen(3);
    std::vector<bool> seen(1 << 24);
    Bytes v = {1, 2};
    while (v.size() < n) {
        uint8_t b = uint8_t(gen());
        uint32_t trigram = uint32_t(v[v.size() - 2]) << 16 | uint32_t(v.back()) << 8 | b;
        if (seen[trigram]) continue;
        seen[trigram] = true;
        v.push_back(b);
    }
    return v;
}

} // namespace

TEST(Deflate, SmallOutputsWorkedOutByHand) {
    EXPECT_EQ(compressed({}), (Bytes{0x03, 0x00}));
    Coded z = run_codec(kiv::zlib::compress, text_of("abc"), 64);
    EXPECT_EQ(z.out, (Bytes{0x78, 0x01, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27}));
    Coded g = run_codec(kiv::gzip::compress, {}, 64);
    EXPECT_EQ(g.out,
              (Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4, 0x03, 0x00, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(Deflate, RunLengthCoder) {
    auto zeros = [](size_t n) { return std::vector<uint8_t>(n, 0); };
    std::vector<uint8_t> zeros_then_one = zeros(140);
    zeros_then_one.push_back(4);
    struct Case {
        std::vector<uint8_t> lengths;
        std::vector<Symbol> sent;
    };
    const std::vector<Case> cases = {
        {std::vector<uint8_t>(7, 5), {{5, 0}, {16, 3}}},
        {std::vector<uint8_t>(10, 5), {{5, 0}, {16, 3}, {16, 0}}},
        {std::vector<uint8_t>(3, 5), {{5, 0}, {5, 0}, {5, 0}}},
        {zeros_then_one, {{18, 127}, {0, 0}, {0, 0}, {4, 0}}},
        {zeros(2), {{0, 0}, {0, 0}}},
        {zeros(3), {{17, 0}}},
        {zeros(10), {{17, 7}}},
        {zeros(11), {{18, 0}}},
        {zeros(138), {{18, 127}}},
        // After a run of 7, the same length again repeats without resending it.
        {{2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3}, {{2, 0}, {16, 3}, {16, 3}, {3, 0}}},
        {{3, 3, 3, 3, 0, 0, 0, 7}, {{3, 0}, {16, 0}, {17, 0}, {7, 0}}},
    };
    for (const Case& c : cases) EXPECT_EQ(coded(c.lengths), c.sent) << c.lengths.size();
}

// Each sequence starts afresh: lengths that continue a run of the
// previous sequence are sent plainly.
TEST(Deflate, DistanceLengthsDoNotContinueTheLiteralRun) {
    EXPECT_EQ(coded({5, 5, 5, 6}), (std::vector<Symbol>{{5, 0}, {5, 0}, {5, 0}, {6, 0}}));
}

TEST(Deflate, TinyAndRepetitiveInputs) {
    for (const char* s : {"a", "ab", "abc", "aaa", "aaaa", "abcabcabc"}) round_trip(text_of(s));
    Bytes packed = round_trip(Bytes(10000, 'x'));
    // Matches of 258 at distance 1: a few bits each.
    EXPECT_LT(packed.size(), 40u);
}

// A block of literals only, from a sequence in which no three bytes repeat
// (a de Bruijn sequence over four letters): its code is dynamic and its
// distance code holds symbols 0 and 1 at length 1.
TEST(Deflate, BlockWithoutMatchesSendsTwoDistanceCodes) {
    std::string s = "aaabaacaadabbabcabdacbaccacdadbadcaddbbbcbbdbcc";
    s += "bcdbdcbddcccdcdddaa";
    Bytes packed = round_trip(text_of(s));
    ASSERT_GE(packed.size(), 3u);
    unsigned bits = packed[0] | packed[1] << 8;
    EXPECT_EQ(bits & 7, 1u | 2u << 1) << "final dynamic block";
    EXPECT_EQ((bits >> 8) & 31, 1u) << "HDIST - 1";
}

// Guard bytes past a capacity that is too small stay untouched, and the
// size reports what a capacity must hold.
TEST(Deflate, CapacityTooSmall) {
    for (const Bytes& input : {text_like(20000, 1), random_bytes(70000, 2)}) {
        Bytes full = compressed(input);
        for (size_t capacity :
             {size_t(0), size_t(1), size_t(7), full.size() / 2, full.size() - 1}) {
            Bytes out(capacity + 64, 0xA5);
            size_t size = 0;
            auto code = kiv::deflate::compress(input, std::span(out).first(capacity), size);
            EXPECT_EQ(code, Code::too_small);
            EXPECT_EQ(size, full.size());
            for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << capacity;
        }
    }
}

// Random bytes are stored; a new block starts after exactly 16,384
// symbols, here one literal each.
TEST(Deflate, BlocksEndAfter16384Symbols) {
    Bytes one_block = round_trip(without_matches(16384));
    EXPECT_EQ(one_block[0], 0x01) << "final stored block";
    EXPECT_EQ(one_block[1] | one_block[2] << 8, 16384);
    Bytes two_blocks = round_trip(without_matches(16385));
    EXPECT_EQ(two_blocks[0], 0x00) << "stored block, not final";
    EXPECT_EQ(two_blocks[1] | two_blocks[2] << 8, 16384);
    EXPECT_EQ(two_blocks[3] | two_blocks[4] << 8, 0xBFFF);
}

TEST(Deflate, MixedInputsRoundTrip) {
    round_trip(text_like(300000, 4));
    round_trip(runs(100000, 5));
    round_trip(every_byte(70000));
    Bytes mixed = text_like(50000, 6);
    Bytes noise = random_bytes(40000, 7);
    mixed.insert(mixed.end(), noise.begin(), noise.end());
    mixed.insert(mixed.end(), mixed.begin(), mixed.begin() + 30000);
    round_trip(mixed);
}
