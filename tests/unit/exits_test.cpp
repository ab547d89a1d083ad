#include <gtest/gtest.h>

#include "catalog.h"

#include "datatypes/error.h"
#include "datatypes/object.h"
#include "flow_fixture.h"

namespace kiv::testing {
namespace {

struct Case {
    const char* source;
    const char* expected;
};

class CatchTest : public FlowTest {};

TEST_F(CatchTest, NamedAndUnnamedThrows) {
    run("f: make function! [[] [throw 8]] "
        "g: make function! [[] [catch [return 9] 1]]");
    const Case cases[] = {
        {"catch [throw 1]", "1"},
        {"catch [1 + 1]", "2"},
        {"1 + catch [throw 2]", "3"},
        {"catch/name [throw/name 2 'a] 'a", "2"},
        {"catch [catch/name [throw 3] 'a 0]", "3"},
        {"catch/name [throw/name 4 'B] [a b]", "4"},
        {"catch/name [throw/name 4 'b] 'B", "4"},
        {"catch/name [catch/name [throw/name 5 'a] 'b 6] 'a", "5"},
        {"catch/name [catch/name [throw/name 5 'a] [b c] 6] 'a", "5"},
        {"catch [(catch [throw 6]) + 1]", "7"},
        {"catch [loop 3 [forever [throw 7]]]", "7"},
        {"catch [f]", "8"},
        {"g", "9"},
        {"loop 2 [catch [break/return 3] 4]", "3"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.source), c.expected) << c.source;
}

TEST_F(CatchTest, Errors) {
    EXPECT_EQ(error_of("throw 1"), int32_t(err::throw_::throw_));
    EXPECT_EQ(error_of("catch/name [throw/name 1 'a] 'b"), int32_t(err::throw_::throw_));
    EXPECT_EQ(error_of("catch/name [throw/name 1 'a] [1 a]"),
              int32_t(err::script::invalid_refine_arg));
    EXPECT_EQ(error_of("catch/name [throw 1] 'a"), int32_t(err::throw_::throw_));
    // The names are looked at only up to the first match.
    EXPECT_EQ(run("catch/name [throw/name 1 'a] [a 1]"), "1");
    EXPECT_EQ(run("catch/name [2] [1 a]"), "2");
}

// Asks for the halt, as Ctrl-C at the console does.
void interrupt(bool, const int32_t*) {
    stack::interrupt(true);
}

// The halt an interrupt asks for comes at the next check, wherever the
// evaluation stands, and travels as `throw/name 'halt-request 'console`.
TEST_F(CatchTest, InterruptHaltsAtTheNextCheck) {
    natives::register_native(97, interrupt, {0, 0});
    run("interrupt: make native! [[] 97] f: make function! [[] [f]]");
    const Case cases[] = {
        {"catch/name [interrupt forever []] 'console", "halt-request"},
        {"catch/name [interrupt loop 3 [] 5] 'console", "halt-request"},
        {"catch/name [interrupt f] 'console", "halt-request"},
        {"catch/name [loop 2 [try [interrupt forever []]]] 'console", "halt-request"},
        {"catch/name [catch/name [interrupt forever []] 'other 1] 'console", "halt-request"},
        {"catch [interrupt forever []]", "halt-request"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(c.source), c.expected) << c.source;
        stack::clear_interrupt();
        EXPECT_EQ(run("catch/name [loop 3 [1] 2] 'console"), "2") << "after " << c.source;
    }
    EXPECT_EQ(error_of("interrupt forever []"), int32_t(err::throw_::throw_));
    stack::clear_interrupt();
}

// In a session, a halt asked for where no catch could take it waits: the
// code goes on, and the next catch that takes it is halted at once.
TEST_F(CatchTest, InterruptWithoutCatchWaitsInASession) {
    natives::register_native(97, interrupt, {0, 0});
    run("interrupt: make native! [[] 97]");
    struct Session {
        Session() { natives::halts_wait = true; }
        ~Session() {
            natives::halts_wait = false;
            stack::clear_interrupt();
        }
    } session;
    EXPECT_EQ(run("interrupt x: 3 loop 2 [x: 4] x"), "4");
    EXPECT_EQ(run("catch/name [catch/name [forever []] 'other] 'console"), "halt-request");
    EXPECT_EQ(run("catch/name [loop 3 [1] 2] 'console"), "2");
    EXPECT_EQ(run("interrupt catch [forever []]"), "halt-request");
}

// Compiled try regions: their own protected region, then check-try.
void checked_try(bool, const int32_t*) {
    Cell block = *stack::state.base;
    Cell* base = stack::state.base;
    stack::Frame* ctop = stack::state.ctop;
    stack::mark_try(words::word<"try">());
    runtime::protected_region(
        runtime::code::error,
        [&] {
            interpreter::eval(block, true);
            stack::unwind_last();
        },
        [&](uint32_t) {
            stack::state.base = base;
            stack::state.ctop = ctop;
            natives::check_try(false);
        });
}

// Keeps its argument for the test to look at.
Cell* remembered = nullptr;
void remember(bool, const int32_t*) {
    *remembered = *stack::state.base;
}

// try with the error catalog, so that errors are error! values. An error
// that no try stops ends the process, so every case runs inside one.
class TryTest : public FlowTest {
  protected:
    void SetUp() override {
        FlowTest::SetUp();
        object::init();
        error::init();
        ASSERT_TRUE(testing::load_library_catalog());
        natives::register_native(99, checked_try, {1, 0});
        Cell name = word::load("error!");
        Cell type;
        datatype::make_at(type, TYPE_ERROR);
        word::set(name, type);
        natives::register_native(98, remember, {1, 0});
        remembered = &*outcome_;
        run("checked: make native! [[block [block!]] 99] "
            "remember: make native! [[value [any-type! error!]] 98]");
    }
    void TearDown() override {
        stack::hooks = {};
        error::set_catalog(Cell{TYPE_NONE, 0, 0, 0});
        FlowTest::TearDown();
    }

