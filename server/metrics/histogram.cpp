#include "server/metrics/histogram.h"

#include <algorithm>

Histogram::Histogram(std::vector<std::uint64_t> bounds)
    : bounds_(std::move(bounds)), counts_(new std::atomic<std::uint64_t>[bounds_.size() + 1]()) {}

void Histogram::observe(std::uint64_t value) {
    const auto bucket = std::lower_bound(bounds_.begin(), bounds_.end(), value) - bounds_.begin();
    counts_[static_cast<std::size_t>(bucket)].fetch_add(1, std::memory_order_relaxed);
    sum_.fetch_add(value, std::memory_order_relaxed);
}

// The total is the buckets' own sum, so that the count always equals the unbounded bucket.
Histogram::Snapshot Histogram::snapshot() const {
    Snapshot taken;
    taken.bounds = bounds_;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i <= bounds_.size(); ++i) {
        total += counts_[i].load(std::memory_order_relaxed);
        taken.cumulative.push_back(total);
    }
    taken.sum = sum_.load(std::memory_order_relaxed);
    return taken;
}
