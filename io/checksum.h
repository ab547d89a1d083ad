// Checksums and digests: CRC-32, Adler-32 and the Internet checksum by our
// own code; MD5 and the SHA family through libcrypto; HMAC built on those
// digests.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kiv::crypto {

using Bytes = std::span<const uint8_t>;

// The method words, in the order they are interned.
constexpr std::array<std::string_view, 9> method_words = {
    "tcp", "md5", "sha1", "crc32", "adler32", "sha256", "sha384", "sha512", "hash"};

// Method numbers of the methods that have one (adler32 and hash have none).
enum Method : int {
    tcp = 0,
    crc32_method = 1,
    md5 = 2,
    sha1 = 3,
    sha256 = 4,
    sha384 = 5,
    sha512 = 6,
    no_method = -1,
};

// True for any of the nine method words (compared without case).
bool method_q(std::string_view word);
// The method number of a method word; no_method for adler32, hash and
// anything else.
Method method_number(std::string_view word);
// Digest size in bytes of a digest method; 0 for the others.
size_t digest_size(int method);
// HMAC block size of a digest method; 0 when the method has no HMAC.
size_t hmac_block_size(int method);

// A digest in its first digest_size(method) bytes.
struct Digest {
    std::array<uint8_t, 64> bytes{};
    size_t size = 0;
    Bytes view() const { return {bytes.data(), size}; }
};

// Reflected CRC-32 (polynomial 0xEDB88320, initial value and final
// complement 0xFFFFFFFF); `crc` continues a previous result.
uint32_t crc32(Bytes data, uint32_t crc = 0);
// Adler-32 of RFC 1950; `adler` continues a previous result.
uint32_t adler32(Bytes data, uint32_t adler = 1);
// The Internet checksum of RFC 1071 (an odd last byte is the high byte of
// its word).
uint16_t tcp_checksum(Bytes data);

// The digest of a digest method; nothing when the method has no digest or
// the library refuses it.
std::optional<Digest> get_digest(Bytes data, int method);
// HMAC (RFC 2104) over a digest method; nothing when the method has no HMAC
// or the library refuses a digest.
std::optional<Digest> hmac(Bytes data, Bytes key, int method);

} // namespace kiv::crypto
