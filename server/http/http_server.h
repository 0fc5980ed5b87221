#pragma once

#include "server/http/server_counters.h"
#include "server/text/failure.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// What one request may take, so that no client, however slow, many or large, holds the server.
struct HttpLimits {
    unsigned connections = 10000;   // open at once, all clients
    unsigned per_address = 256;     // open at once from one address; 0: no limit (behind a proxy)
    unsigned idle_seconds = 10;     // a connection that sends nothing for this long is closed
    unsigned deadline_seconds = 20; // a request's headers and body must arrive within this
    std::size_t header_bytes = 32 * 1024; // request line and headers together
    // A longer URL is answered 414 as soon as its line is read: it shares the headers' memory. A
    // report's is some 3 KiB, at most 9 KiB with the longest name and e-mail the tool takes.
    std::size_t target_bytes = 16 * 1024;
    std::size_t body_bytes = 64 * 1024;
    // Request data (lines, headers, bodies) held at once, all connections: past it, the longest
    // holders are cut.
    std::size_t held_bytes = 32 * 1024 * 1024;
    unsigned threads = 8; // event loops, each serving many connections
};

struct HttpRequest {
    std::string method;
    std::string path;  // without the query
    std::string query; // raw, still percent-encoded; empty without '?'
    std::string client;
    std::function<std::string(const char *name)> header; // "" when absent
    std::string body;
    std::chrono::steady_clock::time_point arrived; // when its request line was read
};

struct HttpResponse {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // With a 5xx status: what failed, and why, for the operator's error log. Never a query or
    // anything a request carried.
    std::string cause;
    // False for requests polled every few seconds (health checks), which would drown the others.
    bool access_logged = true;
};

// Sets response to status with text as a plain-text body, whatever an earlier step had set.
inline void answer(HttpResponse &response, int status, const char *text) {
    response.status = status;
    response.content_type = "text/plain; charset=utf-8";
    response.body = text;
}

using HttpHandler = std::function<void(const HttpRequest &, HttpResponse &)>;

// An event-driven HTTP/1.1 server: a few threads each poll many connections; requests on one
// connection are answered in order. Every answer carries "Cache-Control: no-store" and
// "X-Content-Type-Options: nosniff". One line per request goes to the access log, if any; each
// 5xx answer (its route, status and cause) and the server library's messages go to the error
// log, if any, a cause repeated within a second counted into one line.
class HttpServer {
public:
    // trusted_proxy: the one address whose X-Forwarded-For names the client; "" for none.
    HttpServer(HttpLimits limits, HttpHandler handler, std::string trusted_proxy,
               std::FILE *access_log, std::FILE *error_log);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Listens on address (IPv4 or IPv6, numeric) and port (0: any free port) and serves.
    // The port, or receiver_failed.
    int start(const std::string &address, int port);

    // Closes every connection and stops serving. Safe to call more than once.
    void stop();

    bool running() const;

    // Open connections, connections cut and why, posts refused: counted since the start.
    const ServerCounters &counters() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};
