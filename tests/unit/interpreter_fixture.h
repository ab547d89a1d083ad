// Shared fixture of the language-level tests: a runtime with contexts,
// words, the callable datatypes, the lexer and the interpreter, the
// conditional natives, and `make`, arithmetic, comparison and the operators
// bound to their words. `run` loads and evaluates text and answers the
// molded result; `error_of` the id of the error it raises.
#pragma once

#include <string>

#include "callable_fixture.h"
#include "datatypes/dispatch.h"
#include "evaluator/conditionals.h"
#include "evaluator/interpreter.h"
#include "evaluator/lexer.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/throw.h"

namespace kiv::testing {

// lesser? until the comparison natives exist.
inline void lesser(bool, const int32_t*) {
    dispatch::compare_to_logic(3);
}

class InterpreterTest : public CallableTest {
  protected:
    void SetUp() override {
        CallableTest::SetUp();
        stack::init(words::word<"<body>">().w2, words::word<"<anon>">().w2);
        lexer::init();
        interpreter::init();
        runtime::record.pending = 0;
        struct Native {
            uint32_t index;
            natives::Entry entry;
            natives::Arity arity;
        };
        for (Native n : {Native{1, natives::if_, {2, 0}}, Native{2, natives::unless, {2, 0}},
                         Native{3, natives::either, {3, 0}}, Native{4, natives::any, {1, 0}},
                         Native{5, natives::all, {1, 0}}, Native{18, natives::switch_, {2, 1}},
                         Native{19, natives::case_, {1, 1}}, Native{28, lesser, {2, 0}}})
            natives::register_native(n.index, n.entry, n.arity);
        for (uint32_t type = 1; type <= datatype::highest_type(); ++type) {
            if (!datatype::name_of(type).name) continue;
            Cell name = word::load(datatype::name_of(type).name);
            Cell value;
            datatype::make_at(value, type);
            word::set(name, value);
        }
        // `make` comes first: everything else is made with it.
        std::string every_type;
        for (uint32_t type = 1; type <= datatype::highest_type(); ++type)
            if (datatype::name_of(type).name)
                every_type += std::string(" ") + datatype::name_of(type).name;
        Cell spec = read("type spec");
        native::push(TYPE_ACTION, spec, 1);
        Cell make = word::load("make");
        word::set(make, *stack::get_top());
        stack::reset();
        run("any-type!: make typeset! [" + every_type +
            "] "
            "add: make action! [[value1 value2] 11] "
            "subtract: make action! [[value1 value2] 18] "
            "multiply: make action! [[value1 value2] 13] "
            "lesser?: make native! [[value1 value2] 28] "
            "+: make op! :add -: make op! :subtract *: make op! :multiply <: make op! :lesser? "
            "none: make none! 0 true: make logic! 1 false: make logic! 0 "
            "if: make native! [[cond [any-type!] then-blk [block!]] 1] "
            "unless: make native! [[cond then-blk [block!]] 2] "
            "either: make native! [[cond [any-type!] true-blk [block!] false-blk [block!]] 3] "
            "any: make native! [[conds [block!]] 4] "
            "all: make native! [[conds [block!]] 5] "
            "switch: make native! [[value cases [block!] /default case [block!]] 18] "
            "case: make native! [[cases [block!] /all] 19]");
    }

    // Loads and evaluates the text; the molded result.
    std::string run(const std::string& text) {
        Rooted<Cell> code;
        lexer::load(*code, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()));
        stack::reset();
        interpreter::eval(*code, false);
        Cell result = *stack::get_top();
        stack::reset();
        return molded(result);
    }

    // The error id that evaluating the text raises, or -1.
    int32_t error_of(const std::string& text) {
        Cell* base = stack::state.base;
        stack::Frame* ctop = stack::state.ctop;
        try {
            run(text);
        } catch (const runtime::Throw& t) {
            stack::state.base = stack::state.top = base;
            stack::state.ctop = ctop;
            return t.code == runtime::code::error ? int32_t(runtime::last_error.id) : -2;
        }
        return -1;
    }
};

} // namespace kiv::testing
