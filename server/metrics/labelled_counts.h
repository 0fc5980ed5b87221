#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Counts by a set of labels that the code names as it goes (a status and a cause), without a lock:
// a new set takes a slot of a fixed table once, and is counted there after. The sets are the
// program's own texts, so a few dozen slots hold them; past those, or longer than a slot takes, a
// set is counted as overflow.
class LabelledCounts {
public:
    static constexpr std::size_t capacity = 64;

    // labels: as the exposition writes them (status="400",cause="bad form").
    void add(const std::string &labels);

    // (labels, count) of every set counted, overflow last when there was any.
    std::vector<std::pair<std::string, std::uint64_t>> snapshot() const;

    // The labels overflow is counted under.
    static constexpr const char *overflow = "overflow=\"true\"";

private:
    static constexpr std::size_t longest = 120;

    struct Slot {
        std::atomic<int> state{0}; // empty, being written, ready
        char labels[longest + 1] = {};
        std::atomic<std::uint64_t> count{0};
    };

    std::array<Slot, capacity> slots_;
    std::atomic<std::uint64_t> overflowed_{0};
};
