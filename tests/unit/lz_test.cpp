#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "runtime/heap.h"
#include "runtime/lz.h"

using namespace kiv;

namespace {

using Bytes = std::vector<uint8_t>;

// Builds containers token by token, so that tests can write streams the
// encoder would never produce.
class Stream {
  public:
    Stream& block(uint32_t size) {
        flush();
        word(size);
        return *this;
    }
    Stream& literal(uint8_t byte) {
        bits(1, 0);
        bits(8, byte);
        return *this;
    }
    // A match copying `count` bytes from `distance` back; the number of
    // prefix zeros selects the length class.
    Stream& match(uint32_t count, uint32_t distance) {
        static const uint32_t base[] = {0, 4, 8, 12, 20, 52, 564}, extra[] = {2, 2, 2, 3, 5, 9};
        bits(1, 1);
        uint32_t len = count - 3, zeros = 0;
        while (len >= base[zeros + 1]) ++zeros;
        for (uint32_t i = 0; i < zeros; ++i) bits(1, 0);
        if (zeros < 5) bits(1, 1);
        bits(extra[zeros], len - base[zeros]);
        uint32_t d = distance - 1, n = 2;
        while (d >= (2u << n)) ++n;
        bits(4, d < 8 ? 0 : n - 2);
        if (d < 8)
            bits(3, d);
        else
            bits(n, d - (1u << n));
        return *this;
    }
    Stream& raw(uint32_t n, uint32_t value) {
        bits(n, value);
        return *this;
    }
    // The container; `declared` replaces the decoded size when given.
    Bytes container(int64_t declared = -1) {
        flush();
        Bytes out(8);
        put32(out.data(), uint32_t(body_.size()));
        put32(out.data() + 4, uint32_t(declared >= 0 ? declared : produced_estimate_));
        out.insert(out.end(), body_.begin(), body_.end());
        return out;
    }
    Stream& declare(uint32_t size) {
        produced_estimate_ = size;
        return *this;
    }

  private:
    static void put32(uint8_t* p, uint32_t v) {
        for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
    }
    void word(uint32_t v) {
        for (int i = 0; i < 4; ++i) body_.push_back(uint8_t(v >> (8 * i)));
    }
    void bits(uint32_t n, uint32_t value) {
        for (uint32_t i = 0; i < n; ++i) {
            if (count_ == 0) body_.push_back(0);
            body_.back() |= uint8_t(((value >> i) & 1) << count_);
            count_ = (count_ + 1) & 7;
        }
    }
    void flush() { count_ = 0; }

    Bytes body_;
    uint32_t count_ = 0;
    uint32_t produced_estimate_ = 0;
};

// Decodes and returns the bytes, or nothing on failure; checks that a
// failure leaves no buffer behind.
std::optional<Bytes> decode(const Bytes& container) {
    size_t blocks = heap::block_count();
    uint32_t length = 0xDEADBEEF;
    uint8_t* out = lz::decompress(container.data(), container.size(), &length);
    if (!out) {
        EXPECT_EQ(heap::block_count(), blocks);
        EXPECT_EQ(length, 0xDEADBEEF);
        return std::nullopt;
    }
    Bytes result(out, out + length);
    lz::free(out);
    return result;
}

Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = uint8_t(rng());
    return out;
}

Bytes text(size_t n) {
    static const char* words[] = {"block ",         "word ", "context ", "parse ",       "series ",
                                  "[append copy] ", "func ", "\n",       "make object! "};
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < n) s += words[rng() % std::size(words)];
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

// Mostly repetitive data with noise, larger than one block.
Bytes mixed(size_t n) {
    Bytes out = text(n);
    Bytes noise = random_bytes(n / 64, 3);
    for (size_t i = 0; i < noise.size(); ++i) out[(i * 64 + 13) % n] = noise[i];
    return out;
}

struct RoundTrip {
    const char* name;
    Bytes input;
    bool compresses; // false: the encoder refuses it and the caller keeps it raw
};

} // namespace

TEST(Lz, RoundTrips) {
    Bytes runs(5000);
    for (size_t i = 0; i < runs.size(); ++i) runs[i] = uint8_t(i / 700);
    const RoundTrip cases[] = {
        {"empty", {}, false},
        {"one byte", {42}, false},
        {"127 bytes", Bytes(127, 'a'), false},
        {"128 equal bytes", Bytes(128, 'a'), true},
        {"runs", runs, true},
        {"random bytes", random_bytes(4096, 1), false},
        {"text", text(20000), true},
        {"one full block", text(lz::max_block), true},
        {"1 MiB and more", mixed(lz::max_block * 2 + 12345), true},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes packed(c.input.size());
        int64_t size = lz::compress(c.input.data(), c.input.size(), packed.data());
        if (!c.compresses) {
            EXPECT_EQ(size, -1);
            continue;
        }
        ASSERT_GT(size, 8);
        ASSERT_LT(size_t(size), c.input.size());
        packed.resize(size_t(size));
        EXPECT_EQ(decode(packed), c.input);
    }
}

