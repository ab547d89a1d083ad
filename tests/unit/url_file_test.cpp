#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

#include "datatype_fixture.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/date.h"
#include "datatypes/file.h"
#include "datatypes/symbol.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "object_fixture.h"
#include "platform/os.h"
#include "runtime/calendar.h"
#include "runtime/case.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace kiv::testing {
namespace {

namespace fs = std::filesystem;

// string!'s form as a form slot, standing in for string! until its row of
// actions is registered by the string module.
int32_t string_form(const Cell* value, Cell* buffer, const Cell* arg, int32_t part) {
    return string::form(*value, *buffer, arg, part);
}

class UrlFileTest : public DatatypeTest {
  protected:
    fs::path dir;

    void SetUp() override {
        DatatypeTest::SetUp();
        unicode::init_case_tables();
        symbol::init();
        context::init();
        word::init();
        context::init_global();
        if (!datatype::entry(TYPE_STRING, Slot::form)) register_string_stand_in();
        url::init();
        file::init();
        std::string pattern = (fs::temp_directory_path() / "kiv-fileurl-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        fs::remove_all(dir);
        DatatypeTest::TearDown();
    }

    static void register_string_stand_in() {
        datatype::register_type(TYPE_STRING, 0, "string!", {{Slot::form, string_form}});
    }

    static Cell text(const std::string& utf8, uint32_t type = TYPE_STRING) {
        Cell c{};
        string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), uint32_t(utf8.size()), c,
                        string::Encoding::utf8);
        cell::set_type(c, type);
        return test::hold(c);
    }
    static Cell file_cell(const std::string& name) { return text(name, TYPE_FILE); }
    static Cell url_cell(const std::string& name) { return text(name, TYPE_URL); }
    static std::string utf8(const Cell& c) { return url::utf8_text(c); }

    static std::string molded_utf8(const Cell& value, const Cell* part = nullptr,
                                   int32_t limit = INT32_MAX) {
        Cell buffer = new_buffer();
        datatype::get<Slot::mold>(cell::type_of(value))(&value, &buffer, false, false, false, part,
                                                        limit, 0);
        return utf8(buffer);
    }
    static std::string formed_utf8(const Cell& value) {
        Cell buffer = new_buffer();
        datatype::get<Slot::form>(cell::type_of(value))(&value, &buffer, nullptr, INT32_MAX);
        return utf8(buffer);
    }

