#include "runtime/lz.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "runtime/heap.h"

namespace kiv::lz {
namespace {

// Length codes: the number of zero bits before the terminating one (five
// zeros need no terminator) selects the base and the extra bits.
struct LengthClass {
    uint32_t base, bits;
};
constexpr LengthClass length_classes[] = {{0, 2}, {4, 2}, {8, 2}, {12, 3}, {20, 5}, {52, 9}};
constexpr uint32_t length_prefix_max = 5;

// The cheapest match: flag, five prefix bits, 9 length bits, 4 + 3 distance
// bits for the longest copy. No container decodes to more than
// max_match bytes per this many bits, which bounds the believable size.
constexpr uint64_t densest_match_bits = 1 + length_prefix_max + 9 + 4 + 3;

uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void write_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Reads fields of up to 24 bits from [next, end); running out of input sets
// `failed` and yields zeros.
class BitReader {
  public:
    BitReader(const uint8_t* start, const uint8_t* end) : next_(start), end_(end) {}

    uint32_t read(uint32_t n) {
        while (count_ < n) {
            if (next_ == end_) {
                failed_ = true;
                return 0;
            }
            bits_ |= uint32_t(*next_++) << count_;
            count_ += 8;
        }
        uint32_t value = bits_ & ((1u << n) - 1);
        bits_ >>= n;
        count_ -= n;
        return value;
    }

    // Drops the rest of a partly used byte and reads a 32-bit word.
    bool read_word(uint32_t& value) {
        bits_ = 0;
        count_ = 0;
        if (end_ - next_ < 4) return false;
        value = read_le32(next_);
        next_ += 4;
        return true;
    }

    const uint8_t* position() const { return next_; }
    bool failed() const { return failed_; }

  private:
    const uint8_t* next_;
    const uint8_t* end_;
    uint32_t bits_ = 0;
    uint32_t count_ = 0;
    bool failed_ = false;
};

uint32_t read_length(BitReader& in) {
    uint32_t zeros = 0;
    while (zeros < length_prefix_max && in.read(1) == 0) ++zeros;
    const LengthClass& c = length_classes[zeros];
    return c.base + in.read(c.bits);
}

uint32_t read_distance(BitReader& in) {
    uint32_t n = 2 + in.read(4);
    if (n == 2) return in.read(3);
    return (1u << n) + in.read(n);
}

// Decodes one block of `size` bytes into out[0, size).
bool decode_block(BitReader& in, uint8_t* out, uint32_t size) {
    uint32_t pos = 0;
    while (pos < size) {
        if (in.read(1) == 0) {
            out[pos++] = uint8_t(in.read(8));
        } else {
            uint32_t count = read_length(in) + min_match;
            uint32_t distance = read_distance(in) + 1;
            if (in.failed() || distance > pos || count > size - pos) return false;
            for (uint8_t* to = out + pos; count; --count, ++to, ++pos) *to = *(to - distance);
        }
        if (in.failed()) return false;
    }
    return true;
}

// Appends fields to out[0, capacity); a byte that does not fit sets
// `overflow` and is dropped.
class BitWriter {
  public:
    BitWriter(uint8_t* out, size_t capacity) : out_(out), capacity_(capacity) {}

    void put(uint32_t n, uint32_t value) {
        bits_ |= uint64_t(value) << count_;
        count_ += n;
        while (count_ >= 8) {
            put_byte(uint8_t(bits_));
            bits_ >>= 8;
            count_ -= 8;
        }
    }

    // Pads the last partly used byte and appends a 32-bit word.
    void put_word(uint32_t value) {
        flush();
        for (int i = 0; i < 4; ++i) put_byte(uint8_t(value >> (8 * i)));
    }

    void flush() {
        if (count_) put_byte(uint8_t(bits_));
        bits_ = 0;
        count_ = 0;
    }

    size_t size() const { return size_; }
    bool overflow() const { return overflow_; }

  private:
    void put_byte(uint8_t byte) {
        if (size_ == capacity_) {
            overflow_ = true;
            return;
        }
        out_[size_++] = byte;
    }

    uint8_t* out_;
    size_t capacity_;
    size_t size_ = 0;
    uint64_t bits_ = 0;
    uint32_t count_ = 0;
    bool overflow_ = false;
};

void put_match(BitWriter& out, uint32_t count, uint32_t distance) {
    out.put(1, 1);
    uint32_t len = count - min_match;
    uint32_t zeros = 0;
    while (zeros < length_prefix_max && len >= length_classes[zeros + 1].base) ++zeros;
    for (uint32_t i = 0; i < zeros; ++i) out.put(1, 0);
    if (zeros < length_prefix_max) out.put(1, 1);
    const LengthClass& c = length_classes[zeros];
    out.put(c.bits, len - c.base);

    uint32_t d = distance - 1;
    if (d < 8) {
        out.put(4, 0);
        out.put(3, d);
    } else {
        uint32_t n = uint32_t(std::bit_width(d)) - 1;
        out.put(4, n - 2);
        out.put(n, d - (1u << n));
    }
}

// Finds earlier occurrences of the bytes at a position: a 19-bit hash of
// three bytes keeps the latest position of each, a 20-bit hash of four
// bytes the latest position with a chain to the earlier ones.
class Matcher {
  public:
    Matcher(const uint8_t* data, size_t length)
        : data_(data), length_(length), head3_(1u << 19, -1), head4_(1u << 20, -1),
          chain_(max_distance, -1) {}

