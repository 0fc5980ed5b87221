#include "server/metrics/labelled_counts.h"

#include <cstring>

namespace {

constexpr int empty = 0;
constexpr int writing = 1;
constexpr int ready = 2;

} // namespace

void LabelledCounts::add(const std::string &labels) {
    for (Slot &slot : slots_) {
        if (labels.size() > longest)
            break; // overflow
        int state = slot.state.load(std::memory_order_acquire);
        // Two threads may take a slot each for the same new labels: the snapshot adds them up.
        if (state == empty && slot.state.compare_exchange_strong(state, writing)) {
            std::memcpy(slot.labels, labels.c_str(), labels.size() + 1);
            slot.count.fetch_add(1, std::memory_order_relaxed);
            slot.state.store(ready, std::memory_order_release);
            return;
        }
        if (state == ready && labels == slot.labels) {
            slot.count.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    overflowed_.fetch_add(1, std::memory_order_relaxed);
}

std::vector<std::pair<std::string, std::uint64_t>> LabelledCounts::snapshot() const {
    std::vector<std::pair<std::string, std::uint64_t>> counts;
    for (const Slot &slot : slots_) {
        if (slot.state.load(std::memory_order_acquire) != ready)
            continue;
        const std::uint64_t count = slot.count.load(std::memory_order_relaxed);
        auto same = counts.begin();
        while (same != counts.end() && same->first != slot.labels)
            ++same;
        if (same == counts.end())
            counts.emplace_back(slot.labels, count);
        else
            same->second += count;
    }
    if (const std::uint64_t overflowed = overflowed_.load(std::memory_order_relaxed))
        counts.emplace_back(overflow, overflowed);
    return counts;
}
