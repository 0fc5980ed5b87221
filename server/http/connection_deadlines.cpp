#include "server/http/connection_deadlines.h"

#include <sys/socket.h>

ConnectionDeadlines::ConnectionDeadlines(std::chrono::milliseconds allowed)
    : allowed_(allowed), thread_([this] { watch(); }) {}

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
    entries_[connection] = Entry{fd, Clock::now() + allowed_};
}

void ConnectionDeadlines::forget(const void *connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.erase(connection);
}

void ConnectionDeadlines::watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; })) {
        const Clock::time_point now = Clock::now();
        for (auto &[connection, entry] : entries_) {
            if (entry.deadline > now)
                continue;
            // Shut down, not closed: the server still owns the descriptor and closes it when it
            // sees the connection end, after forget(), which waits for this lock.
            ::shutdown(entry.fd, SHUT_RDWR);
            entry.deadline = Clock::time_point::max();
        }
    }
}
