// Files and directories over POSIX: whole-file reads and writes, directory
// listings, modification dates, delete, rename and make-dir, and the
// conversion between file! path text and local paths.
//
// Paths are UTF-8 text; a relative path is taken from the current
// directory. The functions below report failures in their results; `read`
// and `write` turn a failure into the access error cannot-open, with the
// OS's reason.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kiv::io {

// Why an operation failed.
enum class Fault : uint8_t {
    none,
    missing,       // no such file or directory
    denied,        // no permission, or a read-only file system
    is_directory,  // a directory where a file was needed
    not_directory, // a file where a directory was needed
    exists,        // the target already exists
    not_empty,     // a directory that still holds entries
    other,
};

// The outcome of an operation and the path it was about.
struct Status {
    Fault fault = Fault::none;
    std::string path;
    int code = 0; // the OS's error number behind the fault (see reason_of)
    bool ok() const { return fault == Fault::none; }
};

// The OS's description of an error number, in English whatever the locale.
std::string reason_of(int code);

struct ReadOptions {
    // Bytes to read: 0 gives an empty result, a negative count no limit.
    std::optional<int64_t> part = std::nullopt;
    // Offset of the first byte read.
    std::optional<int64_t> seek = std::nullopt;
    // One pair of double quotes around the path is removed (paths given as
    // plain byte strings may arrive quoted).
    bool unquote = false;
};

struct WriteOptions {
    // Bytes (or, for lines, values) to write; a negative count no limit.
    std::optional<int64_t> part = std::nullopt;
    // Offset of the first byte written; the file is not truncated.
    std::optional<int64_t> seek = std::nullopt;
    // Writes at the end of the file; the file is not truncated.
    bool append = false;
    bool unquote = false;
};

struct BytesResult {
    Status status;
    std::vector<uint8_t> bytes;
};

struct ListResult {
    Status status;
    std::vector<std::string> names;
};

// A modification time in UTC (zone 0), in the fields of a date! made from
// a system time.
struct FileDate {
    int32_t year;
    int32_t month; // 1-12
    int32_t day;   // 1-31
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t nanosecond;
};

enum class FileKind : uint8_t { none, file, directory };

// True when the path names a directory: it ends in "/" or "\", or in "."
// or ".." after one of them, or is exactly "." or "..".
bool dir_path_q(std::string_view path);

// The file's bytes, from the seek position, at most part bytes. Files whose
// size the OS reports as 0 (pipes, /proc files) are read until they end.
// A directory fails with is_directory.
BytesResult read_file(std::string_view path, const ReadOptions& options = {});

// Where read_file_into puts the bytes: `room(size)` makes room for `size`
// bytes in all, keeping those already read, and gives its start.
using ReadRoom = std::function<uint8_t*(size_t size)>;

// What read_file reads, straight into the caller's room; `used` is the
// count of bytes read.
Status read_file_into(std::string_view path, const ReadOptions& options, const ReadRoom& room,
                      size_t& used);

// Splits text at LF, dropping a CR before each LF; a last line without LF
// is kept, an empty text gives no lines.
std::vector<std::string> split_lines(std::span<const uint8_t> text);

// Writes the bytes. Without seek or append a regular file, or a missing
// one, is replaced as replace_file does (keeping the old file's
// permissions), so that a failed write leaves the old content whole;
// other files (devices, pipes, files with several links) and files whose
// folder takes no new file are written in place.
Status write_file(std::string_view path, std::span<const uint8_t> bytes,
                  const WriteOptions& options = {});
// Writes each line followed by LF.
Status write_lines(std::string_view path, std::span<const std::string> lines,
                   const WriteOptions& options = {});

// The entries of a directory, sorted by name; "." and ".." are left out and
// subdirectories end in "/".
ListResult read_dir(std::string_view path);

// The file's last modification time, or nothing when it cannot be queried.
std::optional<FileDate> query_file(std::string_view path);

// Deletes a file, or for a directory path (`dir_path_q`) an empty directory.
Status delete_(std::string_view path);

// Renames or moves a file or directory; an existing target is never
// replaced (the rename fails with exists).
Status rename(std::string_view from, std::string_view to);

// Creates one directory; its parent must exist.
Status make_dir(std::string_view path);

// Creates the directory and its missing parents, each readable and
// writable by the user alone (mode 0700); an existing directory is kept
// as it is.
Status make_private_dirs(std::string_view path);

// Replaces the file's content at once: the bytes go to a uniquely named
// temporary file in the same directory (readable and writable by the user
// alone), which is synced and then renamed over the file, so a reader
// sees the old content or the new one, never a part. A failed write
// removes its temporary file.
Status replace_file(std::string_view path, std::span<const uint8_t> bytes);

FileKind file_attributes(std::string_view path);

// Size of a file's content; nothing for a missing file or a directory.
std::optional<int64_t> file_size(std::string_view path);

// The process's current directory, ending with "/".
std::string current_dir();

// What `read` gives: the bytes of a file (text or binary), its lines, or a
// directory listing.
struct Content {
    enum class Kind : uint8_t { bytes, lines, listing };
    Kind kind;
    std::vector<uint8_t> bytes;
    std::vector<std::string> items;
};

// Lists a directory path, otherwise reads the file (binary takes precedence
// over lines). Raises access error cannot-open when the file or directory
// cannot be opened.
Content read(std::string_view path, const ReadOptions& options, bool binary, bool lines);
// Raise access error cannot-open when the file cannot be written.
void write(std::string_view path, std::span<const uint8_t> bytes, const WriteOptions& options);
void write(std::string_view path, std::span<const std::string> lines, const WriteOptions& options);

// The path named by the last cannot-open raised here, kept until error!
// values carry it as their argument.
const std::string& failed_path();

// The local form of file! path text (the separators are already "/"); with
// full, a relative path gets the current directory in front.
std::string to_local_file(std::string_view file, bool full);

// The file! text of a local path: each run of "/" becomes one "/".
std::string to_kiv_file(std::string_view local);

} // namespace kiv::io
