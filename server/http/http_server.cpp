#include "server/http/http_server.h"

#include "server/http/access_log.h"
#include "server/http/connection_deadlines.h"
#include "server/http/error_log.h"
#include "server/http/request_budget.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// One connection, from the library's notice that it opened to its notice that it closed, which
// comes for every connection: what it holds is freed however its requests end, also those the
// library ends before any handler runs. It holds one request at a time.
struct Connection {
    int fd = -1;
    std::string peer;
    // The current request, from its request line until it is logged.
    bool pending = false;
    std::string target;             // raw, as the client sent it
    const char *line_end = nullptr; // where the library's copy of it ends, in its request line
    std::string client;
    Clock::time_point started;
    bool headers_seen = false;
    std::string method;
    std::string body;
    std::size_t body_held = 0; // in the request budget
    std::string status;        // set once an answer is queued
    std::string text;          // the answer's body, when it refuses
    bool logged = true;
    std::size_t bytes = 0;
};

std::string peer_address(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr)
        return "-";
    char text[INET6_ADDRSTRLEN] = "-";
    const sockaddr *address = info->client_addr;
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, text,
                  sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

std::string header_of(MHD_Connection *connection, const char *name) {
    const char *value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value == nullptr ? std::string() : std::string(value);
}

int host_count(MHD_Connection *connection) {
    int count = 0;
    MHD_get_connection_values(
        connection, MHD_HEADER_KIND,
        [](void *counted, MHD_ValueKind, const char *name, const char *) {
            if (strcasecmp(name, "Host") == 0)
                ++*static_cast<int *>(counted);
            return MHD_YES;
        },
        &count);
    return count;
}

// The request line's and headers' size.
std::size_t header_size(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
    return info == nullptr ? 0 : info->header_size;
}

// True when the server closed fd's connection first after hearing nothing from it for the idle
// timeout: the library's own timeout, which it does not report once a request is over.
bool closed_idle(int fd, unsigned idle_seconds) {
    tcp_info info{};
    socklen_t size = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return false;
    const bool closed_here = info.tcpi_state == TCP_FIN_WAIT1 || info.tcpi_state == TCP_FIN_WAIT2;
    // The library counts whole seconds: it may close up to one early.
    return closed_here && info.tcpi_last_data_recv + 1000 >= idle_seconds * 1000u;
}

const char *ending_text(MHD_RequestTerminationCode code) {
    switch (code) {
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED:
        return "timeout";
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN:
        return "shutdown";
    case MHD_REQUEST_TERMINATED_READ_ERROR:
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT:
        return "aborted";
    default:
        return "error";
    }
}

} // namespace

struct HttpServer::Impl {
    HttpLimits limits;
    HttpHandler handler;
    std::string trusted_proxy;
    std::FILE *access_log;
    std::mutex log_mutex;
    ErrorLog errors;
    ServerCounters counters;
    std::atomic<bool> stopping{false};
    RequestBudget budget;
    ConnectionDeadlines deadlines;
    MHD_Daemon *daemon = nullptr;

    Impl(HttpLimits l, HttpHandler h, std::string proxy, std::FILE *access, std::FILE *error)
        : limits(l), handler(std::move(h)), trusted_proxy(std::move(proxy)), access_log(access),
          errors(error), budget(l.held_bytes, counters),
          deadlines(std::chrono::seconds(l.deadline_seconds), l.connections, budget, counters) {}

    void begin(Connection &state, const char *target);
    void answer_on_socket(Connection &state, const char *status, const char *text);
    bool nearly_full(MHD_Connection *connection) const;
    MHD_Result first_look(MHD_Connection *connection, Connection &state, const char *version);
    MHD_Result serve(MHD_Connection *connection, Connection &state, const char *upload,
                     std::size_t *upload_size);
    void hold_body(MHD_Connection *connection, Connection &state, std::size_t bytes);
    MHD_Result refuse(MHD_Connection *connection, Connection &state, int status, const char *text);
    MHD_Result queue(MHD_Connection *connection, Connection &state, HttpResponse &response);
    void finish(MHD_Connection *connection, Connection &state, const char *ending);
    void log(const Connection &state, const std::string &status);
};

