#include <gtest/gtest.h>

#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "io/checksum.h"

namespace crypto = kiv::crypto;

namespace {

crypto::Bytes bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::string hex(crypto::Bytes b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) s += {digits[c >> 4], digits[c & 15]};
    return s;
}

std::vector<uint8_t> random_bytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(gen());
    return v;
}

const std::string million_a(1000000, 'a');
const std::string fips_448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

} // namespace

TEST(Checksum, KnownCrcAdlerAndInternetValues) {
    struct Case {
        std::string data;
        uint32_t crc, adler;
        uint16_t tcp;
    };
    const std::vector<Case> cases = {
        {"", 0, 1, 0xFFFF},
        {"abc", 0x352441C2, 0x024D0127, uint16_t(~(0x6162 + 0x6300))},
        {"123456789", 0xCBF43926, 0x091E01DE, 0xF62A},
        // An odd last byte is the high byte of its word.
        {"\x01\x02\x03", 0x55BC801D, 0x000D0007, 0xFBFD},
        // Carries fold back in: FFFF + FFFF + 0002 = 0x20000 -> 0x0002.
        {std::string("\xFF\xFF\xFF\xFF\x00\x02", 6), 0x11F19ED3, 0x11F603FF, 0xFFFD},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(crypto::crc32(bytes(c.data)), c.crc) << c.data;
        EXPECT_EQ(crypto::adler32(bytes(c.data)), c.adler) << c.data;
        EXPECT_EQ(crypto::tcp_checksum(bytes(c.data)), c.tcp) << c.data;
    }
}

// Lengths around the 8-byte slices of the CRC and past the interval at
// which the Adler sums must be reduced, with bytes that push the sums
// hardest; zlib serves as the reference.
TEST(Checksum, CrcAndAdlerAgreeWithZlibOnLongInputs) {
    for (size_t n : {size_t(7), size_t(8), size_t(9), size_t(3854), size_t(5552), size_t(5553),
                     size_t(100001)}) {
        for (auto data : {random_bytes(n, unsigned(n)), std::vector<uint8_t>(n, 0xFF)}) {
            EXPECT_EQ(crypto::crc32(data), ::crc32(0, data.data(), uInt(n))) << n;
            EXPECT_EQ(crypto::adler32(data), ::adler32(1, data.data(), uInt(n))) << n;
        }
    }
    // A result continues over a split input.
    auto data = random_bytes(1000, 1);
    crypto::Bytes all(data);
    EXPECT_EQ(crypto::crc32(all.subspan(333), crypto::crc32(all.first(333))), crypto::crc32(all));
    EXPECT_EQ(crypto::adler32(all.subspan(333), crypto::adler32(all.first(333))),
              crypto::adler32(all));
}

