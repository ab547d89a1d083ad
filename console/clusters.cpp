#include "console/clusters.h"

#include <algorithm>
#include <string>
#include <vector>

#include "datatypes/function.h"
#include "datatypes/integer.h"
#include "datatypes/logic.h"
#include "datatypes/string.h"
#include "platform/pango_api.h"
#include "runtime/text_index.h"

namespace kiv::console {
namespace {

// Cluster rules look only at the characters near a boundary: the text
// around the index is enough (runs of regional indicators longer than the
// window aside), which keeps a call independent of the text's length.
constexpr uint32_t before = 32, after = 8;

// console-cluster-start text index: true when a cluster begins at the
// character at the 1-based index (from the text's position); the first
// character and an index past the text begin one. Without Pango, every
// character begins one.
void cluster_start(Cell* args) {
    const Cell text = args[0];
    int64_t index = integer::get(args[1]);
    uint32_t length = string::length(text), head = string::head_index(text);
    const PangoApi* p = pango_api();
    if (index <= 1 || index > int64_t(length) || !p) {
        logic::make_at(args[0], true);
        return;
    }
    uint32_t from = uint32_t(std::max<int64_t>(1, index - before));
    uint32_t to = uint32_t(std::min<int64_t>(length, index + after));
    std::string utf8;
    for (uint32_t i = from; i <= to; ++i) {
        uint32_t cp = string::char_at(text, head + i - 1);
        bool invalid = cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
        utf8 += utf8::of_char(invalid ? 0xFFFD : cp);
    }
    std::vector<PangoLogAttr> attrs(to - from + 2);
    p->get_log_attrs(utf8.data(), int(utf8.size()), -1, p->language_get_default(), attrs.data(),
                     int(attrs.size()));
    logic::make_at(args[0], attrs[uint32_t(index) - from].is_cursor_position);
}

} // namespace

void register_cluster_routines() {
    routine::register_named("console-cluster-start", cluster_start);
}

} // namespace kiv::console
