// The runtime's fixed vocabulary: the words and symbols that C++ code
// compares against (reflection keys, loop and PARSE keywords, event facets,
// date fields, trace events, error categories) or hands to Kiv code (the
// action words of ownership notices, trace event names, frame names). They
// are made once at start-up, right after the type-name words, in the order
// of the tables below, and live for the whole run.
//
// Code names an entry by its spelling, checked at compile time:
// words::sym<"exit">() is a symbol id, words::word<"<body>">() a word bound
// in the global context, words::refinement<"part">() an unbound refinement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "runtime/cell.h"

namespace kiv::words {

// Symbol ids, in the order they are interned.
inline constexpr std::string_view symbol_names[] = {
    "spec",        "body",    "words",     "class",     "logic!",
    "integer!",    "char!",   "float!",    "percent!",  "any-type!",
    "exit",        "return",  "Windows",   "Syllable",  "macOS",
    "Linux",       "NetBSD",  "repeat",    "foreach",   "map-each",
    "remove-each", "any",     "break",     "copy",      "end",
    "fail",        "into",    "opt",       "not",       "quote",
    "case",        "reject",  "set",       "skip",      "some",
    "thru",        "to",      "none",      "|",         "-",
    "if",          "remove",  "while",     "insert",    "only",
    "collect",     "keep",    "pick",      "ahead",     "after",
    "x",           "y",       "z",         "self",      "values",
    "owner",       "owned",   "events?",   "true",      "false",
    "yes",         "no",      "on",        "off",       "type",
    "face",        "window",  "offset",    "key",       "flag",
    "code",        "picked",  "flags",     "away?",     "ctrl?",
    "shift?",      "down?",   "mid-down?", "alt-down?", "aux-down?",
    "orientation", "get",     "put",       "post",      "head",
    "size",        "rgb",     "alpha",     "argb",      "date",
    "year",        "month",   "day",       "zone",      "isoweek",
    "week",        "weekday", "yearday",   "julian",    "time",
    "hour",        "minute",  "second",    "timezone",  "code",
    "amount",      "user",    "host",      "system",    "system-global",
    "stack",       "trace",   "no-trace",  "state",     "stack-trace",
};

// Words bound in the global context, made from the symbols above by exact
// look-up; `end` comes last and is made between the two runs of
// global_names.
inline constexpr std::string_view symbol_word_names[] = {
    "Windows", "Syllable", "macOS", "Linux", "NetBSD",  "to",  "thru", "not",  "remove",
    "while",   "collect",  "keep",  "ahead", "|",       "any", "some", "copy", "opt",
    "into",    "insert",   "if",    "quote", "collect", "set", "case", "end",
};

// Words bound in the global context, made from their spellings.
inline constexpr std::string_view global_names[] = {
    // Series actions and the words of completed changes, PARSE trace
    // events, names of frames without a word of their own.
    "at",
    "back",
    "find",
    "head",
    "head?",
    "index?",
    "length?",
    "next",
    "pick",
    "skip",
    "select",
    "tail",
    "tail?",
    "change",
    "changed",
    "clear",
    "cleared",
    "set-path",
    "append",
    "appended",
    "move",
    "moved",
    "poke",
    "poked",
    "put",
    "put-ed",
    "removed",
    "random",
    "randomized",
    "reverse",
    "reversed",
    "sort",
    "sorted",
    "swap",
    "swaped",
    "take",
    "taken",
    "trim",
    "trimmed",
    "inserted",
    "uppercase",
    "lowercase",
    "checksum",
    "push",
    "pop",
    "fetch",
    "match",
    "iterate",
    "paren",
    "<anon>",
    "<body>",
    "<not-found>",
    // Math actions, handlers, port actions, lexer and interpreter trace
    // events, frame names, error categories.
    "add",
    "subtract",
    "divide",
    "on-parse-event",
    "on-change*",
    "on-deep-change*",
    "type",
    "id",
    "try",
    "catch",
    "name",
    "multiply",
    "browse",
    "open",
    "create",
    "close",
    "delete",
    "modify",
    "query",
    "read",
    "rename",
    "update",
    "write",
    "prescan",
    "scan",
    "load",
    "error",
    "comment",
    "init",
    "exec",
    "call",
    "return",
    "enter",
    "exit",
    "prolog",
    "epilog",
    "throw",
    "expr",
    "<interp-callback>",
    "<lexer-callback>",
    "<parse-callback>",
    "<compare-callback>",
    "throw",
    "note",
    "syntax",
    "script",
    "math",
    "access",
    "user",
    "internal",
    "invalid-error",
    "local",
    "<applied>",
    // The console's catch name and what a halt throws to it.
    "console",
    "halt-request",
};
inline constexpr std::size_t first_run = 52;

// Unbound refinements.
inline constexpr std::string_view refinement_names[] = {"local", "extern", "compare",
                                                        "part",  "skip",   "with"};

// The name of the one issue! the runtime keeps.
inline constexpr const char* issue_name = "ooo";

extern uint32_t symbols[std::size(symbol_names)];
extern Cell symbol_words[std::size(symbol_word_names)];
extern Cell global_words[std::size(global_names)];
extern Cell refinements[std::size(refinement_names)];
extern Cell issue;

// A spelling as a template argument.
template <std::size_t N>
struct Name {
    char text[N];
    consteval Name(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
    }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

// The position of a spelling in a table; a spelling that is not there does
// not compile.
template <std::size_t M>
consteval std::size_t position(const std::string_view (&table)[M], std::string_view name) {
    for (std::size_t i = 0; i < M; ++i)
        if (table[i] == name) return i;
    throw "not in the runtime word tables";
}

template <Name N>
uint32_t sym() {
    return symbols[position(symbol_names, N.view())];
}
template <Name N>
const Cell& symbol_word() {
    return symbol_words[position(symbol_word_names, N.view())];
}
template <Name N>
const Cell& word() {
    return global_words[position(global_names, N.view())];
}
template <Name N>
const Cell& refinement() {
    return refinements[position(refinement_names, N.view())];
}

// Interns the symbols and makes the word tables, in order. Needs the
// symbol table and the global context.
void init_runtime_words();
void init_refinements();
void init_issue();

} // namespace kiv::words
