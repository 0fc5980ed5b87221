#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// The operator's error lines ("report-receiver: " and one line of text), written to a stream by a
// thread of its own, so that a slow standard error never holds a thread that serves clients. A
// line repeated within a second is written once, then counted: when the second ends, one more line
// says how many came; a flood of one cause writes a line a second.
class ErrorLog {
public:
    explicit ErrorLog(std::FILE *stream); // nullptr: nothing is written
    ~ErrorLog();                          // writes what is still due
    ErrorLog(const ErrorLog &) = delete;
    ErrorLog &operator=(const ErrorLog &) = delete;

    // Only text's first line is kept, its control characters as '?'.
    void write(const std::string &text);
    // Returns once every line written so far has reached the stream.
    void flush();

private:
    using Clock = std::chrono::steady_clock;
    struct Repeats {
        Clock::time_point until; // the end of the line's second
        std::size_t count = 0;   // since it was written
    };

    void run();
    void due(std::string line);
    void close_seconds(Clock::time_point now, bool all);

    std::FILE *const stream_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable written_;
    std::map<std::string, Repeats> recent_;
    std::deque<std::string> due_;
    std::size_t dropped_ = 0; // lines past what the stream kept up with
    bool writing_ = false;
    bool stopping_ = false;
    std::thread thread_;
};
