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
    Cell body = blk({w("a"), w("x")});
    Cell f = function(blk({w("x")}), &body);
    Cell proto = make_object(blk({sw("a"), int_cell(1), sw("s"), str("text")}));
    context::put_value(proto.w1, w("f"), f);

    auto copy = datatype::get<Slot::copy>(TYPE_OBJECT);
    Cell* out = stack::push(Cell{cell::unset_header, 0, 0, 0});
    Cell source = proto;
    copy(&source, out, nullptr, true, nullptr);
    Cell made = *field(*out, "f");
    ASSERT_EQ(cell::type_of(made), TYPE_FUNCTION);
    EXPECT_NE(made.w1, f.w1) << "a context of its own";
    EXPECT_EQ(made.w2, f.w2) << "the same spec";
    Cell new_body = *extras::at(made, extras::body);
    EXPECT_EQ(block::rs_head(new_body)[0].w1, out->w1) << "body bound to the copy";
    EXPECT_EQ(block::rs_head(new_body)[1].w1, made.w1) << "arguments bound to the new context";
    EXPECT_EQ(cell::type_of(*extras::at(made, extras::code)), TYPE_UNSET);
    Cell old_body = *extras::at(*field(proto, "f"), extras::body);
    EXPECT_NE(block::rs_head(old_body)[0].w1, out->w1) << "the prototype's function is kept";
    EXPECT_NE(field(*out, "s")->w2, field(proto, "s")->w2);

    Cell* shallow = stack::push(Cell{cell::unset_header, 0, 0, 0});
    copy(&source, shallow, nullptr, false, nullptr);
    EXPECT_EQ(field(*shallow, "s")->w2, field(proto, "s")->w2) << "shallow copy shares series";
    EXPECT_NE(field(*shallow, "f")->w1, f.w1) << "functions are re-created by every copy";

    Cell part = int_cell(1);
    EXPECT_EQ(error_of([&] { copy(&source, shallow, &part, false, nullptr); }),
              script(err::script::invalid_refine_arg));

    context::put_value(proto.w1, w("g"), function(blk({}), nullptr));
    EXPECT_EQ(error_of([&] { copy(&source, shallow, nullptr, false, nullptr); }),
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

TEST_F(ObjectTest, SelectAndPut) {
    Cell handler = function(blk({w("word"), w("old"), w("new")}), nullptr);
    Cell object = make_object(blk({sw("a"), int_cell(1), sw("on-change*"), handler}));
    auto select = [&](Cell key) {
        Cell* result = stack::push(object);
        return *datatype::get<Slot::select>(TYPE_OBJECT)(result, &key, nullptr, false, false, false,
                                                         false, nullptr, nullptr, false, false);
    };
    EXPECT_EQ(select(w("a", TYPE_LIT_WORD)).w2, 1u);
    EXPECT_EQ(cell::type_of(select(w("nope"))), TYPE_NONE);
    EXPECT_EQ(error_of([&] { select(int_cell(1)); }), script(err::script::invalid_type));

    auto put = datatype::get<Slot::put>(TYPE_OBJECT);
    Cell target = object, key = w("a"), value = int_cell(4);
    EXPECT_EQ(put(&target, &key, &value, false)->w2, 4u);
    EXPECT_EQ(field(object, "a")->w2, 4u);
    ASSERT_EQ(handler_calls.size(), 1u) << "put notifies like a set-path";
    Cell bad = w("a", TYPE_SET_WORD);
    EXPECT_EQ(error_of([&] { put(&target, &bad, &value, false); }),
              script(err::script::invalid_key_type));
}

TEST_F(ObjectTest, SetValuesFromBlocksObjectsAndSingleValues) {
    Cell object =
        make_object(blk({sw("a"), int_cell(1), sw("b"), int_cell(2), sw("c"), int_cell(3)}));
    auto values = [&] { return molded_text(object, false, true); };
    Cell none{TYPE_NONE, 0, 0, 0};

    object::set_values(object, blk({int_cell(7), int_cell(8)}), false, false, false);
    EXPECT_EQ(values(), "make object! [a: 7 b: 8 c: none]");
    object::set_values(object, blk({none, int_cell(9)}), false, false, true);
    EXPECT_EQ(values(), "make object! [a: 7 b: 9 c: none]") << "/some skips none";
    object::set_values(object, int_cell(0), false, false, false);
    EXPECT_EQ(values(), "make object! [a: 0 b: 0 c: 0]");
    Cell pair = blk({int_cell(1), int_cell(2)});
    object::set_values(object, pair, false, true, false);
    EXPECT_EQ(values(), "make object! [a: [1 2] b: [1 2] c: [1 2]]") << "/only";

    Cell source = make_object(blk({sw("c"), int_cell(30), sw("z"), int_cell(0)}));
    object::set_values(object, source, false, false, false);
    EXPECT_EQ(values(), "make object! [a: [1 2] b: [1 2] c: 30]");
    EXPECT_TRUE(context::word_at(object.w1, 2)->header & context::flag::set_mark);

    Cell with_unset = blk({Cell{cell::unset_header, 0, 0, 0}});
    EXPECT_EQ(error_of([&] { object::set_values(object, with_unset, false, false, false); }),
              script(err::script::need_value));
    object::set_values(object, with_unset, true, false, false);
    EXPECT_EQ(cell::type_of(*field(object, "a")), TYPE_UNSET) << "/any";
}

TEST_F(ObjectTest, SetValuesNotifiesExceptForTheHandlerFields) {
    Cell handler = function(blk({w("word"), w("old"), w("new")}), nullptr);
    Cell object = make_object(blk({sw("a"), int_cell(1), sw("on-change*"), handler}));
    Cell source = make_object(blk({sw("a"), int_cell(5)}));
    object::set_values(object, source, false, false, false);
    ASSERT_EQ(handler_calls.size(), 1u);
    EXPECT_EQ(handler_calls[0].word(), "a");
    EXPECT_EQ(handler_calls[0].new_value().w2, 5u);
}

TEST_F(ObjectTest, Construct) {
    Cell spec = blk({sw("a"), sw("b"), w("yes"), sw("c"), w("none"), sw("d"), w("other"), sw("e")});
    Cell made = *object::construct(spec, nullptr, false);
    EXPECT_EQ(molded_text(made, false, true),
              "make object! [a: true b: true c: none d: 'other e: none]");
    EXPECT_GT(made.w2, object::first_run_class);
    Cell only = *object::construct(spec, nullptr, true);
    EXPECT_EQ(molded_text(only, false, true),
              "make object! [a: 'yes b: 'yes c: 'none d: 'other e: none]");

    Cell extended = *object::construct(blk({sw("z"), int_cell(1)}), &made, false);
    EXPECT_EQ(extended.w2, made.w2) << "the class stays the prototype's";
    EXPECT_EQ(object::words_count(extended), 6u);
    EXPECT_EQ(object::words_count(made), 5u);
}

TEST_F(ObjectTest, ClassTests) {
    Cell inner = make_object(blk({sw("x"), int_cell(1)}));
    Cell outer = make_object(blk({sw("in"), int_cell(0), sw("n"), int_cell(0)}));
    *field(outer, "in") = inner;
    EXPECT_TRUE(object::field_is_object(outer.w1, 0, inner.w2));
    EXPECT_FALSE(object::field_is_object(outer.w1, 0, inner.w2 + 1));
    EXPECT_FALSE(object::field_is_object(outer.w1, 1, inner.w2));
    Cell word{TYPE_WORD, outer.w1, symbol::intern("in"), 0};
    EXPECT_TRUE(object::word_is_object(word, outer.w1, inner.w2));
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
        EXPECT_EQ(call.word(), "a");
        EXPECT_EQ(call.frame[0].w1, object.w1);
        ASSERT_EQ(call.frame.size(), 6u) << "three arguments and three local slots";
        EXPECT_EQ(molded_text(call.frame[3]), "false");
        EXPECT_EQ(molded_text(call.frame[5]), "none");
    }
    EXPECT_EQ(handler_calls[0].old_value().w2, 1u);
    EXPECT_EQ(handler_calls[0].new_value().w2, 5u);
    EXPECT_EQ(handler_calls[1].old_value().w2, 5u);
    EXPECT_EQ(handler_calls[1].new_value().w2, 6u);

    // A new handler with another /local section is picked up.
    Cell shorter = function(blk({w("word"), w("old"), w("new")}), nullptr);
    *field(object, "on-change*") = shorter;
    word::set(word, int_cell(8));
    EXPECT_EQ(handler_calls.back().frame.size(), 3u);

    *field(object, "on-change*") = int_cell(0);
    EXPECT_EQ(error_of([&] { word::set(word, int_cell(9)); }),
              script(err::script::invalid_obj_evt));
}