void HttpServer::Impl::begin(Connection &state, const char *target) {
    state.pending = true;
    state.target = target;
    state.client = state.peer;
    state.started = Clock::now();
    if (state.target.size() > limits.target_bytes)
        answer_on_socket(state, "414 URI Too Long", "ERROR: URL too long\n");
}

// Answers on the socket itself, at once, and ends the connection: the library cannot answer once
// a request leaves its memory (nearly) full.
void HttpServer::Impl::answer_on_socket(Connection &state, const char *status, const char *text) {
    const std::string answer = std::string("HTTP/1.1 ") + status +
                               "\r\nContent-Type: text/plain; charset=utf-8\r\n"
                               "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n"
                               "Connection: close\r\nContent-Length: " +
                               std::to_string(std::strlen(text)) + "\r\n\r\n" + text;
    ::send(state.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(state.fd, SHUT_WR);
    state.target.resize(std::min(state.target.find('?'), state.target.size()));
    state.status = std::string(status, 3);
    state.text = text;
    state.bytes = std::strlen(text);
}

// True when the request's line and headers, and some 64 bytes for each header, are past their
// cap, which leaves the library too little memory to build an answer in.
bool HttpServer::Impl::nearly_full(MHD_Connection *connection) const {
    const auto records = static_cast<std::size_t>(
        MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr));
    return header_size(connection) + 64 * records > limits.header_bytes;
}

MHD_Result HttpServer::Impl::first_look(MHD_Connection *connection, Connection &state,
                                        const char *version) {
    deadlines.began(connection);
    state.client =
        client_address(state.peer, trusted_proxy, header_of(connection, "X-Forwarded-For"));
    if (state.status.empty() && nearly_full(connection))
        answer_on_socket(state, "431 Request Header Fields Too Large",
                         "ERROR: headers too large\n");
    if (!state.status.empty()) // answered on the socket
        return MHD_NO;
    // A NUL byte, sent as is in the URL or escaped in its path, cuts a C string made of it short.
    // The library reads the version after the URL and one space: a NUL sent as is ended its copy
    // of the URL before that.
    const std::string path = state.target.substr(0, state.target.find('?'));
    if (version != state.line_end + 1 || path.find("%00") != std::string::npos)
        return refuse(connection, state, 400, "ERROR: a NUL byte in the URL\n");
    if (host_count(connection) > 1)
        return refuse(connection, state, 400, "ERROR: more than one Host\n");
    const std::size_t length =
        std::strtoull(header_of(connection, "Content-Length").c_str(), nullptr, 10);
    if (length > limits.body_bytes)
        return refuse(connection, state, 413, "ERROR: body too large\n");
    // In place of what it held while its headers came: those, and the body to come.
    budget.release(connection);
    budget.hold(connection, state.fd, header_size(connection));
    hold_body(connection, state, length);
    state.body.reserve(length);
    return MHD_YES;
}

MHD_Result HttpServer::Impl::serve(MHD_Connection *connection, Connection &state,
                                   const char *upload, std::size_t *upload_size) {
    if (*upload_size != 0) {
        // Counted as it arrives, so a chunked body cannot grow past the cap either.
        if (state.body.size() + *upload_size > limits.body_bytes) {
            state.status = "too-large"; // cut off: no answer is sent
            counters.count_cut(CutReason::body_cap);
            return MHD_NO;
        }
        if (state.body.size() + *upload_size > state.body_held) // chunked: held as it grows
            hold_body(connection, state, state.body.size() + *upload_size - state.body_held);
        state.body.append(upload, *upload_size);
        *upload_size = 0;
        return MHD_YES;
    }
    HttpRequest request;
    // Answered as GET; the library leaves the body out.
    request.method = state.method == "HEAD" ? "GET" : state.method;
    const std::size_t mark = state.target.find('?');
    request.path = state.target.substr(0, mark);
    if (mark != std::string::npos)
        request.query = state.target.substr(mark + 1);
    request.client = state.client;
    request.header = [connection](const char *name) { return header_of(connection, name); };
    request.body = std::move(state.body);
    request.arrived = state.started;
    HttpResponse response;
    handler(request, response);
    return queue(connection, state, response);
}

void HttpServer::Impl::hold_body(MHD_Connection *connection, Connection &state, std::size_t bytes) {
    budget.hold(connection, state.fd, bytes);
    state.body_held += bytes;
}

