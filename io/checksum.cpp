#include "io/checksum.h"
#include "platform/shared_library.h"
#include "runtime/interrupt.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <mutex>

namespace kiv::crypto {
namespace {

bool same_word(std::string_view a, std::string_view b) {
    return std::ranges::equal(
        a, b, [](char x, char y) { return std::tolower(uint8_t(x)) == std::tolower(uint8_t(y)); });
}

struct MethodInfo {
    std::string_view word;
    Method number;
    size_t digest_size;
    size_t block_size; // HMAC block; 0: no HMAC
    const char* evp;   // libcrypto's function naming the digest, or null
};

constexpr std::array<MethodInfo, 7> methods = {{
    {"tcp", tcp, 0, 0, nullptr},
    {"crc32", crc32_method, 0, 0, nullptr},
    {"md5", md5, 16, 64, "EVP_md5"},
    {"sha1", sha1, 20, 64, "EVP_sha1"},
    {"sha256", sha256, 32, 64, "EVP_sha256"},
    {"sha384", sha384, 48, 128, "EVP_sha384"},
    {"sha512", sha512, 64, 128, "EVP_sha512"},
}};

// libcrypto's digest interface, opened at the first digest rather than at
// start-up (loading it is a large share of an empty script's start).
struct Crypto {
    bool ready = false;
    void* library = nullptr;
    decltype(&EVP_MD_CTX_new) ctx_new = nullptr;
    decltype(&EVP_MD_CTX_free) ctx_free = nullptr;
    decltype(&EVP_DigestInit_ex) init = nullptr;
    decltype(&EVP_DigestUpdate) update = nullptr;
    decltype(&EVP_DigestFinal_ex) final = nullptr;
};

const Crypto& crypto() {
    static Crypto c;
    static std::once_flag once;
    std::call_once(once, [] {
        c.library = dlopen(KIV_LIBCRYPTO, RTLD_NOW | RTLD_LOCAL);
        c.ready = c.library && platform::bind(c.library, "EVP_MD_CTX_new", c.ctx_new) &&
                  platform::bind(c.library, "EVP_MD_CTX_free", c.ctx_free) &&
                  platform::bind(c.library, "EVP_DigestInit_ex", c.init) &&
                  platform::bind(c.library, "EVP_DigestUpdate", c.update) &&
                  platform::bind(c.library, "EVP_DigestFinal_ex", c.final);
    });
    return c;
}

const MethodInfo* info(int method) {
    if (method < 0 || size_t(method) >= methods.size()) return nullptr;
    return &methods[size_t(method)];
}

// Slicing-by-16 tables: table[0] is the classic byte table; table[k][n] is
// the CRC of byte n followed by k zero bytes.
using CrcTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr CrcTables make_crc_tables() {
    CrcTables t{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][n] = c;
    }
    for (uint32_t n = 0; n < 256; ++n)
        for (size_t k = 1; k < 16; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
}

constexpr CrcTables crc_tables = make_crc_tables();

uint32_t load_le32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v; // the build targets little-endian x86-64 only
}

// Runs `f` over the data a stretch at a time, polling for an interrupt
// between stretches: a checksum of a huge input stops at one. Stretches
// are of an even length, as the Internet checksum pairs bytes.
template <class F>
void by_stretches(Bytes data, F f) {
    constexpr size_t stretch = size_t(1) << 20;
    for (size_t at = 0; at < data.size(); at += stretch) {
        if (at) runtime::poll();
        f(data.subspan(at, std::min(stretch, data.size() - at)));
    }
}

uint32_t crc32_stretch(Bytes data, uint32_t c) {
    const auto& t = crc_tables;
    const uint8_t* p = data.data();
    size_t n = data.size();
    for (; n >= 16; p += 16, n -= 16) {
        uint32_t a = load_le32(p) ^ c, b = load_le32(p + 4), d = load_le32(p + 8),
                 e = load_le32(p + 12);
        c = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
            t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
            t[7][d & 0xFF] ^ t[6][(d >> 8) & 0xFF] ^ t[5][(d >> 16) & 0xFF] ^ t[4][d >> 24] ^
            t[3][e & 0xFF] ^ t[2][(e >> 8) & 0xFF] ^ t[1][(e >> 16) & 0xFF] ^ t[0][e >> 24];
    }
    for (; n; ++p, --n) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c;
}

// The digest of the concatenated parts; nothing when the library refuses.
std::optional<Digest> digest_of(int method, std::initializer_list<Bytes> parts) {
    const MethodInfo* m = info(method);
    const Crypto& c = crypto();
    if (!m || !m->evp || !c.ready) return std::nullopt;
    const EVP_MD* (*evp)() = nullptr;
    if (!platform::bind(c.library, m->evp, evp)) return std::nullopt;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(c.ctx_new(), c.ctx_free);
    if (!ctx || c.init(ctx.get(), evp(), nullptr) != 1) return std::nullopt;
    bool updated = true;
    for (Bytes part : parts)
        by_stretches(part, [&](Bytes piece) {
            updated = updated && c.update(ctx.get(), piece.data(), piece.size()) == 1;
        });
    if (!updated) return std::nullopt;
    Digest d;
    unsigned int size = 0;
    if (c.final(ctx.get(), d.bytes.data(), &size) != 1 || size != m->digest_size)
        return std::nullopt;
    d.size = size;
    return d;
}

} // namespace

