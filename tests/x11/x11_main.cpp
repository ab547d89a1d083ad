// The X11 tests' entry: the tests, or a child mode one of them asked for.
#include "x11_children.h"

#include "gui/backend/gui.h"
#include "gui/backend/gui_init.h"
#include "runtime/fatal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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
    return RUN_ALL_TESTS();
}
