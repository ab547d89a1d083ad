// The file, folder and font dialogs as the backends are asked to show
// them, and what they answer. A backend opens a dialog and returns at
// once; it calls `done` with the answer when the user closes it (none:
// cancelled), and the caller runs the message loop meanwhile.
#pragma once

#include <fnmatch.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::gui {

// A filter of the file dialog: its name and the patterns it shows ("*.txt";
// matched without regard to case; "*.*" shows every file).
struct FileFilter {
    std::string name;
    std::vector<std::string> patterns;
};
// Whether a file name passes a filter. Inline: the GTK module calls it,
// and the program links only what it calls itself.
inline bool filter_matches(const FileFilter& filter, std::string_view file_name) {
    std::string name(file_name);
    for (const std::string& pattern : filter.patterns) {
        // "*.*" means every file, also those without a dot.
        if (pattern == "*.*" || pattern == "*") return true;
        if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
    }
    return false;
}

struct FileRequest {
    enum class Kind { open, save, folder };
    Kind kind = Kind::open;
    std::string title;               // empty: the toolkit's own
    std::string folder;              // absolute; empty: the current directory
    std::string name;                // the file named at the start
    std::vector<FileFilter> filters; // the first is active
    bool multi = false;
};
// Absolute local paths; none when cancelled.
using FileAnswer = std::optional<std::vector<std::string>>;
using FileDone = std::function<void(FileAnswer)>;

struct FontRequest {
    std::string family;
    double points = 11;
    int weight = 400;
    bool italic = false;
    bool mono = false; // only fixed-pitch families listed
};
struct FontAnswer {
    std::string family;
    double points = 0;
    int weight = 400;
    bool italic = false; // italic or oblique
};
using FontDone = std::function<void(std::optional<FontAnswer>)>;

} // namespace kiv::gui
