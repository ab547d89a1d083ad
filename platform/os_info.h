// What the running system says about itself: its name from os-release,
// the machine architecture and the kernel's version and build number.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kiv::os {

struct OsInfo {
    std::string name;                 // PRETTY_NAME of os-release, else "Linux"
    std::string arch;                 // x86-64, x86-32, ARM64, ARM, IA-64 or Unknown
    std::array<uint8_t, 3> version{}; // kernel release, each part at most 255
    int64_t build = 0;                // the number after "#" in the kernel version
};

OsInfo os_info();

// The parsers os_info runs on what the system gives, kept apart for the
// tests.
// The PRETTY_NAME value of an os-release text, its quotes and escapes
// removed; nothing when the text has none.
std::optional<std::string> pretty_name(std::string_view os_release);
// The architecture name of a uname machine string.
std::string arch_name(std::string_view machine);
// The first three numbers of a kernel release ("6.1.0-18-amd64"), missing
// ones 0, each capped at 255.
std::array<uint8_t, 3> kernel_version(std::string_view release);
// The number after the first "#" of a kernel version string, else 0.
int64_t kernel_build(std::string_view version);

} // namespace kiv::os
