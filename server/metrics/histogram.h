#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// A histogram of whole numbers (nanoseconds, reports, ...) under fixed upper bounds, counted with
// atomics only, so that observing never waits for a reader or another writer.
class Histogram {
public:
    // bounds: ascending, each the largest value its bucket takes.
    explicit Histogram(std::vector<std::uint64_t> bounds);

    void observe(std::uint64_t value);

    struct Snapshot {
        std::vector<std::uint64_t> bounds;
        std::vector<std::uint64_t> cumulative; // one per bound, then all observations
        std::uint64_t sum = 0;
    };
    Snapshot snapshot() const;

private:
    const std::vector<std::uint64_t> bounds_;
    std::unique_ptr<std::atomic<std::uint64_t>[]> counts_; // a bucket a bound, and the rest
    std::atomic<std::uint64_t> sum_{0};
};
