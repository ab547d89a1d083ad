// Fuzz target of the JSON decoder: any text either decodes to a value or
// reports where it stops, a position within the text on a line the text
// has; it never raises and never crashes, however deep the brackets. The
// decoder reads a string!, which holds only well-formed text, so bytes that
// are not UTF-8 are no input of it.
#include <cstdio>
#include <cstdlib>

#include "datatypes/string.h"
#include "harness.h"
#include "library/json_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kiv;
    fuzz::start_once();
    if (!utf8::valid(data, data + size)) return 0;
    Rooted<Cell> text, value;
    string::load_at(data, uint32_t(size), *text, string::Encoding::utf8);
    json::Failure failure{};
    if (json::decode(*text, *value, failure)) return 0;
    uint32_t length = string::length(*text);
    if (failure.mark > length || failure.column > failure.mark || failure.line > length + 1) {
        std::fprintf(stderr, "failure outside the text: line %u mark %u column %u of %u\n",
                     failure.line, failure.mark, failure.column, length);
        std::abort();
    }
    return 0;
}
