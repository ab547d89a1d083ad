// Datatype ids: the low byte of every cell header.
#pragma once

#include <cstdint>

namespace kiv {

enum TypeId : uint32_t {
    TYPE_DATATYPE = 1,
    TYPE_UNSET = 2,
    TYPE_NONE = 3,
    TYPE_LOGIC = 4,
    TYPE_BLOCK = 5,
    TYPE_PAREN = 6,
    TYPE_STRING = 7,
    TYPE_FILE = 8,
    TYPE_URL = 9,
    TYPE_CHAR = 10,
    TYPE_INTEGER = 11,
    TYPE_FLOAT = 12,
    TYPE_SYMBOL = 13,
    TYPE_CONTEXT = 14,
    TYPE_WORD = 15,
    TYPE_SET_WORD = 16,
    TYPE_LIT_WORD = 17,
    TYPE_GET_WORD = 18,
    TYPE_REFINEMENT = 19,
    TYPE_ISSUE = 20,
    TYPE_NATIVE = 21,
    TYPE_ACTION = 22,
    TYPE_OP = 23,
    TYPE_FUNCTION = 24,
    TYPE_PATH = 25,
    TYPE_LIT_PATH = 26,
    TYPE_SET_PATH = 27,
    TYPE_GET_PATH = 28,
    TYPE_ROUTINE = 29,
    TYPE_BITSET = 30,
    TYPE_TRIPLE = 31,
    TYPE_OBJECT = 32,
    TYPE_TYPESET = 33,
    TYPE_ERROR = 34,
    TYPE_VECTOR = 35,
    TYPE_HASH = 36,
    TYPE_PAIR = 37,
    TYPE_PERCENT = 38,
    TYPE_TUPLE = 39,
    TYPE_MAP = 40,
    TYPE_BINARY = 41,
    TYPE_SERIES = 42,
    TYPE_TIME = 43,
    TYPE_TAG = 44,
    TYPE_EMAIL = 45,
    TYPE_HANDLE = 46,
    TYPE_DATE = 47,
    TYPE_PORT = 48,
    TYPE_MONEY = 49,
    TYPE_REF = 50,
    TYPE_POINT2D = 51,
    TYPE_POINT3D = 52,
    TYPE_IMAGE = 53,
    TYPE_EVENT = 54,
};

constexpr uint32_t type_count = 54;

// The families of series types.
constexpr bool is_block_type(uint32_t type) { // block!, paren!, the path types, hash!
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH ||
           (type >= TYPE_PATH && type <= TYPE_GET_PATH);
}
constexpr bool is_text_type(uint32_t type) { // string!, file!, url!, tag!, email!, ref!
    return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
           type == TYPE_EMAIL || type == TYPE_REF;
}

// The name of every type id (index 0 unused), whether or not its datatype
// is built: the language names them all.
inline constexpr const char* type_names[type_count + 1] = {
    nullptr,     "datatype!", "unset!",    "none!",     "logic!",    "block!",      "paren!",
    "string!",   "file!",     "url!",      "char!",     "integer!",  "float!",      "symbol!",
    "context!",  "word!",     "set-word!", "lit-word!", "get-word!", "refinement!", "issue!",
    "native!",   "action!",   "op!",       "function!", "path!",     "lit-path!",   "set-path!",
    "get-path!", "routine!",  "bitset!",   "triple!",   "object!",   "typeset!",    "error!",
    "vector!",   "hash!",     "pair!",     "percent!",  "tuple!",    "map!",        "binary!",
    "series!",   "time!",     "tag!",      "email!",    "handle!",   "date!",       "port!",
    "money!",    "ref!",      "point2D!",  "point3D!",  "image!",    "event!",
};

} // namespace kiv
