// The graphical console's test hook: inert unless KIV_TEST_DUMP names a
// file; then SIGUSR1 asks the console to write its terminal's state there.
#pragma once

namespace kiv::console {

// Registers console-test-dump and, when KIV_TEST_DUMP is set, installs the
// SIGUSR1 handler that asks for a dump.
void register_test_dump_routines();

} // namespace kiv::console
