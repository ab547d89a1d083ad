// file!: a file path in the language's own form, written with a leading
// percent sign and forward slashes, kept as a url! whose text is the
// decoded path. It inherits url!'s construction and paths and string!'s
// series actions, and adds its molded form and the file actions (read,
// write, query, delete, rename) over the POSIX file services (io/files).
//
// Paths are POSIX: "/" starts an absolute path, and a relative path is
// taken from the process's current directory.
#pragma once

#include <cstdint>
#include <string>

#include "datatypes/string.h"
#include "runtime/cell.h"

namespace kiv::file {

// A file! of the decoded bytes (string! loading, then retyped), in a new
// slot at the top of the argument stack.
Cell& load(const uint8_t* bytes, uint32_t length, string::Encoding encoding);

// Copies a value into a new slot at the top of the argument stack.
Cell& push(const Cell& value);

// Appends the local form of the path to the string; with absolute, a
// relative path gets the current directory in front.
void to_local_path(const Cell& file, Cell& string, bool absolute);

// The path as the OS receives it (UTF-8, not made absolute).
std::string to_os_string(const Cell& file);

// Raises access error cannot-open naming the file, with the OS's reason
// for the error number `code` as the second argument.
[[noreturn]] void raise_cannot_open(const Cell& file, int code);

// A new string! on the argument stack holding the current directory,
// ending with "/".
Cell& current_dir();

// Replaces every backslash of the file's text by a slash, in place.
void normalize_slashes(Cell& file);

// Creates the directory; true when it was made.
bool make_dir(const Cell& file);

// The mold of a file name: %name, or %"name" when `quote` is set or the
// name holds a character that cannot stand unquoted.
int32_t mold_name(const Cell& file, Cell& buffer, const Cell* arg, int32_t part, bool quote);

// The action functions file! registers.
int32_t mold(const Cell* value, Cell* buffer, bool only, bool all, bool flat, const Cell* arg,
             int32_t part, int32_t indent);
// A directory path (ending in "/") reads as a block of file!, a file as a
// string! (or a block of string! lines with `lines`), or with /binary as a
// binary! of its bytes; a file or directory that cannot be read raises
// access cannot-open with the file.
Cell* read(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines, bool info,
           const Cell* as);
// Writes a string! as UTF-8, a binary! as its bytes and any other value
// molded; with `lines`, each value of a block on its own line. The result is unset!.
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            const Cell* part, const Cell* seek, const Cell* allow, const Cell* as);
// The result is a logic!: whether the file (or empty directory) was deleted.
Cell* delete_(Cell* file);
// The modification time in UTC, or none! when the file cannot be queried.
// Until date! exists the time is a block of the date's fields: year, month
// and day as integer! and the time of day as time!.
Cell* query(Cell* file);
// The result is a logic!: whether the file was renamed.
Cell* rename(Cell* file, Cell* new_name);

// Registers file! under url!, which registers first.
void init();

} // namespace kiv::file
