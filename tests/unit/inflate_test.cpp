#include <gtest/gtest.h>

#include "io/checksum.h"
#include "io/containers.h"
#include "io/deflate.h"
#include "io/inflate.h"
#include "tests/unit/codec_fixture.h"

using namespace codec_test;

namespace {

// A dynamic block header: HLIT, HDIST, the code-length code (13 symbols of
// 4 bits and 6 of 5, a complete code) and the code-length symbols given.
struct LengthSymbol {
    unsigned symbol, extra = 0;
};

BitStream dynamic_header(unsigned hlit, unsigned hdist, const std::vector<LengthSymbol>& sent,
                         bool final = true) {
    std::vector<uint8_t> cl_lengths(19);
    for (size_t i = 0; i < 19; ++i) cl_lengths[kiv::codec::code_length_order[i]] = i < 13 ? 4 : 5;
    auto cl_codes = canonical(cl_lengths);
    BitStream s;
    s.bits(final, 1).bits(2, 2).bits(hlit - 257, 5).bits(hdist - 1, 5).bits(19 - 4, 4);
    for (size_t i = 0; i < 19; ++i) s.bits(cl_lengths[kiv::codec::code_length_order[i]], 3);
    static const unsigned extra_bits[3] = {2, 3, 7};
    for (LengthSymbol l : sent) {
        s.code(cl_codes[l.symbol], cl_lengths[l.symbol]);
        if (l.symbol >= 16) s.bits(l.extra, extra_bits[l.symbol - 16]);
    }
    return s;
}

// The header that gives these literal/length and distance code lengths,
// each sent plainly; `codes` receives the literal/length and distance codes.
BitStream header_for(const std::vector<uint8_t>& lit, const std::vector<uint8_t>& dist) {
    std::vector<LengthSymbol> sent;
    for (uint8_t l : lit) sent.push_back({l});
    for (uint8_t l : dist) sent.push_back({l});
    return dynamic_header(unsigned(lit.size()), unsigned(dist.size()), sent);
}

std::vector<uint8_t> lengths(size_t n, std::initializer_list<std::pair<size_t, uint8_t>> set) {
    std::vector<uint8_t> v(n);
    for (auto [symbol, length] : set) v[symbol] = length;
    return v;
}

struct Case {
    const char* name;
    Bytes stream;
    Code code; // done: valid, and decodes to `output`
    Bytes output = {};
};

std::vector<Case> stream_cases() {
    std::vector<Case> cases;
    auto add = [&](const char* name, Bytes stream, Code code, Bytes output = {}) {
        cases.push_back({name, std::move(stream), code, std::move(output)});
    };
    // Stored blocks.
    add("empty input", {}, Code::past_input);
    add("stored", {0x01, 0x02, 0x00, 0xFD, 0xFF, 'h', 'i'}, Code::done, text_of("hi"));
    add("NLEN not the complement", {0x01, 0x02, 0x00, 0xFD, 0xFE, 'h', 'i'}, Code::bad_data);
    add("stored past the input", {0x01, 0x03, 0x00, 0xFC, 0xFF, 'h', 'i'}, Code::past_input);
    add("LEN cut off", {0x01, 0x02}, Code::past_input);
    add("stored LEN 0, then a final block",
        {0x00, 0x00, 0x00, 0xFF, 0xFF, 0x01, 0x01, 0x00, 0xFE, 0xFF, 'x'}, Code::done,
        text_of("x"));
    add("last block not final", {0x00, 0x00, 0x00, 0xFF, 0xFF}, Code::past_input);
    add("block type 3", {0x07, 0, 0, 0}, Code::bad_block_type);
    // Fixed blocks.
    add("fixed, bytes after the end ignored",
        BitStream().bits(1, 1).bits(1, 2).fixed('a').fixed(256).align().byte(0xFF).done(),
        Code::done, text_of("a"));
    add("fixed, cut before end of block", BitStream().bits(1, 1).bits(1, 2).fixed('a').done(),
        Code::past_input);
    add("literal/length symbol 286", BitStream().bits(1, 1).bits(1, 2).fixed(286).fixed(256).done(),
        Code::bad_data);
    add("distance symbol 30",
        BitStream().bits(1, 1).bits(1, 2).fixed('a').fixed(257).code(30, 5).fixed(256).done(),
        Code::bad_data);
    add("distance before the output",
        BitStream().bits(1, 1).bits(1, 2).fixed('a').fixed(257).code(1, 5).fixed(256).done(),
        Code::distance_too_far);
    add("overlapping match",
        BitStream().bits(1, 1).bits(1, 2).fixed('a').fixed(258).code(0, 5).fixed(256).done(),
        Code::done, text_of("aaaaa"));
    // Dynamic headers.
    add("HLIT 287", dynamic_header(287, 1, {}).done(), Code::bad_data);
    add("HDIST 31", dynamic_header(257, 31, {}).done(), Code::bad_data);
    add("leading repeat 16", dynamic_header(257, 1, {{16, 0}}).done(), Code::bad_data);
    add("repeat past HLIT + HDIST",
        dynamic_header(257, 1, {{18, 127}, {18, 107}, {1}, {1}, {18, 0}}).done(), Code::bad_data);
    {
        BitStream s;
        s.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4);
        s.bits(1, 3).bits(1, 3).bits(1, 3).bits(1, 3); // 16, 17, 18, 0 at one bit
        add("over-subscribed code-length code", s.done(), Code::bad_data);
    }
    {
        BitStream s;
        s.bits(1, 1).bits(2, 2).bits(0, 5).bits(0, 5).bits(0, 4);
        s.bits(0, 3).bits(0, 3).bits(0, 3).bits(1, 3); // only symbol 0, one bit
        add("incomplete code-length code", s.done(), Code::bad_data);
    }
    const auto no_distances = std::vector<uint8_t>(1);
    add("literal/length code without end of block",
        header_for(lengths(257, {{'a', 1}, {'b', 1}}), no_distances).done(), Code::bad_data);
    add("over-subscribed literal/length code",
        header_for(lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), no_distances).done(),
        Code::bad_data);
    add("incomplete literal/length code",
        header_for(lengths(257, {{'a', 2}, {256, 2}}), no_distances).done(), Code::bad_data);
    add("a lone end-of-block code of one bit",
        header_for(lengths(257, {{256, 1}}), no_distances).code(0, 1).done(), Code::done);
    add("the bit pattern a lone code leaves unowned",
        header_for(lengths(257, {{256, 1}}), no_distances).code(1, 1).done(), Code::bad_data);
    // Literal/length code: 'a' 0, 256 10, 257 11.
    const auto lit = lengths(258, {{'a', 1}, {256, 2}, {257, 2}});
    add("no distance codes, literals only",
        header_for(lit, no_distances).code(0, 1).code(0, 1).code(2, 2).done(), Code::done,
        text_of("aa"));
    add("no distance codes, a match", header_for(lit, no_distances).code(0, 1).code(3, 2).done(),
        Code::bad_data);
    add("a lone distance code",
        header_for(lit, {1}).code(0, 1).code(3, 2).code(0, 1).code(2, 2).done(), Code::done,
        text_of("aaaa"));
    add("the distance pattern a lone code leaves unowned",
        header_for(lit, {1}).code(0, 1).code(3, 2).code(1, 1).code(2, 2).done(), Code::bad_data);
    add("cut inside the header", dynamic_header(257, 1, {{1}}).done(), Code::past_input);
    return cases;
}

} // namespace