    static Cell block_of(const std::vector<Cell>& values) {
        Cell b{};
        test::hold(*block::make_at(b, int32_t(values.size())));
        for (const Cell& v : values) *cell::alloc_tail(b) = v;
        return b;
    }
    static std::vector<Cell> cells_of(const Cell& block) {
        return {block::rs_head(block), block::rs_tail(block)};
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    Cell in_dir(const std::string& name) const { return file_cell(path(name)); }

    // read with the given refinements; the result replaces the cell.
    static Cell read(Cell source, const Cell* part = nullptr, const Cell* seek = nullptr,
                     bool binary = false, bool lines = false) {
        file::read(&source, part, seek, binary, lines, false, nullptr);
        return source;
    }
    static Cell write(Cell destination, Cell data, bool lines = false, bool append = false,
                      const Cell* part = nullptr, const Cell* seek = nullptr) {
        file::write(&destination, &data, false, lines, false, append, part, seek, nullptr, nullptr);
        return destination;
    }
};

constexpr runtime::ErrorSite cannot_open{runtime::Category::access, err::access::cannot_open};
constexpr runtime::ErrorSite not_done{runtime::Category::internal, err::internal::not_done};

// ------------------------------------------------------------ registration

TEST_F(UrlFileTest, UrlAndFileInheritFromStringAndUrl) {
    EXPECT_EQ(datatype::entry(TYPE_URL, Slot::form), datatype::entry(TYPE_STRING, Slot::form));
    EXPECT_EQ(datatype::entry(TYPE_FILE, Slot::form), datatype::entry(TYPE_STRING, Slot::form));
    EXPECT_EQ(datatype::entry(TYPE_FILE, Slot::eval_path),
              datatype::entry(TYPE_URL, Slot::eval_path));
    EXPECT_EQ(datatype::entry(TYPE_FILE, Slot::make), datatype::entry(TYPE_URL, Slot::make));
    EXPECT_NE(datatype::entry(TYPE_FILE, Slot::mold), datatype::entry(TYPE_URL, Slot::mold));
    EXPECT_NE(datatype::entry(TYPE_FILE, Slot::read), datatype::entry(TYPE_URL, Slot::read));
    EXPECT_EQ(datatype::entry(TYPE_URL, Slot::query), nullptr);
    EXPECT_EQ(datatype::entry(TYPE_FILE, Slot::open), nullptr);
    EXPECT_STREQ(datatype::name_of(TYPE_FILE).name, "file!");
}

// -------------------------------------------------------- mold and form

TEST_F(UrlFileTest, FileMoldQuotesAndEscapesWhatTheLoaderWouldMisread) {
    struct Case {
        std::string name, molded;
    } cases[] = {
        {"a.txt", "%a.txt"},
        {"dir/sub/x.kiv", "%dir/sub/x.kiv"},
        {"/abs/path", "%/abs/path"},
        {"", "%\"\""},
        {"my file.txt", "%\"my file.txt\""},
        {"a;b[1]", "%\"a;b[1]\""},
        {"copy(2).txt", "%\"copy(2).txt\""},
        {"50%", "%\"50%25\""},
        {"say \"hi\"", "%\"say %22hi%22\""},
        {"up^arrow", "%\"up%5Earrow\""},
        {"tab\there\nline", "%\"tab%09here%0Aline\""},
        {"caf\xC3\xA9.txt", "%caf\xC3\xA9.txt"},
        {"caf\xC3\xA9 bar", "%\"caf\xC3\xA9 bar\""},
    };
    for (const Case& c : cases) {
        Cell f = file_cell(c.name);
        EXPECT_EQ(molded_utf8(f), c.molded) << c.name;
        EXPECT_EQ(formed_utf8(f), c.name);
    }
}

// What the loader does to a quoted file (decode each %XX) gives back the
// name that was molded.
TEST_F(UrlFileTest, QuotedFileMoldDecodesBackToTheSameName) {
    for (std::string name : {"50% \"off\"", "a^b c", "line\nbreak", "%41 literally", "\x7F del"}) {
        std::string molded = molded_utf8(file_cell(name));
        ASSERT_TRUE(molded.starts_with("%\"") && molded.ends_with("\"")) << molded;
        std::string body = molded.substr(2, molded.size() - 3);
        EXPECT_EQ(body.find_first_of("\"^\n"), std::string::npos) << molded;
        Cell& decoded =
            url::load_decoded(reinterpret_cast<const uint8_t*>(body.data()), uint32_t(body.size()));
        EXPECT_EQ(utf8(decoded), name);
    }
}

TEST_F(UrlFileTest, FileMoldPartCutsTheName) {
    // Only the characters within the limit decide the quoting.
    Cell part = int_cell(3);
    EXPECT_EQ(molded_utf8(file_cell("my file.txt"), &part, 2), "%my");
    EXPECT_EQ(molded_utf8(file_cell("a b c"), &part, 3), "%\"a b\"");
    Cell bare = file_cell("abcdef");
    Cell buffer = new_buffer();
    int32_t left = file::mold(&bare, &buffer, false, false, false, &part, 3, 0);
    EXPECT_EQ(text_of(buffer), "%abc");
    EXPECT_EQ(left, -1);
}

TEST_F(UrlFileTest, UrlMoldEscapesUnsafeBytesAndFormKeepsThem) {
    struct Case {
        std::string text, molded;
    } cases[] = {
        {"http://example.com/a/b?x=1&y=2", "http://example.com/a/b?x=1&y=2"},
        {"http://example.com/two words", "http://example.com/two%20words"},
        {"http://h/caf\xC3\xA9", "http://h/caf%C3%A9"},
        {"ftp://h/50%<tag>^", "ftp://h/50%25%3Ctag%3E%5E"},
        {"http://h/{x}|\"", "http://h/%7Bx%7D%7C%22"},
        {"http://h/f(x)", "http://h/f%28x%29"},
    };
    for (const Case& c : cases) {
        Cell u = url_cell(c.text);
        EXPECT_EQ(molded_utf8(u), c.molded) << c.text;
        EXPECT_EQ(formed_utf8(u), c.text);
    }
    Cell part = int_cell(5);
    EXPECT_EQ(molded_utf8(url_cell("a b c d"), &part, 5), "a%20b");
}

// --------------------------------------------------- decode and encode

TEST_F(UrlFileTest, DecodeEscapes) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"%41", "A"},
        {"%C3%A9", "\xC3\xA9"},
        {"%c3%a9", "\xC3\xA9"},
        {"%F0%9F%98%80!", "\xF0\x9F\x98\x80!"},
        {"%C3", "%C3"},            // a lead byte without its continuation
        {"%E2%82", "%E2\xC2\x82"}, // incomplete: kept, then 0x82 on its own
        {"%C3%28", "%C3("},        // a continuation that is not one
        {"%80", "\xC2\x80"},       // not a lead byte: the code point 0x80
        {"%zz%4", "%zz%4"},        // not escapes
        {"a%2Fb%20c", "a/b c"},
        {"caf\xC3\xA9%21", "caf\xC3\xA9!"},
    };
    for (const Case& c : cases) {
        Cell out = text("");
        url::decode(text(c.in), out);
        EXPECT_EQ(utf8(out), c.out) << c.in;
    }
}

