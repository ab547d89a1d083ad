#include "library/json_routines.h"

#include "datatypes/block.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "library/json_decoder.h"
#include "runtime/roots.h"

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

void register_routines() {
    routine::register_named("json-decode", decode);
}

} // namespace kiv::json_routines
