#include "datatypes/url_http.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <span>
#include <string>
#include <vector>

#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "datatypes/dispatch.h"
#include "datatypes/integer.h"
#include "datatypes/map.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "datatypes/word.h"
#include "io/files.h"
#include "io/http.h"
#include "runtime/errors.h"
#include "runtime/roots.h"
#include "runtime/types.h"
#include "runtime/unicode.h"

namespace kiv::url {

namespace {

struct Answer {
    bool binary, lines, info;
};

[[noreturn]] void invalid_arg(const Cell& value) {
    runtime::fire_error(runtime::Category::script, err::script::invalid_arg, &value);
}

[[noreturn]] void not_done(const Cell& refinement_value) {
    runtime::fire_error(runtime::Category::internal, err::internal::not_done, &refinement_value);
}

std::string formed(const Cell& value) {
    Rooted<Cell> text;
    string::make_at(*text, 16);
    dispatch::form(value, *text, nullptr, INT32_MAX);
    return utf8_text(*text);
}

// The url as it goes on the wire: its molded text, with percent escapes.
std::string wire_text(const Cell& url) {
    Rooted<Cell> text;
    string::make_at(*text, 16);
    mold(&url, &*text, false, false, false, nullptr, 0, 0);
    return utf8_text(*text);
}

std::string upper_case(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The name/value pairs of a header block, each checked: a name is a word
// or a string; neither may break the header line it is written in.
io::HttpHeaders header_pairs(const Cell& headers) {
    Rooted<Cell> block(headers);
    int32_t n = std::max(block::rs_length(*block), 0);
    if (n % 2) invalid_arg(*block);
    io::HttpHeaders pairs;
    for (int32_t i = 0; i < n; i += 2) {
        // Copies: forming allocates, which may move the block's cells.
        Cell name = block::rs_head(*block)[i];
        Cell value = block::rs_head(*block)[i + 1];
        uint32_t type = cell::type_of(name);
        if (!word::any_word(type) && type != TYPE_STRING) invalid_arg(name);
        std::string name_text = formed(name);
        if (!io::valid_header_name(name_text)) invalid_arg(name);
        std::string value_text = formed(value);
        if (!io::valid_header_value(value_text)) invalid_arg(value);
        pairs.emplace_back(std::move(name_text), std::move(value_text));
    }
    return pairs;
}

// Request data: a string! goes as UTF-8, a binary! as its bytes.
std::string body_bytes(const Cell& data) {
    if (cell::type_of(data) == TYPE_STRING) return utf8_text(data);
    if (cell::type_of(data) == TYPE_BINARY)
        return {reinterpret_cast<const char*>(binary::head_ptr(data)), binary::length(data)};
    invalid_arg(data);
}

// Header text as UTF-8: bytes that are not UTF-8 are read as ISO-8859-1,
// HTTP's historical charset for header fields, so that no byte is lost
// and the text always loads.
std::string header_text(const std::string& bytes) {
    auto* start = reinterpret_cast<const uint8_t*>(bytes.data());
    if (utf8::valid(start, start + bytes.size())) return bytes;
    std::string text;
    for (unsigned char byte : bytes) {
        uint8_t units[4];
        text.append(reinterpret_cast<const char*>(units), utf8::encode_char(byte, units));
    }
    return text;
}

// The key of a header name: a word when the name loads back as that word,
// else a string (a name such as `x y`, `[a]`, `1234`, or one holding
// control characters, which a string molds escaped).
void append_header_key(Cell& pairs, const std::string& name) {
    if (word::symbol_of_whole(name)) {
        block::append_value(pairs, word::unresolved(name.c_str(), TYPE_WORD, 0));
        return;
    }
    std::string text = header_text(name);
    string::load_in(reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), pairs,
                    string::Encoding::utf8);
}

// The response headers as a map!, one key per name (names compared
// without case, the first spelling kept); a repeated name gives a block of
// its values in their order.
void header_map(const io::HttpHeaders& headers, Cell& out) {
    std::vector<std::pair<std::string, std::vector<std::string>>> grouped;
    for (const auto& header : headers) {
        const std::string& name = header.first;
        std::string value = header_text(header.second);
        auto same = std::ranges::find_if(grouped, [&](const auto& g) {
            return std::ranges::equal(g.first, name, [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            });
        });
        if (same == grouped.end())
            grouped.push_back({name, {std::move(value)}});
        else
            same->second.push_back(std::move(value));
    }
    Rooted<Cell> pairs;
    block::make_at(*pairs, int32_t(grouped.size() * 2));
    for (const auto& [name, values] : grouped) {
        append_header_key(*pairs, name);
        if (values.size() == 1) {
            string::load_in(reinterpret_cast<const uint8_t*>(values[0].data()),
                            uint32_t(values[0].size()), *pairs, string::Encoding::utf8);
        } else {
            Rooted<Cell> list;
            string::block_of_texts(values, TYPE_STRING, *list);
            block::append_value(*pairs, *list);
        }
    }
    map::make_at(out, &*pairs, uint32_t(grouped.size()));
}

void body_value(const std::string& body, const Answer& answer, Cell& out) {
    auto bytes = reinterpret_cast<const uint8_t*>(body.data());
    auto size = uint32_t(body.size());
    if (answer.binary)
        binary::load_at(out, bytes, size);
    else if (answer.lines)
        string::block_of_texts(io::split_lines(std::span(bytes, size)), TYPE_STRING, out);
    else
        string::load_at(bytes, size, out, string::Encoding::utf8);
}

// Makes the request and writes its answer over the url's cell; a request
// that got no response raises access error no-connect with the url and
// the reason.
Cell* request(Cell* url, io::HttpRequest&& http, const Answer& answer) {
    http.url = wire_text(*url);
    io::HttpResponse response = io::request_http(http);
    if (!response.done) {
        Rooted<Cell> reason;
        string::load_at(reinterpret_cast<const uint8_t*>(response.failure.data()),
                        uint32_t(response.failure.size()), *reason, string::Encoding::utf8);
        runtime::fire_error(runtime::Category::access, err::access::no_connect, url, &*reason);
    }
    Rooted<Cell> body;
    body_value(response.body, answer, *body);
    if (!answer.info) {
        *url = *body;
        return url;
    }
    Rooted<Cell> result, headers, status;
    header_map(response.headers, *headers);
    integer::make_at(*status, response.status);
    block::make_at(*result, 3);
    block::append_value(*result, *status);
    block::append_value(*result, *headers);
    block::append_value(*result, *body);
    *url = *result;
    return url;
}

} // namespace

bool http_url(const Cell& value) {
    return string::match_c_string(value, "http");
}

Cell* read_http(Cell* source, const Cell* part, const Cell* seek, bool binary, bool lines,
                bool info, const Cell* as) {
    for (const Cell* refinement : {part, seek, as})
        if (refinement) not_done(*refinement);
    io::HttpRequest http;
    http.method = "GET";
    return request(source, std::move(http), {binary, lines, info});
}

// The data decides the method: a block [method [headers] data] (an empty
// block is a GET), anything else is POSTed.
Cell* write_http(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                 const Cell* seek, const Cell* allow, const Cell* as) {
    for (const Cell* refinement : {seek, allow, as})
        if (refinement) not_done(*refinement);
    io::HttpRequest http;
    http.method = "POST";
    uint32_t type = cell::type_of(*data);
    if (type != TYPE_BLOCK) {
        http.body = body_bytes(*data);
        return request(destination, std::move(http), {binary, lines, info});
    }
    Rooted<Cell> spec(*data);
    int32_t n = std::max(block::rs_length(*spec), 0);
    http.method = "GET";
    if (n > 0) {
        Cell method = block::rs_head(*spec)[0];
        if (cell::type_of(method) != TYPE_WORD) invalid_arg(method);
        http.method = upper_case(formed(method));
        if (!io::valid_http_method(http.method)) invalid_arg(method);
    }
    if (n > 1) {
        Cell headers = block::rs_head(*spec)[1];
        if (cell::type_of(headers) != TYPE_BLOCK) invalid_arg(headers);
        http.headers = header_pairs(headers);
    }
    if (n > 2) http.body = body_bytes(block::rs_head(*spec)[2]);
    return request(destination, std::move(http), {binary, lines, info});
}

} // namespace kiv::url