TEST_F(UrlFileTest, EncodeByModeAndRoundTrip) {
    Cell out = text("");
    url::encode(text("a b/c~d.e_f-\xC3\xA9"), out, url::component);
    EXPECT_EQ(utf8(out), "a%20b%2Fc~d.e_f-%C3%A9");
    Cell kept = text("");
    url::encode(text("a b/c?d=\xC3\xA9%"), kept, url::file_name);
    EXPECT_EQ(utf8(kept), "a%20b/c?d=%C3%A9%25");

    for (std::string original : {std::string("plain"), std::string("50% of \"it\""),
                                 std::string("\xF0\x9F\x98\x80 \xE2\x82\xAC"),
                                 std::string("%41 stays"), std::string("ctl\x01\x7F")}) {
        for (uint32_t mode : {url::component, url::file_name}) {
            Cell encoded = text("");
            url::encode(text(original), encoded, mode);
            Cell decoded = text("");
            url::decode(encoded, decoded);
            EXPECT_EQ(utf8(decoded), original) << utf8(encoded);
        }
    }
}

// ------------------------------------------------------ make/to, paths

TEST_F(UrlFileTest, UrlFromBlock) {
    struct Case {
        std::vector<Cell> values;
        std::string url;
    } cases[] = {
        {{text("http"), text("example.com"), int_cell(8080), text("a"), text("b")},
         "http://example.com:8080/a/b"},
        {{word::load("ftp"), word::load("host"), word::load("dir")}, "ftp://host/dir"},
        {{word::load("http"), word::load("example"), int_cell(81), text("a b"), int_cell(2)},
         "http://example:81/a b/2"},
        {{text("http"), text("host")}, "http://host"},
        {{text("http")}, "http://"},
    };
    for (const Case& c : cases) {
        Cell block = block_of(c.values);
        Cell proto{TYPE_DATATYPE, TYPE_URL, 0, 0};
        Cell* made = url::to(&proto, &block, TYPE_URL);
        EXPECT_EQ(cell::type_of(*made), uint32_t(TYPE_URL));
        EXPECT_EQ(utf8(*made), c.url);
        Cell again{TYPE_DATATYPE, TYPE_URL, 0, 0};
        EXPECT_EQ(utf8(*url::make(&again, &block, TYPE_URL)), c.url);
    }
    Cell empty = block_of({});
    Cell proto{};
    EXPECT_EQ(error_of([&] { url::to(&proto, &empty, TYPE_URL); }),
              script(err::script::bad_to_arg));
}

