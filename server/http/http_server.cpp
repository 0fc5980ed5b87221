#include "server/http/http_server.h"

#include "server/http/access_log.h"
#include "server/http/connection_deadlines.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// One request, from its request line to its end.
struct RequestState {
    std::string target; // raw, as the client sent it
    std::string client;
    Clock::time_point started = Clock::now();
    bool headers_seen = false;
    std::string method;
    std::string body;
    std::string status; // set once an answer is queued
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
    ConnectionDeadlines deadlines;
    MHD_Daemon *daemon = nullptr;

    Impl(HttpLimits l, HttpHandler h, std::string proxy, std::FILE *log)
        : limits(l), handler(std::move(h)), trusted_proxy(std::move(proxy)), access_log(log),
          deadlines(std::chrono::seconds(l.deadline_seconds)) {}

    MHD_Result queue(MHD_Connection *connection, RequestState &state, HttpResponse &response);
    MHD_Result serve(MHD_Connection *connection, RequestState &state, const char *method,
                     const char *upload, std::size_t *upload_size);
    void log(const RequestState &state, const std::string &status);
};

MHD_Result HttpServer::Impl::queue(MHD_Connection *connection, RequestState &state,
                                   HttpResponse &response) {
    MHD_Response *answer = MHD_create_response_from_buffer(
        response.body.size(), response.body.data(), MHD_RESPMEM_MUST_COPY);
    if (answer == nullptr)
        return MHD_NO;
    MHD_add_response_header(answer, "Content-Type", response.content_type.c_str());
    MHD_add_response_header(answer, "Cache-Control", "no-store");
    MHD_add_response_header(answer, "X-Content-Type-Options", "nosniff");
    for (const auto &[name, value] : response.headers)
        MHD_add_response_header(answer, name.c_str(), value.c_str());
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(response.status), answer);
    MHD_destroy_response(answer);
    state.status = std::to_string(response.status);
    state.bytes = response.body.size();
    return queued;
}

MHD_Result HttpServer::Impl::serve(MHD_Connection *connection, RequestState &state,
                                   const char *method, const char *upload,
                                   std::size_t *upload_size) {
    if (!state.headers_seen) {
        state.headers_seen = true;
        state.method = method;
        state.client =
            client_address(state.client, trusted_proxy, header_of(connection, "X-Forwarded-For"));
        const std::string length = header_of(connection, "Content-Length");
        if (!length.empty() && std::strtoull(length.c_str(), nullptr, 10) > limits.body_bytes) {
            HttpResponse too_large{413, "text/plain; charset=utf-8", "ERROR: body too large\n", {}};
            return queue(connection, state, too_large);
        }
        return MHD_YES;
    }
    if (*upload_size != 0) {
        // Counted as it arrives, so a chunked body cannot grow past the cap either.
        if (state.body.size() + *upload_size > limits.body_bytes) {
            state.status = "too-large"; // cut off: no answer is sent
            return MHD_NO;
        }
        state.body.append(upload, *upload_size);
        *upload_size = 0;
        return MHD_YES;
    }
    HttpRequest request;
    request.method = state.method;
    const std::size_t mark = state.target.find('?');
    request.path = state.target.substr(0, mark);
    if (mark != std::string::npos)
        request.query = state.target.substr(mark + 1);
    request.client = state.client;
    request.header = [connection](const char *name) { return header_of(connection, name); };
    request.body = std::move(state.body);
    HttpResponse response;
    handler(request, response);
    return queue(connection, state, response);
}

void HttpServer::Impl::log(const RequestState &state, const std::string &status) {
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

void *on_request_line(void *cls, const char *uri, MHD_Connection *connection) {
    (void)cls;
    auto *state = new RequestState;
    state->target = uri == nullptr ? "" : uri;
    state->client = peer_address(connection);
    return state;
}

MHD_Result on_request(void *cls, MHD_Connection *connection, const char *url, const char *method,
                      const char *version, const char *upload, std::size_t *upload_size,
                      void **request_context) {
    (void)url;
    (void)version;
    auto *state = static_cast<RequestState *>(*request_context);
    if (state == nullptr)
        return MHD_NO;
    return server_of(cls).serve(connection, *state, method, upload, upload_size);
}

void on_request_done(void *cls, MHD_Connection *connection, void **request_context,
                     MHD_RequestTerminationCode code) {
    auto *state = static_cast<RequestState *>(*request_context);
    if (state == nullptr)
        return;
    HttpServer::Impl &server = server_of(cls);
    std::string status = state->status;
    if (status.empty()) {
        // Refused by the server library itself (headers too large, bad request line, ...).
        const MHD_ConnectionInfo *info =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS);
        status = info != nullptr && info->http_status != 0 ? std::to_string(info->http_status)
                                                           : ending_text(code);
    }
    const MHD_ConnectionInfo *fd_info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (fd_info != nullptr)
        server.deadlines.restart(connection, fd_info->connect_fd);
    server.log(*state, status);
    delete state;
    *request_context = nullptr;
}

} // namespace

namespace {

void on_connection(void *cls, MHD_Connection *connection, void **socket_context,
                   MHD_ConnectionNotificationCode code) {
    (void)socket_context;
    HttpServer::Impl &server = server_of(cls);
    if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
        server.deadlines.forget(connection);
        return;
    }
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info != nullptr)
        server.deadlines.restart(connection, info->connect_fd);
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
                       std::FILE *access_log)
    : impl_(std::make_unique<Impl>(limits, std::move(handler), std::move(trusted_proxy),
                                   access_log)) {}

HttpServer::~HttpServer() {
    stop();
}

int HttpServer::start(const std::string &address, int port) {
    sockaddr_storage storage;
    if (impl_->daemon != nullptr || port < 0 || port > 65535 ||
        !socket_address(address, port, storage))
        return http_start_failed;
    const HttpLimits &limits = impl_->limits;
    // No library error log: a flood of bad requests would become a flood of lines, and a slow
    // standard error would then stall every thread. Each request is in the access log instead.
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD;
    if (storage.ss_family == AF_INET6)
        flags |= MHD_USE_IPv6;
    impl_->daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &on_request, impl_.get(), MHD_OPTION_SOCK_ADDR, &storage,
        MHD_OPTION_THREAD_POOL_SIZE, limits.threads, MHD_OPTION_CONNECTION_LIMIT,
        limits.connections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits.per_address,
        MHD_OPTION_CONNECTION_TIMEOUT, limits.idle_seconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        static_cast<std::size_t>(limits.header_bytes), MHD_OPTION_URI_LOG_CALLBACK,
        &on_request_line, impl_.get(), MHD_OPTION_NOTIFY_COMPLETED, &on_request_done, impl_.get(),
        MHD_OPTION_NOTIFY_CONNECTION, &on_connection, impl_.get(), MHD_OPTION_LISTEN_BACKLOG_SIZE,
        1024u, MHD_OPTION_END);
    if (impl_->daemon == nullptr)
        return http_start_failed;
    const MHD_DaemonInfo *bound = MHD_get_daemon_info(impl_->daemon, MHD_DAEMON_INFO_BIND_PORT);
    return bound != nullptr && bound->port != 0 ? bound->port : port;
}

void HttpServer::stop() {
    if (impl_->daemon == nullptr)
        return;
    MHD_stop_daemon(impl_->daemon);
    impl_->daemon = nullptr;
}

bool HttpServer::running() const {
    return impl_->daemon != nullptr;
}
