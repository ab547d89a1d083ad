#include "io/http.h"
#include "platform/shared_library.h"
#include "platform/stop.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <mutex>

namespace kiv::io {

namespace {

// A connection that is not made within this time fails; a transfer that
// moves less than one byte a second for the stall time is ended.
constexpr long connect_timeout_seconds = 30;
constexpr long stall_seconds = 60;
constexpr long max_redirects = 10;
// Bodies become series, whose sizes are 32-bit.
constexpr size_t max_body = std::numeric_limits<int32_t>::max();

// The entry points taken from the library.
struct Curl {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_setopt) setopt = nullptr;
    decltype(&curl_easy_perform) perform = nullptr;
    decltype(&curl_easy_getinfo) getinfo = nullptr;
    decltype(&curl_easy_cleanup) cleanup = nullptr;
    decltype(&curl_easy_strerror) strerror = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
    bool ready = false;
};

// Opens libcurl and initialises it once, at the first request; the library
// stays loaded for the life of the process.
const Curl& curl() {
    static Curl c;
    static std::once_flag once;
    std::call_once(once, [] {
        void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
        if (!library) return;
        bool bound = platform::bind(library, "curl_global_init", c.global_init) &&
                     platform::bind(library, "curl_easy_init", c.easy_init) &&
                     platform::bind(library, "curl_easy_setopt", c.setopt) &&
                     platform::bind(library, "curl_easy_perform", c.perform) &&
                     platform::bind(library, "curl_easy_getinfo", c.getinfo) &&
                     platform::bind(library, "curl_easy_cleanup", c.cleanup) &&
                     platform::bind(library, "curl_easy_strerror", c.strerror) &&
                     platform::bind(library, "curl_slist_append", c.slist_append) &&
                     platform::bind(library, "curl_slist_free_all", c.slist_free_all);
        c.ready = bound && c.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
    return c;
}

bool token_char(unsigned char c) {
    return c > 0x20 && c < 0x7F && c != ':';
}

bool same_name(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view trim(std::string_view text) {
    constexpr std::string_view space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Owns a curl handle and the header list it is given.
struct Transfer {
    const Curl& lib;
    CURL* handle;
    curl_slist* headers = nullptr;
    bool setup_failed = false;
    HttpResponse response;
    bool body_too_large = false;

    explicit Transfer(const Curl& c) : lib(c), handle(c.easy_init()) {}
    ~Transfer() {
        if (handle) lib.cleanup(handle);
        if (headers) lib.slist_free_all(headers);
    }

    template <typename T>
    void set(CURLoption option, T value) {
        if (lib.setopt(handle, option, value) != CURLE_OK) setup_failed = true;
    }

    void add_header(const std::string& line) {
        curl_slist* extended = lib.slist_append(headers, line.c_str());
        if (!extended)
            setup_failed = true;
        else
            headers = extended;
    }
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto& body = static_cast<Transfer*>(user)->response.body;
    size_t n = size * count;
    if (n > max_body - body.size()) {
        static_cast<Transfer*>(user)->body_too_large = true;
        return 0; // ends the transfer with an error
    }
    body.append(data, n);
    return n;
}

// Each response (every redirect, an interim 1xx) starts with its status
// line: the headers gathered so far belonged to an earlier one.
size_t on_header(char* data, size_t size, size_t count, void* user) {
    auto& headers = static_cast<Transfer*>(user)->response.headers;
    std::string_view line(data, size * count);
    if (line.starts_with("HTTP/"))
        headers.clear();
    else if (auto header = parse_header_line(line))
        headers.push_back(std::move(*header));
    return size * count;
}

// A stop request (Ctrl-C) ends the transfer; curl calls this often, also
// while it waits for the connection or the server.
int on_progress(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return os::stop_requested.load(std::memory_order_relaxed) ? 1 : 0;
}

// The request's header lines, and an empty line for each header curl would
// add by itself that the request does not give (which removes it).
void set_headers(Transfer& t, const HttpHeaders& given) {
    for (const auto& [name, value] : given)
        t.add_header(value.empty() ? name + ";" : name + ": " + value);
    for (const char* own : {"Accept", "Expect", "Content-Type"}) {
        bool named =
            std::ranges::any_of(given, [&](const auto& h) { return same_name(h.first, own); });
        if (!named) t.add_header(std::string(own) + ":");
    }
    t.set(CURLOPT_HTTPHEADER, t.headers);
}

// GET and HEAD go as curl's own requests, POST with its body (empty when
// none is given) so that a redirect turns it into a GET as browsers do;
// any other method, or a GET with a body, is named explicitly.
void set_method(Transfer& t, const HttpRequest& request) {
    const std::string& method = request.method;
    bool has_body = request.body.has_value() && method != "HEAD";
    if (has_body || method == "POST") {
        t.set(CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(has_body ? request.body->size() : 0));
        t.set(CURLOPT_POSTFIELDS, has_body ? request.body->data() : "");
    }
    if (method == "HEAD")
        t.set(CURLOPT_NOBODY, 1L);
    else if (method != "POST" && (method != "GET" || has_body))
        t.set(CURLOPT_CUSTOMREQUEST, method.c_str());
}

// Why a connection could not be made, from the system's error number.
const char* connect_failure(long error) {
    switch (error) {
    case ECONNREFUSED: return "connection refused";
    case ENETUNREACH:
    case EHOSTUNREACH: return "host unreachable";
    default: return "cannot connect to the server";
    }
}

// Why a transfer failed, in words that stay the same from run to run
// (curl's own message names ports and times): the usual failures by their
// code, the library's text for the others.
std::string failure_reason(const Transfer& t, CURLcode code) {
    struct Reason {
        CURLcode code;
        const char* text;
    };
    static constexpr Reason reasons[] = {
        {CURLE_COULDNT_RESOLVE_HOST, "host not found"},
        {CURLE_OPERATION_TIMEDOUT, "timeout"},
        {CURLE_TOO_MANY_REDIRECTS, "too many redirects"},
        {CURLE_UNSUPPORTED_PROTOCOL, "scheme not allowed (http and https only)"},
        {CURLE_URL_MALFORMAT, "malformed url"},
        {CURLE_PEER_FAILED_VERIFICATION, "TLS certificate not trusted"},
        {CURLE_SSL_CONNECT_ERROR, "TLS handshake failed"},
        {CURLE_GOT_NOTHING, "empty answer"},
        {CURLE_WEIRD_SERVER_REPLY, "malformed answer"},
        {CURLE_RECV_ERROR, "malformed or broken answer"},
        {CURLE_SEND_ERROR, "sending failed"},
        {CURLE_PARTIAL_FILE, "answer cut short"},
        {CURLE_BAD_CONTENT_ENCODING, "bad content encoding"},
    };
    if (code == CURLE_WRITE_ERROR && t.body_too_large) return "answer body too large";
    if (code == CURLE_COULDNT_CONNECT) {
        long error = 0;
        t.lib.getinfo(t.handle, CURLINFO_OS_ERRNO, &error);
        return connect_failure(error);
    }
    for (const Reason& reason : reasons)
        if (reason.code == code) return reason.text;
    return t.lib.strerror(code);
}

HttpResponse failed(std::string why) {
    HttpResponse response;
    response.failure = std::move(why);
    return response;
}

} // namespace

const HttpHeaders& default_http_headers() {
    static const HttpHeaders defaults = {
        {"Content-Type", "application/x-www-form-urlencoded"},
        {"Accept-Charset", "UTF-8"},
        {"User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"},
    };
    return defaults;
}

bool valid_header_name(std::string_view name) {
    return !name.empty() && std::ranges::all_of(name, [](char c) { return token_char(c); });
}

bool valid_header_value(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool valid_http_method(std::string_view method) {
    return valid_header_name(method);
}

std::optional<std::pair<std::string, std::string>> parse_header_line(std::string_view line) {
    if (line.empty() || line[0] == ' ' || line[0] == '\t') return std::nullopt;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    std::string_view name = trim(line.substr(0, colon));
    if (name.empty()) return std::nullopt;
    return std::pair(std::string(name), std::string(trim(line.substr(colon + 1))));
}

HttpResponse request_http(const HttpRequest& request) {
    const Curl& lib = curl();
    if (!lib.ready) return failed("libcurl cannot be loaded");
    const HttpHeaders& headers = request.headers ? *request.headers : default_http_headers();
    bool valid =
        valid_http_method(request.method) && std::ranges::all_of(headers, [](const auto& h) {
            return valid_header_name(h.first) && valid_header_value(h.second);
        });
    if (!valid) return failed("invalid request header");
    Transfer t(lib);
    if (!t.handle) return failed("libcurl cannot make a request");
    t.set(CURLOPT_URL, request.url.c_str());
    t.set(CURLOPT_PROTOCOLS_STR, "http,https");
    t.set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    t.set(CURLOPT_FOLLOWLOCATION, 1L);
    t.set(CURLOPT_MAXREDIRS, max_redirects);
    t.set(CURLOPT_SSL_VERIFYPEER, 1L);
    t.set(CURLOPT_SSL_VERIFYHOST, 2L);
    t.set(CURLOPT_CONNECTTIMEOUT, connect_timeout_seconds);
    t.set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    t.set(CURLOPT_LOW_SPEED_TIME, stall_seconds);
    // No signals: the name look-up timeout would otherwise use SIGALRM.
    t.set(CURLOPT_NOSIGNAL, 1L);
    t.set(CURLOPT_WRITEFUNCTION, on_body);
    t.set(CURLOPT_WRITEDATA, &t);
    t.set(CURLOPT_HEADERFUNCTION, on_header);
    t.set(CURLOPT_HEADERDATA, &t);
    t.set(CURLOPT_XFERINFOFUNCTION, on_progress);
    t.set(CURLOPT_NOPROGRESS, 0L);
    set_headers(t, headers);
    set_method(t, request);
    // An option this libcurl refuses (an older one without the protocol
    // limits, say) makes no request rather than a less safe one.
    if (t.setup_failed) return failed("libcurl refused an option");
    CURLcode code = lib.perform(t.handle);
    if (code == CURLE_ABORTED_BY_CALLBACK) os::check_stop();
    if (code != CURLE_OK) return failed(failure_reason(t, code));
    long status = 0;
    lib.getinfo(t.handle, CURLINFO_RESPONSE_CODE, &status);
    t.response.done = true;
    t.response.status = int32_t(status);
    return std::move(t.response);
}

} // namespace kiv::io
