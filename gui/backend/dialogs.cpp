#include "gui/backend/dialogs.h"

#include <fnmatch.h>

namespace kiv::gui {

bool filter_matches(const FileFilter& filter, std::string_view file_name) {
    std::string name(file_name);
    for (const std::string& pattern : filter.patterns) {
        // "*.*" means every file, also those without a dot.
        if (pattern == "*.*" || pattern == "*") return true;
        if (fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) return true;
    }
    return false;
}

} // namespace kiv::gui
