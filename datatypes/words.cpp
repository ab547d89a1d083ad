#include "datatypes/words.h"

#include <string>

#include "datatypes/context.h"
#include "datatypes/symbol.h"
#include "datatypes/word.h"
#include "runtime/types.h"

namespace kiv::words {

static_assert(std::size(symbol_names) == 115);
static_assert(std::size(symbol_word_names) == 26);
static_assert(std::size(global_names) == first_run + 55);

uint32_t symbols[std::size(symbol_names)];
Cell symbol_words[std::size(symbol_word_names)];
Cell global_words[std::size(global_names)];
Cell refinements[std::size(refinement_names)];
Cell issue;

namespace {

uint32_t intern(std::string_view name) {
    return symbol::intern(std::string(name).c_str());
}

Cell load(std::string_view name, uint32_t type) {
    return word::load(std::string(name).c_str(), type);
}

void load_run(std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) global_words[i] = load(global_names[i], TYPE_WORD);
}

} // namespace

void init_runtime_words() {
    for (std::size_t i = 0; i < std::size(symbol_names); ++i) symbols[i] = intern(symbol_names[i]);
    constexpr std::size_t end = std::size(symbol_word_names) - 1;
    for (std::size_t i = 0; i < end; ++i)
        symbol_words[i] = word::load_symbol(intern(symbol_word_names[i]));
    load_run(0, first_run);
    symbol_words[end] = word::load_symbol(intern(symbol_word_names[end]));
    load_run(first_run, std::size(global_names));
}

void init_refinements() {
    for (std::size_t i = 0; i < std::size(refinement_names); ++i)
        refinements[i] = load(refinement_names[i], TYPE_REFINEMENT);
}

void init_issue() {
    issue = word::unresolved(issue_name, TYPE_ISSUE, context::global);
    if (word::collecting) word::keep(issue);
}

} // namespace kiv::words
