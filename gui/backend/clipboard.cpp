#include "gui/backend/clipboard.h"

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/image.h"
#include "datatypes/none.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "gui/backend/gui_init.h"
#include "gui/backend/window_layer.h"
#include "io/files.h"
#include "runtime/roots.h"
#include "runtime/types.h"

#include <cstdlib>

namespace kiv::gui {

namespace {

constexpr int32_t png_encoder = 1;

} // namespace

bool desktop_clipboard() {
    const char* display = std::getenv("DISPLAY");
    if (!initialised() && display && *display) init();
    return layer_running() && backend().has_clipboard();
}

bool clipboard_read(Cell& out) {
    ClipData data;
    if (!backend().clipboard_read(data)) return false;
    // Made in a rooted cell: `out` may be an argument slot, which the
    // stack moves when making the value pushes onto it.
    Rooted<Cell> value;
    switch (data.kind) {
    case ClipData::Kind::empty: none::make_at(*value); break;
    case ClipData::Kind::files: {
        std::vector<std::string> files;
        for (const std::string& path : data.paths) files.push_back(io::to_kiv_file(path));
        string::block_of_texts(files, TYPE_FILE, *value);
        break;
    }
    case ClipData::Kind::text:
        string::load_at(reinterpret_cast<const uint8_t*>(data.text.data()),
                        uint32_t(data.text.size()), *value, string::Encoding::utf8);
        break;
    case ClipData::Kind::image: {
        Rooted<Cell> bytes;
        binary::load_at(*bytes, data.png.data(), uint32_t(data.png.size()));
        if (!image::decode_binary(*bytes, *value)) return false;
        break;
    }
    }
    out = *value;
    return true;
}

bool clipboard_write(Cell& value) {
    ClipData data;
    switch (cell::type_of(value)) {
    case TYPE_STRING:
        data.kind = ClipData::Kind::text;
        data.text = url::utf8_text(value);
        break;
    case TYPE_BLOCK:
        data.kind = ClipData::Kind::files;
        for (const Cell* c = block::rs_head(value); c < block::rs_tail(value); ++c)
            data.paths.push_back(io::to_local_file(url::utf8_text(*c), true));
        break;
    case TYPE_IMAGE: {
        Rooted<Cell> png;
        image::encode_checked(value, png_encoder, *png);
        const uint8_t* bytes = binary::head_ptr(*png);
        data.kind = ClipData::Kind::image;
        data.png.assign(bytes, bytes + binary::length(*png));
        break;
    }
    default: break; // none: empty
    }
    return backend().clipboard_write(data);
}

} // namespace kiv::gui
