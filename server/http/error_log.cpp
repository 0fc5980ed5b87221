#include "server/http/error_log.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::size_t most_due = 1000;    // lines waiting for a slow stream
constexpr std::size_t most_recent = 1000; // distinct lines counted at once

std::string one_line(const std::string &text) {
    std::string line = text.substr(0, text.find('\n'));
    for (char &c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return line;
}

} // namespace

ErrorLog::ErrorLog(std::FILE *stream) : stream_(stream), thread_([this] { run(); }) {}

ErrorLog::~ErrorLog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void ErrorLog::write(const std::string &text) {
    if (stream_ == nullptr)
        return;
    std::string line = "report-receiver: " + one_line(text);
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = recent_.find(line);
    if (found != recent_.end()) {
        ++found->second.count;
        return;
    }
    if (recent_.size() >= most_recent) {
        ++dropped_;
        return;
    }
    recent_.emplace(line, Repeats{Clock::now() + std::chrono::seconds(1), 0});
    due(std::move(line));
}

void ErrorLog::flush() {
    std::unique_lock<std::mutex> lock(mutex_);
    written_.wait(lock, [this] { return due_.empty() && !writing_; });
}

// Under mutex_.
void ErrorLog::due(std::string line) {
    if (due_.size() >= most_due) {
        ++dropped_;
        return;
    }
    due_.push_back(std::move(line));
    wake_.notify_one();
}

// Under mutex_: the count of each line whose second has ended (all: of every line) is due, and
// a line no longer repeated is forgotten.
void ErrorLog::close_seconds(Clock::time_point now, bool all) {
    for (auto it = recent_.begin(); it != recent_.end();) {
        Repeats &repeats = it->second;
        if (!all && repeats.until > now) {
            ++it;
        } else if (repeats.count == 0) {
            it = recent_.erase(it);
        } else {
            due(it->first + " (" + std::to_string(repeats.count) + " more in 1 s)");
            repeats = Repeats{now + std::chrono::seconds(1), 0};
            ++it;
        }
    }
}

void ErrorLog::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
        close_seconds(Clock::now(), stopping_);
        if (!due_.empty() || dropped_ > 0) {
            std::deque<std::string> lines;
            lines.swap(due_);
            const std::size_t dropped = std::exchange(dropped_, 0);
            writing_ = true;
            lock.unlock();
            for (const std::string &line : lines)
                std::fprintf(stream_, "%s\n", line.c_str());
            if (dropped > 0)
                std::fprintf(stream_, "report-receiver: %zu error lines dropped: too many\n",
                             dropped);
            std::fflush(stream_);
            lock.lock();
            writing_ = false;
            written_.notify_all();
            continue;
        }
        if (stopping_)
            return;
        if (recent_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto earliest =
            std::min_element(recent_.begin(), recent_.end(), [](const auto &a, const auto &b) {
                return a.second.until < b.second.until;
            });
        wake_.wait_until(lock, earliest->second.until);
    }
}
