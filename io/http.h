// HTTP and HTTPS requests on libcurl, with plain values in and out. The
// library is opened with dlopen at the first request, so that a start of
// kiv that makes no request does not pay for loading it.
//
// A request sends exactly the headers it is given, or the three default
// ones when it gives none; beyond them only what HTTP needs (Host,
// Content-Length). Redirects are followed, at most 10, to http and https
// only; TLS peers are verified against the system's certificates; a
// connection that cannot be made in time or a transfer that stalls ends
// the request.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kiv::io {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method; // upper case: GET, HEAD, POST, PUT, ...
    std::string url;    // escaped as it goes on the wire
    // Nothing: the default headers. An empty list sends no header of its
    // own. Names and values must pass the checks below.
    std::optional<HttpHeaders> headers;
    std::optional<std::string> body;
};

struct HttpResponse {
    // False when no response came: the library is missing, the connection
    // or the TLS handshake failed, the transfer timed out or stalled, a
    // redirect went too far or to another scheme.
    bool done = false;
    std::string failure; // why, when not done
    int32_t status = 0;
    // The final response's headers in their order, values without the
    // white space around them.
    HttpHeaders headers;
    std::string body;
};

// The headers a request without its own carries.
const HttpHeaders& default_http_headers();

// A header name is a non-empty token: no controls, space, DEL or ":".
bool valid_header_name(std::string_view name);
// A header value holds no CR, LF or NUL (they would end the header line).
bool valid_header_value(std::string_view value);
// A method is a non-empty token as a header name is.
bool valid_http_method(std::string_view method);

// Performs the request synchronously. The method, header names and values
// must be valid (checked above); an invalid one fails the request.
HttpResponse request_http(const HttpRequest& request);

// Parses one header line of a response into a name and a trimmed value;
// nothing for a status line, a blank line or a line without ":".
std::optional<std::pair<std::string, std::string>> parse_header_line(std::string_view line);

} // namespace kiv::io
