#include "evaluator/error_text.h"
#include "object_fixture.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

class ErrorTest : public ObjectTest {
  protected:
    void SetUp() override {
        ObjectTest::SetUp();
        load_catalog();
    }

    static Cell make_error(const Cell& spec) {
        Cell type;
        datatype::make_at(type, TYPE_ERROR);
        return *stack::push(make(TYPE_ERROR, type, spec));
    }
    static std::string name_of(const Cell& word) { return symbol::c_name(word.w2); }
    static const Cell* field(const Cell& e, error::Field f) { return error::field(e, f); }
    static runtime::ErrorSite site_of(const Cell& e) {
        int32_t code = integer::get(*field(e, error::code));
        uint32_t category = uint32_t(code / 100);
        return {runtime::Category(category), uint32_t(code % 100) + 2};
    }
};

TEST_F(ErrorTest, CatalogComesFromTheErrorsSource) {
    const Cell& errors = error::catalog();
    ASSERT_EQ(object::words_count(errors), 10u);
    EXPECT_EQ(name_of(*context::word_at(errors.w1, 3)), "script");
    Cell script = *object::find_word(errors, w("script"));
    EXPECT_EQ(name_of(*context::word_at(script.w1, err::script::not_defined)), "not-defined");
    EXPECT_EQ(name_of(*context::word_at(script.w1, err::script::kb_invalid_record)),
              "kb-invalid-record");
}

TEST_F(ErrorTest, MakeFromCodesBlocksAndStrings) {
    Cell from_code = make_error(int_cell(302));
    EXPECT_EQ(name_of(*field(from_code, error::type)), "script");
    EXPECT_EQ(name_of(*field(from_code, error::id)), "not-defined");
    EXPECT_EQ(integer::get(*field(from_code, error::code)), 302);
    EXPECT_EQ(from_code.w2, error::class_id);

    Cell from_block = make_error(blk({w("script"), w("not-defined")}));
    EXPECT_EQ(integer::get(*field(from_block, error::code)), 302);
    EXPECT_EQ(compare(from_block, from_code, 0), 0) << "same fields";

    Cell from_fields = make_error(
        blk({sw("type"), w("math", TYPE_LIT_WORD), sw("id"), w("zero-divide", TYPE_LIT_WORD)}));
    EXPECT_EQ(integer::get(*field(from_fields, error::code)), 400);

    Cell from_string = make_error(str("it broke"));
    EXPECT_EQ(integer::get(*field(from_string, error::code)), 800);
    EXPECT_EQ(name_of(*field(from_string, error::id)), "message");
    EXPECT_EQ(formed_text(from_string),
              "*** User Error: it broke\n*** Where: ???\n*** Near : none");
}

TEST_F(ErrorTest, MakeRefusesBadSpecs) {
    struct Case {
        std::function<Cell()> spec;
        runtime::ErrorSite want;
    } cases[] = {
        {[] { return int_cell(399); }, script(err::script::out_of_range)},
        {[] { return int_cell(-1); }, script(err::script::out_of_range)},
        {[] { return int_cell(1000); }, script(err::script::out_of_range)},
        {[] {
             return blk({w("scripted"), w("not-defined")});
         },
         script(err::script::invalid_spec_field)},
        {[] {
             return blk({w("script"), w("no-such-id")});
         },
         script(err::script::invalid_spec_field)},
        {[] {
             return blk({w("script"), w("code")});
         },
         script(err::script::invalid_spec_field)},
        {[] { return blk({w("script")}); }, script(err::script::invalid_spec_field)},
        {[] {
             return blk({w("script"), int_cell(3)});
         },
         script(err::script::invalid_arg)},
        {[] { return blk({int_cell(3)}); },
         {runtime::Category::internal, err::internal::invalid_error}},
        {[] { return char_cell('x'); }, script(err::script::bad_make_arg)},
    };
    for (const Case& c : cases) {
        Cell spec = c.spec();
        Cell e = raised([&] { make_error(spec); });
        ASSERT_EQ(cell::type_of(e), TYPE_ERROR) << molded_text(spec);
        EXPECT_EQ(site_of(e), c.want) << molded_text(spec);
    }
}

TEST_F(ErrorTest, FormLaysOutTheMessage) {
    std::string long_text(100, 'a');
    struct Case {
        uint32_t category, id;
        std::vector<Cell> args;
        std::string want;
    } cases[] = {
        {3, err::script::no_value, {w("foo")}, "Script Error: foo has no value"},
        {3, err::script::invalid_arg, {str("abc")}, "Script Error: invalid argument: \"abc\""},
        {3,
         err::script::expect_arg,
         {w("append"), int_cell(1), w("series")},
         "Script Error: append does not allow 1 for its series argument"},
        {2,
         err::syntax::invalid,
         {str("string"), str("abc"), str("x")},
         "Syntax Error: string invalid abc at x"},
        {4, err::math::zero_divide, {}, "Math Error: attempt to divide by zero"},
        {0, err::throw_::throw_, {int_cell(3)}, "Throw Error: no catch for throw: 3"},
        {9,
         err::internal::not_here,
         {w("view")},
         "Internal Error: view not supported on your system"},
    };
    for (Case& c : cases) {
        const Cell* a[3] = {nullptr, nullptr, nullptr};
        for (size_t i = 0; i < c.args.size(); ++i) a[i] = &c.args[i];
        Cell e = *error::create_at(c.category, c.id, a[0], a[1], a[2]);
        EXPECT_EQ(formed_text(e), "*** " + c.want + "\n*** Where: ???\n*** Near : none");
    }
}

