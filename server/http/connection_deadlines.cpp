#include "server/http/connection_deadlines.h"

#include "server/http/request_budget.h"

#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// What a waiting connection is given under pressure: an honest client sends its request at once.
constexpr std::chrono::seconds pressed_wait(1);

// All the connection has received: the server library keeps what it has of a request unseen.
std::uint64_t received(int fd) {
    tcp_info info{};
    socklen_t size = sizeof info;
    return getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 ? info.tcpi_bytes_received : 0;
}

} // namespace

ConnectionDeadlines::ConnectionDeadlines(std::chrono::milliseconds allowed, std::size_t capacity,
                                         RequestBudget &budget, ServerCounters &counters)
    : allowed_(allowed), budget_(budget), counters_(counters), pressure_(capacity * 3 / 4),
      high_water_(capacity - capacity / 16), thread_([this] { watch(); }) {}

ConnectionDeadlines::~ConnectionDeadlines() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ConnectionDeadlines::restart(const void *connection, int fd) {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = Clock::now();
    const auto [entry, opened] =
        entries_.try_emplace(connection, Entry{fd, now, Clock::time_point::max(), 0});
    if (opened)
        ++open_;
    if (entry->second.cut)
        return;
    stop_waiting(entry->second, connection);
    entry->second.deadline = now + allowed_;
    entry->second.waiting_since = now;
    entry->second.received_before = opened ? 0 : received(fd);
    entry->second.held = 0;
    waiting_.emplace(now, connection);
    // Near the cap, room for the next connections is made at once.
    while (open_ >= high_water_ && !waiting_.empty())
        cut(entries_.find(waiting_.begin()->second), CutReason::connection_cap);
}

void ConnectionDeadlines::began(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = entries_.find(connection);
    if (entry != entries_.end())
        stop_waiting(entry->second, connection);
}

bool ConnectionDeadlines::forget(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto entry = entries_.find(connection);
    if (entry == entries_.end())
        return false;
    stop_waiting(entry->second, connection);
    const bool was_cut = entry->second.cut;
    if (!was_cut)
        --open_;
    entries_.erase(entry);
    return was_cut;
}

// Under mutex_.
void ConnectionDeadlines::stop_waiting(Entry &entry, const void *connection) {
    waiting_.erase({entry.waiting_since, connection});
    entry.waiting_since = Clock::time_point::max();
}

// Under mutex_.
void ConnectionDeadlines::hold_received(const void *connection, Entry &entry) {
    const std::uint64_t since = received(entry.fd) - entry.received_before;
    if (since > entry.held)
        budget_.hold(connection, entry.fd, since - entry.held);
    entry.held = since;
}

// Under mutex_. Shut down, not closed: the server still owns the descriptor and closes it when it
// sees the connection end, after forget(), which waits for this lock.
void ConnectionDeadlines::cut(Entries::iterator entry, CutReason reason) {
    ::shutdown(entry->second.fd, SHUT_RDWR);
    counters_.count_cut(reason);
    stop_waiting(entry->second, entry->first);
    entry->second.cut = true;
    --open_;
}

void ConnectionDeadlines::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; })) {
        const Clock::time_point now = Clock::now();
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
            if (!entry->second.cut && entry->second.deadline <= now)
                cut(entry, CutReason::deadline);
        }
        for (const auto &[since, connection] : waiting_)
            hold_received(connection, entries_.find(connection)->second);
        while (open_ >= pressure_ && !waiting_.empty() &&
               waiting_.begin()->first + pressed_wait <= now)
            cut(entries_.find(waiting_.begin()->second), CutReason::connection_cap);
    }
}
