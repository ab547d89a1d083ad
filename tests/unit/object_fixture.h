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
#include "datatypes/object.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "runtime/words.h"

namespace kiv::testing {

// A call of a change handler as the handler saw its frame.
struct HandlerCall {
    std::string word;
    NodeId word_context;
    Cell old_value, new_value;
    uint32_t arguments; // cells in the frame, locals included
};

inline std::vector<HandlerCall> handler_calls;

class ObjectTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        collector::init();
        symbol::init();
        context::init();
        word::init();
        symbol_table::init();
        context::init_global();
        words::init_runtime_words();
        words::init_refinements();
        words::init_issue();
        register_series_rows();
        typeset::init();
        object::init();
        error::init();
        object::hooks = {evaluate, nullptr, record_call};
        handler_calls.clear();
        collector::active = true;
    }
    void TearDown() override {
        collector::active = false;
        object::hooks = {};
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
    static int32_t mold_function(const Cell*, Cell* buffer, bool, bool, bool, const Cell*,
                                 int32_t part, int32_t) {
        string::append_c_string(*buffer, "func");
        return part - 4;
    }
    static void register_series_rows() {
        using action::no;
        datatype::register_type(TYPE_FUNCTION, 0, "function!", {no, no, no, no, no, mold_function,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no, no, no, no, no,
                                                                no, no});
        for (uint32_t type : {TYPE_BLOCK, TYPE_PAREN})
            datatype::register_type(
                type, 0, type == TYPE_BLOCK ? "block!" : "paren!",
                {no, no, no, no, block::form, block::mold, no, no, no, no, no, no, no, no, no, no,
                 no, no, no, no, no,          no,          no, no, no, no, no, no, no, no, no, no,
                 no, no, no, no, no,          no,          no, no, no, no, no, no, no, no, no, no,
                 no, no, no, no, no,          no,          no, no, no, no, no, no, no, no});
        datatype::register_type(
            TYPE_STRING, 0, "string!",
            {no, no, no, no, form_string, mold_string, no, no, no, no, no, no, no, no, no, no,
             no, no, no, no, no,          no,          no, no, no, no, no, no, no, no, no, no,
             no, no, no, no, no,          no,          no, no, no, no, no, no, no, no, no, no,
             no, no, no, no, no,          no,          no, no, no, no, no, no, no, no});
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
        const Cell* args = stack::state.base;
        handler_calls.push_back({symbol::c_name(args[0].w2), args[0].w1, args[1], args[2],
                                 uint32_t(stack::state.top - args)});
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

    // A function! value as function! will make it: context from the spec,
    // the body (or none) first in its extras block.
    static Cell function(const Cell& spec, const Cell* body) {
        Rooted<Cell> s(spec);
        NodeId ctx = context::make_from_spec(*s, true, false, context::Kind::function);
        Cell* f = stack::push(Cell{TYPE_FUNCTION, ctx, s->w2, 0});
        Cell extras;
        block::make_at(extras, 5);
        f->w3 = extras.w2;
        block::append_value(extras, body ? *body : Cell{TYPE_NONE, 0, 0, 0});
        for (int i = 0; i < 4; ++i) block::append_value(extras, Cell{cell::unset_header, 0, 0, 0});
        context::self_of(ctx) = *f;
        return *f;
    }

    // A handler spec [word old new /local a b]: three arguments, three
    // local slots (the /local refinement and its two words).
    static Cell handler_spec() {
        return blk({w("word"), w("old"), w("new"), w("local", TYPE_REFINEMENT), w("a"), w("b")});
    }

    static std::string molded_text(const Cell& value, bool all = false, bool flat = false) {
        Rooted<Cell> out(new_buffer());
        datatype::get<Slot::mold>(cell::type_of(value))(&value, &*out, false, all, flat, nullptr,
                                                        100000, 0);
        return text_of(*out);
    }
    static std::string formed_text(const Cell& value) {
        Rooted<Cell> out(new_buffer());
        datatype::get<Slot::form>(cell::type_of(value))(&value, &*out, nullptr, 100000);
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

    // The catalog as library/errors.kiv defines it, read by a reader for
    // the few kinds of values that file holds.
    static void load_catalog() {
        const char* root = std::getenv("KIV_SOURCE_DIR");
        std::ifstream in(std::string(root ? root : "..") + "/library/errors.kiv");
        ASSERT_TRUE(in) << "library/errors.kiv not found";
        std::stringstream text;
        text << in.rdbuf();
        std::string source = text.str();
        size_t at = 0;
        Cell* loaded = stack::push(Cell{cell::unset_header, 0, 0, 0});
        read_block(source, at, *loaded);
        // Skip the header: Kiv [...]
        Cell body = *loaded;
        body.w1 = 2;
        error::set_catalog(*stack::push(error::build_catalog(body)));
    }

    static void read_block(const std::string& s, size_t& at, Cell& out) {
        block::make_at(out, 8);
        while (at < s.size()) {
            char c = s[at];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++at;
            } else if (c == ']') {
                ++at;
                return;
            } else if (c == '[') {
                ++at;
                Cell* inner = stack::push(Cell{cell::unset_header, 0, 0, 0});
                read_block(s, at, *inner);
                block::append_value(out, *inner);
                stack::pop(1);
            } else if (c == '"') {
                size_t end = s.find('"', at + 1);
                Cell text = str(s.substr(at + 1, end - at - 1));
                block::append_value(out, text);
                stack::pop(1);
                at = end + 1;
            } else {
                size_t end = s.find_first_of(" \n[]\"", at);
                std::string token = s.substr(at, end - at);
                at = end;
                if (std::isdigit(static_cast<unsigned char>(token[0]))) {
                    block::append_value(out, int_cell(std::stoi(token)));
                } else if (token[0] == ':') {
                    block::append_value(out, w(token.substr(1).c_str(), TYPE_GET_WORD));
                } else if (token.back() == ':') {
                    token.pop_back();
                    block::append_value(out, sw(token.c_str()));
                } else {
                    block::append_value(out, w(token.c_str()));
                }
            }
        }
    }
};

} // namespace kiv::testing