    // The id of the error! the text evaluates to, else its molded value.
    std::string outcome(const std::string& text) {
        run("remember (" + text + ")");
        if (cell::type_of(*outcome_) != TYPE_ERROR) return molded(*outcome_);
        return "error " + molded(Cell{TYPE_WORD, 0, error::get_id(*outcome_), uint32_t(-1)});
    }
    Rooted<Cell> outcome_;
};

TEST_F(TryTest, EveryExitKind) {
    run("f: make function! [[] [try [return 1] 2]] "
        "g: make function! [[] [try/all [return 1] 2]] "
        "h: make function! [[] [try [exit] 2]] "
        "k: make function! [[x] [divide x 0]] "
        "m: make function! [[y] [y]]");
    const Case cases[] = {
        {"try [1 + 1]", "2"},
        {"try [divide 1 0]", "error zero-divide"},
        {"try [loop 3 [divide 1 0]]", "error zero-divide"},
        {"1 + try [2]", "3"},
        {"try [k 1]", "error zero-divide"},
        {"try [k 1] m 5", "5"},
        {"try [throw 5]", "error throw"},
        {"catch [try [throw 6] 0]", "6"},
        {"catch [try/all [throw 6] 0]", "0"},
        {"try/all [throw 6]", "error throw"},
        {"loop 2 [try [break/return 3] 4]", "3"},
        {"loop 1 [try/all [break/return 3]]", "error break"},
        {"n: 0 loop 3 [n: n + 1 try [continue] n: 10] n", "3"},
        {"n: 0 loop 3 [n: n + 1 try/all [continue] n: n + 10] n", "33"},
        {"try/all [break]", "error break"},
        {"f", "1"},
        {"g", "2"},
        {"h", "unset"},
        {"try [catch/name [throw/name 1 'a] 'b]", "error throw"},
        {"try [try [divide 1 0] divide 2 0]", "error zero-divide"},
        {"try/keep [divide 1 0]", "error zero-divide"},
        {"try [while [break] [1]]", "error while-cond"},
        {"try [return 1]", "error return"},
        {"checked [divide 1 0]", "error zero-divide"},
        {"checked [3]", "3"},
        {"try [checked [throw 1] 5]", "error throw"},
    };
    for (const Case& c : cases) EXPECT_EQ(outcome(c.source), c.expected) << c.source;
}

} // namespace
} // namespace kiv::testing