    struct Match {
        uint32_t count = 0, distance = 0;
    };

    // The longest match for `pos` that starts at or after `floor` and ends
    // at or before `limit`.
    Match find(size_t pos, size_t floor, size_t limit) const {
        Match best;
        size_t longest = std::min<size_t>(max_match, limit - pos);
        if (longest < min_match) return best;
        if (pos >= max_distance) floor = std::max(floor, pos - max_distance);
        auto consider = [&](int64_t candidate) {
            if (candidate < int64_t(floor) || size_t(candidate) >= pos) return;
            size_t n = 0;
            while (n < longest && data_[candidate + n] == data_[pos + n]) ++n;
            if (n >= min_match && n > best.count) best = {uint32_t(n), uint32_t(pos - candidate)};
        };
        if (pos + 4 <= length_) {
            int64_t candidate = head4_[hash4(pos)];
            for (int steps = 0; steps < max_chain && candidate >= int64_t(floor); ++steps) {
                consider(candidate);
                if (best.count == longest) return best;
                int64_t next = chain_[candidate % max_distance];
                if (next >= candidate) break;
                candidate = next;
            }
        }
        if (pos + 3 <= length_) consider(head3_[hash3(pos)]);
        return best;
    }

    void insert(size_t pos) {
        if (pos + 3 <= length_) head3_[hash3(pos)] = int64_t(pos);
        if (pos + 4 <= length_) {
            int64_t& head = head4_[hash4(pos)];
            chain_[pos % max_distance] = head;
            head = int64_t(pos);
        }
    }

  private:
    static constexpr int max_chain = 48;

    // Rolling hashes (previous × 128 + byte over 19 bits, previous × 32 +
    // byte over 20 bits) keep exactly the last three and four bytes.
    uint32_t hash3(size_t pos) const {
        uint32_t h = 0;
        for (size_t i = 0; i < 3; ++i) h = (h * 128 + data_[pos + i]) & 0x7FFFF;
        return h;
    }
    uint32_t hash4(size_t pos) const {
        uint32_t h = 0;
        for (size_t i = 0; i < 4; ++i) h = (h * 32 + data_[pos + i]) & 0xFFFFF;
        return h;
    }

    const uint8_t* data_;
    size_t length_;
    std::vector<int64_t> head3_, head4_, chain_;
};

} // namespace

uint8_t* decompress(const uint8_t* container, size_t length, uint32_t* out_length) {
    if (length < header_size) return nullptr;
    uint32_t block_area = read_le32(container);
    uint32_t declared = read_le32(container + 4);
    if (block_area > length - header_size) return nullptr;
    if (declared > (uint64_t(block_area) * 8 / densest_match_bits + 1) * max_match) return nullptr;

    size_t capacity = size_t(declared) + header_size;
    auto* out = static_cast<uint8_t*>(heap::allocate(capacity));
    const uint8_t* start = container + header_size;
    BitReader in(start, start + block_area);
    size_t produced = 0;
    while (in.position() - start < block_area) {
        uint32_t size;
        if (!in.read_word(size) || size < 1 || size > max_block || size > capacity - produced ||
            !decode_block(in, out + produced, size)) {
            heap::free(out);
            return nullptr;
        }
        produced += size;
    }
    if (out_length) *out_length = uint32_t(produced);
    return out;
}

void free(uint8_t* buffer) {
    heap::free(buffer);
}

int64_t compress(const uint8_t* source, size_t length, uint8_t* destination) {
    if (length < min_input || length > UINT32_MAX) return -1;
    BitWriter out(destination + header_size, length - header_size);
    Matcher matcher(source, length);
    for (size_t block = 0; block < length; block += max_block) {
        size_t end = std::min(length, block + max_block);
        out.put_word(uint32_t(end - block));
        for (size_t pos = block; pos < end;) {
            Matcher::Match m = matcher.find(pos, block, end);
            if (m.count) {
                put_match(out, m.count, m.distance);
            } else {
                out.put(1, 0);
                out.put(8, source[pos]);
                m.count = 1;
            }
            for (size_t stop = pos + m.count; pos < stop; ++pos) matcher.insert(pos);
        }
        out.flush();
        if (out.overflow()) return -1;
    }
    write_le32(destination, uint32_t(out.size()));
    write_le32(destination + 4, uint32_t(length));
    return int64_t(header_size + out.size());
}

} // namespace kiv::lz
