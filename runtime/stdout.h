// Low-level typed print for the runtime's diagnostics (start-up failures,
// registration and loading errors): a list of items written to standard
// output through the console writer, each in the fixed format of its type.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <type_traits>

namespace kiv::stdout_ {

// One item of a print list.
struct Item {
    enum class Kind : uint8_t { logic, integer, byte, float32, float64, text, hex };
    Kind kind;
    int64_t integer = 0;
    double number = 0;
    std::string_view text;

    // logic "true"/"false"; a character type as that byte; other integers in
    // decimal; float with 7 and double with 16 significant digits; text as
    // it is; a pointer (or a null C string) as at least eight hex digits.
    template <class T>
    Item(const T& value) {
        using U = std::remove_cv_t<std::decay_t<T>>;
        if constexpr (std::is_same_v<U, bool>) {
            kind = Kind::logic;
            integer = value;
        } else if constexpr (std::is_same_v<U, char> || std::is_same_v<U, signed char> ||
                             std::is_same_v<U, unsigned char>) {
            kind = Kind::byte;
            integer = static_cast<unsigned char>(value);
        } else if constexpr (std::is_integral_v<U>) {
            kind = Kind::integer;
            integer = static_cast<int64_t>(value);
        } else if constexpr (std::is_same_v<U, float>) {
            kind = Kind::float32;
            number = value;
        } else if constexpr (std::is_same_v<U, double>) {
            kind = Kind::float64;
            number = value;
        } else if constexpr (std::is_same_v<std::remove_cv_t<T>, const char*> ||
                             std::is_same_v<std::remove_cv_t<T>, char*>) {
            kind = value ? Kind::text : Kind::hex;
            if (value) text = value;
        } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
            kind = Kind::text;
            text = value;
        } else {
            static_assert(std::is_pointer_v<U>, "no print format for this type");
            kind = Kind::hex;
            integer = static_cast<int64_t>(reinterpret_cast<uintptr_t>(value));
        }
    }
};

// Prints the items; with `spaced`, a space follows every item but the last
// unless the item ends in a space, line feed, carriage return or tab. Then
// every C stream is flushed.
void print_args(std::initializer_list<Item> items, bool spaced);

// Writes the single byte `c` through the console's C-string writer.
void print_byte(char c);

template <class... T>
void print(const T&... items) {
    print_args({Item(items)...}, false);
}

template <class... T>
void print_line(const T&... items) {
    print_args({Item(items)...}, false);
    print_byte('\n');
}

template <class... T>
void print_spaced(const T&... items) {
    print_args({Item(items)...}, true);
}

} // namespace kiv::stdout_
