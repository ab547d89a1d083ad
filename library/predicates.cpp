#include "library/predicates.h"

#include <cstddef>
#include <utility>

#include "datatypes/context.h"
#include "datatypes/datatype.h"
#include "datatypes/function.h"
#include "datatypes/logic.h"
#include "datatypes/typeset.h"
#include "datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/types.h"

namespace kiv::predicates {
namespace {

struct TypeTest {
    const char* name;
    uint32_t type;
};

constexpr TypeTest type_tests[] = {
    {"bitset?", TYPE_BITSET},     {"binary?", TYPE_BINARY},
    {"block?", TYPE_BLOCK},       {"char?", TYPE_CHAR},
    {"email?", TYPE_EMAIL},       {"file?", TYPE_FILE},
    {"float?", TYPE_FLOAT},       {"get-path?", TYPE_GET_PATH},
    {"get-word?", TYPE_GET_WORD}, {"hash?", TYPE_HASH},
    {"integer?", TYPE_INTEGER},   {"issue?", TYPE_ISSUE},
    {"lit-path?", TYPE_LIT_PATH}, {"lit-word?", TYPE_LIT_WORD},
    {"logic?", TYPE_LOGIC},       {"map?", TYPE_MAP},
    {"none?", TYPE_NONE},         {"pair?", TYPE_PAIR},
    {"paren?", TYPE_PAREN},       {"path?", TYPE_PATH},
    {"percent?", TYPE_PERCENT},   {"refinement?", TYPE_REFINEMENT},
    {"set-path?", TYPE_SET_PATH}, {"set-word?", TYPE_SET_WORD},
    {"string?", TYPE_STRING},     {"tag?", TYPE_TAG},
    {"time?", TYPE_TIME},         {"typeset?", TYPE_TYPESET},
    {"tuple?", TYPE_TUPLE},       {"unset?", TYPE_UNSET},
    {"url?", TYPE_URL},           {"word?", TYPE_WORD},
    {"image?", TYPE_IMAGE},       {"date?", TYPE_DATE},
    {"money?", TYPE_MONEY},       {"ref?", TYPE_REF},
    {"point2D?", TYPE_POINT2D},   {"point3D?", TYPE_POINT3D},
    {"handle?", TYPE_HANDLE},     {"error?", TYPE_ERROR},
    {"action?", TYPE_ACTION},     {"native?", TYPE_NATIVE},
    {"datatype?", TYPE_DATATYPE}, {"function?", TYPE_FUNCTION},
    {"object?", TYPE_OBJECT},     {"op?", TYPE_OP},
    {"routine?", TYPE_ROUTINE},   {"vector?", TYPE_VECTOR},
};

// Each typeset predicate reads the value its word holds at every call.
constexpr const char* typeset_words[][2] = {
    {"any-list?", "any-list!"},
    {"any-block?", "any-block!"},
    {"any-function?", "any-function!"},
    {"any-object?", "any-object!"},
    {"any-path?", "any-path!"},
    {"any-string?", "any-string!"},
    {"any-word?", "any-word!"},
    {"series?", "series!"},
    {"number?", "number!"},
    {"immediate?", "immediate!"},
    {"scalar?", "scalar!"},
    {"all-word?", "all-word!"},
    {"any-point?", "any-point!"},
    {"planar?", "planar!"},
};
constexpr size_t typeset_count = std::size(typeset_words);

// The global words of the typesets, made once at registration.
Cell typeset_word[typeset_count];

template <size_t I>
void is_type(Cell* args) {
    logic::make_at(args[0], cell::type_of(args[0]) == type_tests[I].type);
}

// A word that no longer holds a typeset raises script expect-val rather
// than reading another value as a type map.
template <size_t I>
void in_typeset(Cell* args) {
    const Cell& set = *word::value_cell(typeset_word[I]);
    if (cell::type_of(set) != TYPE_TYPESET) {
        Cell expected, held;
        datatype::make_at(expected, TYPE_TYPESET);
        datatype::make_at(held, cell::type_of(set));
        runtime::fire_error(runtime::Category::script, err::script::expect_val, &expected, &held);
    }
    logic::make_at(args[0], typeset::has(set, cell::type_of(args[0])));
}

template <size_t... I>
void register_type_tests(std::index_sequence<I...>) {
    (routine::register_named(type_tests[I].name, is_type<I>), ...);
}

template <size_t... I>
void register_typeset_tests(std::index_sequence<I...>) {
    ((typeset_word[I] = word::load(typeset_words[I][1]),
      routine::register_named(typeset_words[I][0], in_typeset<I>)),
     ...);
}

} // namespace

void register_routines() {
    register_type_tests(std::make_index_sequence<std::size(type_tests)>());
    register_typeset_tests(std::make_index_sequence<typeset_count>());
}

} // namespace kiv::predicates
