// The parsers behind os-info, on os-release texts and uname strings.
#include <gtest/gtest.h>

#include "platform/os_info.h"

namespace kiv::os {
namespace {

TEST(OsInfo, PrettyNameOfOsRelease) {
    struct Case {
        const char* text;
        const char* name; // nullptr: none found
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME=Alpine\n", "Alpine"},
        {"PRETTY_NAME='Single quoted \\ kept'\n", "Single quoted \\ kept"},
        {"PRETTY_NAME=\"Say \\\"hi\\\" \\$x\"\r\n", "Say \"hi\" $x"},
        // Only a whole key at the start of a line counts.
        {"#PRETTY_NAME=\"commented\"\nXPRETTY_NAME=no\n", nullptr},
        {"NAME=Linux", nullptr},
        {"", nullptr},
        {"PRETTY_NAME=\"Last line without end\"", "Last line without end"},
    };
    for (const Case& c : cases) {
        std::optional<std::string> name = pretty_name(c.text);
        if (c.name) {
            ASSERT_TRUE(name) << c.text;
            EXPECT_EQ(*name, c.name) << c.text;
        } else {
            EXPECT_FALSE(name) << c.text;
        }
    }
}

TEST(OsInfo, ArchitectureNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"x86_64", "x86-64"},   {"i386", "x86-32"}, {"i686", "x86-32"},
        {"aarch64", "ARM64"},   {"armv7l", "ARM"},  {"ia64", "IA-64"},
        {"riscv64", "Unknown"}, {"", "Unknown"},    {"i586", "Unknown"},
    };
    for (auto [machine, name] : cases) EXPECT_EQ(arch_name(machine), name) << machine;
}

TEST(OsInfo, KernelVersionAndBuild) {
    using V = std::array<uint8_t, 3>;
    EXPECT_EQ(kernel_version("6.1.0-18-amd64"), (V{6, 1, 0}));
    EXPECT_EQ(kernel_version("5.15.133.1-microsoft-standard-WSL2"), (V{5, 15, 133}));
    EXPECT_EQ(kernel_version("4.19"), (V{4, 19, 0}));
    EXPECT_EQ(kernel_version("300.1000.99999"), (V{255, 255, 255}));
    EXPECT_EQ(kernel_version("weird"), (V{0, 0, 0}));
    EXPECT_EQ(kernel_build("#1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)"), 1);
    EXPECT_EQ(kernel_build("#117-Ubuntu SMP"), 117);
    EXPECT_EQ(kernel_build("SMP no number"), 0);
    EXPECT_EQ(kernel_build("#"), 0);
}

TEST(OsInfo, ThisSystem) {
    OsInfo info = os_info();
    EXPECT_FALSE(info.name.empty());
    EXPECT_NE(info.arch, "");
    EXPECT_GT(info.version[0], 0);
}

} // namespace
} // namespace kiv::os
