// What this test program does when it runs as a child of a test.
#pragma once

namespace kiv::testing {

// `--fatal-child`: starts the GUI and ends in a fatal error, whose box it
// shows through the backend.
inline constexpr const char* fatal_caption = "Kiv App Error";
inline constexpr int fatal_child_code = 95;
int run_fatal_child();

} // namespace kiv::testing