bool method_q(std::string_view word) {
    return std::ranges::any_of(method_words,
                               [&](std::string_view m) { return same_word(m, word); });
}

Method method_number(std::string_view word) {
    for (const MethodInfo& m : methods)
        if (same_word(m.word, word)) return m.number;
    return no_method;
}

size_t digest_size(int method) {
    const MethodInfo* m = info(method);
    return m ? m->digest_size : 0;
}

size_t hmac_block_size(int method) {
    const MethodInfo* m = info(method);
    return m ? m->block_size : 0;
}

uint32_t crc32(Bytes data, uint32_t crc) {
    uint32_t c = ~crc;
    by_stretches(data, [&](Bytes piece) { c = crc32_stretch(piece, c); });
    return ~c;
}

uint32_t adler32(Bytes data, uint32_t adler) {
    constexpr uint32_t base = 65521;
    // The largest run of bytes after which b still fits in 32 bits when
    // both sums start just below the base.
    constexpr size_t run = 5552;
    uint32_t a = adler & 0xFFFF, b = adler >> 16;
    by_stretches(data, [&](Bytes piece) {
        const uint8_t* p = piece.data();
        size_t n = piece.size();
        while (n) {
            size_t chunk = std::min(n, run);
            n -= chunk;
            for (; chunk >= 16; chunk -= 16, p += 16) {
#pragma GCC unroll 16
                for (int i = 0; i < 16; ++i) {
                    a += p[i];
                    b += a;
                }
            }
            for (; chunk; --chunk, ++p) {
                a += *p;
                b += a;
            }
            a %= base;
            b %= base;
        }
    });
    return (b << 16) | a;
}

uint16_t tcp_checksum(Bytes data) {
    uint64_t sum = 0;
    by_stretches(data, [&](Bytes piece) {
        size_t i = 0;
        for (; i + 1 < piece.size(); i += 2) sum += uint32_t(piece[i]) << 8 | piece[i + 1];
        if (i < piece.size()) sum += uint32_t(piece[i]) << 8;
    });
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
    return uint16_t(~sum & 0xFFFF);
}

std::optional<Digest> get_digest(Bytes data, int method) {
    return digest_of(method, {data});
}

std::optional<Digest> hmac(Bytes data, Bytes key, int method) {
    size_t block = hmac_block_size(method);
    if (!block) return std::nullopt;
    std::array<uint8_t, 128> padded{};
    if (key.size() > block) {
        auto hashed = digest_of(method, {key});
        if (!hashed) return std::nullopt;
        std::ranges::copy(hashed->view(), padded.begin());
    } else {
        std::ranges::copy(key, padded.begin());
    }
    std::array<uint8_t, 128> pad{};
    for (size_t i = 0; i < block; ++i) pad[i] = padded[i] ^ 0x36;
    auto inner = digest_of(method, {Bytes(pad.data(), block), data});
    if (!inner) return std::nullopt;
    for (size_t i = 0; i < block; ++i) pad[i] = padded[i] ^ 0x5C;
    return digest_of(method, {Bytes(pad.data(), block), inner->view()});
}

} // namespace kiv::crypto
