#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// Cuts off connections whose request takes too long to arrive, however slowly it trickles in:
// an idle timeout alone never fires for a client that sends a byte every few seconds.
class ConnectionDeadlines {
public:
    explicit ConnectionDeadlines(std::chrono::milliseconds allowed);
    ~ConnectionDeadlines();
    ConnectionDeadlines(const ConnectionDeadlines &) = delete;
    ConnectionDeadlines &operator=(const ConnectionDeadlines &) = delete;

    // A connection opened, or finished a request: its next request must be whole in time.
    void restart(const void *connection, int fd);
    // The connection is gone: its socket may be closed and its number reused after this returns.
    void forget(const void *connection);

private:
    void watch();

    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd;
        Clock::time_point deadline;
    };

    const std::chrono::milliseconds allowed_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<const void *, Entry> entries_;
    std::thread thread_;
};
