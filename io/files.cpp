#include "io/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/stop.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

namespace kiv::io {

namespace {

// Growth step of reads whose size is not known in advance.
constexpr size_t read_chunk = 64 * 1024;
constexpr int64_t no_limit = std::numeric_limits<int64_t>::max();

struct ErrnoFault {
    int code;
    Fault fault;
};

constexpr ErrnoFault errno_faults[] = {
    {ENOENT, Fault::missing}, {ENOTDIR, Fault::not_directory}, {EACCES, Fault::denied},
    {EPERM, Fault::denied},   {EROFS, Fault::denied},          {EISDIR, Fault::is_directory},
    {EEXIST, Fault::exists},  {ENOTEMPTY, Fault::not_empty},
};

// A failure found here rather than by the OS, with the error number the
// OS gives for that fault.
Status failure(std::string_view path, Fault fault) {
    int code = EINVAL;
    for (const ErrnoFault& entry : errno_faults)
        if (entry.fault == fault) {
            code = entry.code;
            break;
        }
    return {fault, std::string(path), code};
}

// The failure that the current errno describes.
Status os_failure(std::string_view path) {
    int code = errno;
    Fault fault = Fault::other;
    for (const ErrnoFault& entry : errno_faults)
        if (entry.code == code) {
            fault = entry.fault;
            break;
        }
    return {fault, std::string(path), code};
}

// A descriptor closed when it goes out of scope.
struct Descriptor {
    int fd;
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    // Closes now, reporting a failure of the close (a delayed write error).
    bool close() {
        int fd_ = fd;
        fd = -1;
        return ::close(fd_) == 0;
    }
};

// The path as the OS receives it: with unquote, a leading double quote is
// skipped and a trailing one cut.
std::string os_path(std::string_view path, bool unquote) {
    if (unquote) {
        if (path.starts_with('"')) path.remove_prefix(1);
        if (path.ends_with('"')) path.remove_suffix(1);
    }
    return std::string(path);
}

int64_t limit_of(const std::optional<int64_t>& part) {
    return part && *part >= 0 ? *part : no_limit;
}

// Opens a file; a FIFO without its other end blocks here until a stop
// request (Ctrl-C) raises the halt.
int open_stoppable(const std::string& name, int flags) {
    int fd;
    while ((fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666)) < 0 && errno == EINTR)
        os::check_stop();
    return fd;
}

// Moves a read to offset start; streams that cannot seek skip the bytes.
bool skip_to(int fd, int64_t start) {
    if (start == 0 || ::lseek(fd, start, SEEK_SET) >= 0) return true;
    if (errno != ESPIPE) return false;
    std::vector<uint8_t> waste(read_chunk);
    while (start > 0) {
        ssize_t got = ::read(fd, waste.data(), size_t(std::min<int64_t>(start, read_chunk)));
        if (got < 0 && errno == EINTR) {
            os::check_stop();
            continue;
        }
        if (got <= 0) return got == 0;
        start -= got;
    }
    return true;
}

// Reads up to `limit` bytes into the room. A known size makes the room
// once; a stream of unknown size grows it as the bytes come. The bytes
// become one series, so more than a series holds is no-memory: for a
// known size before anything is read or allocated.
bool read_all(int fd, int64_t limit, bool size_known, const ReadRoom& room, size_t& used) {
    used = 0;
    constexpr int64_t most = memory::max_series_length;
    if (size_known) memory::series_length(uint64_t(limit));
    size_t size = size_t(size_known ? limit : std::min<int64_t>(limit, read_chunk));
    uint8_t* bytes = room(size);
    while (int64_t(used) < limit) {
        if (used == size) {
            if (int64_t(size) >= most)
                runtime::fire_error(runtime::Category::internal, err::internal::no_memory);
            size = size_t(std::min({limit, int64_t(size) * 2, most}));
            bytes = room(size);
        }
        ssize_t got = ::read(fd, bytes + used, size - used);
        if (got < 0 && errno == EINTR) {
            os::check_stop(); // a pipe that never ends can be stopped
            continue;
        }
        if (got < 0) return false;
        if (got == 0) break;
        used += size_t(got);
    }
    return true;
}

bool write_all(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR) {
            os::check_stop(); // a pipe that nobody reads can be stopped
            continue;
        }
        if (put == 0) errno = EIO;
        if (put <= 0) return false;
        bytes = bytes.subspan(size_t(put));
    }
    return true;
}