MHD_Result HttpServer::Impl::refuse(MHD_Connection *connection, Connection &state, int status,
                                    const char *text) {
    HttpResponse response;
    response.status = status;
    response.body = text;
    return queue(connection, state, response);
}

MHD_Result HttpServer::Impl::queue(MHD_Connection *connection, Connection &state,
                                   HttpResponse &response) {
    MHD_Response *answer = MHD_create_response_from_buffer(
        response.body.size(), response.body.data(), MHD_RESPMEM_MUST_COPY);
    if (answer == nullptr)
        return MHD_NO;
    MHD_add_response_header(answer, "Content-Type", response.content_type.c_str());
    for (const auto &[name, value] : response.headers)
        MHD_add_response_header(answer, name.c_str(), value.c_str());
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), answer);
    MHD_destroy_response(answer);
    if (response.status >= 500)
        errors.write(state.method + ' ' + state.target.substr(0, state.target.find('?')) + ' ' +
                     std::to_string(response.status) + ": " +
                     (response.cause.empty() ? "no cause given" : response.cause));
    state.status = std::to_string(response.status);
    if (response.status >= 400)
        state.text = response.body;
    state.logged = response.access_logged;
    state.bytes = response.body.size();
    return queued;
}

void HttpServer::Impl::finish(MHD_Connection *connection, Connection &state, const char *ending) {
    if (!state.pending)
        return;
    std::string status = state.status;
    if (status.empty()) {
        // Refused by the server library itself (headers too large, bad request line, ...).
        const MHD_ConnectionInfo *info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
        status =
            info != nullptr && info->http_status != 0 ? std::to_string(info->http_status) : ending;
        state.text = "refused by the server library";
    }
    if (state.method == "POST" && status.size() == 3 && status >= "400")
        counters.count_refused_post(status, state.text);
    if (state.logged)
        log(state, status);
    budget.release(connection);
    Connection next;
    next.fd = state.fd;
    next.peer = std::move(state.peer);
    state = std::move(next);
}

void HttpServer::Impl::log(const Connection &state, const std::string &status) {
    if (access_log == nullptr)
        return;
    AccessRecord record;
    record.time = std::chrono::system_clock::now();
    record.client = state.client;
    record.method = state.method.empty() ? "-" : state.method;
    record.path = state.target.substr(0, state.target.find('?'));
    record.status = status;
    record.bytes = state.bytes;
    record.milliseconds =
        std::chrono::duration<double, std::milli>(Clock::now() - state.started).count();
    const std::string line = access_line(record) + '\n';
    std::lock_guard<std::mutex> lock(log_mutex);
    std::fputs(line.c_str(), access_log);
    std::fflush(access_log);
}

namespace {

HttpServer::Impl &server_of(void *cls) {
    return *static_cast<HttpServer::Impl *>(cls);
}

// The request line is read. The request is held by its connection, not allocated here: the
// library does not end every request whose line it has read.
void *on_request_line(void *cls, const char *uri, MHD_Connection *connection) {
    if (uri == nullptr)
        return nullptr;
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto *state = info == nullptr ? nullptr : static_cast<Connection *>(info->socket_context);
    if (state != nullptr) {
        server_of(cls).begin(*state, uri);
        state->line_end = uri + std::strlen(uri);
    }
    // The query is decoded by the handlers, from the copy just taken. The library, next, would
    // keep each of its items in the memory that holds the headers, some 64 bytes an item, and
    // with that full it can neither answer nor, at its stop, end the connection safely (2,000
    // items crash it). Its own copy of the URL, in its read buffer, is left an empty query.
    if (char *query = std::strchr(const_cast<char *>(uri), '?'))
        query[1] = '\0';
    return state;
}

MHD_Result on_request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                      const char *version, const char *upload, std::size_t *upload_size,
                      void **request_context) {
    (void)url;
    auto *state = static_cast<Connection *>(*request_context);
    if (state == nullptr)
        return MHD_NO;
    if (!state->headers_seen) {
        state->headers_seen = true;
        state->method = method;
        return server_of(cls).first_look(connection, *state, version);
    }
    return server_of(cls).serve(connection, *state, upload, upload_size);
}