TEST(Lz, HandBuiltContainersDecode) {
    struct Case {
        const char* name;
        Bytes container;
        Bytes expected;
    };
    const Case cases[] = {
        {"no blocks", Stream().container(0), {}},
        {"one literal", Stream().block(1).literal('x').declare(1).container(), {'x'}},
        {"distance 1 repeats the last byte",
         Stream().block(11).literal('z').match(10, 1).declare(11).container(), Bytes(11, 'z')},
        {"overlapping copy",
         Stream()
             .block(8)
             .literal('a')
             .literal('b')
             .literal('c')
             .match(5, 3)
             .declare(8)
             .container(),
         {'a', 'b', 'c', 'a', 'b', 'c', 'a', 'b'}},
        {"two blocks, padding bits skipped",
         Stream().block(1).literal('p').block(2).literal('q').literal('r').declare(3).container(),
         {'p', 'q', 'r'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decode(c.container), c.expected);
    }
}

TEST(Lz, EveryLengthAndDistanceClassDecodes) {
    // One literal, then a long run of literals, then matches of each length
    // class at each distance class, all checked against a plain copy.
    const uint32_t counts[] = {3, 6, 7, 10, 11, 14, 15, 22, 23, 54, 55, 566};
    const uint32_t distances[] = {1, 8, 9, 16, 17, 1000, 65537, 262144};
    Bytes expected = random_bytes(262144, 9);
    Stream s;
    uint32_t total = uint32_t(expected.size());
    for (uint32_t c : counts) total += c * uint32_t(std::size(distances));
    s.block(total);
    for (uint8_t b : expected) s.literal(b);
    for (uint32_t d : distances)
        for (uint32_t c : counts) {
            s.match(c, d);
            for (uint32_t i = 0; i < c; ++i) expected.push_back(expected[expected.size() - d]);
        }
    EXPECT_EQ(decode(s.declare(total).container()), expected);
}

TEST(Lz, BlockLengthLimits) {
    auto block_of = [](uint32_t size) {
        Stream s;
        s.block(size).literal('k');
        for (uint32_t left = size - 1; left;) {
            uint32_t n = std::min<uint32_t>(left, 566);
            if (n < 3) {
                s.literal('k');
                --left;
                continue;
            }
            s.match(n, 1);
            left -= n;
        }
        return s.declare(size).container();
    };
    auto full = decode(block_of(lz::max_block));
    ASSERT_TRUE(full);
    EXPECT_EQ(full->size(), lz::max_block);
    EXPECT_FALSE(decode(block_of(lz::max_block + 1)));
}

TEST(Lz, CorruptContainersFailCleanly) {
    Bytes good = Stream().block(11).literal('z').match(10, 1).declare(11).container();
    Bytes truncated_stream = good;
    truncated_stream.pop_back();
    truncated_stream[0] -= 1; // the block area now ends with the input
    Bytes short_header = Stream().block(1).literal('x').declare(1).container();
    short_header.resize(6);
    Bytes partial_block_header = Stream().block(1).literal('x').declare(1).container();
    partial_block_header[0] += 2; // two bytes of a next block header
    partial_block_header.insert(partial_block_header.end(), {1, 0});

    struct Case {
        const char* name;
        Bytes container;
    };
    const Case cases[] = {
        {"shorter than the header", {1, 0, 0}},
        {"header cut short", short_header},
        {"block area longer than the input",
         [&] {
             Bytes b = good;
             b[0] += 1;
             return b;
         }()},
        {"stream ends mid-token", truncated_stream},
        {"partial block header", partial_block_header},
        {"block length 0", Stream().block(0).declare(0).container()},
        {"blocks more than 8 bytes past the declared size",
         Stream().block(10).literal(1).match(9, 1).container(1)},
        {"declared size the data cannot produce",
         Stream().block(1).literal('x').container(0xFFFFFFF0)},
        {"match before the start",
         Stream().block(4).literal('a').match(3, 2).declare(4).container()},
        {"match from an earlier block",
         Stream().block(1).literal('a').block(3).match(3, 1).declare(4).container()},
        {"match past the block end",
         Stream().block(4).literal('a').match(4, 1).declare(5).container()},
        {"distance code beyond the output", Stream()
                                                .block(10)
                                                .literal('a')
                                                .raw(1, 1)
                                                .raw(1, 1)
                                                .raw(2, 0)
                                                .raw(4, 15)
                                                .raw(17, 0)
                                                .declare(10)
                                                .container()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(decode(c.container));
    }
}

TEST(Lz, GarbageNeverReadsOrWritesOutOfBounds) {
    // Random bodies behind plausible headers; the sanitizer build checks
    // the memory accesses, this checks that failures free their buffer.
    std::mt19937 rng(11);
    for (int i = 0; i < 2000; ++i) {
        Bytes c = random_bytes(12 + rng() % 200, uint32_t(i));
        uint32_t area = uint32_t(c.size() - 8 + rng() % 3) - 1;
        uint32_t declared = rng() % 3000;
        for (int k = 0; k < 4; ++k) {
            c[k] = uint8_t(area >> (8 * k));
            c[4 + k] = uint8_t(declared >> (8 * k));
        }
        c[8] = uint8_t(rng() % 64); // a small first block length
        c[9] = c[10] = c[11] = 0;
        auto out = decode(c);
        if (out) {
            EXPECT_LE(out->size(), declared + 8);
        }
    }
}

TEST(Lz, TruncatingAValidContainerAnywhereFails) {
    Bytes input = text(3000);
    Bytes packed(input.size());
    int64_t size = lz::compress(input.data(), input.size(), packed.data());
    ASSERT_GT(size, 0);
    packed.resize(size_t(size));
    for (size_t cut = 0; cut < packed.size(); ++cut) {
        Bytes part(packed.begin(), packed.begin() + cut);
        EXPECT_FALSE(lz::decompress(part.data(), part.size(), nullptr)) << cut;
    }
}
