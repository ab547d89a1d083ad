// Death-test matching of a literal piece of standard error.
#pragma once

#include <string>
#include <string_view>

// A regular expression that matches `text` anywhere.
inline std::string contains_text(const std::string& text) {
    std::string pattern;
    for (char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) pattern += '\\';
        pattern += c;
    }
    return pattern;
}
