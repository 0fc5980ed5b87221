#pragma once

#include <chrono>
#include <string>

// One request as the access log records it. The path carries no query, so no report item and no
// credential ever reaches the log.
struct AccessRecord {
    std::chrono::system_clock::time_point time;
    std::string client;
    std::string method;
    std::string path;
    std::string status; // the HTTP status, or how the request ended without one
    std::size_t bytes = 0;
    double milliseconds = 0;
};

// "2024-05-01T12:34:56.789Z 127.0.0.1 POST /connect/lorvask.php 200 2 1.3ms", with any control
// character or blank in the client or path replaced by '?', so one request is one line.
std::string access_line(const AccessRecord &record);

// The address a request came from: the peer, or, when the peer is the trusted proxy, the last
// address that proxy appended to X-Forwarded-For.
std::string client_address(const std::string &peer, const std::string &trusted_proxy,
                           const std::string &forwarded_for);
