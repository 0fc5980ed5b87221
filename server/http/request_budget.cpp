#include "server/http/request_budget.h"

#include <sys/socket.h>

RequestBudget::RequestBudget(std::size_t bytes, ServerCounters &counters)
    : budget_(bytes), counters_(counters) {}

void RequestBudget::hold(const void *holder, int fd, std::size_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    const auto [mine, fresh] = holders_.try_emplace(holder, Holder{fd, 0, now});
    if (fresh)
        longest_.emplace(now, holder);
    for (auto victim = longest_.begin(); held_ + bytes > budget_ && victim != longest_.end();) {
        if (victim->second == holder) {
            ++victim;
            continue;
        }
        // Shut down, not closed: its server closes it, once release() has forgotten it.
        const auto found = holders_.find(victim->second);
        ::shutdown(found->second.fd, SHUT_RDWR);
        counters_.count_cut(CutReason::request_budget);
        held_ -= found->second.bytes;
        holders_.erase(found);
        victim = longest_.erase(victim);
    }
    mine->second.bytes += bytes;
    held_ += bytes;
}

void RequestBudget::release(const void *holder) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = holders_.find(holder);
    if (found == holders_.end())
        return;
    held_ -= found->second.bytes;
    longest_.erase({found->second.since, holder});
    holders_.erase(found);
}
