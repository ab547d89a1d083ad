#include "runtime/stdout.h"

#include <cstdio>

#include "runtime/console.h"

namespace kiv::stdout_ {
namespace {

bool ends_in_blank(const Item& item) {
    char last;
    if (item.kind == Item::Kind::byte)
        last = char(item.integer);
    else if (item.kind == Item::Kind::text && !item.text.empty())
        last = item.text.back();
    else
        return false;
    return last == ' ' || last == '\n' || last == '\r' || last == '\t';
}

void print_item(const Item& item) {
    using Kind = Item::Kind;
    switch (item.kind) {
    case Kind::logic: os_console::write_c_string(item.integer ? "true" : "false"); break;
    case Kind::integer: os_console::print_integer(item.integer); break;
    case Kind::byte: print_byte(char(item.integer)); break;
    case Kind::float32: os_console::print_float32(float(item.number)); break;
    case Kind::float64: os_console::print_float(item.number); break;
    case Kind::text: os_console::write_text(item.text.data(), uint32_t(item.text.size())); break;
    case Kind::hex: os_console::print_hex(uint64_t(item.integer)); break;
    }
}

} // namespace

void print_args(std::initializer_list<Item> items, bool spaced) {
    size_t left = items.size();
    for (const Item& item : items) {
        print_item(item);
        if (spaced && --left > 0 && !ends_in_blank(item)) print_byte(' ');
    }
    std::fflush(nullptr);
}

void print_byte(char c) {
    const char text[2] = {c, '\0'};
    os_console::write_c_string(text);
}

} // namespace kiv::stdout_
