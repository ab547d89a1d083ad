// Starting a child process with its standard streams fed, captured or
// redirected, through posix_spawn and one poll loop.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kiv::os {

// Where a child's standard output or error goes.
struct OutputTarget {
    enum class Kind { inherit, capture, file };
    Kind kind = Kind::inherit;
    std::string path; // for file: opened for appending, created when missing
};

// What a child reads as standard input: /dev/null, the given bytes, or a
// file.
struct InputSource {
    enum class Kind { null_device, bytes, file };
    Kind kind = Kind::null_device;
    std::string_view bytes;
    std::string path;
};

struct ProcessRequest {
    // The program (looked up on PATH when it holds no "/") and its
    // arguments.
    std::vector<std::string> argv;
    InputSource input;
    OutputTarget output;
    OutputTarget error;
    bool wait = false;
};

struct ProcessResult {
    // False when the program could not be started, or a redirection file
    // could not be opened.
    bool launched = false;
    // True when the launch failed only because the program was not found.
    bool not_found = false;
    // With wait: the exit code, or 128 + the signal that ended the child;
    // without: the process id.
    int code = -1;
    std::string output;
    std::string error;
};

// Starts the child and, in one loop, writes its input as it takes it while
// draining captured output and error, so that no stream can stall the
// other. Input the child does not read (it exits or closes the pipe) is
// dropped without a SIGPIPE. Without `wait` the child, once its captured
// streams are drained, is reaped in the background when it ends. With
// `wait` the child runs in a process group of its own, which a stop
// request (Ctrl-C) ends: SIGTERM at once, SIGKILL to what is left after a
// short grace period.
ProcessResult run_process(const ProcessRequest& request);

// Splits a command line into words at white space; single or double quotes
// group a word and are removed. Nothing is expanded.
std::vector<std::string> split_command(std::string_view command);

} // namespace kiv::os
