#include "runtime/array.h"

#include <cstring>

namespace kiv::array {

namespace {

int32_t* items(Buffer* b) {
    return reinterpret_cast<int32_t*>(b->head);
}

} // namespace

NodeId make(uint32_t count, uint32_t unit) {
    return memory::alloc_units(count, unit);
}

uint32_t length(NodeId node) {
    return memory::buffer_of(node)->length();
}

void clear(NodeId node) {
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head;
}

void set_length(NodeId node, uint32_t n) {
    Buffer* b = memory::buffer_of(node);
    b->tail = b->head + (n - 1) * b->unit();
}

NodeId copy(NodeId node) {
    return memory::copy_series(memory::buffer_of(node));
}

uint8_t* data(NodeId node) {
    return memory::buffer_of(node)->head;
}

void append_byte(NodeId node, uint8_t value) {
    Buffer* b = memory::buffer_of(node);
    *buffer::reserve_tail(b, 1) = value;
}

uint8_t pick_byte(NodeId node, uint32_t position) {
    return data(node)[position - 1];
}

uint8_t* append_bytes(NodeId node, const void* bytes, uint32_t count) {
    Buffer* b = memory::buffer_of(node);
    uint8_t* at = buffer::reserve_tail(b, count);
    std::memcpy(at, bytes, count);
    return at;
}

void append_int(NodeId node, int32_t value) {
    Buffer* b = memory::buffer_of(node);
    std::memcpy(buffer::reserve_tail(b, 4), &value, 4);
}

int32_t find_int(NodeId node, int32_t value) {
    Buffer* b = memory::buffer_of(node);
    uint32_t n = uint32_t(b->tail - b->head) / 4;
    for (uint32_t i = 0; i < n; ++i)
        if (items(b)[i] == value) return int32_t(i * 4);
    return -1;
}

int32_t pick_int(NodeId node, uint32_t position) {
    return items(memory::buffer_of(node))[position - 1];
}

void poke_int(NodeId node, uint32_t position, int32_t value) {
    items(memory::buffer_of(node))[position - 1] = value;
}

void insert_int(NodeId node, int32_t value, uint32_t index) {
    Buffer* b = memory::buffer_of(node);
    buffer::reserve_tail(b, 4);
    uint8_t* at = b->head + index * 4;
    std::memmove(at + 4, at, size_t(b->tail - at - 4));
    std::memcpy(at, &value, 4);
}

void remove_ptr(NodeId node, uint32_t value) {
    int32_t offset = find_ptr(node, value);
    if (offset >= 0) remove_range(node, uint32_t(offset), 4);
}

void remove_range(NodeId node, uint32_t offset, uint32_t count) {
    Buffer* b = memory::buffer_of(node);
    uint8_t* at = b->head + offset;
    std::memmove(at, at + count, size_t(b->tail - at - count));
    b->tail -= count;
}

} // namespace kiv::array
