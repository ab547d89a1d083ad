// Fixture of the loop, exit and output natives: the language fixture with
// the series actions and those natives bound to their words, do, division
// and even?, and a print hook that records what print and prin hand over.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "datatypes/series.h"
#include "evaluator/evaluation.h"
#include "evaluator/exits.h"
#include "evaluator/loops.h"
#include "evaluator/output.h"
#include "interpreter_fixture.h"
#include "runtime/case.h"
#include "runtime/output_hooks.h"

namespace kiv::testing {

class FlowTest : public InterpreterTest {
  protected:
    void SetUp() override {
        InterpreterTest::SetUp();
        unicode::init_case_tables();
        series::init();
        block::init();
        string::init();
        natives::register_loops();
        natives::register_exits();
        natives::register_output();
        natives::register_evaluation();
        output_hooks::init();
        output_hooks::register_(record_print, nullptr);
        printed().clear();
        for (const char* definition : {
                 "while: make native! [[cond [block!] body [block!]] 6]",
                 "until: make native! [[body [block!]] 7]",
                 "loop: make native! [[count [integer! float!] body [block!]] 8]",
                 "repeat: make native! [['word [word!] value [integer! float!] body [block!]] 9]",
                 "forever: make native! [[body [block!]] 10]",
                 "foreach: make native! [['word [word! block!] series [block! paren! string!] body "
                 "[block!]] 11]",
                 "forall: make native! [['word [word!] body [block!]] 12]",
                 "remove-each: make native! [['word [word! block!] data [block! string!] body "
                 "[block!]] 13]",
                 "do: make native! [[value [any-type!] /expand /args arg /next position [word!] "
                 "/trace callback [function!]] 20]",
                 "print: make native! [[value [any-type!]] 23]",
                 "prin: make native! [[value [any-type!]] 24]",
                 "try: make native! [[block [block!] /all /keep] 70]",
                 "break: make native! [[/return value [any-type!]] 77]",
                 "continue: make native! [[] 78]",
                 "exit: make native! [[] 79]",
                 "return: make native! [[value [any-type!]] 80]",
                 "throw: make native! [[value [any-type!] /name word [word!]] 81]",
                 "catch: make native! [[block [block!] /name word [word! block!]] 82]",
                 "divide: make action! [[value1 value2] 12]",
                 "even?: make action! [[value] 19]",
             })
            define(definition);
    }
    // Runs one definition, naming it when it fails.
    void define(const std::string& text) {
        if (error_of(text) != -1) ADD_FAILURE() << text << ": error " << runtime::last_error.id;
    }
    void TearDown() override {
        output_hooks::init();
        InterpreterTest::TearDown();
    }

    // (text, new-line flag) of every print, in order.
    static std::vector<std::pair<std::string, int>>& printed() {
        static std::vector<std::pair<std::string, int>> lines;
        return lines;
    }
    static void record_print(const Cell* value, int new_line) {
        Cell text = *value;
        std::string all = text_of(text);
        printed().emplace_back(all.substr(std::min<size_t>(text.w1, all.size())), new_line);
    }
};

} // namespace kiv::testing