// The folder part of a path, with its final "/" ("" for a bare name).
std::string folder_of(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// Creates a new file of a free name in the folder of `target`, with the
// mode less the umask; `temporary` gets its name.
int create_beside(const std::string& target, mode_t mode, std::string& temporary) {
    std::string folder = folder_of(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t tag = 0;
        if (::getrandom(&tag, sizeof tag, 0) != sizeof tag) tag = uint64_t(::getpid()) + attempt;
        char name[32];
        std::snprintf(name, sizeof name, ".kiv-%016llx.tmp", static_cast<unsigned long long>(tag));
        temporary = folder + name;
        int fd;
        while ((fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode)) <
                   0 &&
               errno == EINTR)
            os::check_stop();
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// Writes the bytes to the new file `fd`, syncs it and renames it over
// `target`; on a failure the new file is removed and the OS's reason
// reported for `path`.
Status finish_beside(Descriptor& file, const std::string& temporary, const std::string& target,
                     std::string_view path, std::span<const uint8_t> bytes) {
    Status status;
    if (!write_all(file.fd, bytes) || ::fsync(file.fd) != 0) status = os_failure(path);
    if (!file.close() && status.ok()) status = os_failure(path);
    if (status.ok() && ::rename(temporary.c_str(), target.c_str()) != 0) status = os_failure(path);
    if (!status.ok()) ::unlink(temporary.c_str());
    return status;
}

// How write_file replaces a file: through a new file beside `target`, or
// (in_place) by writing the file itself.
struct Replacement {
    bool in_place = false;
    std::string target;
    std::optional<struct stat> old; // the file replaced, when there is one
};

// A regular file, or a missing name, is replaced through a new file; a
// link is followed to the file it names.
Replacement plan_replacement(const std::string& name) {
    Replacement plan{false, name, std::nullopt};
    struct stat info;
    bool link = ::lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
    if (::stat(name.c_str(), &info) != 0) {
        // A dangling link is written through, as the OS would.
        plan.in_place = link || errno != ENOENT;
        return plan;
    }
    if (!S_ISREG(info.st_mode) || info.st_nlink > 1) {
        plan.in_place = true;
        return plan;
    }
    if (link) {
        char* resolved = ::realpath(name.c_str(), nullptr);
        if (!resolved) {
            plan.in_place = true;
            return plan;
        }
        plan.target = resolved;
        std::free(resolved);
    }
    plan.old = info;
    return plan;
}

// Replaces the file through a new file beside it; nothing when it is to
// be written in place.
std::optional<Status> replace_regular(const std::string& name, std::string_view path,
                                      std::span<const uint8_t> bytes) {
    Replacement plan = plan_replacement(name);
    if (plan.in_place) return std::nullopt;
    std::string temporary;
    Descriptor file(create_beside(plan.target, 0666, temporary));
    if (file.fd < 0) {
        // A folder that takes no new file may still let the file be written.
        if (errno == EACCES || errno == EPERM) return std::nullopt;
        return os_failure(path);
    }
    if (plan.old) {
        // The new file takes the old one's mode, and its owner where the
        // OS lets it (otherwise it stays ours).
        if (::fchown(file.fd, plan.old->st_uid, plan.old->st_gid) != 0) errno = 0;
        ::fchmod(file.fd, plan.old->st_mode & 07777);
    }
    return finish_beside(file, temporary, plan.target, path, bytes);
}

std::string last_failed_path;

void check(const Status& status) {
    if (status.ok()) return;
    last_failed_path = status.path;
    runtime::fire_error(runtime::Category::access, err::access::cannot_open);
}

} // namespace

bool dir_path_q(std::string_view path) {
    auto separator = [](char c) { return c == '/' || c == '\\'; };
    if (path.empty()) return false;
    if (separator(path.back())) return true;
    for (std::string_view dots : {"..", "."}) {
        if (!path.ends_with(dots)) continue;
        size_t before = path.size() - dots.size();
        return before == 0 || separator(path[before - 1]);
    }
    return false;
}

Status read_file_into(std::string_view path, const ReadOptions& options, const ReadRoom& room,
                      size_t& used) {
    used = 0;
    int64_t start = options.seek.value_or(0);
    if (start < 0) return failure(path, Fault::other);
    std::string name = os_path(path, options.unquote);
    Descriptor file(open_stoppable(name, O_RDONLY));
    struct stat info;
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) return os_failure(path);
    if (S_ISDIR(info.st_mode)) return failure(path, Fault::is_directory);
    // A size of 0 is what pipes, devices and /proc files report whatever
    // they hold: those are read until they end.
    bool size_known = info.st_size > 0;
    int64_t limit = limit_of(options.part);
    if (size_known) limit = std::min(limit, std::max<int64_t>(info.st_size - start, 0));
    if (limit > 0 && !(skip_to(file.fd, start) && read_all(file.fd, limit, size_known, room, used)))
        return os_failure(path);
    return {};
}