TEST_F(ErrorTest, LongArgumentsAreCutAt80Characters) {
    Cell text = str(std::string(100, 'a'));
    Cell e = *error::create_at(3, err::script::invalid_arg, &text, nullptr, nullptr);
    std::string message = formed_text(e);
    std::string head = "*** Script Error: invalid argument: ";
    ASSERT_EQ(message.substr(0, head.size()), head);
    EXPECT_EQ(message.find('\n'), head.size() + 80);
}

TEST_F(ErrorTest, FormShowsWhereNearAndFiles) {
    Cell e = *error::create_at(4, err::math::overflow, nullptr, nullptr, nullptr);
    error::set_where(e, w("add"));
    error::set_where(e, w("ignored"));
    std::vector<Cell> near_cells;
    for (int i = 0; i < 30; ++i) near_cells.push_back(int_cell(i));
    Cell near = blk({});
    for (const Cell& c : near_cells) block::append_value(near, c);
    error::store_field(e, error::near, near);
    error::store_field(e, error::files, blk({str("a.kiv")}));
    EXPECT_EQ(formed_text(e), "*** Math Error: math or number overflow\n"
                              "*** Where: add\n"
                              "*** Near : 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16\n"
                              "*** Files: \"a.kiv\"");
}

TEST_F(ErrorTest, NearMoldsWhileTheOutputGrowsAndCollects) {
    // The output is made before the error, so the buffers its growth
    // abandons lie below the error's fields, and compaction slides them
    // down while `near` is being molded; the gaps left are poisoned. The
    // output starts at every length up to a few growths, so that one of
    // them grows while `near` is written.
    std::string message = "*** Math Error: math or number overflow\n*** Where: ???\n"
                          "*** Near : 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 1";
    for (size_t start = 0; start < 200; ++start) {
        Rooted<Cell> out(new_buffer());
        string::append_bytes(*out, reinterpret_cast<const uint8_t*>(std::string(start, '.').data()),
                             uint32_t(start));
        Rooted<Cell> e(*error::create_at(4, err::math::overflow, nullptr, nullptr, nullptr));
        Rooted<Cell> near(blk({}));
        for (int i = 1; i <= 30; ++i) block::append_value(*near, int_cell(i));
        error::store_field(*e, error::near, *near);
        bool stress = collector::stress;
        collector::stress = memory::collect_always = true;
        datatype::get<Slot::form>(TYPE_ERROR)(&*e, &*out, nullptr, 100000);
        collector::stress = memory::collect_always = stress;
        EXPECT_EQ(text_of(*out), std::string(start, '.') + message)
            << "output started at " << start;
    }
}

TEST_F(ErrorTest, FormOfAnErrorOutsideTheCatalogLeavesItUnchanged) {
    Cell e = make_error(int_cell(302));
    error::store_field(e, error::type, w("bogus"));
    EXPECT_EQ(formed_text(e), "*** Internal Error: invalid error object field value: bogus\n"
                              "*** Where: ???\n*** Near : none");
    EXPECT_EQ(name_of(*field(e, error::type)), "bogus");
    EXPECT_EQ(cell::type_of(*field(e, error::arg1)), TYPE_NONE);

    error::store_field(e, error::type, w("script"));
    error::store_field(e, error::id, w("nothing-like-it"));
    EXPECT_EQ(formed_text(e).substr(0, 64),
              "*** Internal Error: invalid error object field value: nothing-li");
    EXPECT_EQ(name_of(*field(e, error::id)), "nothing-like-it");
}

TEST_F(ErrorTest, MoldWritesTheFields) {
    Cell e = make_error(int_cell(400));
    EXPECT_EQ(molded_text(e, false, true).substr(0, 46),
              "make error! [code: 400 type: 'math id: 'zero-d");
}

TEST_F(ErrorTest, FireErrorThrowsTheErrorToTheTryFrame) {
    Cell name = w("foo");
    Cell e = raised([&] {
        stack::mark_native(w("append"));
        runtime::fire_error(runtime::Category::script, err::script::no_value, &name);
    });
    ASSERT_EQ(cell::type_of(e), TYPE_ERROR);
    EXPECT_EQ(runtime::last_error, script(err::script::no_value));
    EXPECT_EQ(name_of(*field(e, error::arg1)), "foo");
    EXPECT_EQ(name_of(*field(e, error::where)), "append");
    EXPECT_EQ(cell::type_of(*field(e, error::stack)), TYPE_INTEGER);
    EXPECT_EQ(formed_text(e).substr(0, 44), "*** Script Error: foo has no value\n*** Where");
}

} // namespace

TEST_F(ErrorTest, AnErrorNoTryCatchesIsShownAndEndsTheProcess) {
    ASSERT_EQ(stack::state.ctop, stack::state.cbottom);
    error_text::init();
    EXPECT_EXIT(runtime::fire_error(runtime::Category::math, err::math::zero_divide),
                ::testing::ExitedWithCode(254),
                "Kiv NoName App\n\\*\\*\\* Math Error: attempt to divide by zero");
}
