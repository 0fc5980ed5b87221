#pragma once

#include "server/http/server_counters.h"

#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <set>
#include <utility>

// One budget for the request data held at once (request lines, headers and bodies), all
// connections together, so that many slow senders cannot fill the memory. Past it, the
// connections that have held data longest are cut first: an honest request arrives whole in
// moments.
class RequestBudget {
public:
    // Each cut is counted in counters.
    RequestBudget(std::size_t bytes, ServerCounters &counters);

    // bytes more for holder (a connection, whose socket is fd), within the budget once the longest
    // holders are cut, unless holder is the only one.
    void hold(const void *holder, int fd, std::size_t bytes);
    // What holder held is free.
    void release(const void *holder);

private:
    using Clock = std::chrono::steady_clock;
    struct Holder {
        int fd;
        std::size_t bytes;
        Clock::time_point since;
    };

    const std::size_t budget_;
    ServerCounters &counters_;
    std::mutex mutex_;
    std::size_t held_ = 0;
    std::map<const void *, Holder> holders_;
    std::set<std::pair<Clock::time_point, const void *>> longest_; // longest first
};