TEST_F(UrlFileTest, PathsAppendOneSlashBetweenSegments) {
    struct Case {
        Cell base;
        Cell element;
        std::string joined;
    } cases[] = {
        {url_cell("http://h/a"), text("b"), "http://h/a/b"},
        {url_cell("http://h/a/"), text("b"), "http://h/a/b"},
        {url_cell("http://h/a/"), text("/b"), "http://h/a/b"},
        {url_cell("http://h/a"), text("/b"), "http://h/a/b"},
        {url_cell("http://h"), int_cell(3), "http://h/3"},
        {file_cell("dir"), text("f.txt"), "dir/f.txt"},
        {file_cell("caf\xC3\xA9/"), text("\xE2\x82\xAC"), "caf\xC3\xA9/\xE2\x82\xAC"},
    };
    for (Case& c : cases) {
        std::string before = utf8(c.base);
        Cell* got = datatype::get<Slot::eval_path>(cell::type_of(c.base))(
            &c.base, &c.element, nullptr, nullptr, nullptr, nullptr, -1, false, true, true, false);
        EXPECT_EQ(utf8(*got), c.joined);
        EXPECT_EQ(cell::type_of(*got), cell::type_of(c.base));
        EXPECT_EQ(utf8(c.base), before); // the url itself is unchanged
    }
    Cell u = url_cell("http://h");
    Cell element = text("x");
    Cell value = int_cell(1);
    EXPECT_EQ(error_of([&] {
                  url::eval_path(&u, &element, &value, nullptr, nullptr, nullptr, -1, false, false,
                                 true, false);
              }),
              script(err::script::bad_path_set));
}

TEST_F(UrlFileTest, LocalPathsArePosix) {
    Cell out = text("");
    file::to_local_path(file_cell("/c/dir/x.txt"), out, true);
    EXPECT_EQ(utf8(out), "/c/dir/x.txt");
    Cell relative = text("");
    file::to_local_path(file_cell("dir/x.txt"), relative, true);
    EXPECT_EQ(utf8(relative), fs::current_path().string() + "/dir/x.txt");
    EXPECT_EQ(file::to_os_string(file_cell("dir/x.txt")), "dir/x.txt");
    EXPECT_EQ(utf8(file::current_dir()), fs::current_path().string() + "/");
    Cell& loaded =
        file::load(reinterpret_cast<const uint8_t*>("caf\xC3\xA9"), 5, string::Encoding::utf8);
    EXPECT_EQ(cell::type_of(loaded), uint32_t(TYPE_FILE));
    EXPECT_EQ(utf8(loaded), "caf\xC3\xA9");
    Cell windows = file_cell("a\\b\\c");
    file::normalize_slashes(windows);
    EXPECT_EQ(utf8(windows), "a/b/c");
}

// ------------------------------------------------------- file actions

TEST_F(UrlFileTest, WriteAndReadBackText) {
    std::string content = "first line\r\nsecond caf\xC3\xA9\nthird";
    Cell target = in_dir("note.txt");
    EXPECT_EQ(cell::type_of(write(target, text(content))), uint32_t(TYPE_UNSET));
    Cell got = read(target);
    EXPECT_EQ(cell::type_of(got), uint32_t(TYPE_STRING));
    EXPECT_EQ(utf8(got), content);

    Cell lines = read(target, nullptr, nullptr, false, true);
    std::vector<std::string> texts;
    for (const Cell& c : cells_of(lines)) texts.push_back(utf8(c));
    EXPECT_EQ(texts, (std::vector<std::string>{"first line", "second caf\xC3\xA9", "third"}));

    Cell part = int_cell(5), seek = int_cell(6);
    EXPECT_EQ(utf8(read(target, &part, &seek)), "line\r");

    write(target, text("!"), false, true);
    EXPECT_EQ(utf8(read(target)), content + "!");
}

// Bytes that are not UTF-8 go out and come back as they are, not molded.
TEST_F(UrlFileTest, BinaryIsWrittenAndReadAsItsBytes) {
    const std::string bytes("\x00\xFF\xC3\x28 x", 6);
    Cell data{};
    binary::load_at(data, reinterpret_cast<const uint8_t*>(bytes.data()), uint32_t(bytes.size()));
    data = test::hold(data);
    Cell target = in_dir("data.bin");
    write(target, data);
    Cell got = read(target, nullptr, nullptr, true);
    ASSERT_EQ(cell::type_of(got), uint32_t(TYPE_BINARY));
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(binary::head_ptr(got)), binary::length(got)),
        bytes);
}

