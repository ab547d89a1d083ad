// Reading the command line as the console does: options ("--" words)
// before the script, the script, and the script's own arguments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::console {

struct Arguments {
    // The arguments left once "--catch" is taken out of the options.
    std::vector<std::string> args;
    // The index in `args` of the script: the first argument that is not an
    // option, an option being a "--" word before a bare "--".
    std::optional<size_t> script;
    bool catch_ = false; // "--catch" was among the options
};

Arguments read_arguments(const std::vector<std::string>& args);

// The script's own arguments within the arguments as one text: what
// follows the leading options (quoted or not; a bare "--" ends them and is
// consumed), the script name (a quoted run or a run of non-white
// characters) and the white space after it.
std::string_view script_args_text(std::string_view text);

} // namespace kiv::console
