// Console output, the output hooks and the typed diagnostic print. Output
// goes to a temporary file in place of standard output.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "death_text.h"
#include "runtime/console.h"
#include "runtime/entry.h"
#include "runtime/output_hooks.h"
#include "runtime/stdout.h"

using namespace kiv;

namespace {

std::vector<std::string> calls;

void print_a(const Cell*, int new_line) {
    calls.push_back("a" + std::to_string(new_line));
}
void print_b(const Cell*, int new_line) {
    calls.push_back("b" + std::to_string(new_line));
}
void write_a(const char* text, uint32_t length, int) {
    calls.push_back("wa:" + std::string(text, length));
}
void write_b(const char* text, uint32_t length, int) {
    calls.push_back("wb:" + std::string(text, length));
}

class OutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        file = std::tmpfile();
        saved = runtime::std_handles.output;
        runtime::std_handles.output = fileno(file);
        output_hooks::init();
        calls.clear();
    }
    void TearDown() override {
        runtime::std_handles.output = saved;
        std::fclose(file);
    }
    // Everything written so far; the file starts over.
    std::string taken() {
        std::string text;
        char chunk[4096];
        ssize_t n;
        lseek(fileno(file), 0, SEEK_SET);
        while ((n = read(fileno(file), chunk, sizeof chunk)) > 0) text.append(chunk, size_t(n));
        EXPECT_EQ(ftruncate(fileno(file), 0), 0);
        lseek(fileno(file), 0, SEEK_SET);
        return text;
    }
    std::FILE* file = nullptr;
    int saved = 1;
};

} // namespace

TEST_F(OutputTest, UnitsAreWrittenAsUtf8WithLineFeeds) {
    const uint8_t latin1[] = {'c', 'a', 'f', 0xE9};
    os_console::write(latin1, sizeof latin1, 1, true);
    EXPECT_EQ(taken(), "caf\xC3\xA9\n");

    const uint16_t ucs2[] = {0x41, 0x20AC};
    os_console::write(ucs2, sizeof ucs2, 2, false);
    EXPECT_EQ(taken(), "A\xE2\x82\xAC");

    const uint32_t ucs4[] = {0x1F600, 0x110000};
    os_console::write(ucs4, sizeof ucs4, 4, false);
    EXPECT_EQ(taken(), "\xF0\x9F\x98\x80\xEF\xBF\xBD");

    // Longer than the output buffer: nothing lost at the flush points.
    std::string text(3000, 'x');
    for (size_t i = 0; i < text.size(); i += 7) text[i] = char(0xE9);
    os_console::write(text.data(), text.size(), 1, true);
    std::string out = taken();
    EXPECT_EQ(out.size(), 3000u + (3000u + 6) / 7 + 1);
    EXPECT_EQ(out.back(), '\n');

    // Escape sequences pass through untouched; the write hooks see C strings.
    output_hooks::register_(nullptr, write_a);
    os_console::write_c_string("\x1B[1;31mred\x1B[0m \x1B x");
    EXPECT_EQ(taken(), "\x1B[1;31mred\x1B[0m \x1B x");
    EXPECT_EQ(calls, std::vector<std::string>{"wa:\x1B[1;31mred\x1B[0m \x1B x"});
}

TEST_F(OutputTest, UnsupportedUnitSizeIsRuntimeError101) {
    const char text[] = "abc";
    EXPECT_EXIT(os_console::write(text, 3, 3, false), ::testing::ExitedWithCode(101),
                contains_text("*** Runtime Error 101: no value matched in SWITCH"));
}

TEST_F(OutputTest, NumberWriters) {
    os_console::print_integer(-2147483648LL);
    os_console::print_hex_byte(0x0A);
    os_console::print_hex(0xBEEF);
    EXPECT_EQ(taken(), "-21474836480A0000BEEF");
    struct Case {
        double value;
        const char* wide;   // 16 significant digits
        const char* narrow; // 7 significant digits, as a float
    };
    const Case cases[] = {
        {0.1, "0.1", "0.1"},      {1.0 / 3, "0.3333333333333333", "0.3333333"},
        {1e20, "1e+20", "1e+20"}, {123456789.0, "123456789", "1.234568e+08"},
        {-0.0, "-0", "-0"},       {1e-5, "1e-05", "1e-05"},
    };
    for (const Case& c : cases) {
        os_console::print_float(c.value);
        EXPECT_EQ(taken(), c.wide);
        os_console::print_float32(float(c.value));
        EXPECT_EQ(taken(), c.narrow);
    }
}

TEST_F(OutputTest, HooksRunInOrderAndListsGrowByFive) {
    output_hooks::register_(print_a, write_a);
    output_hooks::register_(print_b, nullptr);
    output_hooks::register_(nullptr, write_b);
    output_hooks::call_print(nullptr, 1);
    output_hooks::call_write("t", 1, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"a1", "b1", "wa:t", "wb:t"}));

    // Six print hooks: the list grows from 5 to 10 and keeps the order.
    for (int i = 0; i < 3; ++i) output_hooks::register_(i % 2 ? print_a : print_b, nullptr);
    EXPECT_EQ(output_hooks::print_hooks().capacity, 5u);
    output_hooks::register_(print_a, nullptr);
    EXPECT_EQ(output_hooks::print_hooks().count, 6u);
    EXPECT_EQ(output_hooks::print_hooks().capacity, 10u);
    EXPECT_EQ(output_hooks::write_hooks().capacity, 5u);
    calls.clear();
    output_hooks::call_print(nullptr, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"a0", "b0", "b0", "a0", "b0", "a0"}));

    // Unregistering removes only the first occurrence.
    output_hooks::unregister(print_a, write_b);
    calls.clear();
    output_hooks::call_print(nullptr, 1);
    output_hooks::call_write("u", 1, 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"b1", "b1", "a1", "b1", "a1", "wa:u"}));
}

TEST_F(OutputTest, TypedPrint) {
    stdout_::print_line("a", 5);
    EXPECT_EQ(taken(), "a5\n");
    stdout_::print_spaced("a", 5);
    EXPECT_EQ(taken(), "a 5");
    // No space after an item that ends in a blank, nor after the last one.
    stdout_::print_spaced("x ", 'c', '\t', "y\n", true, 1.5, 2.5f, "z\r", "");
    EXPECT_EQ(taken(), "x c \ty\ntrue 1.5 2.5 z\r");
    stdout_::print(false, -7, 'q', 0.1f, 0.1, std::string("s"));
    EXPECT_EQ(taken(), "false-7q0.10.1s");
    const char* none = nullptr;
    stdout_::print(reinterpret_cast<void*>(0x1234), none);
    EXPECT_EQ(taken(), "0000123400000000");

    output_hooks::register_(nullptr, write_a);
    stdout_::print_line("n=", 42);
    EXPECT_EQ(taken(), "n=42\n");
    EXPECT_EQ(calls, (std::vector<std::string>{"wa:n=", "wa:42", "wa:\n"}));
}
