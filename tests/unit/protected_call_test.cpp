// The protected call from C++ into Kiv code, on the bare stacks: what each
// mask stops and what it lets pass, the stacks put back exactly after
// whatever it stops, the exits that pass left on their targets, nesting,
// and an exit in flight waiting while a call runs.
#include <gtest/gtest.h>

#include <utility>

#include "runtime/errors.h"
#include "runtime/protected_call.h"
#include "runtime/stack.h"
#include "runtime/throw.h"
#include "tests/unit/bare_stack.h"
#include "tests/unit/fresh_globals.h"

using namespace kiv;

namespace {

constexpr uint32_t body = test::body_symbol, anon = test::anon_symbol;
using test::integer;
using test::word;
const Cell error_value{34, 1, 2, 3};

// What the called Kiv code does: each enters a function and a native of
// its own first, as an interpreted call would.
void enter_callee() {
    stack::mark_interp_func(word(21), 0);
    stack::push(integer(5));
    stack::mark_interp_native(word(22));
}
void end_normally() {
    enter_callee();
    stack::push(integer(42));
    stack::unwind();
    stack::unwind(); // the function's value, 5, is last
}
void raise_error() {
    enter_callee();
    stack::throw_error(error_value);
}
void break_out() {
    enter_callee();
    stack::push(integer(99));
    stack::throw_break(true, false);
}
void continue_out() {
    enter_callee();
    stack::throw_break(false, true);
}
void return_out() {
    enter_callee();
    stack::push(integer(99));
    stack::throw_exit(true, false);
}
void exit_out() {
    enter_callee();
    stack::throw_exit(false, false);
}
void throw_out() {
    enter_callee();
    stack::push(integer(99));
    stack::push(word(40));
    stack::throw_throw(runtime::code::thrw);
}
// A halt travels as a throw raised from wherever the evaluation stands.
void halt_out() {
    enter_callee();
    stack::throw_from_here(word(41), word(40));
}
// C++ code under the call throwing an exit's code with no stack moved.
void code_out() {
    enter_callee();
    runtime::throw_code(runtime::code::brk);
}
void quit_out() {
    enter_callee();
    throw runtime::Quit{3};
}

// Where an exit that passes the call lands.
enum class Landing { none, try_, catch_, function, loop };

class ProtectedCallTest : public ::testing::Test {
  protected:
    // Errors are raised without an error maker: an exit that try/all stops
    // leaves no error value.
    static void SetUpTestSuite() { saved_raiser = std::exchange(runtime::raiser, nullptr); }
    static void TearDownTestSuite() { runtime::raiser = saved_raiser; }
    static inline runtime::Raiser saved_raiser = nullptr;

    void SetUp() override {
        test::reset_globals();
        stack::init(body, anon);
        runtime::record.pending = 0;
        // The frames below the call: the target of every exit, a try
        // frame for the errors that pass, and the caller's own values.
        stack::mark_try(word(30));
        bases[size_t(Landing::try_)] = stack::state.base;
        stack::mark_catch(word(31));
        bases[size_t(Landing::catch_)] = stack::state.base;
        stack::mark_interp_func(word(32), 0);
        stack::set_frame_flag(true);
        bases[size_t(Landing::function)] = stack::state.base;
        stack::mark_loop(word(33));
        bases[size_t(Landing::loop)] = stack::state.base;
        stack::mark_interp_native(word(34));
        stack::push(integer(1));
        stack::push(integer(2));
        before = stack::state;
    }
    void TearDown() override { test::release_globals(); }

    // The stacks exactly as the call found them: pointers, the caller's
    // values and the frames below.
    void expect_as_before() {
        EXPECT_EQ(stack::state.base, before.base);
        EXPECT_EQ(stack::state.top, before.top);
        EXPECT_EQ(stack::state.ctop, before.ctop);
        EXPECT_EQ(runtime::record.pending, 0u);
        EXPECT_EQ(stack::state.base[0].w2, 1u);
        EXPECT_EQ(stack::state.base[1].w2, 2u);
        EXPECT_EQ(stack::frame_kind(stack::get_ctop()), stack::kind::native);
    }

