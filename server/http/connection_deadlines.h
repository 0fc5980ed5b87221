#pragma once

#include "server/http/server_counters.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

class RequestBudget;

// Cuts off connections whose request takes too long to arrive, however slowly it trickles in:
// an idle timeout alone never fires for a client that sends a byte every few seconds. And sheds
// load as connections near the cap, so that many addresses together cannot fill it: a connection
// that waits (for its request's headers, or idle between requests) then has a second only, and
// near the cap every new connection closes the one that has waited longest. What a waiting
// connection has received of its request is held in the request budget.
class ConnectionDeadlines {
public:
    // allowed: for a whole request. capacity: the connection cap. Each cut is counted in counters.
    ConnectionDeadlines(std::chrono::milliseconds allowed, std::size_t capacity,
                        RequestBudget &budget, ServerCounters &counters);
    ~ConnectionDeadlines();
    ConnectionDeadlines(const ConnectionDeadlines &) = delete;
    ConnectionDeadlines &operator=(const ConnectionDeadlines &) = delete;

    // A connection opened, or finished a request: it waits, and its next request must be whole
    // in time.
    void restart(const void *connection, int fd);
    // The connection's request has all its headers: it no longer waits.
    void began(const void *connection);
    // The connection is gone: its socket may be closed and its number reused after this returns.
    // True when it was cut here.
    bool forget(const void *connection);

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        int fd;
        Clock::time_point deadline;
        Clock::time_point waiting_since; // max when it does not wait
        std::uint64_t received_before;   // the bytes of its earlier requests
        std::uint64_t held = 0;          // in the budget, of what it received since
        bool cut = false;
    };
    using Entries = std::map<const void *, Entry>;

    void watch();
    void hold_received(const void *connection, Entry &entry);
    void cut(Entries::iterator entry, CutReason reason);
    void stop_waiting(Entry &entry, const void *connection);

    const std::chrono::milliseconds allowed_;
    RequestBudget &budget_;
    ServerCounters &counters_;
    const std::size_t pressure_;   // open connections from which waiting ones have a second only
    const std::size_t high_water_; // open connections from which a new one closes a waiting one
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    Entries entries_;
    std::set<std::pair<Clock::time_point, const void *>> waiting_; // longest first
    std::size_t open_ = 0;                                         // entries not cut
    std::thread thread_;
};
