// Fixture of the evaluation, comparison and set-operation native tests:
// the interpreter fixture with objects, these natives registered and bound
// to their words, and the operators that wrap the comparisons.
#pragma once

#include <string>

#include "datatypes/error.h"
#include "datatypes/file.h"
#include "datatypes/object.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "evaluator/comparison.h"
#include "evaluator/evaluation.h"
#include "evaluator/sets.h"
#include "interpreter_fixture.h"
#include "runtime/case.h"
#include "runtime/random.h"

namespace kiv::testing {

class EvaluationTest : public InterpreterTest {
  protected:
    void SetUp() override {
        InterpreterTest::SetUp();
        // The full series datatypes, objects, errors and files.
        unicode::init_case_tables();
        random::init();
        series::init();
        block::init();
        string::init();
        paren::init();
        path::init();
        datatype::register_type(TYPE_HASH, TYPE_BLOCK, "hash!", {});
        url::init();
        file::init();
        object::init();
        error::init();
        object::hooks.eval = [](Cell& block) {
            interpreter::eval(block, false);
            stack::pop(1);
        };
        datatype::make_type_words();
        std::string every_type;
        for (uint32_t type = 1; type <= datatype::highest_type(); ++type)
            if (datatype::name_of(type).name)
                every_type += std::string(" ") + datatype::name_of(type).name;
        run("any-type!: make typeset! [" + every_type + "]");
        natives::register_comparison();
        natives::register_evaluation();
        natives::register_sets();
        run(R"(
            any-word!: make typeset! [word! set-word! lit-word! get-word! refinement! issue!]
            any-path!: make typeset! [path! lit-path! set-path! get-path!]
            any-block!: make typeset! [block! paren! hash! path! lit-path! set-path! get-path!]
            any-function!: make typeset! [native! action! op! function! routine!]
            any-object!: make typeset! [object! error! port!]
            equal?: make native! [[value1 [any-type!] value2 [any-type!]] 25]
            not-equal?: make native! [[value1 [any-type!] value2 [any-type!]] 26]
            strict-equal?: make native! [[value1 [any-type!] value2 [any-type!]] 27]
            lesser?: make native! [[value1 [any-type!] value2 [any-type!]] 28]
            greater?: make native! [[value1 [any-type!] value2 [any-type!]] 29]
            lesser-or-equal?: make native! [[value1 [any-type!] value2 [any-type!]] 30]
            greater-or-equal?: make native! [[value1 [any-type!] value2 [any-type!]] 31]
            same?: make native! [[value1 [any-type!] value2 [any-type!]] 32]
            not: make native! [[value [any-type!]] 33]
            type?: make native! [[value [any-type!] /word] 34]
            =: make op! :equal?  <>: make op! :not-equal?  ==: make op! :strict-equal?
            <: make op! :lesser?  >: make op! :greater?
            <=: make op! :lesser-or-equal?  >=: make op! :greater-or-equal?
            func: make native! [[spec [block!] body [block!]] 14]
            function: make native! [[spec [block!] body [block!] /extern] 15]
            does: make native! [[body [block!]] 16]
            has: make native! [[vars [block!] body [block!]] 17]
            do: make native! [[value [any-type!] /expand /args arg /next position [word!] /trace callback [function!]] 20]
            get: make native! [[word [any-word! any-path! object!] /any /case] 21]
            set: make native! [[word [any-word! block! object! any-path!] value [any-type!] /any /case /only /some] 22]
            reduce: make native! [[value [any-type!] /into out [any-block!]] 35]
            compose: make native! [[value [block!] /deep /only /into out [any-block!]] 36]
            bind: make native! [[word [block! any-word!] context [any-word! any-object! function!] /copy] 38]
            in: make native! [[object [any-object! any-function!] word [any-word! refinement!]] 39]
            construct: make native! [[block [block!] /with object [object!] /only] 68]
            value?: make native! [[value [word!]] 69]
            extend: make native! [[obj [object! map!] spec [block! hash! map!] /case] 83]
            unset: make native! [[word [word! block!]] 88]
            context?: make native! [[word [any-word!]] 92]
            apply: make native! [[func [word! path! any-function!] args [block!] /all /safer] 107]
            union: make native! [[set1 [block! hash! string! bitset! typeset!]
                set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!]] 41]
            intersect: make native! [[set1 [block! hash! string! bitset! typeset!]
                set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!]] 42]
            unique: make native! [[set [block! hash! string!] /case /skip size [integer!]] 43]
            difference: make native! [[set1 [block! hash! string! bitset! typeset! date!]
                set2 [block! hash! string! bitset! typeset! date!] /case /skip size [integer!]] 44]
            exclude: make native! [[set1 [block! hash! string! bitset! typeset!]
                set2 [block! hash! string! bitset! typeset!] /case /skip size [integer!]] 45]
            complement?: make native! [[bits [bitset!]] 46]
        )");
    }

    void TearDown() override {
        object::hooks = {};
        natives::evaluation::hooks = {};
        InterpreterTest::TearDown();
    }

    // Whether evaluating the text raises the error (category, id).
    bool raises(const std::string& text, runtime::Category category, uint32_t id) {
        return error_of(text) == int32_t(id) && runtime::last_error.category == category;
    }
};

} // namespace kiv::testing
