// Contexts, words, block! and string! rows, typeset!, object! and error!,
// with a small evaluator for spec blocks and recorded handler calls.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datatype_fixture.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/error.h"
#include "datatypes/function.h"
#include "datatypes/object.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "evaluator/lexer.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "words_init.h"

namespace kiv::testing {

// A call of a change handler as the handler saw its frame: for
// on-change* the word, old and new value, then the local slots.
struct HandlerCall {
    std::vector<Cell> frame;
    std::string word() const { return symbol::c_name(frame[0].w2); }
    const Cell& old_value() const { return frame[1]; }
    const Cell& new_value() const { return frame[2]; }
};

inline std::vector<HandlerCall> handler_calls;

class ObjectTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        test::init_words();
        lexer::init();
        register_series_rows();
        typeset::init();
        function::init();
        object::init();
        error::init();
        object::hooks = {evaluate, record_call};
        handler_calls.clear();
        collector::active = true;
    }
    void TearDown() override {
        collector::active = false;
        object::hooks = {};
        lexer::reset_load_entries();
        stack::hooks = {};
        context::fire_on_change = nullptr;
        error::set_catalog(Cell{TYPE_NONE, 0, 0, 0});
        DatatypeTest::TearDown();
    }

    static int32_t form_string(const Cell* v, Cell* buffer, const Cell* arg, int32_t part) {
        return string::form(*v, *buffer, arg, part);
    }
    static int32_t mold_string(const Cell* v, Cell* buffer, bool, bool all, bool, const Cell* arg,
                               int32_t part, int32_t) {
        return string::mold(*v, *buffer, all, arg, part);
    }
    static void register_series_rows() {
        for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN})
            datatype::register_type(type, 0, type == TYPE_BLOCK ? "block!" : "paren!",
                                    {{Slot::form, block::form}, {Slot::mold, block::mold}});
        datatype::register_type(TYPE_STRING, 0, "string!",
                                {{Slot::form, form_string}, {Slot::mold, mold_string}});
    }

    // Evaluates `set-word value` pairs: a lit-word value gives its word,
    // any other value is taken as it is.
    static void evaluate(Cell& block) {
        for (int32_t i = 0; i + 1 < block::rs_length(block); i += 2) {
            Cell name = block::rs_head(block)[i];
            Cell value = block::rs_head(block)[i + 1];
            if (cell::type_of(value) == TYPE_LIT_WORD) cell::set_type(value, TYPE_WORD);
            word::set(name, value);
        }
    }

    static void record_call(const Cell&) {
        handler_calls.push_back({{stack::state.base, stack::state.top}});
    }

    static Cell w(const char* name, uint32_t type = TYPE_WORD) { return word::load(name, type); }
    static Cell sw(const char* name) { return w(name, TYPE_SET_WORD); }
    static Cell str(const std::string& text) {
        Cell c;
        string::load_at(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), c,
                        string::Encoding::utf8);
        return *stack::push(c); // kept on the stack for the collector
    }
    static Cell blk(std::initializer_list<Cell> cells) {
        std::vector<Cell> copies(cells);
        Cell* out = stack::push(Cell{cell::unset_header, 0, 0, 0});
        block::make_at(*out, int32_t(copies.size()));
        for (const Cell& c : copies) block::append_value(*out, c);
        return *out;
    }
    static Cell make(uint32_t type, const Cell& proto, const Cell& spec) {
        Cell p = proto, s = spec;
        return *datatype::get<Slot::make>(type)(&p, &s, type);
    }
    static Cell make_object(const Cell& spec) {
        Cell type;
        datatype::make_at(type, TYPE_OBJECT);
        return make(TYPE_OBJECT, type, spec);
    }
    static Cell* field(const Cell& object, const char* name) {
        Cell word = w(name);
        return const_cast<Cell*>(object::find_word(object, word));
    }

    // A function! of the spec and body (null: none), kept on the stack.
    static Cell function(const Cell& spec, const Cell* body) {
        function::push(spec, body, 0, 0, 0, 0);
        return *stack::get_top();
    }

    // A handler spec [word old new /local a b]: three arguments, three
    // local slots (the /local refinement and its two words).
    static Cell handler_spec() {
        return blk({w("word"), w("old"), w("new"), w("local", TYPE_REFINEMENT), w("a"), w("b")});
    }

    // The value is copied before the output is made: a cell inside a
    // series may move when it is allocated.
    static std::string molded_text(const Cell& value, bool all = false, bool flat = false) {
        Rooted<Cell> v(value);
        Rooted<Cell> out(new_buffer());
        datatype::get<Slot::mold>(cell::type_of(*v))(&*v, &*out, false, all, flat, nullptr, 100000,
                                                     0);
        return text_of(*out);
    }
    static std::string formed_text(const Cell& value) {
        Rooted<Cell> v(value);
        Rooted<Cell> out(new_buffer());
        datatype::get<Slot::form>(cell::type_of(*v))(&*v, &*out, nullptr, 100000);
        return text_of(*out);
    }

    // Runs the body under a try frame and answers the error! it threw
    // (unset when none), kept on the stack.
    template <class Body>
    static Cell raised(Body body) {
        Cell* base = stack::state.base;
        Cell* top = stack::state.top;
        stack::Frame* ctop = stack::state.ctop;
        Cell error{cell::unset_header, 0, 0, 0};
        stack::mark_try(w("try"));
        try {
            body();
        } catch (const runtime::Throw& t) {
            EXPECT_EQ(t.code, runtime::code::error);
            error = *stack::get_top();
        }
        stack::state.base = base;
        stack::state.top = top;
        stack::state.ctop = ctop;
        return *stack::push(error);
    }

    // The catalog of library/errors.kiv.
    static void load_catalog() {
        const char* root = std::getenv("KIV_SOURCE_DIR");
        std::ifstream in(std::string(root ? root : "..") + "/library/errors.kiv");
        ASSERT_TRUE(in) << "library/errors.kiv not found";
        std::stringstream text;
        text << in.rdbuf();
        std::string source = text.str();
        Rooted<Cell> loaded;
        lexer::load(*loaded, reinterpret_cast<const uint8_t*>(source.data()),
                    uint32_t(source.size()));
        error::load_catalog(*loaded);
    }
};

} // namespace kiv::testing
