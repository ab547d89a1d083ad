// Starts a program and waits until the X server shows a top-level window
// whose title begins with TITLE (viewable), and, when a FILE is named,
// until that file exists too; then prints the milliseconds from the start
// to each, keeps the program running until its own standard input ends
// (the caller may go on using the program meanwhile), prints the
// program's peak resident memory in MiB, ends the program and exits 0 (1
// when it exited first or 30 s passed). Polls every millisecond.
//
// Usage: watch TITLE FILE|- -- COMMAND [ARG...]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Whether a viewable top-level window's title begins with `title`. The
// windows are the root's children or, under a window manager, theirs.
static int shown(Display* display, Window window, const char* title, int depth) {
    Window root, parent, *children = NULL;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
    int found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        char* name = NULL;
        XWindowAttributes a;
        if (XFetchName(display, children[i], &name) && name) {
            found = strncmp(name, title, strlen(title)) == 0 &&
                    XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable;
            XFree(name);
        }
        if (!found && depth > 0) found = shown(display, children[i], title, depth - 1);
    }
    if (children) XFree(children);
    return found;
}

// The process's peak resident memory (VmHWM) in MiB, or -1.
static double peak_mib(pid_t pid) {
    char path[64], line[256];
    snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
    FILE* status = fopen(path, "r");
    double kib = -1;
    while (status && fgets(line, sizeof line, status))
        if (sscanf(line, "VmHWM: %lf", &kib) == 1) break;
    if (status) fclose(status);
    return kib < 0 ? -1 : kib / 1024;
}

int main(int argc, char** argv) {
    if (argc < 5 || strcmp(argv[3], "--") != 0) {
        fprintf(stderr, "usage: watch TITLE FILE|- -- COMMAND [ARG...]\n");
        return 2;
    }
    const char* title = argv[1];
    const char* file = strcmp(argv[2], "-") == 0 ? NULL : argv[2];
    // The X authority file may be being rewritten by another client's
    // start (xvfb-run writes it): a refused connection is tried again.
    Display* display = NULL;
    for (int tries = 0; !display && tries < 100; ++tries) {
        display = XOpenDisplay(NULL);
        if (!display) usleep(20000);
    }
    if (!display) {
        fprintf(stderr, "watch: no display\n");
        return 2;
    }
    double start = now_ms();
    pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        execvp(argv[4], argv + 4);
        _exit(127);
    }
    double window_at = -1, file_at = -1;
    struct stat st;
    int status = 0;
    while (window_at < 0 || (file && file_at < 0)) {
        if (waitpid(child, &status, WNOHANG) == child) {
            fprintf(stderr, "watch: %s exited first\n", argv[4]);
            return 1;
        }
        if (now_ms() - start > 30000) break;
        if (window_at < 0 && shown(display, DefaultRootWindow(display), title, 1))
            window_at = now_ms() - start;
        if (file && file_at < 0 && stat(file, &st) == 0) file_at = now_ms() - start;
        usleep(1000);
    }
    int timed_out = window_at < 0 || (file && file_at < 0);
    if (!timed_out) {
        printf("window %.1f", window_at);
        if (file) printf(" prompt %.1f", file_at);
        printf("\n");
        fflush(stdout);
        while (getchar() != EOF) {
        }
        printf("peak %.1f\n", peak_mib(child));
    }
    kill(-child, SIGKILL);
    waitpid(child, &status, 0);
    if (timed_out) {
        fprintf(stderr, "watch: timed out\n");
        return 1;
    }
    return 0;
}
