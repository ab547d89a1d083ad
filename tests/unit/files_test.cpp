#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "io/files.h"
#include "runtime/errors.h"
#include "runtime/throw.h"

using namespace kiv;
namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> bytes_of(std::string_view text) {
    return {text.begin(), text.end()};
}

std::string text_of(const std::vector<uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

// Each test works in a fresh folder that is removed afterwards.
class FilesTest : public ::testing::Test {
  protected:
    fs::path dir;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kiv-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(std::string_view name) const { return (dir / name).string(); }

    void put(std::string_view name, std::string_view content) const {
        std::ofstream(dir / name, std::ios::binary) << content;
    }
    std::string content(std::string_view name) const {
        io::BytesResult result = io::read_file(path(name));
        EXPECT_TRUE(result.status.ok()) << name;
        return text_of(result.bytes);
    }
};

// Runs body, which must raise access error cannot-open naming the path.
template <class Body>
void expect_cannot_open(const std::string& path, Body&& body) {
    runtime::last_error = {};
    try {
        body();
        ADD_FAILURE() << "no error raised for " << path;
    } catch (const runtime::Throw& thrown) {
        EXPECT_EQ(thrown.code, runtime::code::error);
        EXPECT_EQ(runtime::last_error.category, runtime::Category::access);
        EXPECT_EQ(runtime::last_error.id, err::access::cannot_open);
        EXPECT_EQ(io::failed_path(), path);
    }
}

struct WriteCase {
    const char* before;
    const char* data;
    io::WriteOptions options;
    std::string after;
};

TEST_F(FilesTest, WritesReplaceAppendAndSeek) {
    const WriteCase cases[] = {
        {"old longer content", "new", {}, "new"},
        {"abc", "def", {.append = true}, "abcdef"},
        {"abcdef", "XY", {.seek = 2}, "abXYef"},
        {"ab", "Z", {.seek = 4}, std::string("ab\0\0Z", 5)},
        {"", "hello", {.part = 3}, "hel"},
        {"", "hello", {.part = -1}, "hello"},
        {"abc", "def", {.part = 0, .append = true}, "abc"},
    };
    for (const WriteCase& c : cases) {
        put("f", c.before);
        std::vector<uint8_t> data = bytes_of(c.data);
        ASSERT_TRUE(io::write_file(path("f"), data, c.options).ok()) << c.data;
        EXPECT_EQ(content("f"), c.after) << c.before << " + " << c.data;
    }
}

TEST_F(FilesTest, WriteCreatesAMissingFile) {
    std::vector<uint8_t> data = bytes_of("x");
    for (io::WriteOptions options :
         {io::WriteOptions{}, io::WriteOptions{.append = true}, io::WriteOptions{.seek = 0}}) {
        fs::remove(dir / "new");
        ASSERT_TRUE(io::write_file(path("new"), data, options).ok());
        EXPECT_EQ(content("new"), "x");
    }
}

struct ReadCase {
    io::ReadOptions options;
    std::string expected;
};

TEST_F(FilesTest, ReadsWithPartAndSeek) {
    put("f", "abcdef");
    const ReadCase cases[] = {
        {{}, "abcdef"},
        {{.part = 0}, ""},
        {{.part = 3}, "abc"},
        {{.part = 99}, "abcdef"},
        {{.part = -2}, "abcdef"},
        {{.seek = 2}, "cdef"},
        {{.part = 2, .seek = 2}, "cd"},
        {{.seek = 6}, ""},
        {{.seek = 50}, ""},
    };
    for (const ReadCase& c : cases) {
        io::BytesResult result = io::read_file(path("f"), c.options);
        ASSERT_TRUE(result.status.ok());
        EXPECT_EQ(text_of(result.bytes), c.expected)
            << c.options.part.value_or(-9) << " " << c.options.seek.value_or(-9);
    }
}

TEST_F(FilesTest, NegativeSeekFailsWithoutTouchingTheFile) {
    put("f", "abc");
    EXPECT_FALSE(io::read_file(path("f"), {.seek = -1}).status.ok());
    std::vector<uint8_t> data = bytes_of("Z");
    EXPECT_FALSE(io::write_file(path("f"), data, {.seek = -1}).ok());
    EXPECT_EQ(content("f"), "abc");
}

TEST_F(FilesTest, BinaryDataRoundTripsUnchanged) {
    std::vector<uint8_t> data;
    for (int i = 0; i < 3 * 256; ++i) data.push_back(uint8_t(i * 7));
    data.insert(data.end(), {'\r', '\n', 0, '\n'});
    io::write(path("bin"), data, {});
    io::Content read = io::read(path("bin"), {}, true, true);
    EXPECT_EQ(read.kind, io::Content::Kind::bytes);
    EXPECT_EQ(read.bytes, data);
}

TEST_F(FilesTest, AnEmptyFileReadsAsNoBytes) {
    put("empty", "");
    io::BytesResult result = io::read_file(path("empty"));
    EXPECT_TRUE(result.status.ok());
    EXPECT_TRUE(result.bytes.empty());
}

TEST_F(FilesTest, QuotedPathsAreUnquotedOnRequest) {
    put("q", "quoted");
    std::string quoted = "\"" + path("q") + "\"";
    EXPECT_EQ(text_of(io::read_file(quoted, {.unquote = true}).bytes), "quoted");
    EXPECT_EQ(io::read_file(quoted).status.fault, io::Fault::missing);
    std::vector<uint8_t> data = bytes_of("more");
    ASSERT_TRUE(io::write_file(quoted, data, {.append = true, .unquote = true}).ok());
    EXPECT_EQ(content("q"), "quotedmore");
}

struct LinesCase {
    const char* text;
    std::vector<std::string> lines;
};

TEST(Files, SplitLines) {
    const LinesCase cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"one\ntwo", {"one", "two"}},
        {"\n\n", {"", ""}},
        {"\r\n", {""}},
        {"a\rb\n\r", {"a\rb", "\r"}},
        {"caf\xC3\xA9\n", {"caf\xC3\xA9"}},
    };
    for (const LinesCase& c : cases) {
        std::vector<uint8_t> text = bytes_of(c.text);
        EXPECT_EQ(io::split_lines(text), c.lines) << c.text;
    }
}