BytesResult read_file(std::string_view path, const ReadOptions& options) {
    BytesResult result;
    size_t used = 0;
    result.status = read_file_into(
        path, options,
        [&](size_t size) {
            result.bytes.resize(size);
            return result.bytes.data();
        },
        used);
    result.bytes.resize(result.status.ok() ? used : 0);
    return result;
}

std::vector<std::string> split_lines(std::span<const uint8_t> text) {
    std::vector<std::string> lines;
    auto chars = reinterpret_cast<const char*>(text.data());
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = begin;
        while (end < text.size() && text[end] != '\n') ++end;
        size_t line_end = end;
        if (end < text.size() && line_end > begin && text[line_end - 1] == '\r') --line_end;
        lines.emplace_back(chars + begin, line_end - begin);
        begin = end + 1;
    }
    return lines;
}

Status write_file(std::string_view path, std::span<const uint8_t> bytes,
                  const WriteOptions& options) {
    if (options.seek && *options.seek < 0) return failure(path, Fault::other);
    bytes = bytes.first(size_t(std::min<int64_t>(limit_of(options.part), int64_t(bytes.size()))));
    std::string name = os_path(path, options.unquote);
    bool whole = !options.seek && !options.append;
    if (whole)
        if (std::optional<Status> replaced = replace_regular(name, path, bytes)) return *replaced;
    Descriptor file(open_stoppable(name, O_WRONLY | O_CREAT | (whole ? O_TRUNC : 0)));
    if (file.fd < 0) return os_failure(path);
    if (options.append && ::lseek(file.fd, 0, SEEK_END) < 0) return os_failure(path);
    if (options.seek && ::lseek(file.fd, *options.seek, SEEK_SET) < 0) return os_failure(path);
    if (!write_all(file.fd, bytes)) return os_failure(path);
    if (!file.close()) return os_failure(path);
    return {};
}

Status write_lines(std::string_view path, std::span<const std::string> lines,
                   const WriteOptions& options) {
    lines = lines.first(size_t(std::min<int64_t>(limit_of(options.part), int64_t(lines.size()))));
    std::vector<uint8_t> text;
    for (const std::string& line : lines) {
        text.insert(text.end(), line.begin(), line.end());
        text.push_back('\n');
    }
    WriteOptions whole = options;
    whole.part.reset();
    return write_file(path, text, whole);
}

ListResult read_dir(std::string_view path) {
    ListResult result;
    std::string name(path);
    DIR* dir = ::opendir(name.c_str());
    if (!dir) return {os_failure(path), {}};
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) break;
        std::string_view entry_name = entry->d_name;
        if (entry_name == "." || entry_name == "..") continue;
        bool directory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // Links count as what they point to.
            struct stat info;
            directory =
                ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0 && S_ISDIR(info.st_mode);
        }
        result.names.emplace_back(entry_name);
        if (directory) result.names.back().push_back('/');
    }
    if (errno != 0) result.status = os_failure(path);
    ::closedir(dir);
    if (!result.status.ok()) result.names.clear();
    std::sort(result.names.begin(), result.names.end());
    return result;
}

