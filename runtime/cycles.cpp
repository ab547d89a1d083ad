#include "runtime/cycles.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/errors.h"
#include "runtime/session.h"
#include "runtime/types.h"

namespace kiv::cycles {
namespace {

std::array<NodeId, capacity> entries;
uint32_t top = 0; // the next free entry
bool refusing = false;
[[maybe_unused]] const bool kept_in_snapshot = session::keep(entries, top, refusing);

struct Marker {
    uint32_t type;
    const char* mold;
};
constexpr Marker markers[] = {
    {TYPE_BLOCK, "[...]"},
    {TYPE_HASH, "[...]"},
    {TYPE_PAREN, "(...)"},
    {TYPE_MAP, "#[...]"},
    {TYPE_OBJECT, "make object! [...]"},
};
constexpr const char* plain_marker = "...";

} // namespace

void push(NodeId node) {
    entries[top++] = node;
    if (top == capacity) {
        reset();
        runtime::fire_error(runtime::Category::internal, err::internal::too_deep);
    }
}

void pop() {
    if (top > 0) --top;
}

void pop_n(uint32_t n) {
    top -= std::min(n, top);
}

void pop_to(uint32_t depth) {
    top = std::min(top, depth);
}

void reset() {
    top = 0;
}

uint32_t depth() {
    return top;
}

bool find(NodeId node) {
    return std::find(entries.begin(), entries.begin() + top, node) != entries.begin() + top;
}

void refuse_cycle(NodeId node) {
    if (!find(node)) return;
    reset();
    runtime::fire_error(runtime::Category::internal, err::internal::no_cycle);
}

bool met(NodeId node) {
    if (!find(node)) return false;
    if (refusing) {
        reset();
        runtime::fire_error(runtime::Category::internal, err::internal::no_cycle);
    }
    return true;
}

Refusal::Refusal() : outer_(refusing) {
    refusing = true;
}

Refusal::~Refusal() {
    refusing = outer_;
}

NodeId node_of(const Cell& value) {
    return cell::type_of(value) == TYPE_OBJECT ? value.w1 : value.w2;
}

const char* detect(const Cell& value, int32_t& part, bool mold) {
    if (!met(node_of(value))) return nullptr;
    const char* marker = plain_marker;
    if (mold) {
        auto* m = std::find_if(std::begin(markers), std::end(markers),
                               [&](const Marker& m) { return m.type == cell::type_of(value); });
        if (m != std::end(markers)) marker = m->mold;
    }
    part -= int32_t(std::strlen(marker));
    return marker;
}

void mark() {
    for (uint32_t i = 0; i < top; ++i) collector::mark_block(entries[i]);
}

} // namespace kiv::cycles
