#include "console/evaluation.h"

#include <cstdlib>

#include "datatypes/block.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/exits.h"
#include "evaluator/trap.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace kiv::console {
namespace {

// Sets the input's floor while it runs: the console's own calls are not
// the input's. Puts the old floor back however the evaluation ends.
class InputFloor {
  public:
    InputFloor() : frame_(stack::state.input_floor), parens_(stack::state.input_floor_parens) {
        stack::state.input_floor = stack::state.ctop;
        stack::state.input_floor_parens = stack::state.frameless_parens;
    }
    ~InputFloor() {
        stack::state.input_floor = frame_;
        stack::state.input_floor_parens = parens_;
    }

  private:
    const stack::Frame* frame_;
    uint32_t parens_;
};

// Address space kept back for the console itself: an input that runs out
// of memory while what it made stays alive (a global holding it) would
// leave none for printing the error and reading the next line. The reserve
// is given back when an input runs out, and taken again before the next
// one when it can be.
class Reserve {
  public:
    void take() {
        if (!block_) block_ = std::malloc(size);
    }
    void release() {
        std::free(block_);
        block_ = nullptr;
    }

  private:
    static constexpr size_t size = 32u << 20;
    void* block_ = nullptr;
};
Reserve reserve;

bool out_of_memory(const Cell& error) {
    return symbol::resolve(error::get_id(error)) == symbol::resolve(symbol::intern("no-memory"));
}

// console-evaluate code: evaluates the code under a trap and a catch of
// throws named `console`, above the console's frames. The result is a
// block of two values: the word done and the code's value, thrown and the
// value thrown to the console, or raised and the error.
void evaluate(Cell* args) {
    reserve.take();
    Rooted<Cell> code(args[0]);
    Rooted<Cell> value;
    bool thrown = false;
    bool ended;
    {
        InputFloor floor;
        ended = trap::run([&] { thrown = natives::catch_named(*code, words::word<"console">()); },
                          *value);
    }
    if (!ended && out_of_memory(*value)) reserve.release();
    const char* outcome = !ended ? "raised" : thrown ? "thrown" : "done";
    Rooted<Cell> result;
    block::make_at(*result, 2);
    block::append_value(*result, word::load(outcome));
    block::append_value(*result, *value);
    args[0] = *result;
}

} // namespace

void register_evaluation_routines() {
    routine::register_named("console-evaluate", evaluate);
}

} // namespace kiv::console
