#include "platform/os_info.h"

#include <sys/utsname.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kiv::os {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

// An os-release value: double or single quotes are removed; inside double
// quotes a backslash keeps the next character, as the shell reads it.
std::string unquote(std::string_view value) {
    std::string out;
    char quote = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (quote && c == quote) {
            quote = 0;
        } else if (!quote && (c == '"' || c == '\'')) {
            quote = c;
        } else if (c == '\\' && quote != '\'' && i + 1 < value.size()) {
            out += value[++i];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> read_text(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

std::optional<std::string> pretty_name(std::string_view text) {
    constexpr std::string_view key = "PRETTY_NAME=";
    while (!text.empty()) {
        size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.starts_with(key)) return unquote(line.substr(key.size()));
    }
    return std::nullopt;
}

std::string arch_name(std::string_view machine) {
    struct Entry {
        std::string_view machine;
        std::string_view name;
    };
    static constexpr Entry exact[] = {
        {"x86_64", "x86-64"}, {"i386", "x86-32"}, {"i686", "x86-32"},
        {"aarch64", "ARM64"}, {"ia64", "IA-64"},
    };
    for (const Entry& e : exact)
        if (machine == e.machine) return std::string(e.name);
    if (machine.starts_with("arm")) return "ARM";
    return "Unknown";
}

std::array<uint8_t, 3> kernel_version(std::string_view release) {
    std::array<uint8_t, 3> parts{};
    size_t i = 0;
    for (uint8_t& part : parts) {
        if (i >= release.size() || !is_digit(release[i])) break;
        unsigned value = 0;
        for (; i < release.size() && is_digit(release[i]); ++i)
            value = std::min(255u, value * 10 + unsigned(release[i] - '0'));
        part = uint8_t(value);
        if (i >= release.size() || release[i] != '.') break;
        ++i;
    }
    return parts;
}

int64_t kernel_build(std::string_view version) {
    size_t hash = version.find('#');
    if (hash == std::string_view::npos) return 0;
    int64_t build = 0;
    for (size_t i = hash + 1; i < version.size() && is_digit(version[i]); ++i) {
        build = build * 10 + (version[i] - '0');
        if (build > 0x7FFFFFFF) return 0;
    }
    return build;
}

OsInfo os_info() {
    OsInfo info;
    std::optional<std::string> name;
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        if (std::optional<std::string> text = read_text(path)) name = pretty_name(*text);
        if (name) break;
    }
    info.name = name.value_or("Linux");
    utsname u{};
    if (uname(&u) == 0) {
        info.arch = arch_name(u.machine);
        info.version = kernel_version(u.release);
        info.build = kernel_build(u.version);
    } else {
        info.arch = "Unknown";
    }
    return info;
}

} // namespace kiv::os
