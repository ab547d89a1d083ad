#include "platform/process.h"
#include "platform/stop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

extern char** environ;

namespace kiv::os {
namespace {

constexpr size_t chunk = 64 * 1024;

// A descriptor closed when it goes out of scope.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    int get() const { return fd_; }
    bool open() const { return fd_ >= 0; }
    void reset(int fd) {
        close();
        fd_ = fd;
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_ = -1;
};

// A pipe whose ends are both close-on-exec: the child gets its end only
// through the dup2 of the spawn actions.
bool make_pipe(Fd& read_end, Fd& write_end) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    read_end.reset(fds[0]);
    write_end.reset(fds[1]);
    return true;
}

int open_retrying(const char* path, int flags) {
    int fd;
    do fd = ::open(path, flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int exit_code(int status) {
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// What wait_for answers when a stop request ended the wait.
constexpr int wait_stopped = -2;

// The child's exit code, -1 when it cannot be had; a stoppable wait gives
// up at a stop request (wait_stopped).
int wait_for(pid_t pid, bool stoppable) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
        if (stoppable && stop_requested.load(std::memory_order_relaxed)) return wait_stopped;
    }
    return exit_code(status);
}

// The spawn actions and attributes, released when done. A child in a
// group of its own can be ended with all it started.
struct Spawn {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;

    explicit Spawn(bool own_group) {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        // The child starts with no blocked signals and SIGPIPE and SIGXFSZ
        // at their defaults, whatever this process has set for itself.
        sigset_t none, defaults;
        sigemptyset(&none);
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        sigaddset(&defaults, SIGXFSZ);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (own_group) {
            posix_spawnattr_setpgroup(&attributes, 0);
            flags |= POSIX_SPAWN_SETPGROUP;
        }
        posix_spawnattr_setflags(&attributes, flags);
    }
    ~Spawn() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
};

// The parent's ends of the child's streams while they are open.
struct Streams {
    Fd input;
    Fd output;
    Fd error;
};

// Connects the child's standard output or error (descriptor `target`) as
// asked; a captured stream leaves its read end in `parent_end`.
bool connect_output(const OutputTarget& out, int target, Spawn& spawn, Fd& parent_end,
                    Fd& child_end) {
    switch (out.kind) {
    case OutputTarget::Kind::inherit: return true;
    case OutputTarget::Kind::capture:
        if (!make_pipe(parent_end, child_end)) return false;
        break;
    case OutputTarget::Kind::file:
        child_end.reset(open_retrying(out.path.c_str(), O_WRONLY | O_CREAT | O_APPEND));
        if (!child_end.open()) return false;
        break;
    }
    posix_spawn_file_actions_adddup2(&spawn.actions, child_end.get(), target);
    return true;
}

bool connect_input(const InputSource& in, Spawn& spawn, Fd& parent_end, Fd& child_end) {
    switch (in.kind) {
    case InputSource::Kind::null_device:
        posix_spawn_file_actions_addopen(&spawn.actions, 0, "/dev/null", O_RDONLY, 0);
        return true;
    case InputSource::Kind::bytes:
        if (!make_pipe(child_end, parent_end)) return false;
        fcntl(parent_end.get(), F_SETFL, O_NONBLOCK);
        break;
    case InputSource::Kind::file:
        child_end.reset(open_retrying(in.path.c_str(), O_RDONLY));
        if (!child_end.open()) return false;
        break;
    }
    posix_spawn_file_actions_adddup2(&spawn.actions, child_end.get(), 0);
    return true;
}

// Reads what is ready into `into`; closes the descriptor at end of stream
// or on an error.
void drain(Fd& fd, std::string& into) {
    char buffer[chunk];
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0)
        into.append(buffer, size_t(n));
    else if (n == 0 || (errno != EINTR && errno != EAGAIN))
        fd.close();
}

// Writes the next piece of the input; closes the descriptor once all is
// written or when the child no longer reads (EPIPE).
void feed(Fd& fd, std::string_view bytes, size_t& written) {
    size_t piece = std::min(chunk, bytes.size() - written);
    ssize_t n = piece ? ::write(fd.get(), bytes.data() + written, piece) : 0;
    if (n > 0) written += size_t(n);
    if (written == bytes.size() || (n < 0 && errno != EINTR && errno != EAGAIN)) fd.close();
}

// SIGPIPE is blocked on this thread while the loop writes, so that a child
// that stops reading makes write fail with EPIPE instead of ending this
// process; a SIGPIPE raised meanwhile is taken off before the mask returns.
class PipeSignalBlock {
  public:
    PipeSignalBlock() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        was_pending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~PipeSignalBlock() {
        sigset_t pending;
        sigpending(&pending);
        if (!was_pending_ && sigismember(&pending, SIGPIPE) == 1) {
            timespec zero{};
            while (sigtimedwait(&pipe_, nullptr, &zero) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }

  private:
    sigset_t pipe_;
    sigset_t old_;
    bool was_pending_ = false;
};

// Feeds the child's input and gathers its output until all streams end;
// false when a stop request ended it first.
bool pump(Streams& s, std::string_view input, ProcessResult& result) {
    PipeSignalBlock block;
    size_t written = 0;
    if (s.input.open() && input.empty()) s.input.close();
    while (s.input.open() || s.output.open() || s.error.open()) {
        pollfd fds[3] = {
            {s.input.get(), POLLOUT, 0}, {s.output.get(), POLLIN, 0}, {s.error.get(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno != EINTR) break;
            if (stop_requested.load(std::memory_order_relaxed)) return false;
            continue;
        }
        if (fds[0].revents) feed(s.input, input, written);
        if (fds[1].revents) drain(s.output, result.output);
        if (fds[2].revents) drain(s.error, result.error);
    }
    return true;
}

// How long a stopped child's group has to end after SIGTERM before
// SIGKILL ends what is left of it.
constexpr auto grace = std::chrono::seconds(2);

// Reaps the child on a thread of its own. A stopped child's group is
// asked to end at once and made to after the grace period; the group id
// stays the child's until it is reaped, so no other group is signalled.
void reap_in_background(pid_t pid, bool stopped) {
    if (stopped) ::kill(-pid, SIGTERM);
    std::thread([pid, stopped] {
        // Signals are for the interpreter's thread.
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        if (stopped) {
            auto deadline = std::chrono::steady_clock::now() + grace;
            siginfo_t info{};
            while (std::chrono::steady_clock::now() < deadline) {
                info.si_pid = 0;
                if (waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
                    info.si_pid == pid)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            ::kill(-pid, SIGKILL);
        }
        wait_for(pid, false);
    }).detach();
}

} // namespace

ProcessResult run_process(const ProcessRequest& request) {
    ProcessResult result;
    if (request.argv.empty()) return result;
    // A waited child runs in a group of its own, so that a stop ends it
    // and whatever it started, which would otherwise hold our streams.
    Spawn spawn(request.wait);
    Streams parent;
    Fd child_input, child_output, child_error;
    if (!connect_input(request.input, spawn, parent.input, child_input) ||
        !connect_output(request.output, 1, spawn, parent.output, child_output) ||
        !connect_output(request.error, 2, spawn, parent.error, child_error))
        return result;

    std::vector<char*> argv;
    for (const std::string& word : request.argv) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int failure =
        posix_spawnp(&pid, argv[0], &spawn.actions, &spawn.attributes, argv.data(), environ);
    if (failure != 0) {
        result.not_found = failure == ENOENT;
        return result;
    }
    result.launched = true;
    // The child holds its own copies now; with ours closed, end of stream
    // reaches each side when the other lets go.
    child_input.close();
    child_output.close();
    child_error.close();
    bool stopped = !pump(parent, request.input.bytes, result);
    if (request.wait && !stopped) {
        int code = wait_for(pid, true);
        if (code != wait_stopped) {
            // A Ctrl-C reaches the child too, which may end before the
            // wait sees the signal: the stop still holds.
            check_stop();
            result.code = code;
            return result;
        }
        stopped = true;
    }
    // A child not waited for, or whose wait was stopped, is reaped by a
    // thread of its own; a stopped wait ends the child's group.
    result.code = int(pid);
    reap_in_background(pid, stopped && request.wait);
    if (stopped) check_stop();
    return result;
}

std::vector<std::string> split_command(std::string_view command) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (char c : command) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == '"' || c == '\'') {
            quote = c;
            in_word = true;
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
            if (in_word) words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(std::move(word));
    return words;
}

} // namespace kiv::os