TEST_F(UrlFileTest, WriteLinesAndMoldedValues) {
    Cell target = in_dir("lines.txt");
    write(target, block_of({text("one"), int_cell(2), file_cell("a b")}), true);
    EXPECT_EQ(utf8(read(target)), "one\n2\n%\"a b\"\n");
    write(target, int_cell(42));
    EXPECT_EQ(utf8(read(target)), "42");
    Cell seek = int_cell(1);
    write(target, text("7"), false, false, nullptr, &seek);
    EXPECT_EQ(utf8(read(target)), "47");
}

TEST_F(UrlFileTest, DirectoryListingIsABlockOfFiles) {
    fs::create_directory(dir / "sub");
    std::ofstream(dir / "b.txt") << "x";
    std::ofstream(dir / "caf\xC3\xA9 1.txt") << "y";
    Cell listing = read(file_cell(dir.string() + "/"));
    ASSERT_EQ(cell::type_of(listing), uint32_t(TYPE_BLOCK));
    std::vector<std::string> names;
    for (const Cell& c : cells_of(listing)) {
        EXPECT_EQ(cell::type_of(c), uint32_t(TYPE_FILE));
        names.push_back(utf8(c));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b.txt", "caf\xC3\xA9 1.txt", "sub/"}));
    EXPECT_TRUE(cells_of(read(in_dir("sub/"))).empty());
}

TEST_F(UrlFileTest, QueryDeleteRenameMakeDir) {
    Cell target = in_dir("q.txt");
    write(target, text("data"));
    Cell fields = target;
    file::query(&fields);
    // A UTC date with time, within a minute of the clock.
    ASSERT_EQ(cell::type_of(fields), uint32_t(TYPE_DATE));
    EXPECT_EQ(fields.w1 & calendar::zone_mask, 0u);
    EXPECT_TRUE(calendar::has_time(fields.w1));
    EXPECT_LT(std::fabs(date::to_epoch(fields) - double(os::read_clock().seconds)), 60.0);
    Cell missing = in_dir("none.txt");
    EXPECT_EQ(cell::type_of(*file::query(&missing)), uint32_t(TYPE_NONE));

    Cell from = target, to = in_dir("r.txt");
    EXPECT_TRUE(logic::get(*file::rename(&from, &to)));
    EXPECT_EQ(utf8(read(in_dir("r.txt"))), "data");
    Cell again = target;
    EXPECT_FALSE(logic::get(*file::rename(&again, &to)));
    Cell number = int_cell(1);
    EXPECT_EQ(error_of([&] { file::rename(&again, &number); }), script(err::script::invalid_arg));

    EXPECT_TRUE(file::make_dir(in_dir("made")));
    EXPECT_FALSE(file::make_dir(in_dir("made")));
    EXPECT_TRUE(fs::is_directory(dir / "made"));
    Cell gone = in_dir("made/");
    EXPECT_TRUE(logic::get(*file::delete_(&gone)));
    Cell removed = in_dir("r.txt");
    EXPECT_TRUE(logic::get(*file::delete_(&removed)));
    Cell twice = in_dir("r.txt");
    EXPECT_FALSE(logic::get(*file::delete_(&twice)));
}

TEST_F(UrlFileTest, FailuresRaiseErrors) {
    fs::create_directory(dir / "sub");
    Cell seek_word = text("x");
    struct Case {
        const char* what;
        std::function<void()> body;
        runtime::ErrorSite error;
    } cases[] = {
        {"missing file", [&] { read(in_dir("missing.txt")); }, cannot_open},
        {"directory read as a file", [&] { read(in_dir("sub")); }, cannot_open},
        {"missing directory", [&] { read(in_dir("nowhere/")); }, cannot_open},
        {"write into a missing directory", [&] { write(in_dir("nowhere/x"), text("x")); },
         cannot_open},
        {"seek that is not a number", [&] { read(in_dir("sub/x"), nullptr, &seek_word); },
         script(err::script::invalid_refine_arg)},
        {"read of a scheme without a port",
         [&] {
             Cell u = url_cell("ftp://127.0.0.1/");
             datatype::get<Slot::read>(TYPE_URL)(&u, nullptr, nullptr, false, false, false,
                                                 nullptr);
         },
         not_done},
        // Refused before any request is made.
        {"http read of a part",
         [&] {
             Cell u = url_cell("https://127.0.0.1/"), part = int_cell(1);
             datatype::get<Slot::read>(TYPE_URL)(&u, &part, nullptr, false, false, false, nullptr);
         },
         not_done},
    };
    for (const Case& c : cases) EXPECT_EQ(error_of(c.body), c.error) << c.what;
}

// Every allocation collects: the values built while listing, molding and
// joining must stay reachable.
TEST_F(UrlFileTest, BuildingSurvivesCollections) {
    for (const char* name : {"a.txt", "b c.txt", "d.txt"}) std::ofstream(dir / name) << name;
    Rooted<Cell> folder(file_cell(dir.string() + "/"));
    Rooted<Cell> spec(block_of({text("http"), text("host"), int_cell(8), text("p")}));
    Rooted<Cell> base(url_cell("http://h/a"));
    Rooted<Cell> element(text("b"));
    Rooted<Cell> lines(block_of({text("x"), int_cell(1), file_cell("y z")}));
    Rooted<Cell> target(in_dir("out.txt"));
    collector::active = collector::stress = true;
    Rooted<Cell> listing(*folder);
    file::read(&*listing, nullptr, nullptr, false, false, false, nullptr);
    Rooted<Cell> made{Cell{TYPE_DATATYPE, TYPE_URL, 0, 0}};
    url::to(&*made, &*spec, TYPE_URL);
    Rooted<Cell> joined(*url::eval_path(&*base, &*element, nullptr, nullptr, nullptr, nullptr, -1,
                                        false, true, true, false));
    Rooted<Cell> written(*target);
    file::write(&*written, &*lines, false, true, false, false, nullptr, nullptr, nullptr, nullptr);
    collector::active = collector::stress = false;

    std::vector<std::string> names;
    for (const Cell& c : cells_of(*listing)) names.push_back(utf8(c));
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b c.txt", "d.txt"}));
    EXPECT_EQ(utf8(*made), "http://host:8/p");
    EXPECT_EQ(utf8(*joined), "http://h/a/b");
    EXPECT_EQ(utf8(read(*target)), "x\n1\n%\"y z\"\n");
}

// With the error catalog loaded, a failed file operation raises an error!
// whose argument is the file! value.
class FileErrorTest : public ObjectTest {
  protected:
    void SetUp() override {
        ObjectTest::SetUp();
        load_catalog();
        url::init();
        file::init();
    }
};

TEST_F(FileErrorTest, CannotOpenCarriesTheFile) {
    Rooted<Cell> missing(Cell{});
    std::string name = "/nonexistent-kiv-dir/missing file.txt";
    string::load_at(reinterpret_cast<const uint8_t*>(name.data()), uint32_t(name.size()), *missing,
                    string::Encoding::utf8);
    cell::set_type(*missing, TYPE_FILE);
    Cell error = raised([&] {
        Cell source = *missing;
        file::read(&source, nullptr, nullptr, false, false, false, nullptr);
    });
    ASSERT_EQ(cell::type_of(error), uint32_t(TYPE_ERROR));
    EXPECT_EQ(runtime::last_error, cannot_open);
    const Cell* argument = error::field(error, error::arg1);
    EXPECT_EQ(cell::type_of(*argument), uint32_t(TYPE_FILE));
    EXPECT_EQ(url::utf8_text(*argument), name);
    const Cell* reason = error::field(error, error::arg2);
    EXPECT_EQ(url::utf8_text(*reason), "No such file or directory");
    EXPECT_TRUE(formed_text(error).starts_with(
        "*** Access Error: cannot open: %\"/nonexistent-kiv-dir/missing file.txt\" reason: "
        "\"No such file or directory\"\n"))
        << formed_text(error);
}

} // namespace
} // namespace kiv::testing