std::optional<FileDate> query_file(std::string_view path) {
    std::string name(path);
    struct stat info;
    std::tm utc;
    if (::stat(name.c_str(), &info) != 0 || !::gmtime_r(&info.st_mtim.tv_sec, &utc))
        return std::nullopt;
    return FileDate{utc.tm_year + 1900,
                    utc.tm_mon + 1,
                    utc.tm_mday,
                    utc.tm_hour,
                    utc.tm_min,
                    utc.tm_sec,
                    int32_t(info.st_mtim.tv_nsec)};
}

Status delete_(std::string_view path) {
    std::string name(path);
    int done = dir_path_q(path) ? ::rmdir(name.c_str()) : ::unlink(name.c_str());
    return done == 0 ? Status{} : os_failure(path);
}

Status rename(std::string_view from, std::string_view to) {
    std::string source(from), target(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS) return os_failure(from);
    // The file system cannot refuse a replacement itself: look first.
    struct stat info;
    if (::lstat(target.c_str(), &info) == 0) return failure(from, Fault::exists);
    return ::rename(source.c_str(), target.c_str()) == 0 ? Status{} : os_failure(from);
}

Status make_dir(std::string_view path) {
    std::string name(path);
    return ::mkdir(name.c_str(), 0777) == 0 ? Status{} : os_failure(path);
}

Status make_private_dirs(std::string_view path) {
    std::string name(path);
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    // Each prefix ending before a slash, then the whole path.
    for (size_t end = name.find('/', 1);; end = name.find('/', end + 1)) {
        std::string prefix = name.substr(0, end);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return os_failure(prefix);
        if (end == std::string::npos) break;
    }
    return file_attributes(name) == FileKind::directory ? Status{}
                                                        : failure(path, Fault::not_directory);
}

Status replace_file(std::string_view path, std::span<const uint8_t> bytes) {
    std::string name(path), temporary;
    Descriptor file(create_beside(name, 0600, temporary));
    if (file.fd < 0) return os_failure(path);
    return finish_beside(file, temporary, name, path, bytes);
}

FileKind file_attributes(std::string_view path) {
    std::string name(path);
    struct stat info;
    if (::stat(name.c_str(), &info) != 0) return FileKind::none;
    return S_ISDIR(info.st_mode) ? FileKind::directory : FileKind::file;
}

std::optional<int64_t> file_size(std::string_view path) {
    std::string name(path);
    Descriptor file(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info;
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
    return int64_t(info.st_size);
}

std::string current_dir() {
    std::string dir(256, '\0');
    while (!::getcwd(dir.data(), dir.size())) {
        if (errno != ERANGE) return {};
        dir.resize(dir.size() * 2);
    }
    dir.resize(dir.find('\0'));
    if (!dir.ends_with('/')) dir.push_back('/');
    return dir;
}

Content read(std::string_view path, const ReadOptions& options, bool binary, bool lines) {
    if (dir_path_q(path)) {
        ListResult listing = read_dir(path);
        check(listing.status);
        return {Content::Kind::listing, {}, std::move(listing.names)};
    }
    BytesResult file = read_file(path, options);
    check(file.status);
    if (lines && !binary) return {Content::Kind::lines, {}, split_lines(file.bytes)};
    return {Content::Kind::bytes, std::move(file.bytes), {}};
}

void write(std::string_view path, std::span<const uint8_t> bytes, const WriteOptions& options) {
    check(write_file(path, bytes, options));
}

void write(std::string_view path, std::span<const std::string> lines, const WriteOptions& options) {
    check(write_lines(path, lines, options));
}

std::string reason_of(int code) {
    const char* text = ::strerrordesc_np(code);
    return text ? text : "Unknown error " + std::to_string(code);
}

const std::string& failed_path() {
    return last_failed_path;
}

std::string to_local_file(std::string_view file, bool full) {
    std::string local;
    if (full && !file.starts_with('/')) local = current_dir();
    local += file;
    return local;
}

std::string to_kiv_file(std::string_view local) {
    std::string file;
    for (char c : local)
        if (c != '/' || !file.ends_with('/')) file.push_back(c);
    return file;
}

} // namespace kiv::io
