// The common dialogs on the headless backend: what `request-file`,
// `request-dir` and `request-font` ask the dialog, how they check their
// arguments first, and how the answers become values; the owner's input
// is off while a dialog is open and its messages keep flowing.
#include "evaluation_fixture.h"

#include "datatypes/word.h"
#include "gui/backend/dialogs.h"
#include "gui/backend/headless.h"
#include "gui/backend/messages.h"
#include "gui/backend/platform_routines.h"
#include "gui/backend/window_layer.h"
#include "io/files.h"

using namespace kiv;
using namespace kiv::testing;
using namespace kiv::gui;

namespace {

// The first argument of the last error raised, molded.
std::string raised_argument;
runtime::Raiser original_raiser = nullptr;

class GuiDialogsTest : public EvaluationTest {
  protected:
    void SetUp() override {
        EvaluationTest::SetUp();
        headless = &start_headless();
        raised_argument.clear();
        original_raiser = runtime::raiser;
        runtime::raiser = [](runtime::Category category, uint32_t id, const Cell* arg1,
                             const Cell* arg2, const Cell* arg3) {
            raised_argument = arg1 ? molded(*arg1) : "";
            return original_raiser(category, id, arg1, arg2, arg3);
        };
    }
    void TearDown() override {
        runtime::raiser = original_raiser;
        layer_stop();
        EvaluationTest::TearDown();
    }

    // Calls the platform routine with the values of the text, reduced;
    // the molded answer, which is also kept in the word `answer`.
    std::string call(const char* routine, const std::string& arguments) {
        run("args: reduce [" + arguments + "]");
        Cell cells[8] = {};
        Cell* args = word::get_value(word::load("args"));
        for (int32_t i = 0; i < block::rs_length(*args); ++i) cells[i] = block::rs_head(*args)[i];
        stack::reset();
        platform::call(*platform::find(routine), cells);
        Rooted<Cell> result(cells[0]);
        Cell answer = word::load("answer");
        word::set(answer, *result);
        return molded(*result);
    }
    const FileRequest& last_file() const { return headless->file_requests().back(); }

