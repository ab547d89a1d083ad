// Fuzz target of the CSV reader: any text either reads as rows of string
// fields or gives an error value; it never raises. Rows read from a text
// go through to-csv and read back as the same rows, field for field and
// case for case. The seeds are the texts of the CSV transcript's cases.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "datatypes/word.h"
#include "evaluator/lexer.h"
#include "evaluator/trap.h"
#include "harness.h"

namespace {

using namespace kiv;

// csv-fault names what went wrong with the last input, or is none.
constexpr const char* checker = R"(
csv-fault: none
csv-check: func [text /local rows again] [
    csv-fault: "load-csv raised"
    rows: load-csv text
    csv-fault: none
    if error? :rows [exit]
    unless block? rows [csv-fault: "not a block" exit]
    foreach row rows [
        unless block? row [csv-fault: "a row is not a block" exit]
        foreach field row [unless string? field [csv-fault: "a field is not a string" exit]]
    ]
    csv-fault: "to-csv or the second load-csv raised"
    again: load-csv to-csv rows
    csv-fault: none
    unless rows == again [csv-fault: mold reduce ["rows differ:" rows again]]
]
)";

// Every string! of the typed lines of the CSV transcript, each a seed.
void write_seeds(const std::filesystem::path& corpus) {
    std::ifstream transcript(KIV_SOURCE_DIR "/tests/cases/csv.txt");
    int n = 0;
    for (std::string line; std::getline(transcript, line);) {
        if (!line.starts_with(">> ")) continue;
        Rooted<Cell> values, failure;
        std::string typed = line.substr(3);
        bool loaded = trap::run(
            [&] {
                lexer::load(*values, reinterpret_cast<const uint8_t*>(typed.data()),
                            uint32_t(typed.size()));
            },
            *failure);
        if (!loaded) continue;
        for (int32_t i = 0; i < block::rs_length(*values); ++i) {
            Cell value = block::rs_head(*values)[i];
            if (cell::type_of(value) != TYPE_STRING) continue;
            std::ofstream(corpus / ("csv-" + std::to_string(n++))) << fuzz::utf8_of(value);
        }
    }
}

std::string binary_literal(const uint8_t* data, size_t size) {
    std::string text = "#{";
    for (size_t i = 0; i < size; ++i) text += string::byte_to_hex(data[i]);
    return text + "}";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::start_with_seeds(write_seeds);
    fuzz::evaluate(checker);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // load-csv reads a string!, which holds only well-formed text.
    if (!utf8::valid(data, data + size)) return 0;
    fuzz::evaluate("csv-check to string! " + binary_literal(data, size));
    Cell fault = *word::get_value(word::load("csv-fault"));
    if (cell::type_of(fault) == TYPE_STRING) {
        std::fprintf(stderr, "%s\n", fuzz::utf8_of(fault).c_str());
        std::abort();
    }
    return 0;
}
