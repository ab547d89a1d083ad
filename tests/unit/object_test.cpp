#include "object_fixture.h"

using namespace kiv;
using namespace kiv::testing;

namespace {

TEST_F(ObjectTest, MakeFromBlockSetsFieldsAndAFreshClass) {
    Cell object = make_object(blk({sw("a"), int_cell(1), sw("b"), str("x")}));
    EXPECT_EQ(cell::type_of(object), TYPE_OBJECT);
    EXPECT_GT(object.w2, object::first_run_class);
    EXPECT_EQ(object::words_count(object), 2u);
    EXPECT_EQ(field(object, "a")->w2, 1u);
    EXPECT_EQ(field(object, "B")->header, uint32_t(TYPE_STRING)) << "fields ignore case";
    // The set marks of the evaluation are cleared.
    for (uint32_t i = 0; i < 2; ++i)
        EXPECT_FALSE(context::word_at(object.w1, i)->header & context::flag::set_mark);
    EXPECT_EQ(context::self_of(object.w1).w2, object.w2) << "self cell holds the object";
    EXPECT_EQ(molded_text(object), "make object! [\n    a: 1\n    b: \"x\"\n]");
    EXPECT_EQ(molded_text(object, false, true), "make object! [a: 1 b: \"x\"]");
    EXPECT_EQ(formed_text(object), "a: 1\nb: \"x\"");

    Cell empty = make_object(blk({}));
    EXPECT_EQ(object::words_count(empty), 0u);
    EXPECT_GT(empty.w2, object.w2);
}

TEST_F(ObjectTest, MakeFromPrototypeCopiesSeriesAndKeepsTheClass) {
    Cell proto =
        make_object(blk({sw("a"), int_cell(1), sw("s"), str("text"), sw("b"), blk({w("a")})}));
    struct Case {
        Cell spec;
        bool same_class;
    } cases[] = {
        {blk({}), true},
        {blk({sw("a"), int_cell(5)}), true},
        {blk({sw("c"), int_cell(3)}), false},
    };
    for (Case& c : cases) {
        Cell made = make(TYPE_OBJECT, proto, c.spec);
        EXPECT_EQ(made.w2 == proto.w2, c.same_class) << molded_text(made);
        EXPECT_NE(field(made, "s")->w2, field(proto, "s")->w2) << "string copied, not shared";
        Cell inner = *field(made, "b");
        EXPECT_NE(inner.w2, field(proto, "b")->w2);
        EXPECT_EQ(block::rs_head(inner)[0].w1, made.w1) << "copied block bound to the new object";
    }
    EXPECT_EQ(field(proto, "a")->w2, 1u);
}

TEST_F(ObjectTest, MakeRefusesOtherSpecs) {
    Cell spec = int_cell(3);
    EXPECT_EQ(error_of([&] { make_object(spec); }),
              (runtime::ErrorSite{runtime::Category::syntax, err::syntax::malconstruct}));
}

TEST_F(ObjectTest, CopyRebindsFunctionsAndCopiesSeries) {
    Cell body = blk({w("a")});
    Cell f = function(blk({w("x")}), &body);
    Cell proto = make_object(blk({sw("a"), int_cell(1), sw("s"), str("text")}));
    context::put_value(proto.w1, w("f"), f);

    static std::vector<NodeId> rebound;
    rebound.clear();
    object::hooks.rebind_function = [](Cell& fn, NodeId ctx) {
        rebound.push_back(ctx);
        fn.w3 = 0; // marks the re-created function
    };
    auto copy = datatype::get<Slot::copy>(TYPE_OBJECT);
    Cell out;
    Cell source = proto;
    copy(&source, &out, nullptr, true, nullptr);
    stack::push(out);
    ASSERT_EQ(rebound.size(), 1u);
    EXPECT_EQ(rebound[0], out.w1);
    EXPECT_EQ(field(out, "f")->w3, 0u);
    EXPECT_NE(field(proto, "f")->w3, 0u) << "the prototype keeps its function";
    EXPECT_NE(field(out, "s")->w2, field(proto, "s")->w2);

    Cell shallow;
    copy(&source, &shallow, nullptr, false, nullptr);
    stack::push(shallow);
    EXPECT_EQ(field(shallow, "s")->w2, field(proto, "s")->w2) << "shallow copy shares series";

    Cell part = int_cell(1);
    EXPECT_EQ(error_of([&] { copy(&source, &out, &part, false, nullptr); }),
              script(err::script::invalid_refine_arg));

    context::put_value(proto.w1, w("g"), function(blk({}), nullptr));
    EXPECT_EQ(error_of([&] { copy(&source, &out, nullptr, false, nullptr); }),
              script(err::script::bad_func_def));
}

TEST_F(ObjectTest, DeepCopyInsideAWalkOfTheSameObjectIsRefused) {
    Cell object = make_object(blk({sw("a"), int_cell(1)}));
    *field(object, "a") = blk({object});
    auto copy = datatype::get<Slot::copy>(TYPE_OBJECT);
    Cell out;
    // Objects inside blocks are not copied, so this copy ends.
    copy(&object, &out, nullptr, true, nullptr);
    stack::push(out);
    EXPECT_NE(out.w1, object.w1);
    EXPECT_EQ(block::rs_head(*field(out, "a"))[0].w1, object.w1);
    // A deep copy started while the object is being walked is refused,
    // and the walk's stack is emptied.
    cycles::push(object.w1);
    EXPECT_EQ(error_of([&] { copy(&object, &out, nullptr, true, nullptr); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::no_cycle}));
    EXPECT_EQ(cycles::depth(), 0u);
}

TEST_F(ObjectTest, PathsGetAndSetFields) {
    Cell object = make_object(blk({sw("a"), int_cell(1), sw("b"), int_cell(2)}));
    Cell path = blk({w("o"), w("a")});
    auto eval = [&](Cell element, Cell* value, bool get, bool last) {
        Cell parent = object;
        return *object::eval_path(&parent, &element, value, &path, nullptr, nullptr, 1, false, get,
                                  last, false);
    };
    EXPECT_EQ(eval(w("b"), nullptr, false, true).w2, 2u);
    Cell seven = int_cell(7);
    EXPECT_EQ(eval(w("a", TYPE_SET_WORD), &seven, false, true).w2, 7u);
    EXPECT_EQ(field(object, "a")->w2, 7u);
    EXPECT_EQ(cell::type_of(eval(w("zz"), nullptr, true, true)), TYPE_UNSET);

    struct Case {
        Cell element;
        bool last;
        uint32_t id;
    } cases[] = {
        {w("zz"), true, err::script::invalid_path},
        {w("zz"), false, err::script::unset_path},
        {int_cell(1), true, err::script::invalid_path},
    };
    for (const Case& c : cases)
        EXPECT_EQ(error_of([&] { eval(c.element, nullptr, false, c.last); }), script(c.id));
}

TEST_F(ObjectTest, OnChangeIsCalledWithTheFieldWordBoundToTheObject) {
    Cell handler = function(handler_spec(), nullptr);
    Cell object = make_object(blk({sw("a"), int_cell(1), sw("on-change*"), handler}));
    ASSERT_NE(object.w3, 0u) << "handler record installed";

    // A set-path with a word bound elsewhere.
    Cell path = blk({w("o"), w("a")});
    Cell element = w("a");
    Cell parent = object;
    Cell five = int_cell(5);
    object::eval_path(&parent, &element, &five, &path, nullptr, nullptr, 1, false, false, true,
                      false);
    // A set through a word bound to the object.
    Cell word{TYPE_WORD, object.w1, symbol::intern("a"),
              uint32_t(context::find_word(object.w1, symbol::intern("a"), true))};
    word::set(word, int_cell(6));

    ASSERT_EQ(handler_calls.size(), 2u);
    for (const HandlerCall& call : handler_calls) {
        EXPECT_EQ(call.word, "a");
        EXPECT_EQ(call.word_context, object.w1);
        EXPECT_EQ(call.arguments, 6u) << "three arguments and three local slots";
    }
    EXPECT_EQ(handler_calls[0].old_value.w2, 1u);
    EXPECT_EQ(handler_calls[0].new_value.w2, 5u);
    EXPECT_EQ(handler_calls[1].old_value.w2, 5u);
    EXPECT_EQ(handler_calls[1].new_value.w2, 6u);

    // A new handler with another /local section is picked up.
    Cell shorter = function(blk({w("word"), w("old"), w("new")}), nullptr);
    *field(object, "on-change*") = shorter;
    word::set(word, int_cell(8));
    EXPECT_EQ(handler_calls.back().arguments, 3u);

    *field(object, "on-change*") = int_cell(0);
    EXPECT_EQ(error_of([&] { word::set(word, int_cell(9)); }),
              script(err::script::invalid_obj_evt));
}

TEST_F(ObjectTest, HandlerFieldsMustHoldFunctions) {
    EXPECT_EQ(error_of([&] {
                  make_object(blk({sw("on-change*"), int_cell(1)}));
              }),
              script(err::script::bad_field_set));
}

TEST_F(ObjectTest, HandlersShowOnlyInMoldAll) {
    Cell handler = function(blk({w("word"), w("old"), w("new")}), nullptr);
    Cell object = make_object(blk({sw("a"), int_cell(1), sw("on-change*"), handler}));
    EXPECT_EQ(formed_text(object), "a: 1");
    EXPECT_EQ(molded_text(object, false, true), "make object! [a: 1]");
    EXPECT_NE(molded_text(object, true, true).find("on-change*: "), std::string::npos);
}

TEST_F(ObjectTest, Reflect) {
    Cell object = make_object(blk({sw("a"), w("x", TYPE_LIT_WORD), sw("b"), int_cell(2)}));
    auto reflect = [&](const char* name) {
        Cell* value = stack::push(object); // the result stays on the stack
        return *datatype::get<Slot::reflect>(TYPE_OBJECT)(value, symbol::intern(name));
    };
    EXPECT_EQ(molded_text(reflect("words")), "[a b]");
    EXPECT_EQ(molded_text(reflect("values")), "[x 2]");
    EXPECT_EQ(molded_text(reflect("body")), "[\n    a: 'x\n    b: 2\n]");
    EXPECT_EQ(reflect("class").w2, object.w2);
    EXPECT_EQ(reflect("events?").w1, 0u);
    Cell words = reflect("words");
    EXPECT_EQ(block::rs_head(words)[0].w1, object.w1) << "words bound to the object";
    EXPECT_EQ(error_of([&] { reflect("spec"); }),
              (runtime::ErrorSite{runtime::Category::internal, err::internal::not_done}));
}

TEST_F(ObjectTest, Compare) {
    Cell a = make_object(blk({sw("a"), int_cell(1)}));
    Cell same = make_object(blk({sw("a"), int_cell(1)}));
    Cell other = make_object(blk({sw("a"), int_cell(2)}));
    Cell more = make_object(blk({sw("a"), int_cell(0), sw("b"), int_cell(0)}));
    EXPECT_EQ(compare(a, a, 9), 0);
    EXPECT_EQ(compare(a, same, 0), 0);
    EXPECT_EQ(compare(a, same, 9), -1) << "sameness needs the same context";
    EXPECT_NE(compare(a, other, 0), 0);
    EXPECT_EQ(compare(more, a, 0), 1);
    EXPECT_EQ(compare(a, more, 0), -1);
    EXPECT_EQ(compare(a, int_cell(1), 0), -2);
}

TEST_F(ObjectTest, MoldOfAnObjectInsideItselfStops) {
    Cell object = make_object(blk({sw("me"), int_cell(0)}));
    *field(object, "me") = object;
    EXPECT_EQ(molded_text(object, false, true), "make object! [me: ...]");
}

} // namespace
