#include "platform/os.h"
#include "platform/stop.h"

#include <poll.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string_view>

namespace kiv::os {

void* virtual_alloc(size_t size, bool executable) {
    int protection = PROT_READ | PROT_WRITE | (executable ? PROT_EXEC : 0);
    void* p = mmap(nullptr, size, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

bool virtual_free(void* pointer, size_t size) {
    return munmap(pointer, size) == 0;
}

void* virtual_grow(void* pointer, size_t old_size, size_t new_size) {
    void* p = mremap(pointer, old_size, new_size, MREMAP_MAYMOVE);
    return p == MAP_FAILED ? nullptr : p;
}

void virtual_discard(void* pointer, size_t size) {
    madvise(pointer, size, MADV_DONTNEED);
}

bool write_all(int fd, const void* data, size_t size) {
    auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd ready{fd, POLLOUT, 0};
            if (poll(&ready, 1, -1) >= 0 || errno == EINTR) continue;
            return false;
        }
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

std::string get_current_dir() {
    std::string path(256, '\0');
    while (!getcwd(path.data(), path.size())) {
        if (errno != ERANGE) return {};
        path.resize(path.size() * 2);
    }
    path.resize(path.find('\0'));
    return path;
}

bool set_current_dir(const char* path) {
    return chdir(path) == 0;
}

bool set_env(const char* name, const char* value) {
    return (value ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

std::optional<std::string> get_env(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string home_dir() {
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return home;
    passwd entry{};
    passwd* found = nullptr;
    std::string text(16384, '\0');
    if (getpwuid_r(getuid(), &entry, text.data(), text.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

std::vector<std::pair<std::string, std::string>> list_env() {
    std::vector<std::pair<std::string, std::string>> all;
    for (char** entry = environ; *entry; ++entry) {
        std::string_view text(*entry);
        size_t equal = text.find('=');
        if (equal == std::string_view::npos || equal == 0) continue;
        all.emplace_back(std::string(text.substr(0, equal)), std::string(text.substr(equal + 1)));
    }
    return all;
}

bool open_with_shell(const std::string& target) {
    // The shell starts the opener in the background and returns at once, so
    // the opener is not left as our child; the target is passed as an
    // argument, never as part of the command text.
    const char* argv[] = {"sh", "-c",           "xdg-open \"$1\" >/dev/null 2>&1 &",
                          "sh", target.c_str(), nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void sleep(double seconds) {
    constexpr double longest = 1e9; // about 31 years: "forever" without overflow
    double ms = std::floor(seconds * 1000);
    if (!(ms >= 1)) ms = 1; // also catches NaN
    if (ms > longest * 1000) ms = longest * 1000;
    timespec left{time_t(ms / 1000), long(std::fmod(ms, 1000) * 1000000)};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) check_stop();
}

Clock read_clock() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    tm parts{};
    time_t seconds = now.tv_sec;
    long offset = localtime_r(&seconds, &parts) ? parts.tm_gmtoff : 0;
    return {int64_t(now.tv_sec), int32_t(now.tv_nsec), int32_t(offset)};
}

} // namespace kiv::os
