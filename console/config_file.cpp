#include "console/config_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "datatypes/file.h"
#include "datatypes/function.h"
#include "datatypes/none.h"
#include "datatypes/url.h"
#include "platform/os.h"
#include "runtime/entry.h"
#include "runtime/error_ids.h"
#include "runtime/errors.h"

namespace kiv::console {
namespace {

bool write_whole(int fd, const std::string& data) {
    for (size_t done = 0; done < data.size();) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Writes the text to a new file beside `path` (mode 0600), flushes it to
// the disk and renames it over `path`: a reader finds the old file or the
// new one whole, also when the process dies in between.
bool replace(const std::string& path, const std::string& data) {
    std::string temp = path + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = write_whole(fd, data) && fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0) {
        // The rename itself reaches the disk with its folder.
        std::string folder = path.substr(0, path.find_last_of('/') + 1);
        int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (dir >= 0) {
            fsync(dir);
            ::close(dir);
        }
        return true;
    }
    ::unlink(temp.c_str());
    return false;
}

// console-replace-file path text: replace() with the text as UTF-8; raises
// access cannot-open naming the file when it fails.
void replace_file(Cell* args) {
    if (!replace(file::to_os_string(args[0]), url::utf8_text(args[1])))
        file::raise_cannot_open(args[0], errno);
    none::make_at(args[0]);
}

// console-warn text: the text and a line feed on standard error.
void warn(Cell* args) {
    std::string line = url::utf8_text(args[0]) + "\n";
    os::write_all(runtime::std_handles.error, line.data(), line.size());
    none::make_at(args[0]);
}

} // namespace

void register_config_routines() {
    routine::register_named("console-replace-file", replace_file);
    routine::register_named("console-warn", warn);
}

} // namespace kiv::console
