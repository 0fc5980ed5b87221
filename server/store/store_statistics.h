#pragma once

#include "server/metrics/histogram.h"

#include <atomic>
#include <cstdint>

// What a store counts as it works, for the metrics page.
struct StoreStatistics {
    Histogram batch_sizes{{1, 2, 4, 8, 16, 32, 64}}; // reports a commit, up to the largest batch
    std::atomic<std::uint64_t> errors{0};            // commits and reads the database failed
};