TEST_F(FilesTest, LinesRoundTrip) {
    const std::vector<std::string> lines = {"first", "", "caf\xC3\xA9", "last"};
    io::write(path("l"), lines, {});
    EXPECT_EQ(content("l"), "first\n\ncaf\xC3\xA9\nlast\n");
    io::Content read = io::read(path("l"), {}, false, true);
    EXPECT_EQ(read.kind, io::Content::Kind::lines);
    EXPECT_EQ(read.items, lines);

    io::write(path("l"), std::span(lines).first(1), {.append = true});
    io::write(path("l"), lines, {.part = 2, .append = true});
    EXPECT_EQ(content("l"), "first\n\ncaf\xC3\xA9\nlast\nfirst\nfirst\n\n");
}

TEST_F(FilesTest, ListingIsSortedAndMarksDirectories) {
    put("b.txt", "");
    put("a", "");
    fs::create_directory(dir / "c");
    fs::create_directory(dir / "A");
    put("c/inner", "");
    fs::create_directory_symlink(dir / "c", dir / "link");
    io::ListResult listing = io::read_dir(path(""));
    ASSERT_TRUE(listing.status.ok());
    EXPECT_EQ(listing.names, (std::vector<std::string>{"A/", "a", "b.txt", "c/", "link/"}));

    io::Content read = io::read(path("c/"), {}, false, false);
    EXPECT_EQ(read.kind, io::Content::Kind::listing);
    EXPECT_EQ(read.items, std::vector<std::string>{"inner"});
    EXPECT_TRUE(io::read_dir(path("A")).names.empty());
}

TEST_F(FilesTest, ListingFailures) {
    put("file", "");
    EXPECT_EQ(io::read_dir(path("missing/")).status.fault, io::Fault::missing);
    EXPECT_EQ(io::read_dir(path("file/")).status.fault, io::Fault::not_directory);
    expect_cannot_open(path("missing/"), [&] { io::read(path("missing/"), {}, false, false); });
}

TEST_F(FilesTest, DirectoryReadAsAFileCannotBeOpened) {
    fs::create_directory(dir / "d");
    for (io::ReadOptions options : {io::ReadOptions{}, io::ReadOptions{.part = 0}})
        EXPECT_EQ(io::read_file(path("d"), options).status.fault, io::Fault::is_directory);
    expect_cannot_open(path("d"), [&] { io::read(path("d"), {}, false, false); });
    std::vector<uint8_t> data = bytes_of("x");
    expect_cannot_open(path("d"), [&] { io::write(path("d"), data, {}); });
}

TEST_F(FilesTest, MissingFilesRaiseCannotOpen) {
    io::BytesResult result = io::read_file(path("nope"));
    EXPECT_EQ(result.status.fault, io::Fault::missing);
    EXPECT_EQ(result.status.path, path("nope"));
    expect_cannot_open(path("nope"), [&] { io::read(path("nope"), {}, true, false); });
    std::vector<uint8_t> data = bytes_of("x");
    expect_cannot_open(path("no/dir/f"), [&] { io::write(path("no/dir/f"), data, {}); });
}

