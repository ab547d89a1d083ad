// The backend as a process sees it: the fatal error box in a child
// process (with and without a display), an idle loop's CPU use, and the
// scale and DPI GDK is started with.
#include "x11_fixture.h"

#include "gui/backend/gui_init.h"
#include "x11_children.h"

#include <X11/keysym.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace kiv::testing {
namespace {

using namespace gui;

struct Child {
    pid_t pid = -1;
    int error = -1; // the read end of its standard error
};

// Starts this program as the fatal-error child; `display` false removes
// DISPLAY from its environment.
Child start_fatal_child(bool display) {
    int pipe_fds[2];
    EXPECT_EQ(pipe(pipe_fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::vector<std::string> env_text;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        if (entry.rfind("KIV_GUI=", 0) == 0 || (!display && entry.rfind("DISPLAY=", 0) == 0))
            continue;
        env_text.push_back(entry);
    }
    std::vector<char*> env;
    for (auto& e : env_text) env.push_back(e.data());
    env.push_back(nullptr);
    char self[] = "/proc/self/exe";
    char mode[] = "--fatal-child";
    char* argv[] = {self, mode, nullptr};
    Child child;
    EXPECT_EQ(posix_spawn(&child.pid, self, &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    child.error = pipe_fds[0];
    return child;
}

std::string read_all(int fd) {
    std::string out;
    char buffer[512];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
    close(fd);
    return out;
}

int exit_code(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(X11Test, FatalErrorShowsABoxClosedWithReturn) {
    Child child = start_fatal_child(true);
    Window box = 0;
    ASSERT_TRUE(pump_until([&] { return (box = find_by_title(fatal_caption)) != 0; }, 10000));
    ASSERT_TRUE(pump_until([&] {
        XWindowAttributes a;
        return XGetWindowAttributes(display, box, &a) && a.map_state == IsViewable;
    }));
    XSetInputFocus(display, box, RevertToParent, CurrentTime);
    XSync(display, False);
    pump_until([] { return false; }, 200); // the box takes the focus
    tap({XK_Return});
    EXPECT_EQ(exit_code(child.pid), fatal_child_code);
    std::string error = read_all(child.error);
    EXPECT_EQ(error.rfind(std::string(fatal_caption) + "\n*** Runtime Error 95: ", 0), 0u) << error;
}

TEST_F(X11Test, FatalErrorWithoutADisplayOnlyWrites) {
    Child child = start_fatal_child(false);
    EXPECT_EQ(exit_code(child.pid), fatal_child_code);
    std::string error = read_all(child.error);
    EXPECT_EQ(error.rfind(std::string(fatal_caption) + "\n*** Runtime Error 95: ", 0), 0u) << error;
}

TEST_F(X11Test, IdleLoopSleeps) {
    HWnd w = make_window("idle", {10, 10, 110, 110});
    settle();
    set_timer(w, 1, 1000, nullptr);
    rusage before, after;
    getrusage(RUSAGE_SELF, &before);
    double start = backend().now_ms();
    Msg m;
    while (get_message(m) > 0 && m.message != WM_TIMER) dispatch_message(m);
    double elapsed = backend().now_ms() - start;
    getrusage(RUSAGE_SELF, &after);
    auto ms = [](const rusage& r) {
        return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1000.0 +
               (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1000.0;
    };
    EXPECT_GE(elapsed, 990);
    EXPECT_LT((ms(after) - ms(before)) * 1000 / elapsed, 20.0);
}

// Run again by the suite with GDK_SCALE=2 and with GDK_DPI_SCALE=1.5.
TEST_F(X11Test, ScaleAndDpiFollowGdk) {
    const char* scale_text = std::getenv("GDK_SCALE");
    const char* dpi_text = std::getenv("GDK_DPI_SCALE");
    double scale = scale_text ? std::atof(scale_text) : 1.0;
    double dpi_scale = dpi_text ? std::atof(dpi_text) : 1.0;
    auto all = monitors();
    ASSERT_EQ(all.size(), 1u); // Xvfb: one monitor
    EXPECT_EQ(all[0].scale, scale);
    EXPECT_EQ(all[0].dpi, 96.0 * scale * dpi_scale);
    EXPECT_EQ(all[0].area, (Rect{0, 0, 1280, 1024})); // device pixels
    HWnd w = make_window("scaled", {100, 100, 300, 200});
    settle();
    Window x = find_by_title("scaled");
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(display, x, &a));
    EXPECT_EQ(a.width, 200);
    EXPECT_EQ(a.height, 100);
    EXPECT_EQ(dpi_for_window(w), 96.0 * scale * dpi_scale);
}

} // namespace
} // namespace kiv::testing