    Cell* bases[5] = {};
    stack::State before;
};

struct Case {
    const char* name;
    uint32_t stop;
    void (*call)();
    // Stopped: the call answers false. Passing: `code` leaves it as an
    // exception (0: a quit), the stack landed on `landing`.
    enum { ended, stopped, passing } outcome;
    uint32_t code = 0;
    Landing landing = Landing::none;
};

using runtime::stops::errors;
using runtime::stops::everything;
using runtime::stops::nothing;
namespace code = runtime::code;

const Case cases[] = {
    {"value, nothing stopped", nothing, end_normally, Case::ended},
    {"value, errors stopped", errors, end_normally, Case::ended},
    {"value, everything stopped", everything, end_normally, Case::ended},

    {"error passes", nothing, raise_error, Case::passing, code::error, Landing::try_},
    {"break passes", nothing, break_out, Case::passing, code::brk, Landing::loop},
    {"continue passes", nothing, continue_out, Case::passing, code::cont, Landing::loop},
    {"return passes", nothing, return_out, Case::passing, code::ret, Landing::function},
    {"exit passes", nothing, exit_out, Case::passing, code::exit, Landing::function},
    {"throw passes", nothing, throw_out, Case::passing, code::thrw, Landing::catch_},
    {"halt passes", nothing, halt_out, Case::passing, code::thrw, Landing::catch_},
    {"quit passes", nothing, quit_out, Case::passing},
    {"a thrown code passes", nothing, code_out, Case::passing, code::brk},

    {"error stops", errors, raise_error, Case::stopped},
    {"break passes the try", errors, break_out, Case::passing, code::brk, Landing::loop},
    {"continue passes the try", errors, continue_out, Case::passing, code::cont, Landing::loop},
    {"return passes the try", errors, return_out, Case::passing, code::ret, Landing::function},
    {"exit passes the try", errors, exit_out, Case::passing, code::exit, Landing::function},
    {"throw passes the try", errors, throw_out, Case::passing, code::thrw, Landing::catch_},
    {"halt passes the try", errors, halt_out, Case::passing, code::thrw, Landing::catch_},
    {"quit passes the try", errors, quit_out, Case::passing},
    {"a thrown code passes the try", errors, code_out, Case::passing, code::brk},

    {"error stops at try/all", everything, raise_error, Case::stopped},
    {"break stops", everything, break_out, Case::stopped},
    {"continue stops", everything, continue_out, Case::stopped},
    {"return stops", everything, return_out, Case::stopped},
    {"exit stops", everything, exit_out, Case::stopped},
    {"throw stops", everything, throw_out, Case::stopped},
    {"halt stops", everything, halt_out, Case::stopped},
    {"a thrown code stops", everything, code_out, Case::stopped},
    {"quit passes try/all", everything, quit_out, Case::passing},
};

} // namespace

TEST_F(ProtectedCallTest, EachMaskStopsOrPassesEachWayOut) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        Cell taken{}, caught{};
        bool ended = false;
        uint32_t passed = UINT32_MAX;
        try {
            ended = runtime::protected_call(
                c.stop, c.call, [&] { taken = *stack::get_top(); }, &caught);
        } catch (const runtime::Throw& t) {
            passed = t.code;
        } catch (const runtime::Quit&) {
            passed = 0;
        }
        switch (c.outcome) {
        case Case::ended:
            EXPECT_TRUE(ended);
            EXPECT_EQ(taken.w2, 5u);
            expect_as_before();
            break;
        case Case::stopped:
            EXPECT_EQ(passed, UINT32_MAX);
            EXPECT_FALSE(ended);
            // An error hands its value back; an exit stopped by try/all
            // raised one with no value here (no error maker is set up).
            if (c.call == raise_error)
                EXPECT_EQ(caught.w1, error_value.w1);
            else
                EXPECT_EQ(cell::type_of(caught), uint32_t(TYPE_NONE));
            expect_as_before();
            break;
        case Case::passing:
            EXPECT_EQ(passed, c.code);
            if (c.landing == Landing::try_) {
                EXPECT_EQ(cell::type_of(*stack::get_top()), 34u);
            } else if (c.landing != Landing::none) {
                EXPECT_EQ(stack::state.base, bases[size_t(c.landing)]);
            }
            EXPECT_EQ(runtime::record.pending, 0u);
            break;
        }
    }
}

TEST_F(ProtectedCallTest, NestedCallsEachPutBackTheirOwnStacks) {
    // An inner call that stops nothing lets the error of a break with no
    // reachable loop pass; the outer call stops it.
    bool outer_ended = runtime::protected_call(everything, [] {
        stack::mark_interp_native(word(50));
        stack::push(integer(7));
        runtime::protected_call(nothing, break_out);
        ADD_FAILURE() << "the inner call let nothing pass";
    });
    EXPECT_FALSE(outer_ended);
    expect_as_before();

    // An inner call that stops the error gives the outer one back its
    // stacks, and the outer one ends normally.
    bool inner_ended = true;
    outer_ended = runtime::protected_call(nothing, [&] {
        stack::mark_interp_native(word(50));
        stack::push(integer(7));
        stack::State inner_before = stack::state;
        inner_ended = runtime::protected_call(errors, raise_error);
        EXPECT_EQ(stack::state.base, inner_before.base);
        EXPECT_EQ(stack::state.top, inner_before.top);
        EXPECT_EQ(stack::state.ctop, inner_before.ctop);
        EXPECT_EQ(stack::state.base[0].w2, 7u);
    });
    EXPECT_FALSE(inner_ended);
    EXPECT_TRUE(outer_ended);
    expect_as_before();
}

TEST_F(ProtectedCallTest, AnExitInFlightWaitsWhileACallRuns) {
    // A return has landed on the function frame: its value in slot 0 of a
    // frame otherwise empty.
    stack::state.base = stack::state.top = bases[size_t(Landing::function)];
    stack::state.ctop = before.ctop - 3;
    *stack::state.base = integer(77);
    runtime::record.pending = code::ret;
    const stack::State landed = stack::state;

    Cell taken{};
    EXPECT_TRUE(runtime::protected_call(nothing, end_normally, [&] { taken = *stack::get_top(); }));
    EXPECT_EQ(taken.w2, 5u);
    EXPECT_EQ(runtime::record.pending, code::ret);
    EXPECT_EQ(stack::state.base, landed.base);
    EXPECT_EQ(stack::state.top, landed.top);
    EXPECT_EQ(stack::state.ctop, landed.ctop);
    EXPECT_EQ(stack::state.base->w2, 77u);
}
