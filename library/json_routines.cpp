#include "library/json_routines.h"

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "library/json_decoder.h"
#include "library/json_encoder.h"
#include "runtime/roots.h"
#include "runtime/types.h"

namespace kiv::json_routines {

void decode(Cell* args) {
    Rooted<Cell> value, result;
    json::Failure failure{};
    bool decoded = json::decode(args[0], *value, failure);
    block::make_at(*result, 3);
    if (decoded) {
        block::append_value(*result, *value);
    } else {
        for (uint32_t n : {failure.line, failure.mark, failure.column}) {
            Cell number;
            integer::make_at(number, int32_t(n));
            block::append_value(*result, number);
        }
    }
    args[0] = *result;
}

// json-encode data indent ascii: the JSON text of data (indent a string!
// for the pretty layout, else none!; ascii true escapes non-ASCII text).
void encode(Cell* args) {
    Rooted<Cell> text;
    json::encode(args[0], args[1], cell::type_of(args[2]) == TYPE_LOGIC && logic::get(args[2]),
                 *text);
    args[0] = *text;
}

void register_routines() {
    routine::register_named("json-decode", decode);
    routine::register_named("json-encode", encode);
}

} // namespace kiv::json_routines