TEST_F(ObjectTest, OnDeepChangeReceivesTheSevenArguments) {
    Cell handler = function(
        blk({w("owner"), w("word"), w("target"), w("action"), w("new"), w("index"), w("part")}),
        nullptr);
    Cell object = make_object(blk({sw("items"), blk({}), sw("on-deep-change*"), handler}));
    Cell word = w("items"), target = *field(object, "items"), action = w("append");
    object::fire_on_deep_change(object, word, target, action, nullptr, 2, 1);
    ASSERT_EQ(handler_calls.size(), 1u);
    const std::vector<Cell>& frame = handler_calls[0].frame;
    ASSERT_EQ(frame.size(), 7u);
    EXPECT_EQ(frame[0].w1, object.w1);
    EXPECT_EQ(symbol::c_name(frame[3].w2), std::string("append"));
    EXPECT_EQ(cell::type_of(frame[4]), TYPE_NONE) << "no new value";
    EXPECT_EQ(frame[5].w2, 2u);
    EXPECT_EQ(frame[6].w2, 1u);

    *field(object, "on-deep-change*") = int_cell(0);
    object::fire_on_deep_change(object, word, target, action, nullptr, 0, 0);
    EXPECT_EQ(handler_calls.size(), 1u) << "a field that holds no function is passed over";

    Cell plain = make_object(blk({sw("a"), int_cell(1)}));
    EXPECT_EQ(
        error_of([&] { object::fire_on_deep_change(plain, word, target, action, nullptr, 0, 0); }),
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

TEST_F(ObjectTest, FieldNamesMoldWhileTheOutputGrowsAndCollects) {
    // The output is made before the name, so the buffers its growth
    // abandons lie below the name, and compaction slides the name down
    // while it is being copied; the gaps left are poisoned.
    Rooted<Cell> out(new_buffer());
    std::string name;
    for (char c = 'a'; c <= 'z'; ++c) name += std::string(12, c);
    Cell object = make_object(blk({sw(name.c_str()), int_cell(1)}));
    bool stress = collector::stress;
    collector::stress = memory::collect_always = true;
    datatype::get<Slot::mold>(TYPE_OBJECT)(&object, &*out, true, false, true, nullptr, 100000, 0);
    collector::stress = memory::collect_always = stress;
    EXPECT_EQ(text_of(*out), name + ": 1");
}

} // namespace
