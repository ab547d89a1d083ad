// The X11 tests' entry: the tests, or a child mode one of them asked for.
#include "x11_children.h"

#include "gui/backend/gui.h"
#include "gui/backend/gui_init.h"
#include "runtime/fatal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace kiv::testing {

int run_fatal_child() {
    gui::init();
    runtime::alert_hook = gui::alert;
    runtime::report_fatal(fatal_child_code, 0x1234);
    std::_Exit(fatal_child_code);
}

} // namespace kiv::testing

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--fatal-child") == 0)
        return kiv::testing::run_fatal_child();
    ::testing::InitGoogleTest(&argc, argv);
    // What GTK keeps for the user (recent files, settings) goes to a folder
    // of the run's own, removed at the end.
    namespace fs = std::filesystem;
    std::string home = (fs::temp_directory_path() / "kiv-x11-home-XXXXXX").string();
    if (!::mkdtemp(home.data())) return 1;
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
        setenv(name, home.c_str(), 1);
    int status = RUN_ALL_TESTS();
    fs::remove_all(home);
    return status;
}
