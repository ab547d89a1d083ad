// Shared fixture of the callable and path datatype tests: contexts, words
// and the types these values hold, a block! row with the block workers,
// and a small reader that turns test text into values.
#pragma once

#include <cctype>
#include <string>

#include "datatype_fixture.h"
#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/function.h"
#include "datatypes/issue.h"
#include "datatypes/native.h"
#include "datatypes/natives.h"
#include "datatypes/paren.h"
#include "datatypes/path.h"
#include "datatypes/symbol.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "datatypes/words.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/roots.h"
#include "runtime/symbol.h"
#include "words_init.h"

namespace kiv::testing {

class CallableTest : public DatatypeTest {
  protected:
    void SetUp() override {
        DatatypeTest::SetUp();
        test::init_words();
        typeset::init();
        register_block();
        path::init();
        paren::init();
        issue::init();
        function::init();
        routine::init();
        native::init();
        natives::reset();
        cycles::reset();
        for (uint32_t type : {TYPE_INTEGER, TYPE_LOGIC, TYPE_BLOCK}) {
            Cell name = word::load(datatype::name_of(type).name);
            Cell value;
            datatype::make_at(value, type);
            word::set(name, value);
        }
        collector::active = true;
    }
    void TearDown() override {
        collector::active = false;
        natives::reset();
        DatatypeTest::TearDown();
    }

    // block!: the shared block workers, and `to` as a copy of the cells.
    static Cell* block_to(Cell* proto, const Cell* spec, uint32_t) {
        Rooted<Cell> source(*spec);
        block::make_at(*proto, block::rs_length(*source));
        block::append_cells(*proto, *source);
        return proto;
    }
    static int32_t block_compare(const Cell* a, const Cell* b, int32_t op) {
        if (cell::type_of(*b) != cell::type_of(*a)) return -2;
        return block::compare_each(*a, *b, op);
    }
    // string!: form and mold through the string workers.
    static int32_t string_form(const Cell* v, Cell* buffer, const Cell* arg, int32_t part) {
        return string::form(*v, *buffer, arg, part);
    }
    static int32_t string_mold(const Cell* v, Cell* buffer, bool, bool all, bool, const Cell* arg,
                               int32_t part, int32_t) {
        return string::mold(*v, *buffer, all, arg, part);
    }
    static void register_block() {
        datatype::register_type(TYPE_BLOCK, 0, "block!",
                                {{Slot::to, block_to},
                                 {Slot::form, block::form},
                                 {Slot::mold, block::mold},
                                 {Slot::compare, block_compare}});
        datatype::register_type(TYPE_STRING, 0, "string!",
                                {{Slot::form, string_form}, {Slot::mold, string_mold}});
    }

    // Reads test text: [ ] ( ) delimit blocks and parens; words, set-words
    // (a:), get-words (:a), lit-words ('a), refinements (/a), issues (#a),
    // integers, "strings" without quotes inside, and paths (a/b, 'a/b,
    // a/b:, :a/b). The values land in `out`, a block!.
    static void read(const std::string& text, Rooted<Cell>& out) {
        size_t at = 0;
        block::make_at(*out, 4);
        read_into(text, at, *out, 0);
    }
    static Cell read(const std::string& text) {
        Rooted<Cell> out;
        read(text, out);
        block::append_value(context::root, *out); // kept for the test
        return *out;
    }

    static std::string molded(const Cell& value, bool only = false, int32_t part = 1000,
                              const Cell* arg = nullptr) {
        Rooted<Cell> v(value);
        Rooted<Cell> buffer(new_buffer());
        datatype::get<Slot::mold>(cell::type_of(*v))(&*v, &buffer.get(), only, false, false, arg,
                                                     part, 0);
        return text_of(*buffer);
    }
    static std::string formed(const Cell& value) {
        Rooted<Cell> v(value);
        Rooted<Cell> buffer(new_buffer());
        datatype::get<Slot::form>(cell::type_of(*v))(&*v, &buffer.get(), nullptr, 1000);
        return text_of(*buffer);
    }
    // The mold of a block's contents without brackets.
    static std::string contents(const Cell& block) { return molded(block, true); }

  private:
    static void read_into(const std::string& text, size_t& at, Cell& block, char closer) {
        while (at < text.size()) {
            char c = text[at];
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++at;
                continue;
            }
            if (c == closer) {
                ++at;
                return;
            }
            if (c == '[' || c == '(') {
                ++at;
                Rooted<Cell> inner;
                block::make_at(*inner, 4);
                if (c == '(') inner->header = TYPE_PAREN;
                read_into(text, at, *inner, c == '[' ? ']' : ')');
                block::append_value(block, *inner);
                continue;
            }
            if (c == '"') {
                size_t end = text.find('"', at + 1);
                Rooted<Cell> s;
                string::load_at(reinterpret_cast<const uint8_t*>(text.data() + at + 1),
                                uint32_t(end - at - 1), *s, string::Encoding::utf8);
                block::append_value(block, *s);
                at = end + 1;
                continue;
            }
            size_t end = at;
            while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
                   text[end] != ']' && text[end] != ')' && text[end] != '[' && text[end] != '(')
                ++end;
            Rooted<Cell> value(token(text.substr(at, end - at)));
            block::append_value(block, *value);
            at = end;
        }
    }

    static Cell token(std::string t) {
        if (std::isdigit(static_cast<unsigned char>(t[0])) || (t[0] == '-' && t.size() > 1))
            return int_cell(std::stoi(t));
        if (t[0] == '#') {
            Cell c;
            return *issue::make_at(c, t.c_str() + 1);
        }
        if (t.size() > 1 && t.find('/', 1) != std::string::npos) return path_of(t);
        if (t[0] == '/' && t.size() > 1) return word::load(t.c_str() + 1, TYPE_REFINEMENT);
        if (t[0] == ':') return word::load(t.c_str() + 1, TYPE_GET_WORD);
        if (t[0] == '\'') return word::load(t.c_str() + 1, TYPE_LIT_WORD);
        if (t.back() == ':' && t.size() > 1) {
            t.pop_back();
            return word::load(t.c_str(), TYPE_SET_WORD);
        }
        return word::load(t.c_str());
    }

    static Cell path_of(std::string t) {
        uint32_t type = TYPE_PATH;
        if (t[0] == '\'') type = TYPE_LIT_PATH, t.erase(0, 1);
        if (t[0] == ':') type = TYPE_GET_PATH, t.erase(0, 1);
        if (t.back() == ':') type = TYPE_SET_PATH, t.pop_back();
        Rooted<Cell> p;
        path::make_at(*p, 2);
        size_t start = 0;
        while (start <= t.size()) {
            size_t slash = t.find('/', start);
            if (slash == std::string::npos) slash = t.size();
            Rooted<Cell> element(token(t.substr(start, slash - start)));
            block::append_value(*p, *element);
            start = slash + 1;
        }
        p->header = type;
        return *p;
    }
};

} // namespace kiv::testing
