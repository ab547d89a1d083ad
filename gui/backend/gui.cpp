#include "gui/backend/gui.h"

#include "platform/os.h"
#include "runtime/entry.h"

namespace kiv::gui {

void alert(std::string_view caption, std::string_view text) {
    int fd = runtime::std_handles.error;
    os::write_all(fd, caption.data(), caption.size());
    os::write_all(fd, "\n", 1);
    os::write_all(fd, text.data(), text.size());
    os::write_all(fd, "\n", 1);
}

int do_events(bool) {
    return 0;
}

} // namespace kiv::gui