// Each stream against our verdict and bytes, and zlib's: a valid stream
// decodes to the same bytes in both, an invalid one is refused by both.
TEST(Inflate, HandBuiltStreams) {
    for (const Case& c : stream_cases()) {
        Coded ours = run_codec(kiv::inflate::decompress, c.stream, 64);
        EXPECT_EQ(ours.code, c.code) << c.name;
        if (c.code == Code::done) {
            EXPECT_EQ(ours.out, c.output) << c.name;
        }
        auto theirs = zlib_inflate_raw(c.stream);
        EXPECT_EQ(bool(theirs), c.code == Code::done) << "zlib on: " << c.name;
        if (theirs && c.code == Code::done) {
            EXPECT_EQ(*theirs, c.output) << c.name;
        }
    }
}

// Past the capacity decoding goes on counting; nothing is stored there and
// no match reads a byte that was not stored.
TEST(Inflate, CapacityTooSmall) {
    Bytes input = text_like(100000, 8);
    Coded full = run_codec(kiv::deflate::compress, input, kiv::deflate::bound(input.size()));
    for (size_t capacity : {size_t(0), size_t(1), size_t(300), size_t(99999)}) {
        Bytes out(capacity + 64, 0xA5);
        size_t size = 0;
        auto code = kiv::inflate::decompress(full.out, std::span(out).first(capacity), size);
        EXPECT_EQ(code, Code::too_small);
        EXPECT_EQ(size, input.size());
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + ptrdiff_t(capacity), input.begin()));
        for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], 0xA5) << capacity;
    }
}

