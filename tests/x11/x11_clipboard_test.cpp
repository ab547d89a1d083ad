// The desktop clipboard with xclip as the other program: what the backend
// writes xclip reads, what xclip offers the backend reads (text, a list of
// files with percent-encoded names, a PNG), an owner that never answers
// gives a failure in time, and read-clipboard in kiv itself.
#include "x11_fixture.h"

#include <cairo.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace kiv::testing {
namespace {

using namespace gui;
namespace fs = std::filesystem;

class X11ClipboardTest : public X11Test {
  protected:
    void SetUp() override {
        X11Test::SetUp();
        char pattern[] = "/tmp/kiv-clip-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        stop_owner();
        fs::remove_all(folder);
        X11Test::TearDown();
    }

    // Ends the xclip that owned (or still owns) the clipboard.
    void stop_owner() {
        if (owner <= 0) return;
        kill(owner, SIGCONT);
        kill(owner, SIGTERM);
        waitpid(owner, nullptr, 0);
        owner = -1;
    }

    pid_t spawn(std::vector<std::string> args, int out_fd, const char* input = nullptr) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, input ? input : "/dev/null", O_RDONLY, 0);
        if (out_fd >= 0)
            posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    }

    // xclip takes the clipboard with the bytes as `type` and serves them.
    void offer(const std::string& bytes, const std::string& type) {
        std::string file = folder + "/offer";
        std::ofstream(file, std::ios::binary) << bytes;
        stop_owner();
        Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
        Window before = XGetSelectionOwner(display, clipboard);
        owner = spawn({"xclip", "-selection", "clipboard", "-quiet", "-t", type, "-i", file}, -1);
        ASSERT_GT(owner, 0);
        ASSERT_TRUE(pump_until([&] {
            Window now = XGetSelectionOwner(display, clipboard);
            return now != None && now != before;
        }));
    }

    // What a program prints, the loop running meanwhile (it may be asking
    // this process for the clipboard).
    std::string output_of(std::vector<std::string> args) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        pid_t pid = spawn(std::move(args), fds[1]);
        close(fds[1]);
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        std::string out;
        bool ended = pump_until([&] {
            char buffer[4096];
            ssize_t n;
            while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, size_t(n));
            return n == 0;
        });
        close(fds[0]);
        if (!ended) kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return out;
    }

    std::string xclip_out(const std::string& type) {
        return output_of({"xclip", "-selection", "clipboard", "-o", "-t", type});
    }

    std::string png_bytes() {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 2);
        std::string file = folder + "/image.png";
        cairo_surface_write_to_png(s, file.c_str());
        cairo_surface_destroy(s);
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::string folder;
    pid_t owner = -1;
};

TEST_F(X11ClipboardTest, TextBothWays) {
    ClipData text;
    text.kind = ClipData::Kind::text;
    text.text = "h\xC3\xA9llo \xF0\x9F\x98\x80";
    ASSERT_TRUE(backend().clipboard_write(text));
    EXPECT_EQ(xclip_out("UTF8_STRING"), text.text);

    offer("from xclip \xE2\x9C\x93", "UTF8_STRING");
    ClipData read;
    ASSERT_TRUE(backend().clipboard_read(read));
    EXPECT_EQ(read.kind, ClipData::Kind::text);
    EXPECT_EQ(read.text, "from xclip \xE2\x9C\x93");

    // Emptied: nothing to paste, here or in another program.
    ASSERT_TRUE(backend().clipboard_write(ClipData{}));
    ASSERT_TRUE(backend().clipboard_read(read));
    EXPECT_EQ(read.kind, ClipData::Kind::empty);
    EXPECT_EQ(xclip_out("UTF8_STRING"), "");
}

TEST_F(X11ClipboardTest, FileListsBothWays) {
    offer("# copied\r\nfile:///tmp/a%20b.txt\r\nfile:///tmp/caf%C3%A9\r\nhttp://x/y\r\n",
          "text/uri-list");
    ClipData read;
    ASSERT_TRUE(backend().clipboard_read(read));
    EXPECT_EQ(read.kind, ClipData::Kind::files);
    EXPECT_EQ(read.paths, (std::vector<std::string>{"/tmp/a b.txt", "/tmp/caf\xC3\xA9"}));

    ClipData files;
    files.kind = ClipData::Kind::files;
    files.paths = {"/tmp/a b.txt", "/tmp/c.txt"};
    ASSERT_TRUE(backend().clipboard_write(files));
    EXPECT_EQ(xclip_out("text/uri-list"), "file:///tmp/a%20b.txt\r\nfile:///tmp/c.txt");
    EXPECT_EQ(xclip_out("x-special/gnome-copied-files"),
              "copy\nfile:///tmp/a%20b.txt\nfile:///tmp/c.txt");
    EXPECT_EQ(xclip_out("UTF8_STRING"), "/tmp/a b.txt\n/tmp/c.txt");
}

TEST_F(X11ClipboardTest, ImagesBothWays) {
    std::string png = png_bytes();
    ASSERT_EQ(png.substr(1, 3), "PNG");
    offer(png, "image/png");
    ClipData read;
    ASSERT_TRUE(backend().clipboard_read(read));
    EXPECT_EQ(read.kind, ClipData::Kind::image);
    EXPECT_EQ(std::string(read.png.begin(), read.png.end()), png);

    ClipData image;
    image.kind = ClipData::Kind::image;
    image.png.assign(png.begin(), png.end());
    ASSERT_TRUE(backend().clipboard_write(image));
    EXPECT_EQ(xclip_out("image/png").substr(1, 3), "PNG");
}

TEST_F(X11ClipboardTest, OwnerThatNeverAnswersFailsInTime) {
    offer("stuck", "UTF8_STRING");
    kill(owner, SIGSTOP);
    double start = backend().now_ms();
    ClipData read;
    EXPECT_FALSE(backend().clipboard_read(read));
    double waited = backend().now_ms() - start;
    EXPECT_GE(waited, 1500);
    EXPECT_LT(waited, 4000);
}

// Also with the collector running at every allocation, where a value made
// into an argument slot that the stack moves is lost.
TEST_F(X11ClipboardTest, KivReadsAndWritesTheClipboard) {
    std::string script = folder + "/paste.kiv";
    std::ofstream(script) << "Kiv []\n"
                             "print read-clipboard\n"
                             "print write-clipboard [%/tmp/x %\"/tmp/y z\"]\n"
                             "print mold read-clipboard\n"
                             "print write-clipboard make image! [2x1 #{FF000000FF00} #{80FF}]\n"
                             "c: read-clipboard\n"
                             "print mold reduce [type? c c/size first c last c]\n"
                             "print write-clipboard none\n"
                             "print mold read-clipboard\n";
    std::string kiv = fs::read_symlink("/proc/self/exe").parent_path() / "kiv";
    for (const char* stress : {"0", "1"}) {
        SCOPED_TRACE(stress);
        offer("pasted \xC3\xA9", "UTF8_STRING");
        setenv("KIV_GC_STRESS", stress, 1);
        std::string out = output_of({kiv, script});
        unsetenv("KIV_GC_STRESS");
        EXPECT_EQ(out, "pasted \xC3\xA9\ntrue\n[%/tmp/x %\"/tmp/y z\"]\ntrue\n"
                       "[image! 2x1 255.0.0.128 0.255.0.255]\ntrue\nnone\n");
    }
}

} // namespace
} // namespace kiv::testing