void on_request_done(void *cls, MHD_Connection *connection, void **request_context,
                     MHD_RequestTerminationCode code) {
    auto *state = static_cast<Connection *>(*request_context);
    *request_context = nullptr;
    if (state == nullptr)
        return;
    HttpServer::Impl &server = server_of(cls);
    server.finish(connection, *state, ending_text(code));
    server.deadlines.restart(connection, state->fd);
}

void on_connection(void *cls, MHD_Connection *connection, void **socket_context,
                   MHD_ConnectionNotificationCode code) {
    HttpServer::Impl &server = server_of(cls);
    auto *state = static_cast<Connection *>(*socket_context);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        if (state != nullptr)
            --server.counters.open;
        const bool cut = server.deadlines.forget(connection);
        if (!cut && state != nullptr && !server.stopping &&
            closed_idle(state->fd, server.limits.idle_seconds))
            server.counters.count_cut(CutReason::idle);
        server.budget.release(connection);
        if (state != nullptr)
            server.finish(connection, *state, "closed");
        delete state;
        *socket_context = nullptr;
        return;
    }
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info == nullptr)
        return;
    ++server.counters.open;
    state = new Connection;
    state->fd = info->connect_fd;
    state->peer = peer_address(connection);
    *socket_context = state;
    server.deadlines.restart(connection, state->fd);
}

void on_library_message(void *cls, const char *format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    server_of(cls).errors.write(std::string("libmicrohttpd: ") + text);
}

bool socket_address(const std::string &address, int port, sockaddr_storage &storage) {
    std::memset(&storage, 0, sizeof storage);
    auto *v4 = reinterpret_cast<sockaddr_in *>(&storage);
    if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        return true;
    }
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&storage);
    if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        return true;
    }
    return false;
}

} // namespace

HttpServer::HttpServer(HttpLimits limits, HttpHandler handler, std::string trusted_proxy,
                       std::FILE *access_log, std::FILE *error_log)
    : impl_(std::make_unique<Impl>(limits, std::move(handler), std::move(trusted_proxy), access_log,
                                   error_log)) {}

HttpServer::~HttpServer() {
    stop();
}

int HttpServer::start(const std::string &address, int port) {
    sockaddr_storage storage;
    if (impl_->daemon != nullptr || port < 0 || port > 65535 ||
        !socket_address(address, port, storage))
        return receiver_failed;
    const HttpLimits &limits = impl_->limits;
    // A connection's memory holds its request's line and headers, and its answer's. Past 32 KiB
    // the library maps it on its own, so that it goes back to the system as the connection ends.
    const std::size_t answer_room = 4096;
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG;
    if (storage.ss_family == AF_INET6)
        flags |= MHD_USE_IPv6;
    // The logger first, so that the library's messages about the other options reach it too.
    impl_->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &on_request, impl_.get(), MHD_OPTION_EXTERNAL_LOGGER,
        &on_library_message, impl_.get(), MHD_OPTION_SOCK_ADDR, &storage,
        MHD_OPTION_THREAD_POOL_SIZE, limits.threads, MHD_OPTION_CONNECTION_LIMIT,
        limits.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.per_address,
        MHD_OPTION_CONNECTION_TIMEOUT, limits.idle_seconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        limits.header_bytes + answer_room, MHD_OPTION_URI_LOG_CALLBACK, &on_request_line,
        impl_.get(), MHD_OPTION_NOTIFY_COMPLETED, &on_request_done, impl_.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &on_connection, impl_.get(), MHD_OPTION_LISTEN_BACKLOG_SIZE,
        1024u, MHD_OPTION_END);
    if (impl_->daemon == nullptr) {
        impl_->errors.flush(); // the library's reason comes before the caller's
        return receiver_failed;
    }
    const MHD_DaemonInfo *bound = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_BIND_PORT);
    return bound != nullptr && bound->port != 0 ? bound->port : port;
}

void HttpServer::stop() {
    if (impl_->daemon == nullptr)
        return;
    impl_->stopping = true;
    MHD_stop_daemon(impl_->daemon);
    impl_->daemon = nullptr;
}

bool HttpServer::running() const {
    return impl_->daemon != nullptr;
}

const ServerCounters &HttpServer::counters() const {
    return impl_->counters;
}