    HeadlessBackend* headless = nullptr;
};

TEST_F(GuiDialogsTest, FiltersMatchWithoutRegardToCase) {
    struct Case {
        std::vector<std::string> patterns;
        const char* name;
        bool matches;
    } cases[] = {
        {{"*.TXT"}, "a.txt", true},
        {{"*.txt"}, "NOTES.Txt", true},
        {{"*.txt"}, "a.txt.bak", false},
        {{"*.*"}, "README", true},
        {{"*.kiv", "*.kivs"}, "x.kivs", true},
        {{"*.kiv", "*.kivs"}, "x.kivx", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(filter_matches({"", c.patterns}, c.name), c.matches) << c.name;
}

TEST_F(GuiDialogsTest, FilterBlockBecomesFiltersInOrder) {
    call("request-file", R"(none none ["Text" "*.TXT;*.text" "Kiv" %*.kiv] false false)");
    const FileRequest& r = last_file();
    ASSERT_EQ(r.filters.size(), 2u);
    EXPECT_EQ(r.filters[0].name, "Text");
    EXPECT_EQ(r.filters[0].patterns, (std::vector<std::string>{"*.TXT", "*.text"}));
    EXPECT_EQ(r.filters[1].patterns, (std::vector<std::string>{"*.kiv"}));
    // Anything else gives the four default filters, "All files" first.
    call("request-file", "none none 'nothing false false");
    ASSERT_EQ(last_file().filters.size(), 4u);
    EXPECT_EQ(last_file().filters[0].name, "All files");
    EXPECT_EQ(last_file().filters[1].patterns, (std::vector<std::string>{"*.kiv", "*.kivs"}));
}

TEST_F(GuiDialogsTest, BadFiltersRaiseBeforeAnyDialog) {
    struct Case {
        const char* filter;
        const char* named;
    } cases[] = {
        {R"(["Text" 12])", "12"},
        {R"(["Text" "*.txt" "Odd"])", R"("Odd")"},
        {R"(["Text" "*.txt" 'word "*.w"])", "'word"},
    };
    for (const Case& c : cases) {
        bool raised = false;
        try {
            call("request-file", std::string("none none ") + c.filter + " false false");
        } catch (const runtime::Throw&) {
            raised = runtime::last_error.id == err::script::invalid_arg;
        }
        stack::reset();
        EXPECT_TRUE(raised) << c.filter;
        EXPECT_EQ(raised_argument, c.named) << c.filter;
    }
    EXPECT_TRUE(headless->file_requests().empty());
}

TEST_F(GuiDialogsTest, NameSplitsIntoFolderAndFile) {
    std::string here = io::current_dir();
    struct Case {
        const char* name;
        std::string folder, file;
    } cases[] = {
        {"%/tmp/data/report.txt", "/tmp/data", "report.txt"},
        {"%report.txt", "", "report.txt"},
        {"%sub/x.txt", here + "sub", "x.txt"},
        {"%/a.txt", "/", "a.txt"},
        {R"("/tmp/from string.txt")", "/tmp", "from string.txt"},
        {"%/tmp/dir/", "/tmp/dir", ""},
    };
    for (const Case& c : cases) {
        call("request-file", std::string("none ") + c.name + " none true false");
        EXPECT_EQ(last_file().folder, c.folder) << c.name;
        EXPECT_EQ(last_file().name, c.file) << c.name;
        EXPECT_EQ(last_file().kind, FileRequest::Kind::save);
    }
    call("request-file", R"("Pick one" 42 none false false)");
    EXPECT_EQ(last_file().title, "Pick one");
    EXPECT_EQ(last_file().name, "");
    EXPECT_EQ(last_file().kind, FileRequest::Kind::open);
}

TEST_F(GuiDialogsTest, NamesOfAnyLength) {
    std::string long_name(10000, 'n');
    call("request-file", "none %/tmp/" + long_name + " none false false");
    EXPECT_EQ(last_file().name, long_name);
    headless->script_file(FileRequest::Kind::open, std::vector<std::string>{"/tmp/" + long_name});
    EXPECT_EQ(call("request-file", "none none none false false").size(),
              std::string("%/tmp/").size() + long_name.size());
}

TEST_F(GuiDialogsTest, AnswersBecomeFiles) {
    using Kind = FileRequest::Kind;
    headless->script_file(Kind::open, std::vector<std::string>{"/tmp/a b.txt"});
    EXPECT_EQ(call("request-file", "none none none false false"), R"(%"/tmp/a b.txt")");
    // With /multi a block, also of one file; runs of "/" become one.
    headless->script_file(Kind::open, std::vector<std::string>{"/tmp//one.txt"});
    EXPECT_EQ(call("request-file", "none none none false true"), "[%/tmp/one.txt]");
    EXPECT_TRUE(last_file().multi);
    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i) many.push_back("/tmp/file-" + std::to_string(i));
    headless->script_file(Kind::open, many);
    call("request-file", "none none none false true");
    Cell* files = word::get_value(word::load("answer"));
    ASSERT_EQ(block::rs_length(*files), 2000);
    EXPECT_EQ(molded(block::rs_head(*files)[1999]), "%/tmp/file-1999");
    stack::reset();
    // Nothing scripted: a cancel.
    EXPECT_EQ(call("request-file", "none none none false true"), "none");
    headless->script_file(Kind::save, std::vector<std::string>{"/tmp/saved"});
    EXPECT_EQ(call("request-file", "none none none true false"), "%/tmp/saved");
}

TEST_F(GuiDialogsTest, FolderKeptOnlyBySuccessfulKeepCalls) {
    using Kind = FileRequest::Kind;
    headless->script_file(Kind::folder, std::vector<std::string>{"/tmp/first"});
    EXPECT_EQ(call("request-dir", "none %/start/ none true false"), "%/tmp/first/");
    EXPECT_EQ(last_file().kind, Kind::folder);
    call("request-dir", "none %/start/ none true false"); // cancelled
    EXPECT_EQ(last_file().folder, "/tmp/first/");
    headless->script_file(Kind::folder, std::vector<std::string>{"/tmp/second/"});
    EXPECT_EQ(call("request-dir", "none %/start/ none true false"), "%/tmp/second/");
    EXPECT_EQ(last_file().folder, "/tmp/first/");
    // Without /keep the dialog starts in `dir`, and keeps nothing.
    headless->script_file(Kind::folder, std::vector<std::string>{"/tmp/third"});
    call("request-dir", R"("Where" %/start/ none false false)");
    EXPECT_EQ(last_file().folder, "/start/");
    EXPECT_EQ(last_file().title, "Where");
    call("request-dir", "none %/start/ none true false");
    EXPECT_EQ(last_file().folder, "/tmp/second/");
}

TEST_F(GuiDialogsTest, FontAnswersFillTheFontObject) {
    run("font: make object! [name: none size: none style: 'underline]");
    // Cancelled: none, and the font as it was.
    EXPECT_EQ(call("request-font", "font none false"), "none");
    EXPECT_EQ(run("font/style"), "underline");
    EXPECT_EQ(headless->font_requests().back().family, "Courier New");
    EXPECT_EQ(headless->font_requests().back().points, 11);

    struct Case {
        FontAnswer answer;
        const char* size;
        const char* style;
    } cases[] = {
        {{"DejaVu Sans", 10.5, 400, false}, "10", "underline"}, // regular: style left
        {{"DejaVu Sans", 12, 600, false}, "12", "bold"},
        {{"DejaVu Sans", 12, 500, true}, "12", "italic"},
        {{"DejaVu Sans Mono", 9, 900, true}, "9", "[bold italic]"},
        {{"Tiny", 0.4, 400, false}, "1", "[bold italic]"},
    };
    for (const Case& c : cases) {
        headless->script_font(c.answer);
        call("request-font", "font none true");
        EXPECT_EQ(run("same? answer font"), "true");
        EXPECT_TRUE(headless->font_requests().back().mono);
        EXPECT_EQ(run("font/name"), '"' + c.answer.family + '"');
        EXPECT_EQ(run("font/size"), c.size) << c.answer.points;
        EXPECT_EQ(run("font/style"), c.style) << c.answer.weight;
    }
    // The dialog starts from the selected font.
    run("chosen: make object! [name: \"Serif\" size: 14 style: [italic bold]]");
    call("request-font", "font chosen false");
    const FontRequest& r = headless->font_requests().back();
    EXPECT_EQ(r.family, "Serif");
    EXPECT_EQ(r.points, 14);
    EXPECT_EQ(r.weight, 700);
    EXPECT_TRUE(r.italic);
    EXPECT_FALSE(r.mono);
}

// A dialog the user answers later: meanwhile the owner's messages are
// dispatched and its input is off.
class LateBackend : public HeadlessBackend {
  public:
    void open_file_dialog(const FileRequest&, HWnd owner, FileDone done) override {
        owner_enabled_while_open = is_enabled(owner);
        pending = std::move(done);
        post_message(owner, WM_USER + 7, 0, 0);
    }
    bool wait(double timeout_ms) override {
        if (pending) std::exchange(pending, nullptr)(std::vector<std::string>{"/tmp/late"});
        return HeadlessBackend::wait(timeout_ms);
    }
    bool owner_enabled_while_open = true;
    FileDone pending;
};

std::vector<uint32_t> owner_messages;
int64_t owner_proc(HWnd w, uint32_t message, uint64_t wparam, int64_t lparam) {
    owner_messages.push_back(message);
    return def_window_proc(w, message, wparam, lparam);
}

TEST_F(GuiDialogsTest, OwnerKeepsItsMessagesButNotItsInput) {
    auto owned = std::make_unique<LateBackend>();
    LateBackend& late = *owned;
    layer_start(std::move(owned));
    register_class({"Owner", owner_proc, 0, 0});
    HWnd owner = create_window("Owner", "", WS_VISIBLE, {0, 0, 100, 100}, 0, 0);
    set_active_window(owner);
    set_capture(owner);
    owner_messages.clear();
    EXPECT_EQ(call("request-file", "none none none false false"), "%/tmp/late");
    EXPECT_FALSE(late.owner_enabled_while_open);
    EXPECT_TRUE(is_enabled(owner));
    EXPECT_EQ(get_capture(), 0u);
    EXPECT_NE(std::find(owner_messages.begin(), owner_messages.end(), WM_USER + 7),
              owner_messages.end());
}

// A dialog that answers while the layer moves the backend's events in
// (GTK's closes from an idle callback that a peek may run): nothing is
// left to end a wait after that.
class PumpedBackend : public HeadlessBackend {
  public:
    void open_file_dialog(const FileRequest&, HWnd, FileDone done) override {
        pending = std::move(done);
    }
    void pump() override {
        if (pending) std::exchange(pending, nullptr)(std::vector<std::string>{"/tmp/pumped"});
    }
    bool wait(double timeout_ms) override {
        ++waits;
        return HeadlessBackend::wait(timeout_ms);
    }
    FileDone pending;
    int waits = 0;
};

TEST_F(GuiDialogsTest, AnswerMovedInWithTheEventsEndsTheRequestWithoutWaiting) {
    auto owned = std::make_unique<PumpedBackend>();
    PumpedBackend& pumped = *owned;
    layer_start(std::move(owned));
    EXPECT_EQ(call("request-file", "none none none false false"), "%/tmp/pumped");
    EXPECT_EQ(pumped.waits, 0);
}

} // namespace
