#include "library/os_routines.h"

#include "datatypes/block.h"
#include "datatypes/context.h"
#include "datatypes/dispatch.h"
#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/none.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/word.h"
#include "platform/os_info.h"
#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/session.h"
#include "runtime/types.h"

namespace kiv::os_routines {
namespace {

// os-info: an object! of the running system's name (string!), arch
// (word!), version (3-byte tuple! of the kernel release) and build
// (integer!).
void os_info(Cell* args) {
    os::OsInfo info = os::os_info();
    Rooted<Cell> result;
    object::make_at(*result, 4);
    const NodeId ctx = result->w1;
    Rooted<Cell> value;
    string::load_at(reinterpret_cast<const uint8_t*>(info.name.data()), uint32_t(info.name.size()),
                    *value, string::Encoding::utf8);
    context::put_value(ctx, word::load("name"), *value);
    context::put_value(ctx, word::load("arch"), word::load(info.arch.c_str()));
    tuple::make_at(*value, info.version.data(), 3);
    context::put_value(ctx, word::load("version"), *value);
    integer::make_at(*value, int32_t(info.build));
    context::put_value(ctx, word::load("build"), *value);
    args[0] = *result;
}

// The clipboard of this process, used when no display is open: it holds
// its own copy of the last value written (none when empty), kept alive by
// a collector marker.
Cell clipboard{cell::unset_header, 0, 0, 0};
[[maybe_unused]] const bool kept_in_snapshot = session::keep(clipboard);

void mark_clipboard() {
    collector::mark_values(&clipboard, &clipboard + 1);
}

bool is_file_list(const Cell& block) {
    for (const Cell* c = block::rs_head(block); c < block::rs_tail(block); ++c)
        if (cell::type_of(*c) != TYPE_FILE) return false;
    return true;
}

// A deep copy of the value, so that later changes on either side do not
// reach the other.
Cell copy_of(Cell& value) {
    Rooted<Cell> out;
    dispatch::copy(&value, &*out, nullptr, true, nullptr);
    return *out;
}

bool desktop_ready() {
    auto& d = desktop_clipboard();
    return d.ready && d.ready();
}

// read-clipboard: none when empty, else a copy of the string!, block of
// file! or image! last written; from the desktop, false when its owner
// does not answer.
void read_clipboard(Cell* args) {
    if (desktop_ready()) {
        if (!desktop_clipboard().read(args[0])) logic::make_at(args[0], false);
        return;
    }
    if (cell::type_of(clipboard) != TYPE_NONE && cell::type_of(clipboard) != TYPE_UNSET)
        args[0] = copy_of(clipboard);
    else
        none::make_at(args[0]);
}

// write-clipboard data: a string!, a block of file! values or an image!
// replaces the content; none empties it. Other values raise invalid-arg.
void write_clipboard(Cell* args) {
    Cell& data = args[0];
    switch (cell::type_of(data)) {
    case TYPE_NONE:
    case TYPE_STRING:
    case TYPE_IMAGE: break;
    case TYPE_BLOCK:
        if (is_file_list(data)) break;
        [[fallthrough]];
    default: runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &data);
    }
    if (desktop_ready()) {
        logic::make_at(args[0], desktop_clipboard().write(data));
        return;
    }
    clipboard = cell::type_of(data) == TYPE_NONE ? data : copy_of(data);
    logic::make_at(args[0], true);
}

} // namespace

DesktopClipboard& desktop_clipboard() {
    static DesktopClipboard hooks;
    return hooks;
}

void register_routines() {
    static bool marked = (collector::add_marker(mark_clipboard), true);
    (void)marked;
    none::make_at(clipboard);
    routine::register_named("os-info", os_info);
    routine::register_named("read-clipboard", read_clipboard);
    routine::register_named("write-clipboard", write_clipboard);
}

} // namespace kiv::os_routines