namespace {

Bytes gzip_member(const Bytes& data) {
    return run_codec(kiv::gzip::compress, data, kiv::deflate::bound(data.size()) + 18).out;
}

Bytes raw(const Bytes& data) {
    return run_codec(kiv::deflate::compress, data, kiv::deflate::bound(data.size())).out;
}

void append_le32(Bytes& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(uint8_t(x >> (8 * i)));
}

// A member with the given flags and header fields around raw data.
Bytes member_with(uint8_t flags, const Bytes& fields, const Bytes& data) {
    Bytes m = {0x1F, 0x8B, 8, flags, 0, 0, 0, 0, 0, 3};
    m.insert(m.end(), fields.begin(), fields.end());
    Bytes body = raw(data);
    m.insert(m.end(), body.begin(), body.end());
    append_le32(m, kiv::crypto::crc32(data));
    append_le32(m, uint32_t(data.size()));
    return m;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST(Gzip, Members) {
    const Bytes data = text_of("hello, hello, hello gzip");
    const Bytes plain = gzip_member(data);
    Bytes with_crc = {0x1F, 0x8B, 8, 0x02, 0, 0, 0, 0, 0, 3};
    uint32_t hcrc = kiv::crypto::crc32(with_crc) & 0xFFFF;
    Bytes bad_crc = member_with(0x02, {uint8_t(hcrc + 1), uint8_t(hcrc >> 8)}, data);
    Bytes wrong_crc = plain, wrong_length = plain;
    wrong_crc[wrong_crc.size() - 8] ^= 1;
    wrong_length[wrong_length.size() - 4] ^= 1;
    Bytes huge_length = plain;
    for (int i = 1; i <= 4; ++i) huge_length[huge_length.size() - size_t(i)] = 0xFF;
    struct Case {
        const char* name;
        Bytes input;
        Code code;
        Bytes output;
    };
    const std::vector<Case> cases = {
        {"plain", plain, Code::done, data},
        {"FNAME", member_with(0x08, concat(text_of("name.txt"), {0}), data), Code::done, data},
        {"FEXTRA, FNAME, FCOMMENT",
         member_with(0x1C, concat({3, 0, 'a', 'b', 'c'}, concat(text_of("n"), {0, 'c', 0})), data),
         Code::done, data},
        {"FHCRC", member_with(0x02, {uint8_t(hcrc), uint8_t(hcrc >> 8)}, data), Code::done, data},
        {"FHCRC wrong", bad_crc, Code::bad_data, {}},
        {"reserved flag", member_with(0x20, {}, data), Code::bad_data, {}},
        {"FNAME runs into the end",
         Bytes{0x1F, 0x8B, 8, 0x08, 0, 0, 0, 0, 0, 3, 'a', 'b'},
         Code::bad_data,
         {}},
        {"FEXTRA past the input",
         Bytes{0x1F, 0x8B, 8, 0x04, 0, 0, 0, 0, 0, 3, 0xFF, 0},
         Code::bad_data,
         {}},
        {"header cut short", Bytes{0x1F, 0x8B, 8, 0}, Code::bad_data, {}},
        {"not gzip", Bytes(30, 0x1F), Code::bad_data, {}},
        {"method 7", concat({0x1F, 0x8B, 7}, Bytes(30, 0)), Code::bad_data, {}},
        {"CRC-32 mismatch", wrong_crc, Code::bad_data, {}},
        {"length mismatch", wrong_length, Code::bad_data, {}},
        {"recorded length far too large", huge_length, Code::bad_data, {}},
        {"trailer cut short", Bytes(plain.begin(), plain.end() - 1), Code::bad_data, {}},
        {"two members", concat(plain, gzip_member(text_of("more"))), Code::done,
         concat(data, text_of("more"))},
        {"trailing zeros", concat(plain, Bytes(5, 0)), Code::done, data},
        {"trailing garbage", concat(plain, {0, 1}), Code::bad_data, {}},
    };
    for (const Case& c : cases) {
        Coded r = run_codec(kiv::gzip::decompress, c.input, 1000);
        EXPECT_EQ(r.code, c.code) << c.name;
        if (c.code == Code::done) {
            EXPECT_EQ(r.out, c.output) << c.name;
        }
    }
}

// Data that already looks like a gzip member is compressed like any other.
TEST(Gzip, WriterAlwaysCompresses) {
    for (const Bytes& data : {gzip_member(text_of("inner")), Bytes{0x1F, 0x8B, 0x08}}) {
        Bytes packed = gzip_member(data);
        EXPECT_NE(packed, data);
        EXPECT_EQ(run_codec(kiv::gzip::decompress, packed, 1000).out, data);
    }
}

// Too small a capacity tells the size that fits; a capacity below the
// overhead is refused.
TEST(Gzip, Capacities) {
    const Bytes data = text_like(5000, 9);
    const Bytes packed = gzip_member(data);
    Coded small = run_codec(kiv::gzip::decompress, concat(packed, packed), 100);
    EXPECT_EQ(small.code, Code::too_small);
    EXPECT_EQ(small.size, 2 * data.size());
    EXPECT_EQ(run_codec(kiv::gzip::compress, data, 17).code, Code::bad_data);
    EXPECT_EQ(run_codec(kiv::gzip::compress, data, 100).code, Code::too_small);
    EXPECT_EQ(run_codec(kiv::gzip::compress, data, 100).size, packed.size());
}

TEST(Zlib, Streams) {
    const Bytes data = text_of("zlib zlib zlib stream");
    const Bytes packed = run_codec(kiv::zlib::compress, data, 200).out;
    auto with_header = [&](uint8_t cmf, uint8_t flg) {
        Bytes s = packed;
        s[0] = cmf;
        s[1] = flg;
        return s;
    };
    Bytes wrong_adler = packed;
    wrong_adler.back() ^= 1;
    struct Case {
        const char* name;
        Bytes input;
        Code code;
    };
    const std::vector<Case> cases = {
        {"78 01", packed, Code::done},
        {"78 9C", with_header(0x78, 0x9C), Code::done},
        {"bytes after the checksum", concat(packed, {1, 2, 3}), Code::done},
        {"not a multiple of 31", with_header(0x78, 0x02), Code::bad_data},
        {"method 7", with_header(0x77, 0x09), Code::bad_data},
        {"window bits 8", with_header(0x88, 0x1C), Code::bad_data},
        {"preset dictionary", with_header(0x78, 0xBB), Code::bad_data},
        {"checksum mismatch", wrong_adler, Code::bad_data},
        {"checksum cut short", Bytes(packed.begin(), packed.end() - 1), Code::bad_data},
        {"five bytes", Bytes(packed.begin(), packed.begin() + 5), Code::bad_data},
    };
    for (const Case& c : cases) {
        Coded r = run_codec(kiv::zlib::decompress, c.input, 100);
        EXPECT_EQ(r.code, c.code) << c.name;
        if (c.code == Code::done) {
            EXPECT_EQ(r.out, data) << c.name;
        }
    }
}
