// The boot image: records only a boot image may hold (definitions,
// context records, words bound to earlier boot values), start-up from a
// damaged image, and the image built in against the sources it comes from.
// Each test starts the whole language, so each runs in a child process.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boot/image.h"
#include "boot/startup.h"
#include "child_check.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "death_text.h"
#include "kivbin/format.h"
#include "kivbin/kivbin.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::testing {
namespace {

using Bytes = std::vector<uint8_t>;
using kivbin::format::put_varint;

// A compact container with a symbol table of `names` around `payload`.
Bytes image(const std::vector<std::string>& names, const Bytes& payload, uint8_t version = 1) {
    Bytes strings, offsets;
    for (const std::string& name : names) {
        uint32_t offset = uint32_t(strings.size());
        for (int i = 0; i < 4; ++i) offsets.push_back(uint8_t(offset >> (8 * i)));
        strings.insert(strings.end(), name.begin(), name.end());
        strings.push_back(0);
    }
    Bytes out{'K', 'I', 'V', 'B', 'I', 'N', version, 0x05};
    put_varint(out, 1);
    put_varint(out, uint32_t(payload.size()));
    put_varint(out, uint32_t(names.size()));
    put_varint(out, uint32_t(strings.size()));
    out.insert(out.end(), offsets.begin(), offsets.end());
    out.insert(out.end(), strings.begin(), strings.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

void put_word4(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

// A regular container with a symbol table of `names` around the records,
// given as 32-bit words.
Bytes regular_image(const std::vector<std::string>& names, const std::vector<uint32_t>& words) {
    Bytes strings, offsets, payload;
    for (const std::string& name : names) {
        put_word4(offsets, uint32_t(strings.size()));
        strings.insert(strings.end(), name.begin(), name.end());
        do strings.push_back(0);
        while (strings.size() % 8);
    }
    for (uint32_t word : words) put_word4(payload, word);
    Bytes out{'K', 'I', 'V', 'B', 'I', 'N', 1, kivbin::flag_symbols};
    for (uint32_t field :
         {1u, uint32_t(payload.size()), uint32_t(names.size()), uint32_t(strings.size())})
        put_word4(out, field);
    out.insert(out.end(), offsets.begin(), offsets.end());
    out.insert(out.end(), strings.begin(), strings.end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

// The symbols of the cases: word records name them by number.
const std::vector<std::string> names = {"boot-test-a", "x", "y"};

// Record bytes: prefixes, header bytes (type | 0x40 for the F flag).
constexpr uint8_t define = 0xC4, context = 0x0E, block = 0x05, word = 0x0F, bound_word = 0x4F;
// Context bytes: an object's context with its values, and without.
constexpr uint8_t object_values = 0x12, object_empty = 0x02;

// The value a word holds: of the global context, or of a boot value's.
Cell value_of(const char* name, NodeId ctx = context::global) {
    Cell w{TYPE_WORD, ctx, symbol::intern(name), 0};
    int32_t index = context::find_word(ctx, w.w2, true);
    return index < 0 ? Cell{} : *context::slot_at(ctx, uint32_t(index));
}

bool is_integer(const Cell& value, int32_t n) {
    return cell::type_of(value) == TYPE_INTEGER && int32_t(value.w2) == n;
}

struct Loaded {
    std::string failure;
    uint32_t count = 0;
    Cell values{};
};

// Starts the language once per child, then boot-loads the container into
// a new block.
Loaded load_container(const Bytes& data) {
    static bool started = [] {
        boot::start_from_image(boot::image_data, boot::image_size);
        return true;
    }();
    (void)started;
    static Rooted<Cell> target;
    block::make_at(*target, 4);
    kivbin::BootLoad result = kivbin::boot_load(data.data(), data.size(), *target);
    return {result.failure, memory::buffer_of(target->w2)->length(), *target};
}

// The same for compact records.
Loaded load(const Bytes& payload, uint8_t version = 1) {
    return load_container(image(names, payload, version));
}

// Runs the checks in a child that starts the language; the child's
// standard error names the first check that failed.
#define EXPECT_IN_CHILD(checks)                                                                    \
    EXPECT_EXIT(                                                                                   \
        {                                                                                          \
            checks;                                                                                \
            std::_Exit(0);                                                                         \
        },                                                                                         \
        ::testing::ExitedWithCode(0), "")

TEST(BootImageDeathTest, DefinitionsSetTheirWordAndTakeNoBootValue) {
    EXPECT_IN_CHILD({
        Loaded a = load({define, word, 0, 0x85});
        REQUIRE(a.failure.empty() && a.count == 0);
        REQUIRE(is_integer(value_of("boot-test-a"), 5));
        // A series value and what it holds are cut from the boot values
        // with it; the word keeps them.
        Loaded b = load({define, word, 0, block, 2, 0x81, 0x82, 0x83});
        REQUIRE(b.failure.empty() && b.count == 1);
        Cell held = value_of("boot-test-a");
        REQUIRE(cell::type_of(held) == TYPE_BLOCK && block::rs_length(held) == 2);
        REQUIRE(is_integer(block::rs_head(held)[1], 2));
        // Version 2 loads as 1 does.
        REQUIRE(load({define, word, 0, 0x86}, 2).failure.empty());
        REQUIRE(is_integer(value_of("boot-test-a"), 6));
    });
}

TEST(BootImageDeathTest, WordsBindToTheContextOfAnEarlierBootValue) {
    EXPECT_IN_CHILD({
        // A context of x: 1 and y: 2, then y by its symbol and x by slot.
        Loaded a = load({context, object_values, 2, 1, 2, 0x81, 0x82, bound_word, 2, 0, 1,
                         bound_word, 1, 0, 0});
        REQUIRE(a.failure.empty() && a.count == 3);
        const Cell* values = block::rs_head(a.values);
        REQUIRE(cell::type_of(values[0]) == TYPE_OBJECT);
        NodeId ctx = values[0].w1;
        REQUIRE(values[1].w1 == ctx && values[1].w3 == 1);
        REQUIRE(values[2].w1 == ctx && values[2].w3 == 0);
        REQUIRE(is_integer(value_of("y", ctx), 2));
        // A definition of a bound word sets its slot, not the global one.
        Loaded b = load({context, object_empty, 1, 1, define, bound_word, 1, 0, 1, 0x87});
        REQUIRE(b.failure.empty() && b.count == 1);
        REQUIRE(is_integer(value_of("x", block::rs_head(b.values)[0].w1), 7));
    });
}

// The regular layout: a definition is a word record with bit 25, words
// name the boot value whose context binds them (-1: the global context)
// and their slot (-1: by symbol).
TEST(BootImageDeathTest, RegularLayoutDefinitionsAndBoundWords) {
    constexpr uint32_t define_bit = 0x2000000u, none = 0xFFFFFFFFu, integer = 11;
    // A context record of one object slot, x, whose value follows.
    constexpr uint32_t object_context = 14 | 2u << 26 | 0x10000000u | 0x40000000u;
    EXPECT_IN_CHILD({
        Loaded a =
            load_container(regular_image(names, {word | define_bit, 0, none, none, integer, 5}));
        REQUIRE(a.failure.empty() && a.count == 0);
        REQUIRE(is_integer(value_of("boot-test-a"), 5));
        Loaded b = load_container(regular_image(
            names, {object_context, 1, 1, integer, 3, word, 1, 0, 0, word, 1, 0, none}));
        REQUIRE(b.failure.empty() && b.count == 3);
        const Cell* values = block::rs_head(b.values);
        REQUIRE(values[1].w1 == values[0].w1 && values[2].w1 == values[0].w1);
        REQUIRE(is_integer(value_of("x", values[0].w1), 3));
        for (uint32_t slot : {1u, 7u})
            REQUIRE(!load_container(
                         regular_image(names, {object_context, 1, 1, integer, 3, word, 1, 0, slot}))
                         .failure.empty());
        REQUIRE(!load_container(regular_image(names, {word, 1, 4, none})).failure.empty());
    });
}

// Records a boot image may not hold: each load fails, raising nothing.
TEST(BootImageDeathTest, CorruptBootRecordsFailTheLoad) {
    struct Case {
        const char* what;
        Bytes payload;
    };
    const std::vector<Case> cases = {
        {"a word bound to a boot value not loaded yet", {bound_word, 1, 0, 1}},
        {"a slot past the context", {context, object_values, 1, 1, 0x81, bound_word, 1, 0, 2}},
        {"a slot naming another symbol",
         {context, object_values, 2, 1, 2, 0x81, 0x82, bound_word, 1, 0, 2}},
        {"a symbol the context lacks", {context, object_values, 1, 1, 0x81, bound_word, 2, 0, 1}},
        {"a definition inside a block", {block, 1, define, word, 0, 0x85}},
        {"a definition of an integer", {define, 0x85, 0x85}},
        {"a definition of a block", {define, block, 0, 0x81}},
        {"a definition without its value", {define, word, 0}},
        {"a context of the global kind", {context, 0x10, 0}},
        {"an object's values on the stack", {context, 0x06, 0}},
    };
    EXPECT_IN_CHILD({
        for (const Case& c : cases) {
            Loaded loaded = load(c.payload);
            if (loaded.failure.find("invalid record at index") == std::string::npos) {
                std::fprintf(stderr, "loaded: %s\n", c.what);
                std::_Exit(1);
            }
        }
    });
}

// Start-up from a damaged image ends with status 254 and says why on
// standard error.
TEST(BootImageDeathTest, DamagedImageEndsStartUp) {
    Bytes bad_magic(boot::image_data, boot::image_data + boot::image_size);
    bad_magic[0] = 'X';
    EXPECT_EXIT(boot::start_from_image(bad_magic.data(), bad_magic.size()),
                ::testing::ExitedWithCode(254), contains_text("Error: Not a Kivbin file!"));
    Bytes compressed(bad_magic);
    compressed[0] = 'K';
    compressed[7] |= kivbin::flag_compressed;
    EXPECT_EXIT(boot::start_from_image(compressed.data(), compressed.size()),
                ::testing::ExitedWithCode(254),
                contains_text("Error: Kivbin compressed data corrupted!"));
    // Cut anywhere, the image fails to load or leaves the boot program
    // short: either way start-up ends with 254.
    for (size_t cut : {size_t(9), size_t(40), boot::image_size / 2, boot::image_size - 1})
        EXPECT_EXIT(boot::start_from_image(boot::image_data, cut), ::testing::ExitedWithCode(254),
                    "Error|\\*\\*\\*")
            << "cut at " << cut;
}

// The image built in is what the sources of this tree make, so a test run
// never boots from a stale image.
TEST(BootImageDeathTest, BuiltInImageMatchesTheSources) {
    const char* root = std::getenv("KIV_SOURCE_DIR");
    if (!root) GTEST_SKIP() << "KIV_SOURCE_DIR not set";
    std::string library = std::string(root) + "/library";
    EXPECT_IN_CHILD({
        boot::start_from_sources(library.c_str());
        Rooted<Cell> made;
        REQUIRE(boot::build_image(library.c_str(), *made) == nullptr);
        Bytes bytes(binary::head_ptr(*made), binary::head_ptr(*made) + binary::length(*made));
        REQUIRE(bytes == Bytes(boot::image_data, boot::image_data + boot::image_size));
    });
}

} // namespace
} // namespace kiv::testing
