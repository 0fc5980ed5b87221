#pragma once

#include "server/http/server_counters.h"
#include "server/metrics/histogram.h"
#include "server/store/store_statistics.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// What the receiver counts of the reports it stores, and its metrics page, which adds what the
// server and the store count.
class ReceiverMetrics {
public:
    ReceiverMetrics();

    // A report is durably stored; its request arrived at arrived.
    void stored(std::chrono::steady_clock::time_point arrived);

    // The page, in Prometheus' text exposition format (version 0.0.4).
    std::string page(const ServerCounters &server, const StoreStatistics &store) const;

private:
    std::atomic<std::uint64_t> stored_{0};
    Histogram commit_nanoseconds_; // from a post's arrival to its durable commit
};
