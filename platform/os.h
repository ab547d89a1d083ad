// Thin wrappers over single operating-system calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kiv::os {

// Committed read-write (or read-write-execute) memory of `size` bytes;
// null when the system refuses.
void* virtual_alloc(size_t size, bool executable);
// Releases a block from virtual_alloc; false when the system refuses.
bool virtual_free(void* pointer, size_t size);
// Grows a block from virtual_alloc to `new_size` bytes, keeping its
// content; the block may move. Null when the system refuses (the block
// is then left as it was).
void* virtual_grow(void* pointer, size_t old_size, size_t new_size);
// Gives the pages of a range back to the system; they read as zero when
// touched again. The range keeps its address.
void virtual_discard(void* pointer, size_t size);

// Writes all `size` bytes to the descriptor, resuming after interrupted or
// partial writes and waiting on a descriptor that would block; false when
// a write failed (errno tells why), and the rest is not written.
// Async-signal-safe.
bool write_all(int fd, const void* data, size_t size);

// The process's current directory (UTF-8); empty when it cannot be read.
std::string get_current_dir();
bool set_current_dir(const char* path);

// Sets `name` to `value` for this process and its children; a null value
// removes the variable. False when the name is not acceptable.
bool set_env(const char* name, const char* value);
std::optional<std::string> get_env(const char* name);
// Every variable of the environment as (name, value), in the order the
// environment holds them.
std::vector<std::pair<std::string, std::string>> list_env();
// The user's home directory: HOME when it holds an absolute path, else the
// home the password database gives the process's user; empty when neither
// does.
std::string home_dir();
// Hands a url or local path to the desktop's opener (xdg-open) without
// waiting for it; false when the opener could not be started.
bool open_with_shell(const std::string& target);

// Suspends the thread for `seconds`, truncated to whole milliseconds; less
// than 1 ms (negative and NaN included) sleeps 1 ms.
void sleep(double seconds);

// One reading of the real-time clock: seconds since 1970-01-01 UTC, the
// nanoseconds of the second, and the local zone's offset east of UTC at
// that instant (TZ read again, so that a change through set-env applies).
struct Clock {
    int64_t seconds;
    int32_t nanoseconds;
    int32_t offset;
};
Clock read_clock();

} // namespace kiv::os