TEST(Checksum, DigestVectors) {
    struct Case {
        int method;
        std::string empty, abc, fips, million;
    };
    const std::vector<Case> cases = {
        {crypto::md5, "d41d8cd98f00b204e9800998ecf8427e", "900150983cd24fb0d6963f7d28e17f72",
         "8215ef0796a20bcaaae116d3876c664a", "7707d6ae4e027c70eea2a935c2296f21"},
        {crypto::sha1, "da39a3ee5e6b4b0d3255bfef95601890afd80709",
         "a9993e364706816aba3e25717850c26c9cd0d89d", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
         "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {crypto::sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1",
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {crypto::sha384,
         "38b060a751ac96384cd9327eb1b1e36a21fdb71114be07434c0cc7bf63f6e1da274edebfe76f65fbd51ad2f1"
         "4898b95b",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca1"
         "34c825a7",
         "3391fdddfc8dc7393707a65b1b4709397cf8b1d162af05abfe8f450de5f36bc6b0455a8520bc4e6f5fe95b1f"
         "e3c8452b",
         "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd8"
         "7f3d8985"},
        {crypto::sha512,
         "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce47d0d13c5d85f2b0ff8318d2"
         "877eec2f63b931bd47417a81a538327af927da3e",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23"
         "a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
         "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c33596fd15c13b1b07f9aa1d3bea"
         "57789ca031ad85c7a71dd70354ec631238ca3445",
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432c"
         "e577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
    };
    for (const Case& c : cases) {
        const std::pair<std::string, std::string> inputs[] = {
            {"", c.empty}, {"abc", c.abc}, {fips_448, c.fips}, {million_a, c.million}};
        for (const auto& [input, expected] : inputs) {
            auto d = crypto::get_digest(bytes(input), c.method);
            ASSERT_TRUE(d) << c.method;
            EXPECT_EQ(d->size, crypto::digest_size(c.method));
            EXPECT_EQ(hex(d->view()), expected) << c.method << " of " << input.size() << " bytes";
        }
    }
    EXPECT_FALSE(crypto::get_digest(bytes("abc"), crypto::crc32_method));
    EXPECT_FALSE(crypto::get_digest(bytes("abc"), crypto::tcp));
}

// RFC 2202 and RFC 4231 test cases 1 and 2, and keys longer than the block
// (131 bytes for every method; 80 bytes, longer than 64 but not than 128).
TEST(Checksum, HmacVectors) {
    const std::string hi_key(20, '\x0b'), long_key(131, '\xaa'), mid_key(80, '\xaa');
    const std::string large = "Test Using Larger Than Block-Size Key - Hash Key First";
    struct Case {
        int method;
        std::string hi, jefe, long_key, mid_key;
    };
    const std::vector<Case> cases = {
        {crypto::md5, "5ccec34ea9656392457fa1ac27f08fbc", "750c783e6ab0b503eaa86e310a5db738",
         "bfecaf4efff90a3a668f3922fec3762d", "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {crypto::sha1, "b617318655057264e28bc0b6fb378c8ef146be00",
         "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79", "90d0dace1c1bdc957339307803160335bde6df2b",
         "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
        {crypto::sha256, "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
         "6953025ed96f0c09f80a96f78e6538dbe2e7b820e3dd970e7ddd39091b32352f"},
        {crypto::sha384,
         "afd03944d84895626b0825f4ab46907f15f9dadbe4101ec682aa034c7cebc59cfaea9ea9076ede7f4af152e8"
         "b2fa9cb6",
         "af45d2e376484031617f78d2b58a6b1b9c7ef464f5a01b47e42ec3736322445e8e2240ca5e69e2c78b3239ec"
         "fab21649",
         "4ece084485813e9088d2c63a041bc5b44f9ef1012a2b588f3cd11f05033ac4c60c2ef6ab4030fe8296248df1"
         "63f44952",
         "69d2e2f55de9f09878f04d23d8670d49cb734825cdb9cd9e72e446171a43540b90e17cf086e6fa3a599382a2"
         "86c61340"},
        {crypto::sha512,
         "87aa7cdea5ef619d4ff0b4241a1d6cb02379f4e2ce4ec2787ad0b30545e17cdedaa833b7d6b8a702038b274e"
         "aea3f4e4be9d914eeb61f1702e696c203a126854",
         "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d034f65"
         "f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737",
         "80b24263c7c1a3ebb71493c1dd7be8b49b46d1f41b4aeec1121b013783f8f3526b56d037e05f2598bd0fd221"
         "5d6a1e5295e64f73f63f0aec8b915a985d786598",
         "132c9ebc32531071f6c4d9e8842291e9403e5940f813170a3ba3a0dd6c055c8b8ca587b24c56c47f3c1f2fb8"
         "ee8f9fbc8d92deed0f83426be3e8a2e9056778b3"},
    };
    for (const Case& c : cases) {
        const std::tuple<std::string, std::string, std::string> inputs[] = {
            {hi_key, "Hi There", c.hi},
            {"Jefe", "what do ya want for nothing?", c.jefe},
            {long_key, large, c.long_key},
            {mid_key, large, c.mid_key}};
        for (const auto& [key, data, expected] : inputs) {
            auto d = crypto::hmac(bytes(data), bytes(key), c.method);
            ASSERT_TRUE(d) << c.method;
            EXPECT_EQ(hex(d->view()), expected) << c.method << " key of " << key.size();
        }
    }
    for (int method : {int(crypto::tcp), int(crypto::crc32_method), int(crypto::no_method)})
        EXPECT_FALSE(crypto::hmac(bytes("x"), bytes("k"), method));
}

TEST(Checksum, MethodWords) {
    for (auto word : crypto::method_words) EXPECT_TRUE(crypto::method_q(word));
    EXPECT_TRUE(crypto::method_q("SHA256"));
    EXPECT_FALSE(crypto::method_q("sha3"));
    EXPECT_EQ(crypto::method_number("Sha384"), crypto::sha384);
    EXPECT_EQ(crypto::method_number("CRC32"), crypto::crc32_method);
    EXPECT_EQ(crypto::method_number("adler32"), crypto::no_method);
    EXPECT_EQ(crypto::method_number("hash"), crypto::no_method);
}
