#pragma once

#include <memory>
#include <string>

class ReportStore;

constexpr int receiver_bind_failed = -1;
constexpr int receiver_serve_failed = -2;

// The HTTP face of the report store. POST /connect/lorvask.php stores the items of the request's
// URL query, in order, and answers "OK" once they are committed; GET /reports lists the stored
// reports as JSON, newest first.
class ReportReceiver {
public:
    explicit ReportReceiver(ReportStore &store);
    ~ReportReceiver();
    ReportReceiver(const ReportReceiver &) = delete;
    ReportReceiver &operator=(const ReportReceiver &) = delete;

    // Binds the listening socket; port 0 takes a free one. The port bound, or receiver_bind_failed.
    int bind(const std::string &address, int port);

    // Serves on a thread of its own and returns once it listens. 0 or receiver_serve_failed.
    int start();

    // Ends serving from any thread and waits for the thread start() made.
    void stop();

    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