// Each failure carries the OS's error number, whose reason is the OS's
// text in English, found here or by the OS alike.
TEST_F(FilesTest, FailuresCarryTheOsReason) {
    fs::create_directory(dir / "d");
    put("f", "old");
    std::vector<uint8_t> data = bytes_of("x");
    struct Case {
        const char* what;
        io::Status status;
        const char* reason;
    } cases[] = {
        {"missing", io::read_file(path("nope")).status, "No such file or directory"},
        {"folder read as a file", io::read_file(path("d")).status, "Is a directory"},
        {"folder written as a file", io::write_file(path("d"), data), "Is a directory"},
        {"file listed as a folder", io::read_dir(path("f/")).status, "Not a directory"},
        {"name too long", io::write_file(path(std::string(300, 'n')), data), "File name too long"},
        {"negative seek", io::read_file(path("f"), {.seek = -1}).status, "Invalid argument"},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.status.ok()) << c.what;
        EXPECT_EQ(io::reason_of(c.status.code), c.reason) << c.what;
    }
    EXPECT_EQ(content("f"), "old");
    EXPECT_EQ(fs::directory_iterator(dir / "d"), fs::directory_iterator());
}

TEST(Files, ProcFilesAreReadInFull) {
    EXPECT_EQ(io::file_size("/proc/self/status"), 0);
    io::BytesResult result = io::read_file("/proc/self/status");
    ASSERT_TRUE(result.status.ok());
    std::string text = text_of(result.bytes);
    EXPECT_TRUE(text.starts_with("Name:"));
    EXPECT_NE(text.find("\nVmPeak:"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\n"));
    io::BytesResult part = io::read_file("/proc/self/status", {.part = 5});
    EXPECT_EQ(text_of(part.bytes), "Name:");
}

TEST_F(FilesTest, PipesLongerThanOneBufferAreReadInFull) {
    std::signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    std::string data;
    for (int i = 0; data.size() < 300'000; ++i) data += std::to_string(i) + ",";
    auto feed = [&] {
        std::ofstream out(dir / "fifo", std::ios::binary);
        out << data;
    };
    const ReadCase cases[] = {
        {{}, data},
        {{.part = 70'000, .seek = 100'000}, data.substr(100'000, 70'000)},
    };
    for (const ReadCase& c : cases) {
        std::thread writer(feed);
        io::BytesResult result = io::read_file(path("fifo"), c.options);
        writer.join();
        ASSERT_TRUE(result.status.ok());
        EXPECT_EQ(text_of(result.bytes), c.expected);
    }
}

struct DateCase {
    time_t seconds;
    long nanoseconds;
    io::FileDate date;
};

TEST_F(FilesTest, QueryGivesTheModificationTimeInUtc) {
    put("f", "x");
    const DateCase cases[] = {
        {0, 0, {1970, 1, 1, 0, 0, 0, 0}},
        {951868799, 0, {2000, 2, 29, 23, 59, 59, 0}},
        {1614834367, 500'000'000, {2021, 3, 4, 5, 6, 7, 500'000'000}},
        {-3600, 0, {1969, 12, 31, 23, 0, 0, 0}},
    };
    for (const DateCase& c : cases) {
        const timespec times[2] = {{c.seconds, c.nanoseconds}, {c.seconds, c.nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path("f").c_str(), times, 0), 0);
        std::optional<io::FileDate> date = io::query_file(path("f"));
        ASSERT_TRUE(date) << c.seconds;
        const io::FileDate& d = *date;
        EXPECT_EQ(std::vector<int32_t>(
                      {d.year, d.month, d.day, d.hour, d.minute, d.second, d.nanosecond}),
                  std::vector<int32_t>({c.date.year, c.date.month, c.date.day, c.date.hour,
                                        c.date.minute, c.date.second, c.date.nanosecond}))
            << c.seconds;
    }
    EXPECT_FALSE(io::query_file(path("missing")));
    EXPECT_TRUE(io::query_file(path("")));
}

TEST_F(FilesTest, DeleteFilesAndEmptyDirectories) {
    put("f", "x");
    fs::create_directory(dir / "empty");
    fs::create_directory(dir / "full");
    put("full/g", "");
    EXPECT_EQ(io::delete_(path("f/")).fault, io::Fault::not_directory);
    EXPECT_TRUE(io::delete_(path("f")).ok());
    EXPECT_FALSE(fs::exists(dir / "f"));
    EXPECT_EQ(io::delete_(path("f")).fault, io::Fault::missing);
    EXPECT_EQ(io::delete_(path("empty")).fault, io::Fault::is_directory);
    EXPECT_TRUE(io::delete_(path("empty/")).ok());
    EXPECT_FALSE(fs::exists(dir / "empty"));
    EXPECT_EQ(io::delete_(path("full/")).fault, io::Fault::not_empty);
    EXPECT_TRUE(fs::exists(dir / "full/g"));
}

TEST_F(FilesTest, RenameNeverReplacesATarget) {
    put("a", "from a");
    put("b", "from b");
    io::Status refused = io::rename(path("a"), path("b"));
    EXPECT_EQ(refused.fault, io::Fault::exists);
    EXPECT_EQ(refused.path, path("a"));
    EXPECT_EQ(content("a"), "from a");
    EXPECT_EQ(content("b"), "from b");

    ASSERT_TRUE(io::rename(path("a"), path("c")).ok());
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(content("c"), "from a");
    EXPECT_EQ(io::rename(path("a"), path("d")).fault, io::Fault::missing);

    fs::create_directory(dir / "sub");
    put("sub/x", "inside");
    ASSERT_TRUE(io::rename(path("sub/"), path("moved/")).ok());
    EXPECT_EQ(content("moved/x"), "inside");
}

TEST_F(FilesTest, MakeDirMakesOneLevel) {
    ASSERT_TRUE(io::make_dir(path("d/")).ok());
    EXPECT_TRUE(fs::is_directory(dir / "d"));
    EXPECT_EQ(io::make_dir(path("d")).fault, io::Fault::exists);
    EXPECT_EQ(io::make_dir(path("x/y/")).fault, io::Fault::missing);
    EXPECT_FALSE(fs::exists(dir / "x"));
    put("f", "");
    EXPECT_EQ(io::make_dir(path("f")).fault, io::Fault::exists);
}

TEST_F(FilesTest, SizeAndAttributes) {
    put("f", "12345");
    fs::create_directory(dir / "d");
    EXPECT_EQ(io::file_size(path("f")), 5);
    EXPECT_EQ(io::file_size(path("d")), std::nullopt);
    EXPECT_EQ(io::file_size(path("missing")), std::nullopt);
    EXPECT_EQ(io::file_attributes(path("f")), io::FileKind::file);
    EXPECT_EQ(io::file_attributes(path("d/")), io::FileKind::directory);
    EXPECT_EQ(io::file_attributes(path("missing")), io::FileKind::none);
}

TEST_F(FilesTest, RelativePathsStartAtTheCurrentDirectory) {
    std::string before = io::current_dir();
    ASSERT_TRUE(before.ends_with('/'));
    ASSERT_EQ(::chdir(dir.c_str()), 0);
    std::string here = io::current_dir();
    std::vector<uint8_t> data = bytes_of("rel");
    io::Status written = io::write_file("rel.txt", data);
    std::string local = io::to_local_file("rel.txt", true);
    ASSERT_EQ(::chdir(before.c_str()), 0);
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(here, fs::canonical(dir).string() + "/");
    EXPECT_EQ(local, here + "rel.txt");
    EXPECT_EQ(text_of(io::read_file(local).bytes), "rel");
}

struct PathCase {
    const char* path;
    bool directory;
};

TEST(Files, DirPath) {
    const PathCase cases[] = {
        {"", false},   {"a", false},   {"a/", true},     {"a\\", true},      {"/", true},
        {".", true},   {"..", true},   {"a/.", true},    {"a\\..", true},    {"a/...", false},
        {"a.", false}, {"a..", false}, {"/x/.b", false}, {"/x/file", false}, {"./f", false},
    };
    for (const PathCase& c : cases) EXPECT_EQ(io::dir_path_q(c.path), c.directory) << c.path;
}

TEST(Files, LocalAndKivFileForms) {
    std::string cwd = io::current_dir();
    EXPECT_EQ(io::to_local_file("/usr/lib/x", false), "/usr/lib/x");
    EXPECT_EQ(io::to_local_file("/usr/lib/", true), "/usr/lib/");
    EXPECT_EQ(io::to_local_file("dir/x.txt", false), "dir/x.txt");
    EXPECT_EQ(io::to_local_file("dir/x.txt", true), cwd + "dir/x.txt");
    EXPECT_EQ(io::to_local_file("", true), cwd);
    EXPECT_EQ(io::to_kiv_file(""), "");
    EXPECT_EQ(io::to_kiv_file("/home//me///notes/"), "/home/me/notes/");
    EXPECT_EQ(io::to_kiv_file("dir//"), "dir/");
    EXPECT_EQ(io::to_kiv_file("a b:c\\d"), "a b:c\\d");
}

} // namespace
