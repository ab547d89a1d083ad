// The natives that evaluate on request (do, reduce, compose, apply), read
// and write words (get, set, unset, value?, in, bind, context?), build
// objects (construct, extend) and make functions (func, function, does,
// has).
#pragma once

#include <cstdint>

#include "runtime/cell.h"

namespace kiv::natives {

void do_(bool check, const int32_t* refinements);
void reduce(bool check, const int32_t* refinements);
void compose(bool check, const int32_t* refinements);
void get(bool check, const int32_t* refinements);
void set(bool check, const int32_t* refinements);
void unset(bool check, const int32_t* refinements);
void value_q(bool check, const int32_t* refinements);
void in(bool check, const int32_t* refinements);
void bind(bool check, const int32_t* refinements);
void context_q(bool check, const int32_t* refinements);
void construct(bool check, const int32_t* refinements);
void extend(bool check, const int32_t* refinements);
void apply(bool check, const int32_t* refinements);
void func(bool check, const int32_t* refinements);
void function(bool check, const int32_t* refinements);
void does(bool check, const int32_t* refinements);
void has(bool check, const int32_t* refinements);

// Sets the first `count` words of the block from the value: a block or an
// object is spread over them (none! past its end) unless `single`, when
// every word gets the whole value. With skip_none, none! values leave
// their words as they are; unless allow_unset, an unset! value raises
// script need-value naming its word. Every cell must be a word.
void set_many(const Cell& words, const Cell& value, uint32_t count, bool allow_unset, bool single,
              bool skip_none);

// Raises internal not-done naming the datatype: a feature of a type that
// is not built yet.
[[noreturn]] void not_done(uint32_t type);

namespace evaluation {

// What `do` needs of modules built later. A null hook makes its feature
// raise internal not-done.
struct Hooks {
    // Runs the preprocessor over the block in place (do/expand).
    void (*expand)(Cell& block) = nullptr;
    // Installs the tracer and fires its init event; false when a traced
    // evaluation is already running (the tracer stays as it is).
    bool (*trace_begin)(const Cell& callback) = nullptr;
    // Fires the end event and removes the tracer.
    void (*trace_end)() = nullptr;
    // The library's do-file: evaluates the script a file! or url! names,
    // with the /args argument (none! without it); leaves its value in
    // slot 0.
    void (*do_file)(const Cell& target, const Cell& args) = nullptr;
};
extern Hooks hooks;

} // namespace evaluation

// Binds them to their native numbers.
void register_evaluation();

} // namespace kiv::natives
